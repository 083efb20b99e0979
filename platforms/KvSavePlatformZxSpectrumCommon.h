// What the ZX Spectrum family converters share for the classic attribute
// screen: the 256x192 options with 8x8 cells, the 6912-byte screen in the
// Spectrum memory layout, the candidate ink/paper pairs of one attribute
// cell, the colour image that solves a picture cell by cell under the
// Spectrum rules, and the 8x1 multicolour engines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformZxSpectrum.h"

class TKvStreamList;

// 256x192 pictures in 8x8 attribute cells.
class TKvZxSpectrumEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
  int32_t GetCellHeight() const override { return 8; }
};

// The standard screen over a buffer of at least 6912 bytes that it does not
// own: the interleaved bitmap (a set bit is ink) and one attribute per cell
// at 6144 + cy*32 + cx. Cell rows beyond 23 continue the attribute area, as
// the multicolour files need.
class TKvZxSpectrumColorScreen : public TKvCellScreen {
public:
  explicit TKvZxSpectrumColorScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;

protected:
  // A screen of AHeight rows over the same layout.
  TKvZxSpectrumColorScreen(int AHeight, void* AData) : TKvCellScreen(256, AHeight, AData) {}
  int MCX(int CellX) const { return MirrorX ? 31 - CellX : CellX; }
};

// The bitmap alone, 6144 bytes, a set bit dark: the light colour (non-zero)
// clears the bit. No attributes.
class TKvZxSpectrumBWScreen : public TKvScreen1 {
public:
  explicit TKvZxSpectrumBWScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// A screen TBase with one attribute per 8x1 cell, in the bitmap's row
// interleaving: 6144 + (row offset of y) + cx.
template <class TBase>
class TKvZxRowAttrScreen : public TBase {
public:
  using TBase::TBase;
  int GetAttr(int CellX, int CellY) override { return this->Data[RowAttrOffset(CellX, CellY)]; }
  void SetAttr(int CellX, int CellY, int AAttr) override {
    this->Data[RowAttrOffset(CellX, CellY)] = static_cast<uint8_t>(AAttr);
  }

private:
  int RowAttrOffset(int CellX, int CellY) const { return ZxBitmapSize + ZxRowOffset(CellY) + this->MCX(CellX); }
};

// The (paper, ink) pairs from which the candidate lists are made.
struct TZxCellPair {
  uint8_t First;   // paper
  uint8_t Second;  // ink
};
constexpr int ZxCellPairCount = 83;
extern const TZxCellPair ZxCellPairTable[ZxCellPairCount];

// Candidates of a Spectrum cell: both colours normal or both bright.
// AColorUsage cuDarkOnly or cuDarkOnlyForceBright: normal pairs only;
// cuBrightOnly: bright only; else both.
struct TKvZxSpectrumColorPaletteList : TKvCellPaletteList { TKvZxSpectrumColorPaletteList(uint8_t AColorUsage, TKvPalette256& APalette); };
// Black, black/white, white, bright black/bright white, bright white.
struct TKvZxSpectrumGrayPaletteList : TKvCellPaletteList { TKvZxSpectrumGrayPaletteList(uint8_t AColorUsage, TKvPalette256& APalette); };
// Ink and paper each with its own bright bit: every single and every pair of
// the 16 colours.
struct TKvZxSpectrumColorNoFlashPaletteList : TKvCellPaletteList { explicit TKvZxSpectrumColorNoFlashPaletteList(TKvPalette256& APalette); };
struct TKvZxSpectrumGrayNoFlashPaletteList : TKvCellPaletteList { explicit TKvZxSpectrumGrayNoFlashPaletteList(TKvPalette256& APalette); };

// The Spectrum cell image; ColorUsage is a TKvColorUsage.
class TKvSpectrumZxColorImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;

  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  // The "Gray" colour mode: the five gray candidates on a gray picture.
  virtual std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress, TKvCellScreen* ATarget);

  void Prepare() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;

  uint8_t ColorUsage = 0;
};

