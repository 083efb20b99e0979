#include "platforms/KvPlatformPMD85.h"

#include <vector>

#include "core/KvDestEngineOptions.h"
#include "core/KvErrors.h"

void BuildPMD85Palette(const TKvDestEngineOptions* AOptions, TKvPalette256& APalette, TKvPaletteType AType) {
  // The attribute colours of the fixed kinds A to F; white among them is the
  // exact linear white.
  constexpr TKvStdRGBColor white{255, 255, 255};
  static const std::vector<TKvStdRGBColor> fixedKinds[6] = {
      {white, {191, 191, 191}},
      {white, {223, 223, 223}, {191, 191, 191}, {160, 160, 160}},
      {{160, 160, 160}, {191, 191, 191}, {223, 223, 223}, white},
      {{80, 255, 80}, {255, 255, 80}, {80, 255, 255}, white},
      {{80, 255, 80}, {255, 80, 80}, {80, 80, 255}, {255, 80, 255}},
      {white, {0, 160, 0}, {255, 80, 80}, {160, 0, 0}},
  };
  APalette.Clear();
  APalette.AddLinRGB(LinRGBColor(0, 0, 0));
  if (AType >= ptPMD85A && AType <= ptPMD85F) {
    for (const TKvStdRGBColor& c : fixedKinds[AType - ptPMD85A])
      if (c == white)
        APalette.AddLinRGB(LinRGBColor(1, 1, 1));
      else
        APalette.AddStdRGB(c);
  } else if (AType == ptPMD85GCustom && AOptions) {
    for (const TKvStdRGBColor* c :
         {&AOptions->CustomColor1, &AOptions->CustomColor2, &AOptions->CustomColor3, &AOptions->CustomColor4})
      APalette.AddStdRGB(*c);
  } else {
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
