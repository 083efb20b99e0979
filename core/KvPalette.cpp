#include "core/KvPalette.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>

void RaiseInternalError() { throw Exception("Internal error"); }

namespace {

inline double SqrDist(const TKvLinRGBColor& a, const TKvLinRGBColor& b) {
  const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return dr * dr + dg * dg + db * db;
}

constexpr double kDegToRad = std::numbers::pi / 180.0;

// Everything of a CIE94 difference that depends only on the colour searched
// for (graphic-arts constants, kL = 1).
struct TCIE94Ref {
  double L, a, b, C1, SC, SH;
  explicit TCIE94Ref(const TKvLinRGBColor& lab)
      : L(lab.R), a(lab.G), b(lab.B), C1(std::sqrt(a * a + b * b)),
        SC(1 + 0.045 * C1), SH(1 + 0.015 * C1) {}
  double Diff(const TKvLinRGBColor& lab2) const {
    const double dL = L - lab2.R;
    const double C2 = std::sqrt(lab2.G * lab2.G + lab2.B * lab2.B);
    const double dC = C1 - C2;
    const double da = a - lab2.G, db = b - lab2.B;
    const double dH2 = da * da + db * db - dC * dC;
    const double dH = dH2 >= 0 ? std::sqrt(dH2) : 0.0;
    const double t1 = dC / SC, t2 = dH / SH;
    const double d = dL * dL + t1 * t1 + t2 * t2;
    return d < 0 ? 0.0 : d;
  }
};

// CMC l:c = 2:1, the weights taken from the colour searched for.
struct TCMCRef {
  double L, a, b, C1, SL, SC, SH;
  explicit TCMCRef(const TKvLinRGBColor& lab) : L(lab.R), a(lab.G), b(lab.B) {
    C1 = std::sqrt(a * a + b * b);
    const double H1 = HueAngle(a, b);
    const double C14 = C1 * C1 * C1 * C1;
    const double F = std::sqrt(C14 / (C14 + 1900));
    const double T = (H1 >= 164 && H1 <= 345)
                         ? 0.56 + std::fabs(0.2 * std::cos((H1 + 168) * kDegToRad))
                         : 0.36 + std::fabs(0.4 * std::cos((H1 + 35) * kDegToRad));
    SL = L < 16 ? 0.511 : 0.040975 * L / (1 + 0.01765 * L);
    SC = 0.0638 * C1 / (1 + 0.0131 * C1) + 0.638;
    SH = SC * (F * T + 1 - F);
  }
  double Diff(const TKvLinRGBColor& lab2) const {
    const double C2 = std::sqrt(lab2.G * lab2.G + lab2.B * lab2.B);
    const double da = lab2.G - a, db = lab2.B - b, dC = C2 - C1;
    double dH2 = da * da + db * db - dC * dC;
    if (dH2 < 0) dH2 = 0;
    const double tL = (lab2.R - L) / (2 * SL), tC = dC / SC;
    return tL * tL + tC * tC + dH2 / (SH * SH);
  }
};

// 25^7 as the single-precision constant the formula was tuned with.
constexpr double kPow25_7 = static_cast<double>(6103515625.0f);

inline double Pow7(double x) {
  const double x2 = x * x, x3 = x2 * x;
  return x3 * x3 * x;
}

double DE2000(const TKvLinRGBColor& lab1, const TKvLinRGBColor& lab2) {
  const double L1 = lab1.R, a1 = lab1.G, b1 = lab1.B;
  const double L2 = lab2.R, a2 = lab2.G, b2 = lab2.B;
  const double C1 = std::sqrt(a1 * a1 + b1 * b1), C2 = std::sqrt(a2 * a2 + b2 * b2);
  const double Cm7 = Pow7((C1 + C2) / 2);
  const double G = 0.5 * (1 - std::sqrt(Cm7 / (Cm7 + kPow25_7)));
  const double a1p = (1 + G) * a1, a2p = (1 + G) * a2;
  const double C1p = std::sqrt(a1p * a1p + b1 * b1), C2p = std::sqrt(a2p * a2p + b2 * b2);
  const double h1p = HueAngle(a1p, b1), h2p = HueAngle(a2p, b2);
  const double dLp = L2 - L1, dCp = C2p - C1p;
  const double CC = C1p * C2p;
  double dhp = 0;
  if (CC != 0) {
    dhp = h2p - h1p;
    if (dhp > 180)
      dhp -= 360;
    else if (dhp < -180)
      dhp += 360;
  }
  const double dHp = 2 * std::sqrt(CC) * std::sin(dhp * kDegToRad / 2);
  const double Lm = (L1 + L2) / 2, Cmp = (C1p + C2p) / 2;
  double Hm;
  if (CC == 0)
    Hm = h1p + h2p;
  else if (std::fabs(h1p - h2p) <= 180)
    Hm = (h1p + h2p) / 2;
  else if (h1p + h2p < 360)
    Hm = (h1p + h2p + 360) / 2;
  else
    Hm = (h1p + h2p - 360) / 2;
  const double T = 1 - 0.17 * std::cos((Hm - 30) * kDegToRad) + 0.24 * std::cos(2 * Hm * kDegToRad) +
                   0.32 * std::cos((3 * Hm + 6) * kDegToRad) - 0.20 * std::cos((4 * Hm - 63) * kDegToRad);
  const double t = (Hm - 275) / 25;
  const double dTheta = 30 * std::exp(-t * t);
  const double Cmp7 = Pow7(Cmp);
  const double RC = 2 * std::sqrt(Cmp7 / (Cmp7 + kPow25_7));
  const double Lm50 = (Lm - 50) * (Lm - 50);
  const double SL = 1 + 0.015 * Lm50 / std::sqrt(20 + Lm50);
  const double SC = 1 + 0.045 * Cmp;
  const double SH = 1 + 0.015 * Cmp * T;
  const double RT = -std::sin(2 * dTheta * kDegToRad) * RC;
  const double tL = dLp / SL, tC = dCp / SC, tH = dHp / SH;
  return std::sqrt(tL * tL + tC * tC + tH * tH + RT * tC * tH);
}

}  // namespace

