#include "core/KvCellImage.h"

#include "core/KvDither.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cmath>

// ---------------------------------------------------------------------------
// Ranges and deferred error

TKvCellRanges::TKvCellRanges(const TKvBaseCellImage& AImage)
    : FRanges(static_cast<size_t>(AImage.GetCellsAcross()) * static_cast<size_t>(AImage.GetCellsDown()),
              TKvLinRGBColor{0, 0, 0}),
      FWidth(AImage.GetCellsAcross()) {}

TKvCellDiffusion::TKvCellDiffusion(const TKvImage& AImage, int ABandRows)
    : FWidth(AImage.GetWidth()), FHeight(AImage.GetHeight()) {
  int rows = FHeight;
  if (ABandRows > 0 && ABandRows < FHeight) {
    const int band = static_cast<int>(std::bit_ceil(static_cast<unsigned>(ABandRows)));
    if (band < FHeight) {
      rows = band;
      FRowMask = band - 1;
    }
  }
  FHeldTo = rows;
}

void TKvCellDiffusion::Allocate() {
  const size_t rows = FRowMask < 0 ? static_cast<size_t>(FHeight) : static_cast<size_t>(FRowMask) + 1;
  FErrors.assign(static_cast<size_t>(FWidth) * rows, TKvLinRGBColor{0, 0, 0});
}

void TKvCellDiffusion::Clear() {
  for (TKvLinRGBColor& e : FErrors) e = TKvLinRGBColor{0, 0, 0};
  if (FRowMask >= 0) FHeldTo = FRowMask + 1;
}

void TKvCellDiffusion::HoldRowsTo(int ABottom) {
  if (FRowMask < 0) return;
  // Rows not yet taken are zero already.
  if (FErrors.empty()) {
    FHeldTo = std::max(FHeldTo, ABottom);
    return;
  }
  for (const int bottom = std::min(ABottom, FHeight); FHeldTo < bottom; ++FHeldTo) {
    TKvLinRGBColor* row = &FErrors[static_cast<size_t>(FHeldTo & FRowMask) * FWidth];
    std::fill(row, row + FWidth, TKvLinRGBColor{0, 0, 0});
  }
}

// ---------------------------------------------------------------------------
// Scratch picture

TKvCellHelper::TKvCellHelper(TKvBaseCellImage& AOwner)
    : TKvImage(AOwner.GetCellWidth() + 2, AOwner.GetCellHeight() + 2),
      FOwner(&AOwner),
      FCompact(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight)) {}

const TKvLinRGBColor& TKvCellHelper::Source(int X, int Y) {
  if (FBand) return FBand[static_cast<ptrdiff_t>(Y - FBandTop) * FBandWidth + X];
  return FOwner->GetPixels(X, Y)->GetLinRGB();
}

void TKvCellHelper::LoadCell(const TRect& ARect) {
  const int64_t n = static_cast<int64_t>(FWidth) * FHeight;
  for (int64_t i = 0; i < n; ++i) FPixels[i].SetLinGray(0);
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x)
      GetPixels(x - ARect.Left, y - ARect.Top)->SetLinRGB(Source(x, y));
}

double TKvCellHelper::CellError(const TRect& ARect) {
  double sum = 0;
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      const TKvLinRGBColor a = Source(x, y);
      const TKvLinRGBColor b = GetPixels(x - ARect.Left, y - ARect.Top)->GetLinRGB();
      const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
      sum += dr * dr + dg * dg + db * db;
    }
  return sum;
}

double TKvCellHelper::BorderError(const TRect& ARect) {
  const int w = ARect.Width(), h = ARect.Height();
  double sum = 0;
  auto add = [&](int x, int y) {
    const TKvLinRGBColor v = GetPixels(x, y)->GetLinRGB();
    sum += v.R * v.R + v.G * v.G + v.B * v.B;
  };
  for (int y = 0; y < h; ++y) {
    add(w, y);
    add(w + 1, y);
  }
  for (int y = h; y < h + 2; ++y)
    for (int x = 0; x < w + 2; ++x) add(x, y);
  return sum;
}

namespace {

// A colour record's setter stores a new linear value (dropping its cached
// gray) only when it differs.
inline void StoreLin(double& R, double& G, double& B, bool& GrayValid, double NR, double NG, double NB) {
  if (R == NR && G == NG && B == NB) return;
  R = NR;
  G = NG;
  B = NB;
  GrayValid = false;
}

}  // namespace

double TKvCellHelper::CompactScore(const TRect& ARect, TKvDestEngineOptions& AOptions, TKvPalette256& APalette,
                                   const bool* AAbort) {
  if (Aborted(AAbort)) Abort();
  FEntries.clear();
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvLinRGBColor& v = APalette.Colors[i].GetLinRGB();
    FEntries.push_back({v.R, v.G, v.B, APalette.Colors[i].GetLinGray(), 0});
  }
  LoadSource(ARect);
  return CompactScore(ARect, AOptions, FEntries.data(), APalette.Count);
}

void TKvCellHelper::LoadSource(const TRect& ARect) {
  FSource.clear();
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) FSource.push_back(Source(x, y));
}

double TKvCellHelper::CompactScore(const TRect& ARect, const TKvDestEngineOptions& AOptions,
                                   const TKvCellSearchEntry* AEntries, int ACount, double ALimit, bool AEqualWins) {
  return AOptions.UseAsGrayPalette ? CompactScoreOf<true>(ARect, AOptions, AEntries, ACount, ALimit, AEqualWins)
                                   : CompactScoreOf<false>(ARect, AOptions, AEntries, ACount, ALimit, AEqualWins);
}

template <class TEnabled>
bool TKvCellHelper::Bounds(const TKvCellSearchTable& ATable, int AFrom, int ATo, TEnabled AEnabled,
                           std::vector<double>& ABounds) {
  const size_t pixels = FSource.size();
  const size_t colors = ATable.Colors.size();
  // Colour by colour, its distance to every pixel in scan order.
  FDistances.resize(colors * pixels);
  for (size_t c = 0; c < colors; ++c) {
    const TKvLinRGBColor& b = ATable.Colors[c];
    double* d = &FDistances[c * pixels];
    for (size_t p = 0; p < pixels; ++p) {
      const TKvLinRGBColor& a = FSource[p];
      const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
      d[p] = dr * dr + dg * dg + db * db;
    }
  }
  ABounds.assign(static_cast<size_t>(ATo - AFrom + 1), 0.0);
  for (int k = AFrom; k <= ATo; ++k) {
    if (!AEnabled(k)) continue;
    const int n = ATable.GetCount(k);
    if (n == 0) return false;
    const TKvCellSearchEntry* e = ATable.GetEntries(k);
    const double* d0 = &FDistances[static_cast<size_t>(e[0].Color) * pixels];
    double sum = 0;
    if (n == 2) {
      const double* d1 = &FDistances[static_cast<size_t>(e[1].Color) * pixels];
      for (size_t p = 0; p < pixels; ++p) sum += d1[p] < d0[p] ? d1[p] : d0[p];
    } else {
      for (size_t p = 0; p < pixels; ++p) {
        double m = d0[p];
        for (int j = 1; j < n; ++j) {
          const double v = FDistances[static_cast<size_t>(e[j].Color) * pixels + p];
          if (v < m) m = v;
        }
        sum += m;
      }
    }
    if (sum != sum) return false;
    ABounds[static_cast<size_t>(k - AFrom)] = sum;
  }
  return true;
}