// Builds the ZX palette, runs the colour or gray conversion by palette mode
// into ATarget, and returns the preview. Shared by the attribute converters.
std::unique_ptr<TKvBitmap> ConvertZxColorCells(bool* AAbort, TBitmap32& ABitmap, int ACellHeight,
                                               TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                               TKvCellScreen& ATarget);
// The same for a converter's arguments, in cells of the options' height.
inline std::unique_ptr<TKvBitmap> ConvertZxColorCells(TKvConvertArgs& AArgs, TKvCellScreen& ATarget) {
  return ConvertZxColorCells(AArgs.Abort, AArgs.Bitmap, AArgs.Options.GetCellHeight(), AArgs.Options, AArgs.Progress,
                             ATarget);
}

// "256x192x4": Linear palette, colour mode, 90% error diffusion.
class TKvZxSpectrumColorEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumColorEngineOptions();
  void UpdatePalette() override;
};

// ---------------------------------------------------------------------------
// Multicolour: one attribute per 8x1 cell.

// The error spreads freely over the cells of one line.
class TKvZxSpectrumMultiColor1EngineOptions : public TKvZxSpectrumColorEngineOptions {
public:
  TKvZxSpectrumMultiColor1EngineOptions();
  int32_t GetCellHeight() const override { return 1; }
};

class TKvZxSpectrumMultiColor1EngineInterlacedOptions : public TKvZxSpectrumMultiColor1EngineOptions {
public:
  TKvZxSpectrumMultiColor1EngineInterlacedOptions();
  TKvSize GetDefaultSize() const override { return {256, 384}; }
};

// The ".mc" screen: the same attributes as ".mlt", bitmap rows in display
// order.
class TKvZxSpectrumMulticolor1Screen : public TKvZxSpectrumColorScreen {
public:
  using TKvZxSpectrumColorScreen::TKvZxSpectrumColorScreen;
  void CopyLinearFrom(TKvZxSpectrumColorScreen& AScreen);
};

// 256x384 over 24576 bytes: even picture rows in the first 12288-byte half,
// odd rows in the second, each half a bitmap followed by one attribute per
// 8x1 cell in the bitmap's row interleaving. Only written.
class TKvZxSpectrumMultiColor1InterlacedScreen : public TKvCellScreen {
public:
  TKvZxSpectrumMultiColor1InterlacedScreen(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

struct TKvZxSpectrumMultiColorEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumMultiColorEngineUI(TKvDestEngineOptions* AOptions); };

// The colour usage and the dithering sections of a cell panel whose modes
// are "Black/white", "Gray" and "Сolor", with the rules that tie them to the
// mode chosen.
void AddZxColorUsageAndDithering(TKvDestEngineUIEx& APanel);
// The attribute panel: the position, the ZX palette section with AModes, the
// colour usage and the dithering (with ABlockLimits); the colour usage only
// matters while "Сolor", the mode list's entry AColorEntry, is chosen.
void AddZxColorPanel(TKvDestEngineUIEx& APanel, TKvPaletteModeSet AModes, int AColorEntry, bool ABlockLimits);

// A mode AMode of the "ZX Spectrum" platform with options TOptions and panel
// TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvZxSpectrumEngineOf = TKvDestMode<T, TOptions, TUI, "ZX Spectrum", AMode>;

struct TKvZxSpectrumMultiColor1Engine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiColor1Engine, TKvZxSpectrumMultiColor1EngineOptions,
                            TKvZxSpectrumMultiColorEngineUI, "256x192x4 Multicolor 8x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumMultiColor1InterlacedEngine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiColor1InterlacedEngine, TKvZxSpectrumMultiColor1EngineInterlacedOptions,
                            TKvZxSpectrumMultiColorEngineUI, "256x192x4 Multicolor 8x1 Interlaced"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// Gigascreen: two complete screens shown in turn, so that the eye mixes the
// two colours of every pixel. The working palette is the 256-entry mixture
// palette: entry i*16 + j is colour i in the first frame with colour j in
// the second, the unmixed colours on the diagonal, and every mixture that
// the settings rule out carries the skip flag.

// Which attributes show a mixture: 0 paper in both frames, 1 paper in frame 1
// and ink in frame 2, 2 ink in frame 1 and paper in frame 2, 3 ink in both.
constexpr bool ZxGigaCodeInk1(int ACode) { return (ACode & 2) != 0; }
constexpr bool ZxGigaCodeInk2(int ACode) { return (ACode & 1) != 0; }

// One candidate of a gigascreen cell: an ink and a paper per frame and the
// up to four distinct mixtures they show.
class TKvZxSpectrumGigascreenPalette : public TKvCellPalette {
public:
  explicit TKvZxSpectrumGigascreenPalette(TKvPalette256& AMixPalette);
  // Fills the candidate; combinations whose mixture is skip-flagged are left
  // out, and a colour already present keeps the code of its first one.
  void Setup(int APaper1, int AInk1, int APaper2, int AInk2);
  bool SameColors(const TKvZxSpectrumGigascreenPalette& AOther) const;
  // Every colour of AOther is one of this candidate's.
  bool ContainsColors(const TKvZxSpectrumGigascreenPalette& AOther) const;
  int GetColorCount() const { return Palette->Count; }

