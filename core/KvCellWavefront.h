// Attribute-cell conversions spread over the processors as a wavefront.
//
// Without the error limit at block boundaries a cell takes the deferred
// error of the cells before it in scan order before its search, so the cells
// cannot be searched ahead. But without a serpentine scan the error of a
// kernel reaches only a few pixels to the side and a few rows down: a cell
// depends on the cells before it in its own row and on the row above up to
// a fixed number of cells past its own column (the lag). The rows are
// therefore worked on by several threads at once, each row trailing the row
// above by the lag: every deferred error pixel receives its shares from the
// same cells in the same order as in the plain scan, and every cell sees the
// same pixels, so the result is the same to the last bit on any number of
// processors. (A serpentine scan starts each row where the one above ended,
// so there every cell waits for the one before.)
#pragma once

#include <cstdint>
#include <memory>

#include "core/KvCellImage.h"

// The least number of picture pixels for which a conversion is spread over
// the processors; smaller pictures take the plain scan. The results do not
// depend on it; tests lower it to run the wavefront on small pictures.
extern int64_t KvCellWavefrontMinPixels;

// A cell image whose conversion runs as a wavefront wherever the plain scan
// allows it: no limit of the error at block boundaries, no serpentine scan,
// a kernel that spreads only forward in its row and downwards, a picture
// worth it. Otherwise, and on one processor, it is TKvCellImage's
// conversion. The candidate list must not change during a conversion.
//
// The wavefront renders cells with TKvCellImage's own rendering rules (a
// subclass that overrides RenderCell must not use it), and calls the hooks
// SetCellAttr, SetTargetPixel and SetResultPixel from several threads at
// once, each for the pixels and the attribute of one cell: they must touch
// only what belongs to that cell (as a rule, cells whose width is a multiple
// of 8 on packed outputs).
class TKvWavefrontCellImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;

private:
  friend class TKvCellWavefrontJob;
  struct TWavefront;
  // Cells a row must trail the row above by under the dither method
  // AMethod; -1 when its kernel spreads backwards in a row or upwards.
  int WavefrontLag(uint8_t AMethod) const;
  void RunWavefront(TKvBitmap* AResult, TKvCellScreen* ATarget, int ALag);
  // Solves and renders the cells of row ACellY in scan order, each once the
  // row above is far enough ahead; false when the run failed elsewhere.
  bool SolveWavefrontRow(TWavefront& ARun, int ACellY, TKvCellHelper& AHelper, bool AReports);
  // Renders cell (ACellX, ACellY), ARect, with ACellPalette under
  // TKvCellImage::RenderCell's rules, without the image's present cell.
  void RenderCellAt(TWavefront& ARun, int ACellX, int ACellY, const TRect& ARect, TKvCellPalette* ACellPalette);
};
