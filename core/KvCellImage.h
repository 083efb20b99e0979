// Attribute-cell conversion: the picture is a grid of cells, each cell may
// show only the colours of one candidate (as a rule an ink and a paper). Every
// cell is solved, in scan order, by the candidate whose trial dither leaves the
// least error; then it is dithered for real with it, and the error that crosses
// into cells not yet solved waits in a deferred-error buffer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "core/KvBitmap.h"
#include "core/KvCellPalette.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvDither.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "core/KvThreadJob.h"
#include "rtl/KvLargeBlocks.h"
#include "rtl/KvSysUtils.h"

class TBitmap32;

// The least work (cell pixels times candidates scored) worth a job of its
// own in a candidate search: below it, handing the share to a worker thread
// and waiting for it costs more than scoring it on the calling thread. The
// results do not depend on it; tests lower it to run the jobs on small
// pictures.
extern int64_t KvCellMinJobWork;
// Candidates left to score in a cell below which a walk with a search team
// scores them on the calling thread alone. The results do not depend on
// it; tests lower it to share every search.
extern int KvCellTeamMinItems;
// The most candidates a cell search scores at once in the lanes of the
// processor's vectors (2, 4 or 8; 0 for as many as it has). The results do
// not depend on it; tests run every width the processor has.
extern int KvCellScoreLanes;

class TKvBaseCellImage;
class TKvCellImage;
struct TKvCellTapPlan;
class TKvCellSearchTeam;

// The range of the pair chosen for each cell.
class TKvCellRanges {
public:
  explicit TKvCellRanges(const TKvBaseCellImage& AImage);
  // Cell column CellX (counted from the right while the mirror flag is set)
  // of cell row CellY. Unchecked.
  TKvLinRGBColor* GetRange(int CellX, int CellY) {
    return &FRanges[static_cast<size_t>(CellY) * FWidth + (FMirror ? FWidth - 1 - CellX : CellX)];
  }
  bool GetMirror() const { return FMirror; }
  void SetMirror(bool AValue) { FMirror = AValue; }

private:
  std::vector<TKvLinRGBColor> FRanges;
  int FWidth;
  bool FMirror = false;
};

// The deferred diffusion error of the picture's pixels: of every row, or
// of a rolling band of rows for a walk that takes the cell rows in order,
// where row Y shares its storage with rows Y +- the band's height.
class TKvCellDiffusion {
public:
  // Every row when ABandRows is 0 or the band would be as tall as the
  // picture; otherwise at least ABandRows rows, all zero, holding rows 0 on.
  // The memory is taken (and zeroed) on first use.
  explicit TKvCellDiffusion(const TKvImage& AImage, int ABandRows = 0);
  // Column X (Width - 1 - X while the mirror flag is set) of row Y. Unchecked;
  // in a band, Y must be one of the rows it holds.
  TKvLinRGBColor* GetDiffusion(int X, int Y) {
    if (FErrors.empty()) [[unlikely]]
      Allocate();
    return &FErrors[static_cast<size_t>(Y & FRowMask) * FWidth + (FMirror ? FWidth - 1 - X : X)];
  }
  void Clear();
  // Makes the band hold the rows up to ABottom (exclusive), zero where they
  // are new, in place of the rows as far above. Nothing for every row.
  void HoldRowsTo(int ABottom);
  bool GetMirror() const { return FMirror; }
  void SetMirror(bool AValue) { FMirror = AValue; }

private:
  void Allocate();

  std::vector<TKvLinRGBColor, TKvLargeAllocator<TKvLinRGBColor>> FErrors;
  int FWidth;
  int FHeight;
  int FRowMask = -1;
  int FHeldTo = 0;
  bool FMirror = false;
};

