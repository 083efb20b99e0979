#include "bitmap/B32_LowLevel.h"

#include <gtest/gtest.h>

#include <vector>

#include "bitmap/B32_UnitInit.h"

TEST(B32_LowLevelTest, IndexWrapping) {
  struct Case {
    TWrapProc F;
    const char* Name;
    int32_t V, Min, Max, Want;
  };
  const Case cases[] = {
      {ClampIndex, "Clamp", 5, 0, 3, 3},
      {ClampIndex, "Clamp", -1, 0, 3, 0},
      {ClampIndex, "Clamp", 2, 0, 3, 2},
      {ClampIndex, "Clamp", 5, 3, 0, 0},  // Max test first
      {WrapIndex, "Wrap", -1, 0, 2, 2},
      {WrapIndex, "Wrap", 3, 0, 2, 0},
      {WrapIndex, "Wrap", -4, 0, 2, 2},
      {WrapIndex, "Wrap", 7, 2, 4, 4},
      {WrapIndex, "Wrap", 1, 2, 4, 4},
      {MirrorIndex, "Mirror", 3, 0, 2, 2},
      {MirrorIndex, "Mirror", -1, 0, 2, 0},
      {MirrorIndex, "Mirror", 5, 0, 2, 0},
      {MirrorIndex, "Mirror", 6, 0, 2, 0},
      {MirrorIndex, "Mirror", -4, 0, 2, 2},
      {MirrorIndex, "Mirror", 1, 0, 2, 1},
      {WrapIndexPow2, "WrapPow2", -1, 0, 3, 3},
      {WrapIndexPow2, "WrapPow2", 9, 0, 3, 1},
      {WrapIndexPow2, "WrapPow2", 6, 1, 4, 2},
      {MirrorIndexPow2, "MirrorPow2", 4, 0, 3, 3},
      {MirrorIndexPow2, "MirrorPow2", -1, 0, 3, 0},
      {MirrorIndexPow2, "MirrorPow2", 2, 0, 3, 2},
  };
  for (const Case& c : cases) EXPECT_EQ(c.F(c.V, c.Min, c.Max), c.Want) << c.Name << "(" << c.V << ")";
}

TEST(B32_LowLevelTest, PowerOfTwoFormsAgreeWithGeneralForms) {
  for (int32_t min : {0, 1, 5})
    for (int32_t span : {1, 2, 4, 8})
      for (int32_t v = -40; v <= 40; ++v) {
        const int32_t max = min + span - 1;
        EXPECT_EQ(WrapIndexPow2(v, min, max), WrapIndex(v, min, max)) << v;
        EXPECT_EQ(MirrorIndexPow2(v, min, max), MirrorIndex(v, min, max)) << v;
      }
}

TEST(B32_LowLevelTest, WrapFunctionChoice) {
  EXPECT_EQ(WrapFunctionFor(wmClamp), ClampIndex);
  EXPECT_EQ(WrapFunctionFor(wmRepeat), WrapIndex);
  EXPECT_EQ(WrapFunctionFor(wmMirror), MirrorIndex);
  struct Case {
    TWrapMode Mode;
    int32_t Min, Max;
    TWrapProc Want;
  };
  const Case cases[] = {
      {wmRepeat, 1, 4, WrapIndexPow2}, {wmRepeat, 0, 4, WrapIndex},      {wmRepeat, -4, -1, WrapIndex},
      {wmMirror, 0, 7, MirrorIndexPow2}, {wmMirror, 0, 5, MirrorIndex}, {wmClamp, 0, 7, ClampIndex},
      {wmRepeat, 3, 2, WrapIndex},  // empty span
  };
  for (const Case& c : cases) EXPECT_EQ(BestWrapFunctionFor(c.Mode, c.Min, c.Max), c.Want);
}

TEST(B32_LowLevelTest, EmptyRangeAndZeroDivisorRaise) {
  int32_t r = 0;
  EXPECT_THROW(DivModInt(1, 0, r), EDivByZero);
  EXPECT_THROW(WrapIndex(1, 0, -1), EDivByZero);
  EXPECT_THROW(MirrorIndex(1, 0, -1), EDivByZero);
  EXPECT_EQ(DivModInt(-7, 3, r), -2);
  EXPECT_EQ(r, -1);
}

TEST(B32_LowLevelTest, EveryFillFormWritesExactlyCountValues) {
  InitializeBitmapLibrary();
  const TFillLongwordProc forms[] = {FillLongword_Pas, FillLongword_Fill, FillLongword_Pairs, FillLongword_Wide,
                                     FillLongword};
  alignas(16) uint32_t buf[64];
  for (TFillLongwordProc fill : forms)
    for (int start : {0, 1, 2, 3})  // 16-byte aligned and 4, 8, 12 mod 16
      for (int count : {-1, 0, 1, 3, 31, 32, 33, 40}) {
        std::fill(std::begin(buf), std::end(buf), 0u);
        fill(buf + start, count, 0xDEADBEEF);
        for (int i = 0; i < 64; ++i) {
          const bool inside = i >= start && i < start + count;
          ASSERT_EQ(buf[i], inside ? 0xDEADBEEFu : 0u) << "start " << start << " count " << count << " at " << i;
        }
      }
}

TEST(B32_LowLevelTest, FillIsBoundToTheWidestFormTheProcessorHas) {
  InitializeBitmapLibrary();
  const TCPUFeatures f = CpuFeatureSet();
  const TFillLongwordProc want = InFeatureSet(f, cfSSE2) ? FillLongword_Wide
                                 : InFeatureSet(f, cfMMX) ? FillLongword_Pairs
                                                          : FillLongword_Fill;
  EXPECT_EQ(FillLongword, want);
}

TEST(B32_LowLevelTest, MoveHandlesOverlap) {
  std::vector<uint32_t> v = {1, 2, 3, 4, 5, 6};
  MoveLongword(v.data(), v.data() + 2, 4);
  EXPECT_EQ(v, (std::vector<uint32_t>{1, 2, 1, 2, 3, 4}));
  MoveLongword(v.data() + 2, v.data(), 4);
  EXPECT_EQ(v, (std::vector<uint32_t>{1, 2, 3, 4, 3, 4}));
  MoveLongword(v.data(), v.data(), 6);
  EXPECT_EQ(v, (std::vector<uint32_t>{1, 2, 3, 4, 3, 4}));
}
