#include "core/KvDoubleCellImage.h"

std::unique_ptr<TKvBitmap> TKvDoubleCellImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                       TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  // Whatever happens: the lists go first, then the scoring options.
  struct TCleanup {
    TKvDoubleCellImage* Image;
    ~TCleanup() {
      Image->DropRowLookahead();
      Image->FPaletteList = nullptr;
      while (!Image->FPaletteLists.empty()) Image->FPaletteLists.pop_back();
      Image->FWorkOptions.reset();
    }
  } cleanup{this};
  PrepareConversion(AAbort, AOptions, AProgress, false);
  FPaletteLists.clear();
  const int n = GetPaletteListCount();
  for (int k = 0; k < n; ++k) FPaletteLists.emplace_back(CreatePaletteList(k));
  std::unique_ptr<TKvBitmap> result = CreateResult();
  const int total = FCellsAcross * FCellsDown;
  int done = 0;
  FMirror = false;
  for (int j = 0; j < FCellsDown; ++j) {
    FCellY = j;
    BeginCellRow(result.get(), ATarget);
    // The list choices score both cells of a pair on their pixels as they
    // are, so their searches can be made ahead for the whole row; the cells'
    // own searches too while the deferred error comes after the choice.
    DropRowLookahead();
    if (ProcessorCount >= 2 && (FLimitErrorAtBlockBoundary || FPaletteLists.size() > 1)) {
      std::vector<TKvCellPaletteList*> lists;
      for (const auto& l : FPaletteLists) lists.push_back(l.get());
      PrepareRowLookahead(j, lists);
    }
    for (int i = 0; i < FCellsAcross; ++i) {
      if (Aborted()) Abort();
      FCellX = i;
      const TRect r = GetCellRect(i, j);
      if (i % 2 == 0) {
        TRect r2 = r;
        r2.Left = r.Right;
        r2.Right = i + 1 < FCellsAcross ? GetCellRect(i + 1, j).Right : r2.Left;
        if (FPaletteLists.size() == 1)
          FPaletteList = FPaletteLists[0].get();
        else
          ChoosePaletteList(r, r2);
      }
      TKvCellPalette* candidate = nullptr;
      SolveCell(i, j, r, candidate);
      RenderCell(result.get(), ATarget, i, j, r, candidate);
      ++done;
      if (AProgress) AProgress->SetProgress(total, done);
    }
    if (FSerpentine) FMirror = !FMirror;
  }
  if (result) result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

void TKvDoubleCellImage::ChoosePaletteList(const TRect& ARect, const TRect& ARect2) {
  FPaletteList = nullptr;
  double bestSum = 0;
  for (size_t k = 0; k < FPaletteLists.size(); ++k) {
    TKvCellPaletteList* list = FPaletteLists[k].get();
    TKvCellPalette* unused = nullptr;
    const double b = SearchCandidates(list, ARect, unused);
    const double b2 = ARect2.Left < ARect2.Right ? SearchCandidates(list, ARect2, unused) : 0;
    if (Aborted()) Abort();
    if (k == 0 || b + b2 < bestSum) {
      FPaletteList = list;
      bestSum = b + b2;
    }
  }
}
