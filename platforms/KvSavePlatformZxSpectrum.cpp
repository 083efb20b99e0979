#include "platforms/KvSavePlatformZxSpectrum.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "core/KvDither.h"
#include "core/KvFlicker.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Standard screen

TKvZxSpectrumColorEngineUI::TKvZxSpectrumColorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddZxColorPanel(*this, PaletteModes(pmBlackWhite, pmGray, pmColor), 2, false);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  if (options.PaletteMode == pmBlackWhite) {
    TKvImage image(AArgs.Bitmap);
    TKvZxSpectrumBWScreen screen(AArgs.Streams->NewStream("scr", ZxBitmapSize)->GetMemory());
    return image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  }
  TKvZxSpectrumColorScreen screen(AArgs.Streams->NewStream("scr", ZxScreenSize)->GetMemory());
  return ConvertZxColorCells(AArgs, screen);
}

// ---------------------------------------------------------------------------
// 8x2 multicolour

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor2Engine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumColorScreen screen(AArgs.Streams->NewStream("ifl", 9216)->GetMemory());
  return ConvertZxColorCells(AArgs, screen);
}

// ---------------------------------------------------------------------------
// Tricolour

TKvZxSpectrumTricolorEngineOptions::TKvZxSpectrumTricolorEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumTricolorEngineOptions::UpdatePalette() { BuildZxBrightPalette(); }

TKvZxSpectrumTricolorScreen::TKvZxSpectrumTricolorScreen(void* AData) : TKvScreen4(256, 192, AData) {}

namespace {

// The red, green and blue planes of the tricolour screen.
constexpr int kTricolorRed = 0, kTricolorGreen = ZxBitmapSize, kTricolorBlue = 2 * ZxBitmapSize;

}  // namespace

int TKvZxSpectrumTricolorScreen::GetPixel(int X, int Y) {
  auto bit = [&](int APlane) { return ZxBitmapPixel(Data + APlane, MX(X), Y); };
  return bit(kTricolorBlue) | (bit(kTricolorRed) << 1) | (bit(kTricolorGreen) << 2);
}

void TKvZxSpectrumTricolorScreen::SetPixel(int X, int Y, int AColor) {
  auto put = [&](int APlane, bool AOn) { PutZxBitmapPixel(Data + APlane, MX(X), Y, AOn); };
  put(kTricolorRed, (AColor & 2) != 0);
  put(kTricolorGreen, (AColor & 4) != 0);
  put(kTricolorBlue, (AColor & 1) != 0);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumTricolorImage::ConvertTricolor(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                       TKvZxSpectrumTricolorScreen* ATarget) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  TKvPalette256& palette = *AOptions.GetPalette();
  palette.UpdateCache();
  const uint8_t method = AOptions.DitherMethod, diff = AOptions.ColorDiffMethod;
  const double strength = AOptions.ErrorDiffusion / 100.0;
  auto result = std::make_unique<TKvBitmap4>(FWidth, FHeight, &palette);
  bool mirror = false;
  for (int y = 0; y < FHeight; ++y) {
    result->MirrorX = mirror;
    if (ATarget) ATarget->MirrorX = mirror;
    SetMirror(mirror);
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel p = GetPixels(x, y);
      const int k = palette.FindNearestByMetric(diff, *p);
      result->SetPixel(x, y, k);
      if (ATarget) ATarget->SetPixel(x, y, k);
      const TKvLinRGBColor o = p->GetLinRGB();
      const TKvLinRGBColor c = palette.GetLinRGB(k);
      p->SetLinRGB(c);
      DiffuseError(x, y, method,
                   TKvLinRGBColor{(o.R - c.R) * strength, (o.G - c.G) * strength, (o.B - c.B) * strength});
    }
    if (AOptions.Serpentine) mirror = !mirror;
  }
  SetMirror(false);
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

TKvZxSpectrumTricolorEngineUI::TKvZxSpectrumTricolorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumTricolorEngine::Convert(TKvConvertArgs& AArgs) {
  TKvZxSpectrumTricolorImage image(AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumTricolorScreen screen(AArgs.Streams->NewStream("rgb", 3 * ZxBitmapSize)->GetMemory());
  return image.ConvertTricolor(AArgs.Abort, AArgs.Options, &screen);
}

// ---------------------------------------------------------------------------
// Interlaced

TKvZxSpectrumInterlacedEngineOptions::TKvZxSpectrumInterlacedEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
  SetPixelAspect(pa2_1);
}

