#include "platforms/KvSavePlatformZxSpectrumNext.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

namespace {

constexpr int kPaletteBytes = 512;
constexpr int kPixelBytes = 256 * 192;
// The 3-bit blue level of each 2-bit blue field.
constexpr int kBlue332[4] = {0, 3, 5, 7};

std::unique_ptr<TKvPaletteRGB> NewCube(bool AGrayPalette) { return TKvPaletteRGB::CreateBits(3, 3, 3, AGrayPalette); }

void AddCubeColor(TKvPalette256& APalette, const TKvPaletteRGB& ACube, int AR, int AG, int AB) {
  APalette.AddLinRGB(ACube.GetLinRGB((AR << 6) | (AG << 3) | AB));
}

void FillGrays(TKvPalette256& APalette, std::initializer_list<int> ALevels) {
  APalette.Clear();
  const auto cube = TKvPaletteRGB::CreateType(ptRGB333, false);
  for (int v : ALevels) AddCubeColor(APalette, *cube, v, v, v);
}

}  // namespace

void FillNextRGB332Palette(TKvPalette256& APalette) {
  APalette.Clear();
  const auto cube = TKvPaletteRGB::CreateType(ptRGB333, false);
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b : kBlue332) AddCubeColor(APalette, *cube, r, g, b);
}

void FillNextRGB332GrayPalette(TKvPalette256& APalette) { FillGrays(APalette, {0, 3, 5, 7}); }

void FillNextRGB333GrayPalette(TKvPalette256& APalette) { FillGrays(APalette, {0, 1, 2, 3, 4, 5, 6, 7}); }

uint16_t NextPaletteWord(const TKvPaletteRGB& ACube, const TKvStdRGBColor& AColor) {
  uint8_t r, g, b;
  ACube.GetLevelIndexes(AColor, r, g, b);
  return static_cast<uint16_t>((r << 5) | (g << 2) | (b >> 1) | ((b & 1) << 8));
}

// ---------------------------------------------------------------------------

TKvZxSpectrumNextEngineOptions::TKvZxSpectrumNextEngineOptions() {
  SetPaletteType(ptRGB333);
  SetPaletteMode(11);
}

void TKvZxSpectrumNextEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& p = *GetPalette();
  p.Clear();
  const bool LFixed332 = PaletteType == ptRGB332;
  if (PaletteMode == 0)
    p.FillBlackWhite();
  else if (PaletteMode == 1)
    LFixed332 ? FillNextRGB332GrayPalette(p) : FillNextRGB333GrayPalette(p);
  else if (LFixed332)
    FillNextRGB332Palette(p);
  // Only the 512-colour cube offers colours to choose from.
  HardwarePalette.reset();
  if (PaletteType == ptRGB333) HardwarePalette = NewCube(false);
}

TKvZxSpectrumNextNxiEngineUI::TKvZxSpectrumNextNxiEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptRGB332);
  AddSectionItem(LKinds, ptRGB333);
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 16, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
  AddColorDiffSection();
}

bool TKvZxSpectrumNextNxiEngineUI::CanEditPalette() {
  return GetOptions()->PaletteType == ptRGB333 && GetOptions()->PaletteMode == 17;
}

TKvPalette* TKvZxSpectrumNextNxiEngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumNextNxiEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumNextNxiEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumNextNxiEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumNextEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextNxiEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                               TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                               TKvDestProgress&,
                                                               std::unique_ptr<TKvStreamList>& AStreams) {
  const bool LFixed332 = AOptions.PaletteType == ptRGB332;
  const uint8_t LMode = AOptions.PaletteMode;
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LSl2 = LFixed332 ? AStreams->NewStream("sl2", kPixelBytes) : nullptr;
  TKvStream* LNxi = AStreams->NewStream("nxi", kPaletteBytes + kPixelBytes);
  if (LMode != 0 && LMode != 1 && LMode != 11 && LMode != 17) RaiseOSError(ERROR_INVALID_PARAMETER);
  uint8_t* LData = LNxi->GetMemory();

  TKvImage LImage(ABitmap);
  // The fixes are applied once here; the routines below must not repeat them.
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  TKvScreen8 LScreen(256, 192, LData + kPaletteBytes);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  std::unique_ptr<TKvBitmap> LResult;

  if (LFixed332) {
    // The pixel byte is the colour itself, in every mode.
    FillNextRGB332Palette(LResultPalette);
    if (LMode == 0) {
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LResultPalette, 0, 255);
    } else if (LMode == 1) {
      AOptions.SetUseAsGrayPalette(true);
      TKvPalette256& LGrays = *AOptions.GetFixedPalette();
      FillNextRGB332GrayPalette(LGrays);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LGrays, &LResultPalette);
    } else {
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResultPalette, nullptr);
    }
    std::memcpy(LSl2->GetMemory(), LData + kPaletteBytes, kPixelBytes);
  } else {
    auto LCube = NewCube(LMode == 1);
    TKvPalette256& LFixed = *AOptions.GetFixedPalette();
    if (LMode == 0) {
      LResultPalette.FillBlackWhite();
      int LDark = 0, LLight = 1;
      LFixed.AddColorPair(&LResultPalette, 256, LDark, LLight);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, LDark, LLight);
      LResultPalette.Assign(&LFixed);
    } else if (LMode == 1) {
      AOptions.SetUseAsGrayPalette(true);
      int LDark = 0, LBright = 0;
      if (TKvDestEngine::ReducePalette(AAbort, LImage, *LCube->GrayPalette, 256, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResultPalette, &LFixed);
      else  // the file stores the two merged entries' indexes, as the preview shows them
        LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
    } else {
      TKvDestEngine::QuantizePalette(AAbort, LImage, *LCube, 256, AOptions);
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResultPalette, nullptr);
    }
  }

  // More colours than the palette block holds would overwrite the pixels.
  if (LResultPalette.Count > 256) RaiseInternalError();
  const auto LCube = NewCube(false);
  for (int i = 0; i < LResultPalette.Count; ++i) {
    const uint16_t w = NextPaletteWord(*LCube, LResultPalette.GetStdRGB(i));
    LData[2 * i] = static_cast<uint8_t>(w);
    LData[2 * i + 1] = static_cast<uint8_t>(w >> 8);
  }
  return LResult;
}

const std::vector<const TKvDestEngineClass*>& ZxSpectrumNextDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {&DestEngineClass<TKvZxSpectrumNextNxiEngine>()};
  return LClasses;
}

void InitKvSavePlatformZxSpectrumNext() {
  for (const TKvDestEngineClass* c : ZxSpectrumNextDestEngineClasses()) RegisterDestEngine(*c);
}