// A scratch picture two pixels wider and taller than a cell, on which one
// candidate is tried: the cell's pixels at its top-left, black around them to
// catch the error the dither pushes out of the cell.
class TKvCellHelper : public TKvImage {
public:
  explicit TKvCellHelper(TKvBaseCellImage& AOwner);
  ~TKvCellHelper() override;
  TKvBaseCellImage* GetOwner() const { return FOwner; }
  // Black everywhere, then the owner's pixels of ARect at the top-left.
  void LoadCell(const TRect& ARect);
  // Squared linear-RGB distance between the owner's pixels of ARect and the
  // scratch block.
  double CellError(const TRect& ARect);
  // Squared size of what lies in the two spare columns and rows.
  double BorderError(const TRect& ARect);
  // Where LoadCell, CellError and CompactScore read the owner's pixels: from
  // ABand, linear colours of the picture's rows ATop on, AWidth to a row, in
  // scan order, when given; from the owner's pixels under its present mirror
  // flag when nil. The band must outlive the reads.
  void SetSource(const TKvLinRGBColor* ABand, int ATop, int AWidth) {
    FBand = ABand;
    FBandTop = ATop;
    FBandWidth = AWidth;
  }

  // LoadCell, DitherRegion to the candidate's colours and CellError plus
  // BorderError in one pass over a compact copy of the scratch picture: the
  // same arithmetic in the same order, so the same score to the last bit,
  // without the cost of the full colour records. Serves the linear-RGB and
  // the gray searches (see CanScoreCompact; the other metrics take the steps
  // one by one). The scratch picture's own pixels are left as they were.
  // AAbort is polled once.
  double CompactScore(const TRect& ARect, TKvDestEngineOptions& AOptions, TKvPalette256& APalette,
                      const bool* AAbort);
  static bool CanScoreCompact(const TKvDestEngineOptions& AOptions, const TKvPalette256& APalette) {
    return CanScoreCompact(AOptions) && APalette.Count > 0;
  }
  static bool CanScoreCompact(const TKvDestEngineOptions& AOptions) {
    return AOptions.UseAsGrayPalette || AOptions.ColorDiffMethod == 0;
  }
  // CompactScore of the loaded cell to ScoreLanes() candidates at once, each
  // in one lane of the processor's vectors with the same arithmetic (the
  // same scores to the last bit, without a limit): the steps of one pixel
  // wait for the previous pixel's error, and the divisions of several
  // independent dithers cost little more than those of one. Candidate i has
  // the AEntries[i] colours of AEntries[i]; a candidate may come twice. For the
  // linear-RGB search of a plain scan with an error-diffusion kernel (see
  // CanScoreLanes).
  void CompactScoreLanes(const TRect& ARect, const TKvDestEngineOptions& AOptions,
                         const TKvCellSearchEntry* const* AEntries, const int* ACounts, double* AScores);
  static bool CanScoreLanes(const TKvDestEngineOptions& AOptions) {
    return !AOptions.UseAsGrayPalette && AOptions.ColorDiffMethod == 0 && !AOptions.Serpentine &&
           GetDitherKernel(AOptions.DitherMethod) != nullptr;
  }
  // 2, 4 or 8: the widest vectors of doubles this processor has, or fewer
  // when KvCellScoreLanes asks for them.
  static int ScoreLanes();
  static constexpr int kMaxScoreLanes = 8;

  // The cell's own pixels of ARect, row by row, as the scores read them; the
  // next two calls work on them.
  void LoadSource(const TRect& ARect);
  // CompactScore of the loaded cell to the ACount colours of AEntries (at
  // least one). With a finite ALimit, after Bounds of a table that holds
  // the entries' colours: infinity as soon as the part of the score already
  // known, with the bound's terms for the pixels still to come, shows that
  // the score will exceed ALimit (or reach it, unless AEqualWins).
  double CompactScore(const TRect& ARect, const TKvDestEngineOptions& AOptions, const TKvCellSearchEntry* AEntries,
                      int ACount, double ALimit = kNoLimit, bool AEqualWins = false);
  static constexpr double kNoLimit = std::numeric_limits<double>::infinity();
  // Per candidate of AList in AFrom..ATo that AEnabled lets through, a lower
  // bound of its score into ABounds: the squared distance of every loaded
  // pixel to the nearest of its colours, summed in the order of the score.
  // A dither leaves every pixel of the cell at one of the candidate's
  // colours, so each term of the score's cell error is at least the bound's
  // term, and rounding is monotone; the border error only adds. False when a
  // candidate has no colour or a bound is not a number: then the bounds say
  // nothing.
  template <class TEnabled>
  bool Bounds(const TKvCellSearchTable& ATable, int AFrom, int ATo, TEnabled AEnabled, std::vector<double>& ABounds);

