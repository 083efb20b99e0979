#include "platforms/KvSavePlatformMSX.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <tuple>
#include <typeindex>
#include <typeinfo>

#include "core/KvDestProgress.h"
#include "core/KvKMeans.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformMAG.h"
#include "platforms/KvPlatformMSX.h"
#include "shell/noxShellBaseExtension.h"

namespace {

constexpr int kPatternOffset = 7;
constexpr int kNameOffset = 7 + 0x1800;
constexpr int kPaletteOffset = 7 + 0x1B80;
constexpr int kColorOffset = 7 + 0x2000;

inline int PatternIndex(int X, int Y) { return (Y & 7) + (Y >> 3) * 256 + (X >> 3) * 8; }

}  // namespace

// ---------------------------------------------------------------------------
// YJK search windows

namespace {

using TLevelsOf = void (*)(int, int, int, int&, int&, int&);

std::vector<TKvYJKWindow> BuildWindows(TLevelsOf AFormula, int AYStep) {
  std::vector<TKvYJKWindow> w(32768, TKvYJKWindow{127, -128, 127, -128});
  std::vector<uint8_t> hit(32768, 0);
  for (int y = 0; y < 32; y += AYStep)
    for (int k = -32; k < 32; ++k)
      for (int j = -32; j < 32; ++j) {
        int r, g, b;
        AFormula(y, k, j, r, g, b);
        TKvYJKWindow& e = w[static_cast<size_t>(r * 1024 + g * 32 + b)];
        hit[static_cast<size_t>(r * 1024 + g * 32 + b)] = 1;
        e.JMin = static_cast<int8_t>(std::min<int>(e.JMin, j));
        e.JMax = static_cast<int8_t>(std::max<int>(e.JMax, j));
        e.KMin = static_cast<int8_t>(std::min<int>(e.KMin, k));
        e.KMax = static_cast<int8_t>(std::max<int>(e.KMax, k));
      }
  // A colour no triple reproduces borrows the window of the nearest one that
  // is reproduced: offsets by growing distance (ties in a fixed order), then
  // every colour when none lies close.
  struct TOffset {
    int D, R, G, B;
  };
  std::vector<TOffset> offsets;
  for (int dr = -4; dr <= 4; ++dr)
    for (int dg = -4; dg <= 4; ++dg)
      for (int db = -4; db <= 4; ++db)
        if (dr || dg || db) offsets.push_back({dr * dr + dg * dg + db * db, dr, dg, db});
  std::stable_sort(offsets.begin(), offsets.end(), [](const TOffset& a, const TOffset& b) { return a.D < b.D; });
  std::vector<TKvYJKWindow> out = w;
  for (int c = 0; c < 32768; ++c) {
    if (hit[static_cast<size_t>(c)]) continue;
    const int r = c >> 10, g = (c >> 5) & 31, b = c & 31;
    int best = -1;
    for (const TOffset& o : offsets) {
      const int nr = r + o.R, ng = g + o.G, nb = b + o.B;
      if (nr < 0 || nr > 31 || ng < 0 || ng > 31 || nb < 0 || nb > 31) continue;
      if (hit[static_cast<size_t>(nr * 1024 + ng * 32 + nb)]) {
        best = nr * 1024 + ng * 32 + nb;
        break;
      }
    }
    if (best < 0) {
      int bestD = 1 << 30;
      for (int n = 0; n < 32768; ++n) {
        if (!hit[static_cast<size_t>(n)]) continue;
        const int dr = (n >> 10) - r, dg = ((n >> 5) & 31) - g, db = (n & 31) - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestD) {
          bestD = d;
          best = n;
        }
      }
    }
    out[static_cast<size_t>(c)] = w[static_cast<size_t>(best)];
  }
  return out;
}

}  // namespace

const TKvYJKWindow* YJKWindows() {
  static const std::vector<TKvYJKWindow> LTable = BuildWindows(&YJKToLevels, 1);
  return LTable.data();
}

const TKvYJKWindow* YJKEvenWindows() {
  static const std::vector<TKvYJKWindow> LTable = BuildWindows(&YJKToLevels, 2);
  return LTable.data();
}

const TKvYJKWindow* YUVWindows() {
  static const std::vector<TKvYJKWindow> LTable = BuildWindows(&YUVToLevels, 1);
  return LTable.data();
}

// ---------------------------------------------------------------------------
// YJK images

namespace {

inline double Dist2(const TKvLinRGBColor& a, const TKvLinRGBColor& b) {
  const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return dr * dr + dg * dg + db * db;
}

// The best Y of the colours under the pairs met lately, per row routine
// run: the groups of a few neighbouring rows share most of their colours and
// pairs, and a lookup costs a fraction of the search. A pure cache: each
// entry holds what GroupBestY computed for its key.
class TKvBestYCache {
public:
  struct TEntry {
    uint32_t Key;
    int32_t Y;
    double Err;
  };
  TKvBestYCache() : FEntries(kSize, TEntry{kEmpty, 0, 0}) {}
  // The colour, K and J in 27 bits.
  static uint32_t KeyOf(int AIndex, int AK, int AJ) {
    return static_cast<uint32_t>(AIndex) << 12 | static_cast<uint32_t>(AK + 32) << 6 | static_cast<uint32_t>(AJ + 32);
  }
  TEntry& Slot(uint32_t AKey) { return FEntries[(AKey * 0x9E3779B1u) >> (32 - kBits)]; }

private:
  static constexpr int kBits = 16;
  static constexpr size_t kSize = size_t{1} << kBits;
  static constexpr uint32_t kEmpty = ~0u;
  std::vector<TEntry> FEntries;
};

// Sums of 64-bit weights by 15-bit colour, gathered by one row routine run
// and added to the shared sums at its end (or when a slot is wanted for
// another colour): neighbouring pixels share colours, and jobs adding each
// pixel to the shared array fight over its cache lines. Integer sums, so the
// totals do not depend on the order.
class TKvColorSums {
public:
  TKvColorSums(std::vector<int64_t>& ATarget) : FTarget(ATarget), FSlots(kSize, TSlot{-1, 0}) {}
  ~TKvColorSums() {
    for (const TSlot& s : FSlots)
      if (s.Color >= 0) Put(s);
  }
  TKvColorSums(const TKvColorSums&) = delete;
  TKvColorSums& operator=(const TKvColorSums&) = delete;
  bool For(const std::vector<int64_t>& ATarget) const { return &FTarget == &ATarget; }
  void Add(int AColor, int64_t AValue) {
    TSlot& s = FSlots[static_cast<size_t>(AColor) & (kSize - 1)];
    if (s.Color != AColor) {
      if (s.Color >= 0) Put(s);
      s = {AColor, 0};
    }
    s.Sum += AValue;
  }

private:
  struct TSlot {
    int32_t Color;
    int64_t Sum;
  };
  static constexpr size_t kSize = 4096;
  void Put(const TSlot& ASlot) {
    std::atomic_ref<int64_t>(FTarget[static_cast<size_t>(ASlot.Color)]).fetch_add(ASlot.Sum, std::memory_order_relaxed);
  }
  std::vector<int64_t>& FTarget;
  std::vector<TSlot> FSlots;
};

// What a row routine run keeps on its thread: the cache, made on its first
// lookup, and the colour sums, made on the first weight; none outside
// RunRows.
struct TKvRowRunState {
  std::unique_ptr<TKvBestYCache> Cache;
  std::unique_ptr<TKvColorSums> Sums;
};
thread_local TKvRowRunState* GRowRun = nullptr;

// Sets this thread's row routine state for the life of a run; the sums
// reach their target when it ends.
class TKvRowRunScope {
public:
  TKvRowRunScope() : FSaved(GRowRun) { GRowRun = &FState; }
  ~TKvRowRunScope() { GRowRun = FSaved; }
  TKvRowRunScope(const TKvRowRunScope&) = delete;
  TKvRowRunScope& operator=(const TKvRowRunScope&) = delete;

private:
  TKvRowRunState FState;
  TKvRowRunState* FSaved;
};

// Adds AValue to ASums[AColor], through the row routine's own sums when it
// runs under RunRows.
void AddColorSum(std::vector<int64_t>& ASums, int AColor, int64_t AValue) {
  if (!GRowRun) {
    std::atomic_ref<int64_t>(ASums[static_cast<size_t>(AColor)]).fetch_add(AValue, std::memory_order_relaxed);
    return;
  }
  std::unique_ptr<TKvColorSums>& sums = GRowRun->Sums;
  if (!sums || !sums->For(ASums)) sums = std::make_unique<TKvColorSums>(ASums);
  sums->Add(AColor, AValue);
}

// Runs AImage's current row routine over rows taken from ANext a few at a
// time until none is left: a worker that runs late or is descheduled takes
// fewer rows, and rows of unequal cost (text and margins) even out.
class TKvYJKRowsJob : public TKvJob {
public:
  TKvYJKRowsJob(TKvJobList* AList, TKvYJKBaseImage* AImage, std::atomic<int>& ANext, int AGrain)
      : TKvJob(AList), FImage(AImage), FNext(ANext), FGrain(AGrain) {}
  void Execute() override {
    TKvRowRunScope state;
    const int rows = FImage->GetHeight();
    for (;;) {
      const int first = FNext.fetch_add(FGrain, std::memory_order_relaxed);
      if (first >= rows) break;
      FImage->ConvertRows(first, std::min(first + FGrain, rows) - 1);
    }
  }

private:
  TKvYJKBaseImage* FImage;
  std::atomic<int>& FNext;
  int FGrain;
};

}  // namespace

