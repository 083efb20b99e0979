#include "bitmap/B32_Blend.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint8_t MulDivTable[256][256];
uint8_t DivTable[256][256];

namespace {

// Channel access: c = 0 blue, 1 green, 2 red, 3 alpha.
inline uint32_t Ch(TColor32 C, int c) { return (C >> (8 * c)) & 0xFF; }
inline uint32_t Alpha(TColor32 C) { return C >> 24; }
inline TColor32 Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t a) { return b | (g << 8) | (r << 16) | (a << 24); }
inline uint32_t Sat(int32_t v) { return v < 0 ? 0u : v > 255 ? 255u : uint32_t(v); }

// ---- 16-bit lane arithmetic -----------------------------------------------
// L(x, y, w) = ((x - y) * w + y * 256 + 128) shr 8 in a 16-bit lane. For
// bytes and w <= 255 the sum x * w + y * (256 - w) + 128 never leaves
// 0..65408, so the lane's wrap-around never shows and the plain form is exact.
inline uint32_t L(uint32_t x, uint32_t y, uint32_t w) { return (x * w + y * (256 - w) + 128) >> 8; }

inline TColor32 LaneMix(TColor32 X, TColor32 Y, uint32_t w) {
  return Pack(L(Ch(X, 0), Ch(Y, 0), w), L(Ch(X, 1), Ch(Y, 1), w), L(Ch(X, 2), Ch(Y, 2), w),
              L(Ch(X, 3), Ch(Y, 3), w));
}

// One lane of the span blend: D + round(S * a) - round(D * a), saturated.
inline uint32_t SpanLane(uint32_t s, uint32_t d, uint32_t a) {
  return Sat(int32_t(d + ((s * a + 128) >> 8)) - int32_t((d * a + 128) >> 8));
}

// ---- integer arithmetic: two channels per multiply --------------------------
// S(C, w) scales every channel as (c * w + 128) shr 8.
inline uint32_t Scale2(uint32_t C, uint32_t w) {
  const uint32_t rb = (((C & 0x00FF00FFu) * w + 0x00800080u) & 0xFF00FF00u) >> 8;
  const uint32_t ag = (((C & 0xFF00FF00u) >> 8) * w + 0x00800080u) & 0xFF00FF00u;
  return rb | ag;
}

// ---- table arithmetic --------------------------------------------------------
inline uint32_t T(uint32_t w, uint32_t c) { return MulDivTable[w][c]; }

// Colour channels T[w, F] + T[255 - w, B], alpha 255.
inline TColor32 TableBlend(TColor32 F, TColor32 B, uint32_t w) {
  const uint32_t v = 255 - w;
  return Pack(T(w, Ch(F, 0)) + T(v, Ch(B, 0)), T(w, Ch(F, 1)) + T(v, Ch(B, 1)), T(w, Ch(F, 2)) + T(v, Ch(B, 2)),
              255);
}

inline uint32_t Byte(uint32_t M) { return M > 255 ? 255 : M; }

}  // namespace

// =============================================================================
// Reference forms

TColor32 BlendPixels_Ref(TColor32 F, TColor32 B) {
  const uint32_t a = Alpha(F);
  if (a == 0) return B;
  if (a == 255) return F;
  return TableBlend(F, B, a);
}

void BlendPixelInto_Ref(TColor32 F, TColor32& B) { B = BlendPixels_Ref(F, B); }

void BlendFill_Ref(TColor32 F, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) BlendPixelInto(F, Dst[i]);
}

void BlendColorRun_Ref(TColor32 F, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) BlendPixelInto(F, Dst[i]);
}

void BlendSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) BlendPixelInto(Src[i], Dst[i]);
}

TColor32 BlendPixelsMaster_Ref(TColor32 F, TColor32 B, uint32_t M) {
  const uint32_t w = T(Byte(M), Alpha(F));
  if (w == 0) return B;
  if (w == 255) return F;
  return TableBlend(F, B, w);
}

void BlendPixelIntoMaster_Ref(TColor32 F, TColor32& B, uint32_t M) { B = BlendPixelsMaster_Ref(F, B, M); }

void BlendSpanMaster_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
  for (int32_t i = 0; i < Count; ++i) BlendPixelIntoMaster(Src[i], Dst[i], M);
}

