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
    case pmBlackWhite:  // black, white
      v = AValue ? 3 : 0;
      break;
    case pmGrayGreen:  // black, green, white
      v = AValue == 2 ? 3 : AValue;
      break;
    case pmGrayRed:  // black, red, white
      v = AValue == 0 ? 0 : AValue + 1;
      break;
    default:
      break;
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
  if (PaletteMode == pmBlackWhite && v > 0) v = 7;
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

TKvSinclairQLCustomEngineUI::TKvSinclairQLCustomEngineUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects,
                                                         TKvPaletteModeSet AModes)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(AAspects);
  AddPaletteSeparator();
  AddPaletteModeSection(AModes);
  AddDitheringSection(false);
}

TKvSinclairQL16EngineUI::TKvSinclairQL16EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection();
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

std::unique_ptr<TKvBitmap> ConvertQLScreen(TKvConvertArgs& AArgs, bool AMode8) {
  TBitmap32& bitmap = AArgs.Bitmap;
  TKvDestEngineOptions& options = AArgs.Options;
  // The screen has room for the mode's own picture size only.
  if (bitmap.GetWidth() > (AMode8 ? 256 : 512) || bitmap.GetHeight() > 256) RaiseOSError(87);
  TKvImage image(bitmap);
  if (!AArgs.Streams) AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* data = AArgs.Streams->NewStream(AMode8 ? "scr8" : "scr4", 32768)->GetMemory();
  const uint8_t mode = options.PaletteMode;
  std::unique_ptr<TKvData> screen;
  if (AMode8)
    screen = std::make_unique<TKvSinclairQL8Screen>(data, mode);
  else
    screen = std::make_unique<TKvSinclairQL4Screen>(data, mode);
  if (mode == pmBlackWhite) return image.ConvertBW(AArgs.Abort, options, screen.get(), nullptr, 0, 1);
  TKvPalette256& palette = *options.GetPalette();
  if (AMode8) {
    if (mode != pmColor) RaiseOSError(87);
    palette.FillRGB8();
  } else {
    // Mode 4's colours in the order of their values (black, green, red,
    // white); each of the two gray ramps leaves one of green and red out.
    palette.Clear();
    if (mode != pmGrayGreen && mode != pmGrayRed && mode != pmColor) RaiseOSError(87);
    palette.AddRGB(0, 0, 0);
    if (mode != pmGrayRed) palette.AddRGB(0, 255, 0);
    if (mode != pmGrayGreen) palette.AddRGB(255, 0, 0);
    palette.AddRGB(255, 255, 255);
    if (mode != pmColor) options.SetUseAsGrayPalette(true);
  }
  return image.ConvertIndexed(AArgs.Abort, options, screen.get(), palette, nullptr);
}

std::unique_ptr<TKvBitmap> ConvertQLPic(TKvConvertArgs& AArgs, int AMode) {
  TBitmap32& bitmap = AArgs.Bitmap;
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = bitmap.GetWidth();
  const int height = bitmap.GetHeight();
  if (AMode != 32) BuildQLGD2Palette(*options.GetPalette());
  if (!AArgs.Streams) AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* data = AArgs.Streams->NewStream("pic", static_cast<int>(QLPicFileSize(width, height, AMode)))->GetMemory();
  InitQLPicHeader(data, width, height, AMode);
  if (AMode == 16) {
    TKvImage image(bitmap);
    TKvScreen8 screen(width, height, data + QLPicHeaderSize);
    return image.ConvertIndexed(AArgs.Abort, options, &screen, *options.GetPalette(), nullptr);
  }
  TKvScreen16 screen(width, height, data + QLPicHeaderSize);
  if (AMode == 32) {
    TKvSinclairQL32Image image(bitmap);
    return image.Convert(AArgs.Abort, options, screen);
  }
  TKvSinclairQL33Image image(bitmap);
  return image.Convert(AArgs.Abort, options, screen);
}

void InitKvSavePlatformSinclairQL() {
  RegisterDestEngines<TKvSinclairQL4Engine, TKvSinclairQL8Engine, TKvSinclairQL16Engine, TKvSinclairQL32Engine,
                      TKvSinclairQL33Engine>();
}
