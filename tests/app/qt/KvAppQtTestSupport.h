// Shared set-up of the windowed tests: one application object, the program's
// units started once, an in-memory settings store, a modal presenter that
// never blocks, file dialogs answered by the test, and a converter of the
// test's own that makes flicker frames and native files.
#pragma once

#include <QApplication>
#include <QImage>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/KvAppUnits.h"
#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "app/KvTestFramesEngine.h"
#include "app/qt/KvActions.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtensionSystem.h"
#include "shell/qt/noxShellForm.h"

// Records every modal form and answers it without a loop.
class TTestPresenter : public TnoxShellModalPresenter {
public:
  int32_t ShowModal(TnoxShellBaseUIForm& AForm) override {
    ++Count;
    Titles.push_back(AForm.windowTitle().toStdString());
    if (OnShow) return OnShow(AForm);
    return 1;
  }
  void MessageBeep(uint32_t) override {}
  int Count = 0;
  std::vector<std::string> Titles;
  std::function<int32_t(TnoxShellBaseUIForm&)> OnShow;
};

inline void EnsureAppStarted() {
  static bool LStarted = false;
  if (LStarted) return;
  LStarted = true;
  static TnoxMemorySettingsStore LStore;
  SetCurrentUserKey(&LStore);
  InitializeAppCore();
  RegisterDestEngine(DestEngineClass<TTestFramesEngine>());
}

inline std::filesystem::path MakeTempFolder(const std::string& AName) {
  // Tests run as parallel processes: each gets folders of its own.
  const std::filesystem::path LPath =
      std::filesystem::temp_directory_path() / ("kovrel_appqt_" + std::to_string(::getpid()) + "_" + AName);
  std::filesystem::remove_all(LPath);
  std::filesystem::create_directories(LPath);
  return LPath;
}

// A colourful test picture.
inline QImage MakeTestImage(int AWidth, int AHeight) {
  QImage LImage(AWidth, AHeight, QImage::Format_RGB32);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) LImage.setPixel(x, y, qRgb(x * 255 / AWidth, y * 255 / AHeight, (x ^ y) & 0xFF));
  return LImage;
}
