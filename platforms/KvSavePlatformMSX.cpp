#include "platforms/KvSavePlatformMSX.h"

#include <cstring>

#include "core/KvDestProgress.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformMSX.h"
#include "shell/noxShellBaseExtension.h"

namespace {

// Bytes per row of a buffer of ABits per pixel, padded to 4 bytes.
int PaddedStride(int AWidth, int ABits) { return ((AWidth * ABits + 31) & ~31) / 8; }

size_t BufferSize(int AStride, int AHeight) {
  return AStride > 0 && AHeight > 0 ? static_cast<size_t>(AStride) * static_cast<size_t>(AHeight) : 0;
}

constexpr int kPatternOffset = 7;
constexpr int kNameOffset = 7 + 0x1800;
constexpr int kPaletteOffset = 7 + 0x1B80;
constexpr int kColorOffset = 7 + 0x2000;

inline int PatternIndex(int X, int Y) { return (Y & 7) + (Y >> 3) * 256 + (X >> 3) * 8; }

}  // namespace

// ---------------------------------------------------------------------------
// Screen buffers

TKvMSXScreen2::TKvMSXScreen2(int AWidth, int AHeight) : TKvScreen2(AWidth, AHeight, nullptr) {
  Stride = PaddedStride(AWidth, 2);
  FMemory.assign(BufferSize(Stride, AHeight), 0);
  Data = FMemory.data();
}

TKvMSXScreen4::TKvMSXScreen4(int AWidth, int AHeight) : TKvScreen4(AWidth, AHeight, nullptr) {
  Stride = PaddedStride(AWidth, 4);
  FMemory.assign(BufferSize(Stride, AHeight), 0);
  Data = FMemory.data();
}

TKvMSXScreen8::TKvMSXScreen8(int AWidth, int AHeight) : TKvScreen8(AWidth, AHeight, nullptr) {
  Stride = PaddedStride(AWidth, 8);
  FMemory.assign(BufferSize(Stride, AHeight), 0);
  Data = FMemory.data();
}

// ---------------------------------------------------------------------------
// SCREEN 2 and 4 files

void PutMSXPaletteEntry(uint8_t* AEntry, const TKvLinRGBColor& AColor) {
  AEntry[0] = static_cast<uint8_t>((LinToStd3(AColor.R) << 4) | LinToStd3(AColor.B));
  AEntry[1] = static_cast<uint8_t>(LinToStd3(AColor.G));
}

TKvMSXScr2Screen::TKvMSXScr2Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte)
    : TKvMSXScr2Screen(AData, APalette, AColorByte, GetFileSize()) {}

TKvMSXScr2Screen::TKvMSXScr2Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte, int AFileSize)
    : TKvCellScreen(256, 192, AData) {
  InitBsaveHeader(Data, AFileSize - BsaveHeaderSize, 0);
  for (int i = 0; i < 768; ++i) Data[kNameOffset + i] = static_cast<uint8_t>(i);
  if (APalette) {
    const int n = APalette->GetCount() < 16 ? APalette->GetCount() : 16;
    for (int i = 0; i < n; ++i) PutMSXPaletteEntry(Data + kPaletteOffset + 2 * i, APalette->GetLinRGB(i));
  }
  std::memset(Data + kColorOffset, AColorByte, 6144);
}

int TKvMSXScr2Screen::GetPixel(int X, int Y) {
  X = MX(X);
  return (Data[kPatternOffset + PatternIndex(X, Y)] >> (7 - (X & 7))) & 1;
}

void TKvMSXScr2Screen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[kPatternOffset + PatternIndex(X, Y)];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? (b | mask) : (b & static_cast<uint8_t>(~mask));
}

void TKvMSXScr2Screen::SetAttr(int CellX, int CellY, int AAttr) {
  const int cx = MirrorX ? 31 - CellX : CellX;
  Data[kColorOffset + PatternIndex(cx * 8, CellY)] = static_cast<uint8_t>(AAttr);
}

TKvMSXScr4Screen::TKvMSXScr4Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte)
    : TKvMSXScr2Screen(AData, APalette, AColorByte, GetFileSize()) {}

// ---------------------------------------------------------------------------
// Candidates and cell images

TKvMSXScr2GrayPaletteList::TKvMSXScr2GrayPaletteList(TKvPalette256& APalette) {
  static constexpr int kPairs[6][2] = {{1, 1}, {14, 14}, {15, 15}, {1, 14}, {1, 15}, {14, 15}};
  for (const auto& p : kPairs) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, p[0], p[1]));
}

