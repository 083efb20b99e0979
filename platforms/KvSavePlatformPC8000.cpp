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

TKvPC8000GrayPaletteList::TKvPC8000GrayPaletteList(TKvPalette256& APalette) {
  static const uint8_t LPairs[6][2] = {{1, 1}, {14, 14}, {15, 15}, {1, 14}, {1, 15}, {14, 15}};
  for (const auto& p : LPairs) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, p[0], p[1]));
}

TKvPC8000ColorPaletteList::TKvPC8000ColorPaletteList(TKvPalette256& APalette) {
  for (int i = 1; i <= 15; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, i));
  for (int i = 1; i <= 14; ++i)
    for (int j = i + 1; j <= 15; ++j) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, j));
}

std::unique_ptr<TKvBitmap> TKvPC8000ColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

TKvCellPaletteList* TKvPC8000ColorImage::CreatePaletteList() {
  if (FGrayMode) return new TKvPC8000GrayPaletteList(*FPalette);
  return new TKvPC8000ColorPaletteList(*FPalette);
}

void TKvPC8000ColorImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexA << 4) | ACellPalette->IndexB);
}

void TKvPC8000ColorImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                         int AIndex) {
  AResult->SetPixel(X, Y, AIndex ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvPC8000ColorImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

// ---------------------------------------------------------------------------
// Options and panel

TKvPC8000EngineOptions::TKvPC8000EngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
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
  AddPositionSection((1u << 10) | (1u << 13) | (1u << 14) | (1u << 16));
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptColoredLinear);
  AddSectionItem(LKinds, ptColoredDDp);
  AddPaletteModeSection(0x803);  // "Black/white", "Gray", "Сolor"
  AddDestPalette(16, 1, true);
  AddDitheringSection(true);
  AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvDestEngineUI> TKvPC8000Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvPC8000EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvPC8000Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvPC8000EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvPC8000Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                    TKvDestProgress& AProgress,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  // The file holds 256 x 192 pixels.
  if (ABitmap.GetWidth() > 256 || ABitmap.GetHeight() > 192) RaiseOSError(87);
  const auto LType = static_cast<TKvPaletteType>(AOptions.PaletteType);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = LStreams->NewStream("vm2", PC8000FileSize)->GetMemory();
  BuildPC8000Palette(*AOptions.GetPalette(), LType, 11);
  TKvPC8000Screen LScreen(LData);
  std::unique_ptr<TKvBitmap> LResult;
  if (AOptions.PaletteMode == 0) {
    TKvImage LImage(ABitmap);
    LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  } else {
    if (AOptions.PaletteMode == 1) AOptions.SetUseAsGrayPalette(true);
    TKvPC8000ColorImage LImage(8, 1, ABitmap);
    LResult = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
  }
  BuildPC8000Palette(*AOptions.GetPalette(), LType, AOptions.PaletteMode);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformPC8000() { RegisterDestEngine(DestEngineClass<TKvPC8000Engine>()); }
