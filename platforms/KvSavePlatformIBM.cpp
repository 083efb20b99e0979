#include "platforms/KvSavePlatformIBM.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "platforms/KvFixedPaletteSearch.h"
#include "shell/noxShellBaseExtension.h"

const TKvCGAColor CGAColors[CGAColorCount] = {
    {"Black", 0x00, 0x00, 0x00},   {"Low blue", 0x00, 0x00, 0xAA},    {"Low green", 0x00, 0xAA, 0x00},
    {"Low cyan", 0x00, 0xAA, 0xAA}, {"Low red", 0xAA, 0x00, 0x00},     {"Low magenta", 0xAA, 0x00, 0xAA},
    {"Brown", 0xAA, 0x55, 0x00},    {"Gray", 0xAA, 0xAA, 0xAA},        {"Blue", 0x55, 0x55, 0xFF},
    {"Green", 0x55, 0xFF, 0x55},    {"Cyan", 0x55, 0xFF, 0xFF},        {"Red", 0xFF, 0x55, 0x55},
    {"Magenta", 0xFF, 0x55, 0xFF},  {"Yellow", 0xFF, 0xFF, 0x55},      {"White", 0xFF, 0xFF, 0xFF},
};

void BuildCGAPalette(int AType, int ABorderIndex, TKvPalette256& APalette) {
  // Entries 1 to 3 of the palette types 43 to 48, as CGAColors indexes.
  static const uint8_t entries[6][3] = {{2, 4, 6}, {9, 11, 13}, {3, 5, 7}, {10, 12, 14}, {3, 4, 7}, {10, 11, 14}};
  if (AType < ptBackGreenRedYellowLow || AType > ptBackCyanRedWhiteHigh || ABorderIndex < 0 ||
      ABorderIndex >= CGAColorCount)
    RaiseOSError(86);
  APalette.Clear();
  const TKvCGAColor& b = CGAColors[ABorderIndex];
  APalette.AddRGB(b.R, b.G, b.B);
  for (uint8_t i : entries[AType - ptBackGreenRedYellowLow])
    APalette.AddRGB(CGAColors[i].R, CGAColors[i].G, CGAColors[i].B);
}

// ---------------------------------------------------------------------------
// Options

TKvCGAEngineOptions::TKvCGAEngineOptions() {
  SetPixelAspect(pa1_1p2);
  SetPaletteType(ptAuto);
  SetErrorDiffusion(90);
}

void TKvCGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& result = *GetPalette();
  result.Clear();
  if (PaletteType == ptAuto) return;
  BuildCGAPalette(PaletteType, BorderIndex, result);
}

TKvCGAMonoEngineOptions::TKvCGAMonoEngineOptions() {
  SetPixelAspect(pa1_2p4);
  SetErrorDiffusion(90);
}

TKvEGAEngineOptions::TKvEGAEngineOptions(TKvPixelAspect APixelAspect) {
  SetPixelAspect(APixelAspect);
  SetPaletteMode(pmColor);
  SetMaxColorCount(16);
  SetErrorDiffusion(90);
}

void TKvEGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*HardwarePalette).FillRGB64();
}

TKvVGAEngineOptions::TKvVGAEngineOptions(TKvPixelAspect APixelAspect, int AMaxColorCount) {
  SetPixelAspect(APixelAspect);
  SetPaletteMode(pmColor);
  SetMaxColorCount(AMaxColorCount);
  SetErrorDiffusion(90);
}

void TKvVGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateBits(6, 6, 6, false);
}

// ---------------------------------------------------------------------------
// Panels

TKvCGAUI::TKvCGAUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBoxEx();
  AddSectionItem(kinds, ptAuto, PaletteTypeNames[ptAuto]);
  SetSectionGlyph(kinds, 0, nullptr);
  TKvPalette256 glyph;
  for (int t = ptBackGreenRedYellowLow; t <= ptBackCyanRedWhiteHigh; ++t) {
    AddSectionItem(kinds, t, PaletteTypeNames[t]);
    BuildCGAPalette(t, 0, glyph);
    SetSectionGlyph(kinds, t - ptBackGreenRedYellowLow + 1, &glyph);
  }
  const int border = AddBorderColorComboBoxEx();
  for (int i = 0; i < CGAColorCount; ++i) {
    AddSectionItem(border, i, CGAColors[i].Name);
    glyph.Clear();
    glyph.AddRGB(CGAColors[i].R, CGAColors[i].G, CGAColors[i].B);
    SetSectionGlyph(border, i, &glyph);
  }
  AddDestPalette(4, 1, true);
  AddDitheringSection(false);
}

TKvCGAMonoUI::TKvCGAMonoUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(PixelAspects(pa1_2p4, pa1_2));
  AddDitheringSection(false);
}

