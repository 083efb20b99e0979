#include "platforms/KvPlatformSymbOS.h"

#include "core/KvErrors.h"

const uint8_t SymbOSLevels[16][3] = {
    {2, 2, 1}, {0, 0, 0}, {2, 1, 0}, {1, 0, 0}, {0, 2, 2}, {0, 0, 1}, {1, 1, 2}, {0, 0, 2},
    {2, 2, 2}, {0, 1, 0}, {0, 2, 0}, {2, 0, 2}, {2, 2, 0}, {1, 1, 1}, {2, 1, 1}, {2, 0, 0},
};

void BuildSymbOSPalette(TKvPalette256& APalette, TKvPaletteType AType) {
  static const uint8_t LMsx[3] = {0, 146, 255};  // 3-bit levels 0, 4, 7
  static const uint8_t LCpc[3] = {0, 136, 255};  // 4-bit levels 0, 8, 15
  if (AType != ptColoredLinear && AType != ptColoredMSX && AType != ptColoredCPC) RaiseUnsupportedPalette();
  APalette.Clear();
  for (const auto& l : SymbOSLevels) {
    if (AType == ptColoredLinear)
      APalette.AddLinRGB(LinRGBColor(l[0] / 2.0, l[1] / 2.0, l[2] / 2.0));
    else {
      const uint8_t* t = AType == ptColoredMSX ? LMsx : LCpc;
      APalette.AddRGB(t[l[0]], t[l[1]], t[l[2]]);
    }
  }
}

void BuildSymbOSGrayPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int i = 0; i < 4; ++i) APalette.AddRGB(static_cast<uint8_t>(85 * i), static_cast<uint8_t>(85 * i),
                                              static_cast<uint8_t>(85 * i));
}
