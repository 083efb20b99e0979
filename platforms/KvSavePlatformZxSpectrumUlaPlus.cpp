#include "platforms/KvSavePlatformZxSpectrumUlaPlus.h"

#include <algorithm>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "shell/noxShellBaseExtension.h"

namespace {

double SqrDistance(const TKvLinRGBColor& A, const TKvLinRGBColor& B) {
  const double dr = A.R - B.R, dg = A.G - B.G, db = A.B - B.B;
  return dr * dr + dg * dg + db * db;
}

// The least distance of an entry of APalette to AColor, from 10 on.
double NearestDistance(const TKvPalette256& APalette, const TKvLinRGBColor& AColor) {
  if (APalette.Count == 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  double best = 10.0;
  for (int i = 0; i < APalette.Count; ++i) best = std::min(best, SqrDistance(APalette.GetLinRGB(i), AColor));
  return best;
}

// A group's distance, 0 for an empty group.
double GroupDistance(const TKvPalette256& APalette, const TKvLinRGBColor& AColor) {
  return APalette.Count == 0 ? 0.0 : NearestDistance(APalette, AColor);
}

bool Contains(const TKvPalette256& APalette, const TKvStdRGBColor& AColor) {
  return APalette.IndexOfStdRGB(AColor) >= 0;
}

// Adds AColor unless present and adds ACount to the entry's use count, which
// starts at 0 for a new entry.
void AddCounted(TKvPalette256& APalette, const TKvStdRGBColor& AColor, int32_t ACount) {
  int i = APalette.IndexOfStdRGB(AColor);
  if (i < 0) i = APalette.AddStdRGB(AColor);
  APalette.Colors[i].UseCount += ACount;
}

// Runs ADo(From, To) over 0..ACount-1: on the calling thread with a single
// processor or too little work (AWork), else as jobs of class TJob over the
// splitter's ranges.
template <class TJob, class TDo>
void RunPass(TKvULAPlusQuantization* AOwner, int ACount, int64_t AWork, TDo ADo) {
  if (ACount <= 0) return;
  if (ProcessorCount < 2 || AWork < KvULAPlusMinJobWork) {
    ADo(0, ACount - 1);
    return;
  }
  TKvJobList jobs;
  TKvRangeSplitter split;
  split.Init(ACount, 0);
  int32_t first, last;
  while (split.Next(first, last)) new TJob(&jobs, AOwner, first, last);
  jobs.RunWithCaller(AOwner->Abort);
}

}  // namespace

// A pass hands out some 60 us of work a job; a clustering pass over a few
// hundred pairs costs less than that, and there are hundreds of passes.
int64_t KvULAPlusMinJobWork = int64_t(1) << 18;

// ---------------------------------------------------------------------------
// Colours

TKvULAPlusColor::TKvULAPlusColor(TKvPalette256& APalette, int AIndexA, int AIndexB)
    : TKvCellPaperIncPalette(APalette, AIndexA, AIndexB, AIndexA == AIndexB, 1) {
  PaperColor = Palette->GetStdRGB(0);
  InkColor = Palette->GetStdRGB(1);
  PaperLin = Palette->GetLinRGB(0);
  InkLin = Palette->GetLinRGB(1);
}

double TKvULAPlusColor::NearestPaperDistance(const TKvPalette256& APalette) const {
  return NearestDistance(APalette, PaperLin);
}

double TKvULAPlusColor::NearestInkDistance(const TKvPalette256& APalette) const {
  return NearestDistance(APalette, InkLin);
}

double TKvULAPlusColor::SumDistance(const TKvPalette256& APalette) const {
  if (!IsSingle()) RaiseOSError(ERROR_INVALID_PARAMETER);
  double sum = 0;
  for (int i = 0; i < APalette.Count; ++i) sum += SqrDistance(APalette.GetLinRGB(i), PaperLin);
  return sum;
}

double TKvULAPlusColor::Distance(const TKvULAPlusCluster& ACluster) const {
  if (IsSingle())
    return std::min(GroupDistance(*ACluster.PaperColors, PaperLin), GroupDistance(*ACluster.InkColors, PaperLin));
  return GroupDistance(*ACluster.PaperColors, PaperLin) + GroupDistance(*ACluster.InkColors, InkLin);
}

void TKvULAPlusColor::UpdateMaxDistance() {
  double best = 0;
  const int n = Owner->GetColorCount();
  for (int i = 0; i < n; ++i) {
    const TKvULAPlusColor* c = Owner->GetColor(i);
    best = std::max(best, SqrDistance(c->PaperLin, PaperLin) + SqrDistance(c->InkLin, InkLin));
  }
  Score = best;
}

void TKvULAPlusColor::UpdateNearest() {
  TKvULAPlusCluster* best = nullptr;
  double bestDistance = 0;
  for (int k = 0; k < TKvULAPlusQuantization::ClusterCount; ++k) {
    TKvULAPlusCluster* c = Owner->GetCluster(k);
    if (!c->HasColors()) continue;
    const double d = Distance(*c);
    if (!best || d < bestDistance) {
      best = c;
      bestDistance = d;
    }
  }
  Nearest = best;
}

// ---------------------------------------------------------------------------
// First pass

TKvULAPlusPreparePaletteList::TKvULAPlusPreparePaletteList(TKvPalette256& APalette) {
  for (int i = 0; i < APalette.Count; ++i) Add(std::make_unique<TKvULAPlusColor>(APalette, i, i));
  for (int i = 0; i < APalette.Count; ++i)
    for (int j = i + 1; j < APalette.Count; ++j) Add(std::make_unique<TKvULAPlusColor>(APalette, i, j));
}

void TKvULAPlusPreparePaletteList::Prune() {
  for (int i = GetCount() - 1; i >= 0; --i)
    if (GetPalette(i)->PaperCount == 0 && GetPalette(i)->InkCount == 0) Delete(i);
}

TKvULAPlusQuantizationImage::~TKvULAPlusQuantizationImage() = default;

std::unique_ptr<TKvBitmap> TKvULAPlusQuantizationImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  auto result = TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
  if (FColors) FColors->Prune();
  return result;
}

