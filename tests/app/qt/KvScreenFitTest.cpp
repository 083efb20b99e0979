// The windows as they open on a small laptop screen, and the Parameters panel
// as the user steps through every platform and mode.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>

#include "app/KvTestServices.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvEngineUI.h"
#include "app/qt/MainFormUnit.h"
#include "app/qt/RegionFormUnit.h"
#include "shell/qt/noxShellFormUtils.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

// A 1366 x 768 monitor whose bottom 40 lines hold a task bar, and a window
// manager that frames windows with a title bar.
const TnoxRect LaptopWork = noxRect(0, 0, 1366, 728);
const QMargins TitledFrame(1, 24, 1, 1);

bool Inside(const TnoxRect& AInner, const TnoxRect& AOuter) {
  return AInner.Left >= AOuter.Left && AInner.Top >= AOuter.Top && AInner.Right <= AOuter.Right &&
         AInner.Bottom <= AOuter.Bottom;
}

class ScreenFitTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOld = SetModalPresenter(&Presenter);
    SetMonitorSource([] {
      TnoxMonitorInfo m;
      m.Monitor = noxRect(0, 0, 1366, 768);
      m.Work = LaptopWork;
      m.Flags = MONITORINFOF_PRIMARY;
      return TnoxMonitorList{m};
    });
    SetSeenFrameMargins(TitledFrame);
  }
  void TearDown() override {
    SetSeenFrameMargins(QMargins());
    SetMonitorSource(nullptr);
    SetModalPresenter(FOld);
  }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  TManualTimerFactory Timers;
  TManualLauncher Workers;
};

TEST_F(ScreenFitTest, MainWindowFitsTheWorkAreaWithItsTitleBar) {
  // The frame known before the window opens, and learnt only once it shows.
  for (const QMargins& LKnownFrame : {TitledFrame, QMargins()}) {
    SetSeenFrameMargins(LKnownFrame);
    auto LForm = noxCreateForm<TMainForm>(&Timers, &Workers);
    EXPECT_TRUE(Inside(GetWindowRect(LForm.get()), LaptopWork));
    LForm->show();
    QApplication::processEvents();
    EXPECT_TRUE(Inside(GetWindowRect(LForm.get()), LaptopWork)) << LKnownFrame.top();
    // Nor can the user be kept from making it fit.
    const QMargins LFrame = GetFrameMargins(LForm.get());
    EXPECT_LE(LForm->minimumWidth() + LFrame.left() + LFrame.right(), LaptopWork.Width());
    EXPECT_LE(LForm->minimumHeight() + LFrame.top() + LFrame.bottom(), LaptopWork.Height());
    LForm->hide();
  }
}

TEST_F(ScreenFitTest, RegionDialogFitsAndStartsCentred) {
  TKvSource LSource;
  const auto LFile = MakeTempFolder("screenfit") / "big.png";
  MakeTestImage(2048, 1536).save(QString::fromStdString(LFile.string()));
  LSource.LoadFromFile(LFile.string());
  auto LForm = noxCreateForm<TRegionForm>(&LSource);
  EXPECT_TRUE(Inside(GetWindowRect(LForm.get()), LaptopWork));
  LForm->show();
  QApplication::processEvents();
  TKvSourceImageView* V = LForm->GetView();
  ASSERT_TRUE(V->HorzBarVisible() && V->VertBarVisible());
  // A newly needed bar starts in the middle of its range.
  EXPECT_NEAR(V->GetHorzPos(), V->horizontalScrollBar()->maximum() / 2, 1);
  EXPECT_NEAR(V->GetVertPos(), V->verticalScrollBar()->maximum() / 2, 1);
  EXPECT_EQ(V->horizontalScrollBar()->maximum(), 2048 - V->viewport()->width());
  LForm->hide();
}

}  // namespace