double ColorDiffCIE94(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2) {
  return TCIE94Ref(ALab1).Diff(ALab2);
}

double ColorDiffCIEDE2000(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2) {
  return DE2000(ALab1, ALab2);
}

double ColorDiffCMC(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2) {
  return TCMCRef(ALab1).Diff(ALab2);
}

// ---------------------------------------------------------------------------
// TKvPalette

int TKvPalette::FindNearestStdRGB(const TKvStdRGBColor& AColor) const {
  return FindNearest({StdToLin(AColor.R), StdToLin(AColor.G), StdToLin(AColor.B)});
}

// ---------------------------------------------------------------------------
// TKvPaletteColors

TKvPaletteColors::TKvPaletteColors() { Reserve(MinCapacity); }

TKvPaletteColors::~TKvPaletteColors() { std::free(FData); }

void TKvPaletteColors::Reserve(int ACount) {
  if (ACount <= FCapacity) return;
  int n = std::max(FCapacity, MinCapacity);
  while (n < ACount) n *= 2;
  n = std::min(n, TKvPalette256::MaxColors);
  if (n < ACount) RaiseInternalError();
  auto* data = static_cast<TKvColor*>(std::calloc(static_cast<size_t>(n), sizeof(TKvColor)));
  if (!data) throw EOutOfMemory("Out of memory");
  if (FCapacity > 0) std::memcpy(static_cast<void*>(data), FData, sizeof(TKvColor) * static_cast<size_t>(FCapacity));
  std::free(FData);
  FData = data;
  FCapacity = n;
}

// ---------------------------------------------------------------------------
// TKvPalette256

TKvPalette256::TKvPalette256() = default;

void TKvPalette256::BeginUpdate() { ++UpdateCount; }

void TKvPalette256::EndUpdate() {
  --UpdateCount;
  if (UpdateCount == 0) Changed();
}