void TKvYJKBaseImage::FillCandidates(int AK, int AJ, TCandidates& ACandidates) const {
  ACandidates.Count = 0;
  for (int y = 0; y < 32; y += YStep) {
    int r, g, b;
    FormulaLevels(y, AK, AJ, r, g, b);
    ACandidates.Index[ACandidates.Count++] = r * 1024 + g * 32 + b;
  }
}

int64_t KvYAEFrontBudget = int64_t{64} << 20;

struct TKvYJKBaseImage::TGroupTables {
  // A pair's candidates by rising Y, whose levels never fall as Y rises;
  // and per channel and level v of a pixel, the last candidate whose level
  // is at most v (-1 when none) and the first whose level is at least v
  // (Count when none).
  struct TLevels {
    uint8_t R[32], G[32], B[32];
    int8_t AtMost[3][32];
    int8_t AtLeast[3][32];
  };
  int Count = 0;             // Y values of a pair
  TLevels Pairs[64 * 64];    // K, then J, each from -32
  bool Separable = false;    // every 15-bit colour is the three levels' values
  double Squares[3][32][32];  // channel, level of the pixel, level of the candidate
};

TKvYJKBaseImage::TBestY TKvYJKBaseImage::GroupBestY(int AIndex, int AK, int AJ) const {
  if (!GRowRun) return SearchBestY(AIndex, AK, AJ);
  std::unique_ptr<TKvBestYCache>& cache = GRowRun->Cache;
  if (!cache) cache = std::make_unique<TKvBestYCache>();
  const uint32_t key = TKvBestYCache::KeyOf(AIndex, AK, AJ);
  TKvBestYCache::TEntry& e = cache->Slot(key);
  if (e.Key != key) {
    const TBestY y = SearchBestY(AIndex, AK, AJ);
    e = {key, y.Y, y.Err};
  }
  return {e.Y, e.Err};
}

TKvYJKBaseImage::TBestY TKvYJKBaseImage::SearchBestY(int AIndex, int AK, int AJ) const {
  const TGroupTables& t = *FGroupTables;
  const TGroupTables::TLevels& l = t.Pairs[(AK + 32) * 64 + (AJ + 32)];
  TBestY best{0, 10000.0};
  if (t.Separable) {
    // The same sum of the same squares as the distance of the two colours.
    const int r = AIndex >> 10, g = (AIndex >> 5) & 31, b = AIndex & 31;
    const double* sr = t.Squares[0][r];
    const double* sg = t.Squares[1][g];
    const double* sb = t.Squares[2][b];
    auto dist = [&](int n) { return sr[l.R[n]] + sg[l.G[n]] + sb[l.B[n]]; };
    // Up to the last candidate with every level at most the pixel's, each
    // channel's square only shrinks as Y rises (rounding is monotone), so
    // the distance never grows; from the first with every level at least
    // the pixel's it never shrinks. Only the candidates between can hold a
    // smaller distance; below them one can only tie, and a tie goes to the
    // smaller Y.
    const int below = std::min({l.AtMost[0][r], l.AtMost[1][g], l.AtMost[2][b]});
    const int above = std::max({l.AtLeast[0][r], l.AtLeast[1][g], l.AtLeast[2][b]});
    const int first = std::max(std::min(below, above), 0);
    const int last = std::min(std::max(below, above), t.Count - 1);
    for (int n = first; n <= last; ++n) {
      const double d = dist(n);
      if (d < best.Err) best = {n * YStep, d};
    }
    for (int n = first - 1; n >= 0; --n) {
      const double d = dist(n);
      if (d > best.Err) break;
      best = {n * YStep, d};
    }
    return best;
  }
  const TKvLinRGBColor& c = FLevelColors[static_cast<size_t>(AIndex)];
  for (int n = 0; n < t.Count; ++n) {
    const double d = Dist2(c, FLevelColors[static_cast<size_t>(l.R[n] * 1024 + l.G[n] * 32 + l.B[n])]);
    if (d < best.Err) best = {n * YStep, d};
  }
  return best;
}

template <class TTry>
void TKvYJKBaseImage::ForEachPair(int AKMin, int AKMax, int AJMin, int AJMax, int APreviousK, int APreviousJ,
                                  TTry&& ATry) {
  auto inside = [&](int k, int j) { return k >= AKMin && k <= AKMax && j >= AJMin && j <= AJMax; };
  const bool previous = inside(APreviousK, APreviousJ);
  const bool zero = !(APreviousK == 0 && APreviousJ == 0) && inside(0, 0);
  if (previous) ATry(APreviousK, APreviousJ);
  if (zero) ATry(0, 0);
  for (int k = AKMin; k <= AKMax; ++k)
    for (int j = AJMin; j <= AJMax; ++j) {
      if ((previous && k == APreviousK && j == APreviousJ) || (zero && k == 0 && j == 0)) continue;
      ATry(k, j);
    }
}

namespace {

// Per pixel of a group, the first pixel of the group with its colour: its
// error under a pair is worked out once.
void SameColors(const int (&AIndexes)[4], int (&AFirst)[4]) {
  for (int i = 0; i < 4; ++i) {
    AFirst[i] = i;
    for (int p = 0; p < i; ++p)
      if (AIndexes[p] == AIndexes[i]) {
        AFirst[i] = p;
        break;
      }
  }
}

}  // namespace

void TKvYJKBaseImage::ConvertPlainRows(int AFirst, int ALast, const TKvYJKWindow* ATable,
                                       uint32_t (*APreview)(int, int, int)) {
  const int groups = (FWidth + 3) / 4;
  for (int row = AFirst; row <= ALast; ++row) {
    if (Aborted(Abort)) ::Abort();
    int bestK = 0, bestJ = 0;
    for (int g = 0; g < groups; ++g) {
      int idx[4], first[4], kMin, kMax, jMin, jMax;
      LoadGroup(g, row, ATable, idx, kMin, kMax, jMin, jMax);
      SameColors(idx, first);
      // The least error; among equal errors the smallest |K| + |J|, then the
      // first pair in K, J order. A pair drops out as soon as the errors of
      // its first pixels (never less than the whole sum) lose.
      double best = 0;
      int bestSize = 0;
      bool found = false;
      ForEachPair(kMin, kMax, jMin, jMax, bestK, bestJ, [&](int k, int j) {
        const int size = std::abs(k) + std::abs(j);
        auto beaten = [&](double e) {
          return found && std::tie(e, size, k, j) > std::tie(best, bestSize, bestK, bestJ);
        };
        if (beaten(0)) return;
        double t[4] = {0, 0, 0, 0};
        double e = 0;
        for (int i = 0; i < 4; ++i) {
          t[i] = first[i] < i ? t[first[i]] : GroupBestY(idx[i], k, j).Err;
          e += t[i];
          if (beaten(e)) return;
        }
        found = true;
        best = e;
        bestSize = size;
        bestK = k;
        bestJ = j;
      });
      int values[4];
      uint32_t colors[4];
      for (int i = 0; i < 4; ++i) {
        values[i] = GroupBestY(idx[i], bestK, bestJ).Y;
        colors[i] = APreview(values[i], bestK, bestJ);
      }
      StoreGroup(g, row, values, bestK, bestJ, colors);
    }
    if (Progress) Progress->IncProgress();
  }
}

void TKvYJKBaseImage::BeginConversion(bool* AAbort, TKvDestProgress* AProgress, TKvDestEngineOptions& AOptions,
                                      TKvBitmapData* ATarget) {
  EdgeColor.InitLinRGB(LinRGBBlack);
  Abort = AAbort;
  Progress = AProgress;
  Target = ATarget;
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  Levels = TKvPaletteRGB::CreateType(ptRGB555, false);
  Result = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  FLevelColors.resize(32768);
  for (int i = 0; i < 32768; ++i) FLevelColors[static_cast<size_t>(i)] = Levels->GetLinRGB(i);
  uint8_t r, g, b;
  Levels->GetLevelIndexes(EdgeColor.GetStdRGB(), r, g, b);
  FEdgeIndex = r * 1024 + g * 32 + b;
  // The tables follow from the formula, its Y step and the fixed levels
  // alone: made once per formula and kept.
  static std::mutex madeLock;
  static std::vector<std::pair<std::pair<std::type_index, int>, std::shared_ptr<const TGroupTables>>> made;
  const std::pair<std::type_index, int> key{std::type_index(typeid(*this)), YStep};
  std::lock_guard<std::mutex> guard(madeLock);
  for (const auto& [k, t] : made)
    if (k == key) {
      FGroupTables = t;
      return;
    }
  auto tables = std::make_shared<TGroupTables>();
  TCandidates cand;
  for (int k = -32; k < 32; ++k)
    for (int j = -32; j < 32; ++j) {
      FillCandidates(k, j, cand);
      TGroupTables::TLevels& l = tables->Pairs[(k + 32) * 64 + (j + 32)];
      for (int n = 0; n < cand.Count; ++n) {
        l.R[n] = static_cast<uint8_t>(cand.Index[n] >> 10);
        l.G[n] = static_cast<uint8_t>((cand.Index[n] >> 5) & 31);
        l.B[n] = static_cast<uint8_t>(cand.Index[n] & 31);
      }
      tables->Count = cand.Count;
      const uint8_t* levels[3] = {l.R, l.G, l.B};
      // A formula whose levels fell somewhere would have its candidates
      // searched whole.
      bool rising = true;
      for (int c = 0; c < 3; ++c)
        for (int n = 1; n < cand.Count; ++n) rising = rising && levels[c][n - 1] <= levels[c][n];
      for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 32; ++v) {
          int atMost = -1, atLeast = cand.Count;
          for (int n = 0; rising && n < cand.Count; ++n) {
            if (levels[c][n] <= v) atMost = n;
            if (levels[c][n] >= v && atLeast == cand.Count) atLeast = n;
          }
          l.AtMost[c][v] = static_cast<int8_t>(atMost);
          l.AtLeast[c][v] = static_cast<int8_t>(atLeast);
        }
    }
  double lin[3][32];
  for (int a = 0; a < 32; ++a) {
    lin[0][a] = FLevelColors[static_cast<size_t>(a * 1024)].R;
    lin[1][a] = FLevelColors[static_cast<size_t>(a * 32)].G;
    lin[2][a] = FLevelColors[static_cast<size_t>(a)].B;
  }
  tables->Separable = true;
  for (int i = 0; i < 32768 && tables->Separable; ++i) {
    const TKvLinRGBColor& v = FLevelColors[static_cast<size_t>(i)];
    tables->Separable = v.R == lin[0][i >> 10] && v.G == lin[1][(i >> 5) & 31] && v.B == lin[2][i & 31];
  }
  for (int c = 0; c < 3; ++c)
    for (int a = 0; a < 32; ++a)
      for (int e = 0; e < 32; ++e) {
        const double d = lin[c][a] - lin[c][e];
        tables->Squares[c][a][e] = d * d;
      }
  FGroupTables = tables;
  made.emplace_back(key, std::move(tables));
}

