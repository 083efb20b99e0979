#include "bitmap/B32_Paths.h"

#include <gtest/gtest.h>

using Pts = TArrayOfFloatPoint;

TEST(B32_Paths, PolygonIsOneClosedSubPath) {
  TFlattenedPath p;
  int changes = 0;
  p.SetOnChange([&](TObject*) { ++changes; });
  p.Polygon(Pts{{0, 0}, {5, 0}, {0, 5}});
  ASSERT_EQ(p.GetPath().size(), 1u);
  EXPECT_EQ(p.GetPath()[0], (Pts{{0, 0}, {5, 0}, {0, 5}, {0, 0}}));
  EXPECT_EQ(p.GetCurrentPoint(), (TFloatPoint{0, 5}));
  EXPECT_EQ(changes, 1);  // reported once, at the end of the update
}

TEST(B32_Paths, MoveToFinishesTheOpenSubPath) {
  TFlattenedPath p;
  int begins = 0, ends = 0;
  p.SetOnBeginPath([&](TObject*) { ++begins; });
  p.SetOnEndPath([&](TObject*) { ++ends; });
  p.MoveTo(0, 0);
  p.LineTo(10, 0);
  p.MoveTo(20, 20);
  ASSERT_EQ(p.GetPath().size(), 1u);
  EXPECT_EQ(p.GetPath()[0], (Pts{{0, 0}, {10, 0}}));
  EXPECT_EQ(p.GetPointCount(), 1);
  p.EndPath();
  ASSERT_EQ(p.GetPath().size(), 2u);
  EXPECT_EQ(p.GetPath()[1], (Pts{{20, 20}}));
  EXPECT_EQ(begins, 2);
  EXPECT_EQ(ends, 2);
}

TEST(B32_Paths, CurveFlattening) {
  TFlattenedPath p;
  // A straight cubic (controls on the chord) adds its start and end only.
  p.MoveTo(0, 0);
  p.CurveTo(TFloatPoint{10, 0}, TFloatPoint{20, 0}, TFloatPoint{30, 0});
  p.EndPath();
  EXPECT_EQ(p.GetPath()[0], (Pts{{0, 0}, {0, 0}, {30, 0}}));

  // A bent quadratic splits until each piece is flat; the points lie on the curve.
  p.Clear();
  p.MoveTo(0, 0);
  p.ConicTo(TFloatPoint{8, 16}, TFloatPoint{16, 0});
  p.EndPath();
  const Pts& q = p.GetPath()[0];
  EXPECT_EQ(q.size(), 2u + 16u);  // the move point, 16 pieces' starts, the end point
  EXPECT_EQ(q.back(), (TFloatPoint{16, 0}));
  for (size_t i = 1; i < q.size(); ++i) {
    const float t = q[i].X / 16;
    EXPECT_FLOAT_EQ(q[i].Y, 2 * (1 - t) * t * 16);
  }
  EXPECT_EQ(p.GetLastControlPoint(), (TFloatPoint{8, 16}));
  EXPECT_EQ(p.GetControlPointOrigin(), cpConic);
}

TEST(B32_Paths, SmoothCurveControlPoints) {
  // After a line the smooth cubic's first control is the current point.
  TFlattenedPath a, b;
  a.MoveTo(0, 0);
  a.LineTo(10, 0);
  a.CurveTo(TFloatPoint{20, 10}, TFloatPoint{30, 0});
  b.MoveTo(0, 0);
  b.LineTo(10, 0);
  b.CurveTo(TFloatPoint{10, 0}, TFloatPoint{20, 10}, TFloatPoint{30, 0});
  a.EndPath();
  b.EndPath();
  EXPECT_EQ(a.GetPath(), b.GetPath());
  // After a cubic it mirrors the last control point.
  TFlattenedPath c, d;
  c.MoveTo(0, 0);
  c.CurveTo(TFloatPoint{0, 10}, TFloatPoint{10, 10}, TFloatPoint{10, 0});
  c.CurveTo(TFloatPoint{20, -10}, TFloatPoint{20, 0});
  d.MoveTo(0, 0);
  d.CurveTo(TFloatPoint{0, 10}, TFloatPoint{10, 10}, TFloatPoint{10, 0});
  d.CurveTo(TFloatPoint{10, -10}, TFloatPoint{20, -10}, TFloatPoint{20, 0});
  c.EndPath();
  d.EndPath();
  EXPECT_EQ(c.GetPath(), d.GetPath());
}

TEST(B32_Paths, ClearCutsTheBufferAndAssignCopies) {
  TFlattenedPath p;
  p.MoveTo(0, 0);
  for (int i = 0; i < 600; ++i) p.LineTo(float(i), 1);
  EXPECT_EQ(p.GetPointCapacity(), 640);
  p.Clear();
  EXPECT_TRUE(p.GetPath().empty());
  EXPECT_EQ(p.GetPointCount(), 0);
  EXPECT_EQ(p.GetPointCapacity(), 256);

  p.Rectangle(TFloatRect{1, 2, 3, 4});
  TFlattenedPath q;
  int changes = 0;
  q.SetOnChange([&](TObject*) { ++changes; });
  q.Assign(&p);
  EXPECT_EQ(q.GetPath(), (TArrayOfArrayOfFloatPoint{{{1, 2}, {3, 2}, {3, 4}, {1, 4}, {1, 2}}}));
  EXPECT_EQ(changes, 1);
}

TEST(B32_Paths, ShapesStayInsideTheirBounds) {
  TFlattenedPath p;
  p.RoundRect(TFloatRect{0, 0, 20, 10}, 3);
  ASSERT_EQ(p.GetPath().size(), 1u);
  for (const TFloatPoint& pt : p.GetPath()[0]) {
    EXPECT_GE(pt.X, -1e-4f);
    EXPECT_LE(pt.X, 20 + 1e-4f);
    EXPECT_GE(pt.Y, -1e-4f);
    EXPECT_LE(pt.Y, 10 + 1e-4f);
  }
  p.Clear();
  p.MoveTo(5, 5);
  p.Ellipse(2, 1);
  // The ellipse continues the sub-path the move began, and closes it.
  ASSERT_EQ(p.GetPath().size(), 1u);
  EXPECT_EQ(p.GetPath()[0].size(), 102u);
  EXPECT_EQ(p.GetPath()[0][1], (TFloatPoint{7, 5}));
}
