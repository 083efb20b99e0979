#include "platforms/KvSavePlatformZxSpectrumCommon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "core/KvDither.h"
#include "core/KvImage.h"
#include "core/KvThreadJob.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screens

TKvZxSpectrumColorScreen::TKvZxSpectrumColorScreen(void* AData) : TKvCellScreen(256, 192, AData) {}

int TKvZxSpectrumColorScreen::GetPixel(int X, int Y) { return ZxBitmapPixel(Data, MX(X), Y); }

void TKvZxSpectrumColorScreen::SetPixel(int X, int Y, int AColor) { PutZxBitmapPixel(Data, MX(X), Y, AColor != 0); }

TKvZxSpectrumBWScreen::TKvZxSpectrumBWScreen(void* AData) : TKvScreen1(256, 192, AData) {}

int TKvZxSpectrumBWScreen::GetPixel(int X, int Y) { return ZxBitmapPixel(Data, MX(X), Y) ^ 1; }

void TKvZxSpectrumBWScreen::SetPixel(int X, int Y, int AColor) { PutZxBitmapPixel(Data, MX(X), Y, AColor == 0); }

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
  PutZxBitmapPixel(Data + (Y & 1) * 12288, MX(X), Y >> 1, AColor != 0);
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
  if (AColorUsage == cuDarkOnly || AColorUsage == cuDarkOnlyForceBright)
    AddPairs(*this, APalette, 0, 35);
  else if (AColorUsage == cuBrightOnly)
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
  if (!FGrayMode && (ColorUsage == cuDarkOnly || ColorUsage == cuDarkOnlyForceBright))
    LimitGray(FPalette->GetLinGray(7));
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
  if (ink > 7 || paper > 7 || ColorUsage == cuDarkOnlyForceBright) attr |= 0x40;
  ATarget->SetAttr(ACellX, ACellY, attr);
}

void TKvSpectrumZxColorImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                             int AIndex) {
  int c = AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA;
  // The forced bright bit shows the bright colour on the machine.
  if (ColorUsage == cuDarkOnlyForceBright && c < 8) c += 8;
  AResult->SetPixel(X, Y, c);
}

void TKvSpectrumZxColorImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

std::unique_ptr<TKvBitmap> ConvertZxColorCells(bool* AAbort, TBitmap32& ABitmap, int ACellHeight,
                                               TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                               TKvCellScreen& ATarget) {
  TKvSpectrumZxColorImage image(8, ACellHeight, ABitmap);
  AOptions.BuildZxPalette();
  if (AOptions.PaletteMode == pmGray) {
    auto result = image.ConvertGray(AAbort, AOptions, &AProgress, &ATarget);
    AOptions.BuildZxPaletteSubset();
    return result;
  }
  return image.Convert(AAbort, AOptions, &AProgress, &ATarget);
}

// ---------------------------------------------------------------------------
// Multicolour engines

TKvZxSpectrumColorEngineOptions::TKvZxSpectrumColorEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumColorEngineOptions::UpdatePalette() {
  if (PaletteMode == pmGray)
    BuildZxPaletteSubset();
  else
    BuildZxPalette();
}

TKvZxSpectrumMultiColor1EngineOptions::TKvZxSpectrumMultiColor1EngineOptions() {
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
}

TKvZxSpectrumMultiColor1EngineInterlacedOptions::TKvZxSpectrumMultiColor1EngineInterlacedOptions() {
  SetPixelAspect(pa2_1);
}

void AddZxColorPanel(TKvDestEngineUIEx& APanel, TKvPaletteModeSet AModes, int AColorEntry, bool ABlockLimits) {
  APanel.AddPositionSection();
  APanel.AddZxPaletteSection(AModes);
  APanel.AddColorUsageSection(true);
  APanel.AddDitheringSection(ABlockLimits);
  APanel.AddRelated(pcModeCombo, AColorEntry, pcColorUsageLabel, false);
  APanel.AddRelated(pcModeCombo, AColorEntry, pcColorUsageCombo, false);
}

TKvZxSpectrumMultiColorEngineUI::TKvZxSpectrumMultiColorEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddZxColorPanel(*this, PaletteModes(pmGray, pmColor), 1, true);
}

void AddZxColorUsageAndDithering(TKvDestEngineUIEx& APanel) {
  APanel.AddColorUsageSection(true);
  APanel.AddDitheringSection(true);
  // The colour usage means something only in colour; black and white has no
  // cells whose error could be limited.
  APanel.AddRelated(pcModeCombo, 2, pcColorUsageLabel, false);
  APanel.AddRelated(pcModeCombo, 2, pcColorUsageCombo, false);
  APanel.AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  APanel.AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor1Engine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* mlt = AArgs.Streams->NewStream("mlt", 12288);
  TKvZxSpectrumColorScreen screen(mlt->GetMemory());
  auto result = ConvertZxColorCells(AArgs, screen);
  screen.MirrorX = false;
  TKvStream* mc = AArgs.Streams->NewStream("mc", 12288);
  TKvZxSpectrumMulticolor1Screen linear(mc->GetMemory());
  linear.CopyLinearFrom(screen);
  return result;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMultiColor1InterlacedEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* lce = AArgs.Streams->NewStream("lce", 24576);
  TKvZxSpectrumMultiColor1InterlacedScreen screen(options.GetWidth(), options.GetHeight(), lce->GetMemory());
  return ConvertZxColorCells(AArgs, screen);
}