void TKvZxSpectrumInterlacedEngineOptions::UpdatePalette() { BuildZxPalette(); }

TKvZxSpectrumInterlacedScreen::TKvZxSpectrumInterlacedScreen(void* AData) : TKvZxSpectrumColorScreen(384, AData) {
  // Bright white ink on black paper wherever nothing else is written.
  std::memset(AData, 0x47, 2 * ZxScreenSize);
}

int TKvZxSpectrumInterlacedScreen::GetPixel(int X, int Y) {
  return ZxBitmapPixel(Data + (Y & 1) * ZxScreenSize, MX(X), Y >> 1);
}

void TKvZxSpectrumInterlacedScreen::SetPixel(int X, int Y, int AColor) {
  PutZxBitmapPixel(Data + (Y & 1) * ZxScreenSize, MX(X), Y >> 1, AColor != 0);
}

void TKvZxSpectrumInterlacedScreen::SetAttr(int CellX, int CellY, int AAttr) {
  const int o = ZxBitmapSize + CellY * 32 + MCX(CellX);
  Data[o] = Data[ZxScreenSize + o] = static_cast<uint8_t>(AAttr);
}

int TKvZxSpectrumGigaInterlacedScreen::GetAttr(int CellX, int CellY) {
  const int screen = CellY >= 24 ? 1 : 0;
  return Data[screen * ZxScreenSize + ZxBitmapSize + (CellY - 24 * screen) * 32 + MCX(CellX)];
}

void TKvZxSpectrumGigaInterlacedScreen::SetAttr(int CellX, int CellY, int AAttr) {
  const int screen = CellY >= 24 ? 1 : 0;
  Data[screen * ZxScreenSize + ZxBitmapSize + (CellY - 24 * screen) * 32 + MCX(CellX)] = static_cast<uint8_t>(AAttr);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaInterlacedImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                    TKvDestProgress* AProgress,
                                                                    TKvCellScreen* ATarget) {
  if (!ATarget) RaiseInternalError();
  GigaStyle = AOptions.GigaStyle;
  BeginGiga(AOptions);
  auto rows = ConvertCells(AAbort, AOptions, AProgress, ATarget);
  rows->MirrorX = false;
  auto result = std::make_unique<TKvBitmap4>(2 * rows->Width, rows->Height, &PureColors);
  for (int y = 0; y < rows->Height; ++y)
    for (int x = 0; x < rows->Width; ++x) {
      const int v = rows->GetPixel(x, y);
      result->SetPixel(2 * x, y, v);
      result->SetPixel(2 * x + 1, y, v);
    }
  return result;
}

void TKvZxSpectrumGigaInterlacedImage::Prepare() {
  if (!FGrayMode && (ColorUsage == cuDarkOnly || ColorUsage == cuDarkOnlyForceBright))
    LimitGray(FPalette->GetLinGray(119));
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaInterlacedImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), 2 * GetHeight(), &PureColors);
}

TKvCellPaletteList* TKvZxSpectrumGigaInterlacedImage::CreatePaletteList() {
  return new TKvZxSpectrumGigascreenPaletteList(ColorUsage, *FPalette, GigaStyle == 1);
}