void TKvPalette256::Changed() {
  if (UpdateCount == 0 && OnChange) OnChange(this);
}

std::unique_ptr<TKvPalette> TKvPalette256::Clone() const {
  auto p = std::make_unique<TKvPalette256>();
  p->Assign(this);
  return p;
}

bool TKvPalette256::ContainsColors(const TKvPalette256* APalette) const {
  if (!APalette || APalette->Count == 0) return false;
  for (int i = 0; i < APalette->Count; ++i)
    if (IndexOfStdRGB(APalette->Colors[i].GetStdRGB()) < 0) return false;
  return true;
}

int TKvPalette256::FindNearest(const TKvLinRGBColor& AColor) const {
  if (Count <= 0) return -1;
  int best = 0;
  double bestD = SqrDist(Colors[0].GetLinRGB(), AColor);
  for (int i = 1; i < Count; ++i) {
    const double d = SqrDist(Colors[i].GetLinRGB(), AColor);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

int TKvPalette256::FindNearestByGray(const TKvColor& AColor) const {
  return FindNearestGray(AColor.GetLinGray());
}

int TKvPalette256::FindNearestByMetric(uint8_t AMetric, const TKvColor& AColor) const {
  switch (AMetric) {
    case 0: return FindNearestColor(AColor);
    case 1: return FindNearestLab(AColor);
    case 2: return FindNearestCIE94(AColor);
    case 3: return FindNearestCIEDE2000(AColor);
    case 4: return FindNearestCMC(AColor);
    default: return 0;
  }
}

void TKvPalette256::UpdateCache() const {
  for (int i = 0; i < Count; ++i) Colors[i].UpdateCache();
}

void TKvPalette256::Clear() {
  if (Count > 0) {
    Count = 0;
    Changed();
  }
}

void TKvPalette256::AssignColors(const TKvPalette* APalette) {
  if (!APalette) {
    Count = 0;
  } else if (APalette != this) {
    if (auto p = dynamic_cast<const TKvPalette256*>(APalette)) {
      Colors.Reserve(p->Count);
      Count = p->Count;
      std::memcpy(static_cast<void*>(Colors.Data()), p->Colors.Data(), sizeof(TKvColor) * static_cast<size_t>(Count));
    } else {
      Count = 0;
      const int n = APalette->GetCount();
      for (int i = 0; i < n; ++i) AppendRaw().InitLinRGB(APalette->GetLinRGB(i));
    }
    Generated = false;
  }
  Changed();
}

void TKvPalette256::Assign(const TKvPalette256* APalette) {
  if (!APalette) {
    Count = 0;
  } else if (APalette != this) {
    Colors.Reserve(APalette->Count);
    Count = APalette->Count;
    std::memcpy(static_cast<void*>(Colors.Data()), APalette->Colors.Data(),
                sizeof(TKvColor) * static_cast<size_t>(Count));
    FileName = APalette->FileName;
    Name = APalette->Name;
    Generated = APalette->Generated;
  }
  Changed();
}

bool TKvPalette256::SameColors(const TKvPalette256* APalette) const {
  if (!APalette) return Count == 0;
  if (APalette->Count != Count) return false;
  for (int i = 0; i < Count; ++i)
    if (Colors[i].GetRGBQuad() != APalette->Colors[i].GetRGBQuad()) return false;
  return true;
}

void TKvPalette256::MakeGray() {
  for (int i = 0; i < Count; ++i) Colors[i].MakeGray();
}

void TKvPalette256::ClearSkipFlags() {
  for (int i = 0; i < Count; ++i) Colors[i].Skip = false;
}

void TKvPalette256::SortByGray(int AStart) {
  if (AStart < 0) AStart = 0;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int i = AStart; i + 1 < Count; ++i) {
      if (Colors[i].GetLinGray() > Colors[i + 1].GetLinGray()) {
        std::swap(Colors[i], Colors[i + 1]);
        swapped = true;
      }
    }
  }
  Changed();
}

void TKvPalette256::CheckRoom() const {
  if (Count >= MaxColors) throw ETooManyColors();
}