// ---------------------------------------------------------------------------
// Gigascreen candidates

TKvZxSpectrumGigascreenPalette::TKvZxSpectrumGigascreenPalette(TKvPalette256& AMixPalette)
    : TKvCellPalette(), MixPalette(&AMixPalette) {}

void TKvZxSpectrumGigascreenPalette::Setup(int APaper1, int AInk1, int APaper2, int AInk2) {
  Paper1 = APaper1;
  Ink1 = AInk1;
  Paper2 = APaper2;
  Ink2 = AInk2;
  IndexA = APaper1;
  IndexB = AInk1;
  Palette->Clear();
  const int entries[4] = {APaper1 * 16 + APaper2, APaper1 * 16 + AInk2, AInk1 * 16 + APaper2, AInk1 * 16 + AInk2};
  for (int code = 0; code < 4; ++code) {
    const TKvColor& m = MixPalette->Colors[entries[code]];
    if (m.Skip) continue;
    // Equal colours merge: the first combination that shows one keeps it.
    if (Palette->IndexOfStdRGB(m.GetStdRGB()) >= 0) continue;
    const int k = Palette->AddColor(m);
    Palette->Colors[k].Skip = false;
    Codes[k] = code;
    Entries[k] = entries[code];
  }
  Palette->UpdateCache();
  const int n = Palette->Count;
  for (int k = 0; k < 4; ++k) Keys[k] = k < n ? Palette->GetRGBQuad(k) : 0;
  std::sort(Keys, Keys + n);
  TKvLinRGBColor lo{1, 1, 1}, hi{0, 0, 0};
  for (int k = 0; k < n; ++k) {
    const TKvLinRGBColor& c = Palette->GetLinRGB(k);
    lo = {std::min(lo.R, c.R), std::min(lo.G, c.G), std::min(lo.B, c.B)};
    hi = {std::max(hi.R, c.R), std::max(hi.G, c.G), std::max(hi.B, c.B)};
  }
  Range = {hi.R - lo.R, hi.G - lo.G, hi.B - lo.B};
}

bool TKvZxSpectrumGigascreenPalette::SameColors(const TKvZxSpectrumGigascreenPalette& AOther) const {
  if (Palette->Count != AOther.Palette->Count) return false;
  for (int k = 0; k < Palette->Count; ++k)
    if (Keys[k] != AOther.Keys[k]) return false;
  return true;
}

bool TKvZxSpectrumGigascreenPalette::ContainsColors(const TKvZxSpectrumGigascreenPalette& AOther) const {
  const uint32_t* end = Keys + Palette->Count;
  for (int k = 0; k < AOther.Palette->Count; ++k)
    if (std::find(Keys, end, AOther.Keys[k]) == end) return false;
  return true;
}

