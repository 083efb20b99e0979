#include "shell/qt/noxShellActions.h"

#include <QApplication>
#include <QWidget>

#include "rtl/KvSysUtils.h"
#include "shell/noxShellDialogs.h"
#include "shell/qt/noxShellDialogs.h"

TnoxShellAction::TnoxShellAction(QObject* AOwner) : QAction(AOwner) {
  ErrorButtons = 0;
  connect(this, &QAction::triggered, this, [this]() { Execute(); });
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
