// The converters of the platform "Common", tied to no hardware: "B/W" (two
// colours), "Palette" (a chosen palette, or a subset of one) and "Original
// palette" (the source picture's own palette). None writes native files, so
// their results are saved as pictures only.
#pragma once

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvDestEngineOptions.h"

class TKvCustomBWEngineOptions : public TKvDestEngineOptions {};

class TKvCustomPaletteEngineOptions : public TKvDestEngineOptions {
public:
  TKvCustomPaletteEngineOptions();
  // The hardware palette: a copy of the picked palette for ptColored, else the
  // level-table palette of the palette kind.
  void UpdatePalette() override;
};

class TKvCustomOriginalPaletteEngineOptions : public TKvDestEngineOptions {
public:
  TKvCustomOriginalPaletteEngineOptions();
};

class TKvCustomBWEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvCustomBWEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvCustomPaletteEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvCustomPaletteEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvCustomOriginalPaletteEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvCustomOriginalPaletteEngineUI(TKvDestEngineOptions* AOptions);
  // Its own palette section: separator, check box, caption and a read-only
  // 16 x 16 strip of the result palette, arranged together.
  void AddOriginalPaletteSection();
};

class TKvCustomBWEngine
    : public TKvDestEngineWith<TKvCustomBWEngine, TKvCustomBWEngineOptions, TKvCustomBWEngineUI> {
public:
  static std::string GetPlatformName() { return "Common"; }
  static std::string GetModeName() { return "B/W"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvCustomPaletteEngine
    : public TKvDestEngineWith<TKvCustomPaletteEngine, TKvCustomPaletteEngineOptions, TKvCustomPaletteEngineUI> {
public:
  static std::string GetPlatformName() { return "Common"; }
  static std::string GetModeName() { return "Palette"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvCustomOriginalPaletteEngine
    : public TKvDestEngineWith<TKvCustomOriginalPaletteEngine, TKvCustomOriginalPaletteEngineOptions,
                               TKvCustomOriginalPaletteEngineUI> {
public:
  static std::string GetPlatformName() { return "Common"; }
  static std::string GetModeName() { return "Original palette"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// Registers B/W, Palette and Original palette, in this order.
void InitKvSavePlatformCommon();
