// Geometry of the progress bar: the hand-drawn bar's frame, background and
// segments, and the chunks of a styled bar. Painting is done by the Qt layer.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/noxShellThemes.h"

struct TnoxProgressRange {
  int32_t Min, Max, Position;
};

// Clamps the position into the range and widens an empty or reversed range to one
// step below its maximum, so a reversed range draws a full bar. Returns the fraction.
double noxProgressFraction(int32_t AMin, int32_t AMax, int32_t APosition, TnoxProgressRange* AClamped = nullptr);

struct TnoxClassicProgressGeometry {
  TnoxRect Inner;      // the button-face background inside the one-pixel frame (may be empty)
  TnoxRect Track;      // Inner shrunk by one pixel on every side (may be empty)
  TnoxRect Filled;     // the part of Track that the position covers
  std::vector<TnoxRect> Segments;
};

TnoxClassicProgressGeometry noxClassicProgressGeometry(const TnoxRect& ARect, double AFraction, bool AHorizontal);

// Chunks of a styled bar inside its content rectangle, rounded up to whole chunks and
// cut at the content edge. A zero step gives the filled rectangle as one chunk.
std::vector<TnoxRect> noxProgressChunks(const TnoxRect& AContent, double AFraction, bool AHorizontal,
                                        int32_t AChunk, int32_t ASpace);

// Recolours one pixel row of blue-green-red bytes to a grey level in the colour of
// the state (1 red, 2 yellow, 3 blue).
void noxRecolourBGR(uint8_t* APixels, int32_t ACount, uint8_t AState);