// The cached gray of a scratch pixel matters only to a gray search; without
// one, a store is a plain store.
template <bool AGray>
double TKvCellHelper::CompactScoreOf(const TRect& ARect, const TKvDestEngineOptions& AOptions,
                                     const TKvCellSearchEntry* AEntries, int ACount, double ALimit,
                                     bool AEqualWins) {
  const int W = FWidth, H = FHeight;
  TCompactPixel* px = FCompact.data();
  auto store = [](TCompactPixel& p, double R, double G, double B) {
    if constexpr (AGray) {
      StoreLin(p.R, p.G, p.B, p.GrayValid, R, G, B);
    } else {
      p.R = R;
      p.G = G;
      p.B = B;
    }
  };
  auto grayOf = [](TCompactPixel& p) {
    if (!p.GrayValid) {
      p.Gray = LinGrayOf(TKvLinRGBColor{p.R, p.G, p.B});
      p.GrayValid = true;
    }
    return p.Gray;
  };

  // LoadCell: black everywhere (a gray of 0), then the cell's pixels.
  const int bw = ARect.Width(), bh = ARect.Height();
  for (size_t i = 0; i < FCompact.size(); ++i) px[i] = TCompactPixel{0, 0, 0, 0, true};
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const TKvLinRGBColor& v = FSource[static_cast<size_t>(y * bw + x)];
      store(px[y * W + x], v.R, v.G, v.B);
    }

  // DitherRegion.
  const uint8_t method = AOptions.DitherMethod;
  const bool serpentine = AOptions.Serpentine;
  const double strength = AOptions.ErrorDiffusion / 100.0;
  const TKvDitherKernel* kernel = GetDitherKernel(method);
  const TKvKernelDivisor div(kernel ? kernel->D : 1);
  // A kernel repeats its few weights: each share e * w / D is worked out once
  // per weight and pixel, the same value every tap of that weight would get.
  int weights[12];
  int weightOf[12];
  int weightCount = 0;
  for (int t = 0; kernel && t < kernel->Count; ++t) {
    int j = 0;
    while (j < weightCount && weights[j] != kernel->Taps[t].W) ++j;
    if (j == weightCount) weights[weightCount++] = kernel->Taps[t].W;
    weightOf[t] = j;
  }
  const bool ordered = method == KvOrderedDitherMethod;
  if constexpr (AGray)
    for (size_t i = 0; i < FCompact.size(); ++i) {
      TCompactPixel& p = px[i];
      const double g = grayOf(p);
      store(p, g, g, g);
      p.Gray = g;
      p.GrayValid = true;
    }
  const int w = bw == 0 ? W : bw;
  const int h = bh == 0 ? H : bh;
  // A pixel of the cell is final once the plain scan has passed it: its term
  // of the cell error is known then, in the order the error sums them. With
  // the bound's term of every pixel still to come, that sum never exceeds
  // the score (rounding is monotone).
  const bool limited = ALimit != kNoLimit && !serpentine;
  const size_t pixels = FSource.size();
  double* rest = nullptr;
  if (limited) {
    FRest.resize(pixels);
    rest = FRest.data();
    const size_t colors = FDistances.size() / std::max<size_t>(pixels, 1);
    for (size_t p = 0; p < pixels; ++p) {
      double m = 0;
      for (int i = 0; i < ACount; ++i) {
        const size_t c = static_cast<size_t>(AEntries[i].Color);
        if (c >= colors) return kNoLimit;  // not a colour of the bounds' table
        const double v = FDistances[c * pixels + p];
        if (i == 0 || v < m) m = v;
      }
      rest[p] = m;
    }
  }
  auto lost = [&](double ASum) { return ASum > ALimit || (ASum == ALimit && !AEqualWins); };
  double cellSum = 0;
  size_t done = 0;
  bool mirror = false;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TCompactPixel& p = px[y * W + (mirror ? W - 1 - x : x)];
      if (ordered) {
        const double o = OrderedDitherOffset(x, y);
        store(p, p.R + o, p.G + o, p.B + o);
      }
      int best = 0;
      if constexpr (AGray) {
        const double g = grayOf(p);
        if (ACount > 1) {
          double bestD = std::fabs(AEntries[0].Gray - g);
          for (int i = 1; i < ACount; ++i) {
            const double d = std::fabs(AEntries[i].Gray - g);
            if (d < bestD) {
              bestD = d;
              best = i;
            }
          }
        }
      } else {
        auto dist = [&](int i) {
          const TKvCellSearchEntry& e = AEntries[i];
          const double dr = e.R - p.R, dg = e.G - p.G, db = e.B - p.B;
          return dr * dr + dg * dg + db * db;
        };
        double bestD = dist(0);
        for (int i = 1; i < ACount; ++i) {
          const double d = dist(i);
          if (d < bestD) {
            bestD = d;
            best = i;
          }
        }
      }
      const TKvCellSearchEntry& entry = AEntries[best];
      const TKvLinRGBColor old{p.R, p.G, p.B};
      TKvLinRGBColor c{entry.R, entry.G, entry.B};
      store(p, c.R, c.G, c.B);
      if constexpr (AGray) c = TKvLinRGBColor{entry.Gray, entry.Gray, entry.Gray};
      if (!kernel) continue;
      const double er = (old.R - c.R) * strength, eg = (old.G - c.G) * strength, eb = (old.B - c.B) * strength;
      double sr[12], sg[12], sb[12];
      for (int j = 0; j < weightCount; ++j) {
        const double wt = weights[j];
        sr[j] = div(er * wt);
        sg[j] = div(eg * wt);
        sb[j] = div(eb * wt);
      }
      for (int t = 0; t < kernel->Count; ++t) {
        const TKvDitherTap& tap = kernel->Taps[t];
        const int nx = x + tap.DX, ny = y + tap.DY;
        if (nx < 0 || nx >= W || ny >= H) continue;
        TCompactPixel& q = px[ny * W + (mirror ? W - 1 - nx : nx)];
        const int j = weightOf[t];
        store(q, q.R + sr[j], q.G + sg[j], q.B + sb[j]);
      }
      if (limited && x < bw && y < bh) {
        const TKvLinRGBColor& a = FSource[done];
        const double dr = a.R - p.R, dg = a.G - p.G, db = a.B - p.B;
        cellSum += dr * dr + dg * dg + db * db;
        ++done;
        if (lost(cellSum)) return kNoLimit;
        // The whole bound of the rest once per row and at the last pixels.
        if (x == bw - 1 || pixels - done <= 2) {
          double all = cellSum;
          for (size_t q = done; q < pixels; ++q) all += rest[q];
          if (lost(all)) return kNoLimit;
        }
      }
    }
    if (serpentine) mirror = !mirror;
  }

  // CellError, then BorderError.
  double cell = 0;
  if (limited && done == pixels) {
    cell = cellSum;
  } else {
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x) {
        const TKvLinRGBColor& a = FSource[static_cast<size_t>(y * bw + x)];
        const TCompactPixel& b = px[y * W + x];
        const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
        cell += dr * dr + dg * dg + db * db;
      }
  }
  if (limited && lost(cell)) return kNoLimit;
  double border = 0;
  auto add = [&](int x, int y) {
    const TCompactPixel& v = px[y * W + x];
    border += v.R * v.R + v.G * v.G + v.B * v.B;
  };
  for (int y = 0; y < bh; ++y) {
    add(bw, y);
    add(bw + 1, y);
  }
  for (int y = bh; y < bh + 2; ++y)
    for (int x = 0; x < bw + 2; ++x) add(x, y);
  const double score = cell + border;
  return limited && lost(score) ? kNoLimit : score;
}

// A kernel laid over a cell of Width x Height: its distinct weights, and
// per cell pixel in scan order (from First[i] to First[i + 1]) the scratch
// places its taps reach, each with the number of its weight.
struct TKvCellTapPlan {
  int Width = -1;
  int Height = -1;
  int Method = -1;
  double Weights[12];
  int WeightCount = 0;
  std::vector<int> First;
  std::vector<int> Places;
  std::vector<int> WeightOf;
};

int KvCellScoreLanes = 0;

