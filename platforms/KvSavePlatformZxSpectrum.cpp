#include "platforms/KvSavePlatformZxSpectrum.h"

#include <functional>

#include "core/KvDither.h"
#include "core/KvFlicker.h"
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
// Gigascreen

TKvZxSpectrumGigascreenEngineOptions::TKvZxSpectrumGigascreenEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
  SetGigaCalculation(1);  // "Linear"
  SetMaxFlickering(100);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumGigascreenEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildZxGigaPalette(true);
}

TKvZxSpectrumMultiGigascreen1EngineOptions::TKvZxSpectrumMultiGigascreen1EngineOptions() { SetDitherMethod(2); }

TKvZxSpectrumBWGigascreenEngineOptions::TKvZxSpectrumBWGigascreenEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
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
    PKvColor p = GetPixels(nx, ny);
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
  struct TWorkOptionsGuard {
    std::unique_ptr<TKvDestEngineOptions>& Options;
    ~TWorkOptionsGuard() { Options.reset(); }
  } guard{FWorkOptions};
  PrepareConversion(AAbort, AOptions, AProgress, true);
  FPaletteList = CreatePaletteList();
  std::unique_ptr<TKvBitmap> result;
  try {
    result = CreateResult();
    const int rows = FHeight / 8;
    const int total = rows * (8 + 16 * 8 + 8);
    int done = 0;
    FMirror = false;
    auto cell = [&](int c, int top, int height, int cellY, bool limits) {
      if (Aborted()) Abort();
      FLimitErrorInsideBlock = limits;
      FLimitErrorAtBlockBoundary = limits;
      FCellX = c;
      FCellY = cellY;
      FCurrentOrder = CellOrder(8 * c, top);
      const TRect r{8 * c, top, 8 * c + 8, top + height};
      TKvCellPalette* candidate = nullptr;
      SolveCell(c, cellY, r, candidate);
      RenderCell(result.get(), ATarget, c, cellY, r, candidate);
      ++done;
      if (FProgress) ReportProgress(FProgress, total, done);
    };
    for (int row = 0; row < rows; ++row) {
      BeginCellRow(result.get(), ATarget);
      for (int c = 0; c < 8; ++c) cell(c, 8 * row, 8, row, true);
      for (int r = 0; r < 8; ++r)
        for (int c = 8; c < 24; ++c) cell(c, 8 * row + r, 1, 8 * row + r, false);
      for (int c = 24; c < 32; ++c) cell(c, 8 * row, 8, row, true);
      if (FSerpentine) FMirror = !FMirror;
    }
    result->MirrorX = false;
    ATarget->MirrorX = false;
  } catch (...) {
    FreePaletteList(FPaletteList);
    throw;
  }
  FreePaletteList(FPaletteList);
  return result;
}

TKvZxSpectrumBWGigascreenScreen::TKvZxSpectrumBWGigascreenScreen(void* AData) : TKvScreen2(256, 192, AData) {}

void TKvZxSpectrumBWGigascreenScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  const int o = ZxRowOffset(Y) + (X >> 3);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  auto put = [mask](uint8_t& b, bool light) { b = light ? (b & static_cast<uint8_t>(~mask)) : (b | mask); };
  put(Data[o], (AColor & 1) != 0);
  put(Data[ZxBitmapSize + o], (AColor & 2) != 0);
}

TKvZxSpectrumGigascreenEngineUI::TKvZxSpectrumGigascreenEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  for (int t : {ptPulsar, ptColoredLinear, ptAlone}) AddSectionItem(kinds, t);
  AddPaletteModeSection(2050);  // "Gray", "Сolor"
  AddDestPalette(16, 16, true);
  AddColorUsageSection(false);
  AddMaxFlickeringSection();
  AddSafeModeCheckBox();
  AddDitheringSection(false);
}

TKvZxSpectrumBWGigascreenEngineUI::TKvZxSpectrumBWGigascreenEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
}

namespace {

// The colour gigascreen conversion into ATarget, with the options' palette
// built for solving and rebuilt for display afterwards.
std::unique_ptr<TKvBitmap> ConvertGigascreen(TKvZxSpectrumGigascreenImage& AImage, bool* AAbort,
                                             TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                             TKvCellScreen& ATarget, const std::function<void()>& AAfter = {}) {
  AOptions.BuildZxGigaPalette(false);
  AOptions.SetUseAsGrayPalette(AOptions.PaletteMode == 1);
  auto result = AImage.Convert(AAbort, AOptions, &AProgress, &ATarget);
  if (AAfter) AAfter();
  AOptions.BuildZxGigaPalette(true);
  return result;
}

// "mg4", "mg2": one MGH file of the options' cell height.
std::unique_ptr<TKvBitmap> ConvertMultiGigascreen(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                                  TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams,
                                                  const char* AExt) {
  const int h = AOptions.GetCellHeight();
  TKvZxSpectrumGigascreenImage LImage(8, h, ABitmap);
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream(AExt, kMghAttributes + 2 * (192 / h * 32));
  AOptions.BuildZxGigaPalette(false);
  TKvZxSpectrumMultiGigascreenScreen LScreen(LStream->GetMemory(), h, *AOptions.GetPalette(), AOptions.BorderColor);
  return ConvertGigascreen(LImage, AAbort, AOptions, AProgress, LScreen);
}

}  // namespace

