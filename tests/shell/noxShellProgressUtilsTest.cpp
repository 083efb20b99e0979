#include <gtest/gtest.h>

#include "shell/noxShellProgressUtils.h"

TEST(noxShellProgressUtils, RangeClamping) {
  TnoxProgressRange r{};
  EXPECT_EQ(noxProgressFraction(10, 10, 10, &r), 1.0);
  EXPECT_EQ(r.Min, 9);
  EXPECT_EQ(noxProgressFraction(0, 100, 150), 1.0);
  EXPECT_EQ(noxProgressFraction(0, 100, -5), 0.0);
  EXPECT_EQ(noxProgressFraction(20, 10, 0), 1.0);  // reversed: full
}

TEST(noxShellProgressUtils, ClassicSegments) {
  const auto g = noxClassicProgressGeometry(noxBounds(0, 0, 100, 16), 0.5, true);
  EXPECT_EQ(g.Track, noxRect(2, 2, 98, 14));
  EXPECT_EQ(g.Filled.Width(), 48);
  ASSERT_EQ(g.Segments.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(g.Segments[i], noxBounds(2 + 10 * i, 2, 8, 12));
  // Vertical: fills from the bottom up.
  const auto v = noxClassicProgressGeometry(noxBounds(0, 0, 16, 100), 0.5, false);
  ASSERT_FALSE(v.Segments.empty());
  EXPECT_EQ(v.Segments[0].Bottom, 98);
  EXPECT_EQ(v.Segments[0].Top, 90);
  // Too small for a track: only the frame and background.
  const auto tiny = noxClassicProgressGeometry(noxBounds(0, 0, 3, 3), 1.0, true);
  EXPECT_TRUE(tiny.Track.IsEmpty());
  EXPECT_TRUE(tiny.Segments.empty());
}

TEST(noxShellProgressUtils, StyledChunks) {
  const TnoxRect content = noxBounds(0, 0, 200, 10);
  EXPECT_TRUE(noxProgressChunks(content, 0.0, true, 8, 2).empty());
  const auto one = noxProgressChunks(content, 0.01, true, 8, 2);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], noxBounds(0, 0, 8, 10));  // rounded up to a whole chunk
  const auto full = noxProgressChunks(content, 1.0, true, 8, 2);
  ASSERT_EQ(full.size(), 20u);
  EXPECT_EQ(full.back(), noxRect(190, 0, 198, 10));
  const auto cut = noxProgressChunks(noxBounds(0, 0, 195, 10), 1.0, true, 8, 2);
  EXPECT_EQ(cut.back(), noxRect(190, 0, 195, 10));  // cut at the content edge
  EXPECT_EQ(noxProgressChunks(content, 0.5, true, 0, 0), (std::vector<TnoxRect>{noxBounds(0, 0, 100, 10)}));
}

TEST(noxShellProgressUtils, RecolouredChunks) {
  uint8_t px[6] = {10, 200, 100, 255, 255, 255};  // B, G, R
  noxRecolourBGR(px, 2, 1);
  EXPECT_EQ(px[2], 149);  // 0.3*100 + 0.59*200 + 0.11*10 = 149.1
  EXPECT_EQ(px[1], 0);
  EXPECT_EQ(px[5], 255);
  uint8_t b[3] = {0, 0, 50};
  noxRecolourBGR(b, 1, 3);
  EXPECT_EQ(b[0], 15);
  EXPECT_EQ(b[2], 0);
}
