// The converters of the "Irisha" platform: black and white screens of 320 x 200
// and 640 x 200, each written as a plain 1-bit "pic" bitmap.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

// Rows top-down, the leftmost pixel in bit 7, a set bit white.
class TKvIrishaScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
};

// The options of the AWidth x 200 screen, whose pixels have the aspect AAspect.
template <int AWidth, TKvPixelAspect AAspect>
class TKvIrishaEngineOptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvIrishaEngineOptionsOf() {
    SetPixelAspect(AAspect);
    SetErrorDiffusion(100);
  }
  TKvSize GetDefaultSize() const override { return {AWidth, 200}; }
};

// The panel: position with the pixel aspects AAspects, then dithering.
template <TKvPixelAspectSet AAspects>
class TKvIrishaEngineUIOf : public TKvDestEngineUIEx {
public:
  explicit TKvIrishaEngineUIOf(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
    AddPositionSection(AAspects);
    AddDitheringSection(false);
  }
};

// The black and white conversion into a "pic" file of AWidth x 200 pixels.
std::unique_ptr<TKvBitmap> ConvertIrisha(TKvConvertArgs& AArgs, int AWidth);

// The mode AMode of the "Irisha" platform, AWidth x 200 pixels.
template <class T, class TOptions, class TUI, int AWidth, TKvText AMode>
struct TKvIrishaEngineOf : TKvDestMode<T, TOptions, TUI, "Irisha", AMode> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return ConvertIrisha(AArgs, AWidth); }
};

struct TKvIrisha320EngineOptions : TKvIrishaEngineOptionsOf<320, pa1_1p2> {};
struct TKvIrisha640EngineOptions : TKvIrishaEngineOptionsOf<640, pa1_2p4> {};

struct TKvIrisha320EngineUI : TKvIrishaEngineUIOf<PixelAspects(pa1_1p2, pa1_1)> { using TKvIrishaEngineUIOf::TKvIrishaEngineUIOf; };
struct TKvIrisha640EngineUI : TKvIrishaEngineUIOf<PixelAspects(pa1_2p4, pa1_2, pa1_1)> { using TKvIrishaEngineUIOf::TKvIrishaEngineUIOf; };

struct TKvIrisha320Engine : TKvIrishaEngineOf<TKvIrisha320Engine, TKvIrisha320EngineOptions, TKvIrisha320EngineUI, 320, "320x200x1"> {};
struct TKvIrisha640Engine : TKvIrishaEngineOf<TKvIrisha640Engine, TKvIrisha640EngineOptions, TKvIrisha640EngineUI, 640, "640x200x1"> {};

void InitKvSavePlatformIrisha();
