#include <gtest/gtest.h>

#include <QPainter>
#include <QImage>

#include "noxShellQtTestSupport.h"
#include "shell/qt/noxShellFormEx.h"

namespace {

class SizedForm : public TnoxShellUIForm {
public:
  using TnoxShellUIForm::TnoxShellUIForm;
  TnoxSize MinSize{0, 0};
  TnoxSize Initial{0, 0};
  double WidthInChars = 0;  // the layout asks for this many average characters of width
  std::vector<TnoxDpiChange> Applied;
  int EnqueueOnFirstApply = 0;
  std::vector<int32_t> Capacities;

  TnoxSize GetMinSize() override { return MinSize; }
  TnoxSize GetInitialClientSize() override { return Initial; }
  void ArrangeControls() override {
    if (WidthInChars > 0) SetLayoutClientWidth(GetShellUI()->CharsToWidth(WidthInChars));
  }

protected:
  void ApplyDpiChange(const TnoxDpiChange& AChange) override {
    Applied.push_back(AChange);
    if (Applied.size() == 1)
      for (int i = 0; i < EnqueueOnFirstApply; ++i) {
        const TnoxRect r = noxBounds(10 * (i + 1), 0, 400, 300);
        DpiChanged(96, 96, &r);
        Capacities.push_back(GetDpiChangeCapacity());
      }
  }
};

class FitForm : public SizedForm {
protected:
  void ApplyDpiChange(const TnoxDpiChange& AChange) override { TnoxShellUIForm::ApplyDpiChange(AChange); }
};

using ShellFormExTest = TShellQtTest;

}  // namespace

TEST_F(ShellFormExTest, StartsCentredOnTheWorkArea) {
  SizedForm form;
  form.Initial = {400, 300};
  form.AfterConstruction();
  EXPECT_EQ(form.width(), 400);
  EXPECT_EQ(form.height(), 300);
  EXPECT_EQ(form.x(), (1920 - 400) / 2);
  EXPECT_EQ(form.y(), (1040 - 300) / 2);
  EXPECT_TRUE(form.IsInitialized());
}

TEST_F(ShellFormExTest, PlacementWindowsFallBackToEachOther) {
  QWidget p;
  SizedForm a(nullptr, &p), b(&p, nullptr);
  EXPECT_EQ(a.GetOwnerWnd(), &p);
  EXPECT_EQ(a.GetParentWnd(), &p);
  EXPECT_EQ(b.GetOwnerWnd(), &p);
  EXPECT_EQ(b.GetParentWnd(), &p);
}

TEST_F(ShellFormExTest, FitToMonitorKeepsTheMinimumSize) {
  SetMonitors({{noxRect(0, 0, 1024, 600), noxRect(0, 0, 1024, 600), MONITORINFOF_PRIMARY}});
  SizedForm form;
  form.MinSize = {500, 400};
  form.Initial = {1100, 300};
  form.AfterConstruction();
  EXPECT_EQ(form.width(), 500);  // the minimum, not the work-area width
  EXPECT_EQ(form.height(), 400);  // grown to the minimum
  EXPECT_EQ(form.minimumWidth(), 500);
}

TEST_F(ShellFormExTest, FitToMonitorCompactsUntilTheLayoutFits) {
  SetMonitors({{noxRect(0, 0, 1024, 600), noxRect(0, 0, 1024, 600), MONITORINFOF_PRIMARY}});
  SizedForm form;
  form.Initial = {300, 200};
  form.WidthInChars = 200;  // 1200 pixels with the 15-pixel font
  form.AfterConstruction();
  EXPECT_LE(form.width(), 1024);
  // 13 pixels: 200 x 270/52 = 1038 is too wide; 12 pixels: 200 x 249/52 = 957.7 fits.
  EXPECT_EQ(form.GetShellUI()->Font.pixelSize(), 12);
  EXPECT_EQ(form.width(), 958);
}

TEST_F(ShellFormExTest, FitToMonitorGivesUpAtTenPixels) {
  SetMonitors({{noxRect(0, 0, 800, 600), noxRect(0, 0, 800, 600), MONITORINFOF_PRIMARY}});
  SizedForm form;
  form.Initial = {300, 200};
  form.WidthInChars = 400;  // too wide even at 10 pixels
  form.AfterConstruction();
  EXPECT_EQ(form.GetShellUI()->Font.pixelSize(), 10);
  EXPECT_GT(form.width(), 800);  // stays larger than the work area
}

TEST_F(ShellFormExTest, BoundsUpdatesApplyOnceAtTheEnd) {
  SizedForm form;
  form.Initial = {400, 300};
  form.MinSize = {200, 100};
  form.AfterConstruction();
  const QRect before = form.geometry();
  form.BeginBoundsUpdate();
  form.BeginBoundsUpdate();
  form.SetBounds(10, 10, 300, 300);
  form.SetBounds(20, 20, 310, 310);
  form.EndBoundsUpdate();
  form.SetBounds(30, 40, 320, 330);
  EXPECT_EQ(form.geometry(), before);  // nothing moved yet
  EXPECT_EQ(form.minimumWidth(), 0);   // the minimum is lifted meanwhile
  EXPECT_EQ(form.GetLayoutWidth(), 320);
  EXPECT_EQ(form.GetLayoutClientHeight(), 330);
  form.EndBoundsUpdate();
  EXPECT_EQ(form.geometry(), QRect(30, 40, 320, 330));
  EXPECT_EQ(form.minimumWidth(), 200);
}

