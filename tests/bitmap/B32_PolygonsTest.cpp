#include "bitmap/B32_Polygons.h"

#include <gtest/gtest.h>

#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_UnitInit.h"

namespace {
using Pts = TArrayOfFloatPoint;

class Polygons : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeBitmapLibrary();
    B.SetSize(32, 32);
    B.Clear(0xFFFFFFFF);
  }
  TBitmap32 B;
};

// What the renderer's span blend makes of Src over opaque white.
TColor32 OverWhite(TColor32 Src) {
  TColor32 d = 0xFFFFFFFF;
  BlendSpan(&Src, &d, 1);
  return d;
}
}  // namespace

TEST_F(Polygons, OpaqueRectangleCoversExactlyItsPixels) {
  TPolygonRenderer32VPR r(&B, pfNonZero);
  r.SetColor(0xFF000000);
  std::vector<TRect> areas;
  B.SetOnAreaChanged([&](TObject*, const TRect& a, uint32_t) { areas.push_back(a); });
  r.PolygonFS(Pts{{10, 10}, {20, 10}, {20, 20}, {10, 20}});
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const bool in = x >= 10 && x < 20 && y >= 10 && y < 20;
      EXPECT_EQ(B.GetPixel(x, y), in ? OverWhite(0xFF000000) : 0xFFFFFFFFu) << x << "," << y;
    }
  EXPECT_EQ(areas, (std::vector<TRect>{{10, 10, 20, 20}}));
}

TEST_F(Polygons, HalfCoveredColumnsGetGammaAlpha) {
  std::vector<TColor32> out(2);
  const float cov[2] = {0.5f, -1.0f};
  MakeAlphaNonZeroColor(cov, out.data(), 2, 0xFF102030);
  EXPECT_EQ(out[0], 0x00102030u | (TColor32(GammaEncodeTable[127]) << 24));
  EXPECT_EQ(out[1], 0xFF102030u);
  MakeAlphaNonZero(cov, out.data(), 2, 0);
  EXPECT_EQ(out[0], GammaEncodeTable[128]);
  EXPECT_EQ(out[1], 255u);

  TPolygonRenderer32VPR r(&B, pfNonZero);
  r.SetColor(0xFF000000);
  r.PolygonFS(Pts{{10.5f, 10}, {20.5f, 10}, {20.5f, 20}, {10.5f, 20}});
  const TColor32 edge = B.GetPixel(10, 15);
  EXPECT_EQ(edge, B.GetPixel(20, 15));
  EXPECT_EQ(B.GetPixel(11, 15), OverWhite(0xFF000000));
  EXPECT_EQ(B.GetPixel(9, 15), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixel(21, 15), 0xFFFFFFFFu);
  EXPECT_EQ(edge, OverWhite(TColor32(GammaEncodeTable[127]) << 24));
}