TKvColor& TKvPalette256::AppendRaw() {
  CheckRoom();
  Colors.Reserve(Count + 1);
  TKvColor& c = Colors[Count++];
  c.Clear();
  return c;
}

int TKvPalette256::AddRGB(uint8_t AR, uint8_t AG, uint8_t AB) {
  return AddStdRGB({AR, AG, AB});
}

int TKvPalette256::AddStdRGB(const TKvStdRGBColor& AColor) {
  const TKvStdRGBColor c = AColor;  // AColor may live in the table that grows
  AppendRaw().InitStdRGB(c);
  Changed();
  return Count - 1;
}

int TKvPalette256::AddLinRGB(const TKvLinRGBColor& AColor) {
  const TKvLinRGBColor c = AColor;  // AColor may live in the table that grows
  AppendRaw().InitLinRGB(c);
  Changed();
  return Count - 1;
}

int TKvPalette256::AddColor(const TKvColor& AColor) {
  const TKvColor c = AColor;  // AColor may live in the table that grows
  AppendRaw() = c;
  Changed();
  return Count - 1;
}

void TKvPalette256::InsertColor(int AIndex, uint8_t AR, uint8_t AG, uint8_t AB) {
  InsertStdRGB(AIndex, {AR, AG, AB});
}

void TKvPalette256::InsertStdRGB(int AIndex, const TKvStdRGBColor& AColor) {
  CheckRoom();
  if (AIndex < 0 || AIndex > Count) RaiseInternalError();
  const TKvStdRGBColor color = AColor;  // AColor may live in the table that grows
  Colors.Reserve(Count + 1);
  std::memmove(static_cast<void*>(&Colors[AIndex + 1]), &Colors[AIndex],
               sizeof(TKvColor) * static_cast<size_t>(Count - AIndex));
  ++Count;
  Colors[AIndex].Clear();
  Colors[AIndex].InitStdRGB(color);
  Changed();
}

int TKvPalette256::AddUniqueRGB(uint8_t AR, uint8_t AG, uint8_t AB) {
  const uint32_t q = (uint32_t(AR) << 16) | (uint32_t(AG) << 8) | AB;
  for (int i = 0; i < Count; ++i) {
    if (Colors[i].GetRGBQuad() == q) {
      ++Colors[i].UseCount;
      return i;
    }
  }
  return AddRGB(AR, AG, AB);
}

int TKvPalette256::AddUniqueStdRGB(const TKvStdRGBColor& AColor) {
  return AddUniqueRGB(AColor.R, AColor.G, AColor.B);
}

int TKvPalette256::AddUniqueLinRGB(const TKvLinRGBColor& AColor) {
  const TKvLinRGBColor c = AColor;  // AColor may live in the table that grows
  const int i = AddUniqueStdRGB({LinToStdByte(c.R), LinToStdByte(c.G), LinToStdByte(c.B)});
  Colors[i].SetLinRGB(c);
  return i;
}

int TKvPalette256::AddUniqueColor(const TKvColor& AColor) {
  return AddUniqueLinRGB(AColor.GetLinRGB());
}

void TKvPalette256::AddColors(const TKvPalette* APalette) {
  if (!APalette) return;
  const int n = APalette->GetCount();
  for (int i = 0; i < n; ++i) AddLinRGB(APalette->GetLinRGB(i));
}

void TKvPalette256::AddUniqueColors(const TKvPalette* APalette) {
  if (!APalette) return;
  const int n = APalette->GetCount();
  for (int i = 0; i < n; ++i) AddUniqueLinRGB(APalette->GetLinRGB(i));
}

void TKvPalette256::AddSelectedColors(const TKvColorMask& AMask, const TKvPalette* APalette) {
  if (!APalette) return;
  // A mask byte at or past the palette's end selects nothing: reading that
  // entry would run off the palette.
  const int n = std::min<int>(APalette->GetCount(), static_cast<int>(AMask.size()));
  for (int i = 0; i < n; ++i)
    if (AMask[i] != 0) AddUniqueLinRGB(APalette->GetLinRGB(i));
}

