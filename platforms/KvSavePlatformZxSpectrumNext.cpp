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
  SetPaletteMode(pmColor);
}

void TKvZxSpectrumNextEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& p = *GetPalette();
  p.Clear();
  const bool fixed332 = PaletteType == ptRGB332;
  if (PaletteMode == pmBlackWhite)
    p.FillBlackWhite();
  else if (PaletteMode == pmGray)
    fixed332 ? FillNextRGB332GrayPalette(p) : FillNextRGB333GrayPalette(p);
  else if (fixed332)
    FillNextRGB332Palette(p);
  // Only the 512-colour cube offers colours to choose from.
  HardwarePalette.reset();
  if (PaletteType == ptRGB333) HardwarePalette = NewCube(false);
}

TKvZxSpectrumNextNxiEngineUI::TKvZxSpectrumNextNxiEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  for (TKvPaletteType t : {ptRGB332, ptRGB333}) AddSectionItem(kinds, t);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  AddDestPalette(16, 16, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
  AddColorDiffSection();
}

bool TKvZxSpectrumNextNxiEngineUI::CanEditPalette() {
  return GetOptions()->PaletteType == ptRGB333 && GetOptions()->PaletteMode == pmCustom;
}

TKvPalette* TKvZxSpectrumNextNxiEngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextNxiEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const bool fixed332 = options.PaletteType == ptRGB332;
  const uint8_t mode = options.PaletteMode;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* sl2 = fixed332 ? AArgs.Streams->NewStream("sl2", kPixelBytes) : nullptr;
  TKvStream* nxi = AArgs.Streams->NewStream("nxi", kPaletteBytes + kPixelBytes);
  if (!PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Has(mode)) RaiseOSError(ERROR_INVALID_PARAMETER);
  uint8_t* data = nxi->GetMemory();

  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvScreen8 screen(256, 192, data + kPaletteBytes);
  TKvPalette256& result = *options.GetPalette();
  if (mode == pmGray) options.SetUseAsGrayPalette(true);
  std::unique_ptr<TKvBitmap> preview;

  if (fixed332) {
    // The pixel byte is the colour itself, in every mode.
    FillNextRGB332Palette(result);
    if (mode == pmBlackWhite) {
      preview = image.ConvertBW(AArgs.Abort, options, &screen, &result, 0, 255);
    } else if (mode == pmGray) {
      TKvPalette256& grays = *options.GetFixedPalette();
      FillNextRGB332GrayPalette(grays);
      preview = image.ConvertIndexed(AArgs.Abort, options, &screen, grays, &result);
    } else {
      preview = image.ConvertIndexed(AArgs.Abort, options, &screen, result, nullptr);
    }
    std::memcpy(sl2->GetMemory(), data + kPaletteBytes, kPixelBytes);
  } else {
    // Merged grays store the two entries' indexes, as the preview shows them.
    auto cube = NewCube(mode == pmGray);
    preview = ConvertChosenColors(AArgs.Abort, image, &screen, cube->GrayPalette.get(), *cube, 256, options);
  }

  // More colours than the palette block holds would overwrite the pixels.
  if (result.Count > 256) RaiseInternalError();
  const auto cube = NewCube(false);
  for (int i = 0; i < result.Count; ++i) {
    const uint16_t w = NextPaletteWord(*cube, result.GetStdRGB(i));
    data[2 * i] = static_cast<uint8_t>(w);
    data[2 * i + 1] = static_cast<uint8_t>(w >> 8);
  }
  return preview;
}

const std::vector<const TKvDestEngineClass*>& ZxSpectrumNextDestEngineClasses() {
  return DestEngineClasses<TKvZxSpectrumNextNxiEngine>();
}

void InitKvSavePlatformZxSpectrumNext() { RegisterDestEngines(ZxSpectrumNextDestEngineClasses()); }
