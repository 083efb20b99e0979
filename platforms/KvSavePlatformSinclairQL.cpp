#include "platforms/KvSavePlatformSinclairQL.h"

#include <cstring>

#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformSinclairQL.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxSwap.h"

// ---------------------------------------------------------------------------
// Screens

void TKvSinclairQL4Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  int v = AValue;
  switch (PaletteMode) {
    case 0: v = AValue ? 3 : 0; break;             // black, white
    case 2: v = AValue == 2 ? 3 : AValue; break;   // black, green, white
    case 3: v = AValue == 0 ? 0 : AValue + 1; break;  // black, red, white
    default: break;
  }
  uint8_t* p = Data + Y * 128 + 2 * (X / 8);
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  p[0] = static_cast<uint8_t>((v & 1) ? (p[0] | m) : (p[0] & ~m));
  p[1] = static_cast<uint8_t>((v & 2) ? (p[1] | m) : (p[1] & ~m));
}

TKvSinclairQL8Screen::TKvSinclairQL8Screen(void* AData, uint8_t APaletteMode)
    : TKvScreen4(256, 256, AData), PaletteMode(APaletteMode) {
  std::memset(AData, 0, 32768);
}

void TKvSinclairQL8Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  int v = AValue;
  if (PaletteMode == 0 && v > 0) v = 7;
  uint8_t* p = Data + Y * 128 + 2 * (X / 4);
  const uint8_t m = static_cast<uint8_t>(0x80 >> (2 * (X & 3)));
  const uint8_t m2 = static_cast<uint8_t>(m >> 1);
  p[0] = static_cast<uint8_t>(p[0] & ~(m | m2));
  if (v & 2) p[0] |= m;
  p[1] = static_cast<uint8_t>(p[1] & ~(m | m2));
  if (v & 4) p[1] |= m;
  if (v & 1) p[1] |= m2;
}

// ---------------------------------------------------------------------------
// Options and panels

TKvSinclairQL4EngineOptions::TKvSinclairQL4EngineOptions() {
  SetPixelAspect(7);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvSinclairQL8EngineOptions::TKvSinclairQL8EngineOptions() {
  SetPixelAspect(13);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvSinclairQLCustomEngineUI::TKvSinclairQLCustomEngineUI(TKvDestEngineOptions* AOptions, uint32_t AAspectSet,
                                                         uint32_t APaletteModeSet)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(AAspectSet);
  AddPaletteSeparator();
  AddPaletteModeSection(APaletteModeSet);
  AddDitheringSection(false);
}

TKvSinclairQL16EngineUI::TKvSinclairQL16EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(0);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Palettes and candidates

void BuildQLGD2Palette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int i = 0; i < 256; ++i) {
    int r, g, b;
    QLMode16Components(i, r, g, b);
    APalette.AddLinRGB({Std3ToLin(r), Std3ToLin(g), Std3ToLin(b)});
  }
  APalette.UpdateCache();
}

namespace {

// Upper before lower, red outermost.
void AddBoundCombinations(TKvPalette256& APalette, const double (&R)[2], const double (&G)[2], const double (&B)[2]) {
  for (double r : {R[1], R[0]})
    for (double g : {G[1], G[0]})
      for (double b : {B[1], B[0]}) APalette.AddLinRGB({r, g, b});
}

void FindStepLevel6Bounds(double AValue, int AFirst, double& ALow, double& AHigh) {
  const double* t = Level6Table;
  if (AValue <= t[AFirst]) {
    ALow = AHigh = t[AFirst];
    return;
  }
  if (AValue >= t[AFirst + 62]) {
    ALow = AHigh = t[AFirst + 62];
    return;
  }
  for (int i = 0; i <= 30; ++i)
    if (t[AFirst + 2 * i] <= AValue && AValue <= t[AFirst + 2 * i + 2]) {
      ALow = t[AFirst + 2 * i];
      AHigh = t[AFirst + 2 * i + 2];
      return;
    }
  RaiseOSError(87);
}

}  // namespace