TEST_F(ShellFormExTest, DpiChangesBeforeInitializationAreDropped) {
  SizedForm form;
  const TnoxRect r = noxBounds(0, 0, 400, 300);
  form.DpiChanged(144, 144, &r);
  EXPECT_TRUE(form.GetDpiChangedDuringMove());
  EXPECT_EQ(form.GetDpiChangeCount(), 0);
  EXPECT_EQ(form.GetDpiChangeCapacity(), 0);
  form.Initial = {400, 300};
  form.AfterConstruction();
  EXPECT_TRUE(form.Applied.empty());
}

TEST_F(ShellFormExTest, DpiChangesArrivingWhileOneIsAppliedFollowInOrder) {
  SizedForm form;
  form.Initial = {400, 300};
  form.AfterConstruction();
  form.EnqueueOnFirstApply = 13;
  const TnoxRect first = noxBounds(0, 0, 400, 300);
  form.DpiChanged(120, 120, &first);
  ASSERT_EQ(form.Applied.size(), 14u);
  EXPECT_EQ(form.Applied[0].DpiX, 120);
  for (int i = 1; i < 14; ++i) EXPECT_EQ(form.Applied[i].SuggestedRect.Left, 10 * i);
  EXPECT_EQ(form.Capacities[0], 4);
  EXPECT_EQ(form.Capacities[4], 8);
  EXPECT_EQ(form.Capacities[8], 12);
  EXPECT_EQ(form.Capacities[12], 28);
  EXPECT_EQ(form.GetDpiChangeCount(), 0);
  // A notice without a rectangle queues nothing.
  form.DpiChanged(144, 144, nullptr);
  EXPECT_EQ(form.Applied.size(), 14u);
}

TEST_F(ShellFormExTest, DpiChangeFitsAtTheSuggestedPlace) {
  FitForm form;
  form.Initial = {400, 300};
  form.AfterConstruction();
  const TnoxRect s = noxBounds(100, 50, 600, 450);
  form.DpiChanged(144, 144, &s);
  EXPECT_EQ(form.GetShellUI()->DpiY, 144);
  EXPECT_EQ(form.GetShellUI()->Font.pixelSize(), 23);
  EXPECT_EQ(form.geometry(), QRect(100, 50, 600, 450));
}

TEST_F(ShellFormExTest, DpiChangeOnMonitorsSharingACornerEnds) {
  SetMonitors({{noxRect(0, 0, 1000, 800), noxRect(0, 0, 1000, 800), MONITORINFOF_PRIMARY},
               {noxRect(0, 0, 3000, 2000), noxRect(0, 0, 3000, 2000), 0}});
  FitForm form;
  form.Initial = {400, 300};
  form.AfterConstruction();
  // Suggested on the small monitor, but the form (wider than it) lies mostly on the large one.
  const TnoxRect s = noxBounds(0, 0, 900, 700);
  form.WidthInChars = 400;
  form.DpiChanged(96, 96, &s);
  EXPECT_EQ(form.GetDpiChangeCount(), 0);
}

TEST_F(ShellFormExTest, ComboBoxDrawsItsItemText) {
  class Upper : public TnoxShellComboBox {
  public:
    QString GetItemText(int AIndex) const override { return itemText(AIndex).toUpper(); }
  };
  Upper box;
  box.addItems({QStringLiteral("one"), QStringLiteral("two")});
  EXPECT_EQ(box.GetItemText(1), QStringLiteral("TWO"));
  EXPECT_EQ(box.GetItemHeight(), 15);  // the height of "qW"
  QImage img(50, 20, QImage::Format_ARGB32);
  img.fill(Qt::magenta);
  {
    QPainter p(&img);
    box.DrawItem(p, 2, QRect(0, 0, 50, 20), false);  // index == count: nothing
    box.DrawItem(p, -1, QRect(0, 0, 50, 20), false);
  }
  EXPECT_EQ(img.pixel(0, 0), QColor(Qt::magenta).rgb());
  {
    QPainter p(&img);
    box.DrawItem(p, 0, QRect(0, 0, 50, 20), true);
  }
  EXPECT_EQ(img.pixel(0, 0), box.palette().color(QPalette::Highlight).rgb());
}

TEST_F(ShellFormExTest, ComboBoxKeepsItsSelectionWhenRecreated) {
  TnoxShellComboBox box;
  box.setEditable(true);
  box.setEditText(QStringLiteral("abcdef"));
  box.CreateWnd();  // nothing saved yet: nothing restored
  box.lineEdit()->setSelection(1, 3);
  box.DestroyWnd();
  box.lineEdit()->deselect();
  box.CreateWnd();
  EXPECT_EQ(box.lineEdit()->selectionStart(), 1);
  EXPECT_EQ(box.lineEdit()->selectedText(), QStringLiteral("bcd"));
}
