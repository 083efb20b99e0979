#include "shell/noxShellBaseExtensionFileLists.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <typeindex>

#include "KvTestHarness.h"

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
  auto list = std::make_unique<TnoxDataObjectCF_HDROPFileList>(offer);
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
  EXPECT_TRUE(TnoxDataObjectCF_HDROPFileList(Drop({a})).IsSingleFile());
  EXPECT_FALSE(TnoxDataObjectCF_HDROPFileList(Drop({dir.Path.string()})).IsSingleFile());  // one folder
  TnoxSearchRec none;
  EXPECT_EQ(CreateFileListFrom(Drop({}))->FindFirst(none), nullptr);
}

TEST(FillFromPath, KeepsOnlyTheNameOfAMissingPath) {
  TnoxSearchRec rec;
  rec.Size = 9;
  FillFromPath("/no/such/file.bin", rec);
  EXPECT_EQ(rec.Name, "/no/such/file.bin");
  EXPECT_EQ(rec.Attr, 0u);
  EXPECT_EQ(rec.Size, 0u);
}

namespace {

// A wide (or ANSI) file descriptor with the given flags and fields.
std::vector<uint8_t> Descriptor(bool AWide, uint32_t AFlags, uint32_t AAttr, uint64_t ASize, const std::u16string& AName) {
  std::vector<uint8_t> d(AWide ? FileDescriptorWSize : FileDescriptorASize, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, AFlags);
  put32(36, AAttr);
  // The low halves of the three times.
  put32(40, 1);
  put32(48, 2);
  put32(56, 3);
  put32(64, static_cast<uint32_t>(ASize >> 32));
  put32(68, static_cast<uint32_t>(ASize));
  for (size_t i = 0; i < AName.size(); ++i) {
    if (AWide) {
      d[72 + 2 * i] = static_cast<uint8_t>(AName[i]);
      d[73 + 2 * i] = static_cast<uint8_t>(AName[i] >> 8);
    } else {
      d[72 + i] = static_cast<uint8_t>(AName[i]);
    }
  }
  return d;
}

}  // namespace

TEST(FillFromFileDescriptor, CopiesTheFieldsItsFlagsNameAndMarksTheEntryVirtual) {
  struct TCase {
    bool Wide;
    uint32_t Flags;
    std::u16string Name;
    const char* Expected;
    uint32_t Attr;
    uint64_t Creation, Access, Write, Size;
  };
  const uint64_t big = 0x100000005ull;  // the size's high half first in the descriptor
  const TCase cases[] = {
      {true, 0, u"a.scr", "a.scr", 0x10000, 0, 0, 0, 0},  // nothing valid: size 0, still virtual
      {true, FD_ATTRIBUTES | FD_FILESIZE, u"b.bin", "b.bin", 0x10021, 0, 0, 0, big},
      {true, FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME, u"\u00e9t\u00e9.png", "\xc3\xa9t\xc3\xa9.png", 0x10000, 1, 2, 3, 0},
      {true, FD_WRITESTIME, u"\U0001F600", "\xf0\x9f\x98\x80", 0x10000, 0, 0, 3, 0},
      {false, FD_ATTRIBUTES | FD_ACCESSTIME, u"\u00e9.gif", "\xc3\xa9.gif", 0x10021, 0, 2, 0, 0},
      {false, FD_ATTRIBUTES, u"dir", "dir", 0x10010, 0, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Expected);
    const std::vector<uint8_t> d = Descriptor(c.Wide, c.Flags, c.Flags & FD_ATTRIBUTES ? (c.Attr & 0xFFFF) : 0x21, big, c.Name);
    TnoxSearchRec rec;
    rec.Name = "stale";
    (c.Wide ? FillFromFileDescriptorW : FillFromFileDescriptorA)(d.data(), d.size(), rec);
    EXPECT_EQ(rec.Name, c.Expected);
    EXPECT_EQ(rec.Attr, c.Attr);
    EXPECT_EQ(rec.ShellAttr, FileAttrToShellAttr(c.Attr & 0xFFFF));  // the virtual bit changes nothing
    EXPECT_EQ(rec.CreationTime, c.Creation);
    EXPECT_EQ(rec.LastAccessTime, c.Access);
    EXPECT_EQ(rec.LastWriteTime, c.Write);
    EXPECT_EQ(rec.Size, c.Size);
  }
  // A block shorter than a descriptor is refused.
  const std::vector<uint8_t> shortBlock(FileDescriptorWSize - 1, 0);
  TnoxSearchRec rec;
  EXPECT_EQ(MessageOf([&] { FillFromFileDescriptorW(shortBlock.data(), shortBlock.size(), rec); }), "Invalid medium");
  EXPECT_EQ(MessageOf([&] { FillFromFileDescriptorA(shortBlock.data(), FileDescriptorASize - 1, rec); }),
            "Invalid medium");
}

