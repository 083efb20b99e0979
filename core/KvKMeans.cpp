#include "core/KvKMeans.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"


namespace {

// Fewer colours than this are not worth handing to worker threads.
constexpr int ParallelThreshold = 4096;
// Colours from which a team of workers runs the passes of a body whose work
// has not been measured yet.
constexpr int UnmeasuredTeamColors = 65536;
// The least work of an average phase, in nanoseconds of one processor, for
// which the passes run on a team. The team's workers wait for the next
// phase spinning, so a phase is handed over for less than a job; on four
// shared processors, passes whose phases averaged 200 us (CPC mode 0, 32k
// colours) ran no faster on a team, those averaging 400 us (16 clusters of
// 614k colours) ran 1.75 times as fast.
constexpr double MinTeamPhaseNanoseconds = 300000;

// Chunks per worker of the passes on the team, so that the chunks of a
// worker held back are taken by the others.
constexpr int ChunksPerWorker = 4;

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

inline bool StdLess(const TKvQuantizationColor& C, uint8_t R, uint8_t G, uint8_t B) {
  if (C.R != R) return C.R < R;
  if (C.G != G) return C.G < G;
  return C.B < B;
}

}  // namespace

// Job classes of the passes that run outside the team of workers (the
// nearest pass runs on the team).
class TKvQuantizationJob : public TKvJob {
public:
  TKvQuantizationJob(TKvJobList* AList, TKvQuantization* AOwner, int AFirst, int ALast)
      : TKvJob(AList), Owner(AOwner), First(AFirst), Last(ALast) {}
  TKvQuantization* Owner;
  int First, Last;
};

class TKvQuantizationUpdateClusterMiddleJob : public TKvQuantizationJob {
public:
  using TKvQuantizationJob::TKvQuantizationJob;
  void Execute() override { Owner->DoUpdateMiddles(First, Last); }
};

class TKvQuantizationUpdateColorDistansesJob : public TKvQuantizationJob {
public:
  using TKvQuantizationJob::TKvQuantizationJob;
  void Execute() override { Owner->DoUpdateDistances(First, Last); }
};

namespace {

// Runs the pass over the items 0 .. ACount-1 in as many jobs as its
// measured work pays for.
template <class TJob>
void RunJobs(TKvQuantization* AOwner, const bool* AAbort, int ACount) {
  KvRunChunkJobs(ACount, 1, AAbort, [AOwner](int32_t AFirst, int32_t ALast) {
    TJob job(nullptr, AOwner, AFirst, ALast);
    job.Execute();
  });
}

}  // namespace

namespace {

// The sRGB bytes of pixels AFirst..ALast as keys $RRGGBB; stops early when
// cancelled.
void ReadPixelKeys(const TKvPixel* APixels, uint32_t* AKeys, size_t AFirst, size_t ALast, const bool* AAbort) {
  for (size_t i = AFirst; i <= ALast; ++i) {
    if ((i & 4095) == 0 && Aborted(AAbort)) return;
    const TKvStdRGBColor s = APixels[i].GetStdRGB();
    AKeys[i] = (uint32_t(s.R) << 16) | (uint32_t(s.G) << 8) | s.B;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The team of workers of the passes

// Workers that stay for all the passes of Iterate: each phase of a pass is
// handed to them by a counter they watch, which costs far less than a job
// list per phase over hundreds of short passes. The calling thread is worker
// 0 and runs the rest of the passes.
//
// A phase is a number of chunks that the workers take in turn from a shared
// counter, so a worker that the system holds back leaves its chunks to the
// others instead of stalling the phase; a worker that comes late finds
// nothing left and goes back to waiting. What a chunk does must not depend
// on the worker that runs it, except for the worker's own scratch (the
// worker index says which), so the results do not depend on who ran what.
// A phase raises again, on the calling thread, the exception of the lowest
// worker that had one.
class TKvQuantizationTeam {
public:
  explicit TKvQuantizationTeam(int AWorkers) : FErrors(size_t(AWorkers)) {}
  int GetWorkers() const { return static_cast<int>(FErrors.size()); }
  // The phases run and the work their chunks did, in nanoseconds.
  int64_t GetPhases() const { return FPhases; }
  int64_t GetWorkNanoseconds() const { return FWorkNanoseconds.load(std::memory_order_relaxed); }

  // Runs AWork(chunk, worker) for chunk = 0 .. AChunks-1 and returns when
  // all have finished; AEnd(worker), when given, runs on each worker that
  // took a chunk, after its last one.
  void Phase(int AChunks, const std::function<void(int, int)>& AWork,
             const std::function<void(int)>* AEnd = nullptr) {
    if (AChunks <= 0) return;
    if (AChunks > int(ChunkMask)) RaiseInternalError();
    ++FPhases;
    FWork.store(&AWork, std::memory_order_relaxed);
    FEnd = AEnd;
    FPending.store(AChunks, std::memory_order_relaxed);
    FPhase = (FPhase + 1) & PhaseMask;
    FClaim.store((uint64_t(FPhase) << 40) | (uint64_t(AChunks) << 20), std::memory_order_release);
    FGeneration.fetch_add(1, std::memory_order_release);
    FGeneration.notify_all();
    Take(0);
    for (int spins = 0;;) {
      const int pending = FPending.load(std::memory_order_acquire);
      if (pending == 0) break;
      if (++spins < SpinLimit)
        Pause();
      else
        FPending.wait(pending, std::memory_order_acquire);
    }
    FEnd = nullptr;
    for (std::exception_ptr& e : FErrors)
      if (e) {
        std::exception_ptr first = e;
        for (std::exception_ptr& x : FErrors) x = nullptr;
        std::rethrow_exception(first);
      }
  }

  // The loop of worker AIndex (1 and up) until Stop.
  void Serve(int AIndex) {
    uint32_t seen = 0;
    for (;;) {
      uint32_t now;
      for (int spins = 0; (now = FGeneration.load(std::memory_order_acquire)) == seen;) {
        if (++spins < SpinLimit)
          Pause();
        else
          FGeneration.wait(seen, std::memory_order_acquire);
      }
      seen = now;
      if (FStopped.load(std::memory_order_acquire)) return;
      Take(AIndex);
    }
  }

  void Stop() {
    FStopped.store(true, std::memory_order_release);
    FGeneration.fetch_add(1, std::memory_order_release);
    FGeneration.notify_all();
  }

private:
  // Takes chunks of the present phase while there are any. A chunk is
  // claimed by raising the counter only while it still names the phase and
  // the chunk count that were read: a worker that woke for an earlier phase
  // claims nothing. The pending count holds the chunks not finished plus
  // the workers still at work on the phase, so the caller waits for both.
  void Take(int AIndex) {
    bool joined = false;
    uint64_t claim = FClaim.load(std::memory_order_acquire);
    for (;;) {
      const uint64_t chunk = claim & ChunkMask;
      if (chunk >= ((claim >> 20) & ChunkMask)) break;
      // Read before the claim: it cannot change while a chunk of the phase
      // is left, and a claim that succeeds shows one was.
      const std::function<void(int, int)>* work = FWork.load(std::memory_order_relaxed);
      if (!FClaim.compare_exchange_weak(claim, claim + 1, std::memory_order_acq_rel, std::memory_order_acquire))
        continue;
      if (!joined) {
        joined = true;
        FPending.fetch_add(1, std::memory_order_relaxed);
      }
      if (!FErrors[size_t(AIndex)]) {
        const auto start = std::chrono::steady_clock::now();
        try {
          (*work)(int(chunk), AIndex);
        } catch (...) {
          FErrors[size_t(AIndex)] = std::current_exception();
        }
        FWorkNanoseconds.fetch_add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count(),
            std::memory_order_relaxed);
      }
      Finish();
      claim = FClaim.load(std::memory_order_acquire);
    }
    if (!joined) return;
    if (FEnd && !FErrors[size_t(AIndex)]) {
      try {
        (*FEnd)(AIndex);
      } catch (...) {
        FErrors[size_t(AIndex)] = std::current_exception();
      }
    }
    Finish();
  }

  void Finish() {
    if (FPending.fetch_sub(1, std::memory_order_acq_rel) == 1) FPending.notify_one();
  }

  // About a tenth of a millisecond of waiting before a worker sleeps.
  static constexpr int SpinLimit = 4000;
  static void Pause() {
#if defined(__SSE2__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
  }
  std::atomic<uint32_t> FGeneration{0};
  // The phase (bits 40 and up), its chunk count (bits 20..39) and its next
  // chunk (bits 0..19).
  static constexpr uint64_t ChunkMask = (uint64_t(1) << 20) - 1;
  static constexpr uint32_t PhaseMask = (uint32_t(1) << 24) - 1;
  std::atomic<uint64_t> FClaim{0};
  std::atomic<int> FPending{0};
  std::atomic<bool> FStopped{false};
  uint32_t FPhase = 0;
  int64_t FPhases = 0;
  std::atomic<int64_t> FWorkNanoseconds{0};
  std::atomic<const std::function<void(int, int)>*> FWork{nullptr};
  const std::function<void(int)>* FEnd = nullptr;
  std::vector<std::exception_ptr> FErrors;
};

namespace {

class TKvTeamJob : public TKvJob {
public:
  TKvTeamJob(TKvJobList* AList, TKvQuantizationTeam* ATeam, int AIndex, const std::function<void()>* ABody)
      : TKvJob(AList), Team(ATeam), Index(AIndex), Body(ABody) {}
  void Execute() override {
    if (Index > 0) {
      Team->Serve(Index);
      return;
    }
    try {
      (*Body)();
    } catch (...) {
      Team->Stop();
      throw;
    }
    Team->Stop();
  }
  TKvQuantizationTeam* Team;
  int Index;
  const std::function<void()>* Body;
};

}  // namespace

void TKvQuantization::WithTeam(const std::function<void()>& ABody) {
  if (FTeam) {
    ABody();
    return;
  }
  // A team pays when its phases do: an average phase must carry
  // MinTeamPhaseNanoseconds of work, at the work per colour and phase that
  // the same body last showed. A body not measured yet has a team from
  // UnmeasuredTeamColors colours on.
  const std::type_info& body = ABody.target_type();
  const int colors = GetColorCount();
  bool team = Parallel();
  if (team && KvMinJobNanoseconds > 0) {
    const double rate = KvLoopRate(body);
    team = rate < 0 ? colors >= UnmeasuredTeamColors : rate * colors >= MinTeamPhaseNanoseconds;
  }
  const auto note = [&](int64_t APhases, double ANanoseconds) {
    if (APhases > 0) KvNoteLoopRate(body, ANanoseconds / double(APhases) / std::max(colors, 1));
  };
  if (!team) {
    FPhases = 0;
    FPhaseNanoseconds = 0;
    ABody();
    note(FPhases, FPhaseNanoseconds);
    return;
  }
  TKvQuantizationTeam workers(ProcessorCount);
  struct TReset {
    TKvQuantizationTeam*& Ref;
    ~TReset() { Ref = nullptr; }
  } reset{FTeam};
  FTeam = &workers;
  TKvJobList list;
  for (int w = 0; w < ProcessorCount; ++w) new TKvTeamJob(&list, &workers, w, &ABody);
  list.RunWithCaller(FAbort);
  note(workers.GetPhases(), double(workers.GetWorkNanoseconds()));
}

// ---------------------------------------------------------------------------
// Colours and clusters

TKvLinRGBColor TKvQuantizationColor::GetLinRGB() const {
  const double* lin = LinTable();
  return {lin[R], lin[G], lin[B]};
}

TKvQuantizationCluster* TKvQuantizationColor::FindNearestCluster(const TKvQuantization& AOwner) const {
  TKvQuantizationCluster* best = nullptr;
  double bestD = 0;
  for (int k = 0; k < AOwner.FClusterCount; ++k) {
    TKvQuantizationCluster* c = AOwner.FClusters[k];
    if (c->Excluded) continue;
    const double d = SqrDist(GetLinRGB(), c->Middle);
    if (!best || d < bestD) {
      best = c;
      bestD = d;
    }
  }
  return best;
}

TKvQuantizationCluster::TKvQuantizationCluster(TKvQuantization* AOwner) : Owner(AOwner) {
  if (Owner->FClusterCount >= TKvQuantization::MaxClusters) RaiseInternalError();
  Owner->FClusters[Owner->FClusterCount++] = this;
  // The nearest pass's bounds and places describe the old table.
  Owner->FBoundsValid = false;
}

TKvQuantizationCluster::~TKvQuantizationCluster() {
  for (const int32_t m : FMembers) {
    TKvQuantizationColor* c = Owner->StoredColor(m);
    c->Cluster = nullptr;
    c->DistanceValid = false;
    Owner->FStores[size_t(m)].MemberIndex = -1;
  }
}

TKvQuantizationColor* TKvQuantizationCluster::GetColor(int AIndex) const {
  return Owner->StoredColor(FMembers[static_cast<size_t>(AIndex)]);
}

void TKvQuantizationCluster::AddColor(TKvQuantizationColor* AColor) {
  AColor->Cluster = this;
  AColor->DistanceValid = false;
  Owner->FStores[size_t(AColor->Store)].MemberIndex = static_cast<int32_t>(FMembers.size());
  FMembers.push_back(AColor->Store);
  if (FLevelWeights.empty()) FLevelWeights.assign(768, 0);
  WidenLevels(AColor->R, AColor->G, AColor->B);
  FLevelWeights[AColor->R] += AColor->Weight;
  FLevelWeights[256 + AColor->G] += AColor->Weight;
  FLevelWeights[512 + AColor->B] += AColor->Weight;
  FTotalWeight += AColor->Weight;
  MiddleValid = false;
}

void TKvQuantizationCluster::RemoveColor(TKvQuantizationColor* AColor) {
  auto& stores = Owner->FStores;
  const int i = stores[size_t(AColor->Store)].MemberIndex;
  if (AColor->Cluster != this || i < 0 || i >= GetCount() || FMembers[static_cast<size_t>(i)] != AColor->Store)
    RaiseInternalError();
  // Moves are made one at a time on one thread, so this order of members is
  // reproducible.
  const int32_t last = FMembers.back();
  FMembers[static_cast<size_t>(i)] = last;
  stores[size_t(last)].MemberIndex = i;
  FMembers.pop_back();
  FLevelWeights[AColor->R] -= AColor->Weight;
  FLevelWeights[256 + AColor->G] -= AColor->Weight;
  FLevelWeights[512 + AColor->B] -= AColor->Weight;
  FTotalWeight -= AColor->Weight;
  AColor->Cluster = nullptr;
  stores[size_t(AColor->Store)].MemberIndex = -1;
  AColor->DistanceValid = false;
  MiddleValid = false;
}

void TKvQuantizationCluster::TakeOut(const TKvQuantizationMove& AMove) {
  const int32_t store = int32_t(uint32_t(AMove.Key));
  auto& stores = Owner->FStores;
  const int i = stores[size_t(store)].MemberIndex;
  if (i < 0 || i >= GetCount() || FMembers[static_cast<size_t>(i)] != store) RaiseInternalError();
  const int32_t last = FMembers.back();
  FMembers[static_cast<size_t>(i)] = last;
  // A member moved in this pass is not yet of this place.
  TKvQuantizationStore& l = stores[size_t(last)];
  (l.Place == Place ? l.MemberIndex : Owner->FNewIndex[size_t(last)]) = i;
  FMembers.pop_back();
  const uint32_t weight = stores[size_t(store)].Weight;
  FLevelWeights[AMove.R] -= weight;
  FLevelWeights[256 + AMove.G] -= weight;
  FLevelWeights[512 + AMove.B] -= weight;
  FTotalWeight -= weight;
  MiddleValid = false;
}

void TKvQuantizationCluster::TakeIn(const TKvQuantizationMove& AMove) {
  const int32_t store = int32_t(uint32_t(AMove.Key));
  Owner->FNewIndex[size_t(store)] = static_cast<int32_t>(FMembers.size());
  FMembers.push_back(store);
  if (FLevelWeights.empty()) FLevelWeights.assign(768, 0);
  const uint32_t weight = Owner->FStores[size_t(store)].Weight;
  WidenLevels(AMove.R, AMove.G, AMove.B);
  FLevelWeights[AMove.R] += weight;
  FLevelWeights[256 + AMove.G] += weight;
  FLevelWeights[512 + AMove.B] += weight;
  FTotalWeight += weight;
  MiddleValid = false;
}

void TKvQuantizationCluster::SetMiddle(const TKvLinRGBColor& AColor) {
  Middle = AColor;
  MiddleStd = {LinToStdByte(AColor.R), LinToStdByte(AColor.G), LinToStdByte(AColor.B)};
  MiddleGray = LinGrayOf(AColor);
  MiddleValid = true;
}

void TKvQuantizationCluster::WidenLevels(uint8_t AR, uint8_t AG, uint8_t AB) {
  const int v[3] = {AR, AG, AB};
  for (int ch = 0; ch < 3; ++ch) {
    FLevelLow[ch] = std::min(FLevelLow[ch], v[ch]);
    FLevelHigh[ch] = std::max(FLevelHigh[ch], v[ch]);
  }
}

void TKvQuantizationCluster::UpdateMiddle() {
  if (Fixed || FMembers.empty() || MiddleValid) return;
  const double* lin = LinTable();
  double sums[3];
  for (int ch = 0; ch < 3; ++ch) {
    const uint64_t* lw = FLevelWeights.data() + 256 * ch;
    int lo = FLevelLow[ch], hi = FLevelHigh[ch];
    while (lo <= hi && lw[lo] == 0) ++lo;
    while (hi >= lo && lw[hi] == 0) --hi;
    FLevelLow[ch] = lo;
    FLevelHigh[ch] = hi;
    // The terms in level order; the sums are never -0, so the zero terms
    // within the range add nothing.
    double sum = 0;
    for (int v = lo; v <= hi; ++v) sum += double(lw[v]) * lin[v];
    sums[ch] = sum;
  }
  const double dw = double(FTotalWeight);
  SetMiddle(Owner->MapToAllowedLin({sums[0] / dw, sums[1] / dw, sums[2] / dw}));
  // Every member's distance is stale now.
  ++MiddleVersion;
}

// ---------------------------------------------------------------------------
// Set-up

TKvQuantization::~TKvQuantization() { Clear(); }

void TKvQuantization::Clear() {
  while (FClusterCount > 0) {
    delete FClusters[FClusterCount - 1];
    FClusters[--FClusterCount] = nullptr;
  }
  std::memset(FMix, 0, sizeof(FMix));
  FColors.clear();
  FColorStore.clear();
  FStores.clear();
  FStoreUsed = 0;
  FIterations = 0;
  FBoundsValid = false;
  FPositionsStale = false;
  FColorsBehind = false;
  FMoveCluster.clear();
  FSnapCluster.clear();
  FHot.clear();
  FKeys.clear();
  FBoxes.clear();
  FAllowed = nullptr;
  FFixed = nullptr;
  FPin = nullptr;
  FKeep.reset();
}

void TKvQuantization::Init(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric, TKvPalette256* AFixed,
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

void TKvQuantization::CheckAbort() const {
  if (Aborted(FAbort)) Abort();
}

bool TKvQuantization::Parallel() const {
  return ProcessorCount >= 2 && !FSingleThreaded && GetColorCount() >= ParallelThreshold;
}

bool TKvQuantization::SetupPlain(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
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

bool TKvQuantization::SetupMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
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

void TKvQuantization::Quantize(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                               TKvPalette256& AResult, TKvPalette256* AFixed, TKvPalette* AAllowed) {
  if (!SetupPlain(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed)) return;
  CollectImageColors(AAbort, AImage);
  Seed();
  WriteResult(AResult);
}

void TKvQuantization::QuantizeMasked(bool* AAbort, TKvImage& AImage, int ACount, bool AUseGray, uint8_t AMetric,
                                     TKvPalette256& AResult, TKvPalette256& AFixed, TKvPalette* AAllowed,
                                     const TKvColorMask& AMask) {
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed, &AMask)) return;
  CollectImageColors(AAbort, AImage);
  Seed();
  WriteResult(AResult);
}

void TKvQuantization::QuantizeHistogram(bool* AAbort, const double* AHistogram, int ACount, bool AUseGray,
                                        uint8_t AMetric, TKvPalette256& AResult, TKvPalette256& AFixed,
                                        const TKvPaletteRGB& APaletteRGB, TKvPalette* AAllowed) {
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed, nullptr)) return;
  CollectHistogram(AAbort, AHistogram, APaletteRGB);
  Seed();
  WriteResult(AResult);
}

