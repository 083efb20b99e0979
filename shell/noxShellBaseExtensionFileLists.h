// File lists walk a set of files one entry at a time: a folder on disk, the
// file list of a data offer read in each of the shell's file formats, or a
// folder seen as the shell's namespace sees it. Each entry is a
// TnoxSearchRec; an entry can be opened as a stream or, for folders, as a
// nested file list.
//
// This system's desktop offers a dropped or pasted file list as paths only.
// The formats of that list: its names (the dropped-files list, the id-list
// array and the shell-item array), the file name when it holds exactly one
// name, and file descriptors whose contents are the files' bytes. A shell
// folder and a folder item's children are a folder on disk. Folders list
// their entries in name order.
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
  SFGAO_FILESYSANCESTOR = 0x10000000,
};

// The shell attributes a shell folder or item is asked for.
constexpr uint32_t ShellAttrQueryMask = 0x740C3000;

// The fields a file descriptor's flags say are valid.
enum : uint32_t {
  FD_ATTRIBUTES = 0x4, FD_CREATETIME = 0x8, FD_ACCESSTIME = 0x10, FD_WRITESTIME = 0x20, FD_FILESIZE = 0x40,
};
// The sizes of a wide and an ANSI file descriptor; a descriptor group is a
// 32-bit count followed by that many descriptors.
constexpr int FileDescriptorWSize = 592;
constexpr int FileDescriptorASize = 332;

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
// Clears the record and fills it from a wide (592 bytes) or ANSI (332 bytes)
// file descriptor: the name, then each field whose flag is set. The entry is
// marked virtual. A shorter block raises "Invalid medium".
void FillFromFileDescriptorW(const uint8_t* ADescriptor, size_t ASize, TnoxSearchRec& ARec);
void FillFromFileDescriptorA(const uint8_t* ADescriptor, size_t ASize, TnoxSearchRec& ARec);
// Clears the record and fills it as the shell describes a path: its display
// name (the path), the queried shell attributes, the file attributes they
// imply, the times and the size.
void FillFromShellPath(const std::string& APath, TnoxSearchRec& ARec);

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

// The single file name of an offer: one entry.
class TnoxDataObjectCF_FILENAMEFileList : public TnoxShellDataObjectFileList {
public:
  using TnoxShellDataObjectFileList::TnoxShellDataObjectFileList;
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // Raises EOleSysError DV_E_FORMATETC for an offer without a single name.
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;
};

// The offer's files as file descriptors with contents: entries named without
// their folder, marked virtual, opened through their contents.
class TnoxDataObjectCF_FILEDESCRIPTORFileList : public TnoxShellDataObjectFileList {
public:
  using TnoxShellDataObjectFileList::TnoxShellDataObjectFileList;
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // The descriptor group of the offer's files (wide descriptors).
  static std::vector<uint8_t> GetFileGroupDescriptorW(const TnoxShellDataOffer& AOffer);
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;
  // Descriptors carry no children: an empty list.
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;
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

// The children of a shell folder, folders and hidden entries included, as the
// shell describes them (FillFromShellPath).
class TnoxIShellFolderFileList : public TnoxShellFileList {
public:
  explicit TnoxIShellFolderFileList(const std::string& AFolder);
  // The child AChild of AFolder (a parent id list and a child id bind the same way).
  TnoxIShellFolderFileList(const std::string& AFolder, const std::string& AChild);
  const std::string& GetFolder() const { return FFolder; }
  // A folder that cannot be read raises EOSError.
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;

private:
  std::string FFolder;  // ends in "/" unless empty
};

// The offer's files as entries of the shell's namespace, the walk that the
// id-list and shell-item arrays share. Only absolute names have a place there.
class TnoxDataObjectNamespaceFileList : public TnoxShellDataObjectFileList {
public:
  using TnoxShellDataObjectFileList::TnoxShellDataObjectFileList;
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // A name the shell cannot find raises EOleSysError.
  TnoxFindHandle FindFirst(TnoxSearchRec& ARec) override;
  bool FindNext(TnoxFindHandle AHandle, TnoxSearchRec& ARec) override;
  std::unique_ptr<TStream> OpenStream(TnoxFindHandle AHandle, const TnoxSearchRec& ARec, uint32_t AMode,
                                      bool ACache) override;

protected:
  // The current entry's name; "Out of file list" past the end.
  const std::string& CurrentName(TnoxFindHandle AHandle) const;
};

// The offer's files as a shell id-list array: each a child of its folder.
class TnoxDataObjectCF_IDLISTFileList : public TnoxDataObjectNamespaceFileList {
public:
  using TnoxDataObjectNamespaceFileList::TnoxDataObjectNamespaceFileList;
  static uint32_t GetFormat();
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;
};

// The children of a folder item, as shell items.
class TnoxIEnumShellItemsFileList : public TnoxIShellFolderFileList {
public:
  explicit TnoxIEnumShellItemsFileList(const std::string& AItem) : TnoxIShellFolderFileList(AItem) {}
  std::unique_ptr<TnoxShellFileList> OpenFolder(TnoxFindHandle AHandle, const TnoxSearchRec& ARec) override;
};

// The offer's files as a shell-item array.
class TnoxDataObjectShellItemArrayFileList : public TnoxDataObjectNamespaceFileList {
public:
  // Raises EOleSysError E_INVALIDARG when the offer makes no item array.
  explicit TnoxDataObjectShellItemArrayFileList(TnoxShellDataOffer AOffer);
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