void BuildQLMode32Candidates(TKvPalette256& APalette, const TKvLinRGBColor& AColor) {
  double R[2], G[2], B[2];
  FindLevel5Bounds(AColor.R, R[0], R[1]);
  FindLevel6Bounds(AColor.G, G[0], G[1]);
  FindLevel5Bounds(AColor.B, B[0], B[1]);
  APalette.Clear();
  AddBoundCombinations(APalette, R, G, B);
}

void FindEvenLevel6Bounds(double AValue, double& ALow, double& AHigh) { FindStepLevel6Bounds(AValue, 0, ALow, AHigh); }
void FindOddLevel6Bounds(double AValue, double& ALow, double& AHigh) { FindStepLevel6Bounds(AValue, 1, ALow, AHigh); }

void BuildQLMode33Candidates(TKvPalette256& APalette, const TKvLinRGBColor& AColor) {
  double R[2], G[2], B[2];
  APalette.Clear();
  FindEvenLevel6Bounds(AColor.R, R[0], R[1]);
  FindEvenLevel6Bounds(AColor.G, G[0], G[1]);
  FindEvenLevel6Bounds(AColor.B, B[0], B[1]);
  AddBoundCombinations(APalette, R, G, B);
  FindOddLevel6Bounds(AColor.R, R[0], R[1]);
  FindOddLevel6Bounds(AColor.G, G[0], G[1]);
  FindOddLevel6Bounds(AColor.B, B[0], B[1]);
  AddBoundCombinations(APalette, R, G, B);
}

// ---------------------------------------------------------------------------
// 16-bit dithering

std::unique_ptr<TKvBitmap24> TKvSinclairQL32Image::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                           TKvScreen16& ATarget) {
  return ConvertWords(AAbort, AOptions, ATarget, false);
}

std::unique_ptr<TKvBitmap24> TKvSinclairQL33Image::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                           TKvScreen16& ATarget) {
  return ConvertWords(AAbort, AOptions, ATarget, true);
}

std::unique_ptr<TKvBitmap24> TKvSinclairQL32Image::ConvertWords(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                TKvScreen16& ATarget, bool AMode33) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  TKvPalette256 LCandidates;
  auto LResult = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  bool LMirror = false;
  for (int y = 0; y < FHeight; ++y) {
    SetMirror(LMirror);
    LResult->MirrorX = LMirror;
    ATarget.MirrorX = LMirror;
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) ::Abort();
      PKvPixel p = GetPixels(x, y);
      const TKvLinRGBColor o = p->GetLinRGB();
      if (AMode33)
        BuildQLMode33Candidates(LCandidates, o);
      else
        BuildQLMode32Candidates(LCandidates, o);
      const int k = LCandidates.FindNearestByMetric(AOptions.ColorDiffMethod, *p);
      const TKvLinRGBColor c = LCandidates.GetLinRGB(k);
      p->SetLinRGB(c);
      LResult->SetPixel(x, y, static_cast<int>(LCandidates.GetRGBQuad(k)));
      if (AMode33) {
        const int R6 = LinToStd6(c.R), G6 = LinToStd6(c.G), B6 = LinToStd6(c.B);
        const int w = ((G6 & 62) << 10) | ((R6 & 62) << 5) | B6;
        ATarget.SetPixel(x, y, Swap16(static_cast<uint16_t>(w)));
      } else {
        ATarget.SetPixel(x, y, (LinToStd5(c.R) << 11) | (LinToStd6(c.G) << 5) | LinToStd5(c.B));
      }
      DiffuseError(x, y, AOptions.DitherMethod,
                   TKvLinRGBColor{(o.R - c.R) * LStrength, (o.G - c.G) * LStrength, (o.B - c.B) * LStrength});
    }
    if (AOptions.Serpentine) LMirror = !LMirror;
  }
  SetMirror(false);
  LResult->MirrorX = false;
  ATarget.MirrorX = false;
  return LResult;
}

