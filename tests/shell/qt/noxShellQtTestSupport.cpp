#include <gtest/gtest.h>

#include "noxShellQtTestSupport.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "kv_shell_qt_tests";
      static char* argv[] = {name, nullptr};
      FApp = new QApplication(argc, argv);
    }
  }
  void TearDown() override {
    delete FApp;
    FApp = nullptr;
  }

private:
  QApplication* FApp = nullptr;
};

const auto* GEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

TnoxRect TFakeMeasurer::TextRect(const QFont& AFont, const TnoxRect& ARect, const QString& AText, bool AWordWrap) {
  const int32_t limit = ARect.Width();
  int32_t widest = 0, lines = 0;
  for (const QString& para : AText.split(QLatin1Char('\n'))) {
    QString line = para;
    line.remove(QLatin1Char('\r'));
    if (!AWordWrap) {
      widest = std::max(widest, Width(AFont, line.size()));
      ++lines;
      continue;
    }
    // Words break at blanks; a word wider than the line breaks anywhere.
    const qsizetype perLine = std::max<qsizetype>(1, limit / std::max(1, Width(AFont, 1)));
    QString current;
    bool any = false;
    for (QString w : line.split(QLatin1Char(' '))) {
      const QString candidate = any ? current + QLatin1Char(' ') + w : w;
      if (Width(AFont, candidate.size()) <= limit || !any) {
        current = candidate;
      } else {
        widest = std::max(widest, Width(AFont, current.size()));
        ++lines;
        current = w;
      }
      any = true;
      while (Width(AFont, current.size()) > limit && current.size() > perLine) {
        widest = std::max(widest, Width(AFont, perLine));
        ++lines;
        current = current.mid(perLine);
      }
    }
    widest = std::max(widest, Width(AFont, current.size()));
    ++lines;
  }
  if (AText.isEmpty()) lines = 0;
  return noxBounds(ARect.Left, ARect.Top, widest, lines * Pixels(AFont));
}

void TShellQtTest::SetUp() {
  SetTextMeasurer(&FMeasurer);
  SetMonitors({{noxRect(0, 0, 1920, 1080), noxRect(0, 0, 1920, 1040), MONITORINFOF_PRIMARY}});
  SetSeenFrameMargins(QMargins());
  QFont f = QApplication::font();
  f.setPixelSize(15);
  QApplication::setFont(f);
}

void TShellQtTest::TearDown() {
  SetTextMeasurer(nullptr);
  SetMonitorSource(nullptr);
}

void TShellQtTest::SetMonitors(TnoxMonitorList AMonitors) {
  FMonitors = std::move(AMonitors);
  SetMonitorSource([this]() { return FMonitors; });
}

TTestPresenter::TTestPresenter() : FPrevious(SetModalPresenter(this)) {}
TTestPresenter::~TTestPresenter() { SetModalPresenter(FPrevious); }

int32_t TTestPresenter::ShowModal(TnoxShellBaseUIForm& AForm) {
  ++Shown;
  return Handler ? Handler(AForm) : 0;
}
