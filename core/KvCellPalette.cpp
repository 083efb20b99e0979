#include "core/KvCellPalette.h"

#include <cmath>

TKvCellPalette::TKvCellPalette() : Palette(std::make_unique<TKvPalette256>()) {}

TKvCellPalette::TKvCellPalette(TKvPalette256& APalette, int AIndexA, int AIndexB) : TKvCellPalette() {
  AddPair(APalette, AIndexA, AIndexB);
  ComputeRange();
}

TKvCellPalette::~TKvCellPalette() = default;

void TKvCellPalette::AddPair(TKvPalette256& APalette, int AIndexA, int AIndexB) {
  IndexA = AIndexA;
  IndexB = AIndexB;
  Palette->AddColor(*APalette.GetPColor(AIndexA));
  Palette->AddColor(*APalette.GetPColor(AIndexB));
  Palette->UpdateCache();
}

void TKvCellPalette::ComputeRange() {
  const TKvLinRGBColor a = Palette->GetPColor(0)->GetLinRGB();
  const TKvLinRGBColor b = Palette->GetPColor(1)->GetLinRGB();
  Range = TKvLinRGBColor{std::fabs(a.R - b.R), std::fabs(a.G - b.G), std::fabs(a.B - b.B)};
}

TKvCellPaperIncPalette::TKvCellPaperIncPalette(TKvPalette256& APalette, int AIndexA, int AIndexB)
    : TKvCellPalette(APalette, AIndexA, AIndexB) {}

TKvCellPaperIncPalette::TKvCellPaperIncPalette(TKvPalette256& APalette, int AIndexA, int AIndexB, bool AFlag,
                                               uint8_t AValue)
    : TKvCellPalette() {
  AddPair(APalette, AIndexA, AIndexB);
  if (AFlag) {
    PaperIncFlag = true;
    PaperIncValue = AValue;
  } else {
    ComputeRange();
  }
}

TKvCellPaletteList::~TKvCellPaletteList() { Clear(); }

int TKvCellPaletteList::Add(std::unique_ptr<TKvCellPalette> APalette) {
  FList.push_back(std::move(APalette));
  return static_cast<int>(FList.size()) - 1;
}

void TKvCellPaletteList::Delete(int AIndex) { FList.erase(FList.begin() + AIndex); }

void TKvCellPaletteList::Clear() {
  while (!FList.empty()) FList.pop_back();
}