TEST(CreateFileListFrom, TakesTheFirstRegisteredClassThatReadsTheOffer) {
  TTempDir dir;
  const std::string a = dir.Add("a.scr", "1"), b = dir.Add("b.scr", "2");
  fs::create_directory(dir.Path / "sub");
  const std::string sub = (dir.Path / "sub").string();
  std::vector<std::string> names;
  for (const auto& c : FileListClasses()) names.push_back(c.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"CF_FILENAME", "CF_FILEDESCRIPTOR", "CF_HDROP", "CF_IDLIST",
                                             "ShellItemArray"}));
  struct TCase {
    const char* Name;
    TnoxShellDataOffer Offer;
    std::type_index Class;
  };
  const TCase cases[] = {
      {"one name", Drop({a}), typeid(TnoxDataObjectCF_FILENAMEFileList)},
      {"files with contents", Drop({a, b}), typeid(TnoxDataObjectCF_FILEDESCRIPTORFileList)},
      {"a folder among the files", Drop({a, sub}), typeid(TnoxDataObjectCF_HDROPFileList)},
      {"an empty list", Drop({}), typeid(TnoxDataObjectCF_HDROPFileList)},
  };
  for (const TCase& c : cases) {
    auto list = CreateFileListFrom(c.Offer);
    ASSERT_NE(list, nullptr) << c.Name;
    const TnoxShellFileList& made = *list;
    EXPECT_EQ(std::type_index(typeid(made)), c.Class) << c.Name;
  }
  EXPECT_EQ(CreateFileListFrom(TnoxShellDataOffer()), nullptr);
  // The namespace lists take absolute names only.
  EXPECT_TRUE(TnoxDataObjectCF_IDLISTFileList::CanLoadFrom(Drop({a, sub})));
  EXPECT_FALSE(TnoxDataObjectCF_IDLISTFileList::CanLoadFrom(Drop({"a.scr"})));
  EXPECT_FALSE(TnoxDataObjectShellItemArrayFileList::CanLoadFrom(Drop({})));
  EXPECT_EQ(TnoxDataObjectCF_IDLISTFileList::GetFormat(), CF_IDLIST);
}

TEST(TnoxDataObjectCF_FILENAMEFileList, OneEntryThatCannotBeOpenedAfterTheEnd) {
  TTempDir dir;
  const std::string a = dir.Add("one.scr", "xyz");
  TnoxDataObjectCF_FILENAMEFileList list(Drop({a}));
  TnoxSearchRec rec;
  TnoxFindHandle h = list.FindFirst(rec);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(rec.Name, a);
  EXPECT_EQ(rec.Size, 3u);
  EXPECT_EQ(ReadAll(*list.OpenStream(h, rec, 0, false)), "xyz");
  const TnoxSearchRec first = rec;
  EXPECT_FALSE(list.FindNext(h, rec));
  EXPECT_EQ(MessageOf([&] { list.OpenStream(h, first, 0, false); }), "Out of file list");
  EXPECT_EQ(MessageOf([&] { list.OpenFolder(h, first); }), "Out of file list");
  list.FindClose(h);
  EXPECT_TRUE(list.IsSingleFile());
  try {
    TnoxDataObjectCF_FILENAMEFileList(Drop({a, a})).FindFirst(rec);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, DV_E_FORMATETC);
  }
}

TEST(TnoxDataObjectCF_FILEDESCRIPTORFileList, WalksVirtualEntriesAndOpensTheirContents) {
  TTempDir dir;
  const std::string a = dir.Add("one.scr", "1"), b = dir.Add("two.scr", "22"), c = dir.Add("three.scr", "333");
  TnoxDataObjectCF_FILEDESCRIPTORFileList list(Drop({c, a, b}));
  TnoxSearchRec rec;
  TnoxFindHandle h = list.FindFirst(rec);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(rec.Name, "three.scr");
  EXPECT_EQ(rec.Size, 3u);
  EXPECT_EQ(rec.Attr, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_VIRTUAL);
  EXPECT_GT(rec.LastWriteTime, 0u);
  EXPECT_EQ(ReadAll(*list.OpenStream(h, rec, 0, false)), "333");
  ASSERT_TRUE(list.FindNext(h, rec));
  ASSERT_TRUE(list.FindNext(h, rec));
  EXPECT_EQ(rec.Name, "two.scr");
  EXPECT_FALSE(list.FindNext(h, rec));
  EXPECT_EQ(ReadAll(*list.OpenStream(h, rec, 0, false)), "22");  // still on the last entry
  TnoxSearchRec none;
  EXPECT_EQ(list.OpenFolder(h, rec)->FindFirst(none), nullptr);  // descriptors have no children
  list.FindClose(h);
  bool allReal = true;
  EXPECT_EQ(list.GetNames(allReal), (std::vector<std::string>{"three.scr", "one.scr", "two.scr"}));
  EXPECT_FALSE(allReal);
  // The group holds a count and one 592-byte descriptor per file.
  EXPECT_EQ(TnoxDataObjectCF_FILEDESCRIPTORFileList::GetFileGroupDescriptorW(Drop({a, b})).size(), 4u + 2 * 592);
  EXPECT_EQ(TnoxDataObjectCF_FILEDESCRIPTORFileList(Drop({})).FindFirst(none), nullptr);
}

