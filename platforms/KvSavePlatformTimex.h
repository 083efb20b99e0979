// The converters of the "Timex" platform: the 8x1 hi-colour screen, its
// interlaced form, and the 512-pixel-wide screen in one colour pair, single
// and as two alternating frames.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platforms/KvSavePlatformZxSpectrumCommon.h"

// The hi-colour screen: the Spectrum bitmap, then one attribute per 8x1 cell.
using TKvTimexExtendedScreen = TKvZxRowAttrScreen<TKvZxSpectrumColorScreen>;

// 512x192: even 8-pixel columns in the first 6144 bytes, odd ones in the
// next; a set bit is dark. The byte after them stays 0.
class TKvTimexMonoScreen : public TKvScreen1 {
public:
  explicit TKvTimexMonoScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// Two 512x192 images of 12289 bytes, at 0 and 12289: the pixel value is
// 2 * (light in frame 1) + (light in frame 2).
class TKvTimexMono2Screen : public TKvScreen2 {
public:
  explicit TKvTimexMono2Screen(void* AData);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AColor) override;
};

class TKvTimexMonoEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTimexMonoEngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 192}; }
};

class TKvTimexMono2EngineOptions : public TKvTimexMonoEngineOptions {
public:
  void UpdatePalette() override;
};

// The two sRGB colours of each numbered pair 1..4.
extern const TKvStdRGBColor TimexColorPairs[4][2];

// The mixtures of colour pair APair1 in one frame with APair2 in the other;
// nothing when either is 0. A mixture whose frames differ in gray by more
// than AMaxFlicker percent is flagged, or left out with AUnique.
void BuildTimexFlickerPalette(int APair1, int APair2, int AMaxFlicker, TKvPalette256& APalette, bool AUnique);

// Both 512-pixel modes: the position and the dithering.
struct TKvTimexMonoEngineUI : TKvDestEngineUIEx { explicit TKvTimexMonoEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "Timex" platform with options TOptions and panel TUI;
// TBase is the ZX Spectrum mode it extends, if any.
template <class T, class TOptions, class TUI, TKvText AMode, class TBase = TKvDestEngine>
using TKvTimexEngineOf = TKvDestMode<T, TOptions, TUI, "Timex", AMode, TBase>;

// The hi-colour modes: the ZX Spectrum 8x1 multicolour modes on the Timex
// screen.
struct TKvTimexExtendedEngine
    : TKvTimexEngineOf<TKvTimexExtendedEngine, TKvZxSpectrumMultiColor1EngineOptions, TKvZxSpectrumMultiColorEngineUI,
                       "256x192x4", TKvZxSpectrumMultiColor1Engine> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};
struct TKvTimexExtendedInterlacedEngine
    : TKvTimexEngineOf<TKvTimexExtendedInterlacedEngine, TKvZxSpectrumMultiColor1EngineInterlacedOptions,
                       TKvZxSpectrumMultiColorEngineUI, "256x384x4 Interlaced",
                       TKvZxSpectrumMultiColor1InterlacedEngine> {};

struct TKvTimexMonoEngine : TKvTimexEngineOf<TKvTimexMonoEngine, TKvTimexMonoEngineOptions, TKvTimexMonoEngineUI, "512x192x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};
struct TKvTimexMono2Engine : TKvTimexEngineOf<TKvTimexMono2Engine, TKvTimexMono2EngineOptions, TKvTimexMonoEngineUI, "512x192x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// The modes of the "Timex" platform in list order.
const std::vector<const TKvDestEngineClass*>& TimexDestEngineClasses();
void InitKvSavePlatformTimex();
