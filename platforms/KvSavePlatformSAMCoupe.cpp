#include "platforms/KvSavePlatformSAMCoupe.h"

#include <cstring>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "shell/noxShellBaseExtension.h"

namespace KvSavePlatformSAMCoupe {

void TKvSAMCoupeMode4InterlacedScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[static_cast<int64_t>(Y % 2) * SAMScreenFileSize + (Y / 2) * 128 + X / 2];
  const uint8_t v = static_cast<uint8_t>(AValue & 15);
  if (X & 1)
    b = static_cast<uint8_t>((b & 0xF0) | v);
  else
    b = static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

void TKvSAMCoupeEngineOptionsBase::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  BuildSAMCoupePalette(static_cast<TKvPalette256&>(*HardwarePalette));
}

TKvSAMCoupeEngineUIBase::TKvSAMCoupeEngineUIBase(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int AColumns)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(AModes);
  AddDestPalette(AColumns, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvSAMCoupeEngineUIBase::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  BuildSAMCoupePalette(AScratch);
  AColumns = 16;
  return &AScratch;
}

TKvSAMCoupeMode3EngineUI::TKvSAMCoupeMode3EngineUI(TKvDestEngineOptions* AOptions)
    : TKvSAMCoupeEngineUIBase(AOptions, PaletteModes(pmBlackWhite, pmGray, pmColorBright, pmColor, pmCustom), 4) {}

TKvSAMCoupeMode4EngineUI::TKvSAMCoupeMode4EngineUI(TKvDestEngineOptions* AOptions)
    : TKvSAMCoupeEngineUIBase(AOptions, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom), 16) {}

namespace {

// A picture larger than the screen would draw past the stream's memory.
void CheckFits(TBitmap32& ABitmap, int AWidth, int AHeight) {
  if (ABitmap.GetWidth() > AWidth || ABitmap.GetHeight() > AHeight) RaiseOSError(87);
}

// Draws the picture on AScreen with at most AColors colours of the SAM table;
// the options' result palette ends as the palette the screen values index.
std::unique_ptr<TKvBitmap> DrawSAM(TKvConvertArgs& AArgs, TKvData* AScreen, int AColors, bool AAllowBright) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& resultPalette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      resultPalette.FillBlackWhite();
      int dark = 0, light = 0;
      fixed.AddColorPair(&resultPalette, AColors, dark, light);
      result = image.ConvertBW(abort, options, AScreen, &fixed, dark, light);
      resultPalette.Assign(&fixed);
      break;
    }
    case pmGray: {
      BuildSAMCoupeGrayPalette(resultPalette);
      int dark = 0, bright = 0;
      if (TKvDestEngine::ReducePalette(abort, image, resultPalette, AColors, options, dark, bright))
        result = image.ConvertIndexed(abort, options, AScreen, resultPalette, &fixed);
      else
        // The screen takes the fixed palette's own indexes of the two
        // colours, so that the written palette shows them.
        result = image.ConvertBW(abort, options, AScreen, &fixed, dark, bright);
      resultPalette.Assign(&fixed);
      break;
    }
    case pmColorBright:
    case pmColor:
    case pmCustom: {
      if (options.PaletteMode == pmColorBright && !AAllowBright) RaiseOSError(87);
      {
        TKvPalette256 allowed;
        if (options.PaletteMode == pmColorBright)
          BuildSAMCoupeBrightPalette(allowed);
        else
          BuildSAMCoupePalette(allowed);
        TKvDestEngine::QuantizePalette(abort, image, allowed, AColors, options);
      }
      image.FitToPaletteGray(resultPalette);
      result = image.ConvertIndexed(abort, options, AScreen, resultPalette, nullptr);
      break;
    }
    default:
      RaiseOSError(87);
  }
  return result;
}