std::unique_ptr<TKvBitmap> TKvULAPlusQuantizationImage::ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                    TKvDestProgress* AProgress,
                                                                    TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  return Convert(AAbort, AOptions, AProgress, ATarget);
}

void TKvULAPlusQuantizationImage::Prepare() { FitToPaletteGray(*FPalette); }

std::unique_ptr<TKvBitmap> TKvULAPlusQuantizationImage::CreateResult() {
  return std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), FPalette);
}

TKvCellPaletteList* TKvULAPlusQuantizationImage::CreatePaletteList() {
  FColors = std::make_unique<TKvULAPlusPreparePaletteList>(*FPalette);
  return FColors.get();
}

void TKvULAPlusQuantizationImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                                 int AIndex) {
  AResult->SetPixel(X, Y, AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvULAPlusQuantizationImage::SetTargetPixel(TKvCellScreen*, int, int, TKvCellPalette* ACellPalette,
                                                 int AIndex) {
  auto* c = static_cast<TKvULAPlusColor*>(ACellPalette);
  if (AIndex == 1)
    ++c->InkCount;
  else
    ++c->PaperCount;
}

void TKvULAPlusQuantizationImage::ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) {
  AProgress->SetProgress(ATotal * 3 / 2, ADone);
}

// ---------------------------------------------------------------------------
// Clusters

TKvULAPlusCluster::TKvULAPlusCluster(TKvULAPlusQuantization* AOwner)
    : Owner(AOwner),
      PaperColors(std::make_unique<TKvPalette256>()),
      InkColors(std::make_unique<TKvPalette256>()),
      FixedColors(std::make_unique<TKvPalette256>()) {
  ClearColorMask(ColorMask);
}

TKvULAPlusCluster::~TKvULAPlusCluster() = default;

void TKvULAPlusCluster::Add(TKvULAPlusColor* AColor) {
  Members.push_back(AColor);
  AColor->Cluster = this;
}

void TKvULAPlusCluster::Remove(TKvULAPlusColor* AColor) {
  auto it = std::find(Members.begin(), Members.end(), AColor);
  if (it != Members.end()) Members.erase(it);
  AColor->Cluster = nullptr;
}

void TKvULAPlusCluster::AddPaper(TKvULAPlusColor* AColor) {
  AddCounted(*PaperColors, AColor->PaperColor, AColor->PaperCount);
}

void TKvULAPlusCluster::AddInk(TKvULAPlusColor* AColor) {
  AddCounted(*InkColors, AColor->InkColor, AColor->IsSingle() ? AColor->PaperCount : AColor->InkCount);
}

void TKvULAPlusCluster::UpdateMiddle() {
  constexpr int N = TKvULAPlusQuantization::GroupSize;
  TKvPalette256& paper = *PaperColors;
  TKvPalette256& ink = *InkColors;
  paper.Clear();
  ink.Clear();
  Singles.clear();
  for (TKvULAPlusColor* m : Members) {
    if (m->IsSingle()) {
      Singles.push_back(m);
    } else {
      AddPaper(m);
      AddInk(m);
    }
  }
  // Singles whose colour a group holds already join that group.
  for (int i = GetSingleCount() - 1; i >= 0; --i) {
    TKvULAPlusColor* s = Singles[static_cast<size_t>(i)];
    const int p = paper.IndexOfStdRGB(s->PaperColor);
    const int k = ink.IndexOfStdRGB(s->PaperColor);
    if (p < 0 && k < 0) continue;
    if (p >= 0 && (k < 0 || paper.Colors[p].UseCount > ink.Colors[k].UseCount))
      AddPaper(s);
    else
      AddInk(s);
    Singles.erase(Singles.begin() + i);
  }
  // The others fill the groups, the most distant first.
  while (!Singles.empty() && !(paper.Count >= N && ink.Count >= N)) {
    size_t f = 0;
    for (size_t i = 0; i < Singles.size(); ++i) {
      TKvULAPlusColor* s = Singles[i];
      s->Score = s->SumDistance(paper) + s->SumDistance(ink);
      if (s->Score > Singles[f]->Score) f = i;
    }
    TKvULAPlusColor* s = Singles[f];
    bool toPaper;
    if (paper.Count == 0)
      toPaper = true;
    else if (ink.Count == 0)
      toPaper = false;
    else if (paper.Count == ink.Count)
      toPaper = s->NearestPaperDistance(ink) > s->NearestPaperDistance(paper);
    else if (paper.Count >= N || ink.Count >= N)
      toPaper = paper.Count < N;
    else
      toPaper = paper.Count < ink.Count;
    if (toPaper)
      AddPaper(s);
    else
      AddInk(s);
    Singles.erase(Singles.begin() + static_cast<std::ptrdiff_t>(f));
  }
  // Both groups full: the rest join the nearer one and are merged below.
  while (!Singles.empty()) {
    size_t best = 0;
    bool bestPaper = true;
    double bestDistance = 0;
    for (size_t i = 0; i < Singles.size(); ++i) {
      const double dp = Singles[i]->NearestPaperDistance(paper);
      const double di = Singles[i]->NearestPaperDistance(ink);
      if (i == 0 || dp < bestDistance) {
        best = i;
        bestPaper = true;
        bestDistance = dp;
      }
      if (di < bestDistance) {
        best = i;
        bestPaper = false;
        bestDistance = di;
      }
    }
    if (bestPaper)
      AddPaper(Singles[best]);
    else
      AddInk(Singles[best]);
    Singles.erase(Singles.begin() + static_cast<std::ptrdiff_t>(best));
  }
  paper.UpdateCache();
  ink.UpdateCache();
  for (TKvPalette256* group : {&paper, &ink}) {
    if (group->Count <= N) continue;
    if (!Quantizer) Quantizer = std::make_unique<TKvQuantization>();
    Quantizer->QuantizePaletteMasked(Owner->Abort, N, Owner->UseGray, 0, *group, *FixedColors, Owner->Allowed,
                                     ColorMask);
  }
  paper.UpdateCache();
  ink.UpdateCache();
}

TKvULAPlusColor* TKvULAPlusCluster::FarthestPair() {
  TKvULAPlusColor* best = nullptr;
  for (TKvULAPlusColor* m : Members) {
    if (m->IsSingle()) continue;
    m->Score = m->Distance(*this);
    if (!best || m->Score > best->Score) best = m;
  }
  if (best && Contains(*PaperColors, best->PaperColor) && Contains(*InkColors, best->InkColor)) return nullptr;
  return best;
}

TKvULAPlusColor* TKvULAPlusCluster::FarthestSingle() {
  TKvULAPlusColor* best = nullptr;
  for (TKvULAPlusColor* m : Members) {
    if (!m->IsSingle()) continue;
    m->Score = m->Distance(*this);
    if (!best || m->Score > best->Score) best = m;
  }
  if (best && (Contains(*PaperColors, best->PaperColor) || Contains(*InkColors, best->PaperColor))) return nullptr;
  return best;
}

int64_t TKvULAPlusCluster::UsageOf(const TKvStdRGBColor& AColor) const {
  int64_t sum = 0;
  for (const TKvULAPlusColor* m : Members) {
    if (m->PaperColor == AColor) sum += m->PaperCount;
    if (!m->IsSingle() && m->InkColor == AColor) sum += m->InkCount;
  }
  return sum;
}

// ---------------------------------------------------------------------------
// Clustering

void TKvULAPlusQuantizationCaclColorMaxDistanceJob::Execute() {
  for (int i = From; i <= To; ++i) Owner->GetColor(i)->UpdateMaxDistance();
}

void TKvULAPlusQuantizationUpdateClusterMiddleJob::Execute() {
  for (int i = From; i <= To; ++i) Owner->GetCluster(i)->UpdateMiddle();
}

void TKvULAPlusQuantizationUpdateColorNearestClusterJob::Execute() {
  for (int i = From; i <= To; ++i) Owner->GetColor(i)->UpdateNearest();
}

TKvULAPlusQuantization::~TKvULAPlusQuantization() = default;

void TKvULAPlusQuantization::CheckAbort() const {
  if (::Aborted(Abort)) ::Abort();
}

void TKvULAPlusQuantization::UpdateMiddles() {
  int64_t members = 0;
  for (auto& c : Clusters) members += c->GetCount();
  if (ProcessorCount < 2 || members * 64 < KvULAPlusMinJobWork) {
    for (auto& c : Clusters) c->UpdateMiddle();
    return;
  }
  // One job per cluster, whatever the processor count.
  TKvJobList jobs;
  for (int k = 0; k < ClusterCount; ++k) new TKvULAPlusQuantizationUpdateClusterMiddleJob(&jobs, this, k, k);
  jobs.RunWithCaller(Abort);
}

void TKvULAPlusQuantization::UpdateNearest() {
  const int n = GetColorCount();
  RunPass<TKvULAPlusQuantizationUpdateColorNearestClusterJob>(this, n, int64_t(n) * 64, [this](int AFrom, int ATo) {
    for (int i = AFrom; i <= ATo; ++i) GetColor(i)->UpdateNearest();
  });
}

void TKvULAPlusQuantization::Seed() {
  const int n = GetColorCount();
  RunPass<TKvULAPlusQuantizationCaclColorMaxDistanceJob>(this, n, int64_t(n) * n, [this](int AFrom, int ATo) {
    for (int i = AFrom; i <= ATo; ++i) GetColor(i)->UpdateMaxDistance();
  });
  for (auto& cluster : Clusters) {
    TKvULAPlusColor* best = nullptr;
    for (int i = 0; i < GetColorCount(); ++i) {
      TKvULAPlusColor* c = GetColor(i);
      if (c->Cluster || c->IsSingle()) continue;
      if (!best || c->Score > best->Score) best = c;
    }
    if (best) cluster->Add(best);
  }
}

void TKvULAPlusQuantization::MoveTo(TKvULAPlusColor* AColor, TKvULAPlusCluster* ACluster) {
  if (AColor->Cluster) AColor->Cluster->Remove(AColor);
  ACluster->Add(AColor);
}

int TKvULAPlusQuantization::MoveToNearest(bool AWithSingles) {
  int moved = 0;
  for (int i = 0; i < GetColorCount(); ++i) {
    TKvULAPlusColor* c = GetColor(i);
    if ((!AWithSingles && c->IsSingle()) || !c->Nearest || c->Nearest == c->Cluster) continue;
    MoveTo(c, c->Nearest);
    ++moved;
  }
  return moved;
}

namespace {

// The move of the farthest member (found by AFarthest) of a full cluster to
// the nearest cluster with room.
template <class TRoom, class TFarthest>
bool MoveToFreeCluster(TKvULAPlusQuantization& AOwner, TRoom AHasRoom, TFarthest AFarthest) {
  bool anyRoom = false;
  for (int k = 0; k < TKvULAPlusQuantization::ClusterCount; ++k) anyRoom = anyRoom || AHasRoom(*AOwner.GetCluster(k));
  if (!anyRoom) return false;
  TKvULAPlusColor* best = nullptr;
  for (int k = 0; k < TKvULAPlusQuantization::ClusterCount; ++k) {
    TKvULAPlusCluster& c = *AOwner.GetCluster(k);
    if (AHasRoom(c)) continue;
    TKvULAPlusColor* f = AFarthest(c);
    if (f && (!best || f->Score > best->Score)) best = f;
  }
  if (!best) return false;
  TKvULAPlusCluster* target = nullptr;
  double targetDistance = 0;
  for (int k = 0; k < TKvULAPlusQuantization::ClusterCount; ++k) {
    TKvULAPlusCluster* c = AOwner.GetCluster(k);
    if (!AHasRoom(*c)) continue;
    const double d = best->Distance(*c);
    if (!target || d < targetDistance) {
      target = c;
      targetDistance = d;
    }
  }
  best->Cluster->Remove(best);
  target->Add(best);
  return true;
}

constexpr int kGroup = TKvULAPlusQuantization::GroupSize;

}  // namespace

bool TKvULAPlusQuantization::MovePairToFreeCluster() {
  return MoveToFreeCluster(
      *this,
      [](const TKvULAPlusCluster& c) { return c.PaperColors->Count < kGroup && c.InkColors->Count < kGroup; },
      [](TKvULAPlusCluster& c) { return c.FarthestPair(); });
}

bool TKvULAPlusQuantization::MoveSingleToFreeCluster() {
  return MoveToFreeCluster(
      *this,
      [](const TKvULAPlusCluster& c) { return c.PaperColors->Count < kGroup || c.InkColors->Count < kGroup; },
      [](TKvULAPlusCluster& c) { return c.FarthestSingle(); });
}

void TKvULAPlusQuantization::Iterate() {
  // Phase 1: the pairs alone.
  int passes = 0;
  for (;;) {
    CheckAbort();
    UpdateMiddles();
    if (++passes >= MaxPasses) break;
    CheckAbort();
    UpdateNearest();
    CheckAbort();
    int moved = MoveToNearest(false);
    if (MovePairToFreeCluster()) ++moved;
    if (moved == 0) break;
  }
  // Phase 2: the singles join, first where their colour is already used.
  Singles.clear();
  for (int i = 0; i < GetColorCount(); ++i)
    if (GetColor(i)->IsSingle()) Singles.push_back(GetColor(i));
  for (int i = static_cast<int>(Singles.size()) - 1; i >= 0; --i) {
    TKvULAPlusColor* s = Singles[static_cast<size_t>(i)];
    for (auto& c : Clusters)
      if (Contains(*c->PaperColors, s->PaperColor) || Contains(*c->InkColors, s->PaperColor)) {
        MoveTo(s, c.get());
        Singles.erase(Singles.begin() + i);
        break;
      }
  }
  for (int i = static_cast<int>(Singles.size()) - 1; i >= 0; --i) {
    TKvULAPlusColor* s = Singles[static_cast<size_t>(i)];
    TKvULAPlusCluster* best = nullptr;
    int64_t bestUsage = 0;
    for (auto& c : Clusters) {
      const int64_t u = c->UsageOf(s->PaperColor);
      if (u > 0 && u > bestUsage) {
        best = c.get();
        bestUsage = u;
      }
    }
    if (!best) continue;
    MoveTo(s, best);
    Singles.erase(Singles.begin() + i);
  }
  for (int i = static_cast<int>(Singles.size()) - 1; i >= 0; --i) {
    TKvULAPlusColor* s = Singles[static_cast<size_t>(i)];
    TKvULAPlusCluster* best = nullptr;
    double bestDistance = 0;
    for (auto& c : Clusters) {
      const double d = s->Distance(*c);
      if (!best || d < bestDistance) {
        best = c.get();
        bestDistance = d;
      }
    }
    MoveTo(s, best);
    Singles.erase(Singles.begin() + i);
  }
  passes = 0;
  for (;;) {
    CheckAbort();
    UpdateMiddles();
    CheckAbort();
    UpdateNearest();
    CheckAbort();
    int moved = MoveToNearest(true);
    if (MovePairToFreeCluster()) ++moved;
    if (moved == 0 && MoveSingleToFreeCluster()) moved = 1;
    if (moved == 0 || ++passes >= MaxPasses) break;
  }
}

void TKvULAPlusQuantization::Quantize(bool* AAbort, TKvULAPlusPreparePaletteList* AColors, bool AUseGray,
                                      TKvPalette256& AResult, TKvPalette* AAllowed) {
  Abort = AAbort;
  UseGray = AUseGray;
  Allowed = AAllowed;
  // The clusters' middle jobs all read the allowed palette: its cached
  // forms are filled here, once, so that they only read it.
  if (Allowed) Allowed->UpdateCache();
  Colors = AColors;
  Singles.clear();
  Clusters.clear();
  struct TClustersGuard {
    TKvULAPlusQuantization* Owner;
    ~TClustersGuard() {
      for (int i = 0; i < Owner->GetColorCount(); ++i) {
        Owner->GetColor(i)->Cluster = nullptr;
        Owner->GetColor(i)->Nearest = nullptr;
      }
      Owner->Singles.clear();
      Owner->Clusters.clear();
    }
  } guard{this};
  for (int k = 0; k < ClusterCount; ++k) Clusters.push_back(std::make_unique<TKvULAPlusCluster>(this));
  const int count = GetColorCount();
  for (int i = 0; i < count; ++i) GetColor(i)->Owner = this;
  if (count > ClusterCount * GroupSize) {
    Seed();
    Iterate();
  } else {
    // Few colours: eight to a cluster. The groups are built from them once,
    // or every entry would come out as a black filler.
    for (int i = 0; i < count; ++i) Clusters[static_cast<size_t>(i / GroupSize)]->Add(GetColor(i));
    UpdateMiddles();
  }
  TKvPalette256 result;
  for (auto& c : Clusters) {
    c->PaperColors->SortByGray(0);
    c->InkColors->SortByGray(0);
    for (TKvPalette256* group : {c->PaperColors.get(), c->InkColors.get()})
      for (int i = 0; i < GroupSize; ++i) {
        if (i < group->Count) {
          result.AddStdRGB(group->GetStdRGB(i));
        } else {
          const int k = result.AddRGB(0, 0, 0);
          result.Colors[k].Skip = true;
        }
      }
  }
  AResult.Clear();
  for (int i = 0; i < result.Count; ++i) AResult.AddColor(result.Colors[i]);
}

// ---------------------------------------------------------------------------
// Palettes

void BuildUlaPlusGrayPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, int AParam) {
  if (APaletteType == ptV11Gray) RaiseOSError(ERROR_INVALID_PARAMETER);
  APalette.Clear();
  TKvPalette256 full;
  BuildUlaPlusPalette(full, APaletteType);
  int n = std::min(AParam + 4, 8);
  struct TCandidate {
    TKvStdRGBColor Color;
    double Distance;
  };
  std::vector<TCandidate> candidates;
  for (int j = 0; j < 8; ++j) {
    const uint8_t g = Expand3To8(j);
    const TKvStdRGBColor gray{g, g, g};
    const TKvStdRGBColor c = full.GetStdRGB(full.FindNearestStdRGB(gray));
    if (c == gray || n == 8) {
      APalette.AddUniqueStdRGB(c);
      --n;
    } else {
      TKvColor a, b;
      a.InitStdRGB(c);
      b.InitStdRGB(gray);
      candidates.push_back({c, SqrDistance(a.GetLinRGB(), b.GetLinRGB())});
    }
  }
  if (n > 0) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const TCandidate& A, const TCandidate& B) { return A.Distance < B.Distance; });
    for (const TCandidate& c : candidates) {
      if (n <= 0) break;
      APalette.AddUniqueStdRGB(c.Color);
      --n;
    }
  }
  APalette.SortByGray(0);
}

