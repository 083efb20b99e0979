#include "platforms/KvSavePlatformIrisha.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

namespace {

// The black and white conversion into a "pic" file of AWidth x 200 pixels.
std::unique_ptr<TKvBitmap> ConvertIrisha(TKvConvertArgs& AArgs, int AWidth) {
  TBitmap32& bitmap = AArgs.Bitmap;
  // The file holds AWidth x 200 pixels; a larger picture would write past it.
  if (bitmap.GetWidth() > AWidth || bitmap.GetHeight() > 200) RaiseOSError(87);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = streams->NewStream("pic", AWidth / 8 * 200)->GetMemory();
  TKvImage image(bitmap);
  TKvIrishaScreen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
  auto result = image.ConvertBW(AArgs.Abort, AArgs.Options, &screen, nullptr, 0, 1);
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

TKvIrisha320EngineOptions::TKvIrisha320EngineOptions() {
  SetPixelAspect(pa1_1p2);
  SetErrorDiffusion(100);
}

TKvIrisha640EngineOptions::TKvIrisha640EngineOptions() {
  SetPixelAspect(pa1_2p4);
  SetErrorDiffusion(100);
}

TKvIrisha320EngineUI::TKvIrisha320EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(PixelAspects(pa1_1p2, pa1_1));
  AddDitheringSection(false);
}

TKvIrisha640EngineUI::TKvIrisha640EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(PixelAspects(pa1_2p4, pa1_2, pa1_1));
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvIrisha320Engine::Convert(TKvConvertArgs& AArgs) { return ConvertIrisha(AArgs, 320); }

std::unique_ptr<TKvBitmap> TKvIrisha640Engine::Convert(TKvConvertArgs& AArgs) { return ConvertIrisha(AArgs, 640); }

void InitKvSavePlatformIrisha() { RegisterDestEngines<TKvIrisha320Engine, TKvIrisha640Engine>(); }