void TKvYJKBaseImage::DitherTo15Bit(TKvDestEngineOptions& AOptions) {
  FIndexes.assign(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), 0);
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  bool LMirror = false;
  for (int y = 0; y < FHeight; ++y) {
    SetMirror(LMirror);
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(Abort)) ::Abort();
      PKvPixel p = GetPixels(x, y);
      const int k = Levels->FindNearestByMetric(AOptions.ColorDiffMethod, *p);
      const TKvLinRGBColor o = p->GetLinRGB();
      const TKvLinRGBColor& c = FLevelColors[static_cast<size_t>(k)];
      p->SetLinRGB(c);
      FIndexes[static_cast<size_t>(y) * FWidth + (LMirror ? FWidth - 1 - x : x)] = static_cast<uint16_t>(k);
      DiffuseError(x, y, AOptions.DitherMethod,
                   TKvLinRGBColor{(o.R - c.R) * LStrength, (o.G - c.G) * LStrength, (o.B - c.B) * LStrength});
    }
    if (AOptions.Serpentine) LMirror = !LMirror;
  }
  SetMirror(false);
}

// Pixels of a row routine run below which one thread does all rows: a
// group costs some 0.3 to 3 us, so smaller pictures take less than handing
// work over does on a busy machine.
constexpr int64_t KvYJKMinPixelsPerJob = 16384;

void TKvYJKBaseImage::RunRows() {
  const int64_t pixels = static_cast<int64_t>(FWidth) * FHeight;
  const int jobs = static_cast<int>(std::min<int64_t>({ProcessorCount, pixels / KvYJKMinPixelsPerJob, FHeight}));
  if (jobs < 2) {
    TKvRowRunScope state;
    ConvertRows(0, FHeight - 1);
    return;
  }
  std::atomic<int> next{0};
  // Some 16 takes per job: few enough that the counter costs nothing, many
  // enough that the jobs end together.
  const int grain = std::clamp(FHeight / (16 * jobs), 1, 8);
  TKvJobList list;
  for (int k = 0; k < jobs; ++k) new TKvYJKRowsJob(&list, this, next, grain);
  list.RunWithCaller(Abort);
}

std::unique_ptr<TKvBitmap24> TKvYJKBaseImage::ConvertOnePass(bool* AAbort, TKvDestProgress* AProgress,
                                                              TKvDestEngineOptions& AOptions,
                                                              TKvBitmapData* ATarget) {
  BeginConversion(AAbort, AProgress, AOptions, ATarget);
  DitherTo15Bit(AOptions);
  if (Progress) Progress->SetProgress(FHeight, 0);
  RunRows();
  EndConversion();
  return std::move(Result);
}

void TKvYJKBaseImage::EndConversion() {
  FGroupTables.reset();
  Levels.reset();
  FIndexes.clear();
  FLevelColors.clear();
}

void TKvYJKBaseImage::LoadGroup(int AGroup, int ARow, const TKvYJKWindow* ATable, int (&AIndexes)[4], int& AKMin,
                                int& AKMax, int& AJMin, int& AJMax) const {
  AKMin = AJMin = 127;
  AKMax = AJMax = -128;
  for (int i = 0; i < 4; ++i) {
    const int x = 4 * AGroup + i;
    AIndexes[i] = x < FWidth ? FIndexes[static_cast<size_t>(ARow) * FWidth + x] : FEdgeIndex;
    const TKvYJKWindow& w = ATable[AIndexes[i]];
    AKMin = std::min<int>(AKMin, w.KMin);
    AKMax = std::max<int>(AKMax, w.KMax);
    AJMin = std::min<int>(AJMin, w.JMin);
    AJMax = std::max<int>(AJMax, w.JMax);
  }
}

void TKvYJKBaseImage::StoreGroup(int AGroup, int ARow, const int (&AValues)[4], int AK, int AJ,
                                 const uint32_t (&AColors)[4]) {
  for (int i = 0; i < 4; ++i) {
    const int x = 4 * AGroup + i;
    if (x >= FWidth) break;
    Target->SetPixel(x, ARow, YJKGroupByte(AValues[i], i, AK, AJ));
    Result->SetPixel(x, ARow, static_cast<int>(AColors[i]));
  }
}

void TKvYJKImage::FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const {
  YJKToLevels(AY, AK, AJ, AR, AG, AB);
}

void TKvYUVImage::FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const {
  YUVToLevels(AY, AK, AJ, AR, AG, AB);
}

std::unique_ptr<TKvBitmap24> TKvYJKImage::Convert(bool* AAbort, TKvDestProgress* AProgress,
                                                  TKvDestEngineOptions& AOptions, TKvBitmapData* ATarget) {
  FWindows = YJKWindows();
  FPreview = &YJKToRGB;
  return ConvertOnePass(AAbort, AProgress, AOptions, ATarget);
}

std::unique_ptr<TKvBitmap24> TKvYUVImage::Convert(bool* AAbort, TKvDestProgress* AProgress,
                                                  TKvDestEngineOptions& AOptions, TKvBitmapData* ATarget) {
  FWindows = YUVWindows();
  FPreview = &YUVToRGB;
  return ConvertOnePass(AAbort, AProgress, AOptions, ATarget);
}

void TKvYJKImage::ConvertRows(int AFirst, int ALast) { ConvertPlainRows(AFirst, ALast, FWindows, FPreview); }

TKvYJKYAEImage::TKvYJKYAEImage(TBitmap32& ABitmap) : TKvYJKBaseImage(ABitmap) { YStep = 2; }

void TKvYJKYAEImage::FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const {
  YJKToLevels(AY, AK, AJ, AR, AG, AB);
}

void TKvYJKYAEImage::ConvertRows(int AFirst, int ALast) {
  if (FBuildingFronts)
    BuildFrontRows(AFirst, ALast);
  else if (FWithPalette)
    ConvertYJKYAERows(AFirst, ALast);
  else
    ConvertYJKRows(AFirst, ALast);
}

std::unique_ptr<TKvBitmap24> TKvYJKYAEImage::ConvertYJK(bool* AAbort, TKvDestProgress* AProgress,
                                                        TKvDestEngineOptions& AOptions, TKvBitmapData* ATarget) {
  FWithPalette = false;
  return ConvertOnePass(AAbort, AProgress, AOptions, ATarget);
}

void TKvYJKYAEImage::ConvertYJKRows(int AFirst, int ALast) {
  ConvertPlainRows(AFirst, ALast, YJKEvenWindows(), &YJKToRGB);
}

void TKvYJKYAEImage::BestYAE(const TBestY& AY, int ANearest, double ANearestDist, int& AValue, double& AErr,
                             double& AYJKErr) const {
  AValue = AY.Y;
  AErr = AY.Err;
  AYJKErr = AY.Err;
  if (ANearest >= 0 && ANearestDist < AY.Err) {
    AValue = 2 * ANearest + 1;
    AErr = ANearestDist;
  }
}

