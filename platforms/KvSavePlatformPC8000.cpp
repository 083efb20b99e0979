#include "platforms/KvSavePlatformPC8000.h"

#include <cstring>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

TKvPC8000Screen::TKvPC8000Screen(void* AData) : TKvCellScreen(256, 192, AData) {
  std::memset(Data, 0, PC8000FileSize);
  InitPC8000Header(Data);
  std::memset(Data + PC8000HeaderSize + PC8000PlaneSize, 0x0F, PC8000PlaneSize);
}

int TKvPC8000Screen::GetPixel(int X, int Y) {
  X = MX(X);
  return (Data[PC8000HeaderSize + PC8000Offset(X / 8, Y)] >> (7 - (X & 7))) & 1;
}

void TKvPC8000Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[PC8000HeaderSize + PC8000Offset(X / 8, Y)];
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  b = static_cast<uint8_t>(AValue ? (b | m) : (b & ~m));
}

void TKvPC8000Screen::SetAttr(int CellX, int CellY, int AAttr) {
  if (MirrorX) CellX = 31 - CellX;
  Data[PC8000HeaderSize + PC8000PlaneSize + PC8000Offset(CellX, CellY)] = static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Candidates and cell image

TKvPC8000ColorPaletteList::TKvPC8000ColorPaletteList(TKvPalette256& APalette, bool AGray) {
  if (AGray)
    AddSinglesAndPairs(*this, APalette, {1, 14, 15});
  else
    AddSinglesAndPairs(*this, APalette, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
}

TKvCellPaletteList* TKvPC8000ColorImage::CreatePaletteList() {
  return new TKvPC8000ColorPaletteList(*FPalette, FGrayMode);
}

void TKvPC8000ColorImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexA << 4) | ACellPalette->IndexB);
}

// ---------------------------------------------------------------------------
// Options and panel

TKvPC8000EngineOptions::TKvPC8000EngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

void TKvPC8000EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildPC8000Palette(*GetPalette(), static_cast<TKvPaletteType>(PaletteType), PaletteMode);
}

TKvPC8000EngineUI::TKvPC8000EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(PixelAspects(pa1_1, pa1_0p75, pa7_5, pa1p5_1));
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  AddSectionItem(kinds, ptColoredLinear);
  AddSectionItem(kinds, ptColoredDDp);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDestPalette(16, 1, true);
  AddDitheringSection(true);
  AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvBitmap> TKvPC8000Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  // The file holds 256 x 192 pixels.
  if (AArgs.Bitmap.GetWidth() > 256 || AArgs.Bitmap.GetHeight() > 192) RaiseOSError(87);
  const auto type = static_cast<TKvPaletteType>(options.PaletteType);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = streams->NewStream("vm2", PC8000FileSize)->GetMemory();
  BuildPC8000Palette(*options.GetPalette(), type, pmColor);
  TKvPC8000Screen screen(data);
  std::unique_ptr<TKvBitmap> result;
  if (options.PaletteMode == pmBlackWhite) {
    TKvImage image(AArgs.Bitmap);
    result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  } else {
    if (options.PaletteMode == pmGray) options.SetUseAsGrayPalette(true);
    TKvPC8000ColorImage image(8, 1, AArgs.Bitmap);
    result = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  }
  BuildPC8000Palette(*options.GetPalette(), type, options.PaletteMode);
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformPC8000() { RegisterDestEngines<TKvPC8000Engine>(); }
