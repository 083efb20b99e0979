// The k-means implementation as it was before the nearest pass was rewritten,
// kept so that bench_kmeans measures both in one run and checks that they
// agree. Classes renamed TKvPrevQuantization*; only the benchmark includes it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/KvColor.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

class TKvImage;
class TKvPaletteRGB;
class TKvPrevQuantization;
class TKvPrevQuantizationCluster;

// One distinct colour of the source with its weight (pixel count).
class TKvPrevQuantizationColor {
public:
  TKvPrevQuantization* Owner = nullptr;
  uint8_t R = 0, G = 0, B = 0;
  double LinR = 0, LinG = 0, LinB = 0;
  uint32_t Weight = 0;
  TKvPrevQuantizationCluster* Cluster = nullptr;
  TKvPrevQuantizationCluster* Nearest = nullptr;
  double Distance = 0;  // squared linear distance to its cluster's middle
  bool DistanceValid = false;
  uint32_t DistanceVersion = 0;  // the cluster's middle version it was measured against
  int32_t MemberIndex = -1;      // position in its cluster's member list
  int32_t Position = -1;         // position in the owner's colour array

  // The non-excluded cluster of the owner's table whose middle is nearest
  // (first on ties); stored in Nearest.
  void FindNearestCluster();
};

// One palette colour in the making.
class TKvPrevQuantizationCluster {
public:
  // Appends itself to the owner's cluster table ("Internal error" when the
  // table is full).
  explicit TKvPrevQuantizationCluster(TKvPrevQuantization* AOwner);
  // Members are left without a cluster.
  ~TKvPrevQuantizationCluster();
  TKvPrevQuantizationCluster(const TKvPrevQuantizationCluster&) = delete;
  TKvPrevQuantizationCluster& operator=(const TKvPrevQuantizationCluster&) = delete;

  TKvPrevQuantizationColor* GetColor(int AIndex) const { return FMembers[static_cast<size_t>(AIndex)]; }
  int GetCount() const { return static_cast<int>(FMembers.size()); }
  void AddColor(TKvPrevQuantizationColor* AColor);
  void RemoveColor(TKvPrevQuantizationColor* AColor);
  // Weighted mean of the members mapped into the allowed palette; nothing
  // for a fixed or empty cluster or one whose middle is valid.
  void UpdateMiddle();
  // Sets the middle from a linear colour: sRGB bytes and gray follow.
  void SetMiddle(const TKvLinRGBColor& AColor);

  TKvPrevQuantization* Owner;
  bool Fixed = false;
  bool MiddleValid = false;
  bool Excluded = false;
  TKvLinRGBColor Middle;
  TKvStdRGBColor MiddleStd;
  double MiddleGray = 0;
  // Raised whenever UpdateMiddle computes a new middle: a member's distance
  // is valid only while measured against the current version.
  uint32_t MiddleVersion = 0;

private:
  std::vector<TKvPrevQuantizationColor*> FMembers;
  // The members' weights per sRGB level of each channel (R, G, B, 256
  // each). Kept exactly on every add and remove, so a middle costs 768
  // products whatever the member count, and its sums do not depend on the
  // order of the members.
  std::vector<uint64_t> FLevelWeights;
  uint64_t FTotalWeight = 0;
};

// What the nearest pass reads of a colour: its bytes, the place of its
// nearest middle in the pass's list (-1: not known) and a lower bound of its
// distance to every other middle.
struct TKvPrevQuantizationHot {
  double Bound;
  int32_t NearIndex;
  uint8_t R, G, B, Pad;
};

class TKvPrevQuantization : public TObject {
public:
  static constexpr int MaxClusters = 768;
  // Mixtures need an N x N matrix.
  static constexpr int MaxBoundedColors = 16;
  // Safety limits: no picture can keep the iterations going for ever.
  static constexpr int MaxIterations = 2000;
  static constexpr int MaxBoundedIterations = 2000;

  TKvPrevQuantization() = default;
  ~TKvPrevQuantization() override;
  TKvPrevQuantization(const TKvPrevQuantization&) = delete;
  TKvPrevQuantization& operator=(const TKvPrevQuantization&) = delete;

  // Entry points. Each writes AResult (APalette for the palette variant).
  void Quantize(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                TKvPalette256& AResult, TKvPalette256* AFixed, TKvPalette* AAllowed);
  void QuantizeMasked(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                      TKvPalette256& AResult, TKvPalette256& AFixed, TKvPalette* AAllowed,
                      const TKvColorMask& AMask);
  // AHistogram: 32 x 32 x 32 weights indexed r * 1024 + g * 32 + b.
  void QuantizeHistogram(bool* AAbort, const double* AHistogram, int ACount, bool AUseGray, uint8_t AMetric,
                         TKvPalette256& AResult, TKvPalette256& AFixed, const TKvPaletteRGB& APaletteRGB,
                         TKvPalette* AAllowed);
  // Always single-threaded, from then on for the life of the object.
  void QuantizePaletteMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256& APalette,
                             TKvPalette256& AFixed, TKvPalette* AAllowed, const TKvColorMask& AMask);
  // Two-frame variants; ACount at most 16, APercent the largest gray
  // difference (in percent) of two base colours that may still mix.
  void QuantizeBounded(bool* AAbort, TKvImage& AImage, int ACount, int APercent, bool AUseGray, uint8_t AMetric,
                       TKvPalette256& AResult, TKvPalette256* AFixed, TKvPalette* AAllowed);
  void QuantizeBoundedMasked(bool* AAbort, TKvImage& AImage, int ACount, int APercent, bool AUseGray,
                             uint8_t AMetric, TKvPalette256& AResult, TKvPalette256& AFixed, TKvPalette* AAllowed,
                             const TKvColorMask& AMask);

  void Init(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256* AFixed,
            TKvPalette* AAllowed);
  void Clear();

  // Collecting.
  void CollectImageColors(bool* AAbort, TKvImage& AImage);
  void CollectPaletteColors(const TKvPalette256& APalette);
  void CollectHistogram(bool* AAbort, const double* AHistogram, const TKvPaletteRGB& APaletteRGB);
  TKvPrevQuantizationColor* AddColor(uint8_t AR, uint8_t AG, uint8_t AB);

  // Steps.
  void Seed();
  void SeedBounded();
  void MedianCut(int AFirst, int ALast, int AK);
  void PinClusters();
  void Iterate();
  bool SplitWorst();
  void SeedMixtures();
  void UpdateMixtures();
  void IterateBounded();
  void SolveBaseColors();
  void WriteResult(TKvPalette256& AResult);
  void WriteResultBounded(TKvPalette256& AResult);

  // Passes (on the job runner when there are processors to spare).
  void UpdateMiddles();
  void UpdateNearest();
  void UpdateDistances();
  void DoUpdateMiddles(int AFirst, int ALast);
  // The nearest and distance passes work in storage order (AFirst..ALast
  // index the colours as allocated), which reads memory in sequence.
  void DoUpdateNearest(int AFirst, int ALast, int AJob);
  void DoUpdateDistances(int AFirst, int ALast);

  TKvLinRGBColor MapToAllowedLin(const TKvLinRGBColor& AColor) const;
  TKvStdRGBColor MapToAllowed(const TKvLinRGBColor& AColor) const;

  void DeleteCluster(int AIndex);
  void RemoveEmptyClusters();

  // Sorting the colours AFirst..ALast by one key.
  enum TSortKey { skR, skG, skB, skDistance };
  void SortColors(int AFirst, int ALast, TSortKey AKey);

  int GetColorCount() const { return static_cast<int>(FColors.size()); }
  TKvPrevQuantizationColor* GetColor(int AIndex) const { return FColors[static_cast<size_t>(AIndex)]; }
  int GetClusterCount() const { return FClusterCount; }
  TKvPrevQuantizationCluster* GetCluster(int AIndex) const { return FClusters[static_cast<size_t>(AIndex)]; }
  int GetWantedCount() const { return FCount; }
  int GetIterationCount() const { return FIterations; }
  TKvPrevQuantizationCluster* GetMixture(int I, int J) const { return FMix[I][J]; }