TColor32 MixPixels_Ref(TColor32 X, TColor32 Y, uint32_t W) {
  if (W == 0) return Y;
  if (W >= 255) return X;
  const uint32_t v = 255 - W;
  return Pack(T(W, Ch(X, 0)) + T(v, Ch(Y, 0)), T(W, Ch(X, 1)) + T(v, Ch(Y, 1)), T(W, Ch(X, 2)) + T(v, Ch(Y, 2)),
              T(W, Ch(X, 3)) + T(v, Ch(Y, 3)));
}

void MixPixelInto_Ref(TColor32 X, TColor32& Y, uint32_t W) { Y = MixPixels_Ref(X, Y, W); }

void MixSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W) {
  for (int32_t i = 0; i < Count; ++i) MixPixelInto(Src[i], Dst[i], W);
}

TColor32 MergePixels_Ref(TColor32 F, TColor32 B) {
  const uint32_t fa = Alpha(F);
  if (fa == 255) return F;
  if (fa == 0) return B;
  const uint32_t ba = Alpha(B);
  if (ba == 0) return F;
  const uint32_t ra = 255 - T(255 - fa, 255 - ba);
  const uint32_t w = DivTable[ra][fa];
  const uint32_t v = 255 - w;
  return Pack(T(w, Ch(F, 0)) + T(v, Ch(B, 0)), T(w, Ch(F, 1)) + T(v, Ch(B, 1)), T(w, Ch(F, 2)) + T(v, Ch(B, 2)), ra);
}

void MergePixelInto_Ref(TColor32 F, TColor32& B) { B = MergePixels(F, B); }

void MergeSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) Dst[i] = MergePixels(Src[i], Dst[i]);
}

void MergeFill_Ref(TColor32 F, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) Dst[i] = MergePixels(F, Dst[i]);
}

void MergeFill(TColor32 F, TColor32* Dst, int32_t Count) { MergeFill_Ref(F, Dst, Count); }

namespace {
// The foreground with its alpha scaled by the master alpha.
inline TColor32 WithMaster(TColor32 F, uint32_t M) { return (F & 0x00FFFFFFu) | (T(Byte(M), Alpha(F)) << 24); }
}  // namespace

TColor32 MergePixelsMaster_Ref(TColor32 F, TColor32 B, uint32_t M) { return MergePixels(WithMaster(F, M), B); }

void MergePixelIntoMaster_Ref(TColor32 F, TColor32& B, uint32_t M) { B = MergePixels(WithMaster(F, M), B); }

void MergeSpanMaster_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
  for (int32_t i = 0; i < Count; ++i) Dst[i] = MergePixels(WithMaster(Src[i], M), Dst[i]);
}

// ---- per-channel operations, reference ------------------------------------

namespace {
template <class Op>
inline TColor32 EachChannel(TColor32 F, TColor32 B, Op op) {
  return Pack(op(Ch(F, 0), Ch(B, 0)) & 0xFF, op(Ch(F, 1), Ch(B, 1)) & 0xFF, op(Ch(F, 2), Ch(B, 2)) & 0xFF,
              op(Ch(F, 3), Ch(B, 3)) & 0xFF);
}
}  // namespace

TColor32 ChannelMax_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return std::max(f, b); });
}

TColor32 ChannelMin_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return std::min(f, b); });
}

TColor32 ChannelAverage_Ref(TColor32 F, TColor32 B) { return (((F ^ B) >> 1) & 0x7F7F7F7Fu) + (F & B); }

TColor32 ChannelAdd_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return std::min(f + b, 255u); });
}

TColor32 ChannelSub_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return f > b ? f - b : 0u; });
}

TColor32 ChannelDivide_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return f == 0 ? 255u : std::min(b * 256 / f, 255u); });
}

TColor32 ChannelMultiply_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return (f * b + 128) >> 8; });
}

TColor32 ChannelDifference_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return f > b ? f - b : b - f; });
}

TColor32 ChannelExclusion_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return f + b - ((f * b) >> 7); });
}

TColor32 ChannelScale_Ref(TColor32 C, uint32_t W) {
  return EachChannel(C, 0, [W](uint32_t c, uint32_t) { return uint32_t(std::min<uint64_t>((uint64_t(c) * W) >> 8, 255)); });
}

TColor32 ChannelScreen_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return f + b - f * b / 255; });
}

TColor32 ChannelDodge_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) {
    if (f == 0) return 0u;
    if (b == 255) return 255u;
    return std::min(f * 255 / (255 - b), 255u);
  });
}

TColor32 ChannelBurn_Ref(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) {
    if (f == 255) return 255u;
    if (b == 0) return 0u;
    return 255 - std::min((255 - f) * 255 / b, 255u);
  });
}