void UlaPlusLayout17(TKvPalette256& APalette) {
  if (APalette.Count > 17) RaiseOSError(ERROR_INVALID_PARAMETER);
  TKvPalette256 src;
  src.Assign(&APalette);
  APalette.Clear();
  auto addGroup = [&](int AStart) {
    for (int i = AStart; i < AStart + 8; ++i) {
      if (i < src.Count) {
        const int k = APalette.AddColor(src.Colors[i]);
        APalette.Colors[k].Skip = false;
      } else {
        const int k = APalette.AddRGB(0, 0, 0);
        APalette.Colors[k].Skip = true;
      }
    }
  };
  addGroup(0);
  addGroup(1);
  if (src.Count > 9) {
    addGroup(0);
    addGroup(9);
    addGroup(8);
    addGroup(9);
  }
}

void WriteUlaPlusPalette(TKvPalette256& ALayout, const TKvPalette256& AFull, uint8_t* AData, int64_t AFileSize) {
  uint8_t* p = AData + AFileSize - 64;
  for (int k = 0; k < 4; ++k)
    for (int half : {8, 0})
      for (int m = 0; m < 8; ++m, ++p) {
        const int i = 16 * k + half + m;
        if (i < ALayout.Count && !ALayout.Colors[i].Skip)
          *p = static_cast<uint8_t>(AFull.LocateStdRGB(ALayout.GetStdRGB(i)));
      }
}

