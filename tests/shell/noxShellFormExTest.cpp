#include <gtest/gtest.h>

#include "shell/noxShellFormEx.h"

TEST(noxShellFormEx, DpiQueueGrowth) {
  int32_t c = 0;
  std::vector<int32_t> seen;
  for (int i = 0; i < 9; ++i) seen.push_back(c = NextDpiChangeCapacity(c));
  EXPECT_EQ(seen, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
}