TColor32 BlendChannelSum_Ref(TColor32 F, TColor32 B) {
  const uint32_t a = Alpha(F);
  return EachChannel(F, B, [a](uint32_t f, uint32_t b) { return T(a, std::min(f + b, 255u)) + T(255 - a, b); });
}

TColor32 BlendChannelProduct_Ref(TColor32 F, TColor32 B) {
  const uint32_t a = Alpha(F);
  return EachChannel(F, B, [a](uint32_t f, uint32_t b) { return T(a, (f * b + 128) >> 8) + T(255 - a, b); });
}

TColor32 ShiftBrightness_Ref(TColor32 C, int32_t Amount) {
  return Pack(Sat(int32_t(Ch(C, 0)) + Amount), Sat(int32_t(Ch(C, 1)) + Amount), Sat(int32_t(Ch(C, 2)) + Amount),
              Alpha(C));
}

// Red takes weight byte 0, green byte 1, blue byte 2; the background's alpha
// is kept.
TColor32 BlendPerChannel_Ref(TColor32 F, TColor32 B, TColor32 W) {
  auto mix = [](uint32_t f, uint32_t b, uint32_t w) {
    return uint32_t(int32_t(b) + (int32_t(f) - int32_t(b)) * int32_t(w) / 255);
  };
  return Pack(mix(Ch(F, 0), Ch(B, 0), Ch(W, 2)), mix(Ch(F, 1), Ch(B, 1), Ch(W, 1)), mix(Ch(F, 2), Ch(B, 2), Ch(W, 0)),
              Alpha(B));
}

void BlendPerChannelInto_Ref(TColor32 F, TColor32& B, TColor32 W) { B = BlendPerChannel_Ref(F, B, W); }

// =============================================================================
// Integer forms

TColor32 BlendPixels_Int(TColor32 F, TColor32 B) {
  const uint32_t a = Alpha(F);
  if (a == 255) return F;
  if (a == 0) return B;
  return (Scale2(F, a) + Scale2(B, 255 - a)) | 0xFF000000u;
}

void BlendPixelInto_Int(TColor32 F, TColor32& B) { B = BlendPixels_Int(F, B); }

void BlendFill_Int(TColor32 F, TColor32* Dst, int32_t Count) {
  const uint32_t a = Alpha(F);
  if (Count <= 0 || a == 0) return;
  if (a == 255) {
    std::fill_n(Dst, Count, F);
    return;
  }
  const uint32_t fs = Scale2(F, a);
  for (int32_t i = 0; i < Count; ++i) Dst[i] = (Scale2(Dst[i], 255 - a) + fs) | 0xFF000000u;
}

void BlendColorRun_Int(TColor32 F, TColor32* Dst, int32_t Count) { BlendFill_Int(F, Dst, Count); }

void BlendSpan_Int(const TColor32* Src, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) BlendPixelInto_Int(Src[i], Dst[i]);
}

TColor32 BlendPixelsMaster_Int(TColor32 F, TColor32 B, uint32_t M) {
  const uint32_t a = Alpha(F);
  if (a == 0) return B;
  const uint32_t w = ((M + 1) * a) >> 8;
  if (w == 0) return B;
  return (Scale2(F, w) + Scale2(B, 255 - w)) | 0xFF000000u;
}

void BlendPixelIntoMaster_Int(TColor32 F, TColor32& B, uint32_t M) { B = BlendPixelsMaster_Int(F, B, M); }

TColor32 MixPixels_Int(TColor32 X, TColor32 Y, uint32_t W) {
  if (W == 0) return Y;
  if (W == 255) return X;
  return Scale2(X, W) + Scale2(Y, 255 - W);
}

void MixPixelInto_Int(TColor32 X, TColor32& Y, uint32_t W) { Y = MixPixels_Int(X, Y, W); }

// =============================================================================
// 16-bit lane forms

TColor32 BlendPixels_Lane(TColor32 F, TColor32 B) { return LaneMix(F, B, Alpha(F)) | 0xFF000000u; }

void BlendPixelInto_Lane(TColor32 F, TColor32& B) {
  const uint32_t a = Alpha(F);
  if (a == 0) return;
  if (a == 255) {
    B = F;
    return;
  }
  B = LaneMix(F, B, a);
}

void BlendFill_Lane(TColor32 F, TColor32* Dst, int32_t Count) {
  const uint32_t a = Alpha(F);
  if (Count <= 0 || a == 0) return;
  if (a == 255) {
    std::fill_n(Dst, Count, F);
    return;
  }
  for (int32_t i = 0; i < Count; ++i) Dst[i] = LaneMix(F, Dst[i], a);
}

