// Candidates of an attribute cell: the colours one attribute can show, and
// the list that owns them. Converters build the lists for their hardware's
// attribute rules and subclass the candidate to carry more per-pair data.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/KvColor.h"
#include "core/KvPalette.h"

class TKvCellPalette {
public:
  // Colours A and B: entries AIndexA and AIndexB of APalette, copied whole.
  // Both must lie within APalette's count; they may be equal.
  TKvCellPalette(TKvPalette256& APalette, int AIndexA, int AIndexB);
  virtual ~TKvCellPalette();
  TKvCellPalette(const TKvCellPalette&) = delete;
  TKvCellPalette& operator=(const TKvCellPalette&) = delete;

  // Entry 0 is colour A, entry 1 colour B; fully cached, so that search jobs
  // on several threads only read it.
  std::unique_ptr<TKvPalette256> Palette;
  // Per channel |A - B| in linear light; scales the cell's deferred error and
  // its inner diffusion.
  TKvLinRGBColor Range{0, 0, 0};
  // Searches skip a candidate whose flag is False.
  bool Enabled = true;
  // Where A and B came from; the converters encode the attribute from them.
  int IndexA = 0;
  int IndexB = 0;

protected:
  // An empty candidate (no colours, Enabled) for subclasses with their own
  // colour logic.
  TKvCellPalette();
  // Copies the two entries and caches every form the searches read.
  void AddPair(TKvPalette256& APalette, int AIndexA, int AIndexB);
  void ComputeRange();
};

class TKvCellPaperIncPalette : public TKvCellPalette {
public:
  // A plain pair: PaperIncFlag False and PaperIncValue 0.
  TKvCellPaperIncPalette(TKvPalette256& APalette, int AIndexA, int AIndexB);
  // With AFlag the candidate stands for a single-colour cell whose encoding the
  // converter picks from AValue; its range is zero whatever the colours.
  TKvCellPaperIncPalette(TKvPalette256& APalette, int AIndexA, int AIndexB, bool AFlag, uint8_t AValue);

  bool PaperIncFlag = false;
  uint8_t PaperIncValue = 0;
};

// The colours of a list's candidates in the form the cell search reads them:
// each distinct linear colour of the list once, and per candidate its
// entries in palette order with their linear values.
struct TKvCellSearchEntry {
  double R, G, B, Gray;
  int Color;  // the entry's place in TKvCellSearchTable::Colors
};

struct TKvCellSearchTable {
  std::vector<TKvLinRGBColor> Colors;
  std::vector<TKvCellSearchEntry> Entries;
  // Candidate k's entries are Entries[First[k]] .. Entries[First[k + 1] - 1].
  std::vector<int> First;
  int GetCount(int AIndex) const { return First[static_cast<size_t>(AIndex) + 1] - First[static_cast<size_t>(AIndex)]; }
  const TKvCellSearchEntry* GetEntries(int AIndex) const { return &Entries[static_cast<size_t>(First[static_cast<size_t>(AIndex)])]; }
};

class TKvCellPaletteList {
public:
  TKvCellPaletteList() = default;
  virtual ~TKvCellPaletteList();
  TKvCellPaletteList(const TKvCellPaletteList&) = delete;
  TKvCellPaletteList& operator=(const TKvCellPaletteList&) = delete;

  // Takes ownership; returns the candidate's index.
  int Add(std::unique_ptr<TKvCellPalette> APalette);
  int GetCount() const { return static_cast<int>(FList.size()); }
  // Unchecked: 0 <= AIndex < GetCount().
  TKvCellPalette* GetPalette(int AIndex) const { return FList[static_cast<size_t>(AIndex)].get(); }
  // Frees candidate AIndex and closes the gap. Unchecked.
  void Delete(int AIndex);
  // Frees the candidates from the last to the first.
  void Clear();

  // The search table of the candidates as they are now, made again after
  // Add, Delete or Clear; so a candidate's colours stay as they were made
  // while it is in a list. Called on the converting thread: search jobs only
  // read the table it returns.
  const TKvCellSearchTable& GetSearchTable();

private:
  std::vector<std::unique_ptr<TKvCellPalette>> FList;
  TKvCellSearchTable FTable;
  bool FTableValid = false;
};
