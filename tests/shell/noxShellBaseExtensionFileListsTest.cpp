#include "shell/noxShellBaseExtensionFileLists.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TTempDir {
  TTempDir() {
    Path = fs::temp_directory_path() / ("kv_filelists_" + std::to_string(::getpid()) + "_" + std::to_string(N++));
    fs::create_directories(Path);
  }
  ~TTempDir() { fs::remove_all(Path); }
  std::string Add(const std::string& name, const std::string& content) {
    std::ofstream(Path / name, std::ios::binary) << content;
    return (Path / name).string();
  }
  fs::path Path;
  static inline int N = 0;
};

std::string ReadAll(TStream& s) {
  std::string out(static_cast<size_t>(s.GetSize()), '\0');
  s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  return out;
}

TnoxShellDataOffer Drop(std::vector<std::string> files) {
  TnoxShellDataOffer o;
  o.HasFiles = true;
  o.Files = std::move(files);
  return o;
}

}  // namespace

TEST(ShellAttributes, TranslateBothWays) {
  EXPECT_EQ(FileAttrToShellAttr(0x10), 0xA8000000u);
  EXPECT_EQ(FileAttrToShellAttr(0x20), 0x400000u);
  EXPECT_EQ(FileAttrToShellAttr(0x1 | 0x2 | 0x4 | 0x800 | 0x4000), 0x40000u | 0x80000u | 0x1000u | 0x400000u | 0x4000000u | 0x2000u);
  EXPECT_EQ(ShellAttrToFileAttr(0), 0x80u);
  EXPECT_EQ(ShellAttrToFileAttr(0xA8000000u), 0x10u);
  EXPECT_EQ(ShellAttrToFileAttr(SFGAO_FOLDER | SFGAO_STREAM), 0x80u);  // a zip-like folder is a file
  EXPECT_EQ(ShellAttrToFileAttr(SFGAO_READONLY | SFGAO_HIDDEN), 0x3u);
}

TEST(TnoxDirectoryFileList, WalksAFolderWithFullPaths) {
  TTempDir dir;
  dir.Add("b.scr", "bbbb");
  dir.Add("a.png", "aa");
  fs::create_directory(dir.Path / "sub");
  dir.Add("sub/c.bmp", "c");
  std::string path = dir.Path.string();  // no trailing separator
  TnoxDirectoryFileList list(path);
  TnoxSearchRec rec;
  TnoxFindHandle h = list.FindFirst(rec);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(rec.Name, path + "/a.png");
  EXPECT_EQ(rec.Size, 2u);
  EXPECT_GT(rec.LastWriteTime, 0u);
  EXPECT_EQ(ReadAll(*list.OpenStream(h, rec, 0, false)), "aa");
  ASSERT_TRUE(list.FindNext(h, rec));
  EXPECT_EQ(rec.Name, path + "/b.scr");
  ASSERT_TRUE(list.FindNext(h, rec));
  EXPECT_EQ(rec.Name, path + "/sub");
  EXPECT_TRUE(rec.Attr & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(rec.ShellAttr, 0xA8000000u);
  auto sub = list.OpenFolder(h, rec);
  bool allReal = false;
  EXPECT_EQ(sub->GetNames(allReal), (std::vector<std::string>{path + "/sub/c.bmp"}));
  EXPECT_TRUE(allReal);
  TnoxSearchRec last = rec;
  EXPECT_FALSE(list.FindNext(h, rec));
  try {
    list.OpenStream(h, last, 0, false);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Out of file list");
  }
  list.FindClose(h);
  EXPECT_FALSE(list.IsSingleFile());
  EXPECT_TRUE(TnoxDirectoryFileList(path + "/sub").IsSingleFile());
}

TEST(TnoxDirectoryFileList, EmptyAndMissingFolders) {
  TTempDir dir;
  TnoxDirectoryFileList empty(dir.Path.string());
  TnoxSearchRec rec;
  EXPECT_EQ(empty.FindFirst(rec), nullptr);
  bool allReal = false;
  EXPECT_TRUE(empty.GetNames(allReal).empty());
  EXPECT_TRUE(allReal);
  TnoxDirectoryFileList missing((dir.Path / "none").string());
  try {
    missing.FindFirst(rec);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
  }
}

TEST(TnoxDataObjectCF_HDROPFileList, WalksADropOfThreeFiles) {
  TTempDir dir;
  const std::string a = dir.Add("one.scr", "1"), b = dir.Add("two.scr", "22"), c = dir.Add("three.scr", "333");
  const TnoxShellDataOffer offer = Drop({c, a, b});
  auto list = CreateFileListFrom(offer);
  ASSERT_NE(list, nullptr);
  TnoxSearchRec rec;
  TnoxFindHandle h = list->FindFirst(rec);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(rec.Name, c);
  EXPECT_EQ(rec.Size, 3u);
  ASSERT_TRUE(list->FindNext(h, rec));
  ASSERT_TRUE(list->FindNext(h, rec));
  EXPECT_EQ(rec.Name, b);
  const TnoxSearchRec third = rec;
  EXPECT_FALSE(list->FindNext(h, rec));
  EXPECT_EQ(ReadAll(*list->OpenStream(h, third, 0, false)), "22");  // still on the last entry
  list->FindClose(h);
  bool allReal = false;
  EXPECT_EQ(list->GetNames(allReal), (std::vector<std::string>{c, a, b}));
  EXPECT_TRUE(allReal);
  EXPECT_FALSE(list->IsSingleFile());
  EXPECT_TRUE(CreateFileListFrom(Drop({a}))->IsSingleFile());
  EXPECT_FALSE(CreateFileListFrom(Drop({dir.Path.string()}))->IsSingleFile());  // one folder
  TnoxSearchRec none;
  EXPECT_EQ(CreateFileListFrom(Drop({}))->FindFirst(none), nullptr);
  EXPECT_EQ(CreateFileListFrom(TnoxShellDataOffer()), nullptr);
}

TEST(FillFromPath, KeepsOnlyTheNameOfAMissingPath) {
  TnoxSearchRec rec;
  rec.Size = 9;
  FillFromPath("/no/such/file.bin", rec);
  EXPECT_EQ(rec.Name, "/no/such/file.bin");
  EXPECT_EQ(rec.Attr, 0u);
  EXPECT_EQ(rec.Size, 0u);
}
