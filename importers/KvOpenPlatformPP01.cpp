#include "importers/KvOpenPlatformPP01.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformPP01.h"

namespace KvOpenPlatformPP01 {

TKvPP01Engine::TKvPP01Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Width = 256;
  Height = 256;
  Bits = 3;
  Description = "PP01" + GetSizeText() + " image";
}

TKvMatchFlags TKvPP01Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != PP01FileSize || !ASource.GetData()) return 0;
  return ASource.GetExtension() == ".01s" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvPP01Engine::Decode() {
  FillPP01Colors(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int c = 0; c < 32; ++c) {
      const uint8_t* p = FData + y * 32 + c;
      for (int k = 0; k < 8; ++k) {
        const int s = 7 - k;
        const int v = ((p[0] >> s) & 1) * 2 + ((p[PP01PlaneSize] >> s) & 1) * 4 + ((p[2 * PP01PlaneSize] >> s) & 1);
        LBitmap->SetPixel(c * 8 + k, y, v);
      }
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformPP01

void InitKvOpenPlatformPP01() { RegisterSourceEngine(SourceEngineClass<KvOpenPlatformPP01::TKvPP01Engine>()); }
