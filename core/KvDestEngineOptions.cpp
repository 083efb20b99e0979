#include "core/KvDestEngineOptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const char* const PixelAspectNames[PixelAspectCount] = {
    "1:2.4",  "1:2",   "1.138:2", "0.6:1",  "1:1.37",  "0.7375:1", "3:4",     "2:3",
    "1:1.2",  "0.92:1", "1:1",    "1.25:1", "1.138:1", "1:0.75",   "7:5",     "1.475:1",
    "1.5:1",  "2:1",   "2.276:1", "8:3",    "4:1",     "4.552:1"};

const TKvSize PixelAspectRatios[PixelAspectCount] = {
    {12, 5},    {2, 1},      {1000, 569}, {5, 3}, {48, 35},   {10000, 7375}, {4, 3},   {3, 2},
    {6, 5},     {100, 92},   {1, 1},      {4, 5}, {500, 569}, {3, 4},        {5, 7},   {1000, 1475},
    {2, 3},     {1, 2},      {250, 569},  {3, 8}, {1, 4},     {500, 2276}};

const char* const PaletteModeNames[PaletteModeCount] = {
    "Black/white",
    "Gray",
    "Gray (green)",
    "Gray (red)",
    "5 colors",
    "8 colors",
    "8 from 15 colors",
    "8 from 16 colors",
    "Color (17 from 256)",
    "Color (64 from 256, slow)",
    "\xD0\xA1olor (bright)",  // the first letter is a Cyrillic Es
    "\xD0\xA1olor",
    "\xD0\xA1olor without gray",
    "4 colors per image",
    "4 colors per line",
    "RGB",
    "GRB",
    "Custom"};

const char* const PaletteUsageNames[PaletteUsageCount] = {"15 colors", "Black + 15 colors",
                                                         "16 colors"};

const char* const DitherMethodNames[DitherMethodCount] = {
    "None",
    "Floyd\xE2\x80\x93Steinberg",  // en dash
    "Jarvis, Judice & Ninke",
    "Burkes",
    "Sierra",
    "Two-row Sierra",
    "Sierra Lite",
    "Stucki",
    "Atkinson",
    "Ordered 2x2"};

void ClearColorMask(TKvColorMask& AMask) { AMask.fill(0); }

int CountColorMask(const TKvColorMask& AMask) {
  return static_cast<int>(std::count_if(AMask.begin(), AMask.end(), [](uint8_t b) { return b != 0; }));
}

bool SameColorMask(const TKvColorMask& A, const TKvColorMask& B) { return A == B; }

// ---------------------------------------------------------------------------

TKvDestEngineOptions::TKvDestEngineOptions() = default;
TKvDestEngineOptions::~TKvDestEngineOptions() = default;

void TKvDestEngineOptions::AfterConstruction() {
  if (Width == 0 && Height == 0) {
    const TKvSize s = GetDefaultSize();
    Width = s.Width;
    Height = s.Height;
  }
  NativePixelAspect = PixelAspect;
  UpdatePalette();
}

void TKvDestEngineOptions::Changed() { UpdatePalette(); }

int TKvDestEngineOptions::MapColor(int32_t& AColor, TKvPalette256* APalette) {
  const int i = APalette->FindNearestStdRGB({static_cast<uint8_t>(AColor >> 16),
                                             static_cast<uint8_t>(AColor >> 8),
                                             static_cast<uint8_t>(AColor)});
  if (i < 0) RaiseInternalError();
  AColor = static_cast<int32_t>(APalette->GetRGBQuad(i));
  return i;
}

