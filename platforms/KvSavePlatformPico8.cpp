#include "platforms/KvSavePlatformPico8.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

const uint8_t Pico8Colors[16][3] = {
    {0x00, 0x00, 0x00}, {0x1D, 0x2B, 0x53}, {0x7E, 0x25, 0x53}, {0x00, 0x87, 0x51},
    {0xAB, 0x52, 0x36}, {0x5F, 0x57, 0x4F}, {0xC2, 0xC3, 0xC7}, {0xFF, 0xF1, 0xE8},
    {0xFF, 0x00, 0x4D}, {0xFF, 0xA3, 0x00}, {0xFF, 0xEC, 0x27}, {0x00, 0xE4, 0x36},
    {0x29, 0xAD, 0xFF}, {0x83, 0x76, 0x9C}, {0xFF, 0x77, 0xA8}, {0xFF, 0xCC, 0xAA},
};

const uint8_t Pico8Grays[4] = {0, 5, 6, 7};

TKvPico8EngineOptions::TKvPico8EngineOptions() {
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvPico8EngineUI::TKvPico8EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(0x803);  // "Black/white", "Gray", "Сolor"
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvPico8Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvPico8EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvPico8Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvPico8EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvPico8Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                   TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                   std::unique_ptr<TKvStreamList>&) {
  TKvPalette256 LColors;
  for (const auto& c : Pico8Colors) LColors.AddStdRGB(StdRGBColor(c[0], c[1], c[2]));
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  switch (AOptions.PaletteMode) {
    case 0:
      return LImage.ConvertBW(AAbort, AOptions, nullptr, &LColors, 0, 7);
    case 1: {
      AOptions.SetUseAsGrayPalette(true);
      TKvPalette256& LResult = *AOptions.GetPalette();
      LResult.Clear();
      for (uint8_t i : Pico8Grays) LResult.AddStdRGB(LColors.GetStdRGB(i));
      return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, &LColors);
    }
    case 11:
      return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LColors, nullptr);
    default:
      RaiseOSError(87);
  }
  return nullptr;
}

void InitKvSavePlatformPico8() { RegisterDestEngine(DestEngineClass<TKvPico8Engine>()); }
