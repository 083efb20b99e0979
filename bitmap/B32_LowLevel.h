// Filling and moving runs of 32-bit values, and mapping out-of-range indexes
// back into a range (clamp, repeat, mirror).
#pragma once

#include <cstdint>

#include "bitmap/B32.h"
#include "bitmap/B32_Bindings.h"

// Writes Value into Count consecutive 32-bit values at X; nothing when
// Count <= 0. Bound at start-up ("B32_LowLevel bindings", binding 0).
using TFillLongwordProc = void (*)(void* X, int32_t Count, uint32_t Value);
extern TFillLongwordProc FillLongword;

constexpr int32_t FID_FILLLONGWORD = 0;

// The registered forms; all write the same memory.
void FillLongword_Pas(void* X, int32_t Count, uint32_t Value);    // last to first
void FillLongword_Fill(void* X, int32_t Count, uint32_t Value);   // first to last
void FillLongword_Pairs(void* X, int32_t Count, uint32_t Value);  // 64-bit pairs
void FillLongword_Wide(void* X, int32_t Count, uint32_t Value);   // 128-bit stores

// Moves Count values with overlap handled; nothing when Source is Dest.
void MoveLongword(const void* Source, void* Dest, int32_t Count);

// Index wrapping over the inclusive range Min..Max.
using TWrapProc = int32_t (*)(int32_t Value, int32_t Min, int32_t Max);

int32_t ClampIndex(int32_t Value, int32_t Min, int32_t Max);
int32_t WrapIndex(int32_t Value, int32_t Min, int32_t Max);
int32_t MirrorIndex(int32_t Value, int32_t Min, int32_t Max);
// Masking forms for a span (Max - Min + 1) that is a power of two.
int32_t WrapIndexPow2(int32_t Value, int32_t Min, int32_t Max);
int32_t MirrorIndexPow2(int32_t Value, int32_t Min, int32_t Max);

TWrapProc WrapFunctionFor(TWrapMode Mode);
// As WrapFunctionFor, with the masking forms when Min >= 0 and the span is a
// power of two.
TWrapProc BestWrapFunctionFor(TWrapMode Mode, int32_t Min, int32_t Max);

// Truncating division; the remainder takes the dividend's sign. A zero
// divisor raises EDivByZero.
int32_t DivModInt(int32_t Dividend, int32_t Divisor, int32_t& Remainder);

void B32_LowLevel_Initialize();
