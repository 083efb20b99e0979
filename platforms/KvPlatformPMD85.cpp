#include "platforms/KvPlatformPMD85.h"

#include "core/KvDestEngineOptions.h"
#include "core/KvErrors.h"

void BuildPMD85Palette(const TKvDestEngineOptions* AOptions, TKvPalette256& APalette, TKvPaletteType AType) {
  APalette.Clear();
  APalette.AddLinRGB(LinRGBColor(0, 0, 0));
  auto white = [&]() { APalette.AddLinRGB(LinRGBColor(1, 1, 1)); };
  auto rgb = [&](uint8_t R, uint8_t G, uint8_t B) { APalette.AddRGB(R, G, B); };
  switch (AType) {
    case ptPMD85A:
      white();
      rgb(191, 191, 191);
      break;
    case ptPMD85B:
      white();
      rgb(223, 223, 223);
      rgb(191, 191, 191);
      rgb(160, 160, 160);
      break;
    case ptPMD85C:
      rgb(160, 160, 160);
      rgb(191, 191, 191);
      rgb(223, 223, 223);
      white();
      break;
    case ptPMD85D:
      rgb(80, 255, 80);
      rgb(255, 255, 80);
      rgb(80, 255, 255);
      white();
      break;
    case ptPMD85E:
      rgb(80, 255, 80);
      rgb(255, 80, 80);
      rgb(80, 80, 255);
      rgb(255, 80, 255);
      break;
    case ptPMD85F:
      white();
      rgb(0, 160, 0);
      rgb(255, 80, 80);
      rgb(160, 0, 0);
      break;
    case ptPMD85GCustom:
      if (!AOptions) RaiseUnsupportedOption();
      for (const TKvStdRGBColor* c :
           {&AOptions->CustomColor1, &AOptions->CustomColor2, &AOptions->CustomColor3, &AOptions->CustomColor4})
        APalette.AddStdRGB(*c);
      break;
    default:
      RaiseUnsupportedOption();
  }
}

void BuildPMD85ColorAcePalette(TKvPalette256& APalette) {
  static const uint8_t LColors[8][3] = {{0, 0, 0},     {80, 80, 255},  {255, 80, 80},  {255, 80, 255},
                                        {80, 255, 80}, {80, 255, 255}, {255, 255, 0}, {255, 255, 255}};
  APalette.Clear();
  for (const auto& c : LColors) APalette.AddRGB(c[0], c[1], c[2]);
}

int DecodeColorAceColor(uint8_t AOwnByte, uint8_t AOtherByte) {
  static const uint8_t LTable[4][4] = {{4, 6, 5, 7}, {6, 2, 3, 3}, {5, 3, 1, 3}, {7, 3, 3, 3}};
  return LTable[AOwnByte >> 6][AOtherByte >> 6];
}

int ColorAceCode(int AColor) {
  static const uint8_t LCodes[8] = {0, 10, 5, 15, 0, 8, 4, 12};
  return LCodes[AColor & 7];
}