void TKvQuantization::QuantizePaletteMasked(bool* AAbort, int ACount, bool AUseGray, uint8_t AMetric,
                                            TKvPalette256& APalette, TKvPalette256& AFixed, TKvPalette* AAllowed,
                                            const TKvColorMask& AMask) {
  FSingleThreaded = true;
  if (!SetupMasked(AAbort, ACount, AUseGray, AMetric, APalette, AFixed, AAllowed, &AMask)) return;
  CollectPaletteColors(APalette);
  Seed();
  WriteResult(APalette);
}

void TKvQuantization::QuantizeBounded(bool* AAbort, TKvImage& AImage, int ACount, int APercent, bool AUseGray,
                                      uint8_t AMetric, TKvPalette256& AResult, TKvPalette256* AFixed,
                                      TKvPalette* AAllowed) {
  if (ACount > MaxBoundedColors) RaiseInternalError();
  if (!SetupPlain(AAbort, ACount, AUseGray, AMetric, AResult, AFixed, AAllowed)) return;
  FFlickerBound = APercent / 100.0;
  CollectImageColors(AAbort, AImage);
  SeedBounded();
  WriteResultBounded(AResult);
}

void TKvQuantization::QuantizeBoundedMasked(bool* AAbort, TKvImage& AImage, int ACount, int APercent,
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

TKvQuantizationColor* TKvQuantization::NewColor() {
  if (FColorStore.empty() || FStoreUsed == ColorBlock) {
    FColorStore.push_back(std::make_unique<TKvQuantizationColor[]>(ColorBlock));
    FStoreUsed = 0;
  }
  TKvQuantizationColor* c = &FColorStore.back()[FStoreUsed++];
  FStores.push_back({-1, 0, -1, -1, -1});
  c->Store = static_cast<int32_t>((FColorStore.size() - 1) * ColorBlock) + FStoreUsed - 1;
  return c;
}

TKvQuantizationColor* TKvQuantization::AddColor(uint8_t AR, uint8_t AG, uint8_t AB) {
  size_t lo = 0, hi = FColors.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (StdLess(*FColors[mid], AR, AG, AB))
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < FColors.size()) {
    TKvQuantizationColor* c = FColors[lo];
    if (c->R == AR && c->G == AG && c->B == AB) {
      ++c->Weight;
      return c;
    }
  }
  TKvQuantizationColor* c = NewColor();
  c->R = AR;
  c->G = AG;
  c->B = AB;
  c->Weight = 1;
  FColors.insert(FColors.begin() + static_cast<ptrdiff_t>(lo), c);
  FPositionsStale = true;
  return c;
}

