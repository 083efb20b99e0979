#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>

#include "noxShellQtTestSupport.h"
#include "shell/qt/noxShellLabel.h"

namespace {

using ShellLabelTest = TShellQtTest;

QFont Font15() {
  QFont f = QApplication::font();
  f.setPixelSize(15);
  return f;
}

}  // namespace

TEST_F(ShellLabelTest, AutoSizeMeasuresTheText) {
  QWidget parent;
  TLabel l(&parent);
  EXPECT_EQ(l.size(), QSize(65, 17));
  l.setFont(Font15());
  l.SetCaption(QStringLiteral("&Open"));  // the accelerator marker takes no room
  EXPECT_EQ(l.size(), QSize(24, 15));
  l.SetCaption(QString());  // measured as one blank
  EXPECT_EQ(l.size(), QSize(6, 15));
  l.SetCaption(QStringLiteral("&"));  // "& ": not zero-sized
  EXPECT_EQ(l.size(), QSize(6, 15));
  l.SetShowAccelChar(false);
  l.SetCaption(QStringLiteral("a&&b"));
  EXPECT_EQ(l.width(), 24);
}

TEST_F(ShellLabelTest, RightJustifiedLabelKeepsItsRightEdge) {
  QWidget parent;
  TLabel l(&parent);
  l.setFont(Font15());
  l.SetAlignment(taRightJustify);
  l.SetCaption(QStringLiteral("abc"));
  l.move(100, 10);
  const int right = l.geometry().right();
  l.SetCaption(QStringLiteral("abcdefgh"));
  EXPECT_EQ(l.geometry().right(), right);
  EXPECT_EQ(l.width(), 48);
}

TEST_F(ShellLabelTest, EllipsisAndAutoSizeExcludeEachOther) {
  TLabel l;
  l.SetEllipsisPosition(epEndEllipsis);
  EXPECT_FALSE(l.GetAutoSize());
  l.SetAutoSize(true);
  EXPECT_EQ(l.GetEllipsisPosition(), epNone);
}

TEST_F(ShellLabelTest, WrappedEllipsisDropsWordsUntilTheTextFits) {
  QWidget parent;
  TLabel l(&parent);
  l.setFont(Font15());
  l.SetWordWrap(true);
  l.SetEllipsisPosition(epEndEllipsis);
  l.resize(120, 30);  // two lines of 15 pixels, 20 characters each
  // Three lines at 120 - 18 (the width of "...") pixels, 17 characters per line.
  l.SetCaption(QStringLiteral("alpha beta gamma delta epsilon zeta"));
  const TnoxRect r = noxRect(0, 0, 120, 30);
  EXPECT_EQ(l.ShortenedText(r, DT_WORDBREAK), QStringLiteral("alpha beta gamma delta epsilon..."));
  // One long word loses one character per step: 7 characters fit on the one line.
  l.SetCaption(QString(40, QLatin1Char('x')));
  l.resize(60, 15);
  EXPECT_EQ(l.ShortenedText(noxRect(0, 0, 60, 15), DT_WORDBREAK), QStringLiteral("xxxx..."));
  l.SetCaption(QStringLiteral("one two three four"));
  EXPECT_EQ(l.ShortenedText(noxRect(0, 0, 60, 15), DT_WORDBREAK), QStringLiteral("one..."));
}

TEST_F(ShellLabelTest, AcceleratorFocusesOnlyAFocusableControl) {
  QWidget parent;
  TLabel l(&parent);
  QLineEdit edit(&parent);
  l.SetCaption(QStringLiteral("&Name"));
  l.SetFocusControl(&edit);
  edit.hide();
  EXPECT_FALSE(l.DialogChar(QLatin1Char('n')));
  parent.show();
  edit.show();
  EXPECT_FALSE(l.DialogChar(QLatin1Char('x')));
  EXPECT_TRUE(l.DialogChar(QLatin1Char('n')));
  l.SetShowAccelChar(false);
  EXPECT_FALSE(l.DialogChar(QLatin1Char('n')));
}

TEST_F(ShellLabelTest, KeyboardCues) {
  TLabel l;
  l.UpdateUIState(UIS_SET, UISF_HIDEACCEL);
  EXPECT_FALSE(l.GetKeyboardCuesVisible());
  l.UpdateUIState(UIS_CLEAR, 1);  // another flag: no change
  EXPECT_FALSE(l.GetKeyboardCuesVisible());
  l.UpdateUIState(UIS_CLEAR, UISF_HIDEACCEL);
  EXPECT_TRUE(l.GetKeyboardCuesVisible());
}

TEST_F(ShellLabelTest, DisabledTextIsEmbossed) {
  SetTextMeasurer(nullptr);  // real glyphs are drawn here
  TLabel l;
  l.setFont(Font15());
  l.SetCaption(QStringLiteral("MMMM"));
  l.setEnabled(false);
  QImage img(l.size(), QImage::Format_ARGB32);
  img.fill(Qt::magenta);
  l.render(&img);
  const QRgb light = l.palette().color(QPalette::Light).rgb();
  const QRgb dark = l.palette().color(QPalette::Dark).rgb();
  bool seenLight = false, seenDark = false;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      seenLight |= img.pixel(x, y) == light;
      seenDark |= img.pixel(x, y) == dark;
    }
  EXPECT_TRUE(seenLight);
  EXPECT_TRUE(seenDark);
}
