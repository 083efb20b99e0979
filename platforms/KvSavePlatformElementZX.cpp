#include "platforms/KvSavePlatformElementZX.h"

#include <algorithm>
#include <cstring>

#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

namespace {

constexpr int kHrcPixelSize = 12288;
constexpr int kHrcSize = 15360;
constexpr int kHrxSize = 15456;
constexpr int kHrxPalette = 15360;  // 16 paper entries, then 16 ink entries
constexpr uint8_t kZxLevel = 182;

double Dist(const TKvLinRGBColor& A, const TKvLinRGBColor& B) {
  const double r = A.R - B.R, g = A.G - B.G, b = A.B - B.B;
  return r * r + g * g + b * b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Options

TKvElementZXSCREngineOptions::TKvElementZXSCREngineOptions() { SetPaletteMode(pmColor); }

TKvElementZXHRCEngineOptions::TKvElementZXHRCEngineOptions() {
  SetPaletteMode(pmColor);
  SetPixelAspect(pa1_2);
}

void TKvElementZXHRXCEngineOptions::UpdatePalette() {
  if (Palette) Palette->Clear();
  HardwarePalette = TKvPaletteRGB::CreateType(ptRGB888, false);
}

// ---------------------------------------------------------------------------
// Screens

TKvElementZXHRCScreen::TKvElementZXHRCScreen(void* AData) : TKvCellScreen(512, 192, AData) {}

int TKvElementZXHRCScreen::GetAttr(int CellX, int CellY) {
  return Data[kHrcPixelSize + CellY * 64 + (MirrorX ? 63 - CellX : CellX)];
}

void TKvElementZXHRCScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[kHrcPixelSize + CellY * 64 + (MirrorX ? 63 - CellX : CellX)] = static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Cell images

std::unique_ptr<TKvBitmap> TKvElementZXCellImage::RunCells(bool* AAbort, TKvDestProgress* AProgress, int ACellHeight,
                                                           TKvPalette256& APalette,
                                                           std::unique_ptr<TKvBitmap> AResult) {
  // Every job reads the colours; their forms are filled before they start.
  CacheColors();
  APalette.UpdateCache();
  FAbort = AAbort;
  FProgress = AProgress;
  FCellHeight = ACellHeight;
  FCellsAcross = FWidth / 8;
  FCellsDown = FHeight / ACellHeight;
  FColors.clear();
  for (int i = 0; i < APalette.Count; ++i) FColors.push_back(APalette.GetLinRGB(i));
  FResult = std::move(AResult);
  FMirror = false;
  const int LCount = FCellsAcross * FCellsDown;
  if (FProgress) FProgress->SetProgress(LCount, 0);
  if (ProcessorCount < 2 || LCount < 2) {
    SolveCells(0, LCount - 1);
  } else {
    TKvJobList LJobs;
    TKvRangeSplitter LSplitter;
    LSplitter.Init(LCount, 0);
    int32_t LFirst = 0, LLast = 0;
    while (LSplitter.Next(LFirst, LLast)) new TKvElementZXCellJob(&LJobs, this, LFirst, LLast);
    LJobs.Run(AAbort);
  }
  if (Aborted(AAbort)) Abort();
  return std::move(FResult);
}

void TKvElementZXCellImage::SolveCells(int AFirst, int ALast) {
  const int n = static_cast<int>(FColors.size());
  std::vector<double> LDist(static_cast<size_t>(8 * FCellHeight * n));
  std::vector<int> LIndexes(static_cast<size_t>(8 * FCellHeight));
  for (int c = AFirst; c <= ALast; ++c) {
    if (Aborted(FAbort)) return;
    const int x0 = (c % FCellsAcross) * 8, y0 = (c / FCellsAcross) * FCellHeight;
    size_t k = 0;
    for (int y = 0; y < FCellHeight; ++y)
      for (int x = 0; x < 8; ++x) {
        const TKvLinRGBColor p = GetPixels(x0 + x, y0 + y)->GetLinRGB();
        for (int i = 0; i < n; ++i) LDist[k++] = Dist(p, FColors[static_cast<size_t>(i)]);
      }
    SolveCell(x0, y0, LDist, LIndexes);
    if (Aborted(FAbort)) return;
    PutCell(x0, y0, LIndexes);
    if (FProgress) FProgress->IncProgress();
  }
}

void TKvElementZXCellImage::PutCell(int AX, int AY, const std::vector<int>& AIndexes) {
  std::lock_guard<std::recursive_mutex> LGuard(FLock);
  size_t k = 0;
  for (int y = 0; y < FCellHeight; ++y)
    for (int x = 0; x < 8; ++x) FResult->SetPixel(AX + x, AY + y, AIndexes[k++]);
}

namespace {

// Per pixel of a cell, the least of its distances to colours A and B.
void PairMinimum(const std::vector<double>& ADist, int n, int A, int B, std::vector<double>& AMin) {
  for (size_t p = 0; p < AMin.size(); ++p) AMin[p] = std::min(ADist[p * n + A], ADist[p * n + B]);
}

double TripleError(const std::vector<double>& ADist, int n, const std::vector<double>& AMin, int C) {
  double e = 0;
  for (size_t p = 0; p < AMin.size(); ++p) e += std::min(AMin[p], ADist[p * n + C]);
  return e;
}

// Each pixel's nearest of three colours, the first on ties.
void AssignNearest(const std::vector<double>& ADist, int n, int A, int B, int C, std::vector<int>& AIndexes) {
  for (size_t p = 0; p < AIndexes.size(); ++p) {
    const double da = ADist[p * n + A], db = ADist[p * n + B], dc = ADist[p * n + C];
    AIndexes[p] = (da <= db && da <= dc) ? A : (db <= dc ? B : C);
  }
}

}  // namespace

std::unique_ptr<TKvBitmap4> TKvElementZXLayedSCRImage::ConvertCells(bool* AAbort, TKvDestProgress* AProgress,
                                                                    int ACellHeight, bool AGray,
                                                                    TKvPalette256& APalette) {
  FGray = AGray;
  auto LResult = RunCells(AAbort, AProgress, ACellHeight, APalette,
                          std::make_unique<TKvBitmap4>(FWidth, FHeight, &APalette));
  return std::unique_ptr<TKvBitmap4>(static_cast<TKvBitmap4*>(LResult.release()));
}

void TKvElementZXLayedSCRImage::SolveCell(int, int, const std::vector<double>& ADist, std::vector<int>& AIndexes) {
  const int n = static_cast<int>(FColors.size());
  if (FGray) {
    AssignNearest(ADist, n, 0, 1, 2, AIndexes);
    return;
  }
  std::vector<double> LMin(AIndexes.size());
  double LBest = 10000;
  int ba = 0, bb = 1, bc = 1;
  for (int a = 0; a <= 14; ++a)
    for (int b = a + 1; b <= (a < 8 ? 7 : 15); ++b) {
      if (Aborted(FAbort)) return;
      PairMinimum(ADist, n, a, b, LMin);
      for (int c = 1; c <= 15; ++c) {
        const double e = TripleError(ADist, n, LMin, c);
        if (e < LBest) LBest = e, ba = a, bb = b, bc = c;
      }
    }
  AssignNearest(ADist, n, ba, bb, bc, AIndexes);
}

std::unique_ptr<TKvBitmap8> TKvElementZXHRXCImage::ConvertCells(bool* AAbort, TKvDestProgress* AProgress,
                                                                TKvCellScreen* AScreen, TKvPalette256& APalette) {
  if (FWidth != 512 || FHeight != 192) RaiseInternalError();
  FScreen = AScreen;
  auto LResult =
      RunCells(AAbort, AProgress, 4, APalette, std::make_unique<TKvBitmap8>(FWidth, FHeight, &APalette));
  return std::unique_ptr<TKvBitmap8>(static_cast<TKvBitmap8*>(LResult.release()));
}

void TKvElementZXHRXCImage::SolveCell(int AX, int AY, const std::vector<double>& ADist, std::vector<int>& AIndexes) {
  const int n = static_cast<int>(FColors.size());
  // Fewer than two colours leave no pair: the one colour, paper and ink 0.
  int bi = 0, bj = 0;
  double LBest = 10000;
  for (int i = 0; i + 1 < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      if (Aborted(FAbort)) return;
      double e = 0;
      for (size_t p = 0; p < AIndexes.size(); ++p) e += std::min(ADist[p * n + i], ADist[p * n + j]);
      if (e < LBest) LBest = e, bi = i, bj = j;
    }
  for (size_t p = 0; p < AIndexes.size(); ++p)
    AIndexes[p] = bj != bi && ADist[p * n + bj] < ADist[p * n + bi] ? bj : bi;
  if (!FScreen) return;
  std::lock_guard<std::recursive_mutex> LGuard(FLock);
  size_t k = 0;
  for (int y = 0; y < FCellHeight; ++y)
    for (int x = 0; x < 8; ++x) FScreen->SetPixel(AX + x, AY + y, AIndexes[k++] == bj && bj != bi ? 1 : 0);
  FScreen->SetAttr(AX / 8, AY / FCellHeight, bj > bi ? ((bj - 1) << 4) | bi : 0);
}

void TKvElementZXLayedHRXCImage::SolveCell(int, int, const std::vector<double>& ADist, std::vector<int>& AIndexes) {
  const int n = static_cast<int>(FColors.size());
  if (n < 2) {
    std::fill(AIndexes.begin(), AIndexes.end(), 0);
    return;
  }
  std::vector<double> LMin(AIndexes.size());
  double LBest = 10000;
  int bi = 0, bk = 1, bc = 1;
  for (int i = 0; i + 1 < n; ++i)
    for (int k = i + 1; k < n; ++k) {
      if (Aborted(FAbort)) return;
      PairMinimum(ADist, n, k, i, LMin);
      for (int c = 1; c < n; ++c) {
        const double e = TripleError(ADist, n, LMin, c);
        if (e < LBest) LBest = e, bi = i, bk = k, bc = c;
      }
    }
  AssignNearest(ADist, n, bk, bi, bc, AIndexes);
}

// ---------------------------------------------------------------------------
// Panels

TKvElementZXSCREngineUI::TKvElementZXSCREngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddColorUsageSection(true);
  AddDitheringSection(false);
  // The colour usage means something only in colour.
  AddRelated(pcModeCombo, 2, pcColorUsageLabel, false);
  AddRelated(pcModeCombo, 2, pcColorUsageCombo, false);
}

TKvElementZXLayedSCREngineUI::TKvElementZXLayedSCREngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmGray, pmColor));
  AddDitheringSection(false);
}