void TKvYJKYAEImage::BuildFrontRows(int AFirst, int ALast) {
  const TKvYJKWindow* table = YJKEvenWindows();
  const int groups = (FWidth + 3) / 4;
  struct TPair {
    int Size, K, J;
    double Err[4];
    int Y[4];
  };
  std::vector<TPair> pairs;
  std::vector<int> order;
  std::vector<const TPair*> kept;
  int bySize[130];
  for (int row = AFirst; row <= ALast; ++row) {
    if (Aborted(Abort)) ::Abort();
    std::vector<TFrontPair>& front = FFronts[static_cast<size_t>(row)];
    std::vector<TFrontGroup>& starts = FFrontFirst[static_cast<size_t>(row)];
    // Room for about as many pairs as the row above kept.
    front.clear();
    front.reserve(row > AFirst ? FFronts[static_cast<size_t>(row) - 1].size() * 5 / 4 + 16 : 0);
    starts.assign(static_cast<size_t>(groups) + 1, TFrontGroup{0, 0, {0, 0, 0, 0}});
    for (int g = 0; g < groups; ++g) {
      int idx[4], first[4], kMin, kMax, jMin, jMax;
      LoadGroup(g, row, table, idx, kMin, kMax, jMin, jMax);
      SameColors(idx, first);
      pairs.clear();
      std::fill(std::begin(bySize), std::end(bySize), 0);
      for (int k = kMin; k <= kMax; ++k)
        for (int j = jMin; j <= jMax; ++j) {
          TPair p{std::abs(k) + std::abs(j), k, j, {0, 0, 0, 0}, {0, 0, 0, 0}};
          for (int i = 0; i < 4; ++i) {
            if (first[i] < i) {
              p.Err[i] = p.Err[first[i]];
              p.Y[i] = p.Y[first[i]];
            } else {
              const TBestY y = GroupBestY(idx[i], k, j);
              p.Err[i] = y.Err;
              p.Y[i] = y.Y;
            }
          }
          pairs.push_back(p);
          ++bySize[p.Size + 1];
        }
      // By tie-break: made in K, J order, so placed by |K| + |J| alone. A
      // pair outdone by a kept one of an earlier tie-break is outdone by
      // every pair that outdoes that one too.
      for (int z = 1; z < 130; ++z) bySize[z] += bySize[z - 1];
      order.resize(pairs.size());
      for (size_t q = 0; q < pairs.size(); ++q) order[static_cast<size_t>(bySize[pairs[q].Size]++)] = static_cast<int>(q);
      kept.clear();
      TFrontGroup& group = starts[static_cast<size_t>(g)];
      group.Start = static_cast<int32_t>(front.size());
      double plainErr = 0, maxErr[4] = {0, 0, 0, 0};
      int plainSize = 0, plainK = 0, plainJ = 0;
      for (const int q : order) {
        const TPair& p = pairs[static_cast<size_t>(q)];
        bool outdone = false;
        for (const TPair* q : kept)
          if (q->Err[0] <= p.Err[0] && q->Err[1] <= p.Err[1] && q->Err[2] <= p.Err[2] && q->Err[3] <= p.Err[3]) {
            outdone = true;
            break;
          }
        if (outdone) continue;
        // The choice without palette pixels: as the passes choose when every
        // pixel keeps its Y.
        double e = 0;
        for (int i = 0; i < 4; ++i) {
          e += p.Err[i];
          maxErr[i] = std::max(maxErr[i], p.Err[i]);
        }
        if (kept.empty() || std::tie(e, p.Size, p.K, p.J) < std::tie(plainErr, plainSize, plainK, plainJ)) {
          group.Plain = static_cast<int32_t>(front.size());
          plainErr = e;
          plainSize = p.Size;
          plainK = p.K;
          plainJ = p.J;
        }
        kept.push_back(&p);
        const TGroupTables::TLevels& l = FGroupTables->Pairs[(p.K + 32) * 64 + (p.J + 32)];
        TFrontPair& f = front.emplace_back();
        f.K = static_cast<int8_t>(p.K);
        f.J = static_cast<int8_t>(p.J);
        f.Candidates = 0;
        for (int i = 0; i < 4; ++i) {
          const int n = p.Y[i] / YStep;
          f.Candidates = static_cast<uint16_t>(f.Candidates | n << (4 * i));
          f.Levels[i][0] = l.R[n];
          f.Levels[i][1] = l.G[n];
          f.Levels[i][2] = l.B[n];
        }
      }
      for (int i = 0; i < 4; ++i) {
        float m = static_cast<float>(maxErr[i]);
        if (static_cast<double>(m) < maxErr[i]) m = std::nextafter(m, std::numeric_limits<float>::infinity());
        group.MaxErr[i] = m;
      }
      starts[static_cast<size_t>(g) + 1].Start = static_cast<int32_t>(front.size());
    }
    // Past the budget the row keeps nothing: its passes search every pair.
    if (front.capacity() > front.size() * 3 / 2) front.shrink_to_fit();
    const auto size = static_cast<int64_t>(front.capacity() * sizeof(TFrontPair) + starts.size() * sizeof(TFrontGroup));
    if (FFrontRoom.fetch_sub(size, std::memory_order_relaxed) < size) {
      FFrontRoom.fetch_add(size, std::memory_order_relaxed);
      std::vector<TFrontPair>().swap(front);
      std::vector<TFrontGroup>().swap(starts);
    }
  }
}

void TKvYJKYAEImage::ConvertYJKYAERows(int AFirst, int ALast) {
  const TKvYJKWindow* table = YJKEvenWindows();
  const int groups = (FWidth + 3) / 4;
  const bool hasColors = YAEPalette.Count > 0;
  for (int row = AFirst; row <= ALast; ++row) {
    if (Aborted(Abort)) ::Abort();
    const std::vector<TFrontPair>& front = FFronts[static_cast<size_t>(row)];
    const std::vector<TFrontGroup>& starts = FFrontFirst[static_cast<size_t>(row)];
    const bool hasFront = !starts.empty();
    int bestK = 0, bestJ = 0;
    for (int g = 0; g < groups; ++g) {
      int idx[4], first[4], kMin, kMax, jMin, jMax;
      LoadGroup(g, row, table, idx, kMin, kMax, jMin, jMax);
      SameColors(idx, first);
      // The nearest palette colour of each pixel does not depend on (K, J).
      int nearest[4] = {-1, -1, -1, -1};
      double nearestDist[4] = {0, 0, 0, 0};
      if (hasColors)
        for (int i = 0; i < 4; ++i) {
          nearest[i] = FNearest[static_cast<size_t>(idx[i])];
          nearestDist[i] = FNearestDist[static_cast<size_t>(idx[i])];
        }
      // The least error; among equal errors the fewest palette pixels, then
      // the smallest |K| + |J|, then the first pair in K, J order.
      double best = 0;
      int bestN = 0, bestSize = 0;
      bool found = false;
      TBestY chosen[4] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
      if (hasFront) {
        // Each pixel's error under a kept pair, the same sum as GroupBestY's.
        const TGroupTables& tables = *FGroupTables;
        const double* squares[4][3];
        for (int i = 0; i < 4; ++i) {
          squares[i][0] = tables.Squares[0][idx[i] >> 10];
          squares[i][1] = tables.Squares[1][(idx[i] >> 5) & 31];
          squares[i][2] = tables.Squares[2][idx[i] & 31];
        }
        // When no palette colour is nearer than a pixel's greatest error, no
        // pixel takes one under any pair: the choice is the one without.
        const TFrontGroup& group = starts[static_cast<size_t>(g)];
        bool plain = true;
        for (int i = 0; i < 4; ++i)
          plain = plain && (nearest[i] < 0 || nearestDist[i] >= static_cast<double>(group.MaxErr[i]));
        const int32_t from = plain ? group.Plain : group.Start;
        const int32_t to = plain ? group.Plain + 1 : starts[static_cast<size_t>(g) + 1].Start;
        auto search = [&](auto AErr) {
          for (int32_t at = from; at < to; ++at) {
            const TFrontPair& p = front[static_cast<size_t>(at)];
            const int k = p.K, j = p.J, size = std::abs(k) + std::abs(j);
            double err[4];
            for (int i = 0; i < 4; ++i) err[i] = AErr(i, p.Levels[i]);
            double e = 0;
            int n = 0;
            for (int i = 0; i < 4; ++i) {
              // As BestYAE: the palette colour when it is strictly nearer.
              const bool palette = nearest[i] >= 0 && nearestDist[i] < err[i];
              e += palette ? nearestDist[i] : err[i];
              n += palette ? 1 : 0;
            }
            if (!found || std::tie(e, n, size, k, j) < std::tie(best, bestN, bestSize, bestK, bestJ)) {
              found = true;
              for (int i = 0; i < 4; ++i) chosen[i] = {((p.Candidates >> (4 * i)) & 15) * YStep, err[i]};
              best = e;
              bestN = n;
              bestSize = size;
              bestK = k;
              bestJ = j;
            }
          }
        };
        if (tables.Separable)
          search([&](int i, const uint8_t* l) { return squares[i][0][l[0]] + squares[i][1][l[1]] + squares[i][2][l[2]]; });
        else
          search([&](int i, const uint8_t* l) {
            return Dist2(FLevelColors[static_cast<size_t>(idx[i])],
                         FLevelColors[static_cast<size_t>(l[0] * 1024 + l[1] * 32 + l[2])]);
          });
      } else {
        // Both sums only grow pixel by pixel, so a pair drops out as soon as
        // its first pixels lose.
        ForEachPair(kMin, kMax, jMin, jMax, bestK, bestJ, [&](int k, int j) {
          const int size = std::abs(k) + std::abs(j);
          auto beaten = [&](double e, int n) {
            return found && std::tie(e, n, size, k, j) > std::tie(best, bestN, bestSize, bestK, bestJ);
          };
          if (beaten(0, 0)) return;
          double t[4] = {0, 0, 0, 0};
          int v[4] = {0, 0, 0, 0};
          double e = 0;
          int n = 0;
          for (int i = 0; i < 4; ++i) {
            if (first[i] < i) {
              t[i] = t[first[i]];
              v[i] = v[first[i]];
            } else {
              double yjkErr;
              BestYAE(GroupBestY(idx[i], k, j), nearest[i], nearestDist[i], v[i], t[i], yjkErr);
            }
            e += t[i];
            n += v[i] & 1;
            if (beaten(e, n)) return;
          }
          found = true;
          best = e;
          bestN = n;
          bestSize = size;
          bestK = k;
          bestJ = j;
        });
        for (int i = 0; i < 4; ++i) chosen[i] = GroupBestY(idx[i], bestK, bestJ);
      }
      int values[4];
      uint32_t colors[4];
      for (int i = 0; i < 4; ++i) {
        double err, yjkErr;
        BestYAE(chosen[i], nearest[i], nearestDist[i], values[i], err, yjkErr);
        colors[i] = YAEToRGB(YAEPalette, values[i], bestK, bestJ);
        // Fixed point, so that the sums do not depend on how the rows were
        // split among the jobs.
        if (yjkErr > 0) AddColorSum(FHistogramSums, idx[i], std::llround(yjkErr * 100000 * kHistogramScale));
      }
      StoreGroup(g, row, values, bestK, bestJ, colors);
    }
    if (Progress) Progress->IncProgress();
  }
}

