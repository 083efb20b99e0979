// The converters of the "Specialist" platform: 384 x 256 in cells of 8 x 1.
// Only the black and white conversion writes a file ("sps", column by column);
// the colour conversions give a preview only.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPairCellImage.h"

constexpr int SpecialistFileSize = 12288;

// 48 columns of 256 bytes: byte c * 256 + y holds pixels 8c..8c+7 of row y,
// the leftmost in bit 7, a set bit white.
class TKvSpecialistBWScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AValue) override;
};

// Fills APalette with the colours of a palette mode: pmBlackWhite, pmGray,
// pm5Colors, pm8Colors or pmColor; any other raises.
void BuildSpecialistPalette(TKvPalette256& APalette, int APaletteMode);

// The (A on clear bits, B on set bits) candidates of a palette mode.
class TKvSpecialistColorPaletteList : public TKvCellPaletteList {
public:
  TKvSpecialistColorPaletteList(TKvPalette256& APalette, int APaletteMode);
};

// Converted without a screen: a preview only.
class TKvSpecialistColorImage : public TKvPairCellImage {
public:
  using TKvPairCellImage::TKvPairCellImage;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen*, int, int, TKvCellPalette*) override {}

  uint8_t PaletteMode = 0;
};

class TKvSpecialistEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSpecialistEngineOptions();
  TKvSize GetDefaultSize() const override { return {384, 256}; }
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

class TKvSpecialistMXEngineOptions : public TKvSpecialistEngineOptions {
public:
  TKvSpecialistMXEngineOptions();
};

// The panel, offering the palette modes AModes.
class TKvSpecialistEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvSpecialistEngineUI(TKvDestEngineOptions* AOptions,
                                 TKvPaletteModeSet AModes = PaletteModes(pmBlackWhite, pm5Colors, pm8Colors));
};

struct TKvSpecialistMXEngineUI : TKvSpecialistEngineUI {
  explicit TKvSpecialistMXEngineUI(TKvDestEngineOptions* AOptions)
      : TKvSpecialistEngineUI(AOptions, PaletteModes(pmGray, pmColor)) {}
};

// A mode AMode of the "Specialist" platform with options TOptions and panel
// TUI; TBase is the mode it extends.
template <class T, class TOptions, class TUI, TKvText AMode, class TBase = TKvDestEngine>
using TKvSpecialistEngineOf = TKvDestMode<T, TOptions, TUI, "Specialist", AMode, TBase>;

struct TKvSpecialistEngine : TKvSpecialistEngineOf<TKvSpecialistEngine, TKvSpecialistEngineOptions, TKvSpecialistEngineUI, "384x256"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// The colour modes of the MX, converted as the base mode converts them.
struct TKvSpecialistMXEngine
    : TKvSpecialistEngineOf<TKvSpecialistMXEngine, TKvSpecialistMXEngineOptions, TKvSpecialistMXEngineUI, "384x256 MX",
                            TKvSpecialistEngine> {};

void InitKvSavePlatformSpecialist();
