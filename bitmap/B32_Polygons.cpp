#include "bitmap/B32_Polygons.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_Math.h"

// ---------------------------------------------------------------------------
// Coverage to alpha. These run inside the rasteriser, where rounding is
// toward minus infinity.

namespace {
inline int64_t RoundDown(float V) { return int64_t(std::floor(double(V))); }

inline uint32_t FoldNonZero(float C) {
  return uint32_t(std::min<int64_t>(std::llabs(RoundDown(C * 65536.0f)), 65536));
}

inline uint32_t FoldEvenOdd(float C) {
  uint32_t v = uint32_t(std::llabs(RoundDown(C * 65536.0f)) & 0x1FFFF);
  if (v >= 65536) v ^= 0x1FFFF;
  return v;
}

template <uint32_t (*Fold)(float)>
void MakeAlphaColor(const float* Coverage, void* Out, int32_t Count, TColor32 Color) {
  TColor32* out = static_cast<TColor32*>(Out);
  const uint32_t A = (Color >> 24) * 257;
  const TColor32 rgb = Color & 0x00FFFFFF;
  uint32_t lastBits = 0;
  TColor32 last = rgb | (TColor32(GammaEncodeTable[0]) << 24);
  for (int32_t i = 0; i < Count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &Coverage[i], 4);
    if (i == 0 || bits != lastBits) {
      const uint32_t V = Fold(Coverage[i]);
      last = rgb | (TColor32(GammaEncodeTable[(V * A) >> 24]) << 24);
      lastBits = bits;
    }
    out[i] = last;
  }
}

// The sub-pixel weights: byte k of the run becomes G[a(k) + a(k-1) + a(k-2)].
template <uint32_t (*Fold)(float)>
void MakeAlphaLCD(const float* Coverage, void* Out, int32_t Count, TColor32 Color) {
  uint8_t* out = static_cast<uint8_t*>(Out);
  const uint32_t A = Color >> 24;
  out[0] = 0;
  out[1] = 0;
  for (int32_t k = 0; k < Count; ++k) {
    const uint32_t a = (A * Fold(Coverage[k]) * 43) >> 23;
    out[k] = GammaEncodeTable[std::min<uint32_t>(out[k] + a, 255)];
    out[k + 1] = uint8_t(out[k + 1] + a);
    out[k + 2] = uint8_t(a);
  }
  out[Count + 2] = 0;
  out[Count + 3] = 0;
}

void SecondFilter(uint8_t* Out, int32_t Count) {
  uint32_t b1 = 0, b2 = 0;  // the previous two bytes before this step
  for (int32_t k = 0; k <= Count + 3; ++k) {
    const uint32_t b = Out[k];
    Out[k] = uint8_t((b + b1 + b2) / 3);
    b2 = b1;
    b1 = b;
  }
}
}  // namespace

void MakeAlphaEvenOddColor(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaColor<FoldEvenOdd>(C, Out, Count, Color);
}
void MakeAlphaNonZeroColor(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaColor<FoldNonZero>(C, Out, Count, Color);
}

void MakeAlphaNonZero(const float* C, void* Out, int32_t Count, TColor32) {
  TColor32* out = static_cast<TColor32*>(Out);
  for (int32_t i = 0; i < Count; ++i)
    out[i] = GammaEncodeTable[std::clamp<int64_t>(RoundDown(std::fabs(C[i]) * 256.0f), 0, 255)];
}

void MakeAlphaEvenOdd(const float* C, void* Out, int32_t Count, TColor32) {
  TColor32* out = static_cast<TColor32*>(Out);
  for (int32_t i = 0; i < Count; ++i) {
    int64_t r = RoundDown(std::fabs(C[i]) * 256.0f);
    if (r & 256) r = ~r;
    out[i] = GammaEncodeTable[r & 511 & 255];
  }
}

