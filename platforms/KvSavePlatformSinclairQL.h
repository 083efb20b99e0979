// The converters of the "Sinclair QL" platform: the 32 KB screens of mode 4
// and mode 8, and GD2 ".pic" pictures of any size in mode 16 (256 fixed
// colours) and in the 16-bit modes 32 (RGB 5-6-5) and 33 (5-5-5 plus a low
// bit shared by the three channels).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"

// Mode 4: the green bit in the first byte of a pair, the red bit in the
// second; the value is mapped through the palette mode first.
class TKvSinclairQL4Screen : public TKvScreen4 {
public:
  TKvSinclairQL4Screen(void* AData, uint8_t APaletteMode) : TKvScreen4(512, 256, AData), PaletteMode(APaletteMode) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
  uint8_t PaletteMode;
};

// Mode 8: value = blue + 2 green + 4 red; the flash bit stays 0.
class TKvSinclairQL8Screen : public TKvScreen4 {
public:
  TKvSinclairQL8Screen(void* AData, uint8_t APaletteMode);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
  uint8_t PaletteMode;
};

class TKvSinclairQL4EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSinclairQL4EngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 256}; }
};
class TKvSinclairQL8EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSinclairQL8EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 256}; }
};
class TKvSinclairQL16EngineOptions : public TKvDestEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {512, 480}; }
};
using TKvSinclairQL32EngineOptions = TKvSinclairQL16EngineOptions;

class TKvSinclairQLCustomEngineUI : public TKvDestEngineUIEx {
public:
  TKvSinclairQLCustomEngineUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects, TKvPaletteModeSet AModes);
};
class TKvSinclairQL4EngineUI : public TKvSinclairQLCustomEngineUI {
public:
  explicit TKvSinclairQL4EngineUI(TKvDestEngineOptions* AOptions)
      : TKvSinclairQLCustomEngineUI(AOptions, PixelAspects(pa2_3, pa1_1),
                                    PaletteModes(pmBlackWhite, pmGrayGreen, pmGrayRed, pmColor)) {}
};
class TKvSinclairQL8EngineUI : public TKvSinclairQLCustomEngineUI {
public:
  explicit TKvSinclairQL8EngineUI(TKvDestEngineOptions* AOptions)
      : TKvSinclairQLCustomEngineUI(AOptions, PixelAspects(pa1_1, pa1_0p75), PaletteModes(pmBlackWhite, pmColor)) {}
};
class TKvSinclairQL16EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvSinclairQL16EngineUI(TKvDestEngineOptions* AOptions);
};

// The 256 mode-16 colours as exact linear colours.
void BuildQLGD2Palette(TKvPalette256& APalette);
// The 8 colours of 5-6-5 levels enclosing AColor.
void BuildQLMode32Candidates(TKvPalette256& APalette, const TKvLinRGBColor& AColor);
// The even and the odd 6-bit levels enclosing AValue.
void FindEvenLevel6Bounds(double AValue, double& ALow, double& AHigh);
void FindOddLevel6Bounds(double AValue, double& ALow, double& AHigh);
// The 16 colours whose 6-bit levels are all even or all odd around AColor.
void BuildQLMode33Candidates(TKvPalette256& APalette, const TKvLinRGBColor& AColor);

// Dithering straight to the 16-bit words: each pixel takes the nearest of
// the few hardware colours around it.
class TKvSinclairQL32Image : public TKvImage {
public:
  using TKvImage::TKvImage;
  std::unique_ptr<TKvBitmap24> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvScreen16& ATarget);

protected:
  std::unique_ptr<TKvBitmap24> ConvertWords(bool* AAbort, TKvDestEngineOptions& AOptions, TKvScreen16& ATarget,
                                            bool AMode33);
};
class TKvSinclairQL33Image : public TKvSinclairQL32Image {
public:
  using TKvSinclairQL32Image::TKvSinclairQL32Image;
  std::unique_ptr<TKvBitmap24> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvScreen16& ATarget);
};

std::unique_ptr<TKvBitmap> ConvertQLScreen(TKvConvertArgs& AArgs, bool AMode8);
std::unique_ptr<TKvBitmap> ConvertQLPic(TKvConvertArgs& AArgs, int AMode);

// The engines of the platform differ by the QL mode number alone.
template <class TSelf, int Mode, class TOptions, class TUI>
class TKvSinclairQLEngineOf : public TKvDestEngineWith<TSelf, TOptions, TUI> {
public:
  static std::string GetPlatformName() { return "Sinclair QL"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    if constexpr (Mode < 16)
      return ConvertQLScreen(AArgs, Mode == 8);
    else
      return ConvertQLPic(AArgs, Mode);
  }
};

class TKvSinclairQL4Engine
    : public TKvSinclairQLEngineOf<TKvSinclairQL4Engine, 4, TKvSinclairQL4EngineOptions, TKvSinclairQL4EngineUI> {
public:
  static std::string GetModeName() { return "QL 4 512x256x2"; }
};
class TKvSinclairQL8Engine
    : public TKvSinclairQLEngineOf<TKvSinclairQL8Engine, 8, TKvSinclairQL8EngineOptions, TKvSinclairQL8EngineUI> {
public:
  static std::string GetModeName() { return "QL 8 256x256x3"; }
};
class TKvSinclairQL16Engine
    : public TKvSinclairQLEngineOf<TKvSinclairQL16Engine, 16, TKvSinclairQL16EngineOptions, TKvSinclairQL16EngineUI> {
public:
  static std::string GetModeName() { return "GD2 16 512x480x8"; }
};
class TKvSinclairQL32Engine
    : public TKvSinclairQLEngineOf<TKvSinclairQL32Engine, 32, TKvSinclairQL32EngineOptions, TKvSinclairQL16EngineUI> {
public:
  static std::string GetModeName() { return "GD2 32 512x480x16"; }
};
class TKvSinclairQL33Engine
    : public TKvSinclairQLEngineOf<TKvSinclairQL33Engine, 33, TKvSinclairQL32EngineOptions, TKvSinclairQL16EngineUI> {
public:
  static std::string GetModeName() { return "GD2 33 512x480x16"; }
};

void InitKvSavePlatformSinclairQL();