TKvZxSpectrumGigascreenPaletteList::TKvZxSpectrumGigascreenPaletteList(uint8_t AColorUsage,
                                                                       TKvPalette256& AMixPalette,
                                                                       bool ASameAttributes)
    : FMixPalette(&AMixPalette) {
  std::vector<std::pair<int, int>> groups;
  if (AColorUsage == cuDarkAndBright || AColorUsage == cuDarkOnly || AColorUsage == cuDarkOnlyForceBright)
    groups.push_back({0, 0});
  if (AColorUsage == cuDarkAndBright) groups.push_back({0, 8});
  if (AColorUsage == cuDarkAndBright || AColorUsage == cuBrightOnly) groups.push_back({8, 8});
  // What a candidate is compared by: its colour count and sorted colours.
  struct TFound {
    TKvZxGigaCandidate Candidate;
    int Entries[4];
    std::array<uint32_t, 5> Key;
  };
  std::vector<TFound> found;
  std::set<std::array<uint32_t, 5>> seen;
  TKvZxSpectrumGigascreenPalette trial(AMixPalette);
  auto offer = [&](int p1, int k1, int p2, int k2) {
    trial.Setup(p1, k1, p2, k2);
    const int n = trial.GetColorCount();
    if (n == 0) return;
    const std::array<uint32_t, 5> key{static_cast<uint32_t>(n), trial.Keys[0], trial.Keys[1], trial.Keys[2],
                                      trial.Keys[3]};
    if (!seen.insert(key).second) return;
    TFound f{};
    f.Candidate = TKvZxGigaCandidate{p1, k1, p2, k2, n, {0, 0, 0, 0}, trial.Range};
    for (int k = 0; k < n; ++k) f.Entries[k] = trial.Entries[k];
    f.Key = key;
    found.push_back(f);
  };
  for (const auto& [b1, b2] : groups) {
    if (ASameAttributes) {
      for (int p = b1; p <= b1 + 7; ++p)
        for (int k = b1 + 7; k >= p; --k) offer(p, k, p, k);
      continue;
    }
    for (int p1 = b1; p1 <= b1 + 7; ++p1)
      for (int k1 = p1; k1 <= b1 + 7; ++k1)
        for (int p2 = b2 + 7; p2 >= b2; --p2)
          for (int k2 = b2 + 7; k2 >= p2; --k2) offer(p1, k1, p2, k2);
  }
  // More colours first; equal counts keep their order, so that the search,
  // which keeps the first of equal scores, prefers candidates with more.
  std::stable_sort(found.begin(), found.end(),
                   [](const TFound& a, const TFound& b) { return a.Candidate.Count > b.Candidate.Count; });
  // A candidate whose colours an earlier, richer one offers adds nothing.
  auto contains = [](const TFound& a, const TFound& b) {
    const uint32_t* end = a.Key.data() + 1 + a.Key[0];
    for (uint32_t k = 1; k <= b.Key[0]; ++k)
      if (std::find(a.Key.data() + 1, end, b.Key[k]) == end) return false;
    return true;
  };
  std::vector<bool> dropped(found.size(), false);
  for (size_t i = found.size(); i-- > 0;)
    for (size_t j = 0; j < i; ++j)
      if (found[j].Key[0] > found[i].Key[0] && contains(found[j], found[i])) {
        dropped[i] = true;
        break;
      }
  int slotOf[256];
  std::fill(std::begin(slotOf), std::end(slotOf), -1);
  for (size_t i = 0; i < found.size(); ++i) {
    if (dropped[i]) continue;
    TFound& f = found[i];
    for (int k = 0; k < f.Candidate.Count; ++k) {
      const int e = f.Entries[k];
      if (slotOf[e] < 0) {
        slotOf[e] = static_cast<int>(FMixEntries.size());
        FMixEntries.push_back(e);
      }
      f.Candidate.Slots[k] = slotOf[e];
      FUnion.AddUniqueStdRGB(AMixPalette.GetStdRGB(e));
    }
    FCandidates.push_back(f.Candidate);
  }
  FUnion.SortByGray(0);
  FUnion.UpdateCache();
}

// ---------------------------------------------------------------------------
// Two-frame screen

TKvZxSpectrumGigascreenScreen::TKvZxSpectrumGigascreenScreen(void* AData) : TKvCellGigaScreen(256, 192, AData) {}

int TKvZxSpectrumGigascreenScreen::GetBit(int AOffset, int X, int Y) { return ZxBitmapPixel(Data + AOffset, MX(X), Y); }

void TKvZxSpectrumGigascreenScreen::SetBit(int AOffset, int X, int Y, int AColor) {
  PutZxBitmapPixel(Data + AOffset, MX(X), Y, AColor != 0);
}

int TKvZxSpectrumGigascreenScreen::GetPixel(int X, int Y) { return GetBit(FBitmap1, X, Y); }
void TKvZxSpectrumGigascreenScreen::SetPixel(int X, int Y, int AColor) { SetBit(FBitmap1, X, Y, AColor); }
int TKvZxSpectrumGigascreenScreen::GetPixel2(int X, int Y) { return GetBit(FBitmap2, X, Y); }
void TKvZxSpectrumGigascreenScreen::SetPixel2(int X, int Y, int AColor) { SetBit(FBitmap2, X, Y, AColor); }

int TKvZxSpectrumGigascreenScreen::GetAttr(int CellX, int CellY) { return Data[FAttr1 + CellY * 32 + MCX(CellX)]; }
void TKvZxSpectrumGigascreenScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[FAttr1 + CellY * 32 + MCX(CellX)] = static_cast<uint8_t>(AAttr);
}
int TKvZxSpectrumGigascreenScreen::GetAttr2(int CellX, int CellY) { return Data[FAttr2 + CellY * 32 + MCX(CellX)]; }
void TKvZxSpectrumGigascreenScreen::SetAttr2(int CellX, int CellY, int AAttr) {
  Data[FAttr2 + CellY * 32 + MCX(CellX)] = static_cast<uint8_t>(AAttr);
}

// ---------------------------------------------------------------------------
// Canonical attributes of a cell of few colours

