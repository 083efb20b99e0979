#include "app/KvBatchThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include "app/KvAppUnits.h"
#include "app/KvSavePlatformCommon.h"
#include "app/KvTestFramesEngine.h"
#include "app/KvTestServices.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPictureFixtures.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const fs::path& AFolder) {
  std::vector<std::string> LNames;
  for (const auto& E : fs::directory_iterator(AFolder)) LNames.push_back(E.path().filename().string());
  std::sort(LNames.begin(), LNames.end());
  return LNames;
}

std::vector<std::string> TakeLog(TKvBatchThread& ABatch) {
  std::vector<std::string> log;
  for (std::string line = ABatch.TakeLogLine(); !line.empty(); line = ABatch.TakeLogLine()) log.push_back(line);
  return log;
}

// An empty folder of this test process with an empty "in" folder in it.
fs::path FreshFolder(const std::string& AName) {
  const fs::path folder = fs::temp_directory_path() / (AName + "_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "in");
  return folder;
}

void PutBytes(const fs::path& AFile, const std::string& ABytes) { std::ofstream(AFile, std::ios::binary) << ABytes; }

// Converts AFiles into AOut with the test converter's frames and side files
// and returns the log.
std::vector<std::string> RunBatch(const std::vector<std::string>& AFiles, const fs::path& AOut, int AFormat) {
  TManualTimerFactory timers;
  TManualLauncher workers;
  TKvDest dest(timers, workers);
  dest.SetEngine(DestEngineClass<TTestFramesEngine>());
  TKvBatchThread batch(AFiles, "-", AOut.string(), dest, AFormat, &workers);
  batch.WaitFor();
  EXPECT_TRUE(batch.Finished());
  return TakeLog(batch);
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

// A result of several files (picture and frames, native file and side file)
// with a directory in the way of any one of them leaves no file of that result,
// and an older file of the same name that was there stays as it was.
TEST(KvBatchThread, AResultIsWrittenWholeOrNotAtAll) {
  InitializeAppCore();
  const fs::path folder = FreshFolder("kv_batch_whole");
  const std::string picture = (folder / "in" / "pic.bmp").string();
  TBitmap32 bitmap(8, 4);
  bitmap.Clear(0xFF00FF00u);
  bitmap.SaveToFile(picture, true);
  const struct {
    int format;
    std::vector<std::string> names;  // in the order they are written
  } cases[] = {{1, {"pic.png", "pic.0.png", "pic.1.png"}}, {3, {"pic.scr", "pic.att"}}};
  for (const auto& c : cases) {
    const fs::path out = folder / "out";
    fs::remove_all(out);
    EXPECT_EQ(RunBatch({picture}, out, c.format), std::vector<std::string>{"pic.bmp: OK"});
    std::vector<std::string> sorted = c.names;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(Names(out), sorted);
    for (const std::string& blocked : c.names) {
      SCOPED_TRACE(blocked);
      fs::remove_all(out);
      fs::create_directories(out / blocked);
      const bool older = blocked != c.names.front();
      if (older) PutBytes(out / c.names.front(), "older");
      EXPECT_EQ(RunBatch({picture}, out, c.format),
                std::vector<std::string>{"pic.bmp: Cannot create file \"" + (out / blocked).string() +
                                         "\". Is a directory"});
      EXPECT_EQ(Names(out), older ? (std::vector<std::string>{blocked, c.names.front()})
                                  : std::vector<std::string>{blocked});
      if (older) {
        EXPECT_EQ(ReadFileBytes((out / c.names.front()).string()).size(), 5u);
      }
    }
  }
  fs::remove_all(folder);
}

// Pictures of one stem all keep their results: the first gets the plain
// name, a later one keeps its source's extension in its stem and says so,
// and a number follows when even that name was written before.
TEST(KvBatchThread, PicturesOfOneStemKeepTheirResults) {
  InitializeAppCore();
  const fs::path folder = FreshFolder("kv_batch_stems");
  std::vector<uint8_t> gray(8 * 8, 200);
  std::vector<uint8_t> rgb(8 * 8 * 3, 200);
  const std::map<std::string, std::string> pictures = {
      {"photo.bmp", fixtures::MakeBMP(8, 8, 8, {0x000000, 0xC8C8C8}, std::string(64, '\1'), 0, 2)},
      {"photo.png", fixtures::MakePNG(8, 8, PNG_COLOR_TYPE_GRAY, 8, std::string(gray.begin(), gray.end()))},
      {"photo.jpg", fixtures::MakeJPEG(8, 8, rgb)},
      {"photo.gif", fixtures::MakeGIF(8, 8, 0, 0, 8, 8, {0x000000, 0xC8C8C8}, std::vector<uint8_t>(64, 1))},
      {"photo.png.bmp", fixtures::MakeBMP(8, 8, 8, {0x000000, 0xC8C8C8}, std::string(64, '\1'), 0, 2)},
  };
  for (const auto& [name, bytes] : pictures) PutBytes(folder / "in" / name, bytes);
  auto paths = [&](std::vector<std::string> ANames) {
    for (std::string& n : ANames) n = (folder / "in" / n).string();
    return ANames;
  };

  EXPECT_EQ(RunBatch(paths({"photo.bmp", "photo.png", "photo.jpg", "photo.gif"}), folder / "out", 3),
            (std::vector<std::string>{"photo.bmp: OK", "photo.png: OK, saved as photo.png.scr",
                                      "photo.jpg: OK, saved as photo.jpg.scr",
                                      "photo.gif: OK, saved as photo.gif.scr"}));
  EXPECT_EQ(Names(folder / "out"),
            (std::vector<std::string>{"photo.att", "photo.gif.att", "photo.gif.scr", "photo.jpg.att", "photo.jpg.scr",
                                      "photo.png.att", "photo.png.scr", "photo.scr"}));

  EXPECT_EQ(RunBatch(paths({"photo.png.bmp", "photo.bmp", "photo.png"}), folder / "taken", 1),
            (std::vector<std::string>{"photo.png.bmp: OK", "photo.bmp: OK",
                                      "photo.png: OK, saved as photo.png_2.png"}));
  EXPECT_EQ(Names(folder / "taken"),
            (std::vector<std::string>{"photo.0.png", "photo.1.png", "photo.png", "photo.png.0.png", "photo.png.1.png",
                                      "photo.png.png", "photo.png_2.0.png", "photo.png_2.1.png", "photo.png_2.png"}));
  fs::remove_all(folder);
}

// A destination folder that cannot be made is logged once, with its own
// reason, and the batch ends: every file would fail the same way.
TEST(KvBatchThread, AFolderThatCannotBeMadeIsLoggedOnce) {
  InitializeAppCore();
  const fs::path folder = FreshFolder("kv_batch_nofolder");
  std::vector<std::string> files;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
    files.push_back((folder / "in" / name).string());
    TBitmap32 bitmap(4, 4);
    bitmap.SaveToFile(files.back(), true);
  }
  PutBytes(folder / "file", "not a folder");
  const fs::path out = folder / "file" / "out";
  EXPECT_EQ(RunBatch(files, out, 0),
            std::vector<std::string>{"Cannot create folder \"" + out.string() + "/\". Not a directory"});
  fs::remove_all(folder);
}
