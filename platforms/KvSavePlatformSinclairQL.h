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

// The 32 KB screens: AWidth x 256 in colour, the pixel aspect AAspect.
template <int AWidth, TKvPixelAspect AAspect>
class TKvSinclairQLScreenOptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvSinclairQLScreenOptionsOf() {
    SetPixelAspect(AAspect);
    SetPaletteMode(pmColor);
    SetErrorDiffusion(90);
  }
  TKvSize GetDefaultSize() const override { return {AWidth, 256}; }
};
using TKvSinclairQL4EngineOptions = TKvSinclairQLScreenOptionsOf<512, pa2_3>;
using TKvSinclairQL8EngineOptions = TKvSinclairQLScreenOptionsOf<256, pa1_0p75>;
class TKvSinclairQL16EngineOptions : public TKvDestEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {512, 480}; }
};
using TKvSinclairQL32EngineOptions = TKvSinclairQL16EngineOptions;

class TKvSinclairQLCustomEngineUI : public TKvDestEngineUIEx {
public:
  TKvSinclairQLCustomEngineUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects, TKvPaletteModeSet AModes);
};
template <TKvPixelAspectSet AAspects, TKvPaletteModeSet AModes>
struct TKvSinclairQLCustomEngineUIOf : TKvSinclairQLCustomEngineUI {
  explicit TKvSinclairQLCustomEngineUIOf(TKvDestEngineOptions* AOptions) : TKvSinclairQLCustomEngineUI(AOptions, AAspects, AModes) {}
};
using TKvSinclairQL4EngineUI =
    TKvSinclairQLCustomEngineUIOf<PixelAspects(pa2_3, pa1_1), PaletteModes(pmBlackWhite, pmGrayGreen, pmGrayRed, pmColor)>;
using TKvSinclairQL8EngineUI = TKvSinclairQLCustomEngineUIOf<PixelAspects(pa1_1, pa1_0p75), PaletteModes(pmBlackWhite, pmColor)>;
struct TKvSinclairQL16EngineUI : TKvDestEngineUIEx { explicit TKvSinclairQL16EngineUI(TKvDestEngineOptions* AOptions); };

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
template <class T, int Mode, class TOptions, class TUI, TKvText AName>
struct TKvSinclairQLEngineOf : TKvDestMode<T, TOptions, TUI, "Sinclair QL", AName> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    if constexpr (Mode < 16)
      return ConvertQLScreen(AArgs, Mode == 8);
    else
      return ConvertQLPic(AArgs, Mode);
  }
};

struct TKvSinclairQL4Engine : TKvSinclairQLEngineOf<TKvSinclairQL4Engine, 4, TKvSinclairQL4EngineOptions, TKvSinclairQL4EngineUI, "QL 4 512x256x2"> {};
struct TKvSinclairQL8Engine : TKvSinclairQLEngineOf<TKvSinclairQL8Engine, 8, TKvSinclairQL8EngineOptions, TKvSinclairQL8EngineUI, "QL 8 256x256x3"> {};
struct TKvSinclairQL16Engine : TKvSinclairQLEngineOf<TKvSinclairQL16Engine, 16, TKvSinclairQL16EngineOptions, TKvSinclairQL16EngineUI, "GD2 16 512x480x8"> {};
struct TKvSinclairQL32Engine : TKvSinclairQLEngineOf<TKvSinclairQL32Engine, 32, TKvSinclairQL32EngineOptions, TKvSinclairQL16EngineUI, "GD2 32 512x480x16"> {};
struct TKvSinclairQL33Engine : TKvSinclairQLEngineOf<TKvSinclairQL33Engine, 33, TKvSinclairQL32EngineOptions, TKvSinclairQL16EngineUI, "GD2 33 512x480x16"> {};

void InitKvSavePlatformSinclairQL();