std::unique_ptr<TKvBitmap24> TKvYJKYAEImage::ConvertYJKYAE(bool* AAbort, TKvDestProgress* AProgress,
                                                           TKvDestEngineOptions& AOptions,
                                                           TKvBitmapData* ATarget) {
  FWithPalette = true;
  BeginConversion(AAbort, AProgress, AOptions, ATarget);
  DitherTo15Bit(AOptions);
  V9958 = TKvPaletteRGB::CreateType(ptMSX9958, false);
  Histogram.assign(32768, 0.0);
  FHistogramSums.assign(32768, 0);
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  TKvPalette256& LResult = *AOptions.GetPalette();
  if (Progress) Progress->SetProgress(LFixed.Count == 16 ? FHeight : 17 * FHeight, 0);
  try {
    FFronts.assign(static_cast<size_t>(FHeight), {});
    FFrontFirst.assign(static_cast<size_t>(FHeight), {});
    FFrontRoom.store(KvYAEFrontBudget, std::memory_order_relaxed);
    std::vector<uint8_t> used(32768, 0);
    for (const uint16_t c : FIndexes) used[c] = 1;
    used[static_cast<size_t>(FEdgeIndex)] = 1;
    FNearest.assign(32768, -1);
    FNearestDist.assign(32768, 0.0);
    FBuildingFronts = true;
    RunRows();
    FBuildingFronts = false;
    for (int k = 0; k < 16; ++k) {
      YAEPalette.Clear();
      if (k == 0) {
        YAEPalette.Assign(&LFixed);
      } else {
        for (size_t i = 0; i < Histogram.size(); ++i) Histogram[i] = FHistogramSums[i] / kHistogramScale;
        if (std::any_of(Histogram.begin(), Histogram.end(), [](double v) { return v != 0; })) {
          TKvQuantization LQuantization;
          LQuantization.QuantizeHistogram(Abort, Histogram.data(), 16, false, 0, YAEPalette, LFixed, *Levels,
                                          V9958.get());
        } else {
          YAEPalette.Assign(&LFixed);
        }
        if (LResult.SameColors(&YAEPalette)) break;
      }
      YAEPalette.UpdateCache();
      LResult.Assign(&YAEPalette);
      std::fill(FHistogramSums.begin(), FHistogramSums.end(), 0);
      // Each colour of the picture looked up once: its nearest palette
      // colour does not depend on the group.
      if (YAEPalette.Count > 0)
        for (int c = 0; c < 32768; ++c)
          if (used[static_cast<size_t>(c)]) {
            const TKvLinRGBColor& v = FLevelColors[static_cast<size_t>(c)];
            const int n = YAEPalette.FindNearest(v);
            FNearest[static_cast<size_t>(c)] = static_cast<int8_t>(n);
            FNearestDist[static_cast<size_t>(c)] = Dist2(v, YAEPalette.GetLinRGB(n));
          }
      RunRows();
      if (LFixed.Count == 16) break;
    }
  } catch (...) {
    EndYJKYAE();
    throw;
  }
  EndYJKYAE();
  return std::move(Result);
}

void TKvYJKYAEImage::EndYJKYAE() {
  FBuildingFronts = false;
  FFronts.clear();
  FFrontFirst.clear();
  FNearest.clear();
  FNearestDist.clear();
  V9958.reset();
  EndConversion();
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

TKvPaletteMode CheckMSXPaletteMode(const TKvDestEngineOptions& AOptions, TKvPaletteModeSet AModes) {
  if (!AModes.Has(AOptions.PaletteMode)) RaiseOSError(ERROR_INVALID_PARAMETER);
  return static_cast<TKvPaletteMode>(AOptions.PaletteMode);
}

// The two block limits mean nothing to a black-and-white picture: they are
// enabled while the mode list shows anything but its first item.
static void AddBlockLimitRelations(TKvDestEngineUIEx& APanel) {
  APanel.AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  APanel.AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

TKvMSXScr2EngineOptions::TKvMSXScr2EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetPaletteMode(pmColor);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
}

TKvMSXScr2EngineUI::TKvMSXScr2EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

std::unique_ptr<TKvBitmap> TKvMSXScr2Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvMSXScr2Screen screen(AArgs.Streams->NewStream("sc2", TKvMSXScr2Screen::GetFileSize())->GetMemory(), nullptr, 0xF1);
  if (mode == pmBlackWhite) {
    TKvImage image(AArgs.Bitmap);
    return image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  }
  BuildMSXPalette(*options.GetPalette());
  if (mode == pmGray) options.SetUseAsGrayPalette(true);
  TKvMSXScr2ColorImage image(8, 1, AArgs.Bitmap);
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
}

// ---------------------------------------------------------------------------
// SCREEN 3

TKvMSXScr3EngineOptions::TKvMSXScr3EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetPaletteMode(pmColor);
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
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvMSXScr3Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvMSXScr3Screen screen(AArgs.Streams->NewStream("sc3", TKvMSXScr3Screen::GetFileSize())->GetMemory());
  TKvPalette256& fixed = *options.GetFixedPalette();
  BuildMSXPalette(fixed);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  if (mode != pmBlackWhite) image.FitToPaletteGray(fixed);
  if (mode == pmBlackWhite) return image.ConvertBW(AArgs.Abort, options, &screen, &fixed, 1, 15);
  TKvPalette256& result = *options.GetPalette();
  if (mode == pmGray) {
    BuildMSXGrayPalette(result);
    options.SetUseAsGrayPalette(true);
  } else {
    BuildMSXPalette(result);
    // Codes 1..15: black is code 1, never the transparent code 0.
    result.Delete(0);
  }
  return image.ConvertIndexed(AArgs.Abort, options, &screen, result, &fixed);
}

// ---------------------------------------------------------------------------
// SCREEN 4

TKvMSXScr4EngineOptions::TKvMSXScr4EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetPaletteType(ptMSX9938);
}

void TKvMSXScr4EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(PaletteType == ptMSX9958 ? ptMSX9958 : ptMSX9938, false);
}

TKvMSXScr4EngineUI::TKvMSXScr4EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  const int types = AddCustomPaletteComboBox();
  AddSectionItem(types, ptMSX9938);
  AddSectionItem(types, ptMSX9958);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

TKvPalette* TKvMSXScr4EngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

std::unique_ptr<TKvBitmap> TKvMSXScr4Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  const auto type = static_cast<TKvPaletteType>(options.PaletteType);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* memory = AArgs.Streams->NewStream("sc4", TKvMSXScr4Screen::GetFileSize())->GetMemory();
  TKvPalette256& result = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmBlackWhite) {
    result.FillBlackWhite();
    int dark = 0, light = 1;
    fixed.AddColorPair(&result, 16, dark, light);
    TKvMSXScr4Screen screen(memory, &fixed, static_cast<uint8_t>((light << 4) | dark));
    TKvImage image(AArgs.Bitmap);
    preview = image.ConvertBWBits(AArgs.Abort, options, &screen, &fixed, dark, light);
    result.Assign(&fixed);
  } else if (mode == pmGray) {
    auto levels = TKvPaletteRGB::CreateType(type, true);
    TKvMSXScr4ColorImage image(8, 1, AArgs.Bitmap);
    AdjustOnce(image, options);
    int dark = 0, light = 0;
    const bool ok = TKvDestEngine::ReducePalette(AArgs.Abort, image, *levels->GrayPalette, 16, options, dark, light);
    TKvMSXScr4Screen screen(memory, &fixed, ok ? 0xF1 : static_cast<uint8_t>((light << 4) | dark));
    if (ok)
      preview = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
    else
      preview = image.ConvertBWBits(AArgs.Abort, options, &screen, &fixed, dark, light);
    result.Assign(&fixed);
  } else {
    auto levels = TKvPaletteRGB::CreateType(type, false);
    TKvMSXScr4ColorImage image(8, 1, AArgs.Bitmap);
    AdjustOnce(image, options);
    TKvDestEngine::QuantizePalette(AArgs.Abort, image, *levels, 16, options);
    TKvMSXScr4Screen screen(memory, &result, 0xF1);
    image.FitToPaletteGray(result);
    preview = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  }
  return preview;
}

// ---------------------------------------------------------------------------
// SCREEN 5 to 8, 10 and 12

void PutMSXLevelPalette(uint8_t* AEntries, const TKvPalette256& APalette, const TKvPaletteRGB& ALevels) {
  const int n = std::min(APalette.Count, 16);
  for (int i = 0; i < n; ++i) {
    uint8_t r, g, b;
    ALevels.GetLevelIndexes(APalette.GetStdRGB(i), r, g, b);
    AEntries[2 * i] = static_cast<uint8_t>((r << 4) | b);
    AEntries[2 * i + 1] = g;
  }
}

namespace {

constexpr int kBitmapRows = 212;

TKvStreamList& StreamsOf(std::unique_ptr<TKvStreamList>& AStreams) {
  if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
  return *AStreams;
}

// A BSAVE screen file of ARowBytes-byte rows AFirst, AFirst + AStep, ...
void FillBsaveFile(uint8_t* AFile, int AFileSize, TKvBitmapData& AScreen, int AFirst, int AStep, int ARowBytes) {
  InitBsaveHeader(AFile, AFileSize - BsaveHeaderSize, 0);
  for (int r = 0; r < kBitmapRows; ++r)
    std::memcpy(AFile + BsaveHeaderSize + r * ARowBytes, AScreen.GetScanline(AFirst + r * AStep),
                static_cast<size_t>(ARowBytes));
}

int64_t GlDataSize(int64_t APixels, int ABits) { return (APixels * ABits + 7) / 8; }

}  // namespace

