// What the PMD 85 converters and importers share: the palettes of the screen
// files and the ColorAce colour rule.
#pragma once

#include <cstdint>

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

class TKvDestEngineOptions;

constexpr int PMD85FileSize = 16384;

// Black, then the colours of attributes 0 to 3 of palette kind AType
// ("Standard" has two of them). The custom kind reads its colours from
// AOptions, which may be nil for the other kinds; a kind outside them raises.
void BuildPMD85Palette(const TKvDestEngineOptions* AOptions, TKvPalette256& APalette, TKvPaletteType AType);
// The 8 ColorAce colours, after clearing APalette.
void BuildPMD85ColorAcePalette(TKvPalette256& APalette);
// The ColorAce colour of a 6 x 2 cell from the attributes (top two bits) of
// its two bytes, in either order.
int DecodeColorAceColor(uint8_t AOwnByte, uint8_t AOtherByte);
// The 4-bit code (attribute of the even row in bits 0-1, of the odd row in
// bits 2-3) that shows ColorAce colour AColor (1 to 7).
int ColorAceCode(int AColor);
