#include "importers/KvOpenPlatformProfi.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformProfi.h"

namespace KvOpenPlatformProfi {

namespace {

// A 3-bit and a 2-bit level on the 8-bit scale.
const uint8_t kLevels8[8] = {0, 36, 73, 109, 146, 182, 219, 255};
const uint8_t kLevels4[4] = {0, 85, 170, 255};

}  // namespace

TKvProfiEngine::TKvProfiEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FHeader(ASource.GetBytes().Sub(0, ProfiHeaderBlockSize)) {
  Width = FHeader.Le16(0);
  Height = FHeader.Le16(2);
  FData = ASource.GetBytes().Sub(ProfiGrfHeaderSize(FHeader), FHeader.Le16(6) * int64_t{Height});
  const bool LColor = FHeader.U8(4) == ProfiKindColor;
  Bits = LColor ? 4 : 1;
  PixelAspect = 6;  // "3:4"
  const char* LKind = !LColor ? " B/W" : FHeader.U8(9) != 0 ? " palette" : " color";
  Description = "Profi" + GetSizeText() + LKind + " image";
}

TKvMatchFlags TKvProfiEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() < ProfiHeaderBlockSize + 1 || !CheckProfiGrfHeader(file, file.Size())) return 0;
  return ASource.GetExtension() == ".grf" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvProfiEngine::Decode() {
  const int64_t LRow = FHeader.Le16(6);
  const int LColumns = (Width + 7) / 8;
  if (FHeader.U8(4) != ProfiKindColor) {
    SetMonoPalette(false);
    auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y) FData.Read(y * LRow, LBitmap->GetScanline(y), LColumns);
    return LBitmap;
  }
  if (FHeader.U8(9) != 0) {
    Palette->Clear();
    for (int i = 0; i < 16; ++i) {
      const uint8_t b = FHeader.U8(10 + i);
      Palette->AddRGB(kLevels8[(b >> 2) & 7], kLevels8[b >> 5], kLevels4[b & 3]);
    }
  } else {
    SetZxSpectrumPalette(205);
  }
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) {
    for (int c = 0; c < LColumns; ++c) {
      const int64_t p = y * LRow + 2 * c;
      int LPaper, LInk;
      DecodeProfiAttribute(FData.U8(p + 1), LPaper, LInk);
      PutInkPaperByte(LBitmap.get(), FData.U8(p), LPaper, LInk, c, y, 8);
    }
  }
  return LBitmap;
}

}  // namespace KvOpenPlatformProfi

const std::vector<const TKvSourceEngineClass*>& ProfiSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<KvOpenPlatformProfi::TKvProfiEngine>()};
  return LClasses;
}

void InitKvOpenPlatformProfi() {
  for (const TKvSourceEngineClass* c : ProfiSourceEngineClasses()) RegisterSourceEngine(*c);
}
