// The fixed four-colour palettes of the BK-0011 and Okean-240 screens, kept
// as tables of sRGB colours: palette k (1..N) is row k - 1. Shared by their
// converters and importers.
#pragma once

#include "core/KvColor.h"
#include "core/KvPalette.h"

// Clears APalette, then for AIndex 1..N appends the four colours of that
// palette; any other index leaves it empty.
template <int N>
void BuildFourColorPalette(const TKvStdRGBColor (&ATable)[N][4], int AIndex, TKvPalette256& APalette) {
  APalette.Clear();
  if (AIndex < 1 || AIndex > N) return;
  for (const TKvStdRGBColor& c : ATable[AIndex - 1]) APalette.AddStdRGB(c);
}

// The 16 mixtures of palette AIndex shown in two alternating frames, entry
// i * 4 + j = colour i in frame A and colour j in frame B; mixtures whose two
// colours differ in gray by more than AMaxFlickering percent, and those with
// j < i, are flagged.
template <int N>
void BuildFourColorMixPalette(const TKvStdRGBColor (&ATable)[N][4], int AIndex, int AMaxFlickering,
                              TKvPalette256& APalette) {
  TKvPalette256 base;
  BuildFourColorPalette(ATable, AIndex, base);
  APalette.FillMixtures(&base, AMaxFlickering, 0);
}
