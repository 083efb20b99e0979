#include "importers/KvOpenPlatformOric.h"

#include "core/KvBitmap.h"

namespace {
constexpr int32_t kScreenSize = 8000;
constexpr int kBytesPerLine = 40;
}  // namespace

TKvOricEngine::TKvOricEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kScreenSize)) {
  Width = 240;
  Height = 200;
  Bits = 3;
  Description = "Oric" + GetSizeText() + " image";
}

TKvMatchFlags TKvOricEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kScreenSize) return 0;
  const std::string& LExt = ASource.GetExtension();
  return (LExt == ".hir" || LExt == ".hrs") ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvOricEngine::Decode() {
  // Index bit 0 red, bit 1 green, bit 2 blue.
  Palette->Clear();
  for (int i = 0; i < 8; ++i) Palette->AddLinRGB(LinRGBColor(i & 1, (i >> 1) & 1, (i >> 2) & 1));
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t p = 0;
  for (int y = 0; y < Height; ++y) {
    int LInk = 7, LPaper = 0;
    for (int j = 0; j < kBytesPerLine; ++j) {
      const uint8_t b = FData.U8(p++);
      const int LInvert = (b & 0x80) ? 7 : 0;
      uint8_t LBits = 0;
      if (b & 0x40) {
        LBits = b & 0x3F;
      } else {
        const int a = b & 0x3F;
        if (a < 8)
          LInk = a;
        else if (a >= 16 && a < 24)
          LPaper = a - 16;
      }
      for (int i = 0; i < 6; ++i) {
        const int c = ((LBits >> (5 - i)) & 1) ? LInk : LPaper;
        LBitmap->SetPixel(6 * j + i, y, c ^ LInvert);
      }
    }
  }
  return LBitmap;
}

void InitKvOpenPlatformOric() { RegisterSourceEngine(SourceEngineClass<TKvOricEngine>()); }
