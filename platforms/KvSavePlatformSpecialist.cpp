#include "platforms/KvSavePlatformSpecialist.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

int TKvSpecialistBWScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (Data[(X / 8) * 256 + Y] >> (7 - (X & 7))) & 1;
}

void TKvSpecialistBWScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[(X / 8) * 256 + Y];
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  b = static_cast<uint8_t>(AValue ? (b | m) : (b & ~m));
}

// ---------------------------------------------------------------------------
// Palettes and candidates

namespace {

void AddColors(TKvPalette256& APalette, std::initializer_list<uint32_t> AColors) {
  for (uint32_t c : AColors)
    APalette.AddStdRGB(StdRGBColor(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                   static_cast<uint8_t>(c)));
}

}  // namespace

void BuildSpecialistPalette(TKvPalette256& APalette, int APaletteMode) {
  APalette.Clear();
  switch (APaletteMode) {
    case pmBlackWhite:
      APalette.FillBlackWhite();
      break;
    case pmGray:
      AddColors(APalette, {0xC0C0C0, 0x000000, 0xFFFFFF, 0x808080});
      break;
    case pm5Colors:
      AddColors(APalette, {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
      break;
    case pm8Colors:
      AddColors(APalette, {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000});
      break;
    case pmColor:
      AddColors(APalette, {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0, 0x000000,
                           0xFFFFFF, 0xFFFF80, 0x80FFFF, 0x80FF80, 0xFF80FF, 0xFF8080, 0x8080FF, 0x808080});
      break;
    default:
      RaiseOSError(87);
  }
}

TKvSpecialistColorPaletteList::TKvSpecialistColorPaletteList(TKvPalette256& APalette, int APaletteMode) {
  auto add = [&](int A, int B) { Add(std::make_unique<TKvCellPaperIncPalette>(APalette, A, B)); };
  switch (APaletteMode) {
    case pmGray:
      AddSinglesAndPairs(*this, APalette, {0, 1, 2, 3});
      break;
    case pm5Colors:
      for (int i = 0; i <= 4; ++i) add(4, i);
      break;
    case pm8Colors:
      for (int i = 0; i <= 7; ++i) add(7, i);
      break;
    case pmColor:
      AddSinglesAndPairs(*this, APalette, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
      break;
    default:
      RaiseOSError(87);
  }
}

std::unique_ptr<TKvBitmap> TKvSpecialistColorImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                            TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  PaletteMode = AOptions.PaletteMode;
  return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

TKvCellPaletteList* TKvSpecialistColorImage::CreatePaletteList() {
  return new TKvSpecialistColorPaletteList(*FPalette, PaletteMode);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvSpecialistEngineOptions::TKvSpecialistEngineOptions() {
  SetPixelAspect(pa0p92_1);
  SetPaletteMode(pm8Colors);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

void TKvSpecialistEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildSpecialistPalette(*GetPalette(), PaletteMode);
}

TKvSpecialistMXEngineOptions::TKvSpecialistMXEngineOptions() { SetPaletteMode(pmColor); }

TKvSpecialistEngineUI::TKvSpecialistEngineUI(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(PixelAspects(pa0p92_1, pa1_1));
  AddPaletteSeparator();
  AddPaletteModeSection(AModes);
  AddDestPalette(16, 1, true);
  AddDitheringSection(true);
  AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

// ---------------------------------------------------------------------------
// Engines

std::unique_ptr<TKvBitmap> TKvSpecialistEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TBitmap32& bitmap = AArgs.Bitmap;
  if (options.PaletteMode == pmBlackWhite) {
    // The file holds 384 x 256 pixels.
    if (bitmap.GetWidth() > 384 || bitmap.GetHeight() > 256) RaiseOSError(87);
    auto streams = std::make_unique<TKvStreamList>();
    uint8_t* data = streams->NewStream("sps", SpecialistFileSize)->GetMemory();
    TKvImage image(bitmap);
    TKvSpecialistBWScreen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
    auto result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
    AArgs.Streams = std::move(streams);
    return result;
  }
  options.SetUseAsGrayPalette(options.PaletteMode == pmGray);
  TKvSpecialistColorImage image(8, 1, bitmap);
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, nullptr);
}

void InitKvSavePlatformSpecialist() { RegisterDestEngines<TKvSpecialistEngine, TKvSpecialistMXEngine>(); }
