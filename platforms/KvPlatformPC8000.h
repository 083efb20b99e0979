// What the PC-8000 converter and importer share: the ".vm2" header and the
// palettes.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// Magic, 6144 pixel bytes, 6144 colour bytes.
constexpr int PC8000FileSize = 12292;
constexpr int PC8000HeaderSize = 4;
constexpr int PC8000PlaneSize = 6144;

void InitPC8000Header(uint8_t* AData);
// The file begins with the magic.
bool CheckPC8000Header(const TKvBytes& AFile);
// The offset, past the header, of the pixel byte of segment column ACellX of
// row Y; its colour byte is PC8000PlaneSize further.
inline int PC8000Offset(int ACellX, int Y) { return (Y / 8) * 256 + ACellX * 8 + (Y % 8); }
// The palette mode pmBlackWhite, pmGray or pmColor of the kinds "Linear" and
// "DDp"; anything else raises.
void BuildPC8000Palette(TKvPalette256& APalette, TKvPaletteType AType, int AMode);