namespace {

typedef double TKvLanes2 __attribute__((vector_size(16)));
typedef double TKvLanes4 __attribute__((vector_size(32)));
typedef double TKvLanes8 __attribute__((vector_size(64)));

template <class TV>
struct TKvLanePixel {
  TV R, G, B;
};

// The helpers take and give vectors by reference: they are compiled only
// into the code of their lane width.
// AInto := A in the lanes where AMask is set; the others keep their value.
template <class TV, class TMask>
[[gnu::always_inline]] inline void SelectLanes(TV& AInto, const TMask& AMask, const TV& A) {
  AInto = __builtin_bit_cast(TV, (__builtin_bit_cast(TMask, A) & AMask) | (__builtin_bit_cast(TMask, AInto) & ~AMask));
}

// ASum := R * R + G * G + B * B, or ASum + that with AAdd.
template <class TV>
[[gnu::always_inline]] inline void SquaredLanes(TV& ASum, const TV& R, const TV& G, const TV& B, bool AAdd = false) {
  const TV v = R * R + G * G + B * B;
  ASum = AAdd ? ASum + v : v;
}

// What CompactScoreLanes hands to the code of a lane width.
struct TKvLaneArgs {
  const TKvLinRGBColor* Source;  // the loaded cell
  int W, H;                      // scratch picture
  int bw, bh;                    // cell
  const TKvCellTapPlan* Plan;
  const TKvDitherKernel* Kernel;
  double Strength;
  const TKvCellSearchEntry* const* Entries;
  const int* Counts;
  std::byte* Buffer;  // room for W x H pixels and the entries, aligned
  double* Scores;
};

// CompactScoreOf's dither and errors for the linear-RGB search without the
// ordered offset, one candidate per lane of TV.
template <class TV>
[[gnu::always_inline]] inline void ScoreInLanes(const TKvLaneArgs& A) {
  using TMask = decltype(TV{} < TV{});
  constexpr int N = sizeof(TV) / sizeof(double);
  const int W = A.W, H = A.H, bw = A.bw, bh = A.bh;
  const TKvLinRGBColor* source = A.Source;
  const TV zero = {};
  auto* px = reinterpret_cast<TKvLanePixel<TV>*>(A.Buffer);
  // LoadCell: black everywhere, then the cell's pixels in every lane.
  for (int i = 0; i < W * H; ++i) px[i] = TKvLanePixel<TV>{zero, zero, zero};
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const TKvLinRGBColor& v = source[y * bw + x];
      px[y * W + x] = TKvLanePixel<TV>{zero + v.R, zero + v.G, zero + v.B};
    }
  // The entries lane by lane; a shorter candidate repeats its last entry,
  // which never beats the same colour found before it.
  int count = 0;
  for (int l = 0; l < N; ++l) count = std::max(count, A.Counts[l]);
  TKvLanePixel<TV>* e = px + W * H;
  for (int i = 0; i < count; ++i)
    for (int l = 0; l < N; ++l) {
      const TKvCellSearchEntry& v = A.Entries[l][std::min(i, A.Counts[l] - 1)];
      e[i].R[l] = v.R;
      e[i].G[l] = v.G;
      e[i].B[l] = v.B;
    }
  const TV strength = zero + A.Strength;
  const int d = A.Kernel->D;
  const bool pow2 = (d & (d - 1)) == 0;
  const TV divisor = zero + d, inverse = zero + 1.0 / d;
  const TKvCellTapPlan& plan = *A.Plan;
  const int weightCount = plan.WeightCount;
  TV weights[12];
  for (int j = 0; j < weightCount; ++j) weights[j] = zero + plan.Weights[j];
  const int* first = plan.First.data();
  const int* places = plan.Places.data();
  const int* weightOf = plan.WeightOf.data();
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const int i = y * bw + x;
      TKvLanePixel<TV>& p = px[y * W + x];
      TKvLanePixel<TV> c = e[0];
      TV bestD, d;
      SquaredLanes(bestD, e[0].R - p.R, e[0].G - p.G, e[0].B - p.B);
      for (int n = 1; n < count; ++n) {
        SquaredLanes(d, e[n].R - p.R, e[n].G - p.G, e[n].B - p.B);
        const TMask closer = d < bestD;
        SelectLanes(bestD, closer, d);
        SelectLanes(c.R, closer, e[n].R);
        SelectLanes(c.G, closer, e[n].G);
        SelectLanes(c.B, closer, e[n].B);
      }
      const TV er = (p.R - c.R) * strength, eg = (p.G - c.G) * strength, eb = (p.B - c.B) * strength;
      p = c;
      TV sr[12], sg[12], sb[12];
      for (int j = 0; j < weightCount; ++j) {
        sr[j] = pow2 ? er * weights[j] * inverse : er * weights[j] / divisor;
        sg[j] = pow2 ? eg * weights[j] * inverse : eg * weights[j] / divisor;
        sb[j] = pow2 ? eb * weights[j] * inverse : eb * weights[j] / divisor;
      }
      for (int t = first[i]; t < first[i + 1]; ++t) {
        TKvLanePixel<TV>& q = px[places[t]];
        const int j = weightOf[t];
        q.R = q.R + sr[j];
        q.G = q.G + sg[j];
        q.B = q.B + sb[j];
      }
    }
  // CellError, then BorderError.
  TV cell = zero;
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const TKvLinRGBColor& a = source[y * bw + x];
      const TKvLanePixel<TV>& b = px[y * W + x];
      SquaredLanes(cell, (zero + a.R) - b.R, (zero + a.G) - b.G, (zero + a.B) - b.B, true);
    }
  TV border = zero;
  for (int y = 0; y < bh + 2; ++y)
    for (int x = y < bh ? bw : 0; x < bw + 2; ++x) {
      const TKvLanePixel<TV>& v = px[y * W + x];
      SquaredLanes(border, v.R, v.G, v.B, true);
    }
  const TV score = cell + border;
  for (int l = 0; l < N; ++l) A.Scores[l] = score[l];
}

// The lane widths, each compiled for the vectors it needs.
void ScoreInLanes2(const TKvLaneArgs& A) { ScoreInLanes<TKvLanes2>(A); }
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void ScoreInLanes4(const TKvLaneArgs& A) { ScoreInLanes<TKvLanes4>(A); }
[[gnu::target("avx512f")]] void ScoreInLanes8(const TKvLaneArgs& A) { ScoreInLanes<TKvLanes8>(A); }
#endif

}  // namespace

TKvCellHelper::~TKvCellHelper() = default;

int TKvCellHelper::ScoreLanes() {
#if defined(__x86_64__) || defined(__i386__)
  static const int widest = __builtin_cpu_supports("avx512f") ? 8 : __builtin_cpu_supports("avx2") ? 4 : 2;
#else
  static const int widest = 2;
#endif
  return KvCellScoreLanes >= 2 && KvCellScoreLanes < widest ? KvCellScoreLanes : widest;
}

void TKvCellHelper::CompactScoreLanes(const TRect& ARect, const TKvDestEngineOptions& AOptions,
                                      const TKvCellSearchEntry* const* AEntries, const int* ACounts,
                                      double* AScores) {
  const int bw = ARect.Width(), bh = ARect.Height();
  const TKvDitherKernel& kernel = *GetDitherKernel(AOptions.DitherMethod);
  if (!FPlan) FPlan = std::make_unique<TKvCellTapPlan>();
  TKvCellTapPlan& plan = *FPlan;
  if (plan.Width != bw || plan.Height != bh || plan.Method != AOptions.DitherMethod) {
    plan.Width = bw;
    plan.Height = bh;
    plan.Method = AOptions.DitherMethod;
    plan.WeightCount = 0;
    int weightOf[12];
    for (int t = 0; t < kernel.Count; ++t) {
      int j = 0;
      while (j < plan.WeightCount && plan.Weights[j] != kernel.Taps[t].W) ++j;
      if (j == plan.WeightCount) plan.Weights[plan.WeightCount++] = kernel.Taps[t].W;
      weightOf[t] = j;
    }
    plan.First.clear();
    plan.Places.clear();
    plan.WeightOf.clear();
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x) {
        plan.First.push_back(static_cast<int>(plan.Places.size()));
        for (int t = 0; t < kernel.Count; ++t) {
          const int nx = x + kernel.Taps[t].DX, ny = y + kernel.Taps[t].DY;
          if (nx < 0 || nx >= FWidth || ny >= FHeight) continue;
          plan.Places.push_back(ny * FWidth + nx);
          plan.WeightOf.push_back(weightOf[t]);
        }
      }
    plan.First.push_back(static_cast<int>(plan.Places.size()));
  }
  const int lanes = ScoreLanes();
  int count = 0;
  for (int l = 0; l < lanes; ++l) count = std::max(count, ACounts[l]);
  // The scratch pixels and the entries, aligned for the widest vectors.
  constexpr size_t kAlign = 64;
  const size_t bytes = static_cast<size_t>(FWidth * FHeight + count) * 3 * sizeof(double) * static_cast<size_t>(lanes);
  if (FLanes.size() < bytes + kAlign) FLanes.resize(bytes + kAlign);
  std::byte* buffer = FLanes.data();
  buffer += (kAlign - reinterpret_cast<uintptr_t>(buffer) % kAlign) % kAlign;
  const TKvLaneArgs args{FSource.data(), FWidth, FHeight, bw,      bh,     &plan,
                         &kernel,        AOptions.ErrorDiffusion / 100.0, AEntries, ACounts, buffer, AScores};
#if defined(__x86_64__) || defined(__i386__)
  if (lanes == 8) return ScoreInLanes8(args);
  if (lanes == 4) return ScoreInLanes4(args);
#endif
  ScoreInLanes2(args);
}

// ---------------------------------------------------------------------------
// Base cell image

TKvBaseCellImage::TKvBaseCellImage(int ACellWidth, int ACellHeight, TBitmap32& ABitmap) : TKvImage(ABitmap) {
  // The geometry divides by the cell size.
  if (ACellWidth < 1 || ACellHeight < 1) RaiseInternalError();
  FCellWidth = ACellWidth;
  FCellHeight = ACellHeight;
  FCellsAcross = (FWidth + FCellWidth - 1) / FCellWidth;
  FLastCellWidth = FWidth % FCellWidth;
  if (FLastCellWidth == 0) FLastCellWidth = FCellWidth;
  FCellsDown = (FHeight + FCellHeight - 1) / FCellHeight;
  FLastCellHeight = FHeight % FCellHeight;
  if (FLastCellHeight == 0) FLastCellHeight = FCellHeight;
  FRanges = std::make_unique<TKvCellRanges>(*this);
  FHelper = std::make_unique<TKvCellHelper>(*this);
  FDiffusion = std::make_unique<TKvCellDiffusion>(*this);
}

TKvBaseCellImage::~TKvBaseCellImage() = default;

TRect TKvBaseCellImage::GetCellRect(int ACellX, int ACellY) const {
  TRect r;
  r.Top = ACellY * FCellHeight;
  r.Bottom = r.Top + (ACellY == FCellsDown - 1 ? FLastCellHeight : FCellHeight);
  if (!FMirror) {
    r.Left = ACellX * FCellWidth;
    r.Right = r.Left + (ACellX == FCellsAcross - 1 ? FLastCellWidth : FCellWidth);
  } else if (ACellX == 0) {
    r.Left = 0;
    r.Right = FLastCellWidth;
  } else {
    r.Left = ACellX * FCellWidth + FLastCellWidth - FCellWidth;
    r.Right = r.Left + FCellWidth;
  }
  return r;
}

