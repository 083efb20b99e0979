#include "platforms/KvSavePlatformZxSpectrum.h"

#include "core/KvDither.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "rtl/KvSysUtils.h"

// ---------------------------------------------------------------------------
// Standard screen

TKvZxSpectrumColorEngineOptions::TKvZxSpectrumColorEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumColorEngineOptions::UpdatePalette() {
  if (PaletteMode == 1)
    BuildZxPaletteSubset();
  else
    BuildZxPalette();
}

TKvZxSpectrumBWScreen::TKvZxSpectrumBWScreen(void* AData) : TKvCellScreen(256, 192, AData) {}

int TKvZxSpectrumBWScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return ((Data[ZxRowOffset(Y) + (X >> 3)] >> (7 - (X & 7))) & 1) ^ 1;
}

void TKvZxSpectrumBWScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[ZxRowOffset(Y) + (X >> 3)];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  if (AColor != 0)
    b &= static_cast<uint8_t>(~mask);
  else
    b |= mask;
}

TKvZxSpectrumColorEngineUI::TKvZxSpectrumColorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddZxPaletteSection(2051);  // "Black/white", "Gray", "Сolor"
  AddColorUsageSection(true);
  AddDitheringSection(false);
  // The colour usage only matters while "Сolor" (the third mode) is chosen.
  AddRelated(pcModeCombo, 2, pcColorUsageLabel, false);
  AddRelated(pcModeCombo, 2, pcColorUsageCombo, false);
}

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumColorEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                        TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                        TKvDestProgress& AProgress,
                                                        std::unique_ptr<TKvStreamList>& AStreams) {
  if (AOptions.PaletteMode == 0) {
    TKvImage LImage(ABitmap);
    AStreams = std::make_unique<TKvStreamList>();
    TKvZxSpectrumBWScreen LScreen(AStreams->NewStream("scr", ZxBitmapSize)->GetMemory());
    return LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  }
  AStreams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumColorScreen LScreen(AStreams->NewStream("scr", ZxScreenSize)->GetMemory());
  return ConvertZxColorCells(AAbort, ABitmap, AOptions.GetCellHeight(), AOptions, AProgress, LScreen);
}

// ---------------------------------------------------------------------------
// 8x2 multicolour

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumMultiColor2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumMultiColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumMultiColor2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumMultiColor2EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor2Engine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                   TKvPalette256*, TKvPalette256*,
                                                                   TKvDestEngineOptions& AOptions,
                                                                   TKvDestProgress& AProgress,
                                                                   std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumColorScreen LScreen(AStreams->NewStream("ifl", 9216)->GetMemory());
  return ConvertZxColorCells(AAbort, ABitmap, AOptions.GetCellHeight(), AOptions, AProgress, LScreen);
}

// ---------------------------------------------------------------------------
// Tricolour

TKvZxSpectrumTricolorEngineOptions::TKvZxSpectrumTricolorEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumTricolorEngineOptions::UpdatePalette() { BuildZxBrightPalette(); }

TKvZxSpectrumTricolorScreen::TKvZxSpectrumTricolorScreen(void* AData) : TKvScreen4(256, 192, AData) {}

int TKvZxSpectrumTricolorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  const int o = ZxRowOffset(Y) + (X >> 3), s = 7 - (X & 7);
  const int r = (Data[o] >> s) & 1, g = (Data[ZxBitmapSize + o] >> s) & 1, b = (Data[2 * ZxBitmapSize + o] >> s) & 1;
  return b | (r << 1) | (g << 2);
}

void TKvZxSpectrumTricolorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  const int o = ZxRowOffset(Y) + (X >> 3);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  auto put = [&](uint8_t& b, bool on) { b = on ? (b | mask) : (b & static_cast<uint8_t>(~mask)); };
  put(Data[o], (AColor & 2) != 0);
  put(Data[ZxBitmapSize + o], (AColor & 4) != 0);
  put(Data[2 * ZxBitmapSize + o], (AColor & 1) != 0);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumTricolorImage::ConvertTricolor(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                       TKvZxSpectrumTricolorScreen* ATarget) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  TKvPalette256& P = *AOptions.GetPalette();
  P.UpdateCache();
  const uint8_t LMethod = AOptions.DitherMethod, LDiff = AOptions.ColorDiffMethod;
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  auto LResult = std::make_unique<TKvBitmap4>(FWidth, FHeight, &P);
  bool LMirror = false;
  for (int y = 0; y < FHeight; ++y) {
    LResult->MirrorX = LMirror;
    if (ATarget) ATarget->MirrorX = LMirror;
    SetMirror(LMirror);
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvColor p = GetPixels(x, y);
      const int k = P.FindNearestByMetric(LDiff, *p);
      LResult->SetPixel(x, y, k);
      if (ATarget) ATarget->SetPixel(x, y, k);
      const TKvLinRGBColor o = p->GetLinRGB();
      const TKvLinRGBColor c = P.GetLinRGB(k);
      p->SetLinRGB(c);
      DiffuseError(x, y, LMethod,
                   TKvLinRGBColor{(o.R - c.R) * LStrength, (o.G - c.G) * LStrength, (o.B - c.B) * LStrength});
    }
    if (AOptions.Serpentine) LMirror = !LMirror;
  }
  SetMirror(false);
  LResult->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return LResult;
}

TKvZxSpectrumTricolorEngineUI::TKvZxSpectrumTricolorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumTricolorEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumTricolorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumTricolorEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumTricolorEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumTricolorEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                TKvPalette256*, TKvPalette256*,
                                                                TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                                std::unique_ptr<TKvStreamList>& AStreams) {
  TKvZxSpectrumTricolorImage LImage(ABitmap);
  AStreams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumTricolorScreen LScreen(AStreams->NewStream("rgb", 3 * ZxBitmapSize)->GetMemory());
  return LImage.ConvertTricolor(AAbort, AOptions, &LScreen);
}

// ---------------------------------------------------------------------------

// The interlaced and gigascreen modes take their places in this list: the two
// interlaced modes after "256x192x4", the five gigascreen modes after
// "256x192x4 Multicolor 8x2".
const std::vector<const TKvDestEngineClass*>& ZxSpectrumDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {
      &DestEngineClass<TKvZxSpectrumEngine>(),
      &DestEngineClass<TKvZxSpectrumMultiColor1Engine>(),
      &DestEngineClass<TKvZxSpectrumMultiColor2Engine>(),
      &DestEngineClass<TKvZxSpectrumTricolorEngine>(),
  };
  return LClasses;
}

void InitKvSavePlatformZxSpectrum() {
  for (const TKvDestEngineClass* c : ZxSpectrumDestEngineClasses()) RegisterDestEngine(*c);
}
