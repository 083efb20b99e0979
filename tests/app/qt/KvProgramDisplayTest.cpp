// Starts the real program on a virtual display, lets the window grab itself
// and checks that the picture shows both preview views.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Rows of the left part of the window whose pixels show the views'
// checkerboard, grouped into bands of consecutive rows.
std::vector<std::pair<int, int>> CheckerBands(const QImage& AImage) {
  std::vector<std::pair<int, int>> LBands;
  int LStart = -1;
  for (int y = 0; y <= AImage.height(); ++y) {
    int LCount = 0;
    if (y < AImage.height())
      for (int x = 0; x < AImage.width() / 2; ++x)
        if ((AImage.pixel(x, y) & 0xFFFFFF) == 0xEEEEEE) ++LCount;
    const bool LChecker = LCount >= 20;
    if (LChecker && LStart < 0) LStart = y;
    if (!LChecker && LStart >= 0) {
      if (y - LStart >= 50) LBands.emplace_back(LStart, y);
      LStart = -1;
    }
  }
  return LBands;
}

TEST(ProgramDisplay, WindowShowsSourceAndResultViews) {
  const fs::path LProgram = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "kovrel";
  if (!fs::exists(LProgram)) GTEST_SKIP() << "the program is not built";
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const fs::path LHome = fs::temp_directory_path() / "kovrel_display_home";
  fs::create_directories(LHome);
  const fs::path LShot = fs::temp_directory_path() / "kovrel_display_shot.png";
  fs::remove(LShot);
  const std::string LCommand = "cd '" + LHome.string() + "' && HOME='" + LHome.string() + "' KOVREL_SCREENSHOT='" +
                               LShot.string() + "' QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s '-screen 0 1600x1200x24' '" +
                               LProgram.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(LCommand.c_str()), 0);
  QImage LImage(QString::fromStdString(LShot.string()));
  ASSERT_FALSE(LImage.isNull());
  EXPECT_GE(LImage.width(), 800);
  const auto LBands = CheckerBands(LImage);
  ASSERT_EQ(LBands.size(), 2u);
  // Source above, result below, the same height each.
  EXPECT_LT(LBands[0].second, LBands[1].first);
  EXPECT_NEAR(LBands[0].second - LBands[0].first, LBands[1].second - LBands[1].first, 3);
}

}  // namespace