double TKvBaseCellImage::ScoreCell(const TRect& ARect, TKvDestEngineOptions& AOptions, TKvPalette256& APalette,
                                   TKvCellHelper& AHelper) {
  if (TKvCellHelper::CanScoreCompact(AOptions, APalette)) return AHelper.CompactScore(ARect, AOptions, APalette, FAbort);
  AHelper.LoadCell(ARect);
  AHelper.DitherRegion(FAbort, AOptions, &APalette, ARect.Width(), ARect.Height());
  return AHelper.CellError(ARect) + AHelper.BorderError(ARect);
}

double TKvBaseCellImage::SearchCell(const TRect& ARect, TKvCellPaletteList& AList, const TKvCellSearchTable& ATable,
                                    const uint8_t* AEnabled, int AFrom, int ATo, TKvCellHelper& AHelper, int& ABest) {
  ABest = -1;
  if (Aborted()) Abort();
  TKvDestEngineOptions& options = *FWorkOptions;
  const bool compact = TKvCellHelper::CanScoreCompact(options);
  // The flags read once: the candidates lie apart in memory, and the search
  // reads each flag up to three times.
  if (!AEnabled) {
    std::vector<uint8_t>& flags = AHelper.SearchEnabled;
    flags.resize(static_cast<size_t>(ATo) + 1);
    for (int k = AFrom; k <= ATo; ++k) flags[static_cast<size_t>(k)] = AList.GetPalette(k)->Enabled;
    AEnabled = flags.data();
  }
  auto enabled = [&](int k) { return AEnabled[k] != 0; };
  double best = 0;
  // A candidate's dither stops as soon as it cannot beat the best so far.
  auto score = [&](int k) {
    const int n = ATable.GetCount(k);
    if (compact && n > 0)
      return ABest < 0 ? AHelper.CompactScore(ARect, options, ATable.GetEntries(k), n)
                       : AHelper.CompactScore(ARect, options, ATable.GetEntries(k), n, best, k < ABest);
    return ScoreCell(ARect, options, *AList.GetPalette(k)->Palette, AHelper);
  };
  auto offer = [&](int k, double e) {
    if (ABest < 0 || e < best || (e == best && k < ABest)) {
      ABest = k;
      best = e;
    }
  };
  AHelper.LoadSource(ARect);
  std::vector<double>& bounds = AHelper.SearchBounds;
  if (!AHelper.Bounds(ATable, AFrom, ATo, enabled, bounds)) {
    // Every candidate in list order, as the bounds cannot tell.
    for (int k = AFrom; k <= ATo; ++k)
      if (enabled(k)) {
        const double e = score(k);
        if (ABest < 0 || e < best) {
          ABest = k;
          best = e;
        }
      }
    return best;
  }
  auto bound = [&](int k) { return bounds[static_cast<size_t>(k - AFrom)]; };
  auto before = [&](int a, int b) { return bound(a) < bound(b) || (bound(a) == bound(b) && a < b); };
  // Where several candidates are scored at once: a candidate's score without
  // the limit wins or loses against the best as its limited score would, and
  // one scored after the search could have stopped cannot win.
  const bool lanes = compact && ARect.Width() > 0 && ARect.Height() > 0 && TKvCellHelper::CanScoreLanes(options);
  const int width = lanes ? TKvCellHelper::ScoreLanes() : 1;
  // The candidate of the least bound first (with the next ones, as many as
  // are scored at once); then those whose bound leaves them a chance, by
  // rising bound, until the bound alone rules the rest out.
  int least[TKvCellHelper::kMaxScoreLanes];
  double leastBound[TKvCellHelper::kMaxScoreLanes];
  int found = 0;
  for (int k = AFrom; k <= ATo; ++k) {
    if (!enabled(k)) continue;
    const double b = bound(k);
    if (found == width && !(b < leastBound[width - 1])) continue;
    int at = found < width ? found++ : width - 1;
    for (; at > 0 && b < leastBound[at - 1]; --at) {
      least[at] = least[at - 1];
      leastBound[at] = leastBound[at - 1];
    }
    least[at] = k;
    leastBound[at] = b;
  }
  if (found == 0) return 0;
  auto hopeless = [&](int k) { return bound(k) > best || (bound(k) == best && k > ABest); };
  std::vector<int>& order = AHelper.SearchOrder;
  order.clear();
  if (lanes) {
    const TKvCellSearchEntry* entries[TKvCellHelper::kMaxScoreLanes];
    int counts[TKvCellHelper::kMaxScoreLanes];
    double scores[TKvCellHelper::kMaxScoreLanes];
    // The first ACount of AItems, the last of them again in the spare lanes.
    auto group = [&](const int* AItems, int ACount) {
      for (int l = 0; l < width; ++l) {
        const int k = AItems[std::min(l, ACount - 1)];
        entries[l] = ATable.GetEntries(k);
        counts[l] = ATable.GetCount(k);
      }
      AHelper.CompactScoreLanes(ARect, options, entries, counts, scores);
      for (int l = 0; l < ACount; ++l) offer(AItems[l], scores[l]);
    };
    group(least, found);
    if (found < width) return best;
    for (int k = AFrom; k <= ATo; ++k)
      if (enabled(k) && before(least[width - 1], k) && !hopeless(k)) order.push_back(k);
    std::sort(order.begin(), order.end(), before);
    const int n = static_cast<int>(order.size());
    for (int i = 0; i < n && !hopeless(order[static_cast<size_t>(i)]); i += width)
      group(&order[static_cast<size_t>(i)], std::min(width, n - i));
    return best;
  }
  const int first = least[0];
  offer(first, score(first));
  for (int k = AFrom; k <= ATo; ++k)
    if (k != first && enabled(k) && !hopeless(k)) order.push_back(k);
  std::sort(order.begin(), order.end(), before);
  for (const int k : order) {
    if (hopeless(k)) break;
    offer(k, score(k));
  }
  return best;
}

void TKvBaseCellImage::AddDeferredError(const TRect& ARect, const TKvLinRGBColor& AWeight) {
  TKvCellDiffusion& diffusion = *FDiffusion;
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      const TKvLinRGBColor d = *diffusion.GetDiffusion(x, y);
      PKvPixel p = GetPixels(x, y);
      TKvLinRGBColor v = p->GetLinRGB();
      v.R += d.R * AWeight.R;
      v.G += d.G * AWeight.G;
      v.B += d.B * AWeight.B;
      p->SetLinRGB(v);
    }
}

TKvCellHelper* TKvBaseCellImage::AcquireHelper() {
  if (FHelperPool.empty()) return new TKvCellHelper(*this);
  TKvCellHelper* h = FHelperPool.back().release();
  FHelperPool.pop_back();
  return h;
}

void TKvBaseCellImage::ReleaseHelper(TKvCellHelper* AHelper) {
  if (!AHelper) return;
  AHelper->SetSource(nullptr, 0, 0);
  FHelperPool.emplace_back(AHelper);
}

void TKvBaseCellImage::CopySettings(TKvDestEngineOptions& AOptions) {
  FGrayMode = AOptions.UseAsGrayPalette;
  FDitherMethod = AOptions.DitherMethod;
  FColorDiffMethod = AOptions.ColorDiffMethod;
  FSerpentine = AOptions.Serpentine;
  FStrength = AOptions.ErrorDiffusion / 100.0;
  FLimitErrorInsideBlock = AOptions.LimitErrorInsideBlock;
  FLimitErrorAtBlockBoundary = AOptions.LimitErrorAtBlockBoundary;
}

// ---------------------------------------------------------------------------
// Cell image

namespace {
// The most rows below its own that the method's kernel spreads to.
int DitherReachDown(uint8_t AMethod) {
  const TKvDitherKernel* kernel = GetDitherKernel(AMethod);
  int reach = 0;
  if (kernel)
    for (int t = 0; t < kernel->Count; ++t) reach = std::max(reach, static_cast<int>(kernel->Taps[t].DY));
  return reach;
}
}  // namespace

void TKvCellImage::PrepareConversion(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     bool ACallPrepare) {
  FProgress = AProgress;
  FAbort = AAbort;
  FPalette = AOptions.GetPalette();
  FPalette->UpdateCache();
  FFixedPalette = AOptions.GetFixedPalette();
  FFixedPalette->UpdateCache();
  CopySettings(AOptions);
  FDiffusion->Clear();
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  if (ACallPrepare) Prepare();
  if (FGrayMode) MakeGray();
  CacheColors();
  // Scoring dithers never scan serpentine: each one covers a single cell.
  FWorkOptions = TKvDestEngineOptions::Create();
  FWorkOptions->Assign(&AOptions);
  FWorkOptions->SetSerpentine(false);
}

void TKvCellImage::BeginCellRow(TKvBitmap* AResult, TKvCellScreen* ATarget) {
  if (AResult) AResult->MirrorX = FMirror;
  if (ATarget) ATarget->MirrorX = FMirror;
  FRanges->SetMirror(FMirror);
  FDiffusion->SetMirror(FMirror);
}