TKvMSXScr2ColorPaletteList::TKvMSXScr2ColorPaletteList(TKvPalette256& APalette) {
  for (int i = 1; i < 16; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, i));
  for (int i = 1; i < 16; ++i)
    for (int j = i + 1; j < 16; ++j) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, j));
}

TKvMSXScr4ColorPaletteList::TKvMSXScr4ColorPaletteList(TKvPalette256& APalette, TKvPalette256* ADisplay) {
  const int n = APalette.Count;
  std::vector<int> index(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) index[static_cast<size_t>(i)] = ADisplay ? ADisplay->LocateStdRGB(APalette.GetStdRGB(i)) : i;
  TKvPalette256& owner = ADisplay ? *ADisplay : APalette;
  for (int i = 0; i < n; ++i)
    Add(std::make_unique<TKvCellPaperIncPalette>(owner, index[static_cast<size_t>(i)], index[static_cast<size_t>(i)]));
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      Add(std::make_unique<TKvCellPaperIncPalette>(owner, index[static_cast<size_t>(i)], index[static_cast<size_t>(j)]));
}

TKvCellPaletteList* TKvMSXScr2ColorImage::CreatePaletteList() {
  if (FGrayMode) return new TKvMSXScr2GrayPaletteList(*FPalette);
  return new TKvMSXScr2ColorPaletteList(*FPalette);
}

std::unique_ptr<TKvBitmap> TKvMSXScr2ColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

void TKvMSXScr2ColorImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                       TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexB << 4) | ACellPalette->IndexA);
}

void TKvMSXScr2ColorImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                          int AIndex) {
  AResult->SetPixel(X, Y, AIndex != 0 ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvMSXScr2ColorImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

TKvCellPaletteList* TKvMSXScr4ColorImage::CreatePaletteList() {
  return new TKvMSXScr4ColorPaletteList(*FPalette, FGrayMode ? FFixedPalette : nullptr);
}

std::unique_ptr<TKvBitmap> TKvMSXScr4ColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FGrayMode ? FFixedPalette : FPalette);
}

// ---------------------------------------------------------------------------
// SCREEN 2

TKvMSXScr2EngineOptions::TKvMSXScr2EngineOptions() {
  SetPixelAspect(12);  // "1.138:1"
  SetPaletteMode(11);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
}

TKvMSXScr2EngineUI::TKvMSXScr2EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(0x803);  // "Black/white", "Gray", "Сolor"
  AddDitheringSection(true);
}

std::unique_ptr<TKvDestEngineUI> TKvMSXScr2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvMSXScr2EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvMSXScr2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvMSXScr2EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvMSXScr2Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                     TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                     TKvDestProgress& AProgress,
                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  const uint8_t LMode = AOptions.PaletteMode;
  if (LMode != 0 && LMode != 1 && LMode != 11) RaiseOSError(ERROR_INVALID_PARAMETER);
  AStreams = std::make_unique<TKvStreamList>();
  TKvMSXScr2Screen LScreen(AStreams->NewStream("sc2", TKvMSXScr2Screen::GetFileSize())->GetMemory(), nullptr,
                           0xF1);
  if (LMode == 0) {
    TKvImage LImage(ABitmap);
    return LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  }
  BuildMSXPalette(*AOptions.GetPalette());
  if (LMode == 1) AOptions.SetUseAsGrayPalette(true);
  TKvMSXScr2ColorImage LImage(8, 1, ABitmap);
  return LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
}

// ---------------------------------------------------------------------------
// SCREEN 3

TKvMSXScr3EngineOptions::TKvMSXScr3EngineOptions() {
  SetPixelAspect(12);
  SetPaletteMode(11);
  SetPaletteType(ptMSX9938);
  SetDitherMethod(0);
}

TKvMSXScr3Screen::TKvMSXScr3Screen(void* AData) : TKvScreen4(64, 48, AData) {
  InitBsaveHeader(Data, GetFileSize() - BsaveHeaderSize, 0);
}

void TKvMSXScr3Screen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[7 + (Y & 7) + (X >> 1) * 8 + (Y >> 3) * 256];
  const uint8_t v = static_cast<uint8_t>(AColor & 15);
  b = (X & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

TKvMSXScr3EngineUI::TKvMSXScr3EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(0x803);
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvMSXScr3Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvMSXScr3EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvMSXScr3Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvMSXScr3EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvMSXScr3Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                     TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                     TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  const uint8_t LMode = AOptions.PaletteMode;
  if (LMode != 0 && LMode != 1 && LMode != 11) RaiseOSError(ERROR_INVALID_PARAMETER);
  AStreams = std::make_unique<TKvStreamList>();
  TKvMSXScr3Screen LScreen(AStreams->NewStream("sc3", TKvMSXScr3Screen::GetFileSize())->GetMemory());
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  BuildMSXPalette(LFixed);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  if (LMode != 0) LImage.FitToPaletteGray(LFixed);
  if (LMode == 0) return LImage.ConvertBW(AAbort, AOptions, &LScreen, &LFixed, 1, 15);
  TKvPalette256& LResult = *AOptions.GetPalette();
  if (LMode == 1) {
    BuildMSXGrayPalette(LResult);
    AOptions.SetUseAsGrayPalette(true);
  } else {
    BuildMSXPalette(LResult);
    // Codes 1..15: black is code 1, never the transparent code 0.
    LResult.Delete(0);
  }
  return LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LResult, &LFixed);
}

