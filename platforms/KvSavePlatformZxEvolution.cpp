#include "platforms/KvSavePlatformZxEvolution.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxEvolution.h"

namespace {

bool IsEgaType(uint8_t AType) { return AType >= ptEvoEGA && AType <= ptEvoEGAPWM3; }

// The four-level palette of the family of APaletteType.
TKvPaletteType FamilyBase(uint8_t APaletteType) { return IsEgaType(APaletteType) ? ptEvoEGA : ptPentevo; }

// The scale the file's levels count on: every PWM level of the family, or
// the Video DAC's 32.
TKvPaletteType EncodingScale(uint8_t APaletteType) {
  if (APaletteType == ptVideoDAC) return ptVideoDAC;
  return IsEgaType(APaletteType) ? ptEvoEGAPWM3 : ptPentEvoPWM3;
}

}  // namespace

const TKvPaletteType ZxEvolutionPaletteTypes[9] = {ptEvoEGA, ptEvoEGAPWM1, ptEvoEGAPWM2, ptEvoEGAPWM3, ptPentevo,
                                                   ptPentevoPWM1, ptPentevoPWM2, ptPentEvoPWM3, ptVideoDAC};

TKvZxEvolution256x192EngineOptions::TKvZxEvolution256x192EngineOptions() {
  SetPaletteType(ptEvoEGA);
  SetPaletteMode(11);
}

void TKvZxEvolution256x192EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& p = *GetPalette();
  p.Clear();
  const auto LType = static_cast<TKvPaletteType>(PaletteType);
  if (LType != ptVideoDAC) {
    HardwarePalette.reset();
    if (PaletteMode == 0) {
      p.FillBlackWhite();
    } else if (PaletteMode == 1) {
      auto LGrays = TKvPaletteRGB::CreatePWM(LType, true);
      p.Assign(LGrays->GrayPalette.get());
    } else {
      p.AssignColors(TKvPaletteRGB::CreatePWM(FamilyBase(LType), false).get());
    }
  }
  HardwarePalette = TKvPaletteRGB::CreatePWM(LType, false);
}

TKvZxEvolutionEngineUI::TKvZxEvolutionEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(1280);  // "1:1.2", "1:1"
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  for (TKvPaletteType t : ZxEvolutionPaletteTypes) AddSectionItem(LKinds, t);
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, APaletteRows, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

bool TKvZxEvolutionEngineUI::CanEditPalette() {
  const uint8_t t = GetOptions()->PaletteType;
  return t == ptEvoEGA || t == ptPentevo;
}

TKvPalette* TKvZxEvolutionEngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 8;
  return GetOptions()->GetHardwarePalette();
}

std::unique_ptr<TKvDestEngineUI> TKvZxEvolutionEngine::CreatePanel(TKvDestEngineOptions* AOptions, int ABits) {
  if (ABits == 4) return std::make_unique<TKvZxEvolution4EngineUI>(AOptions);
  return std::make_unique<TKvZxEvolution8EngineUI>(AOptions);
}

