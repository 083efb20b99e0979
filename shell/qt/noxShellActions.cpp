#include "shell/qt/noxShellActions.h"

#include <QApplication>
#include <QtGlobal>
#include <QWidget>

#include "rtl/KvSysUtils.h"
#include "shell/noxShellDialogs.h"
#include "shell/qt/noxShellDialogs.h"

TnoxShellAction::TnoxShellAction(QObject* AOwner) : QAction(AOwner) {
  ErrorButtons = 0;
  // The toolkit's signal is the edge of the event loop, which no exception may
  // cross: what Execute lets pass (a failure while showing the exception box,
  // an object of no exception class) ends here.
  connect(this, &QAction::triggered, this, [this]() {
    try {
      Execute();
    } catch (const std::exception& e) {
      qWarning("%s: %s", qUtf8Printable(text()), e.what());
    } catch (...) {
      qWarning("%s: unknown failure", qUtf8Printable(text()));
    }
  });
}

TnoxShellAction::~TnoxShellAction() { FAdditionalAction = nullptr; }

void TnoxShellAction::AfterConstruction() {
  FDefaultCaption = text();
  FDefaultShortCut = shortcut();
}

bool TnoxShellAction::Update() {
  setText(QueryCaption());
  setEnabled(QueryEnabled());
  setChecked(QueryChecked());
  setVisible(QueryVisible());
  SetImageIndex(QueryImageIndex());
  setShortcut(QueryShortCut());
  return true;
}

bool TnoxShellAction::Execute() {
  if (!QueryEnabled()) return true;
  for (;;) {
    try {
      DoExecute();
      return true;
    } catch (const std::exception& e) {
      // Every failure of the work ends here: shown, and tried again on Retry.
      if (ShowExceptionBox(GetErrorOwnerWindow(), e, QString(), QString(), QString(), ErrorButtons, 1) != IDRETRY)
        return true;
    }
  }
}

QWidget* TnoxShellAction::GetOwnerWindow() {
  if (auto* control = qobject_cast<QWidget*>(ActionComponent)) {
    // A control's own window; a control without one of its own uses its parent's.
    if (QWidget* w = control->window()) return w;
  }
  QObject* root = parent();
  while (root && root->parent()) root = root->parent();
  if (auto* form = qobject_cast<QWidget*>(root)) return form->window();
  if (QWidget* active = QApplication::activeWindow()) return active;
  return nullptr;
}