void TKvZxSpectrumGigaInterlacedImage::RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX,
                                                  int ACellY, const TRect& ARect, TKvCellPalette* ACellPalette) {
  if (!ACellPalette) RaiseInternalError();
  auto* c = static_cast<TKvZxSpectrumGigascreenPalette*>(ACellPalette);
  const bool force = ColorUsage == cuDarkOnlyForceBright;
  ATarget->SetAttr(ACellX, ACellY, ZxGigaAttribute(c->Paper1, c->Ink1, force));
  ATarget->SetAttr(ACellX, ACellY + 24, ZxGigaAttribute(c->Paper2, c->Ink2, force));
  DitherGigaCell(*c, ARect, [&](int x, int y, int, int code) {
    ATarget->SetPixel(x, 2 * y, ZxGigaCodeInk1(code));
    ATarget->SetPixel(x, 2 * y + 1, ZxGigaCodeInk2(code));
    AResult->SetPixel(x, 2 * y, ZxGigaCodeInk1(code) ? c->Ink1 : c->Paper1);
    AResult->SetPixel(x, 2 * y + 1, ZxGigaCodeInk2(code) ? c->Ink2 : c->Paper2);
  });
  if (GigaStyle == 1 || GigaStyle == 2) NormalizeInterlacedCell(AResult, ATarget, ACellX, ACellY, ARect);
  if (GigaStyle == 1) return;
  // Order the frames after the neighbours already written: the cell above,
  // then the previous cell of the row.
  TMeasures T, O;
  MeasureCell(ATarget, ACellX, ACellY, T);
  int answer = 0;
  if (ACellY > 0) {
    MeasureCell(ATarget, ACellX, ACellY - 1, O);
    answer = CompareWithUpper(T, O);
  }
  if (answer == 0 && ACellX > 0) {
    MeasureCell(ATarget, ACellX - 1, ACellY, O);
    answer = CompareWithLeft(T, O);
  }
  if (answer == 2) SwapCellFrames(AResult, ATarget, ACellX, ACellY);
}

void TKvZxSpectrumGigaInterlacedImage::NormalizeInterlacedCell(TKvBitmap* AResult, TKvCellScreen* ATarget,
                                                               int ACellX, int ACellY, const TRect& ARect) {
  int ch[4];
  // One attribute for both rows: the mixed pixels alternate by column.
  auto columns = [&](int x, int) { return ((x & 1) != 0) == FMirror; };
  const bool normal = PutNormalCell(ARect, false, ch, columns, [&](int x, int y, bool ink1, bool ink2) {
    ATarget->SetPixel(x, 2 * y, ink1);
    ATarget->SetPixel(x, 2 * y + 1, ink2);
    AResult->SetPixel(x, 2 * y, ink1 ? ch[1] : ch[0]);
    AResult->SetPixel(x, 2 * y + 1, ink2 ? ch[3] : ch[2]);
  });
  if (!normal) return;
  const bool force = ColorUsage == cuDarkOnlyForceBright;
  ATarget->SetAttr(ACellX, ACellY, ZxGigaAttribute(ch[0], ch[1], force));
  ATarget->SetAttr(ACellX, ACellY + 24, ZxGigaAttribute(ch[2], ch[3], force));
}

void TKvZxSpectrumGigaInterlacedImage::MeasureCell(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                   TMeasures& AMeasures) {
  int p1, i1, p2, i2;
  ZxGigaAttrColors(ATarget->GetAttr(ACellX, ACellY), p1, i1);
  ZxGigaAttrColors(ATarget->GetAttr(ACellX, ACellY + 24), p2, i2);
  const double gray[2][2] = {{PureColors.GetLinGray(p1), PureColors.GetLinGray(i1)},
                             {PureColors.GetLinGray(p2), PureColors.GetLinGray(i2)}};
  const int x0 = ACellX * 8, y0 = ACellY * 16;
  for (int f = 0; f < 8; ++f)
    for (int k = 0; k < 2; ++k) {
      const int row = y0 + 2 * f + k;
      int inks = 0;
      for (int x = x0; x < x0 + 8; ++x) inks += ATarget->GetPixel(x, row);
      AMeasures[8 * k + f] = (8 - inks) * gray[k][0] + inks * gray[k][1];
      AMeasures[16 + 8 * k + f] = gray[k][ATarget->GetPixel(x0, row)];
      AMeasures[32 + 8 * k + f] = gray[k][ATarget->GetPixel(x0 + 7, row)];
    }
  for (int i = 0; i < 8; ++i) {
    AMeasures[48 + i] = gray[0][ATarget->GetPixel(x0 + i, y0)];
    AMeasures[56 + i] = gray[1][ATarget->GetPixel(x0 + i, y0 + 15)];
  }
}

namespace {

// Squares of sums of measures: T[AT + i] with O[AO + i], i = 0..ACount-1 by
// AStep.
double PairScore(const double* T, int AT, const double* O, int AO, int ACount, int AStep) {
  double sum = 0;
  for (int i = 0; i < ACount; ++i) {
    const double v = T[AT + AStep * i] + O[AO + AStep * i];
    sum += v * v;
  }
  return sum;
}

}  // namespace