bool ChooseZxGigaNormalCell(const TKvZxGigaCellColors& AColors, const TKvPalette256& APureColors,
                            const TKvPalette256& AMixPalette, uint8_t AColorUsage, bool AShortcuts,
                            const TKvStdRGBColor& AGrayMix7, const TKvStdRGBColor& AGrayMix15, int (&AChoice)[4]) {
  const TKvPalette256* F = &AColors.First;
  const TKvPalette256* S = &AColors.Second;
  if (F->Count == 2 && S->Count == 1) std::swap(F, S);
  auto index = [&](const TKvPalette256* p, int k) { return APureColors.LocateStdRGB(p->GetStdRGB(k)); };
  // Black is found as colour 0; next to a bright colour it has to be the
  // bright black of a bright attribute.
  auto adjust = [](int& x, int y) {
    if (x == 8 && y <= 7)
      x = 0;
    else if (x == 0 && y > 7)
      x = 8;
  };
  auto bright = [](int c) { return c > 7; };
  auto choose = [&](int a, int b, int c, int d) {
    AChoice[0] = a;
    AChoice[1] = b;
    AChoice[2] = c;
    AChoice[3] = d;
    return true;
  };
  const bool oneMix = AColors.Mixes.Count == 1;
  if (AShortcuts && oneMix && AColorUsage != cuBrightOnly && AColors.Mixes.GetStdRGB(0) == AGrayMix7 &&
      !AMixPalette.Colors[7].Skip)
    return choose(0, 7, 0, 7);
  if (AShortcuts && oneMix && AColors.Mixes.GetStdRGB(0) == AGrayMix15) {
    if (AColorUsage != cuBrightOnly && APureColors.GetStdRGB(7) == AGrayMix15) return choose(0, 7, 0, 7);
    if (AColorUsage == cuDarkOnly) RaiseOSError(ERROR_INVALID_DATA);
    if (AMixPalette.Colors[8 * 16 + 15].Skip) {
      int x = index(F, 0);
      const int y = index(S, 0);
      adjust(x, y);
      if (x == y) return false;
      if (bright(x) != bright(y)) RaiseOSError(ERROR_INVALID_DATA);
      return choose(x, y, y, x);
    }
    return choose(8, 15, 8, 15);
  }
  if (F->Count == 1 && S->Count == 1) {
    int x = index(F, 0);
    const int y = index(S, 0);
    adjust(x, y);
    if (x == y || bright(x) != bright(y)) return false;
    return choose(x, y, y, x);
  }
  if (F->Count == 1 && S->Count == 2) {
    int x = index(F, 0), y1 = index(S, 0), y2 = index(S, 1);
    if (y1 > y2) std::swap(y1, y2);
    adjust(y1, y2);
    adjust(x, y1);
    if (x == y2) return choose(x, y1, y1, y2);
    if (x == y1) return choose(x, y2, y1, y2);
    return false;
  }
  if (F->Count == 2 && S->Count == 1) RaiseOSError(ERROR_INVALID_DATA);
  if (F->Count == 2 && S->Count == 2) {
    int x1 = index(F, 0), x2 = index(F, 1), y1 = index(S, 0), y2 = index(S, 1);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    adjust(x1, x2);
    adjust(y1, y2);
    if (bright(x1) == bright(y1) && x1 == y1 && x2 == y2) return choose(x1, x2, y1, y2);
  }
  return false;
}

// ---------------------------------------------------------------------------
// Gigascreen cell image

TKvZxSpectrumGigascreenImage::TKvZxSpectrumGigascreenImage(int ACellWidth, int ACellHeight, TBitmap32& ABitmap)
    : TKvCellImage(ACellWidth, ACellHeight, ABitmap) {}

TKvZxSpectrumGigascreenImage::~TKvZxSpectrumGigascreenImage() = default;

void TKvZxSpectrumGigascreenImage::BeginGiga(TKvDestEngineOptions& AOptions) {
  ColorUsage = AOptions.ColorUsage;
  SafeMode = AOptions.SafeMode;
  TKvPalette256& mix = *AOptions.GetPalette();
  PureColors.Clear();
  for (int i = 0; i < 16; ++i) PureColors.AddColor(mix.Colors[i * 17]);
  PureColors.ClearSkipFlags();
  PureColors.UpdateCache();
  GrayMix7 = mix.GetStdRGB(7);
  GrayMix15 = mix.GetStdRGB(15);
  FScratch = std::make_unique<TKvZxSpectrumGigascreenPalette>(mix);
  FChosen = std::make_unique<TKvZxSpectrumGigascreenPalette>(mix);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigascreenImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  if (!dynamic_cast<TKvCellGigaScreen*>(ATarget)) RaiseInternalError();
  BeginGiga(AOptions);
  return ConvertCells(AAbort, AOptions, AProgress, ATarget);
}

