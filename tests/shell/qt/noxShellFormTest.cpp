#include <gtest/gtest.h>

#include <QPushButton>

#include "noxShellQtTestSupport.h"
#include "shell/qt/noxShellForm.h"

namespace {

class CountingForm : public TnoxShellBaseUIForm {
public:
  int Resizes = 0, Arranges = 0;
  bool ResizeFromArrange = false;
  void ResizeControls() override { ++Resizes; }
  void ArrangeControls() override {
    ++Arranges;
    if (ResizeFromArrange) resize(width() + 10, height());  // the hook moves the form itself
  }
};

using ShellUITest = TShellQtTest;

}  // namespace

TEST_F(ShellUITest, MetricsOfTheMessageFont) {
  TnoxShellUI ui(nullptr, 0, 0);
  EXPECT_EQ(ui.DpiX, 96);
  EXPECT_EQ(ui.Font.pixelSize(), 15);
  EXPECT_EQ(ui.AvgCharWidth, 6);
  EXPECT_EQ(ui.CharHeight, 15);
  EXPECT_EQ(ui.MarginX, 11);
  EXPECT_EQ(ui.MinSpacing, 5);
  // The same DPI again changes nothing; another DPI makes the font for it.
  EXPECT_FALSE(ui.SetDpi(nullptr, 0, 0));
  EXPECT_TRUE(ui.SetSingleDpi(nullptr, 144));
  EXPECT_EQ(ui.Font.pixelSize(), 23);  // 15 * 144 / 96 = 22.5, rounded away from zero
  EXPECT_EQ(ui.CharHeight, 23);
}

TEST_F(ShellUITest, CompactShrinksTheFontObject) {
  TnoxShellUI ui(nullptr, 0, 0);
  int guard = 0;
  while (ui.Compact() && ++guard < 1000) {
  }
  EXPECT_EQ(ui.Font.pixelSize(), 10);
  EXPECT_EQ(ui.ShrinkStep, 0);
  EXPECT_LT(ui.MinSpacing, 4);
}

TEST_F(ShellUITest, ButtonsTakeTheWidestWidth) {
  TnoxShellUI ui(nullptr, 0, 0);
  QWidget parent;
  parent.setFont(ui.Font);
  QPushButton a(&parent), b(QString(12, QLatin1Char('x')), &parent), c(QString(11, QLatin1Char('x')), &parent);
  ui.AutoSizeButton(&a);
  EXPECT_EQ(a.width(), 75);  // an empty caption: 50 dialog units
  EXPECT_EQ(a.height(), 26);  // 14 dialog units
  EXPECT_EQ(ui.AutoSizeButtons({&a, &b, &c}), 90);
  EXPECT_EQ(a.width(), 90);
  EXPECT_EQ(c.width(), 90);
  EXPECT_EQ(ui.AutoSizeButtons({}), 0);
}

TEST_F(ShellUITest, LayoutHooksRunOnRescaleAndResize) {
  CountingForm form;
  form.AfterConstruction();
  EXPECT_EQ(form.Resizes, 1);
  EXPECT_EQ(form.Arranges, 1);
  form.RefreshUI();  // same DPI: both hooks still run
  EXPECT_EQ(form.Resizes, 2);
  EXPECT_EQ(form.Arranges, 2);
  form.show();
  form.resize(300, 200);
  QApplication::processEvents();
  EXPECT_EQ(form.Resizes, 2);  // a resize runs only ArrangeControls
  const int arranges = form.Arranges;
  EXPECT_GT(arranges, 2);
  // A resize that the hook itself causes does not run the hook again.
  form.ResizeFromArrange = true;
  form.resize(320, 200);
  EXPECT_EQ(form.Arranges, arranges + 1);
}

TEST_F(ShellUITest, EditHeightAndAlignments) {
  TnoxShellUI ui(nullptr, 0, 0);
  QWidget parent;
  QWidget label(&parent), reference(&parent);
  label.setGeometry(0, 0, 50, 15);
  reference.setGeometry(60, 100, 100, 23);
  ui.CenterVertically(&reference, &label);
  EXPECT_EQ(label.y(), 100 + 11 - 7);
  ui.SetLineHeight(&label);
  EXPECT_EQ(label.height(), 15);
}
