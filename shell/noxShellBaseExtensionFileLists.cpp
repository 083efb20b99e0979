#include "shell/noxShellBaseExtensionFileLists.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include "shell/noxShellBaseExtensionStreams.h"

namespace fs = std::filesystem;

uint32_t FileAttrToShellAttr(uint32_t AAttr) {
  uint32_t r = 0;
  if (AAttr & FILE_ATTRIBUTE_READONLY) r |= SFGAO_READONLY;
  if (AAttr & FILE_ATTRIBUTE_HIDDEN) r |= SFGAO_HIDDEN;
  if (AAttr & FILE_ATTRIBUTE_SYSTEM) r |= SFGAO_SYSTEM;
  if (AAttr & FILE_ATTRIBUTE_DIRECTORY)
    r |= SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_HASSUBFOLDER;
  else
    r |= SFGAO_STREAM;
  if (AAttr & FILE_ATTRIBUTE_COMPRESSED) r |= SFGAO_COMPRESSED;
  if (AAttr & FILE_ATTRIBUTE_ENCRYPTED) r |= SFGAO_ENCRYPTED;
  return r;
}

uint32_t ShellAttrToFileAttr(uint32_t AShellAttr) {
  uint32_t r = 0;
  if (AShellAttr & SFGAO_READONLY) r |= FILE_ATTRIBUTE_READONLY;
  if (AShellAttr & SFGAO_HIDDEN) r |= FILE_ATTRIBUTE_HIDDEN;
  if (AShellAttr & SFGAO_SYSTEM) r |= FILE_ATTRIBUTE_SYSTEM;
  if ((AShellAttr & SFGAO_FOLDER) && !(AShellAttr & SFGAO_STREAM)) r |= FILE_ATTRIBUTE_DIRECTORY;
  if (AShellAttr & SFGAO_COMPRESSED) r |= FILE_ATTRIBUTE_COMPRESSED;
  if (AShellAttr & SFGAO_ENCRYPTED) r |= FILE_ATTRIBUTE_ENCRYPTED;
  return r ? r : FILE_ATTRIBUTE_NORMAL;
}

void FillFromPath(const std::string& APath, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  ARec.Name = APath;
  struct stat st;
  if (APath.empty() || ::stat(APath.c_str(), &st) != 0) return;
  uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= FILE_ATTRIBUTE_DIRECTORY;
  if (::access(APath.c_str(), W_OK) != 0) attr |= FILE_ATTRIBUTE_READONLY;
  const std::string leaf = fs::path(APath).filename().string();
  if (leaf.size() > 1 && leaf[0] == '.' && leaf != "..") attr |= FILE_ATTRIBUTE_HIDDEN;
  if (!attr) attr = FILE_ATTRIBUTE_NORMAL;
  ARec.Attr = attr;
  ARec.ShellAttr = FileAttrToShellAttr(attr);
  ARec.LastWriteTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  ARec.LastAccessTime = UnixToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  ARec.CreationTime = UnixToFileTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  ARec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
}

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint64_t ReadFileTime(const uint8_t* p) { return ReadU32(p) | static_cast<uint64_t>(ReadU32(p + 4)) << 32; }
void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void WriteFileTime(uint8_t* p, uint64_t v) {
  WriteU32(p, static_cast<uint32_t>(v));
  WriteU32(p + 4, static_cast<uint32_t>(v >> 32));
}

