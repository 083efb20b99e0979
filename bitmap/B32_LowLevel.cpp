#include "bitmap/B32_LowLevel.h"

#include <algorithm>
#include <cstring>

#include "bitmap/B32_Math.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void FillLongword_Pas(void* X, int32_t Count, uint32_t Value) {
  uint32_t* p = static_cast<uint32_t*>(X);
  for (int32_t i = Count - 1; i >= 0; --i) p[i] = Value;
}

void FillLongword_Fill(void* X, int32_t Count, uint32_t Value) {
  if (Count > 0) std::fill_n(static_cast<uint32_t*>(X), Count, Value);
}

void FillLongword_Pairs(void* X, int32_t Count, uint32_t Value) {
  if (Count <= 0) return;
  uint32_t* p = static_cast<uint32_t*>(X);
  if (Count & 1) {
    *p++ = Value;
    --Count;
  }
  const uint64_t pair = (uint64_t(Value) << 32) | Value;
  for (int32_t i = 0; i < Count; i += 2) std::memcpy(p + i, &pair, 8);
}

void FillLongword_Wide(void* X, int32_t Count, uint32_t Value) {
  uint32_t* p = static_cast<uint32_t*>(X);
  if (Count < 32 || (reinterpret_cast<uintptr_t>(p) & 3) != 0) {
    for (int32_t i = 0; i < Count; ++i) p[i] = Value;
    return;
  }
  // Single values up to 16-byte alignment, then 16-byte blocks, then the rest.
  while ((reinterpret_cast<uintptr_t>(p) & 15) != 0) {
    *p++ = Value;
    --Count;
  }
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi32(static_cast<int>(Value));
  for (; Count >= 4; Count -= 4, p += 4) _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
#else
  for (; Count >= 4; Count -= 4, p += 4) p[0] = p[1] = p[2] = p[3] = Value;
#endif
  while (Count-- > 0) *p++ = Value;
}

TFillLongwordProc FillLongword = FillLongword_Pas;

void MoveLongword(const void* Source, void* Dest, int32_t Count) {
  if (Source != Dest && Count > 0) std::memmove(Dest, Source, size_t(Count) * 4);
}

int32_t ClampIndex(int32_t Value, int32_t Min, int32_t Max) {
  if (Value > Max) return Max;
  if (Value < Min) return Min;
  return Value;
}

// An empty range (Max = Min - 1) has nothing to wrap into: the division by
// its zero span is reported instead of faulting.
static inline int64_t SpanOf(int32_t Min, int32_t Max) {
  const int64_t n = int64_t(Max) - Min + 1;
  if (n == 0) throw EDivByZero("Division by zero");
  return n;
}

int32_t WrapIndex(int32_t Value, int32_t Min, int32_t Max) {
  const int64_t n = SpanOf(Min, Max);
  if (Value < Min) return int32_t(Max + (int64_t(Value) - Max) % n);
  return int32_t(Min + (int64_t(Value) - Min) % n);
}

int32_t MirrorIndex(int32_t Value, int32_t Min, int32_t Max) {
  const int64_t n = SpanOf(Min, Max);
  const int64_t d = Value < Min ? int64_t(Value) - Max : int64_t(Value) - Min;
  const int64_t q = d / n;
  const int64_t r = d % n;
  const int64_t v = r + (Value < Min ? Max : Min);
  return int32_t((q & 1) ? int64_t(Min) + Max - v : v);
}

int32_t WrapIndexPow2(int32_t Value, int32_t Min, int32_t Max) {
  return int32_t(uint32_t(Min) + ((uint32_t(Value) - uint32_t(Min)) & (uint32_t(Max) - uint32_t(Min))));
}

int32_t MirrorIndexPow2(int32_t Value, int32_t Min, int32_t Max) {
  const uint32_t off = uint32_t(Value) - uint32_t(Min);
  const uint32_t mask = uint32_t(Max) - uint32_t(Min);
  const uint32_t d = off & mask;
  if (off & (mask + 1)) return int32_t(uint32_t(Max) - d);
  return int32_t(uint32_t(Min) + d);
}

TWrapProc WrapFunctionFor(TWrapMode Mode) {
  switch (Mode) {
    case wmRepeat: return WrapIndex;
    case wmMirror: return MirrorIndex;
    default: return ClampIndex;
  }
}

TWrapProc BestWrapFunctionFor(TWrapMode Mode, int32_t Min, int32_t Max) {
  const bool pow2 = Min >= 0 && Max >= Min && ((uint32_t(Max - Min) & (uint32_t(Max - Min) + 1u)) == 0);
  switch (Mode) {
    case wmRepeat: return pow2 ? WrapIndexPow2 : WrapIndex;
    case wmMirror: return pow2 ? MirrorIndexPow2 : MirrorIndex;
    default: return ClampIndex;
  }
}

int32_t DivModInt(int32_t Dividend, int32_t Divisor, int32_t& Remainder) {
  return DivMod(Dividend, Divisor, Remainder);
}

void B32_LowLevel_Initialize() {
  TFunctionRegistry* r = CreateRegistry("B32_LowLevel bindings");
  r->AddBinding(FID_FILLLONGWORD, &FillLongword);
  r->AddImplementation(FID_FILLLONGWORD, FillLongword_Pas);
  r->AddImplementation(FID_FILLLONGWORD, FillLongword_Fill);
  r->AddImplementation(FID_FILLLONGWORD, FillLongword_Pairs, CpuFeatures(cfMMX));
  r->AddImplementation(FID_FILLLONGWORD, FillLongword_Wide, CpuFeatures(cfSSE2));
  r->RebindAll();
}
