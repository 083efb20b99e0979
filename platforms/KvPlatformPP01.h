// What the PP01 converter and importer share: the colours and the plane sizes
// of the "01s" file.
#pragma once

#include "core/KvPalette.h"

constexpr int PP01PlaneSize = 8192;
constexpr int PP01FileSize = 3 * PP01PlaneSize;

// The 8 colours (index bit 0 blue, bit 1 red, bit 2 green), cleared and
// added to APalette as linear colours.
void FillPP01Colors(TKvPalette256& APalette);
