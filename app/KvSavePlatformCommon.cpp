#include "app/KvSavePlatformCommon.h"

#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"

namespace {

bool HasColors(const TKvPalette256* APalette) { return APalette && APalette->Count > 0; }

}  // namespace

// Options

TKvCustomPaletteEngineOptions::TKvCustomPaletteEngineOptions() { SetErrorDiffusion(95); }

void TKvCustomPaletteEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette.reset();
  if (PaletteType == ptColored)
    HardwarePalette = GetPalette()->Clone();
  else
    HardwarePalette = TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>(PaletteType), UseAsGrayPalette);
}

TKvCustomOriginalPaletteEngineOptions::TKvCustomOriginalPaletteEngineOptions() { SetErrorDiffusion(95); }

// Panels

TKvCustomBWEngineUI::TKvCustomBWEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(false);
  AddPositionSection(0);
  AddDitheringSection(false);
}

TKvCustomPaletteEngineUI::TKvCustomPaletteEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(false);
  AddPositionSection(0);
  AddOptimizedPaletteSection();
  AddDitheringSection(false);
  AddColorDiffSection();
}

TKvCustomOriginalPaletteEngineUI::TKvCustomOriginalPaletteEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(false);
  AddPositionSection(0);
  AddOriginalPaletteSection();
  AddDitheringSection(false);
  AddColorDiffSection();
}

void TKvCustomOriginalPaletteEngineUI::AddOriginalPaletteSection() {
  BeginGroup("OriginalPalette");
  AddPaletteSeparator();
  AddOriginalColorsCheckBox();
  AddPaletteLabel();
  const int LStrip = AddDestPalette(16, 16, false);
  // The strip only shows the result; its menu offers saving the palette.
  SetDestPaletteReadOnly(LStrip, true);
  EndGroup();
}

// Engines

std::unique_ptr<TKvDestEngineUI> TKvCustomBWEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCustomBWEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvCustomBWEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCustomBWEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvCustomBWEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                      TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                      TKvDestProgress&, std::unique_ptr<TKvStreamList>&) {
  TKvImage LImage(ABitmap);
  return LImage.ConvertBW(AAbort, AOptions, nullptr, nullptr, 0, 1);
}

std::unique_ptr<TKvDestEngineUI> TKvCustomPaletteEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCustomPaletteEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvCustomPaletteEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCustomPaletteEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvCustomPaletteEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                           TKvPalette256* APalette, TKvPalette256*,
                                                           TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                           std::unique_ptr<TKvStreamList>&) {
  TKvImage LImage(ABitmap);
  // The fixes are applied once here; the routines below must not repeat them.
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();

  if (AOptions.UseSourcePalette && HasColors(APalette)) {
    auto LResult = LImage.Convert(AAbort, AOptions, *APalette, APalette);
    LResultPalette.Assign(APalette);
    return LResult;
  }

  if (AOptions.PaletteType == ptColored) {
    const int LMaxCount = AOptions.MaxColorCount;
    if (LMaxCount > 1 && LResultPalette.Count > LMaxCount) {
      auto LWhole = std::make_unique<TKvPalette256>();
      LWhole->Assign(&LResultPalette);
      QuantizePalette(AAbort, LImage, *LWhole, LMaxCount, AOptions);
      LImage.FitToPaletteGray(LResultPalette);
      // The whole palette can stand behind the indexes only while an 8-bit
      // result can hold it.
      if (!AOptions.KeepWholePalette || LWhole->Count > 256) LWhole.reset();
      return LImage.Convert(AAbort, AOptions, LResultPalette, LWhole.get());
    }
    if (LResultPalette.Count <= 256) return LImage.Convert(AAbort, AOptions, LResultPalette, nullptr);
    return LImage.ConvertRGB(AAbort, AOptions, LResultPalette);
  }

  std::unique_ptr<TKvPaletteRGB> LLevels =
      TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>(AOptions.PaletteType), AOptions.UseAsGrayPalette);
  TKvPalette* LPalette = LLevels.get();
  if (AOptions.UseAsGrayPalette && LLevels->GrayPalette) {
    LLevels->GrayPalette->UpdateCache();
    LPalette = LLevels->GrayPalette.get();
  }
  const int LCount = LPalette->GetCount();
  if (LCount <= 256) LResultPalette.AssignColors(LPalette);
  const int LMaxCount = AOptions.MaxColorCount;
  if (LMaxCount < 2 || LMaxCount >= LCount) {
    if (LCount <= 256) return LImage.Convert(AAbort, AOptions, *LPalette, nullptr);
    return LImage.ConvertRGB(AAbort, AOptions, *LPalette);
  }
  if (AOptions.UseAsGrayPalette) {
    LImage.MakeGray();
    TKvPalette256 LGrays;
    LGrays.AssignColors(LPalette);
    int LDark = 0, LBright = 0;
    std::unique_ptr<TKvBitmap> LResult;
    if (ReducePalette(AAbort, LImage, LGrays, LMaxCount, AOptions, LDark, LBright))
      LResult = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, AOptions.GetFixedPalette());
    else
      LResult = LImage.ConvertBW(AAbort, AOptions, nullptr, AOptions.GetFixedPalette(), LDark, LBright);
    LResultPalette.Assign(AOptions.GetFixedPalette());
    return LResult;
  }
  QuantizePalette(AAbort, LImage, *LPalette, LMaxCount, AOptions);
  LImage.FitToPaletteGray(LResultPalette);
  return LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, nullptr);
}

std::unique_ptr<TKvDestEngineUI> TKvCustomOriginalPaletteEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCustomOriginalPaletteEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvCustomOriginalPaletteEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCustomOriginalPaletteEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvCustomOriginalPaletteEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                   TKvPalette256* APalette, TKvPalette256* APalette2,
                                                                   TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                                   std::unique_ptr<TKvStreamList>&) {
  if (!HasColors(APalette)) return TKvBitmap24::CreateFromBitmap32(ABitmap);
  TKvImage LImage(ABitmap);
  std::unique_ptr<TKvBitmap> LResult;
  if (AOptions.UseOnlyOriginalColors && HasColors(APalette2)) {
    // Dither to the colours the source really uses, then map those exactly
    // into the source's palette without a second dithering or adjustment.
    LImage.Convert(AAbort, AOptions, *APalette2, nullptr);
    TKvImage LCopy(LImage);
    AOptions.SetDitherMethod(0);
    AOptions.SetLightnessFix(0);
    AOptions.SetSaturationFix(0);
    LResult = LCopy.Convert(AAbort, AOptions, *APalette, nullptr);
  } else {
    LResult = LImage.Convert(AAbort, AOptions, *APalette, nullptr);
  }
  AOptions.GetPalette()->Assign(APalette);
  return LResult;
}

void InitKvSavePlatformCommon() {
  RegisterDestEngine(DestEngineClass<TKvCustomBWEngine>());
  RegisterDestEngine(DestEngineClass<TKvCustomPaletteEngine>());
  RegisterDestEngine(DestEngineClass<TKvCustomOriginalPaletteEngine>());
}