// Modes 3 and 4: the ".ssx" screen with its colour numbers, then the
// machine's own ".ss3" or ".ss4" file of the same screen and its palette
// block.
std::unique_ptr<TKvBitmap> ConvertSAMScreen(TKvConvertArgs& AArgs, bool AMode3) {
  const int width = AMode3 ? 512 : 256;
  const int colors = AMode3 ? 4 : 16;
  CheckFits(AArgs.Bitmap, width, 192);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* ssx = streams->NewStream("ssx", AMode3 ? SAMMode3SsxSize : SAMMode4SsxSize)->GetMemory();
  std::unique_ptr<TKvData> screen;
  if (AMode3)
    screen = std::make_unique<TKvScreen2>(width, 192, ssx);
  else
    screen = std::make_unique<TKvScreen4>(width, 192, ssx);
  auto result = DrawSAM(AArgs, screen.get(), colors, AMode3);
  const TKvPalette256& palette = *AArgs.Options.GetPalette();
  WriteSAMCoupeColorIndexes(palette, ssx + SAMScreenSize, colors);
  uint8_t* file = streams->NewStream(AMode3 ? "ss3" : "ss4", SAMScreenFileSize)->GetMemory();
  if (AMode3) {
    // The ".ss3" screen holds each pixel's values 1 and 2 exchanged, the way
    // the machine's own files store mode 3; the ".ssx" copy keeps them plain.
    for (int i = 0; i < SAMScreenSize; ++i) {
      const uint8_t b = ssx[i];
      file[i] = static_cast<uint8_t>(((b & 0xAA) >> 1) | ((b & 0x55) << 1));
    }
    WriteSAMCoupeMode3PaletteBlock(palette, file + SAMScreenSize);
  } else {
    std::memcpy(file, ssx, SAMScreenSize);
    WriteSAMCoupeMode4PaletteBlock(palette, file + SAMScreenSize);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertSAMScreen(AArgs, true);
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertSAMScreen(AArgs, false);
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4InterlacedEngine::Convert(TKvConvertArgs& AArgs) {
  CheckFits(AArgs.Bitmap, 256, 384);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* lce = streams->NewStream("lce", SAMInterlacedSize)->GetMemory();
  TKvSAMCoupeMode4InterlacedScreen screen(256, 384, lce);
  auto result = DrawSAM(AArgs, &screen, 16, false);
  const TKvPalette256& palette = *AArgs.Options.GetPalette();
  WriteSAMCoupeMode4PaletteBlock(palette, lce + SAMScreenSize);
  WriteSAMCoupeMode4PaletteBlock(palette, lce + SAMScreenFileSize + SAMScreenSize);
  TKvStream* odd = streams->NewStream("odd.ss4", SAMScreenFileSize);
  std::memcpy(odd->GetMemory(), lce, SAMScreenFileSize);
  std::memcpy(odd->NewSubStream("eve.ss4", SAMScreenFileSize)->GetMemory(), lce + SAMScreenFileSize, SAMScreenFileSize);
  AArgs.Streams = std::move(streams);
  return result;
}

TKvSAMCoupeHAMImage::TKvSAMCoupeHAMImage(const TKvImage& AImage, uint8_t* ABlock)
    : TKvHAMImage(AImage), FBlock(ABlock) {
  FChanges[0] = 255;
}

void TKvSAMCoupeHAMImage::StoreInitialPalette(TKvPalette*, TKvPalette256& ALinePalette) {
  FLinePalette.Assign(&ALinePalette);
  WriteSAMCoupeMode4PaletteBlock(ALinePalette, FBlock);
}

void TKvSAMCoupeHAMImage::StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                                             int ALine) {
  if (FCount >= SAMMaxLineChanges) RaiseInternalError();
  // A record holds one byte for the entry and one for the line.
  if (AIndex < 0 || AIndex >= FLinePalette.Count || AIndex > 15 || ALine < 1 || ALine > 256) RaiseInternalError();
  if (FLinePalette.GetStdRGB(AIndex) == AColor) return;
  auto* LDisplay = dynamic_cast<TKvPalette256*>(ADisplayPalette);
  if (!LDisplay) RaiseInternalError();
  const uint8_t LNumber = static_cast<uint8_t>(LDisplay->LocateStdRGB(AColor));
  FLinePalette.GetPColor(AIndex)->InitStdRGB(AColor);
  FLinePalette.Changed();
  uint8_t* r = FChanges + 4 * FCount;
  r[0] = static_cast<uint8_t>(ALine - 1);
  r[1] = static_cast<uint8_t>(AIndex);
  r[2] = r[3] = LNumber;
  ++FCount;
  FChanges[4 * FCount] = 255;
}

TKvSAMCoupeMode4HAMEngineUI::TKvSAMCoupeMode4HAMEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddDestPalette(16, 8, true);
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4HAMEngine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  CheckFits(AArgs.Bitmap, 256, 192);
  auto streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = streams->NewStream("ss4", SAMScreenFileSize);
  TKvPalette256 allowed;
  BuildSAMCoupePalette(allowed);
  TKvScreen4 screen(256, 192, stream->GetMemory());
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  image.DitherToPalette(abort, options, allowed, false);
  // 16 colours a row, one entry changed between two rows, at most 127
  // palettes down the screen, every entry free.
  TKvHAMPalette plan(abort, image, &allowed, 16, 1, SAMMaxLineChanges, 2);
  TKvSAMCoupeHAMImage ham(image, stream->GetMemory() + SAMScreenSize);
  // The picture is dithered already: the rows take their nearest colours.
  options.SetDitherMethod(0);
  auto result = ham.Convert(abort, options, &screen, plan, &allowed);
  TKvPalette256& resultPalette = *options.GetPalette();
  resultPalette.Clear();
  if (ham.GetUsedPalette()) resultPalette.Assign(ham.GetUsedPalette());
  // The change list replaces the block's closing 255; the stream grows.
  stream->SetPosition(stream->GetSize() - 1);
  stream->WriteBuffer(ham.GetChanges(), 4 * static_cast<int64_t>(ham.GetChangeCount()) + 1);
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace KvSavePlatformSAMCoupe

void InitKvSavePlatformSAMCoupe() {
  using namespace KvSavePlatformSAMCoupe;
  RegisterDestEngines<TKvSAMCoupeMode3Engine, TKvSAMCoupeMode4Engine, TKvSAMCoupeMode4InterlacedEngine,
                      TKvSAMCoupeMode4HAMEngine>();
}