void FindUlaPlusTwoColorAttribute(TKvCellScreen& AScreen, int ACellHeight, int& ADark, int& ALight,
                                  bool& AInverted) {
  struct TTry {
    int Clut, PaperStart, InkStart;
  };
  static constexpr TTry kTries[3] = {{0, 0, 1}, {1, 0, 9}, {2, 8, 9}};
  int attr = -1;
  AInverted = false;
  for (const bool inverted : {false, true}) {
    const int paper = inverted ? ALight : ADark;
    const int ink = inverted ? ADark : ALight;
    for (const TTry& t : kTries) {
      if (paper < t.PaperStart || paper >= t.PaperStart + 8 || ink < t.InkStart || ink >= t.InkStart + 8) continue;
      attr = (t.Clut << 6) | ((paper - t.PaperStart) << 3) | (ink - t.InkStart);
      const int paperAt = 16 * t.Clut + (paper - t.PaperStart);
      const int inkAt = 16 * t.Clut + 8 + (ink - t.InkStart);
      ADark = inverted ? inkAt : paperAt;
      ALight = inverted ? paperAt : inkAt;
      AInverted = inverted;
      break;
    }
    if (attr >= 0) break;
  }
  if (attr < 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  for (int r = 0; r < 192 / ACellHeight; ++r)
    for (int c = 0; c < 32; ++c) AScreen.SetAttr(c, r, attr);
}

// ---------------------------------------------------------------------------
// Options and screens

TKvULAPlusEngineOptions::TKvULAPlusEngineOptions() {
  SetPaletteType(ptV11);
  SetPaletteMode(pmColor17Of256);
  SetErrorDiffusion(80);
}

void TKvULAPlusEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  const auto type = static_cast<TKvPaletteType>(PaletteType);
  TKvPalette256& result = *GetPalette();
  if (type != ptV11Gray && PaletteMode == pmGray)
    BuildUlaPlusGrayPalette(result, type, GrayPaletteParam);
  else
    BuildUlaPlusPalette(result, type);
  HardwarePalette.reset();
  if (PaletteMode == pmGray || PaletteMode == pmColor17Of256 || PaletteMode == pmCustom) {
    auto hardware = std::make_unique<TKvPalette256>();
    BuildUlaPlusPalette(*hardware, type);
    HardwarePalette = std::move(hardware);
  }
}