void TKvPalette256::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= Count) RaiseInternalError();
  std::memmove(static_cast<void*>(&Colors[AIndex]), &Colors[AIndex + 1],
               sizeof(TKvColor) * static_cast<size_t>(Count - AIndex - 1));
  --Count;
}

int TKvPalette256::IndexOfStdRGB(const TKvStdRGBColor& AColor) const {
  for (int i = 0; i < Count; ++i)
    if (Colors[i].GetStdRGB() == AColor) return i;
  return -1;
}

int TKvPalette256::LocateStdRGB(const TKvStdRGBColor& AColor) const {
  const int i = IndexOfStdRGB(AColor);
  if (i < 0) RaiseInternalError();
  return i;
}

int TKvPalette256::FindNearestGray(double AGray) const {
  if (Count <= 1) return 0;
  int best = 0;
  double bestD = std::fabs(Colors[0].GetLinGray() - AGray);
  for (int i = 1; i < Count; ++i) {
    const double d = std::fabs(Colors[i].GetLinGray() - AGray);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

void TKvPalette256::GetGrayRange(int& ADark, int& ABright, double& ARange) const {
  ADark = -1;
  ABright = -1;
  double lo = 0, hi = 0;
  for (int i = 0; i < Count; ++i) {
    if (Colors[i].Skip) continue;
    const double g = Colors[i].GetLinGray();
    if (ADark < 0 || g < lo) {
      ADark = i;
      lo = g;
    }
    if (ABright < 0 || g > hi) {
      ABright = i;
      hi = g;
    }
  }
  ARange = hi - lo;
}

void TKvPalette256::NormalizeToWhite(int AFirst, int ALast) {
  if (ALast == 0) ALast = Count - 1;
  double m = 0;
  for (int i = AFirst; i <= ALast; ++i) {
    const TKvLinRGBColor& c = Colors[i].GetLinRGB();
    m = std::max({m, c.R, c.G, c.B});
  }
  if (m == 0) return;
  for (int i = AFirst; i <= ALast; ++i) {
    const TKvLinRGBColor c = Colors[i].GetLinRGB();
    Colors[i].SetLinRGB({c.R / m, c.G / m, c.B / m});
  }
}

void TKvPalette256::NormalizeToBlack(int AFirst, int ALast) {
  if (ALast == 0) ALast = Count - 1;
  double m = 1;
  for (int i = AFirst; i <= ALast; ++i) {
    const TKvLinRGBColor& c = Colors[i].GetLinRGB();
    m = std::min({m, c.R, c.G, c.B});
  }
  if (m == 1) return;
  const double k = 1 - m;
  for (int i = AFirst; i <= ALast; ++i) {
    const TKvLinRGBColor c = Colors[i].GetLinRGB();
    Colors[i].SetLinRGB({1 - (1 - c.R) / k, 1 - (1 - c.G) / k, 1 - (1 - c.B) / k});
  }
}

// --- Lab-based searches ----------------------------------------------------

namespace {
template <class F>
int ScanLab(const TKvPalette256& p, F diff) {
  if (p.Count <= 0) return -1;
  int best = 0;
  double bestD = diff(p.Colors[0].GetLab());
  for (int i = 1; i < p.Count; ++i) {
    const double d = diff(p.Colors[i].GetLab());
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}
}  // namespace

int TKvPalette256::FindNearestLab(const TKvColor& AColor) const {
  const TKvLinRGBColor lab = AColor.GetLab();
  return ScanLab(*this, [&](const TKvLinRGBColor& e) { return SqrDist(lab, e); });
}

int TKvPalette256::FindNearestCIE94(const TKvColor& AColor) const {
  if (Count <= 0) return -1;
  const TCIE94Ref ref(AColor.GetLab());
  return ScanLab(*this, [&](const TKvLinRGBColor& e) { return ref.Diff(e); });
}

int TKvPalette256::FindNearestCIEDE2000(const TKvColor& AColor) const {
  if (Count <= 0) return -1;
  const TKvLinRGBColor lab = AColor.GetLab();
  return ScanLab(*this, [&](const TKvLinRGBColor& e) { return DE2000(lab, e); });
}

int TKvPalette256::FindNearestCMC(const TKvColor& AColor) const {
  if (Count <= 0) return -1;
  const TCMCRef ref(AColor.GetLab());
  return ScanLab(*this, [&](const TKvLinRGBColor& e) { return ref.Diff(e); });
}

// --- Growing a limited palette -----------------------------------------------

void TKvPalette256::AddDistantColors(const TKvPalette256* APalette, int AMaxCount) {
  if (!APalette) return;
  auto cand = std::make_unique<TKvPalette256>();
  for (int i = 0; i < APalette->Count; ++i)
    if (IndexOfStdRGB(APalette->Colors[i].GetStdRGB()) < 0)
      cand->AddUniqueLinRGB(APalette->Colors[i].GetLinRGB());
  while (cand->Count > 0 && Count < AMaxCount) {
    int best = 0;
    for (int c = 0; c < cand->Count; ++c) {
      TKvColor& cc = cand->Colors[c];
      double m = 0;
      for (int i = 0; i < Count; ++i) {
        const double d = SqrDist(cc.GetLinRGB(), Colors[i].GetLinRGB());
        if (d > m) m = d;
      }
      cc.Scratch = m;
      if (cc.Scratch > cand->Colors[best].Scratch) best = c;
    }
    AddUniqueColor(cand->Colors[best]);
    cand->Delete(best);
  }
}

void TKvPalette256::AddColorPair(const TKvPalette* APair, int AMaxCount, int& AIndex1,
                                 int& AIndex2) {
  if (!APair || APair->GetCount() != 2) RaiseInternalError();
  const TKvStdRGBColor P1 = APair->GetStdRGB(0), P2 = APair->GetStdRGB(1);
  if (Count == 0) {
    AssignColors(APair);
    AIndex1 = 0;
    AIndex2 = 1;
  } else if (Count > AMaxCount) {
    const TKvStdRGBColor n1 = Colors[FindNearestStdRGB(P1)].GetStdRGB();
    const TKvStdRGBColor n2 = Colors[FindNearestStdRGB(P2)].GetStdRGB();
    Clear();
    AddStdRGB(n1);
    AddStdRGB(n2);
    AIndex1 = 0;
    AIndex2 = 1;
  } else if (Count == AMaxCount) {
    AIndex1 = FindNearestStdRGB(P1);
    AIndex2 = FindNearestStdRGB(P2);
  } else {
    int n = Count;
    if (IndexOfStdRGB(P1) < 0) ++n;
    if (IndexOfStdRGB(P2) < 0) ++n;
    if (n <= AMaxCount) {
      AIndex1 = AddUniqueStdRGB(P1);
      AIndex2 = AddUniqueStdRGB(P2);
    } else {
      const int N1 = FindNearestStdRGB(P1);
      const TKvLinRGBColor l1{StdToLin(P1.R), StdToLin(P1.G), StdToLin(P1.B)};
      const TKvLinRGBColor l2{StdToLin(P2.R), StdToLin(P2.G), StdToLin(P2.B)};
      const double d1 = SqrDist(l1, Colors[N1].GetLinRGB());
      const double d2 = SqrDist(l2, Colors[N1].GetLinRGB());
      if (d1 > d2) {
        AIndex1 = AddUniqueStdRGB(P1);
        AIndex2 = FindNearestStdRGB(P2);
      } else {
        AIndex1 = N1;
        AIndex2 = AddUniqueStdRGB(P2);
      }
    }
  }
}

bool TKvPalette256::MergeColors(TKvPalette256* APalette, int AMaxCount, int& ADark,
                                int& ABright) {
  const int C0 = Count;
  auto present = [this](const TKvColor& c) { return IndexOfStdRGB(c.GetStdRGB()) >= 0; };
  if (C0 >= AMaxCount) {
    auto s = std::make_unique<TKvPalette256>();
    for (int i = 0; i < APalette->Count; ++i)
      if (present(APalette->Colors[i])) s->AddUniqueStdRGB(APalette->Colors[i].GetStdRGB());
    if (Count > 0) {
      s->AddUniqueStdRGB(Colors[FindNearest(LinRGBBlack)].GetStdRGB());
      s->AddUniqueStdRGB(Colors[FindNearest(LinRGBWhite)].GetStdRGB());
    }
    s->SortByGray(0);
    APalette->Assign(s.get());
    if (C0 > AMaxCount) Assign(APalette);
  } else {
    int presentCount = 0;
    for (int i = 0; i < APalette->Count; ++i)
      if (present(APalette->Colors[i])) ++presentCount;
    const int k = (AMaxCount - C0) + presentCount;
    if (k == 1) {
      APalette->SortByGray(0);
      if (APalette->Count > 0 && Count > 0) {
        const TKvColor D = APalette->Colors[0];
        const TKvColor B = APalette->Colors[APalette->Count - 1];
        const int dark = FindNearest(D.GetLinRGB());
        const double dD = SqrDist(D.GetLinRGB(), Colors[dark].GetLinRGB());
        const double dB = SqrDist(B.GetLinRGB(), Colors[dark].GetLinRGB());
        if (dB < dD) {
          AddUniqueStdRGB(D.GetStdRGB());
          if (Count < AMaxCount) AddUniqueStdRGB(B.GetStdRGB());
        } else {
          AddUniqueStdRGB(B.GetStdRGB());
          if (Count < AMaxCount) AddUniqueStdRGB(D.GetStdRGB());
        }
      }
      APalette->Clear();
    } else if (k >= 2) {
      auto T = std::make_unique<TKvPalette256>();
      for (int j = 0; j < k && APalette->Count > 0; ++j) {
        const int g = APalette->FindNearestGray(static_cast<double>(j) / (k - 1));
        T->AddUniqueStdRGB(APalette->Colors[g].GetStdRGB());
      }
      for (int i = 0; i < APalette->Count; ++i) {
        const TKvColor& c = APalette->Colors[i];
        if (present(c) && T->Count > 0) T->Delete(T->FindNearestGray(c.GetLinGray()));
      }
      for (int i = 0; i < APalette->Count; ++i) {
        const TKvColor& c = APalette->Colors[i];
        if (present(c)) T->AddUniqueStdRGB(c.GetStdRGB());
      }
      while (T->Count < k && T->Count < APalette->Count) {
        int best = -1;
        double bestD = 0;
        for (int i = 0; i < APalette->Count; ++i) {
          const TKvColor& c = APalette->Colors[i];
          if (T->IndexOfStdRGB(c.GetStdRGB()) >= 0) continue;
          double m = std::numeric_limits<double>::infinity();
          for (int t = 0; t < T->Count; ++t) {
            const double d = SqrDist(c.GetLinRGB(), T->Colors[t].GetLinRGB());
            if (d < m) m = d;
          }
          if (best < 0 || m > bestD) {
            best = i;
            bestD = m;
          }
        }
        if (best < 0) break;
        T->AddUniqueStdRGB(APalette->Colors[best].GetStdRGB());
      }
      APalette->Assign(T.get());
      APalette->SortByGray(0);
      for (int i = 0; i < APalette->Count; ++i) AddUniqueStdRGB(APalette->Colors[i].GetStdRGB());
    }
    if (Count > AMaxCount) RaiseInternalError();
  }
  const int n = APalette->Count;
  SortByGray(C0);
  ADark = FindNearestGray(0);
  ABright = FindNearestGray(1);
  if (n > 2) return true;
  const TKvStdRGBColor dark = Colors[ADark].GetStdRGB();
  const TKvStdRGBColor bright = Colors[ABright].GetStdRGB();
  APalette->Clear();
  APalette->AddUniqueStdRGB(dark);
  APalette->AddUniqueStdRGB(bright);
  return false;
}
