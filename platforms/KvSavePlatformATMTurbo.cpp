#include "platforms/KvSavePlatformATMTurbo.h"

#include <cstring>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformATMTurbo.h"
#include "platforms/KvPlatformProfi.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Options

TKvATMEngineOptions::TKvATMEngineOptions() {
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

void TKvATMEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*HardwarePalette).FillRGB64();
}

TKvATMMultiColorEngineOptions::TKvATMMultiColorEngineOptions() {
  SetPixelAspect(pa1_2);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);  // "Jarvis, Judice & Ninke"
}

void TKvATMMultiColorEngineOptions::SetWidth(int32_t AValue) {
  TKvDestEngineOptions::SetWidth((AValue + 7) / 8 * 8);
}

// ---------------------------------------------------------------------------
// Screen

namespace {

// The bytes of the pixels, and of the attributes.
int64_t PixelBytes(int AWidth, int AHeight) { return static_cast<int64_t>((AWidth + 7) / 8) * AHeight; }

}  // namespace

TKvATMMultiColorScreen::TKvATMMultiColorScreen(int AWidth, int AHeight, void* AData, int APaper, int AInk)
    : TKvProfiColorScreen(AWidth, AHeight, AData, AHeight, 1, 2 * PixelBytes(AWidth, AHeight)),
      FPixelSize(PixelBytes(AWidth, AHeight)) {
  std::memset(Data + 2 * FPixelSize, ProfiAttribute(APaper, AInk), static_cast<size_t>(FPixelSize));
}

int64_t TKvATMMultiColorScreen::EncodeAttributes() {
  MirrorX = false;
  return EncodeATMGrfAttributes(Data, FPixelSize);
}

// ---------------------------------------------------------------------------
// Panels

TKvATMEngineBaseUI::TKvATMEngineBaseUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects, bool ACells)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(AAspects);
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(ACells);
  if (!ACells) return;
  // Black and white has no cells whose error could be limited.
  AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

TKvPalette* TKvATMEngineBaseUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AScratch.FillRGB64();
  AColumns = 0;
  return &AScratch;
}

TKvATMEngineUI::TKvATMEngineUI(TKvDestEngineOptions* AOptions)
    : TKvATMEngineBaseUI(AOptions, PixelAspects(pa1_1p2, pa1_1), false) {}

TKvATMMiltiColorEngineUI::TKvATMMiltiColorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvATMEngineBaseUI(AOptions, PixelAspects(pa1_2p4, pa1_2, pa1_1), true) {}

// ---------------------------------------------------------------------------
// Engines

std::unique_ptr<TKvBitmap> TKvATMEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256 colors;
  if (options.PaletteMode == pmGray)
    colors.FillGray4();
  else
    colors.FillRGB64();
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  if (!PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Has(options.PaletteMode)) RaiseOSError(87);
  return ConvertChosenColors(AArgs.Abort, image, nullptr, &colors, colors, 16, options);
}

std::unique_ptr<TKvBitmap> TKvATMMultiColorEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  // The header holds the byte columns and the rows in one byte each.
  if (w < 1 || w > 1024 || h < 1 || h > 255) RaiseOSError(87);
  TKvPalette256 hardware;
  hardware.FillRGB64();
  TKvATMMultiColorImage image(8, 1, AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& result = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  const uint8_t mode = options.PaletteMode;
  int paper = 0, ink = 1;
  bool cells = true;
  switch (mode) {
    case pmBlackWhite:
      result.FillBlackWhite();
      fixed.AddColorPair(&result, 16, paper, ink);
      if (fixed.Count < 16)
        fixed.AddUniqueStdRGB(hardware.GetStdRGB(hardware.FindNearestStdRGB(options.GetBorderStdRGB())));
      cells = false;
      break;
    case pmGray:
      result.FillGray4();
      cells = ReducePaletteEx(AArgs.Abort, image, hardware, result, 16, options, paper, ink);
      break;
    case pmColor:
    case pmCustom: QuantizePalette(AArgs.Abort, image, hardware, 16, options); break;
    default: RaiseOSError(87);
  }
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = AArgs.Streams->NewStream("grf", static_cast<int>(ATMGrfFileSize(w, h)));
  uint8_t* data = stream->GetMemory();
  const bool fixedColors = mode == pmBlackWhite || mode == pmGray;
  WriteATMGrfPalette(data, w, h, hardware, fixedColors ? fixed : result, options.GetBorderStdRGB());
  TKvATMMultiColorScreen screen(w, h, data + ATMGrfHeaderSize, paper, ink);
  std::unique_ptr<TKvBitmap> preview;
  if (!cells) {
    preview = image.ConvertBWBits(AArgs.Abort, options, &screen, &fixed, paper, ink);
  } else {
    if (!fixedColors) image.FitToPaletteGray(result);
    preview = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  }
  stream->SetSize(screen.EncodeAttributes() + ATMGrfHeaderSize);
  if (fixedColors) result.Assign(&fixed);
  return preview;
}

const std::vector<const TKvDestEngineClass*>& ATMTurboDestEngineClasses() {
  return DestEngineClasses<TKvATMEngine, TKvATMMultiColorEngine>();
}

void InitKvSavePlatformATMTurbo() { RegisterDestEngines(ATMTurboDestEngineClasses()); }
