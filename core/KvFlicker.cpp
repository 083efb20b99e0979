#include "core/KvFlicker.h"

#include <cmath>
#include <utility>

namespace {

// The side of a mixture palette; "Internal error" unless its count is a
// perfect square.
int MixSide(const TKvPalette256& AMixPalette) {
  const int n = static_cast<int>(Round(std::sqrt(static_cast<double>(AMixPalette.Count))));
  if (n * n != AMixPalette.Count || n == 0) RaiseInternalError();
  return n;
}

// Black, 50 % gray and white in linear light.
void FillSearchPalette(TKvPalette256& APalette) {
  APalette.Clear();
  APalette.AddLinRGB(LinRGBBlack);
  APalette.AddLinRGB({0.5, 0.5, 0.5});
  APalette.AddLinRGB(LinRGBWhite);
}

// The base palette: the diagonal entries of a mixture palette.
void FillBasePalette(TKvPalette256& ABase, const TKvPalette256& AMixPalette, int N) {
  ABase.Clear();
  for (int i = 0; i < N; ++i) ABase.AddStdRGB(AMixPalette.GetStdRGB(i * N + i));
}

struct TFlickerScan {
  uint8_t Method;
  bool Serpentine;
  double Strength;
  explicit TFlickerScan(TKvDestEngineOptions& AOptions)
      : Method(AOptions.DitherMethod),
        Serpentine(AOptions.Serpentine),
        Strength(AOptions.ErrorDiffusion / 100.0) {}
};

}  // namespace

// ---------------------------------------------------------------------------
// TKvFlickMap

TKvFlickMap::TKvFlickMap(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {
  if (AWidth < 0 || AHeight < 0) RaiseInternalError();
  FState.assign(static_cast<size_t>(AWidth) * static_cast<size_t>(AHeight) * 2, 0.0);
  // The pixels within distance 20 that a scan from the left has visited: the
  // rows above, and the same row to the left.
  for (int dy = -20; dy <= -1; ++dy)
    for (int dx = 20; dx >= -20; --dx)
      if (dx * dx + dy * dy <= 400) FTable[FCount++] = {dx, dy, dx * dx + dy * dy};
  for (int dx = -1; dx >= -20; --dx) FTable[FCount++] = {dx, 0, dx * dx};
  // Bubble sort by distance; equal distances keep their order.
  int last = FCount - 1;
  bool swapped = true;
  while (swapped && last > 0) {
    swapped = false;
    for (int j = 0; j < last; ++j)
      if (FTable[j].D2 > FTable[j + 1].D2) {
        std::swap(FTable[j], FTable[j + 1]);
        swapped = true;
      }
    --last;
  }
}

double* TKvFlickMap::GetState(int X, int Y) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return nullptr;
  const int x = FMirror ? FWidth - 1 - X : X;
  return &FState[(static_cast<size_t>(Y) * static_cast<size_t>(FWidth) + static_cast<size_t>(x)) * 2];
}

void TKvFlickMap::SetState(int X, int Y, double AFrame0, double AFrame1) {
  double* s = GetState(X, Y);
  if (!s) return;
  s[0] = AFrame0;
  s[1] = AFrame1;
}

bool TKvFlickMap::DefaultPhase(int X, int Y) const {
  const int x = FMirror ? FWidth - 1 - X : X;
  return ((x ^ Y) & 1) == 0;
}

bool TKvFlickMap::Decide(int X, int Y) {
  double s0 = 0, s1 = 0;
  auto add = [&](int AX, int AY) {
    if (const double* s = GetState(AX, AY)) {
      s0 += s[0];
      s1 += s[1];
    }
  };
  add(X - 1, Y);
  add(X - 1, Y - 1);
  add(X, Y - 1);
  if (s0 > s1) return false;
  if (s0 < s1) return true;
  for (int e = 0; e < FCount; ++e) {
    const double* s = GetState(X + FTable[e].DX, Y + FTable[e].DY);
    if (!s || s[0] == s[1]) continue;
    // The whole ring of this distance decides.
    const int d2 = FTable[e].D2;
    int first = e;
    while (first > 0 && FTable[first - 1].D2 == d2) --first;
    s0 = s1 = 0;
    for (int r = first; r < FCount && FTable[r].D2 == d2; ++r) add(X + FTable[r].DX, Y + FTable[r].DY);
    if (s0 > s1) return false;
    if (s0 < s1) return true;
    break;
  }
  return DefaultPhase(X, Y);
}