private:
  friend class TKvPrevQuantizationCluster;
  friend class TKvPrevQuantizationColor;

  void CheckAbort() const;
  bool Parallel() const;
  // The palette set-up shared by the masked and histogram variants; false
  // when AResult was simply copied.
  bool SetupMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256& AResult,
                   TKvPalette256& AFixed, TKvPalette* AAllowed, const TKvColorMask* AMask);
  bool SetupPlain(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256& AResult,
                  TKvPalette256* AFixed, TKvPalette* AAllowed);
  TKvPrevQuantizationColor* NewColor();
  TKvPrevQuantizationColor* StoredColor(int AIndex) const {
    return &FColorStore[size_t(AIndex) / ColorBlock][size_t(AIndex) % ColorBlock];
  }
  // Moves every colour whose nearest cluster differs from its own, in the
  // order of the colour array; returns the number of moves.
  int MoveColors();
  static constexpr int ColorBlock = 2048;
  // Reads the cluster middles for a nearest pass.
  void SnapshotMiddles();
  void WriteResultCommon(TKvPalette256& AResult, bool AAllClusters);

  bool* FAbort = nullptr;
  TKvPalette256* FFixed = nullptr;
  TKvPalette* FAllowed = nullptr;
  TKvPalette256* FPin = nullptr;
  std::unique_ptr<TKvPalette256> FKeep;  // the masked variants' own palette K
  int FCount = 2;
  bool FUseGray = false;
  uint8_t FMetric = 0;
  double FFlickerBound = 0;
  bool FSingleThreaded = false;
  int FIterations = 0;

  std::vector<TKvPrevQuantizationColor*> FColors;  // sorted by R, G, B while collecting
  std::vector<std::unique_ptr<TKvPrevQuantizationColor[]>> FColorStore;
  int FStoreUsed = 0;  // used entries of the last block

  int FClusterCount = 0;
  TKvPrevQuantizationCluster* FClusters[MaxClusters] = {};
  TKvPrevQuantizationCluster* FMix[MaxBoundedColors][MaxBoundedColors] = {};

  // Middles of the searchable clusters, in table order, for nearest passes.
  std::vector<double> FSnapR, FSnapG, FSnapB;
  std::vector<TKvPrevQuantizationCluster*> FSnapCluster;
  // The previous pass's middles and how far each moved since; with them a
  // colour whose nearest middle is clearly nearer than all others is not
  // searched again.
  std::vector<double> FOldR, FOldG, FOldB;
  static constexpr int MaxGroups = 16;
  std::vector<double> FGroupMoved;  // per group, the sum of its farthest moves
  double FAllMoved = 0;             // the sum of the farthest moves of all
  std::vector<TKvPrevQuantizationCluster*> FOldCluster;
  std::vector<uint8_t> FSameCluster;  // per place: the same cluster as last pass
  std::vector<TKvPrevQuantizationHot> FHot;  // per stored colour
  std::vector<float> FLower;        // per stored colour and group: bound + moves
  int FGroupSize = 8;
  int FGroupCount = 0;
  bool FBoundsValid = false;
  bool FPositionsStale = false;
  // Per nearest job: positions of the colours that change cluster.
  std::vector<std::vector<int32_t>> FMovers;
};

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"


namespace {

// Fewer colours than this are not worth handing to worker threads.
constexpr int ParallelThreshold = 4096;

const double* LinTable() {
  static const struct T {
    double V[256];
    T() {
      for (int i = 0; i < 256; ++i) V[i] = StdToLin(i);
    }
  } t;
  return t.V;
}

inline double SqrDist(double R1, double G1, double B1, const TKvLinRGBColor& C) {
  const double dr = R1 - C.R, dg = G1 - C.G, db = B1 - C.B;
  return dr * dr + dg * dg + db * db;
}

inline double SqrDist(const TKvLinRGBColor& A, const TKvLinRGBColor& C) {
  return SqrDist(A.R, A.G, A.B, C);
}

inline bool StdLess(const TKvPrevQuantizationColor& C, uint8_t R, uint8_t G, uint8_t B) {
  if (C.R != R) return C.R < R;
  if (C.G != G) return C.G < G;
  return C.B < B;
}

}  // namespace

// Job classes of the three passes.
class TKvPrevQuantizationJob : public TKvJob {
public:
  TKvPrevQuantizationJob(TKvJobList* AList, TKvPrevQuantization* AOwner, int AFirst, int ALast)
      : TKvJob(AList), Owner(AOwner), First(AFirst), Last(ALast), Index(AList->GetCount() - 1) {}
  TKvPrevQuantization* Owner;
  int First, Last;
  int Index;  // the job's place in its list
};

class TKvPrevQuantizationUpdateClusterMiddleJob : public TKvPrevQuantizationJob {
public:
  using TKvPrevQuantizationJob::TKvPrevQuantizationJob;
  void Execute() override { Owner->DoUpdateMiddles(First, Last); }
};

class TKvPrevQuantizationUpdateColorNearestClusterJob : public TKvPrevQuantizationJob {
public:
  using TKvPrevQuantizationJob::TKvPrevQuantizationJob;
  void Execute() override { Owner->DoUpdateNearest(First, Last, Index); }
};

class TKvPrevQuantizationUpdateColorDistansesJob : public TKvPrevQuantizationJob {
public:
  using TKvPrevQuantizationJob::TKvPrevQuantizationJob;
  void Execute() override { Owner->DoUpdateDistances(First, Last); }
};

namespace {

template <class TJob>
void RunJobs(TKvPrevQuantization* AOwner, const bool* AAbort, int ACount) {
  TKvJobList list;
  TKvRangeSplitter s;
  s.Init(ACount, 0);
  int32_t first, last;
  while (s.Next(first, last)) new TJob(&list, AOwner, first, last);
  list.Run(AAbort);
}

}  // namespace

// ---------------------------------------------------------------------------
// Colours and clusters

void TKvPrevQuantizationColor::FindNearestCluster() {
  TKvPrevQuantizationCluster* best = nullptr;
  double bestD = 0;
  for (int k = 0; k < Owner->FClusterCount; ++k) {
    TKvPrevQuantizationCluster* c = Owner->FClusters[k];
    if (c->Excluded) continue;
    const double d = SqrDist(LinR, LinG, LinB, c->Middle);
    if (!best || d < bestD) {
      best = c;
      bestD = d;
    }
  }
  Nearest = best;
}

