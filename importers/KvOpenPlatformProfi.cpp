#include "importers/KvOpenPlatformProfi.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformProfi.h"

namespace KvOpenPlatformProfi {

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A 3-bit and a 2-bit level on the 8-bit scale.
const uint8_t kLevels8[8] = {0, 36, 73, 109, 146, 182, 219, 255};
const uint8_t kLevels4[4] = {0, 85, 170, 255};

}  // namespace

TKvProfiEngine::TKvProfiEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetData()),
      FData(ASource.GetData() + ProfiGrfHeaderSize(ASource.GetData())) {
  Width = Word(FHeader);
  Height = Word(FHeader + 2);
  const bool LColor = FHeader[4] == ProfiKindColor;
  Bits = LColor ? 4 : 1;
  PixelAspect = 6;  // "3:4"
  const char* LKind = !LColor ? " B/W" : FHeader[9] != 0 ? " palette" : " color";
  Description = "Profi" + GetSizeText() + LKind + " image";
}

TKvMatchFlags TKvProfiEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() < ProfiHeaderBlockSize + 1 || !CheckProfiGrfHeader(ASource.GetData(), ASource.GetSize()))
    return 0;
  return ASource.GetExtension() == ".grf" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvProfiEngine::Decode() {
  const int64_t LRow = Word(FHeader + 6);
  const int LColumns = (Width + 7) / 8;
  if (FHeader[4] != ProfiKindColor) {
    SetMonoPalette(false);
    auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y) std::memcpy(LBitmap->GetScanline(y), FData + y * LRow, LColumns);
    return LBitmap;
  }
  if (FHeader[9] != 0) {
    Palette->Clear();
    for (int i = 0; i < 16; ++i) {
      const uint8_t b = FHeader[10 + i];
      Palette->AddRGB(kLevels8[(b >> 2) & 7], kLevels8[b >> 5], kLevels4[b & 3]);
    }
  } else {
    SetZxSpectrumPalette(205);
  }
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) {
    const uint8_t* p = FData + y * LRow;
    for (int c = 0; c < LColumns; ++c, p += 2) {
      int LPaper, LInk;
      DecodeProfiAttribute(p[1], LPaper, LInk);
      PutInkPaperByte(LBitmap.get(), p[0], LPaper, LInk, c, y, 8);
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
