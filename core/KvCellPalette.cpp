#include "core/KvCellPalette.h"

#include <array>
#include <bit>
#include <cmath>
#include <map>

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
  FTableValid = false;
  FList.push_back(std::move(APalette));
  return static_cast<int>(FList.size()) - 1;
}

void TKvCellPaletteList::Delete(int AIndex) {
  FTableValid = false;
  FList.erase(FList.begin() + AIndex);
}

void TKvCellPaletteList::Clear() {
  FTableValid = false;
  while (!FList.empty()) FList.pop_back();
}

const TKvCellSearchTable& TKvCellPaletteList::GetSearchTable() {
  if (FTableValid) return FTable;
  FTable.Colors.clear();
  FTable.Entries.clear();
  FTable.First.assign(1, 0);
  // Colours are told apart by their bits: equal bits give equal distances.
  using TKey = std::array<uint64_t, 3>;
  std::map<TKey, int> places;
  for (const auto& c : FList) {
    const TKvPalette256& p = *c->Palette;
    for (int i = 0; i < p.Count; ++i) {
      const TKvLinRGBColor& v = p.Colors[i].GetLinRGB();
      const TKey key{std::bit_cast<uint64_t>(v.R), std::bit_cast<uint64_t>(v.G), std::bit_cast<uint64_t>(v.B)};
      const auto [at, added] = places.try_emplace(key, static_cast<int>(FTable.Colors.size()));
      if (added) FTable.Colors.push_back(v);
      FTable.Entries.push_back({v.R, v.G, v.B, p.Colors[i].GetLinGray(), at->second});
    }
    FTable.First.push_back(static_cast<int>(FTable.Entries.size()));
  }
  FTableValid = true;
  return FTable;
}
