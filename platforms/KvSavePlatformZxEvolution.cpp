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
  SetPaletteMode(pmColor);
}

void TKvZxEvolution256x192EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& p = *GetPalette();
  p.Clear();
  const auto type = static_cast<TKvPaletteType>(PaletteType);
  if (type != ptVideoDAC) {
    HardwarePalette.reset();
    if (PaletteMode == pmBlackWhite) {
      p.FillBlackWhite();
    } else if (PaletteMode == pmGray) {
      auto grays = TKvPaletteRGB::CreatePWM(type, true);
      p.Assign(grays->GrayPalette.get());
    } else {
      p.AssignColors(TKvPaletteRGB::CreatePWM(FamilyBase(type), false).get());
    }
  }
  HardwarePalette = TKvPaletteRGB::CreatePWM(type, false);
}

TKvZxEvolutionEngineUI::TKvZxEvolutionEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows)
    : TKvDestEngineUIEx(AOptions), FPaletteRows(APaletteRows) {
  AddDimensionSection(true);
  AddPositionSection(PixelAspects(pa1_1p2, pa1_1));
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  for (TKvPaletteType t : ZxEvolutionPaletteTypes) AddSectionItem(kinds, t);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
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

std::unique_ptr<TKvBitmap> TKvZxEvolutionEngine::ConvertBits(TKvConvertArgs& AArgs, int ABits) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  const int colorCount = 1 << ABits;
  const int rowSize = ABits == 4 ? (width + 1) / 2 : width;
  std::vector<uint8_t> buffer(static_cast<size_t>(rowSize) * height, 0);

  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  std::unique_ptr<TKvBitmapData> screen;
  if (ABits == 4)
    screen = std::make_unique<TKvScreen4>(width, height, buffer.data());
  else
    screen = std::make_unique<TKvScreen8>(width, height, buffer.data());

  const auto type = static_cast<TKvPaletteType>(options.PaletteType);
  auto levels = TKvPaletteRGB::CreatePWM(type, options.PaletteMode == pmGray);
  // Only the four-level palettes offer colours to pick.
  if (options.PaletteMode == pmCustom && type != ptEvoEGA && type != ptPentevo) options.SetPaletteMode(pmColor);
  if (!PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Has(options.PaletteMode)) RaiseInternalError();
  std::unique_ptr<TKvBitmap> preview =
      ConvertChosenColors(AArgs.Abort, image, screen.get(), levels->GrayPalette.get(), *levels, colorCount, options);
  TKvPalette256& result = *options.GetPalette();
  if (result.Count > colorCount) RaiseInternalError();

  const auto scale = TKvPaletteRGB::CreatePWM(EncodingScale(type), false);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = AArgs.Streams->NewStream("sxg", SxgHeaderSize);
  uint8_t header[SxgHeaderSize];
  InitSxgHeader(header, 3, width, height, ABits);
  header[12] = 2;
  TKvColor border;
  border.InitStdRGB(options.GetBorderStdRGB());
  header[5] = static_cast<uint8_t>(result.FindNearestByMetric(0, border));
  const uint32_t pixelOffset = 2u * static_cast<uint32_t>(result.Count);
  header[14] = static_cast<uint8_t>(pixelOffset);
  header[15] = static_cast<uint8_t>(pixelOffset >> 8);
  stream->SetPosition(0);
  stream->WriteBuffer(header, SxgHeaderSize);
  for (int i = 0; i < result.Count; ++i) {
    uint8_t r, g, b;
    scale->GetLevelIndexes(result.GetStdRGB(i), r, g, b);
    const uint16_t w = static_cast<uint16_t>((r << 10) | (g << 5) | b);
    const uint8_t word[2] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
    stream->WriteBuffer(word, 2);
  }
  const uint32_t line = SxgBytesPerLine(header);
  const int64_t pixels = stream->GetSize();
  stream->SetSize(pixels + static_cast<int64_t>(line) * height);
  uint8_t* data = stream->GetMemory();
  std::memset(data + pixels, 0, static_cast<size_t>(line) * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(data + pixels + static_cast<int64_t>(y) * line, buffer.data() + static_cast<size_t>(y) * rowSize,
                rowSize);
  return preview;
}

const std::vector<const TKvDestEngineClass*>& ZxEvolutionDestEngineClasses() {
  return DestEngineClasses<TKvZxEvolution256x192x4Engine, TKvZxEvolution256x192x8Engine, TKvZxEvolution320x200x4Engine,
                           TKvZxEvolution320x200x8Engine, TKvZxEvolution320x240x4Engine, TKvZxEvolution320x240x8Engine,
                           TKvZxEvolution360x288x4Engine, TKvZxEvolution360x288x8Engine>();
}

void InitKvSavePlatformZxEvolution() { RegisterDestEngines(ZxEvolutionDestEngineClasses()); }