  // Scratch of the searches that use this helper.
  std::vector<double> SearchBounds;
  std::vector<int> SearchOrder;
  std::vector<uint8_t> SearchEnabled;

  // What LoadSource and Bounds left, for a search shared with other
  // helpers, and the same state taken over from another helper.
  const std::vector<TKvLinRGBColor>& GetSource() const { return FSource; }
  const std::vector<double>& GetDistances() const { return FDistances; }
  void LoadSearch(const std::vector<TKvLinRGBColor>& ASource, const std::vector<double>& ADistances) {
    FSource = ASource;
    FDistances = ADistances;
  }

private:
  // One scratch pixel: its linear colour and its linear gray, whose cached
  // value may differ in the last bit from the weighted sum (a pixel made gray
  // keeps the gray it was given).
  struct TCompactPixel {
    double R, G, B;
    double Gray;
    bool GrayValid;
  };
  template <bool AGray>
  double CompactScoreOf(const TRect& ARect, const TKvDestEngineOptions& AOptions, const TKvCellSearchEntry* AEntries,
                        int ACount, double ALimit, bool AEqualWins);

  const TKvLinRGBColor& Source(int X, int Y);

  TKvBaseCellImage* FOwner;
  std::vector<TCompactPixel> FCompact;
  std::vector<TKvLinRGBColor> FSource;        // LoadSource's pixels
  std::vector<double> FDistances;             // per colour of a table, per loaded pixel
  std::vector<double> FRest;                  // a candidate's bound terms, per loaded pixel
  std::vector<TKvCellSearchEntry> FEntries;  // a palette's colours, for CompactScore
  std::vector<std::byte> FLanes;  // CompactScoreLanes' scratch picture and entries
  std::unique_ptr<TKvCellTapPlan> FPlan;
  const TKvLinRGBColor* FBand = nullptr;
  int FBandTop = 0;
  int FBandWidth = 0;
};

class TKvBaseCellImage : public TKvImage {
public:
  // Cells of ACellWidth x ACellHeight (at least 1 each) over the bitmap's
  // pixels; the last column and row of cells are cut to the picture.
  TKvBaseCellImage(int ACellWidth, int ACellHeight, TBitmap32& ABitmap);
  ~TKvBaseCellImage() override;

  int GetCellWidth() const { return FCellWidth; }
  int GetLastCellWidth() const { return FLastCellWidth; }
  int GetCellHeight() const { return FCellHeight; }
  int GetLastCellHeight() const { return FLastCellHeight; }
  int GetCellsAcross() const { return FCellsAcross; }
  int GetCellsDown() const { return FCellsDown; }
  int GetCellX() const { return FCellX; }
  int GetCellY() const { return FCellY; }
  TKvCellRanges* GetRanges() const { return FRanges.get(); }
  TKvCellDiffusion* GetDiffusion() const { return FDiffusion.get(); }
  // The copy of the options that every scoring dither uses; exists only
  // while a conversion runs.
  TKvDestEngineOptions* GetWorkOptions() const { return FWorkOptions.get(); }

  // The rectangle, in scan coordinates, of scan cell ACellX of cell row ACellY
  // under the image's present mirror flag: on a mirrored row the narrow cell
  // comes first.
  TRect GetCellRect(int ACellX, int ACellY) const;

  // The error of dithering the cell with APalette on the scratch picture
  // AHelper: the distance to the cell's own pixels plus the error pushed out.
  double ScoreCell(const TRect& ARect, TKvDestEngineOptions& AOptions, TKvPalette256& APalette,
                   TKvCellHelper& AHelper);
  // The best of the candidates AFrom..ATo of AList that are enabled
  // (AEnabled[k] when given, else the candidates' own flags), found with the
  // scratch picture AHelper and ATable, AList's search table: the least
  // ScoreCell under the work options and the earliest candidate with it, as
  // scoring them all in list order would find; ABest is -1 and the result 0
  // when none is enabled. Candidates whose lower bound shows that they
  // cannot win are not dithered. The abort flag is polled once.
  double SearchCell(const TRect& ARect, TKvCellPaletteList& AList, const TKvCellSearchTable& ATable,
                    const uint8_t* AEnabled, int AFrom, int ATo, TKvCellHelper& AHelper, int& ABest);
  // Adds each pixel's deferred error, weighted per channel, to its colour.
  void AddDeferredError(const TRect& ARect, const TKvLinRGBColor& AWeight);

