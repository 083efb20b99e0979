// Batch conversion without a window: every picture of a folder, or every
// file of a list, converted with the current converter and options on a
// worker, written as BMP, PNG, GIF or native files. A file that fails is
// logged with its path and leaves no file behind; the others go on. Pictures
// of the same stem (photo.bmp, photo.png) never overwrite each other's results.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/KvAppServices.h"
#include "app/KvDest.h"
#include "core/KvDestProgress.h"

class TFileSetWriter;

class TKvBatchThread {
public:
  // AFiles empty: the pictures of ASourceFolder. AFormat: 0 BMP, 1 PNG,
  // 2 GIF, 3 native. The work starts at once on a worker of ALauncher (a
  // thread of its own when nil); it owns copies of the converter and options.
  TKvBatchThread(const std::vector<std::string>& AFiles, const std::string& ASourceFolder,
                 const std::string& ADestFolder, TKvDest& ADest, int AFormat,
                 TKvWorkerLauncher* ALauncher = nullptr);
  ~TKvBatchThread();

  void Cancel();
  void WaitFor();
  bool Finished() const { return FFinished; }
  void GetCounters(int& ADone, int& ATotal, int& APosition, int& AMax);
  std::string TakeLogLine();
  int GetTotalUnlocked() const { return FTotal; }

private:
  void Execute();
  // False when the batch cannot go on: the destination folder cannot be made.
  bool ConvertFile(const std::string& AFileName);
  void AddLog(const std::string& ALine);
  // Writes the result of the picture AName as one set of files. Returns the
  // name of its first file when another result of the batch had taken the
  // plain one, else "".
  std::string SaveResult(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams,
                         const std::string& AName);
  void AddResultFiles(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams, const std::string& AStem,
                      TFileSetWriter& AFiles);

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
  // The names this batch has written, in lower case: a later result never
  // replaces one of them.
  std::set<std::string> FWritten;
  std::unique_ptr<TKvWorker> FWorker;
};
