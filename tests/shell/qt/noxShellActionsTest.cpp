#include <gtest/gtest.h>

#include "noxShellQtTestSupport.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/qt/noxShellActions.h"
#include "shell/qt/noxShellDialogs.h"

namespace {

class WorkAction : public TnoxShellAction {
public:
  explicit WorkAction(QObject* AOwner) : TnoxShellAction(AOwner) { setText(QStringLiteral("&Open")); }
  std::function<void()> Work;
  bool Enabled = true;
  int Runs = 0;
  bool QueryEnabled() override { return Enabled; }
  bool QueryChecked() override { return Runs > 0; }
  QString QueryCaption() override { return Runs > 0 ? QStringLiteral("&Open again") : text(); }
  void DoExecute() override {
    ++Runs;
    if (Work) Work();
  }
};

using ShellActionsTest = TShellQtTest;

}  // namespace

TEST_F(ShellActionsTest, DisabledActionDoesNotRun) {
  QWidget form;
  WorkAction a(&form);
  a.Enabled = false;
  EXPECT_TRUE(a.Execute());
  EXPECT_EQ(a.Runs, 0);
}

TEST_F(ShellActionsTest, RetriesOnRetryAndStopsOnCancel) {
  QWidget form;
  WorkAction a(&form);
  a.ErrorButtons = MB_RETRYCANCEL;
  a.Work = [] { throw Exception("Disk not ready"); };
  TTestPresenter presenter;
  std::vector<int32_t> answers{IDRETRY, IDRETRY, IDCANCEL};
  size_t shown = 0;
  presenter.Handler = [&](TnoxShellBaseUIForm& f) {
    auto& box = dynamic_cast<TnoxShellMessageBoxForm&>(f);
    EXPECT_EQ(box.IconKind, 1);
    EXPECT_EQ(box.ButtonCount(), 2);
    // Press the button whose result is the next answer.
    for (int i = 0; i < box.ButtonCount(); ++i)
      if (box.GetButton(i)->ModalResult == answers[shown]) box.GetButton(i)->click();
    ++shown;
    return f.GetModalResult();
  };
  EXPECT_TRUE(a.Execute());
  EXPECT_EQ(a.Runs, 3);
  EXPECT_EQ(shown, 3u);
}

TEST_F(ShellActionsTest, WorkThatSucceedsOnRetryEnds) {
  QWidget form;
  WorkAction a(&form);
  a.ErrorButtons = MB_RETRYCANCEL;
  a.Work = [&a] {
    if (a.Runs == 1) throw Exception("Once");
  };
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm&) { return IDRETRY; };
  a.trigger();  // through the toolkit's own signal
  EXPECT_EQ(a.Runs, 2);
  EXPECT_EQ(presenter.Shown, 1);
}

TEST_F(ShellActionsTest, CancellationIsSilentAndWarningsKeepTheirIcon) {
  QWidget form;
  WorkAction a(&form);
  TTestPresenter presenter;
  a.Work = [] { Abort(); };
  a.Execute();
  EXPECT_EQ(presenter.Shown, 0);
  EXPECT_EQ(a.Runs, 1);
  uint8_t icon = 0;
  presenter.Handler = [&](TnoxShellBaseUIForm& f) {
    icon = dynamic_cast<TnoxShellMessageBoxForm&>(f).IconKind;
    return IDOK;
  };
  a.Work = [] { throw EWarning("Nothing to save"); };
  a.Execute();
  EXPECT_EQ(icon, 3);
  a.Work = [] { throw std::runtime_error("plain"); };
  a.Execute();  // no exception leaves the action
  EXPECT_EQ(icon, 1);
}

// A box that cannot be shown leaves Execute, as does an object of no
// exception class, but neither crosses the toolkit's signal.
TEST_F(ShellActionsTest, NothingLeavesThroughTheToolkitSignal) {
  QWidget form;
  WorkAction a(&form);
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm&) -> int32_t { throw Exception("No box today"); };
  a.Work = [] { throw Exception("Disk not ready"); };
  EXPECT_THROW(a.Execute(), Exception);
  EXPECT_NO_THROW(a.trigger());
  a.Work = [] { throw 42; };
  EXPECT_NO_THROW(a.trigger());
  EXPECT_EQ(a.Runs, 3);
}

TEST_F(ShellActionsTest, UpdateReadsTheGettersAndDefaultsAreNotStored) {
  QWidget form;
  WorkAction a(&form);
  a.setCheckable(true);
  a.AfterConstruction();
  EXPECT_FALSE(a.IsCaptionStored());
  EXPECT_TRUE(a.Update());
  EXPECT_EQ(a.text(), QStringLiteral("&Open"));
  EXPECT_FALSE(a.isChecked());
  a.Runs = 1;
  a.Enabled = false;
  a.Update();
  EXPECT_EQ(a.text(), QStringLiteral("&Open again"));
  EXPECT_TRUE(a.isChecked());
  EXPECT_FALSE(a.isEnabled());
  EXPECT_TRUE(a.IsCaptionStored());
}

TEST_F(ShellActionsTest, OwnerWindowAndAdditionalAction) {
  QWidget mainForm;
  QWidget panel(&mainForm);
  QObject holder(&mainForm);
  WorkAction a(&holder);
  EXPECT_EQ(a.GetOwnerWindow(), &mainForm);  // the root of the owner chain
  QWidget other;
  QWidget button(&other);
  a.ActionComponent = &button;
  EXPECT_EQ(a.GetErrorOwnerWindow(), &other);  // the triggering control's window
  auto* extra = new QAction(&mainForm);
  a.SetAdditionalAction(extra);
  EXPECT_EQ(a.GetAdditionalAction(), extra);
  delete extra;
  EXPECT_EQ(a.GetAdditionalAction(), nullptr);
}
