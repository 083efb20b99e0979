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

TnoxDirectoryFileList::TnoxDirectoryFileList(const std::string& APath) : FPath(APath) {
  if (!FPath.empty() && FPath.back() != '/') FPath += '/';
}

TnoxFindHandle TnoxDirectoryFileList::FindFirst(TnoxSearchRec& ARec) {
  ARec = TnoxSearchRec();
  auto h = std::make_unique<TDirHandle>();
  std::error_code ec;
  fs::directory_iterator it(FPath.empty() ? fs::path(".") : fs::path(FPath), ec);
  if (ec) RaiseOSError(ErrnoToOSError(ec.value()));
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) RaiseOSError(ErrnoToOSError(ec.value()));
    h->Names.push_back(it->path().filename().string());
  }
  std::sort(h->Names.begin(), h->Names.end());
  if (h->Names.empty()) return nullptr;
  FillFromPath(FPath + h->Names[0], ARec);
  return h.release();
}

bool TnoxDirectoryFileList::FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) {
  auto* h = static_cast<TDirHandle*>(AHandle);
  ARec = TnoxSearchRec();
  if (h->Index + 1 >= h->Names.size()) {
    h->Done = true;
    return false;
  }
  ++h->Index;
  FillFromPath(FPath + h->Names[h->Index], ARec);
  return true;
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
  auto* h = static_cast<TIndexHandle*>(AHandle);
  ARec = TnoxSearchRec();
  if (h->Index + 1 >= h->Count) return false;  // the handle stays on the last entry
  ++h->Index;
  FillFromPath(FOffer.Files[h->Index], ARec);
  return true;
}

void TnoxDataObjectCF_HDROPFileList::FindClose(TnoxFindHandle AHandle) { delete AHandle; }

std::unique_ptr<TStream> TnoxDataObjectCF_HDROPFileList::OpenStream(TnoxFindHandle AHandle,
                                                                    const TnoxSearchRec& ARec, uint32_t AMode,
                                                                    bool) {
  auto* h = static_cast<TIndexHandle*>(AHandle);
  if (!h || h->Index >= h->Count) RaiseOutOfFileList();
  return std::make_unique<TnoxFileStream>(ARec.Name.empty() ? FOffer.Files[h->Index] : ARec.Name, AMode);
}

std::unique_ptr<TnoxShellFileList> TnoxDataObjectCF_HDROPFileList::OpenFolder(TnoxFindHandle AHandle,
                                                                              const TnoxSearchRec& ARec) {
  auto* h = static_cast<TIndexHandle*>(AHandle);
  if (!h || h->Index >= h->Count) RaiseOutOfFileList();
  return std::make_unique<TnoxDirectoryFileList>(ARec.Name.empty() ? FOffer.Files[h->Index] : ARec.Name);
}

// ---- registry ----

namespace {

std::mutex RegistryLock;

std::vector<TnoxShellDataObjectFileListClass>& Registry() {
  // Only dropped file lists have a meaning for offers here; the other data
  // formats of the desktop shell are not offered on this system.
  static auto* r = new std::vector<TnoxShellDataObjectFileListClass>{
      {"CF_HDROP", &TnoxDataObjectCF_HDROPFileList::CanLoadFrom,
       [](const TnoxShellDataOffer& o) -> std::unique_ptr<TnoxShellDataObjectFileList> {
         return std::make_unique<TnoxDataObjectCF_HDROPFileList>(o);
       }},
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
