#include "app/KvBatchThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "app/KvAppUnits.h"
#include "app/KvSavePlatformCommon.h"
#include "app/KvTestServices.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const fs::path& AFolder) {
  std::vector<std::string> LNames;
  for (const auto& E : fs::directory_iterator(AFolder)) LNames.push_back(E.path().filename().string());
  std::sort(LNames.begin(), LNames.end());
  return LNames;
}

}  // namespace

// A folder of five pictures, one of them damaged: four convert, the damaged
// one is logged with its path and leaves nothing behind; all without a window.
TEST(KvBatchThread, ConvertsAFolderAndLogsTheFileThatFails) {
  InitializeAppCore();
  const fs::path LFolder = fs::temp_directory_path() / ("kv_batch_headless_" + std::to_string(::getpid()));
  fs::remove_all(LFolder);
  fs::create_directories(LFolder / "in");
  for (const char* LName : {"a", "b", "c", "d"}) {
    TBitmap32 LPicture(12, 8);
    LPicture.Clear(LName[0] == 'a' ? 0xFFFFFFFFu : 0xFF204060u);
    LPicture.FillRect(0, 0, 6, 8, 0xFF000000u);
    LPicture.SaveToFile((LFolder / "in" / (std::string(LName) + ".bmp")).string(), true);
  }
  const std::string LBroken = (LFolder / "in" / "broken.bmp").string();
  {
    std::ofstream LOut(LBroken, std::ios::binary);
    LOut << "BM" << std::string(60, '\x7F');
  }

  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  TKvDest LDest(LTimers, LWorkers);
  LDest.SetEngine(DestEngineClass<TKvCustomBWEngine>());
  for (int LFormat : {0, 1}) {
    const fs::path LOut = LFolder / ("out" + std::to_string(LFormat));
    TKvBatchThread LBatch({}, (LFolder / "in").string(), LOut.string(), LDest, LFormat, &LWorkers);
    LBatch.WaitFor();
    EXPECT_TRUE(LBatch.Finished());
    int LDone = 0, LTotal = 0, LPosition = 0, LMax = 0;
    LBatch.GetCounters(LDone, LTotal, LPosition, LMax);
    EXPECT_EQ(LDone, 5);
    EXPECT_EQ(LTotal, 5);
    std::vector<std::string> LLog;
    for (std::string L = LBatch.TakeLogLine(); !L.empty(); L = LBatch.TakeLogLine()) LLog.push_back(L);
    std::sort(LLog.begin(), LLog.end());
    ASSERT_EQ(LLog.size(), 5u);
    EXPECT_EQ(LLog[0].rfind(LBroken + ": ", 0), 0u) << LLog[0];
    EXPECT_EQ(std::vector<std::string>(LLog.begin() + 1, LLog.end()),
              (std::vector<std::string>{"a.bmp: OK", "b.bmp: OK", "c.bmp: OK", "d.bmp: OK"}));
    const std::string LExt = LFormat == 0 ? ".bmp" : ".png";
    EXPECT_EQ(Names(LOut), (std::vector<std::string>{"a" + LExt, "b" + LExt, "c" + LExt, "d" + LExt}));
  }
  fs::remove_all(LFolder);
}

// Listed files: one that cannot be opened is logged with its path and the
// file-open error; one whose result cannot be written is logged with its bare
// name (the failure comes after the save began) and leaves no temporary file.
TEST(KvBatchThread, LogsOpenFailuresByPathAndWriteFailuresByName) {
  InitializeAppCore();
  const fs::path LFolder = fs::temp_directory_path() / ("kv_batch_failures_" + std::to_string(::getpid()));
  fs::remove_all(LFolder);
  fs::create_directories(LFolder / "in");
  fs::create_directories(LFolder / "out" / "blocked.bmp");  // a folder where the result should go
  std::vector<std::string> LFiles;
  for (const char* LName : {"missing", "good", "blocked"}) {
    LFiles.push_back((LFolder / "in" / (std::string(LName) + ".bmp")).string());
    if (LName[0] == 'm') continue;
    TBitmap32 LPicture(8, 8);
    LPicture.Clear(0xFF808080u);
    LPicture.SaveToFile(LFiles.back(), true);
  }

  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  TKvDest LDest(LTimers, LWorkers);
  LDest.SetEngine(DestEngineClass<TKvCustomBWEngine>());
  TKvBatchThread LBatch(LFiles, "-", (LFolder / "out").string(), LDest, 0, &LWorkers);
  LBatch.WaitFor();
  std::vector<std::string> LLog;
  for (std::string L = LBatch.TakeLogLine(); !L.empty(); L = LBatch.TakeLogLine()) LLog.push_back(L);
  ASSERT_EQ(LLog.size(), 3u);
  EXPECT_EQ(LLog[0], LFiles[0] + ": Cannot open file \"" + LFiles[0] + "\". No such file or directory");
  EXPECT_EQ(LLog[1], "good.bmp: OK");
  EXPECT_EQ(LLog[2].rfind("blocked.bmp: Cannot create file ", 0), 0u) << LLog[2];
  EXPECT_EQ(Names(LFolder / "out"), (std::vector<std::string>{"blocked.bmp", "good.bmp"}));
  EXPECT_TRUE(fs::is_empty(LFolder / "out" / "blocked.bmp"));
  fs::remove_all(LFolder);
}
