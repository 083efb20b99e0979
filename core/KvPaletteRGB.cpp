#include "core/KvPaletteRGB.h"

#include <algorithm>
#include <cmath>

const char* const PaletteTypeNames[PaletteTypeCount] = {
    "RGB888",  // ptRGB888
    "RGB777",  // ptRGB777
    "RGB666",  // ptRGB666
    "RGB565",  // ptRGB565
    "RGB555",  // ptRGB555
    "RGB444",  // ptRGB444
    "RGB333",  // ptRGB333
    "RGB332",  // ptRGB332
    "RGB222",  // ptRGB222
    "RGB111",  // ptRGB111
    "Black/white",  // ptBW
    "White/black",  // ptWB
    "Fixed",  // ptFixed
    "Optimized",  // ptOptimized
    "Auto",  // ptAuto
    "Сolor",  // ptColored
    "Gate Array (sRGB)",  // ptCPCGateArray
    "Gate Array (RGB)",  // ptCPCGateArrayRGB
    "ASIC (sRGB)",  // ptCPCASIC
    "ASIC (RGB)",  // ptCPCASICRGB
    "CPC Plus",  // ptCPCPlus
    "Yamaha V9938",  // ptMSX9938
    "Yamaha V9958",  // ptMSX9958
    "YJK",  // ptMSXYJK
    "YJK+YAE",  // ptMSXYJK_YAE
    "YUV",  // ptMSXYUV
    "Pulsar (205)",  // ptPulsar
    "Linear",  // ptColoredLinear
    "Alone (160)",  // ptAlone
    "RGB (128)",  // ptStdRGBMiddle
    "Orthodox",  // ptOrthodox
    "15 colors",  // ptColored15
    "16 from 256 colors",  // ptColored16of256
    "15 colors (single byte)",  // ptColored15x1
    "15 colors (double byte)",  // ptColored15x2
    "64 colors (single byte)",  // ptColored64x1
    "64 colors (double byte)",  // ptColored64x2
    "MSX",  // ptColoredMSX
    "Amstrad CPC",  // ptColoredCPC
    "EMU",  // ptColoredEMU
    "EmuStudio",  // ptColoredEMUStudio
    "Virtual Vector",  // ptColoredVirtualVector
    "DDp",  // ptColoredDDp
    "B/Green/Red/Brown (low intensity)",  // ptBackGreenRedYellowLow
    "B/Green/Red/Yellow (high intensity)",  // ptBackGreenRedYellowHigh
    "B/Cyan/Magenta/Gray (low intensity)",  // ptBackCyanMagentaWhiteLow
    "B/Cyan/Magenta/White (high intensity)",  // ptBackCyanMagentaWhiteHigh
    "B/Cyan/Red/Gray (low intensity)",  // ptBackCyanRedWhiteLow
    "B/Cyan/Red/White (high intensity)",  // ptBackCyanRedWhiteHigh
    "v1.0",  // ptV10
    "v1.1",  // ptV11
    "v1.1 (Gray)",  // ptV11Gray
    "5 colors",  // ptColored5
    "8 colors",  // ptColored8
    "16 colors",  // ptColored16
    "Black + RGB",  // ptColoredBRGB
    "White + RGB",  // ptColoredWRGB
    "4096 colors",  // ptColored4096
    "8 colors (gray)",  // ptGray8
    "16 colors (gray)",  // ptGray16
    "Black + Gray",  // ptGrayBRGB
    "White + Gray",  // ptGrayWRGB
    "Calculated",  // ptTI99Calculated
    "MSX",  // ptTI99MSX
    "Coleco ADAM",  // ptTI99Adam
    "Convert9918",  // ptTI99Convert9918
    "Standard",  // ptPMD85A
    "Gray (PMD 85-3)",  // ptPMD85B
    "Gray (Didaktik Alfa)",  // ptPMD85C
    "Color RGB (PMD 85-1/2/2A)",  // ptPMD85D
    "Color RGB (PMD 85-3)",  // ptPMD85E
    "Color TV (PMD 85-3)",  // ptPMD85F
    "Custom",  // ptPMD85GCustom
    "ColorAce",  // ptPMD85H
    "EGA (00, 55, AA, FF)",  // ptEvoEGA
    "EGA + PWM 1 bit",  // ptEvoEGAPWM1
    "EGA + PWM 2 bit",  // ptEvoEGAPWM2
    "EGA + PWM 3 bit",  // ptEvoEGAPWM3
    "Pentevo (00, 5D, A2, FF)",  // ptPentevo
    "Pentevo + PWM 1 bit",  // ptPentevoPWM1
    "Pentevo + PWM 2 bit",  // ptPentevoPWM2
    "Pentevo + PWM 3 bit",  // ptPentEvoPWM3
    "Video DAC",  // ptVideoDAC
    "Dark",  // ptCommandore64Dark
    "Light",  // ptCommandore64Light
};

