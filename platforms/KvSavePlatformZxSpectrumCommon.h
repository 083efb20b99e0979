// What the ZX Spectrum family converters share for the classic attribute
// screen: the 256x192 options with 8x8 cells, the 6912-byte screen in the
// Spectrum memory layout, the candidate ink/paper pairs of one attribute
// cell, the colour image that solves a picture cell by cell under the
// Spectrum rules, and the 8x1 multicolour engines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"

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
  int MCX(int CellX) const { return MirrorX ? 31 - CellX : CellX; }
  uint8_t* BitmapByte(int X, int Y);
};

// The (paper, ink) pairs from which the candidate lists are made.
struct TZxCellPair {
  uint8_t First;   // paper
  uint8_t Second;  // ink
};
constexpr int ZxCellPairCount = 83;
extern const TZxCellPair ZxCellPairTable[ZxCellPairCount];

// Candidates of a Spectrum cell: both colours normal or both bright.
// AColorUsage 1 or 2: normal pairs only; 3: bright only; else both.
class TKvZxSpectrumColorPaletteList : public TKvCellPaletteList {
public:
  TKvZxSpectrumColorPaletteList(uint8_t AColorUsage, TKvPalette256& APalette);
};
// Black, black/white, white, bright black/bright white, bright white.
class TKvZxSpectrumGrayPaletteList : public TKvCellPaletteList {
public:
  TKvZxSpectrumGrayPaletteList(uint8_t AColorUsage, TKvPalette256& APalette);
};
// Ink and paper each with its own bright bit: every single and every pair of
// the 16 colours.
class TKvZxSpectrumColorNoFlashPaletteList : public TKvCellPaletteList {
public:
  explicit TKvZxSpectrumColorNoFlashPaletteList(TKvPalette256& APalette);
};
class TKvZxSpectrumGrayNoFlashPaletteList : public TKvCellPaletteList {
public:
  explicit TKvZxSpectrumGrayNoFlashPaletteList(TKvPalette256& APalette);
};

// The Spectrum cell image. ColorUsage: 0 "Dark and bright", 1 "Dark only",
// 2 "Dark only but force set bright bit", 3 "Bright only".
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

// ---------------------------------------------------------------------------
// Multicolour: one attribute per 8x1 cell.

class TKvZxSpectrumMultiColor1EngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumMultiColor1EngineOptions();
  int32_t GetCellHeight() const override { return 1; }
  void UpdatePalette() override;
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

class TKvZxSpectrumMultiColorEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvZxSpectrumMultiColorEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvZxSpectrumMultiColor1Engine : public TKvDestEngineOf<TKvZxSpectrumMultiColor1Engine> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum"; }
  static std::string GetModeName() { return "256x192x4 Multicolor 8x1"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvZxSpectrumMultiColor1InterlacedEngine : public TKvDestEngineOf<TKvZxSpectrumMultiColor1InterlacedEngine> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum"; }
  static std::string GetModeName() { return "256x192x4 Multicolor 8x1 Interlaced"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};
