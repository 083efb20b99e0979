// 16.16 fixed-point arithmetic, single-precision helpers, integer division
// with remainder and the prefix sum of the polygon rasteriser.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"

// Whole parts of a 16.16 value: floor, ceiling, and nearest with halves
// rounding down.
inline int32_t FixedFloor(TFixed A) { return A >> 16; }
inline int32_t FixedCeil(TFixed A) { return static_cast<int32_t>((int64_t(A) + 0xFFFF) >> 16); }
inline int32_t FixedRound(TFixed A) { return static_cast<int32_t>((int64_t(A) + 0x7FFF) >> 16); }

// The 64-bit product shifted right 16, low 32 bits kept.
inline TFixed FixedMul(TFixed A, TFixed B) {
  return static_cast<TFixed>(static_cast<uint32_t>(static_cast<uint64_t>((int64_t(A) * int64_t(B)) >> 16)));
}

// (A shl 16) div B, truncating. A zero divisor or a quotient that does not
// fit in 32 bits raises EDivByZero / EIntOverflow.
TFixed FixedDiv(TFixed A, TFixed B);

// Sine and cosine of Theta in double precision, each rounded to Single.
void SinCosSingle(float Theta, float& Sin, float& Cos);
// sqrt(X * X + Y * Y) with every step in single precision.
float HypotSingle(float X, float Y);

// Truncating 32-bit division; stores the remainder (sign of the dividend).
// A zero divisor raises EDivByZero.
int32_t DivMod(int32_t Dividend, int32_t Divisor, int32_t& Remainder);

// Replaces Values[i] (i >= 1) by the sum of Values[0..i], in place; nothing
// when Count < 2. Bound at start-up of the unit.
using TPrefixSumProc = void (*)(float* Values, int32_t Count);
extern TPrefixSumProc PrefixSum;
// The portable form: each step adds in double precision and stores the Single
// result; a zero element leaves the running sum as it is.
void PrefixSum_Pas(float* Values, int32_t Count);

void B32_Math_Initialize();