void BlendSpan_Lane(const TColor32* Src, TColor32* Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    const TColor32 s = Src[i];
    const TColor32 d = Dst[i];
    const uint32_t a = Alpha(s);
    const uint32_t da = Alpha(d);
    Dst[i] = Pack(SpanLane(Ch(s, 0), Ch(d, 0), a), SpanLane(Ch(s, 1), Ch(d, 1), a), SpanLane(Ch(s, 2), Ch(d, 2), a),
                  Sat(int32_t(a + da) - int32_t((da * a + 128) >> 8)));
  }
}

TColor32 BlendPixelsMaster_Lane(TColor32 F, TColor32 B, uint32_t M) {
  const uint32_t w = ((M + 1) * Alpha(F)) >> 8;
  if (w == 0) return B;
  return LaneMix(F, B, w);
}

void BlendPixelIntoMaster_Lane(TColor32 F, TColor32& B, uint32_t M) {
  const uint32_t a = Alpha(F);
  if (a == 0) return;
  const uint32_t w = ((M + 1) * a) >> 8;
  if (w == 0) return;
  B = LaneMix(F, B, w);
}

void BlendSpanMaster_Lane(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
  if (M == 0) return;
  for (int32_t i = 0; i < Count; ++i) {
    const uint32_t a = Alpha(Src[i]);
    if (a == 0) continue;
    // Source alpha plus one times M: the reverse of the pixel forms.
    const uint32_t w = ((a + 1) * M) >> 8;
    if (w == 0) continue;
    Dst[i] = LaneMix(Src[i], Dst[i], w);
  }
}

TColor32 MixPixels_Lane(TColor32 X, TColor32 Y, uint32_t W) { return LaneMix(X, Y, W); }

void MixPixelInto_Lane(TColor32 X, TColor32& Y, uint32_t W) {
  if (W == 0) return;
  if (W == 255) {
    Y = X;
    return;
  }
  Y = LaneMix(X, Y, W);
}

void MixSpan_Lane(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W) {
  if (Count <= 0 || W == 0) return;
  if (W == 255) {
    std::memmove(Dst, Src, size_t(Count) * sizeof(TColor32));
    return;
  }
  for (int32_t i = 0; i < Count; ++i) Dst[i] = LaneMix(Src[i], Dst[i], W);
}

TColor32 MergePixels_Lane(TColor32 F, TColor32 B) {
  const uint32_t fa = Alpha(F);
  if (fa == 0) return B;
  if (fa == 255) return F;
  const uint32_t ba = Alpha(B);
  if (ba == 0) return F;
  // The resulting alpha in 8.8 fixed point (Q) and the foreground's share of
  // it in 4.12 (W); the arithmetic wraps at 32 bits like the lanes it mirrors.
  const uint32_t p = (255 - ba) * (fa - 255);
  const uint32_t q = (p * 32897u + 0x7F807E81u) >> 15;
  const uint32_t ra = (q >> 8) & 255;
  const uint32_t w = ((fa << 20) + 4096) / q;
  const int32_t w16 = int16_t(uint16_t(w));
  auto lane = [w16](uint32_t f, uint32_t b) {
    const int32_t d = int16_t(uint16_t((int32_t(f) - int32_t(b)) * 16));
    const int32_t hi = (d * w16) >> 16;  // high half of the signed 16 x 16 product
    return Sat(int32_t(b) + hi);
  };
  return Pack(lane(Ch(F, 0), Ch(B, 0)), lane(Ch(F, 1), Ch(B, 1)), lane(Ch(F, 2), Ch(B, 2)), ra);
}

TColor32 ChannelMax_Lane(TColor32 F, TColor32 B) { return ChannelMax_Ref(F, B); }
TColor32 ChannelMin_Lane(TColor32 F, TColor32 B) { return ChannelMin_Ref(F, B); }
TColor32 ChannelAdd_Lane(TColor32 F, TColor32 B) { return ChannelAdd_Ref(F, B); }
TColor32 ChannelSub_Lane(TColor32 F, TColor32 B) { return ChannelSub_Ref(F, B); }
TColor32 ChannelDifference_Lane(TColor32 F, TColor32 B) { return ChannelDifference_Ref(F, B); }

TColor32 ChannelMultiply_Lane(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return (f * b) >> 8; });
}

TColor32 ChannelExclusion_Lane(TColor32 F, TColor32 B) {
  return EachChannel(F, B, [](uint32_t f, uint32_t b) { return Sat(int32_t(f + b) - int32_t((f * b) >> 7)); });
}