std::unique_ptr<TKvBitmap> TKvZxEvolutionEngine::ConvertBits(bool* AAbort, TBitmap32& ABitmap,
                                                             TKvDestEngineOptions& AOptions,
                                                             std::unique_ptr<TKvStreamList>& AStreams, int ABits) {
  const int LWidth = ABitmap.GetWidth(), LHeight = ABitmap.GetHeight();
  const int LColorCount = 1 << ABits;
  const int LRowSize = ABits == 4 ? (LWidth + 1) / 2 : LWidth;
  std::vector<uint8_t> LBuffer(static_cast<size_t>(LRowSize) * LHeight, 0);

  TKvImage LImage(ABitmap);
  // The fixes are applied once here; the routines below must not repeat them.
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  std::unique_ptr<TKvBitmapData> LScreen;
  if (ABits == 4)
    LScreen = std::make_unique<TKvScreen4>(LWidth, LHeight, LBuffer.data());
  else
    LScreen = std::make_unique<TKvScreen8>(LWidth, LHeight, LBuffer.data());

  const auto LType = static_cast<TKvPaletteType>(AOptions.PaletteType);
  auto LPalette = TKvPaletteRGB::CreatePWM(LType, AOptions.PaletteMode == 1);
  // Only the four-level palettes offer colours to pick.
  if (AOptions.PaletteMode == 17 && LType != ptEvoEGA && LType != ptPentevo) AOptions.SetPaletteMode(11);

  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      LResultPalette.FillBlackWhite();
      int LDark = 0, LLight = 1;
      LFixed.AddColorPair(&LResultPalette, LColorCount, LDark, LLight);
      LResult = LImage.ConvertBW(AAbort, AOptions, LScreen.get(), &LFixed, LDark, LLight);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 1: {
      int LDark = 0, LBright = 0;
      if (ReducePalette(AAbort, LImage, *LPalette->GrayPalette, LColorCount, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, LScreen.get(), LResultPalette, &LFixed);
      else
        LResult = LImage.ConvertBW(AAbort, AOptions, LScreen.get(), &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 11:
    case 17:
      QuantizePalette(AAbort, LImage, *LPalette, LColorCount, AOptions);
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, LScreen.get(), LResultPalette, nullptr);
      break;
    default: RaiseInternalError();
  }
  if (LResultPalette.Count > LColorCount) RaiseInternalError();

  const auto LScale = TKvPaletteRGB::CreatePWM(EncodingScale(LType), false);
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream("sxg", SxgHeaderSize);
  uint8_t LHeader[SxgHeaderSize];
  InitSxgHeader(LHeader, 3, LWidth, LHeight, ABits);
  LHeader[12] = 2;
  TKvColor LBorder;
  LBorder.InitStdRGB(AOptions.GetBorderStdRGB());
  LHeader[5] = static_cast<uint8_t>(LResultPalette.FindNearestByMetric(0, LBorder));
  const uint32_t LPixelOffset = 2u * static_cast<uint32_t>(LResultPalette.Count);
  LHeader[14] = static_cast<uint8_t>(LPixelOffset);
  LHeader[15] = static_cast<uint8_t>(LPixelOffset >> 8);
  LStream->SetPosition(0);
  LStream->WriteBuffer(LHeader, SxgHeaderSize);
  for (int i = 0; i < LResultPalette.Count; ++i) {
    uint8_t r, g, b;
    LScale->GetLevelIndexes(LResultPalette.GetStdRGB(i), r, g, b);
    const uint16_t w = static_cast<uint16_t>((r << 10) | (g << 5) | b);
    const uint8_t LWord[2] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
    LStream->WriteBuffer(LWord, 2);
  }
  const uint32_t LLine = SxgBytesPerLine(LHeader);
  const int64_t LPixels = LStream->GetSize();
  LStream->SetSize(LPixels + static_cast<int64_t>(LLine) * LHeight);
  uint8_t* LData = LStream->GetMemory();
  std::memset(LData + LPixels, 0, static_cast<size_t>(LLine) * LHeight);
  for (int y = 0; y < LHeight; ++y)
    std::memcpy(LData + LPixels + static_cast<int64_t>(y) * LLine, LBuffer.data() + static_cast<size_t>(y) * LRowSize,
                LRowSize);
  return LResult;
}

const std::vector<const TKvDestEngineClass*>& ZxEvolutionDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {
      &DestEngineClass<TKvZxEvolution256x192x4Engine>(), &DestEngineClass<TKvZxEvolution256x192x8Engine>(),
      &DestEngineClass<TKvZxEvolution320x200x4Engine>(), &DestEngineClass<TKvZxEvolution320x200x8Engine>(),
      &DestEngineClass<TKvZxEvolution320x240x4Engine>(), &DestEngineClass<TKvZxEvolution320x240x8Engine>(),
      &DestEngineClass<TKvZxEvolution360x288x4Engine>(), &DestEngineClass<TKvZxEvolution360x288x8Engine>(),
  };
  return LClasses;
}

void InitKvSavePlatformZxEvolution() {
  for (const TKvDestEngineClass* c : ZxEvolutionDestEngineClasses()) RegisterDestEngine(*c);
}
