#include <gtest/gtest.h>

#include "shell/noxShellForm.h"

namespace {

// Metrics over a font whose 52 letters measure a fixed width per pixel of height.
class FakeMetrics : public TnoxShellUIMetrics {
public:
  FakeMetrics(int32_t APixels, int32_t ACharWidthTimes52, int32_t AHeight) : FPixels(APixels) {
    SetMeasuredExtent(ACharWidthTimes52, AHeight);
  }
  int32_t FPixels;
  int FontChanges = 0;

protected:
  int32_t GetFontHeightValue() const override { return -FPixels; }
  void SetFontHeightValue(int32_t AValue) override {
    FPixels = -AValue;
    ++FontChanges;
    SetMeasuredExtent(FPixels * 26, FPixels);  // 0.5 px average width per pixel of height
  }
};

}  // namespace

TEST(noxShellForm, SpacingFromTheMessageFont) {
  FakeMetrics m(15, 312, 15);
  EXPECT_EQ(m.AvgCharWidth, 6);
  EXPECT_EQ(m.CharHeight, 15);
  EXPECT_EQ(m.MarginX, 11);
  EXPECT_EQ(m.MarginY, 13);
  EXPECT_EQ(m.Spacing11Y, 21);
  EXPECT_EQ(m.Spacing6X, 9);
  EXPECT_EQ(m.LabelSpacingX, 5);
  EXPECT_EQ(m.LabelSpacingY, 6);
  EXPECT_EQ(m.RelatedSpacingX, 6);
  EXPECT_EQ(m.RelatedSpacingY, 8);
  EXPECT_EQ(m.UnrelatedSpacingX, 11);
  EXPECT_EQ(m.UnrelatedSpacingY, 13);
  EXPECT_EQ(m.ButtonSpacingX, 6);
  EXPECT_EQ(m.ButtonSpacingY, 8);
  EXPECT_EQ(m.MinSpacing, 5);
}

TEST(noxShellForm, CharsAndLinesRoundHalvesToEven) {
  FakeMetrics m(15, 338, 15);  // 6.5 per character
  EXPECT_EQ(m.CharsToWidth(75), 488);
  FakeMetrics n(15, 130, 15);  // 2.5 per character
  EXPECT_EQ(n.CharsToWidth(1), 2);
  EXPECT_EQ(n.LinesToHeight(6), 90);
}

TEST(noxShellForm, CompactShrinksSpacingThenFontDownToTenPixels) {
  FakeMetrics m(15, 312, 15);
  ASSERT_TRUE(m.Compact());
  EXPECT_EQ(m.ShrinkStep, 1);
  EXPECT_EQ(m.MarginX, 10);
  EXPECT_EQ(m.LabelSpacingX, 4);
  EXPECT_EQ(m.MinSpacing, 4);
  ASSERT_TRUE(m.Compact());  // MinSpacing 4: still the spacing
  EXPECT_EQ(m.MinSpacing, 3);
  EXPECT_EQ(m.FontChanges, 0);
  ASSERT_TRUE(m.Compact());  // below 4: the font, one pixel smaller
  EXPECT_EQ(m.FPixels, 14);
  EXPECT_EQ(m.ShrinkStep, 0);
  int guard = 0;
  while (m.Compact() && ++guard < 1000) {
  }
  EXPECT_LT(guard, 1000);
  EXPECT_EQ(m.FPixels, 10);
  EXPECT_LT(m.MinSpacing, 4);
  const int32_t margin = m.MarginX;
  EXPECT_FALSE(m.Compact());
  EXPECT_EQ(m.MarginX, margin);
}

TEST(noxShellForm, ButtonAndCheckBoxSizes) {
  // An empty caption is still the standard 50 x 14 dialog units.
  EXPECT_EQ(noxButtonSize(6, 15, {0, 0}), (TnoxSize{75, 26}));
  EXPECT_EQ(noxButtonSize(6, 15, {100, 15}), (TnoxSize{118, 26}));
  EXPECT_EQ(noxGlyphButtonSize(GetCheckBoxGlyphSize(), {3, 15}, false), (TnoxSize{13, 13}));
  EXPECT_EQ(noxGlyphButtonSize({13, 13}, {40, 15}, true), (TnoxSize{55, 15}));
  EXPECT_EQ(noxCenterOnComboBoxTop(100, 23, 15, true), 104);
  EXPECT_EQ(noxCenterOnComboBoxTop(100, 23, 15, false), 103);
}
