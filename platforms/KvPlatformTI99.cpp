#include "platforms/KvPlatformTI99.h"

#include "core/KvErrors.h"

namespace {

// "Calculated": linear components.
const double CalculatedColors[16][3] = {
    {0, 0, 0},
    {0, 0, 0},
    {0.2756, 0.7165, 0.2286},
    {0.4839, 0.8097, 0.4324},
    {0.3652, 0.3037, 1.0},
    {0.499, 0.4442, 1.0},
    {0.7112, 0.3822, 0.2776},
    {0.3619, 0.7799, 0.9275},
    {0.8406, 0.417, 0.2823},
    {0.9806, 0.557, 0.4223},
    {0.7616, 0.8023, 0.255},
    {0.8227, 0.8518, 0.4595},
    {0.2431, 0.6227, 0.1831},
    {0.7115, 0.3906, 0.7792},
    {0.8, 0.8, 0.8},
    {1.0, 1.0, 1.0},
};

// "MSX", "Coleco ADAM" and "Convert9918": sRGB $RRGGBB.
const uint32_t StdColors[3][16] = {
    {0x000000, 0x010101, 0x3EB849, 0x74D07D, 0x5955E0, 0x8076F1, 0xB95E51, 0x65DBEF, 0xDB6559, 0xFF897D, 0xCCC35E,
     0xDED087, 0x3AA241, 0xB766B5, 0xCCCCCC, 0xFFFFFF},
    {0x000000, 0x000000, 0x47B73B, 0x7CCF6F, 0x5D4EFF, 0x8072FF, 0xB66247, 0x5DC8ED, 0xD76B48, 0xFB8F6C, 0xC3CD41,
     0xD3DA76, 0x3E9F2F, 0xB664C7, 0xCCCCCC, 0xFFFFFF},
    {0x000000, 0x000000, 0x20C840, 0x58D878, 0x5050E8, 0x7870F8, 0xD05048, 0x40E8F0, 0xF85050, 0xF87878, 0xD0C050,
     0xE0C880, 0x20B038, 0xC858B8, 0xC8C8C8, 0xF8F8F8},
};

void AddCode(TKvPalette256& APalette, uint8_t AType, int ACode) {
  if (AType == ptTI99Calculated) {
    const double* c = CalculatedColors[ACode];
    APalette.AddLinRGB(LinRGBColor(c[0], c[1], c[2]));
    return;
  }
  const uint32_t v = StdColors[AType - ptTI99MSX][ACode];
  APalette.AddRGB(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
}

}  // namespace

void BuildTI99Palette(TKvPalette256& APalette, uint8_t APaletteType, uint8_t AColorMode) {
  APalette.Clear();
  if (AColorMode != 0 && AColorMode != 1 && AColorMode != 11) return;
  if (APaletteType < ptTI99Calculated || APaletteType > ptTI99Convert9918) RaiseUnsupportedOption();
  switch (AColorMode) {
    case 0:
      for (int c : {1, 15}) AddCode(APalette, APaletteType, c);
      break;
    case 1:
      for (int c : {1, 14, 15}) AddCode(APalette, APaletteType, c);
      break;
    default:
      for (int c = 0; c < 16; ++c) AddCode(APalette, APaletteType, c);
      APalette.Colors[0].Skip = true;
      break;
  }
}