TColor32 ChannelScale_Lane(TColor32 C, uint32_t W) {
  const uint32_t w = Byte(W);
  return EachChannel(C, 0, [w](uint32_t c, uint32_t) { return (c * w) >> 8; });
}

TColor32 ShiftBrightness_Lane(TColor32 C, int32_t Amount) { return ShiftBrightness_Ref(C, Amount); }

// Blue takes weight byte 3, green byte 2, red byte 1 and alpha byte 0.
TColor32 BlendPerChannel_Lane(TColor32 F, TColor32 B, TColor32 W) {
  return Pack(L(Ch(F, 0), Ch(B, 0), Ch(W, 3)), L(Ch(F, 1), Ch(B, 1), Ch(W, 2)), L(Ch(F, 2), Ch(B, 2), Ch(W, 1)),
              L(Ch(F, 3), Ch(B, 3), Ch(W, 0)));
}

void BlendPerChannelInto_Lane(TColor32 F, TColor32& B, TColor32 W) {
  B = Pack(SpanLane(Ch(F, 0), Ch(B, 0), Ch(W, 3)), SpanLane(Ch(F, 1), Ch(B, 1), Ch(W, 2)),
           SpanLane(Ch(F, 2), Ch(B, 2), Ch(W, 1)), SpanLane(Ch(F, 3), Ch(B, 3), Ch(W, 0)));
}

// =============================================================================
// SSE2 span forms: the lane arithmetic above, two pixels per step. They give
// the same bytes as the portable lane forms for weights and master alphas in
// 0..255, so binding them changes speed only.

#if defined(__SSE2__)

namespace {

// Every 16-bit lane of each pixel set to that pixel's alpha.
inline __m128i BroadcastAlpha(__m128i px16) {
  const __m128i lo = _mm_shufflelo_epi16(px16, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm_shufflehi_epi16(lo, _MM_SHUFFLE(3, 3, 3, 3));
}

// The span blend of two pixels widened to 16-bit lanes.
inline __m128i BlendSpanPair(__m128i s16, __m128i d16) {
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  const __m128i a16 = BroadcastAlpha(s16);
  __m128i t1 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(s16, a16), bias), 8);
  const __m128i t2 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d16, a16), bias), 8);
  // The alpha lane adds the source alpha itself.
  t1 = _mm_or_si128(_mm_andnot_si128(alphaLanes, t1), _mm_and_si128(alphaLanes, a16));
  return _mm_sub_epi16(_mm_add_epi16(d16, t1), t2);
}

// L(s, d, w) per lane: ((s - d) * w + d * 256 + 128) shr 8, wrapping at 16 bits.
inline __m128i LanePair(__m128i s16, __m128i d16, __m128i w16) {
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i diff = _mm_mullo_epi16(_mm_sub_epi16(s16, d16), w16);
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(diff, _mm_slli_epi16(d16, 8)), bias), 8);
}

}  // namespace

void BlendSpan_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count) {
  const __m128i zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 2 <= Count; i += 2) {
    const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Src + i));
    const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Dst + i));
    const __m128i r = BlendSpanPair(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Dst + i), _mm_packus_epi16(r, zero));
  }
  if (i < Count) BlendSpan_Lane(Src + i, Dst + i, Count - i);
}

void BlendSpanMaster_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
  if (M == 0) return;
  if (M > 255) {  // outside the contract: keep the portable form's answer
    BlendSpanMaster_Lane(Src, Dst, Count, M);
    return;
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  const __m128i m16 = _mm_set1_epi16(int16_t(M));
  int32_t i = 0;
  for (; i + 2 <= Count; i += 2) {
    const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Src + i));
    const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Dst + i));
    const __m128i s16 = _mm_unpacklo_epi8(s, zero);
    const __m128i d16 = _mm_unpacklo_epi8(d, zero);
    // w = ((a + 1) * M) shr 8; a weight of 0 leaves the pixel as it is, which
    // is what the skipped pixels of the portable form do.
    const __m128i w16 = _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(BroadcastAlpha(s16), one), m16), 8);
    const __m128i r = LanePair(s16, d16, w16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Dst + i), _mm_packus_epi16(r, zero));
  }
  if (i < Count) BlendSpanMaster_Lane(Src + i, Dst + i, Count - i, M);
}

#endif

// =============================================================================
// Bound variables. They start at the forms that start-up binds, so they are
// usable even before it (only the reference forms need its tables).

