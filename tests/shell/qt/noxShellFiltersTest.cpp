#include "shell/qt/noxShellFilters.h"

#include <gtest/gtest.h>

#include "shell/noxShellBaseExtensionFilters.h"

TEST(FilterToQtNameFilters, TurnsTheFilterTextIntoQtFilters) {
  TnoxShellFilterArray f;
  f.AddWithDescription("*.bmp;*.png", "Images");
  f.Add("*.scr");
  f.AddWithDescription("*.*", "Any file");
  const QStringList q = FilterToQtNameFilters(f.GetFilter());
  ASSERT_EQ(q.size(), 3);
  EXPECT_EQ(q[0], "Images (*.bmp *.BMP *.png *.PNG)");
  EXPECT_EQ(q[1], "SCR File (*.scr *.SCR)");
  EXPECT_EQ(q[2], "Any file (*)");
  EXPECT_EQ(FilterToQtFilterString(f.GetFilter()), q.join(";;"));
  EXPECT_TRUE(FilterToQtNameFilters("").isEmpty());
}

TEST(InstallMimeTypeNameProvider, DescribesKnownTypesAndFallsBackForOthers) {
  InstallMimeTypeNameProvider();
  TnoxShellFilterArray f;
  f.Add("*.png");
  f.Add("*.zzqx");
  SetShellTypeNameProvider(nullptr);
  EXPECT_TRUE(QString::fromStdString(f.GetDescription(0)).endsWith(" (*.png)"));
  EXPECT_EQ(f.GetDescription(1), "ZZQX File (*.zzqx)");
}
