#include <gtest/gtest.h>

#include "shell/noxShellThemes.h"

TEST(noxShellThemes, AbsentStylesGiveTheFallbacks) {
  EXPECT_FALSE(ThemesActive());
  EXPECT_EQ(OpenThemeData(nullptr, "PROGRESS"), 0);
  EXPECT_EQ(OpenThemeDataForDpi(nullptr, "BUTTON", 144, true), OpenThemeData(nullptr, "BUTTON"));
  EXPECT_EQ(OpenThemeDataForDpi(nullptr, "BUTTON", 144, false), 0);
  TnoxRect content;
  EXPECT_EQ(GetThemeBackgroundContentRect(1, nullptr, 1, 0, noxRect(0, 0, 10, 10), content), noxE_NOTIMPL);
  int32_t metric = 7;
  EXPECT_EQ(GetThemeMetric(1, nullptr, 3, 0, 2411, metric), noxE_NOTIMPL);
  EXPECT_EQ(metric, 7);
  EXPECT_EQ(CloseThemeData(1), noxE_NOTIMPL);
  EXPECT_FALSE(IsThemePartDefined(1, 5, 0));
  EXPECT_EQ(GetWindowTheme(nullptr), 0);
}
