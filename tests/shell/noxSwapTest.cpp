#include "shell/noxSwap.h"

#include <gtest/gtest.h>

TEST(Swap16, ExchangesTheTwoBytes) {
  const struct { uint16_t in, out; } cases[] = {
      {0x1234, 0x3412}, {0x00FF, 0xFF00}, {0xFF00, 0x00FF}, {0, 0}, {0xFFFF, 0xFFFF}, {0x4000, 0x0040}};
  for (const auto& c : cases) EXPECT_EQ(Swap16(c.in), c.out) << std::hex << c.in;
}

TEST(Swap16, TwiceGivesTheValueBack) {
  for (uint32_t v = 0; v <= 0xFFFF; ++v) ASSERT_EQ(Swap16(Swap16(static_cast<uint16_t>(v))), v);
}