void BracketLevel(double AValue, int ACount, const double* ALevels, int& ALow, int& AHigh) {
  if (AValue <= ALevels[0]) {
    ALow = AHigh = 0;
    return;
  }
  if (AValue >= ALevels[ACount - 1]) {
    ALow = AHigh = ACount - 1;
    return;
  }
  // The first level at or above the value; the one before it is the first
  // level i with Levels[i] <= value <= Levels[i + 1].
  const double* p = std::lower_bound(ALevels, ALevels + ACount, AValue);
  const int j = static_cast<int>(p - ALevels);
  if (j <= 0 || j >= ACount || !(ALevels[j - 1] <= AValue)) RaiseInternalError();
  ALow = j - 1;
  AHigh = j;
}

namespace {

// A level from an encoded fraction 0..1: its linear value and its byte.
void SetLevel(TKvChannelLevels& ch, int i, double fraction) {
  ch.Levels[i] = StdToLin(255.0 * fraction);
  ch.LevelBytes[i] = LinToStdByte(ch.Levels[i]);
}

void SetLinearLevel(TKvChannelLevels& ch, int i, double lin) {
  ch.Levels[i] = lin;
  ch.LevelBytes[i] = LinToStdByte(lin);
}

void SetBitLevels(TKvChannelLevels& ch, int bits) {
  const int n = 1 << bits;
  ch.LevelCount = n;
  for (int i = 0; i < n; ++i) SetLevel(ch, i, n > 1 ? static_cast<double>(i) / (n - 1) : 0.0);
}

void SetFractionLevels(TKvChannelLevels& ch, const int* values, int count, double denom) {
  ch.LevelCount = count;
  for (int i = 0; i < count; ++i) SetLevel(ch, i, values[i] / denom);
}

const int kV9958Levels[8] = {0, 4, 9, 13, 18, 22, 27, 31};

}  // namespace

TKvPaletteRGB::TKvPaletteRGB() = default;
TKvPaletteRGB::~TKvPaletteRGB() = default;

std::unique_ptr<TKvPaletteRGB> TKvPaletteRGB::CreateBits(int ARBits, int AGBits, int ABBits,
                                                         bool AGrayPalette) {
  auto p = std::make_unique<TKvPaletteRGB>();
  SetBitLevels(p->Red, ARBits);
  SetBitLevels(p->Green, AGBits);
  SetBitLevels(p->Blue, ABBits);
  if (AGrayPalette) {
    const int g = 1 << std::min({ARBits, AGBits, ABBits});
    p->GrayPalette = std::make_unique<TKvPalette256>();
    for (int i = 0; i < g; ++i) {
      const double v = StdToLin(g > 1 ? 255.0 * i / (g - 1) : 0.0);
      p->GrayPalette->AddLinRGB(p->GetLinRGB(p->FindNearest({v, v, v})));
    }
    p->HasGrayPalette = true;
  }
  return p;
}

