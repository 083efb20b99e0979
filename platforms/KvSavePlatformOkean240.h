// The converters of the "Okean-240" platform: a 256x256 four-colour screen
// with one of 7 fixed palettes ("Auto" tries them all), that screen shown in
// two alternating frames, and the 512x256 black-and-white screen, single and
// in two frames.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvFourColorPlatform.h"

// Screens over memory the caller provides (an output stream's data, zeroed),
// organised in columns of 8 pixels (see KvPlatformOkean240.h).
// Colour screen, then the stored palette number.
class TKvOkean1Screen : public TKvScreen2 {
public:
  TKvOkean1Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber);
  static int GetDataSize(int, int) { return 16385; }
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

// Frame A's colour screen, frame B's, then the stored number once; a mixture
// c shows c / 4 in frame A and c mod 4 in frame B.
class TKvOkean2Screen : public TKvScreen2 {
public:
  TKvOkean2Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber);
  static int GetDataSize(int, int) { return 32769; }
  void SetPixel(int X, int Y, int AValue) override;
};

// 512x256; a set bit is white.
class TKvOkeanMonoScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  static int GetDataSize(int, int) { return 16384; }
  void SetPixel(int X, int Y, int AValue) override;
};

// Two mono screens: bit 0 of level c in the first, bit 1 in the second. The
// black-and-white flicker gives the first frame in bit 1, so the file holds
// the second frame first.
class TKvOkeanMono2Screen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  static int GetDataSize(int, int) { return 32768; }
  void SetPixel(int X, int Y, int AValue) override;
};

// The palettes of the colour modes.
extern const TKvFourColorPalettes OkeanFourColorPalettes;

struct TKvOkean1EngineOptions : TKvFourColorModeOptions<OkeanFourColorPalettes, false> {};
struct TKvOkean2EngineOptions : TKvFourColorModeOptions<OkeanFourColorPalettes, true> {};
struct TKvOkeanMonoEngineOptions : TKvFourColorMonoEngineOptions {};

struct TKvOkean1EngineUI : TKvFourColorModeUI<OkeanFourColorPalettes, false> { using TKvFourColorModeUI::TKvFourColorModeUI; };
struct TKvOkean2EngineUI : TKvFourColorModeUI<OkeanFourColorPalettes, true> { using TKvFourColorModeUI::TKvFourColorModeUI; };
struct TKvOkeanMonoUI : TKvFourColorMonoEngineUI { using TKvFourColorMonoEngineUI::TKvFourColorMonoEngineUI; };

// A mode AMode of the "Okean-240" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvOkeanEngineOf = TKvDestMode<T, TOptions, TUI, "Okean-240", AMode>;

struct TKvOkean1Engine : TKvOkeanEngineOf<TKvOkean1Engine, TKvOkean1EngineOptions, TKvOkean1EngineUI, "256x256x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvOkean2Engine : TKvOkeanEngineOf<TKvOkean2Engine, TKvOkean2EngineOptions, TKvOkean2EngineUI, "256x256x4 Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvOkeanMonoEngine : TKvOkeanEngineOf<TKvOkeanMonoEngine, TKvOkeanMonoEngineOptions, TKvOkeanMonoUI, "512x256x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvOkeanMono2Engine : TKvOkeanEngineOf<TKvOkeanMono2Engine, TKvOkeanMonoEngineOptions, TKvOkeanMonoUI, "512x256x2 Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformOkean240();