TKvPrevQuantizationCluster::TKvPrevQuantizationCluster(TKvPrevQuantization* AOwner) : Owner(AOwner) {
  if (Owner->FClusterCount >= TKvPrevQuantization::MaxClusters) RaiseInternalError();
  Owner->FClusters[Owner->FClusterCount++] = this;
  // The nearest pass's bounds and places describe the old table.
  Owner->FBoundsValid = false;
}

TKvPrevQuantizationCluster::~TKvPrevQuantizationCluster() {
  for (TKvPrevQuantizationColor* c : FMembers) {
    c->Cluster = nullptr;
    c->MemberIndex = -1;
    c->DistanceValid = false;
  }
}

void TKvPrevQuantizationCluster::AddColor(TKvPrevQuantizationColor* AColor) {
  AColor->Cluster = this;
  AColor->MemberIndex = static_cast<int32_t>(FMembers.size());
  AColor->DistanceValid = false;
  FMembers.push_back(AColor);
  if (FLevelWeights.empty()) FLevelWeights.assign(768, 0);
  FLevelWeights[AColor->R] += AColor->Weight;
  FLevelWeights[256 + AColor->G] += AColor->Weight;
  FLevelWeights[512 + AColor->B] += AColor->Weight;
  FTotalWeight += AColor->Weight;
  MiddleValid = false;
}

void TKvPrevQuantizationCluster::RemoveColor(TKvPrevQuantizationColor* AColor) {
  const int i = AColor->MemberIndex;
  if (AColor->Cluster != this || i < 0 || i >= GetCount() || FMembers[static_cast<size_t>(i)] != AColor)
    RaiseInternalError();
  // Moves are made one at a time on one thread, so this order of members is
  // reproducible.
  TKvPrevQuantizationColor* last = FMembers.back();
  FMembers[static_cast<size_t>(i)] = last;
  last->MemberIndex = i;
  FMembers.pop_back();
  FLevelWeights[AColor->R] -= AColor->Weight;
  FLevelWeights[256 + AColor->G] -= AColor->Weight;
  FLevelWeights[512 + AColor->B] -= AColor->Weight;
  FTotalWeight -= AColor->Weight;
  AColor->Cluster = nullptr;
  AColor->MemberIndex = -1;
  AColor->DistanceValid = false;
  MiddleValid = false;
}

void TKvPrevQuantizationCluster::SetMiddle(const TKvLinRGBColor& AColor) {
  Middle = AColor;
  MiddleStd = {LinToStdByte(AColor.R), LinToStdByte(AColor.G), LinToStdByte(AColor.B)};
  MiddleGray = LinGrayOf(AColor);
  MiddleValid = true;
}

void TKvPrevQuantizationCluster::UpdateMiddle() {
  if (Fixed || FMembers.empty() || MiddleValid) return;
  const double* lin = LinTable();
  const uint64_t* lw = FLevelWeights.data();
  double r = 0, g = 0, b = 0;
  for (int v = 0; v < 256; ++v) {
    if (lw[v]) r += double(lw[v]) * lin[v];
    if (lw[256 + v]) g += double(lw[256 + v]) * lin[v];
    if (lw[512 + v]) b += double(lw[512 + v]) * lin[v];
  }
  const double dw = double(FTotalWeight);
  SetMiddle(Owner->MapToAllowedLin({r / dw, g / dw, b / dw}));
  // Every member's distance is stale now.
  ++MiddleVersion;
}

// ---------------------------------------------------------------------------
// Set-up

TKvPrevQuantization::~TKvPrevQuantization() { Clear(); }

void TKvPrevQuantization::Clear() {
  while (FClusterCount > 0) {
    delete FClusters[FClusterCount - 1];
    FClusters[--FClusterCount] = nullptr;
  }
  std::memset(FMix, 0, sizeof(FMix));
  FColors.clear();
  FColorStore.clear();
  FStoreUsed = 0;
  FIterations = 0;
  FBoundsValid = false;
  FPositionsStale = false;
  FSnapCluster.clear();
  FHot.clear();
  FAllowed = nullptr;
  FFixed = nullptr;
  FPin = nullptr;
  FKeep.reset();
}

void TKvPrevQuantization::Init(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256* AFixed,
                           TKvPalette* AAllowed) {
  Clear();
  FAbort = AAbort;
  FCount = ACount < 2 ? 2 : ACount;
  FUseGray = AUseGray;
  FMetric = AMetric;
  FFixed = AFixed;
  FAllowed = AAllowed;
  FPin = nullptr;
  FFlickerBound = 0;
  // The middle jobs search the allowed palette at the same time.
  if (FAllowed) FAllowed->UpdateCache();
}

void TKvPrevQuantization::CheckAbort() const {
  if (Aborted(FAbort)) Abort();
}

bool TKvPrevQuantization::Parallel() const {
  return ProcessorCount >= 2 && !FSingleThreaded && GetColorCount() >= ParallelThreshold;
}

bool TKvPrevQuantization::SetupPlain(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
                                 TKvPalette256& AResult, TKvPalette256* AFixed, TKvPalette* AAllowed) {
  Clear();
  if (AFixed && AFixed->Count == ACount) {
    AResult.Assign(AFixed);
    return false;
  }
  if (AFixed && AFixed->Count > ACount) {
    Init(AAbort, ACount, AUseGray, AMetric, nullptr, AFixed);
  } else {
    Init(AAbort, ACount, AUseGray, AMetric, AFixed, AAllowed);
    FPin = AFixed;
  }
  return true;
}

bool TKvPrevQuantization::SetupMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
                                  TKvPalette256& AResult, TKvPalette256& AFixed, TKvPalette* AAllowed,
                                  const TKvColorMask* AMask) {
  Clear();
  auto k = std::make_unique<TKvPalette256>();
  for (int i = 0; i < AFixed.Count; ++i) k->AddStdRGB(AFixed.GetStdRGB(i));
  if (AMask) k->AddSelectedColors(*AMask, AAllowed);
  if (AFixed.Count == ACount) {
    AResult.Assign(&AFixed);
    return false;
  }
  if (k->Count == ACount) {
    AResult.Assign(k.get());
    return false;
  }
  if (k->Count < ACount) {
    Init(AAbort, ACount, AUseGray, AMetric, &AFixed, AAllowed);
    FPin = k.get();
  } else if (AFixed.Count < ACount) {
    Init(AAbort, ACount, AUseGray, AMetric, &AFixed, k.get());
    FPin = &AFixed;
  } else {
    Init(AAbort, ACount, AUseGray, AMetric, nullptr, k.get());
  }
  // Init freed the previous one; this one lives until the next Clear.
  FKeep = std::move(k);
  return true;
}

// ---------------------------------------------------------------------------
// Entry points

void TKvPrevQuantization::Quantize(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                               TKvPalette256& AResult, TKvPalette256* AFixed, TKvPalette* AAllowed) {
  if (!SetupPlain(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed)) return;
  CollectImageColors(AAbort, AImage);
  Seed();
  WriteResult(AResult);
}

void TKvPrevQuantization::QuantizeMasked(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                                     TKvPalette256& AResult, TKvPalette256& AFixed, TKvPalette* AAllowed,
                                     const TKvColorMask& AMask) {
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed, &AMask)) return;
  CollectImageColors(AAbort, AImage);
  Seed();
  WriteResult(AResult);
}