TBlendReg MergePixels = MergePixels_Lane;
TBlendMem MergePixelInto = MergePixelInto_Ref;
TBlendLine MergeSpan = MergeSpan_Ref;
TBlendRegEx MergePixelsMaster = MergePixelsMaster_Ref;
TBlendMemEx MergePixelIntoMaster = MergePixelIntoMaster_Ref;
TBlendLineEx MergeSpanMaster = MergeSpanMaster_Ref;
TCombineReg MixPixels = MixPixels_Lane;
TCombineMem MixPixelInto = MixPixelInto_Lane;
TCombineLine MixSpan = MixSpan_Lane;
TBlendReg BlendPixels = BlendPixels_Lane;
TBlendMem BlendPixelInto = BlendPixelInto_Lane;
TBlendFillProc BlendFill = BlendFill_Lane;
TBlendLine BlendSpan = BlendSpan_Lane;
TBlendRegEx BlendPixelsMaster = BlendPixelsMaster_Lane;
TBlendMemEx BlendPixelIntoMaster = BlendPixelIntoMaster_Lane;
TBlendLineEx BlendSpanMaster = BlendSpanMaster_Lane;
TBlendFillProc BlendColorRun = BlendColorRun_Int;
TBlendReg ChannelMax = ChannelMax_Lane;
TBlendReg ChannelMin = ChannelMin_Lane;
TBlendReg ChannelAverage = ChannelAverage_Ref;
TBlendReg ChannelAdd = ChannelAdd_Lane;
TBlendReg ChannelSub = ChannelSub_Lane;
TBlendReg ChannelDivide = ChannelDivide_Ref;
TBlendReg ChannelMultiply = ChannelMultiply_Lane;
TBlendReg ChannelDifference = ChannelDifference_Lane;
TBlendReg ChannelExclusion = ChannelExclusion_Lane;
TScaleReg ChannelScale = ChannelScale_Lane;
TBlendReg ChannelScreen = ChannelScreen_Ref;
TBlendReg ChannelDodge = ChannelDodge_Ref;
TBlendReg ChannelBurn = ChannelBurn_Ref;
TBlendReg BlendChannelSum = BlendChannelSum_Ref;
TBlendReg BlendChannelProduct = BlendChannelProduct_Ref;
TLightenReg ShiftBrightness = ShiftBrightness_Lane;
TBlendRegRGB BlendPerChannel = BlendPerChannel_Lane;
TBlendMemRGB BlendPerChannelInto = BlendPerChannelInto_Lane;

TBlendMem* const PixelBlendByMode[2] = {&BlendPixelInto, &MergePixelInto};
TBlendMemEx* const PixelBlendMasterByMode[2] = {&BlendPixelIntoMaster, &MergePixelIntoMaster};
TBlendLine* const SpanBlendByMode[2] = {&BlendSpan, &MergeSpan};
TBlendLineEx* const SpanBlendMasterByMode[2] = {&BlendSpanMaster, &MergeSpanMaster};

// =============================================================================
// Start-up

