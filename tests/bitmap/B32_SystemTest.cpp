#include "bitmap/B32_System.h"

#include <gtest/gtest.h>

namespace {
// Identification registers of an imagined processor of family 6.
TCpuIdInfo Cpu(uint32_t edx, uint32_t maxExt, uint32_t extEdx) {
  TCpuIdInfo i;
  i.HasCpuId = true;
  i.Leaf1Eax = 0x600;
  i.Leaf1Edx = edx;
  i.MaxExtLeaf = maxExt;
  i.Ext1Edx = extEdx;
  return i;
}

TCPUFeatures SetOf(const TCpuIdInfo& info) {
  TCPUFeatures s = 0;
  for (int f = cfMMX; f <= cf3DNowExt; ++f)
    if (CpuInfoHasFeature(info, TCPUFeature(f))) s |= TCPUFeatures(1u << f);
  return s;
}
}  // namespace

TEST(B32_SystemTest, FeatureBitsFromIdentification) {
  constexpr uint32_t MMX = 1u << 23, SSE = 1u << 25, SSE2 = 1u << 26;
  constexpr uint32_t X3DNow = 1u << 31, X3DNowExt = 1u << 30, XExtMMX = 1u << 22;
  const uint32_t allExt = X3DNow | X3DNowExt | XExtMMX;
  struct Case {
    TCpuIdInfo Info;
    TCPUFeatures Want;
  };
  TCpuIdInfo noCpuId;
  TCpuIdInfo family4 = Cpu(MMX | SSE | SSE2, 0x80000008, allExt);
  family4.Leaf1Eax = 0x4F0;
  const Case cases[] = {
      {noCpuId, 0},
      {family4, 0},
      {Cpu(MMX | SSE | SSE2, 0x80000008, 0), CpuFeatures(cfMMX, cfExtMMX, cfSSE, cfSSE2)},
      {Cpu(MMX, 0x80000001, allExt), CpuFeatures(cfMMX, cfExtMMX, cf3DNow, cf3DNowExt)},
      // Highest extended leaf exactly 0x80000000: no extended features, and
      // the extended MMX flag follows SSE alone.
      {Cpu(MMX, 0x80000000, allExt), CpuFeatures(cfMMX)},
      {Cpu(MMX | SSE, 0x80000000, allExt), CpuFeatures(cfMMX, cfExtMMX, cfSSE)},
  };
  for (const Case& c : cases) EXPECT_EQ(SetOf(c.Info), c.Want);
}

TEST(B32_SystemTest, CachedSetMatchesTheProcessor) {
  B32_System_Initialize();
  EXPECT_EQ(CpuFeatureSet(), SetOf(ReadCpuIdInfo()));
#if defined(__x86_64__)
  EXPECT_TRUE(InFeatureSet(CpuFeatureSet(), cfSSE2));
  EXPECT_TRUE(CpuHasFeature(cfSSE2));
#endif
}

TEST(B32_SystemTest, TimerReadsSmallNonNegativeValues) {
  TPerfTimer t;
  t.Start();
  const int64_t us = t.ReadMicroseconds();
  EXPECT_GE(us, 0);
  EXPECT_LT(us, 1000000);
  const uint32_t a = TickCount();
  EXPECT_LE(TickCount() - a, 1000u);
}
