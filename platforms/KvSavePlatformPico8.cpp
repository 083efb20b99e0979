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
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

TKvPico8EngineUI::TKvPico8EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvPico8Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256 colors;
  for (const auto& c : Pico8Colors) colors.AddStdRGB(StdRGBColor(c[0], c[1], c[2]));
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  switch (options.PaletteMode) {
    case pmBlackWhite:
      return image.ConvertBW(AArgs.Abort, options, nullptr, &colors, 0, 7);
    case pmGray: {
      options.SetUseAsGrayPalette(true);
      TKvPalette256& result = *options.GetPalette();
      result.Clear();
      for (uint8_t i : Pico8Grays) result.AddStdRGB(colors.GetStdRGB(i));
      return image.ConvertIndexed(AArgs.Abort, options, nullptr, result, &colors);
    }
    case pmColor:
      return image.ConvertIndexed(AArgs.Abort, options, nullptr, colors, nullptr);
    default:
      RaiseOSError(87);
  }
  return nullptr;
}

void InitKvSavePlatformPico8() { RegisterDestEngines<TKvPico8Engine>(); }
