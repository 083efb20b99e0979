#include "shell/noxShellBaseExtensionFilters.h"

#include <gtest/gtest.h>

TEST(TnoxShellFilterArray, DescribesPatternsAndJoinsTheFilter) {
  TnoxShellFilterArray f;
  EXPECT_EQ(f.GetFilter(), "");
  EXPECT_EQ(f.AddWithDescription("*.bmp;*.png;*.jpg;*.gif", "Images"), 0);
  EXPECT_EQ(f.Add("*.gif"), 1);
  EXPECT_EQ(f.Add("*.jpg;*.jpeg"), 2);
  EXPECT_EQ(f.Add("*"), 3);
  EXPECT_EQ(f.AddWithDescription("*.*", "Any file"), 4);
  EXPECT_EQ(f.GetCount(), 5);
  EXPECT_EQ(f.GetDescription(0), "Images");
  EXPECT_EQ(f.GetDescription(1), "GIF File (*.gif)");
  EXPECT_EQ(f.GetDescription(2), "JPG File (*.jpg;*.jpeg)");
  EXPECT_EQ(f.GetDescription(3), " File (*)");
  EXPECT_EQ(f.GetDescription(4), "Any file");
  EXPECT_EQ(f.GetExtension(2), "*.jpg;*.jpeg");
  EXPECT_EQ(f.GetFilter(),
            "Images|*.bmp;*.png;*.jpg;*.gif|GIF File (*.gif)|*.gif|JPG File (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
            " File (*)|*|Any file|*.*");
  EXPECT_THROW(f.GetDescription(5), EArgumentException);
  EXPECT_THROW(f.GetExtension(-1), EArgumentException);
  f.SetExtension(0, "*.pal");
  EXPECT_EQ(f.GetDescription(0), "PAL File (*.pal)");
}

TEST(TnoxShellFilterArray, TakesTheShellTypeNameWhenThereIsOne) {
  SetShellTypeNameProvider([](const std::string& ext, std::string& name) {
    if (ext != "png") return false;
    name = "PNG image";
    return true;
  });
  TnoxShellFilterArray f;
  f.Add("*.png");
  f.Add("*.scr");
  SetShellTypeNameProvider(nullptr);
  EXPECT_EQ(f.GetDescription(0), "PNG image (*.png)");
  EXPECT_EQ(f.GetDescription(1), "SCR File (*.scr)");
  EXPECT_EQ(f.GetFilter(), "PNG image (*.png)|*.png|SCR File (*.scr)|*.scr");
}