void MakeAlphaEvenOddLCD(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaLCD<FoldEvenOdd>(C, Out, Count, Color);
}
void MakeAlphaNonZeroLCD(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaLCD<FoldNonZero>(C, Out, Count, Color);
}
void MakeAlphaEvenOddLCD2(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaLCD<FoldEvenOdd>(C, Out, Count, Color);
  SecondFilter(static_cast<uint8_t*>(Out), Count);
}
void MakeAlphaNonZeroLCD2(const float* C, void* Out, int32_t Count, TColor32 Color) {
  MakeAlphaLCD<FoldNonZero>(C, Out, Count, Color);
  SecondFilter(static_cast<uint8_t*>(Out), Count);
}

const TFillProc FillProcs[8] = {
    MakeAlphaEvenOddColor, MakeAlphaNonZeroColor, MakeAlphaEvenOdd,     MakeAlphaNonZero,
    MakeAlphaEvenOddLCD,   MakeAlphaNonZeroLCD,   MakeAlphaEvenOddLCD2, MakeAlphaNonZeroLCD2,
};

// ---------------------------------------------------------------------------

void TCustomPolygonRenderer::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                                           TFloatTransformation* Transformation) {
  if (Transformation)
    PolyPolygonFS(TransformPolyPolygon(Points, *Transformation), ClipRect);
  else
    PolyPolygonFS(Points, ClipRect);
}

void TCustomPolygonRenderer::PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                                       TFloatTransformation* Transformation) {
  PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, ClipRect, Transformation);
}

void TCustomPolygonRenderer::PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, ClipRect);
}

void TPolygonRenderer32::SetBitmap(TCustomBitmap32* Value) {
  if (FBitmap == Value) return;
  FBitmap = Value;
  Changed();
}

void TPolygonRenderer32::PolygonFS(const TArrayOfFloatPoint& Points) {
  if (FBitmap) PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, FloatRect(FBitmap->GetClipRect()));
}

void TPolygonRenderer32::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points) {
  if (FBitmap) PolyPolygonFS(Points, FloatRect(FBitmap->GetClipRect()));
}

void TPolygonRenderer32::ReportAreas(const TArrayOfArrayOfFloatPoint& Points) {
  if (!FBitmap || FBitmap->GetUpdateCount() > 0) return;
  for (const TArrayOfFloatPoint& p : Points)
    if (!p.empty()) FBitmap->AreaChanged(MakeRect(PolygonBounds(p), rrClosest), AREA_INFO_RECT);
}

// ---------------------------------------------------------------------------

namespace {
// Limits a span to the bitmap; false when nothing of it is on the bitmap.
bool OnBitmap(const TCustomBitmap32* B, int32_t& X1, int32_t& X2, int32_t Y) {
  if (Y < 0 || Y >= B->GetHeight()) return false;
  X1 = std::max(X1, 0);
  X2 = std::min(X2, B->GetWidth() - 1);
  return X1 <= X2;
}
}  // namespace

void TPolygonRenderer32VPR::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  if (!FBitmap) return;
  FFillProc = FillProcs[(FFiller ? 2 : 0) + FFillMode];
  if (FFiller) {
    FFiller->BeginRendering();
    RasterizePolyPolygon(Points, ClipRect, GetRenderSpan());
    FFiller->EndRendering();
  } else {
    RasterizePolyPolygon(Points, ClipRect, GetRenderSpan());
  }
  ReportAreas(Points);
}

TRenderSpanEvent TPolygonRenderer32VPR::GetRenderSpan() {
  if (FFiller) return [this](const TValueSpan& S, int32_t Y) { FillSpanFiller(S, Y); };
  return [this](const TValueSpan& S, int32_t Y) { FillSpan(S, Y); };
}

void TPolygonRenderer32VPR::FillSpan(const TValueSpan& Span, int32_t DstY) {
  int32_t X1 = Span.X1, X2 = Span.X2;
  if (!OnBitmap(FBitmap, X1, X2, DstY)) return;
  const int32_t count = X2 - X1 + 1;
  std::vector<TColor32> values(size_t(count), 0);
  FFillProc(Span.Values + (X1 - Span.X1), values.data(), count, FColor);
  TColor32* dst = FBitmap->GetScanLine(DstY) + X1;
  if (FBitmap->GetCombineMode() == cmMerge)
    MergeSpan(values.data(), dst, count);
  else
    BlendSpan(values.data(), dst, count);
}