void TKvPrevQuantization::QuantizeHistogram(bool* AAbort, const double* AHistogram, int ACount, bool AUseGray,
                                        uint8_t AMetric, TKvPalette256& AResult, TKvPalette256& AFixed,
                                        const TKvPaletteRGB& APaletteRGB, TKvPalette* AAllowed) {
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed, nullptr)) return;
  CollectHistogram(AAbort, AHistogram, APaletteRGB);
  Seed();
  WriteResult(AResult);
}

void TKvPrevQuantization::QuantizePaletteMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
                                            TKvPalette256& APalette, TKvPalette256& AFixed, TKvPalette* AAllowed,
                                            const TKvColorMask& AMask) {
  FSingleThreaded = true;
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, APalette, AFixed, AAllowed, &AMask)) return;
  CollectPaletteColors(APalette);
  Seed();
  WriteResult(APalette);
}

void TKvPrevQuantization::QuantizeBounded(bool* AAbort, TKvImage& AImage, int ACount, int APercent, bool AUseGray,
                                      uint8_t AMetric, TKvPalette256& AResult, TKvPalette256* AFixed,
                                      TKvPalette* AAllowed) {
  if (ACount > MaxBoundedColors) RaiseInternalError();
  if (!SetupPlain(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed)) return;
  FFlickerBound = APercent / 100.0;
  CollectImageColors(AAbort, AImage);
  SeedBounded();
  WriteResultBounded(AResult);
}

void TKvPrevQuantization::QuantizeBoundedMasked(bool* AAbort, TKvImage& AImage, int ACount, int APercent,
                                            bool AUseGray, uint8_t AMetric, TKvPalette256& AResult,
                                            TKvPalette256& AFixed, TKvPalette* AAllowed,
                                            const TKvColorMask& AMask) {
  if (ACount > MaxBoundedColors) RaiseInternalError();
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed, &AMask)) return;
  FFlickerBound = APercent / 100.0;
  CollectImageColors(AAbort, AImage);
  SeedBounded();
  WriteResultBounded(AResult);
}

// ---------------------------------------------------------------------------
// Collecting

TKvPrevQuantizationColor* TKvPrevQuantization::NewColor() {
  if (FColorStore.empty() || FStoreUsed == ColorBlock) {
    FColorStore.push_back(std::make_unique<TKvPrevQuantizationColor[]>(ColorBlock));
    FStoreUsed = 0;
  }
  TKvPrevQuantizationColor* c = &FColorStore.back()[FStoreUsed++];
  c->Owner = this;
  return c;
}

TKvPrevQuantizationColor* TKvPrevQuantization::AddColor(uint8_t AR, uint8_t AG, uint8_t AB) {
  size_t lo = 0, hi = FColors.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (StdLess(*FColors[mid], AR, AG, AB))
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < FColors.size()) {
    TKvPrevQuantizationColor* c = FColors[lo];
    if (c->R == AR && c->G == AG && c->B == AB) {
      ++c->Weight;
      return c;
    }
  }
  TKvPrevQuantizationColor* c = NewColor();
  const double* lin = LinTable();
  c->R = AR;
  c->G = AG;
  c->B = AB;
  c->LinR = lin[AR];
  c->LinG = lin[AG];
  c->LinB = lin[AB];
  c->Weight = 1;
  FColors.insert(FColors.begin() + static_cast<ptrdiff_t>(lo), c);
  FPositionsStale = true;
  return c;
}

void TKvPrevQuantization::CollectImageColors(bool* AAbort, TKvImage& AImage) {
  FAbort = AAbort;
  const size_t n = static_cast<size_t>(AImage.GetWidth()) * static_cast<size_t>(std::max(AImage.GetHeight(), 0));
  if (AImage.GetWidth() <= 0 || n == 0) return;
  // Sorting the pixels' keys and counting runs gives the same sorted colour
  // array with weights as inserting pixel by pixel, without moving the array
  // for every new colour.
  std::vector<uint32_t> keys(n), tmp(n);
  const TKvPixel* px = AImage.GetData();
  for (size_t i = 0; i < n; ++i) {
    CheckAbort();
    const TKvStdRGBColor s = px[i].GetStdRGB();
    keys[i] = (uint32_t(s.R) << 16) | (uint32_t(s.G) << 8) | s.B;
  }
  // Two stable 12-bit counting passes.
  for (int shift = 0; shift < 24; shift += 12) {
    std::vector<uint32_t> cnt(4097, 0);
    for (size_t i = 0; i < n; ++i) ++cnt[((keys[i] >> shift) & 0xFFF) + 1];
    for (int i = 0; i < 4096; ++i) cnt[i + 1] += cnt[i];
    for (size_t i = 0; i < n; ++i) tmp[cnt[(keys[i] >> shift) & 0xFFF]++] = keys[i];
    keys.swap(tmp);
  }
  tmp.clear();
  tmp.shrink_to_fit();
  const bool bulk = FColors.empty();
  const double* lin = LinTable();
  size_t i = 0;
  while (i < n) {
    size_t j = i + 1;
    while (j < n && keys[j] == keys[i]) ++j;
    const uint8_t r = uint8_t(keys[i] >> 16), g = uint8_t(keys[i] >> 8), b = uint8_t(keys[i]);
    const uint64_t run = j - i;
    TKvPrevQuantizationColor* c;
    if (bulk) {
      c = NewColor();
      c->R = r;
      c->G = g;
      c->B = b;
      c->LinR = lin[r];
      c->LinG = lin[g];
      c->LinB = lin[b];
      c->Weight = 0;
      c->Position = int32_t(FColors.size());
      FColors.push_back(c);
    } else {
      c = AddColor(r, g, b);
      c->Weight -= 1;
    }
    const uint64_t w = uint64_t(c->Weight) + run;
    c->Weight = w > UINT32_MAX ? UINT32_MAX : uint32_t(w);
    i = j;
  }
}

void TKvPrevQuantization::CollectPaletteColors(const TKvPalette256& APalette) {
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvStdRGBColor s = APalette.GetStdRGB(i);
    TKvPrevQuantizationColor* c = AddColor(s.R, s.G, s.B);
    const int32_t u = APalette.Colors[i].UseCount;
    c->Weight = u > 0 ? uint32_t(u) : 1u;
  }
}

void TKvPrevQuantization::CollectHistogram(bool* AAbort, const double* AHistogram, const TKvPaletteRGB& APaletteRGB) {
  FAbort = AAbort;
  const int count = APaletteRGB.GetCount();
  for (int r = 0; r < 32; ++r)
    for (int g = 0; g < 32; ++g)
      for (int b = 0; b < 32; ++b) {
        const int idx = r * 1024 + g * 32 + b;
        const double w = AHistogram[idx];
        if (!(w > 0)) continue;
        CheckAbort();
        if (idx >= count) RaiseInternalError();
        const TKvStdRGBColor s = APaletteRGB.GetStdRGB(idx);
        TKvPrevQuantizationColor* c = AddColor(s.R, s.G, s.B);
        const double rw = std::nearbyint(w);
        double nw = double(c->Weight) + rw - 1;
        if (nw > double(UINT32_MAX)) nw = double(UINT32_MAX);
        c->Weight = nw <= 0 ? 1u : uint32_t(nw);
      }
}

// ---------------------------------------------------------------------------
// Mapping

