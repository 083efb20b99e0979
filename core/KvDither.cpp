// The scan conversions of TKvImage: every pixel in scan order becomes its
// nearest palette colour and the error goes on to the neighbours still to come.
#include "core/KvDither.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/KvDestProgress.h"
#include "core/KvImage.h"
#include "rtl/KvSysUtils.h"

namespace {

const TKvDitherKernel Kernels[8] = {
    // 1 Floyd-Steinberg
    {16, 4, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
    // 2 Jarvis, Judice and Ninke
    {48,
     12,
     {{1, 0, 7},
      {2, 0, 5},
      {-2, 1, 3},
      {-1, 1, 5},
      {0, 1, 7},
      {1, 1, 5},
      {2, 1, 3},
      {-2, 2, 1},
      {-1, 2, 3},
      {0, 2, 5},
      {1, 2, 3},
      {2, 2, 1}}},
    // 3 Burkes
    {32, 7, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
    // 4 Sierra (three rows)
    {32,
     10,
     {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
    // 5 Two-row Sierra
    {16, 7, {{1, 0, 4}, {2, 0, 3}, {-2, 1, 1}, {-1, 1, 2}, {0, 1, 3}, {1, 1, 2}, {2, 1, 1}}},
    // 6 Sierra Lite
    {4, 3, {{1, 0, 2}, {-1, 1, 1}, {0, 1, 1}}},
    // 7 Stucki
    {42,
     12,
     {{1, 0, 8},
      {2, 0, 4},
      {-2, 1, 2},
      {-1, 1, 4},
      {0, 1, 8},
      {1, 1, 4},
      {2, 1, 2},
      {-2, 2, 1},
      {-1, 2, 2},
      {0, 2, 4},
      {1, 2, 2},
      {2, 2, 1}}},
    // 8 Atkinson: six eighths of the error, the rest is dropped on purpose
    {8, 6, {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}},
};


inline TKvLinRGBColor ScaledError(const TKvLinRGBColor& AOld, const TKvLinRGBColor& ANew, double AStrength) {
  return TKvLinRGBColor{(AOld.R - ANew.R) * AStrength, (AOld.G - ANew.G) * AStrength, (AOld.B - ANew.B) * AStrength};
}

// The settings every scan reads once per call.
struct TScanSettings {
  uint8_t Method;
  uint8_t Metric;
  bool Serpentine;
  bool Gray;
  double Strength;
  explicit TScanSettings(TKvDestEngineOptions& AOptions)
      : Method(AOptions.DitherMethod),
        Metric(AOptions.ColorDiffMethod),
        Serpentine(AOptions.Serpentine),
        Gray(AOptions.UseAsGrayPalette),
        Strength(AOptions.ErrorDiffusion / 100.0) {}
};

}  // namespace

TKvNearestLinRGB::TKvNearestLinRGB(const TKvPalette256& APalette) : FPalette(APalette) {
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvLinRGBColor& v = APalette.Colors[i].GetLinRGB();
    if (!std::isfinite(v.R) || !std::isfinite(v.G) || !std::isfinite(v.B)) FFinite = false;
    FEntries.push_back({v.R, v.G, v.B, i});
  }
  std::sort(FEntries.begin(), FEntries.end(),
            [](const TEntry& a, const TEntry& b) { return a.R < b.R || (a.R == b.R && a.Index < b.Index); });
}

int TKvNearestLinRGB::Find(const TKvLinRGBColor& AColor) {
  const int n = static_cast<int>(FEntries.size());
  if (n == 0 || !FFinite || !std::isfinite(AColor.R) || !std::isfinite(AColor.G) || !std::isfinite(AColor.B))
    return FPalette.FindNearest(AColor);
  const TEntry* e = FEntries.data();
  // The terms in the order of the plain search; the first alone is a lower
  // bound of the sum, as rounding is monotone.
  int best = FLast;
  double bestD;
  {
    const double dr = e[best].R - AColor.R, dg = e[best].G - AColor.G, db = e[best].B - AColor.B;
    bestD = dr * dr + dg * dg + db * db;
  }
  auto visit = [&](int k, double ARed) {
    const double dg = e[k].G - AColor.G, db = e[k].B - AColor.B;
    const double d = ARed + dg * dg + db * db;
    if (d < bestD || (d == bestD && e[k].Index < e[best].Index)) {
      bestD = d;
      best = k;
    }
  };
  const int start = static_cast<int>(
      std::lower_bound(e, e + n, AColor.R, [](const TEntry& a, double r) { return a.R < r; }) - e);
  for (int k = start; k < n; ++k) {
    const double dr = e[k].R - AColor.R;
    if (dr * dr > bestD) break;
    visit(k, dr * dr);
  }
  for (int k = start - 1; k >= 0; --k) {
    const double dr = e[k].R - AColor.R;
    if (dr * dr > bestD) break;
    visit(k, dr * dr);
  }
  FLast = best;
  return e[best].Index;
}

const TKvDitherKernel* GetDitherKernel(uint8_t AMethod) {
  if (AMethod >= 1 && AMethod <= 8) return &Kernels[AMethod - 1];
  return nullptr;
}

void TKvImage::DiffuseError(int X, int Y, uint8_t AMethod, const TKvLinRGBColor& AError) {
  ForEachDitherTap(AMethod, X, Y, FWidth, FHeight, [&](int nx, int ny, auto share) {
    PKvPixel p = GetPixels(nx, ny);
    TKvLinRGBColor v = p->GetLinRGB();
    v.R += share(AError.R);
    v.G += share(AError.G);
    v.B += share(AError.B);
    p->SetLinRGB(v);
  });
}

void TKvImage::DiffuseGrayError(int X, int Y, uint8_t AMethod, double AError) {
  ForEachDitherTap(AMethod, X, Y, FWidth, FHeight, [&](int nx, int ny, auto share) {
    PKvPixel p = GetPixels(nx, ny);
    p->SetLinGray(p->GetLinGray() + share(AError));
  });
}

std::unique_ptr<TKvBitmap> TKvImage::ConvertIndexed(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                                    TKvPalette& APalette, TKvPalette256* ADisplayPalette) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TScanSettings s(AOptions);
  if (s.Gray) MakeGray();
  FErrorTotal = 0;
  TKvPalette& p = ADisplayPalette ? static_cast<TKvPalette&>(*ADisplayPalette) : APalette;
  std::unique_ptr<TKvBitmap> result = CreateIndexedBitmap(FWidth, FHeight, &p, false);
  FMirror = false;
  TKvRoutineProgress progress(FHeight);
  for (int y = 0; y < FHeight; ++y) {
    result->MirrorX = FMirror;
    if (ATarget) ATarget->MirrorX = FMirror;
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = GetPixels(x, y);
      int i = s.Gray ? APalette.FindNearestByGray(*px) : APalette.FindNearestByMetric(s.Metric, *px);
      if (ADisplayPalette) i = ADisplayPalette->LocateStdRGB(APalette.GetStdRGB(i));
      result->SetPixel(x, y, i);
      if (ATarget) ATarget->SetPixel(x, y, i);
      const TKvLinRGBColor old = px->GetLinRGB();
      TKvLinRGBColor c = p.GetLinRGB(i);
      AddError(old, c);
      px->SetLinRGB(c);
      if (s.Gray) {
        const double g = p.GetLinGray(i);
        c = TKvLinRGBColor{g, g, g};
      }
      DiffuseError(x, y, s.Method, ScaledError(old, c, s.Strength));
    }
    progress.Step(y + 1);
    if (s.Serpentine) FMirror = !FMirror;
  }
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvImage::ConvertRGB(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TScanSettings s(AOptions);
  std::unique_ptr<TKvBitmap> result = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  FMirror = false;
  TKvRoutineProgress progress(FHeight);
  for (int y = 0; y < FHeight; ++y) {
    result->MirrorX = FMirror;
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = GetPixels(x, y);
      const int i = APalette.FindNearestByMetric(s.Metric, *px);
      result->SetPixel(x, y, static_cast<int>(APalette.GetRGBQuad(i)));
      const TKvLinRGBColor old = px->GetLinRGB();
      const TKvLinRGBColor c = APalette.GetLinRGB(i);
      px->SetLinRGB(c);
      DiffuseError(x, y, s.Method, ScaledError(old, c, s.Strength));
    }
    progress.Step(y + 1);
    if (s.Serpentine) FMirror = !FMirror;
  }
  result->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvImage::Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette,
                                             TKvPalette256* ADisplayPalette) {
  TKvPalette& p = ADisplayPalette ? static_cast<TKvPalette&>(*ADisplayPalette) : APalette;
  if (p.GetCount() <= 256) return ConvertIndexed(AAbort, AOptions, nullptr, APalette, ADisplayPalette);
  return ConvertRGB(AAbort, AOptions, p);
}

std::unique_ptr<TKvBitmap> TKvImage::DoConvertBW(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                                 TKvPalette* APalette, int ADarkIndex, int ALightIndex, bool ABits) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TScanSettings s(AOptions);
  MakeGray();
  std::unique_ptr<TKvBitmap> result = APalette ? CreateIndexedBitmap(FWidth, FHeight, APalette, false)
                                               : std::make_unique<TKvBitmap1>(FWidth, FHeight, nullptr);
  FMirror = false;
  TKvRoutineProgress progress(FHeight);
  for (int y = 0; y < FHeight; ++y) {
    result->MirrorX = FMirror;
    if (ATarget) ATarget->MirrorX = FMirror;
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = GetPixels(x, y);
      const double g = px->GetLinGray();
      const bool light = g >= 0.5;
      const int index = light ? ALightIndex : ADarkIndex;
      const double level = light ? 1 : 0;
      result->SetPixel(x, y, index);
      if (ATarget) ATarget->SetPixel(x, y, ABits ? (light ? 1 : 0) : index);
      px->SetLinGray(level);
      DiffuseGrayError(x, y, s.Method, (g - level) * s.Strength);
    }
    progress.Step(y + 1);
    if (s.Serpentine) FMirror = !FMirror;
  }
  result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvImage::ConvertBW(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                               TKvPalette* APalette, int ADarkIndex, int ALightIndex) {
  return DoConvertBW(AAbort, AOptions, ATarget, APalette, ADarkIndex, ALightIndex, false);
}