void AppendUtf8(std::string& AText, uint32_t c) {
  if (c < 0x80) {
    AText += static_cast<char>(c);
  } else if (c < 0x800) {
    AText += static_cast<char>(0xC0 | (c >> 6));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    AText += static_cast<char>(0xE0 | (c >> 12));
    AText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    AText += static_cast<char>(0xF0 | (c >> 18));
    AText += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    AText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A zero-terminated UTF-16LE text of at most ACount units; a lone surrogate
// reads as U+FFFD.
std::string WideToUtf8(const uint8_t* p, int ACount) {
  std::string r;
  for (int i = 0; i < ACount; ++i) {
    uint32_t c = p[2 * i] | p[2 * i + 1] << 8;
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < ACount) {
      const uint32_t d = p[2 * i + 2] | p[2 * i + 3] << 8;
      if (d >= 0xDC00 && d < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(r, c);
  }
  return r;
}

// The ANSI code page of this system's descriptors is Latin-1.
std::string AnsiToUtf8(const uint8_t* p, int ACount) {
  std::string r;
  for (int i = 0; i < ACount && p[i]; ++i) AppendUtf8(r, p[i]);
  return r;
}

// UTF-16 units of a UTF-8 text; bytes that do not decode become U+FFFD.
std::vector<uint16_t> Utf8ToWide(const std::string& AText) {
  std::vector<uint16_t> r;
  const auto* p = reinterpret_cast<const unsigned char*>(AText.data());
  const size_t n = AText.size();
  for (size_t i = 0; i < n;) {
    uint32_t c = p[i];
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c >= 0x80 && (extra == 0 || i + extra >= n || c >= 0xF8)) {
      c = 0xFFFD;
      extra = 0;
    } else if (extra) {
      c &= 0x3F >> extra;
      for (int k = 1; k <= extra; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) {
          c = 0xFFFD;
          extra = k - 1;
          break;
        }
        c = (c << 6) | (p[i + k] & 0x3F);
      }
    }
    i += 1 + extra;
    if (c >= 0x10000) {
      c -= 0x10000;
      r.push_back(static_cast<uint16_t>(0xD800 + (c >> 10)));
      r.push_back(static_cast<uint16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      r.push_back(static_cast<uint16_t>(c));
    }
  }
  return r;
}

// The fields both descriptor layouts share, in their first 72 bytes.
void FillFromDescriptorFields(const uint8_t* d, TnoxSearchRec& ARec) {
  const uint32_t flags = ReadU32(d);
  if (flags & FD_ATTRIBUTES) ARec.Attr = ReadU32(d + 36);
  if (flags & FD_CREATETIME) ARec.CreationTime = ReadFileTime(d + 40);
  if (flags & FD_ACCESSTIME) ARec.LastAccessTime = ReadFileTime(d + 48);
  if (flags & FD_WRITESTIME) ARec.LastWriteTime = ReadFileTime(d + 56);
  if (flags & FD_FILESIZE) ARec.Size = static_cast<uint64_t>(ReadU32(d + 64)) << 32 | ReadU32(d + 68);
  ARec.Attr |= FILE_ATTRIBUTE_VIRTUAL;
  ARec.ShellAttr = FileAttrToShellAttr(ARec.Attr);
}

constexpr uint32_t ErrorFileNotFound = 2;

HRESULT HResultFromOSError(uint32_t ACode) { return static_cast<HRESULT>(0x80070000u | (ACode & 0xFFFF)); }

}  // namespace

void FillFromFileDescriptorW(const uint8_t* ADescriptor, size_t ASize, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!ADescriptor || ASize < static_cast<size_t>(FileDescriptorWSize)) RaiseInvalidMedium();
  ARec.Name = WideToUtf8(ADescriptor + 72, 260);
  FillFromDescriptorFields(ADescriptor, ARec);
}

void FillFromFileDescriptorA(const uint8_t* ADescriptor, size_t ASize, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!ADescriptor || ASize < static_cast<size_t>(FileDescriptorASize)) RaiseInvalidMedium();
  ARec.Name = AnsiToUtf8(ADescriptor + 72, 260);
  FillFromDescriptorFields(ADescriptor, ARec);
}