TKvLinRGBColor TKvPrevQuantization::MapToAllowedLin(const TKvLinRGBColor& AColor) const {
  if (!FAllowed) return AColor;
  int i;
  if (FUseGray) {
    TKvColor c;
    c.Clear();
    c.InitLinRGB(AColor);
    i = FAllowed->FindNearestByGray(c);
  } else if (FMetric == 0) {
    i = FAllowed->FindNearest(AColor);
  } else {
    RaiseInternalError();
  }
  if (i < 0) RaiseInternalError();
  return FAllowed->GetLinRGB(i);
}

TKvStdRGBColor TKvPrevQuantization::MapToAllowed(const TKvLinRGBColor& AColor) const {
  if (!FAllowed) return {LinToStdByte(AColor.R), LinToStdByte(AColor.G), LinToStdByte(AColor.B)};
  int i;
  if (FUseGray) {
    TKvColor c;
    c.Clear();
    c.InitLinRGB(AColor);
    i = FAllowed->FindNearestByGray(c);
  } else if (FMetric == 0) {
    i = FAllowed->FindNearest(AColor);
  } else {
    RaiseInternalError();
  }
  if (i < 0) RaiseInternalError();
  return FAllowed->GetStdRGB(i);
}

// ---------------------------------------------------------------------------
// Passes

void TKvPrevQuantization::UpdateMiddles() {
  if (Parallel() && FClusterCount >= 2)
    RunJobs<TKvPrevQuantizationUpdateClusterMiddleJob>(this, FAbort, FClusterCount);
  else
    DoUpdateMiddles(0, FClusterCount - 1);
}

void TKvPrevQuantization::DoUpdateMiddles(int AFirst, int ALast) {
  for (int k = AFirst; k <= ALast; ++k) FClusters[k]->UpdateMiddle();
}

void TKvPrevQuantization::SnapshotMiddles() {
  FOldR.swap(FSnapR);
  FOldG.swap(FSnapG);
  FOldB.swap(FSnapB);
  FOldCluster.swap(FSnapCluster);
  const size_t oldCount = FOldCluster.size();
  FSnapR.clear();
  FSnapG.clear();
  FSnapB.clear();
  FSnapCluster.clear();
  for (int k = 0; k < FClusterCount; ++k) {
    TKvPrevQuantizationCluster* c = FClusters[k];
    if (c->Excluded) continue;
    FSnapR.push_back(c->Middle.R);
    FSnapG.push_back(c->Middle.G);
    FSnapB.push_back(c->Middle.B);
    FSnapCluster.push_back(c);
  }
  const int n = static_cast<int>(FSnapCluster.size());
  // The bounds stay usable while the list keeps its length: whatever took
  // place j, the middle at j moved by the distance between the two.
  FBoundsValid = FBoundsValid && size_t(n) == oldCount && n > 0;
  const int groupSize = std::max(8, (n + MaxGroups - 1) / MaxGroups);
  FGroupSize = groupSize;
  const int groups = n > 0 ? (n + groupSize - 1) / groupSize : 0;
  if (groups != FGroupCount) FBoundsValid = false;
  FGroupCount = groups;
  if (FBoundsValid) {
    std::vector<double> drift(size_t(groups), 0.0);
    double maxDrift = 0;
    for (int j = 0; j < n; ++j) {
      const double dr = FSnapR[size_t(j)] - FOldR[size_t(j)];
      const double dg = FSnapG[size_t(j)] - FOldG[size_t(j)];
      const double db = FSnapB[size_t(j)] - FOldB[size_t(j)];
      const double d = std::sqrt(dr * dr + dg * dg + db * db);
      double& gd = drift[size_t(j / groupSize)];
      if (d > gd) gd = d;
      if (d > maxDrift) maxDrift = d;
    }
    for (int g = 0; g < groups; ++g) FGroupMoved[size_t(g)] += drift[size_t(g)];
    FAllMoved += maxDrift;
  } else {
    FGroupMoved.assign(size_t(groups), 0.0);
    FAllMoved = 0;
    FLower.assign(size_t(GetColorCount()) * size_t(groups), 0.0f);
  }
  FSameCluster.assign(size_t(n), 0);
  if (FBoundsValid)
    for (int j = 0; j < n; ++j) FSameCluster[size_t(j)] = FSnapCluster[size_t(j)] == FOldCluster[size_t(j)];
  if (FHot.size() != size_t(GetColorCount())) {
    FHot.resize(size_t(GetColorCount()));
    for (int i = 0; i < GetColorCount(); ++i) {
      const TKvPrevQuantizationColor* c = StoredColor(i);
      FHot[size_t(i)] = {0.0, -1, c->R, c->G, c->B, 0};
    }
  }
}

void TKvPrevQuantization::UpdateNearest() {
  SnapshotMiddles();
  if (FPositionsStale) {
    for (size_t i = 0; i < FColors.size(); ++i) FColors[i]->Position = int32_t(i);
    FPositionsStale = false;
  }
  const int n = GetColorCount();
  for (auto& m : FMovers) m.clear();
  if (Parallel()) {
    FMovers.resize(size_t(std::max(ProcessorCount, 1)));
    RunJobs<TKvPrevQuantizationUpdateColorNearestClusterJob>(this, FAbort, n);
  } else {
    FMovers.resize(1);
    DoUpdateNearest(0, n - 1, 0);
  }
  FBoundsValid = true;
}

namespace {

// Rounding of the bounds is far below this; a colour nearly as close to two
// middles is always searched in full, so ties keep the first-on-ties answer.
constexpr double BoundMargin = 1e-9;

// The group bounds are kept as floats (half the memory the passes stream);
// rounding down keeps them lower bounds.
inline float FloatBelow(double X) {
  float f = static_cast<float>(X);
  if (static_cast<double>(f) > X) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}

}  // namespace