TKvElementZXHRXCEngineUI::TKvElementZXHRXCEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmGray, pmColor));
  AddDestPalette(16, APaletteRows, true);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Attribute engines

namespace {

template <class TScreen>
std::unique_ptr<TKvCellScreen> NewScreen(uint8_t APaletteMode, TKvStreamList& AStreams, const char* AExtension,
                                         int AMonoSize, int AColorSize) {
  int size = 0;
  if (APaletteMode == pmBlackWhite)
    size = AMonoSize;
  else if (APaletteMode == pmGray || APaletteMode == pmColor)
    size = AColorSize;
  else
    RaiseInternalError();
  return std::make_unique<TScreen>(AStreams.NewStream(AExtension, size)->GetMemory());
}

std::unique_ptr<TKvBitmap> ConvertAttributes(TKvConvertArgs& AArgs, bool AHrc) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  auto screen = AHrc ? TKvElementZXHRCEngine::CreateScreen(options.PaletteMode, *AArgs.Streams)
                     : TKvElementZXSCREngine::CreateScreen(options.PaletteMode, *AArgs.Streams);
  TKvPalette256& resultPalette = *options.GetPalette();
  if (options.PaletteMode == pmBlackWhite) {
    // A dark pixel sets its bit.
    TKvImage image(AArgs.Bitmap);
    resultPalette.FillWhiteBlack();
    return image.ConvertBW(AArgs.Abort, options, screen.get(), &resultPalette, 1, 0);
  }
  TKvSpectrumZxColorImage image(8, options.GetCellHeight(), AArgs.Bitmap);
  resultPalette.FillGRB16(kZxLevel);
  if (options.PaletteMode == pmGray) return image.ConvertGray(AArgs.Abort, options, &AArgs.Progress, screen.get());
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, screen.get());
}

}  // namespace

