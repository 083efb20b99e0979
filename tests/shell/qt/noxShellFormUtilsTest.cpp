#include <gtest/gtest.h>

#include "noxShellQtTestSupport.h"
#include "shell/qt/noxShellFormUtils.h"

namespace {

using ShellPlacementTest = TShellQtTest;

}  // namespace

TEST_F(ShellPlacementTest, CentresOverAnotherWindowAndStaysOnItsMonitor) {
  SetMonitors({{noxRect(0, 0, 1000, 800), noxRect(0, 0, 1000, 760), MONITORINFOF_PRIMARY},
               {noxRect(1000, 0, 2000, 800), noxRect(1000, 0, 2000, 800), 0}});
  QWidget other, w;
  other.setGeometry(100, 100, 200, 100);
  w.resize(300, 200);
  CenterWindowOnWindow(&w, &other);
  EXPECT_EQ(w.pos(), QPoint(50, 50));
  // Near the right edge of the first monitor: kept inside its work area.
  other.setGeometry(850, 650, 100, 100);
  CenterWindowOnWindow(&w, &other);
  EXPECT_EQ(w.geometry(), QRect(700, 560, 300, 200));
  EXPECT_EQ(MonitorFromWindow(&other), 0);
}

TEST_F(ShellPlacementTest, AppMonitorAndKeepOnMonitor) {
  SetMonitors({{noxRect(0, 0, 1000, 800), noxRect(0, 0, 1000, 760), 0},
               {noxRect(1000, 0, 2000, 800), noxRect(1000, 0, 2000, 700), MONITORINFOF_PRIMARY}});
  QWidget w;
  w.resize(300, 200);
  CenterWindowOnAppMonitor(&w);  // no active window: the primary monitor
  EXPECT_EQ(w.pos(), QPoint(1350, 250));
  w.setWindowFlags(Qt::Window | Qt::WindowMaximizeButtonHint);
  w.setGeometry(1900, 650, 300, 200);
  KeepWindowOnItsMonitor(&w);
  EXPECT_EQ(w.geometry(), QRect(1700, 500, 300, 200));
  SetMonitors({});
  w.move(5, 5);
  KeepWindowOnItsMonitor(&w);  // no monitor: the window stays where it is
  EXPECT_EQ(w.pos(), QPoint(5, 5));
}
