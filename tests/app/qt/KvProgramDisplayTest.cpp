// Starts the real program on a virtual display, lets the window grab itself
// and checks that the picture shows both preview views.
#include <gtest/gtest.h>

#include <QImage>
#include <QSettings>
#include <unistd.h>
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

namespace {

// The program started on a virtual display with the given last platform and
// screen mode; the window's picture, or a null image.
QImage ShootWithMode(const std::string& APlatform, const std::string& AMode, const fs::path& AShot) {
  const fs::path LProgram = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "kovrel";
  const fs::path LHome = fs::temp_directory_path() / ("kovrel_display_home_" + std::to_string(::getpid()));
  fs::remove_all(LHome);
  fs::create_directories(LHome / ".config" / "Noxwell Software");
  {
    QSettings LSettings(QString::fromStdString((LHome / ".config" / "Noxwell Software" / "Kovrel.ini").string()),
                        QSettings::IniFormat);
    LSettings.setValue("Software/Noxwell Software/Kovrel/LastPlatform", QString::fromStdString(APlatform));
    LSettings.setValue("Software/Noxwell Software/Kovrel/LastMode", QString::fromStdString(AMode));
  }
  fs::remove(AShot);
  const std::string LCommand = "cd '" + LHome.string() + "' && env -u XDG_CONFIG_HOME HOME='" + LHome.string() +
                               "' KOVREL_SCREENSHOT='" + AShot.string() +
                               "' QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s '-screen 0 1600x1200x24' '" +
                               LProgram.string() + "' >/dev/null 2>&1";
  const int LResult = std::system(LCommand.c_str());
  fs::remove_all(LHome);
  if (LResult != 0) return QImage();
  return QImage(QString::fromStdString(AShot.string()));
}

}  // namespace

// The picture is kept for a look at the panel: every caption must be whole.
TEST(ProgramDisplay, ZxSpectrumPanelFitsTheWindow) {
  const fs::path LProgram = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "kovrel";
  if (!fs::exists(LProgram)) GTEST_SKIP() << "the program is not built";
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const fs::path LShot = fs::temp_directory_path() / "kovrel_zx_panel_shot.png";
  const QImage LImage = ShootWithMode("ZX Spectrum", "256x192x4 Multicolor 8x1", LShot);
  ASSERT_FALSE(LImage.isNull());
  EXPECT_GE(LImage.width(), 800);
  // The views stay beside the wider Parameters panel.
  EXPECT_EQ(CheckerBands(LImage).size(), 2u);
}