void AddMSXBsaveStreams(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                        TKvBitmapData& AScreen, const TKvPaletteRGB* ALevels, const TKvMSXBitmapMode& AMode) {
  const int step = AMode.Interlaced ? 2 : 1;
  if (AScreen.Width != AMode.NativeWidth || AScreen.Height != kBitmapRows * step) return;
  const int rowBytes = AMode.NativeWidth * AMode.Bits / 8;
  TKvStream* main = StreamsOf(AStreams).NewStream(AMode.Ext, AMode.FileSize);
  FillBsaveFile(main->GetMemory(), AMode.FileSize, AScreen, 0, step, rowBytes);
  if (AMode.PaletteOffset && ALevels)
    PutMSXLevelPalette(main->GetMemory() + AMode.PaletteOffset, *AOptions.GetPalette(), *ALevels);
  if (AMode.Interlaced) {
    TKvStream* odd = main->NewSubStream(AMode.OddExt, AMode.OddFileSize);
    FillBsaveFile(odd->GetMemory(), AMode.OddFileSize, AScreen, 1, 2, rowBytes);
  }
}

void AddMSXGlStreams(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                     TKvBitmapData& AScreen, const TKvPaletteRGB* ALevels, const TKvMSXBitmapMode& AMode) {
  if (AMode.Interlaced || !AMode.GlExt) return;
  const int w = AScreen.Width, h = AScreen.Height;
  const int64_t size = GlDataSize(static_cast<int64_t>(w) * h, AMode.Bits) + 4;
  TKvStream* gl = StreamsOf(AStreams).NewStream(AMode.GlExt, static_cast<int>(size));
  uint8_t* d = gl->GetMemory();
  d[0] = static_cast<uint8_t>(w);
  d[1] = static_cast<uint8_t>(w >> 8);
  d[2] = static_cast<uint8_t>(h);
  d[3] = static_cast<uint8_t>(h >> 8);
  d += 4;
  if (AMode.Bits == 8) {
    for (int y = 0; y < h; ++y) std::memcpy(d + static_cast<ptrdiff_t>(y) * w, AScreen.GetScanline(y), static_cast<size_t>(w));
  } else {
    // Pixels run on across row ends, the first of a byte in its top bits.
    const int perByte = 8 / AMode.Bits, mask = (1 << AMode.Bits) - 1;
    int64_t n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x, ++n) {
        const int shift = 8 - AMode.Bits * (1 + static_cast<int>(n % perByte));
        d[n / perByte] = static_cast<uint8_t>(d[n / perByte] | ((AScreen.GetPixel(x, y) & mask) << shift));
      }
  }
  if (AMode.PlExt && ALevels) {
    // Eight copies of the palette, one every 32 bytes.
    uint8_t* pl = gl->NewSubStream(AMode.PlExt, 256)->GetMemory();
    for (int k = 0; k < 8; ++k) PutMSXLevelPalette(pl + 32 * k, *AOptions.GetPalette(), *ALevels);
  }
}

void AddMSXMagStream(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                     TKvBitmapData& AScreen, const TKvPalette256* APalette, const TKvMSXBitmapMode& AMode) {
  // The MAG units of SCREEN 6 are two pixels wide.
  if (AMode.Bits == 2 && (AScreen.Width & 1)) return;
  TKvStream* mag = StreamsOf(AStreams).NewStream("mag", 0);
  EncodeMag(AMode.MagName, 3, AMode.MagFlag, AMode.MagScreenMode, AScreen.GetScanline(0),
            AScreen.Width * AMode.MagWidthNum / AMode.MagWidthDen, AScreen.Stride / 2, AScreen.Height,
            APalette ? APalette : AOptions.GetPalette(), AMode.Colors > 16 && !APalette ? 16 : AMode.Colors,
            AOptions.Comment, *mag);
}

namespace {

// SCREEN 5, 6 and 7: 16 (or 4) colours of the palette type's levels.
std::unique_ptr<TKvBitmap> ConvertPaletted(TKvConvertArgs& AArgs, const TKvMSXBitmapMode& AMode) {
  TKvDestEngineOptions& options = AArgs.Options;
  bool* abort = AArgs.Abort;
  TBitmap32& bitmap = AArgs.Bitmap;
  const int k = AMode.Colors;
  const TKvPaletteModeSet modes = PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom);
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, k == 4 ? modes | PaletteModes(pmColorBright) : modes);
  TKvImage image(bitmap);
  AdjustOnce(image, options);
  auto levels = TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>(options.PaletteType), mode == pmGray);
  std::unique_ptr<TKvBitmapData> screen;
  if (AMode.Bits == 2)
    screen = std::make_unique<TKvMSXScreen2>(bitmap.GetWidth(), bitmap.GetHeight());
  else
    screen = std::make_unique<TKvMSXScreen4>(bitmap.GetWidth(), bitmap.GetHeight());
  // Colour (bright): the colours nearest to the half- and full-level primaries
  // and mixtures.
  TKvPalette256 primaries;
  if (mode == pmColorBright) primaries.FillNearestGBR16(levels.get());
  TKvPalette& colors = mode == pmColorBright ? static_cast<TKvPalette&>(primaries) : *levels;
  auto preview =
      TKvDestEngine::ConvertChosenColors(abort, image, screen.get(), levels->GrayPalette.get(), colors, k, options);
  AddMSXBsaveStreams(options, AArgs.Streams, *screen, levels.get(), AMode);
  AddMSXGlStreams(options, AArgs.Streams, *screen, levels.get(), AMode);
  AddMSXMagStream(options, AArgs.Streams, *screen, nullptr, AMode);
  return preview;
}

// SCREEN 8: the 256 fixed colours GGGRRRBB.
std::unique_ptr<TKvBitmap> ConvertScreen8(TKvConvertArgs& AArgs, const TKvMSXBitmapMode& AMode) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256 colors;
  BuildMSXScreen8Palette(colors, options.PaletteType == ptMSX9958);
  TKvMSXScreen8 screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
  TKvPalette256& result = *options.GetPalette();
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmBlackWhite) {
    preview = image.ConvertBW(AArgs.Abort, options, &screen, &colors, 0, 255);
  } else if (mode == pmGray) {
    // The grays of the four blue levels, as the nearest of the 256 colours.
    result.Clear();
    for (int i = 0; i < 4; ++i) {
      const TKvStdRGBColor c = colors.GetStdRGB(i);
      result.AddStdRGB(colors.GetStdRGB(colors.FindNearestStdRGB(StdRGBColor(c.B, c.B, c.B))));
    }
    options.SetUseAsGrayPalette(true);
    preview = image.ConvertIndexed(AArgs.Abort, options, &screen, result, &colors);
  } else {
    result.Assign(&colors);
    preview = image.ConvertIndexed(AArgs.Abort, options, &screen, result, nullptr);
  }
  AddMSXBsaveStreams(options, AArgs.Streams, screen, nullptr, AMode);
  AddMSXGlStreams(options, AArgs.Streams, screen, nullptr, AMode);
  AddMSXMagStream(options, AArgs.Streams, screen, &colors, AMode);
  return preview;
}

// SCREEN 10: YJK with even Y, or with palette pixels ("YJK+YAE").
std::unique_ptr<TKvBitmap> ConvertScreen10(TKvConvertArgs& AArgs, const TKvMSXBitmapMode& AMode) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvYJKYAEImage image(AArgs.Bitmap);
  options.GetPalette()->Clear();
  TKvMSXScreen8 screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
  std::unique_ptr<TKvBitmap> preview = options.PaletteType == ptMSXYJK
                                           ? image.ConvertYJK(AArgs.Abort, &AArgs.Progress, options, &screen)
                                           : image.ConvertYJKYAE(AArgs.Abort, &AArgs.Progress, options, &screen);
  auto levels = TKvPaletteRGB::CreateType(ptMSX9958, false);
  AddMSXBsaveStreams(options, AArgs.Streams, screen, levels.get(), AMode);
  AddMSXGlStreams(options, AArgs.Streams, screen, levels.get(), AMode);
  AddMSXMagStream(options, AArgs.Streams, screen, nullptr, AMode);
  return preview;
}

// SCREEN 12: YJK with 5-bit Y.
std::unique_ptr<TKvBitmap> ConvertScreen12(TKvConvertArgs& AArgs, const TKvMSXBitmapMode& AMode) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvYJKImage image(AArgs.Bitmap);
  TKvMSXScreen8 screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
  std::unique_ptr<TKvBitmap> preview = image.Convert(AArgs.Abort, &AArgs.Progress, options, &screen);
  AddMSXBsaveStreams(options, AArgs.Streams, screen, nullptr, AMode);
  AddMSXGlStreams(options, AArgs.Streams, screen, nullptr, AMode);
  AddMSXMagStream(options, AArgs.Streams, screen, nullptr, AMode);
  return preview;
}

constexpr int32_t kMSX2 = MagMachineName("MSX2");
constexpr int32_t kMSXPlus = MagMachineName("MSX+");

}  // namespace