std::unique_ptr<TKvPaletteRGB> TKvPaletteRGB::CreateType(TKvPaletteType AType,
                                                         bool AGrayPalette) {
  switch (AType) {
    case ptRGB888: return CreateBits(8, 8, 8, AGrayPalette);
    case ptRGB777: return CreateBits(7, 7, 7, AGrayPalette);
    case ptRGB666: return CreateBits(6, 6, 6, AGrayPalette);
    case ptRGB565: return CreateBits(5, 6, 5, AGrayPalette);
    case ptRGB555: return CreateBits(5, 5, 5, AGrayPalette);
    case ptRGB444: return CreateBits(4, 4, 4, AGrayPalette);
    case ptRGB333:
    case ptMSX9938: return CreateBits(3, 3, 3, AGrayPalette);
    case ptRGB332: return CreateBits(3, 3, 2, AGrayPalette);
    case ptRGB222: return CreateBits(2, 2, 2, AGrayPalette);
    case ptRGB111: return CreateBits(1, 1, 1, AGrayPalette);
    case ptMSX9958: return CreateV9958(AGrayPalette);
    case ptEvoEGA:
    case ptEvoEGAPWM1:
    case ptEvoEGAPWM2:
    case ptEvoEGAPWM3:
    case ptPentevo:
    case ptPentevoPWM1:
    case ptPentevoPWM2:
    case ptPentEvoPWM3: return CreatePWM(AType, AGrayPalette);
    default: RaiseInternalError();
  }
}

void TKvPaletteRGB::MakeEqualLevelGrayPalette() {
  GrayPalette = std::make_unique<TKvPalette256>();
  const int n = std::min({Red.LevelCount, Green.LevelCount, Blue.LevelCount});
  for (int i = 0; i < n; ++i)
    GrayPalette->AddLinRGB({Red.Levels[i], Green.Levels[i], Blue.Levels[i]});
  HasGrayPalette = true;
}

std::unique_ptr<TKvPaletteRGB> TKvPaletteRGB::CreateV9958(bool AGrayPalette) {
  auto p = std::make_unique<TKvPaletteRGB>();
  SetFractionLevels(p->Red, kV9958Levels, 8, 31);
  SetFractionLevels(p->Green, kV9958Levels, 8, 31);
  SetFractionLevels(p->Blue, kV9958Levels, 8, 31);
  if (AGrayPalette) p->MakeEqualLevelGrayPalette();
  return p;
}

std::unique_ptr<TKvPaletteRGB> TKvPaletteRGB::CreateMSX332() {
  static const int blue[4] = {0, 11, 21, 31};
  auto p = std::make_unique<TKvPaletteRGB>();
  SetFractionLevels(p->Red, kV9958Levels, 8, 31);
  SetFractionLevels(p->Green, kV9958Levels, 8, 31);
  SetFractionLevels(p->Blue, blue, 4, 31);
  return p;
}

std::unique_ptr<TKvPaletteRGB> TKvPaletteRGB::CreatePWM(TKvPaletteType AType, bool AGrayPalette) {
  if (AType == ptVideoDAC) return CreateBits(5, 5, 5, AGrayPalette);
  if (AType < ptEvoEGA || AType > ptPentEvoPWM3) RaiseInternalError();
  double table[25] = {};
  const bool ega = AType <= ptEvoEGAPWM3;
  static const uint8_t pentevo[4] = {0x00, 0x5D, 0xA2, 0xFF};
  for (int k = 0; k < 4; ++k)
    table[k * 8] = ega ? StdToLin(255.0 * k / 3) : StdToLin(pentevo[k]);
  // Fill the positions between two base levels by repeated halving: the
  // middle gets the mean of its ends, then each half in turn.
  struct Fill {
    static void Run(double* t, int lo, int hi) {
      if (hi - lo < 2) return;
      const int mid = (lo + hi) / 2;
      t[mid] = (t[lo] + t[hi]) / 2;
      Run(t, lo, mid);
      Run(t, mid, hi);
    }
  };
  for (int k = 0; k < 3; ++k) Fill::Run(table, k * 8, k * 8 + 8);
  const int pwm = ega ? AType - ptEvoEGA : AType - ptPentevo;  // 0..3 bits
  const int step = 8 >> pwm;
  auto p = std::make_unique<TKvPaletteRGB>();
  for (TKvChannelLevels* ch : {&p->Red, &p->Green, &p->Blue}) {
    int n = 0;
    for (int pos = 0; pos <= 24; pos += step) SetLinearLevel(*ch, n++, table[pos]);
    ch->LevelCount = n;
  }
  if (AGrayPalette) p->MakeEqualLevelGrayPalette();
  return p;
}