TKvULAPlusTimexEngineOptions::TKvULAPlusTimexEngineOptions() {
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
}

void TKvULAPlusScreen::SetPixel(int X, int Y, int AColor) {
  if (TwoColorMode) {
    if (AColor == TwoColorDark)
      AColor = TwoColorInverted ? 1 : 0;
    else if (AColor == TwoColorLight)
      AColor = TwoColorInverted ? 0 : 1;
    else
      RaiseOSError(ERROR_INVALID_PARAMETER);
  }
  TKvZxSpectrumColorScreen::SetPixel(X, Y, AColor);
}

// ---------------------------------------------------------------------------
// Candidates and the cell image

TKvULAPlusPalette64List::TKvULAPlusPalette64List(TKvPalette256& APalette) { Build(APalette, nullptr); }

TKvULAPlusPalette64List::TKvULAPlusPalette64List(TKvPalette256& APalette, const TKvPalette256& AAllowed) {
  Build(APalette, &AAllowed);
}

void TKvULAPlusPalette64List::Build(TKvPalette256& APalette, const TKvPalette256* AAllowed) {
  auto usable = [&](int i) {
    return i < APalette.Count && !APalette.Colors[i].Skip && (!AAllowed || Contains(*AAllowed, APalette.GetStdRGB(i)));
  };
  TKvPalette256 singles;
  for (int i = 0; i < APalette.Count; ++i) {
    if (!usable(i) || Contains(singles, APalette.GetStdRGB(i))) continue;
    singles.AddStdRGB(APalette.GetStdRGB(i));
    Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, i, true, i % 16 < 8 ? 1 : 0));
  }
  for (int k = 0; k < 4; ++k)
    for (int p = 16 * k; p < 16 * k + 8; ++p)
      for (int q = 16 * k + 8; q < 16 * k + 16; ++q)
        if (usable(p) && usable(q)) Add(std::make_unique<TKvCellPalette>(APalette, p, q));
}

