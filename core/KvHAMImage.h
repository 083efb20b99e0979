// Per-line palettes: some screens let a program rewrite a few palette entries
// between two scan lines, so a picture can use K colours on every line while
// the set changes from line to line, at most C entries at a time.
//
// TKvHAMPalette plans such a sequence of line palettes for a picture and
// gives the entry changes between consecutive lines. TKvHAMImage dithers a
// working image row by row with the palette of each row and hands the first
// palette and every change to two virtual hooks, which converters override to
// write their own line tables.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/KvBitmap.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

class TKvHAMLine;
class TKvHAMPalette;

// One entry change between two lines (8 bytes).
struct TKvHAMChange {
  int32_t Index;
  uint8_t R, G, B;
  uint8_t NoChange;  // 1 for a filler record that changes nothing
};
static_assert(sizeof(TKvHAMChange) == 8, "change records are 8 bytes");

// One distinct colour of a picture row.
struct TKvHAMPixel {
  double R, G, B;
  uint8_t SR, SG, SB;
  int32_t Count;
};

// One palette entry on one line.
class TKvHAMColor {
public:
  // Appends itself to the line ("Internal error" when the line is full).
  explicit TKvHAMColor(TKvHAMLine* AOwner);
  void SetColor(const TKvStdRGBColor& AColor);
  TKvStdRGBColor GetStdRGB() const { return {SR, SG, SB}; }
  TKvLinRGBColor GetLinRGB() const { return {R, G, B}; }
  int GetIndex() const;

  TKvHAMLine* Owner;
  double R = 0, G = 0, B = 0;
  uint8_t SR = 0, SG = 0, SB = 0;
  double SumR = 0, SumG = 0, SumB = 0;
  int32_t SumCount = 0;
  TKvHAMColor* Prev = nullptr;  // the entry of the line above that continues here
  TKvHAMColor* Next = nullptr;  // the entry of the line below this continues into
  TKvHAMColor* CandidatePrev = nullptr;
  TKvHAMColor* CandidateNext = nullptr;
};

class TKvHAMLine {
public:
  // Collects the distinct colours of row ARow (through the image's mirror
  // flag) and appends itself to the owner's lines.
  TKvHAMLine(TKvHAMPalette* AOwner, TKvImage& AImage, int ARow);
  ~TKvHAMLine();
  TKvHAMLine(const TKvHAMLine&) = delete;
  TKvHAMLine& operator=(const TKvHAMLine&) = delete;

  TKvHAMColor* GetColor(int AIndex) const { return FColors[static_cast<size_t>(AIndex)]; }
  int GetCount() const { return static_cast<int>(FColors.size()); }
  TKvHAMColor* AddColor(const TKvStdRGBColor& AColor);
  // Clears APalette and adds the entries in order (duplicates kept).
  void GetPalette(TKvPalette256& APalette) const;
  // The changes from this line to ANext: real changes in entry order, then
  // fillers, C records in all.
  void GetChanges(const TKvHAMLine& ANext, TKvHAMChange* AChanges) const;

  int GetPixelCount() const { return static_cast<int>(FPixels.size()); }
  const TKvHAMPixel& GetPixel(int AIndex) const { return FPixels[static_cast<size_t>(AIndex)]; }

  TKvHAMPalette* Owner;
  bool Frozen = false;
  double Cost = 0;

private:
  friend class TKvHAMColor;
  friend class TKvHAMPalette;
  // Collects the row's colours without joining the owner's lines, so that
  // rows can be collected side by side and joined in order.
  struct TDetached {};
  TKvHAMLine(TKvHAMPalette* AOwner, TKvImage& AImage, int ARow, TDetached);
  std::vector<TKvHAMColor*> FColors;  // owned, in entry order
  std::vector<TKvHAMPixel> FPixels;
};

// A chain that received no pixel.
struct TKvHAMUnused {
  int32_t FirstLine;
  TKvHAMColor* First;
  int32_t Length;
};
using PKvHAMUnused = TKvHAMUnused*;

