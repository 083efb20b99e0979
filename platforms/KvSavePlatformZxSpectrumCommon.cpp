#include "platforms/KvSavePlatformZxSpectrumCommon.h"

#include <cstring>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"

// ---------------------------------------------------------------------------
// Screens

TKvZxSpectrumColorScreen::TKvZxSpectrumColorScreen(void* AData) : TKvCellScreen(256, 192, AData) {}

uint8_t* TKvZxSpectrumColorScreen::BitmapByte(int X, int Y) { return Data + ZxRowOffset(Y) + (X >> 3); }

int TKvZxSpectrumColorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (*BitmapByte(X, Y) >> (7 - (X & 7))) & 1;
}

void TKvZxSpectrumColorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = *BitmapByte(X, Y);
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  if (AColor != 0)
    b |= mask;
  else
    b &= static_cast<uint8_t>(~mask);
}

int TKvZxSpectrumColorScreen::GetAttr(int CellX, int CellY) { return Data[ZxBitmapSize + CellY * 32 + MCX(CellX)]; }

void TKvZxSpectrumColorScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[ZxBitmapSize + CellY * 32 + MCX(CellX)] = static_cast<uint8_t>(AAttr);
}

void TKvZxSpectrumMulticolor1Screen::CopyLinearFrom(TKvZxSpectrumColorScreen& AScreen) {
  for (int y = 0; y < 192; ++y) std::memcpy(Data + y * 32, AScreen.Data + ZxRowOffset(y), 32);
  std::memcpy(Data + ZxBitmapSize, AScreen.Data + ZxBitmapSize, ZxBitmapSize);
}

TKvZxSpectrumMultiColor1InterlacedScreen::TKvZxSpectrumMultiColor1InterlacedScreen(int AWidth, int AHeight,
                                                                                   void* AData)
    : TKvCellScreen(AWidth, AHeight, AData) {}

int TKvZxSpectrumMultiColor1InterlacedScreen::GetPixel(int, int) { return 0; }

void TKvZxSpectrumMultiColor1InterlacedScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[(Y & 1) * 12288 + ZxRowOffset(Y >> 1) + (X >> 3)];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  if (AColor != 0)
    b |= mask;
  else
    b &= static_cast<uint8_t>(~mask);
}

int TKvZxSpectrumMultiColor1InterlacedScreen::GetAttr(int, int) { return 0; }

void TKvZxSpectrumMultiColor1InterlacedScreen::SetAttr(int CellX, int CellY, int AAttr) {
  const int cx = MirrorX ? 31 - CellX : CellX;
  Data[(CellY & 1) * 12288 + ZxBitmapSize + ZxRowOffset(CellY >> 1) + cx] = static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Candidate lists

namespace {

constexpr TZxCellPair MakePair(int a, int b) { return {static_cast<uint8_t>(a), static_cast<uint8_t>(b)}; }

struct TPairTableBuilder {
  TZxCellPair Table[ZxCellPairCount]{};
  constexpr TPairTableBuilder() {
    int n = 0;
    for (int base : {0, 8}) {
      for (int i = 0; i < 8; ++i) Table[n++] = MakePair(base + i, base + i);
      for (int i = 0; i < 8; ++i)
        for (int j = i + 1; j < 8; ++j) Table[n++] = MakePair(base + i, base + j);
    }
    for (auto p : {MakePair(0, 0), MakePair(0, 7), MakePair(7, 7), MakePair(8, 15), MakePair(15, 15)}) Table[n++] = p;
    for (auto p : {MakePair(0, 0), MakePair(0, 7), MakePair(0, 15), MakePair(7, 7), MakePair(7, 15), MakePair(15, 15)})
      Table[n++] = p;
  }
};
constexpr TPairTableBuilder kPairTable;

void AddPairs(TKvCellPaletteList& AList, TKvPalette256& APalette, int AFirst, int ALast) {
  for (int i = AFirst; i <= ALast; ++i)
    AList.Add(std::make_unique<TKvCellPaperIncPalette>(APalette, ZxCellPairTable[i].First, ZxCellPairTable[i].Second));
}

}  // namespace

const TZxCellPair ZxCellPairTable[ZxCellPairCount] = {
#define P(i) kPairTable.Table[i]
    P(0),  P(1),  P(2),  P(3),  P(4),  P(5),  P(6),  P(7),  P(8),  P(9),  P(10), P(11), P(12), P(13),
    P(14), P(15), P(16), P(17), P(18), P(19), P(20), P(21), P(22), P(23), P(24), P(25), P(26), P(27),
    P(28), P(29), P(30), P(31), P(32), P(33), P(34), P(35), P(36), P(37), P(38), P(39), P(40), P(41),
    P(42), P(43), P(44), P(45), P(46), P(47), P(48), P(49), P(50), P(51), P(52), P(53), P(54), P(55),
    P(56), P(57), P(58), P(59), P(60), P(61), P(62), P(63), P(64), P(65), P(66), P(67), P(68), P(69),
    P(70), P(71), P(72), P(73), P(74), P(75), P(76), P(77), P(78), P(79), P(80), P(81), P(82),
#undef P
};

TKvZxSpectrumColorPaletteList::TKvZxSpectrumColorPaletteList(uint8_t AColorUsage, TKvPalette256& APalette) {
  if (AColorUsage == 1 || AColorUsage == 2)
    AddPairs(*this, APalette, 0, 35);
  else if (AColorUsage == 3)
    AddPairs(*this, APalette, 36, 71);
  else
    AddPairs(*this, APalette, 0, 71);
}

TKvZxSpectrumGrayPaletteList::TKvZxSpectrumGrayPaletteList(uint8_t, TKvPalette256& APalette) {
  AddPairs(*this, APalette, 72, 76);
}

TKvZxSpectrumColorNoFlashPaletteList::TKvZxSpectrumColorNoFlashPaletteList(TKvPalette256& APalette) {
  for (int i = 0; i < 16; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, i));
  for (int i = 0; i < 16; ++i)
    for (int j = i + 1; j < 16; ++j) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, j));
}

