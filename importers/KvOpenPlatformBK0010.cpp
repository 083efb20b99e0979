#include "importers/KvOpenPlatformBK0010.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformBK0010.h"

namespace {

TKvMatchFlags SizeFlags(TKvLoadSource& ASource, int64_t ASize, const char* AExtension) {
  if (ASource.GetBytes().Size() != ASize) return 0;
  return ASource.GetExtension() == AExtension ? mfSize | mfExtension : mfSize;
}

// The two header words of a ".bin" are the address and length 0x4000, each
// stored high byte first.
TKvMatchFlags BinFlags(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() != BKBinSize) return 0;
  for (int i = 0; i < 2; ++i)
    if (d.Be16(2 * i) != 0x4000) return 0;
  return ASource.GetExtension() == ".bin" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

// Pixel k of the 8 in a little-endian word of a colour screen.
inline int Group(uint16_t AWord, int k) { return (AWord >> (2 * k)) & 3; }

}  // namespace

TKvBaseBK0010SourceEngine::TKvBaseBK0010SourceEngine(TKvLoadSource& ASource, int AOffset, int AScreens, bool AMono,
                                                     int ABits)
    : TKvSourceEngine(ASource), FScreen(ASource.GetBytes().Sub(AOffset, int64_t{AScreens} * BKScreenSize)) {
  Width = AMono ? 512 : 256;
  Height = 256;
  Bits = ABits;
  PixelAspect = AMono ? 7 : 13;  // "2:3" or "1:0.75"
}

std::unique_ptr<TKvBitmap> TKvBaseBK0010SourceEngine::DecodeColor(int AStoredNumber) {
  BuildBKPalette(AStoredNumber + 1, *Palette);
  ColorCount = 4;
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t p = 0;
  for (int y = 0; y < 256; ++y)
    for (int j = 0; j < 32; ++j, p += 2) {
      const uint16_t w = FScreen.Le16(p);
      for (int k = 0; k < 8; ++k) LBitmap->SetPixel(8 * j + k, y, Group(w, k));
    }
  return LBitmap;
}

std::unique_ptr<TKvBitmap> TKvBaseBK0010SourceEngine::DecodeMono() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  // The leftmost pixel of a file byte is its bit 0: reversing the bits gives
  // the bitmap's order.
  for (int y = 0; y < 256; ++y) ReadBytesReversed(LBitmap->GetScanline(y), FScreen.Row(y * 64, 64));
  return LBitmap;
}

// ---------------------------------------------------------------------------

TKvBK0010BKSSourceEngine::TKvBK0010BKSSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 0, 1, false, 2), FPaletteNumber(ASource.GetBytes().U8(BKScreenSize)) {
  Description = "BK-0011" + GetSizeText() + " palette " + std::to_string(FPaletteNumber) + " image";
}

TKvMatchFlags TKvBK0010BKSSourceEngine::Match(TKvLoadSource& ASource) {
  const TKvMatchFlags f = SizeFlags(ASource, BKScreenSize + 1, ".bks");
  return f && ASource.GetBytes().U8(BKScreenSize) <= 15 ? f : 0;
}

std::unique_ptr<TKvBitmap> TKvBK0010BKSSourceEngine::Decode() { return DecodeColor(FPaletteNumber); }

TKvBK0010BKSExSourceEngine::TKvBK0010BKSExSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 0, 1, false, 2),
      FScreenB(ASource.GetBytes().Sub(BKScreenSize, BKScreenSize)),
      FPaletteA(ASource.GetBytes().U8(2 * BKScreenSize)),
      FPaletteB(ASource.GetBytes().U8(2 * BKScreenSize + 1)) {
  Description = "BK-0011" + GetSizeText() + " palette " + std::to_string(FPaletteA);
  if (FPaletteB != FPaletteA) {
    Description += '/';
    Description += std::to_string(FPaletteB);
  }
  Description += " gigascreen image";
}

TKvMatchFlags TKvBK0010BKSExSourceEngine::Match(TKvLoadSource& ASource) {
  const TKvMatchFlags f = SizeFlags(ASource, 2 * BKScreenSize + 2, ".bks");
  if (!f) return 0;
  const TKvBytes d = ASource.GetBytes();
  return d.U8(2 * BKScreenSize) <= 15 && d.U8(2 * BKScreenSize + 1) <= 15 ? f : 0;
}