TEST(TnoxIShellFolderFileList, ListsChildrenInNameOrderAsTheShellDescribesThem) {
  TTempDir dir;
  dir.Add("b.scr", "bb");
  dir.Add(".hidden", "h");
  fs::create_directory(dir.Path / "a");
  dir.Add("a/inner.bmp", "i");
  const std::string path = dir.Path.string();
  for (bool items : {false, true}) {
    SCOPED_TRACE(items ? "shell items" : "shell folder");
    std::unique_ptr<TnoxIShellFolderFileList> list;
    if (items)
      list = std::make_unique<TnoxIEnumShellItemsFileList>(path);
    else
      list = std::make_unique<TnoxIShellFolderFileList>(path);
    struct TEntry { std::string Name; uint32_t Attr, ShellAttr; uint64_t Size; };
    const TEntry expected[] = {
        {path + "/.hidden", 0x2, SFGAO_FILESYSTEM | SFGAO_HIDDEN, 1},
        {path + "/a", 0x10, SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR, 0},
        {path + "/b.scr", 0x80, SFGAO_FILESYSTEM, 2},
    };
    TnoxSearchRec rec;
    TnoxFindHandle h = list->FindFirst(rec);
    for (size_t i = 0; i < 3; ++i) {
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(rec.Name, expected[i].Name);
      EXPECT_EQ(rec.Attr, expected[i].Attr) << rec.Name;
      EXPECT_EQ(rec.ShellAttr, expected[i].ShellAttr) << rec.Name;
      EXPECT_EQ(rec.Size, expected[i].Size) << rec.Name;
      if (i == 1) {
        auto inner = list->OpenFolder(h, rec);
        EXPECT_EQ(dynamic_cast<TnoxIEnumShellItemsFileList*>(inner.get()) != nullptr, items);
        bool allReal = false;
        EXPECT_EQ(inner->GetNames(allReal), (std::vector<std::string>{path + "/a/inner.bmp"}));
      }
      if (i == 2) {
        EXPECT_EQ(ReadAll(*list->OpenStream(h, rec, 0, false)), "bb");
      }
      EXPECT_EQ(list->FindNext(h, rec), i < 2);
    }
    EXPECT_EQ(MessageOf([&] { list->OpenStream(h, rec, 0, false); }), "Out of file list");
    list->FindClose(h);
  }
  // A child bound through its parent, an empty folder, a missing one.
  EXPECT_TRUE(TnoxIShellFolderFileList(path, "a").IsSingleFile());
  fs::create_directory(dir.Path / "empty");
  TnoxSearchRec rec;
  EXPECT_EQ(TnoxIShellFolderFileList(path, "empty").FindFirst(rec), nullptr);
  try {
    TnoxIShellFolderFileList(path, "none").FindFirst(rec);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
  }
}

TEST(TnoxDataObjectNamespaceFileLists, WalkTheOffersFilesAsShellEntries) {
  TTempDir dir;
  const std::string a = dir.Add("a.scr", "aaa");
  fs::create_directory(dir.Path / "sub");
  dir.Add("sub/x.png", "x");
  const std::string sub = (dir.Path / "sub").string();
  for (bool items : {false, true}) {
    SCOPED_TRACE(items ? "shell-item array" : "id-list array");
    std::unique_ptr<TnoxShellDataObjectFileList> list;
    if (items)
      list = std::make_unique<TnoxDataObjectShellItemArrayFileList>(Drop({sub, a}));
    else
      list = std::make_unique<TnoxDataObjectCF_IDLISTFileList>(Drop({sub, a}));
    TnoxSearchRec rec;
    TnoxFindHandle h = list->FindFirst(rec);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(rec.Name, sub);
    EXPECT_EQ(rec.Attr, FILE_ATTRIBUTE_DIRECTORY);
    auto inner = list->OpenFolder(h, rec);
    EXPECT_EQ(dynamic_cast<TnoxIEnumShellItemsFileList*>(inner.get()) != nullptr, items);
    bool allReal = false;
    EXPECT_EQ(inner->GetNames(allReal), (std::vector<std::string>{sub + "/x.png"}));
    ASSERT_TRUE(list->FindNext(h, rec));
    EXPECT_EQ(rec.Name, a);
    EXPECT_EQ(rec.ShellAttr, SFGAO_FILESYSTEM);
    EXPECT_FALSE(list->FindNext(h, rec));
    EXPECT_EQ(ReadAll(*list->OpenStream(h, rec, 0, false)), "aaa");  // still on the last entry
    list->FindClose(h);
    EXPECT_EQ(list->GetNames(allReal), (std::vector<std::string>{sub, a}));
    EXPECT_TRUE(allReal);
  }
  // A name the shell cannot find fails the walk; an offer without absolute
  // names makes no item array.
  TnoxSearchRec rec;
  try {
    TnoxDataObjectCF_IDLISTFileList(Drop({(dir.Path / "gone").string()})).FindFirst(rec);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<HRESULT>(0x80070002u));
  }
  EXPECT_THROW(TnoxDataObjectShellItemArrayFileList(Drop({"a.scr"})), EOleSysError);
}
