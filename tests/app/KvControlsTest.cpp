#include "app/KvControls.h"

#include "app/KvAppUnits.h"
#include "bitmap/B32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtensionSystem.h"

namespace fs = std::filesystem;

namespace {

class TFailingStore : public TnoxSettingsStore {
public:
  bool ReadString(const std::string&, const std::string&, std::string&) override { throw Exception("unreadable"); }
  void WriteString(const std::string&, const std::string&, const std::string&) override {
    throw EOSError(5, "Access is denied.");
  }
};

fs::path MakeTempFolder(const char* AName) {
  fs::path LPath = fs::temp_directory_path() / (std::string("kvapp_") + AName + "_" + std::to_string(::getpid()));
  fs::remove_all(LPath);
  fs::create_directories(LPath);
  return LPath;
}

void Touch(const fs::path& APath) { std::ofstream(APath) << "x"; }

}  // namespace

TEST(KvSettings, AccessorsReadAndWriteTheirOwnValues) {
  TnoxMemorySettingsStore LStore;
  SetCurrentUserKey(&LStore);
  EXPECT_EQ(GetPathSetting(), "");
  SetPathSetting("/pictures");
  SetPalettePathSetting("/palettes");
  SetBatchPathSetting("/out");
  SetLastPlatformSetting("Common");
  SetLastModeSetting("B/W");
  std::string LValue;
  ASSERT_TRUE(LStore.ReadString("Software\\Noxwell Software\\Kovrel", "Path", LValue));
  EXPECT_EQ(LValue, "/pictures");
  EXPECT_EQ(RegReadString(&LStore, KovrelRegistryKey, "PalettePath"), "/palettes");
  EXPECT_EQ(RegReadString(&LStore, KovrelRegistryKey, "BatchPath"), "/out");
  EXPECT_EQ(GetLastPlatformSetting(), "Common");
  EXPECT_EQ(GetLastModeSetting(), "B/W");

  // Reading never fails; a failed write reaches the caller.
  TFailingStore LFailing;
  SetCurrentUserKey(&LFailing);
  EXPECT_EQ(GetPathSetting(), "");
  EXPECT_THROW(SetPathSetting("x"), EOSError);
  SetCurrentUserKey(nullptr);
}

TEST(KvControls, IsPictureFileLooksAtTheExtensionOnly) {
  struct Case { const char* Name; bool Expected; };
  const Case LCases[] = {{"a.jpg", true}, {"a.JPEG", true}, {"b.Png", true}, {"c.bmp", true}, {"d.gif", true},
                         {"e.jpe", false}, {"f.tif", false}, {"png", false}, {"dir.png/file", false},
                         {"x.scr", false}};
  for (const Case& LCase : LCases) EXPECT_EQ(IsPictureFile(LCase.Name), LCase.Expected) << LCase.Name;
}

TEST(KvControls, ScanFolderListsPictureFilesOfOneFolder) {
  const fs::path LFolder = MakeTempFolder("scan");
  Touch(LFolder / "one.png");
  Touch(LFolder / "two.JPG");
  Touch(LFolder / "note.txt");
  fs::create_directories(LFolder / "sub.png");
  Touch(LFolder / "sub.png" / "inner.bmp");

  std::vector<std::string> LNames;
  ScanFolder(LFolder.string(), LNames, true);
  std::sort(LNames.begin(), LNames.end());
  EXPECT_EQ(LNames, (std::vector<std::string>{"one.png", "two.JPG"}));

  std::vector<std::string> LFull{"kept"};
  ScanFolder(LFolder.string() + "/", LFull, false);
  ASSERT_EQ(LFull.size(), 3u);
  EXPECT_EQ(LFull[0], "kept");
  EXPECT_EQ(fs::path(LFull[1]).parent_path(), LFolder);

  std::vector<std::string> LNone;
  ScanFolder((LFolder / "missing").string(), LNone, true);
  EXPECT_TRUE(LNone.empty());
  fs::remove_all(LFolder);
}

TEST(KvControls, FindExistingFolderClimbsToTheNearestParent) {
  const fs::path LFolder = MakeTempFolder("find");
  EXPECT_EQ(FindExistingFolder((LFolder / "gone" / "deeper").string()), LFolder.string());
  EXPECT_EQ(FindExistingFolder(LFolder.string() + "/"), LFolder.string());
  EXPECT_EQ(FindExistingFolder(""), "");
  EXPECT_EQ(FindExistingFolder("relative-missing-folder"), "");
  fs::remove_all(LFolder);
}

TEST(KvControls, AspectFitsKeepTheShape) {
  struct Case { double W, H; int FW, FH; TKvSize In, Cover; };
  const Case LCases[] = {
      {4000, 3000, 2048, 2048, {2048, 1536}, {2731, 2048}},
      {1000, 4, 2048, 2048, {2048, 8}, {512000, 2048}},
      {0, 10, 100, 100, {0, 0}, {0, 0}},
      {10, 10, 100, 50, {50, 50}, {100, 100}},
      {1000, 1, 10, 10, {10, 1}, {10000, 10}},
  };
  for (const Case& C : LCases) {
    EXPECT_EQ(FitSourceInResult(C.W, C.H, C.FW, C.FH), C.In) << C.W << "x" << C.H;
    EXPECT_EQ(FitResultInSource(C.W, C.H, C.FW, C.FH), C.Cover) << C.W << "x" << C.H;
  }
}

TEST(KvControls, ZoomRepeatsEveryPixelAsABlock) {
  InitializeAppCore();
  TBitmap32 LSource(2, 1);
  LSource.GetBits()[0] = 0xFF112233;
  LSource.GetBits()[1] = 0xFF445566;
  TBitmap32 LZoomed;
  ZoomBitmap32(LZoomed, LSource, 3);
  ASSERT_EQ(LZoomed.GetWidth(), 6);
  ASSERT_EQ(LZoomed.GetHeight(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(LZoomed.GetPixel(x, y), x < 3 ? 0xFF112233u : 0xFF445566u);
  TBitmap32 LCopy;
  ZoomBitmap32(LCopy, LSource, 1);
  EXPECT_EQ(LCopy.GetWidth(), 2);
  EXPECT_EQ(LCopy.GetPixel(1, 0), 0xFF445566u);
  TBitmap32 LStretched;
  ZoomToSize(4, 2, LStretched, LSource, 2);
  EXPECT_EQ(LStretched.GetWidth(), 8);
  EXPECT_EQ(LStretched.GetPixel(7, 3), 0xFF445566u);
}
