// The converters of the "Scorpion GMX" platform: the 640x200 screen with an
// attribute for every 8x1 cell, and the 160x200 screen whose bytes hold two
// pixels of their own colours under one bright bit. Both use the 16 ZX
// colours and write one ".c" file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platforms/KvSavePlatformZxSpectrumCommon.h"

// The options of a GMX screen AWidth x 200 pixels.
template <int AWidth, TKvPixelAspect AAspect>
class TKvScorpionGMXEngineOptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvScorpionGMXEngineOptionsOf() {
    SetPixelAspect(AAspect);
    SetPaletteType(ptColoredLinear);
  }
  TKvSize GetDefaultSize() const override { return {AWidth, 200}; }
};

// What the colour options of both modes share; the dithering kernel differs.
void SetGmxColorDefaults(TKvDestEngineOptions& AOptions, uint8_t ADitherMethod);
// The ZX colours, or their grays in the gray mode.
void UpdateGmxPalette(TKvDestEngineOptions& AOptions);

// The colour options over the screen options TBase: cells ACellWidth x 1.
template <class TBase, int ACellWidth, uint8_t ADitherMethod>
class TKvScorpionGMXColorEngineOptionsOf : public TBase {
public:
  TKvScorpionGMXColorEngineOptionsOf() { SetGmxColorDefaults(*this, ADitherMethod); }
  int32_t GetCellWidth() const override { return ACellWidth; }
  void UpdatePalette() override { UpdateGmxPalette(*this); }
};

struct TKvScorpionGMX640EngineOptions : TKvScorpionGMXEngineOptionsOf<640, pa1_2> {};
struct TKvScorpionGMX160EngineOptions : TKvScorpionGMXEngineOptionsOf<160, pa2_1> {};
struct TKvScorpionGMX640ColorEngineOptions : TKvScorpionGMXColorEngineOptionsOf<TKvScorpionGMX640EngineOptions, 8, 2> {};
struct TKvScorpionGMX160ColorEngineOptions : TKvScorpionGMXColorEngineOptionsOf<TKvScorpionGMX160EngineOptions, 2, 1> {};

// 32768 bytes: 200 pixel rows of 80 bytes from 0 (a set bit is ink), then
// one attribute per 8x1 cell at 16384 + cy*80 + cx. Unused pixel bytes stay
// 0, unused attributes 71 (bright white ink on black).
class TKvScorpionGMX640Screen : public TKvCellScreen {
public:
  explicit TKvScorpionGMX640Screen(void* AData);
  static int GetDataSize() { return 32768; }
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// 16128 bytes: the GMX header, then 200 rows of 80 bytes, each byte the
// colour of the left pixel in bits 3-5 and of the right one in bits 0-2,
// with bit 6 bright for both. Direct (black and white): every pixel is
// colour 7 or 0 under the bright bit. Otherwise the pixels only record which
// of the cell's two colours they take, and SetAttr writes the byte. Nothing
// can be read back.
class TKvScorpionGMX160Screen : public TKvCellScreen {
public:
  TKvScorpionGMX160Screen(void* AData, bool ADirect);
  static int GetDataSize() { return 16128; }
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;

private:
  bool FDirect;
  // Low nibble: the pixel in the even physical column; high: the odd one.
  uint8_t FPattern = 0;
};

// The cell image of both modes: the Spectrum cell rules on 8x1 or 2x1 cells.
class TKvScorpionGMX640ColorImage : public TKvSpectrumZxColorImage {
public:
  using TKvSpectrumZxColorImage::TKvSpectrumZxColorImage;
  std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                         TKvCellScreen* ATarget) override;
  // The attribute is written again once the cell's pixels are known: the
  // 160 screen builds its byte from them.
  void RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect,
                  TKvCellPalette* ACellPalette) override;
};

struct TKvScorpionGMXEngineUI : TKvDestEngineUIEx { explicit TKvScorpionGMXEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "Scorpion GMX" platform with options TOptions.
template <class T, class TOptions, TKvText AMode>
using TKvScorpionGMXEngineOf = TKvDestMode<T, TOptions, TKvScorpionGMXEngineUI, "Scorpion GMX", AMode>;

struct TKvScorpionGMX640Engine : TKvScorpionGMXEngineOf<TKvScorpionGMX640Engine, TKvScorpionGMX640ColorEngineOptions, "640x200x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvScorpionGMX160Engine : TKvScorpionGMXEngineOf<TKvScorpionGMX160Engine, TKvScorpionGMX160ColorEngineOptions, "160x200x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ScorpionGMXDestEngineClasses();
void InitKvSavePlatformScorpionGMX();