void FillFromShellPath(const std::string& APath, TnoxSearchRec& ARec) {
  FillFromPath(APath, ARec);
  // A path the shell cannot find fails the attribute query.
  if (ARec.Attr == 0) CheckHResult(HResultFromOSError(ErrorFileNotFound));
  const bool folder = ARec.Attr & FILE_ATTRIBUTE_DIRECTORY;
  uint32_t shell = FileAttrToShellAttr(ARec.Attr) | SFGAO_FILESYSTEM;
  if (folder) shell |= SFGAO_FILESYSANCESTOR;
  ARec.ShellAttr = shell & ShellAttrQueryMask;
  ARec.Attr = ShellAttrToFileAttr(ARec.ShellAttr);
}

void RaiseOutOfFileList() { throw Exception("Out of file list"); }

// ---- base ----

TnoxFindHandle TnoxShellFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  return nullptr;
}
bool TnoxShellFileList::FindNext(TnoxFindHandle, TnoxSearchRec&) { return false; }
void TnoxShellFileList::FindClose(TnoxFindHandle AHandle) { delete AHandle; }
std::unique_ptr<TStream> TnoxShellFileList::OpenStream(TnoxFindHandle, const TnoxSearchRec&, uint32_t, bool) {
  return nullptr;
}
std::unique_ptr<TnoxShellFileList> TnoxShellFileList::OpenFolder(TnoxFindHandle, const TnoxSearchRec&) {
  return nullptr;
}

std::vector<std::string> TnoxShellFileList::GetNames(bool& AAllReal) {
  std::vector<std::string> names;
  AAllReal = true;
  TnoxSearchRec rec;
  TnoxFindHandle h = FindFirst(rec);
  if (!h) return names;
  try {
    do {
      if (rec.Attr & FILE_ATTRIBUTE_VIRTUAL) AAllReal = false;
      names.push_back(rec.Name);
    } while (FindNext(h, rec));
  } catch (...) {
    FindClose(h);
    throw;
  }
  FindClose(h);
  return names;
}

bool TnoxShellFileList::IsSingleFile() {
  TnoxSearchRec rec;
  TnoxFindHandle h = FindFirst(rec);
  if (!h) return false;
  bool single = false;
  try {
    single = !(rec.Attr & FILE_ATTRIBUTE_DIRECTORY) && !FindNext(h, rec);
  } catch (...) {
    FindClose(h);
    throw;
  }
  FindClose(h);
  return single;
}

// ---- folders ----

namespace {

struct TDirHandle : TnoxFindHandleData {
  std::vector<std::string> Names;
  size_t Index = 0;
  bool Done = false;
};

struct TIndexHandle : TnoxFindHandleData {
  int Count = 0;
  int Index = 0;
};

}  // namespace

