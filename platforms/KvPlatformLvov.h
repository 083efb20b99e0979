// What the Lvov converter and importer share: the four colours that a
// palette-port byte selects.
#pragma once

#include <cstdint>

#include "core/KvColor.h"
#include "core/KvPalette.h"

// The four colours of port byte APortByte: colour 2 is the base colour, the
// others are the base with some channels inverted. With ASort they are put
// in ascending order of green, then red, then blue.
void DecodeLvovPortColors(TKvStdRGBColor (&AColors)[4], uint8_t APortByte, bool ASort);
// Clears APalette and appends the four colours in order.
void LoadLvovPalette(const TKvStdRGBColor (&AColors)[4], TKvPalette256& APalette);
