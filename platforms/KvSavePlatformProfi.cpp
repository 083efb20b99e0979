#include "platforms/KvSavePlatformProfi.h"

#include <cstring>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformProfi.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Options

TKvProfiEngineOptions::TKvProfiEngineOptions() {
  SetPixelAspect(6);  // "3:4"
  SetPaletteMode(11);
}

TKvProfiColorEngineOptions::TKvProfiColorEngineOptions() {
  SetPaletteType(ptColored16of256);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);  // "Jarvis, Judice & Ninke"
  SetErrorDiffusion(90);
}

void TKvProfiColorEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!Palette) Palette = std::make_unique<TKvPalette256>();
  Palette->Clear();
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  if (PaletteType == ptColored15)
    BuildZxPalette();
  else if (PaletteType == ptColored16of256)
    FillProfi256Palette(static_cast<TKvPalette256&>(*HardwarePalette));
}

// ---------------------------------------------------------------------------
// Screen

TKvProfiColorScreen::TKvProfiColorScreen(int AWidth, int AHeight, void* AData)
    : TKvCellScreen(AWidth, AHeight, AData), FColumns((AWidth + 7) / 8) {}

int TKvProfiColorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (*PixelByte(X, Y) >> (7 - (X & 7))) & 1;
}

void TKvProfiColorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = *PixelByte(X, Y);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
}

int TKvProfiColorScreen::GetAttr(int CellX, int CellY) {
  return Data[static_cast<intptr_t>(CellY) * 2 * FColumns + (MirrorX ? FColumns - 1 - CellX : CellX) * 2 + 1];
}

void TKvProfiColorScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[static_cast<intptr_t>(CellY) * 2 * FColumns + (MirrorX ? FColumns - 1 - CellX : CellX) * 2 + 1] =
      static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Candidate lists

TKvProfi16GrayPaletteList::TKvProfi16GrayPaletteList(TKvPalette256& APalette) {
  static const int kPairs[6][2] = {{0, 0}, {7, 7}, {15, 15}, {0, 7}, {0, 15}, {7, 15}};
  for (const auto& p : kPairs) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, p[0], p[1]));
}

TKvProfi16ColorPaletteList::TKvProfi16ColorPaletteList(uint8_t, TKvPalette256& APalette) {
  // Black and bright black are one colour.
  for (int i = 0; i < 16; ++i)
    for (int j = i + 1; j < 16; ++j)
      if (i != 0 || j != 8) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, j));
}

TKvProfi256ColorPaletteList::TKvProfi256ColorPaletteList(TKvPalette256& APalette, TKvPalette256* AIndexPalette) {
  auto place = [&](int i) {
    return AIndexPalette ? AIndexPalette->LocateStdRGB(APalette.Colors[i].GetStdRGB()) : i;
  };
  TKvPalette256& LSource = AIndexPalette ? *AIndexPalette : APalette;
  for (int i = 0; i < APalette.Count; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(LSource, place(i), place(i)));
  for (int i = 0; i < APalette.Count; ++i)
    for (int j = i + 1; j < APalette.Count; ++j)
      Add(std::make_unique<TKvCellPaperIncPalette>(LSource, place(i), place(j)));
}

// ---------------------------------------------------------------------------
// Cell images

std::unique_ptr<TKvBitmap> TKvProfi256ColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FGrayMode ? FFixedPalette : FPalette);
}

TKvCellPaletteList* TKvProfi256ColorImage::CreatePaletteList() {
  return new TKvProfi256ColorPaletteList(*FPalette, FGrayMode ? FFixedPalette : nullptr);
}

void TKvProfi256ColorImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                        TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ProfiAttribute(ACellPalette->IndexA, ACellPalette->IndexB));
}

void TKvProfi256ColorImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                           int AIndex) {
  AResult->SetPixel(X, Y, AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvProfi256ColorImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

std::unique_ptr<TKvBitmap> TKvProfi16ColorImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                         TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  ColorUsage = AOptions.ColorUsage;
  return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvProfi16ColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

TKvCellPaletteList* TKvProfi16ColorImage::CreatePaletteList() {
  if (FGrayMode) return new TKvProfi16GrayPaletteList(*FPalette);
  return new TKvProfi16ColorPaletteList(ColorUsage, *FPalette);
}

// ---------------------------------------------------------------------------
// Panel

TKvProfiColorEngineUI::TKvProfiColorEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(0);
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptColored15);
  AddSectionItem(LKinds, ptColored16of256);
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(true);
}

bool TKvProfiColorEngineUI::CanEditPalette() { return GetOptions()->PaletteType == ptColored16of256; }

TKvPalette* TKvProfiColorEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  FillProfi256Palette(AScratch);
  AColumns = 0;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvDestEngineUI> TKvProfiEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvProfiColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvProfiEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvProfiColorEngineOptions>();
}

