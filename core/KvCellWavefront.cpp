#include "core/KvCellWavefront.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "core/KvDither.h"
#include "core/KvThreadJob.h"

// Some 200 cells of 8 x 8: below it the hand-overs cost more than the
// searches they spread.
int64_t KvCellWavefrontMinPixels = 16384;

namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

struct TKvWavefrontCellImage::TWavefront {
  // Set in a row's count when the run failed: waiting rows give up.
  static constexpr int kFailed = 1 << 30;

  TKvBitmap* Result = nullptr;
  TKvCellScreen* Target = nullptr;
  const TKvCellSearchTable* Table = nullptr;
  int Count = 0;  // candidates of the list
  int Lag = 0;
  int Total = 0;  // cells of the picture
  // Per cell row: its cells rendered so far.
  std::unique_ptr<std::atomic<int>[]> Done;
  int Rows = 0;
  std::atomic<int> NextRow{0};
  std::atomic<int> CellsDone{0};
  std::atomic<bool> Failed{false};

  void Fail() {
    Failed.store(true);
    for (int r = 0; r < Rows; ++r) {
      Done[r].fetch_or(kFailed);
      Done[r].notify_all();
    }
  }
  // Until row ARow has rendered ACells cells; false when the run failed.
  bool WaitFor(int ARow, int ACells) {
    std::atomic<int>& done = Done[ARow];
    for (int spins = 0;; ++spins) {
      const int v = done.load(std::memory_order_acquire);
      if (v & kFailed) return false;
      if (v >= ACells) return true;
      // The row above is usually a cell or two away: a short spin first.
      if (spins < 256)
        CpuRelax();
      else
        done.wait(v, std::memory_order_acquire);
    }
  }
};

// Takes the next row not yet taken until none is left. A row waits only for
// the row above, which a job that started earlier has taken, so the jobs
// never wait for one that has not started.
class TKvCellWavefrontJob : public TKvJob {
public:
  TKvCellWavefrontJob(TKvJobList* AList, TKvWavefrontCellImage* AImage, TKvWavefrontCellImage::TWavefront& ARun,
                      bool AReports)
      : TKvJob(AList), FImage(AImage), FRun(ARun), FHelper(AImage->AcquireHelper()), FReports(AReports) {}
  ~TKvCellWavefrontJob() override { FImage->ReleaseHelper(FHelper); }

  void Execute() override {
    try {
      for (;;) {
        const int row = FRun.NextRow.fetch_add(1);
        if (row >= FRun.Rows || !FImage->SolveWavefrontRow(FRun, row, *FHelper, FReports)) break;
      }
    } catch (...) {
      FRun.Fail();
      throw;
    }
  }

private:
  TKvWavefrontCellImage* FImage;
  TKvWavefrontCellImage::TWavefront& FRun;
  TKvCellHelper* FHelper;
  bool FReports;
};

int TKvWavefrontCellImage::WavefrontLag(uint8_t AMethod) const {
  const TKvDitherKernel* kernel = GetDitherKernel(AMethod);
  if (!kernel) return 0;
  int reach = 0;
  for (int t = 0; t < kernel->Count; ++t) {
    const TKvDitherTap& tap = kernel->Taps[t];
    if (tap.DY < 0 || (tap.DY == 0 && tap.DX <= 0)) return -1;
    reach = std::max(reach, std::abs(tap.DX));
  }
  // A pixel's shares from one row come from at most this many cells past the
  // first of them; the row above must have passed the last before the row
  // below takes any from the first, and must write no more into a cell that
  // the row below has begun.
  return (2 * reach + FCellWidth - 1) / FCellWidth;
}

std::unique_ptr<TKvBitmap> TKvWavefrontCellImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                          TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  // With the limit at block boundaries TKvCellImage searches the cells ahead
  // instead.
  const int lag = WavefrontLag(AOptions.DitherMethod);
  if (ProcessorCount < 2 || AOptions.LimitErrorAtBlockBoundary || AOptions.Serpentine || lag < 0 ||
      FCellsDown < 2 || static_cast<int64_t>(FWidth) * FHeight < KvCellWavefrontMinPixels)
    return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
  const TWorkOptionsGuard guard{this};
  PrepareConversion(AAbort, AOptions, AProgress, true);
  FPaletteList = CreatePaletteList();
  std::unique_ptr<TKvBitmap> result;
  try {
    result = CreateResult();
    FMirror = false;
    if (FPaletteList) {
      // Everything the threads read of the list is made before they start.
      FPaletteList->GetSearchTable();
      for (int k = 0; k < FPaletteList->GetCount(); ++k) FPaletteList->GetPalette(k)->Palette->UpdateCache();
    }
    RunWavefront(result.get(), ATarget, lag);
    if (result) result->MirrorX = false;
    if (ATarget) ATarget->MirrorX = false;
  } catch (...) {
    FreePaletteList(FPaletteList);
    throw;
  }
  FreePaletteList(FPaletteList);
  return result;
}

