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
  TKvPalette256 LBase;
  BuildKR04BRGBPalette(LBase);
  APalette.FillMixtures(&LBase, AMaxFlickering, 0);
}

void FillKR04Grays(TKvPalette256& APalette) {
  APalette.Clear();
  for (uint8_t v : {0x00, 0x55, 0xAA, 0xFF}) APalette.AddRGB(v, v, v);
}

void FillKR04Bright16(TKvPalette256& APalette) {
  TKvPalette256 LEga;
  LEga.FillRGB64();
  APalette.FillNearestGBR16(&LEga);
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
  SetPixelAspect(5);  // "0.7375:1"
  SetErrorDiffusion(90);
}

TKvElektronikaKR04BRGBEngineOptions::TKvElektronikaKR04BRGBEngineOptions() {
  SetPixelAspect(15);  // "1.475:1"
  SetPaletteMode(11);  // "Сolor"
  SetErrorDiffusion(80);
}

void TKvElektronikaKR04BRGBGigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildKR04BRGBMixPalette(*GetPalette(), MaxFlickering);
}

TKvElektronikaKR04EGAEngineOptions::TKvElektronikaKR04EGAEngineOptions() {
  SetPixelAspect(15);
  SetPaletteType(ptColored);
  SetPaletteMode(10);  // "Сolor (bright)"
  SetErrorDiffusion(80);
}

void TKvElektronikaKR04EGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*HardwarePalette).FillRGB64();
}

void TKvElektronikaKR04EGAGigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvElektronikaKR04EGAEngineOptions::UpdatePalette();
  TKvPalette256& P = *GetPalette();
  P.Clear();
  switch (PaletteMode) {
    case 1:
      FillKR04Grays(P);
      break;
    case 10:
    case 11:
    case 17:
      break;
    default:
      RaiseOSError(87);
  }
  if (P.Count > 0) {
    TKvPalette256 LBase;
    LBase.Assign(&P);
    P.FillMixtures(&LBase, MaxFlickering, 0);
  }
}

// ---------------------------------------------------------------------------
// Panels

namespace {
constexpr uint32_t AspectsBW = (1u << 5) | (1u << 10);
constexpr uint32_t AspectsColour = (1u << 10) | (1u << 15);
}  // namespace

TKvElektronikaKR04BWEngineUI::TKvElektronikaKR04BWEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AspectsBW);
  AddDitheringSection(false);
}

TKvElektronikaKR04BRGBEngineUI::TKvElektronikaKR04BRGBEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AspectsColour);
  AddPaletteSeparator();
  AddPaletteModeSection((1u << 0) | (1u << 11));  // "Black/white", "Сolor"
  AddDitheringSection(false);
}

TKvElektronikaKR04BRGBGigaEngineUI::TKvElektronikaKR04BRGBGigaEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AspectsColour);
  AddPaletteSeparator();
  AddPaletteModeSection((1u << 1) | (1u << 11));  // "Gray", "Сolor"
  AddDestPalette(4, 4, true);
  AddMaxFlickeringSection();
  AddDitheringSection(false);
}

TKvElektronikaKR04EGAEngineUI::TKvElektronikaKR04EGAEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AspectsColour);
  AddPaletteSeparator();
  // "Black/white" (single frame only), "Gray", "Сolor (bright)", "Сolor",
  // "Custom".
  AddPaletteModeSection(AGigascreen ? 0x20C02 : 0x20C03);
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

}  // namespace

#define KV_KR04_FACTORIES(ENGINE, OPTIONS, UI)                                                  \
  std::unique_ptr<TKvDestEngineUI> ENGINE::CreateUI(TKvDestEngineOptions* AOptions) {           \
    return std::make_unique<UI>(AOptions);                                                      \
  }                                                                                             \
  std::unique_ptr<TKvDestEngineOptions> ENGINE::CreateOptions() {                               \
    return TKvDestEngineOptions::Create<OPTIONS>();                                             \
  }