namespace {

// The ".grf" stream of ASize bytes, the rows starting after the header.
uint8_t* NewGrf(std::unique_ptr<TKvStreamList>& AStreams, int64_t ASize) {
  AStreams = std::make_unique<TKvStreamList>();
  return AStreams->NewStream("grf", static_cast<int>(ASize))->GetMemory();
}

std::unique_ptr<TKvBitmap> ConvertZxColors(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                           TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  const int w = ABitmap.GetWidth(), h = ABitmap.GetHeight();
  const uint8_t LMode = AOptions.PaletteMode;
  if (LMode == 0) {
    TKvImage LImage(ABitmap);
    uint8_t* LData = NewGrf(AStreams, ProfiMonoGrfFileSize(w, h));
    InitProfiGrfHeader(LData, w, h);
    TKvScreen1 LScreen(w, h, LData + ProfiHeaderBlockSize);
    return LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  }
  if (LMode != 1 && LMode != 11 && LMode != 17) RaiseOSError(87);
  AOptions.SetUseAsGrayPalette(LMode == 1);
  AOptions.BuildZxPalette();
  TKvProfi16ColorImage LImage(8, 1, ABitmap);
  uint8_t* LData = NewGrf(AStreams, ProfiColorGrfFileSize(w, h));
  InitProfiColorGrfHeader(LData, w, h);
  TKvProfiColorScreen LScreen(w, h, LData + ProfiHeaderBlockSize);
  return LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
}

// Every attribute of the colour rows := the one of paper APaper, ink AInk.
void FillAttributes(uint8_t* ARows, int AWidth, int AHeight, int APaper, int AInk) {
  const int64_t LCells = static_cast<int64_t>((AWidth + 7) / 8) * AHeight;
  const uint8_t a = ProfiAttribute(APaper, AInk);
  for (int64_t i = 0; i < LCells; ++i) ARows[2 * i + 1] = a;
}

std::unique_ptr<TKvBitmap> Convert256Colors(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  const int w = ABitmap.GetWidth(), h = ABitmap.GetHeight();
  TKvPalette256 L256;
  FillProfi256Palette(L256);
  TKvProfi256ColorImage LImage(8, 1, ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  uint8_t* LData = NewGrf(AStreams, ProfiColorGrfFileSize(w, h));
  uint8_t* LRows = LData + ProfiHeaderBlockSize;
  TKvProfiColorScreen LScreen(w, h, LRows);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      LResultPalette.Clear();
      LResultPalette.AddColor(L256.Colors[0]);
      LResultPalette.AddColor(L256.Colors[255]);
      int LDark = 0, LLight = 1;
      LFixed.AddColorPair(&LResultPalette, 16, LDark, LLight);
      FillAttributes(LRows, w, h, LDark, LLight);
      InitProfiColorPaletteGrfHeader(LData, w, h, L256, LFixed);
      LResult = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LDark, LLight);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 1: {
      AOptions.SetUseAsGrayPalette(true);
      LResultPalette.Clear();
      for (uint8_t b : {0, 85, 170, 255}) LResultPalette.AddColor(L256.Colors[L256.FindNearestStdRGB(StdRGBColor(b, b, b))]);
      int LDark = 0, LBright = 0;
      const bool LReduced = TKvDestEngine::ReducePalette(AAbort, LImage, LResultPalette, 16, AOptions, LDark, LBright);
      InitProfiColorPaletteGrfHeader(LData, w, h, L256, LFixed);
      if (LReduced) {
        LResult = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
      } else {
        // The two colours the pixel bits choose between must be the cells'.
        FillAttributes(LRows, w, h, LDark, LBright);
        LResult = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LDark, LBright);
      }
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 11:
    case 17:
      TKvDestEngine::QuantizePalette(AAbort, LImage, L256, 16, AOptions);
      InitProfiColorPaletteGrfHeader(LData, w, h, L256, LResultPalette);
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
      break;
    default: RaiseOSError(87);
  }
  return LResult;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvProfiEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                   TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                                   std::unique_ptr<TKvStreamList>& AStreams) {
  if (AOptions.PaletteType == ptColored15) return ConvertZxColors(AAbort, ABitmap, AOptions, AProgress, AStreams);
  if (AOptions.PaletteType == ptColored16of256)
    return Convert256Colors(AAbort, ABitmap, AOptions, AProgress, AStreams);
  RaiseOSError(87);
}

const std::vector<const TKvDestEngineClass*>& ProfiDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {&DestEngineClass<TKvProfiEngine>()};
  return LClasses;
}

void InitKvSavePlatformProfi() {
  for (const TKvDestEngineClass* c : ProfiDestEngineClasses()) RegisterDestEngine(*c);
}
