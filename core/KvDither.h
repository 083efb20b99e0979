// Error-diffusion kernels and the ordered 2x2 threshold map, shared by the
// plain scan conversions of TKvImage and by the cell-aware diffusion.
#pragma once

#include <cstdint>
#include <vector>

#include "core/KvColor.h"

class TKvPalette256;

// One neighbour of a kernel: dx counts in scan direction, dy downwards.
struct TKvDitherTap {
  int DX;
  int DY;
  int W;
};

struct TKvDitherKernel {
  int D;      // divisor: a share is error * W / D
  int Count;  // taps in use
  TKvDitherTap Taps[12];
};

// The kernel of a dithering method (1 Floyd-Steinberg, 2 Jarvis-Judice-Ninke,
// 3 Burkes, 4 Sierra, 5 Two-row Sierra, 6 Sierra Lite, 7 Stucki, 8 Atkinson);
// nullptr for every method that spreads nothing (0, 9 and any other value).
const TKvDitherKernel* GetDitherKernel(uint8_t AMethod);

// Divides a product error * W by a kernel's divisor exactly as written; a
// power-of-two divisor is applied as the product with 1 / D, which gives the
// same bits and costs far less.
class TKvKernelDivisor {
public:
  explicit TKvKernelDivisor(int AD) : FD(AD), FInv(1.0 / AD), FPow2(AD > 0 && (AD & (AD - 1)) == 0) {}
  double operator()(double X) const { return FPow2 ? X * FInv : X / FD; }

private:
  double FD;
  double FInv;
  bool FPow2;
};

// Visits the taps of the method's kernel that land inside an AWidth x AHeight
// picture from (X, Y), in kernel order: AVisit(nx, ny, share), where share(e)
// is the tap's part of an error e. A method without a kernel visits nothing.
template <class TVisit>
inline void ForEachDitherTap(uint8_t AMethod, int X, int Y, int AWidth, int AHeight, TVisit&& AVisit) {
  const TKvDitherKernel* k = GetDitherKernel(AMethod);
  if (!k) return;
  const TKvKernelDivisor div(k->D);
  for (int t = 0; t < k->Count; ++t) {
    const TKvDitherTap& tap = k->Taps[t];
    const int nx = X + tap.DX, ny = Y + tap.DY;
    if (nx < 0 || nx >= AWidth || ny >= AHeight) continue;
    const double w = tap.W;
    AVisit(nx, ny, [&div, w](double e) { return div(e * w); });
  }
}

// Ordered 2x2: the method value, and the offset added to each linear channel
// before the nearest-colour search. The threshold map T = [[0, 2], [3, 1]]
// (indexed [x mod 2][y mod 2]) is centred on zero, (T - 1.5) / 4, so that a
// flat picture keeps its mean brightness.
constexpr uint8_t KvOrderedDitherMethod = 9;

inline double OrderedDitherOffset(int X, int Y) {
  static constexpr double Offsets[2][2] = {{(0 - 1.5) * 0.25, (2 - 1.5) * 0.25},
                                           {(3 - 1.5) * 0.25, (1 - 1.5) * 0.25}};
  return Offsets[X & 1][Y & 1];
}

// Adds the ordered offset of column X, row Y to each linear channel of P.
inline void AddOrderedDitherOffset(TKvPixel& P, int X, int Y) {
  const double o = OrderedDitherOffset(X, Y);
  const TKvLinRGBColor v = P.GetLinRGB();
  P.SetLinRGB({v.R + o, v.G + o, v.B + o});
}

// TKvPalette256::FindNearest over the same entries (the linear-RGB metric,
// the first entry wins a tie), found by walking the entries in the order of
// their red away from the colour's red, from the answer of the colour before:
// a scan of a picture asks for near colours one after another, and an entry
// whose red alone lies farther than the best found cannot be nearer. Colours
// or entries that are not finite take the plain search.
class TKvNearestLinRGB {
public:
  explicit TKvNearestLinRGB(const TKvPalette256& APalette);
  int Find(const TKvLinRGBColor& AColor);

private:
  struct TEntry {
    double R, G, B;
    int Index;
  };
  const TKvPalette256& FPalette;
  std::vector<TEntry> FEntries;  // by rising red, then index
  bool FFinite = true;
  int FLast = 0;  // place in FEntries of the last answer
};
