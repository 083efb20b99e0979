// The colour record of the colour core and its colour-space arithmetic.
//
// A TKvColor keeps a colour in the form it was given and derives the other
// forms on demand, caching each behind its own valid flag. The record is a
// plain value type without heap members: palettes and working images copy
// arrays of it with block copies.
//
// Reads write the cache. The cached fields are `mutable` so that a colour
// passed as `const TKvColor&` can still be read; such a colour is therefore
// not safe to read from several threads unless every form the readers need
// was computed first (TKvColor::UpdateCache, TKvPalette256::UpdateCache).
#pragma once

#include <cstdint>

struct TKvStdRGBColor {
  uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const TKvStdRGBColor&, const TKvStdRGBColor&) = default;
};

// Linear-light R, G, B in 0..1. The same three-double record also carries
// the HSL, XYZ, Lab and LCh triples; the field names stay R, G, B then.
struct TKvLinRGBColor {
  double R = 0, G = 0, B = 0;
};

TKvStdRGBColor StdRGBColor(uint8_t AR, uint8_t AG, uint8_t AB);
TKvLinRGBColor LinRGBColor(double AR, double AG, double AB);

// Linear black and white, the two colours of every two-colour palette.
inline constexpr TKvLinRGBColor LinRGBBlack{0.0, 0.0, 0.0};
inline constexpr TKvLinRGBColor LinRGBWhite{1.0, 1.0, 1.0};

// sRGB transfer curve: a level 0..255 to linear 0..1 and back (the inverse
// is neither clamped nor rounded).
double StdToLin(double X);
double LinToStd(double X);
// A level of an N-bit DAC (N = 2..6) to linear.
double Std2ToLin(double X);
double Std3ToLin(double X);
double Std4ToLin(double X);
double Std5ToLin(double X);
double Std6ToLin(double X);
// Linear to the nearest level of a 3-, 5- or 6-bit DAC (clamped).
int LinToStd3(double X);
int LinToStd5(double X);
int LinToStd6(double X);
// Linear to an sRGB byte: the curve, clamped to 0..255, rounded halves to even.
uint8_t LinToStdByte(double X);

// The bytes of the levels of a 3- and a 5-bit DAC scaled to 0..255
// (entry i = Round(i * 255 / (2^N - 1))).
extern const uint8_t Std3ToByte[8];
extern const uint8_t Std5ToByte[32];

TKvLinRGBColor MiddleLinRGB(const TKvLinRGBColor& A, const TKvLinRGBColor& B);
double HueToRGB(double P, double Q, double H);
// The angle of the vector (A, B) in degrees, 0 <= angle < 360.
double HueAngle(double A, double B);

// Weights of linear luminance.
inline double LinGrayOf(const TKvLinRGBColor& C) {
  return 0.212655 * C.R + 0.715158 * C.G + 0.072187 * C.B;
}

// HSL (H, S, L in R, G, B, each 0..1) of a linear colour, and back.
TKvLinRGBColor HSLOfLin(const TKvLinRGBColor& C);
TKvLinRGBColor LinOfHSL(const TKvLinRGBColor& AHSL);

struct TKvColor {
  mutable TKvStdRGBColor StdRGB;
  mutable bool StdValid;
  mutable TKvLinRGBColor LinRGB;
  mutable bool LinValid;
  mutable uint8_t StdGray;
  mutable bool StdGrayValid;
  mutable double LinGray;
  mutable bool LinGrayValid;
  mutable TKvLinRGBColor HSL;  // H, S, L in R, G, B
  mutable bool HSLValid;
  mutable TKvLinRGBColor XYZ;  // X, Y, Z in R, G, B, scaled 0..100
  mutable bool XYZValid;
  mutable TKvLinRGBColor Lab;  // L*, a*, b* in R, G, B
  mutable bool LabValid;
  mutable TKvLinRGBColor LCh;  // L, C, h (degrees) in R, G, B
  mutable bool LChValid;
  bool Skip;          // left out by the palette operations that honour it
  int32_t UseCount;   // how many more times the colour was added
  double Scratch;     // working value of palette algorithms

  void Clear();
  void InitRGB(uint8_t AR, uint8_t AG, uint8_t AB);
  void InitStdRGB(const TKvStdRGBColor& AColor);
  void InitLinRGB(const TKvLinRGBColor& AColor);
  void ClearCache();

