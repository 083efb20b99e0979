// The program: starts the units in order, opens the main window and runs the
// message loop.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "importers/KvImporterUnits.h"
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
    // Every unit, in order: bitmap library, application frame, converters, importers.
    InitializeImporters();
    auto LForm = noxCreateForm<TMainForm>();
    LForm->show();
    // For the display test: the window grabs itself once shown, then quits.
    if (const char* LShot = std::getenv("KOVREL_SCREENSHOT")) {
      const QString LFile = QString::fromLocal8Bit(LShot);
      QTimer::singleShot(1500, LForm.get(), [&LForm, LFile] {
        LForm->grab().save(LFile, "PNG");
        QApplication::quit();
      });
    }
    LResult = QApplication::exec();
    LForm.reset();
    FinalizeImporters();
  } catch (const std::exception& E) {
    ShowExceptionBox(nullptr, E, QString(), QString(), QString(), 0, 1);
    LResult = 1;
  }
  SetCurrentUserKey(nullptr);
  return LResult;
}