std::unique_ptr<TKvCellScreen> TKvElementZXSCREngine::CreateScreen(uint8_t APaletteMode, TKvStreamList& AStreams) {
  return NewScreen<TKvElementZXSCRScreen>(APaletteMode, AStreams, "scr", ZxBitmapSize, ZxScreenSize);
}

std::unique_ptr<TKvCellScreen> TKvElementZXHRCEngine::CreateScreen(uint8_t APaletteMode, TKvStreamList& AStreams) {
  return NewScreen<TKvElementZXHRCScreen>(APaletteMode, AStreams, "hrc", kHrcPixelSize, kHrcSize);
}

std::unique_ptr<TKvBitmap> TKvElementZXSCREngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertAttributes(AArgs, false);
}

std::unique_ptr<TKvBitmap> TKvElementZXHRCEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertAttributes(AArgs, true);
}

// ---------------------------------------------------------------------------
// Layered attribute engines (preview only)

std::unique_ptr<TKvBitmap> TKvElementZXLayedSCREngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvElementZXLayedSCRImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& palette = *options.GetPalette();
  const bool gray = options.PaletteMode == pmGray;
  if (gray) {
    palette.FillBlackGrayWhite(kZxLevel);
    image.MakeGray();
  } else if (options.PaletteMode == pmColor) {
    palette.FillGRB16(kZxLevel);
  } else {
    RaiseOSError(87);
  }
  image.DitherToPalette(AArgs.Abort, options, palette, false);
  return image.ConvertCells(AArgs.Abort, &AArgs.Progress, options.GetCellHeight(), gray, palette);
}