class TKvHAMUnusedList {
public:
  int GetCount() const { return static_cast<int>(FItems.size()); }
  PKvHAMUnused GetItem(int AIndex) { return &FItems[static_cast<size_t>(AIndex)]; }
  void Clear() { FItems.clear(); }
  void Add(const TKvHAMUnused& AItem) { FItems.push_back(AItem); }
  // By length, shortest first; equal lengths keep their order.
  void SortByLength();

private:
  std::vector<TKvHAMUnused> FItems;
};

class TKvHAMPalette : public TObject {
public:
  // The refinement stops after this many passes even when it has not
  // settled, so no picture can keep a conversion busy for ever.
  static constexpr int MaxPasses = 500;

  // Plans the palettes of every row of AImage: K colours per line, at most
  // C changes between two lines, at most ALimit - 1 transitions with changes
  // (0: no limit), and the usage of entry 0 (0: black in entry 0, 1: black
  // among the colours, 2: all free).
  TKvHAMPalette(bool* AAbort, TKvImage& AImage, TKvPalette* AAllowed, int AColorsPerLine, int AMaxChanges,
                int ALimit, int AUsage);
  ~TKvHAMPalette() override;

  TKvHAMLine* GetLine(int AIndex) const { return FLines[static_cast<size_t>(AIndex)]; }
  int GetLineCount() const { return static_cast<int>(FLines.size()); }
  int GetColorsPerLine() const { return FColorsPerLine; }
  int GetMaxChanges() const { return FMaxChanges; }
  int GetFirstChangeable() const { return FFirstChangeable; }
  int GetPassCount() const { return FPasses; }
  // C records, filled by TKvHAMLine::GetChanges.
  TKvHAMChange* GetChangeBuffer() { return FChanges.data(); }
  TKvHAMUnusedList& GetUnused() { return FUnused; }

private:
  friend class TKvHAMLine;
  friend class TKvHAMColor;
  void BuildFirstPalettes(bool* AAbort, TKvImage& AImage);
  void Reset();
  void Link(TKvHAMLine& AUpper, TKvHAMLine& ALower);
  void LimitLines(int ALimit);
  void Align(TKvHAMLine& AUpper, TKvHAMLine& ALower);
  void Assign();
  bool Recompute();
  bool CountsDiffer() const;
  bool Fill();
  // The row colour with the greatest count x squared distance to its nearest
  // entry (the first on ties), and that value; -1 for a row without pixels.
  int WorstPixel(const TKvHAMLine& ALine, double& AValue) const;

  int FColorsPerLine;
  int FMaxChanges;
  uint8_t FUsage;
  int FFirstChangeable;
  TKvPalette* FAllowed;
  int FPasses = 0;
  std::vector<TKvHAMChange> FChanges;
  TKvHAMUnusedList FUnused;
  std::vector<TKvHAMLine*> FLines;  // owned
};

class TKvHAMImage : public TKvImage {
public:
  TKvHAMImage(int AWidth, int AHeight) : TKvImage(AWidth, AHeight) {}
  explicit TKvHAMImage(TBitmap32& ABitmap) : TKvImage(ABitmap) {}
  // A copy of the picture the plan was made on.
  explicit TKvHAMImage(const TKvImage& ASource) : TKvImage(ASource) {}
  ~TKvHAMImage() override;

  // Dithers the picture row by row with the plan's line palettes. ATarget
  // receives line-palette indexes, the result display-palette indexes (or
  // $RRGGBB in a 24-bit result without ADisplayPalette).
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvScreen4* ATarget,
                                     TKvHAMPalette& APlan, TKvPalette256* ADisplayPalette);

  // Hooks, called on the converting thread in row order before the row is
  // dithered: the first palette before row 0, then the C change records
  // (real changes first, then fillers) before every later row.
  virtual void StoreInitialPalette(TKvPalette* ADisplayPalette, TKvPalette256& ALinePalette);
  virtual void StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                                  int ALine);

  // Every colour the conversion used, sorted by gray; nullptr when more than
  // 729 were used or the conversion failed.
  TKvPalette256* GetUsedPalette() const { return FUsedPalette.get(); }

private:
  std::unique_ptr<TKvPalette256> FUsedPalette;
};