bool KvZxGigaSkipHopelessCandidates = true;

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigascreenImage::ConvertCells(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                     TKvDestProgress* AProgress,
                                                                     TKvCellScreen* ATarget) {
  struct TWorkOptionsGuard {
    std::unique_ptr<TKvDestEngineOptions>& Options;
    ~TWorkOptionsGuard() { Options.reset(); }
  } guard{FWorkOptions};
  PrepareConversion(AAbort, AOptions, AProgress, true);
  FPaletteList = CreatePaletteList();
  FAhead.Row = -1;
  std::unique_ptr<TKvBitmap> result;
  try {
    result = CreateResult();
    FMirror = false;
    WalkCells(result.get(), ATarget);
    result->MirrorX = false;
    ATarget->MirrorX = false;
  } catch (...) {
    FreePaletteList(FPaletteList);
    throw;
  }
  FreePaletteList(FPaletteList);
  return result;
}

void TKvZxSpectrumGigascreenImage::WalkCells(TKvBitmap* AResult, TKvCellScreen* ATarget) {
  const int total = FCellsAcross * FCellsDown;
  int done = 0;
  for (int j = 0; j < FCellsDown; ++j) {
    FCellY = j;
    BeginCellRow(AResult, ATarget);
    FRowRects.resize(static_cast<size_t>(FCellsAcross));
    for (int i = 0; i < FCellsAcross; ++i) FRowRects[static_cast<size_t>(i)] = GetCellRect(i, j);
    PrepareRowSearches(j, FRowRects);
    for (int i = 0; i < FCellsAcross; ++i) {
      if (Aborted()) Abort();
      FCellX = i;
      SolveGigaCell(AResult, ATarget, i, j, GetCellRect(i, j));
      ++done;
      if (FProgress) ReportProgress(FProgress, total, done);
    }
    if (FSerpentine) FMirror = !FMirror;
  }
  FAhead.Row = -1;
}

// Searches cells From..To of the row being prepared, with a scratch set and
// a scratch picture of its own.
class TKvZxGigaRowSearchJob : public TKvJob {
public:
  TKvZxGigaRowSearchJob(TKvJobList* AList, TKvZxSpectrumGigascreenImage* AImage, int AFrom, int ATo)
      : TKvJob(AList),
        FImage(AImage),
        FScratch(AImage->AcquireScratch()),
        FHelper(AImage->AcquireHelper()),
        FFrom(AFrom),
        FTo(ATo) {}
  ~TKvZxGigaRowSearchJob() override {
    FImage->ReleaseHelper(FHelper);
    FImage->ReleaseScratch(FScratch);
  }
  void Execute() override {
    for (int i = FFrom; i <= FTo; ++i) {
      const size_t cell = static_cast<size_t>(FImage->FAhead.Cells[static_cast<size_t>(i)]);
      FImage->FAhead.Best[cell] = FImage->FindBestCandidate(FImage->FAhead.Rects[cell], *FScratch, *FHelper);
    }
  }

private:
  TKvZxSpectrumGigascreenImage* FImage;
  TKvZxSpectrumGigascreenImage::TSearchScratch* FScratch;
  TKvCellHelper* FHelper;
  int FFrom, FTo;
};

TKvZxSpectrumGigascreenImage::TSearchScratch* TKvZxSpectrumGigascreenImage::AcquireScratch() {
  if (FScratchPool.empty()) return new TSearchScratch;
  TSearchScratch* s = FScratchPool.back().release();
  FScratchPool.pop_back();
  return s;
}

void TKvZxSpectrumGigascreenImage::ReleaseScratch(TSearchScratch* AScratch) {
  if (AScratch) FScratchPool.emplace_back(AScratch);
}

void TKvZxSpectrumGigascreenImage::PrepareRowSearches(int ACellY, const std::vector<TRect>& ARects) {
  FAhead.Row = -1;
  if (ProcessorCount < 2 || !FLimitErrorAtBlockBoundary) return;
  FAhead.Cells.clear();
  int64_t pixels = 0;
  for (size_t i = 0; i < ARects.size(); ++i)
    if (ARects[i].Width() > 0 && ARects[i].Height() > 0) {
      FAhead.Cells.push_back(static_cast<int>(i));
      pixels += static_cast<int64_t>(ARects[i].Width()) * ARects[i].Height();
    }
  const int cells = static_cast<int>(FAhead.Cells.size());
  // The bounds alone cost about a candidate's colours per pixel; far less
  // than that is not worth the hand-over.
  const int64_t work = static_cast<TKvZxSpectrumGigascreenPaletteList*>(FPaletteList)->GetCandidateCount() * pixels;
  const int parts =
      static_cast<int>(std::min<int64_t>({work / std::max<int64_t>(KvCellMinJobWork, 1), ProcessorCount, cells}));
  if (parts < 2) return;
  FAhead.Rects = ARects;
  const TRect& band = ARects[static_cast<size_t>(FAhead.Cells[0])];
  FAhead.Band.resize(static_cast<size_t>(FWidth) * static_cast<size_t>(band.Height()));
  for (int y = band.Top; y < band.Bottom; ++y)
    for (int x = 0; x < FWidth; ++x)
      FAhead.Band[static_cast<size_t>(y - band.Top) * FWidth + x] = GetPixels(x, y)->GetLinRGB();
  FAhead.Best.assign(ARects.size(), nullptr);
  {
    TKvJobList jobs;
    for (int k = 0; k < parts; ++k)
      new TKvZxGigaRowSearchJob(&jobs, this, static_cast<int>(static_cast<int64_t>(cells) * k / parts),
                                static_cast<int>(static_cast<int64_t>(cells) * (k + 1) / parts) - 1);
    jobs.RunWithCaller(FAbort);
  }
  if (Aborted()) Abort();
  FAhead.Row = ACellY;
}