TKvSize TKvDestEngineOptions::GetMinSize() const { return {8, 8}; }
TKvSize TKvDestEngineOptions::GetMaxSize() const { return {2048, 2048}; }
TKvSize TKvDestEngineOptions::GetDefaultSize() const { return {0, 0}; }
int32_t TKvDestEngineOptions::GetWidth() const { return Width; }
void TKvDestEngineOptions::SetWidth(int32_t AValue) { Store(Width, AValue); }
int32_t TKvDestEngineOptions::GetHeight() const { return Height; }
void TKvDestEngineOptions::SetHeight(int32_t AValue) { Store(Height, AValue); }
int32_t TKvDestEngineOptions::GetCellWidth() const { return 1; }
int32_t TKvDestEngineOptions::GetCellHeight() const { return 1; }
void TKvDestEngineOptions::SetPaletteType(uint8_t AValue) { Store(PaletteType, AValue); }
void TKvDestEngineOptions::SetPaletteMode(TKvPaletteMode AValue) { Store<uint8_t>(PaletteMode, AValue); }
void TKvDestEngineOptions::UpdatePalette() {}

void TKvDestEngineOptions::BeginUpdate() {
  Modified = false;
  ++UpdateCount;
}

void TKvDestEngineOptions::EndUpdate() {
  --UpdateCount;
  if (UpdateCount == 0) Changed();
}

void TKvDestEngineOptions::Assign(const TKvDestEngineOptions* AOptions) {
  if (!AOptions || AOptions == this) return;
  Width = AOptions->GetWidth();
  Height = AOptions->GetHeight();
  LockDimension = AOptions->LockDimension;
  Position = AOptions->Position;
  NativePixelAspect = AOptions->NativePixelAspect;
  PixelAspect = AOptions->PixelAspect;
  BorderColor = AOptions->BorderColor;
  PaletteType = AOptions->PaletteType;
  PaletteUsage = AOptions->PaletteUsage;
  GetPalette()->Assign(AOptions->Palette.get());
  GetFixedPalette()->Assign(AOptions->FixedPalette.get());
  PaletteIndex = AOptions->PaletteIndex;
  ExtraFlag = AOptions->ExtraFlag;
  SecondPaletteIndex = AOptions->SecondPaletteIndex;
  MaxColorCount = AOptions->MaxColorCount;
  KeepWholePalette = AOptions->KeepWholePalette;
  UseAsGrayPalette = AOptions->UseAsGrayPalette;
  GrayPaletteParam = AOptions->GrayPaletteParam;
  UseSourcePalette = AOptions->UseSourcePalette;
  UseOnlyOriginalColors = AOptions->UseOnlyOriginalColors;
  MaxFlickering = AOptions->MaxFlickering;
  ColorUsage = AOptions->ColorUsage;
  GigaCalculation = AOptions->GigaCalculation;
  ExcludeGrayMixes = AOptions->ExcludeGrayMixes;
  PaletteMode = AOptions->PaletteMode;
  ColorMask = AOptions->ColorMask;
  ColorMask2 = AOptions->ColorMask2;
  GigaStyle = AOptions->GigaStyle;
  SafeMode = AOptions->SafeMode;
  CustomColor1 = AOptions->CustomColor1;
  CustomColor2 = AOptions->CustomColor2;
  CustomColor3 = AOptions->CustomColor3;
  CustomColor4 = AOptions->CustomColor4;
  HAMInitialLines = AOptions->HAMInitialLines;
  HAMPrevLines = AOptions->HAMPrevLines;
  HAMNextLines = AOptions->HAMNextLines;
  HAMMaxChangeCount = AOptions->HAMMaxChangeCount;
  DitherMethod = AOptions->DitherMethod;
  ErrorDiffusion = AOptions->ErrorDiffusion;
  LimitErrorInsideBlock = AOptions->LimitErrorInsideBlock;
  LimitErrorAtBlockBoundary = AOptions->LimitErrorAtBlockBoundary;
  Serpentine = AOptions->Serpentine;
  LightnessFix = AOptions->LightnessFix;
  SaturationFix = AOptions->SaturationFix;
  ColorDiffMethod = AOptions->ColorDiffMethod;
  WriteFileHeader = AOptions->WriteFileHeader;
  Comment = AOptions->Comment;
}

