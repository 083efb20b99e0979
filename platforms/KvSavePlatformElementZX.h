// The converters of the "eLeMeNt ZX" platform: the standard attribute
// screen (".scr"), the 512x192 screen of 8x4 attribute cells (".hrc"), the
// same screen whose cells take a paper and an ink from two palettes of 16
// free colours (".hrx"), and three layered previews of these modes whose
// cells hold three colours.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/KvImage.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

// The options of a screen AWidth x 192 of 8 x ACellHeight attribute cells.
template <int AWidth, int ACellHeight>
class TKvElementZXEngineOptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {AWidth, 192}; }
  int32_t GetCellWidth() const override { return 8; }
  int32_t GetCellHeight() const override { return ACellHeight; }
};

struct TKvElementZXSCREngineOptions : TKvElementZXEngineOptionsOf<256, 8> { TKvElementZXSCREngineOptions(); };
struct TKvElementZXHRCEngineOptions : TKvElementZXEngineOptionsOf<512, 4> { TKvElementZXHRCEngineOptions(); };

class TKvElementZXHRXCEngineOptions : public TKvElementZXHRCEngineOptions {
public:
  // The result palette is quantized by every conversion; the hardware
  // palette is every 24-bit colour.
  void UpdatePalette() override;
};

// The standard screen layout.
class TKvElementZXSCRScreen : public TKvZxSpectrumColorScreen {
public:
  using TKvZxSpectrumColorScreen::TKvZxSpectrumColorScreen;
};

// 512x192 in plain rows of 64 bytes, then one attribute per 8x4 cell at
// 12288 + cy*64 + cx.
class TKvElementZXHRCScreen : public TKvCellScreen {
public:
  explicit TKvElementZXHRCScreen(void* AData);
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// What the three cell solvers share: the picture's and the palette's linear
// colours, read by all jobs, and the cells spread over the job runner.
class TKvElementZXCellImage : public TKvImage {
public:
  using TKvImage::TKvImage;
  // Solves cells AFirst..ALast (row-major); the job body.
  void SolveCells(int AFirst, int ALast);

protected:
  // Caches the colours, makes the result bitmap, solves every cell and
  // returns the result.
  std::unique_ptr<TKvBitmap> RunCells(bool* AAbort, TKvDestProgress* AProgress, int ACellHeight,
                                      TKvPalette256& APalette, std::unique_ptr<TKvBitmap> AResult);
  // Solves the cell whose top-left pixel is (AX, AY): ADist holds each of
  // its pixels' squared distances to the palette's colours (pixel-major,
  // FColors.size() per pixel); AIndexes receives each pixel's index.
  virtual void SolveCell(int AX, int AY, const std::vector<double>& ADist, std::vector<int>& AIndexes) = 0;
  // Writes a solved cell's indexes to the result under the lock.
  void PutCell(int AX, int AY, const std::vector<int>& AIndexes);

