#include "bitmap/B32_OrdinalMaps.h"

#include <gtest/gtest.h>

TEST(B32_OrdinalMapsTest, AssignCopiesSizeAndValuesWithOneChange) {
  TIntegerMap src(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src.SetValue(x, y, x * 10 + y - 7);
  TIntegerMap dst;
  EXPECT_TRUE(dst.Empty());
  int changes = 0;
  dst.SetOnChange([&](TObject* s) {
    EXPECT_EQ(s, &dst);
    ++changes;
  });
  dst.Assign(&src);
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(dst.GetWidth(), 3);
  ASSERT_EQ(dst.GetHeight(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dst.GetValue(x, y), x * 10 + y - 7);
  EXPECT_EQ(dst.GetValPtr(1, 1), dst.GetBits() + 4);
}

TEST(B32_OrdinalMapsTest, ResizeKeepsLeadingValuesAndZeroSizeFrees) {
  TIntegerMap m(4, 1);
  for (int x = 0; x < 4; ++x) m.SetValue(x, 0, x + 1);
  m.SetSize(2, 1);
  EXPECT_EQ(m.GetValue(0, 0), 1);
  EXPECT_EQ(m.GetValue(1, 0), 2);
  m.SetSize(0, 5);
  EXPECT_EQ(m.GetBits(), nullptr);
  EXPECT_TRUE(m.Empty());
  m.Delete();
  EXPECT_EQ(m.GetHeight(), 0);
}

TEST(B32_OrdinalMapsTest, AssignFromAForeignSourceFailsButStillNotifies) {
  TIntegerMap m(1, 1);
  TPersistent other;
  int changes = 0;
  m.SetOnChange([&](TObject*) { ++changes; });
  EXPECT_THROW(m.Assign(&other), Exception);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(m.GetUpdateCount(), 0);
}