TKvPalette256* TKvDestEngineOptions::GetPalette() {
  if (!Palette) Palette = std::make_unique<TKvPalette256>();
  return Palette.get();
}

TKvPalette* TKvDestEngineOptions::GetHardwarePalette() {
  if (!HardwarePalette) HardwarePalette = std::make_unique<TKvPalette256>();
  return HardwarePalette.get();
}

TKvPalette256& TKvDestEngineOptions::GetHardwarePalette256() {
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  return static_cast<TKvPalette256&>(*HardwarePalette);
}

TKvPalette256* TKvDestEngineOptions::GetFixedPalette() {
  if (!FixedPalette) FixedPalette = std::make_unique<TKvPalette256>();
  return FixedPalette.get();
}

TKvStdRGBColor TKvDestEngineOptions::GetBorderStdRGB() const {
  return {static_cast<uint8_t>(BorderColor >> 16), static_cast<uint8_t>(BorderColor >> 8),
          static_cast<uint8_t>(BorderColor)};
}

TKvLinRGBColor TKvDestEngineOptions::GetBorderLinRGB() const {
  const TKvStdRGBColor c = GetBorderStdRGB();
  return {StdToLin(c.R), StdToLin(c.G), StdToLin(c.B)};
}

TKvSize TKvDestEngineOptions::GetPixelAspectRatio() const {
  // A value past the table (only a direct write can store one) reads as 1:1.
  if (PixelAspect >= PixelAspectCount) return {1, 1};
  return PixelAspectRatios[PixelAspect];
}

