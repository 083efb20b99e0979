#include "importers/KvOpenPlatformElektronikaKR04.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformElektronikaKR04.h"

TKvKR04Engine::TKvKR04Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetBytes().Sub(0, KR04HeaderSize)),
      FPixels(ASource.GetBytes().Sub(KR04HeaderSize)) {
  const uint8_t LFlags = FHeader.U8(4);
  Width = FHeader.Le16(8);
  Height = FHeader.Le16(10);
  Bits = (LFlags & KR04Flag2Bits) ? 2 : 1;
  if (LFlags & KR04FlagTwoFrames) Bits *= 2;
  std::string LWords;
  if (LFlags & KR04Flag2Bits) {
    PixelAspect = 15;  // "1.475:1"
    LWords = (LFlags & KR04FlagPalette) ? " EGA" : " color";
  } else {
    PixelAspect = 5;  // "0.7375:1"
    LWords = " B/W";
    if (LFlags & KR04FlagPalette) LWords += " EGA";
  }
  if (LFlags & KR04FlagTwoFrames) LWords += " gigascreen";
  Description = "Elektronika KR-04" + GetSizeText() + LWords + " image";
}

TKvMatchFlags TKvKR04Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= KR04HeaderSize || !CheckKR04Header(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".krs" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

void TKvKR04Engine::BuildBasePalette(int ACount) {
  static const uint8_t LLevels[4] = {0x00, 0x55, 0xAA, 0xFF};
  Palette->Clear();
  if (FHeader.U8(4) & KR04FlagPalette) {
    for (int i = 0; i < ACount; ++i) {
      auto level = [&](int AByte) { return LLevels[(FHeader.U8(AByte) >> (2 * i)) & 3]; };
      Palette->AddRGB(level(7), level(6), level(5));
    }
  } else if (ACount == 2) {
    SetMonoPalette(false);
  } else {
    BuildKR04BRGBPalette(*Palette);
  }
  ColorCount = ACount;
}

std::unique_ptr<TKvBitmap> TKvKR04Engine::Decode() {
  const uint8_t LFlags = FHeader.U8(4);
  const bool LColour = LFlags & KR04Flag2Bits;
  const bool LTwoFrames = LFlags & KR04FlagTwoFrames;
  const int S = static_cast<int>(KR04RowSize(LFlags, Width));
  const int64_t LFrame = static_cast<int64_t>(S) * Height;
  const int n = LColour ? 4 : 2;
  BuildBasePalette(n);
  if (LTwoFrames) MakeGigaScreenPalette();

  if (!LColour && !LTwoFrames) {
    auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y) ReadBytesReversed(LBitmap->GetScanline(y), FPixels.Row(int64_t{y} * S, S));
    return LBitmap;
  }

  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* LFrameA = LTwoFrames ? LBitmap->AddFrame(Palette2.get()) : nullptr;
  TKvBitmap* LFrameB = LTwoFrames ? LBitmap->AddFrame(Palette2.get()) : nullptr;
  for (int y = 0; y < Height; ++y) {
    const int64_t a = int64_t{y} * S;
    const int64_t b = a + LFrame;  // the second frame's row
    if (!LColour) {
      // One bit per frame, the leftmost pixel in bit 0.
      for (int c = 0; c < S; ++c) {
        const int LCount = Width - c * 8 < 8 ? Width - c * 8 : 8;
        PutPlanes2x1Lsb(LBitmap.get(), LFrameA, LFrameB, FPixels.U8(a + c), FPixels.U8(b + c), c, y, LCount);
      }
      continue;
    }
    uint8_t va = 0, vb = 0;
    for (int x = 0; x < Width; ++x) {
      if ((x & 3) == 0) {
        va = FPixels.U8(a + x / 4);
        if (LTwoFrames) vb = FPixels.U8(b + x / 4);
      }
      const int pa = (va & 1) | ((va >> 3) & 2);
      va = static_cast<uint8_t>(va >> 1);
      if (!LTwoFrames) {
        LBitmap->SetPixel(x, y, pa);
        continue;
      }
      const int pb = (vb & 1) | ((vb >> 3) & 2);
      vb = static_cast<uint8_t>(vb >> 1);
      LFrameA->SetPixel(x, y, pa);
      LFrameB->SetPixel(x, y, pb);
      LBitmap->SetPixel(x, y, pa * 4 + pb);
    }
  }
  return LBitmap;
}

void InitKvOpenPlatformElektronikaKR04() { RegisterSourceEngine(SourceEngineClass<TKvKR04Engine>()); }
