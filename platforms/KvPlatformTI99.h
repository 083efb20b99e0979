// TI-99/4A tables shared by the converters and the importers: the colours of
// the TMS9918A under the four TI palette kinds.
#pragma once

#include <cstdint>

#include "core/KvColor.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// Clears APalette, then appends by AColorMode: 0 codes 1 and 15 (black and
// white), 1 codes 1, 14 and 15 (the grays), 11 all 16 codes with the
// transparent code 0 skipped by nearest-colour searches; any other mode adds
// nothing. In modes 0, 1 and 11 a palette kind outside ptTI99Calculated ..
// ptTI99Convert9918 raises the operating-system error 87.
void BuildTI99Palette(TKvPalette256& APalette, uint8_t APaletteType, uint8_t AColorMode);
