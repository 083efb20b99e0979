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

TKvSAMCoupeMode3EngineOptions::TKvSAMCoupeMode3EngineOptions() {
  SetPixelAspect(1);  // "1:2"
  SetPaletteMode(10);
  SetErrorDiffusion(80);
}

TKvSAMCoupeMode4EngineOptions::TKvSAMCoupeMode4EngineOptions() {
  SetPixelAspect(10);  // "1:1"
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvSAMCoupeMode4InterlacedEngineOptions::TKvSAMCoupeMode4InterlacedEngineOptions() {
  SetPixelAspect(17);  // "2:1"
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

TKvSAMCoupeEngineUIBase::TKvSAMCoupeEngineUIBase(TKvDestEngineOptions* AOptions, uint32_t AModes, int AColumns)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
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

// Modes 0 "Black/white", 1 "Gray", 10 "Сolor (bright)", 11 "Сolor", 17 "Custom".
TKvSAMCoupeMode3EngineUI::TKvSAMCoupeMode3EngineUI(TKvDestEngineOptions* AOptions)
    : TKvSAMCoupeEngineUIBase(AOptions, 134147, 4) {}

// Modes 0, 1, 11 and 17.
TKvSAMCoupeMode4EngineUI::TKvSAMCoupeMode4EngineUI(TKvDestEngineOptions* AOptions)
    : TKvSAMCoupeEngineUIBase(AOptions, 133123, 16) {}

namespace {

// A picture larger than the screen would draw past the stream's memory.
void CheckFits(TBitmap32& ABitmap, int AWidth, int AHeight) {
  if (ABitmap.GetWidth() > AWidth || ABitmap.GetHeight() > AHeight) RaiseOSError(87);
}

// Draws the picture on AScreen with at most AColors colours of the SAM table;
// the options' result palette ends as the palette the screen values index.
std::unique_ptr<TKvBitmap> DrawSAM(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions, TKvData* AScreen,
                                   int AColors, bool AAllowBright) {
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      LResultPalette.FillBlackWhite();
      int A = 0, B = 0;
      LFixed.AddColorPair(&LResultPalette, AColors, A, B);
      LResult = LImage.ConvertBW(AAbort, AOptions, AScreen, &LFixed, A, B);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 1: {
      BuildSAMCoupeGrayPalette(LResultPalette);
      int LDark = 0, LBright = 0;
      if (TKvDestEngine::ReducePalette(AAbort, LImage, LResultPalette, AColors, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, AScreen, LResultPalette, &LFixed);
      else
        // The screen takes the fixed palette's own indexes of the two
        // colours, so that the written palette shows them.
        LResult = LImage.ConvertBW(AAbort, AOptions, AScreen, &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 10:
    case 11:
    case 17: {
      if (AOptions.PaletteMode == 10 && !AAllowBright) RaiseOSError(87);
      {
        TKvPalette256 LAllowed;
        if (AOptions.PaletteMode == 10)
          BuildSAMCoupeBrightPalette(LAllowed);
        else
          BuildSAMCoupePalette(LAllowed);
        TKvDestEngine::QuantizePalette(AAbort, LImage, LAllowed, AColors, AOptions);
      }
      LImage.FitToPaletteGray(LResultPalette);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, AScreen, LResultPalette, nullptr);
      break;
    }
    default:
      RaiseOSError(87);
  }
  return LResult;
}

}  // namespace

std::unique_ptr<TKvDestEngineUI> TKvSAMCoupeMode3Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvSAMCoupeMode3EngineUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvSAMCoupeMode3Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvSAMCoupeMode3EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                           TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                           TKvDestProgress&,
                                                           std::unique_ptr<TKvStreamList>& AStreams) {
  CheckFits(ABitmap, 512, 192);
  AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LSsx = AStreams->NewStream("ssx", SAMMode3SsxSize)->GetMemory();
  TKvScreen2 LScreen(512, 192, LSsx);
  auto LResult = DrawSAM(AAbort, ABitmap, AOptions, &LScreen, 4, true);
  const TKvPalette256& LPalette = *AOptions.GetPalette();
  WriteSAMCoupeColorIndexes(LPalette, LSsx + SAMScreenSize, 4);
  uint8_t* LSs3 = AStreams->NewStream("ss3", SAMScreenFileSize)->GetMemory();
  // The ".ss3" screen holds each pixel's values 1 and 2 exchanged, the way
  // the machine's own files store mode 3; the ".ssx" copy keeps them plain.
  for (int i = 0; i < SAMScreenSize; ++i) {
    const uint8_t b = LSsx[i];
    LSs3[i] = static_cast<uint8_t>(((b & 0xAA) >> 1) | ((b & 0x55) << 1));
  }
  WriteSAMCoupeMode3PaletteBlock(LPalette, LSs3 + SAMScreenSize);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvSAMCoupeMode4Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvSAMCoupeMode4EngineUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvSAMCoupeMode4Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvSAMCoupeMode4EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                           TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                           TKvDestProgress&,
                                                           std::unique_ptr<TKvStreamList>& AStreams) {
  CheckFits(ABitmap, 256, 192);
  AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LSsx = AStreams->NewStream("ssx", SAMMode4SsxSize)->GetMemory();
  TKvScreen4 LScreen(256, 192, LSsx);
  auto LResult = DrawSAM(AAbort, ABitmap, AOptions, &LScreen, 16, false);
  const TKvPalette256& LPalette = *AOptions.GetPalette();
  WriteSAMCoupeColorIndexes(LPalette, LSsx + SAMScreenSize, 16);
  uint8_t* LSs4 = AStreams->NewStream("ss4", SAMScreenFileSize)->GetMemory();
  std::memcpy(LSs4, LSsx, SAMScreenSize);
  WriteSAMCoupeMode4PaletteBlock(LPalette, LSs4 + SAMScreenSize);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvSAMCoupeMode4InterlacedEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvSAMCoupeMode4EngineUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvSAMCoupeMode4InterlacedEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvSAMCoupeMode4InterlacedEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4InterlacedEngine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                     TKvPalette256*, TKvPalette256*,
                                                                     TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  CheckFits(ABitmap, 256, 384);
  AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LLce = AStreams->NewStream("lce", SAMInterlacedSize)->GetMemory();
  TKvSAMCoupeMode4InterlacedScreen LScreen(256, 384, LLce);
  auto LResult = DrawSAM(AAbort, ABitmap, AOptions, &LScreen, 16, false);
  const TKvPalette256& LPalette = *AOptions.GetPalette();
  WriteSAMCoupeMode4PaletteBlock(LPalette, LLce + SAMScreenSize);
  WriteSAMCoupeMode4PaletteBlock(LPalette, LLce + SAMScreenFileSize + SAMScreenSize);
  TKvStream* LOdd = AStreams->NewStream("odd.ss4", SAMScreenFileSize);
  std::memcpy(LOdd->GetMemory(), LLce, SAMScreenFileSize);
  std::memcpy(LOdd->NewSubStream("eve.ss4", SAMScreenFileSize)->GetMemory(), LLce + SAMScreenFileSize,
              SAMScreenFileSize);
  return LResult;
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
  AddPositionSection(0);
  AddPaletteSeparator();
  AddDestPalette(16, 8, true);
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvSAMCoupeMode4HAMEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvSAMCoupeMode4HAMEngineUI>(AOptions);
}
std::unique_ptr<TKvDestEngineOptions> TKvSAMCoupeMode4HAMEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvSAMCoupeMode4EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4HAMEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                              TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                              TKvDestProgress&,
                                                              std::unique_ptr<TKvStreamList>& AStreams) {
  CheckFits(ABitmap, 256, 192);
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream("ss4", SAMScreenFileSize);
  TKvPalette256 LAllowed;
  BuildSAMCoupePalette(LAllowed);
  TKvScreen4 LScreen(256, 192, LStream->GetMemory());
  TKvImage LImage(ABitmap);
  AdjustOnce(LImage, AOptions);
  LImage.DitherToPalette(AAbort, AOptions, LAllowed, false);
  // 16 colours a row, one entry changed between two rows, at most 127
  // palettes down the screen, every entry free.
  TKvHAMPalette LPlan(AAbort, LImage, &LAllowed, 16, 1, SAMMaxLineChanges, 2);
  TKvSAMCoupeHAMImage LHam(LImage, LStream->GetMemory() + SAMScreenSize);
  // The picture is dithered already: the rows take their nearest colours.
  AOptions.SetDitherMethod(0);
  auto LResult = LHam.Convert(AAbort, AOptions, &LScreen, LPlan, &LAllowed);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  LResultPalette.Clear();
  if (LHam.GetUsedPalette()) LResultPalette.Assign(LHam.GetUsedPalette());
  // The change list replaces the block's closing 255; the stream grows.
  LStream->SetPosition(LStream->GetSize() - 1);
  LStream->WriteBuffer(LHam.GetChanges(), 4 * static_cast<int64_t>(LHam.GetChangeCount()) + 1);
  return LResult;
}

}  // namespace KvSavePlatformSAMCoupe

void InitKvSavePlatformSAMCoupe() {
  using namespace KvSavePlatformSAMCoupe;
  RegisterDestEngine(DestEngineClass<TKvSAMCoupeMode3Engine>());
  RegisterDestEngine(DestEngineClass<TKvSAMCoupeMode4Engine>());
  RegisterDestEngine(DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>());
  RegisterDestEngine(DestEngineClass<TKvSAMCoupeMode4HAMEngine>());
}