// ---------------------------------------------------------------------------
// SCREEN 4

TKvMSXScr4EngineOptions::TKvMSXScr4EngineOptions() {
  SetPixelAspect(12);
  SetPaletteType(ptMSX9938);
}

void TKvMSXScr4EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(PaletteType == ptMSX9958 ? ptMSX9958 : ptMSX9938, false);
}

TKvMSXScr4EngineUI::TKvMSXScr4EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  const int LTypes = AddCustomPaletteComboBox();
  AddSectionItem(LTypes, ptMSX9938);
  AddSectionItem(LTypes, ptMSX9958);
  AddPaletteModeSection(0x20803);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(true);
}

TKvPalette* TKvMSXScr4EngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

std::unique_ptr<TKvDestEngineUI> TKvMSXScr4Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvMSXScr4EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvMSXScr4Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvMSXScr4EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvMSXScr4Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                     TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                     TKvDestProgress& AProgress,
                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  const uint8_t LMode = AOptions.PaletteMode;
  if (LMode != 0 && LMode != 1 && LMode != 11 && LMode != 17) RaiseOSError(ERROR_INVALID_PARAMETER);
  const auto LType = static_cast<TKvPaletteType>(AOptions.PaletteType);
  AStreams = std::make_unique<TKvStreamList>();
  uint8_t* LMemory = AStreams->NewStream("sc4", TKvMSXScr4Screen::GetFileSize())->GetMemory();
  TKvPalette256& LResult = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LPreview;
  if (LMode == 0) {
    LResult.FillBlackWhite();
    int LDark = 0, LLight = 1;
    LFixed.AddColorPair(&LResult, 16, LDark, LLight);
    TKvMSXScr4Screen LScreen(LMemory, &LFixed, static_cast<uint8_t>((LLight << 4) | LDark));
    TKvImage LImage(ABitmap);
    LPreview = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LDark, LLight);
    LResult.Assign(&LFixed);
  } else if (LMode == 1) {
    auto LLevels = TKvPaletteRGB::CreateType(LType, true);
    TKvMSXScr4ColorImage LImage(8, 1, ABitmap);
    LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    AOptions.SetLightnessFix(0);
    AOptions.SetSaturationFix(0);
    int LDark = 0, LLight = 0;
    const bool LOk =
        TKvDestEngine::ReducePalette(AAbort, LImage, *LLevels->GrayPalette, 16, AOptions, LDark, LLight);
    TKvMSXScr4Screen LScreen(LMemory, &LFixed, LOk ? 0xF1 : static_cast<uint8_t>((LLight << 4) | LDark));
    if (LOk)
      LPreview = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
    else
      LPreview = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LDark, LLight);
    LResult.Assign(&LFixed);
  } else {
    auto LLevels = TKvPaletteRGB::CreateType(LType, false);
    TKvMSXScr4ColorImage LImage(8, 1, ABitmap);
    LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    AOptions.SetLightnessFix(0);
    AOptions.SetSaturationFix(0);
    TKvDestEngine::QuantizePalette(AAbort, LImage, *LLevels, 16, AOptions);
    TKvMSXScr4Screen LScreen(LMemory, &LResult, 0xF1);
    LImage.FitToPaletteGray(LResult);
    LPreview = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
  }
  return LPreview;
}

// ---------------------------------------------------------------------------

// The bitmap, YJK and interlaced modes of SCREEN 5 to 12 follow "4 256x192x4"
// in this list.
const std::vector<const TKvDestEngineClass*>& MSXDestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {
      &DestEngineClass<TKvMSXScr2Engine>(),
      &DestEngineClass<TKvMSXScr3Engine>(),
      &DestEngineClass<TKvMSXScr4Engine>(),
  };
  return LClasses;
}

void InitKvSavePlatformMSX() {
  for (const TKvDestEngineClass* c : MSXDestEngineClasses()) RegisterDestEngine(*c);
}
