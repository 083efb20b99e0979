// Paired-cell conversion: for screens where the colours a cell may show
// depend on a choice made for two neighbouring cells. The converter offers
// several candidate lists; each pair of scan cells (0-1, 2-3, ...) takes the
// list that serves both cells best, then each cell picks its own candidate
// from it.
#pragma once

#include <memory>
#include <vector>

#include "core/KvCellImage.h"

class TKvDoubleCellImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  using TKvCellImage::CreatePaletteList;
  using TKvCellImage::GetPaletteList;

  // AProgress must be given; progress is set after every cell directly.
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;

  // Candidate list AIndex, 0 <= AIndex < GetPaletteListCount(); each with at
  // least one enabled candidate.
  virtual TKvCellPaletteList* CreatePaletteList(int AIndex) = 0;
  virtual int GetPaletteListCount() { return 1; }
  // List AIndex of the present conversion.
  TKvCellPaletteList* GetPaletteList(int AIndex) const { return FPaletteLists[static_cast<size_t>(AIndex)].get(); }
  // Makes the current list the one with the least sum of the two cells' best
  // scores; ARect2 may be empty (Left = Right). Ties keep the earlier list.
  void ChoosePaletteList(const TRect& ARect, const TRect& ARect2);

  // The single-list hook is list 0 here; Convert does not call it.
  TKvCellPaletteList* CreatePaletteList() override { return CreatePaletteList(0); }

protected:
  std::vector<std::unique_ptr<TKvCellPaletteList>> FPaletteLists;
};