namespace {

// The names of a folder's entries in name order (the order the listing of a
// folder takes here); a folder that cannot be read raises EOSError.
std::vector<std::string> FolderEntryNames(const std::string& AFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(AFolder.empty() ? fs::path(".") : fs::path(AFolder), ec);
  if (ec) RaiseOSError(ErrnoToOSError(ec.value()));
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) RaiseOSError(ErrnoToOSError(ec.value()));
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

using TFillRoutine = void (*)(const std::string&, TnoxSearchRec&);

TnoxFindHandle FolderFindFirst(const std::string& AFolder, TFillRoutine AFill, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  auto h = std::make_unique<TDirHandle>();
  h->Names = FolderEntryNames(AFolder);
  if (h->Names.empty()) return nullptr;
  AFill(AFolder + h->Names[0], ARec);
  return h.release();
}

bool FolderFindNext(const std::string& AFolder, TFillRoutine AFill, TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  auto* h = static_cast<TDirHandle*>(AHandle);
  ARec = TnoxSearchRec();
  if (h->Index + 1 >= h->Names.size()) {
    h->Done = true;
    return false;
  }
  ++h->Index;
  AFill(AFolder + h->Names[h->Index], ARec);
  return true;
}

// The current name of a folder enumeration; "Out of file list" once it ended.
std::string FolderCurrent(const std::string& AFolder, TnoxFindHandle AHandle) {
  auto* h = static_cast<TDirHandle*>(AHandle);
  if (!h || h->Done || h->Index >= h->Names.size()) RaiseOutOfFileList();
  return AFolder + h->Names[h->Index];
}

// The current index of an indexed enumeration; "Out of file list" past the end.
int CurrentIndex(TnoxFindHandle AHandle) {
  auto* h = static_cast<TIndexHandle*>(AHandle);
  if (!h || h->Index >= h->Count) RaiseOutOfFileList();
  return h->Index;
}

// Moves an indexed enumeration on; at the end it stays on the last entry.
bool NextIndex(TnoxFindHandle AHandle) {
  auto* h = static_cast<TIndexHandle*>(AHandle);
  if (h->Index + 1 >= h->Count) return false;
  ++h->Index;
  return true;
}

std::string WithDelimiter(std::string APath) {
  if (!APath.empty() && APath.back() != '/') APath += '/';
  return APath;
}

bool AllNames(const TnoxShellDataOffer& AOffer, bool (*APredicate)(const std::string&)) {
  if (!AOffer.HasFiles || AOffer.Files.empty()) return false;
  return std::all_of(AOffer.Files.begin(), AOffer.Files.end(), APredicate);
}

bool IsAbsolutePath(const std::string& AName) { return !AName.empty() && AName[0] == '/'; }

bool IsRegularFile(const std::string& AName) {
  std::error_code ec;
  return !AName.empty() && fs::is_regular_file(fs::path(AName), ec);
}

}  // namespace

TnoxDirectoryFileList::TnoxDirectoryFileList(const std::string& APath) : FPath(WithDelimiter(APath)) {}

TnoxFindHandle TnoxDirectoryFileList::FindFirst(TnoxSearchRec& ARec) { return FolderFindFirst(FPath, FillFromPath, ARec); }

bool TnoxDirectoryFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  return FolderFindNext(FPath, FillFromPath, AHandle, ARec);
}

void TnoxDirectoryFileList::FindClose(TnoxFindHandle AHandle) { delete AHandle; }

std::unique_ptr<TStream> TnoxDirectoryFileList::OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec,
                                                           uint32_t AMode, bool) {
  if (!AHandle || static_cast<TDirHandle*>(AHandle)->Done) RaiseOutOfFileList();
  return std::make_unique<TnoxFileStream>(ARec.Name, AMode);
}

std::unique_ptr<TnoxShellFileList> TnoxDirectoryFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                     const TnoxSearchRec& ARec) {
  if (!AHandle || static_cast<TDirHandle*>(AHandle)->Done) RaiseOutOfFileList();
  return std::make_unique<TnoxDirectoryFileList>(ARec.Name);
}

// ---- dropped files ----

bool TnoxDataObjectCF_HDROPFileList::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return DataObjectHasFormat(AOffer, CF_HDROP, TYMED_HGLOBAL);
}

TnoxFindHandle TnoxDataObjectCF_HDROPFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!CanLoadFrom(FOffer)) CheckHResult(DV_E_FORMATETC);
  if (FOffer.Files.empty()) return nullptr;
  auto h = std::make_unique<TIndexHandle>();
  h->Count = static_cast<int>(FOffer.Files.size());
  FillFromPath(FOffer.Files[0], ARec);
  return h.release();
}

bool TnoxDataObjectCF_HDROPFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!NextIndex(AHandle)) return false;  // the handle stays on the last entry
  FillFromPath(FOffer.Files[static_cast<size_t>(static_cast<TIndexHandle*>(AHandle)->Index)], ARec);
  return true;
}

void TnoxDataObjectCF_HDROPFileList::FindClose(TnoxFindHandle AHandle) { delete AHandle; }

std::unique_ptr<TStream> TnoxDataObjectCF_HDROPFileList::OpenStream(TnoxFindHandle AHandle,
                                                                    const TnoxSearchRec& ARec, uint32_t AMode,
                                                                    bool) {
  const int i = CurrentIndex(AHandle);
  return std::make_unique<TnoxFileStream>(ARec.Name.empty() ? FOffer.Files[static_cast<size_t>(i)] : ARec.Name,
                                          AMode);
}