void TKvQuantization::CollectImageColors(bool* AAbort, TKvImage& AImage) {
  FAbort = AAbort;
  FPositionsStale = true;
  const size_t n = static_cast<size_t>(AImage.GetWidth()) * static_cast<size_t>(std::max(AImage.GetHeight(), 0));
  if (AImage.GetWidth() <= 0 || n == 0) return;
  // Sorting the pixels' keys and counting runs gives the same sorted colour
  // array with weights as inserting pixel by pixel, without moving the array
  // for every new colour.
  // Left unfilled: the jobs that read the pixels touch them first.
  TKvUninitVector<uint32_t> keys(n), tmp(n);
  const TKvPixel* px = AImage.GetData();
  if (n > size_t(INT32_MAX)) RaiseInternalError();
  if (ProcessorCount >= 2 && !FSingleThreaded && n >= size_t(ParallelThreshold)) {
    // Reading the pixels is a stream through the whole picture: every
    // processor takes a part, each pixel read by one job only.
    uint32_t* out = keys.data();
    const auto read = [px, out, AAbort](int32_t AFirst, int32_t ALast) {
      ReadPixelKeys(px, out, size_t(AFirst), size_t(ALast), AAbort);
    };
    KvRunChunkJobs(static_cast<int32_t>(n), ParallelThreshold, AAbort, read);
  } else {
    ReadPixelKeys(px, keys.data(), 0, n - 1, AAbort);
  }
  CheckAbort();
  if (FColors.empty() && ProcessorCount >= 2 && !FSingleThreaded && n >= size_t(ParallelThreshold)) {
    CollectKeys(keys, tmp);
    return;
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
  if (FColors.empty()) {
    // The colours made in their places at once.
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) m += i == 0 || keys[i] != keys[i - 1];
    AllocateColors(m);
    int32_t idx = 0;
    for (size_t i = 0; i < n;) {
      size_t j = i + 1;
      while (j < n && keys[j] == keys[i]) ++j;
      MakeColor(idx++, keys[i], j - i);
      i = j;
    }
    return;
  }
  size_t i = 0;
  while (i < n) {
    size_t j = i + 1;
    while (j < n && keys[j] == keys[i]) ++j;
    const uint8_t r = uint8_t(keys[i] >> 16), g = uint8_t(keys[i] >> 8), b = uint8_t(keys[i]);
    const uint64_t run = j - i;
    TKvQuantizationColor* c = AddColor(r, g, b);
    const uint64_t w = uint64_t(c->Weight) - 1 + run;
    c->Weight = w > UINT32_MAX ? UINT32_MAX : uint32_t(w);
    i = j;
  }
}

void TKvQuantization::AllocateColors(size_t ACount) {
  const size_t blocks = (ACount + ColorBlock - 1) / ColorBlock;
  FColorStore.resize(blocks);
  // The blocks are allocated (and first touched) on all processors.
  auto allocate = [this](int32_t AFirst, int32_t ALast) {
    for (int32_t k = AFirst; k <= ALast; ++k)
      FColorStore[size_t(k)] = std::make_unique<TKvQuantizationColor[]>(ColorBlock);
  };
  if (FSingleThreaded)
    allocate(0, int32_t(blocks) - 1);
  else
    KvRunChunkJobs(int32_t(blocks), 1, FAbort, allocate);
  FStoreUsed = blocks == 0 ? 0 : int(ACount - (blocks - 1) * ColorBlock);
  // Both filled by MakeColor.
  FColors.resize(ACount);
  FStores.resize(ACount);
  FPositionsStale = true;
}

void TKvQuantization::MakeColor(int32_t AIndex, uint32_t AKey, size_t AWeight) {
  TKvQuantizationColor* c = StoredColor(AIndex);
  c->Store = AIndex;
  c->R = uint8_t(AKey >> 16);
  c->G = uint8_t(AKey >> 8);
  c->B = uint8_t(AKey);
  c->Weight = AWeight > UINT32_MAX ? UINT32_MAX : uint32_t(AWeight);
  FColors[size_t(AIndex)] = c;
  FStores[size_t(AIndex)] = {AIndex, c->Weight, -1, -1, -1};
}

void TKvQuantization::CollectKeys(TKvUninitVector<uint32_t>& AKeys, TKvUninitVector<uint32_t>& ATmp) {
  // The two stable 12-bit counting passes of the single-threaded road, each
  // processor counting and scattering its part of the keys (the parts in
  // order, so each pass stays stable); then the runs of equal keys made
  // into colours, each part the runs that start in it. The same sorted
  // colour array with weights.
  const size_t n = AKeys.size();
  const int parts = ProcessorCount;
  constexpr int Digits = 4096;
  auto partFirst = [n, parts](int AP) { return size_t(uint64_t(n) * uint64_t(AP) / uint64_t(parts)); };
  std::vector<size_t> at(size_t(parts) * Digits);  // per part and digit: count, then place
  uint32_t* src = AKeys.data();
  uint32_t* dst = ATmp.data();
  for (int shift = 0; shift < 24; shift += 12) {
    KvRunChunkJobs(parts, 1, FAbort, [&](int32_t AFirst, int32_t ALast) {
      for (int p = AFirst; p <= ALast; ++p) {
        size_t* count = &at[size_t(p) * Digits];
        std::fill(count, count + Digits, size_t(0));
        for (size_t i = partFirst(p); i < partFirst(p + 1); ++i) ++count[(src[i] >> shift) & 0xFFF];
      }
    });
    size_t sum = 0;
    for (int d = 0; d < Digits; ++d)
      for (int p = 0; p < parts; ++p) {
        size_t& c = at[size_t(p) * Digits + size_t(d)];
        const size_t count = c;
        c = sum;
        sum += count;
      }
    KvRunChunkJobs(parts, 1, FAbort, [&](int32_t AFirst, int32_t ALast) {
      for (int p = AFirst; p <= ALast; ++p) {
        size_t* place = &at[size_t(p) * Digits];
        for (size_t i = partFirst(p); i < partFirst(p + 1); ++i) dst[place[(src[i] >> shift) & 0xFFF]++] = src[i];
      }
    });
    CheckAbort();
    std::swap(src, dst);
  }
  // Two passes: the sorted keys are back in AKeys.
  const uint32_t* keys = src;
  std::vector<int32_t> colorFirst(size_t(parts) + 1, 0);
  const auto startsRun = [keys](size_t AI) { return AI == 0 || keys[AI] != keys[AI - 1]; };
  KvRunChunkJobs(parts, 1, FAbort, [&](int32_t AFirst, int32_t ALast) {
    for (int p = AFirst; p <= ALast; ++p) {
      int32_t starts = 0;
      for (size_t i = partFirst(p); i < partFirst(p + 1); ++i) starts += startsRun(i);
      colorFirst[size_t(p) + 1] = starts;
    }
  });
  for (int p = 0; p < parts; ++p) colorFirst[size_t(p) + 1] += colorFirst[size_t(p)];
  AllocateColors(size_t(colorFirst[size_t(parts)]));
  KvRunChunkJobs(parts, 1, FAbort, [&](int32_t AFirst, int32_t ALast) {
    for (int p = AFirst; p <= ALast; ++p) {
      int32_t idx = colorFirst[size_t(p)];
      const size_t end = partFirst(p + 1);
      size_t i = partFirst(p);
      while (i < end && !startsRun(i)) ++i;
      // A run that starts in the part is made whole, wherever it ends.
      while (i < end) {
        size_t j = i + 1;
        while (j < n && keys[j] == keys[i]) ++j;
        MakeColor(idx++, keys[i], j - i);
        i = j;
      }
    }
  });
}

void TKvQuantization::CollectPaletteColors(const TKvPalette256& APalette) {
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvStdRGBColor s = APalette.GetStdRGB(i);
    TKvQuantizationColor* c = AddColor(s.R, s.G, s.B);
    const int32_t u = APalette.Colors[i].UseCount;
    c->Weight = u > 0 ? uint32_t(u) : 1u;
  }
}

void TKvQuantization::CollectHistogram(bool* AAbort, const double* AHistogram, const TKvPaletteRGB& APaletteRGB) {
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
        TKvQuantizationColor* c = AddColor(s.R, s.G, s.B);
        const double rw = std::nearbyint(w);
        double nw = double(c->Weight) + rw - 1;
        if (nw > double(UINT32_MAX)) nw = double(UINT32_MAX);
        c->Weight = nw <= 0 ? 1u : uint32_t(nw);
      }
}

// ---------------------------------------------------------------------------
// Mapping

