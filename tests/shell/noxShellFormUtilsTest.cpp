#include <gtest/gtest.h>

#include "shell/noxShellFormUtils.h"

TEST(noxShellFormUtils, DpiQueriesAnswerTheSystemDpi) {
  EXPECT_EQ(GetDpiForWindowOrDefault(nullptr), 96);
  EXPECT_EQ(GetDpiForSystemOrDefault(), 96);
  EXPECT_EQ(GetSystemMetricsForDpiOrDefault(SM_CXICON, 144, true), GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(GetSystemMetricsForDpiOrDefault(SM_CXICON, 144, false), 0);
  EXPECT_FALSE(EnableNonClientDpiScalingIfAvailable(nullptr));
}

TEST(noxShellFormUtils, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(7, 6, 4), 11);   // 10.5
  EXPECT_EQ(MulDiv(3, 6, 4), 5);    // 4.5
  EXPECT_EQ(MulDiv(-7, 6, 4), -11);
  EXPECT_EQ(MulDiv(11, 15, 8), 21);
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(MulDiv(1920, 1, 2), 960);
}

TEST(noxShellFormUtils, CentresInARect) {
  const TnoxRect r = CenterRectInRect(noxBounds(5, 5, 300, 200), noxRect(0, 0, 1001, 701));
  EXPECT_EQ(r, noxBounds(350, 250, 300, 200));
  EXPECT_EQ(CenterRectInWorkArea(noxBounds(0, 0, 300, 200), noxRect(100, 0, 1100, 600)), noxBounds(450, 200, 300, 200));
}

TEST(noxShellFormUtils, KeepsWindowsInTheWorkArea) {
  const TnoxRect work = noxRect(0, 0, 1920, 1040);
  EXPECT_EQ(KeepRectInWorkArea(noxRect(1800, 900, 2200, 1200), work, false), noxRect(1520, 740, 1920, 1040));
  // Larger than the work area: left and top edges on the work area's; a maximize box also shrinks it.
  EXPECT_EQ(KeepRectInWorkArea(noxBounds(-50, 0, 2000, 500), work, true), noxBounds(0, 0, 1920, 500));
  EXPECT_EQ(KeepRectInWorkArea(noxBounds(-50, 0, 2000, 500), work, false), noxBounds(0, 0, 2000, 500));
}

TEST(noxShellFormUtils, PrimaryMonitorAndMonitorOfARect) {
  TnoxMonitorList two = {{noxRect(0, 0, 1000, 800), noxRect(0, 0, 1000, 760), 0},
                         {noxRect(1000, 0, 2000, 800), noxRect(1000, 0, 2000, 800), 0}};
  EXPECT_EQ(GetPrimaryMonitorIndex(two), 0);  // no primary flag: the first enumerated
  two[1].Flags = MONITORINFOF_PRIMARY;
  EXPECT_EQ(GetPrimaryMonitorIndex(two), 1);
  EXPECT_EQ(GetPrimaryMonitorIndex({}), -1);
  EXPECT_EQ(MonitorIndexFromRect(two, noxRect(900, 0, 1200, 100)), 1);  // most of it on the second
  EXPECT_EQ(MonitorIndexFromRect(two, noxRect(-500, 0, -100, 100)), 0);  // nearest
}

TEST(noxShellFormUtils, WalkReachesTheTargetMonitorPixelByPixel) {
  const TnoxMonitorList m = {{noxRect(0, 0, 1000, 800), {}, 0}, {noxRect(1000, 0, 2000, 800), {}, 0}};
  TnoxRect r = noxBounds(300, 100, 400, 300);
  int calls = 0;
  const int steps = WalkRectToMonitor(r, 1, m, [&](TnoxRect&) { ++calls; });
  EXPECT_EQ(MonitorIndexFromRect(m, r), 1);
  EXPECT_EQ(r.Left, 801);  // one pixel past the half-way point
  EXPECT_EQ(steps, 501);
  EXPECT_EQ(calls, steps);
}

TEST(noxShellFormUtils, WalkEndsWhenMonitorsShareTheirCorner) {
  // A second, larger monitor with the same top-left corner: no direction to walk in.
  const TnoxMonitorList m = {{noxRect(0, 0, 1000, 800), {}, 0}, {noxRect(0, 0, 3000, 2000), {}, 0}};
  TnoxRect r = noxBounds(2000, 1500, 300, 200);
  const TnoxRect before = r;
  EXPECT_EQ(WalkRectToMonitor(r, 0, m, nullptr), 0);
  EXPECT_EQ(r, before);
}

TEST(noxShellFormUtils, WalkIsBoundedWhenTheStepKeepsPullingBack) {
  const TnoxMonitorList m = {{noxRect(0, 0, 1000, 800), {}, 0}, {noxRect(1000, 0, 2000, 800), {}, 0}};
  TnoxRect r = noxBounds(300, 100, 400, 300);
  // A refit that pushes the form back every time must not walk forever.
  const int steps = WalkRectToMonitor(r, 1, m, [](TnoxRect& a) { a = noxBounds(300, 100, 400, 300); });
  EXPECT_GT(steps, 0);
  EXPECT_LE(steps, 1000 + 400 + 300);
}