TKvEGAUI::TKvEGAUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects, TKvPaletteModeSet AModes, int ARows)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AAspects);
  AddPaletteSeparator();
  AddPaletteModeSection(AModes);
  AddDestPalette(16, ARows, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvEGAUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AScratch.FillRGB64();
  AColumns = 0;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

constexpr uint8_t kCGAAutoTypes[3] = {ptBackGreenRedYellowHigh, ptBackCyanMagentaWhiteHigh, ptBackCyanRedWhiteHigh};

// Black/white and gray over the adapter's colours, shared by EGA and VGA:
// AGrays are the candidate grays, ALimit the most colours kept.
std::unique_ptr<TKvBitmap> ConvertIBMMono(bool* AAbort, TKvImage& AImage, TKvDestEngineOptions& AOptions, int ALimit,
                                          TKvPalette256* AGrays) {
  TKvPalette256& result = *AOptions.GetPalette();
  TKvPalette256& fixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> bitmap;
  if (!AGrays) {
    result.FillBlackWhite();
    int a = 0, b = 0;
    fixed.AddColorPair(&result, ALimit, a, b);
    bitmap = AImage.ConvertBW(AAbort, AOptions, nullptr, &fixed, a, b);
  } else {
    int dark = 0, bright = 0;
    if (TKvDestEngine::ReducePalette(AAbort, AImage, *AGrays, ALimit, AOptions, dark, bright))
      bitmap = AImage.ConvertIndexed(AAbort, AOptions, nullptr, result, &fixed);
    else
      bitmap = AImage.ConvertBW(AAbort, AOptions, nullptr, &fixed, dark, bright);
  }
  result.Assign(&fixed);
  return bitmap;
}

// The colour conversion of EGA and VGA: at most ALimit colours of AColors.
std::unique_ptr<TKvBitmap> ConvertIBMColor(bool* AAbort, TKvImage& AImage, TKvDestEngineOptions& AOptions,
                                           TKvPalette& AColors, int ALimit) {
  TKvDestEngine::QuantizePalette(AAbort, AImage, AColors, ALimit, AOptions);
  TKvPalette256& result = *AOptions.GetPalette();
  AImage.FitToPaletteGray(result);
  return AImage.ConvertIndexed(AAbort, AOptions, nullptr, result, nullptr);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvCGAEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvImage image(AArgs.Bitmap);
  if (options.PaletteType != ptAuto)
    return image.ConvertIndexed(AArgs.Abort, options, nullptr, *options.GetPalette(), nullptr);
  AdjustOnce(image, options);
  image.CacheColors();
  // The background is always black while searching: the border colour plays
  // no part in the choice.
  TKvFixedPaletteCandidates candidates;
  candidates.Count = 3;
  candidates.Build = [](int k, TKvPalette256& APalette) { BuildCGAPalette(kCGAAutoTypes[k - 1], 0, APalette); };
  const int k = SearchFixedPalette(AArgs.Abort, image, candidates, options);
  if (k < 1 || k > 3) RaiseInternalError();
  options.BeginUpdate();
  options.SetBorderIndex(0);
  options.SetPaletteType(ptBackCyanRedWhiteHigh);
  options.EndUpdate();
  TKvPalette256& palette = *options.GetPalette();
  BuildCGAPalette(kCGAAutoTypes[k - 1], 0, palette);
  image.FitToPaletteGray(palette);
  return image.ConvertIndexed(AArgs.Abort, options, nullptr, palette, nullptr);
}

std::unique_ptr<TKvBitmap> TKvCGAMonoEngine::Convert(TKvConvertArgs& AArgs) {
  TKvImage image(AArgs.Bitmap);
  return image.ConvertBW(AArgs.Abort, AArgs.Options, nullptr, nullptr, 0, 1);
}

std::unique_ptr<TKvBitmap> ConvertEGA(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256 ega;
  ega.FillRGB64();
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  // The adapter shows 16 colours whatever the colour count says.
  constexpr int kLimit = 16;
  switch (options.PaletteMode) {
    case pmBlackWhite:
      return ConvertIBMMono(AArgs.Abort, image, options, kLimit, nullptr);
    case pmGray: {
      TKvPalette256 grays;
      grays.FillGray4();
      options.GetPalette()->Assign(&grays);
      return ConvertIBMMono(AArgs.Abort, image, options, kLimit, &grays);
    }
    case pmColor:
    case pmCustom:
      return ConvertIBMColor(AArgs.Abort, image, options, ega, kLimit);
    default:
      RaiseOSError(87);
  }
}

std::unique_ptr<TKvBitmap> ConvertVGA(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  auto vga = TKvPaletteRGB::CreateBits(6, 6, 6, options.PaletteMode == pmGray);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  const int limit = options.MaxColorCount;
  switch (options.PaletteMode) {
    case pmBlackWhite:
      return ConvertIBMMono(AArgs.Abort, image, options, limit, nullptr);
    case pmGray:
      return ConvertIBMMono(AArgs.Abort, image, options, limit, vga->GrayPalette.get());
    case pmColor:
      return ConvertIBMColor(AArgs.Abort, image, options, *vga, limit);
    default:
      RaiseOSError(87);
  }
}

void InitKvSavePlatformIBM() {
  RegisterDestEngines<TKvCGAEngine, TKvCGAMonoEngine, TKvEGA320x200Engine, TKvEGA640x200Engine, TKvEGA640x350Engine,
                      TKvVGA320x200Engine, TKvVGA640x480Engine>();
}