// The clusters are cut into groups of consecutive places. Each colour keeps,
// per group, a lower bound of its distance to the group's middles other than
// its nearest, and one bound over all groups. A group's bound drops by the
// farthest move of its middles since the bound was taken, the overall bound
// by the farthest move of all; both are stored plus the summed moves, so a
// colour that is not searched writes nothing. Only groups whose bound does
// not clearly exceed the exact distance to the present nearest are searched,
// so the answer is the one of a search over all clusters, first on ties
// included. The hot loop reads 16 bytes per colour.
void TKvPrevQuantization::DoUpdateNearest(int AFirst, int ALast, int AJob) {
  const int k = static_cast<int>(FSnapCluster.size());
  const double* mr = FSnapR.data();
  const double* mg = FSnapG.data();
  const double* mb = FSnapB.data();
  const double* lin = LinTable();
  const int groups = FGroupCount;
  const int gs = FGroupSize;
  const double* cum = FGroupMoved.data();
  const double cumAll = FAllMoved;
  const bool useBounds = FBoundsValid;
  const uint8_t* same = FSameCluster.data();
  std::vector<int32_t>* movers = nullptr;
  double gBest[MaxGroups], gSecond[MaxGroups];
  int gBestIdx[MaxGroups];
  bool searched[MaxGroups];
  const float* lowerBase = FLower.data();
  for (int i = AFirst; i <= ALast; ++i) {
    TKvPrevQuantizationHot& h = FHot[size_t(i)];
    // The group bounds are read only when the overall bound fails, too
    // rarely for the hardware to stream them in ahead.
    if (groups > 0 && i + 16 <= ALast) __builtin_prefetch(lowerBase + size_t(i + 16) * size_t(groups));
    if (k == 0) {
      TKvPrevQuantizationColor* c = StoredColor(i);
      c->Nearest = nullptr;
      h.NearIndex = -1;
      continue;
    }
    const double cr = lin[h.R], cg = lin[h.G], cb = lin[h.B];
    const int a = (useBounds && h.NearIndex >= 0 && h.NearIndex < k) ? h.NearIndex : -1;
    int best = -1;
    double bestD = std::numeric_limits<double>::infinity();
    double aDist = bestD;
    if (a >= 0) {
      const double dr = cr - mr[a], dg = cg - mg[a], db = cb - mb[a];
      bestD = dr * dr + dg * dg + db * db;
      best = a;
      const double reach = h.Bound - cumAll - BoundMargin;
      if (reach > 0 && bestD < reach * reach) {
        // Still the nearest by a clear margin.
        if (!same[a]) {
          TKvPrevQuantizationColor* c = StoredColor(i);
          c->Nearest = FSnapCluster[size_t(a)];
          if (c->Nearest != c->Cluster) {
            if (!movers) movers = &FMovers[size_t(AJob)];
            movers->push_back(c->Position);
          }
        }
        continue;
      }
      aDist = std::sqrt(bestD);
    }
    float* lower = FLower.data() + size_t(i) * size_t(groups);
    for (int g = 0; g < groups; ++g) {
      searched[g] = a < 0 || !(aDist + BoundMargin < lower[g] - cum[g]);
      if (!searched[g]) continue;
      const int j0 = g * gs, j1 = std::min(k, j0 + gs);
      double b1 = std::numeric_limits<double>::infinity(), b2 = b1;
      int i1 = -1;
      for (int j = j0; j < j1; ++j) {
        const double dr = cr - mr[j], dg = cg - mg[j], db = cb - mb[j];
        const double d = dr * dr + dg * dg + db * db;
        if (d < b1) {
          b2 = b1;
          b1 = d;
          i1 = j;
        } else if (d < b2) {
          b2 = d;
        }
      }
      gBest[g] = b1;
      gSecond[g] = b2;
      gBestIdx[g] = i1;
      if (b1 < bestD || (b1 == bestD && i1 < best)) {
        bestD = b1;
        best = i1;
      }
    }
    for (int g = 0; g < groups; ++g) {
      if (!searched[g]) continue;
      // A group's bound leaves out the overall nearest only.
      lower[g] = FloatBelow(std::sqrt(gBestIdx[g] == best ? gSecond[g] : gBest[g]) + cum[g]);
    }
    if (a >= 0 && best != a && !searched[a / gs]) {
      // The old nearest is now one of the others of its group.
      const int ga = a / gs;
      if (aDist < lower[ga] - cum[ga]) lower[ga] = FloatBelow(aDist + cum[ga]);
    }
    double all = std::numeric_limits<double>::infinity();
    for (int g = 0; g < groups; ++g) all = std::min(all, lower[g] - cum[g]);
    h.Bound = all + cumAll;
    h.NearIndex = best;
    // Same place and same cluster as last pass: the colour already lies in
    // it (it was moved there), so its record need not be touched.
    if (best == a && same[a]) continue;
    TKvPrevQuantizationColor* c = StoredColor(i);
    c->Nearest = FSnapCluster[static_cast<size_t>(best)];
    if (c->Nearest != c->Cluster) {
      if (!movers) movers = &FMovers[size_t(AJob)];
      movers->push_back(c->Position);
    }
  }
}

int TKvPrevQuantization::MoveColors() {
  // The nearest pass listed the colours to move; moving them by their place
  // in the colour array is the order of a walk over the whole array.
  std::vector<int32_t> all;
  for (auto& m : FMovers) all.insert(all.end(), m.begin(), m.end());
  std::sort(all.begin(), all.end());
  int moves = 0;
  for (int32_t pos : all) {
    TKvPrevQuantizationColor* c = FColors[size_t(pos)];
    if (c->Nearest && c->Nearest != c->Cluster) {
      if (c->Cluster) c->Cluster->RemoveColor(c);
      c->Nearest->AddColor(c);
      ++moves;
    }
  }
  return moves;
}

void TKvPrevQuantization::UpdateDistances() {
  const int n = GetColorCount();
  if (Parallel())
    RunJobs<TKvPrevQuantizationUpdateColorDistansesJob>(this, FAbort, n);
  else
    DoUpdateDistances(0, n - 1);
}

void TKvPrevQuantization::DoUpdateDistances(int AFirst, int ALast) {
  for (int i = AFirst; i <= ALast; ++i) {
    TKvPrevQuantizationColor* c = StoredColor(i);
    const uint32_t version = c->Cluster ? c->Cluster->MiddleVersion : 0;
    if (c->DistanceValid && c->DistanceVersion == version) continue;
    c->Distance = c->Cluster ? SqrDist(c->LinR, c->LinG, c->LinB, c->Cluster->Middle) : 0.0;
    c->DistanceVersion = version;
    c->DistanceValid = true;
  }
}

// ---------------------------------------------------------------------------
// Clusters

void TKvPrevQuantization::DeleteCluster(int AIndex) {
  if (AIndex < 0 || AIndex >= FClusterCount) RaiseInternalError();
  TKvPrevQuantizationCluster* c = FClusters[AIndex];
  FBoundsValid = false;
  for (auto& row : FMix)
    for (auto& m : row)
      if (m == c) m = nullptr;
  delete c;
  for (int k = AIndex; k + 1 < FClusterCount; ++k) FClusters[k] = FClusters[k + 1];
  FClusters[--FClusterCount] = nullptr;
}

void TKvPrevQuantization::RemoveEmptyClusters() {
  for (int k = FClusterCount - 1; k >= 0; --k)
    if (!FClusters[k]->Fixed && FClusters[k]->GetCount() == 0) DeleteCluster(k);
}

// ---------------------------------------------------------------------------
// Sorting

namespace {

inline double SortKey(const TKvPrevQuantizationColor* C, TKvPrevQuantization::TSortKey AKey) {
  switch (AKey) {
    case TKvPrevQuantization::skR:
      return C->R;
    case TKvPrevQuantization::skG:
      return C->G;
    case TKvPrevQuantization::skB:
      return C->B;
    default:
      return C->Distance;
  }
}

}  // namespace

