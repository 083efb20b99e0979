#include "importers/KvOpenPlatformIrisha.h"

#include "core/KvBitmap.h"

namespace KvOpenPlatformIrisha {

TKvIrishaEngine::TKvIrishaEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()) {
  const bool LNarrow = ASource.GetSize() == 8000;
  Width = LNarrow ? 320 : 640;
  Height = 200;
  Bits = 1;
  PixelAspect = LNarrow ? 8 : 0;
  Description = "Irisha" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvIrishaEngine::Match(TKvLoadSource& ASource) {
  const int64_t LSize = ASource.GetBytes().Size();
  if (LSize != 8000 && LSize != 16000) return 0;
  return ASource.GetExtension() == ".pic" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvIrishaEngine::Decode() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  const int LRow = Width / 8;
  for (int y = 0; y < Height; ++y) ReadBytes(LBitmap->GetScanline(y), FData.Row(y * LRow, LRow));
  return LBitmap;
}

}  // namespace KvOpenPlatformIrisha

void InitKvOpenPlatformIrisha() {
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformIrisha::TKvIrishaEngine>());
}