std::unique_ptr<TKvBitmap> TKvImage::ConvertBWBits(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                                   TKvPalette* APalette, int ADarkIndex, int ALightIndex) {
  return DoConvertBW(AAbort, AOptions, ATarget, APalette, ADarkIndex, ALightIndex, true);
}

void TKvImage::DitherToPalette(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette, bool AMirror) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  const TScanSettings s(AOptions);
  if (s.Gray) MakeGray();
  FErrorTotal = 0;
  FMirror = AMirror;
  auto* palette256 = dynamic_cast<TKvPalette256*>(&APalette);
  std::unique_ptr<TKvNearestLinRGB> nearest;
  if (palette256 && !s.Gray && s.Metric == 0) nearest = std::make_unique<TKvNearestLinRGB>(*palette256);
  TKvRoutineProgress progress(FHeight);
  for (int y = 0; y < FHeight; ++y) {
    for (int x = 0; x < FWidth; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = GetPixels(x, y);
      const int i = s.Gray    ? APalette.FindNearestByGray(*px)
                    : nearest ? nearest->Find(px->GetLinRGB())
                              : APalette.FindNearestByMetric(s.Metric, *px);
      const TKvLinRGBColor old = px->GetLinRGB();
      TKvLinRGBColor c = APalette.GetLinRGB(i);
      AddError(old, c);
      px->SetLinRGB(c);
      if (s.Gray) {
        const double g = APalette.GetLinGray(i);
        c = TKvLinRGBColor{g, g, g};
      }
      DiffuseError(x, y, s.Method, ScaledError(old, c, s.Strength));
    }
    progress.Step(y + 1);
    if (s.Serpentine) FMirror = !FMirror;
  }
}

