#include "importers/KvOpenPlatformPP01.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformPP01.h"

namespace KvOpenPlatformPP01 {

TKvPP01Engine::TKvPP01Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, PP01FileSize)) {
  Width = 256;
  Height = 256;
  Bits = 3;
  Description = "PP01" + GetSizeText() + " image";
}

TKvMatchFlags TKvPP01Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != PP01FileSize) return 0;
  return ASource.GetExtension() == ".01s" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvPP01Engine::Decode() {
  FillPP01Colors(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int c = 0; c < 32; ++c) {
      const int o = y * 32 + c;
      const uint8_t a = FData.U8(o), b = FData.U8(o + PP01PlaneSize), d = FData.U8(o + 2 * PP01PlaneSize);
      for (int k = 0; k < 8; ++k) {
        const int s = 7 - k;
        const int v = ((a >> s) & 1) * 2 + ((b >> s) & 1) * 4 + ((d >> s) & 1);
        LBitmap->SetPixel(c * 8 + k, y, v);
      }
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformPP01

void InitKvOpenPlatformPP01() { RegisterSourceEngine(SourceEngineClass<KvOpenPlatformPP01::TKvPP01Engine>()); }
