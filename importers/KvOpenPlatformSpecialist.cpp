#include "importers/KvOpenPlatformSpecialist.h"

#include "core/KvBitmap.h"

namespace KvOpenPlatformSpecialist {

namespace {
constexpr int64_t kFileSize = 12288;
}

TKvSpecialistEngine::TKvSpecialistEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kFileSize)) {
  Width = 384;
  Height = 256;
  Bits = 1;
  PixelAspect = 9;  // "0.92:1"
  Description = "Specialist" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvSpecialistEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != kFileSize) return 0;
  return ASource.GetExtension() == ".sps" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvSpecialistEngine::Decode() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  // Column by column, 256 bytes each.
  for (int c = 0; c < 48; ++c)
    for (int y = 0; y < 256; ++y) LBitmap->GetScanline(y)[c] = FData.U8(c * 256 + y);
  return LBitmap;
}

}  // namespace KvOpenPlatformSpecialist

void InitKvOpenPlatformSpecialist() {
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformSpecialist::TKvSpecialistEngine>());
}
