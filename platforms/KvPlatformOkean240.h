// What the Okean-240 converters and importers share: the seven fixed
// four-colour palettes and their two-frame mixtures.
#pragma once

#include "core/KvColor.h"
#include "core/KvPalette.h"
#include "platforms/KvFourColorPalettes.h"

constexpr int OkeanPaletteCount = 7;
constexpr int OkeanScreenSize = 16384;

// The four sRGB colours of palette 1..7 (entry 0 is palette 1); files store
// the palette number minus one.
extern const TKvStdRGBColor OkeanPalettes[OkeanPaletteCount][4];

// Clears APalette, then for AIndex 1..7 appends that palette's four colours;
// 0 leaves it empty.
inline void BuildOkeanPalette(int AIndex, TKvPalette256& APalette) {
  BuildFourColorPalette(OkeanPalettes, AIndex, APalette);
}
// The 16 mixtures of palette AIndex in two alternating frames, entry
// i * 4 + j = colour i in frame A and colour j in frame B; mixtures that
// flicker more than AMaxFlickering percent, and those with j < i, are flagged.
inline void BuildOkeanMixPalette(int AIndex, int AMaxFlickering, TKvPalette256& APalette) {
  BuildFourColorMixPalette(OkeanPalettes, AIndex, AMaxFlickering, APalette);
}

// Byte offsets of pixel (X, Y) in the column-organised screens: the colour
// screen's bit-0 byte (its bit-1 byte lies 256 further) and the mono screen's
// byte. The pixel is bit X mod 8, bit 0 the leftmost.
inline int OkeanColorOffset(int X, int Y) { return (X / 8) * 512 + Y; }
inline int OkeanMonoOffset(int X, int Y) { return (X / 8) * 256 + Y; }