// ---------------------------------------------------------------------------
// Conversions

std::unique_ptr<TKvBitmap> ConvertQLScreen(bool AMode8, bool* AAbort, TBitmap32& ABitmap,
                                           TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams) {
  // The screen has room for the mode's own picture size only.
  if (ABitmap.GetWidth() > (AMode8 ? 256 : 512) || ABitmap.GetHeight() > 256) RaiseOSError(87);
  TKvImage LImage(ABitmap);
  if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = AStreams->NewStream(AMode8 ? "scr8" : "scr4", 32768)->GetMemory();
  const uint8_t LMode = AOptions.PaletteMode;
  std::unique_ptr<TKvData> LScreen;
  if (AMode8)
    LScreen = std::make_unique<TKvSinclairQL8Screen>(LData, LMode);
  else
    LScreen = std::make_unique<TKvSinclairQL4Screen>(LData, LMode);
  if (LMode == 0) return LImage.ConvertBW(AAbort, AOptions, LScreen.get(), nullptr, 0, 1);
  TKvPalette256& LPalette = *AOptions.GetPalette();
  if (AMode8) {
    if (LMode != 11) RaiseOSError(87);
    LPalette.FillRGB8();
  } else {
    LPalette.Clear();
    switch (LMode) {
      case 2:
        LPalette.AddRGB(0, 0, 0);
        LPalette.AddRGB(0, 255, 0);
        LPalette.AddRGB(255, 255, 255);
        AOptions.SetUseAsGrayPalette(true);
        break;
      case 3:
        LPalette.AddRGB(0, 0, 0);
        LPalette.AddRGB(255, 0, 0);
        LPalette.AddRGB(255, 255, 255);
        AOptions.SetUseAsGrayPalette(true);
        break;
      case 11:
        LPalette.AddRGB(0, 0, 0);
        LPalette.AddRGB(0, 255, 0);
        LPalette.AddRGB(255, 0, 0);
        LPalette.AddRGB(255, 255, 255);
        break;
      default:
        RaiseOSError(87);
    }
  }
  return LImage.ConvertIndexed(AAbort, AOptions, LScreen.get(), LPalette, nullptr);
}

std::unique_ptr<TKvBitmap> ConvertQLPic(int AMode, bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                        std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth();
  const int H = ABitmap.GetHeight();
  if (AMode != 32) BuildQLGD2Palette(*AOptions.GetPalette());
  if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData =
      AStreams->NewStream("pic", static_cast<int>(QLPicFileSize(W, H, AMode)))->GetMemory();
  InitQLPicHeader(LData, W, H, AMode);
  if (AMode == 16) {
    TKvImage LImage(ABitmap);
    TKvScreen8 LScreen(W, H, LData + QLPicHeaderSize);
    return LImage.ConvertIndexed(AAbort, AOptions, &LScreen, *AOptions.GetPalette(), nullptr);
  }
  TKvScreen16 LScreen(W, H, LData + QLPicHeaderSize);
  if (AMode == 32) {
    TKvSinclairQL32Image LImage(ABitmap);
    return LImage.Convert(AAbort, AOptions, LScreen);
  }
  TKvSinclairQL33Image LImage(ABitmap);
  return LImage.Convert(AAbort, AOptions, LScreen);
}

void InitKvSavePlatformSinclairQL() {
  RegisterDestEngine(DestEngineClass<TKvSinclairQL4Engine>());
  RegisterDestEngine(DestEngineClass<TKvSinclairQL8Engine>());
  RegisterDestEngine(DestEngineClass<TKvSinclairQL16Engine>());
  RegisterDestEngine(DestEngineClass<TKvSinclairQL32Engine>());
  RegisterDestEngine(DestEngineClass<TKvSinclairQL33Engine>());
}