int TKvZxSpectrumGigaInterlacedImage::CompareWithLeft(const TMeasures& T, const TMeasures& O) {
  auto row = [&](int a, int b) { return PairScore(T, 8 * a, O, 8 * b, 8, 1); };
  auto column = [&](int a, int b) { return PairScore(T, 16 + 8 * a, O, 32 + 8 * b, 8, 1); };
  const double A = row(0, 0) + row(1, 1), C = row(0, 1) + row(1, 0);
  if (std::fabs(C - A) < 1e-5) {
    const double E = column(0, 0) + column(1, 1), G = column(0, 1) + column(1, 0);
    return std::fabs(G - E) < 1e-5 || E > G ? 2 : 1;
  }
  return A > C ? 2 : 1;
}

int TKvZxSpectrumGigaInterlacedImage::CompareWithUpper(const TMeasures& T, const TMeasures& O) {
  const double E = std::fabs(O[7] - T[0]) + std::fabs(O[15] - T[8]);
  const double D = std::fabs(O[15] - T[0]) + std::fabs(O[7] - T[8]);
  if (std::fabs(D - E) < 1e-5) {
    auto edge = [&](int p, int q) { return PairScore(T, 48 + (p == 0 ? 1 : 0), O, 56 + (q == 0 ? 1 : 0), 4, 2); };
    const double F = edge(0, 0) + edge(1, 1), H = edge(0, 1) + edge(1, 0);
    if (std::fabs(H - F) < 1e-5) return 0;
    return F > H ? 2 : 1;
  }
  return E > D ? 2 : 1;
}

void TKvZxSpectrumGigaInterlacedImage::SwapCellFrames(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX,
                                                      int ACellY) {
  const int a = ATarget->GetAttr(ACellX, ACellY);
  ATarget->SetAttr(ACellX, ACellY, ATarget->GetAttr(ACellX, ACellY + 24));
  ATarget->SetAttr(ACellX, ACellY + 24, a);
  for (int i = 0; i < 8; ++i) {
    const int r1 = ACellY * 16 + 2 * i, r2 = r1 + 1;
    for (int x = ACellX * 8; x < ACellX * 8 + 8; ++x) {
      const int b = ATarget->GetPixel(x, r1);
      ATarget->SetPixel(x, r1, ATarget->GetPixel(x, r2));
      ATarget->SetPixel(x, r2, b);
      if (!AResult) continue;
      const int v = AResult->GetPixel(x, r1);
      AResult->SetPixel(x, r1, AResult->GetPixel(x, r2));
      AResult->SetPixel(x, r2, v);
    }
  }
}

namespace {

// The palette block of the two-frame panels: the three ZX colour models,
// "Gray" and "Сolor", and the colours as ARows rows of 16.
void AddGigaPaletteSection(TKvDestEngineUIEx& AUI, int ARows) {
  AUI.AddPaletteSeparator();
  const int kinds = AUI.AddCustomPaletteComboBox();
  for (int t : {ptPulsar, ptColoredLinear, ptAlone}) AUI.AddSectionItem(kinds, t);
  AUI.AddPaletteModeSection(PaletteModes(pmGray, pmColor));
  AUI.AddDestPalette(16, ARows, true);
}

}  // namespace

TKvZxSpectrumGigaInterlacedEngineUI::TKvZxSpectrumGigaInterlacedEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddGigaPaletteSection(*this, 1);
  AddColorUsageSection(false);
  AddStyleSection();
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumInterlacedEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumInterlacedScreen screen(AArgs.Streams->NewStream("lce", 2 * ZxScreenSize)->GetMemory());
  if (options.PaletteMode == pmBlackWhite) {
    // Light pixels set the bit: the bright white ink of the filled attributes.
    TKvImage image(AArgs.Bitmap);
    return image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  }
  return ConvertZxColorCells(AArgs, screen);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaInterlacedEngine1::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  options.BuildZxGigaPalette(false);
  options.SetUseAsGrayPalette(options.PaletteMode == pmGray);
  TKvZxSpectrumGigaInterlacedImage image(options.GetCellWidth(), options.GetCellHeight(), AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumGigaInterlacedScreen screen(AArgs.Streams->NewStream("lce", 2 * ZxScreenSize)->GetMemory());
  auto result = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  options.BuildZxPalette();
  return result;
}

