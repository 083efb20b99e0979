// What the platforms share whose colour modes show one of a few fixed
// four-colour palettes (and, in two-frame modes, their mixtures) beside a
// 512 x 256 black-and-white screen: palette k (1..Count) is stored and shown
// as the number k - 1, and PaletteIndex 0 is "Auto". The platforms bring
// their palettes, screens and file names; the options, panels and
// conversions are these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "bitmap/B32.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvFlicker.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"
#include "platforms/KvFixedPaletteSearch.h"

struct TKvFourColorPalettes {
  int Count = 0;
  const TKvStdRGBColor (*Colors)[4] = nullptr;
  void (*Build)(int AIndex, TKvPalette256& APalette) = nullptr;
  void (*BuildMix)(int AIndex, int AMaxFlickering, TKvPalette256& APalette) = nullptr;
};

// Palette k's colour names joined by "/", then its stored number in
// parentheses.
std::string FourColorPaletteCaption(const TKvFourColorPalettes& AFamily, int AIndex);
// The options' result palette for their PaletteIndex: empty for "Auto", the
// four colours, or the mixtures with the options' MaxFlickering.
void ShowFourColorPalette(const TKvFourColorPalettes& AFamily, bool AGigascreen, TKvDestEngineOptions& AOptions);
// The palette section of the colour modes: "Auto" and every palette with its
// glyph, the palette modes, the result palette and the index label.
void AddFourColorPaletteSection(TKvDestEngineUIEx& AUI, const TKvFourColorPalettes& AFamily, bool AGigascreen);
// The "Auto" candidates: every palette, as four colours or as mixtures.
TKvFixedPaletteCandidates FourColorPaletteCandidates(const TKvFourColorPalettes& AFamily, bool AGigascreen,
                                                     const TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress);

// ---------------------------------------------------------------------------
// Options and panels

// The colour modes: 256 x 256, "Auto" and "Сolor" to begin with; the result
// palette shows the chosen palette (nothing for "Auto").
class TKvFourColorEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvFourColorEngineOptions(const TKvFourColorPalettes& AFamily, bool AGigascreen);
  TKvSize GetDefaultSize() const override { return {256, 256}; }
  void UpdatePalette() override;
  const TKvFourColorPalettes& Family;
  const bool Gigascreen;
};

// The black-and-white modes: 512 x 256.
class TKvFourColorMonoEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvFourColorMonoEngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 256}; }
};

class TKvFourColorEngineUI : public TKvDestEngineUIEx {
public:
  TKvFourColorEngineUI(TKvDestEngineOptions* AOptions, const TKvFourColorPalettes& AFamily, bool AGigascreen);
  const bool Gigascreen;
};

class TKvFourColorMonoEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvFourColorMonoEngineUI(TKvDestEngineOptions* AOptions);
};

// The options and the panel of a colour mode of AFamily, of one frame or of
// two.
template <const TKvFourColorPalettes& AFamily, bool AGigascreen>
class TKvFourColorModeOptions : public TKvFourColorEngineOptions {
public:
  TKvFourColorModeOptions() : TKvFourColorEngineOptions(AFamily, AGigascreen) {}
};

template <const TKvFourColorPalettes& AFamily, bool AGigascreen>
class TKvFourColorModeUI : public TKvFourColorEngineUI {
public:
  explicit TKvFourColorModeUI(TKvDestEngineOptions* AOptions) : TKvFourColorEngineUI(AOptions, AFamily, AGigascreen) {}
};

// ---------------------------------------------------------------------------
// Conversions

// The screens hold 256 rows of AMaxWidth pixels: a larger picture cannot be
// stored.
void CheckFourColorSize(const TBitmap32& ABitmap, int AMaxWidth);
// The palette of the two-level modes ("Black/white" on one frame, "Gray" on
// two): the chosen one, else palette ADefault.
int FourColorLevelsPalette(const TKvFourColorPalettes& AFamily, const TKvDestEngineOptions& AOptions, int ADefault);
// "Auto" of "Сolor": the number of the palette that dithers the picture with
// the least error. The caller has adjusted the picture once and cached its
// colours.
int SearchFourColorPalette(TKvConvertArgs& AArgs, TKvImage& AImage, const TKvFourColorPalettes& AFamily,
                           bool AGigascreen);

// Palette k becomes the one in use: its stored number in PaletteIndex and in
// a TScreen over a new AExtension file in AStreams, its colours (one frame)
// or mixtures (two frames) in the result palette. The two-level mode
// converts between the palette's darkest and lightest colour, "Сolor" to the
// palette's colours or mixtures.
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertFourColorScreen(TKvConvertArgs& AArgs, TKvImage& AImage,
                                                  const TKvFourColorPalettes& AFamily, int k, TKvStreamList& AStreams,
                                                  const char* AExtension) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  TKvPalette256& palette = *options.GetPalette();
  options.SetPaletteIndex(k - 1);
  const bool levels = options.PaletteMode == (Gigascreen ? pmGray : pmBlackWhite);
  int dark = 0, bright = 0;
  if (levels || !Gigascreen) {
    AFamily.Build(k, palette);
    double range = 0;
    if (levels) palette.GetGrayRange(dark, bright, range);
  }
  if (Gigascreen) AFamily.BuildMix(k, options.MaxFlickering, palette);
  TScreen screen(w, h, AStreams.NewStream(AExtension, TScreen::GetDataSize(w, h))->GetMemory(),
                 static_cast<uint8_t>(k - 1));
  if (levels) {
    if (Gigascreen) return ConvertFlicker2(AImage, AArgs.Abort, options, &screen, palette, dark, bright);
    return AImage.ConvertBW(AArgs.Abort, options, &screen, &palette, dark, bright);
  }
  AImage.FitToPaletteGray(palette);
  if (Gigascreen) return ConvertFlicker(AImage, AArgs.Abort, options, &screen, palette, nullptr);
  return AImage.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
}

// The black-and-white screen TScreen over a new AExtension file in AStreams,
// of one frame or of two (Gigascreen: black, white and their flicker).
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertFourColorMono(TKvConvertArgs& AArgs, TKvStreamList& AStreams,
                                                const char* AExtension) {
  CheckFourColorSize(AArgs.Bitmap, 512);
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  TKvImage image(AArgs.Bitmap);
  TScreen screen(w, h, AStreams.NewStream(AExtension, TScreen::GetDataSize(w, h))->GetMemory());
  if (Gigascreen) return ConvertBWFlicker(image, AArgs.Abort, AArgs.Options, &screen);
  return image.ConvertBW(AArgs.Abort, AArgs.Options, &screen, nullptr, 0, 1);
}
