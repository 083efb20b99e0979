// The converters of the "ZX Spectrum UlaPlus" platform: the Spectrum
// attribute screen (8x8 cells, or one attribute per 8x1 cell as on the
// Timex) followed by a 64-byte palette of four colour lookup tables (CLUTs),
// each of 8 inks and 8 papers chosen from the 256 ULAplus colours.
//
// Inside the converters a 64-entry layout palette orders each CLUT papers
// first (entries 16k .. 16k+7) and inks second (16k+8 .. 16k+15); the file
// stores each CLUT inks first, so the palette writer swaps the halves.
//
// The "Color (64 from 256, slow)" mode chooses the 64 colours by clustering:
// a first cell pass over every pair of a 64-colour working palette counts
// the pixels each used pair takes, then the pairs are spread over four
// clusters (one per CLUT) so that each cluster needs at most 8 papers and 8
// inks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/KvKMeans.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

class TKvULAPlusCluster;
class TKvULAPlusQuantization;

// The least work (colour comparisons) of a clustering pass worth spreading
// over jobs; below it the pass runs on the calling thread. The result does
// not depend on it; tests lower it to run the jobs on small lists.
extern int64_t KvULAPlusMinJobWork;

// ---------------------------------------------------------------------------
// Palette clustering

// One candidate of the first cell pass and one item of the clustering: a
// (paper, ink) pair or a single colour, with the pixels it took.
class TKvULAPlusColor : public TKvCellPaperIncPalette {
public:
  TKvULAPlusColor(TKvPalette256& APalette, int AIndexA, int AIndexB);

  bool IsSingle() const { return PaperIncFlag; }
  // The least squared linear distance of an entry of APalette to the paper
  // (ink) colour, starting from 10; an empty palette raises the OS error 87.
  double NearestPaperDistance(const TKvPalette256& APalette) const;
  double NearestInkDistance(const TKvPalette256& APalette) const;
  // The summed distance of every entry to the colour; singles only.
  double SumDistance(const TKvPalette256& APalette) const;
  // How far the cluster's groups are from this pair or single (an empty
  // group counts 0).
  double Distance(const TKvULAPlusCluster& ACluster) const;
  // Score := the largest pair distance to any colour of the owner's list.
  void UpdateMaxDistance();
  // Nearest := the nearest cluster with a colour (the first on ties).
  void UpdateNearest();

  TKvULAPlusQuantization* Owner = nullptr;
  int32_t PaperCount = 0;  // pixels that took colour A (clear bits)
  int32_t InkCount = 0;    // pixels that took colour B (set bits)
  TKvStdRGBColor PaperColor;
  TKvStdRGBColor InkColor;
  TKvLinRGBColor PaperLin;
  TKvLinRGBColor InkLin;
  TKvULAPlusCluster* Cluster = nullptr;
  TKvULAPlusCluster* Nearest = nullptr;
  double Score = 0;
};

// Every single, then every pair i < j, of a working palette.
class TKvULAPlusPreparePaletteList : public TKvCellPaletteList {
public:
  explicit TKvULAPlusPreparePaletteList(TKvPalette256& APalette);
  TKvULAPlusColor* GetPalette(int AIndex) const {
    return static_cast<TKvULAPlusColor*>(TKvCellPaletteList::GetPalette(AIndex));
  }
  // Drops the candidates no pixel took.
  void Prune();
};

// The first pass: solves the cells over every pair of the working palette
// and counts the pixels of each candidate. Writes no screen.
class TKvULAPlusQuantizationImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  ~TKvULAPlusQuantizationImage() override;

  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                         TKvCellScreen* ATarget);
  // The used candidates with their counts, after a conversion.
  TKvULAPlusPreparePaletteList* GetColors() const { return FColors.get(); }

  void Prepare() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void FreePaletteList(TKvCellPaletteList*) override {}
  void SetCellAttr(TKvCellScreen*, int, int, TKvCellPalette*) override {}
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) override;

private:
  std::unique_ptr<TKvULAPlusPreparePaletteList> FColors;
};

// One CLUT in the making: its members and the paper and ink groups they
// need, each group's use counts holding pixel counts.
class TKvULAPlusCluster {
public:
  explicit TKvULAPlusCluster(TKvULAPlusQuantization* AOwner);
  ~TKvULAPlusCluster();
  TKvULAPlusCluster(const TKvULAPlusCluster&) = delete;
  TKvULAPlusCluster& operator=(const TKvULAPlusCluster&) = delete;

  void Add(TKvULAPlusColor* AColor);
  void Remove(TKvULAPlusColor* AColor);
  TKvULAPlusColor* GetPalette(int AIndex) const { return Members[static_cast<size_t>(AIndex)]; }
  int GetCount() const { return static_cast<int>(Members.size()); }
  TKvULAPlusColor* GetSingleColor(int AIndex) const { return Singles[static_cast<size_t>(AIndex)]; }
  int GetSingleCount() const { return static_cast<int>(Singles.size()); }

