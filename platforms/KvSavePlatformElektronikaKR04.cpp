#include "platforms/KvSavePlatformElektronikaKR04.h"

#include "bitmap/B32.h"
#include "core/KvFlicker.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformElektronikaKR04.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screens

namespace {

// Pixel x of a 1-bit row: bit x % 8, the leftmost pixel in bit 0.
inline void Put1(uint8_t* ARow, int X, int AValue) {
  uint8_t& b = ARow[X >> 3];
  const uint8_t m = static_cast<uint8_t>(1 << (X & 7));
  b = static_cast<uint8_t>((AValue & 1) ? (b | m) : (b & ~m));
}

// Pixel x of a 2-bit row: value bit 0 at bit x % 4, bit 1 at bit x % 4 + 4.
inline void Put2(uint8_t* ARow, int X, int AValue) {
  uint8_t& b = ARow[X >> 2];
  const int s = X & 3;
  const uint8_t m = static_cast<uint8_t>(0x11 << s);
  const uint8_t v = static_cast<uint8_t>(((AValue & 1) << s) | (((AValue >> 1) & 1) << (s + 4)));
  b = static_cast<uint8_t>((b & ~m) | v);
}

}  // namespace

void TKvElektronikaKR04BWScreen::SetPixel(int X, int Y, int AValue) { Put1(FrameRow(0, Y), MX(X), AValue); }

void TKvElektronikaKR04BWGigaScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  Put1(FrameRow(0, Y), X, AValue >> 1);
  Put1(FrameRow(1, Y), X, AValue);
}

void TKvElektronikaKR04BRGBScreen::SetPixel(int X, int Y, int AValue) { Put2(FrameRow(0, Y), MX(X), AValue); }

void TKvElektronikaKR04BRGBGigaScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  Put2(FrameRow(0, Y), X, AValue >> 2);
  Put2(FrameRow(1, Y), X, AValue & 3);
}

TKvElektronikaKR04EGAScreen::TKvElektronikaKR04EGAScreen(int AWidth, int AHeight, uint8_t ABorder, void* AData)
    : TKvElektronikaKR04BRGBScreen(AWidth, AHeight, ABorder, AData) {
  WriteHeader(KR04Flag2Bits | KR04FlagPalette, ABorder);
}

TKvElektronikaKR04EGAGigaScreen::TKvElektronikaKR04EGAGigaScreen(int AWidth, int AHeight, uint8_t ABorder,
                                                                 void* AData)
    : TKvElektronikaKR04BRGBGigaScreen(AWidth, AHeight, ABorder, AData) {
  WriteHeader(KR04Flag2Bits | KR04FlagPalette | KR04FlagTwoFrames, ABorder);
}

// ---------------------------------------------------------------------------
// Palettes

void BuildKR04BRGBMixPalette(TKvPalette256& APalette, int AMaxFlickering) {
  TKvPalette256 base;
  BuildKR04BRGBPalette(base);
  APalette.FillMixtures(&base, AMaxFlickering, 0);
}

void FillKR04Grays(TKvPalette256& APalette) {
  APalette.Clear();
  for (uint8_t v : {0x00, 0x55, 0xAA, 0xFF}) APalette.AddRGB(v, v, v);
}

void FillKR04Bright16(TKvPalette256& APalette) {
  TKvPalette256 ega;
  ega.FillRGB64();
  APalette.FillNearestGBR16(&ega);
}

uint8_t KR04Level(uint8_t AByte) {
  switch (AByte) {
    case 0x00:
      return 0;
    case 0x55:
      return 1;
    case 0xAA:
      return 2;
    case 0xFF:
      return 3;
    default:
      RaiseOSError(87);
  }
}

// ---------------------------------------------------------------------------
// Options

TKvElektronikaKR04BWEngineOptions::TKvElektronikaKR04BWEngineOptions() {
  SetPixelAspect(pa0p7375_1);
  SetErrorDiffusion(90);
}

TKvElektronikaKR04BRGBEngineOptions::TKvElektronikaKR04BRGBEngineOptions() {
  SetPixelAspect(pa1p475_1);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(80);
}

void TKvElektronikaKR04BRGBGigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildKR04BRGBMixPalette(*GetPalette(), MaxFlickering);
}