namespace {
// A single-colour candidate, or nil for a pair.
const TKvCellPaperIncPalette* AsSingle(const TKvCellPalette* ACellPalette) {
  auto* s = dynamic_cast<const TKvCellPaperIncPalette*>(ACellPalette);
  return s && s->PaperIncFlag ? s : nullptr;
}
}  // namespace

std::unique_ptr<TKvBitmap> TKvULAPlusImage::ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                        TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  return TKvCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvULAPlusImage::ConvertTwoColors(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                             TKvULAPlusScreen* AScreen, TKvPalette256* APalette,
                                                             int ADark, int ALight, bool AInverted) {
  AScreen->TwoColorMode = true;
  AScreen->TwoColorDark = ADark;
  AScreen->TwoColorLight = ALight;
  AScreen->TwoColorInverted = AInverted;
  return ConvertBW(AAbort, AOptions, AScreen, APalette, ADark, ALight);
}

void TKvULAPlusImage::Prepare() { FitToPaletteGray(*FPalette); }

std::unique_ptr<TKvBitmap> TKvULAPlusImage::CreateResult() {
  return std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), FPalette);
}

TKvCellPaletteList* TKvULAPlusImage::CreatePaletteList() {
  const auto type = static_cast<TKvPaletteType>(PaletteType);
  if (FGrayMode && type != ptV11Gray) {
    TKvPalette256 grays;
    BuildUlaPlusGrayPalette(grays, type, GrayParam);
    return new TKvULAPlusPalette64List(*FPalette, grays);
  }
  return new TKvULAPlusPalette64List(*FPalette);
}

void TKvULAPlusImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) {
  if (!ATarget) return;
  const int a = ACellPalette->IndexA, b = ACellPalette->IndexB;
  int attr;
  if (const TKvCellPaperIncPalette* s = AsSingle(ACellPalette)) {
    attr = s->PaperIncValue ? ((a % 8) << 3) | ((a / 16) << 6) : (b % 8) | ((b / 16) << 6);
  } else {
    if (a / 16 != b / 16) RaiseOSError(ERROR_INVALID_PARAMETER);
    attr = (b % 8) | ((a % 8) << 3) | ((a / 16) << 6);
  }
  ATarget->SetAttr(ACellX, ACellY, attr);
}

void TKvULAPlusImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) {
  AResult->SetPixel(X, Y, AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvULAPlusImage::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette,
                                     int AIndex) {
  if (!ATarget) return;
  if (const TKvCellPaperIncPalette* s = AsSingle(ACellPalette)) AIndex = s->PaperIncValue ? 0 : 1;
  ATarget->SetPixel(X, Y, AIndex);
}

void TKvULAPlusImage::ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) {
  if (PaletteMode == pmColor17Of256)
    AProgress->SetProgress(ATotal, ADone);
  else
    AProgress->SetProgress(3 * ATotal, 2 * ATotal + ADone);
}

// ---------------------------------------------------------------------------
// Panel

