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
#include "platforms/KvFixedPaletteSearch.h"

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

class TKvOkeanEngineOptions : public TKvDestEngineOptions {
public:
  explicit TKvOkeanEngineOptions(bool AGigascreen = false);
  TKvSize GetDefaultSize() const override { return {256, 256}; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  // "Auto" (PaletteIndex 0) shows no colours; palette k its 4 colours, or
  // its 16 mixtures in the two-frame mode.
  void UpdatePalette() override;
  const bool Gigascreen;
};

class TKvOkean1EngineOptions : public TKvOkeanEngineOptions {};

class TKvOkean2EngineOptions : public TKvOkeanEngineOptions {
public:
  TKvOkean2EngineOptions() : TKvOkeanEngineOptions(true) {}
};

class TKvOkeanMonoEngineOptions : public TKvDestEngineOptions {
public:
  TKvOkeanMonoEngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 256}; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
};

class TKvOkeanEngineUI : public TKvDestEngineUIEx {
public:
  TKvOkeanEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen);
  void AddOkeanPaletteSection();
  const bool Gigascreen;
};

class TKvOkean1EngineUI : public TKvOkeanEngineUI {
public:
  explicit TKvOkean1EngineUI(TKvDestEngineOptions* AOptions) : TKvOkeanEngineUI(AOptions, false) {}
};

class TKvOkean2EngineUI : public TKvOkeanEngineUI {
public:
  explicit TKvOkean2EngineUI(TKvDestEngineOptions* AOptions) : TKvOkeanEngineUI(AOptions, true) {}
};

class TKvOkeanMonoUI : public TKvDestEngineUIEx {
public:
  explicit TKvOkeanMonoUI(TKvDestEngineOptions* AOptions);
};

// The caption of palette 1..7 in the palette list: its colour names joined
// by "/", then the stored number in parentheses.
std::string OkeanPaletteCaption(int AIndex);

// The "Auto" candidates of the two colour modes: the 7 palettes, as four
// colours or as their mixtures (with AOptions' MaxFlickering).
TKvFixedPaletteCandidates OkeanPaletteCandidates(bool AGigascreen, const TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress);

#define KV_OKEAN_ENGINE(NAME, MODE)                                                                              \
  class NAME : public TKvDestEngineOf<NAME> {                                                                    \
  public:                                                                                                        \
    static std::string GetPlatformName() { return "Okean-240"; }                                                 \
    static std::string GetModeName() { return MODE; }                                                            \
    std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;                          \
    std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;                                              \
    static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,         \
                                              TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,          \
                                              TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams); \
  };

KV_OKEAN_ENGINE(TKvOkean1Engine, "256x256x2")
KV_OKEAN_ENGINE(TKvOkean2Engine, "256x256x4 Gigascreen")
KV_OKEAN_ENGINE(TKvOkeanMonoEngine, "512x256x1")
KV_OKEAN_ENGINE(TKvOkeanMono2Engine, "512x256x2 Gigascreen")

#undef KV_OKEAN_ENGINE

void InitKvSavePlatformOkean240();