// ---------------------------------------------------------------------------
// HRXC engines

namespace {

// The quantized colours of the picture (at most 17), dithered into it; the
// paper palette takes the first N - 1 and the ink palette the last N - 1.
// A single colour is entry 0 of both.
void QuantizeHrxc(bool* AAbort, TKvImage& AImage, TKvDestEngineOptions& AOptions, TKvPalette256& APaper,
                  TKvPalette256& AInk) {
  const uint8_t mode = AOptions.PaletteMode;
  if (mode != pmGray && mode != pmColor) RaiseOSError(87);
  AdjustOnce(AImage, AOptions);
  auto allColors = TKvPaletteRGB::CreateType(ptRGB888, mode == pmGray);
  if (mode == pmGray) {
    AImage.MakeGray();
    TKvDestEngine::QuantizePalette(AAbort, AImage, *allColors->GrayPalette, 17, AOptions);
  } else {
    TKvDestEngine::QuantizePalette(AAbort, AImage, *allColors, 17, AOptions);
  }
  TKvPalette256& result = *AOptions.GetPalette();
  if (result.Count == 0) result.AddRGB(0, 0, 0);
  AImage.FitToPaletteGray(result);
  AImage.DitherToPalette(AAbort, AOptions, result, false);
  APaper.Clear();
  AInk.Clear();
  if (result.Count == 1) {
    APaper.AddColor(result.Colors[0]);
    AInk.AddColor(result.Colors[0]);
    return;
  }
  for (int i = 0; i + 1 < result.Count; ++i) APaper.AddColor(result.Colors[i]);
  for (int i = 1; i < result.Count; ++i) AInk.AddColor(result.Colors[i]);
}

// The result palette: ACopies times the 16 paper entries, then the 16 ink
// entries; black where a list has fewer.
void FillPaperInk(TKvPalette256& APalette, const TKvPalette256& APaper, const TKvPalette256& AInk, int ACopies) {
  APalette.Clear();
  for (int i = 0; i < 32 * ACopies; ++i) {
    const TKvPalette256& list = i % 32 < 16 ? APaper : AInk;
    APalette.AddStdRGB(i % 16 < list.Count ? list.GetStdRGB(i % 16) : TKvStdRGBColor{0, 0, 0});
  }
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvElementZXHRXCEngine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* data = AArgs.Streams->NewStream("hrx", kHrxSize)->GetMemory();
  TKvElementZXHRXCImage image(AArgs.Bitmap);
  TKvPalette256 paper, ink;
  QuantizeHrxc(AArgs.Abort, image, AArgs.Options, paper, ink);
  TKvElementZXHRCScreen screen(data);
  TKvPalette256& resultPalette = *AArgs.Options.GetPalette();
  auto result = image.ConvertCells(AArgs.Abort, &AArgs.Progress, &screen, resultPalette);
  FillPaperInk(resultPalette, paper, ink, 1);
  // The file holds the same 32 entries as B, G, R.
  for (int i = 0; i < 32; ++i) {
    const TKvStdRGBColor c = resultPalette.GetStdRGB(i);
    uint8_t* e = data + kHrxPalette + 3 * i;
    e[0] = c.B, e[1] = c.G, e[2] = c.R;
  }
  return result;
}

std::unique_ptr<TKvBitmap> TKvElementZXLayedHRXCEngine::Convert(TKvConvertArgs& AArgs) {
  TKvElementZXLayedHRXCImage image(AArgs.Bitmap);
  TKvPalette256 paper, ink;
  QuantizeHrxc(AArgs.Abort, image, AArgs.Options, paper, ink);
  TKvPalette256& resultPalette = *AArgs.Options.GetPalette();
  auto result = image.ConvertCells(AArgs.Abort, &AArgs.Progress, nullptr, resultPalette);
  FillPaperInk(resultPalette, paper, ink, 2);
  return result;
}

const std::vector<const TKvDestEngineClass*>& ElementZXDestEngineClasses() {
  return DestEngineClasses<TKvElementZXSCREngine, TKvElementZXLayedSCREngine, TKvElementZXHRCEngine,
                           TKvElementZXLayedHRCEngine, TKvElementZXHRXCEngine, TKvElementZXLayedHRXCEngine>();
}

void InitKvSavePlatformElementZX() { RegisterDestEngines(ElementZXDestEngineClasses()); }