void TKvPrevQuantization::SortColors(int AFirst, int ALast, TSortKey AKey) {
  CheckAbort();
  FPositionsStale = true;
  std::vector<TKvPrevQuantizationColor*>& a = FColors;
  auto key = [AKey](const TKvPrevQuantizationColor* c) { return SortKey(c, AKey); };
  if (ALast - AFirst <= 14) {
    int last = ALast;
    bool swapped = true;
    while (swapped && last > AFirst) {
      swapped = false;
      for (int i = AFirst; i < last; ++i) {
        CheckAbort();
        if (key(a[size_t(i) + 1]) < key(a[size_t(i)])) {
          std::swap(a[size_t(i)], a[size_t(i) + 1]);
          swapped = true;
        }
      }
      --last;
    }
    return;
  }
  int first = AFirst;
  int i;
  do {
    i = first;
    int j = ALast;
    const double pivot = key(a[size_t(first + (ALast - first) / 2)]);
    do {
      while (key(a[size_t(i)]) < pivot) ++i;
      while (key(a[size_t(j)]) > pivot) --j;
      if (i <= j) {
        std::swap(a[size_t(i)], a[size_t(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (first < j) SortColors(first, j, AKey);
    first = i;
  } while (i < ALast);
}

// ---------------------------------------------------------------------------
// Seeding and iterating

void TKvPrevQuantization::Seed() {
  CheckAbort();
  const int n = GetColorCount();
  if (FPin && FPin->Count == FCount) {
    for (int i = 0; i < FPin->Count; ++i) {
      auto* k = new TKvPrevQuantizationCluster(this);
      k->Fixed = true;
      k->Middle = FPin->GetLinRGB(i);
      k->MiddleStd = FPin->GetStdRGB(i);
      k->MiddleGray = FPin->GetLinGray(i);
      k->MiddleValid = true;
    }
  } else if (FCount < n || (FFixed && FFixed->Count > 0)) {
    MedianCut(0, n - 1, FCount);
    PinClusters();
    Iterate();
  } else {
    for (int i = 0; i < n; ++i) {
      auto* k = new TKvPrevQuantizationCluster(this);
      k->AddColor(FColors[size_t(i)]);
    }
  }
}

void TKvPrevQuantization::SeedBounded() {
  CheckAbort();
  const int n = GetColorCount();
  if (FPin && FPin->Count == FCount) {
    for (int i = 0; i < FPin->Count; ++i) {
      auto* k = new TKvPrevQuantizationCluster(this);
      k->Fixed = true;
      k->Middle = FPin->GetLinRGB(i);
      k->MiddleStd = FPin->GetStdRGB(i);
      k->MiddleGray = FPin->GetLinGray(i);
      k->MiddleValid = true;
    }
  } else if (FCount < n || FFixed) {
    SeedMixtures();
    IterateBounded();
  } else {
    for (int i = 0; i < n; ++i) {
      auto* k = new TKvPrevQuantizationCluster(this);
      k->AddColor(FColors[size_t(i)]);
    }
  }
}

void TKvPrevQuantization::MedianCut(int AFirst, int ALast, int AK) {
  CheckAbort();
  if (AFirst > ALast) return;
  if (AK <= 1 || AFirst == ALast) {
    auto* k = new TKvPrevQuantizationCluster(this);
    for (int i = AFirst; i <= ALast; ++i) {
      TKvPrevQuantizationColor* c = FColors[size_t(i)];
      if (!c->Cluster) k->AddColor(c);
    }
    if (k->GetCount() == 0) {
      // The new cluster is the last of the table.
      DeleteCluster(FClusterCount - 1);
    }
    return;
  }
  uint8_t minR = 255, minG = 255, minB = 255, maxR = 0, maxG = 0, maxB = 0;
  for (int i = AFirst; i <= ALast; ++i) {
    const TKvPrevQuantizationColor* c = FColors[size_t(i)];
    minR = std::min(minR, c->R);
    maxR = std::max(maxR, c->R);
    minG = std::min(minG, c->G);
    maxG = std::max(maxG, c->G);
    minB = std::min(minB, c->B);
    maxB = std::max(maxB, c->B);
  }
  const double* lin = LinTable();
  const double rr = lin[maxR] - lin[minR];
  const double rg = lin[maxG] - lin[minG];
  const double rb = lin[maxB] - lin[minB];
  const double m = std::max(rr, std::max(rg, rb));
  if (m == rg)
    SortColors(AFirst, ALast, skG);
  else if (m == rr)
    SortColors(AFirst, ALast, skR);
  else
    SortColors(AFirst, ALast, skB);
  const int mid = AFirst + (ALast - AFirst) / 2;
  MedianCut(AFirst, mid, AK / 2);
  MedianCut(mid + 1, ALast, AK - AK / 2);
}

void TKvPrevQuantization::PinClusters() {
  if (!FPin) return;
  // The pin colours already taken are marked here, not in the caller's
  // palette, so its Skip flags are left as they were.
  std::vector<bool> taken(static_cast<size_t>(FPin->Count), false);
  CheckAbort();
  UpdateMiddles();
  for (int round = 0; round < FPin->Count; ++round) {
    int bestPin = -1;
    TKvPrevQuantizationCluster* bestCluster = nullptr;
    double bestD = 0;
    bool anyFree = false;
    for (int p = 0; p < FPin->Count; ++p) {
      if (taken[size_t(p)]) continue;
      const TKvLinRGBColor pl = FPin->GetLinRGB(p);
      for (int k = 0; k < FClusterCount; ++k) {
        TKvPrevQuantizationCluster* c = FClusters[k];
        if (c->Fixed) continue;
        anyFree = true;
        CheckAbort();
        const double d = SqrDist(c->Middle, pl);
        if (!bestCluster || d < bestD) {
          bestD = d;
          bestCluster = c;
          bestPin = p;
        }
      }
    }
    if (!anyFree || !bestCluster) break;
    bestCluster->Fixed = true;
    bestCluster->Middle = FPin->GetLinRGB(bestPin);
    bestCluster->MiddleStd = FPin->GetStdRGB(bestPin);
    bestCluster->MiddleGray = FPin->GetLinGray(bestPin);
    bestCluster->MiddleValid = true;
    taken[size_t(bestPin)] = true;
  }
}

void TKvPrevQuantization::Iterate() {
  if (FCount < FClusterCount) RaiseInternalError();
  for (int iter = 0;; ++iter) {
    CheckAbort();
    UpdateMiddles();
    CheckAbort();
    UpdateNearest();
    CheckAbort();
    int moves = MoveColors();
    RemoveEmptyClusters();
    if (FClusterCount < FCount && SplitWorst()) ++moves;
    ++FIterations;
    // Colours mapped into an allowed palette can trade places for ever; the
    // limit ends such a run with the clusters it has.
    if (moves == 0 || iter + 1 >= MaxIterations) break;
  }
}

bool TKvPrevQuantization::SplitWorst() {
  UpdateMiddles();
  UpdateDistances();
  const int n = GetColorCount();
  if (n == 0) return false;
  SortColors(0, n - 1, skDistance);
  for (int i = n - 1; i >= 0; --i) {
    TKvPrevQuantizationColor* c = FColors[size_t(i)];
    const TKvStdRGBColor s = MapToAllowed({c->LinR, c->LinG, c->LinB});
    bool present = false;
    for (int k = 0; k < FClusterCount && !present; ++k) present = FClusters[k]->MiddleStd == s;
    if (present) continue;
    if (c->Cluster) c->Cluster->RemoveColor(c);
    auto* k = new TKvPrevQuantizationCluster(this);
    k->AddColor(c);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Bounded variants

void TKvPrevQuantization::SeedMixtures() {
  const int n = GetColorCount();
  MedianCut(0, n - 1, FCount);
  PinClusters();
  Iterate();
  const int have = FClusterCount;
  for (int i = have; i < FCount; ++i) {
    auto* k = new TKvPrevQuantizationCluster(this);
    k->SetMiddle(LinRGBBlack);
    FMix[i][i] = k;
  }
  for (int i = 0; i < have; ++i) FMix[i][i] = FClusters[i];
  UpdateMiddles();
  for (int j = 1; j < FCount; ++j)
    for (int i = 0; i < FCount - j; ++i) FMix[i][i + j] = new TKvPrevQuantizationCluster(this);
}

void TKvPrevQuantization::UpdateMixtures() {
  for (int i = 0; i < FCount; ++i)
    for (int j = i + 1; j < FCount; ++j) {
      TKvPrevQuantizationCluster* m = FMix[i][j];
      const TKvPrevQuantizationCluster* a = FMix[i][i];
      const TKvPrevQuantizationCluster* b = FMix[j][j];
      if (!m || !a || !b) RaiseInternalError();
      m->Middle = MiddleLinRGB(a->Middle, b->Middle);
      m->MiddleValid = true;
      m->Excluded = std::fabs(a->MiddleGray - b->MiddleGray) > FFlickerBound;
    }
}

void TKvPrevQuantization::IterateBounded() {
  CheckAbort();
  UpdateMixtures();
  UpdateMiddles();
  int counter = 0;
  for (;;) {
    CheckAbort();
    UpdateNearest();
    CheckAbort();
    int moves = MoveColors();
    CheckAbort();
    UpdateMiddles();
    SolveBaseColors();
    UpdateMixtures();
    ++counter;
    ++FIterations;
    if (moves == 0 || counter > MaxBoundedIterations) {
      while (FClusterCount > FCount) DeleteCluster(FClusterCount - 1);
      return;
    }
  }
}

void TKvPrevQuantization::SolveBaseColors() {
  const int n = FCount;
  double A[MaxBoundedColors][MaxBoundedColors];
  double b[MaxBoundedColors], x[MaxBoundedColors];
  for (int ch = 0; ch < 3; ++ch) {
    for (int i = 0; i < n; ++i) {
      b[i] = 0;
      for (int j = 0; j < n; ++j) A[i][j] = 0;
    }
    auto chan = [ch](double r, double g, double bb) { return ch == 0 ? r : ch == 1 ? g : bb; };
    for (int p = 0; p < n; ++p)
      for (int q = p; q < n; ++q) {
        const TKvPrevQuantizationCluster* k = FMix[p][q];
        if (!k) continue;
        for (int m = 0; m < k->GetCount(); ++m) {
          const TKvPrevQuantizationColor* c = k->GetColor(m);
          const double v = chan(c->LinR, c->LinG, c->LinB);
          // Halves summed once per pixel are exact, so they are added as one
          // product; the channel values are added pixel by pixel.
          const double h = 0.5 * c->Weight;
          A[p][p] += h;
          A[p][q] += h;
          A[q][p] += h;
          A[q][q] += h;
          for (uint32_t u = 0; u < c->Weight; ++u) {
            b[p] += v;
            b[q] += v;
          }
        }
      }
    for (int p = 0; p < n; ++p) {
      const TKvPrevQuantizationCluster* k = FMix[p][p];
      if (!k) RaiseInternalError();
      const double v = chan(k->Middle.R, k->Middle.G, k->Middle.B);
      for (int t = 0; t < 4; ++t) A[p][p] += 0.5;
      b[p] += v;
      b[p] += v;
    }
    for (int i = 0; i < n; ++i) {
      int piv = i;
      for (int r = i + 1; r < n; ++r)
        if (std::fabs(A[r][i]) > std::fabs(A[piv][i])) piv = r;
      if (A[piv][i] == 0) RaiseInternalError();
      if (piv != i) {
        for (int cidx = 0; cidx < n; ++cidx) std::swap(A[i][cidx], A[piv][cidx]);
        std::swap(b[i], b[piv]);
      }
      for (int r = i + 1; r < n; ++r) {
        const double f = A[r][i] / A[i][i];
        for (int cidx = i + 1; cidx < n; ++cidx) A[r][cidx] -= f * A[i][cidx];
        A[r][i] = 0;
        b[r] -= f * b[i];
      }
    }
    for (int i = n - 1; i >= 0; --i) {
      double s = b[i];
      for (int j = i + 1; j < n; ++j) s -= A[i][j] * x[j];
      x[i] = s / A[i][i];
    }
    for (int p = 0; p < n; ++p) {
      TKvPrevQuantizationCluster* k = FMix[p][p];
      if (k->Fixed) continue;
      if (ch == 0)
        k->Middle.R = x[p];
      else if (ch == 1)
        k->Middle.G = x[p];
      else
        k->Middle.B = x[p];
    }
  }
  if (FAllowed) {
    for (int p = 0; p < n; ++p) {
      TKvPrevQuantizationCluster* k = FMix[p][p];
      if (k->Fixed) continue;
      const int i = FAllowed->FindNearest(k->Middle);
      if (i < 0) RaiseInternalError();
      k->Middle = FAllowed->GetLinRGB(i);
      k->MiddleStd = FAllowed->GetStdRGB(i);
      k->MiddleValid = true;
    }
  }
}

// ---------------------------------------------------------------------------
// Result

void TKvPrevQuantization::WriteResult(TKvPalette256& AResult) { WriteResultCommon(AResult, false); }

void TKvPrevQuantization::WriteResultBounded(TKvPalette256& AResult) { WriteResultCommon(AResult, true); }

void TKvPrevQuantization::WriteResultCommon(TKvPalette256& AResult, bool AAllClusters) {
  UpdateMiddles();
  TKvPalette* const savedAllowed = FAllowed;
  std::unique_ptr<TKvPalette256> privateAllowed;
  if (FAllowed == &AResult) {
    privateAllowed = std::make_unique<TKvPalette256>();
    privateAllowed->AssignColors(&AResult);
    FAllowed = privateAllowed.get();
  }
  struct TRestore {
    TKvPalette*& Ref;
    TKvPalette* Value;
    ~TRestore() { Ref = Value; }
  } restore{FAllowed, savedAllowed};

  AResult.BeginUpdate();
  try {
    AResult.Clear();
    AResult.Generated = true;
    AResult.Name = "Autogenerated";
    const int fixedCount = FFixed ? FFixed->Count : 0;
    for (int i = 0; i < fixedCount; ++i) AResult.AddLinRGB(FFixed->GetLinRGB(i));
    for (int k = 0; k < FClusterCount; ++k) {
      const TKvPrevQuantizationCluster* c = FClusters[k];
      if (AAllClusters || c->Fixed || c->GetCount() > 0) AResult.AddUniqueLinRGB(c->Middle);
    }
    TKvLinRGBColor cand[2] = {LinRGBBlack, LinRGBWhite};
    int candCount = 2;
    while (candCount > 0 && AResult.Count != FCount) {
      int best = 0;
      double bestD = -1;
      for (int c = 0; c < candCount; ++c) {
        double m = std::numeric_limits<double>::infinity();
        for (int i = 0; i < AResult.Count; ++i) m = std::min(m, SqrDist(cand[c], AResult.GetLinRGB(i)));
        if (m > bestD) {
          bestD = m;
          best = c;
        }
      }
      TKvLinRGBColor col = cand[best];
      for (int c = best; c + 1 < candCount; ++c) cand[c] = cand[c + 1];
      --candCount;
      if (FAllowed) {
        const int i = FAllowed->FindNearest(col);
        if (i >= 0) col = FAllowed->GetLinRGB(i);
      }
      AResult.AddUniqueLinRGB(col);
    }
    AResult.SortByGray(fixedCount);
    if (AResult.Count > FCount) RaiseInternalError();
  } catch (...) {
    AResult.EndUpdate();
    throw;
  }
  AResult.EndUpdate();
}
