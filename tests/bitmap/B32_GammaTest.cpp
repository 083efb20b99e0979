#include "bitmap/B32_Gamma.h"

#include <gtest/gtest.h>

#include "bitmap/B32_UnitInit.h"

TEST(B32_GammaTest, StartUpTableIsGamma22) {
  InitializeBitmapLibrary();
  const int idx[] = {0, 1, 64, 128, 191, 254, 255};
  const int want[] = {0, 21, 136, 186, 224, 255, 255};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(GammaEncodeTable[idx[i]], want[i]) << idx[i];
  for (int i = 1; i < 256; ++i) EXPECT_GE(GammaEncodeTable[i], GammaEncodeTable[i - 1]);
}

TEST(B32_GammaTest, GammaOneIsIdentity) {
  SetGamma(1.0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(GammaEncodeTable[i], i);
  SetGamma(2.2);
  EXPECT_EQ(GammaEncodeTable[128], 186);
}
