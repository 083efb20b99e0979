#include "rtl/KvClasses.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

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
