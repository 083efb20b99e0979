#include "platforms/KvSavePlatformElectronikaMS0515.h"

#include <cstring>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

TKvMS0515Screen::TKvMS0515Screen(void* AData) : TKvCellScreen(320, 200, AData) {
  std::memset(Data, 0x47, MS0515ScreenSize);
}

int TKvMS0515Screen::GetPixel(int X, int Y) {
  X = MX(X);
  return (Data[Y * 80 + (X / 8) * 2] >> (7 - (X & 7))) & 1;
}

void TKvMS0515Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[Y * 80 + (X / 8) * 2];
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  b = static_cast<uint8_t>(AValue ? (b | m) : (b & ~m));
}

int TKvMS0515Screen::GetAttr(int CellX, int CellY) { return Data[CellY * 80 + MCX(CellX) * 2 + 1]; }

void TKvMS0515Screen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[CellY * 80 + MCX(CellX) * 2 + 1] = static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Candidates and cell image

const TKvMS0515CellPair MS0515GrayPairs[5] = {{0, 0}, {0, 7}, {7, 7}, {8, 15}, {15, 15}};

const TKvMS0515CellPair MS0515CellPairs[72] = {
    // dark singles, dark pairs, bright singles, bright pairs
    {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {0, 1}, {0, 2},
    {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6},
    {1, 7}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {3, 4}, {3, 5}, {3, 6}, {3, 7},
    {4, 5}, {4, 6}, {4, 7}, {5, 6}, {5, 7}, {6, 7}, {8, 8}, {9, 9}, {10, 10}, {11, 11},
    {12, 12}, {13, 13}, {14, 14}, {15, 15}, {8, 9}, {8, 10}, {8, 11}, {8, 12}, {8, 13}, {8, 14},
    {8, 15}, {9, 10}, {9, 11}, {9, 12}, {9, 13}, {9, 14}, {9, 15}, {10, 11}, {10, 12}, {10, 13},
    {10, 14}, {10, 15}, {11, 12}, {11, 13}, {11, 14}, {11, 15}, {12, 13}, {12, 14}, {12, 15}, {13, 14},
    {13, 15}, {14, 15},
};

TKvMS0515GrayPaletteList::TKvMS0515GrayPaletteList(TKvPalette256& APalette) {
  for (const TKvMS0515CellPair& p : MS0515GrayPairs) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, p.A, p.B));
}

TKvMS0515ColorPaletteList::TKvMS0515ColorPaletteList(TKvPalette256& APalette, int AFirst, int ALast) {
  for (int i = AFirst; i <= ALast; ++i)
    Add(std::make_unique<TKvCellPaperIncPalette>(APalette, MS0515CellPairs[i].A, MS0515CellPairs[i].B));
}

std::unique_ptr<TKvBitmap> TKvMS0515ColorImage::ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                            TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  return Convert(AAbort, AOptions, AProgress, ATarget);
}

TKvCellPaletteList* TKvMS0515ColorImage::CreatePaletteList() {
  if (FGrayMode) return new TKvMS0515GrayPaletteList(*FPalette);
  const int first = ColorUsage == cuBrightOnly ? 36 : 0;
  const int last = (ColorUsage == cuDarkOnly || ColorUsage == cuDarkOnlyForceBright) ? 35 : 71;
  return new TKvMS0515ColorPaletteList(*FPalette, first, last);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvMS0515EngineOptions::TKvMS0515EngineOptions() {
  SetPixelAspect(pa1_1);
  SetPaletteMode(pmColor);
  SetColorUsage(cuDarkAndBright);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

TKvMS0515HiResolutionEngineOptions::TKvMS0515HiResolutionEngineOptions() { SetPixelAspect(pa1_2); }

TKvMS0515EngineUI::TKvMS0515EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddZxColorUsageAndDithering(*this);
}

TKvMS0515HiResolutionEngineUI::TKvMS0515HiResolutionEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Engines

namespace {

// The "scr" file of a conversion: AConvert converts to a screen over its
// memory. The picture must fit AWidth x 200 pixels.
template <class TConvert>
std::unique_ptr<TKvBitmap> ConvertMS0515File(TKvConvertArgs& AArgs, int AWidth, TConvert AConvert) {
  if (AArgs.Bitmap.GetWidth() > AWidth || AArgs.Bitmap.GetHeight() > 200) RaiseOSError(87);
  auto streams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmap> result = AConvert(streams->NewStream("scr", MS0515ScreenSize)->GetMemory());
  AArgs.Streams = std::move(streams);
  return result;
}

std::unique_ptr<TKvBitmap> ConvertMS0515BW(TKvConvertArgs& AArgs, TKvData& AScreen) {
  TKvImage image(AArgs.Bitmap);
  return image.ConvertBW(AArgs.Abort, AArgs.Options, &AScreen, nullptr, 0, 1);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvMS0515Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertMS0515File(AArgs, 320, [&](uint8_t* AData) {
    TKvDestEngineOptions& options = AArgs.Options;
    TKvMS0515Screen screen(AData);
    if (options.PaletteMode == pmBlackWhite) return ConvertMS0515BW(AArgs, screen);
    if (options.PaletteMode != pmGray && options.PaletteMode != pmColor) RaiseOSError(87);
    options.GetPalette()->FillGRB16Nearest(nullptr);
    TKvMS0515ColorImage image(8, 1, AArgs.Bitmap);
    if (options.PaletteMode == pmGray) return image.ConvertGray(AArgs.Abort, options, &AArgs.Progress, &screen);
    return image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  });
}

std::unique_ptr<TKvBitmap> TKvMS0515HiResolutionEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertMS0515File(AArgs, 640, [&](uint8_t* AData) {
    TKvScreen1 screen(640, 200, AData);
    return ConvertMS0515BW(AArgs, screen);
  });
}

void InitKvSavePlatformElectronikaMS0515() { RegisterDestEngines<TKvMS0515Engine, TKvMS0515HiResolutionEngine>(); }
