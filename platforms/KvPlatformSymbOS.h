// What the SymbOS converter and importer share: the colour table and the
// palettes of the ".sgx" graphics.
#pragma once

#include <cstdint>

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// The 16 colours as levels 0..2 of R, G, B.
extern const uint8_t SymbOSLevels[16][3];

// The 16 colours by palette kind ("Linear", "MSX", "Amstrad CPC"), the MSX and
// CPC ones as bytes of their level tables; another kind raises.
void BuildSymbOSPalette(TKvPalette256& APalette, TKvPaletteType AType);
// The four grays 0, 85, 170, 255.
void BuildSymbOSGrayPalette(TKvPalette256& APalette);