// ---------------------------------------------------------------------------
// Gigascreen

TKvZxSpectrumGigascreenEngineOptions::TKvZxSpectrumGigascreenEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetGigaCalculation(1);  // "Linear"
  SetMaxFlickering(100);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumGigascreenEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildZxGigaPalette(true);
}

void TKvZxSpectrumGigaInterlacedEngineOptions::UpdatePalette() { BuildZxPalette(); }

TKvZxSpectrumMultiGigascreen1EngineOptions::TKvZxSpectrumMultiGigascreen1EngineOptions() { SetDitherMethod(2); }

TKvZxSpectrumBWGigascreenEngineOptions::TKvZxSpectrumBWGigascreenEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetGigaCalculation(1);
  SetErrorDiffusion(90);
}

namespace {

constexpr int kMghBitmap1 = MghHeaderSize;
constexpr int kMghBitmap2 = MghHeaderSize + ZxBitmapSize;
constexpr int kMghAttributes = MghHeaderSize + 2 * ZxBitmapSize;  // 12544

}  // namespace

TKvZxSpectrumMultiGigascreenScreen::TKvZxSpectrumMultiGigascreenScreen(void* AData, int ACellHeight,
                                                                       TKvPalette256& AMixPalette,
                                                                       int32_t ABorderColor)
    : TKvZxSpectrumGigascreenScreen(AData), AttrCount(192 / ACellHeight * 32) {
  FBitmap1 = kMghBitmap1;
  FBitmap2 = kMghBitmap2;
  FAttr1 = kMghAttributes;
  FAttr2 = kMghAttributes + AttrCount;
  TKvPalette256 normal;
  for (int i = 0; i < 8; ++i) normal.AddColor(AMixPalette.Colors[i * 17]);
  const int border = normal.FindNearestStdRGB(StdRGBColor(static_cast<uint8_t>(ABorderColor >> 16),
                                                          static_cast<uint8_t>(ABorderColor >> 8),
                                                          static_cast<uint8_t>(ABorderColor)));
  InitMghHeader(*reinterpret_cast<uint8_t(*)[MghHeaderSize]>(AData), static_cast<uint8_t>(ACellHeight),
                static_cast<uint8_t>(border));
}

void TKvZxSpectrumMultiGigascreenScreen::CopyFrom(TKvZxSpectrumGigascreenScreen& AScreen) {
  AScreen.MirrorX = false;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      SetPixel(x, y, AScreen.GetPixel(x, y));
      SetPixel2(x, y, AScreen.GetPixel2(x, y));
    }
  for (int cy = 0; cy < 24; ++cy)
    for (int cx = 0; cx < 32; ++cx) {
      SetAttr(cx, cy, AScreen.GetAttr(cx, cy));
      SetAttr2(cx, cy, AScreen.GetAttr2(cx, cy));
    }
}

int TKvZxSpectrumMultiGigascreen1Screen::AttrOffset(int ABlock, int CellX, int CellY) const {
  const int cx = MCX(CellX);
  if (cx >= 8 && cx <= 23) return (ABlock ? 15616 : 12544) + CellY * 16 + (cx - 8);
  return (ABlock ? 19072 : 18688) + CellY * 16 + (cx < 8 ? cx : cx - 16);
}

int TKvZxSpectrumMultiGigascreen1Screen::GetAttr(int CellX, int CellY) { return Data[AttrOffset(0, CellX, CellY)]; }
void TKvZxSpectrumMultiGigascreen1Screen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[AttrOffset(0, CellX, CellY)] = static_cast<uint8_t>(AAttr);
}
int TKvZxSpectrumMultiGigascreen1Screen::GetAttr2(int CellX, int CellY) { return Data[AttrOffset(1, CellX, CellY)]; }
void TKvZxSpectrumMultiGigascreen1Screen::SetAttr2(int CellX, int CellY, int AAttr) {
  Data[AttrOffset(1, CellX, CellY)] = static_cast<uint8_t>(AAttr);
}

int64_t TKvZxSpectrumMultiGigascreen1Image::CellOrder(int X, int Y) const {
  const int row = Y / 8, c = X / 8;
  int at;
  if (c < 8)
    at = c;
  else if (c < 24)
    at = 8 + (Y % 8) * 16 + (c - 8);
  else
    at = 8 + 128 + (c - 24);
  return static_cast<int64_t>(row) * 144 + at;
}

