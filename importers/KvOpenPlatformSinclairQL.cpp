#include "importers/KvOpenPlatformSinclairQL.h"

#include <cmath>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformSinclairQL.h"

namespace KvOpenPlatformSinclairQL {

namespace {

TKvMatchFlags MatchScreen(TKvLoadSource& ASource, const char* AExt1, const char* AExt2) {
  if (ASource.GetBytes().Size() != QLScreenSize) return 0;
  const std::string& e = ASource.GetExtension();
  return e == AExt1 || e == AExt2 ? mfExtension | mfSize : mfSize;
}

uint8_t Level(int AValue, int AMax) { return static_cast<uint8_t>(std::lround(AValue * 255.0 / AMax)); }

int RGBQuad(uint8_t R, uint8_t G, uint8_t B) { return (R << 16) | (G << 8) | B; }

}  // namespace

TKvSinclairQL4Engine::TKvSinclairQL4Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, QLScreenSize)) {
  Width = 512;
  Height = 256;
  Bits = 2;
  PixelAspect = 7;
  Description = "Sinclair QL" + GetSizeText() + " mode 4 image";
}

TKvMatchFlags TKvSinclairQL4Engine::Match(TKvLoadSource& ASource) { return MatchScreen(ASource, ".scr4", ".qs4"); }

std::unique_ptr<TKvBitmap> TKvSinclairQL4Engine::Decode() {
  Palette->Clear();
  Palette->AddRGB(0, 0, 0);
  Palette->AddRGB(0, 255, 0);
  Palette->AddRGB(255, 0, 0);
  Palette->AddRGB(255, 255, 255);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int c = 0; c < 64; ++c) {
      const int p = y * 128 + 2 * c;
      const uint8_t g = FData.U8(p), r = FData.U8(p + 1);
      for (int k = 0; k < 8; ++k) LBitmap->SetPixel(8 * c + k, y, ((g >> (7 - k)) & 1) + 2 * ((r >> (7 - k)) & 1));
    }
  return LBitmap;
}

TKvSinclairQL8Engine::TKvSinclairQL8Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, QLScreenSize)) {
  Width = 256;
  Height = 256;
  Bits = 3;
  PixelAspect = 13;
  Description = "Sinclair QL" + GetSizeText() + " mode 8 image";
}

TKvMatchFlags TKvSinclairQL8Engine::Match(TKvLoadSource& ASource) { return MatchScreen(ASource, ".scr8", ".qs8"); }

std::unique_ptr<TKvBitmap> TKvSinclairQL8Engine::Decode() {
  Palette->FillRGB8();
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int c = 0; c < 64; ++c) {
      const int p = y * 128 + 2 * c;
      const uint8_t gf = FData.U8(p), rb = FData.U8(p + 1);
      for (int k = 0; k < 4; ++k) {
        const int m = 7 - 2 * k;
        const int g = (gf >> m) & 1, r = (rb >> m) & 1, b = (rb >> (m - 1)) & 1;
        LBitmap->SetPixel(4 * c + k, y, b + 2 * g + 4 * r);
      }
    }
  return LBitmap;
}

TKvSinclairQLPICEngine::TKvSinclairQLPICEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetBytes().Sub(0, QLPicHeaderSize)),
      FPixels(ASource.GetBytes().Sub(QLPicHeaderSize)),
      FMode(FHeader.U8(8)) {
  Width = FHeader.Be16(2);
  Height = FHeader.Be16(4);
  if (FMode == 16)
    Bits = 8;
  else if (FMode == 32 || FMode == 33)
    Bits = 16;
  else
    RaiseBadHeader();
  Description = "Sinclair QL" + GetSizeText() + " mode " + std::to_string(FMode) + " image";
}

TKvMatchFlags TKvSinclairQLPICEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() <= QLPicHeaderSize || !CheckQLPicHeader(file, file.Size())) return 0;
  return ASource.GetExtension() == ".pic" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvSinclairQLPICEngine::Decode() {
  // Match checked that the rows of the header's row length fill the file.
  const int64_t L = FHeader.Be16(6);
  if (FMode == 16) {
    BuildQLMode16Palette(*Palette);
    ColorCount = 256;
    auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) LBitmap->SetPixel(x, y, FPixels.U8(y * L + x));
    return LBitmap;
  }
  if (FMode != 32 && FMode != 33) RaiseBadHeader();
  auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int64_t p = y * L + 2 * x;
      if (FMode == 32) {
        const int w = FPixels.Le16(p);
        LBitmap->SetPixel(x, y, RGBQuad(Level(w >> 11, 31), Level((w >> 5) & 63, 63), Level(w & 31, 31)));
      } else {
        const int w = FPixels.Be16(p);
        const int s = w & 1;
        LBitmap->SetPixel(x, y,
                          RGBQuad(Level(((w >> 6) & 31) * 2 + s, 63), Level((w >> 11) * 2 + s, 63), Level(w & 63, 63)));
      }
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformSinclairQL

void InitKvOpenPlatformSinclairQL() {
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformSinclairQL::TKvSinclairQL4Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformSinclairQL::TKvSinclairQL8Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformSinclairQL::TKvSinclairQLPICEngine>());
}