void TKvImage::DitherRegion(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette256* APalette, int AWidth,
                            int AHeight) {
  TKvPalette256& pal = APalette ? *APalette : *AOptions.GetPalette();
  const TScanSettings s(AOptions);
  if (s.Gray) MakeGray();
  FErrorTotal = 0;
  const int w = AWidth == 0 ? FWidth : AWidth;
  const int h = AHeight == 0 ? FHeight : AHeight;
  const bool ordered = s.Method == KvOrderedDitherMethod;
  FMirror = false;
  TKvRoutineProgress progress(h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (Aborted(AAbort)) Abort();
      PKvPixel px = GetPixels(x, y);
      if (ordered) AddOrderedDitherOffset(*px, x, y);
      const int i = s.Gray ? pal.FindNearestByGray(*px) : pal.FindNearestByMetric(s.Metric, *px);
      PKvColor entry = pal.GetPColor(i);
      const TKvLinRGBColor old = px->GetLinRGB();
      TKvLinRGBColor c = entry->GetLinRGB();
      AddError(old, c);
      px->SetLinRGB(c);
      if (s.Gray) {
        const double g = entry->GetLinGray();
        c = TKvLinRGBColor{g, g, g};
      }
      DiffuseError(x, y, s.Method, ScaledError(old, c, s.Strength));
    }
    progress.Step(y + 1);
    if (s.Serpentine) FMirror = !FMirror;
  }
}
