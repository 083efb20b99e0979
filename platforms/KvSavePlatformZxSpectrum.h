// The converters of the "ZX Spectrum" platform: the standard attribute
// screen (with its black-and-white form), the 8x2 multicolour screen and the
// three-bitmap tricolour screen, and the platform's ordered mode list.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/KvImage.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

struct TKvZxSpectrumColorEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumColorEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvZxSpectrumEngine : TKvZxSpectrumEngineOf<TKvZxSpectrumEngine, TKvZxSpectrumColorEngineOptions, TKvZxSpectrumColorEngineUI, "256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvZxSpectrumMultiColor2EngineOptions : public TKvZxSpectrumMultiColor1EngineOptions {
public:
  int32_t GetCellHeight() const override { return 2; }
};

struct TKvZxSpectrumMultiColor2Engine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiColor2Engine, TKvZxSpectrumMultiColor2EngineOptions,
                            TKvZxSpectrumMultiColorEngineUI, "256x192x4 Multicolor 8x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// Tricolour: three bitmaps, red, green and blue, shown in turn.

class TKvZxSpectrumTricolorEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumTricolorEngineOptions();
  int32_t GetCellWidth() const override { return 1; }
  int32_t GetCellHeight() const override { return 1; }
  void UpdatePalette() override;
};

// 18432 bytes: red plane (index bit 1), green plane (bit 2), blue plane
// (bit 0), each in the Spectrum bitmap layout.
class TKvZxSpectrumTricolorScreen : public TKvScreen4 {
public:
  explicit TKvZxSpectrumTricolorScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

class TKvZxSpectrumTricolorImage : public TKvImage {
public:
  using TKvImage::TKvImage;
  std::unique_ptr<TKvBitmap> ConvertTricolor(bool* AAbort, TKvDestEngineOptions& AOptions,
                                             TKvZxSpectrumTricolorScreen* ATarget);
};

struct TKvZxSpectrumTricolorEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumTricolorEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvZxSpectrumTricolorEngine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumTricolorEngine, TKvZxSpectrumTricolorEngineOptions,
                            TKvZxSpectrumTricolorEngineUI, "256x192x3 Tricolor"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// Interlaced: two screens shown in turn, the first with the even picture
// rows and the second with the odd ones; 13824 bytes filled with 0x47 first.

class TKvZxSpectrumInterlacedEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumInterlacedEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 384}; }
  int32_t GetCellHeight() const override { return 16; }
  void UpdatePalette() override;
};

// 256x384: row b is row b div 2 of screen b mod 2. An attribute is written to
// both screens and read from the first.
class TKvZxSpectrumInterlacedScreen : public TKvZxSpectrumColorScreen {
public:
  explicit TKvZxSpectrumInterlacedScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// Separate attributes: cell rows 0..23 of the first screen, 24..47 of the
// second.
class TKvZxSpectrumGigaInterlacedScreen : public TKvZxSpectrumInterlacedScreen {
public:
  using TKvZxSpectrumInterlacedScreen::TKvZxSpectrumInterlacedScreen;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// A 256x192 picture solved as gigascreen cells whose two frames become the
// even and the odd rows of a 256x384 interlaced picture. GigaStyle 0
// "Lines" orders each cell's frames after its neighbours, 1 "Chessboard"
// gives both frames one attribute, 2 "Mixed" does both.
class TKvZxSpectrumGigaInterlacedImage : public TKvZxSpectrumGigascreenImage {
public:
  using TKvZxSpectrumGigascreenImage::TKvZxSpectrumGigascreenImage;
  // ATarget: the interlaced screen. The result is 512x384, each pixel
  // doubled in width.
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  void Prepare() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect,
                  TKvCellPalette* ACellPalette) override;

  using TMeasures = double[64];
  // The measures of a cell as written: per frame row its gray sum, its edge
  // pixels' grays, and the grays of the cell's first and last screen rows.
  void MeasureCell(TKvCellScreen* ATarget, int ACellX, int ACellY, TMeasures& AMeasures);
  // 1: keep the frames, 2: exchange them (0: undecided, above only).
  static int CompareWithLeft(const TMeasures& T, const TMeasures& O);
  static int CompareWithUpper(const TMeasures& T, const TMeasures& O);
  void SwapCellFrames(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY);

  uint8_t GigaStyle = 0;

private:
  void NormalizeInterlacedCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY,
                               const TRect& ARect);
};

class TKvZxSpectrumInterlacedEngineUI : public TKvZxSpectrumColorEngineUI {
public:
  using TKvZxSpectrumColorEngineUI::TKvZxSpectrumColorEngineUI;
};
struct TKvZxSpectrumGigaInterlacedEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumGigaInterlacedEngineUI(TKvDestEngineOptions* AOptions); };

// ---------------------------------------------------------------------------
// Gigascreen: two frames shown in turn.

class TKvZxSpectrumGigascreenEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumGigascreenEngineOptions();
  void UpdatePalette() override;
};
// The gigascreen settings, shown over the 16 colours.
class TKvZxSpectrumGigaInterlacedEngineOptions : public TKvZxSpectrumGigascreenEngineOptions {
public:
  void UpdatePalette() override;
};
class TKvZxSpectrumMultiGigascreen4EngineOptions : public TKvZxSpectrumGigascreenEngineOptions {
public:
  int32_t GetCellHeight() const override { return 4; }
};
class TKvZxSpectrumMultiGigascreen2EngineOptions : public TKvZxSpectrumGigascreenEngineOptions {
public:
  int32_t GetCellHeight() const override { return 2; }
};
class TKvZxSpectrumMultiGigascreen1EngineOptions : public TKvZxSpectrumGigascreenEngineOptions {
public:
  TKvZxSpectrumMultiGigascreen1EngineOptions();
  int32_t GetCellHeight() const override { return 1; }
};
class TKvZxSpectrumBWGigascreenEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumBWGigascreenEngineOptions();
};

// An MGH file: the 256-byte header, both bitmaps, then the attributes of
// frame 1 and of frame 2, one row of 32 per ACellHeight pixel rows.
class TKvZxSpectrumMultiGigascreenScreen : public TKvZxSpectrumGigascreenScreen {
public:
  // Writes the header; the border is the normal unmixed colour nearest to
  // ABorderColor ($00RRGGBB).
  TKvZxSpectrumMultiGigascreenScreen(void* AData, int ACellHeight, TKvPalette256& AMixPalette,
                                     int32_t ABorderColor);
  void CopyFrom(TKvZxSpectrumGigascreenScreen& AScreen);
  int AttrCount;
};

// "mg1": one attribute per pixel row in the middle 16 columns and one per
// 8x8 cell in the 8 columns at each side. Cell rows count pixel rows in the
// middle and character rows at the sides.
class TKvZxSpectrumMultiGigascreen1Screen : public TKvZxSpectrumMultiGigascreenScreen {
public:
  using TKvZxSpectrumMultiGigascreenScreen::TKvZxSpectrumMultiGigascreenScreen;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
  int GetAttr2(int CellX, int CellY) override;
  void SetAttr2(int CellX, int CellY, int AAttr) override;

private:
  int AttrOffset(int ABlock, int CellX, int CellY) const;
};

// The 8x1 gigascreen image: each character row solves its 8 left cells as
// 8x8 cells, then the 16 middle cells row by row as 8x1 cells, then the 8
// right cells as 8x8 cells.
class TKvZxSpectrumMultiGigascreen1Image : public TKvZxSpectrumGigascreenImage {
public:
  using TKvZxSpectrumGigascreenImage::TKvZxSpectrumGigascreenImage;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;

protected:
  void WalkCells(TKvBitmap* AResult, TKvCellScreen* ATarget) override;
  void DiffuseRenderError(int X, int Y, const TKvLinRGBColor& AError) override;

private:
  // The place of scan pixel (X, Y)'s cell in the solving order.
  int64_t CellOrder(int X, int Y) const;
  int64_t FCurrentOrder = 0;
};

// 12288 bytes: two bitmaps of dark set bits; pixel value bit 0 is the light
// of the first bitmap, bit 1 that of the second.
class TKvZxSpectrumBWGigascreenScreen : public TKvScreen2 {
public:
  explicit TKvZxSpectrumBWGigascreenScreen(void* AData);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AColor) override;
};

struct TKvZxSpectrumGigascreenEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumGigascreenEngineUI(TKvDestEngineOptions* AOptions); };
struct TKvZxSpectrumBWGigascreenEngineUI : TKvDestEngineUIEx { explicit TKvZxSpectrumBWGigascreenEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvZxSpectrumInterlacedEngine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumInterlacedEngine, TKvZxSpectrumInterlacedEngineOptions,
                            TKvZxSpectrumInterlacedEngineUI, "256x384x4 Interlaced v1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumGigaInterlacedEngine1
    : TKvZxSpectrumEngineOf<TKvZxSpectrumGigaInterlacedEngine1, TKvZxSpectrumGigaInterlacedEngineOptions,
                            TKvZxSpectrumGigaInterlacedEngineUI, "256x384x4 Interlaced v2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumBWGigascreenEngine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumBWGigascreenEngine, TKvZxSpectrumBWGigascreenEngineOptions,
                            TKvZxSpectrumBWGigascreenEngineUI, "256x192x4 B/W Giga"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumGigascreenEngine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumGigascreenEngine, TKvZxSpectrumGigascreenEngineOptions,
                            TKvZxSpectrumGigascreenEngineUI, "256x192x4 Giga"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumMultiGigascreen4Engine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiGigascreen4Engine, TKvZxSpectrumMultiGigascreen4EngineOptions,
                            TKvZxSpectrumGigascreenEngineUI, "256x192x4 MultiGiga 8x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumMultiGigascreen2Engine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiGigascreen2Engine, TKvZxSpectrumMultiGigascreen2EngineOptions,
                            TKvZxSpectrumGigascreenEngineUI, "256x192x4 MultiGiga 8x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvZxSpectrumMultiGigascreen1Engine
    : TKvZxSpectrumEngineOf<TKvZxSpectrumMultiGigascreen1Engine, TKvZxSpectrumMultiGigascreen1EngineOptions,
                            TKvZxSpectrumGigascreenEngineUI, "256x192x4 MultiGiga 8x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// The modes of the "ZX Spectrum" platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxSpectrumDestEngineClasses();
// Unit start-up: registers them in that order.
void InitKvSavePlatformZxSpectrum();
