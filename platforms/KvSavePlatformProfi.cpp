#include "platforms/KvSavePlatformProfi.h"

#include <cstring>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformProfi.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Options

TKvProfiEngineOptions::TKvProfiEngineOptions() {
  SetPixelAspect(pa3_4);
  SetPaletteMode(pmColor);
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
    : TKvProfiColorScreen(AWidth, AHeight, AData, 2, 2 * static_cast<int64_t>((AWidth + 7) / 8), 1) {}

TKvProfiColorScreen::TKvProfiColorScreen(int AWidth, int AHeight, void* AData, int64_t AColumnStep, int64_t ARowStep,
                                         int64_t AAttrOffset)
    : TKvCellScreen(AWidth, AHeight, AData),
      FColumns((AWidth + 7) / 8),
      FColumnStep(AColumnStep),
      FRowStep(ARowStep),
      FAttrOffset(AAttrOffset) {}

int TKvProfiColorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (*CellByte(X >> 3, Y) >> (7 - (X & 7))) & 1;
}

void TKvProfiColorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = *CellByte(X >> 3, Y);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
}

int TKvProfiColorScreen::GetAttr(int CellX, int CellY) {
  return CellByte(MirrorX ? FColumns - 1 - CellX : CellX, CellY)[FAttrOffset];
}

void TKvProfiColorScreen::SetAttr(int CellX, int CellY, int AAttr) {
  CellByte(MirrorX ? FColumns - 1 - CellX : CellX, CellY)[FAttrOffset] = static_cast<uint8_t>(AAttr);
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
  TKvPalette256& source = AIndexPalette ? *AIndexPalette : APalette;
  for (int i = 0; i < APalette.Count; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(source, place(i), place(i)));
  for (int i = 0; i < APalette.Count; ++i)
    for (int j = i + 1; j < APalette.Count; ++j)
      Add(std::make_unique<TKvCellPaperIncPalette>(source, place(i), place(j)));
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
  return TKvWavefrontCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
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
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  AddSectionItem(kinds, ptColored15);
  AddSectionItem(kinds, ptColored16of256);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
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

namespace {

// The ".grf" stream of ASize bytes, the rows starting after the header.
uint8_t* NewGrf(std::unique_ptr<TKvStreamList>& AStreams, int64_t ASize) {
  AStreams = std::make_unique<TKvStreamList>();
  return AStreams->NewStream("grf", static_cast<int>(ASize))->GetMemory();
}

std::unique_ptr<TKvBitmap> ConvertZxColors(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  const uint8_t mode = options.PaletteMode;
  if (mode == pmBlackWhite) {
    TKvImage image(AArgs.Bitmap);
    uint8_t* data = NewGrf(AArgs.Streams, ProfiMonoGrfFileSize(w, h));
    InitProfiGrfHeader(data, w, h);
    TKvScreen1 screen(w, h, data + ProfiHeaderBlockSize);
    return image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  }
  if (!PaletteModes(pmGray, pmColor, pmCustom).Has(mode)) RaiseOSError(87);
  options.SetUseAsGrayPalette(mode == pmGray);
  options.BuildZxPalette();
  TKvProfi16ColorImage image(8, 1, AArgs.Bitmap);
  uint8_t* data = NewGrf(AArgs.Streams, ProfiColorGrfFileSize(w, h));
  InitProfiColorGrfHeader(data, w, h);
  TKvProfiColorScreen screen(w, h, data + ProfiHeaderBlockSize);
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
}

// Every attribute of the colour rows := the one of paper APaper, ink AInk.
void FillAttributes(uint8_t* ARows, int AWidth, int AHeight, int APaper, int AInk) {
  const int64_t cells = static_cast<int64_t>((AWidth + 7) / 8) * AHeight;
  const uint8_t a = ProfiAttribute(APaper, AInk);
  for (int64_t i = 0; i < cells; ++i) ARows[2 * i + 1] = a;
}

std::unique_ptr<TKvBitmap> Convert256Colors(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth(), h = AArgs.Bitmap.GetHeight();
  TKvPalette256 colors256;
  FillProfi256Palette(colors256);
  TKvProfi256ColorImage image(8, 1, AArgs.Bitmap);
  AdjustOnce(image, options);
  uint8_t* data = NewGrf(AArgs.Streams, ProfiColorGrfFileSize(w, h));
  uint8_t* rows = data + ProfiHeaderBlockSize;
  TKvProfiColorScreen screen(w, h, rows);
  TKvPalette256& resultPalette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      resultPalette.Clear();
      resultPalette.AddColor(colors256.Colors[0]);
      resultPalette.AddColor(colors256.Colors[255]);
      int dark = 0, light = 1;
      fixed.AddColorPair(&resultPalette, 16, dark, light);
      FillAttributes(rows, w, h, dark, light);
      InitProfiColorPaletteGrfHeader(data, w, h, colors256, fixed);
      result = image.ConvertBWBits(abort, options, &screen, &fixed, dark, light);
      resultPalette.Assign(&fixed);
      break;
    }
    case pmGray: {
      options.SetUseAsGrayPalette(true);
      resultPalette.Clear();
      for (uint8_t b : {0, 85, 170, 255})
        resultPalette.AddColor(colors256.Colors[colors256.FindNearestStdRGB(StdRGBColor(b, b, b))]);
      int dark = 0, bright = 0;
      const bool reduced = TKvDestEngine::ReducePalette(abort, image, resultPalette, 16, options, dark, bright);
      InitProfiColorPaletteGrfHeader(data, w, h, colors256, fixed);
      if (reduced) {
        result = image.Convert(abort, options, &AArgs.Progress, &screen);
      } else {
        // The two colours the pixel bits choose between must be the cells'.
        FillAttributes(rows, w, h, dark, bright);
        result = image.ConvertBWBits(abort, options, &screen, &fixed, dark, bright);
      }
      resultPalette.Assign(&fixed);
      break;
    }
    case pmColor:
    case pmCustom:
      TKvDestEngine::QuantizePalette(abort, image, colors256, 16, options);
      InitProfiColorPaletteGrfHeader(data, w, h, colors256, resultPalette);
      image.FitToPaletteGray(resultPalette);
      result = image.Convert(abort, options, &AArgs.Progress, &screen);
      break;
    default: RaiseOSError(87);
  }
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvProfiEngine::Convert(TKvConvertArgs& AArgs) {
  if (AArgs.Options.PaletteType == ptColored15) return ConvertZxColors(AArgs);
  if (AArgs.Options.PaletteType == ptColored16of256) return Convert256Colors(AArgs);
  RaiseOSError(87);
}

const std::vector<const TKvDestEngineClass*>& ProfiDestEngineClasses() { return DestEngineClasses<TKvProfiEngine>(); }

void InitKvSavePlatformProfi() { RegisterDestEngines(ProfiDestEngineClasses()); }