KV_KR04_FACTORIES(TKvElektronikaKR04EGAEngine, TKvElektronikaKR04EGAEngineOptions, TKvElektronikaKR04EGAEngineUI)
KV_KR04_FACTORIES(TKvElektronikaKR04EGAGigaEngine, TKvElektronikaKR04EGAGigaEngineOptions,
                  TKvElektronikaKR04EGAGigaEngineUI)
KV_KR04_FACTORIES(TKvElektronikaKR04BRGBEngine, TKvElektronikaKR04BRGBEngineOptions, TKvElektronikaKR04BRGBEngineUI)
KV_KR04_FACTORIES(TKvElektronikaKR04BRGBGigaEngine, TKvElektronikaKR04BRGBGigaEngineOptions,
                  TKvElektronikaKR04BRGBGigaEngineUI)
KV_KR04_FACTORIES(TKvElektronikaKR04BWEngine, TKvElektronikaKR04BWEngineOptions, TKvElektronikaKR04BWEngineUI)
KV_KR04_FACTORIES(TKvElektronikaKR04BWGigaEngine, TKvElektronikaKR04BWEngineOptions, TKvElektronikaKR04BWEngineUI)

#undef KV_KR04_FACTORIES

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BWEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                               TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                               TKvDestProgress&,
                                                               std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04BWScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvImage LImage(ABitmap);
  TScreen LScreen(W, H, BWBorder(AOptions), NewKR04Stream<TScreen>(*LStreams, W, H));
  auto LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BWGigaEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                   TKvPalette256*, TKvPalette256*,
                                                                   TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                                   std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04BWGigaScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvImage LImage(ABitmap);
  TScreen LScreen(W, H, BWBorder(AOptions), NewKR04Stream<TScreen>(*LStreams, W, H));
  auto LResult = ConvertBWFlicker(LImage, AAbort, AOptions, &LScreen);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BRGBEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                                 TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                                 TKvDestProgress&,
                                                                 std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04BRGBScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TKvPalette256& P = *AOptions.GetPalette();
  BuildKR04BRGBPalette(P);
  TScreen LScreen(W, H, NearestBorder(AOptions, P), NewKR04Stream<TScreen>(*LStreams, W, H));
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0:
      // Green is the lightest BRGB colour.
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &P, 0, 2);
      break;
    case 11:
      LImage.FitToPaletteGray(P);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, nullptr);
      break;
    default:
      RaiseOSError(87);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04BRGBGigaEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                     TKvPalette256*, TKvPalette256*,
                                                                     TKvDestEngineOptions& AOptions,
                                                                     TKvDestProgress&,
                                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04BRGBGigaScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TKvPalette256& P = *AOptions.GetPalette();
  BuildKR04BRGBPalette(P);
  TScreen LScreen(W, H, NearestBorder(AOptions, P), NewKR04Stream<TScreen>(*LStreams, W, H));
  BuildKR04BRGBMixPalette(P, AOptions.MaxFlickering);
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 1:
      // Black, green and their mixture.
      LResult = ConvertFlicker2(LImage, AAbort, AOptions, &LScreen, P, 0, 2);
      break;
    case 11:
      LImage.FitToPaletteGray(P);
      LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, P, nullptr);
      break;
    default:
      RaiseOSError(87);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04EGAEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                                TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                                TKvDestProgress&,
                                                                std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04EGAScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = NewKR04Stream<TScreen>(*LStreams, W, H);
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TScreen LScreen(W, H, 0, LData);
  TKvPalette256 LHardware;
  LHardware.FillRGB64();
  TKvPalette256& P = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      P.FillBlackWhite();
      int A = 0, B = 0;
      LFixed.AddColorPair(&P, 4, A, B);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, A, B);
      P.Assign(&LFixed);
      break;
    }
    case 1: {
      FillKR04Grays(P);
      int LDark = 0, LBright = 0;
      if (ReducePalette(AAbort, LImage, P, 4, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, &LFixed);
      else
        LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, LDark, LBright);
      P.Assign(&LFixed);
      break;
    }
    case 10:
    case 11:
    case 17:
      if (AOptions.PaletteMode == 10) FillKR04Bright16(LHardware);
      QuantizePalette(AAbort, LImage, LHardware, 4, AOptions);
      LImage.FitToPaletteGray(P);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, nullptr);
      break;
    default:
      RaiseOSError(87);
  }
  WriteEGAHeader(LData, AOptions, P);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvElektronikaKR04EGAGigaEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                    TKvPalette256*, TKvPalette256*,
                                                                    TKvDestEngineOptions& AOptions,
                                                                    TKvDestProgress&,
                                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  using TScreen = TKvElektronikaKR04EGAGigaScreen;
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = NewKR04Stream<TScreen>(*LStreams, W, H);
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TScreen LScreen(W, H, 0, LData);
  TKvPalette256& P = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  TKvPalette256 LBase;
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 1: {
      AOptions.SetUseAsGrayPalette(true);
      FillKR04Grays(P);
      int LDark = 0, LBright = 0;
      const bool LMerged = LFixed.MergeColors(&P, 4, LDark, LBright);
      if (LFixed.Count > 4) RaiseOSError(87);
      LBase.FillMixtures(&P, AOptions.MaxFlickering, 0);
      if (LMerged) {
        LImage.FitToPaletteGray(LBase);
        // The screen takes the fixed palette's indexes split by 4: should
        // the fixed palette hold fewer than 4 colours, the display palette
        // is filled up with entries that are never located.
        TKvPalette256 LDisplay;
        LDisplay.Assign(&LFixed);
        while (LDisplay.Count < 4) LDisplay.AddStdRGB(LFixed.GetStdRGB(0));
        LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, LBase, &LDisplay);
        LBase.Assign(&P);
      } else {
        FillKR04Mixtures(P, LFixed, AOptions.MaxFlickering);
        LResult = ConvertFlicker2(LImage, AAbort, AOptions, &LScreen, P, LDark, LBright);
        LBase.Clear();
        LBase.AddColor(LFixed.Colors[LDark]);
        LBase.AddColor(LFixed.Colors[LBright]);
      }
      FillKR04Mixtures(P, LBase, AOptions.MaxFlickering);
      LBase.Assign(&LFixed);
      break;
    }
    case 10:
    case 11:
    case 17: {
      TKvPalette256 LHardware;
      if (AOptions.PaletteMode == 10)
        FillKR04Bright16(LHardware);
      else
        LHardware.FillRGB64();
      {
        TKvQuantization Q;
        if (AOptions.PaletteMode == 17)
          Q.QuantizeBoundedMasked(AAbort, LImage, 4, AOptions.MaxFlickering, false, AOptions.ColorDiffMethod, LBase,
                                  LFixed, &LHardware, AOptions.ColorMask);
        else
          Q.QuantizeBounded(AAbort, LImage, 4, AOptions.MaxFlickering, false, AOptions.ColorDiffMethod, LBase,
                            &LFixed, &LHardware);
      }
      if (LBase.Count > 4) RaiseOSError(87);
      // Mixtures counted over 4 base colours even when the quantization kept
      // fewer: the screen splits every value by 4.
      FillKR04Mixtures(P, LBase, AOptions.MaxFlickering);
      LImage.FitToPaletteGray(P);
      LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, P, nullptr);
      break;
    }
    default:
      RaiseOSError(87);
  }
  WriteEGAHeader(LData, AOptions, LBase);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformElektronikaKR04() {
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04EGAEngine>());
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04EGAGigaEngine>());
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04BRGBEngine>());
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>());
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04BWEngine>());
  RegisterDestEngine(DestEngineClass<TKvElektronikaKR04BWGigaEngine>());
}