  // Scratch pictures for jobs, pooled; used on the calling thread only.
  TKvCellHelper* AcquireHelper();
  void ReleaseHelper(TKvCellHelper* AHelper);

protected:
  bool Aborted() const { return ::Aborted(FAbort); }
  // The conversion settings that every cell reads.
  void CopySettings(TKvDestEngineOptions& AOptions);

  bool* FAbort = nullptr;
  TKvDestProgress* FProgress = nullptr;
  TKvPalette256* FPalette = nullptr;
  TKvPalette256* FFixedPalette = nullptr;
  bool FGrayMode = false;
  std::unique_ptr<TKvCellHelper> FHelper;
  int FCellX = 0;
  int FCellY = 0;
  std::unique_ptr<TKvCellRanges> FRanges;
  std::unique_ptr<TKvCellDiffusion> FDiffusion;
  uint8_t FColorDiffMethod = 0;
  uint8_t FDitherMethod = 0;
  bool FSerpentine = false;
  double FStrength = 0;
  bool FLimitErrorInsideBlock = false;
  bool FLimitErrorAtBlockBoundary = false;
  std::vector<std::unique_ptr<TKvCellHelper>> FHelperPool;
  std::unique_ptr<TKvDestEngineOptions> FWorkOptions;
  // Drops the conversion's copy of the options when a conversion ends,
  // however it ends.
  struct TWorkOptionsGuard {
    TKvBaseCellImage* Image;
    ~TWorkOptionsGuard() { Image->FWorkOptions.reset(); }
  };
  int FCellWidth = 1;
  int FLastCellWidth = 1;
  int FCellHeight = 1;
  int FLastCellHeight = 1;
  int FCellsAcross = 0;
  int FCellsDown = 0;
};

class TKvCellImage : public TKvBaseCellImage {
public:
  using TKvBaseCellImage::TKvBaseCellImage;

  // The whole conversion; AProgress and ATarget may be nil. Converters
  // override it to set their own fields first and then call it.
  virtual std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                             TKvDestProgress* AProgress, TKvCellScreen* ATarget);

  // Adds the cell's deferred error and finds its best candidate; ACellPalette
  // stays as the caller set it (nil) when no candidate is enabled.
  void SolveCell(int ACellX, int ACellY, const TRect& ARect, TKvCellPalette*& ACellPalette);
  // Solves and renders the cells of row ACellY in scan order (the present
  // cell kept in FCellX), counting each in ADone of ATotal for the progress.
  void SolveCellRow(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellY, int ATotal, int& ADone);
  // The least score among the enabled candidates (0 when there is none); the
  // earliest candidate wins a tie, whatever the number of processors.
  double FindBestPalette(const TRect& ARect, TKvCellPalette*& ACellPalette);

  // Cell-aware error diffusion from scan pixel (X, Y) of the cell being
  // rendered: shares into cells not yet solved are deferred, the others go
  // straight into the pixels (scaled by the cell's range when the error is
  // limited inside blocks).
  void DiffuseCellError(int X, int Y, uint8_t AMethod, const TKvLinRGBColor& AError);
  void DiffuseCellGrayError(int X, int Y, uint8_t AMethod, double AError);
  // An error share for a pixel of a later cell goes to the deferred buffer
  // (true); a pixel of the current or an earlier cell is left to the caller.
  bool DeferToLaterCell(int nx, int ny, const TKvLinRGBColor& AShare);

  TKvCellPaletteList* GetPaletteList() const { return FPaletteList; }

  // Hooks that converters override.
  virtual std::unique_ptr<TKvBitmap> CreateResult() = 0;
  // A new candidate list with at least one enabled candidate.
  virtual TKvCellPaletteList* CreatePaletteList() = 0;
  // Frees AList; a converter that keeps its list for longer overrides it.
  virtual void FreePaletteList(TKvCellPaletteList* AList);
  virtual void RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect,
                          TKvCellPalette* ACellPalette);
  virtual void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) = 0;
  virtual void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) = 0;
  virtual void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) = 0;
  virtual void ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone);

  // The pixels of cell ARect with ACellPalette: each pixel (after the ordered
  // offset, under that method) becomes its nearest entry in the target and
  // the result, and its error, scaled by the strength, goes to
  // ADiffuse(x, y, error) before the next pixel. APoll: the abort flag is
  // polled at each pixel (the calling thread's walk; jobs leave it to their
  // runner).
  template <class TDiffuse>
  void RenderCellPixels(TKvBitmap* AResult, TKvCellScreen* ATarget, const TRect& ARect, TKvCellPalette* ACellPalette,
                        bool APoll, TDiffuse&& ADiffuse) {
    const TKvPalette256& pal = *ACellPalette->Palette;
    const bool ordered = FDitherMethod == KvOrderedDitherMethod;
    for (int y = ARect.Top; y < ARect.Bottom; ++y)
      for (int x = ARect.Left; x < ARect.Right; ++x) {
        if (APoll && Aborted()) Abort();
        PKvPixel p = GetPixels(x, y);
        if (ordered) AddOrderedDitherOffset(*p, x, y);
        const int k = FGrayMode ? pal.FindNearestByGray(*p) : pal.FindNearestByMetric(FColorDiffMethod, *p);
        SetTargetPixel(ATarget, x, y, ACellPalette, k);
        SetResultPixel(AResult, x, y, ACellPalette, k);
        const TKvLinRGBColor c = pal.GetLinRGB(k);
        const TKvLinRGBColor o = p->GetLinRGB();
        p->SetLinRGB(c);
        ADiffuse(x, y, TKvLinRGBColor{(o.R - c.R) * FStrength, (o.G - c.G) * FStrength, (o.B - c.B) * FStrength});
      }
  }