void TPolygonRenderer32VPR::FillSpanFiller(const TValueSpan& Span, int32_t DstY) {
  int32_t X1 = Span.X1, X2 = Span.X2;
  if (!OnBitmap(FBitmap, X1, X2, DstY)) return;
  const int32_t count = X2 - X1 + 1;
  std::vector<TColor32> alphas(size_t(count), 0);
  FFillProc(Span.Values + (X1 - Span.X1), alphas.data(), count, FColor);
  FFiller->FillLine(FBitmap->GetScanLine(DstY) + X1, X1, DstY, count, alphas.data(), FBitmap->GetCombineMode());
}

// ---------------------------------------------------------------------------

void TPolygonRenderer32LCD::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  if (!FBitmap) return;
  FFillProc = FillProcs[(IsLCD2() ? 6 : 4) + FFillMode];
  TFloatRect r = ClipRect;
  r.Left *= 3;
  r.Right *= 3;
  RasterizePolyPolygon(ScalePolyPolygon(Points, 3, 1), r,
                       [this](const TValueSpan& S, int32_t Y) { FillSpan(S, Y); });
  ReportAreas(Points);
}

void TPolygonRenderer32LCD::FillSpan(const TValueSpan& Span, int32_t DstY) {
  if (DstY < 0 || DstY >= FBitmap->GetHeight()) return;
  const bool lcd2 = IsLCD2();
  const int32_t n = Span.X2 - Span.X1 + 1;
  int32_t r = 0;
  int32_t q = DivMod(Span.X1, 3, r);
  if (r < 0) {  // a span starting left of pixel 0
    r += 3;
    --q;
  }
  std::vector<uint8_t> buf(size_t(n) + 12, 0);
  if (q > 0) {
    r += 3;
    --q;
  }
  FFillProc(Span.Values, buf.data() + 5, n, FColor);
  if (lcd2) --r;
  const int32_t pixels = (Span.X2 + r - Span.X1 + (lcd2 ? 4 : 3)) / 3;
  const uint8_t* a = buf.data() + 5 - r;
  TColor32* row = FBitmap->GetScanLine(DstY);
  for (int32_t i = 0; i < pixels; ++i) {
    const int32_t x = q + i;
    if (x < 0 || x >= FBitmap->GetWidth()) continue;
    TColor32 w;
    std::memcpy(&w, a + 3 * i, 4);
    if (w == 0xFFFFFFFF)
      row[x] = FColor;
    else
      BlendPerChannelInto(FColor, row[x], w);
  }
}

// ---------------------------------------------------------------------------

namespace {
template <class T>
class TRendererClassOf final : public TPolygonRendererClass {
public:
  explicit TRendererClassOf(const char* AName) : FName(AName) {}
  std::string GetClassName() const override { return FName; }
  TPolygonRenderer32* Create() const override { return new T(); }

private:
  const char* FName;
};

const TRendererClassOf<TPolygonRenderer32VPR> VPRClass("TPolygonRenderer32VPR");
const TRendererClassOf<TPolygonRenderer32LCD> LCDClass("TPolygonRenderer32LCD");
const TRendererClassOf<TPolygonRenderer32LCD2> LCD2Class("TPolygonRenderer32LCD2");
}  // namespace

TClassList<TPolygonRendererClass>& PolygonRendererList() {
  static TClassList<TPolygonRendererClass> list;
  return list;
}

void B32_Polygons_Initialize() {
  PolygonRendererList().Add(&VPRClass);
  PolygonRendererList().Add(&LCDClass);
  PolygonRendererList().Add(&LCD2Class);
}

void B32_Polygons_Finalize() { PolygonRendererList().Clear(); }