// In the order of TKvMSXBitmapModeId.
const TKvMSXBitmapMode MSXBitmapModes[MSXBitmapModeCount] = {
    {.Name = "5 256x212x4", .Convert = &ConvertPaletted, .Colors = 16, .Bits = 4, .NativeWidth = 256,
     .Ext = "sc5", .FileSize = 30375, .PaletteOffset = 30343, .GlExt = "gl5", .PlExt = "pl5",
     .MagName = kMSX2, .MagFlag = 0x54},
    {.Name = "5 256x424x4 Interlaced", .Convert = &ConvertPaletted, .Colors = 16, .Bits = 4, .NativeWidth = 256,
     .Interlaced = true, .Ext = "sc5", .FileSize = 30375, .PaletteOffset = 30343, .OddExt = "s15", .OddFileSize = 27143,
     .MagName = kMSX2, .MagFlag = 0x50},
    {.Name = "6 512x212x2", .Convert = &ConvertPaletted, .Colors = 4, .Bits = 2, .NativeWidth = 512,
     .Ext = "sc6", .FileSize = 30375, .PaletteOffset = 30343, .GlExt = "gl6", .PlExt = "pl6",
     .MagName = kMSX2, .MagFlag = 0x64, .MagWidthDen = 2},
    {.Name = "6 512x424x2 Interlaced", .Convert = &ConvertPaletted, .Colors = 4, .Bits = 2, .NativeWidth = 512,
     .Interlaced = true, .Ext = "sc6", .FileSize = 30375, .PaletteOffset = 30343, .OddExt = "s16", .OddFileSize = 27143,
     .MagName = kMSX2, .MagFlag = 0x60, .MagWidthDen = 2},
    {.Name = "7 512x212x4", .Convert = &ConvertPaletted, .Colors = 16, .Bits = 4, .NativeWidth = 512,
     .Ext = "sc7", .FileSize = 64167, .PaletteOffset = 64135, .GlExt = "gl7", .PlExt = "pl7",
     .MagName = kMSX2, .MagFlag = 0x04, .MagScreenMode = 1},
    {.Name = "7 512x424x4 Interlaced", .Convert = &ConvertPaletted, .Colors = 16, .Bits = 4, .NativeWidth = 512,
     .Interlaced = true, .Ext = "sc7", .FileSize = 64167, .PaletteOffset = 64135, .OddExt = "s17", .OddFileSize = 54279,
     .MagName = kMSX2, .MagFlag = 0x00},
    {.Name = "8 256x212x8", .Convert = &ConvertScreen8, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Ext = "sc8", .FileSize = 54279, .GlExt = "gl8",
     .MagName = kMSX2, .MagFlag = 0x14, .MagScreenMode = 0x80},
    {.Name = "8 256x424x8 Interlaced", .Convert = &ConvertScreen8, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Interlaced = true, .Ext = "sc8", .FileSize = 54279, .OddExt = "s18", .OddFileSize = 54279,
     .MagName = kMSX2, .MagFlag = 0x10, .MagScreenMode = 0x80},
    {.Name = "10 256x212x12", .Convert = &ConvertScreen10, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Ext = "sca", .FileSize = 64167, .PaletteOffset = 64135, .GlExt = "gla", .PlExt = "pla",
     .MagName = kMSXPlus, .MagFlag = 0x24, .MagScreenMode = 1, .MagWidthNum = 2},
    {.Name = "10 256x424x12 Interlaced", .Convert = &ConvertScreen10, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Interlaced = true, .Ext = "sca", .FileSize = 64167, .PaletteOffset = 64135, .OddExt = "s1a", .OddFileSize = 54279,
     .MagName = kMSXPlus, .MagFlag = 0x20, .MagWidthNum = 2},
    {.Name = "12 256x212x15", .Convert = &ConvertScreen12, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Ext = "scc", .FileSize = 64167, .GlExt = "glc",
     .MagName = kMSXPlus, .MagFlag = 0x44, .MagScreenMode = 1, .MagWidthNum = 2},
    {.Name = "12 256x424x15 Interlaced", .Convert = &ConvertScreen12, .Colors = 256, .Bits = 8, .NativeWidth = 256,
     .Interlaced = true, .Ext = "scc", .FileSize = 54279, .OddExt = "s1c", .OddFileSize = 54279,
     .MagName = kMSXPlus, .MagFlag = 0x40, .MagWidthNum = 2},
};

TKvMSXScr5EngineOptions::TKvMSXScr5EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetPaletteType(ptMSX9938);
  SetPaletteMode(pmColor);
}

void TKvMSXScr5EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>(PaletteType), false);
}

TKvMSXScr6EngineOptions::TKvMSXScr6EngineOptions() {
  SetPixelAspect(pa1p138_2);
  SetErrorDiffusion(80);
  SetPaletteMode(pmColorBright);
}

TKvMSXScr7EngineOptions::TKvMSXScr7EngineOptions() { SetPixelAspect(pa1p138_2); }

TKvMSXScr8EngineOptions::TKvMSXScr8EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetPaletteType(ptMSX9938);
  SetPaletteMode(pmColor);
}

TKvMSXScr12EngineOptions::TKvMSXScr12EngineOptions() {
  SetPaletteType(ptMSXYJK);
  SetPixelAspect(pa1p138_1);
}

void TKvMSXScr12EngineOptions::SetWidth(int32_t AValue) { TKvDestEngineOptions::SetWidth((AValue + 3) & ~3); }

TKvMSXScr10EngineOptions::TKvMSXScr10EngineOptions() = default;

void TKvMSXScr10EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette.reset();
  if (PaletteType == ptMSXYJK_YAE) HardwarePalette = TKvPaletteRGB::CreateType(ptMSX9958, false);
}

namespace {

// The panels of SCREEN 5 to 12: dimension and position; the palette types
// ATypes (none: no palette section) with the mode list AModes (when any) and
// a result palette of AColors colours beside the fixed palette (when
// AColors > 0); dithering and the comment.
void AddBitmapScreenSections(TKvDestEngineUIEx& APanel, std::initializer_list<TKvPaletteType> ATypes,
                             TKvPaletteModeSet AModes, int AColors) {
  APanel.AddDimensionSection(true);
  APanel.AddPositionSection();
  if (ATypes.size() > 0) {
    APanel.AddPaletteSeparator();
    const int types = APanel.AddCustomPaletteComboBox();
    for (const TKvPaletteType type : ATypes) APanel.AddSectionItem(types, type);
    if (AModes != TKvPaletteModeSet{}) APanel.AddPaletteModeSection(AModes);
    if (AColors > 0) {
      APanel.AddDestPalette(AColors, 1, true);
      APanel.AddFixedPaletteSection(16, 1);
    }
  }
  APanel.AddDitheringSection(false);
  APanel.AddCommentSeparator();
  APanel.AddCommentEdit();
}

}  // namespace

TKvMSXScr5EngineUI::TKvMSXScr5EngineUI(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int AColors)
    : TKvDestEngineUIEx(AOptions) {
  AddBitmapScreenSections(*this, {ptMSX9938, ptMSX9958}, AModes, AColors);
}

TKvPalette* TKvMSXScr5EngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

TKvMSXScr8EngineUI::TKvMSXScr8EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddBitmapScreenSections(*this, {ptMSX9938, ptMSX9958}, PaletteModes(pmBlackWhite, pmGray, pmColor), 0);
}

TKvMSXScr10EngineUI::TKvMSXScr10EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddBitmapScreenSections(*this, {ptMSXYJK, ptMSXYJK_YAE}, {}, 16);
}

TKvMSXScr12EngineUI::TKvMSXScr12EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddBitmapScreenSections(*this, {}, {}, 0);
}

// ---------------------------------------------------------------------------

// The bitmap, YJK and interlaced modes of SCREEN 5 to 12 follow "4 256x192x4"
// in this list.
const std::vector<const TKvDestEngineClass*>& MSXDestEngineClasses() {
  return DestEngineClasses<TKvMSXScr2Engine, TKvMSXScr3Engine, TKvMSXScr4Engine, TKvMSXScr5Engine,
                           TKvMSXScr5InterlacedEngine, TKvMSXScr6Engine, TKvMSXScr6InterlacedEngine, TKvMSXScr7Engine,
                           TKvMSXScr7InterlacedEngine, TKvMSXScr8Engine, TKvMSXScr8InterlacedEngine, TKvMSXScr10Engine,
                           TKvMSXScr10InterlacedEngine, TKvMSXScr12Engine, TKvMSXScr12InterlacedEngine>();
}

void InitKvSavePlatformMSX() {
  RegisterDestEngines(MSXDestEngineClasses());
  RegisterDestEngines(V9990DestEngineClasses());
}

// ---------------------------------------------------------------------------
// V9990

void TKvBP16GrayScreen::SetPixel(int X, int Y, int AColor) {
  TKvBP16Screen::SetPixel(X, Y, AColor | AColor << 5 | AColor << 10);
}

std::unique_ptr<TKvBitmap24> TKvBD16Image::ConvertBD16(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                       TKvBP16Screen& AScreen, TKvPaletteRGB& ALevels) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  FErrorTotal = 0;
  const bool LGray = AOptions.UseAsGrayPalette;
  if (LGray) MakeGray();
  auto LResult = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  bool LMirror = false;
  for (int y = 0; y < FHeight; ++y) {
    SetMirror(LMirror);
    LResult->MirrorX = LMirror;
    AScreen.MirrorX = LMirror;
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) ::Abort();
      PKvPixel p = GetPixels(x, y);
      const int i = LGray ? ALevels.FindNearestByGray(*p) : ALevels.FindNearestByMetric(AOptions.ColorDiffMethod, *p);
      LResult->SetPixel(x, y, static_cast<int>(ALevels.GetRGBQuad(i)));
      const int r = (i >> 10) & 31, g = (i >> 5) & 31, b = i & 31;
      AScreen.SetPixel(x, y, g << 10 | r << 5 | b);
      const TKvLinRGBColor o = p->GetLinRGB();
      TKvLinRGBColor c = ALevels.GetLinRGB(i);
      if (LGray) {
        const double l = ALevels.GetLinGray(i);
        c = TKvLinRGBColor{l, l, l};
      }
      DiffuseError(x, y, AOptions.DitherMethod,
                   TKvLinRGBColor{(o.R - c.R) * LStrength, (o.G - c.G) * LStrength, (o.B - c.B) * LStrength});
    }
    if (AOptions.Serpentine) LMirror = !LMirror;
  }
  SetMirror(false);
  LResult->MirrorX = false;
  AScreen.MirrorX = false;
  return LResult;
}

