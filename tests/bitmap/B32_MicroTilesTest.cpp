#include "bitmap/B32_MicroTiles.h"

#include <gtest/gtest.h>

#include <vector>

#include "bitmap/B32_UnitInit.h"

namespace {
class MicroTiles : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeBitmapLibrary();
    MicroTilesCreate(T);
    MicroTilesSetSize(T, TRect{0, 0, 100, 70});
  }
  void TearDown() override { MicroTilesDestroy(T); }
  TMicroTile At(int col, int row) const { return T.Tiles[row * T.Columns + col]; }
  std::vector<TRect> Rects() const {
    TRectBuffer b;
    const int32_t n = MicroTilesCalcRects(T, &b);
    EXPECT_EQ(n, b.GetCount());
    return std::vector<TRect>(b.GetItems(), b.GetItems() + b.GetCount());
  }
  TMicroTiles T;
};
}  // namespace

TEST(MicroTileWords, PackingAndUnion) {
  InitializeBitmapLibrary();
  EXPECT_EQ(MicroTileCreate(0, 0, 32, 32), MicroTileFull);
  const TMicroTile m = MicroTileCreate(1, 2, 3, 4);
  EXPECT_EQ(m, 0x01020304u);
  EXPECT_EQ(MicroTileLeft(m) + MicroTileTop(m) + MicroTileRight(m) + MicroTileBottom(m), 10);

  struct Case { TMicroTile dst, src, want; } cases[] = {
      {MicroTileCreate(10, 10, 12, 12), MicroTileCreate(2, 2, 4, 4), MicroTileCreate(2, 2, 12, 12)},
      {MicroTileFull, MicroTileCreate(2, 2, 4, 4), MicroTileFull},            // full stays full
      {MicroTileCreate(1, 1, 2, 2), MicroTileEmpty, MicroTileCreate(1, 1, 2, 2)},
      {MicroTileCreate(1, 1, 2, 2), MicroTileCreate(5, 0, 5, 9), MicroTileCreate(1, 1, 2, 2)},  // no area
      {MicroTileEmpty, MicroTileCreate(5, 6, 7, 8), MicroTileCreate(5, 6, 7, 8)},
      {MicroTileCreate(1, 1, 2, 2), MicroTileFull, MicroTileFull},
  };
  for (const Case& c : cases) {
    TMicroTile d = c.dst;
    MicroTileUnion(d, c.src);
    EXPECT_EQ(d, c.want) << std::hex << c.dst << " + " << c.src;
  }
}

TEST(MicroTileWords, InflateAreaGrowsInvertedRectanglesOutward) {
  TRect r{10, 10, 5, 5};
  InflateArea(r, 2, 2);
  EXPECT_EQ(r, (TRect{12, 12, 3, 3}));
  TRect n{10, 10, 20, 20};
  InflateArea(n, 2, 3);
  EXPECT_EQ(n, (TRect{8, 7, 22, 23}));
}

TEST_F(MicroTiles, SizingAndEmptySet) {
  EXPECT_EQ(T.Columns, 4);
  EXPECT_EQ(T.Rows, 3);
  EXPECT_EQ(T.Count, 20);
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{4, 3, 0, 0}));
  EXPECT_EQ(MicroTilesCalcRects(T, nullptr, true), 0);
  EXPECT_TRUE(Rects().empty());
}

TEST_F(MicroTiles, RectangleInsideOneTile) {
  MicroTilesAddRect(T, TRect{10, 10, 20, 20});
  EXPECT_EQ(At(0, 0), MicroTileCreate(10, 10, 20, 20));
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{0, 0, 0, 0}));
  EXPECT_EQ(Rects(), (std::vector<TRect>{{10, 10, 20, 20}}));
}

TEST_F(MicroTiles, WholeTilesMergeAlongTheRow) {
  MicroTilesAddRect(T, TRect{64, 32, 0, 0});  // given inverted: normalised first
  EXPECT_EQ(At(0, 0), MicroTileFull);
  EXPECT_EQ(At(1, 0), MicroTileFull);
  EXPECT_EQ(At(2, 0), MicroTileEmpty);  // its part (0,0,0,32) has no area
  EXPECT_EQ(At(0, 1), MicroTileEmpty);  // parts with Top = Bottom = 0
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{0, 0, 2, 1}));
  EXPECT_EQ(Rects(), (std::vector<TRect>{{0, 0, 64, 32}}));
}

