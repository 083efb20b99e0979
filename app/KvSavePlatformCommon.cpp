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
  AddPositionSection();
  AddDitheringSection(false);
}

TKvCustomPaletteEngineUI::TKvCustomPaletteEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(false);
  AddPositionSection();
  AddOptimizedPaletteSection();
  AddDitheringSection(false);
  AddColorDiffSection();
}

TKvCustomOriginalPaletteEngineUI::TKvCustomOriginalPaletteEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(false);
  AddPositionSection();
  AddOriginalPaletteSection();
  AddDitheringSection(false);
  AddColorDiffSection();
}

void TKvCustomOriginalPaletteEngineUI::AddOriginalPaletteSection() {
  BeginGroup("OriginalPalette");
  AddPaletteSeparator();
  AddOriginalColorsCheckBox();
  AddPaletteLabel();
  const int strip = AddDestPalette(16, 16, false);
  // The strip only shows the result; its menu offers saving the palette.
  SetDestPaletteReadOnly(strip, true);
  EndGroup();
}

// Engines

std::unique_ptr<TKvBitmap> TKvCustomBWEngine::Convert(TKvConvertArgs& AArgs) {
  TKvImage image(AArgs.Bitmap);
  return image.ConvertBW(AArgs.Abort, AArgs.Options, nullptr, nullptr, 0, 1);
}

std::unique_ptr<TKvBitmap> TKvCustomPaletteEngine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256* source = AArgs.Palette;
  TKvImage image(AArgs.Bitmap);
  // The routines below must not repeat the fixes.
  AdjustOnce(image, options);
  TKvPalette256& resultPalette = *options.GetPalette();

  if (options.UseSourcePalette && HasColors(source)) {
    auto result = image.Convert(abort, options, *source, source);
    resultPalette.Assign(source);
    return result;
  }

  if (options.PaletteType == ptColored) {
    const int maxCount = options.MaxColorCount;
    if (maxCount > 1 && resultPalette.Count > maxCount) {
      auto whole = std::make_unique<TKvPalette256>();
      whole->Assign(&resultPalette);
      QuantizePalette(abort, image, *whole, maxCount, options);
      image.FitToPaletteGray(resultPalette);
      // The whole palette can stand behind the indexes only while an 8-bit
      // result can hold it.
      if (!options.KeepWholePalette || whole->Count > 256) whole.reset();
      return image.Convert(abort, options, resultPalette, whole.get());
    }
    if (resultPalette.Count <= 256) return image.Convert(abort, options, resultPalette, nullptr);
    return image.ConvertRGB(abort, options, resultPalette);
  }

  std::unique_ptr<TKvPaletteRGB> levels =
      TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>(options.PaletteType), options.UseAsGrayPalette);
  TKvPalette* palette = levels.get();
  if (options.UseAsGrayPalette && levels->GrayPalette) {
    levels->GrayPalette->UpdateCache();
    palette = levels->GrayPalette.get();
  }
  const int count = palette->GetCount();
  if (count <= 256) resultPalette.AssignColors(palette);
  const int maxCount = options.MaxColorCount;
  if (maxCount < 2 || maxCount >= count) {
    if (count <= 256) return image.Convert(abort, options, *palette, nullptr);
    return image.ConvertRGB(abort, options, *palette);
  }
  if (options.UseAsGrayPalette) {
    image.MakeGray();
    TKvPalette256 grays;
    grays.AssignColors(palette);
    int dark = 0, bright = 0;
    std::unique_ptr<TKvBitmap> result;
    if (ReducePalette(abort, image, grays, maxCount, options, dark, bright))
      result = image.ConvertIndexed(abort, options, nullptr, resultPalette, options.GetFixedPalette());
    else
      result = image.ConvertBW(abort, options, nullptr, options.GetFixedPalette(), dark, bright);
    resultPalette.Assign(options.GetFixedPalette());
    return result;
  }
  QuantizePalette(abort, image, *palette, maxCount, options);
  image.FitToPaletteGray(resultPalette);
  return image.ConvertIndexed(abort, options, nullptr, resultPalette, nullptr);
}

std::unique_ptr<TKvBitmap> TKvCustomOriginalPaletteEngine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256* source = AArgs.Palette;
  if (!HasColors(source)) return TKvBitmap24::CreateFromBitmap32(AArgs.Bitmap);
  TKvImage image(AArgs.Bitmap);
  std::unique_ptr<TKvBitmap> result;
  if (options.UseOnlyOriginalColors && HasColors(AArgs.Palette2)) {
    // Dither to the colours the source really uses, then map those exactly
    // into the source's palette without a second dithering or adjustment.
    image.Convert(abort, options, *AArgs.Palette2, nullptr);
    TKvImage copy(image);
    options.SetDitherMethod(0);
    options.SetLightnessFix(0);
    options.SetSaturationFix(0);
    result = copy.Convert(abort, options, *source, nullptr);
  } else {
    result = image.Convert(abort, options, *source, nullptr);
  }
  options.GetPalette()->Assign(source);
  return result;
}

void InitKvSavePlatformCommon() {
  RegisterDestEngines<TKvCustomBWEngine, TKvCustomPaletteEngine, TKvCustomOriginalPaletteEngine>();
}
