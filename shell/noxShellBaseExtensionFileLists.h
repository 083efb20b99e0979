// File lists walk a set of files one entry at a time: a folder on disk or
// the file list of a data offer. Each entry is a TnoxSearchRec; an entry can
// be opened as a stream or, for folders, as a nested file list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/KvClasses.h"
#include "shell/noxShellBaseExtensionData.h"

// File attribute flags.
enum : uint32_t {
  FILE_ATTRIBUTE_READONLY = 0x1, FILE_ATTRIBUTE_HIDDEN = 0x2, FILE_ATTRIBUTE_SYSTEM = 0x4,
  FILE_ATTRIBUTE_DIRECTORY = 0x10, FILE_ATTRIBUTE_ARCHIVE = 0x20, FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_ATTRIBUTE_COMPRESSED = 0x800, FILE_ATTRIBUTE_ENCRYPTED = 0x4000,
  // An entry that exists only as data, not as a file.
  FILE_ATTRIBUTE_VIRTUAL = 0x10000,
};

// Shell attribute flags.
enum : uint32_t {
  SFGAO_ENCRYPTED = 0x2000, SFGAO_SYSTEM = 0x1000, SFGAO_READONLY = 0x40000, SFGAO_HIDDEN = 0x80000,
  SFGAO_STREAM = 0x400000, SFGAO_COMPRESSED = 0x4000000, SFGAO_HASSUBFOLDER = 0x80000000u,
  SFGAO_FOLDER = 0x20000000, SFGAO_BROWSABLE = 0x8000000, SFGAO_FILESYSTEM = 0x40000000,
};

struct TnoxSearchRec {
  std::string Name;  // the full path for file-system entries
  uint32_t Attr = 0;
  uint32_t ShellAttr = 0;
  uint64_t CreationTime = 0;  // FILETIMEs
  uint64_t LastAccessTime = 0;
  uint64_t LastWriteTime = 0;
  uint64_t Size = 0;
};

uint32_t FileAttrToShellAttr(uint32_t AAttr);
uint32_t ShellAttrToFileAttr(uint32_t AShellAttr);
// Clears the record and sets Name to the path; an existing path also gets its
// attributes, times and size.
void FillFromPath(const std::string& APath, TnoxSearchRec& ARec);

[[noreturn]] void RaiseOutOfFileList();

// An enumeration's state, owned by the list from FindFirst to FindClose.
struct TnoxFindHandleData {
  virtual ~TnoxFindHandleData() = default;
};
using TnoxFindHandle = TnoxFindHandleData*;

class TnoxShellFileList : public TObject {
public:
  // A handle with the first entry in ARec, or null when there is none.
  virtual TnoxFindHandle FindFirst(TnoxSearchRec& ARec);
  virtual bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec);
  virtual void FindClose(TnoxFindHandle AHandle);
  virtual std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                              bool ACache);
  virtual std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec);
  // Every entry's name; AAllReal is cleared when an entry is virtual.
  virtual std::vector<std::string> GetNames(bool& AAllReal);
  // One entry that is not a folder.
  virtual bool IsSingleFile();
};

// The entries of a folder (sorted by name), with full paths.
class TnoxDirectoryFileList : public TnoxShellFileList {
public:
  explicit TnoxDirectoryFileList(const std::string& APath);
  const std::string& GetPath() const { return FPath; }
  // A folder that cannot be read raises EOSError.
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  void FindClose(TnoxFindHandle AHandle) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;

private:
  std::string FPath;  // ends in "/" unless empty
};

// A file list over a data offer.
class TnoxShellDataObjectFileList : public TnoxShellFileList {
public:
  explicit TnoxShellDataObjectFileList(TnoxShellDataOffer AOffer) : FOffer(std::move(AOffer)) {}
  const TnoxShellDataOffer& GetOffer() const { return FOffer; }

protected:
  TnoxShellDataOffer FOffer;
};

// The dropped files of an offer, in drop order.
class TnoxDataObjectCF_HDROPFileList : public TnoxShellDataObjectFileList {
public:
  using TnoxShellDataObjectFileList::TnoxShellDataObjectFileList;
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  void FindClose(TnoxFindHandle AHandle) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;
};

// The registry of data-offer file-list classes: each can say whether it reads
// an offer and create a list over it.
struct TnoxShellDataObjectFileListClass {
  const char* Name;
  bool (*CanLoadFrom)(const TnoxShellDataOffer& AOffer);
  std::unique_ptr<TnoxShellDataObjectFileList> (*Create)(const TnoxShellDataOffer& AOffer);
};

void RegisterFileListClass(const TnoxShellDataObjectFileListClass& AClass);
std::vector<TnoxShellDataObjectFileListClass> FileListClasses();
// A list from the first registered class that reads the offer, or null.
std::unique_ptr<TnoxShellDataObjectFileList> CreateFileListFrom(const TnoxShellDataOffer& AOffer);
