#include "core/KvColor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "rtl/KvSysUtils.h"

TKvStdRGBColor StdRGBColor(uint8_t AR, uint8_t AG, uint8_t AB) { return {AR, AG, AB}; }

TKvLinRGBColor LinRGBColor(double AR, double AG, double AB) { return {AR, AG, AB}; }

namespace {

// The IEC 61966-2-1 curve on an encoded value 0..1.
inline double DecodeCurve(double c) {
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

inline double EncodeCurve(double x) {
  return x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
}

inline int EncodeLevel(double x, int maxLevel) {
  double v = EncodeCurve(x) * maxLevel;
  if (v < 0) v = 0;
  if (v > maxLevel) v = maxLevel;
  return static_cast<int>(Round(v));
}

}  // namespace

double StdToLin(double X) { return DecodeCurve(X / 255.0); }
double LinToStd(double X) { return 255.0 * EncodeCurve(X); }
double Std2ToLin(double X) { return DecodeCurve(X / 3.0); }
double Std3ToLin(double X) { return DecodeCurve(X / 7.0); }
double Std4ToLin(double X) { return DecodeCurve(X / 15.0); }
double Std5ToLin(double X) { return DecodeCurve(X / 31.0); }
double Std6ToLin(double X) { return DecodeCurve(X / 63.0); }
int LinToStd3(double X) { return EncodeLevel(X, 7); }
int LinToStd5(double X) { return EncodeLevel(X, 31); }
int LinToStd6(double X) { return EncodeLevel(X, 63); }

uint8_t LinToStdByte(double X) {
  double v = LinToStd(X);
  if (v < 0) v = 0;
  if (v > 255) v = 255;
  return static_cast<uint8_t>(Round(v));
}

const uint8_t Std3ToByte[8] = {0, 36, 73, 109, 146, 182, 219, 255};
const uint8_t Std5ToByte[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                                90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                                181, 189, 197, 206, 214, 222, 230, 239, 247, 255};

TKvLinRGBColor MiddleLinRGB(const TKvLinRGBColor& A, const TKvLinRGBColor& B) {
  return {(A.R + B.R) / 2, (A.G + B.G) / 2, (A.B + B.B) / 2};
}

double HueToRGB(double P, double Q, double H) {
  if (H < 0) H += 1;
  if (H > 1) H -= 1;
  if (6 * H < 1) return P + (Q - P) * 6 * H;
  if (2 * H < 1) return Q;
  if (3 * H < 2) return P + (Q - P) * (2.0 / 3.0 - H) * 6;
  return P;
}

double HueAngle(double A, double B) {
  if (B == 0) return A >= 0 ? 0.0 : 180.0;
  if (A == 0) return B > 0 ? 90.0 : 270.0;
  double r = std::atan(B / A) * 57.29577951308232;
  if (A < 0)
    r += 180;
  else if (B < 0)
    r += 360;
  return r;
}

TKvLinRGBColor HSLOfLin(const TKvLinRGBColor& c) {
  const double mx = std::max({c.R, c.G, c.B});
  const double mn = std::min({c.R, c.G, c.B});
  const double L = (mx + mn) / 2;
  const double d = mx - mn;
  double H = 0, S = 0;
  if (d != 0) {
    S = L < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    const double dR = ((mx - c.R) / 6 + d / 2) / d;
    const double dG = ((mx - c.G) / 6 + d / 2) / d;
    const double dB = ((mx - c.B) / 6 + d / 2) / d;
    if (c.R == mx)
      H = dB - dG;
    else if (c.G == mx)
      H = 1.0 / 3.0 + dR - dB;
    else
      H = 2.0 / 3.0 + dG - dR;
    if (H < 0) H += 1;
    if (H > 1) H -= 1;
  }
  return {H, S, L};
}

TKvLinRGBColor LinOfHSL(const TKvLinRGBColor& AHSL) {
  const double H = AHSL.R, S = AHSL.G, L = AHSL.B;
  if (S == 0) return {L, L, L};
  const double Q = L < 0.5 ? L * (1 + S) : L + S - S * L;
  const double P = 2 * L - Q;
  return {HueToRGB(P, Q, H + 1.0 / 3.0), HueToRGB(P, Q, H), HueToRGB(P, Q, H - 1.0 / 3.0)};
}

// ---------------------------------------------------------------------------
// TKvColor

void TKvColor::Clear() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

void TKvColor::InitRGB(uint8_t AR, uint8_t AG, uint8_t AB) { InitStdRGB({AR, AG, AB}); }

void TKvColor::InitStdRGB(const TKvStdRGBColor& AColor) {
  Skip = false;
  ClearCache();
  StdRGB = AColor;
  StdValid = true;
}

void TKvColor::InitLinRGB(const TKvLinRGBColor& AColor) {
  Skip = false;
  ClearCache();
  LinRGB = AColor;
  LinValid = true;
}

void TKvColor::ClearCache() {
  StdValid = false;
  LinValid = false;
  StdGrayValid = false;
  LinGrayValid = false;
  HSLValid = false;
  XYZValid = false;
  LabValid = false;
  LChValid = false;
}

void TKvColor::SetStdRGB(const TKvStdRGBColor& AColor) {
  if (StdValid && StdRGB == AColor) return;
  ClearCache();
  StdRGB = AColor;
  StdValid = true;
}

void TKvColor::SetRGBValue(int32_t AValue) {
  SetStdRGB({static_cast<uint8_t>(AValue >> 16), static_cast<uint8_t>(AValue >> 8),
             static_cast<uint8_t>(AValue)});
}

namespace {
inline bool SameTriple(const TKvLinRGBColor& a, const TKvLinRGBColor& b) {
  return a.R == b.R && a.G == b.G && a.B == b.B;
}
}  // namespace

void TKvColor::SetLinRGB(const TKvLinRGBColor& AColor) {
  if (LinValid && SameTriple(LinRGB, AColor)) return;
  ClearCache();
  LinRGB = AColor;
  LinValid = true;
}

void TKvColor::SetLinGray(double AGray) {
  SetLinRGB({AGray, AGray, AGray});
  LinGray = AGray;
  LinGrayValid = true;
}

uint8_t TKvColor::GetStdGray() const {
  if (!StdGrayValid) {
    StdGray = LinToStdByte(GetLinGray());
    StdGrayValid = true;
  }
  return StdGray;
}

void TKvColor::ComputeStdRGB() const {
  const TKvLinRGBColor& l = GetLinRGB();
  StdRGB = {LinToStdByte(l.R), LinToStdByte(l.G), LinToStdByte(l.B)};
  StdValid = true;
}

void TKvColor::ComputeLinRGB() const {
  if (!StdValid && !HSLValid && !XYZValid && !LabValid && !LChValid) {
    // A record that was only cleared holds no form; read its zero bytes as
    // black instead of letting XYZ and Lab ask each other forever.
    StdValid = true;
  }
  if (StdValid) {
    LinRGB = {StdToLin(StdRGB.R), StdToLin(StdRGB.G), StdToLin(StdRGB.B)};
  } else if (HSLValid) {
    LinRGB = LinOfHSL(HSL);
  } else {
    const TKvLinRGBColor& xyz = GetXYZ();
    const double x = xyz.R / 100, y = xyz.G / 100, z = xyz.B / 100;
    LinRGB = {3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
              -0.969266 * x + 1.8760108 * y + 0.041556 * z,
              0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
  }
  LinValid = true;
}

const TKvLinRGBColor& TKvColor::GetHSL() const {
  if (!HSLValid) {
    HSL = HSLOfLin(GetLinRGB());
    HSLValid = true;
  }
  return HSL;
}

void TKvColor::SetHSL(const TKvLinRGBColor& AHSL) {
  if (HSLValid && SameTriple(HSL, AHSL)) return;
  ClearCache();
  HSL = AHSL;
  HSLValid = true;
}

const TKvLinRGBColor& TKvColor::GetXYZ() const {
  if (!XYZValid) {
    if (StdValid || LinValid || HSLValid || (!LabValid && !LChValid)) {
      const TKvLinRGBColor& l = GetLinRGB();
      const double R = l.R * 100, G = l.G * 100, B = l.B * 100;
      XYZ = {0.4124564 * R + 0.3575761 * G + 0.1804375 * B,
             0.2126729 * R + 0.7151522 * G + 0.072175 * B,
             0.0193339 * R + 0.119192 * G + 0.9503041 * B};
    } else {
      const TKvLinRGBColor& lab = GetLab();
      const double fy = (lab.R + 16) / 116;
      const double fx = lab.G / 500 + fy;
      const double fz = fy - lab.B / 200;
      auto inv = [](double f) {
        const double f3 = f * f * f;
        return f3 > 0.008856 ? f3 : (f - 16.0 / 116.0) / 7.787;
      };
      XYZ = {inv(fx) * 95.047, inv(fy) * 100, inv(fz) * 108.883};
    }
    XYZValid = true;
  }
  return XYZ;
}

void TKvColor::ComputeLab() const {
  if (LChValid) {
    const double h = LCh.B * std::numbers::pi / 180;
    Lab = {LCh.R, LCh.G * std::cos(h), LCh.G * std::sin(h)};
  } else {
    const TKvLinRGBColor& xyz = GetXYZ();
    auto f = [](double t) { return t > 0.008856 ? std::pow(t, 1.0 / 3.0) : 7.787 * t + 16.0 / 116.0; };
    const double x = f(xyz.R / 95.047), y = f(xyz.G / 100), z = f(xyz.B / 108.883);
    Lab = {116 * y - 16, 500 * (x - y), 200 * (y - z)};
  }
  LabValid = true;
}

void TKvColor::SetLab(const TKvLinRGBColor& ALab) {
  if (LabValid && SameTriple(Lab, ALab)) return;
  ClearCache();
  Lab = ALab;
  LabValid = true;
}

bool TKvColor::IsGray() const {
  const TKvStdRGBColor c = GetStdRGB();
  return c.R == c.G && c.G == c.B;
}

void TKvColor::MakeGray() { SetLinGray(GetLinGray()); }

void TKvColor::UpdateCache() const {
  GetLinRGB();
  GetStdRGB();
  GetLinGray();
  GetStdGray();
  GetHSL();
  GetLab();
}

// ---------------------------------------------------------------------------
// TKvPixel

namespace {

const double* StdLevelTable() {
  static const struct T {
    double V[256];
    T() {
      for (int i = 0; i < 256; ++i) V[i] = StdToLin(i);
    }
  } t;
  return t.V;
}

}  // namespace

TKvLinRGBColor TKvPixel::LinOfStd(const TKvStdRGBColor& AColor) {
  const double* lin = StdLevelTable();
  return {lin[AColor.R], lin[AColor.G], lin[AColor.B]};
}

void TKvPixel::ComputeStdRGB() const {
  StdRGB = {LinToStdByte(LinRGB.R), LinToStdByte(LinRGB.G), LinToStdByte(LinRGB.B)};
  Flags |= StdValidFlag;
}

TKvPixel::operator TKvColor() const {
  TKvColor c;
  c.StdRGB = StdRGB;
  c.StdValid = (Flags & StdValidFlag) != 0;
  c.LinRGB = LinRGB;
  c.LinValid = true;
  c.StdGray = 0;
  c.StdGrayValid = false;
  c.LinGray = LinRGB.R;
  c.LinGrayValid = (Flags & ExactGrayFlag) != 0;
  c.HSLValid = false;
  c.XYZValid = false;
  c.LabValid = false;
  c.LChValid = false;
  c.Skip = false;
  c.UseCount = 0;
  c.Scratch = 0;
  return c;
}
