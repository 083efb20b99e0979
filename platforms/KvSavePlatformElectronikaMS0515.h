// The converters of the "Elektronika MC 0515" platform: a 320 x 200 screen in
// 8x1 cells of two colours out of 16, and a 640 x 200 black-and-white screen.
// Both write one 16000-byte "scr" file.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

constexpr int MS0515ScreenSize = 16000;

// The colour file: per row 40 cells of a pixel byte (bit 7 leftmost, set =
// ink) and an attribute byte (ink bits 0-2, paper bits 3-5, bit 6 bright).
// Made over the stream's memory, which it fills with 0x47 (bright white on
// black).
class TKvMS0515Screen : public TKvCellScreen {
public:
  explicit TKvMS0515Screen(void* AData);
  static int GetDataSize() { return MS0515ScreenSize; }
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AValue) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;

private:
  int MCX(int CellX) const { return MirrorX ? 39 - CellX : CellX; }
};

// The (paper, ink) pairs of the candidate lists: 5 gray pairs, then 72 colour
// pairs (dark singles, dark pairs, bright singles, bright pairs).
struct TKvMS0515CellPair {
  uint8_t A;  // paper
  uint8_t B;  // ink
};
extern const TKvMS0515CellPair MS0515GrayPairs[5];
extern const TKvMS0515CellPair MS0515CellPairs[72];

class TKvMS0515GrayPaletteList : public TKvCellPaletteList {
public:
  explicit TKvMS0515GrayPaletteList(TKvPalette256& APalette);
};

// The colour pairs AFirst..ALast of the table.
class TKvMS0515ColorPaletteList : public TKvCellPaletteList {
public:
  TKvMS0515ColorPaletteList(TKvPalette256& APalette, int AFirst, int ALast);
};

// The cell conversion: attributes, preview and pixels as on the ZX Spectrum,
// with this machine's pairs; the colour usage picks the dark pairs, the
// bright ones or both.
class TKvMS0515ColorImage : public TKvSpectrumZxColorImage {
public:
  using TKvSpectrumZxColorImage::TKvSpectrumZxColorImage;
  std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                         TKvCellScreen* ATarget) override;
  TKvCellPaletteList* CreatePaletteList() override;
};

// The 320 x 200 colour screen and the 640 x 200 black-and-white one.
template <int AWidth>
class TKvMS0515OptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {AWidth, 200}; }
};

class TKvMS0515EngineOptions : public TKvMS0515OptionsOf<320> {
public:
  TKvMS0515EngineOptions();
  int32_t GetCellWidth() const override { return 8; }
};

struct TKvMS0515HiResolutionEngineOptions : TKvMS0515OptionsOf<640> { TKvMS0515HiResolutionEngineOptions(); };

struct TKvMS0515EngineUI : TKvDestEngineUIEx { explicit TKvMS0515EngineUI(TKvDestEngineOptions* AOptions); };
struct TKvMS0515HiResolutionEngineUI : TKvDestEngineUIEx { explicit TKvMS0515HiResolutionEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "Elektronika MC 0515" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvMS0515EngineOf = TKvDestMode<T, TOptions, TUI, "Elektronika MC 0515", AMode>;

struct TKvMS0515Engine : TKvMS0515EngineOf<TKvMS0515Engine, TKvMS0515EngineOptions, TKvMS0515EngineUI, "320x200x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvMS0515HiResolutionEngine
    : TKvMS0515EngineOf<TKvMS0515HiResolutionEngine, TKvMS0515HiResolutionEngineOptions, TKvMS0515HiResolutionEngineUI, "640x200x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformElectronikaMS0515();