void TKvBaseBPEngine::WriteG9b(std::unique_ptr<TKvStreamList>& AStreams, uint8_t ABitDepth, uint8_t AColorType,
                               TKvBitmapData& AScreen, const TKvPaletteRGB* ALevelPalette,
                               const TKvPalette256* APalette) {
  uint8_t LHeader[G9bHeaderSize];
  int LSize = 0;
  try {
    LSize = InitG9bHeader(LHeader, ABitDepth, AColorType, AScreen.Width, AScreen.Height);
  } catch (const Exception&) {
    return;  // a size the mode cannot store: no file
  }
  if (static_cast<int64_t>(AScreen.Stride) * AScreen.Height != LSize) RaiseInternalError();
  const int LBlocks = (LSize + G9bBlockSize - 1) / G9bBlockSize;
  const int LDataOffset = G9bDataOffset(LHeader);
  const int LRoom = LBlocks < 256 ? 2 * LSize : LSize;
  // The file is built whole before it joins the list.
  std::vector<uint8_t> LFile(static_cast<size_t>(LDataOffset) + static_cast<size_t>(LRoom), 0);
  std::memcpy(LFile.data(), LHeader, G9bHeaderSize);
  uint8_t* LPalette = LFile.data() + G9bPaletteOffset(LHeader);
  for (int i = 0; i < LHeader[7]; ++i) {
    uint8_t r = 0, g = 0, b = 0;
    if (APalette && i < APalette->Count) {
      if (!ALevelPalette) RaiseInternalError();
      ALevelPalette->GetLevelIndexes(APalette->GetStdRGB(i), r, g, b);
    }
    LPalette[3 * i] = r;
    LPalette[3 * i + 1] = g;
    LPalette[3 * i + 2] = b;
  }
  uint8_t* LData = LFile.data() + LDataOffset;
  bool LRaw = true;
  if (LBlocks < 256) {
    const int n = CompressG9bData(AScreen.Data, LSize, LData, LRoom);
    if (n < LSize) {
      LFile[12] = 1;
      SetG9bDataSize(LFile.data(), n);
      LRaw = false;
    }
  }
  if (LRaw && LSize > 0) std::memcpy(LData, AScreen.Data, static_cast<size_t>(LSize));
  LFile.resize(static_cast<size_t>(LDataOffset) + static_cast<size_t>(GetG9bDataSize(LFile.data())));
  if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
  TKvStream* LStream = AStreams->NewStream("g9b", static_cast<int>(LFile.size()));
  std::memcpy(LStream->GetMemory(), LFile.data(), LFile.size());
}

TKvBaseBPEngineUI::TKvBaseBPEngineUI(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int ADestColumns,
                                     int ADestRows)
    : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection();
  if (AModes != TKvPaletteModeSet{}) {
    AddPaletteSeparator();
    AddPaletteModeSection(AModes);
    if (ADestColumns > 0) {
      AddDestPalette(ADestColumns, ADestRows, true);
      AddFixedPaletteSection(16, 1);
    }
  }
  AddDitheringSection(false);
}

void TKvBaseBPEngineUI::CheckOptions(IKvPanelControls& AControls) {
  TKvDestEngineUIEx::CheckOptions(AControls);
  bool LGood = false;
  try {
    int LDepth = 0, LType = 0;
    GetG9bFormat(LDepth, LType);
    uint8_t LHeader[G9bHeaderSize];
    const int LSize = InitG9bHeader(LHeader, static_cast<uint8_t>(LDepth), static_cast<uint8_t>(LType),
                                    AControls.GetValue(pcWidthEdit), AControls.GetValue(pcHeightEdit));
    if ((LSize + G9bBlockSize - 1) / G9bBlockSize > 255) RaiseInternalError();
    LGood = true;
  } catch (...) {
  }
  for (TKvControlId id : {pcWidthEdit, pcHeightEdit}) AControls.SetBackground(id, LGood, LGood ? 0 : 0xF7A0A5);
}

TKvBPEngineOptions::TKvBPEngineOptions() { SetPixelAspect(pa1p138_1); }

TKvBP2EngineOptions::TKvBP2EngineOptions() {
  SetErrorDiffusion(80);
  SetPaletteMode(pmColorBright);
}
TKvBP4EngineOptions::TKvBP4EngineOptions() { SetPaletteMode(pmColor); }
TKvBP6EngineOptions::TKvBP6EngineOptions() { SetPaletteMode(pmColor); }
TKvBD8EngineOptions::TKvBD8EngineOptions() { SetPaletteMode(pmColor); }
TKvBYKJEngineOptions::TKvBYKJEngineOptions() { SetPaletteType(ptMSXYJK); }
TKvBYUVEngineOptions::TKvBYUVEngineOptions() { SetPaletteType(ptMSXYUV); }
TKvBD16EngineOptions::TKvBD16EngineOptions() { SetPaletteMode(pmColor); }

std::unique_ptr<TKvBitmap> ConvertBPPalette(TKvConvertArgs& AArgs, TKvBitmapData& AScreen, const TKvBPPanel& APanel) {
  TKvDestEngineOptions& options = AArgs.Options;
  bool* abort = AArgs.Abort;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, APanel.Modes);
  auto levels = TKvPaletteRGB::CreateType(ptRGB555, mode == pmGray);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256 primaries;
  if (mode == pmColorBright) primaries.FillNearestGBR16(levels.get());
  TKvPalette& colors = mode == pmColorBright ? static_cast<TKvPalette&>(primaries) : *levels;
  auto preview = TKvDestEngine::ConvertChosenColors(abort, image, &AScreen, levels->GrayPalette.get(), colors,
                                                    APanel.DestColumns * APanel.DestRows, options);
  TKvBaseBPEngine::WriteG9b(AArgs.Streams, static_cast<uint8_t>(APanel.BitDepth), 0, AScreen, levels.get(),
                            options.GetPalette());
  return preview;
}

std::unique_ptr<TKvBitmap> TKvBD8Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256 direct;
  BuildV9990Palette(direct);
  // Every code but 0 (black): the pixel data never holds the byte 0.
  const auto msx332 = TKvPaletteRGB::CreateMSX332();
  TKvPalette256& result = *options.GetPalette();
  result.AssignColors(msx332.get());
  result.Delete(0);
  TKvBP8Screen screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmBlackWhite) {
    const int dark = direct.FindNearest(result.GetLinRGB(result.FindNearest(LinRGBBlack)));
    preview = image.ConvertBW(AArgs.Abort, options, &screen, &direct, dark, 255);
  } else {
    if (mode == pmGray) {
      // The four blue levels as grays, each replaced by its nearest colour.
      TKvPalette256 grays;
      for (int i = 0; i < 4; ++i) {
        const uint8_t v = msx332->GetStdRGB(i).B;
        TKvColor c;
        c.InitStdRGB(StdRGBColor(v, v, v));
        const int n = result.FindNearest(c.GetLinRGB());
        grays.AddStdRGB(result.GetStdRGB(n));
      }
      result.Assign(&grays);
      options.SetUseAsGrayPalette(true);
    }
    preview = image.ConvertIndexed(AArgs.Abort, options, &screen, result, &direct);
  }
  WriteG9b(AArgs.Streams, 8, 64, screen, nullptr, nullptr);
  return preview;
}

namespace {

// The YJK-type modes: the picture as groups of TImage's formula, stored as
// G9B colour type AColorType.
template <class TImage>
std::unique_ptr<TKvBitmap> ConvertBPGroups(TKvConvertArgs& AArgs, uint8_t AColorType) {
  TImage image(AArgs.Bitmap);
  TKvBP8Screen screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
  auto preview = image.Convert(AArgs.Abort, &AArgs.Progress, AArgs.Options, &screen);
  TKvBaseBPEngine::WriteG9b(AArgs.Streams, 8, AColorType, screen, nullptr, nullptr);
  return preview;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvBYKJEngine::Convert(TKvConvertArgs& AArgs) { return ConvertBPGroups<TKvYJKImage>(AArgs, 128); }
std::unique_ptr<TKvBitmap> TKvBYUVEngine::Convert(TKvConvertArgs& AArgs) { return ConvertBPGroups<TKvYUVImage>(AArgs, 192); }

std::unique_ptr<TKvBitmap> TKvBD16Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TBitmap32& bitmap = AArgs.Bitmap;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmGray, pmColor));
  auto levels = TKvPaletteRGB::CreateType(ptRGB555, mode == pmGray);
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmGray) {
    TKvImage image(bitmap);
    TKvBP16GrayScreen screen(bitmap.GetWidth(), bitmap.GetHeight());
    options.SetUseAsGrayPalette(true);
    preview = image.ConvertIndexed(AArgs.Abort, options, &screen, *levels->GrayPalette, nullptr);
    WriteG9b(AArgs.Streams, 16, 0, screen, nullptr, nullptr);
  } else {
    TKvBD16Image image(bitmap);
    TKvBP16Screen screen(bitmap.GetWidth(), bitmap.GetHeight());
    preview = image.ConvertBD16(AArgs.Abort, options, screen, *levels);
    WriteG9b(AArgs.Streams, 16, 0, screen, nullptr, nullptr);
  }
  return preview;
}

const std::vector<const TKvDestEngineClass*>& V9990DestEngineClasses() {
  return DestEngineClasses<TKvBP2Engine, TKvBP4Engine, TKvBP6Engine, TKvBD8Engine, TKvBYKJEngine, TKvBYUVEngine,
                           TKvBD16Engine>();
}
