#include "bitmap/B32_VectorUtils.h"

#include <gtest/gtest.h>

#include <cmath>

using Pts = TArrayOfFloatPoint;

TEST(B32_VectorUtils, ClosePolygon) {
  const Pts closed{{0, 0}, {4, 0}, {0, 4}, {0, 0}};
  EXPECT_EQ(ClosePolygon(closed), closed);
  EXPECT_EQ(ClosePolygon(Pts{{0, 0}, {4, 0}, {0, 4}}), closed);
  EXPECT_EQ(ClosePolygon(Pts{{1, 1}}).size(), 1u);
  EXPECT_TRUE(ClosePolygon(Pts{}).empty());
}

TEST(B32_VectorUtils, CircleAndEllipsePoints) {
  const Pts c = Circle(TFloatPoint{5, 5}, 10, 0);
  ASSERT_EQ(c.size(), 19u);  // chord error under 1/8 pixel
  EXPECT_EQ(c[0], (TFloatPoint{15, 5}));
  for (const TFloatPoint& p : c) EXPECT_NEAR(std::hypot(p.X - 5, p.Y - 5), 10, 1e-4);
  const Pts q = Circle(TFloatPoint{0, 0}, 2, 4);
  ASSERT_EQ(q.size(), 4u);
  EXPECT_NEAR(q[1].X, 0, 1e-6);
  EXPECT_NEAR(q[1].Y, 2, 1e-6);
  const Pts e = Ellipse(TFloatPoint{1, 1}, TFloatPoint{3, 2}, 4);
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0], (TFloatPoint{4, 1}));
  EXPECT_NEAR(e[1].Y, 3, 1e-6);
  EXPECT_NEAR(e[2].X, -2, 1e-6);
}

TEST(B32_VectorUtils, NormalsOfASquare) {
  const Pts n = BuildNormals(Pts{{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_EQ(n, (Pts{{0, -1}, {1, 0}, {0, 1}, {-1, 0}}));
  // A zero-length edge keeps its unnormalised (zero) normal.
  EXPECT_EQ(BuildNormals(Pts{{3, 3}, {3, 3}})[0], (TFloatPoint{0, 0}));
}

TEST(B32_VectorUtils, GrowOpenSegmentAndClosedSquare) {
  // Two points, open: a join at the first point and a final join at the last.
  const Pts seg = BuildPolyline(Pts{{0, 0}, {10, 0}}, 2, jsMiter, false);
  EXPECT_EQ(seg, (Pts{{0, -2}, {10, -2}}));
  // A closed square grown by 1 with miters is the square one larger.
  const Pts sq = BuildPolyline(Pts{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, jsMiter, true);
  EXPECT_EQ(sq, (Pts{{-1, -1}, {11, -1}, {11, 11}, {-1, 11}}));
  // Bevel: the outer corners get two points each.
  EXPECT_EQ(BuildPolyline(Pts{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, jsBevel, true).size(), 8u);
  // Round joins put arc points on the radius around each corner.
  const Pts rr = BuildPolyline(Pts{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 3, jsRound, true);
  EXPECT_GT(rr.size(), 8u);
  for (const TFloatPoint& p : rr) {
    const float cx = std::clamp(p.X, 0.0f, 10.0f), cy = std::clamp(p.Y, 0.0f, 10.0f);
    EXPECT_NEAR(std::hypot(p.X - cx, p.Y - cy), 3, 1e-4);
  }
  EXPECT_TRUE(BuildPolyline(Pts{{1, 1}}, 2).empty());
  EXPECT_TRUE(BuildPolyline(Pts{{1, 1}, {1, 1}}, 2, jsMiter, false).empty());
}

TEST(B32_VectorUtils, ClipPolygon) {
  const TFloatRect r{0, 0, 10, 10};
  const Pts inside{{1, 1}, {9, 1}, {9, 9}, {1, 9}};
  EXPECT_EQ(ClipPolygon(inside, r), inside);
  EXPECT_TRUE(ClipPolygon(Pts{{-9, 1}, {-1, 1}, {-1, 9}, {-9, 9}}, r).empty());
  // A triangle straddling the right edge: the part past X = 10 is cut off.
  const Pts cut = ClipPolygon(Pts{{5, 2}, {15, 2}, {5, 8}}, r);
  EXPECT_EQ(cut.size(), 4u);
  for (const TFloatPoint& p : cut) EXPECT_LE(p.X, 10);
  const TFloatRect b = PolygonBounds(cut);
  EXPECT_EQ(b, (TFloatRect{5, 2, 10, 8}));
  // Y is interpolated on the vertical edge: (15,2)-(5,8) crosses X = 10 at Y = 5.
  bool found = false;
  for (const TFloatPoint& p : cut) found |= p == TFloatPoint{10, 5};
  EXPECT_TRUE(found);
  // Spanning the whole rectangle: clipped to it.
  EXPECT_EQ(PolygonBounds(ClipPolygon(Pts{{-5, -5}, {20, -5}, {20, 20}, {-5, 20}}, r)), r);
}

TEST(B32_VectorUtils, BoundsScaleTransform) {
  EXPECT_THROW(PolygonBounds(Pts{}), EAssertionFailed);
  EXPECT_EQ(ScalePolygon(Pts{{1, 2}, {-3, 4}}, 3, 0.5f), (Pts{{3, 1}, {-9, 2}}));
  struct Shift : TFloatTransformation {
    int prepared = 0;
    void PrepareTransform() override { ++prepared; }
    TFloatPoint Transform(const TFloatPoint& P) const override { return {P.X + 1, P.Y - 1}; }
  } t;
  const TArrayOfArrayOfFloatPoint pp = TransformPolyPolygon({{{0, 0}}, {{2, 2}, {3, 3}}}, t);
  EXPECT_EQ(t.prepared, 1);
  EXPECT_EQ(pp, (TArrayOfArrayOfFloatPoint{{{1, -1}}, {{3, 1}, {4, 2}}}));
  EXPECT_EQ(ScalePolyPolygon(pp, 2, 2)[1][1], (TFloatPoint{8, 4}));
}