std::unique_ptr<TKvBitmap> TKvCellImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  const TWorkOptionsGuard guard{this};
  PrepareConversion(AAbort, AOptions, AProgress, true);
  FPaletteList = CreatePaletteList();
  std::unique_ptr<TKvBitmap> result;
  try {
    result = CreateResult();
    const int total = FCellsAcross * FCellsDown;
    int done = 0;
    FMirror = false;
    // Without the limit at block boundaries the deferred error enters a
    // cell before its search, so a search made ahead would not hold: the
    // cells' own searches are shared instead.
    const bool ahead = ProcessorCount >= 2 && FLimitErrorAtBlockBoundary && FPaletteList;
    // The walk takes the cell rows in order: a share deferred from a cell
    // lands at most the kernel's reach below its row, and a row's deferred
    // error is read only while its cells are solved, so the buffer holds a
    // band of rows rather than the whole picture (less fresh memory).
    const int reach = DitherReachDown(FDitherMethod);
    FDiffusion = std::make_unique<TKvCellDiffusion>(*this, FCellHeight + reach);
    auto walk = [&] {
      for (int j = 0; j < FCellsDown; ++j) {
        FCellY = j;
        BeginCellRow(result.get(), ATarget);
        FDiffusion->HoldRowsTo((j + 1) * FCellHeight + reach);
        if (ahead)
          LookaheadForRow(j, {FPaletteList});
        else
          DropRowLookahead();
        SolveCellRow(result.get(), ATarget, j, total, done);
        if (FSerpentine) FMirror = !FMirror;
      }
    };
    if (ahead)
      walk();
    else
      WalkWithSearchTeam(FPaletteList, walk);
    DropRowLookahead();
    if (result) result->MirrorX = false;
    if (ATarget) ATarget->MirrorX = false;
  } catch (...) {
    DropRowLookahead();
    FreePaletteList(FPaletteList);
    throw;
  }
  FreePaletteList(FPaletteList);
  return result;
}

void TKvCellImage::SolveCell(int ACellX, int ACellY, const TRect& ARect, TKvCellPalette*& ACellPalette) {
  if (!FLimitErrorAtBlockBoundary) {
    AddDeferredError(ARect, TKvLinRGBColor{1, 1, 1});
    FindBestPalette(ARect, ACellPalette);
    return;
  }
  FindBestPalette(ARect, ACellPalette);
  if (!ACellPalette) return;  // nothing enabled: RenderCell reports it
  *FRanges->GetRange(ACellX, ACellY) = ACellPalette->Range;
  AddDeferredError(ARect, ACellPalette->Range);
}

double TKvCellImage::FindBestPalette(const TRect& ARect, TKvCellPalette*& ACellPalette) {
  return SearchCandidates(FPaletteList, ARect, ACellPalette);
}

// A unit of work costs some 3 to 5 ns now that the bounds rule most
// candidates out: a cell of 8 x 1 pixels with 2080 candidates takes about
// 70 us. Handing jobs to the workers and waiting for them costs 20 to 60 us
// per search on a quiet machine and several hundred on a busy one; only jobs
// of well over 100 us keep a gain when the hand-overs are slow.
int64_t KvCellMinJobWork = 32768;

namespace {

// How many jobs a search of AWork over AItems cells or candidates is cut
// into: 1 (search on the calling thread) when there is a single processor or
// too little work, otherwise at most one per processor and per item.
int CellSearchJobCount(int64_t AWork, int AItems) {
  if (ProcessorCount < 2 || AItems < 2 || AWork <= 0) return 1;
  const int64_t n = std::min<int64_t>({AWork / std::max<int64_t>(KvCellMinJobWork, 1), ProcessorCount, AItems});
  return n < 2 ? 1 : static_cast<int>(n);
}

// Chunk AIndex of AParts consecutive chunks of nearly equal size of items
// 0 .. ACount-1 (AParts <= ACount, so none is empty).
void CellSearchChunk(int ACount, int AParts, int AIndex, int& AFirst, int& ALast) {
  AFirst = static_cast<int>(static_cast<int64_t>(ACount) * AIndex / AParts);
  ALast = static_cast<int>(static_cast<int64_t>(ACount) * (AIndex + 1) / AParts) - 1;
}

void AppendColors(const TKvPalette256& APalette, std::vector<double>& AColors) {
  AColors.push_back(APalette.Count);
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvLinRGBColor& v = APalette.Colors[i].GetLinRGB();
    AColors.insert(AColors.end(), {v.R, v.G, v.B, APalette.Colors[i].GetLinGray()});
  }
}

// Compares with the colours AppendColors noted at AAt and moves AAt past them.
bool SameColors(const TKvPalette256& APalette, const std::vector<double>& AColors, size_t& AAt) {
  if (AAt >= AColors.size() || AColors[AAt] != APalette.Count) return false;
  ++AAt;
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvLinRGBColor& v = APalette.Colors[i].GetLinRGB();
    const double* c = &AColors[AAt];
    if (!(c[0] == v.R && c[1] == v.G && c[2] == v.B && c[3] == APalette.Colors[i].GetLinGray())) return false;
    AAt += 4;
  }
  return true;
}

}  // namespace

void TKvCellImage::PrepareRowLookahead(int ACellY, const std::vector<TKvCellPaletteList*>& ALists) {
  PrepareRowsLookahead(ACellY, ACellY, ALists);
}

// Cells a pulling search job takes at a time: few enough that the jobs end
// together on a busy machine, enough that the shared counter is no cost.
constexpr int KvCellSearchGrain = 2;
// The most rows searched in one batch ahead.
constexpr int KvCellLookaheadMaxRows = 64;

void TKvCellImage::LookaheadForRow(int ACellY, const std::vector<TKvCellPaletteList*>& ALists) {
  TRowLookahead& a = FLookahead;
  if (ACellY == 0) {
    a.Row = a.LastRow = -1;
    a.Misses = 0;
  }
  // Row ACellY lies in the last batch, whose searches all held so far (or
  // which had too little work to search ahead): nothing to do.
  if (ACellY >= a.Row && ACellY <= a.LastRow && a.Misses == 0 && a.ForLists == ALists) return;
  a.BatchRows = ACellY == 0 || a.Misses > 0 ? 1 : std::min(a.BatchRows * 4, KvCellLookaheadMaxRows);
  PrepareRowsLookahead(ACellY, std::min(ACellY + a.BatchRows - 1, FCellsDown - 1), ALists);
}

void TKvCellImage::PrepareRowsLookahead(int ACellY, int ALastRow, const std::vector<TKvCellPaletteList*>& ALists) {
  TRowLookahead& a = FLookahead;
  a.Valid = false;
  a.Misses = 0;
  if (ALastRow < ACellY) ALastRow = ACellY;
  a.Row = ACellY;
  a.LastRow = ALastRow;
  a.ForLists = ALists;
  // Too little work for two jobs: the cells are searched one by one, on the
  // calling thread, as they come.
  int64_t enabled = 0;
  for (TKvCellPaletteList* list : ALists)
    for (int k = 0; list && k < list->GetCount(); ++k)
      if (list->GetPalette(k)->Enabled) ++enabled;
  const TRect first = GetCellRect(0, ACellY);
  const TRect last = GetCellRect(0, ALastRow);
  const int rows = ALastRow - ACellY + 1;
  const int cells = FCellsAcross * rows;
  const int parts = CellSearchJobCount(enabled * FWidth * (last.Bottom - first.Top), cells);
  if (parts < 2) return;
  a.Lists.clear();
  for (TKvCellPaletteList* list : ALists) {
    TListSnapshot snap{list, list ? &list->GetSearchTable() : nullptr, {}, {}, {}};
    const int count = list ? list->GetCount() : 0;
    for (int k = 0; k < count; ++k) {
      snap.Candidates.push_back(list->GetPalette(k));
      snap.Enabled.push_back(list->GetPalette(k)->Enabled);
      AppendColors(*list->GetPalette(k)->Palette, snap.Colors);
    }
    a.Lists.push_back(std::move(snap));
  }
  // Each row under the mirror flag the scan will give it: the rectangles and
  // the pixels in scan order.
  const bool mirror = FMirror;
  a.Rects.resize(static_cast<size_t>(cells));
  a.BandTop = first.Top;
  a.Band.resize(static_cast<size_t>(FWidth) * static_cast<size_t>(last.Bottom - first.Top));
  for (int r = 0; r < rows; ++r) {
    FMirror = FSerpentine && (r % 2 == 1) ? !mirror : mirror;
    for (int i = 0; i < FCellsAcross; ++i)
      a.Rects[static_cast<size_t>(r) * FCellsAcross + i] = GetCellRect(i, ACellY + r);
    const TRect band = a.Rects[static_cast<size_t>(r) * FCellsAcross];
    for (int y = band.Top; y < band.Bottom; ++y)
      for (int x = 0; x < FWidth; ++x)
        a.Band[static_cast<size_t>(y - a.BandTop) * FWidth + x] = GetPixels(x, y)->GetLinRGB();
  }
  FMirror = mirror;
  a.Best.assign(static_cast<size_t>(cells) * a.Lists.size(), nullptr);
  a.Score.assign(static_cast<size_t>(cells) * a.Lists.size(), 0.0);
  a.Next.store(0, std::memory_order_relaxed);
  {
    TKvJobList jobs;
    for (int k = 0; k < parts; ++k) new TKvCellRowSearchJob(&jobs, this);
    jobs.RunWithCaller(FAbort);
  }
  if (Aborted()) Abort();
  a.Valid = true;
}