void TKvZxSpectrumGigascreenImage::SolveGigaCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                 const TRect& ARect) {
  if (!FLimitErrorAtBlockBoundary) AddDeferredError(ARect, TKvLinRGBColor{1, 1, 1});
  const TKvZxGigaCandidate* best = nullptr;
  // A search made ahead holds while the cell's pixels are unchanged.
  if (FAhead.Row == FCellY && ACellX < static_cast<int>(FAhead.Best.size()) &&
      FAhead.Rects[static_cast<size_t>(ACellX)] == ARect) {
    best = FAhead.Best[static_cast<size_t>(ACellX)];
    for (int y = ARect.Top; best && y < ARect.Bottom; ++y)
      for (int x = ARect.Left; x < ARect.Right; ++x) {
        const TKvLinRGBColor& v = GetPixels(x, y)->GetLinRGB();
        const TKvLinRGBColor& b = FAhead.Band[static_cast<size_t>(y - ARect.Top) * FWidth + x];
        if (!(v.R == b.R && v.G == b.G && v.B == b.B)) {
          best = nullptr;
          break;
        }
      }
  }
  if (!best) best = FindBestCandidate(ARect, FSearch, *FHelper);
  if (!best) RaiseInternalError();
  FChosen->Setup(best->Paper1, best->Ink1, best->Paper2, best->Ink2);
  if (FLimitErrorAtBlockBoundary) {
    *GetRanges()->GetRange(ACellX, ACellY) = FChosen->Range;
    AddDeferredError(ARect, FChosen->Range);
  }
  RenderCell(AResult, ATarget, ACellX, ACellY, ARect, FChosen.get());
}

const TKvZxGigaCandidate* TKvZxSpectrumGigascreenImage::FindBestCandidate(const TRect& ARect,
                                                                          TSearchScratch& AScratch,
                                                                          TKvCellHelper& AHelper) {
  std::vector<double>& FDistances = AScratch.Distances;
  std::vector<double>& FBounds = AScratch.Bounds;
  std::vector<int>& FOrder = AScratch.Order;
  TKvPalette256& FTrial = AScratch.Trial;
  auto* list = static_cast<TKvZxSpectrumGigascreenPaletteList*>(FPaletteList);
  const int n = list->GetCandidateCount();
  if (n == 0) return nullptr;
  TKvPalette256& mix = list->GetMixPalette();
  const std::vector<int>& entries = list->GetMixEntries();
  const size_t slots = entries.size();
  // Each trial pixel ends as one of the candidate's colours, so the squared
  // distance of every cell pixel to its nearest colour, summed in the order
  // of the score, never exceeds the score (rounding is monotone).
  FDistances.clear();
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      const TKvLinRGBColor& a = GetPixels(x, y)->GetLinRGB();
      for (size_t s = 0; s < slots; ++s) {
        const TKvLinRGBColor& b = mix.Colors[entries[s]].GetLinRGB();
        const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
        FDistances.push_back(dr * dr + dg * dg + db * db);
      }
    }
  const size_t pixels = FDistances.size() / std::max<size_t>(slots, 1);
  FBounds.assign(static_cast<size_t>(n), 0.0);
  for (int c = 0; c < n; ++c) {
    const TKvZxGigaCandidate& cand = list->GetCandidate(c);
    double sum = 0;
    for (size_t p = 0; p < pixels; ++p) {
      const double* d = &FDistances[p * slots];
      double m = d[cand.Slots[0]];
      for (int k = 1; k < cand.Count; ++k) m = std::min(m, d[cand.Slots[k]]);
      sum += m;
    }
    FBounds[static_cast<size_t>(c)] = sum;
  }
  auto score = [&](int c) {
    if (Aborted()) Abort();
    const TKvZxGigaCandidate& cand = list->GetCandidate(c);
    FTrial.Clear();
    for (int k = 0; k < cand.Count; ++k) {
      const int at = FTrial.AddColor(mix.Colors[entries[static_cast<size_t>(cand.Slots[k])]]);
      FTrial.Colors[at].Skip = false;
    }
    FTrial.UpdateCache();
    return ScoreCell(ARect, *FWorkOptions, FTrial, AHelper);
  };
  int best = -1;
  double bestScore = 0;
  auto offer = [&](int c, double AScore) {
    if (best < 0 || AScore < bestScore || (AScore == bestScore && c < best)) {
      best = c;
      bestScore = AScore;
    }
  };
  if (!KvZxGigaSkipHopelessCandidates) {
    for (int c = 0; c < n; ++c) offer(c, score(c));
    return &list->GetCandidate(best);
  }
  // The candidate of the least bound first; then only those whose bound
  // does not exceed its score can do better, tried by rising bound.
  const int first = static_cast<int>(std::min_element(FBounds.begin(), FBounds.end()) - FBounds.begin());
  offer(first, score(first));
  FOrder.clear();
  for (int c = 0; c < n; ++c)
    if (c != first && FBounds[static_cast<size_t>(c)] <= bestScore) FOrder.push_back(c);
  std::sort(FOrder.begin(), FOrder.end(), [&FBounds](int a, int b) {
    const double ba = FBounds[static_cast<size_t>(a)], bb = FBounds[static_cast<size_t>(b)];
    return ba < bb || (ba == bb && a < b);
  });
  for (const int c : FOrder) {
    if (FBounds[static_cast<size_t>(c)] > bestScore) break;
    offer(c, score(c));
  }
  return &list->GetCandidate(best);
}

