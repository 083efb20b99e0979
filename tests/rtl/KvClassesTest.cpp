#include "rtl/KvClasses.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

TEST(MemoryStream, GrowsWithZerosAndShortReadRaises) {
  TMemoryStream s;
  s.SetSize(3);
  EXPECT_EQ(s.GetMemory()[0], 0);
  s.Seek(0, soEnd);
  const uint8_t b[2] = {7, 8};
  s.WriteBuffer(b, 2);
  EXPECT_EQ(s.GetSize(), 5);
  s.SetPosition(4);
  uint8_t out[2] = {};
  EXPECT_EQ(s.Read(out, 2), 1);
  EXPECT_EQ(out[0], 8);
  s.SetPosition(4);
  EXPECT_THROW(s.ReadBuffer(out, 2), EReadError);
  // A position past the end reads nothing and writing there fills with zeros.
  s.SetPosition(8);
  EXPECT_EQ(s.Remaining(), 0);
  s.WriteBuffer(b, 1);
  EXPECT_EQ(s.GetSize(), 9);
  EXPECT_EQ(s.GetMemory()[6], 0);
}

TEST(FileStream, SaveLoadAndMissingFile) {
  const auto dir = std::filesystem::temp_directory_path() / "kv_classes_test";
  std::filesystem::create_directories(dir);
  const std::string name = (dir / "a.bin").string();
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SaveToFile(name);
  TMemoryStream t;
  t.LoadFromFile(name);
  ASSERT_EQ(t.GetSize(), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.GetMemory()), 3), "abc");
  // Only the target is left behind, no temporary file.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) (void)e, ++files;
  EXPECT_EQ(files, 1);
  EXPECT_THROW(TFileStream((dir / "missing").string(), fmOpenRead), EFOpenError);
  // A folder that does not exist: nothing is written and the error is clear.
  EXPECT_THROW(s.SaveToFile((dir / "no" / "x.bin").string()), EFCreateError);
  std::filesystem::remove_all(dir);
}

TEST(SaveBytesToFile, WritesWholeFileWithUsualPermissionsAndLeavesNoTemporary) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("kv_save_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string name = (dir / "out.bin").string();
  const mode_t old = ::umask(022);
  const std::string data = "abcdef";
  SaveBytesToFile(name, data.data(), static_cast<int64_t>(data.size()));
  SaveBytesToFile(name, data.data(), 3);  // replaces the file whole
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // A folder that does not exist: an error, and nothing is written.
  EXPECT_THROW(SaveBytesToFile((dir / "missing" / "x.bin").string(), data.data(), 1), EFCreateError);
  fs::remove_all(dir);
}

namespace {

namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& AName) {
  const fs::path dir = fs::temp_directory_path() / (AName + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string FileText(const fs::path& AFile) {
  std::ifstream in(AFile, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutText(const fs::path& AFile, const std::string& AText) { std::ofstream(AFile, std::ios::binary) << AText; }

std::vector<std::string> Listing(const fs::path& ADir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(ADir))
    names.push_back(e.path().lexically_relative(ADir).string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// A set of three files of which one cannot be put in place: the folder is
// left exactly as it was, with the file the set would have replaced back in
// place and no temporary or backup file.
TEST(FileSetWriter, AFailedSetLeavesTheFolderAsItWas) {
  const struct {
    const char* obstacle;  // made a directory (or, with a slash, a path through a missing folder)
    bool failsAtAdd;
  } cases[] = {{"b.bin", false}, {"c.bin", false}, {"a.bin", false}, {"missing/c.bin", true}};
  const fs::path dir = FreshFolder("kv_file_set");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.obstacle);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const bool missing = std::string(c.obstacle).find('/') != std::string::npos;
    std::vector<std::string> targets = {"a.bin", "b.bin", missing ? c.obstacle : "c.bin"};
    if (std::string(c.obstacle) != "a.bin") PutText(dir / "a.bin", "old a");
    if (!missing) fs::create_directories(dir / c.obstacle);
    const std::vector<std::string> before = Listing(dir);
    try {
      TFileSetWriter files;
      for (const std::string& t : targets) files.Add((dir / t).string(), "new " + t);
      EXPECT_FALSE(c.failsAtAdd);
      files.Commit();
      FAIL() << "no exception";
    } catch (const EFCreateError& e) {
      const std::string failed = (dir / c.obstacle).string();
      EXPECT_EQ(e.Message().rfind("Cannot create file \"" + failed + "\". ", 0), 0u) << e.Message();
    }
    EXPECT_EQ(Listing(dir), before);
    if (std::string(c.obstacle) != "a.bin") {
      EXPECT_EQ(FileText(dir / "a.bin"), "old a");
    }
  }
  fs::remove_all(dir);
}

// A complete set replaces what was there; a name given twice ends with its
// last content, and no backup stays behind.
TEST(FileSetWriter, ACompleteSetReplacesTheOldFiles) {
  const fs::path dir = FreshFolder("kv_file_set_ok");
  PutText(dir / "a.bin", "old a");
  PutText(dir / "b.bin", "old b");
  TFileSetWriter files;
  files.Add((dir / "a.bin").string(), "new a");
  files.Add((dir / "b.bin").string(), "first b");
  files.Add((dir / "b.bin").string(), "last b");
  files.Add((dir / "c.bin").string(), "");
  EXPECT_EQ(files.GetFileNames().size(), 4u);
  files.Commit();
  EXPECT_EQ(Listing(dir), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));
  EXPECT_EQ(FileText(dir / "a.bin"), "new a");
  EXPECT_EQ(FileText(dir / "b.bin"), "last b");
  EXPECT_EQ(fs::file_size(dir / "c.bin"), 0u);
  fs::remove_all(dir);
}

// A write that the system refuses part-way (here the file-size limit, which
// fails a write the way a full disk does) names the file and the system's
// reason, and leaves the old file untouched.
TEST(SaveBytesToFile, AFailedWriteNamesTheFileAndTheReason) {
  const fs::path dir = FreshFolder("kv_save_full");
  const std::string name = (dir / "big.bin").string();
  PutText(name, "old");
  const std::string data(64 * 1024, 'x');
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit limit {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string message;
  try {
    SaveBytesToFile(name, data.data(), static_cast<int64_t>(data.size()));
  } catch (const EWriteError& e) {
    message = e.Message();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_EQ(message, "Cannot write file \"" + name + "\". " + std::strerror(EFBIG));
  EXPECT_EQ(Listing(dir), (std::vector<std::string>{"big.bin"}));
  EXPECT_EQ(FileText(name), "old");
  fs::remove_all(dir);
}