TKvLinRGBColor TKvQuantization::MapToAllowedLin(const TKvLinRGBColor& AColor) const {
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

TKvStdRGBColor TKvQuantization::MapToAllowed(const TKvLinRGBColor& AColor) const {
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

void TKvQuantization::UpdateMiddles() {
  // A middle costs 768 products; only the search in an allowed palette
  // makes the pass worth a hand-over to the workers.
  if (FTeam && FAllowed && FClusterCount >= 2) {
    const int chunks = std::min(FClusterCount, FTeam->GetWorkers() * ChunksPerWorker);
    FTeam->Phase(chunks, [this, chunks](int c, int) {
      for (int k = c; k < FClusterCount; k += chunks) FClusters[k]->UpdateMiddle();
    });
  } else if (FAllowed && FClusterCount >= 2) {
    const auto start = std::chrono::steady_clock::now();
    if (Parallel())
      RunJobs<TKvQuantizationUpdateClusterMiddleJob>(this, FAbort, FClusterCount);
    else
      DoUpdateMiddles(0, FClusterCount - 1);
    if (!FTeam) NotePhases(1, start);
  } else {
    DoUpdateMiddles(0, FClusterCount - 1);
  }
}

void TKvQuantization::DoUpdateMiddles(int AFirst, int ALast) {
  for (int k = AFirst; k <= ALast; ++k) FClusters[k]->UpdateMiddle();
}

void TKvQuantization::SnapshotMiddles() {
  FOldR.swap(FSnapR);
  FOldG.swap(FSnapG);
  FOldB.swap(FSnapB);
  FOldCluster.swap(FSnapCluster);
  FSnapR.clear();
  FSnapG.clear();
  FSnapB.clear();
  FSnapCluster.clear();
  for (int k = 0; k < FClusterCount; ++k) {
    TKvQuantizationCluster* c = FClusters[k];
    if (c->Excluded) continue;
    FSnapR.push_back(c->Middle.R);
    FSnapG.push_back(c->Middle.G);
    FSnapB.push_back(c->Middle.B);
    FSnapCluster.push_back(c);
  }
  // The bounds carry over only while every place holds the cluster it held:
  // then a colour left alone still lies in the cluster of its place.
  FBoundsValid = FBoundsValid && !FSnapCluster.empty() && FSnapCluster == FOldCluster;
  const size_t n = FSnapCluster.size();
  FMoved.assign(n, 0.0);
  if (!FBoundsValid) {
    FAllMoved = 0;
    return;
  }
  double most = 0;
  for (size_t j = 0; j < n; ++j) {
    const double dr = FSnapR[j] - FOldR[j], dg = FSnapG[j] - FOldG[j], db = FSnapB[j] - FOldB[j];
    FMoved[j] = std::sqrt(dr * dr + dg * dg + db * db);
    most = std::max(most, FMoved[j]);
  }
  FAllMoved += most;
}

namespace {

// Boxes of 16 x 16 x 16 sRGB levels: fewer boxes to walk per pass pay for
// the longer near lists (8 x 8 x 8 took about 10% longer on a photo of
// 614k colours, 4 x 4 x 4 over half again as long).
constexpr int BoxShift = 4;
constexpr int BoxSide = 256 >> BoxShift;
constexpr int BoxColors = 1 << (3 * BoxShift);  // at most one colour per level triple
// Up to this many colours the boxes are made by sorting rather than counting.
constexpr int SortedBoxesMax = 1024;

// Rounding of every bound is far below this; a colour nearly as close to two
// middles is always searched, so ties keep the first-in-table answer.
constexpr double BoundMargin = 1e-9;

// How much farther than the surely-reachable distance a middle may lie and
// still enter a box's near list: room for the middles to move before the
// list must be made again.
constexpr double NearReach = 0.01;

constexpr double Infinity = std::numeric_limits<double>::infinity();

// The least of K values, with four running minima (the values are never
// NaN, so the order does not matter).
double LeastOf(const double* A, int K) {
  double m0 = Infinity, m1 = Infinity, m2 = Infinity, m3 = Infinity;
  int j = 0;
  for (; j + 4 <= K; j += 4) {
    m0 = std::min(m0, A[j]);
    m1 = std::min(m1, A[j + 1]);
    m2 = std::min(m2, A[j + 2]);
    m3 = std::min(m3, A[j + 3]);
  }
  for (; j < K; ++j) m0 = std::min(m0, A[j]);
  return std::min(std::min(m0, m1), std::min(m2, m3));
}

// Squared distances from each middle to the nearest point of the box.
// Branch-free, so the compiler can take several middles at once.
void BoxDistances(const TKvQuantizationBox& ABox, const double* MR, const double* MG, const double* MB, int K,
                  double* ANearest) {
  const double lr = ABox.Lo[0], lg = ABox.Lo[1], lb = ABox.Lo[2];
  const double hr = ABox.Hi[0], hg = ABox.Hi[1], hb = ABox.Hi[2];
  for (int j = 0; j < K; ++j) {
    const double r = MR[j], g = MG[j], b = MB[j];
    const double orr = std::max(lr - r, 0.0) + std::max(r - hr, 0.0);
    const double og = std::max(lg - g, 0.0) + std::max(g - hg, 0.0);
    const double ob = std::max(lb - b, 0.0) + std::max(b - hb, 0.0);
    ANearest[j] = orr * orr + og * og + ob * ob;
  }
}

// The least squared distance from a middle to the farthest point of the box.
double BoxReach(const TKvQuantizationBox& ABox, const double* MR, const double* MG, const double* MB, int K,
                double* AWork) {
  const double lr = ABox.Lo[0], lg = ABox.Lo[1], lb = ABox.Lo[2];
  const double hr = ABox.Hi[0], hg = ABox.Hi[1], hb = ABox.Hi[2];
  for (int j = 0; j < K; ++j) {
    const double r = MR[j], g = MG[j], b = MB[j];
    const double fr = std::max(r - lr, hr - r), fg = std::max(g - lg, hg - g), fb = std::max(b - lb, hb - b);
    AWork[j] = fr * fr + fg * fg + fb * fb;
  }
  return LeastOf(AWork, K);
}

// The nearest and the second nearest of a colour among a box's near middles
// (in slot order, which is table order), first on ties; squared distances.
struct TNearTwo {
  int Best = -1;
  double BestD = Infinity;
  double SecondD = Infinity;
};

#if defined(__SSE2__)
// Two middles at a time, the even slots in one lane and the odd ones in the
// other, each lane keeping its own nearest (first on ties) and second; the
// lanes are joined at the end. The middle arrays hold an even count (see
// TNearMiddles).
inline TNearTwo SearchSlots(double R, double G, double B, const double* MR, const double* MG, const double* MB,
                            int ACount) {
  const __m128d r = _mm_set1_pd(R), g = _mm_set1_pd(G), b = _mm_set1_pd(B);
  __m128d best = _mm_set1_pd(Infinity), second = best;
  __m128i at = _mm_set1_epi64x(-1);
  __m128i slot = _mm_set_epi64x(1, 0);
  const __m128i two = _mm_set1_epi64x(2);
  for (int q = 0; q < ACount; q += 2) {
    const __m128d dr = _mm_sub_pd(r, _mm_loadu_pd(MR + q));
    const __m128d dg = _mm_sub_pd(g, _mm_loadu_pd(MG + q));
    const __m128d db = _mm_sub_pd(b, _mm_loadu_pd(MB + q));
    const __m128d d = _mm_add_pd(_mm_add_pd(_mm_mul_pd(dr, dr), _mm_mul_pd(dg, dg)), _mm_mul_pd(db, db));
    const __m128i nearer = _mm_castpd_si128(_mm_cmplt_pd(d, best));
    at = _mm_or_si128(_mm_andnot_si128(nearer, at), _mm_and_si128(nearer, slot));
    second = _mm_min_pd(_mm_max_pd(best, d), second);
    best = _mm_min_pd(d, best);
    slot = _mm_add_epi64(slot, two);
  }
  alignas(16) double bests[2], seconds[2];
  alignas(16) int64_t ats[2];
  _mm_store_pd(bests, best);
  _mm_store_pd(seconds, second);
  _mm_store_si128(reinterpret_cast<__m128i*>(ats), at);
  const int lane = bests[1] < bests[0] || (bests[1] == bests[0] && ats[1] < ats[0]) ? 1 : 0;
  TNearTwo t;
  t.Best = static_cast<int>(ats[lane]);
  t.BestD = bests[lane];
  t.SecondD = std::min(std::min(seconds[0], seconds[1]), bests[1 - lane]);
  return t;
}
#else
inline TNearTwo SearchSlots(double R, double G, double B, const double* MR, const double* MG, const double* MB,
                            int ACount) {
  // Without branches: which middle wins is as good as random.
  double best = Infinity, second = Infinity;
  int at = -1;
  for (int q = 0; q < ACount; ++q) {
    const double dr = R - MR[q], dg = G - MG[q], db = B - MB[q];
    const double d = dr * dr + dg * dg + db * db;
    const int nearer = -static_cast<int>(d < best);
    at = (at & ~nearer) | (q & nearer);
    second = std::min(second, std::max(best, d));
    best = std::min(best, d);
  }
  TNearTwo t;
  t.Best = at;
  t.BestD = best;
  t.SecondD = second;
  return t;
}
#endif

// The near middles of a box, in slot order, side by side; an odd count is
// followed by a middle too far to be the nearest or the second nearest of
// any colour.
struct TNearMiddles {
  double R[TKvQuantization::MaxClusters + 1], G[TKvQuantization::MaxClusters + 1],
      B[TKvQuantization::MaxClusters + 1];
  void Read(const std::vector<TKvQuantizationSlot>& ASlots, const double* MR, const double* MG, const double* MB) {
    const size_t n = ASlots.size();
    for (size_t q = 0; q < n; ++q) {
      const int p = ASlots[q].Place;
      R[q] = MR[p];
      G[q] = MG[p];
      B[q] = MB[p];
    }
    R[n] = G[n] = B[n] = 1e30;
  }
};

// The least of N keys.
double LeastKey(const double* A, int N) {
#if defined(__SSE2__)
  __m128d m0 = _mm_set1_pd(Infinity), m1 = m0;
  int j = 0;
  for (; j + 4 <= N; j += 4) {
    m0 = _mm_min_pd(_mm_loadu_pd(A + j), m0);
    m1 = _mm_min_pd(_mm_loadu_pd(A + j + 2), m1);
  }
  alignas(16) double m[2];
  _mm_store_pd(m, _mm_min_pd(m0, m1));
  double least = std::min(m[0], m[1]);
  for (; j < N; ++j) least = std::min(least, A[j]);
  return least;
#else
  return LeastOf(A, N);
#endif
}

// The positions of the keys AFrom .. AEnd-1 at most ASum, in order, into
// ADue; their count.
int DuePositions(const double* AKeys, int32_t AFrom, int32_t AEnd, double ASum, int32_t* ADue) {
  int n = 0;
  int32_t i = AFrom;
#if defined(__SSE2__)
  const __m128d sum = _mm_set1_pd(ASum);
  for (; i + 4 <= AEnd; i += 4) {
    const int lo = _mm_movemask_pd(_mm_cmple_pd(_mm_loadu_pd(AKeys + i), sum));
    const int hi = _mm_movemask_pd(_mm_cmple_pd(_mm_loadu_pd(AKeys + i + 2), sum));
    // Every position written, the count raised only for the due ones.
    const int m = lo | (hi << 2);
    ADue[n] = i;
    n += m & 1;
    ADue[n] = i + 1;
    n += (m >> 1) & 1;
    ADue[n] = i + 2;
    n += (m >> 2) & 1;
    ADue[n] = i + 3;
    n += m >> 3;
  }
#endif
  for (; i < AEnd; ++i) {
    ADue[n] = i;
    n += AKeys[i] <= ASum;
  }
  return n;
}

// The distances of the nearest and the second nearest, both roots taken at
// once (the squares are never negative, so no error case is needed).
inline void RootsOf(const TNearTwo& T, double& ANearest, double& ASecond) {
#if defined(__SSE2__)
  alignas(16) double r[2];
  _mm_store_pd(r, _mm_sqrt_pd(_mm_set_pd(T.SecondD, T.BestD)));
  ANearest = r[0];
  ASecond = r[1];
#else
  ANearest = std::sqrt(T.BestD);
  ASecond = std::sqrt(T.SecondD);
#endif
}

// The box's Upper from its slots.
void MeasureUpper(TKvQuantizationBox& ABox) {
  double upper = -Infinity;
  for (const TKvQuantizationSlot& s : ABox.Slots) upper = std::max(upper, s.MaxUpper + s.Own);
  ABox.Upper = upper;
}

}  // namespace

void TKvQuantization::BuildBoxes() {
  const int n = GetColorCount();
  auto key = [](const TKvQuantizationColor* c) {
    return (int(c->R >> BoxShift) * BoxSide + int(c->G >> BoxShift)) * BoxSide + int(c->B >> BoxShift);
  };
  constexpr size_t Boxes = size_t(BoxSide * BoxSide * BoxSide);
  FHot.resize(size_t(n));
  FKeys.resize(size_t(n));
  FBoxes.clear();
  if (n <= SortedBoxesMax) {
    // A few colours (one row's quantization): sorting them by box touches
    // far less memory than a count for every box, and gives the same order,
    // by box and then by storage index, and the same boxes.
    std::vector<std::pair<int32_t, int32_t>> order(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) order[size_t(i)] = {int32_t(key(StoredColor(i))), i};
    std::sort(order.begin(), order.end());
    std::fill(FKeys.begin(), FKeys.end(), 0.0);
    for (int32_t j = 0; j < n; ++j) {
      const int32_t i = order[size_t(j)].second;
      const TKvQuantizationColor* c = StoredColor(i);
      FHot[size_t(j)] = {i, c->R, c->G, c->B, 0};
      if (j > 0 && order[size_t(j)].first == order[size_t(j - 1)].first) {
        FBoxes.back().Last = j;
        continue;
      }
      TKvQuantizationBox box;
      box.First = j;
      box.Last = j;
      FBoxes.push_back(std::move(box));
    }
  } else {
    // A counting sort by box, each worker counting and placing its part of
    // the colours; the arrays are first touched there too.
    std::vector<TKvUninitVector<int32_t>> at;
    TKvUninitVector<int32_t> start(Boxes + 1, 0);
    auto part = [n](int w, int workers, int32_t& AFirst, int32_t& AEnd) {
      AFirst = int32_t(int64_t(n) * w / workers);
      AEnd = int32_t(int64_t(n) * (w + 1) / workers);
    };
    const std::function<void(int, int)> counting = [&](int w, int workers) {
      auto& count = at[size_t(w)];
      count.assign(Boxes, 0);
      int32_t first, end;
      part(w, workers, first, end);
      for (int32_t i = first; i < end; ++i) ++count[size_t(key(StoredColor(i)))];
    };
    // One count array per part, and the placing cuts the colours as the
    // counting did.
    struct TSameParts {
      int& Ref;
      ~TSameParts() { Ref = 0; }
    } same{FParts};
    FParts = PartsFor(counting.target_type());
    at.resize(size_t(FParts));
    OnWorkers(counting, 1);
    int32_t sum = 0;
    for (size_t b = 0; b < Boxes; ++b) {
      start[b] = sum;
      for (auto& count : at) {
        const int32_t c = count[b];
        count[b] = sum;
        sum += c;
      }
    }
    start[Boxes] = sum;
    OnWorkers([&](int w, int workers) {
      auto& next = at[size_t(w)];
      int32_t first, end;
      part(w, workers, first, end);
      // The keys start at zero; a colour the box making cannot place keeps
      // its key so until its box is made again.
      std::fill(FKeys.begin() + first, FKeys.begin() + end, 0.0);
      for (int32_t i = first; i < end; ++i) {
        const TKvQuantizationColor* c = StoredColor(i);
        FHot[size_t(next[size_t(key(c))]++)] = {i, c->R, c->G, c->B, 0};
      }
    }, 1);
    at.clear();
    FParts = 0;
    for (size_t b = 0; b < Boxes; ++b) {
      if (start[b] == start[b + 1]) continue;
      TKvQuantizationBox box;
      box.First = start[b];
      box.Last = start[b + 1] - 1;
      FBoxes.push_back(std::move(box));
    }
  }
  const double* lin = LinTable();
  OnWorkers([&](int w, int workers) {
    const size_t nb = FBoxes.size();
    for (size_t k = nb * size_t(w) / size_t(workers); k < nb * size_t(w + 1) / size_t(workers); ++k) {
      TKvQuantizationBox& box = FBoxes[k];
      uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
      for (int i = box.First; i <= box.Last; ++i) {
        const TKvQuantizationHot& h = FHot[size_t(i)];
        const uint8_t v[3] = {h.R, h.G, h.B};
        for (int ch = 0; ch < 3; ++ch) {
          lo[ch] = std::min(lo[ch], v[ch]);
          hi[ch] = std::max(hi[ch], v[ch]);
        }
      }
      for (int ch = 0; ch < 3; ++ch) {
        box.Lo[ch] = lin[lo[ch]];
        box.Hi[ch] = lin[hi[ch]];
      }
    }
  });
  FBoundsValid = false;
}

void TKvQuantization::UpdateNearest() {
  if (FHot.size() != size_t(GetColorCount())) BuildBoxes();
  SnapshotMiddles();
  const size_t n = FColors.size();
  if (FPositionsStale) {
    for (size_t i = 0; i < n; ++i) {
      FStores[size_t(FColors[i]->Store)].Position = int32_t(i);
    }
    FPositionsStale = false;
  }
  if (!FBoundsValid) {
    // The places of the clusters are new: every colour's is read again.
    SyncColors();
    for (int k = 0; k < FClusterCount; ++k) FClusters[k]->Place = -1;
    for (size_t p = 0; p < FSnapCluster.size(); ++p) FSnapCluster[p]->Place = int32_t(p);
    for (size_t i = 0; i < n; ++i) {
      const TKvQuantizationColor* c = StoredColor(int(i));
      TKvQuantizationStore& st = FStores[i];
      st.Place = static_cast<int16_t>(c->Cluster ? c->Cluster->Place : -1);
      st.Nearest = -1;
      st.Weight = c->Weight;
    }
    FBoundsValid = false;
  }
  for (auto& m : FMovers) m.clear();
  std::fill(FMoveCounts.begin(), FMoveCounts.end(), 0);
  if (FSnapCluster.empty()) {
    for (TKvQuantizationBox& b : FBoxes) b.Valid = false;
    return;
  }
  if (!FBoundsValid)
    for (TKvQuantizationBox& b : FBoxes) b.Valid = false;
  const int nb = static_cast<int>(FBoxes.size());
  if (FTeam) {
    // Small chunks from a shared counter: the work of a pass gathers in the
    // boxes where middles moved.
    const int workers = FTeam->GetWorkers();
    FBoxChunk = std::max(1, nb / (workers * 32));
    FMoverCount = workers * ChunksPerWorker;
    FMovers.resize(size_t(workers) * size_t(FMoverCount));
    FMoveCounts.assign(size_t(workers), 0);
    const std::function<void(int)> finish = [this](int w) { FinishNearest(w); };
    FTeam->Phase((nb + FBoxChunk - 1) / FBoxChunk, [this](int c, int w) { DoUpdateNearest(c, w); }, &finish);
  } else {
    const auto start = std::chrono::steady_clock::now();
    FBoxChunk = std::max(nb, 1);
    FMoverCount = 1;
    FMovers.resize(1);
    FMoveCounts.assign(1, 0);
    DoUpdateNearest(0, 0);
    FinishNearest(0);
    NotePhases(1, start);
  }
  FBoundsValid = true;
}

void TKvQuantization::DoUpdateNearest(int AChunk, int AJob) {
  const int nb = static_cast<int>(FBoxes.size());
  const double* lin = LinTable();
  const double* moved = FMoved.data();
  {
    const int first = AChunk * FBoxChunk;
    if (first >= nb) return;
    const int last = std::min(nb, first + FBoxChunk) - 1;
    for (int b = first; b <= last; ++b) {
      // The boxes' slots lie apart on the heap: fetched ahead.
      if (b + 4 <= last) __builtin_prefetch(FBoxes[size_t(b) + 4].Slots.data());
      if (b + 8 <= last) __builtin_prefetch(&FBoxes[size_t(b) + 8]);
      TKvQuantizationBox& box = FBoxes[size_t(b)];
      if (box.Valid) {
        TKvQuantizationSlot* slots = box.Slots.data();
        const int np = static_cast<int>(box.Slots.size());
        // The largest and the second largest move of the near middles.
        double top1 = 0, top2 = 0;
        int arg = -1;
        for (int q = 0; q < np; ++q) {
          const double m = moved[slots[q].Place];
          if (m > top1) {
            top2 = top1;
            top1 = m;
            arg = q;
          } else if (m > top2) {
            top2 = m;
          }
        }
        // When no near middle moved, every colour's last search still
        // holds: only the middles off the list need a look.
        bool due = false;
        if (top1 > 0) {
          double upper = -Infinity;
          for (int q = 0; q < np; ++q) {
            TKvQuantizationSlot& s = slots[q];
            const double m = moved[s.Place];
            s.Own += m;
            s.Sum += m + (q == arg ? top2 : top1);
            upper = std::max(upper, s.MaxUpper + s.Own);
            due = due || s.MinKey <= s.Sum;
          }
          box.Upper = upper;
        }
        // A middle off the list may have come near: the slots' uppers are
        // measured again from the distances of their colours now, then the
        // bound on those middles, and the box is made again if that fails.
        double far = box.Far - FAllMoved;
        if (!(box.Upper + BoundMargin < far)) {
          for (int q = 0; q < np; ++q) {
            const int32_t end = q + 1 < np ? slots[q + 1].Begin : box.Last + 1;
            const int p = slots[q].Place;
            const double mr = FSnapR[size_t(p)], mg = FSnapG[size_t(p)], mb = FSnapB[size_t(p)];
            double most = -Infinity;
            for (int32_t i = slots[q].Begin; i < end; ++i) {
              const TKvQuantizationHot& h = FHot[size_t(i)];
              const double dr = lin[h.R] - mr, dg = lin[h.G] - mg, db = lin[h.B] - mb;
              most = std::max(most, dr * dr + dg * dg + db * db);
            }
            slots[q].MaxUpper = std::sqrt(most) - slots[q].Own;
          }
          MeasureUpper(box);
          if (!(box.Upper + BoundMargin < far)) {
            RenewFar(box);
            far = box.Far - FAllMoved;
            // Little room left: a middle off the list is close, and the
            // bound would be made again pass after pass. The list is made
            // again with it instead.
            if (!(box.Upper + NearReach / 2 < far)) {
              RebuildBox(box, AJob);
              continue;
            }
          }
        }
        if (!due || VisitBox(box, far, AJob)) continue;
      }
      RebuildBox(box, AJob);
    }
  }
}

void TKvQuantization::FinishNearest(int AJob) {
  // This job's moves in the order they are made. A colour is looked at by
  // one job only; should it come twice, its last search holds.
  size_t count = 0;
  for (int w = 0; w < FMoverCount; ++w) {
    std::vector<TKvQuantizationMove>& moves = FMovers[size_t(AJob) * size_t(FMoverCount) + size_t(w)];
    std::sort(moves.begin(), moves.end(),
              [](const TKvQuantizationMove& A, const TKvQuantizationMove& B) { return A.Key < B.Key; });
    size_t kept = 0;
    for (size_t i = 0; i < moves.size(); ++i) {
      const TKvQuantizationMove& m = moves[i];
      if (m.To != FStores[size_t(uint32_t(m.Key))].Nearest) continue;
      if (kept > 0 && moves[kept - 1].Key == m.Key) continue;
      moves[kept++] = m;
      count += MoverOf(m.To) == w;
    }
    moves.resize(kept);
  }
  FMoveCounts[size_t(AJob)] = count;
}

void TKvQuantization::SetNearest(const TKvQuantizationHot& AHot, int APlace, int AJob) {
  TKvQuantizationStore& s = FStores[size_t(AHot.Store)];
  s.Nearest = static_cast<int16_t>(APlace);
  if (APlace == s.Place) return;
  const TKvQuantizationMove m{(uint64_t(uint32_t(s.Position)) << 32) | uint32_t(AHot.Store), s.Place,
                              static_cast<int16_t>(APlace), AHot.R, AHot.G, AHot.B, 0};
  std::vector<TKvQuantizationMove>* lists = &FMovers[size_t(AJob) * size_t(FMoverCount)];
  const int from = MoverOf(m.From), to = MoverOf(m.To);
  lists[from].push_back(m);
  if (to != from) lists[to].push_back(m);
}

void TKvQuantization::RenewFar(TKvQuantizationBox& ABox) {
  const int k = static_cast<int>(FSnapCluster.size());
  double nearest[TKvQuantization::MaxClusters];
  BoxDistances(ABox, FSnapR.data(), FSnapG.data(), FSnapB.data(), k, nearest);
  for (const TKvQuantizationSlot& s : ABox.Slots) nearest[s.Place] = Infinity;
  ABox.Far = std::sqrt(LeastOf(nearest, k)) + FAllMoved;
}

void TKvQuantization::RebuildBox(TKvQuantizationBox& ABox, int AJob) {
  const int k = static_cast<int>(FSnapCluster.size());
  const double* mr = FSnapR.data();
  const double* mg = FSnapG.data();
  const double* mb = FSnapB.data();
  const double* lin = LinTable();
  double nearest[TKvQuantization::MaxClusters];
  BoxDistances(ABox, mr, mg, mb, k, nearest);
  // Every colour of the box lies within reach of some middle, so a middle
  // whose nearest point of the box is farther can never be the nearest.
  double work[TKvQuantization::MaxClusters];
  const double list = std::sqrt(BoxReach(ABox, mr, mg, mb, k, work)) + NearReach;
  const double list2 = list * list;
  const int n = ABox.Last - ABox.First + 1;
  TKvQuantizationHot* hot = FHot.data() + ABox.First;
  double* keys = FKeys.data() + ABox.First;
  double uppers[BoxColors];
  // The places the colours were nearest to, while the box was valid.
  int16_t oldPlace[BoxColors];
  if (ABox.Valid) {
    const std::vector<TKvQuantizationSlot>& old = ABox.Slots;
    for (size_t q = 0; q < old.size(); ++q) {
      const int32_t end = q + 1 < old.size() ? old[q + 1].Begin : ABox.Last + 1;
      for (int32_t i = old[q].Begin; i < end; ++i) oldPlace[i - ABox.First] = old[q].Place;
    }
  } else {
    std::fill(oldPlace, oldPlace + n, int16_t(-1));
  }
  std::vector<TKvQuantizationSlot>& slots = ABox.Slots;
  slots.clear();
  for (int j = 0; j < k; ++j) {
    if (nearest[j] <= list2) {
      slots.push_back({0.0, 0.0, -Infinity, Infinity, 0, static_cast<int16_t>(j)});
      nearest[j] = Infinity;
    }
  }
  const double far = std::sqrt(LeastOf(nearest, k));
  ABox.Far = far + FAllMoved;
  const int np = static_cast<int>(slots.size());
  TNearMiddles near;
  near.Read(slots, mr, mg, mb);
  bool valid = true;
  int16_t slotOf[BoxColors];
  int32_t count[TKvQuantization::MaxClusters + 1] = {};
  for (int i = 0; i < n; ++i) {
    TKvQuantizationHot& h = hot[i];
    const double cr = lin[h.R], cg = lin[h.G], cb = lin[h.B];
    const TNearTwo t = SearchSlots(cr, cg, cb, near.R, near.G, near.B, np);
    const double u = std::sqrt(t.BestD);
    int place;
    if (u + BoundMargin < far) {
      place = slots[size_t(t.Best)].Place;
      slotOf[i] = static_cast<int16_t>(t.Best);
      keys[i] = std::sqrt(t.SecondD) - u - BoundMargin;
      uppers[i] = u;
    } else {
      // Cannot happen short of rounding: search every middle, and make the
      // box again next pass.
      valid = false;
      place = -1;
      double best = Infinity;
      for (int j = 0; j < k; ++j) {
        const double dr = cr - mr[j], dg = cg - mg[j], db = cb - mb[j];
        const double d = dr * dr + dg * dg + db * db;
        if (d < best) {
          best = d;
          place = j;
        }
      }
      slotOf[i] = 0;
    }
    ++count[slotOf[i] + 1];
    if (place != oldPlace[i]) SetNearest(h, place, AJob);
  }
  // Grouped by slot, in their order.
  for (int q = 0; q < np; ++q) count[q + 1] += count[q];
  TKvQuantizationHot sortedHot[BoxColors];
  double sortedKeys[BoxColors], sortedUppers[BoxColors];
  for (int i = 0; i < n; ++i) {
    const int32_t to = count[slotOf[i]]++;
    sortedHot[to] = hot[i];
    sortedKeys[to] = keys[i];
    sortedUppers[to] = uppers[i];
  }
  std::copy(sortedHot, sortedHot + n, hot);
  std::copy(sortedKeys, sortedKeys + n, keys);
  int32_t from = 0;
  for (int q = 0; q < np; ++q) {
    TKvQuantizationSlot& s = slots[size_t(q)];
    s.Begin = ABox.First + from;
    for (; from < count[q]; ++from) {
      s.MinKey = std::min(s.MinKey, keys[from]);
      s.MaxUpper = std::max(s.MaxUpper, sortedUppers[from]);
    }
  }
  MeasureUpper(ABox);
  ABox.Valid = valid;
}

bool TKvQuantization::VisitBox(TKvQuantizationBox& ABox, double AFar, int AJob) {
  const double* lin = LinTable();
  TKvQuantizationSlot* slots = ABox.Slots.data();
  const int np = static_cast<int>(ABox.Slots.size());
  TNearMiddles near;
  near.Read(ABox.Slots, FSnapR.data(), FSnapG.data(), FSnapB.data());
  TKvQuantizationHot* hot = FHot.data();
  double* keys = FKeys.data();
  const int32_t boxEnd = ABox.Last + 1;
  auto endOf = [&](int q) { return q + 1 < np ? slots[q + 1].Begin : boxEnd; };
  // The colours whose nearest changed, and its place.
  TKvQuantizationHot changed[BoxColors];
  int16_t changedPlace[BoxColors];
  int changes = 0;
  // Per slot: the colours whose bound ran out, all searched before any
  // moves, so that the searches follow each other without a branch between
  // them; then the colours that keep their middle take their new bounds and
  // those that leave it move, each from where the earlier moves left it.
  int32_t due[BoxColors];
  int16_t bestOf[BoxColors];
  double keyOf[BoxColors], upOf[BoxColors];
  for (int q = 0; q < np; ++q) {
    const double sum = slots[q].Sum;
    if (!(slots[q].MinKey <= sum)) continue;
    const int32_t first = slots[q].Begin, end = endOf(q);
    // The colours themselves, fetched ahead while the keys are read.
    for (int32_t p = first; p < end; p += 8) __builtin_prefetch(&hot[p]);
    const int nd = DuePositions(keys, first, end, sum, due);
    for (int d = 0; d < nd; ++d) {
      const TKvQuantizationHot& h = hot[due[d]];
      // A full look at the near list: the second nearest found again lets
      // the colour rest longer than its distance to the nearest alone would.
      const TNearTwo t = SearchSlots(lin[h.R], lin[h.G], lin[h.B], near.R, near.G, near.B, np);
      double u, second;
      RootsOf(t, u, second);
      // A middle off the list may be as near: the box is made again.
      if (!(u + BoundMargin < AFar)) {
        for (int c = 0; c < changes; ++c) SetNearest(changed[c], changedPlace[c], AJob);
        return false;
      }
      bestOf[d] = static_cast<int16_t>(t.Best);
      keyOf[d] = second - u - BoundMargin + slots[t.Best].Sum;
      upOf[d] = u - slots[t.Best].Own;
    }
    double upper = slots[q].MaxUpper;
    int leaving = 0;
    for (int d = 0; d < nd; ++d) {
      if (bestOf[d] == q) {
        keys[due[d]] = keyOf[d];
        upper = std::max(upper, upOf[d]);
      } else {
        due[leaving] = due[d];
        bestOf[leaving] = bestOf[d];
        keyOf[leaving] = keyOf[d];
        upOf[leaving++] = upOf[d];
      }
    }
    for (int d = 0; d < leaving; ++d) {
      const int32_t i = due[d];
      const int best = bestOf[d];
      TKvQuantizationHot& h = hot[i];
      // Told after the box, when its table entry has come.
      __builtin_prefetch(&FStores[size_t(h.Store)], 1);
      changed[changes] = h;
      changedPlace[changes++] = slots[best].Place;
      // Into its new slot: passed on from slot to slot at their borders,
      // each slot between keeping its colours. The colour of this slot that
      // fills its place may be one still to leave.
      const TKvQuantizationHot e = h;
      int32_t at = i;
      const int32_t from = best > q ? endOf(q) - 1 : slots[q].Begin;
      for (int o = d + 1; o < leaving; ++o)
        if (due[o] == from) due[o] = i;
      if (best > q) {
        for (int s = q + 1; s <= best; ++s) {
          const int32_t border = --slots[s].Begin;
          hot[at] = hot[border];
          keys[at] = keys[border];
          at = border;
        }
      } else {
        for (int s = q; s > best; --s) {
          const int32_t border = slots[s].Begin++;
          hot[at] = hot[border];
          keys[at] = keys[border];
          at = border;
        }
      }
      hot[at] = e;
      keys[at] = keyOf[d];
      slots[best].MinKey = std::min(slots[best].MinKey, keyOf[d]);
      slots[best].MaxUpper = std::max(slots[best].MaxUpper, upOf[d]);
    }
    slots[q].MinKey = LeastKey(keys + slots[q].Begin, endOf(q) - slots[q].Begin);
    slots[q].MaxUpper = upper;
  }
  for (int c = 0; c < changes; ++c) SetNearest(changed[c], changedPlace[c], AJob);
  MeasureUpper(ABox);
  return true;
}

namespace {

// Walks the moves of all lists in the order of their keys.
class TMoveMerge {
public:
  explicit TMoveMerge(const std::vector<std::vector<TKvQuantizationMove>>& ALists)
      : FLists(ALists), FAt(ALists.size(), 0) {}
  const TKvQuantizationMove* Next() {
    const TKvQuantizationMove* best = nullptr;
    size_t from = 0;
    for (size_t l = 0; l < FLists.size(); ++l)
      if (FAt[l] < FLists[l].size() && (!best || FLists[l][FAt[l]].Key < best->Key)) {
        best = &FLists[l][FAt[l]];
        from = l;
      }
    if (best) ++FAt[from];
    return best;
  }

private:
  const std::vector<std::vector<TKvQuantizationMove>>& FLists;
  std::vector<size_t> FAt;
};

}  // namespace

void TKvQuantization::OnWorkers(const std::function<void(int, int)>& AWork, int AChunksPerWorker) {
  if (FTeam) {
    const int parts = FTeam->GetWorkers() * AChunksPerWorker;
    FTeam->Phase(parts, [parts, &AWork](int c, int) { AWork(c, parts); });
  } else if (ProcessorCount >= 2 && !FSingleThreaded) {
    // Each kind of work measured on its own, by the colours it works on;
    // work too small to hand over runs here as one part, with one part's
    // scratch.
    const auto start = std::chrono::steady_clock::now();
    KvRunShares(PartsFor(AWork.target_type()), GetColorCount(), AWork.target_type(), FAbort, AWork);
    NotePhases(1, start);
  } else {
    AWork(0, 1);
  }
}

int TKvQuantization::PartsFor(const std::type_info& ALoop) const {
  if (FTeam) return FTeam->GetWorkers();
  if (ProcessorCount < 2 || FSingleThreaded) return 1;
  return FParts > 0 ? FParts : KvShareCount(GetColorCount(), ALoop);
}

void TKvQuantization::NotePhases(int APhases, std::chrono::steady_clock::time_point AStart) {
  FPhases += APhases;
  FPhaseNanoseconds += double(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - AStart).count());
}

void TKvQuantization::SyncColors() {
  if (!FColorsBehind) return;
  FColorsBehind = false;
  const int32_t n = static_cast<int32_t>(FStores.size());
  auto sync = [this](int32_t AFirst, int32_t ALast) {
    for (int32_t s = AFirst; s <= ALast; ++s) {
      const int place = FStores[size_t(s)].Place;
      if (place < 0) continue;
      TKvQuantizationCluster* k = FMoveCluster[size_t(place)];
      TKvQuantizationColor* c = StoredColor(s);
      if (c->Cluster == k) continue;
      c->Cluster = k;
      c->DistanceValid = false;
    }
  };
  OnWorkers([n, &sync](int w, int workers) {
    sync(int32_t(int64_t(n) * w / workers), int32_t(int64_t(n) * (w + 1) / workers) - 1);
  });
}

int TKvQuantization::MoveColors() {
  // The nearest pass listed the colours to move; moving them by their place
  // in the colour array is the order of a walk over the whole array. Each
  // worker makes the moves of its clusters, in that order, then their
  // middles; then the table entries of the colours that reached its
  // clusters.
  const int workers = FMoverCount;
  const int jobs = static_cast<int>(FMovers.size()) / workers;
  size_t n = 0;
  for (const size_t c : FMoveCounts) n += c;
  if (n == 0) return 0;
  FNewIndex.resize(FStores.size());
  const std::function<void(int, int)> lists = [this, workers, jobs](int w, int) {
    std::vector<std::vector<TKvQuantizationMove>> mine;
    for (int j = 0; j < jobs; ++j) mine.push_back(std::move(FMovers[size_t(j) * size_t(workers) + size_t(w)]));
    TMoveMerge merge(mine);
    while (const TKvQuantizationMove* m = merge.Next()) {
      if (MoverOf(m->From) == w) {
        TKvQuantizationCluster* c =
            m->From >= 0 ? FSnapCluster[size_t(m->From)] : StoredColor(int32_t(uint32_t(m->Key)))->Cluster;
        if (c) c->TakeOut(*m);
      }
      if (MoverOf(m->To) == w) FSnapCluster[size_t(m->To)]->TakeIn(*m);
    }
    for (int j = 0; j < jobs; ++j) FMovers[size_t(j) * size_t(workers) + size_t(w)] = std::move(mine[size_t(j)]);
    for (int k = 0; k < FClusterCount; ++k) {
      TKvQuantizationCluster* c = FClusters[k];
      if (MoverOf(c->Place) == w) c->UpdateMiddle();
    }
  };
  // The colours themselves learn their clusters later (SyncColors).
  const std::function<void(int, int)> colors = [this, workers, jobs](int w, int) {
    for (int j = 0; j < jobs; ++j)
      for (const TKvQuantizationMove& m : FMovers[size_t(j) * size_t(workers) + size_t(w)]) {
        if (MoverOf(m.To) != w) continue;
        const size_t s = uint32_t(m.Key);
        FStores[s].MemberIndex = FNewIndex[s];
        FStores[s].Place = m.To;
      }
  };
  FMoveCluster = FSnapCluster;
  FColorsBehind = true;
  if (FTeam && FTeam->GetWorkers() * ChunksPerWorker == workers) {
    FTeam->Phase(workers, lists);
    FTeam->Phase(workers, colors);
  } else {
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < workers; ++w) lists(w, 0);
    for (int w = 0; w < workers; ++w) colors(w, 0);
    if (!FTeam) NotePhases(2, start);
  }
  return int(n);
}