TKvZxSpectrumGrayNoFlashPaletteList::TKvZxSpectrumGrayNoFlashPaletteList(TKvPalette256& APalette) {
  AddPairs(*this, APalette, 77, 82);
}

// ---------------------------------------------------------------------------
// Cell image

std::unique_ptr<TKvBitmap> TKvSpectrumZxColorImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                            TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  ColorUsage = AOptions.ColorUsage;
  return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvSpectrumZxColorImage::ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                TKvDestProgress* AProgress,
                                                                TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  ColorUsage = 0;
  return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

void TKvSpectrumZxColorImage::Prepare() {
  // Without bright colours nothing above normal white can be shown: scale
  // the picture down instead of clipping it.
  if (!FGrayMode && (ColorUsage == 1 || ColorUsage == 2)) LimitGray(FPalette->GetLinGray(7));
}

std::unique_ptr<TKvBitmap> TKvSpectrumZxColorImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

TKvCellPaletteList* TKvSpectrumZxColorImage::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumGrayPaletteList(ColorUsage, *FPalette);
  return new TKvZxSpectrumColorPaletteList(ColorUsage, *FPalette);
}

void TKvSpectrumZxColorImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                          TKvCellPalette* ACellPalette) {
  if (!ATarget) return;
  const int paper = ACellPalette->IndexA, ink = ACellPalette->IndexB;
  int attr = ((paper << 3) & 0x38) | (ink & 7);
  if (ink > 7 || paper > 7 || ColorUsage == 2) attr |= 0x40;
  ATarget->SetAttr(ACellX, ACellY, attr);
}

void TKvSpectrumZxColorImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                             int AIndex) {
  int c = AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA;
  // The forced bright bit shows the bright colour on the machine.
  if (ColorUsage == 2 && c < 8) c += 8;
  AResult->SetPixel(X, Y, c);
}

void TKvSpectrumZxColorImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

std::unique_ptr<TKvBitmap> ConvertZxColorCells(bool* AAbort, TBitmap32& ABitmap, int ACellHeight,
                                               TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                               TKvCellScreen& ATarget) {
  TKvSpectrumZxColorImage LImage(8, ACellHeight, ABitmap);
  AOptions.BuildZxPalette();
  if (AOptions.PaletteMode == 1) {
    auto LResult = LImage.ConvertGray(AAbort, AOptions, &AProgress, &ATarget);
    AOptions.BuildZxPaletteSubset();
    return LResult;
  }
  return LImage.Convert(AAbort, AOptions, &AProgress, &ATarget);
}

// ---------------------------------------------------------------------------
// Multicolour engines

TKvZxSpectrumMultiColor1EngineOptions::TKvZxSpectrumMultiColor1EngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumMultiColor1EngineOptions::UpdatePalette() {
  if (PaletteMode == 1)
    BuildZxPaletteSubset();
  else
    BuildZxPalette();
}

TKvZxSpectrumMultiColor1EngineInterlacedOptions::TKvZxSpectrumMultiColor1EngineInterlacedOptions() {
  SetPixelAspect(17);  // "2:1"
}

TKvZxSpectrumMultiColorEngineUI::TKvZxSpectrumMultiColorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddZxPaletteSection(2050);  // "Gray", "Сolor"
  AddColorUsageSection(true);
  AddDitheringSection(true);
  // The colour usage only matters while "Сolor" (the second mode) is chosen.
  AddRelated(pcModeCombo, 1, pcColorUsageLabel, false);
  AddRelated(pcModeCombo, 1, pcColorUsageCombo, false);
}

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumMultiColor1Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumMultiColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumMultiColor1Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumMultiColor1EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor1Engine::Convert(bool* AAbort, TBitmap32& ABitmap,
                                                                   TKvPalette256*, TKvPalette256*,
                                                                   TKvDestEngineOptions& AOptions,
                                                                   TKvDestProgress& AProgress,
                                                                   std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LMlt = AStreams->NewStream("mlt", 12288);
  TKvZxSpectrumColorScreen LScreen(LMlt->GetMemory());
  auto LResult = ConvertZxColorCells(AAbort, ABitmap, AOptions.GetCellHeight(), AOptions, AProgress, LScreen);
  LScreen.MirrorX = false;
  TKvStream* LMc = AStreams->NewStream("mc", 12288);
  TKvZxSpectrumMulticolor1Screen LLinear(LMc->GetMemory());
  LLinear.CopyLinearFrom(LScreen);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvZxSpectrumMultiColor1InterlacedEngine::CreateUI(
    TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvZxSpectrumMultiColorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvZxSpectrumMultiColor1InterlacedEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvZxSpectrumMultiColor1EngineInterlacedOptions>();
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor1InterlacedEngine::Convert(
    bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*, TKvDestEngineOptions& AOptions,
    TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LLce = AStreams->NewStream("lce", 24576);
  TKvZxSpectrumMultiColor1InterlacedScreen LScreen(AOptions.GetWidth(), AOptions.GetHeight(), LLce->GetMemory());
  return ConvertZxColorCells(AAbort, ABitmap, 1, AOptions, AProgress, LScreen);
}
