#include "core/KvHAMImage.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <typeinfo>
#include <vector>

#include "core/KvKMeans.h"
#include "core/KvThreadJob.h"

namespace {

inline double SqrDist(double R1, double G1, double B1, double R2, double G2, double B2) {
  const double dr = R1 - R2, dg = G1 - G2, db = B1 - B2;
  return dr * dr + dg * dg + db * db;
}

inline double SqrDist(const TKvHAMColor& A, const TKvHAMColor& B) { return SqrDist(A.R, A.G, A.B, B.R, B.G, B.B); }

inline double SqrDist(const TKvHAMPixel& P, const TKvHAMColor& C) { return SqrDist(P.R, P.G, P.B, C.R, C.G, C.B); }


bool IsBlack(const TKvPalette256& P, int AIndex) {
  const TKvStdRGBColor c = P.GetStdRGB(AIndex);
  return c.R == 0 && c.G == 0 && c.B == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Colours and lines

TKvHAMColor::TKvHAMColor(TKvHAMLine* AOwner) : Owner(AOwner) {
  if (Owner->GetCount() >= Owner->Owner->FColorsPerLine) RaiseInternalError();
  Owner->FColors.push_back(this);
}

void TKvHAMColor::SetColor(const TKvStdRGBColor& AColor) {
  SR = AColor.R;
  SG = AColor.G;
  SB = AColor.B;
  R = StdToLin(AColor.R);
  G = StdToLin(AColor.G);
  B = StdToLin(AColor.B);
}

int TKvHAMColor::GetIndex() const {
  const auto& v = Owner->FColors;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == this) return static_cast<int>(i);
  return -1;
}

TKvHAMLine::TKvHAMLine(TKvHAMPalette* AOwner, TKvImage& AImage, int ARow)
    : TKvHAMLine(AOwner, AImage, ARow, TDetached{}) {
  Owner->FLines.push_back(this);
}

TKvHAMLine::TKvHAMLine(TKvHAMPalette* AOwner, TKvImage& AImage, int ARow, TDetached) : Owner(AOwner) {
  for (int x = 0; x < AImage.GetWidth(); ++x) {
    const TKvStdRGBColor s = AImage.GetPixels(x, ARow)->GetStdRGB();
    bool found = false;
    for (TKvHAMPixel& p : FPixels)
      if (p.SR == s.R && p.SG == s.G && p.SB == s.B) {
        ++p.Count;
        found = true;
        break;
      }
    if (!found) FPixels.push_back({StdToLin(s.R), StdToLin(s.G), StdToLin(s.B), s.R, s.G, s.B, 1});
  }
}

TKvHAMLine::~TKvHAMLine() {
  for (auto it = FColors.rbegin(); it != FColors.rend(); ++it) delete *it;
  auto& lines = Owner->FLines;
  lines.erase(std::remove(lines.begin(), lines.end(), this), lines.end());
}

TKvHAMColor* TKvHAMLine::AddColor(const TKvStdRGBColor& AColor) {
  auto* c = new TKvHAMColor(this);
  c->SetColor(AColor);
  return c;
}

void TKvHAMLine::GetPalette(TKvPalette256& APalette) const {
  APalette.Clear();
  for (const TKvHAMColor* c : FColors) APalette.AddStdRGB(c->GetStdRGB());
}

void TKvHAMLine::GetChanges(const TKvHAMLine& ANext, TKvHAMChange* AChanges) const {
  if (GetCount() != ANext.GetCount()) RaiseInternalError();
  const int c = Owner->FMaxChanges;
  const TKvStdRGBColor first = ANext.GetCount() > 0 ? ANext.GetColor(0)->GetStdRGB() : TKvStdRGBColor{};
  for (int i = 0; i < c; ++i) AChanges[i] = {0, first.R, first.G, first.B, 1};
  int n = 0;
  for (int e = Owner->FFirstChangeable; e < GetCount(); ++e) {
    if (GetColor(e)->Next) continue;
    // More changes than records would run past the buffer.
    if (n >= c) RaiseInternalError();
    const TKvStdRGBColor s = ANext.GetColor(e)->GetStdRGB();
    AChanges[n++] = {e, s.R, s.G, s.B, 0};
  }
}

void TKvHAMUnusedList::SortByLength() {
  bool swapped = true;
  int last = GetCount() - 1;
  while (swapped && last > 0) {
    swapped = false;
    for (int i = 0; i < last; ++i)
      if (FItems[size_t(i)].Length > FItems[size_t(i) + 1].Length) {
        std::swap(FItems[size_t(i)], FItems[size_t(i) + 1]);
        swapped = true;
      }
    --last;
  }
}

// ---------------------------------------------------------------------------
// Planning

TKvHAMPalette::TKvHAMPalette(bool* AAbort, TKvImage& AImage, TKvPalette* AAllowed, int AColorsPerLine,
                             int AMaxChanges, int ALimit, int AUsage)
    : FColorsPerLine(AColorsPerLine),
      FMaxChanges(AMaxChanges),
      FUsage(static_cast<uint8_t>(AUsage)),
      FFirstChangeable(AUsage == 0 || AUsage == 1 ? 1 : 0),
      FAllowed(AAllowed) {
  if (AColorsPerLine < 1 || AMaxChanges < 0) RaiseInternalError();
  if (AUsage < 0 || AUsage > 255) FUsage = 255;
  try {
    if (FAllowed) FAllowed->UpdateCache();
    BuildFirstPalettes(AAbort, AImage);
    const int L = GetLineCount();
    bool settled = false;
    for (FPasses = 0; FPasses < MaxPasses;) {
      if (Aborted(AAbort)) Abort();
      ++FPasses;
      Reset();
      for (int y = L - 2; y >= 0; --y) Link(*FLines[size_t(y)], *FLines[size_t(y) + 1]);
      if (ALimit != 0 && !CountsDiffer()) LimitLines(ALimit);
      for (int y = L - 2; y >= 0; --y) Align(*FLines[size_t(y)], *FLines[size_t(y) + 1]);
      Assign();
      const bool recomputed = Recompute();
      const bool counts = CountsDiffer();
      const bool filled = Fill();
      if (!recomputed && !counts && !filled) {
        settled = true;
        break;
      }
    }
    if (!settled) {
      // Out of passes: link the lines once more for the colours they hold
      // now, so the changes between them stay within C.
      Reset();
      for (int y = L - 2; y >= 0; --y) Link(*FLines[size_t(y)], *FLines[size_t(y) + 1]);
      if (CountsDiffer()) RaiseInternalError();
      if (ALimit != 0) LimitLines(ALimit);
      for (int y = L - 2; y >= 0; --y) Align(*FLines[size_t(y)], *FLines[size_t(y) + 1]);
    }
    FChanges.assign(static_cast<size_t>(FMaxChanges), TKvHAMChange{0, 0, 0, 0, 1});
  } catch (...) {
    while (!FLines.empty()) delete FLines.back();
    throw;
  }
}

TKvHAMPalette::~TKvHAMPalette() {
  while (!FLines.empty()) delete FLines.back();
}

namespace {

// The loop of the first palettes, for its measured work.
struct TKvHAMFirstPalettes {};

}  // namespace

void TKvHAMPalette::BuildFirstPalettes(bool* AAbort, TKvImage& AImage) {
  const int K = FColorsPerLine;
  const int H = std::max(AImage.GetHeight(), 0);
  // A row's line and first palette depend on that row alone: the rows are
  // planned on all processors, each taking the next row left (some rows
  // cost many times others), and their lines joined in order afterwards.
  std::vector<std::unique_ptr<TKvHAMLine>> lines(static_cast<size_t>(H));
  std::atomic<int> next{0};
  // What went wrong on the lowest row, as a walk down the rows meets it.
  std::mutex failLock;
  int failRow = H;
  std::exception_ptr failure;
  const std::type_info& loop = typeid(TKvHAMFirstPalettes);
  KvRunShares(KvShareCount(H, loop), H, loop, AAbort, [&](int32_t, int32_t) {
    std::unique_ptr<TKvImage> row;
    TKvQuantization quant;
    TKvPalette256 P;
    TKvPalette256 black;
    black.AddRGB(0, 0, 0);
    for (int y = next++; y < H; y = next++) {
      try {
        if (Aborted(AAbort)) Abort();
        try {
          P.Clear();
          for (int x = 0; x < AImage.GetWidth(); ++x) P.AddUniqueStdRGB(AImage.GetPixels(x, y)->GetStdRGB());
          P.SortByGray(0);
          if ((FUsage == 0 || FUsage == 1) && !(P.Count > 0 && IsBlack(P, 0))) P.InsertColor(0, 0, 0, 0);
          if (P.Count > K) P.Clear();
        } catch (const EAbort&) {
          throw;
        } catch (const Exception&) {
          P.Clear();
        }
        if (P.Count == 0) {
          if (!row) row = std::make_unique<TKvImage>(AImage.GetWidth(), 1);
          row->CopyRows(AImage, y);
          switch (FUsage) {
            case 0:
              quant.Quantize(AAbort, *row, K - 1, false, 0, P, nullptr, FAllowed);
              if (!(P.Count > 0 && IsBlack(P, 0))) P.InsertColor(0, 0, 0, 0);
              break;
            case 1:
              quant.Quantize(AAbort, *row, K, false, 0, P, &black, FAllowed);
              break;
            case 2:
              quant.Quantize(AAbort, *row, K, false, 0, P, nullptr, FAllowed);
              break;
            default:
              RaiseInternalError();
          }
        }
        if (P.Count > K) RaiseInternalError();
        std::unique_ptr<TKvHAMLine> line(new TKvHAMLine(this, AImage, y, TKvHAMLine::TDetached{}));
        for (int i = 0; i < P.Count; ++i) line->AddColor(P.GetStdRGB(i));
        lines[static_cast<size_t>(y)] = std::move(line);
      } catch (...) {
        std::lock_guard<std::mutex> g(failLock);
        if (y < failRow) {
          failRow = y;
          failure = std::current_exception();
        }
        return;
      }
    }
  });
  if (failure) std::rethrow_exception(failure);
  FLines.reserve(FLines.size() + lines.size());
  for (std::unique_ptr<TKvHAMLine>& line : lines) FLines.push_back(line.release());
}

void TKvHAMPalette::Reset() {
  for (TKvHAMLine* l : FLines) {
    l->Frozen = false;
    for (TKvHAMColor* c : l->FColors) {
      c->SumR = c->SumG = c->SumB = 0;
      c->SumCount = 0;
      c->Prev = c->Next = c->CandidatePrev = c->CandidateNext = nullptr;
    }
  }
}

void TKvHAMPalette::Link(TKvHAMLine& AUpper, TKvHAMLine& ALower) {
  const int F = FFirstChangeable;
  const int E = std::min(AUpper.GetCount(), ALower.GetCount());
  const int keep = FColorsPerLine - FMaxChanges - F;
  for (int round = 0; round < keep; ++round) {
    TKvHAMColor* bi = nullptr;
    TKvHAMColor* bj = nullptr;
    double bd = 0;
    for (int i = F; i < E; ++i) {
      TKvHAMColor* ci = AUpper.GetColor(i);
      if (ci->Next) continue;
      for (int j = F; j < E; ++j) {
        TKvHAMColor* cj = ALower.GetColor(j);
        if (cj->Prev) continue;
        const double d = SqrDist(*ci, *cj);
        if (!bi || d < bd) {
          bi = ci;
          bj = cj;
          bd = d;
        }
      }
    }
    if (!bi) break;
    bi->Next = bi->CandidateNext = bj;
    bj->Prev = bj->CandidatePrev = bi;
  }
  auto firstFree = [F](TKvHAMLine& ALine, bool ANoNext) -> TKvHAMColor* {
    for (int i = F; i < ALine.GetCount(); ++i) {
      TKvHAMColor* c = ALine.GetColor(i);
      if (ANoNext ? !c->Next : !c->Prev) return c;
    }
    return nullptr;
  };
  while (AUpper.GetCount() > ALower.GetCount()) {
    TKvHAMColor* c = firstFree(AUpper, true);
    if (!c) RaiseInternalError();
    TKvHAMColor* d = ALower.AddColor(c->GetStdRGB());
    c->Next = c->CandidateNext = d;
    d->Prev = d->CandidatePrev = c;
  }
  while (ALower.GetCount() > AUpper.GetCount()) {
    TKvHAMColor* c = firstFree(ALower, false);
    if (!c) RaiseInternalError();
    TKvHAMColor* u = AUpper.AddColor(c->GetStdRGB());
    u->Next = u->CandidateNext = c;
    c->Prev = c->CandidatePrev = u;
  }
}

void TKvHAMPalette::LimitLines(int ALimit) {
  const int L = GetLineCount();
  const int F = FFirstChangeable;
  for (int y = L - 2; y >= 0; --y) {
    TKvHAMLine& up = *FLines[size_t(y)];
    TKvHAMLine& lo = *FLines[size_t(y) + 1];
    if (up.GetCount() != lo.GetCount()) RaiseInternalError();
    for (;;) {
      TKvHAMColor* bi = nullptr;
      TKvHAMColor* bj = nullptr;
      double bd = 0;
      for (int i = F; i < up.GetCount(); ++i) {
        TKvHAMColor* ci = up.GetColor(i);
        if (ci->CandidateNext) continue;
        for (int j = F; j < lo.GetCount(); ++j) {
          TKvHAMColor* cj = lo.GetColor(j);
          if (cj->CandidatePrev) continue;
          const double d = SqrDist(*ci, *cj);
          if (!bi || d < bd) {
            bi = ci;
            bj = cj;
            bd = d;
          }
        }
      }
      if (!bi) break;
      bi->CandidateNext = bj;
      bj->CandidatePrev = bi;
    }
    double cost = 0;
    for (int i = F; i < up.GetCount(); ++i) {
      const TKvHAMColor* c = up.GetColor(i);
      if (c->CandidateNext) cost += SqrDist(*c, *c->CandidateNext);
    }
    up.Cost = cost;
  }
  for (int round = 0; round < L - ALimit; ++round) {
    TKvHAMLine* best = nullptr;
    for (int y = L - 2; y >= 0; --y) {
      TKvHAMLine* l = FLines[size_t(y)];
      if (l->Frozen) continue;
      if (!best || l->Cost < best->Cost) best = l;
    }
    if (!best) RaiseInternalError();
    for (int i = F; i < best->GetCount(); ++i) {
      TKvHAMColor* c = best->GetColor(i);
      if (c->Next) continue;
      TKvHAMColor* n = c->CandidateNext;
      if (!n || n->Prev || n->CandidatePrev != c) RaiseInternalError();
      c->Next = n;
      n->Prev = c;
    }
    best->Frozen = true;
  }
}

void TKvHAMPalette::Align(TKvHAMLine& AUpper, TKvHAMLine& ALower) {
  auto& v = AUpper.FColors;
  const int n = std::min(AUpper.GetCount(), ALower.GetCount());
  for (int e = FFirstChangeable; e < n && e < FColorsPerLine; ++e) {
    TKvHAMColor* want = ALower.GetColor(e)->Prev;
    int from = -1;
    if (want) {
      for (int i = e; i < AUpper.GetCount(); ++i)
        if (v[size_t(i)] == want) {
          from = i;
          break;
        }
    } else {
      for (int i = e; i < AUpper.GetCount(); ++i)
        if (!v[size_t(i)]->Next) {
          from = i;
          break;
        }
    }
    if (from < 0) RaiseInternalError();
    if (from != e) std::rotate(v.begin() + e, v.begin() + from, v.begin() + from + 1);
  }
}

void TKvHAMPalette::Assign() {
  for (TKvHAMLine* l : FLines) {
    if (l->GetCount() == 0) continue;
    for (const TKvHAMPixel& p : l->FPixels) {
      TKvHAMColor* best = nullptr;
      double bd = 0;
      for (TKvHAMColor* c : l->FColors) {
        const double d = SqrDist(p, *c);
        if (!best || d < bd) {
          best = c;
          bd = d;
        }
      }
      best->SumR += p.R * p.Count;
      best->SumG += p.G * p.Count;
      best->SumB += p.B * p.Count;
      best->SumCount += p.Count;
    }
  }
}

bool TKvHAMPalette::Recompute() {
  bool changed = false;
  TKvColor mean;
  for (TKvHAMLine* l : FLines)
    for (int i = FFirstChangeable; i < l->GetCount(); ++i) {
      TKvHAMColor* first = l->GetColor(i);
      if (first->Prev) continue;
      for (TKvHAMColor* c = first->Next; c; c = c->Next) {
        first->SumR += c->SumR;
        first->SumG += c->SumG;
        first->SumB += c->SumB;
        first->SumCount += c->SumCount;
      }
      if (first->SumCount <= 0) continue;
      const double n = first->SumCount;
      mean.Clear();
      mean.InitLinRGB({first->SumR / n, first->SumG / n, first->SumB / n});
      TKvStdRGBColor target;
      if (FAllowed) {
        const int k = FAllowed->FindNearestByMetric(0, mean);
        if (k < 0) RaiseInternalError();
        target = FAllowed->GetStdRGB(k);
      } else {
        target = mean.GetStdRGB();
      }
      for (TKvHAMColor* c = first; c; c = c->Next)
        if (!(c->GetStdRGB() == target)) {
          c->SetColor(target);
          changed = true;
        }
    }
  return changed;
}

bool TKvHAMPalette::CountsDiffer() const {
  for (size_t y = 1; y < FLines.size(); ++y)
    if (FLines[y]->GetCount() != FLines[y - 1]->GetCount()) return true;
  return false;
}

int TKvHAMPalette::WorstPixel(const TKvHAMLine& ALine, double& AValue) const {
  AValue = 0;
  int worst = -1;
  for (int p = 0; p < ALine.GetPixelCount(); ++p) {
    const TKvHAMPixel& px = ALine.GetPixel(p);
    double nd = std::numeric_limits<double>::infinity();
    for (const TKvHAMColor* c : ALine.FColors) nd = std::min(nd, SqrDist(px, *c));
    if (ALine.FColors.empty()) nd = 0;
    const double v = px.Count * nd;
    if (worst < 0 || v > AValue) {
      worst = p;
      AValue = v;
    }
  }
  return worst;
}

bool TKvHAMPalette::Fill() {
  bool changed = false;
  FUnused.Clear();
  for (int y = 0; y < GetLineCount(); ++y) {
    TKvHAMLine* l = FLines[size_t(y)];
    for (int i = FFirstChangeable; i < l->GetCount(); ++i) {
      TKvHAMColor* first = l->GetColor(i);
      if (first->Prev) continue;
      bool empty = true;
      int length = 0;
      for (TKvHAMColor* c = first; c; c = c->Next) {
        ++length;
        if (c->SumCount != 0) empty = false;
      }
      if (empty) FUnused.Add({y, first, length});
    }
  }
  FUnused.SortByLength();
  for (int u = 0; u < FUnused.GetCount(); ++u) {
    const TKvHAMUnused& chain = *FUnused.GetItem(u);
    double bestValue = 0;
    const TKvHAMPixel* bestPixel = nullptr;
    for (TKvHAMColor* c = chain.First; c; c = c->Next) {
      double v;
      const int p = WorstPixel(*c->Owner, v);
      if (p < 0) continue;
      if (!bestPixel || v > bestValue) {
        bestValue = v;
        bestPixel = &c->Owner->GetPixel(p);
      }
    }
    if (bestPixel && bestValue > 0) {
      const TKvStdRGBColor s{bestPixel->SR, bestPixel->SG, bestPixel->SB};
      for (TKvHAMColor* c = chain.First; c; c = c->Next) c->SetColor(s);
      changed = true;
    }
  }
  for (TKvHAMLine* l : FLines) {
    while (l->GetCount() < FColorsPerLine) {
      double v;
      const int p = WorstPixel(*l, v);
      if (p < 0) break;
      const TKvHAMPixel& px = l->GetPixel(p);
      l->AddColor({px.SR, px.SG, px.SB});
      changed = true;
    }
  }
  return changed;
}

// ---------------------------------------------------------------------------
// Conversion

TKvHAMImage::~TKvHAMImage() = default;

void TKvHAMImage::StoreInitialPalette(TKvPalette*, TKvPalette256&) {}

void TKvHAMImage::StorePaletteChange(TKvPalette*, int, const TKvStdRGBColor&, int) {}

std::unique_ptr<TKvBitmap> TKvHAMImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvScreen4* ATarget,
                                                TKvHAMPalette& APlan, TKvPalette256* ADisplayPalette) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  FErrorTotal = 0;
  const bool gray = AOptions.UseAsGrayPalette;
  if (gray) MakeGray();
  const uint8_t method = AOptions.DitherMethod;
  const uint8_t metric = AOptions.ColorDiffMethod;
  const bool serpentine = AOptions.Serpentine;
  const double strength = AOptions.ErrorDiffusion / 100.0;
  if (APlan.GetLineCount() != FHeight) RaiseInternalError();
  std::unique_ptr<TKvBitmap> result;
  try {
    if (ADisplayPalette)
      result = CreateIndexedBitmap(FWidth, FHeight, ADisplayPalette, false);
    else
      result = std::make_unique<TKvBitmap24>(FWidth, FHeight);
    FUsedPalette = std::make_unique<TKvPalette256>();
    FMirror = false;
    TKvPalette256 LP;
    const int C = APlan.GetMaxChanges();
    for (int y = 0; y < FHeight; ++y) {
      result->MirrorX = FMirror;
      if (ATarget) ATarget->MirrorX = FMirror;
      APlan.GetLine(y)->GetPalette(LP);
      if (y == 0) {
        StoreInitialPalette(ADisplayPalette, LP);
      } else {
        TKvHAMChange* changes = APlan.GetChangeBuffer();
        APlan.GetLine(y - 1)->GetChanges(*APlan.GetLine(y), changes);
        for (int i = 0; i < C; ++i)
          StorePaletteChange(ADisplayPalette, changes[i].Index, {changes[i].R, changes[i].G, changes[i].B}, y);
      }
      if (LP.Count == 0 && FWidth > 0) RaiseInternalError();
      for (int x = 0; x < FWidth; ++x) {
        if (Aborted(AAbort)) Abort();
        PKvPixel px = GetPixels(x, y);
        const int i = gray ? LP.FindNearestByGray(*px) : LP.FindNearestByMetric(metric, *px);
        if (ATarget) ATarget->SetPixel(x, y, i);
        const TKvStdRGBColor s = LP.GetStdRGB(i);
        if (FUsedPalette) {
          try {
            FUsedPalette->AddUniqueStdRGB(s);
          } catch (const ETooManyColors&) {
            FUsedPalette.reset();
          }
        }
        TKvLinRGBColor chosen;
        double chosenGray;
        if (ADisplayPalette) {
          const int d = ADisplayPalette->LocateStdRGB(s);
          result->SetPixel(x, y, d);
          chosen = ADisplayPalette->GetLinRGB(d);
          chosenGray = ADisplayPalette->GetLinGray(d);
        } else {
          result->SetPixel(x, y, static_cast<int>(LP.GetRGBQuad(i)));
          chosen = LP.GetLinRGB(i);
          chosenGray = LP.GetLinGray(i);
        }
        const TKvLinRGBColor old = px->GetLinRGB();
        AddError(old, chosen);
        px->SetLinRGB(chosen);
        const TKvLinRGBColor c = gray ? TKvLinRGBColor{chosenGray, chosenGray, chosenGray} : chosen;
        DiffuseError(x, y, method,
                     {(old.R - c.R) * strength, (old.G - c.G) * strength, (old.B - c.B) * strength});
      }
      if (serpentine) FMirror = !FMirror;
    }
    if (FUsedPalette) FUsedPalette->SortByGray(0);
    result->MirrorX = false;
    if (ATarget) ATarget->MirrorX = false;
  } catch (...) {
    result.reset();
    FUsedPalette.reset();
    if (ATarget) ATarget->MirrorX = false;
    throw;
  }
  return result;
}