  bool* FAbort = nullptr;
  TKvDestProgress* FProgress = nullptr;
  int FCellsAcross = 0;
  int FCellsDown = 0;
  int FCellHeight = 8;
  std::vector<TKvLinRGBColor> FColors;
  std::unique_ptr<TKvBitmap> FResult;
  std::recursive_mutex FLock;
};

class TKvElementZXCellJob : public TKvJob {
public:
  TKvElementZXCellJob(TKvJobList* AList, TKvElementZXCellImage* AImage, int AFirst, int ALast)
      : TKvJob(AList), FImage(AImage), FFirst(AFirst), FLast(ALast) {}
  void Execute() override { FImage->SolveCells(FFirst, FLast); }

private:
  TKvElementZXCellImage* FImage;
  int FFirst;
  int FLast;
};
using TKvElementZXLayedSCRImageeJob = TKvElementZXCellJob;
using TKvElementZXHRXCImageJob = TKvElementZXCellJob;
using TKvElementZXLayedHRXCImageJob = TKvElementZXCellJob;

// Three colours a cell: two of one brightness half and a third of any.
class TKvElementZXLayedSCRImage : public TKvElementZXCellImage {
public:
  using TKvElementZXCellImage::TKvElementZXCellImage;
  // AGray: the three fixed colours 0, 1, 2, each pixel its nearest.
  std::unique_ptr<TKvBitmap4> ConvertCells(bool* AAbort, TKvDestProgress* AProgress, int ACellHeight, bool AGray,
                                           TKvPalette256& APalette);

protected:
  void SolveCell(int AX, int AY, const std::vector<double>& ADist, std::vector<int>& AIndexes) override;

private:
  bool FGray = false;
};

// Two of the N quantized colours a cell: a paper i and an ink j > i.
class TKvElementZXHRXCImage : public TKvElementZXCellImage {
public:
  using TKvElementZXCellImage::TKvElementZXCellImage;
  // The picture must be 512x192. AScreen (may be nil) receives the pixel
  // bits and the attributes (ink j - 1 in the high nibble, paper i in the
  // low one).
  std::unique_ptr<TKvBitmap8> ConvertCells(bool* AAbort, TKvDestProgress* AProgress, TKvCellScreen* AScreen,
                                           TKvPalette256& APalette);

protected:
  void SolveCell(int AX, int AY, const std::vector<double>& ADist, std::vector<int>& AIndexes) override;
  TKvCellScreen* FScreen = nullptr;
};

// Three of the N quantized colours a cell.
class TKvElementZXLayedHRXCImage : public TKvElementZXHRXCImage {
public:
  using TKvElementZXHRXCImage::TKvElementZXHRXCImage;

protected:
  void SolveCell(int AX, int AY, const std::vector<double>& ADist, std::vector<int>& AIndexes) override;
};

struct TKvElementZXSCREngineUI : TKvDestEngineUIEx { explicit TKvElementZXSCREngineUI(TKvDestEngineOptions* AOptions); };
struct TKvElementZXLayedSCREngineUI : TKvDestEngineUIEx { explicit TKvElementZXLayedSCREngineUI(TKvDestEngineOptions* AOptions); };

struct TKvElementZXHRXCEngineUI : TKvDestEngineUIEx {
  explicit TKvElementZXHRXCEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows = 2);
};

struct TKvElementZXLayedHRXCEngineUI : TKvElementZXHRXCEngineUI {
  explicit TKvElementZXLayedHRXCEngineUI(TKvDestEngineOptions* AOptions) : TKvElementZXHRXCEngineUI(AOptions, 4) {}
};

// A mode AMode of the "eLeMeNt ZX" platform with options TOptions and panel
// TUI; TBase is the mode it extends.
template <class T, class TOptions, class TUI, TKvText AMode, class TBase = TKvDestEngine>
using TKvElementZXEngineOf = TKvDestMode<T, TOptions, TUI, "eLeMeNt ZX", AMode, TBase>;

struct TKvElementZXSCREngine : TKvElementZXEngineOf<TKvElementZXSCREngine, TKvElementZXSCREngineOptions, TKvElementZXSCREngineUI, "256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
  // Adds the zero-filled ".scr" stream of the palette mode (6144 bytes in
  // black and white, else 6912) and returns a screen over it; other modes
  // raise "Internal error".
  static std::unique_ptr<TKvCellScreen> CreateScreen(uint8_t APaletteMode, TKvStreamList& AStreams);
};

struct TKvElementZXLayedSCREngine : TKvElementZXEngineOf<TKvElementZXLayedSCREngine, TKvElementZXSCREngineOptions, TKvElementZXLayedSCREngineUI, "256x192x4 Layed", TKvElementZXSCREngine> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElementZXHRCEngine : TKvElementZXEngineOf<TKvElementZXHRCEngine, TKvElementZXHRCEngineOptions, TKvElementZXSCREngineUI, "512x192x4 HRC", TKvElementZXSCREngine> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
  // ".hrc" of 12288 bytes in black and white, else 15360.
  static std::unique_ptr<TKvCellScreen> CreateScreen(uint8_t APaletteMode, TKvStreamList& AStreams);
};

// The layered conversion at the HRC size.
struct TKvElementZXLayedHRCEngine : TKvElementZXEngineOf<TKvElementZXLayedHRCEngine, TKvElementZXHRCEngineOptions, TKvElementZXLayedSCREngineUI, "512x192x4 HRC Layer", TKvElementZXLayedSCREngine> {};

struct TKvElementZXHRXCEngine : TKvElementZXEngineOf<TKvElementZXHRXCEngine, TKvElementZXHRXCEngineOptions, TKvElementZXHRXCEngineUI, "512x192x4 HRXC"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElementZXLayedHRXCEngine : TKvElementZXEngineOf<TKvElementZXLayedHRXCEngine, TKvElementZXHRXCEngineOptions, TKvElementZXLayedHRXCEngineUI, "512x192x4 HRXC Layed"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ElementZXDestEngineClasses();
void InitKvSavePlatformElementZX();