std::unique_ptr<TKvBitmap> TKvBK0010BKSExSourceEngine::Decode() {
  TKvPalette256 LPaletteA, LPaletteB;
  BuildBKPalette(FPaletteA + 1, LPaletteA);
  BuildBKPalette(FPaletteB + 1, LPaletteB);
  Palette->Clear();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      const int k = Palette->AddLinRGB(MiddleLinRGB(LPaletteA.GetLinRGB(i), LPaletteB.GetLinRGB(j)));
      if (i > j) Palette->Colors[k].Skip = true;
    }
  ColorCount = 4;
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* LFrameA = LBitmap->AddFrame(&LPaletteA);
  TKvBitmap* LFrameB = LBitmap->AddFrame(&LPaletteB);
  int64_t p = 0;
  for (int y = 0; y < 256; ++y)
    for (int j = 0; j < 32; ++j, p += 2) {
      const uint16_t wa = FScreen.Le16(p), wb = FScreenB.Le16(p);
      for (int k = 0; k < 8; ++k) {
        const int a = Group(wa, k), b = Group(wb, k);
        LBitmap->SetPixel(8 * j + k, y, a * 4 + b);
        LFrameA->SetPixel(8 * j + k, y, a);
        LFrameB->SetPixel(8 * j + k, y, b);
      }
    }
  return LBitmap;
}

TKvBK0010BKSBWSourceEngine::TKvBK0010BKSBWSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 0, 1, true, 1) {
  Description = "BK-0011" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvBK0010BKSBWSourceEngine::Match(TKvLoadSource& ASource) {
  return SizeFlags(ASource, BKScreenSize, ".bks");
}

std::unique_ptr<TKvBitmap> TKvBK0010BKSBWSourceEngine::Decode() { return DecodeMono(); }

TKvBK0010BKSBWExSourceEngine::TKvBK0010BKSBWExSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 0, 2, true, 2) {
  Description = "BK-0011" + GetSizeText() + " B/W gigascreen image";
}

TKvMatchFlags TKvBK0010BKSBWExSourceEngine::Match(TKvLoadSource& ASource) {
  return SizeFlags(ASource, 2 * BKScreenSize, ".bks");
}

std::unique_ptr<TKvBitmap> TKvBK0010BKSBWExSourceEngine::Decode() {
  SetMonoGigaScreenPalette();
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* LFrameA = LBitmap->AddFrame(Palette2.get());
  TKvBitmap* LFrameB = LBitmap->AddFrame(Palette2.get());
  for (int y = 0; y < 256; ++y)
    for (int j = 0; j < 64; ++j)
      PutPlanes2x1Lsb(LBitmap.get(), LFrameA, LFrameB, FScreen.U8(y * 64 + j), FScreen.U8(BKScreenSize + y * 64 + j), j,
                      y, 8);
  return LBitmap;
}

TKvBK0010PICSourceEngine::TKvBK0010PICSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 0, 1, false, 2) {
  Description = "BK-0010" + GetSizeText() + " palette 0 image";
}

TKvMatchFlags TKvBK0010PICSourceEngine::Match(TKvLoadSource& ASource) {
  return SizeFlags(ASource, BKScreenSize, ".pic");
}

std::unique_ptr<TKvBitmap> TKvBK0010PICSourceEngine::Decode() { return DecodeColor(0); }

TKvBK0010BINSourceEngine::TKvBK0010BINSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 4, 1, false, 2) {
  Description = "BK-0010" + GetSizeText() + " palette 0 image";
}

TKvMatchFlags TKvBK0010BINSourceEngine::Match(TKvLoadSource& ASource) { return BinFlags(ASource); }

std::unique_ptr<TKvBitmap> TKvBK0010BINSourceEngine::Decode() { return DecodeColor(0); }

TKvBK0010BINBWSourceEngine::TKvBK0010BINBWSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 4, 1, true, 1) {
  Description = "BK-0010" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvBK0010BINBWSourceEngine::Match(TKvLoadSource& ASource) { return BinFlags(ASource); }

std::unique_ptr<TKvBitmap> TKvBK0010BINBWSourceEngine::Decode() { return DecodeMono(); }

void InitKvOpenPlatformBK0010() {
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BKSSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BKSExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BKSBWSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BKSBWExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010PICSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BINSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvBK0010BINBWSourceEngine>());
}