std::unique_ptr<TKvPalette> TKvPaletteRGB::Clone() const {
  auto p = std::make_unique<TKvPaletteRGB>();
  p->HasGrayPalette = HasGrayPalette;
  p->Red = Red;
  p->Green = Green;
  p->Blue = Blue;
  if (GrayPalette) {
    p->GrayPalette = std::make_unique<TKvPalette256>();
    p->GrayPalette->Assign(GrayPalette.get());
  }
  return p;
}

namespace {
bool IsLevelByte(const TKvChannelLevels& ch, uint8_t v) {
  return std::find(ch.LevelBytes, ch.LevelBytes + ch.LevelCount, v) != ch.LevelBytes + ch.LevelCount;
}
}  // namespace

bool TKvPaletteRGB::ContainsColors(const TKvPalette256* APalette) const {
  if (!APalette || APalette->Count == 0) return false;
  for (int i = 0; i < APalette->Count; ++i) {
    const TKvStdRGBColor c = APalette->Colors[i].GetStdRGB();
    if (!IsLevelByte(Red, c.R) || !IsLevelByte(Green, c.G) || !IsLevelByte(Blue, c.B))
      return false;
  }
  return true;
}

int TKvPaletteRGB::FindNearest(const TKvLinRGBColor& AColor) const {
  if (Red.LevelCount == 0 || Green.LevelCount == 0 || Blue.LevelCount == 0) return -1;
  int r[2], g[2], b[2];
  BracketLevel(AColor.R, Red.LevelCount, Red.Levels, r[0], r[1]);
  BracketLevel(AColor.G, Green.LevelCount, Green.Levels, g[0], g[1]);
  BracketLevel(AColor.B, Blue.LevelCount, Blue.Levels, b[0], b[1]);
  int br = r[0], bg = g[0], bb = b[0];
  double best = -1;
  for (int ir = 0; ir < 2; ++ir) {
    const double dr = Red.Levels[r[ir]] - AColor.R;
    for (int ig = 0; ig < 2; ++ig) {
      const double dg = Green.Levels[g[ig]] - AColor.G;
      for (int ib = 0; ib < 2; ++ib) {
        const double db = Blue.Levels[b[ib]] - AColor.B;
        const double d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) {
          best = d;
          br = r[ir];
          bg = g[ig];
          bb = b[ib];
        }
      }
    }
  }
  return EntryIndex(br, bg, bb);
}

int TKvPaletteRGB::GetCount() const {
  return Red.LevelCount * Green.LevelCount * Blue.LevelCount;
}

void TKvPaletteRGB::Decompose(int AIndex, int& AR, int& AG, int& AB) const {
  if (AIndex < 0 || Blue.LevelCount == 0 || Green.LevelCount == 0) RaiseInternalError();
  AB = AIndex % Blue.LevelCount;
  AG = (AIndex / Blue.LevelCount) % Green.LevelCount;
  AR = AIndex / (Blue.LevelCount * Green.LevelCount);
  if (AR >= Red.LevelCount) RaiseInternalError();
}

TKvLinRGBColor TKvPaletteRGB::GetLinRGB(int AIndex) const {
  int r, g, b;
  Decompose(AIndex, r, g, b);
  return {Red.Levels[r], Green.Levels[g], Blue.Levels[b]};
}

double TKvPaletteRGB::GetLinGray(int AIndex) const { return LinGrayOf(GetLinRGB(AIndex)); }

TKvStdRGBColor TKvPaletteRGB::GetStdRGB(int AIndex) const {
  int r, g, b;
  Decompose(AIndex, r, g, b);
  return {Red.LevelBytes[r], Green.LevelBytes[g], Blue.LevelBytes[b]};
}