std::unique_ptr<TnoxShellFileList> TnoxDataObjectCF_HDROPFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                              const TnoxSearchRec& ARec) {
  const int i = CurrentIndex(AHandle);
  return std::make_unique<TnoxDirectoryFileList>(ARec.Name.empty() ? FOffer.Files[static_cast<size_t>(i)]
                                                                   : ARec.Name);
}

// ---- the single file name ----

bool TnoxDataObjectCF_FILENAMEFileList::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return AOffer.HasFiles && AOffer.Files.size() == 1 && !AOffer.Files[0].empty();
}

namespace {

struct TDoneHandle : TnoxFindHandleData {
  bool Done = false;
};

}  // namespace

TnoxFindHandle TnoxDataObjectCF_FILENAMEFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!CanLoadFrom(FOffer)) CheckHResult(DV_E_FORMATETC);
  FillFromPath(FOffer.Files[0], ARec);
  return new TDoneHandle;
}

bool TnoxDataObjectCF_FILENAMEFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec&) {
  static_cast<TDoneHandle*>(AHandle)->Done = true;
  return false;
}

std::unique_ptr<TStream> TnoxDataObjectCF_FILENAMEFileList::OpenStream(TnoxFindHandle AHandle,
                                                                       const TnoxSearchRec& ARec, uint32_t AMode,
                                                                       bool) {
  if (!AHandle || static_cast<TDoneHandle*>(AHandle)->Done) RaiseOutOfFileList();
  return std::make_unique<TnoxFileStream>(ARec.Name, AMode);
}

std::unique_ptr<TnoxShellFileList> TnoxDataObjectCF_FILENAMEFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                                 const TnoxSearchRec& ARec) {
  if (!AHandle || static_cast<TDoneHandle*>(AHandle)->Done) RaiseOutOfFileList();
  return std::make_unique<TnoxDirectoryFileList>(ARec.Name);
}

// ---- file descriptors ----

bool TnoxDataObjectCF_FILEDESCRIPTORFileList::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  // Contents exist only for files, so a list naming a folder has no descriptors.
  return AllNames(AOffer, IsRegularFile);
}

std::vector<uint8_t> TnoxDataObjectCF_FILEDESCRIPTORFileList::GetFileGroupDescriptorW(
    const TnoxShellDataOffer& AOffer) {
  if (!AOffer.HasFiles) CheckHResult(DV_E_FORMATETC);
  std::vector<uint8_t> group(4 + AOffer.Files.size() * FileDescriptorWSize, 0);
  WriteU32(group.data(), static_cast<uint32_t>(AOffer.Files.size()));
  for (size_t i = 0; i < AOffer.Files.size(); ++i) {
    uint8_t* d = group.data() + 4 + i * FileDescriptorWSize;
    TnoxSearchRec rec;
    FillFromPath(AOffer.Files[i], rec);
    if (rec.Attr) {
      WriteU32(d, FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME | FD_FILESIZE);
      WriteU32(d + 36, rec.Attr);
      WriteFileTime(d + 40, rec.CreationTime);
      WriteFileTime(d + 48, rec.LastAccessTime);
      WriteFileTime(d + 56, rec.LastWriteTime);
      WriteU32(d + 64, static_cast<uint32_t>(rec.Size >> 32));
      WriteU32(d + 68, static_cast<uint32_t>(rec.Size));
    }
    // The name without its folder, cut to the 259 units the field holds.
    std::vector<uint16_t> name = Utf8ToWide(fs::path(AOffer.Files[i]).filename().string());
    if (name.size() > 259) name.resize(259);
    for (size_t k = 0; k < name.size(); ++k) {
      d[72 + 2 * k] = static_cast<uint8_t>(name[k]);
      d[73 + 2 * k] = static_cast<uint8_t>(name[k] >> 8);
    }
  }
  return group;
}

