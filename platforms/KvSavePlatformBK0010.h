// The converters of the "BK-0011" platform: a 256x256 four-colour screen with
// one of 16 fixed palettes ("Auto" tries them all), that screen shown in two
// alternating frames, and the 512x256 black-and-white screen, single and in
// two frames.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvFourColorPlatform.h"

// Screens over memory the caller provides (an output stream's data, zeroed).
// Colour screen: 256 rows of 64 bytes, pixel x in bits 2 * (x mod 4) and up of
// byte x / 4 (the leftmost pixel in the lowest bits); then the stored palette
// number.
class TKvBK1Screen : public TKvScreen2 {
public:
  TKvBK1Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber);
  static int GetDataSize(int, int) { return 16385; }
  void SetPixel(int X, int Y, int AValue) override;
};

// Frame A's colour screen, frame B's, then the stored number twice; a
// mixture c shows c / 4 in frame A and c mod 4 in frame B.
class TKvBK2Screen : public TKvScreen2 {
public:
  TKvBK2Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber);
  static int GetDataSize(int, int) { return 32770; }
  void SetPixel(int X, int Y, int AValue) override;
};

// 512x256, pixel x is bit x mod 8 of byte x / 8 of its 64-byte row; set is white.
class TKvBKMonoScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  static int GetDataSize(int, int) { return 16384; }
  void SetPixel(int X, int Y, int AValue) override;
};

// Two mono screens: level c sets bit c / 2 in frame A and c mod 2 in frame B.
class TKvBKMono2Screen : public TKvScreen2 {
public:
  TKvBKMono2Screen(int AWidth, int AHeight, void* AData);
  static int GetDataSize(int, int) { return 32768; }
  void SetPixel(int X, int Y, int AValue) override;
};

// The palettes of the colour modes.
extern const TKvFourColorPalettes BKFourColorPalettes;

struct TKvBK1EngineOptions : TKvFourColorModeOptions<BKFourColorPalettes, false> {};
struct TKvBK2EngineOptions : TKvFourColorModeOptions<BKFourColorPalettes, true> {};
struct TKvBKMonoEngineOptions : TKvFourColorMonoEngineOptions {};

struct TKvBK1EngineUI : TKvFourColorModeUI<BKFourColorPalettes, false> { using TKvFourColorModeUI::TKvFourColorModeUI; };
struct TKvBK2EngineUI : TKvFourColorModeUI<BKFourColorPalettes, true> { using TKvFourColorModeUI::TKvFourColorModeUI; };
struct TKvBKMonoUI : TKvFourColorMonoEngineUI { using TKvFourColorMonoEngineUI::TKvFourColorMonoEngineUI; };

// A mode AMode of the "BK-0011" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvBKEngineOf = TKvDestMode<T, TOptions, TUI, "BK-0011", AMode>;

struct TKvBK1Engine : TKvBKEngineOf<TKvBK1Engine, TKvBK1EngineOptions, TKvBK1EngineUI, "256x256x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvBK2Engine : TKvBKEngineOf<TKvBK2Engine, TKvBK2EngineOptions, TKvBK2EngineUI, "256x256x4 Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvBKMonoEngine : TKvBKEngineOf<TKvBKMonoEngine, TKvBKMonoEngineOptions, TKvBKMonoUI, "512x256x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvBKMono2Engine : TKvBKEngineOf<TKvBKMono2Engine, TKvBKMonoEngineOptions, TKvBKMonoUI, "512x256x2 Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformBK0010();
