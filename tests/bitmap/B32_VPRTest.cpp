#include "bitmap/B32_VPR.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "bitmap/B32_UnitInit.h"

namespace {
using Pts = TArrayOfFloatPoint;
// Coverage per pixel, gathered from the spans.
using Grid = std::map<std::pair<int, int>, float>;

Grid Rasterize(const TArrayOfArrayOfFloatPoint& P, TFloatRect Clip = {0, 0, 32, 32}) {
  InitializeBitmapLibrary();
  Grid g;
  RasterizePolyPolygon(P, Clip, [&](const TValueSpan& s, int32_t y) {
    for (int32_t x = s.X1; x <= s.X2; ++x)
      if (s.Values[x - s.X1] != 0) g[{x, y}] = s.Values[x - s.X1];
  });
  return g;
}

float Total(const Grid& g) {
  float t = 0;
  for (const auto& [k, v] : g) t += v;
  return t;
}
}  // namespace

TEST(B32_VPR, UnitSquareSignFollowsOrientation) {
  const Grid cw = Rasterize({{{2, 0}, {3, 0}, {3, 1}, {2, 1}}});
  ASSERT_EQ(cw.size(), 1u);
  EXPECT_FLOAT_EQ(cw.at({2, 0}), -1);
  const Grid ccw = Rasterize({{{2, 0}, {2, 1}, {3, 1}, {3, 0}}});
  EXPECT_FLOAT_EQ(ccw.at({2, 0}), 1);
}

TEST(B32_VPR, ExactAreasOfSmallShapes) {
  struct Case {
    const char* name;
    Pts poly;
    float area;
  } cases[] = {
      {"rect", {{10, 10}, {20, 10}, {20, 20}, {10, 20}}, 100},
      {"half-pixel rect", {{1.5f, 1}, {4.5f, 1}, {4.5f, 3}, {1.5f, 3}}, 6},
      {"triangle", {{0, 0}, {8, 0}, {0, 8}}, 32},
      {"thin sliver", {{3.25f, 2.5f}, {9.75f, 2.5f}, {9.75f, 2.75f}, {3.25f, 2.75f}}, 6.5f * 0.25f},
      {"diamond", {{5, 1}, {9, 5}, {5, 9}, {1, 5}}, 32},
      {"skewed quad", {{1.3f, 0.7f}, {7.9f, 2.2f}, {6.1f, 7.4f}, {0.6f, 5.1f}}, 0},
  };
  for (Case& c : cases) {
    if (c.area == 0) {  // shoelace
      float a = 0;
      for (size_t i = 0; i < c.poly.size(); ++i) {
        const TFloatPoint &p = c.poly[i], &q = c.poly[(i + 1) % c.poly.size()];
        a += p.X * q.Y - q.X * p.Y;
      }
      c.area = std::fabs(a) / 2;
    }
    const Grid g = Rasterize({c.poly});
    EXPECT_NEAR(std::fabs(Total(g)), c.area, 1e-3) << c.name;
    for (const auto& [k, v] : g) {
      EXPECT_LE(std::fabs(v), 1 + 1e-5) << c.name;
      EXPECT_GE(v * Total(g), 0) << c.name << " pixels share one sign";
    }
  }
  // Per-pixel values of the half-pixel rectangle: 0.5 at the edge columns.
  const Grid h = Rasterize({{{1.5f, 1}, {4.5f, 1}, {4.5f, 3}, {1.5f, 3}}});
  for (int y = 1; y < 3; ++y) {
    EXPECT_FLOAT_EQ(std::fabs(h.at({1, y})), 0.5f);
    EXPECT_FLOAT_EQ(std::fabs(h.at({2, y})), 1);
    EXPECT_FLOAT_EQ(std::fabs(h.at({4, y})), 0.5f);
  }
  EXPECT_EQ(h.count({5, 1}), 0u);
  // A diagonal cut through one pixel leaves half of it.
  const Grid t = Rasterize({{{0, 0}, {1, 0}, {0, 1}}});
  EXPECT_FLOAT_EQ(std::fabs(t.at({0, 0})), 0.5f);
}

TEST(B32_VPR, OverlapsAddUpAndClippingLimits) {
  const Pts a{{0, 0}, {4, 0}, {4, 4}, {0, 4}}, b{{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  const Grid g = Rasterize({a, b});
  EXPECT_FLOAT_EQ(std::fabs(g.at({3, 3})), 2);
  EXPECT_FLOAT_EQ(std::fabs(g.at({1, 1})), 1);
  EXPECT_NEAR(std::fabs(Total(g)), 32, 1e-4);
  // Clipped to (0,0,3,3): only the part inside is seen.
  const Grid c = Rasterize({a}, TFloatRect{0, 0, 3, 3});
  EXPECT_NEAR(std::fabs(Total(c)), 9, 1e-4);
  // Wholly outside, or fewer than 3 points: nothing.
  EXPECT_TRUE(Rasterize({{{40, 40}, {50, 40}, {50, 50}}}).empty());
  EXPECT_TRUE(Rasterize({{{1, 1}, {5, 5}}}).empty());
  EXPECT_TRUE(BuildScanLines(Pts{{0, 0}, {NAN, 5}, {5, 5}, {0, 0}}).empty());
}

TEST(B32_VPR, ScanLinesSplitEdgesPerRow) {
  const TScanLines l = BuildScanLines(Pts{{0, 0.5f}, {2, 2.5f}, {0, 2.5f}, {0, 0.5f}});
  ASSERT_EQ(l.size(), 4u);  // rows 0..2 and one spare
  EXPECT_EQ(l[0].Y, 0);
  ASSERT_EQ(l[0].Count, 2);
  EXPECT_FLOAT_EQ(l[0].Segments[0].Y1, 0.5f);
  EXPECT_FLOAT_EQ(l[0].Segments[0].X2, 0.5f);
  EXPECT_FLOAT_EQ(l[0].Segments[0].Y2, 1);
  EXPECT_EQ(l[1].Count, 2);
  EXPECT_EQ(l[2].Count, 3);
  EXPECT_EQ(l[3].Count, 0);
}