TKvElektronikaKR04EGAEngineOptions::TKvElektronikaKR04EGAEngineOptions() {
  SetPaletteType(ptColored);
  SetPaletteMode(pmColorBright);
}

void TKvElektronikaKR04EGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  GetHardwarePalette256().FillRGB64();
}

void TKvElektronikaKR04EGAGigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvElektronikaKR04EGAEngineOptions::UpdatePalette();
  TKvPalette256& palette = *GetPalette();
  palette.Clear();
  switch (PaletteMode) {
    case pmGray:
      FillKR04Grays(palette);
      break;
    case pmColorBright:
    case pmColor:
    case pmCustom:
      break;
    default:
      RaiseOSError(87);
  }
  if (palette.Count > 0) {
    TKvPalette256 base;
    base.Assign(&palette);
    palette.FillMixtures(&base, MaxFlickering, 0);
  }
}

// ---------------------------------------------------------------------------
// Panels

namespace {
// The colour panels start with the size, the position and the palette modes.
void AddKR04ColourSections(TKvDestEngineUIEx& APanel, TKvPaletteModeSet AModes) {
  APanel.AddDimensionSection(true);
  APanel.AddPositionSection(PixelAspects(pa1_1, pa1p475_1));
  APanel.AddPaletteSeparator();
  APanel.AddPaletteModeSection(AModes);
}
}  // namespace

TKvElektronikaKR04BWEngineUI::TKvElektronikaKR04BWEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(PixelAspects(pa0p7375_1, pa1_1));
  AddDitheringSection(false);
}

TKvElektronikaKR04BRGBEngineUI::TKvElektronikaKR04BRGBEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddKR04ColourSections(*this, PaletteModes(pmBlackWhite, pmColor));
  AddDitheringSection(false);
}

TKvElektronikaKR04BRGBGigaEngineUI::TKvElektronikaKR04BRGBGigaEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddKR04ColourSections(*this, PaletteModes(pmGray, pmColor));
  AddDestPalette(4, 4, true);
  AddMaxFlickeringSection();
  AddDitheringSection(false);
}

TKvElektronikaKR04EGAEngineUI::TKvElektronikaKR04EGAEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions) {
  // "Black/white" is of a single frame only.
  const TKvPaletteModeSet modes = PaletteModes(pmGray, pmColorBright, pmColor, pmCustom);
  AddKR04ColourSections(*this, AGigascreen ? modes : modes | PaletteModes(pmBlackWhite));
  AddDestPalette(4, AGigascreen ? 4 : 1, true);
  AddFixedPaletteSection(16, 1);
  if (AGigascreen) AddMaxFlickeringSection();
  AddDitheringSection(false);
}

TKvPalette* TKvElektronikaKR04EGAEngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 8;
  return GetOptions()->GetHardwarePalette();
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

// The 1-bit modes' border: white for a light border colour.
uint8_t BWBorder(const TKvDestEngineOptions& AOptions) {
  TKvColor c;
  c.InitStdRGB(AOptions.GetBorderStdRGB());
  return c.GetLinGray() >= 0.5 ? 1 : 0;
}

// The entry of APalette nearest the border colour.
uint8_t NearestBorder(const TKvDestEngineOptions& AOptions, const TKvPalette& APalette) {
  TKvColor c;
  c.InitStdRGB(AOptions.GetBorderStdRGB());
  const int k = APalette.FindNearestByMetric(0, c);
  return static_cast<uint8_t>(k < 0 ? 0 : k);
}

// The stream of the layout's whole file, zero-filled.
template <class TScreen>
uint8_t* NewKR04Stream(TKvStreamList& AStreams, int W, int H) {
  return AStreams.NewStream("krs", static_cast<int>(TScreen::GetDataSize(W, H)))->GetMemory();
}

// The header of the EGA modes: the border entry and the levels of up to four
// colours.
void WriteEGAHeader(uint8_t* AHeader, const TKvDestEngineOptions& AOptions, const TKvPalette256& APalette) {
  if (APalette.Count > 4) RaiseOSError(87);
  SetKR04HeaderMode(AHeader, NearestBorder(AOptions, APalette));
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvStdRGBColor c = APalette.GetStdRGB(i);
    AHeader[5] = static_cast<uint8_t>(AHeader[5] | (KR04Level(c.B) << (2 * i)));
    AHeader[6] = static_cast<uint8_t>(AHeader[6] | (KR04Level(c.G) << (2 * i)));
    AHeader[7] = static_cast<uint8_t>(AHeader[7] | (KR04Level(c.R) << (2 * i)));
  }
}

