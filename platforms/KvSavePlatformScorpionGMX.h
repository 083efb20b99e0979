// The converters of the "Scorpion GMX" platform: the 640x200 screen with an
// attribute for every 8x1 cell, and the 160x200 screen whose bytes hold two
// pixels of their own colours under one bright bit. Both use the 16 ZX
// colours and write one ".c" file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platforms/KvSavePlatformZxSpectrumCommon.h"

class TKvScorpionGMX640EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvScorpionGMX640EngineOptions();
  TKvSize GetDefaultSize() const override { return {640, 200}; }
};

class TKvScorpionGMX640ColorEngineOptions : public TKvScorpionGMX640EngineOptions {
public:
  TKvScorpionGMX640ColorEngineOptions();
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

class TKvScorpionGMX160EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvScorpionGMX160EngineOptions();
  TKvSize GetDefaultSize() const override { return {160, 200}; }
};

class TKvScorpionGMX160ColorEngineOptions : public TKvScorpionGMX160EngineOptions {
public:
  TKvScorpionGMX160ColorEngineOptions();
  int32_t GetCellWidth() const override { return 2; }
  void UpdatePalette() override;
};

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

class TKvScorpionGMXEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvScorpionGMXEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvScorpionGMX640Engine
    : public TKvDestEngineWith<TKvScorpionGMX640Engine, TKvScorpionGMX640ColorEngineOptions, TKvScorpionGMXEngineUI> {
public:
  static std::string GetPlatformName() { return "Scorpion GMX"; }
  static std::string GetModeName() { return "640x200x4"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvScorpionGMX160Engine
    : public TKvDestEngineWith<TKvScorpionGMX160Engine, TKvScorpionGMX160ColorEngineOptions, TKvScorpionGMXEngineUI> {
public:
  static std::string GetPlatformName() { return "Scorpion GMX"; }
  static std::string GetModeName() { return "160x200x4"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ScorpionGMXDestEngineClasses();
void InitKvSavePlatformScorpionGMX();