namespace {
inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

void TKvDestEngineOptions::SetPosition(uint8_t AValue) { Store(Position, AValue); }
void TKvDestEngineOptions::SetPixelAspect(TKvPixelAspect AValue) { Store<uint8_t>(PixelAspect, AValue); }
void TKvDestEngineOptions::SetBorderColor(int32_t AValue) { Store(BorderColor, AValue); }

void TKvDestEngineOptions::SetPalette(const TKvPalette256* APalette) {
  TKvPalette256* p = GetPalette();
  if (!p->SameColors(APalette)) Modified = true;
  p->Assign(APalette);
}

void TKvDestEngineOptions::SetPaletteUsage(uint8_t AValue) { Store(PaletteUsage, AValue); }

void TKvDestEngineOptions::SetFixedPalette(const TKvPalette256* APalette) {
  TKvPalette256* p = GetFixedPalette();
  if (!p->SameColors(APalette)) Modified = true;
  p->Assign(APalette);
}

void TKvDestEngineOptions::SetBorderIndex(int32_t AValue) { Store(BorderIndex, AValue); }
void TKvDestEngineOptions::SetPaletteIndex(int32_t AValue) { Store(PaletteIndex, AValue); }
void TKvDestEngineOptions::SetExtraFlag(bool AValue) { Store(ExtraFlag, AValue); }
void TKvDestEngineOptions::SetSecondPaletteIndex(int32_t AValue) { Store(SecondPaletteIndex, AValue); }
void TKvDestEngineOptions::SetMaxFlickering(int32_t AValue) {
  Store(MaxFlickering, Clamp(AValue, 0, 100));
}
void TKvDestEngineOptions::SetColorUsage(TKvColorUsage AValue) { Store<uint8_t>(ColorUsage, AValue); }
void TKvDestEngineOptions::SetGigaCalculation(uint8_t AValue) { Store(GigaCalculation, AValue); }
void TKvDestEngineOptions::SetExcludeGrayMixes(bool AValue) { Store(ExcludeGrayMixes, AValue); }
void TKvDestEngineOptions::SetMaxColorCount(int32_t AValue) {
  Store(MaxColorCount, Clamp(AValue, 0, 256));
}
void TKvDestEngineOptions::SetKeepWholePalette(bool AValue) { Store(KeepWholePalette, AValue); }
void TKvDestEngineOptions::SetUseAsGrayPalette(bool AValue) { Store(UseAsGrayPalette, AValue); }
void TKvDestEngineOptions::SetGrayPaletteParam(int32_t AValue) {
  Store(GrayPaletteParam, Clamp(AValue, 0, 100));
}
void TKvDestEngineOptions::SetUseSourcePalette(bool AValue) { Store(UseSourcePalette, AValue); }
void TKvDestEngineOptions::SetUseOnlyOriginalColors(bool AValue) {
  Store(UseOnlyOriginalColors, AValue);
}
void TKvDestEngineOptions::SetColorMask(const TKvColorMask& AValue) { Store(ColorMask, AValue); }
void TKvDestEngineOptions::SetColorMask2(const TKvColorMask& AValue) { Store(ColorMask2, AValue); }
void TKvDestEngineOptions::SetGigaStyle(uint8_t AValue) { Store(GigaStyle, AValue); }
void TKvDestEngineOptions::SetSafeMode(bool AValue) { Store(SafeMode, AValue); }
void TKvDestEngineOptions::SetCustomColor1(const TKvStdRGBColor& AValue) { Store(CustomColor1, AValue); }
void TKvDestEngineOptions::SetCustomColor2(const TKvStdRGBColor& AValue) { Store(CustomColor2, AValue); }
void TKvDestEngineOptions::SetCustomColor3(const TKvStdRGBColor& AValue) { Store(CustomColor3, AValue); }
void TKvDestEngineOptions::SetCustomColor4(const TKvStdRGBColor& AValue) { Store(CustomColor4, AValue); }
void TKvDestEngineOptions::SetHAMInitialLines(int32_t AValue) {
  Store(HAMInitialLines, AValue <= 0 ? 1 : AValue);
}
void TKvDestEngineOptions::SetHAMPrevLines(int32_t AValue) {
  Store(HAMPrevLines, AValue < 0 ? 0 : AValue);
}
void TKvDestEngineOptions::SetHAMNextLines(int32_t AValue) {
  Store(HAMNextLines, AValue < 0 ? 0 : AValue);
}
void TKvDestEngineOptions::SetHAMMaxChangeCount(int32_t AValue) {
  Store(HAMMaxChangeCount, AValue <= 0 ? 1 : AValue);
}
void TKvDestEngineOptions::SetDitherMethod(uint8_t AValue) { Store(DitherMethod, AValue); }
void TKvDestEngineOptions::SetErrorDiffusion(int32_t AValue) {
  Store(ErrorDiffusion, Clamp(AValue, 0, 100));
}
void TKvDestEngineOptions::SetLimitErrorInsideBlock(bool AValue) {
  Store(LimitErrorInsideBlock, AValue);
}
void TKvDestEngineOptions::SetLimitErrorAtBlockBoundary(bool AValue) {
  Store(LimitErrorAtBlockBoundary, AValue);
}
void TKvDestEngineOptions::SetSerpentine(bool AValue) { Store(Serpentine, AValue); }
void TKvDestEngineOptions::SetLightnessFix(int32_t AValue) {
  Store(LightnessFix, Clamp(AValue, -90, 90));
}
void TKvDestEngineOptions::SetSaturationFix(int32_t AValue) {
  Store(SaturationFix, Clamp(AValue, -90, 90));
}
void TKvDestEngineOptions::SetColorDiffMethod(uint8_t AValue) { Store(ColorDiffMethod, AValue); }
void TKvDestEngineOptions::SetWriteFileHeader(bool AValue) { Store(WriteFileHeader, AValue); }

void TKvDestEngineOptions::SetComment(const std::string& AValue) {
  // Blanks and control characters go from both ends.
  size_t b = 0, e = AValue.size();
  while (b < e && static_cast<unsigned char>(AValue[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(AValue[e - 1]) <= ' ') --e;
  Store(Comment, AValue.substr(b, e - b));
}

void TKvDestFixedSizeEngineOptions::SetWidth(int32_t) {}
void TKvDestFixedSizeEngineOptions::SetHeight(int32_t) {}

// ---------------------------------------------------------------------------
// ZX and SPECTRA palette builders

namespace {

const TKvZxColorModel kZxModels[5] = {
    {{0, 118, 205, 233, 255, 159}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},  // 26 Pulsar (205)
    {{0, 150, 188, 232, 255, 188}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},  // 27 Linear
    {{0, 96, 160, 224, 255, 160}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},   // 28 Alone (160)
    {{0, 150, 128, 232, 255, 188}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},  // 29 RGB (128)
    {{0, 118, 205, 233, 255, 159}, {{208, 0, 0}, {0, 228, 0}, {0, 0, 255}}},  // 30 Orthodox
};

// Channel bits of a ZX colour number.
constexpr int kBlueBit = 1, kRedBit = 2, kGreenBit = 4, kBrightBit = 8;

// The level of one channel for the pair of frame colours (a, b).
int MixedLevel(int a, int b, int channelBit) {
  const bool sa = (a & channelBit) != 0, sb = (b & channelBit) != 0;
  const bool ba = (a & kBrightBit) != 0, bb = (b & kBrightBit) != 0;
  if (!sa && !sb) return 0;
  if (sa != sb) return (sa ? ba : bb) ? 5 : 1;
  if (ba && bb) return 4;
  if (!ba && !bb) return 2;
  return 3;
}

}  // namespace

const TKvZxColorModel& ZxColorModel(uint8_t APaletteType) {
  if (APaletteType >= ptPulsar && APaletteType <= ptOrthodox) return kZxModels[APaletteType - ptPulsar];
  return kZxModels[ptColoredLinear - ptPulsar];
}

TKvStdRGBColor ZxModelColor(const TKvZxColorModel& AModel, int ALevelR, int ALevelG, int ALevelB) {
  const double r = AModel.Levels[ALevelR], g = AModel.Levels[ALevelG], b = AModel.Levels[ALevelB];
  auto row = [&](int k) {
    const double v = (r * AModel.Matrix[k][0] + g * AModel.Matrix[k][1] + b * AModel.Matrix[k][2]) / 255;
    return static_cast<uint8_t>(std::clamp<int64_t>(Round(v), 0, 255));
  };
  return {row(0), row(1), row(2)};
}

void TKvDestEngineOptions::AddZxColors(TKvPalette256* p, int AFirst, int ALast) const {
  const TKvZxColorModel& m = ZxColorModel(PaletteType);
  for (int i = AFirst; i <= ALast; ++i) {
    const int on = i < 8 ? 2 : 4;
    p->AddStdRGB(ZxModelColor(m, (i & kRedBit) ? on : 0, (i & kGreenBit) ? on : 0,
                              (i & kBlueBit) ? on : 0));
  }
}

void TKvDestEngineOptions::SetBlackWhitePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256* p = GetPalette();
  p->Clear();
  p->AddUniqueLinRGB(LinRGBBlack);
  p->AddUniqueLinRGB(LinRGBWhite);
}

void TKvDestEngineOptions::BuildZxPalette() {
  if (UpdateCount > 0) return;
  if (PaletteMode == 0) {
    SetBlackWhitePalette();
    return;
  }
  GetPalette()->Clear();
  AddZxColors(GetPalette(), 0, 15);
}

void TKvDestEngineOptions::BuildZxPaletteSubset() {
  if (UpdateCount > 0) return;
  GetPalette()->Clear();
  if (PaletteMode == 1) {
    for (int i : {0, 7, 8, 15}) AddZxColors(GetPalette(), i, i);
  } else {
    AddZxColors(GetPalette(), 0, 15);
  }
}

void TKvDestEngineOptions::BuildZxBrightPalette() {
  if (UpdateCount > 0) return;
  GetPalette()->Clear();
  AddZxColors(GetPalette(), 8, 15);
}

void TKvDestEngineOptions::BuildZxGigaPalette(bool AOrdered) {
  const double D = MaxFlickering / 100.0;
  // The base is always the sixteen model colours: the pairs below read all
  // of them, also in black-and-white mode.
  auto base = std::make_unique<TKvPalette256>();
  AddZxColors(base.get(), 0, 15);
  const TKvZxColorModel& m = ZxColorModel(PaletteType);
  TKvPalette256* p = GetPalette();
  p->Clear();
  auto inSet = [](int c) { return c == 0 || c == 7 || c == 8 || c == 15; };
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      int k;
      if (GigaCalculation == 1) {
        k = p->AddLinRGB(MiddleLinRGB(base->Colors[j].GetLinRGB(), base->Colors[i].GetLinRGB()));
      } else {
        k = p->AddStdRGB(ZxModelColor(m, MixedLevel(j, i, kRedBit), MixedLevel(j, i, kGreenBit),
                                      MixedLevel(j, i, kBlueBit)));
      }
      bool skip = std::fabs(base->Colors[j].GetLinGray() - base->Colors[i].GetLinGray()) > D;
      if ((ColorUsage == 1 || ColorUsage == 2) && (i > 7 || j > 7)) skip = true;
      if (ColorUsage == 3 && (i < 8 || j < 8)) skip = true;
      if (ExcludeGrayMixes && i != 7 && j != 7) {
        const TKvStdRGBColor c = p->Colors[k].GetStdRGB();
        if (c.R == c.G && c.G == c.B && c.R != 0 && c.R != 255) skip = true;
      }
      if (AOrdered && j < i) skip = true;
      if (PaletteMode == 1 && (!inSet(i) || !inSet(j))) skip = true;
      if (SafeMode && i < 8 && j > 7) skip = true;
      if (i > 7 && j < 8) skip = true;
      p->Colors[k].Skip = skip;
    }
  }
}