void TKvZxSpectrumGigascreenImage::Prepare() {
  // Without bright colours nothing above white can be shown.
  if (ColorUsage == cuDarkOnly || ColorUsage == cuDarkOnlyForceBright) LimitGray(FPalette->GetLinGray(119));
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigascreenImage::CreateResult() {
  auto* list = static_cast<TKvZxSpectrumGigascreenPaletteList*>(FPaletteList);
  auto result = std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), &list->GetUnionPalette());
  FirstFrameBitmap = result->AddFrame(&PureColors);
  SecondFrameBitmap = result->AddFrame(&PureColors);
  return result;
}

TKvCellPaletteList* TKvZxSpectrumGigascreenImage::CreatePaletteList() {
  return new TKvZxSpectrumGigascreenPaletteList(ColorUsage, *FPalette, SafeMode);
}

void TKvZxSpectrumGigascreenImage::DiffuseRenderError(int X, int Y, const TKvLinRGBColor& AError) {
  DiffuseCellError(X, Y, FDitherMethod, AError);
}

void TKvZxSpectrumGigascreenImage::DitherGigaCell(TKvZxSpectrumGigascreenPalette& ACandidate, const TRect& ARect,
                                                  const std::function<void(int, int, int, int)>& APut) {
  TKvPalette256& pal = *ACandidate.Palette;
  CellColors.Clear();
  FCellPixels.clear();
  const bool ordered = FDitherMethod == KvOrderedDitherMethod;
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      if (Aborted()) Abort();
      PKvPixel p = GetPixels(x, y);
      if (ordered) AddOrderedDitherOffset(*p, x, y);
      const int k = pal.FindNearestByMetric(FColorDiffMethod, *p);
      const int code = ACandidate.Codes[k];
      APut(x, y, k, code);
      const int f1 = ZxGigaCodeInk1(code) ? ACandidate.Ink1 : ACandidate.Paper1;
      const int f2 = ZxGigaCodeInk2(code) ? ACandidate.Ink2 : ACandidate.Paper2;
      CellColors.First.AddUniqueStdRGB(PureColors.GetStdRGB(f1));
      CellColors.Second.AddUniqueStdRGB(PureColors.GetStdRGB(f2));
      CellColors.Mixes.AddUniqueStdRGB(pal.GetStdRGB(k));
      FCellPixels.push_back(pal.GetStdRGB(k));
      const TKvLinRGBColor o = p->GetLinRGB();
      const TKvLinRGBColor n = pal.GetLinRGB(k);
      p->SetLinRGB(n);
      DiffuseRenderError(x, y, {(o.R - n.R) * FStrength, (o.G - n.G) * FStrength, (o.B - n.B) * FStrength});
    }
}