protected:
  // Steps shared by the conversions before the first cell: settings, cleared
  // deferred error, adjusted and cached picture, the scoring options.
  void PrepareConversion(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                         bool ACallPrepare);
  // Sets the mirror flags of the outputs, the ranges and the deferred error
  // to the image's own for the row about to be walked.
  void BeginCellRow(TKvBitmap* AResult, TKvCellScreen* ATarget);
  // The least score over the enabled candidates of AList (0 when there is
  // none), searched in jobs when there are several processors; ABest is set
  // only when a candidate was scored.
  double SearchCandidates(TKvCellPaletteList* AList, const TRect& ARect, TKvCellPalette*& ABest);

  TKvCellPaletteList* FPaletteList = nullptr;

  // Runs AWalk, a walk over the cells that solves them one after another,
  // with a team of jobs that share each cell's candidate search: the cells
  // cannot be searched ahead when each one's pixels take the error of the
  // cells before it, but a search of hundreds of candidates can be split.
  // The calling thread walks; the others score candidates of the cell it
  // searches, taken a few at a time, and the caller scores again whatever a
  // descheduled member holds, so a late member delays nothing; when the
  // members do little of the work (a busy machine), the team rests a while
  // and the caller searches alone. The results are those of the walk alone. Without several processors, with another
  // metric than the compact scores, or with too few candidates in AList
  // (the walk's list), AWalk runs alone.
  void WalkWithSearchTeam(TKvCellPaletteList* AList, const std::function<void()>& AWalk);

  // Searches of a whole cell row made at once, against each of ALists.
  // Nothing changes a cell's pixels before its own search (the deferred error
  // reaches a cell when it is solved; direct shares reach only the cell being
  // rendered and cells solved before it), so the searches of a row can run in
  // one job run instead of one run per cell. A result is used only while the
  // cell's pixels and the list (its candidates, their colours and Enabled
  // flags) are still those the search saw; otherwise the cell is searched
  // again, so hooks that change them between cells keep working.
  void PrepareRowLookahead(int ACellY, const std::vector<TKvCellPaletteList*>& ALists);
  // The same for the rows ACellY .. ALastRow at once, each under the mirror
  // flag the serpentine scan will give it (the present one for ACellY).
  void PrepareRowsLookahead(int ACellY, int ALastRow, const std::vector<TKvCellPaletteList*>& ALists);
  // Called at the start of every cell row: unless row ACellY was searched
  // ahead already, searches it and the rows after it. The batches grow (1, 4,
  // 16 ... rows) while every search made ahead held, and fall back to one row
  // when one did not, so a hook that changes the list or the pixels costs at
  // most one row of wasted searches.
  void LookaheadForRow(int ACellY, const std::vector<TKvCellPaletteList*>& ALists);
  void DropRowLookahead() { FLookahead.Valid = false; }
  // The lookahead's search of AList on the cell of the current row whose
  // rectangle is ARect (scan cell CellX or CellX + 1); False when there is
  // none or it no longer holds.
  bool LookupRowSearch(TKvCellPaletteList* AList, const TRect& ARect, TKvCellPalette*& ABest, double& AScore) const;

