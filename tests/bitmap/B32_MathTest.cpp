#include "bitmap/B32_Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bitmap/B32_UnitInit.h"

TEST(B32_MathTest, FixedPointRounding) {
  struct Case {
    TFixed A;
    int32_t Floor, Ceil, Round;
  };
  const Case cases[] = {
      {0x18000, 1, 2, 1},       // 1.5: halves round down
      {0x28000, 2, 3, 2},       // 2.5
      {-0x8000, -1, 0, -1},     // -0.5
      {0x4000, 0, 1, 0},        // 0.25
      {0x30000, 3, 3, 3},       // 3.0
      {-0x18001, -2, -1, -2},   // just below -1.5
      {0x7FFFFFFF, 32767, 32768, 32768},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedFloor(c.A), c.Floor) << std::hex << c.A;
    EXPECT_EQ(FixedCeil(c.A), c.Ceil) << std::hex << c.A;
    EXPECT_EQ(FixedRound(c.A), c.Round) << std::hex << c.A;
  }
}

TEST(B32_MathTest, FixedMulAndDiv) {
  struct Case {
    TFixed A, B, Mul, Div;
  };
  const Case cases[] = {
      {0x18000, 0x20000, 0x30000, 0xC000},     // 1.5 * 2, 1.5 / 2
      {-0x18000, 0x20000, -0x30000, -0xC000},  // signs
      {0x10000, 0x30000, 0x30000, 0x5555},     // 1 / 3 truncates
      {-0x10000, 0x30000, -0x30000, -0x5555},  // toward zero
      {1, 1, 0, 0x10000},                      // product below one step
      {-1, 1, -1, -0x10000},                   // arithmetic shift floors
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedMul(c.A, c.B), c.Mul);
    EXPECT_EQ(FixedDiv(c.A, c.B), c.Div);
  }
  EXPECT_THROW(FixedDiv(1, 0), EDivByZero);
  EXPECT_THROW(FixedDiv(0x10000000, 1), EIntOverflow);
}

TEST(B32_MathTest, DivModTruncates) {
  struct Case {
    int32_t A, B, Q, R;
  };
  const Case cases[] = {{-7, 3, -2, -1}, {7, -3, -2, 1}, {7, 3, 2, 1}, {-7, -3, 2, -1}, {5, -1, -5, 0}};
  for (const Case& c : cases) {
    int32_t r = 99;
    EXPECT_EQ(DivMod(c.A, c.B, r), c.Q);
    EXPECT_EQ(r, c.R);
  }
  int32_t r;
  EXPECT_THROW(DivMod(1, 0, r), EDivByZero);
  EXPECT_THROW(DivMod(INT32_MIN, -1, r), EIntOverflow);
}

TEST(B32_MathTest, SinglePrecisionHelpers) {
  float s, c;
  SinCosSingle(0.5f, s, c);
  EXPECT_EQ(s, float(std::sin(0.5)));
  EXPECT_EQ(c, float(std::cos(0.5)));
  EXPECT_EQ(HypotSingle(3, 4), 5.0f);
}

TEST(B32_MathTest, PrefixSum) {
  InitializeBitmapLibrary();
  std::vector<float> v = {1, 2, 3, 4};
  PrefixSum(v.data(), 4);
  EXPECT_EQ(v, (std::vector<float>{1, 3, 6, 10}));
  std::vector<float> z = {-0.0f, 0.0f, 2, 0.0f};  // zeros keep the running sum
  PrefixSum(z.data(), 4);
  EXPECT_TRUE(std::signbit(z[1]));
  EXPECT_EQ(z[2], 2.0f);
  EXPECT_EQ(z[3], 2.0f);
  std::vector<float> one = {5};
  PrefixSum(one.data(), 1);
  EXPECT_EQ(one[0], 5.0f);
  // 2^24 + 1 is not representable: each step rounds to Single.
  std::vector<float> big = {16777216.0f, 1, 1};
  PrefixSum(big.data(), 3);
  EXPECT_EQ(big[1], 16777216.0f);
  EXPECT_EQ(big[2], 16777216.0f);
}