  // Rebuilds both groups from the members, at most 8 colours each.
  void UpdateMiddle();
  // The member pair (single) farthest from the groups, nil when there is
  // none or when its colours are already in the groups.
  TKvULAPlusColor* FarthestPair();
  TKvULAPlusColor* FarthestSingle();
  // The pixels of the members that show AColor.
  int64_t UsageOf(const TKvStdRGBColor& AColor) const;
  bool HasColors() const { return PaperColors->Count > 0 || InkColors->Count > 0; }

  TKvULAPlusQuantization* Owner;
  std::unique_ptr<TKvPalette256> PaperColors;
  std::unique_ptr<TKvPalette256> InkColors;
  std::vector<TKvULAPlusColor*> Members;
  std::vector<TKvULAPlusColor*> Singles;
  std::unique_ptr<TKvQuantization> Quantizer;
  std::unique_ptr<TKvPalette256> FixedColors;
  TKvColorMask ColorMask{};

private:
  void AddPaper(TKvULAPlusColor* AColor);
  void AddInk(TKvULAPlusColor* AColor);
};

class TKvULAPlusQuantization {
public:
  static constexpr int ClusterCount = 4;
  static constexpr int GroupSize = 8;
  static constexpr int MaxPasses = 200;

  TKvULAPlusQuantization() = default;
  ~TKvULAPlusQuantization();
  TKvULAPlusQuantization(const TKvULAPlusQuantization&) = delete;
  TKvULAPlusQuantization& operator=(const TKvULAPlusQuantization&) = delete;

  // Spreads the used candidates of AColors over 4 CLUTs. On return AResult
  // holds 64 entries: per CLUT 8 papers then 8 inks, each group sorted by
  // gray, missing colours black with the skip flag. AResult is untouched
  // when the work is aborted (EAbort).
  void Quantize(bool* AAbort, TKvULAPlusPreparePaletteList* AColors, bool AUseGray, TKvPalette256& AResult,
                TKvPalette* AAllowed);

  TKvULAPlusColor* GetColor(int AIndex) const { return Colors->GetPalette(AIndex); }
  int GetColorCount() const { return Colors ? Colors->GetCount() : 0; }
  TKvULAPlusColor* GetSingleColor(int AIndex) const { return Singles[static_cast<size_t>(AIndex)]; }
  TKvULAPlusCluster* GetCluster(int AIndex) const { return Clusters[static_cast<size_t>(AIndex)].get(); }

  // The steps, public for the jobs and the tests.
  void Seed();
  void Iterate();
  void UpdateMiddles();
  void UpdateNearest();
  bool MovePairToFreeCluster();
  bool MoveSingleToFreeCluster();

  bool* Abort = nullptr;
  bool UseGray = false;
  TKvPalette* Allowed = nullptr;
  TKvULAPlusPreparePaletteList* Colors = nullptr;
  std::vector<TKvULAPlusColor*> Singles;
  std::vector<std::unique_ptr<TKvULAPlusCluster>> Clusters;

private:
  void CheckAbort() const;
  // Moves every colour (pairs only unless AWithSingles) to its nearest
  // cluster; returns the number moved.
  int MoveToNearest(bool AWithSingles);
  static void MoveTo(TKvULAPlusColor* AColor, TKvULAPlusCluster* ACluster);
};

// Job of a clustering pass over colours or clusters From..To.
class TKvULAPlusQuantizationQuantizationJob : public TKvJob {
public:
  TKvULAPlusQuantizationQuantizationJob(TKvJobList* AList, TKvULAPlusQuantization* AOwner, int AFrom, int ATo)
      : TKvJob(AList), Owner(AOwner), From(AFrom), To(ATo) {}

protected:
  TKvULAPlusQuantization* Owner;
  int From;
  int To;
};
class TKvULAPlusQuantizationCaclColorMaxDistanceJob : public TKvULAPlusQuantizationQuantizationJob {
public:
  using TKvULAPlusQuantizationQuantizationJob::TKvULAPlusQuantizationQuantizationJob;
  void Execute() override;
};
class TKvULAPlusQuantizationUpdateClusterMiddleJob : public TKvULAPlusQuantizationQuantizationJob {
public:
  using TKvULAPlusQuantizationQuantizationJob::TKvULAPlusQuantizationQuantizationJob;
  void Execute() override;
};
class TKvULAPlusQuantizationUpdateColorNearestClusterJob : public TKvULAPlusQuantizationQuantizationJob {
public:
  using TKvULAPlusQuantizationQuantizationJob::TKvULAPlusQuantizationQuantizationJob;
  void Execute() override;
};

// ---------------------------------------------------------------------------
// Palettes

// The gray ramp of the "Gray" mode: 4 + AParam (at most 8) grays of the
// ULAplus colours of APaletteType, exact grays first, sorted by gray.
// ptV11Gray raises the OS error 87.
void BuildUlaPlusGrayPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, int AParam);
// Lays out at most 17 colours of APalette in CLUTs so that any two of them
// share one, the earlier as paper: 16 entries for up to 9 colours, else 48.
void UlaPlusLayout17(TKvPalette256& APalette);
// Writes the 64 palette bytes at AFileSize - 64 of AData: per CLUT the GRB332
// codes (indexes of AFull) of the inks, then of the papers. Entries missing
// or skip-flagged leave their byte alone.
void WriteUlaPlusPalette(TKvPalette256& ALayout, const TKvPalette256& AFull, uint8_t* AData, int64_t AFileSize);