bool TKvCellImage::LookupRowSearch(TKvCellPaletteList* AList, const TRect& ARect, TKvCellPalette*& ABest,
                                   double& AScore) const {
  const TRowLookahead& a = FLookahead;
  if (!a.Valid || FCellY < a.Row || FCellY > a.LastRow || !AList) return false;
  const int rowStart = (FCellY - a.Row) * FCellsAcross;
  int cell = -1;
  for (const int i : {FCellX, FCellX + 1})
    if (i >= 0 && i < FCellsAcross && a.Rects[static_cast<size_t>(rowStart + i)] == ARect) {
      cell = rowStart + i;
      break;
    }
  if (cell < 0) return false;
  size_t l = 0;
  while (l < a.Lists.size() && a.Lists[l].List != AList) ++l;
  if (l == a.Lists.size()) return false;
  const TListSnapshot& snap = a.Lists[l];
  if (AList->GetCount() != static_cast<int>(snap.Candidates.size())) return false;
  // A list cleared and filled again may hold new candidates at the old
  // addresses: their colours tell.
  size_t at = 0;
  for (size_t k = 0; k < snap.Candidates.size(); ++k) {
    const TKvCellPalette* c = AList->GetPalette(static_cast<int>(k));
    if (c != snap.Candidates[k] || c->Enabled != static_cast<bool>(snap.Enabled[k])) return false;
    if (!SameColors(*c->Palette, snap.Colors, at)) return false;
  }
  // The pixels as the search saw them (exact values; a NaN never matches).
  auto* self = const_cast<TKvCellImage*>(this);
  for (int y = ARect.Top; y < ARect.Bottom; ++y)
    for (int x = ARect.Left; x < ARect.Right; ++x) {
      const TKvLinRGBColor& v = self->GetPixels(x, y)->GetLinRGB();
      const TKvLinRGBColor& b = a.Band[static_cast<size_t>(y - a.BandTop) * FWidth + x];
      if (!(v.R == b.R && v.G == b.G && v.B == b.B)) return false;
    }
  const size_t found = static_cast<size_t>(cell) * a.Lists.size() + l;
  if (a.Best[found]) ABest = a.Best[found];
  AScore = a.Score[found];
  return true;
}

double TKvCellImage::SearchCandidates(TKvCellPaletteList* AList, const TRect& ARect, TKvCellPalette*& ABest) {
  double ahead = 0;
  if (LookupRowSearch(AList, ARect, ABest, ahead)) return ahead;
  if (FLookahead.Valid) ++FLookahead.Misses;
  const int count = AList ? AList->GetCount() : 0;
  int enabled = 0;
  for (int i = 0; i < count; ++i)
    if (AList->GetPalette(i)->Enabled) ++enabled;
  const int parts = CellSearchJobCount(static_cast<int64_t>(enabled) * ARect.Width() * ARect.Height(), count);
  double best = 0;
  bool found = false;
  if (count == 0) return best;
  const TKvCellSearchTable& table = AList->GetSearchTable();
  if (parts < 2) {
    int k = -1;
    best = FTeam ? SearchWithTeam(ARect, *AList, table, k)
                 : SearchCell(ARect, *AList, table, nullptr, 0, count - 1, *FHelper, k);
    if (k >= 0) ABest = AList->GetPalette(k);
    return best;
  }
  {
    TKvJobList jobs;
    for (int k = 0; k < parts; ++k) {
      int first, last;
      CellSearchChunk(count, parts, k, first, last);
      new TKvCellImageFindOptimalColorsJob(&jobs, this, AList, table, ARect, first, last);
    }
    jobs.RunWithCaller(FAbort);
    // Chunks are consecutive and scanned in order, so taking the first job
    // with the least score keeps the earliest candidate of a tie.
    for (int k = 0; k < jobs.GetCount(); ++k) {
      auto* job = static_cast<TKvCellImageFindOptimalColorsJob*>(jobs.GetJob(k));
      if (job->BestPalette && (!found || job->BestError < best)) {
        found = true;
        best = job->BestError;
        ABest = job->BestPalette;
      }
    }
  }
  if (Aborted()) Abort();
  return best;
}

void TKvCellImage::FreePaletteList(TKvCellPaletteList* AList) { delete AList; }

// ---------------------------------------------------------------------------
// Search team

namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

// One cell's search as the team sees it: the candidates still to score by
// rising bound, with their colours, and the cell's pixels and distances. A
// member holds the round it works on, so a member that runs late reads and
// writes only its own round, never the next cell's.
struct TKvCellSearchRound {
  TRect Rect;
  std::vector<TKvLinRGBColor> Source;
  std::vector<double> Distances;
  std::vector<int> Order;                  // candidate numbers
  std::vector<double> Bounds;              // per item of Order
  std::vector<int> EntryFirst;             // per item of Order, and one past the last
  std::vector<TKvCellSearchEntry> Entries;
  int Grain = 1;
  int Grains = 0;
  std::atomic<int> Next{0};
  // The least score found so far: a candidate whose bound exceeds it, or
  // whose dither exceeds it on the way, cannot win.
  std::atomic<double> Best{0};
  // Per grain: its least score and the earliest candidate with it (-1 when
  // every candidate lost), valid once Done is set.
  std::vector<double> Scores;
  std::vector<int> Indexes;
  std::vector<std::atomic<bool>> Done;
  // Members at work on the round: each leaves it (a release) after its last
  // access, and the caller fills it again only when it finds none (an
  // acquire), besides no member holding it any more.
  std::atomic<int> Users{0};

  // Scores grain AGrain with AHelper (loaded with this round's pixels).
  void Score(int AGrain, TKvCellHelper& AHelper, const TKvDestEngineOptions& AOptions, double& AScore, int& AIndex) {
    AIndex = -1;
    AScore = 0;
    const int last = std::min((AGrain + 1) * Grain, static_cast<int>(Order.size()));
    for (int i = AGrain * Grain; i < last; ++i) {
      const double limit = Best.load(std::memory_order_relaxed);
      // The items run by rising bound: none after this one can win.
      if (Bounds[static_cast<size_t>(i)] > limit) break;
      const int k = Order[static_cast<size_t>(i)];
      const int first = EntryFirst[static_cast<size_t>(i)];
      const double e = AHelper.CompactScore(Rect, AOptions, &Entries[static_cast<size_t>(first)],
                                            EntryFirst[static_cast<size_t>(i) + 1] - first, limit, true);
      if (limit != TKvCellHelper::kNoLimit && e == TKvCellHelper::kNoLimit) continue;
      if (AIndex < 0 || e < AScore || (e == AScore && k < AIndex)) {
        AScore = e;
        AIndex = k;
      }
      double seen = Best.load(std::memory_order_relaxed);
      while (e < seen && !Best.compare_exchange_weak(seen, e, std::memory_order_relaxed)) {
      }
    }
  }
};