TEST_F(MicroTiles, RectangleAcrossATileBorder) {
  MicroTilesAddRect(T, TRect{30, 0, 34, 10});
  EXPECT_EQ(At(0, 0), MicroTileCreate(30, 0, 32, 10));
  EXPECT_EQ(At(1, 0), MicroTileCreate(0, 0, 2, 10));
  EXPECT_EQ(Rects(), (std::vector<TRect>{{30, 0, 34, 10}}));
}

TEST_F(MicroTiles, GeneralBoxAndVerticalMerge) {
  MicroTilesAddRect(T, TRect{5, 6, 70, 69});
  EXPECT_EQ(At(0, 0), MicroTileCreate(5, 6, 32, 32));
  EXPECT_EQ(At(1, 0), MicroTileCreate(0, 6, 32, 32));
  EXPECT_EQ(At(2, 0), MicroTileCreate(0, 6, 6, 32));
  EXPECT_EQ(At(0, 1), MicroTileCreate(5, 0, 32, 32));
  EXPECT_EQ(At(1, 1), MicroTileFull);
  EXPECT_EQ(At(2, 1), MicroTileCreate(0, 0, 6, 32));
  EXPECT_EQ(At(0, 2), MicroTileCreate(5, 0, 32, 5));
  EXPECT_EQ(At(2, 2), MicroTileCreate(0, 0, 6, 5));
  // The three spans of equal width stack into one rectangle.
  EXPECT_EQ(Rects(), (std::vector<TRect>{{5, 6, 70, 69}}));
}

TEST_F(MicroTiles, ClippingAndSeparateRectangles) {
  MicroTilesAddRect(T, TRect{-10, -10, 3, 4});
  MicroTilesAddRect(T, TRect{90, 40, 200, 45});  // beyond the right edge: clamped to the bounds
  EXPECT_EQ(At(0, 0), MicroTileCreate(0, 0, 3, 4));
  EXPECT_EQ(Rects(), (std::vector<TRect>{{0, 0, 3, 4}, {90, 40, 100, 45}}));
  EXPECT_EQ(MicroTilesCalcRects(T, nullptr, true), 2);
}

TEST_F(MicroTiles, WholeTileRoundingClearUsedAndCopy) {
  MicroTilesAddRect(T, TRect{40, 40, 41, 41}, true);
  EXPECT_EQ(At(1, 1), MicroTileFull);
  EXPECT_EQ(Rects(), (std::vector<TRect>{{32, 32, 64, 64}}));

  TMicroTiles C;
  MicroTilesCreate(C);
  MicroTilesCopy(C, T);
  EXPECT_EQ(C.Count, T.Count);
  EXPECT_EQ(C.Tiles[1 * C.Columns + 1], MicroTileFull);
  EXPECT_EQ(C.Tiles[0], MicroTileEmpty);  // newly grown memory is zeroed
  EXPECT_EQ(C.BoundsUsedTiles, T.BoundsUsedTiles);

  MicroTilesClearUsed(T);
  EXPECT_EQ(At(1, 1), MicroTileEmpty);
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{4, 3, 0, 0}));

  // Union back: exact keeps the word, rounding makes whole tiles.
  MicroTilesClear(C);
  MicroTilesAddRect(C, TRect{2, 2, 4, 4});
  MicroTilesUnion(T, C);
  EXPECT_EQ(At(0, 0), MicroTileCreate(2, 2, 4, 4));
  MicroTilesClear(T);
  MicroTilesUnion(T, C, true);
  EXPECT_EQ(At(0, 0), MicroTileFull);
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{0, 0, 0, 0}));
  MicroTilesDestroy(C);
}

TEST_F(MicroTiles, LinesAddInflatedStrips) {
  // A horizontal line is one rectangle grown by twice the width.
  MicroTilesAddLine(T, 10, 20, 50, 20, 1);
  EXPECT_EQ(Rects(), (std::vector<TRect>{{8, 18, 52, 22}}));
  EXPECT_EQ(At(0, 0), MicroTileCreate(8, 18, 32, 22));
  EXPECT_EQ(At(1, 0), MicroTileCreate(0, 18, 20, 22));
  MicroTilesClear(T);
  // A diagonal is walked in tile steps; every step's box is touched.
  MicroTilesAddLine(T, 0, 0, 64, 64, 0);
  EXPECT_EQ(At(0, 0), MicroTileFull);
  EXPECT_EQ(At(1, 1), MicroTileFull);
  EXPECT_EQ(At(1, 0), MicroTileEmpty);
  EXPECT_EQ(T.BoundsUsedTiles, (TRect{0, 0, 2, 2}));
}
