#include "importers/KvOpenPlatformOkean240.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformOkean240.h"

namespace {

TKvMatchFlags OksFlags(TKvLoadSource& ASource, int64_t ASize) {
  if (ASource.GetBytes().Size() != ASize) return 0;
  return ASource.GetExtension() == ".oks" ? mfSize | mfExtension : mfSize;
}

// A colour file of ASize bytes whose last byte names one of the 7 palettes.
TKvMatchFlags ColorFlags(TKvLoadSource& ASource, int64_t ASize) {
  const TKvMatchFlags f = OksFlags(ASource, ASize);
  return f && ASource.GetBytes().U8(ASize - 1) < OkeanPaletteCount ? f : 0;
}

// Colour number of pixel (X, Y) of the colour screen AScreen.
inline int ColorAt(const TKvBytes& AScreen, int X, int Y) {
  const int o = OkeanColorOffset(X, Y);
  const int k = X & 7;
  return ((AScreen.U8(o + 256) >> k) & 1) * 2 + ((AScreen.U8(o) >> k) & 1);
}

inline int MonoAt(const TKvBytes& AScreen, int X, int Y) { return (AScreen.U8(OkeanMonoOffset(X, Y)) >> (X & 7)) & 1; }

}  // namespace

TKvOkean240SourceEngine::TKvOkean240SourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()), FPaletteNumber(FData.U8(OkeanScreenSize)) {
  Width = 256;
  Height = 256;
  Bits = 2;
  PixelAspect = 13;  // "1:0.75"
  Description = "Okean-240" + GetSizeText() + " palette " + std::to_string(FPaletteNumber) + " image";
}

TKvMatchFlags TKvOkean240SourceEngine::Match(TKvLoadSource& ASource) {
  return ColorFlags(ASource, OkeanScreenSize + 1);
}

std::unique_ptr<TKvBitmap> TKvOkean240SourceEngine::Decode() {
  BuildOkeanPalette(FPaletteNumber + 1, *Palette);
  ColorCount = 4;
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) LBitmap->SetPixel(x, y, ColorAt(FData, x, y));
  return LBitmap;
}

TKvOkean240ExSourceEngine::TKvOkean240ExSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()), FPaletteNumber(FData.U8(2 * OkeanScreenSize)) {
  Width = 256;
  Height = 256;
  Bits = 4;
  PixelAspect = 13;
  Description = "Okean-240" + GetSizeText() + " palette " + std::to_string(FPaletteNumber) + " gigascreen image";
}

TKvMatchFlags TKvOkean240ExSourceEngine::Match(TKvLoadSource& ASource) {
  return ColorFlags(ASource, 2 * OkeanScreenSize + 1);
}

std::unique_ptr<TKvBitmap> TKvOkean240ExSourceEngine::Decode() {
  NeedPalette2();
  BuildOkeanPalette(FPaletteNumber + 1, *Palette2);
  Palette->FillMixtures(Palette2.get(), 100, 0);
  ColorCount = 4;
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* LFrameA = LBitmap->AddFrame(Palette2.get());
  TKvBitmap* LFrameB = LBitmap->AddFrame(Palette2.get());
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const int a = ColorAt(FData, x, y), b = ColorAt(FData.Sub(OkeanScreenSize), x, y);
      LBitmap->SetPixel(x, y, a * 4 + b);
      LFrameA->SetPixel(x, y, a);
      LFrameB->SetPixel(x, y, b);
    }
  return LBitmap;
}

TKvOkean240BWSourceEngine::TKvOkean240BWSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()) {
  Width = 512;
  Height = 256;
  Bits = 1;
  PixelAspect = 7;  // "2:3"
  Description = "Okean-240" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvOkean240BWSourceEngine::Match(TKvLoadSource& ASource) { return OksFlags(ASource, OkeanScreenSize); }

std::unique_ptr<TKvBitmap> TKvOkean240BWSourceEngine::Decode() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 512; ++x) LBitmap->SetPixel(x, y, MonoAt(FData, x, y));
  return LBitmap;
}

TKvOkean240BWExSourceEngine::TKvOkean240BWExSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()) {
  Width = 512;
  Height = 256;
  Bits = 2;
  PixelAspect = 7;
  Description = "Okean-240" + GetSizeText() + " B/W gigascreen image";
}

TKvMatchFlags TKvOkean240BWExSourceEngine::Match(TKvLoadSource& ASource) {
  return OksFlags(ASource, 2 * OkeanScreenSize);
}

std::unique_ptr<TKvBitmap> TKvOkean240BWExSourceEngine::Decode() {
  SetMonoGigaScreenPalette();
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* LFrameA = LBitmap->AddFrame(Palette2.get());
  TKvBitmap* LFrameB = LBitmap->AddFrame(Palette2.get());
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 512; ++x) {
      const int a = MonoAt(FData, x, y), b = MonoAt(FData.Sub(OkeanScreenSize), x, y);
      LBitmap->SetPixel(x, y, a * 2 + b);
      LFrameA->SetPixel(x, y, a);
      LFrameB->SetPixel(x, y, b);
    }
  return LBitmap;
}

void InitKvOpenPlatformOkean240() {
  RegisterSourceEngine(SourceEngineClass<TKvOkean240SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvOkean240ExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvOkean240BWSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvOkean240BWExSourceEngine>());
}
