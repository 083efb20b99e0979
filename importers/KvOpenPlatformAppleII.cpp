#include "importers/KvOpenPlatformAppleII.h"

#include "core/KvBitmap.h"

namespace {
constexpr int32_t kScreenSize = 8192;
}

int AppleIILineOffset(int AY) { return (AY % 8) * 1024 + ((AY / 8) % 8) * 128 + (AY / 64) * 40; }

TKvAppleIIEngine::TKvAppleIIEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kScreenSize)) {
  Width = 280;
  Height = 192;
  Bits = 1;
  Description = "Apple II" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvAppleIIEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kScreenSize) return 0;
  return ASource.GetExtension() == ".hgr" ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvAppleIIEngine::Decode() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) {
    // Bit 7 of each byte selects a colour shift that a black-and-white
    // reading ignores.
    const int LLine = AppleIILineOffset(y);
    for (int x = 0; x < Width; ++x) LBitmap->SetPixel(x, y, (FData.U8(LLine + x / 7) >> (x % 7)) & 1);
  }
  return LBitmap;
}

void InitKvOpenPlatformAppleII() { RegisterSourceEngine(SourceEngineClass<TKvAppleIIEngine>()); }