void TKvQuantization::UpdateDistances() {
  const int n = GetColorCount();
  if (Parallel())
    RunJobs<TKvQuantizationUpdateColorDistansesJob>(this, FAbort, n);
  else
    DoUpdateDistances(0, n - 1);
}

void TKvQuantization::DoUpdateDistances(int AFirst, int ALast) {
  for (int i = AFirst; i <= ALast; ++i) {
    TKvQuantizationColor* c = StoredColor(i);
    const uint32_t version = c->Cluster ? c->Cluster->MiddleVersion : 0;
    if (c->DistanceValid && c->DistanceVersion == version) continue;
    c->Distance = c->Cluster ? SqrDist(c->GetLinRGB(), c->Cluster->Middle) : 0.0;
    c->DistanceVersion = version;
    c->DistanceValid = true;
  }
}

// ---------------------------------------------------------------------------
// Clusters

void TKvQuantization::DeleteCluster(int AIndex) {
  if (AIndex < 0 || AIndex >= FClusterCount) RaiseInternalError();
  TKvQuantizationCluster* c = FClusters[AIndex];
  FBoundsValid = false;
  for (auto& row : FMix)
    for (auto& m : row)
      if (m == c) m = nullptr;
  delete c;
  for (int k = AIndex; k + 1 < FClusterCount; ++k) FClusters[k] = FClusters[k + 1];
  FClusters[--FClusterCount] = nullptr;
}

