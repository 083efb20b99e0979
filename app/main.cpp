// The program: starts the units in order, opens the main window and runs the
// message loop.
#include <QApplication>

#include "app/KvAppUnits.h"
#include "app/qt/MainFormUnit.h"
#include "shell/noxShellBaseExtensionSystem.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellSettingsStore.h"

#ifndef KOVREL_VERSION
#define KOVREL_VERSION ""
#endif

int main(int argc, char* argv[]) {
  QApplication LApp(argc, argv);
  QApplication::setApplicationName("Kovrel");
  TnoxIniSettingsStore LSettings;
  SetCurrentUserKey(&LSettings);
  SetProductVersion(KOVREL_VERSION);
  int LResult = 0;
  try {
    InitializeAppCore();
    auto LForm = noxCreateForm<TMainForm>();
    LForm->show();
    LResult = QApplication::exec();
    LForm.reset();
    FinalizeAppCore();
  } catch (const std::exception& E) {
    ShowExceptionBox(nullptr, E, QString(), QString(), QString(), 0, 1);
    LResult = 1;
  }
  SetCurrentUserKey(nullptr);
  return LResult;
}
