// Shared pieces of the shell's Qt tests: one application object for the whole
// program, a text measurer with fixed character sizes, fixed monitors and a
// presenter that answers modal boxes without a loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <vector>

#include "shell/qt/noxShellForm.h"
#include "shell/qt/noxShellFormUtils.h"

// Characters 0.4 x the font's pixel size wide, lines one pixel size high (a
// 15-pixel font: the 52 letters measure 312 x 15). Word wrap breaks at blanks;
// a word longer than the line stands alone and overflows.
class TFakeMeasurer : public TnoxTextMeasurer {
public:
  static int32_t Pixels(const QFont& AFont) { return AFont.pixelSize() > 0 ? AFont.pixelSize() : 15; }
  static int32_t Width(const QFont& AFont, qsizetype AChars) {
    return static_cast<int32_t>(AChars * Pixels(AFont) * 2 / 5);
  }
  TnoxSize TextExtent(const QFont& AFont, const QString& AText) override {
    return {Width(AFont, AText.size()), Pixels(AFont)};
  }
  TnoxRect TextRect(const QFont& AFont, const TnoxRect& ARect, const QString& AText, bool AWordWrap) override;
};

// Installs the fake measurer, one 1920 x 1080 monitor (work area 1920 x 1040)
// and a 15-pixel message font for the life of a test.
class TShellQtTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  void SetMonitors(TnoxMonitorList AMonitors);
  TFakeMeasurer FMeasurer;
  TnoxMonitorList FMonitors;
};

// Answers modal showings with a handler; records beeps.
class TTestPresenter : public TnoxShellModalPresenter {
public:
  TTestPresenter();
  ~TTestPresenter() override;
  int32_t ShowModal(TnoxShellBaseUIForm& AForm) override;
  void MessageBeep(uint32_t AType) override { Beeps.push_back(AType); }

  std::function<int32_t(TnoxShellBaseUIForm&)> Handler;
  int Shown = 0;
  std::vector<uint32_t> Beeps;

private:
  TnoxShellModalPresenter* FPrevious;
};