  TKvPalette256* MixPalette;
  int Paper1 = 0, Ink1 = 0, Paper2 = 0, Ink2 = 0;
  // The colours as $RRGGBB, ascending; Codes[k] is the code of colour k.
  uint32_t Keys[4] = {0, 0, 0, 0};
  int32_t Codes[4] = {0, 0, 0, 0};
  // The mixture entry of each colour.
  int32_t Entries[4] = {0, 0, 0, 0};
};

// One candidate of a list, kept small: a conversion offers up to some
// fifteen hundred. Its colours are the mixture entries the list names by
// slot; Setup of a TKvZxSpectrumGigascreenPalette with its four indexes
// gives the same colours, codes and range.
struct TKvZxGigaCandidate {
  int Paper1 = 0, Ink1 = 0, Paper2 = 0, Ink2 = 0;
  int Count = 0;
  int Slots[4] = {0, 0, 0, 0};  // per colour: its place in GetMixEntries
  TKvLinRGBColor Range{0, 0, 0};
};

// Every candidate the colour usage allows, without duplicates and without
// candidates whose colours another one offers with more, most colours first;
// with the union of their colours sorted by gray. The candidates are not
// TKvCellPalette items: the gigascreen images search them themselves.
class TKvZxSpectrumGigascreenPaletteList : public TKvCellPaletteList {
public:
  // ASameAttributes: both frames of a cell share one attribute.
  TKvZxSpectrumGigascreenPaletteList(uint8_t AColorUsage, TKvPalette256& AMixPalette, bool ASameAttributes);
  TKvPalette256& GetUnionPalette() { return FUnion; }
  int GetCandidateCount() const { return static_cast<int>(FCandidates.size()); }
  const TKvZxGigaCandidate& GetCandidate(int AIndex) const { return FCandidates[static_cast<size_t>(AIndex)]; }
  // The mixture palette entries that the candidates show, by slot.
  const std::vector<int>& GetMixEntries() const { return FMixEntries; }
  TKvPalette256& GetMixPalette() const { return *FMixPalette; }

private:
  TKvPalette256* FMixPalette;
  std::vector<TKvZxGigaCandidate> FCandidates;
  std::vector<int> FMixEntries;
  TKvPalette256 FUnion;
};

// The attribute byte of a paper and an ink (0..15); AForceBright sets the
// bright bit for normal colours too.
inline int ZxGigaAttribute(int APaper, int AInk, bool AForceBright) {
  int a = ((APaper << 3) & 0x38) | (AInk & 7);
  if (AInk > 7 || APaper > 7 || AForceBright) a |= 0x40;
  return a;
}
// Paper and ink (0..15) of an attribute byte.
inline void ZxGigaAttrColors(int AAttr, int& APaper, int& AInk) {
  const int b = (AAttr & 0x40) ? 8 : 0;
  AInk = (AAttr & 7) + b;
  APaper = ((AAttr >> 3) & 7) + b;
}

// Two standard screens one after the other (13824 bytes): frame 1 bitmap and
// attributes, then frame 2's. Subclasses move the four blocks.
class TKvZxSpectrumGigascreenScreen : public TKvCellGigaScreen {
public:
  explicit TKvZxSpectrumGigascreenScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
  int GetPixel2(int X, int Y) override;
  void SetPixel2(int X, int Y, int AColor) override;
  int GetAttr2(int CellX, int CellY) override;
  void SetAttr2(int CellX, int CellY, int AAttr) override;

protected:
  int MCX(int CellX) const { return MirrorX ? 31 - CellX : CellX; }
  int GetBit(int AOffset, int X, int Y);
  void SetBit(int AOffset, int X, int Y, int AColor);