#define KV_ZX_GIGA_ENGINE_CLASS(Engine, Options, UI)                                       \
  std::unique_ptr<TKvDestEngineUI> Engine::CreateUI(TKvDestEngineOptions* AOptions) {      \
    return std::make_unique<UI>(AOptions);                                                  \
  }                                                                                         \
  std::unique_ptr<TKvDestEngineOptions> Engine::CreateOptions() {                           \
    return TKvDestEngineOptions::Create<Options>();                                         \
  }

KV_ZX_GIGA_ENGINE_CLASS(TKvZxSpectrumBWGigascreenEngine, TKvZxSpectrumBWGigascreenEngineOptions,
                        TKvZxSpectrumBWGigascreenEngineUI)
KV_ZX_GIGA_ENGINE_CLASS(TKvZxSpectrumGigascreenEngine, TKvZxSpectrumGigascreenEngineOptions,
                        TKvZxSpectrumGigascreenEngineUI)
KV_ZX_GIGA_ENGINE_CLASS(TKvZxSpectrumMultiGigascreen4Engine, TKvZxSpectrumMultiGigascreen4EngineOptions,
                        TKvZxSpectrumGigascreenEngineUI)
KV_ZX_GIGA_ENGINE_CLASS(TKvZxSpectrumMultiGigascreen2Engine, TKvZxSpectrumMultiGigascreen2EngineOptions,
                        TKvZxSpectrumGigascreenEngineUI)
KV_ZX_GIGA_ENGINE_CLASS(TKvZxSpectrumMultiGigascreen1Engine, TKvZxSpectrumMultiGigascreen1EngineOptions,
                        TKvZxSpectrumGigascreenEngineUI)
#undef KV_ZX_GIGA_ENGINE_CLASS

std::unique_ptr<TKvBitmap> TKvZxSpectrumBWGigascreenEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                    TKvPalette256*, TKvPalette256*,
                                                                    TKvDestEngineOptions& AOptions,
                                                                    TKvDestProgress&,
                                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  TKvImage LImage(ABitmap);
  AStreams = std::make_unique<TKvStreamList>();
  TKvZxSpectrumBWGigascreenScreen LScreen(AStreams->NewStream("lcm", 2 * ZxBitmapSize)->GetMemory());
  return ConvertBWFlicker(LImage, AAbort, AOptions, &LScreen);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigascreenEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                                  TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                                  TKvDestProgress& AProgress,
                                                                  std::unique_ptr<TKvStreamList>& AStreams) {
  TKvZxSpectrumGigascreenImage LImage(8, AOptions.GetCellHeight(), ABitmap);
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LImg = AStreams->NewStream("img", 2 * ZxScreenSize);
  TKvZxSpectrumGigascreenScreen LScreen(LImg->GetMemory());
  TKvStreamList& LStreams = *AStreams;
  return ConvertGigascreen(LImage, AAbort, AOptions, AProgress, LScreen, [&] {
    // The same two frames as an MGH file of 8x8 cells.
    TKvStream* LMg8 = LStreams.NewStream("mg8", kMghAttributes + 2 * ZxAttrSize);
    TKvZxSpectrumMultiGigascreenScreen LMgh(LMg8->GetMemory(), 8, *AOptions.GetPalette(), AOptions.BorderColor);
    LMgh.CopyFrom(LScreen);
  });
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen4Engine::Convert(
    bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*, TKvDestEngineOptions& AOptions,
    TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  return ConvertMultiGigascreen(AAbort, ABitmap, AOptions, AProgress, AStreams, "mg4");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen2Engine::Convert(
    bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*, TKvDestEngineOptions& AOptions,
    TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  return ConvertMultiGigascreen(AAbort, ABitmap, AOptions, AProgress, AStreams, "mg2");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiGigascreen1Engine::Convert(
    bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*, TKvDestEngineOptions& AOptions,
    TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  TKvZxSpectrumMultiGigascreen1Image LImage(8, 8, ABitmap);
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream("mg1", 19456);
  AOptions.BuildZxGigaPalette(false);
  TKvZxSpectrumMultiGigascreen1Screen LScreen(LStream->GetMemory(), 1, *AOptions.GetPalette(), AOptions.BorderColor);
  return ConvertGigascreen(LImage, AAbort, AOptions, AProgress, LScreen);
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
      &DestEngineClass<TKvZxSpectrumBWGigascreenEngine>(),
      &DestEngineClass<TKvZxSpectrumGigascreenEngine>(),
      &DestEngineClass<TKvZxSpectrumMultiGigascreen4Engine>(),
      &DestEngineClass<TKvZxSpectrumMultiGigascreen2Engine>(),
      &DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(),
      &DestEngineClass<TKvZxSpectrumTricolorEngine>(),
  };
  return LClasses;
}

void InitKvSavePlatformZxSpectrum() {
  for (const TKvDestEngineClass* c : ZxSpectrumDestEngineClasses()) RegisterDestEngine(*c);
}