uint32_t TKvPaletteRGB::GetRGBQuad(int AIndex) const {
  const TKvStdRGBColor c = GetStdRGB(AIndex);
  return (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
}

int TKvPaletteRGB::FindNearestByGray(const TKvColor& AColor) const {
  if (!GrayPalette) RaiseInternalError();
  const int g = GrayPalette->FindNearestByGray(AColor);
  if (g < 0 || g >= GrayPalette->Count) RaiseInternalError();
  // The gray palette's colours lie on the grid, so the nearest entry is the
  // very same colour.
  return FindNearest(GrayPalette->Colors[g].GetLinRGB());
}

int TKvPaletteRGB::FindNearestByMetric(uint8_t AMetric, const TKvColor& AColor) const {
  if (AMetric != 0) RaiseInternalError();
  return FindNearest(AColor.GetLinRGB());
}

void TKvPaletteRGB::UpdateCache() const {
  if (GrayPalette) GrayPalette->UpdateCache();
}

void TKvPaletteRGB::GetLevelIndexes(const TKvStdRGBColor& AColor, uint8_t& AR, uint8_t& AG,
                                    uint8_t& AB) const {
  auto find = [](const TKvChannelLevels& ch, uint8_t v) -> uint8_t {
    for (int i = 0; i < ch.LevelCount; ++i)
      if (ch.LevelBytes[i] == v) return static_cast<uint8_t>(i);
    RaiseInternalError();
  };
  AR = find(Red, AColor.R);
  AG = find(Green, AColor.G);
  AB = find(Blue, AColor.B);
}

// ---------------------------------------------------------------------------
// Built-in fills of TKvPalette256

namespace {

// Writes entry i in place from sRGB bytes, with its linear form cached.
void PutStd(TKvPalette256& p, int i, uint8_t r, uint8_t g, uint8_t b) {
  TKvColor& c = p.Colors[i];
  c.Clear();
  c.InitStdRGB({r, g, b});
  c.GetLinRGB();
}

// Writes entry i in place from a linear colour, with its bytes cached.
void PutLin(TKvPalette256& p, int i, const TKvLinRGBColor& l) {
  TKvColor& c = p.Colors[i];
  c.Clear();
  c.InitLinRGB(l);
  c.GetStdRGB();
}

inline uint8_t Bit(int v, int bit, uint8_t on) { return (v >> bit) & 1 ? on : 0; }

}  // namespace

void TKvPalette256::FillGRB16(uint8_t ALevel) {
  Clear();
  for (int i = 0; i < 16; ++i) {
    const uint8_t on = i < 8 ? ALevel : 255;
    AddRGB(Bit(i, 1, on), Bit(i, 2, on), Bit(i, 0, on));
  }
}

void TKvPalette256::FillBlackGrayWhite(uint8_t ALevel) {
  Clear();
  AddRGB(0, 0, 0);
  AddRGB(ALevel, ALevel, ALevel);
  AddRGB(255, 255, 255);
}

void TKvPalette256::FillRGB64() {
  static const uint8_t lv[4] = {0x00, 0x55, 0xAA, 0xFF};
  Clear();
  for (int r = 0; r < 4; ++r)
    for (int g = 0; g < 4; ++g)
      for (int b = 0; b < 4; ++b) AddRGB(lv[r], lv[g], lv[b]);
}

void TKvPalette256::FillGray4() {
  Clear();
  for (uint8_t v : {0x00, 0x55, 0xAA, 0xFF}) AddRGB(v, v, v);
}

void TKvPalette256::FillBlackWhite() {
  Colors.Reserve(2);
  Count = 2;
  PutLin(*this, 0, LinRGBBlack);
  PutLin(*this, 1, LinRGBWhite);
}

void TKvPalette256::FillWhiteBlack() {
  Colors.Reserve(2);
  Count = 2;
  PutLin(*this, 0, LinRGBWhite);
  PutLin(*this, 1, LinRGBBlack);
}

void TKvPalette256::FillBGR8() {
  Colors.Reserve(8);
  Count = 8;
  for (int i = 0; i < 8; ++i) PutStd(*this, i, Bit(i, 0, 255), Bit(i, 1, 255), Bit(i, 2, 255));
}

void TKvPalette256::FillRGB8() {
  Colors.Reserve(8);
  Count = 8;
  for (int i = 0; i < 8; ++i) PutStd(*this, i, Bit(i, 2, 255), Bit(i, 1, 255), Bit(i, 0, 255));
}

void TKvPalette256::FillGRB8() {
  Colors.Reserve(8);
  Count = 8;
  for (int i = 0; i < 8; ++i) PutStd(*this, i, Bit(i, 1, 255), Bit(i, 2, 255), Bit(i, 0, 255));
}

void TKvPalette256::FillGRB16Levels(uint8_t AOff, uint8_t AOn, uint8_t ABrightOff,
                                    uint8_t ABrightOn) {
  Colors.Reserve(16);
  Count = 16;
  for (int i = 0; i < 16; ++i) {
    const uint8_t off = i < 8 ? AOff : ABrightOff, on = i < 8 ? AOn : ABrightOn;
    auto ch = [&](int bit) { return (i >> bit) & 1 ? on : off; };
    PutStd(*this, i, ch(1), ch(2), ch(0));
  }
}

void TKvPalette256::FillGRB16Nearest(const TKvPalette* APalette) {
  Colors.Reserve(16);
  Count = 16;
  for (int i = 0; i < 16; ++i) {
    const uint8_t on = i < 8 ? 0xBC : 0xFF;
    PutStd(*this, i, Bit(i, 1, on), Bit(i, 2, on), Bit(i, 0, on));
    if (APalette) {
      const int n = APalette->FindNearest(Colors[i].GetLinRGB());
      if (n >= 0) {
        const TKvStdRGBColor c = APalette->GetStdRGB(n);
        PutStd(*this, i, c.R, c.G, c.B);
      }
    }
  }
}

void TKvPalette256::FillBGR64() {
  Colors.Reserve(64);
  Count = 64;
  for (int i = 0; i < 64; ++i)
    PutLin(*this, i, {Std2ToLin(i & 3), Std2ToLin((i >> 2) & 3), Std2ToLin(i >> 4)});
}

void TKvPalette256::FillBGR64Levels(const uint8_t (&ALevels)[4]) {
  Colors.Reserve(64);
  Count = 64;
  for (int i = 0; i < 64; ++i)
    PutStd(*this, i, ALevels[i & 3], ALevels[(i >> 2) & 3], ALevels[i >> 4]);
}

void TKvPalette256::FillB2G3R3() {
  Colors.Reserve(256);
  Count = 256;
  for (int i = 0; i < 256; ++i)
    PutLin(*this, i, {Std3ToLin(i & 7), Std3ToLin((i >> 3) & 7), Std2ToLin(i >> 6)});
}

void TKvPalette256::FillNearestGBR16(const TKvPalette* APalette) {
  Count = 0;
  if (!APalette || APalette->GetCount() == 0) return;
  for (int i = 0; i < 16; ++i) {
    const double on = i < 8 ? 0.5 : 1.0;
    const TKvLinRGBColor l{(i & 1) ? on : 0.0, (i & 4) ? on : 0.0, (i & 2) ? on : 0.0};
    AddUniqueLinRGB(APalette->GetLinRGB(APalette->FindNearest(l)));
  }
}

void TKvPalette256::FillMixtures(const TKvPalette* APalette, int AMaxGrayDiff, int ACount) {
  if (!APalette) RaiseInternalError();
  Clear();
  const int count = APalette->GetCount();
  const int n = ACount != 0 ? ACount : count;
  const double limit = AMaxGrayDiff / 100.0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      bool skip = false;
      TKvLinRGBColor c;
      if (i >= count || j >= count) {
        c = APalette->GetLinRGB(0);
        skip = true;
      } else if (AMaxGrayDiff == 100 ||
                 limit >= std::fabs(APalette->GetLinGray(i) - APalette->GetLinGray(j))) {
        c = MiddleLinRGB(APalette->GetLinRGB(i), APalette->GetLinRGB(j));
      } else {
        c = APalette->GetLinRGB(0);
        skip = true;
      }
      const int k = AddLinRGB(c);
      if (skip || j < i) Colors[k].Skip = true;
    }
  }
}