void TKvDestEngineOptions::BuildSpectraPalette() {
  if (PaletteType == ptColored15x1 || PaletteType == ptColored15x2) {
    if (PaletteMode == 1)
      BuildSpectra15GrayPalette();
    else
      BuildSpectra15Palette();
  } else {
    if (PaletteMode == 1)
      BuildSpectra64GrayPalette();
    else
      BuildSpectra64Palette();
  }
}

void TKvDestEngineOptions::BuildSpectra15Palette() {
  TKvPalette256* p = GetPalette();
  p->Clear();
  for (int i = 0; i < 16; ++i) {
    const double on = i < 8 ? 0.5 : 1.0;
    p->AddLinRGB({(i & kRedBit) ? on : 0.0, (i & kGreenBit) ? on : 0.0, (i & kBlueBit) ? on : 0.0});
  }
}

namespace {
const uint8_t kSpectraLevels[4] = {0x00, 0x59, 0xB9, 0xFF};
}

void TKvDestEngineOptions::BuildSpectra64Palette() {
  TKvPalette256* p = GetPalette();
  p->Clear();
  for (int g = 0; g < 4; ++g)
    for (int r = 0; r < 4; ++r)
      for (int b = 0; b < 4; ++b) p->AddRGB(kSpectraLevels[r], kSpectraLevels[g], kSpectraLevels[b]);
}

void TKvDestEngineOptions::BuildSpectra15GrayPalette() {
  TKvPalette256* p = GetPalette();
  p->Clear();
  p->AddLinRGB({0, 0, 0});
  p->AddLinRGB({0.5, 0.5, 0.5});
  p->AddLinRGB({1, 1, 1});
}

void TKvDestEngineOptions::BuildSpectra64GrayPalette() {
  TKvPalette256* p = GetPalette();
  p->Clear();
  for (uint8_t v : kSpectraLevels) p->AddRGB(v, v, v);
}
