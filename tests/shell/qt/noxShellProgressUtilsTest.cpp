#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "noxShellQtTestSupport.h"
#include "shell/qt/noxShellProgressUtils.h"

namespace {

QImage Draw(int AWidth, int AHeight, int32_t AMin, int32_t AMax, int32_t APos, uint8_t AState, bool AHorizontal,
            bool ABuffered = false) {
  QImage img(AWidth + 4, AHeight + 4, QImage::Format_ARGB32);
  img.fill(Qt::magenta);
  TnoxShellDrawProgressBar bar;
  bar.ThemeChanged(nullptr);
  QPainter p(&img);
  bar.Draw(p, noxBounds(2, 2, AWidth, AHeight), AMin, AMax, APos, AState, AHorizontal, ABuffered, false);
  return img;
}

using ShellProgressTest = TShellQtTest;

}  // namespace

TEST_F(ShellProgressTest, HandDrawnHorizontalBar) {
  const QImage img = Draw(100, 16, 0, 100, 50, 0, true);
  const QRgb shadow = TnoxShellDrawProgressBar::ShadowColor().rgb();
  const QRgb light = TnoxShellDrawProgressBar::HighlightColor().rgb();
  const QRgb face = TnoxShellDrawProgressBar::FaceColor().rgb();
  const QRgb fill = TnoxShellDrawProgressBar::FillColor(0).rgb();
  EXPECT_EQ(img.pixel(1, 1), QColor(Qt::magenta).rgb());  // outside
  EXPECT_EQ(img.pixel(2, 2), shadow);                     // top-left corner
  EXPECT_EQ(img.pixel(2 + 50, 2), shadow);                // top edge
  EXPECT_EQ(img.pixel(2, 2 + 15), light);                 // bottom-left: the highlight line starts there
  EXPECT_EQ(img.pixel(2 + 99, 2), light);                 // right edge
  EXPECT_EQ(img.pixel(3, 3), face);                       // between frame and track
  // Track from x = 4; five segments of 8 pixels every 10 pixels.
  for (int s = 0; s < 5; ++s) {
    EXPECT_EQ(img.pixel(4 + 10 * s, 8), fill) << s;
    EXPECT_EQ(img.pixel(4 + 10 * s + 7, 8), fill) << s;
    EXPECT_EQ(img.pixel(4 + 10 * s + 8, 8), face) << s;
  }
  EXPECT_EQ(img.pixel(4 + 50, 8), face);
}

TEST_F(ShellProgressTest, StatesRangesAndOrientation) {
  const QImage red = Draw(100, 16, 0, 100, 150, 1, true);  // clamped to full
  EXPECT_EQ(red.pixel(4, 8), qRgb(255, 0, 0));
  EXPECT_EQ(red.pixel(4 + 90, 8), qRgb(255, 0, 0));
  const QImage empty = Draw(100, 16, 0, 100, -5, 2, true);
  EXPECT_EQ(empty.pixel(4, 8), TnoxShellDrawProgressBar::FaceColor().rgb());
  const QImage same = Draw(100, 16, 10, 10, 10, 3, true);  // an empty range is a full bar
  EXPECT_EQ(same.pixel(4 + 90, 8), qRgb(0, 0, 255));
  const QImage vertical = Draw(16, 100, 0, 100, 50, 0, false);  // fills from the bottom
  const QRgb fill = TnoxShellDrawProgressBar::FillColor(0).rgb();
  EXPECT_EQ(vertical.pixel(8, 2 + 97), fill);
  EXPECT_EQ(vertical.pixel(8, 2 + 10), TnoxShellDrawProgressBar::FaceColor().rgb());
}

TEST_F(ShellProgressTest, BufferedDrawingGivesTheSamePixels) {
  EXPECT_EQ(Draw(100, 16, 0, 100, 37, 1, true, true), Draw(100, 16, 0, 100, 37, 1, true, false));
}