void TKvZxSpectrumMultiGigascreen1Image::DiffuseRenderError(int X, int Y, const TKvLinRGBColor& AError) {
  // The cells of a character row are not solved in scan order, so the cell
  // order decides which shares wait for a later cell.
  ForEachDitherTap(FDitherMethod, X, Y, FWidth, FHeight, [&](int nx, int ny, auto share) {
    TKvLinRGBColor s{share(AError.R), share(AError.G), share(AError.B)};
    if (CellOrder(nx, ny) > FCurrentOrder) {
      TKvLinRGBColor* e = GetDiffusion()->GetDiffusion(nx, ny);
      e->R += s.R;
      e->G += s.G;
      e->B += s.B;
      return;
    }
    if (FLimitErrorInsideBlock) {
      const TKvLinRGBColor r = *GetRanges()->GetRange(FCellX, FCellY);
      s = {s.R * r.R, s.G * r.G, s.B * r.B};
    }
    PKvPixel p = GetPixels(nx, ny);
    const TKvLinRGBColor v = p->GetLinRGB();
    p->SetLinRGB({v.R + s.R, v.G + s.G, v.B + s.B});
  });
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen1Image::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                      TKvDestProgress* AProgress,
                                                                      TKvCellScreen* ATarget) {
  // The column groups need the full width; any whole number of character
  // rows up to the screen's 24 is solved.
  if (!dynamic_cast<TKvCellGigaScreen*>(ATarget) || FWidth != 256 || FHeight % 8 != 0 || FHeight > 192)
    RaiseInternalError();
  BeginGiga(AOptions);
  return ConvertCells(AAbort, AOptions, AProgress, ATarget);
}

void TKvZxSpectrumMultiGigascreen1Image::WalkCells(TKvBitmap* AResult, TKvCellScreen* ATarget) {
  const int rows = FHeight / 8;
  const int total = rows * (8 + 16 * 8 + 8);
  int done = 0;
  // The side cells are 8x8 cells with the error limits on, the middle ones
  // 8x1 cells without them.
  auto cell = [&](int c, int top, int height, int cellY, bool limits) {
    if (Aborted()) Abort();
    FLimitErrorInsideBlock = limits;
    FLimitErrorAtBlockBoundary = limits;
    FCellX = c;
    FCellY = cellY;
    FCurrentOrder = CellOrder(8 * c, top);
    SolveGigaCell(AResult, ATarget, c, cellY, TRect{8 * c, top, 8 * c + 8, top + height});
    ++done;
    if (FProgress) ReportProgress(FProgress, total, done);
  };
  for (int row = 0; row < rows; ++row) {
    BeginCellRow(AResult, ATarget);
    // The side cells keep their pixels until their own search (the middle
    // cells defer what they spread into them), so they are searched ahead.
    FLimitErrorAtBlockBoundary = true;
    FRowRects.assign(32, TRect{});
    for (int c : {0, 1, 2, 3, 4, 5, 6, 7, 24, 25, 26, 27, 28, 29, 30, 31})
      FRowRects[static_cast<size_t>(c)] = TRect{8 * c, 8 * row, 8 * c + 8, 8 * row + 8};
    PrepareRowSearches(row, FRowRects);
    for (int c = 0; c < 8; ++c) cell(c, 8 * row, 8, row, true);
    for (int r = 0; r < 8; ++r)
      for (int c = 8; c < 24; ++c) cell(c, 8 * row + r, 1, 8 * row + r, false);
    for (int c = 24; c < 32; ++c) cell(c, 8 * row, 8, row, true);
    if (FSerpentine) FMirror = !FMirror;
  }
}

TKvZxSpectrumBWGigascreenScreen::TKvZxSpectrumBWGigascreenScreen(void* AData) : TKvScreen2(256, 192, AData) {}

void TKvZxSpectrumBWGigascreenScreen::SetPixel(int X, int Y, int AColor) {
  // A set bit is dark.
  PutZxBitmapPixel(Data, MX(X), Y, (AColor & 1) == 0);
  PutZxBitmapPixel(Data + ZxBitmapSize, MX(X), Y, (AColor & 2) == 0);
}