private:
  friend class TKvCellRowSearchJob;
  TKvCellSearchTeam* FTeam = nullptr;
  // SearchCell's search of every candidate of AList shared with the team.
  double SearchWithTeam(const TRect& ARect, TKvCellPaletteList& AList, const TKvCellSearchTable& ATable, int& ABest);
  struct TListSnapshot {
    TKvCellPaletteList* List;
    const TKvCellSearchTable* Table;
    std::vector<TKvCellPalette*> Candidates;
    std::vector<uint8_t> Enabled;
    // Per candidate: its colour count, then linear R, G, B and gray of each.
    std::vector<double> Colors;
  };
  struct TRowLookahead {
    bool Valid = false;
    int Row = -1;      // the first row searched
    int LastRow = -1;  // the last one
    // Searches made ahead that no longer held, since the last batch began.
    int Misses = 0;
    // Rows of the last batch of LookaheadForRow, and the lists it was for
    // (kept also when the batch had too little work to be searched ahead).
    int BatchRows = 1;
    std::vector<TKvCellPaletteList*> ForLists;
    std::vector<TListSnapshot> Lists;
    // Per cell of the batch: row by row, each in scan order.
    std::vector<TRect> Rects;
    // The rows' pixels, from the first row's top, each row of cells in scan
    // order under its own mirror flag.
    std::vector<TKvLinRGBColor, TKvLargeAllocator<TKvLinRGBColor>> Band;
    int BandTop = 0;
    // Per cell of the batch, then per list.
    std::vector<TKvCellPalette*> Best;
    std::vector<double> Score;
    // The next cell a pulling search job takes.
    std::atomic<int> Next{0};
  };
  TRowLookahead FLookahead;
};

// Searches cells From..To (inclusive) of the row of a lookahead, every
// enabled candidate each, with a scratch picture of its own, on a worker
// thread (the first job of a run on the calling thread).
class TKvCellRowSearchJob : public TKvJob {
public:
  TKvCellRowSearchJob(TKvJobList* AList, TKvCellImage* AImage, int AFrom, int ATo);
  // Takes the lookahead's cells a few at a time until none is left, so that
  // jobs whose threads run late take fewer.
  TKvCellRowSearchJob(TKvJobList* AList, TKvCellImage* AImage);
  ~TKvCellRowSearchJob() override;
  void Execute() override;

private:
  void SearchCell(int ACell);

  TKvCellImage* FImage;
  TKvCellHelper* FHelper;
  int FFrom;
  int FTo;
  bool FPull = false;
};

// Scores candidates From..To (inclusive) of a list with a scratch picture of
// its own, on a worker thread (the first job of a run on the calling thread).
class TKvCellImageFindOptimalColorsJob : public TKvJob {
public:
  TKvCellImageFindOptimalColorsJob(TKvJobList* AList, TKvCellImage* AImage, TKvCellPaletteList* ACandidates,
                                   const TKvCellSearchTable& ATable, const TRect& ARect, int AFrom, int ATo);
  ~TKvCellImageFindOptimalColorsJob() override;
  void Execute() override;

  TKvCellPalette* BestPalette = nullptr;
  double BestError = 0;

private:
  TKvCellImage* FImage;
  TKvCellPaletteList* FCandidates;
  const TKvCellSearchTable& FTable;
  TKvCellHelper* FHelper;
  TRect FRect;
  int FFrom;
  int FTo;
};