class TKvCellSearchTeam {
public:
  // Members' part: serves the rounds with AHelper until Stop.
  void Serve(TKvCellHelper& AHelper, const TKvDestEngineOptions& AOptions) {
    uint64_t seen = 0;
    for (;;) {
      std::shared_ptr<TKvCellSearchRound> round;
      for (int spins = 0;; ++spins) {
        if (FStop.load(std::memory_order_acquire)) return;
        if (FSequence.load(std::memory_order_acquire) != seen) {
          std::lock_guard<std::mutex> g(FLock);
          seen = FSequence.load(std::memory_order_relaxed);
          round = FCurrent;
          break;
        }
        if (spins < kSpins && !FResting.load(std::memory_order_relaxed)) {
          // A short pause first, as the next round comes within
          // microseconds; then yields, which leave the processor to any
          // other thread that can run (on a busy machine the caller).
          if (spins < kPauses)
            CpuRelax();
          else
            std::this_thread::yield();
          continue;
        }
        // Long without a round (the walk is between searches), or the
        // team rests: sleep.
        std::unique_lock<std::mutex> g(FLock);
        ++FSleepers;
        FWake.wait(g, [&] { return FStop.load() || FSequence.load() != seen; });
        --FSleepers;
        spins = 0;
      }
      if (!round) continue;
      round->Users.fetch_add(1, std::memory_order_relaxed);
      struct TLeave {
        TKvCellSearchRound& Round;
        ~TLeave() { Round.Users.fetch_sub(1, std::memory_order_release); }
      } leave{*round};
      AHelper.LoadSearch(round->Source, round->Distances);
      for (;;) {
        const int g = round->Next.fetch_add(1, std::memory_order_relaxed);
        if (g >= round->Grains) break;
        double score;
        int index;
        round->Score(g, AHelper, AOptions, score, index);
        round->Scores[static_cast<size_t>(g)] = score;
        round->Indexes[static_cast<size_t>(g)] = index;
        round->Done[static_cast<size_t>(g)].store(true, std::memory_order_release);
      }
    }
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> g(FLock);
      FStop.store(true, std::memory_order_release);
      FCurrent.reset();
    }
    FWake.notify_all();
  }

  // A round no member holds any more, for the caller to fill.
  TKvCellSearchRound& FreeRound() {
    for (const auto& r : FRounds)
      if (r.use_count() == 1 && r->Users.load(std::memory_order_acquire) == 0) return *r;
    FRounds.push_back(std::make_shared<TKvCellSearchRound>());
    return *FRounds.back();
  }
  std::shared_ptr<TKvCellSearchRound> Shared(TKvCellSearchRound& ARound) {
    for (const auto& r : FRounds)
      if (r.get() == &ARound) return r;
    return nullptr;
  }

  void Publish(const std::shared_ptr<TKvCellSearchRound>& ARound) {
    {
      std::lock_guard<std::mutex> g(FLock);
      FCurrent = ARound;
      FSequence.fetch_add(1, std::memory_order_release);
    }
    if (FSleepers.load(std::memory_order_relaxed) > 0) FWake.notify_all();
  }
  void Withdraw() {
    std::lock_guard<std::mutex> g(FLock);
    FCurrent.reset();
  }

  // Notes what the members did of a round's AGrains grains. When they did
  // too little of the last rounds (on a busy machine they are seldom on a
  // processor when a round comes), the team rests: the caller searches
  // alone for a while and the members sleep, then it tries again.
  void Note(int AGrains, int AByMembers) {
    FGrains += AGrains;
    FByMembers += AByMembers;
    if (++FNoted < kNoteRounds) return;
    if (FByMembers * 5 < FGrains) {
      FRestLeft = kRestSearches;
      FResting.store(true, std::memory_order_relaxed);
    }
    FNoted = FGrains = FByMembers = 0;
  }
  // False while the team rests; counts the searches made alone.
  bool Ready() {
    if (FRestLeft == 0) return true;
    if (--FRestLeft > 0) return false;
    // The next round wakes the sleeping members.
    FResting.store(false, std::memory_order_relaxed);
    return true;
  }

private:
  // Yields before a member sleeps: longer than the walk takes between two
  // searches (rendering a cell and bounding the next one's candidates).
  static constexpr int kPauses = 200;
  static constexpr int kSpins = kPauses + 20000;
  std::mutex FLock;
  std::condition_variable FWake;
  std::shared_ptr<TKvCellSearchRound> FCurrent;
  std::atomic<uint64_t> FSequence{0};
  std::atomic<int> FSleepers{0};
  std::atomic<bool> FResting{false};
  // The caller's account of the members' part.
  static constexpr int kNoteRounds = 32;
  static constexpr int kRestSearches = 256;
  int FNoted = 0;
  int FGrains = 0;
  int FByMembers = 0;
  int FRestLeft = 0;
  std::atomic<bool> FStop{false};
  std::vector<std::shared_ptr<TKvCellSearchRound>> FRounds;  // the caller's
};

namespace {

class TKvCellWalkJob : public TKvJob {
public:
  TKvCellWalkJob(TKvJobList* AList, TKvCellSearchTeam& ATeam, const std::function<void()>& AWalk)
      : TKvJob(AList), FTeam(ATeam), FWalk(AWalk) {}
  void Execute() override {
    struct TStop {
      TKvCellSearchTeam& Team;
      ~TStop() { Team.Stop(); }
    } stop{FTeam};
    FWalk();
  }

private:
  TKvCellSearchTeam& FTeam;
  const std::function<void()>& FWalk;
};

class TKvCellTeamJob : public TKvJob {
public:
  TKvCellTeamJob(TKvJobList* AList, TKvCellSearchTeam& ATeam, TKvBaseCellImage& AImage)
      : TKvJob(AList), FTeam(ATeam), FImage(AImage), FHelper(AImage.AcquireHelper()) {}
  ~TKvCellTeamJob() override { FImage.ReleaseHelper(FHelper); }
  void Execute() override { FTeam.Serve(*FHelper, *FImage.GetWorkOptions()); }

private:
  TKvCellSearchTeam& FTeam;
  TKvBaseCellImage& FImage;
  TKvCellHelper* FHelper;
};

// Candidates a member takes at a time: some 2 to 4 us of work.
constexpr int KvCellTeamGrain = 6;
// The least enabled candidates times cell pixels for a team: a search of
// some 15 us or more.
constexpr int64_t KvCellTeamMinWork = 2048;
// The most threads of a team: with the caller's own part of each cell
// (bounds, order, rendering) a third of the work, more add next to nothing.
constexpr int KvCellTeamMaxThreads = 4;

}  // namespace

// About two grains a member.
int KvCellTeamMinItems = 24;

void TKvCellImage::WalkWithSearchTeam(TKvCellPaletteList* AList, const std::function<void()>& AWalk) {
  int64_t enabled = 0;
  for (int k = 0; AList && k < AList->GetCount(); ++k)
    if (AList->GetPalette(k)->Enabled) ++enabled;
  // A search scored in vector lanes on the walk's own thread outruns a team
  // whose members score one candidate each (an 8x1 attribute screen took
  // twice as long with a team of two).
  if (ProcessorCount < 2 || FTeam || !FWorkOptions || !TKvCellHelper::CanScoreCompact(*FWorkOptions) ||
      TKvCellHelper::CanScoreLanes(*FWorkOptions) || enabled * FCellWidth * FCellHeight < KvCellTeamMinWork) {
    AWalk();
    return;
  }
  TKvCellSearchTeam team;
  struct TDetach {
    TKvCellImage* Image;
    ~TDetach() { Image->FTeam = nullptr; }
  } detach{this};
  FTeam = &team;
  TKvJobList jobs;
  new TKvCellWalkJob(&jobs, team, AWalk);
  for (int k = 1; k < std::min(ProcessorCount, KvCellTeamMaxThreads); ++k) new TKvCellTeamJob(&jobs, team, *this);
  jobs.RunWithCaller(FAbort);
}

double TKvCellImage::SearchWithTeam(const TRect& ARect, TKvCellPaletteList& AList, const TKvCellSearchTable& ATable,
                                    int& ABest) {
  const int count = AList.GetCount();
  TKvCellHelper& helper = *FHelper;
  ABest = -1;
  if (Aborted()) Abort();
  const TKvDestEngineOptions& options = *FWorkOptions;
  std::vector<uint8_t>& flags = helper.SearchEnabled;
  flags.resize(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) flags[static_cast<size_t>(k)] = AList.GetPalette(k)->Enabled;
  auto enabled = [&](int k) { return flags[static_cast<size_t>(k)] != 0; };
  helper.LoadSource(ARect);
  std::vector<double>& bounds = helper.SearchBounds;
  if (!helper.Bounds(ATable, 0, count - 1, enabled, bounds))
    return SearchCell(ARect, AList, ATable, flags.data(), 0, count - 1, helper, ABest);
  auto bound = [&](int k) { return bounds[static_cast<size_t>(k)]; };
  // As SearchCell: the least bound first, then the others by rising bound.
  int first = -1;
  for (int k = 0; k < count; ++k)
    if (enabled(k) && (first < 0 || bound(k) < bound(first))) first = k;
  if (first < 0) return 0;
  double best = helper.CompactScore(ARect, options, ATable.GetEntries(first), ATable.GetCount(first));
  ABest = first;
  auto hopeless = [&](int k) { return bound(k) > best || (bound(k) == best && k > ABest); };
  std::vector<int>& order = helper.SearchOrder;
  order.clear();
  for (int k = 0; k < count; ++k)
    if (k != first && enabled(k) && !hopeless(k)) order.push_back(k);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return bound(a) < bound(b) || (bound(a) == bound(b) && a < b); });
  auto offer = [&](int k, double e) {
    if (e < best || (e == best && k < ABest)) {
      ABest = k;
      best = e;
    }
  };
  if (static_cast<int>(order.size()) < KvCellTeamMinItems || !FTeam->Ready()) {
    for (const int k : order) {
      if (hopeless(k)) break;
      offer(k, helper.CompactScore(ARect, options, ATable.GetEntries(k), ATable.GetCount(k), best, k < ABest));
    }
    return best;
  }
  TKvCellSearchRound& round = FTeam->FreeRound();
  round.Rect = ARect;
  round.Source = helper.GetSource();
  round.Distances = helper.GetDistances();
  round.Order = order;
  round.Bounds.clear();
  round.EntryFirst.clear();
  round.Entries.clear();
  for (const int k : order) {
    round.Bounds.push_back(bound(k));
    round.EntryFirst.push_back(static_cast<int>(round.Entries.size()));
    const TKvCellSearchEntry* e = ATable.GetEntries(k);
    round.Entries.insert(round.Entries.end(), e, e + ATable.GetCount(k));
  }
  round.EntryFirst.push_back(static_cast<int>(round.Entries.size()));
  round.Grain = KvCellTeamGrain;
  round.Grains = (static_cast<int>(order.size()) + KvCellTeamGrain - 1) / KvCellTeamGrain;
  round.Next.store(0, std::memory_order_relaxed);
  round.Best.store(best, std::memory_order_relaxed);
  round.Scores.assign(static_cast<size_t>(round.Grains), 0.0);
  round.Indexes.assign(static_cast<size_t>(round.Grains), -1);
  round.Done = std::vector<std::atomic<bool>>(static_cast<size_t>(round.Grains));
  FTeam->Publish(FTeam->Shared(round));
  // The caller takes grains like any member, then gathers the others'.
  std::vector<uint8_t> mine(static_cast<size_t>(round.Grains), 0);
  double score;
  int index;
  int taken = 0;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const int g = round.Next.fetch_add(1, std::memory_order_relaxed);
    if (g >= round.Grains) break;
    round.Score(g, helper, options, score, index);
    mine[static_cast<size_t>(g)] = 1;
    ++taken;
    if (index >= 0) offer(index, score);
  }
  FTeam->Withdraw();
  // A member's grain is waited for about as long as the caller took for one
  // of its own; after that it is scored here again (its member may have been
  // descheduled).
  const auto patience = (std::chrono::steady_clock::now() - start) / std::max(taken, 1);
  int byMembers = 0;
  for (int g = 0; g < round.Grains; ++g) {
    if (mine[static_cast<size_t>(g)]) continue;
    std::atomic<bool>& ready = round.Done[static_cast<size_t>(g)];
    bool done = ready.load(std::memory_order_acquire);
    if (!done) {
      const auto until = std::chrono::steady_clock::now() + patience;
      do {
        CpuRelax();
        done = ready.load(std::memory_order_acquire);
      } while (!done && std::chrono::steady_clock::now() < until);
    }
    if (done) {
      score = round.Scores[static_cast<size_t>(g)];
      index = round.Indexes[static_cast<size_t>(g)];
      ++byMembers;
    } else {
      round.Score(g, helper, options, score, index);
    }
    if (index >= 0) offer(index, score);
  }
  FTeam->Note(round.Grains, byMembers);
  return best;
}