namespace {

// Round(n / d) with halves to even, for non-negative n and positive d.
uint32_t RoundDiv(uint32_t n, uint32_t d) {
  const uint32_t q = n / d;
  const uint32_t r2 = (n % d) * 2;
  if (r2 > d || (r2 == d && (q & 1))) return q + 1;
  return q;
}

void FillTables() {
  std::memset(MulDivTable[0], 0, 256);
  std::memset(DivTable[0], 0, 256);
  for (uint32_t x = 1; x < 256; ++x)
    for (uint32_t y = 0; y < 256; ++y) {
      MulDivTable[x][y] = uint8_t(RoundDiv(x * y, 255));
      DivTable[x][y] = uint8_t(RoundDiv(y * 255, x));
    }
}

void RegisterBindings(TFunctionRegistry* r) {
  r->AddBinding(FID_MERGEPIXELS, &MergePixels);
  r->AddBinding(FID_MERGEPIXELINTO, &MergePixelInto);
  r->AddBinding(FID_MERGESPAN, &MergeSpan);
  r->AddBinding(FID_MERGEPIXELSMASTER, &MergePixelsMaster);
  r->AddBinding(FID_MERGEPIXELINTOMASTER, &MergePixelIntoMaster);
  r->AddBinding(FID_MERGESPANMASTER, &MergeSpanMaster);
  r->AddBinding(FID_MIXPIXELS, &MixPixels);
  r->AddBinding(FID_MIXPIXELINTO, &MixPixelInto);
  r->AddBinding(FID_MIXSPAN, &MixSpan);
  r->AddBinding(FID_BLENDPIXELS, &BlendPixels);
  r->AddBinding(FID_BLENDPIXELINTO, &BlendPixelInto);
  r->AddBinding(FID_BLENDFILL, &BlendFill);
  r->AddBinding(FID_BLENDSPAN, &BlendSpan);
  r->AddBinding(FID_BLENDPIXELSMASTER, &BlendPixelsMaster);
  r->AddBinding(FID_BLENDPIXELINTOMASTER, &BlendPixelIntoMaster);
  r->AddBinding(FID_BLENDSPANMASTER, &BlendSpanMaster);
  r->AddBinding(FID_BLENDCOLORRUN, &BlendColorRun);
  r->AddBinding(FID_CHANNELMAX, &ChannelMax);
  r->AddBinding(FID_CHANNELMIN, &ChannelMin);
  r->AddBinding(FID_CHANNELAVERAGE, &ChannelAverage);
  r->AddBinding(FID_CHANNELADD, &ChannelAdd);
  r->AddBinding(FID_CHANNELSUB, &ChannelSub);
  r->AddBinding(FID_CHANNELDIVIDE, &ChannelDivide);
  r->AddBinding(FID_CHANNELMULTIPLY, &ChannelMultiply);
  r->AddBinding(FID_CHANNELDIFFERENCE, &ChannelDifference);
  r->AddBinding(FID_CHANNELEXCLUSION, &ChannelExclusion);
  r->AddBinding(FID_CHANNELSCALE, &ChannelScale);
  r->AddBinding(FID_CHANNELSCREEN, &ChannelScreen);
  r->AddBinding(FID_CHANNELDODGE, &ChannelDodge);
  r->AddBinding(FID_CHANNELBURN, &ChannelBurn);
  r->AddBinding(FID_BLENDCHANNELSUM, &BlendChannelSum);
  r->AddBinding(FID_BLENDCHANNELPRODUCT, &BlendChannelProduct);
  r->AddBinding(FID_SHIFTBRIGHTNESS, &ShiftBrightness);
  r->AddBinding(FID_BLENDPERCHANNEL, &BlendPerChannel);
  r->AddBinding(FID_BLENDPERCHANNELINTO, &BlendPerChannelInto);
}

void RegisterReference(TFunctionRegistry* r) {
  constexpr int32_t kRef = 1;
  r->AddImplementation(FID_FINISHBLENDBLOCK, FinishBlendBlock, 0, kRef);
  r->AddImplementation(FID_MERGEPIXELS, MergePixels_Ref, 0, kRef);
  r->AddImplementation(FID_MERGEPIXELINTO, MergePixelInto_Ref, 0, kRef);
  r->AddImplementation(FID_MERGESPAN, MergeSpan_Ref, 0, kRef);
  r->AddImplementation(FID_MERGEFILL, MergeFill_Ref, 0, kRef);
  r->AddImplementation(FID_MERGEPIXELSMASTER, MergePixelsMaster_Ref, 0, kRef);
  r->AddImplementation(FID_MERGEPIXELINTOMASTER, MergePixelIntoMaster_Ref, 0, kRef);
  r->AddImplementation(FID_MERGESPANMASTER, MergeSpanMaster_Ref, 0, kRef);
  r->AddImplementation(FID_MIXPIXELS, MixPixels_Ref, 0, kRef);
  r->AddImplementation(FID_MIXPIXELINTO, MixPixelInto_Ref, 0, kRef);
  r->AddImplementation(FID_MIXSPAN, MixSpan_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPIXELS, BlendPixels_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPIXELINTO, BlendPixelInto_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDFILL, BlendFill_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDSPAN, BlendSpan_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPIXELSMASTER, BlendPixelsMaster_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPIXELINTOMASTER, BlendPixelIntoMaster_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDSPANMASTER, BlendSpanMaster_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDCOLORRUN, BlendColorRun_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELMAX, ChannelMax_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELMIN, ChannelMin_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELAVERAGE, ChannelAverage_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELADD, ChannelAdd_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELSUB, ChannelSub_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELDIVIDE, ChannelDivide_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELMULTIPLY, ChannelMultiply_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELDIFFERENCE, ChannelDifference_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELEXCLUSION, ChannelExclusion_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELSCALE, ChannelScale_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELSCREEN, ChannelScreen_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELDODGE, ChannelDodge_Ref, 0, kRef);
  r->AddImplementation(FID_CHANNELBURN, ChannelBurn_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDCHANNELSUM, BlendChannelSum_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDCHANNELPRODUCT, BlendChannelProduct_Ref, 0, kRef);
  r->AddImplementation(FID_SHIFTBRIGHTNESS, ShiftBrightness_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPERCHANNEL, BlendPerChannel_Ref, 0, kRef);
  r->AddImplementation(FID_BLENDPERCHANNELINTO, BlendPerChannelInto_Ref, 0, kRef);
}

void RegisterInteger(TFunctionRegistry* r) {
  r->AddImplementation(FID_FINISHBLENDBLOCK, FinishBlendBlock);
  r->AddImplementation(FID_MIXPIXELS, MixPixels_Int);
  r->AddImplementation(FID_MIXPIXELINTO, MixPixelInto_Int);
  r->AddImplementation(FID_BLENDPIXELS, BlendPixels_Int);
  r->AddImplementation(FID_BLENDPIXELINTO, BlendPixelInto_Int);
  r->AddImplementation(FID_BLENDFILL, BlendFill_Int);
  r->AddImplementation(FID_BLENDSPAN, BlendSpan_Int);
  r->AddImplementation(FID_BLENDPIXELSMASTER, BlendPixelsMaster_Int);
  r->AddImplementation(FID_BLENDPIXELINTOMASTER, BlendPixelIntoMaster_Int);
  r->AddImplementation(FID_BLENDCOLORRUN, BlendColorRun_Int);
}

// The lane forms are portable and require nothing, so, registered last, they
// win on every processor.
void RegisterLane(TFunctionRegistry* r) {
  r->AddImplementation(FID_FINISHBLENDBLOCK, FinishBlendBlock);
  r->AddImplementation(FID_MERGEPIXELS, MergePixels_Lane);
  r->AddImplementation(FID_MIXPIXELS, MixPixels_Lane);
  r->AddImplementation(FID_MIXPIXELINTO, MixPixelInto_Lane);
  r->AddImplementation(FID_MIXSPAN, MixSpan_Lane);
  r->AddImplementation(FID_BLENDPIXELS, BlendPixels_Lane);
  r->AddImplementation(FID_BLENDPIXELINTO, BlendPixelInto_Lane);
  r->AddImplementation(FID_BLENDFILL, BlendFill_Lane);
  r->AddImplementation(FID_BLENDSPAN, BlendSpan_Lane);
  r->AddImplementation(FID_BLENDPIXELSMASTER, BlendPixelsMaster_Lane);
  r->AddImplementation(FID_BLENDPIXELINTOMASTER, BlendPixelIntoMaster_Lane);
  r->AddImplementation(FID_BLENDSPANMASTER, BlendSpanMaster_Lane);
  r->AddImplementation(FID_CHANNELMAX, ChannelMax_Lane);
  r->AddImplementation(FID_CHANNELMIN, ChannelMin_Lane);
  r->AddImplementation(FID_CHANNELADD, ChannelAdd_Lane);
  r->AddImplementation(FID_CHANNELSUB, ChannelSub_Lane);
  r->AddImplementation(FID_CHANNELMULTIPLY, ChannelMultiply_Lane);
  r->AddImplementation(FID_CHANNELDIFFERENCE, ChannelDifference_Lane);
  r->AddImplementation(FID_CHANNELEXCLUSION, ChannelExclusion_Lane);
  r->AddImplementation(FID_CHANNELSCALE, ChannelScale_Lane);
  r->AddImplementation(FID_SHIFTBRIGHTNESS, ShiftBrightness_Lane);
  r->AddImplementation(FID_BLENDPERCHANNEL, BlendPerChannel_Lane);
  r->AddImplementation(FID_BLENDPERCHANNELINTO, BlendPerChannelInto_Lane);
#if defined(__SSE2__)
  // Same bytes, faster; bound where the processor has SSE2.
  r->AddImplementation(FID_BLENDSPAN, BlendSpan_SSE2, CpuFeatures(cfSSE2));
  r->AddImplementation(FID_BLENDSPANMASTER, BlendSpanMaster_SSE2, CpuFeatures(cfSSE2));
#endif
}

}  // namespace

void B32_Blend_Initialize() {
  BlendChannelSum = BlendChannelSum_Ref;
  TFunctionRegistry* r = CreateRegistry("B32_Blend bindings");
  RegisterBindings(r);
  RegisterReference(r);
  RegisterInteger(r);
  RegisterLane(r);
  r->RebindAll();
  FillTables();
}