namespace {

struct TDescriptorHandle : TIndexHandle {
  std::vector<uint8_t> Group;
};

void FillFromGroup(const TDescriptorHandle& AHandle, TnoxSearchRec& ARec) {
  const size_t offset = 4 + static_cast<size_t>(AHandle.Index) * FileDescriptorWSize;
  FillFromFileDescriptorW(AHandle.Group.data() + offset, AHandle.Group.size() - offset, ARec);
}

}  // namespace

TnoxFindHandle TnoxDataObjectCF_FILEDESCRIPTORFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  auto h = std::make_unique<TDescriptorHandle>();
  h->Group = GetFileGroupDescriptorW(FOffer);
  const uint64_t count = ReadU32(h->Group.data());
  if (4 + count * FileDescriptorWSize > h->Group.size()) RaiseInvalidMedium();
  if (count == 0) return nullptr;
  h->Count = static_cast<int>(count);
  FillFromGroup(*h, ARec);
  return h.release();
}

bool TnoxDataObjectCF_FILEDESCRIPTORFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!NextIndex(AHandle)) return false;
  FillFromGroup(*static_cast<TDescriptorHandle*>(AHandle), ARec);
  return true;
}

std::unique_ptr<TStream> TnoxDataObjectCF_FILEDESCRIPTORFileList::OpenStream(TnoxFindHandle AHandle,
                                                                             const TnoxSearchRec&, uint32_t,
                                                                             bool) {
  // The contents of the entry, read only.
  return std::make_unique<TnoxFileStream>(FOffer.Files.at(static_cast<size_t>(CurrentIndex(AHandle))),
                                          fmOpenRead | fmShareDenyNone);
}

std::unique_ptr<TnoxShellFileList> TnoxDataObjectCF_FILEDESCRIPTORFileList::OpenFolder(TnoxFindHandle,
                                                                                       const TnoxSearchRec&) {
  return std::make_unique<TnoxShellFileList>();
}

// ---- shell folders and items ----

TnoxIShellFolderFileList::TnoxIShellFolderFileList(const std::string& AFolder) : FFolder(WithDelimiter(AFolder)) {}

TnoxIShellFolderFileList::TnoxIShellFolderFileList(const std::string& AFolder, const std::string& AChild)
    : FFolder(WithDelimiter(WithDelimiter(AFolder) + AChild)) {}

TnoxFindHandle TnoxIShellFolderFileList::FindFirst(TnoxSearchRec& ARec) {
  return FolderFindFirst(FFolder, FillFromShellPath, ARec);
}

bool TnoxIShellFolderFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  return FolderFindNext(FFolder, FillFromShellPath, AHandle, ARec);
}

std::unique_ptr<TStream> TnoxIShellFolderFileList::OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec&,
                                                              uint32_t, bool) {
  return std::make_unique<TnoxFileStream>(FolderCurrent(FFolder, AHandle), fmOpenRead);
}

std::unique_ptr<TnoxShellFileList> TnoxIShellFolderFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                        const TnoxSearchRec&) {
  return std::make_unique<TnoxIShellFolderFileList>(FolderCurrent(FFolder, AHandle));
}

std::unique_ptr<TnoxShellFileList> TnoxIEnumShellItemsFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                           const TnoxSearchRec&) {
  return std::make_unique<TnoxIEnumShellItemsFileList>(FolderCurrent(GetFolder(), AHandle));
}

// ---- id-list and shell-item arrays ----

bool TnoxDataObjectNamespaceFileList::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return AllNames(AOffer, IsAbsolutePath);
}