  int FBitmap1 = 0;
  int FBitmap2 = ZxScreenSize;
  int FAttr1 = ZxBitmapSize;
  int FAttr2 = ZxScreenSize + ZxBitmapSize;
};

// What the two-frame conversions share of the chosen candidate of a cell:
// the unmixed colours each frame uses, the mixtures shown, and the canonical
// attributes of a cell that shows at most two colours per frame.
struct TKvZxGigaCellColors {
  TKvPalette256 First;   // distinct unmixed colours of frame 1
  TKvPalette256 Second;  // of frame 2
  TKvPalette256 Mixes;   // distinct mixtures
  void Clear() {
    First.Clear();
    Second.Clear();
    Mixes.Clear();
  }
};

// The canonical attributes (paper1, ink1, paper2, ink2) of a cell, or False
// when the cell stays as it is. AShortcuts: the black/white and black/bright
// white mixtures get their fixed choices. Raises the OS error 13 where the
// frames cannot be expressed.
bool ChooseZxGigaNormalCell(const TKvZxGigaCellColors& AColors, const TKvPalette256& APureColors,
                            const TKvPalette256& AMixPalette, uint8_t AColorUsage, bool AShortcuts,
                            const TKvStdRGBColor& AGrayMix7, const TKvStdRGBColor& AGrayMix15, int (&AChoice)[4]);

// The gigascreen cell image: solves each cell against the candidate list and
// writes both frames, normalises cells of few colours and balances the
// brightness of the frames like a chessboard.
class TKvZxSpectrumGigascreenImage : public TKvCellImage {
public:
  TKvZxSpectrumGigascreenImage(int ACellWidth, int ACellHeight, TBitmap32& ABitmap);
  ~TKvZxSpectrumGigascreenImage() override;

  // ATarget must be a TKvCellGigaScreen. The result is an 8-bit bitmap over
  // the union palette carrying the two frames (4-bit, over the unmixed
  // colours) in its frame list.
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;

  void Prepare() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect,
                  TKvCellPalette* ACellPalette) override;
  void SetCellAttr(TKvCellScreen*, int, int, TKvCellPalette*) override {}
  void SetResultPixel(TKvBitmap*, int, int, TKvCellPalette*, int) override {}
  void SetTargetPixel(TKvCellScreen*, int, int, TKvCellPalette*, int) override {}

  // Replaces the attributes of a cell of few colours by a canonical choice;
  // answers whether the frames differ (True for a cell left as it is).
  bool NormalizeCell(TKvBitmap* AResult, TKvCellGigaScreen* ATarget, int ACellX, int ACellY, const TRect& ARect);

