#include "platforms/KvSavePlatformIrisha.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

namespace {

// The black and white conversion into a "pic" file of AWidth x 200 pixels.
std::unique_ptr<TKvBitmap> ConvertIrisha(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                         std::unique_ptr<TKvStreamList>& AStreams, int AWidth) {
  // The file holds AWidth x 200 pixels; a larger picture would write past it.
  if (ABitmap.GetWidth() > AWidth || ABitmap.GetHeight() > 200) RaiseOSError(87);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = LStreams->NewStream("pic", AWidth / 8 * 200)->GetMemory();
  TKvImage LImage(ABitmap);
  TKvIrishaScreen LScreen(ABitmap.GetWidth(), ABitmap.GetHeight(), LData);
  auto LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  AStreams = std::move(LStreams);
  return LResult;
}

}  // namespace

TKvIrisha320EngineOptions::TKvIrisha320EngineOptions() {
  SetPixelAspect(8);  // "1:1.2"
  SetErrorDiffusion(100);
}

TKvIrisha640EngineOptions::TKvIrisha640EngineOptions() {
  SetPixelAspect(0);  // "1:2.4"
  SetErrorDiffusion(100);
}

TKvIrisha320EngineUI::TKvIrisha320EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection((1u << 8) | (1u << 10));
  AddDitheringSection(false);
}

TKvIrisha640EngineUI::TKvIrisha640EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection((1u << 0) | (1u << 1) | (1u << 10));
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvIrisha320Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvIrisha320EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvIrisha320Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvIrisha320EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvIrisha320Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                       TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                       TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  return ConvertIrisha(AAbort, ABitmap, AOptions, AStreams, 320);
}

std::unique_ptr<TKvDestEngineUI> TKvIrisha640Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvIrisha640EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvIrisha640Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvIrisha640EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvIrisha640Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                       TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                       TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  return ConvertIrisha(AAbort, ABitmap, AOptions, AStreams, 640);
}

void InitKvSavePlatformIrisha() {
  RegisterDestEngine(DestEngineClass<TKvIrisha320Engine>());
  RegisterDestEngine(DestEngineClass<TKvIrisha640Engine>());
}