TnoxFindHandle TnoxDataObjectNamespaceFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!FOffer.HasFiles) CheckHResult(DV_E_FORMATETC);
  if (FOffer.Files.empty()) return nullptr;
  if (!CanLoadFrom(FOffer)) CheckHResult(DV_E_FORMATETC);
  auto h = std::make_unique<TIndexHandle>();
  h->Count = static_cast<int>(FOffer.Files.size());
  FillFromShellPath(FOffer.Files[0], ARec);
  return h.release();
}

bool TnoxDataObjectNamespaceFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  if (!NextIndex(AHandle)) return false;
  FillFromShellPath(CurrentName(AHandle), ARec);
  return true;
}

std::unique_ptr<TStream> TnoxDataObjectNamespaceFileList::OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec&,
                                                                     uint32_t, bool) {
  return std::make_unique<TnoxFileStream>(CurrentName(AHandle), fmOpenRead);
}

const std::string& TnoxDataObjectNamespaceFileList::CurrentName(TnoxFindHandle AHandle) const {
  return FOffer.Files[static_cast<size_t>(CurrentIndex(AHandle))];
}

uint32_t TnoxDataObjectCF_IDLISTFileList::GetFormat() { return CF_IDLIST; }

std::unique_ptr<TnoxShellFileList> TnoxDataObjectCF_IDLISTFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                               const TnoxSearchRec&) {
  const fs::path path(CurrentName(AHandle));
  return std::make_unique<TnoxIShellFolderFileList>(path.parent_path().string(), path.filename().string());
}

TnoxDataObjectShellItemArrayFileList::TnoxDataObjectShellItemArrayFileList(TnoxShellDataOffer AOffer)
    : TnoxDataObjectNamespaceFileList(std::move(AOffer)) {
  if (!CanLoadFrom(FOffer)) CheckHResult(E_INVALIDARG);
}

std::unique_ptr<TnoxShellFileList> TnoxDataObjectShellItemArrayFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                                    const TnoxSearchRec&) {
  return std::make_unique<TnoxIEnumShellItemsFileList>(CurrentName(AHandle));
}

// ---- registry ----

namespace {

std::mutex RegistryLock;

template <class T>
std::unique_ptr<TnoxShellDataObjectFileList> CreateList(const TnoxShellDataOffer& AOffer) {
  return std::make_unique<T>(AOffer);
}

std::vector<TnoxShellDataObjectFileListClass>& Registry() {
  static auto* r = new std::vector<TnoxShellDataObjectFileListClass>{
      {"CF_FILENAME", &TnoxDataObjectCF_FILENAMEFileList::CanLoadFrom, CreateList<TnoxDataObjectCF_FILENAMEFileList>},
      {"CF_FILEDESCRIPTOR", &TnoxDataObjectCF_FILEDESCRIPTORFileList::CanLoadFrom,
       CreateList<TnoxDataObjectCF_FILEDESCRIPTORFileList>},
      {"CF_HDROP", &TnoxDataObjectCF_HDROPFileList::CanLoadFrom, CreateList<TnoxDataObjectCF_HDROPFileList>},
      {"CF_IDLIST", &TnoxDataObjectCF_IDLISTFileList::CanLoadFrom, CreateList<TnoxDataObjectCF_IDLISTFileList>},
      {"ShellItemArray", &TnoxDataObjectShellItemArrayFileList::CanLoadFrom,
       CreateList<TnoxDataObjectShellItemArrayFileList>},
  };
  return *r;
}

}  // namespace

void RegisterFileListClass(const TnoxShellDataObjectFileListClass& AClass) {
  std::lock_guard<std::mutex> l(RegistryLock);
  Registry().push_back(AClass);
}

std::vector<TnoxShellDataObjectFileListClass> FileListClasses() {
  std::lock_guard<std::mutex> l(RegistryLock);
  return Registry();
}

std::unique_ptr<TnoxShellDataObjectFileList> CreateFileListFrom(const TnoxShellDataOffer& AOffer) {
  for (const auto& c : FileListClasses())
    if (c.CanLoadFrom(AOffer)) return c.Create(AOffer);
  return nullptr;
}