  uint8_t ColorUsage = 0;
  bool SafeMode = false;
  TKvPalette256 PureColors;
  TKvZxGigaCellColors CellColors;
  TKvStdRGBColor GrayMix7, GrayMix15;
  TKvBitmap* FirstFrameBitmap = nullptr;
  TKvBitmap* SecondFrameBitmap = nullptr;

protected:
  // The options' settings and the unmixed colours, before a conversion.
  void BeginGiga(TKvDestEngineOptions& AOptions);
  // The conversion's steps around WalkCells: settings, candidate list,
  // result.
  std::unique_ptr<TKvBitmap> ConvertCells(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                          TKvCellScreen* ATarget);
  // Solves and renders every cell, in scan order (serpentine when set).
  virtual void WalkCells(TKvBitmap* AResult, TKvCellScreen* ATarget);
  // Deferred error, the best candidate and rendering of one cell.
  void SolveGigaCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect);
  // The candidate of least score, the earliest of equal ones; the dither
  // trial is skipped for candidates whose colours alone, nearest per pixel,
  // already miss the cell by more than the best score so far.
  // AScratch and AHelper belong to the caller (one set per thread).
  struct TSearchScratch {
    TKvPalette256 Trial;            // the colours of the candidate being scored
    std::vector<double> Distances;  // per cell pixel, per slot
    std::vector<double> Bounds;     // per candidate
    std::vector<int> Order;
  };
  const TKvZxGigaCandidate* FindBestCandidate(const TRect& ARect, TSearchScratch& AScratch, TKvCellHelper& AHelper);
  // The searches of a whole cell row made at once in jobs, when nothing
  // changes a cell's pixels before its own search (the error limit at block
  // boundaries holds the deferred error back until then); a result is used
  // only while the cell's pixels are those the search saw. ARects: the
  // rectangle of each scan cell of the row, empty for cells not searched
  // ahead; they lie in one band of rows.
  void PrepareRowSearches(int ACellY, const std::vector<TRect>& ARects);
  std::vector<TRect> FRowRects;
  // Dithers the cell with the candidate's colours: APut(x, y, colour, code)
  // writes each pixel; the frame colours, mixtures and the colour each pixel
  // took are noted for NormalizeCell, and the error is spread.
  void DitherGigaCell(TKvZxSpectrumGigascreenPalette& ACandidate, const TRect& ARect,
                      const std::function<void(int, int, int, int)>& APut);
  // Gives a cell of few colours its canonical colours (ChooseZxGigaNormalCell
  // with AShortcuts) and tells APut(x, y, ink1, ink2) which frames show ink
  // at each of its pixels; where both frames share one attribute, a mixed
  // pixel shows ink in frame 1 exactly where ASharedInk1(x, y). AChoice gets
  // paper1, ink1, paper2 and ink2. False when the cell stays as it is.
  bool PutNormalCell(const TRect& ARect, bool AShortcuts, int (&AChoice)[4],
                     const std::function<bool(int, int)>& ASharedInk1,
                     const std::function<void(int, int, bool, bool)>& APut);
  // Spreads a rendered pixel's error; the 8x1 image decides differently
  // which cells come later.
  virtual void DiffuseRenderError(int X, int Y, const TKvLinRGBColor& AError);
  // The colour each pixel of the cell being rendered took, row by row.
  std::vector<TKvStdRGBColor> FCellPixels;
  std::unique_ptr<TKvZxSpectrumGigascreenPalette> FScratch;
  std::unique_ptr<TKvZxSpectrumGigascreenPalette> FChosen;

private:
  friend class TKvZxGigaRowSearchJob;
  TSearchScratch* AcquireScratch();
  void ReleaseScratch(TSearchScratch* AScratch);
  std::vector<std::unique_ptr<TSearchScratch>> FScratchPool;
  TSearchScratch FSearch;
  struct TRowSearches {
    int Row = -1;
    std::vector<TRect> Rects;
    std::vector<int> Cells;            // the scan cells searched
    std::vector<TKvLinRGBColor> Band;  // the row's pixels as searched
    std::vector<const TKvZxGigaCandidate*> Best;
  } FAhead;
};

// Test hook: without it the trial dithers of every candidate are made, as a
// check that skipping them never changes a result.
extern bool KvZxGigaSkipHopelessCandidates;
