#include "bitmap/B32_RepaintOpt.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// A layer that reports one rectangle when painted.
struct RectLayer : TRepaintLayer {
  explicit RectLayer(TRect R) : Area(R) {}
  void Paint(TBitmap32* Buffer) override { Buffer->AreaChanged(Area, AREA_INFO_RECT); }
  TRect Area;
};

struct Layers : TRepaintLayerList {
  int32_t GetCount() const override { return int32_t(Items.size()); }
  TRepaintLayer* GetItem(int32_t I) const override { return Items[size_t(I)]; }
  std::vector<TRepaintLayer*> Items;
};

std::vector<TRect> Take(TRectBuffer& B) {
  std::vector<TRect> r(B.GetItems(), B.GetItems() + B.GetCount());
  B.Clear();
  return r;
}

class RepaintOpt : public ::testing::Test {
protected:
  void SetUp() override {
    Buffer.SetSize(100, 100);
    List.Items = {&A};
    Opt.RegisterLayerList(&List);
    Opt.SetAdaptiveMode(false);
    Opt.SetEnabled(true);
  }
  TBitmap32 Buffer;
  TRectBuffer Rects;
  RectLayer A{TRect{10, 10, 20, 20}};
  Layers List;
  TMicroTilesRepaintOptimizer Opt{&Buffer, &Rects};
};
}  // namespace

TEST_F(RepaintOpt, FirstFrameRepaintsEverything) {
  EXPECT_TRUE(List.OnLayerUpdated != nullptr);
  ASSERT_TRUE(Opt.UpdatesAvailable());
  Opt.PerformOptimization();
  EXPECT_EQ(Take(Rects), (std::vector<TRect>{{0, 0, 100, 100}}));
  Opt.BeginPaintBuffer();
  Opt.EndPaintBuffer();
  EXPECT_FALSE(Opt.UpdatesAvailable());
}

TEST_F(RepaintOpt, MovedLayerInvalidatesOldAndNewPlace) {
  Opt.PerformOptimization();
  Opt.EndPaintBuffer();
  Rects.Clear();
  A.Area = TRect{50, 50, 60, 60};
  List.OnLayerUpdated(&List, &A);
  EXPECT_TRUE(A.LayerOptions & LOB_INVALID);
  List.OnLayerUpdated(&List, &A);  // once is enough
  ASSERT_TRUE(Opt.UpdatesAvailable());
  Opt.PerformOptimization();
  EXPECT_FALSE(A.LayerOptions & LOB_INVALID);
  EXPECT_EQ(Take(Rects), (std::vector<TRect>{{10, 10, 20, 20}, {50, 50, 60, 60}}));
  Opt.EndPaintBuffer();

  // An area reported directly, then the layer removed.
  List.OnAreaUpdated(&List, TRect{3, 4, 5, 6}, AREA_INFO_RECT);
  List.OnListNotify(&List, lnLayerDeleted, &A);
  Opt.PerformOptimization();
  EXPECT_EQ(Take(Rects), (std::vector<TRect>{{50, 50, 60, 60}, {3, 4, 5, 6}}));
}

TEST_F(RepaintOpt, DisablingUnhooksTheLists) {
  Opt.SetEnabled(false);
  EXPECT_TRUE(List.OnLayerUpdated == nullptr);
  EXPECT_EQ(Opt.GetInvalidTiles().Count, 0);
  Opt.UnregisterLayerList(&List);
  EXPECT_TRUE(Opt.GetLayerLists().empty());
  EXPECT_TRUE(List.OnListNotify == nullptr);
}

TEST_F(RepaintOpt, AdaptiveLevelRisesWhenPartialPaintsAreSlow) {
  Opt.PerformOptimization();  // the first full frame
  Opt.SetAdaptiveMode(true);
  Rects.Clear();
  Opt.RecordPaintTime(100);  // an empty list: a full-scene paint
  Rects.Add(TRect{0, 0, 1, 1});
  Opt.RecordPaintTime(200);
  EXPECT_EQ(Opt.GetPerformanceLevel(), 1);
  Opt.RecordPaintTime(300);
  EXPECT_EQ(Opt.GetPerformanceLevel(), 2);
  Opt.CheckAdaption(0);  // level 2 and no timed check due: the list is emptied
  EXPECT_EQ(Rects.GetCount(), 0);
  Opt.CheckAdaption(1);  // the check time has passed: one level down
  EXPECT_EQ(Opt.GetPerformanceLevel(), 1);
  // At level 1 areas are whole tiles.
  Opt.SetAdaptiveMode(false);
  List.OnAreaUpdated(&List, TRect{40, 40, 41, 41}, AREA_INFO_RECT);
  Opt.PerformOptimization();
  EXPECT_EQ(Take(Rects), (std::vector<TRect>{{32, 32, 64, 64}}));
}