TKvULAPlusEngineUI::TKvULAPlusEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  for (TKvPaletteType t : {ptV10, ptV11, ptV11Gray}) AddSectionItem(kinds, t);
  AddPaletteModeSection(PaletteModes(pmGray, pmColor17Of256, pmColor64Of256, pmCustom));
  AddDestPalette(16, 16, true);
  AddFixedPaletteSection(17, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvULAPlusEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AColumns = 0;
  BuildUlaPlusPalette(AScratch, static_cast<TKvPaletteType>(GetOptions()->PaletteType));
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engines

namespace {

struct TUlaPlusMode {
  int FileSize;
  int CellHeight;
  std::unique_ptr<TKvULAPlusScreen> (*CreateScreen)(void*);
};

// Steps shared by both ways of choosing the palette: the stream and its
// screen, the 256 colours, and the working picture adjusted once.
struct TUlaPlusConversion {
  TUlaPlusConversion(const TUlaPlusMode& AMode, TKvConvertArgs& AArgs)
      : Mode(AMode), Image(8, AMode.CellHeight, AArgs.Bitmap) {
    const TKvDestEngineOptions& options = AArgs.Options;
    AArgs.Streams = std::make_unique<TKvStreamList>();
    Stream = AArgs.Streams->NewStream("scr", AMode.FileSize);
    Screen = AMode.CreateScreen(Stream->GetMemory());
    Type = static_cast<TKvPaletteType>(options.PaletteType);
    BuildUlaPlusPalette(Full, Type);
    Image.PaletteType = options.PaletteType;
    Image.PaletteMode = options.PaletteMode;
    Image.GrayParam = options.GrayPaletteParam;
  }
  void WritePalette(TKvDestEngineOptions& AOptions) {
    WriteUlaPlusPalette(*AOptions.GetPalette(), Full, Stream->GetMemory(), Mode.FileSize);
  }

  const TUlaPlusMode& Mode;
  TKvStream* Stream = nullptr;
  std::unique_ptr<TKvULAPlusScreen> Screen;
  TKvPaletteType Type = ptV11;
  TKvPalette256 Full;
  TKvULAPlusImage Image;
};

// "Gray", "Color (17 from 256)" and "Custom": at most 17 colours laid out so
// that every two share a CLUT.
std::unique_ptr<TKvBitmap> ConvertFew(TUlaPlusConversion& AConversion, TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  TKvDestProgress& progress = AArgs.Progress;
  TKvULAPlusImage& image = AConversion.Image;
  AdjustOnce(image, options);
  if (AConversion.Type == ptV11Gray || options.PaletteMode == pmGray) image.MakeGray();
  TKvPalette256& result = *options.GetPalette();
  std::unique_ptr<TKvBitmap> preview;
  if (options.PaletteMode != pmGray) {
    TKvDestEngine::QuantizePalette(abort, image, AConversion.Full, 17, options);
    UlaPlusLayout17(result);
    preview = AConversion.Type == ptV11Gray ? image.ConvertGray(abort, options, &progress, AConversion.Screen.get())
                                  : image.Convert(abort, options, &progress, AConversion.Screen.get());
    AConversion.WritePalette(options);
  } else if (AConversion.Type == ptV11Gray) {
    TKvDestEngine::QuantizePalette(abort, image, AConversion.Full, 17, options);
    UlaPlusLayout17(result);
    AConversion.WritePalette(options);
    preview = image.ConvertGray(abort, options, &progress, AConversion.Screen.get());
  } else {
    BuildUlaPlusGrayPalette(result, AConversion.Type, options.GrayPaletteParam);
    int dark = 0, light = 0;
    const bool ok = TKvDestEngine::ReducePalette(abort, image, result, 17, options, dark, light);
    result.Assign(options.GetFixedPalette());
    UlaPlusLayout17(result);
    AConversion.WritePalette(options);
    if (ok) {
      preview = image.ConvertGray(abort, options, &progress, AConversion.Screen.get());
    } else {
      bool inverted = false;
      FindUlaPlusTwoColorAttribute(*AConversion.Screen, image.GetCellHeight(), dark, light, inverted);
      preview = image.ConvertTwoColors(abort, options, AConversion.Screen.get(), &result, dark, light, inverted);
    }
  }
  return preview;
}

// "Color (64 from 256, slow)": 64 colours for the picture, the pairs its
// cells use, and those pairs clustered into four CLUTs.
std::unique_ptr<TKvBitmap> ConvertMany(TUlaPlusConversion& AConversion, TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  TKvDestProgress& progress = AArgs.Progress;
  TKvULAPlusImage& image = AConversion.Image;
  TKvULAPlusQuantizationImage first(8, AConversion.Mode.CellHeight, AArgs.Bitmap);
  AdjustOnce({&image, &first}, options);
  const bool gray = AConversion.Type == ptV11Gray;
  if (gray) {
    image.MakeGray();
    first.MakeGray();
  }
  TKvPalette256& result = *options.GetPalette();
  TKvDestEngine::QuantizePalette(abort, first, AConversion.Full, 64, options);
  // The first pass: only the candidates' pixel counts are needed.
  if (gray)
    first.ConvertGray(abort, options, &progress, nullptr);
  else
    first.Convert(abort, options, &progress, nullptr);
  TKvULAPlusQuantization clusters;
  clusters.Quantize(abort, first.GetColors(), false, result, &AConversion.Full);
  auto preview = gray ? image.ConvertGray(abort, options, &progress, AConversion.Screen.get())
                      : image.Convert(abort, options, &progress, AConversion.Screen.get());
  AConversion.WritePalette(options);
  return preview;
}

}  // namespace

std::unique_ptr<TKvBitmap> ConvertUlaPlus(TKvConvertArgs& AArgs, int AFileSize, int ACellHeight,
                                          std::unique_ptr<TKvULAPlusScreen> (*ACreateScreen)(void*)) {
  const TUlaPlusMode mode{AFileSize, ACellHeight, ACreateScreen};
  TUlaPlusConversion conversion(mode, AArgs);
  if (PaletteModes(pmGray, pmColor17Of256, pmCustom).Has(AArgs.Options.PaletteMode))
    return ConvertFew(conversion, AArgs);
  return ConvertMany(conversion, AArgs);
}

const std::vector<const TKvDestEngineClass*>& ZxSpectrumUlaPlusDestEngineClasses() {
  return DestEngineClasses<TKvULAPlusEngine, TKvULAPlusTimexEngine>();
}

void InitKvSavePlatformZxSpectrumUlaPlus() { RegisterDestEngines(ZxSpectrumUlaPlusDestEngineClasses()); }
