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

class TKvOkeanEngineOptions : public TKvFourColorEngineOptions {
public:
  explicit TKvOkeanEngineOptions(bool AGigascreen = false)
      : TKvFourColorEngineOptions(OkeanFourColorPalettes, AGigascreen) {}
};

class TKvOkean1EngineOptions : public TKvOkeanEngineOptions {};

class TKvOkean2EngineOptions : public TKvOkeanEngineOptions {
public:
  TKvOkean2EngineOptions() : TKvOkeanEngineOptions(true) {}
};

class TKvOkeanMonoEngineOptions : public TKvFourColorMonoEngineOptions {};

class TKvOkeanEngineUI : public TKvFourColorEngineUI {
public:
  TKvOkeanEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
      : TKvFourColorEngineUI(AOptions, OkeanFourColorPalettes, AGigascreen) {}
};

class TKvOkean1EngineUI : public TKvOkeanEngineUI {
public:
  explicit TKvOkean1EngineUI(TKvDestEngineOptions* AOptions) : TKvOkeanEngineUI(AOptions, false) {}
};

class TKvOkean2EngineUI : public TKvOkeanEngineUI {
public:
  explicit TKvOkean2EngineUI(TKvDestEngineOptions* AOptions) : TKvOkeanEngineUI(AOptions, true) {}
};

class TKvOkeanMonoUI : public TKvFourColorMonoEngineUI {
public:
  using TKvFourColorMonoEngineUI::TKvFourColorMonoEngineUI;
};

// The caption of palette 1..7 in the palette list: its colour names joined
// by "/", then the stored number in parentheses.
std::string OkeanPaletteCaption(int AIndex);

// The "Auto" candidates of the two colour modes: the 7 palettes, as four
// colours or as their mixtures (with AOptions' MaxFlickering).
TKvFixedPaletteCandidates OkeanPaletteCandidates(bool AGigascreen, const TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress);

// The modes; a mode's options and panel: TOptions, TUI.
template <class T, class TOptions, class TUI>
class TKvOkeanEngineOf : public TKvDestEngineWith<T, TOptions, TUI> {
public:
  static std::string GetPlatformName() { return "Okean-240"; }
};

class TKvOkean1Engine : public TKvOkeanEngineOf<TKvOkean1Engine, TKvOkean1EngineOptions, TKvOkean1EngineUI> {
public:
  static std::string GetModeName() { return "256x256x2"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvOkean2Engine : public TKvOkeanEngineOf<TKvOkean2Engine, TKvOkean2EngineOptions, TKvOkean2EngineUI> {
public:
  static std::string GetModeName() { return "256x256x4 Gigascreen"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvOkeanMonoEngine : public TKvOkeanEngineOf<TKvOkeanMonoEngine, TKvOkeanMonoEngineOptions, TKvOkeanMonoUI> {
public:
  static std::string GetModeName() { return "512x256x1"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvOkeanMono2Engine : public TKvOkeanEngineOf<TKvOkeanMono2Engine, TKvOkeanMonoEngineOptions, TKvOkeanMonoUI> {
public:
  static std::string GetModeName() { return "512x256x2 Gigascreen"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformOkean240();
