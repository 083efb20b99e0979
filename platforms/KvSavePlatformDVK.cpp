#include "platforms/KvSavePlatformDVK.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformDVK.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

void TKvDvkScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const int64_t LOffset = 4 + static_cast<int64_t>(Height - 1 - Y) * DvkRowSize(Width) + (X / 4) * 2;
  // The leftmost pixel of a group is the top nibble of the little-endian
  // word: the high nibble of its second byte.
  uint8_t& b = Data[LOffset + ((X & 2) ? 0 : 1)];
  const uint8_t v = static_cast<uint8_t>(AValue & 15);
  if (X & 1)
    b = static_cast<uint8_t>((b & 0xF0) | v);
  else
    b = static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

// ---------------------------------------------------------------------------
// Options

TKvDvkEngineOptions::TKvDvkEngineOptions() {
  SetPaletteType(ptColoredEMUStudio);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
  SetMaxColorCount(15);
}

void TKvDvkEngineOptions::SetWidth(int32_t AValue) { TKvDestEngineOptions::SetWidth((AValue + 3) / 4 * 4); }

void TKvDvkEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LResult = *GetPalette();
  LResult.Clear();
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  auto& LHardware = static_cast<TKvPalette256&>(*HardwarePalette);
  BuildDvkPalette(static_cast<TKvPaletteType>(PaletteType), LHardware);
  switch (PaletteMode) {
    case 0:
      LResult.AddStdRGB(LHardware.GetStdRGB(0));
      LResult.AddStdRGB(LHardware.GetStdRGB(63));
      break;
    case 1:
      // The four gray codes 0, 21, 42, 63, darkest first.
      for (int k = 0; k < 4; ++k) {
        TKvStdRGBColor c = LHardware.GetStdRGB(k * 21);
        c.R = c.B;
        c.G = c.B;
        LResult.AddStdRGB(LHardware.GetStdRGB(LHardware.FindNearestStdRGB(c)));
      }
      break;
    case 11:
    case 17:
      LResult.Assign(&LHardware);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Panel

TKvDvkEngineUI::TKvDvkEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(0);
  AddPaletteSection();
  AddDitheringSection(false);
}

void TKvDvkEngineUI::AddPaletteSection() {
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptColoredLinear);
  AddSectionItem(LKinds, ptColoredEMUStudio);
  AddPaletteModeSection(133123);  // 0 "Black/white", 1 "Gray", 11 "Сolor", 17 "Custom"
  AddDestPalette(16, 4, true);
  AddFixedPaletteSection(16, 1);
}

TKvPalette* TKvDvkEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  BuildDvkPalette(static_cast<TKvPaletteType>(GetOptions()->PaletteType), AScratch);
  AColumns = 0;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvDestEngineUI> TKvDvkEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvDvkEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvDvkEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvDvkEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvDvkEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                 TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                 std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth();
  const int H = ABitmap.GetHeight();
  const int64_t LSize = DvkPicSize(W, H);
  AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = AStreams->NewStream("pic", static_cast<int>(LSize))->GetMemory();

  TKvPalette256 LHardware;
  BuildDvkPalette(static_cast<TKvPaletteType>(AOptions.PaletteType), LHardware);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  // The conversion routines below adjust again: leave the pixels as they are.
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  TKvDvkScreen LScreen(W, H, LData);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();

  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      int A = 0, B = 0;
      LFixed.AddColorPair(&LResultPalette, AOptions.MaxColorCount, A, B);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, A, B);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 1: {
      int LDark = 0, LBright = 0;
      if (ReducePalette(AAbort, LImage, LResultPalette, AOptions.MaxColorCount, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResultPalette, &LFixed);
      else
        // The screen takes the fixed palette's own indexes of the two colours,
        // so that the palette block written from it shows them.
        LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 11:
    case 17:
      QuantizePalette(AAbort, LImage, LHardware, AOptions.MaxColorCount, AOptions);
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResultPalette, nullptr);
      break;
    default:
      RaiseOSError(87);
  }

  LData[0] = static_cast<uint8_t>(W & 0xFF);
  LData[1] = static_cast<uint8_t>(W >> 8);
  LData[2] = static_cast<uint8_t>(H & 0xFF);
  LData[3] = static_cast<uint8_t>(H >> 8);
  // A palette block holds 16 codes; a longer result palette could not be
  // shown by the controller.
  if (LResultPalette.Count > DvkPaletteBlockSize) RaiseInternalError();
  for (int i = 0; i < LResultPalette.Count; ++i)
    LData[LSize - DvkPaletteBlockSize + i] =
        static_cast<uint8_t>(LHardware.LocateStdRGB(LResultPalette.GetStdRGB(i)));
  return LResult;
}

void InitKvSavePlatformDVK() { RegisterDestEngine(DestEngineClass<TKvDvkEngine>()); }