void TKvZxSpectrumGigascreenImage::RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY,
                                              const TRect& ARect, TKvCellPalette* ACellPalette) {
  if (!ACellPalette) RaiseInternalError();
  auto* c = static_cast<TKvZxSpectrumGigascreenPalette*>(ACellPalette);
  auto* screen = static_cast<TKvCellGigaScreen*>(ATarget);
  TKvPalette256& unionPalette = static_cast<TKvZxSpectrumGigascreenPaletteList*>(FPaletteList)->GetUnionPalette();
  const bool force = ColorUsage == cuDarkOnlyForceBright;
  screen->SetAttr(ACellX, ACellY, ZxGigaAttribute(c->Paper1, c->Ink1, force));
  screen->SetAttr2(ACellX, ACellY, ZxGigaAttribute(c->Paper2, c->Ink2, force));
  int resultIndex[4];
  for (int k = 0; k < c->GetColorCount(); ++k) resultIndex[k] = unionPalette.LocateStdRGB(c->Palette->GetStdRGB(k));
  DitherGigaCell(*c, ARect, [&](int x, int y, int k, int code) {
    screen->SetPixel(x, y, ZxGigaCodeInk1(code));
    screen->SetPixel2(x, y, ZxGigaCodeInk2(code));
    if (AResult) AResult->SetPixel(x, y, resultIndex[k]);
  });
  const bool differ = NormalizeCell(AResult, screen, ACellX, ACellY, ARect);
  int p1, i1, p2, i2;
  ZxGigaAttrColors(screen->GetAttr(ACellX, ACellY), p1, i1);
  ZxGigaAttrColors(screen->GetAttr2(ACellX, ACellY), p2, i2);
  double s1 = 0, s2 = 0;
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      s1 += PureColors.GetLinGray(screen->GetPixel(x, y) ? i1 : p1);
      s2 += PureColors.GetLinGray(screen->GetPixel2(x, y) ? i2 : p2);
    }
  // Balance the flicker: cells with an even column-plus-row sum show their
  // brighter frame second, odd ones first.
  const bool odd = ((ACellX + ACellY) & 1) != 0;
  if (differ && std::fabs(s1 - s2) > 1e-5 && (((s1 > s2) != odd) != FMirror)) {
    const int a1 = screen->GetAttr(ACellX, ACellY);
    screen->SetAttr(ACellX, ACellY, screen->GetAttr2(ACellX, ACellY));
    screen->SetAttr2(ACellX, ACellY, a1);
    for (int y = ARect.Top; y < ARect.Bottom; ++y)
      for (int x = ARect.Left; x < ARect.Right; ++x) {
        const int b1 = screen->GetPixel(x, y);
        screen->SetPixel(x, y, screen->GetPixel2(x, y));
        screen->SetPixel2(x, y, b1);
      }
    ZxGigaAttrColors(screen->GetAttr(ACellX, ACellY), p1, i1);
    ZxGigaAttrColors(screen->GetAttr2(ACellX, ACellY), p2, i2);
  }
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      const int tx = FMirror ? FWidth - 1 - x : x;
      if (FirstFrameBitmap) FirstFrameBitmap->SetPixel(tx, y, screen->GetPixel(x, y) ? i1 : p1);
      if (SecondFrameBitmap) SecondFrameBitmap->SetPixel(tx, y, screen->GetPixel2(x, y) ? i2 : p2);
    }
}

bool TKvZxSpectrumGigascreenImage::PutNormalCell(const TRect& ARect, bool AShortcuts, int (&AChoice)[4],
                                                 const std::function<bool(int, int)>& ASharedInk1,
                                                 const std::function<void(int, int, bool, bool)>& APut) {
  int(&ch)[4] = AChoice;
  if (!ChooseZxGigaNormalCell(CellColors, PureColors, *FPalette, ColorUsage, AShortcuts, GrayMix7, GrayMix15, ch))
    return false;
  if (ch[0] > ch[1]) std::swap(ch[0], ch[1]);
  if (ch[2] > ch[3]) std::swap(ch[2], ch[3]);
  FScratch->Setup(ch[0], ch[1], ch[2], ch[3]);
  const bool differ = !(ch[0] == ch[2] && ch[1] == ch[3]);
  size_t i = 0;
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      if (Aborted()) Abort();
      const int code = FScratch->Codes[FScratch->Palette->LocateStdRGB(FCellPixels[i++])];
      bool ink1 = ZxGigaCodeInk1(code), ink2 = ZxGigaCodeInk2(code);
      if (!differ && code == 2) RaiseOSError(ERROR_INVALID_DATA);
      if (!differ && code == 1) {
        ink1 = ASharedInk1(x, y);
        ink2 = !ink1;
      }
      APut(x, y, ink1, ink2);
    }
  return true;
}

bool TKvZxSpectrumGigascreenImage::NormalizeCell(TKvBitmap*, TKvCellGigaScreen* ATarget, int ACellX, int ACellY,
                                                 const TRect& ARect) {
  int ch[4];
  // One attribute for both frames: the mixed pixels form a chessboard, frame
  // 1 showing ink where the row and column sum is odd.
  auto chessboard = [&](int x, int y) { return (((x + y) & 1) != 0) != FMirror; };
  const bool normal = PutNormalCell(ARect, true, ch, chessboard, [&](int x, int y, bool ink1, bool ink2) {
    ATarget->SetPixel(x, y, ink1);
    ATarget->SetPixel2(x, y, ink2);
  });
  if (!normal) return true;
  const bool force = ColorUsage == cuDarkOnlyForceBright;
  ATarget->SetAttr(ACellX, ACellY, ZxGigaAttribute(ch[0], ch[1], force));
  ATarget->SetAttr2(ACellX, ACellY, ZxGigaAttribute(ch[2], ch[3], force));
  return !(ch[0] == ch[2] && ch[1] == ch[3]);
}