void TKvCellImage::SolveCellRow(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellY, int ATotal, int& ADone) {
  for (int i = 0; i < FCellsAcross; ++i) {
    if (Aborted()) Abort();
    FCellX = i;
    const TRect r = GetCellRect(i, ACellY);
    TKvCellPalette* candidate = nullptr;
    SolveCell(i, ACellY, r, candidate);
    RenderCell(AResult, ATarget, i, ACellY, r, candidate);
    ++ADone;
    if (FProgress) ReportProgress(FProgress, ATotal, ADone);
  }
}

void TKvCellImage::ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) {
  AProgress->SetProgress(ATotal, ADone);
}

void TKvCellImage::RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY, const TRect& ARect,
                              TKvCellPalette* ACellPalette) {
  // A list without an enabled candidate leaves the cell unsolved; there is
  // nothing to render it with.
  if (!ACellPalette) RaiseInternalError();
  SetCellAttr(ATarget, ACellX, ACellY, ACellPalette);
  RenderCellPixels(AResult, ATarget, ARect, ACellPalette, true, [this](int x, int y, const TKvLinRGBColor& e) {
    if (FGrayMode)
      DiffuseCellGrayError(x, y, FDitherMethod, e.R);
    else
      DiffuseCellError(x, y, FDitherMethod, e);
  });
}

namespace {
void AddLinRGB(PKvPixel p, const TKvLinRGBColor& s) {
  TKvLinRGBColor v = p->GetLinRGB();
  v.R += s.R;
  v.G += s.G;
  v.B += s.B;
  p->SetLinRGB(v);
}
}  // namespace

bool TKvCellImage::DeferToLaterCell(int nx, int ny, const TKvLinRGBColor& AShare) {
  const int row = ny / FCellHeight;
  const int cell = FMirror ? FCellsAcross - 1 - (FWidth - 1 - nx) / FCellWidth : nx / FCellWidth;
  if (cell <= FCellX && row <= FCellY) return false;
  TKvLinRGBColor* e = FDiffusion->GetDiffusion(nx, ny);
  e->R += AShare.R;
  e->G += AShare.G;
  e->B += AShare.B;
  return true;
}

void TKvCellImage::DiffuseCellError(int X, int Y, uint8_t AMethod, const TKvLinRGBColor& AError) {
  ForEachDitherTap(AMethod, X, Y, FWidth, FHeight, [&](int nx, int ny, auto share) {
    TKvLinRGBColor s{share(AError.R), share(AError.G), share(AError.B)};
    if (DeferToLaterCell(nx, ny, s)) return;
    if (FLimitErrorInsideBlock) {
      const TKvLinRGBColor r = *FRanges->GetRange(FCellX, FCellY);
      s.R *= r.R;
      s.G *= r.G;
      s.B *= r.B;
    }
    AddLinRGB(GetPixels(nx, ny), s);
  });
}

void TKvCellImage::DiffuseCellGrayError(int X, int Y, uint8_t AMethod, double AError) {
  ForEachDitherTap(AMethod, X, Y, FWidth, FHeight, [&](int nx, int ny, auto share) {
    double s = share(AError);
    if (DeferToLaterCell(nx, ny, {s, s, s})) return;
    // The gray error is scaled by the red component of the range alone.
    if (FLimitErrorInsideBlock) s *= FRanges->GetRange(FCellX, FCellY)->R;
    AddLinRGB(GetPixels(nx, ny), {s, s, s});
  });
}

// ---------------------------------------------------------------------------
// Search jobs

TKvCellRowSearchJob::TKvCellRowSearchJob(TKvJobList* AList, TKvCellImage* AImage, int AFrom, int ATo)
    : TKvJob(AList), FImage(AImage), FHelper(AImage->AcquireHelper()), FFrom(AFrom), FTo(ATo) {}

TKvCellRowSearchJob::TKvCellRowSearchJob(TKvJobList* AList, TKvCellImage* AImage)
    : TKvJob(AList), FImage(AImage), FHelper(AImage->AcquireHelper()), FFrom(0), FTo(-1), FPull(true) {}

TKvCellRowSearchJob::~TKvCellRowSearchJob() { FImage->ReleaseHelper(FHelper); }

void TKvCellRowSearchJob::Execute() {
  TKvCellImage::TRowLookahead& a = FImage->FLookahead;
  FHelper->SetSource(a.Band.data(), a.BandTop, FImage->GetWidth());
  if (!FPull) {
    for (int i = FFrom; i <= FTo; ++i) SearchCell(i);
    return;
  }
  const int cells = static_cast<int>(a.Rects.size());
  for (;;) {
    const int first = a.Next.fetch_add(KvCellSearchGrain, std::memory_order_relaxed);
    if (first >= cells) break;
    const int last = std::min(first + KvCellSearchGrain, cells);
    for (int i = first; i < last; ++i) SearchCell(i);
    if (Aborted(FImage->FAbort)) break;
  }
}

void TKvCellRowSearchJob::SearchCell(int ACell) {
  TKvCellImage::TRowLookahead& a = FImage->FLookahead;
  const TRect& r = a.Rects[static_cast<size_t>(ACell)];
  for (size_t l = 0; l < a.Lists.size(); ++l) {
    const TKvCellImage::TListSnapshot& snap = a.Lists[l];
    TKvCellPalette* best = nullptr;
    double bestScore = 0;
    const int count = static_cast<int>(snap.Candidates.size());
    if (count > 0) {
      int k = -1;
      bestScore = FImage->SearchCell(r, *snap.List, *snap.Table, snap.Enabled.data(), 0, count - 1, *FHelper, k);
      if (k >= 0) best = snap.Candidates[static_cast<size_t>(k)];
    }
    const size_t at = static_cast<size_t>(ACell) * a.Lists.size() + l;
    a.Best[at] = best;
    a.Score[at] = bestScore;
  }
}

TKvCellImageFindOptimalColorsJob::TKvCellImageFindOptimalColorsJob(TKvJobList* AList, TKvCellImage* AImage,
                                                                   TKvCellPaletteList* ACandidates,
                                                                   const TKvCellSearchTable& ATable,
                                                                   const TRect& ARect, int AFrom, int ATo)
    : TKvJob(AList),
      FImage(AImage),
      FCandidates(ACandidates),
      FTable(ATable),
      FHelper(AImage->AcquireHelper()),
      FRect(ARect),
      FFrom(AFrom),
      FTo(ATo) {}

TKvCellImageFindOptimalColorsJob::~TKvCellImageFindOptimalColorsJob() { FImage->ReleaseHelper(FHelper); }

void TKvCellImageFindOptimalColorsJob::Execute() {
  int k = -1;
  const double e = FImage->SearchCell(FRect, *FCandidates, FTable, nullptr, FFrom, FTo, *FHelper, k);
  if (k >= 0) {
    BestPalette = FCandidates->GetPalette(k);
    BestError = e;
  }
}
