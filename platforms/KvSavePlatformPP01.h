// The converter of the "PP01" platform: 256 x 256 pixels in 8 fixed colours,
// written as a "01s" file of three bit planes.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformPP01.h"

// Three planes of 256 rows of 32 bytes, the leftmost pixel in bit 7: red (index
// bit 1) first, then green (bit 2), then blue (bit 0). Written only.
class TKvPP01Screen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

class TKvPP01EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvPP01EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 256}; }
};

struct TKvPP01EngineUI : TKvDestEngineUIEx { explicit TKvPP01EngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "PP01" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvPP01EngineOf = TKvDestMode<T, TOptions, TUI, "PP01", AMode>;

struct TKvPP01Engine : TKvPP01EngineOf<TKvPP01Engine, TKvPP01EngineOptions, TKvPP01EngineUI, "256x256x3"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformPP01();
