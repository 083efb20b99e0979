// Pictures made of exact ULAplus colours for the ULAplus converter tests:
// the colours the converter can show, so that few colours give few cell
// candidates and the slow mode stays quick enough for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "platforms/KvPlatformZxSpectrum.h"

// ACount colours spread over the 256 of the v1.1 palette ($RRGGBB).
inline std::vector<uint32_t> UlaPlusTestColors(int ACount) {
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  std::vector<uint32_t> r;
  for (int i = 0; i < ACount; ++i) r.push_back(full.GetRGBQuad((i * 97 + 13) % 256));
  return r;
}

// Every 8-pixel run of a row (one cell row of an 8x8 or an 8x1 cell) shows
// two colours of ACount, left half and right half; the pair changes from run
// to run, so many different pairs are used.
inline std::unique_ptr<TBitmap32> UlaPlusPairPicture(int ACount) {
  const auto colors = UlaPlusTestColors(ACount);
  auto b = std::make_unique<TBitmap32>(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int cell = (x / 8) + 5 * (y / 8);
      const int a = cell % ACount, c = (cell / ACount + 1 + a) % ACount;
      *b->GetPixelPtr(x, y) = 0xFF000000u | colors[static_cast<size_t>((x & 7) < 4 ? a : c)];
    }
  return b;
}

// Flat 8x8 cells of ACount colours.
inline std::unique_ptr<TBitmap32> UlaPlusFlatPicture(int ACount) {
  const auto colors = UlaPlusTestColors(ACount);
  auto b = std::make_unique<TBitmap32>(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      *b->GetPixelPtr(x, y) = 0xFF000000u | colors[static_cast<size_t>((x / 8 + 3 * (y / 8)) % ACount)];
  return b;
}
