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

TKvIBMEngineOptions::TKvIBMEngineOptions(TKvPixelAspect APixelAspect) {
  SetPixelAspect(APixelAspect);
  SetErrorDiffusion(90);
}

TKvCGAEngineOptions::TKvCGAEngineOptions() : TKvIBMEngineOptions(pa1_1p2) { SetPaletteType(ptAuto); }

void TKvCGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& result = *GetPalette();
  result.Clear();
  if (PaletteType == ptAuto) return;
  BuildCGAPalette(PaletteType, BorderIndex, result);
}

TKvEGAEngineOptions::TKvEGAEngineOptions(TKvPixelAspect APixelAspect) : TKvIBMEngineOptions(APixelAspect) {
  SetPaletteMode(pmColor);
  SetMaxColorCount(16);
}

void TKvEGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*HardwarePalette).FillRGB64();
}

TKvVGAEngineOptions::TKvVGAEngineOptions(TKvPixelAspect APixelAspect, int AMaxColorCount)
    : TKvIBMEngineOptions(APixelAspect) {
  SetPaletteMode(pmColor);
  SetMaxColorCount(AMaxColorCount);
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
  if (!PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Has(options.PaletteMode)) RaiseOSError(87);
  TKvPalette256 ega;
  ega.FillRGB64();
  TKvPalette256 grays;
  grays.FillGray4();
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  if (options.PaletteMode == pmGray) options.GetPalette()->Assign(&grays);
  // The adapter shows 16 colours whatever the colour count says.
  return TKvDestEngine::ConvertChosenColors(AArgs.Abort, image, nullptr, &grays, ega, 16, options);
}

std::unique_ptr<TKvBitmap> ConvertVGA(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  if (!PaletteModes(pmBlackWhite, pmGray, pmColor).Has(options.PaletteMode)) RaiseOSError(87);
  auto vga = TKvPaletteRGB::CreateBits(6, 6, 6, options.PaletteMode == pmGray);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  return TKvDestEngine::ConvertChosenColors(AArgs.Abort, image, nullptr, vga->GrayPalette.get(), *vga,
                                            options.MaxColorCount, options);
}

void InitKvSavePlatformIBM() {
  RegisterDestEngines<TKvCGAEngine, TKvCGAMonoEngine, TKvEGA320x200Engine, TKvEGA640x200Engine, TKvEGA640x350Engine,
                      TKvVGA320x200Engine, TKvVGA640x480Engine>();
}