TEST_F(Polygons, EvenOddLeavesTheOverlapOpen) {
  const TArrayOfArrayOfFloatPoint two{{{4, 4}, {12, 4}, {12, 12}, {4, 12}}, {{8, 8}, {16, 8}, {16, 16}, {8, 16}}};
  TPolygonRenderer32VPR r(&B, pfEvenOdd);
  r.SetColor(0xFF0000FF);
  r.PolyPolygonFS(two);
  EXPECT_EQ(B.GetPixel(5, 5), OverWhite(0xFF0000FF));
  EXPECT_EQ(B.GetPixel(10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixel(14, 14), OverWhite(0xFF0000FF));
  B.Clear(0xFFFFFFFF);
  r.SetFillMode(pfNonZero);
  r.PolyPolygonFS(two);
  EXPECT_EQ(B.GetPixel(10, 10), OverWhite(0xFF0000FF));
}

TEST_F(Polygons, OutsideAndDegeneratePolygons) {
  TPolygonRenderer32VPR r(&B, pfNonZero);
  r.SetColor(0xFF000000);
  std::vector<TRect> areas;
  B.SetOnAreaChanged([&](TObject*, const TRect& a, uint32_t) { areas.push_back(a); });
  r.PolygonFS(Pts{{40, 40}, {50, 40}, {50, 50}});
  r.PolygonFS(Pts{{1, 1}, {9, 9}});
  // An explicit clip larger than the bitmap still stays on it.
  r.PolygonFS(Pts{{-10, -10}, {50, -10}, {50, 0.5f}, {-10, 0.5f}}, TFloatRect{-100, -100, 100, 100});
  for (int x = 0; x < 32; ++x) EXPECT_NE(B.GetPixel(x, 0), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixel(5, 5), 0xFFFFFFFFu);
  ASSERT_EQ(areas.size(), 3u);
  EXPECT_EQ(areas[0], (TRect{40, 40, 50, 50}));  // reported although not drawn
}

TEST_F(Polygons, LCDRenderersWeightSubPixels) {
  // Full pixels in the middle of a run are set to the colour; edges are blended per channel.
  TPolygonRenderer32LCD r(&B, pfNonZero);
  r.SetColor(0xFF000000);
  r.PolygonFS(Pts{{4, 4}, {12, 4}, {12, 8}, {4, 8}});
  EXPECT_EQ(B.GetPixel(8, 5), 0xFF000000u);
  EXPECT_EQ(B.GetPixel(2, 5), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixel(8, 9), 0xFFFFFFFFu);
  // The filter spreads right: the first pixel is partly covered, as is the one after the run.
  EXPECT_NE(B.GetPixel(4, 5), 0xFF000000u);
  EXPECT_NE(B.GetPixel(12, 5), 0xFFFFFFFFu);

  // At the left edge of the bitmap, and running past it.
  r.PolygonFS(Pts{{-2, 20}, {4, 20}, {4, 24}, {-2, 24}}, TFloatRect{-8, 0, 32, 32});
  EXPECT_EQ(B.GetPixel(1, 21), 0xFF000000u);
  EXPECT_EQ(B.GetPixel(0, 19), 0xFFFFFFFFu);

  uint8_t buf[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  const float cov[2] = {1, 1};
  MakeAlphaNonZeroLCD(cov, buf, 2, 0xFF000000);  // a = 85 per sub-pixel
  EXPECT_EQ(buf[0], GammaEncodeTable[85]);
  EXPECT_EQ(buf[1], GammaEncodeTable[170]);
  EXPECT_EQ(buf[2], 170);  // raw sums past the run
  EXPECT_EQ(buf[3], 85);
  EXPECT_EQ(buf[4], 0);
  EXPECT_EQ(buf[5], 0);
  MakeAlphaNonZeroLCD2(cov, buf, 2, 0xFF000000);
  EXPECT_EQ(buf[0], GammaEncodeTable[85] / 3);
  EXPECT_EQ(buf[2], (170 + GammaEncodeTable[170] + GammaEncodeTable[85]) / 3);

  B.Clear(0xFFFFFFFF);
  TPolygonRenderer32LCD2 r2(&B, pfNonZero);
  r2.SetColor(0xFF000000);
  r2.PolygonFS(Pts{{4, 4}, {12, 4}, {12, 8}, {4, 8}});
  EXPECT_EQ(B.GetPixel(8, 5), 0xFF000000u);
  EXPECT_EQ(B.GetPixel(8, 9), 0xFFFFFFFFu);
}

TEST(PolygonRenderers, RegisteredAtStartUp) {
  InitializeBitmapLibrary();
  auto& l = PolygonRendererList();
  ASSERT_EQ(l.GetCount(), 3);
  EXPECT_EQ(l.GetItem(0)->GetClassName(), "TPolygonRenderer32VPR");
  const TPolygonRendererClass* c = l.Find("TPolygonRenderer32LCD2");
  ASSERT_NE(c, nullptr);
  std::unique_ptr<TPolygonRenderer32> r(c->Create());
  EXPECT_STREQ(r->ClassName(), "TPolygonRenderer32LCD2");
}