void TKvWavefrontCellImage::RunWavefront(TKvBitmap* AResult, TKvCellScreen* ATarget, int ALag) {
  BeginCellRow(AResult, ATarget);
  TWavefront run;
  run.Result = AResult;
  run.Target = ATarget;
  run.Lag = ALag;
  run.Total = FCellsAcross * FCellsDown;
  run.Rows = FCellsDown;
  run.Done = std::make_unique<std::atomic<int>[]>(static_cast<size_t>(FCellsDown));
  if (FPaletteList) {
    run.Table = &FPaletteList->GetSearchTable();
    run.Count = FPaletteList->GetCount();
  }
  {
    TKvJobList jobs;
    const int parts = std::min(ProcessorCount, FCellsDown);
    for (int k = 0; k < parts; ++k) new TKvCellWavefrontJob(&jobs, this, run, k == 0);
    jobs.RunWithCaller(FAbort);
  }
  if (Aborted()) Abort();
  FCellX = FCellsAcross - 1;
  FCellY = FCellsDown - 1;
}

bool TKvWavefrontCellImage::SolveWavefrontRow(TWavefront& ARun, int ACellY, TKvCellHelper& AHelper, bool AReports) {
  for (int i = 0; i < FCellsAcross; ++i) {
    if (ACellY > 0 && !ARun.WaitFor(ACellY - 1, std::min(i + 1 + ARun.Lag, FCellsAcross))) return false;
    if (ARun.Failed.load(std::memory_order_relaxed)) return false;
    if (Aborted()) Abort();
    const TRect r = GetCellRect(i, ACellY);
    AddDeferredError(r, TKvLinRGBColor{1, 1, 1});
    int best = -1;
    if (ARun.Count > 0) SearchCell(r, *FPaletteList, *ARun.Table, nullptr, 0, ARun.Count - 1, AHelper, best);
    RenderCellAt(ARun, i, ACellY, r, best >= 0 ? FPaletteList->GetPalette(best) : nullptr);
    ARun.Done[ACellY].fetch_add(1, std::memory_order_release);
    ARun.Done[ACellY].notify_all();
    const int done = ARun.CellsDone.fetch_add(1, std::memory_order_relaxed) + 1;
    if (AReports && FProgress) ReportProgress(FProgress, ARun.Total, done);
  }
  return true;
}

void TKvWavefrontCellImage::RenderCellAt(TWavefront& ARun, int ACellX, int ACellY, const TRect& ARect,
                                         TKvCellPalette* ACellPalette) {
  // A list without an enabled candidate leaves the cell unsolved; there is
  // nothing to render it with.
  if (!ACellPalette) RaiseInternalError();
  SetCellAttr(ARun.Target, ACellX, ACellY, ACellPalette);
  // A share that reaches a cell not yet solved waits in the deferred error;
  // one inside this cell goes to the pixel (scaled by the cell's range when
  // the error is limited inside blocks). The gray error is one value, scaled
  // by the red component of the range.
  auto spread = [&](int nx, int ny, const TKvLinRGBColor& AShare) {
    if (nx / FCellWidth > ACellX || ny / FCellHeight > ACellY) {
      TKvLinRGBColor* e = FDiffusion->GetDiffusion(nx, ny);
      e->R += AShare.R;
      e->G += AShare.G;
      e->B += AShare.B;
      return;
    }
    TKvLinRGBColor s = AShare;
    if (FLimitErrorInsideBlock) {
      const TKvLinRGBColor range = *FRanges->GetRange(ACellX, ACellY);
      s.R *= range.R;
      s.G *= FGrayMode ? range.R : range.G;
      s.B *= FGrayMode ? range.R : range.B;
    }
    PKvPixel p = GetPixels(nx, ny);
    TKvLinRGBColor v = p->GetLinRGB();
    v.R += s.R;
    v.G += s.G;
    v.B += s.B;
    p->SetLinRGB(v);
  };
  RenderCellPixels(ARun.Result, ARun.Target, ARect, ACellPalette, false, [&](int x, int y, const TKvLinRGBColor& e) {
    ForEachDitherTap(FDitherMethod, x, y, FWidth, FHeight, [&](int nx, int ny, auto share) {
      if (FGrayMode) {
        const double s = share(e.R);
        spread(nx, ny, TKvLinRGBColor{s, s, s});
      } else {
        spread(nx, ny, TKvLinRGBColor{share(e.R), share(e.G), share(e.B)});
      }
    });
  });
}
