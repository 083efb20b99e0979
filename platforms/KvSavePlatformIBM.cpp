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
  static const uint8_t LEntries[6][3] = {{2, 4, 6}, {9, 11, 13}, {3, 5, 7}, {10, 12, 14}, {3, 4, 7}, {10, 11, 14}};
  if (AType < ptBackGreenRedYellowLow || AType > ptBackCyanRedWhiteHigh || ABorderIndex < 0 ||
      ABorderIndex >= CGAColorCount)
    RaiseOSError(86);
  APalette.Clear();
  const TKvCGAColor& b = CGAColors[ABorderIndex];
  APalette.AddRGB(b.R, b.G, b.B);
  for (uint8_t i : LEntries[AType - ptBackGreenRedYellowLow]) APalette.AddRGB(CGAColors[i].R, CGAColors[i].G, CGAColors[i].B);
}

// ---------------------------------------------------------------------------
// Options

TKvCGAEngineOptions::TKvCGAEngineOptions() {
  SetPixelAspect(8);
  SetPaletteType(ptAuto);
  SetErrorDiffusion(90);
}

void TKvCGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LResult = *GetPalette();
  LResult.Clear();
  if (PaletteType == ptAuto) return;
  BuildCGAPalette(PaletteType, BorderIndex, LResult);
}

TKvCGAMonoEngineOptions::TKvCGAMonoEngineOptions() {
  SetPixelAspect(0);
  SetErrorDiffusion(90);
}

TKvEGAEngineOptions::TKvEGAEngineOptions(uint8_t APixelAspect) {
  SetPixelAspect(APixelAspect);
  SetPaletteMode(11);
  SetMaxColorCount(16);
  SetErrorDiffusion(90);
}

void TKvEGAEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*HardwarePalette).FillRGB64();
}

TKvVGAEngineOptions::TKvVGAEngineOptions(uint8_t APixelAspect, int AMaxColorCount) {
  SetPixelAspect(APixelAspect);
  SetPaletteMode(11);
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
  AddPositionSection(0);
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBoxEx();
  AddSectionItem(LKinds, ptAuto, PaletteTypeNames[ptAuto]);
  SetSectionGlyph(LKinds, 0, nullptr);
  TKvPalette256 LPalette;
  for (int t = ptBackGreenRedYellowLow; t <= ptBackCyanRedWhiteHigh; ++t) {
    AddSectionItem(LKinds, t, PaletteTypeNames[t]);
    BuildCGAPalette(t, 0, LPalette);
    SetSectionGlyph(LKinds, t - ptBackGreenRedYellowLow + 1, &LPalette);
  }
  const int LBorder = AddBorderColorComboBoxEx();
  for (int i = 0; i < CGAColorCount; ++i) {
    AddSectionItem(LBorder, i, CGAColors[i].Name);
    LPalette.Clear();
    LPalette.AddRGB(CGAColors[i].R, CGAColors[i].G, CGAColors[i].B);
    SetSectionGlyph(LBorder, i, &LPalette);
  }
  AddDestPalette(4, 1, true);
  AddDitheringSection(false);
}

TKvCGAMonoUI::TKvCGAMonoUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(3);  // "1:2.4", "1:2", "1:1"
  AddDitheringSection(false);
}

