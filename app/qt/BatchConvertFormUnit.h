// Batch conversion: every picture of a folder, or every file of the opened
// list, converted with the current converter and options on a thread of its
// own, written as BMP, PNG, GIF or native files. The window polls the
// thread's counters and log every 500 ms.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/KvDest.h"
#include "app/KvSource.h"
#include "app/qt/KvControls.h"
#include "core/KvDestProgress.h"
#include "shell/qt/noxShellFormEx.h"

class TKvBatchThread {
public:
  // AFiles empty: the pictures of ASourceFolder. The thread starts at once.
  TKvBatchThread(const std::vector<std::string>& AFiles, const std::string& ASourceFolder,
                 const std::string& ADestFolder, TKvDest& ADest, int AFormat);
  ~TKvBatchThread();

  void Cancel();
  void WaitFor();
  bool Finished() const { return FFinished; }
  void GetCounters(int& ADone, int& ATotal, int& APosition, int& AMax);
  std::string TakeLogLine();
  int GetTotalUnlocked() const { return FTotal; }

private:
  void Execute();
  void ConvertFile(const std::string& AFileName);
  void AddLog(const std::string& ALine);
  void SaveResult(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams, const std::string& AName);

  bool FAbort = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::string FSourceFolder;
  std::vector<std::string> FFiles;
  std::string FDestFolder;
  const TKvDestEngineClass* FEngineClass = nullptr;
  std::unique_ptr<TKvDestEngine> FEngine;
  int FFormat = 3;
  std::unique_ptr<TKvDestEngineOptions> FOptions;
  std::mutex FLock;
  int FDone = 0;
  std::atomic<int> FTotal{0};
  TKvDestProgress FProgress;
  std::vector<std::string> FLog;
  std::thread FThread;
};

class TKvBatchConvertForm : public TnoxShellUIForm {
public:
  TKvBatchConvertForm(TKvSourceFiles* ASourceFiles, TKvDest& ADest);
  ~TKvBatchConvertForm() override;

  void StartConversion();
  void PollThread();
  TnoxSize GetInitialClientSize() override;
  void ResizeControls() override;
  void ArrangeControls() override;

  TKvEdit* SourceEdit = nullptr;
  TKvButton* SourceButton = nullptr;
  TKvEdit* DestEdit = nullptr;
  TKvButton* DestButton = nullptr;
  TnoxShellComboBox* FormatCombo = nullptr;
  TLabel* StatusLabel = nullptr;
  QWidget* ProgressBar = nullptr;
  QPlainTextEdit* LogMemo = nullptr;
  QPushButton* ConvertButton = nullptr;
  QPushButton* CancelButton = nullptr;
  TKvBatchThread* GetThread() const { return FThread.get(); }

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;

private:
  TKvSourceFiles* FSourceFiles;
  TKvDest& FDest;
  TLabel* FSourceLabel = nullptr;
  TLabel* FDestLabel = nullptr;
  TLabel* FFormatLabel = nullptr;
  std::unique_ptr<TKvBatchThread> FThread;
  QTimer* FTimer = nullptr;
  int FProgressMax = 0;
  int FProgressPosition = 0;
};