  TKvStdRGBColor GetStdRGB() const {
    if (!StdValid) ComputeStdRGB();
    return StdRGB;
  }
  void SetStdRGB(const TKvStdRGBColor& AColor);
  // $00RRGGBB.
  uint32_t GetRGBQuad() const {
    const TKvStdRGBColor c = GetStdRGB();
    return (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
  }
  void SetRGBValue(int32_t AValue);

  const TKvLinRGBColor& GetLinRGB() const {
    if (!LinValid) ComputeLinRGB();
    return LinRGB;
  }
  void SetLinRGB(const TKvLinRGBColor& AColor);

  double GetLinGray() const {
    if (!LinGrayValid) {
      LinGray = LinGrayOf(GetLinRGB());
      LinGrayValid = true;
    }
    return LinGray;
  }
  void SetLinGray(double AGray);
  uint8_t GetStdGray() const;

  const TKvLinRGBColor& GetHSL() const;
  void SetHSL(const TKvLinRGBColor& AHSL);
  const TKvLinRGBColor& GetXYZ() const;
  const TKvLinRGBColor& GetLab() const {
    if (!LabValid) ComputeLab();
    return Lab;
  }
  void SetLab(const TKvLinRGBColor& ALab);

  bool IsGray() const;
  void MakeGray();

  // Computes and caches every derived form (sRGB, linear, both grays, HSL,
  // XYZ and Lab), after which no getter writes the record any more.
  void UpdateCache() const;

private:
  void ComputeStdRGB() const;
  void ComputeLinRGB() const;
  void ComputeLab() const;
};

using PKvColor = TKvColor*;

// One pixel of the working image (TKvImage): only the forms the conversions
// read, the linear value and the sRGB bytes, in 32 bytes where a TKvColor
// takes 192. The getters and setters give what TKvColor's give for the same
// sequence of calls: the linear value is always held (computed at once from
// sRGB bytes, or from HSL), the sRGB bytes are cached on first read, and the
// gray is the linear luminance unless SetLinGray gave it exactly. The other
// forms are computed on demand, and a pixel passed where a TKvColor is
// expected becomes one with the same valid forms.
//
// As with TKvColor, reading the sRGB bytes of a pixel set by its linear
// value writes the cache: read them from one thread per pixel.
struct TKvPixel {
  mutable TKvLinRGBColor LinRGB;
  mutable TKvStdRGBColor StdRGB;
  mutable uint8_t Flags;

  static constexpr uint8_t StdValidFlag = 1;  // StdRGB holds the linear value's bytes
  static constexpr uint8_t ExactGrayFlag = 2;  // the gray is LinRGB.R, given by SetLinGray

  bool GetStdValid() const { return (Flags & StdValidFlag) != 0; }

  void InitRGB(uint8_t AR, uint8_t AG, uint8_t AB) { InitStdRGB({AR, AG, AB}); }
  void InitStdRGB(const TKvStdRGBColor& AColor) {
    StdRGB = AColor;
    Flags = StdValidFlag;
    LinRGB = LinOfStd(AColor);
  }
  void InitLinRGB(const TKvLinRGBColor& AColor) {
    LinRGB = AColor;
    Flags = 0;
  }

  TKvStdRGBColor GetStdRGB() const {
    if (!(Flags & StdValidFlag)) ComputeStdRGB();
    return StdRGB;
  }
  void SetStdRGB(const TKvStdRGBColor& AColor) {
    if ((Flags & StdValidFlag) && StdRGB == AColor) return;
    InitStdRGB(AColor);
  }
  uint32_t GetRGBQuad() const {
    const TKvStdRGBColor c = GetStdRGB();
    return (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
  }

  const TKvLinRGBColor& GetLinRGB() const { return LinRGB; }
  void SetLinRGB(const TKvLinRGBColor& AColor) {
    if (LinRGB.R == AColor.R && LinRGB.G == AColor.G && LinRGB.B == AColor.B) return;
    InitLinRGB(AColor);
  }

  double GetLinGray() const { return (Flags & ExactGrayFlag) ? LinRGB.R : LinGrayOf(LinRGB); }
  void SetLinGray(double AGray) {
    SetLinRGB({AGray, AGray, AGray});
    Flags |= ExactGrayFlag;
  }
  uint8_t GetStdGray() const { return LinToStdByte(GetLinGray()); }
  void MakeGray() { SetLinGray(GetLinGray()); }
  bool IsGray() const {
    const TKvStdRGBColor c = GetStdRGB();
    return c.R == c.G && c.G == c.B;
  }

  // HSL computed from the linear value; setting it sets the linear value
  // that the HSL triple gives.
  TKvLinRGBColor GetHSL() const { return HSLOfLin(LinRGB); }
  void SetHSL(const TKvLinRGBColor& AHSL) { InitLinRGB(LinOfHSL(AHSL)); }

  // A colour record with the same valid forms, for the searches that take one.
  operator TKvColor() const;

  // The linear value of sRGB bytes, through a table of the 256 levels.
  static TKvLinRGBColor LinOfStd(const TKvStdRGBColor& AColor);

private:
  void ComputeStdRGB() const;
};

using PKvPixel = TKvPixel*;