TKvEGAUI::TKvEGAUI(TKvDestEngineOptions* AOptions, uint32_t AAspectSet, uint32_t AModeSet, int ARows)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AAspectSet);
  AddPaletteSeparator();
  AddPaletteModeSection(AModeSet);
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
  TKvPalette256& LResult = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LBitmap;
  if (!AGrays) {
    LResult.FillBlackWhite();
    int A = 0, B = 0;
    LFixed.AddColorPair(&LResult, ALimit, A, B);
    LBitmap = AImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, A, B);
  } else {
    int LDark = 0, LBright = 0;
    if (TKvDestEngine::ReducePalette(AAbort, AImage, *AGrays, ALimit, AOptions, LDark, LBright))
      LBitmap = AImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, &LFixed);
    else
      LBitmap = AImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, LDark, LBright);
  }
  LResult.Assign(&LFixed);
  return LBitmap;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvCGAEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                 TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                 std::unique_ptr<TKvStreamList>&) {
  TKvImage LImage(ABitmap);
  if (AOptions.PaletteType != ptAuto) return LImage.ConvertIndexed(AAbort, AOptions, nullptr, *AOptions.GetPalette(), nullptr);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  LImage.CacheColors();
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  // The background is always black while searching: the border colour plays
  // no part in the choice.
  TKvFixedPaletteCandidates LCandidates;
  LCandidates.Count = 3;
  LCandidates.Build = [](int k, TKvPalette256& APalette) { BuildCGAPalette(kCGAAutoTypes[k - 1], 0, APalette); };
  const int k = SearchFixedPalette(AAbort, LImage, LCandidates, AOptions);
  if (k < 1 || k > 3) RaiseInternalError();
  AOptions.BeginUpdate();
  AOptions.SetBorderIndex(0);
  AOptions.SetPaletteType(ptBackCyanRedWhiteHigh);
  AOptions.EndUpdate();
  TKvPalette256& LPalette = *AOptions.GetPalette();
  BuildCGAPalette(kCGAAutoTypes[k - 1], 0, LPalette);
  LImage.FitToPaletteGray(LPalette);
  return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LPalette, nullptr);
}

std::unique_ptr<TKvBitmap> TKvCGAMonoEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                     TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                     std::unique_ptr<TKvStreamList>&) {
  TKvImage LImage(ABitmap);
  return LImage.ConvertBW(AAbort, AOptions, nullptr, nullptr, 0, 1);
}

std::unique_ptr<TKvBitmap> ConvertEGA(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions) {
  TKvPalette256 LEga;
  LEga.FillRGB64();
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  // The adapter shows 16 colours whatever the colour count says.
  constexpr int kLimit = 16;
  switch (AOptions.PaletteMode) {
    case 0:
      return ConvertIBMMono(AAbort, LImage, AOptions, kLimit, nullptr);
    case 1: {
      TKvPalette256 LGrays;
      LGrays.FillGray4();
      AOptions.GetPalette()->Assign(&LGrays);
      return ConvertIBMMono(AAbort, LImage, AOptions, kLimit, &LGrays);
    }
    case 11:
    case 17: {
      TKvDestEngine::QuantizePalette(AAbort, LImage, LEga, kLimit, AOptions);
      TKvPalette256& LResult = *AOptions.GetPalette();
      LImage.FitToPaletteGray(LResult);
      return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, nullptr);
    }
    default:
      RaiseOSError(87);
  }
}

std::unique_ptr<TKvBitmap> ConvertVGA(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions) {
  auto LVga = TKvPaletteRGB::CreateBits(6, 6, 6, AOptions.PaletteMode == 1);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  const int LLimit = AOptions.MaxColorCount;
  switch (AOptions.PaletteMode) {
    case 0:
      return ConvertIBMMono(AAbort, LImage, AOptions, LLimit, nullptr);
    case 1:
      return ConvertIBMMono(AAbort, LImage, AOptions, LLimit, LVga->GrayPalette.get());
    case 11: {
      TKvDestEngine::QuantizePalette(AAbort, LImage, *LVga, LLimit, AOptions);
      TKvPalette256& LResult = *AOptions.GetPalette();
      LImage.FitToPaletteGray(LResult);
      return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, nullptr);
    }
    default:
      RaiseOSError(87);
  }
}

std::unique_ptr<TKvDestEngineUI> TKvCGAEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCGAUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvCGAEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCGAEngineOptions>();
}
std::unique_ptr<TKvDestEngineUI> TKvCGAMonoEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCGAMonoUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvCGAMonoEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCGAMonoEngineOptions>();
}

void InitKvSavePlatformIBM() {
  RegisterDestEngine(DestEngineClass<TKvCGAEngine>());
  RegisterDestEngine(DestEngineClass<TKvCGAMonoEngine>());
  RegisterDestEngine(DestEngineClass<TKvEGA320x200Engine>());
  RegisterDestEngine(DestEngineClass<TKvEGA640x200Engine>());
  RegisterDestEngine(DestEngineClass<TKvEGA640x350Engine>());
  RegisterDestEngine(DestEngineClass<TKvVGA320x200Engine>());
  RegisterDestEngine(DestEngineClass<TKvVGA640x480Engine>());
}
