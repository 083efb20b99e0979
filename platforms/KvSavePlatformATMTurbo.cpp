#include "platforms/KvSavePlatformATMTurbo.h"

#include <cstring>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformATMTurbo.h"
#include "platforms/KvPlatformProfi.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Options

namespace {

void UpdateATMPalette(TKvDestEngineOptions& AOptions) {
  if (AOptions.UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(AOptions.HardwarePalette.get()))
    AOptions.HardwarePalette = std::make_unique<TKvPalette256>();
  static_cast<TKvPalette256&>(*AOptions.HardwarePalette).FillRGB64();
}

}  // namespace

TKvATMEngineOptions::TKvATMEngineOptions() {
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

void TKvATMEngineOptions::UpdatePalette() { UpdateATMPalette(*this); }

TKvATMMultiColorEngineOptions::TKvATMMultiColorEngineOptions() {
  SetPixelAspect(1);  // "1:2"
  SetPaletteMode(11);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);  // "Jarvis, Judice & Ninke"
  SetErrorDiffusion(90);
}

void TKvATMMultiColorEngineOptions::SetWidth(int32_t AValue) {
  TKvDestEngineOptions::SetWidth((AValue + 7) / 8 * 8);
}

void TKvATMMultiColorEngineOptions::UpdatePalette() { UpdateATMPalette(*this); }

// ---------------------------------------------------------------------------
// Screen

TKvATMMultiColorScreen::TKvATMMultiColorScreen(int AWidth, int AHeight, void* AData, int APaper, int AInk)
    : TKvCellScreen(AWidth, AHeight, AData),
      FColumns((AWidth + 7) / 8),
      FPixelSize(static_cast<int64_t>((AWidth + 7) / 8) * AHeight) {
  std::memset(Data + 2 * FPixelSize, ProfiAttribute(APaper, AInk), static_cast<size_t>(FPixelSize));
}

int TKvATMMultiColorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (*PixelByte(X, Y) >> (7 - (X & 7))) & 1;
}

void TKvATMMultiColorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = *PixelByte(X, Y);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
}

int TKvATMMultiColorScreen::GetAttr(int CellX, int CellY) {
  return Data[2 * FPixelSize + static_cast<int64_t>(MCX(CellX)) * Height + CellY];
}

void TKvATMMultiColorScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[2 * FPixelSize + static_cast<int64_t>(MCX(CellX)) * Height + CellY] = static_cast<uint8_t>(AAttr);
}

int64_t TKvATMMultiColorScreen::EncodeAttributes() {
  MirrorX = false;
  return EncodeATMGrfAttributes(Data, FPixelSize);
}

// ---------------------------------------------------------------------------
// Panels

TKvPalette* TKvATMEngineBaseUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AScratch.FillRGB64();
  AColumns = 0;
  return &AScratch;
}

void TKvATMEngineBaseUI::AddATMPaletteSection() {
  AddPaletteSeparator();
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
}

TKvATMEngineUI::TKvATMEngineUI(TKvDestEngineOptions* AOptions) : TKvATMEngineBaseUI(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(1280);  // "1:1.2", "1:1"
  AddATMPaletteSection();
  AddDitheringSection(false);
}

TKvATMMiltiColorEngineUI::TKvATMMiltiColorEngineUI(TKvDestEngineOptions* AOptions) : TKvATMEngineBaseUI(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(1027);  // "1:2.4", "1:2", "1:1"
  AddATMPaletteSection();
  AddDitheringSection(true);
  // Black and white has no cells whose error could be limited.
  AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

// ---------------------------------------------------------------------------
// Engines

std::unique_ptr<TKvDestEngineUI> TKvATMEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvATMEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvATMEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvATMEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvATMEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                 TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                 std::unique_ptr<TKvStreamList>&) {
  TKvPalette256 LColors;
  if (AOptions.PaletteMode == 1)
    LColors.FillGray4();
  else
    LColors.FillRGB64();
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      LResultPalette.FillBlackWhite();
      int LDark = 0, LLight = 1;
      LFixed.AddColorPair(&LResultPalette, 16, LDark, LLight);
      LResult = LImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, LDark, LLight);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 1: {
      int LDark = 0, LBright = 0;
      if (TKvDestEngine::ReducePalette(AAbort, LImage, LColors, 16, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, &LFixed);
      else
        LResult = LImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 11:
    case 17:
      TKvDestEngine::QuantizePalette(AAbort, LImage, LColors, 16, AOptions);
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, nullptr);
      break;
    default: RaiseOSError(87);
  }
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvATMMultiColorEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvATMMiltiColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvATMMultiColorEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvATMMultiColorEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvATMMultiColorEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                           TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                           TKvDestProgress& AProgress,
                                                           std::unique_ptr<TKvStreamList>& AStreams) {
  const int w = ABitmap.GetWidth(), h = ABitmap.GetHeight();
  // The header holds the byte columns and the rows in one byte each.
  if (w < 1 || w > 1024 || h < 1 || h > 255) RaiseOSError(87);
  TKvPalette256 LHardware;
  LHardware.FillRGB64();
  TKvATMMultiColorImage LImage(8, 1, ABitmap);
  AdjustOnce(LImage, AOptions);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  const uint8_t LMode = AOptions.PaletteMode;
  int LPaper = 0, LInk = 1;
  bool LCells = true;
  switch (LMode) {
    case 0:
      LResultPalette.FillBlackWhite();
      LFixed.AddColorPair(&LResultPalette, 16, LPaper, LInk);
      if (LFixed.Count < 16)
        LFixed.AddUniqueStdRGB(LHardware.GetStdRGB(LHardware.FindNearestStdRGB(AOptions.GetBorderStdRGB())));
      LCells = false;
      break;
    case 1:
      LResultPalette.FillGray4();
      LCells = TKvDestEngine::ReducePaletteEx(AAbort, LImage, LHardware, LResultPalette, 16, AOptions, LPaper, LInk);
      break;
    case 11:
    case 17: TKvDestEngine::QuantizePalette(AAbort, LImage, LHardware, 16, AOptions); break;
    default: RaiseOSError(87);
  }
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream("grf", static_cast<int>(ATMGrfFileSize(w, h)));
  uint8_t* LData = LStream->GetMemory();
  const bool LFixedColors = LMode == 0 || LMode == 1;
  WriteATMGrfPalette(LData, w, h, LHardware, LFixedColors ? LFixed : LResultPalette, AOptions.GetBorderStdRGB());
  TKvATMMultiColorScreen LScreen(w, h, LData + ATMGrfHeaderSize, LPaper, LInk);
  std::unique_ptr<TKvBitmap> LResult;
  if (!LCells) {
    LResult = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LPaper, LInk);
  } else {
    if (!LFixedColors) LImage.FitToPaletteGray(LResultPalette);
    LResult = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
  }
  LStream->SetSize(LScreen.EncodeAttributes() + ATMGrfHeaderSize);
  if (LFixedColors) LResultPalette.Assign(&LFixed);
  return LResult;
}

const std::vector<const TKvDestEngineClass*>& ATMTurboDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {&DestEngineClass<TKvATMEngine>(),
                                                                  &DestEngineClass<TKvATMMultiColorEngine>()};
  return LClasses;
}

void InitKvSavePlatformATMTurbo() {
  for (const TKvDestEngineClass* c : ATMTurboDestEngineClasses()) RegisterDestEngine(*c);
}