// ---------------------------------------------------------------------------
// Options, screens, candidates and the cell image

class TKvULAPlusEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvULAPlusEngineOptions();
  void UpdatePalette() override;
};

class TKvULAPlusTimexEngineOptions : public TKvULAPlusEngineOptions {
public:
  TKvULAPlusTimexEngineOptions();
  int32_t GetCellHeight() const override { return 1; }
};

// The 6912-byte screen. In two-colour mode it takes only the two layout
// positions TwoColorDark and TwoColorLight and stores them as bits.
class TKvULAPlusScreen : public TKvZxSpectrumColorScreen {
public:
  using TKvZxSpectrumColorScreen::TKvZxSpectrumColorScreen;
  void SetPixel(int X, int Y, int AColor) override;

  bool TwoColorMode = false;
  bool TwoColorInverted = false;
  int32_t TwoColorDark = 0;
  int32_t TwoColorLight = 0;
};

// One attribute per 8x1 cell, in the bitmap's row interleaving.
using TKvULAPlusExtendedScreen = TKvZxRowAttrScreen<TKvULAPlusScreen>;

// The candidates of a cell over a layout palette: every colour once as a
// single (flagged as paper or ink group), then every paper/ink pair of each
// CLUT.
class TKvULAPlusPalette64List : public TKvCellPaletteList {
public:
  explicit TKvULAPlusPalette64List(TKvPalette256& APalette);
  // Only entries whose colour AAllowed holds.
  TKvULAPlusPalette64List(TKvPalette256& APalette, const TKvPalette256& AAllowed);

private:
  void Build(TKvPalette256& APalette, const TKvPalette256* AAllowed);
};

class TKvULAPlusImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;

  std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                         TKvCellScreen* ATarget);
  std::unique_ptr<TKvBitmap> ConvertTwoColors(bool* AAbort, TKvDestEngineOptions& AOptions, TKvULAPlusScreen* AScreen,
                                              TKvPalette256* APalette, int ADark, int ALight, bool AInverted);

  void Prepare() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) override;

  uint8_t PaletteType = ptV11;
  uint8_t PaletteMode = 8;
  int32_t GrayParam = 0;
};

// Gives every cell the attribute that shows ADark and ALight (Src indexes
// of a 17-colour layout) and turns them into layout positions; AInverted
// when ALight had to be the paper. No CLUT holding both: the OS error 87.
void FindUlaPlusTwoColorAttribute(TKvCellScreen& AScreen, int ACellHeight, int& ADark, int& ALight,
                                  bool& AInverted);

class TKvULAPlusEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvULAPlusEngineUI(TKvDestEngineOptions* AOptions);
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// ---------------------------------------------------------------------------
// Engines

// The conversion of both modes: a file of AFileSize bytes, the screen
// ACreateScreen makes over it with cells ACellHeight lines high, and the
// palette at its end.
std::unique_ptr<TKvBitmap> ConvertUlaPlus(TKvConvertArgs& AArgs, int AFileSize, int ACellHeight,
                                          std::unique_ptr<TKvULAPlusScreen> (*ACreateScreen)(void*));

// A mode AMode of the "ZX Spectrum UlaPlus" platform with options TOptions:
// files of AFileSize bytes over a TScreen with cells ACellHeight lines high.
// TBase is the mode it extends, if any.
template <class T, class TOptions, class TScreen, int AFileSize, int ACellHeight, TKvText AMode,
          class TBase = TKvDestEngine>
class TKvULAPlusEngineOf : public TKvDestMode<T, TOptions, TKvULAPlusEngineUI, "ZX Spectrum UlaPlus", AMode, TBase> {
public:
  static int GetFileSize() { return AFileSize; }
  static int GetCellHeight() { return ACellHeight; }
  static std::unique_ptr<TKvULAPlusScreen> CreateScreen(void* AData) { return std::make_unique<TScreen>(AData); }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    return ConvertUlaPlus(AArgs, AFileSize, ACellHeight, &CreateScreen);
  }
};

struct TKvULAPlusEngine : TKvULAPlusEngineOf<TKvULAPlusEngine, TKvULAPlusEngineOptions, TKvULAPlusScreen, 6976, 8, "256x192x8 (8x8)"> {};
struct TKvULAPlusTimexEngine
    : TKvULAPlusEngineOf<TKvULAPlusTimexEngine, TKvULAPlusTimexEngineOptions, TKvULAPlusExtendedScreen, 12352, 1,
                         "256x192x8 (8x1)", TKvULAPlusEngine> {};

// The modes of the platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxSpectrumUlaPlusDestEngineClasses();
void InitKvSavePlatformZxSpectrumUlaPlus();
