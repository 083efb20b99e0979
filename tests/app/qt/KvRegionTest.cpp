// The region dialog and its source view: size, handles, flips, moving, the
// greyed and patterned display, and the region action of the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "app/KvTestServices.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/MainFormUnit.h"
#include "app/qt/RegionFormUnit.h"
#include "core/KvThreadJob.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

class RegionTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOld = SetModalPresenter(&Presenter);
    const auto LFile = MakeTempFolder("region") / "pic.png";
    MakeTestImage(320, 200).save(QString::fromStdString(LFile.string()));
    Source.LoadFromFile(LFile.string());
  }
  void TearDown() override { SetModalPresenter(FOld); }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  TKvSource Source;
};

TEST_F(RegionTest, DialogFitsThePictureAndEscKeepsTheMovedRegion) {
  auto LForm = noxCreateForm<TRegionForm>(&Source);
  TnoxShellUI* UI = LForm->GetShellUI();
  EXPECT_EQ(LForm->GetLayoutClientWidth(), 320 + 2 * UI->MarginX);
  EXPECT_EQ(LForm->GetLayoutClientHeight(), 200 + 2 * UI->MarginY);
  Presenter.OnShow = [](TnoxShellBaseUIForm& AForm) {
    auto& F = dynamic_cast<TRegionForm&>(AForm);
    F.GetView()->BeginDrag(5, QPoint(160, 100));
    F.GetView()->DragTo(170, 110);
    QKeyEvent LEsc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&F, &LEsc);
    EXPECT_EQ(F.GetModalResult(), 1);
    return F.GetModalResult();
  };
  TRect LRect{100, 50, 200, 150};
  TKvDestEngineOptions* LNoOptions = nullptr;
  LForm->Execute(LRect, LNoOptions);
  EXPECT_EQ(LRect, (TRect{110, 60, 210, 160}));
}

TEST_F(RegionTest, HandlesKeepEightPixelsFlipAndStayInside) {
  TKvSourceImageView LView(nullptr);
  LView.SetSource(&Source);
  EXPECT_EQ(LView.GetRegion(), (TRect{0, 0, 320, 200}));
  LView.SetRegion(TRect{100, 50, 200, 150});
  LView.BeginDrag(4, QPoint(100, 100));
  LView.DragTo(195, 100);  // the left edge cannot come closer than 8
  EXPECT_EQ(LView.GetRegion(), (TRect{192, 50, 200, 150}));
  LView.DragTo(250, 100);  // past the right edge: the edges swap
  EXPECT_EQ(LView.GetDragHandle(), 6);
  EXPECT_EQ(LView.GetRegion(), (TRect{200, 50, 250, 150}));
  LView.SetRegion(TRect{100, 50, 200, 150});
  LView.BeginDrag(5, QPoint(150, 100));
  LView.DragTo(400, -50);
  EXPECT_EQ(LView.GetRegion(), (TRect{220, 0, 320, 100}));
  LView.SetSource(nullptr);
}

TEST_F(RegionTest, DisplayGreysTheUnusedPartAndPatternsCells) {
  for (int LProcessors : {1, 4}) {
    TKvProcessorCountOverride LOverride(LProcessors);
    TKvSourceImageView LView(nullptr);
    LView.SetSource(&Source);
    // A 160 x 200 target of 8 x 8 cells, fitted into the whole picture.
    LView.SetTarget(160, 200, 1, 1, 1, 8, 8);
    EXPECT_EQ(LView.UsedArea(), (TRect{80, 0, 240, 200}));
    TBitmap32* D = LView.GetDisplayImage();
    TBitmap32* P = Source.GetPicture();
    auto Gray = [](uint32_t c) { return ((c >> 16) & 0xFF) == ((c >> 8) & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF); };
    EXPECT_TRUE(Gray(D->GetScanLine(10)[10]));
    EXPECT_EQ(D->GetScanLine(3)[83], P->GetScanLine(3)[83]);  // cell (0, 0) as it is
    EXPECT_NE(D->GetScanLine(3)[91], P->GetScanLine(3)[91]);  // cell (1, 0) darker
    EXPECT_NE(D->GetScanLine(11)[83], P->GetScanLine(11)[83]);  // cell (0, 1) darker
    LView.SetSource(nullptr);
  }
}

TEST_F(RegionTest, RegionActionGivesTheRegionToTheSource) {
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  auto LForm = noxCreateForm<TMainForm>(&LTimers, &LWorkers);
  const auto LFile = MakeTempFolder("region3") / "p.png";
  MakeTestImage(64, 48).save(QString::fromStdString(LFile.string()));
  LForm->Source()->LoadFromFile(LFile.string());
  LForm->UpdateActions();
  ASSERT_TRUE(LForm->RegionAction->isEnabled());
  Presenter.OnShow = [](TnoxShellBaseUIForm& AForm) {
    auto& F = dynamic_cast<TRegionForm&>(AForm);
    F.GetView()->BeginDrag(9, QPoint(64, 48));
    F.GetView()->DragTo(32, 24);
    return 1;
  };
  LForm->RegionAction->Execute();
  EXPECT_EQ(LForm->Source()->GetRegion(), (TRect{0, 0, 32, 24}));
  ASSERT_NE(LForm->Source()->GetRegionPicture(), nullptr);
  EXPECT_EQ(LForm->Source()->GetRegionPicture()->GetWidth(), 32);
}

}  // namespace
