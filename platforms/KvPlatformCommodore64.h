// Commodore 64 colours, shared by everything that reads C64 pictures.
#pragma once

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// Clears APalette and adds the 16 C64 colours in colour-number order, in the
// model of AType (ptCommandore64Dark or ptCommandore64Light). Any other kind
// raises "Internal error" with the palette already cleared.
void BuildC64Palette(TKvPalette256& APalette, TKvPaletteType AType);