TKvZxSpectrumGigascreenEngineUI::TKvZxSpectrumGigascreenEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddGigaPaletteSection(*this, 16);  // the 256 mixtures
  AddCalculationSection();
  AddColorUsageSection(false);
  AddMaxFlickeringSection();
  AddSafeModeCheckBox();
  AddDitheringSection(false);
}

TKvZxSpectrumBWGigascreenEngineUI::TKvZxSpectrumBWGigascreenEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

namespace {

// The colour gigascreen conversion into ATarget, with the options' palette
// built for solving and rebuilt for display afterwards.
std::unique_ptr<TKvBitmap> ConvertGigascreen(TKvZxSpectrumGigascreenImage& AImage, TKvConvertArgs& AArgs,
                                             TKvCellScreen& ATarget, const std::function<void()>& AAfter = {}) {
  TKvDestEngineOptions& options = AArgs.Options;
  options.BuildZxGigaPalette(false);
  options.SetUseAsGrayPalette(options.PaletteMode == pmGray);
  auto result = AImage.Convert(AArgs.Abort, options, &AArgs.Progress, &ATarget);
  if (AAfter) AAfter();
  options.BuildZxGigaPalette(true);
  return result;
}

// "mg4", "mg2": one MGH file of the options' cell height.
std::unique_ptr<TKvBitmap> ConvertMultiGigascreen(TKvConvertArgs& AArgs, const char* AExt) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int h = options.GetCellHeight();
  TKvZxSpectrumGigascreenImage image(8, h, AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = AArgs.Streams->NewStream(AExt, kMghAttributes + 2 * (192 / h * 32));
  options.BuildZxGigaPalette(false);
  TKvZxSpectrumMultiGigascreenScreen screen(stream->GetMemory(), h, *options.GetPalette(), options.BorderColor);
  return ConvertGigascreen(image, AArgs, screen);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvZxSpectrumBWGigascreenEngine::Convert(TKvConvertArgs& AArgs) {
  TKvImage image(AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumBWGigascreenScreen screen(AArgs.Streams->NewStream("lcm", 2 * ZxBitmapSize)->GetMemory());
  return ConvertBWFlicker(image, AArgs.Abort, AArgs.Options, &screen);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigascreenEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvZxSpectrumGigascreenImage image(8, options.GetCellHeight(), AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStreamList& streams = *AArgs.Streams;
  TKvZxSpectrumGigascreenScreen screen(streams.NewStream("img", 2 * ZxScreenSize)->GetMemory());
  return ConvertGigascreen(image, AArgs, screen, [&] {
    // The same two frames as an MGH file of 8x8 cells.
    TKvStream* mg8 = streams.NewStream("mg8", kMghAttributes + 2 * ZxAttrSize);
    TKvZxSpectrumMultiGigascreenScreen mgh(mg8->GetMemory(), 8, *options.GetPalette(), options.BorderColor);
    mgh.CopyFrom(screen);
  });
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen4Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertMultiGigascreen(AArgs, "mg4");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen2Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertMultiGigascreen(AArgs, "mg2");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen1Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvZxSpectrumMultiGigascreen1Image image(8, 8, AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = AArgs.Streams->NewStream("mg1", 19456);
  options.BuildZxGigaPalette(false);
  TKvZxSpectrumMultiGigascreen1Screen screen(stream->GetMemory(), 1, *options.GetPalette(), options.BorderColor);
  return ConvertGigascreen(image, AArgs, screen);
}

// ---------------------------------------------------------------------------

const std::vector<const TKvDestEngineClass*>& ZxSpectrumDestEngineClasses() {
  return DestEngineClasses<TKvZxSpectrumEngine, TKvZxSpectrumInterlacedEngine, TKvZxSpectrumGigaInterlacedEngine1,
                           TKvZxSpectrumMultiColor1Engine, TKvZxSpectrumMultiColor2Engine,
                           TKvZxSpectrumBWGigascreenEngine, TKvZxSpectrumGigascreenEngine,
                           TKvZxSpectrumMultiGigascreen4Engine, TKvZxSpectrumMultiGigascreen2Engine,
                           TKvZxSpectrumMultiGigascreen1Engine, TKvZxSpectrumTricolorEngine>();
}

void InitKvSavePlatformZxSpectrum() { RegisterDestEngines(ZxSpectrumDestEngineClasses()); }
