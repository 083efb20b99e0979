// What the cell converters share whose candidates are pairs of result-palette
// entries: entry A on a cell's clear pixels, entry B on its set ones.
#pragma once

#include <memory>
#include <vector>

#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"

// Adds each of AEntries alone, then every pair of them in list order (the
// earlier entry as A).
inline void AddSinglesAndPairs(TKvCellPaletteList& AList, TKvPalette256& APalette, const std::vector<int>& AEntries) {
  for (int e : AEntries) AList.Add(std::make_unique<TKvCellPaperIncPalette>(APalette, e, e));
  for (size_t i = 0; i < AEntries.size(); ++i)
    for (size_t j = i + 1; j < AEntries.size(); ++j)
      AList.Add(std::make_unique<TKvCellPaperIncPalette>(APalette, AEntries[i], AEntries[j]));
}

// The preview is a 4-bit picture over the result palette, and the screen
// takes each pixel's bit.
class TKvPairCellImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  std::unique_ptr<TKvBitmap> CreateResult() override {
    return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
  }
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override {
    AResult->SetPixel(X, Y, AIndex ? ACellPalette->IndexB : ACellPalette->IndexA);
  }
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) override {
    if (ATarget) ATarget->SetPixel(X, Y, AIndex);
  }
};