// The mixtures of ABase as the Gigascreen screen splits them: always 4 x 4,
// entries of missing base colours flagged, so that a value is a * 4 + b
// whatever number of colours the base holds.
void FillKR04Mixtures(TKvPalette256& AMix, const TKvPalette256& ABase, int AMaxFlickering) {
  AMix.FillMixtures(&ABase, AMaxFlickering, 4);
}

// The black-and-white screens, of one frame or of two (black, white and
// their flicker).
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertKR04BW(TKvConvertArgs& AArgs) {
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  auto streams = std::make_unique<TKvStreamList>();
  TKvImage image(AArgs.Bitmap);
  TScreen screen(w, h, BWBorder(AArgs.Options), NewKR04Stream<TScreen>(*streams, w, h));
  auto result = Gigascreen ? ConvertBWFlicker(image, AArgs.Abort, AArgs.Options, &screen)
                           : image.ConvertBW(AArgs.Abort, AArgs.Options, &screen, nullptr, 0, 1);
  AArgs.Streams = std::move(streams);
  return result;
}

// The screens of the fixed BRGB colours, of one frame or of two (their
// mixtures). The two-level mode ("Black/white", on two frames "Gray")
// converts between black and green, the lightest BRGB colour.
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertKR04BRGB(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  auto streams = std::make_unique<TKvStreamList>();
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& palette = *options.GetPalette();
  BuildKR04BRGBPalette(palette);
  TScreen screen(w, h, NearestBorder(options, palette), NewKR04Stream<TScreen>(*streams, w, h));
  if (Gigascreen) BuildKR04BRGBMixPalette(palette, options.MaxFlickering);
  std::unique_ptr<TKvBitmap> result;
  if (options.PaletteMode == (Gigascreen ? pmGray : pmBlackWhite)) {
    result = Gigascreen ? ConvertFlicker2(image, AArgs.Abort, options, &screen, palette, 0, 2)
                        : image.ConvertBW(AArgs.Abort, options, &screen, &palette, 0, 2);
  } else if (options.PaletteMode == pmColor) {
    image.FitToPaletteGray(palette);
    result = Gigascreen ? ConvertFlicker(image, AArgs.Abort, options, &screen, palette, nullptr)
                        : image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
  } else {
    RaiseOSError(87);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

// The EGA screens: TScreen over a new file and the picture adjusted once;
// AConvert converts to the screen and fills in the (at most four) colours
// the header names.
template <class TScreen, class TConvert>
std::unique_ptr<TKvBitmap> ConvertKR04EGA(TKvConvertArgs& AArgs, TConvert AConvert) {
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = NewKR04Stream<TScreen>(*streams, w, h);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, AArgs.Options);
  TScreen screen(w, h, 0, data);
  TKvPalette256 headerColors;
  auto result = AConvert(image, screen, headerColors);
  WriteEGAHeader(data, AArgs.Options, headerColors);
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BWEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertKR04BW<TKvElektronikaKR04BWScreen, false>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BWGigaEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertKR04BW<TKvElektronikaKR04BWGigaScreen, true>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BRGBEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertKR04BRGB<TKvElektronikaKR04BRGBScreen, false>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BRGBGigaEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertKR04BRGB<TKvElektronikaKR04BRGBGigaScreen, true>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04EGAEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  return ConvertKR04EGA<TKvElektronikaKR04EGAScreen>(
      AArgs, [&](TKvImage& AImage, TKvData& AScreen, TKvPalette256& AHeaderColors) {
        TKvPalette256 hardware;
        hardware.FillRGB64();
        TKvPalette256& palette = *options.GetPalette();
        std::unique_ptr<TKvBitmap> result;
        switch (options.PaletteMode) {
          case pmBlackWhite:
            palette.FillBlackWhite();
            result = ConvertColorPair(AArgs.Abort, AImage, &AScreen, 4, options);
            break;
          case pmGray:
            FillKR04Grays(palette);
            result = ConvertReducedGray(AArgs.Abort, AImage, &AScreen, palette, 4, options);
            break;
          case pmColorBright:
          case pmColor:
          case pmCustom:
            if (options.PaletteMode == pmColorBright) FillKR04Bright16(hardware);
            QuantizePalette(AArgs.Abort, AImage, hardware, 4, options);
            AImage.FitToPaletteGray(palette);
            result = AImage.ConvertIndexed(AArgs.Abort, options, &AScreen, palette, nullptr);
            break;
          default:
            RaiseOSError(87);
        }
        AHeaderColors.Assign(&palette);
        return result;
      });
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04EGAGigaEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  return ConvertKR04EGA<TKvElektronikaKR04EGAGigaScreen>(
      AArgs, [&](TKvImage& AImage, TKvData& AScreen, TKvPalette256& ABase) {
        TKvPalette256& mixtures = *options.GetPalette();
        TKvPalette256& fixed = *options.GetFixedPalette();
        std::unique_ptr<TKvBitmap> result;
        switch (options.PaletteMode) {
          case pmGray: {
            options.SetUseAsGrayPalette(true);
            FillKR04Grays(mixtures);
            int dark = 0, bright = 0;
            const bool merged = fixed.MergeColors(&mixtures, 4, dark, bright);
            if (fixed.Count > 4) RaiseOSError(87);
            ABase.FillMixtures(&mixtures, options.MaxFlickering, 0);
            if (merged) {
              AImage.FitToPaletteGray(ABase);
              // The screen takes the fixed palette's indexes split by 4: should
              // the fixed palette hold fewer than 4 colours, the display palette
              // is filled up with entries that are never located.
              TKvPalette256 display;
              display.Assign(&fixed);
              while (display.Count < 4) display.AddStdRGB(fixed.GetStdRGB(0));
              result = ConvertFlicker(AImage, AArgs.Abort, options, &AScreen, ABase, &display);
              ABase.Assign(&mixtures);
            } else {
              FillKR04Mixtures(mixtures, fixed, options.MaxFlickering);
              result = ConvertFlicker2(AImage, AArgs.Abort, options, &AScreen, mixtures, dark, bright);
              ABase.Clear();
              ABase.AddColor(fixed.Colors[dark]);
              ABase.AddColor(fixed.Colors[bright]);
            }
            FillKR04Mixtures(mixtures, ABase, options.MaxFlickering);
            ABase.Assign(&fixed);
            break;
          }
          case pmColorBright:
          case pmColor:
          case pmCustom: {
            TKvPalette256 hardware;
            if (options.PaletteMode == pmColorBright)
              FillKR04Bright16(hardware);
            else
              hardware.FillRGB64();
            {
              TKvQuantization quantization;
              if (options.PaletteMode == pmCustom)
                quantization.QuantizeBoundedMasked(AArgs.Abort, AImage, 4, options.MaxFlickering, false,
                                                   options.ColorDiffMethod, ABase, fixed, &hardware, options.ColorMask);
              else
                quantization.QuantizeBounded(AArgs.Abort, AImage, 4, options.MaxFlickering, false,
                                             options.ColorDiffMethod, ABase, &fixed, &hardware);
            }
            if (ABase.Count > 4) RaiseOSError(87);
            // Mixtures counted over 4 base colours even when the quantization
            // kept fewer: the screen splits every value by 4.
            FillKR04Mixtures(mixtures, ABase, options.MaxFlickering);
            AImage.FitToPaletteGray(mixtures);
            result = ConvertFlicker(AImage, AArgs.Abort, options, &AScreen, mixtures, nullptr);
            break;
          }
          default:
            RaiseOSError(87);
        }
        return result;
      });
}

void InitKvSavePlatformElektronikaKR04() {
  RegisterDestEngines<TKvElektronikaKR04EGAEngine, TKvElektronikaKR04EGAGigaEngine, TKvElektronikaKR04BRGBEngine,
                      TKvElektronikaKR04BRGBGigaEngine, TKvElektronikaKR04BWEngine, TKvElektronikaKR04BWGigaEngine>();
}