// ---------------------------------------------------------------------------
// Conversions

std::unique_ptr<TKvBitmap> ConvertBWFlicker(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                            TKvData* ATarget) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TFlickerScan s(AOptions);
  AImage.MakeGray();
  const int W = AImage.GetWidth(), H = AImage.GetHeight();
  TKvPalette256 search;
  FillSearchPalette(search);
  TKvPalette256 bw;
  bw.AddLinRGB(LinRGBBlack);
  bw.AddLinRGB(LinRGBWhite);
  std::unique_ptr<TKvBitmap> result = TKvImage::CreateIndexedBitmap(W, H, &search, false);
  TKvBitmap* f0 = result->AddFrame(&bw);
  TKvBitmap* f1 = result->AddFrame(&bw);
  TKvFlickMap map(W, H);
  AImage.SetMirror(false);
  for (int y = 0; y < H; ++y) {
    const bool mirror = AImage.GetMirror();
    result->MirrorX = mirror;
    if (ATarget) ATarget->MirrorX = mirror;
    map.SetMirror(mirror);
    for (int x = 0; x < W; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = AImage.GetPixels(x, y);
      const int i = search.FindNearestByGray(*px);
      result->SetPixel(x, y, i);
      int a = 0, b = 0;
      if (i == 2) {
        a = b = 1;
      } else if (i == 1) {
        if (map.Decide(x, y))
          a = 1;
        else
          b = 1;
      }
      map.SetState(x, y, a, b);
      if (ATarget) ATarget->SetPixel(x, y, a * 2 + b);
      const int tx = mirror ? W - 1 - x : x;
      f0->SetPixel(tx, y, a);
      f1->SetPixel(tx, y, b);
      const TKvLinRGBColor old = px->GetLinRGB();
      const double g = search.GetLinGray(i);
      px->SetLinRGB(search.GetLinRGB(i));
      AImage.DiffuseError(x, y, s.Method,
                          {(old.R - g) * s.Strength, (old.G - g) * s.Strength, (old.B - g) * s.Strength});
    }
    if (s.Serpentine) AImage.SetMirror(!AImage.GetMirror());
  }
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> ConvertFlicker2(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                           TKvData* ATarget, TKvPalette256& AMixPalette, int AColorA,
                                           int AColorB) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TFlickerScan s(AOptions);
  AImage.MakeGray();
  const int n = MixSide(AMixPalette);
  if (AColorA < 0 || AColorA >= n || AColorB < 0 || AColorB >= n) RaiseInternalError();
  const int W = AImage.GetWidth(), H = AImage.GetHeight();
  TKvPalette256 base;
  FillBasePalette(base, AMixPalette, n);
  TKvPalette256 search;
  FillSearchPalette(search);
  std::unique_ptr<TKvBitmap> result = TKvImage::CreateIndexedBitmap(W, H, &AMixPalette, false);
  TKvBitmap* f0 = result->AddFrame(&base);
  TKvBitmap* f1 = result->AddFrame(&base);
  TKvFlickMap map(W, H);
  AImage.SetMirror(false);
  for (int y = 0; y < H; ++y) {
    const bool mirror = AImage.GetMirror();
    result->MirrorX = mirror;
    if (ATarget) ATarget->MirrorX = mirror;
    map.SetMirror(mirror);
    for (int x = 0; x < W; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = AImage.GetPixels(x, y);
      const int i = search.FindNearestByGray(*px);
      int p = AColorA, q = AColorA;
      if (i == 2) {
        p = q = AColorB;
      } else if (i == 1) {
        if (map.Decide(x, y))
          p = AColorB;
        else
          q = AColorB;
      }
      result->SetPixel(x, y, p * n + q);
      if (ATarget) ATarget->SetPixel(x, y, p * n + q);
      const int tx = mirror ? W - 1 - x : x;
      f0->SetPixel(tx, y, p);
      f1->SetPixel(tx, y, q);
      map.SetState(x, y, p == AColorB ? 1.0 : 0.0, q == AColorB ? 1.0 : 0.0);
      const TKvLinRGBColor old = px->GetLinRGB();
      const double g = search.GetLinGray(i);
      px->SetLinRGB(search.GetLinRGB(i));
      AImage.DiffuseError(x, y, s.Method,
                          {(old.R - g) * s.Strength, (old.G - g) * s.Strength, (old.B - g) * s.Strength});
    }
    if (s.Serpentine) AImage.SetMirror(!AImage.GetMirror());
  }
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> ConvertFlicker(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                          TKvData* ATarget, TKvPalette256& AMixPalette,
                                          TKvPalette256* ADisplayPalette) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TFlickerScan s(AOptions);
  const bool useGray = AOptions.UseAsGrayPalette;
  const uint8_t metric = AOptions.ColorDiffMethod;
  TKvPalette256& P = AMixPalette;
  const int n = MixSide(P);
  if (useGray) AImage.MakeGray();

  // Each mixture maps to the mixture of the same colour whose two base
  // colours differ least in gray (itself unless one is strictly smaller,
  // the first on ties). The amplitude is read from the two base colours,
  // the diagonal entries.
  const int count = P.Count;
  std::vector<double> amp(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int a = i / n, b = i % n;
    amp[size_t(i)] = std::fabs(P.GetLinGray(a * n + a) - P.GetLinGray(b * n + b));
  }
  std::vector<int> remap(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    remap[size_t(i)] = i;
    double best = amp[size_t(i)];
    const TKvStdRGBColor ci = P.GetStdRGB(i);
    for (int j = 0; j < count; ++j) {
      if (j == i || !(P.GetStdRGB(j) == ci)) continue;
      if (amp[size_t(j)] < best) {
        remap[size_t(i)] = j;
        best = amp[size_t(j)];
      }
    }
  }

  const int W = AImage.GetWidth(), H = AImage.GetHeight();
  TKvPalette256 base;
  FillBasePalette(base, P, n);
  std::unique_ptr<TKvBitmap> result = TKvImage::CreateIndexedBitmap(W, H, &P, false);
  TKvPalette* framePalette = ADisplayPalette ? static_cast<TKvPalette*>(ADisplayPalette) : &base;
  TKvBitmap* f0 = result->AddFrame(framePalette);
  TKvBitmap* f1 = result->AddFrame(framePalette);
  // Base colours as display indexes.
  std::vector<int> display(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    display[size_t(i)] = ADisplayPalette ? ADisplayPalette->LocateStdRGB(P.GetStdRGB(i * n + i)) : i;
  const int displaySide = ADisplayPalette ? ADisplayPalette->Count : n;
  P.UpdateCache();
  TKvFlickMap map(W, H);
  AImage.SetMirror(false);
  for (int y = 0; y < H; ++y) {
    const bool mirror = AImage.GetMirror();
    result->MirrorX = mirror;
    if (ATarget) ATarget->MirrorX = mirror;
    map.SetMirror(mirror);
    for (int x = 0; x < W; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = AImage.GetPixels(x, y);
      int k = useGray ? P.FindNearestByGray(*px) : P.FindNearestByMetric(metric, *px);
      if (k < 0 || k >= count) RaiseInternalError();
      k = remap[size_t(k)];
      result->SetPixel(x, y, k);
      int a = k / n, b = k % n;
      const double ga = P.GetLinGray(a * n + a), gb = P.GetLinGray(b * n + b);
      if (ga != gb) {
        const bool lighterFirst = map.Decide(x, y);
        if ((lighterFirst && gb > ga) || (!lighterFirst && ga > gb)) {
          k = b * n + a;
          std::swap(a, b);
        }
      }
      map.SetState(x, y, P.GetLinGray(a * n + a), P.GetLinGray(b * n + b));
      const TKvLinRGBColor old = px->GetLinRGB();
      const TKvLinRGBColor c = P.GetLinRGB(k);
      px->SetLinRGB(c);
      TKvLinRGBColor e;
      if (useGray) {
        const double g = P.GetLinGray(k);
        e = {(old.R - g) * s.Strength, (old.G - g) * s.Strength, (old.B - g) * s.Strength};
      } else {
        e = {(old.R - c.R) * s.Strength, (old.G - c.G) * s.Strength, (old.B - c.B) * s.Strength};
      }
      const int da = display[size_t(a)], db = display[size_t(b)];
      if (ATarget) ATarget->SetPixel(x, y, da * displaySide + db);
      const int tx = mirror ? W - 1 - x : x;
      f0->SetPixel(tx, y, da);
      f1->SetPixel(tx, y, db);
      AImage.DiffuseError(x, y, s.Method, e);
    }
    if (s.Serpentine) AImage.SetMirror(!AImage.GetMirror());
  }
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}
