#include "platforms/KvSavePlatformPP01.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

void TKvPP01Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const int64_t LOffset = static_cast<int64_t>(Y) * 32 + X / 8;
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  auto put = [&](int APlane, int ABit) {
    uint8_t& b = Data[APlane * PP01PlaneSize + LOffset];
    b = static_cast<uint8_t>((AValue >> ABit) & 1 ? (b | m) : (b & ~m));
  };
  put(0, 1);
  put(1, 2);
  put(2, 0);
}

TKvPP01EngineOptions::TKvPP01EngineOptions() {
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvPP01EngineUI::TKvPP01EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(2049);  // "Black/white", "Сolor"
  AddGrayPaletteCheckBox();
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvPP01Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvPP01EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvPP01Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvPP01EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvPP01Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                  TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                  std::unique_ptr<TKvStreamList>& AStreams) {
  // The planes hold 256 x 256 pixels.
  if (ABitmap.GetWidth() > 256 || ABitmap.GetHeight() > 256) RaiseOSError(87);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = LStreams->NewStream("01s", PP01FileSize)->GetMemory();
  TKvPalette256& LPalette = *AOptions.GetPalette();
  FillPP01Colors(LPalette);
  TKvImage LImage(ABitmap);
  TKvPP01Screen LScreen(ABitmap.GetWidth(), ABitmap.GetHeight(), LData);
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0:
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LPalette, 0, 7);
      break;
    case 11:
      if (AOptions.UseAsGrayPalette) LPalette.MakeGray();
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LPalette, nullptr);
      break;
    default:
      RaiseOSError(87);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformPP01() { RegisterDestEngine(DestEngineClass<TKvPP01Engine>()); }
