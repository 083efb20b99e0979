// What the BK-0011 converters and importers share: the sixteen fixed
// four-colour palettes, their two-frame mixtures and the ".bin" header.
#pragma once

#include <cstdint>

#include "core/KvColor.h"
#include "core/KvPalette.h"
#include "platforms/KvFourColorPalettes.h"

constexpr int BKPaletteCount = 16;
constexpr int BKScreenSize = 16384;
constexpr int BKBinSize = BKScreenSize + 4;

// The four sRGB colours of palette 1..16 (entry 0 is palette 1).
extern const TKvStdRGBColor BKPalettes[BKPaletteCount][4];

// Clears APalette, then for AIndex 1..16 appends that palette's four colours;
// 0 leaves it empty.
inline void BuildBKPalette(int AIndex, TKvPalette256& APalette) { BuildFourColorPalette(BKPalettes, AIndex, APalette); }
// The 16 mixtures of palette AIndex shown in two alternating frames, entry
// i * 4 + j = colour i in frame A and colour j in frame B; mixtures whose two
// colours differ in gray by more than AMaxFlickering percent, and those with
// j < i, are flagged.
inline void BuildBKMixPalette(int AIndex, int AMaxFlickering, TKvPalette256& APalette) {
  BuildFourColorMixPalette(BKPalettes, AIndex, AMaxFlickering, APalette);
}
// The ".bin" file: the address and length words stored high byte first, then
// 16384 screen bytes from ASource whatever ALength says.
void WriteBKBin(uint8_t* ADest, uint16_t AAddress, uint16_t ALength, const uint8_t* ASource);
