#include "bitmap/B32_Math.h"

#include <cmath>
#include <cstring>

TFixed FixedDiv(TFixed A, TFixed B) {
  if (B == 0) throw EDivByZero("Division by zero");
  const int64_t q = (int64_t(A) * 65536) / int64_t(B);
  if (q < INT32_MIN || q > INT32_MAX) throw EIntOverflow("Integer overflow");
  return static_cast<TFixed>(q);
}

void SinCosSingle(float Theta, float& Sin, float& Cos) {
  const double t = Theta;
  Sin = static_cast<float>(std::sin(t));
  Cos = static_cast<float>(std::cos(t));
}

float HypotSingle(float X, float Y) {
  const float xx = X * X;
  const float yy = Y * Y;
  const float s = xx + yy;
  return std::sqrt(s);
}

int32_t DivMod(int32_t Dividend, int32_t Divisor, int32_t& Remainder) {
  if (Divisor == 0) throw EDivByZero("Division by zero");
  if (Divisor == -1) {  // INT32_MIN / -1 does not fit in 32 bits
    Remainder = 0;
    if (Dividend == INT32_MIN) throw EIntOverflow("Integer overflow");
    return -Dividend;
  }
  Remainder = Dividend % Divisor;
  return Dividend / Divisor;
}

void PrefixSum_Pas(float* Values, int32_t Count) {
  if (Count < 2) return;
  float v = Values[0];
  for (int32_t i = 1; i < Count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &Values[i], 4);
    if (bits != 0) v = static_cast<float>(double(v) + double(Values[i]));
    Values[i] = v;
  }
}

TPrefixSumProc PrefixSum = PrefixSum_Pas;

// The portable form is bound on every processor, so sums are identical
// everywhere.
void B32_Math_Initialize() { PrefixSum = PrefixSum_Pas; }