void TKvQuantization::RemoveEmptyClusters() {
  for (int k = FClusterCount - 1; k >= 0; --k)
    if (!FClusters[k]->Fixed && FClusters[k]->GetCount() == 0) DeleteCluster(k);
}

// ---------------------------------------------------------------------------
// Sorting

namespace {

// Sorts the colours AFirst..ALast by their values, which lie beside them
// in AValues and move with them, compared through AKeyOf: a quicksort whose
// every step is fixed (middle pivot, exchange sort for 15 colours or fewer),
// so colours of equal keys end in the same order on every run. Reading the
// keys from the values instead of the colours keeps the passes in sequence.
template <class TValue, class TKeyOf>
struct TValueSort {
  TKvQuantizationColor** Colors;
  TValue* Values;
  const TKeyOf& KeyOf;
  const bool* AbortFlag;

  void Swap(int X, int Y) const {
    if (Colors) std::swap(Colors[X], Colors[Y]);
    std::swap(Values[X], Values[Y]);
  }

  // One partition of AFirst..ALast around its middle key: the parts
  // AFirst..AJ and AI..ALast are left.
  void Partition(int AFirst, int ALast, int& AI, int& AJ) const {
    int i = AFirst, j = ALast;
    const auto pivot = KeyOf(Values[AFirst + (ALast - AFirst) / 2]);
    do {
      while (KeyOf(Values[i]) < pivot) ++i;
      while (KeyOf(Values[j]) > pivot) --j;
      if (i <= j) {
        Swap(i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    AI = i;
    AJ = j;
  }

  void Sort(int AFirst, int ALast) const {
    if (Aborted(AbortFlag)) Abort();
    if (ALast - AFirst <= 14) {
      int last = ALast;
      bool swapped = true;
      while (swapped && last > AFirst) {
        swapped = false;
        for (int i = AFirst; i < last; ++i) {
          if (KeyOf(Values[i + 1]) < KeyOf(Values[i])) {
            Swap(i, i + 1);
            swapped = true;
          }
        }
        --last;
      }
      return;
    }
    Loop(AFirst, ALast);
  }

  // The partitions of a sort past its size test: each left part sorted on
  // its own, the right part partitioned again.
  void Loop(int AFirst, int ALast) const {
    int first = AFirst;
    int i, j;
    do {
      Partition(first, ALast, i, j);
      if (first < j) Sort(first, j);
      first = i;
    } while (i < ALast);
  }
};

template <class TValue, class TKeyOf>
void SortByValue(TKvQuantizationColor** AColors, TValue* AValues, int AFirst, int ALast, const TKeyOf& AKeyOf,
                 const bool* AAbort) {
  TValueSort<TValue, TKeyOf>{AColors, AValues, AKeyOf, AAbort}.Sort(AFirst, ALast);
}

// The byte of a packed $RRGGBB value that a median cut step sorts by.
struct TChannelKey {
  int Shift;
  uint32_t operator()(uint32_t V) const { return (V >> Shift) & 0xFF; }
  // The median cut's values: the bytes in the high half.
  uint32_t operator()(uint64_t V) const { return uint32_t(V >> (32 + Shift)) & 0xFF; }
};

// Where the median cut splits AFirst..ALast: the shift of the channel of
// the widest linear extent (green, then red, on ties).
int CutChannel(const uint64_t* AValues, int AFirst, int ALast) {
  uint32_t loR = 255, loG = 255, loB = 255, hiR = 0, hiG = 0, hiB = 0;
  for (int i = AFirst; i <= ALast; ++i) {
    const uint32_t v = uint32_t(AValues[i] >> 32);
    const uint32_t r = v >> 16, g = (v >> 8) & 0xFF, b = v & 0xFF;
    loR = std::min(loR, r);
    hiR = std::max(hiR, r);
    loG = std::min(loG, g);
    hiG = std::max(hiG, g);
    loB = std::min(loB, b);
    hiB = std::max(hiB, b);
  }
  const double* lin = LinTable();
  const double rr = lin[hiR] - lin[loR];
  const double rg = lin[hiG] - lin[loG];
  const double rb = lin[hiB] - lin[loB];
  const double m = std::max(rr, std::max(rg, rb));
  return m == rg ? 8 : m == rr ? 16 : 0;
}

// A colour's sRGB bytes as $RRGGBB, the value the median cut sorts by.
inline uint32_t PackedRGB(const TKvQuantizationColor* C) {
  return (uint32_t(C->R) << 16) | (uint32_t(C->G) << 8) | C->B;
}

}  // namespace

void TKvQuantization::SortColors(int AFirst, int ALast, TSortKey AKey) {
  CheckAbort();
  FPositionsStale = true;
  if (AFirst > ALast) return;
  TKvQuantizationColor** colors = FColors.data();
  const size_t n = size_t(ALast - AFirst + 1);
  if (AKey == skDistance) {
    TKvUninitVector<double> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = colors[size_t(AFirst) + i]->Distance;
    SortByValue(colors, values.data() - AFirst, AFirst, ALast, [](double V) { return V; }, FAbort);
  } else {
    TKvUninitVector<uint32_t> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = PackedRGB(colors[size_t(AFirst) + i]);
    SortByValue(colors, values.data() - AFirst, AFirst, ALast, TChannelKey{AKey == skR ? 16 : AKey == skG ? 8 : 0},
                FAbort);
  }
}

// ---------------------------------------------------------------------------
// Seeding and iterating

void TKvQuantization::Seed() {
  CheckAbort();
  const int n = GetColorCount();
  if (FPin && FPin->Count == FCount) {
    for (int i = 0; i < FPin->Count; ++i) {
      auto* k = new TKvQuantizationCluster(this);
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
      auto* k = new TKvQuantizationCluster(this);
      k->AddColor(FColors[size_t(i)]);
    }
  }
}

void TKvQuantization::SeedBounded() {
  CheckAbort();
  const int n = GetColorCount();
  if (FPin && FPin->Count == FCount) {
    for (int i = 0; i < FPin->Count; ++i) {
      auto* k = new TKvQuantizationCluster(this);
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
      auto* k = new TKvQuantizationCluster(this);
      k->AddColor(FColors[size_t(i)]);
    }
  }
}

namespace {

// A range of the median cut still to be sorted and split.
struct TCut {
  int First, Last, K;
};

// A piece of a colour sort: a whole sort of its range (Fresh), or the
// partitions that go on in a range whose left parts were handed on.
struct TSortPiece {
  int First, Last, Shift;
  bool Fresh;
};

// Sorts the pieces on all processors. The largest are first partitioned
// here, each step exactly as the sort would make it, until there are enough
// for the jobs; the pieces cover separate ranges, so the order in which the
// jobs take them does not matter.
void SortPieces(std::vector<TSortPiece>& APieces, uint64_t* AValues, const bool* AAbort) {
  const size_t enough = size_t(std::max(ProcessorCount, 1)) * 8;
  constexpr int SmallPiece = 4096;
  while (APieces.size() < enough) {
    size_t big = 0;
    for (size_t p = 1; p < APieces.size(); ++p)
      if (APieces[p].Last - APieces[p].First > APieces[big].Last - APieces[big].First) big = p;
    if (APieces.empty() || APieces[big].Last - APieces[big].First < SmallPiece) break;
    const TSortPiece piece = APieces[big];
    APieces.erase(APieces.begin() + ptrdiff_t(big));
    const TChannelKey key{piece.Shift};
    const TValueSort<uint64_t, TChannelKey> sort{nullptr, AValues, key, AAbort};
    if (Aborted(AAbort)) Abort();
    int i, j;
    sort.Partition(piece.First, piece.Last, i, j);
    if (piece.First < j) APieces.push_back({piece.First, j, piece.Shift, true});
    if (i < piece.Last) APieces.push_back({i, piece.Last, piece.Shift, false});
  }
  std::sort(APieces.begin(), APieces.end(),
            [](const TSortPiece& A, const TSortPiece& B) { return A.Last - A.First > B.Last - B.First; });
  std::atomic<size_t> next{0};
  KvRunChunkJobs(std::max(ProcessorCount, 1), 1, AAbort, [&](int32_t, int32_t) {
    for (size_t p = next.fetch_add(1); p < APieces.size(); p = next.fetch_add(1)) {
      const TSortPiece& piece = APieces[p];
      const TChannelKey key{piece.Shift};
      const TValueSort<uint64_t, TChannelKey> sort{nullptr, AValues, key, AAbort};
      if (piece.Fresh)
        sort.Sort(piece.First, piece.Last);
      else
        sort.Loop(piece.First, piece.Last);
    }
  });
}

// The sorts of the median cut of AFirst..ALast into AK ranges, depth first;
// the ranges left are added to ALeaves in their order.
void CutRange(uint64_t* AValues, int AFirst, int ALast, int AK, std::vector<TCut>& ALeaves, const bool* AAbort) {
  if (Aborted(AAbort)) Abort();
  if (AFirst > ALast) return;
  if (AK <= 1 || AFirst == ALast) {
    ALeaves.push_back({AFirst, ALast, AK});
    return;
  }
  SortByValue<uint64_t>(nullptr, AValues, AFirst, ALast, TChannelKey{CutChannel(AValues, AFirst, ALast)}, AAbort);
  const int mid = AFirst + (ALast - AFirst) / 2;
  CutRange(AValues, AFirst, mid, AK / 2, ALeaves, AAbort);
  CutRange(AValues, mid + 1, ALast, AK - AK / 2, ALeaves, AAbort);
}

// The same sorts, the ranges of each depth side by side on all processors.
void CutLevels(uint64_t* AValues, int AFirst, int ALast, int AK, std::vector<TCut>& ALeaves, const bool* AAbort) {
  std::vector<TCut> level{{AFirst, ALast, AK}}, next;
  std::vector<TSortPiece> pieces;
  while (!level.empty()) {
    if (Aborted(AAbort)) Abort();
    pieces.clear();
    next.clear();
    for (const TCut& c : level) {
      if (c.First > c.Last) continue;
      if (c.K <= 1 || c.First == c.Last) {
        ALeaves.push_back(c);
        continue;
      }
      pieces.push_back({c.First, c.Last, CutChannel(AValues, c.First, c.Last), true});
      const int mid = c.First + (c.Last - c.First) / 2;
      next.push_back({c.First, mid, c.K / 2});
      next.push_back({mid + 1, c.Last, c.K - c.K / 2});
    }
    SortPieces(pieces, AValues, AAbort);
    level.swap(next);
  }
  std::sort(ALeaves.begin(), ALeaves.end(), [](const TCut& A, const TCut& B) { return A.First < B.First; });
}

}  // namespace

void TKvQuantization::MedianCut(int AFirst, int ALast, int AK) {
  CheckAbort();
  if (AFirst > ALast) return;
  // The cut sorts each colour's bytes ($RRGGBB, high half) with its place
  // in the range (low half); the colours follow once, at the end, and the
  // clusters are made in the order of their ranges, as a depth-first cut
  // makes them.
  const size_t n = size_t(ALast - AFirst + 1);
  const bool wide = ProcessorCount >= 2 && !FSingleThreaded && n >= size_t(ParallelThreshold);
  // Runs AWork(from, end) over parts of 0 .. n-1, on all processors when wide.
  auto spread = [&](const std::function<void(size_t, size_t)>& AWork) {
    if (!wide) {
      AWork(0, n);
      return;
    }
    OnWorkers([&](int w, int workers) { AWork(n * size_t(w) / size_t(workers), n * size_t(w + 1) / size_t(workers)); });
  };
  TKvUninitVector<uint64_t> cut(n);
  TKvQuantizationColor** colors = FColors.data() + AFirst;
  spread([&](size_t AFrom, size_t AEnd) {
    for (size_t i = AFrom; i < AEnd; ++i) cut[i] = (uint64_t(PackedRGB(colors[i])) << 32) | uint32_t(i);
  });
  std::vector<TCut> leaves;
  if (wide)
    CutLevels(cut.data() - AFirst, AFirst, ALast, AK, leaves, FAbort);
  else
    CutRange(cut.data() - AFirst, AFirst, ALast, AK, leaves, FAbort);
  FPositionsStale = true;
  // The colours follow the sort: place i takes the colour of place cut[i],
  // gathered into a copy, whose loads do not wait for one another.
  {
    TKvUninitVector<TKvQuantizationColor*> sorted(n);
    spread([&](size_t AFrom, size_t AEnd) {
      for (size_t i = AFrom; i < AEnd; ++i) sorted[i] = colors[uint32_t(cut[i])];
    });
    spread([&](size_t AFrom, size_t AEnd) {
      std::copy(sorted.begin() + ptrdiff_t(AFrom), sorted.begin() + ptrdiff_t(AEnd), colors + AFrom);
    });
  }
  auto fill = [this](TKvQuantizationCluster* AK, const TCut& AC) {
    for (int i = AC.First; i <= AC.Last; ++i) {
      TKvQuantizationColor* color = FColors[size_t(i)];
      if (!color->Cluster) AK->AddColor(color);
    }
  };
  if (!wide || FClusterCount + int(leaves.size()) > MaxClusters) {
    for (const TCut& c : leaves) {
      auto* k = new TKvQuantizationCluster(this);
      fill(k, c);
      if (k->GetCount() == 0) {
        // The new cluster is the last of the table.
        DeleteCluster(FClusterCount - 1);
      }
    }
    return;
  }
  // The ranges are apart and so are their clusters: all are made first, in
  // order, filled side by side, and the empty ones taken out again, which
  // leaves the table as one cluster at a time would.
  const int base = FClusterCount;
  for (size_t l = 0; l < leaves.size(); ++l) new TKvQuantizationCluster(this);
  std::atomic<size_t> next{0};
  OnWorkers([&](int, int) {
    for (size_t l = next.fetch_add(1); l < leaves.size(); l = next.fetch_add(1))
      fill(FClusters[base + int(l)], leaves[l]);
  });
  for (int k = FClusterCount - 1; k >= base; --k)
    if (FClusters[k]->GetCount() == 0) DeleteCluster(k);
}

void TKvQuantization::PinClusters() {
  if (!FPin) return;
  // The pin colours already taken are marked here, not in the caller's
  // palette, so its Skip flags are left as they were.
  std::vector<bool> taken(static_cast<size_t>(FPin->Count), false);
  CheckAbort();
  UpdateMiddles();
  for (int round = 0; round < FPin->Count; ++round) {
    int bestPin = -1;
    TKvQuantizationCluster* bestCluster = nullptr;
    double bestD = 0;
    bool anyFree = false;
    for (int p = 0; p < FPin->Count; ++p) {
      if (taken[size_t(p)]) continue;
      const TKvLinRGBColor pl = FPin->GetLinRGB(p);
      for (int k = 0; k < FClusterCount; ++k) {
        TKvQuantizationCluster* c = FClusters[k];
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

void TKvQuantization::Iterate() {
  if (FCount < FClusterCount) RaiseInternalError();
  WithTeam([this] { IteratePasses(); });
}

void TKvQuantization::IteratePasses() {
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
  SyncColors();
}

bool TKvQuantization::SplitWorst() {
  SyncColors();
  UpdateMiddles();
  UpdateDistances();
  const int n = GetColorCount();
  if (n == 0) return false;
  SortColors(0, n - 1, skDistance);
  for (int i = n - 1; i >= 0; --i) {
    TKvQuantizationColor* c = FColors[size_t(i)];
    const TKvStdRGBColor s = MapToAllowed(c->GetLinRGB());
    bool present = false;
    for (int k = 0; k < FClusterCount && !present; ++k) present = FClusters[k]->MiddleStd == s;
    if (present) continue;
    if (c->Cluster) c->Cluster->RemoveColor(c);
    auto* k = new TKvQuantizationCluster(this);
    k->AddColor(c);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Bounded variants

void TKvQuantization::SeedMixtures() {
  const int n = GetColorCount();
  MedianCut(0, n - 1, FCount);
  PinClusters();
  Iterate();
  const int have = FClusterCount;
  for (int i = have; i < FCount; ++i) {
    auto* k = new TKvQuantizationCluster(this);
    k->SetMiddle(LinRGBBlack);
    FMix[i][i] = k;
  }
  for (int i = 0; i < have; ++i) FMix[i][i] = FClusters[i];
  UpdateMiddles();
  for (int j = 1; j < FCount; ++j)
    for (int i = 0; i < FCount - j; ++i) FMix[i][i + j] = new TKvQuantizationCluster(this);
}

void TKvQuantization::UpdateMixtures() {
  for (int i = 0; i < FCount; ++i)
    for (int j = i + 1; j < FCount; ++j) {
      TKvQuantizationCluster* m = FMix[i][j];
      const TKvQuantizationCluster* a = FMix[i][i];
      const TKvQuantizationCluster* b = FMix[j][j];
      if (!m || !a || !b) RaiseInternalError();
      m->Middle = MiddleLinRGB(a->Middle, b->Middle);
      m->MiddleValid = true;
      m->Excluded = std::fabs(a->MiddleGray - b->MiddleGray) > FFlickerBound;
    }
}

void TKvQuantization::IterateBounded() {
  WithTeam([this] { IterateBoundedPasses(); });
}

void TKvQuantization::IterateBoundedPasses() {
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
      SyncColors();
      while (FClusterCount > FCount) DeleteCluster(FClusterCount - 1);
      return;
    }
  }
}

void TKvQuantization::SolveBaseColors() {
  const int n = FCount;
  // One walk over the members serves the three channels: the member lists
  // are long and scattered over the colour store, so reading them once per
  // channel cost three times the memory traffic. Each channel's sums keep
  // the order of the walk; the halves are exact in any order.
  double halves[MaxBoundedColors][MaxBoundedColors];
  double sums[3][MaxBoundedColors];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) halves[i][j] = 0;
    for (int ch = 0; ch < 3; ++ch) sums[ch][i] = 0;
  }
  const double* lin = LinTable();
  constexpr int PrefetchAhead = 16;  // members whose colour is fetched ahead
  for (int p = 0; p < n; ++p)
    for (int q = p; q < n; ++q) {
      const TKvQuantizationCluster* k = FMix[p][q];
      if (!k) continue;
      const int count = k->GetCount();
      double weights = 0;
      // The channel values are added pixel by pixel, to both base colours of
      // the mixture (twice to the one of a pure colour).
      double sp[3] = {sums[0][p], sums[1][p], sums[2][p]};
      double sq[3] = {sums[0][q], sums[1][q], sums[2][q]};
      for (int m = 0; m < count; ++m) {
        if (m + PrefetchAhead < count) __builtin_prefetch(k->GetColor(m + PrefetchAhead));
        const TKvQuantizationColor* c = k->GetColor(m);
        const double v[3] = {lin[c->R], lin[c->G], lin[c->B]};
        // Halves summed once per pixel are exact, so they are added as one
        // product.
        weights += 0.5 * c->Weight;
        if (p == q) {
          for (uint32_t u = 0; u < c->Weight; ++u)
            for (int ch = 0; ch < 3; ++ch) {
              sp[ch] += v[ch];
              sp[ch] += v[ch];
            }
        } else {
          for (uint32_t u = 0; u < c->Weight; ++u)
            for (int ch = 0; ch < 3; ++ch) {
              sp[ch] += v[ch];
              sq[ch] += v[ch];
            }
        }
      }
      for (int ch = 0; ch < 3; ++ch) {
        sums[ch][p] = sp[ch];
        if (p != q) sums[ch][q] = sq[ch];
      }
      halves[p][p] += weights;
      halves[p][q] += weights;
      halves[q][p] += weights;
      halves[q][q] += weights;
    }
  double A[MaxBoundedColors][MaxBoundedColors];
  double b[MaxBoundedColors], x[MaxBoundedColors];
  for (int ch = 0; ch < 3; ++ch) {
    for (int i = 0; i < n; ++i) {
      b[i] = sums[ch][i];
      for (int j = 0; j < n; ++j) A[i][j] = halves[i][j];
    }
    auto chan = [ch](double r, double g, double bb) { return ch == 0 ? r : ch == 1 ? g : bb; };
    for (int p = 0; p < n; ++p) {
      const TKvQuantizationCluster* k = FMix[p][p];
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
      TKvQuantizationCluster* k = FMix[p][p];
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
      TKvQuantizationCluster* k = FMix[p][p];
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

void TKvQuantization::WriteResult(TKvPalette256& AResult) { WriteResultCommon(AResult, false); }

void TKvQuantization::WriteResultBounded(TKvPalette256& AResult) { WriteResultCommon(AResult, true); }

void TKvQuantization::WriteResultCommon(TKvPalette256& AResult, bool AAllClusters) {
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
      const TKvQuantizationCluster* c = FClusters[k];
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
