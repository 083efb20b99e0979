// Streams between the run-time stream world (TStream) and the component
// stream interface (IStream): TnoxOleStream reads an IStream as a TStream,
// TnoxStreamAdapter offers a TStream as an IStream. Beside them: a file stream
// with its own open-mode flags and a read-only stream over caller memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/KvClasses.h"
#include "shell/noxShellBaseExtensionCom.h"

// ---- the component stream interface ----

enum : uint32_t { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum : uint32_t { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1 };
enum : uint32_t { STGTY_STREAM = 2, LOCK_WRITE = 1 };

// Times are FILETIMEs: 100 ns units since 1601-01-01 UTC.
struct STATSTG {
  std::string pwcsName;
  uint32_t type = 0;
  uint64_t cbSize = 0;
  uint64_t mtime = 0, ctime = 0, atime = 0;
  uint32_t grfMode = 0;
  uint32_t grfLocksSupported = 0;
};

class ISequentialStream : public IUnknown {
public:
  virtual HRESULT Read(void* pv, uint32_t cb, uint32_t* pcbRead) = 0;
  virtual HRESULT Write(const void* pv, uint32_t cb, uint32_t* pcbWritten) = 0;
};
constexpr TGUID IID_ISequentialStream{0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

class IStream : public ISequentialStream {
public:
  virtual HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t newSize) = 0;
  virtual HRESULT CopyTo(IStream* target, uint64_t cb, uint64_t* pcbRead, uint64_t* pcbWritten) = 0;
  virtual HRESULT Commit(uint32_t flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) = 0;
  virtual HRESULT UnlockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) = 0;
  virtual HRESULT Stat(STATSTG* stat, uint32_t flag) = 0;
  virtual HRESULT Clone(IStream** stream) = 0;
};
constexpr TGUID IID_IStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// Never handed out: no stream here does asynchronous work.
constexpr TGUID IID_IStreamAsync{0xFE0B6665, 0xE0CA, 0x49B9, {0xA1, 0x78, 0x2B, 0x5C, 0xB4, 0x8D, 0x92, 0xA5}};

class IFileHandle : public IUnknown {
public:
  virtual HRESULT GetHandle(int* handle) = 0;
};
constexpr TGUID IID_IFileHandle{0x35B895AC, 0x9239, 0x415F, {0x90, 0xF6, 0x8A, 0xB3, 0xF4, 0x8D, 0x04, 0x2A}};

// ---- file stream ----

class EFileStreamError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

// Open-mode fields of TnoxFileStream and of the adapters' access.
enum : uint32_t {
  nfmAccessMask = 0x000F, nfmRead = 0x0, nfmWrite = 0x1, nfmReadWrite = 0x2,
  nfmShareMask = 0x00F0, nfmShareDefault = 0x00, nfmShareExclusive = 0x10, nfmShareDenyWrite = 0x20,
  nfmShareDenyRead = 0x30, nfmShareDenyNone = 0x40,
  nfmCreateMask = 0xF000, nfmOpenExisting = 0x0000, nfmCreate = 0x1000,
};

// A stream on a file handle. Sharing fields are checked and have no further
// effect here: other openers may always read and write.
class TnoxFileStream : public TStream {
public:
  // Raises EFileStreamError "<name>: Invalid access mode" (share, create) for a
  // bad field, or EOSError for a file that cannot be opened.
  TnoxFileStream(const std::string& AFileName, uint32_t AMode);
  ~TnoxFileStream() override;
  TnoxFileStream(const TnoxFileStream&) = delete;
  TnoxFileStream& operator=(const TnoxFileStream&) = delete;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void SetSize(int64_t ANewSize) override;
  int GetHandle() const { return FHandle; }
  const std::string& GetFileName() const { return FFileName; }

private:
  int FHandle = -1;
  std::string FFileName;
};

// The Win32 code of an errno value, for the operating-system error exception.
uint32_t ErrnoToOSError(int AErrno);

std::unique_ptr<TStream> OpenFileStream(const std::string& AFileName, uint32_t AMode, uint32_t ARights = 0);

// A read-only stream over memory the caller supplies and keeps.
class TMyMemoryStream : public TStream {
public:
  TMyMemoryStream(const void* AData, int64_t ASize) : FData(static_cast<const uint8_t*>(AData)), FSize(ASize) {}
  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override { return FSize; }
  void SetSize(int64_t) override;

private:
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPosition = 0;
};

// ---- TStream over an IStream ----

class TnoxOleStream : public TStream {
public:
  // With ACache set, a stream that cannot seek is copied whole into memory
  // first. A failure while copying raises (the stream is not used half read).
  TnoxOleStream(IStream* AStream, bool ACache, int64_t AKnownSize);
  ~TnoxOleStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override;
  void SetSize(int64_t ANewSize) override;
  bool IsCached() const { return FCache != nullptr; }

private:
  TnoxComPtr<IStream> FStream;
  int64_t FKnownSize;
  std::unique_ptr<TMemoryStream> FCache;
};

std::unique_ptr<TStream> OpenOleStream(IStream* AStream);

// ---- IStream over primitives ----

// Implements IStream over virtual primitives; no exception leaves a method:
// each becomes ExceptionToHResult of it.
class TnoxShellStream : public TnoxShellInterfacedObject, public IStream {
public:
  HRESULT QueryInterface(const TGUID* iid, void** obj) override {
    return TnoxShellInterfacedObject::QueryInterface(iid, obj);
  }
  int32_t AddRef() override { return TnoxShellInterfacedObject::AddRef(); }
  int32_t Release() override { return TnoxShellInterfacedObject::Release(); }

  HRESULT Read(void* pv, uint32_t cb, uint32_t* pcbRead) override;
  HRESULT Write(const void* pv, uint32_t cb, uint32_t* pcbWritten) override;
  HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override;
  HRESULT SetSize(uint64_t newSize) override;
  HRESULT CopyTo(IStream* target, uint64_t cb, uint64_t* pcbRead, uint64_t* pcbWritten) override;
  HRESULT Commit(uint32_t flags) override;
  HRESULT Revert() override;
  HRESULT LockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) override;
  HRESULT UnlockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) override;
  HRESULT Stat(STATSTG* stat, uint32_t flag) override;
  HRESULT Clone(IStream** stream) override;

protected:
  bool GetInterface(const TGUID& iid, void** obj) override;

  virtual HRESULT DoRead(void* ABuffer, int32_t ACount, uint32_t& ARead);
  virtual HRESULT ReadChunked(void* ABuffer, uint32_t ACount, uint32_t& ARead);
  virtual HRESULT DoWrite(const void* ABuffer, int32_t ACount, uint32_t& AWritten);
  virtual HRESULT WriteChunked(const void* ABuffer, uint32_t ACount, uint32_t& AWritten);
  virtual HRESULT DoSeek(int64_t AMove, uint32_t AOrigin, uint64_t& ANewPosition);
  virtual HRESULT DoSetSize(uint64_t ANewSize);
  virtual HRESULT DoCopyTo(IStream* ATarget, uint64_t ACount, uint64_t& ARead, uint64_t& AWritten);
  virtual HRESULT DoCommit(uint32_t AFlags);
  virtual HRESULT DoRevert();
  virtual HRESULT DoLockRegion(uint64_t AOffset, uint64_t ACount, uint32_t ALockType);
  virtual HRESULT DoUnlockRegion(uint64_t AOffset, uint64_t ACount, uint32_t ALockType);
  virtual HRESULT DoStat(STATSTG& AStat, uint32_t AFlag);
  virtual HRESULT DoClone(IStream*& AStream);
};

enum class TnoxOwnership { Reference, Owned };

// IStream over a TStream; the access field of AMode decides what is allowed.
class TnoxStreamAdapter : public TnoxShellStream {
public:
  TnoxStreamAdapter(TStream* ASource, uint32_t AMode, TnoxOwnership AOwnership);
  TStream* GetSource() const { return FSource; }

protected:
  ~TnoxStreamAdapter() override;
  HRESULT DoRead(void* ABuffer, int32_t ACount, uint32_t& ARead) override;
  HRESULT DoWrite(const void* ABuffer, int32_t ACount, uint32_t& AWritten) override;
  HRESULT DoSeek(int64_t AMove, uint32_t AOrigin, uint64_t& ANewPosition) override;
  HRESULT DoSetSize(uint64_t ANewSize) override;
  HRESULT DoStat(STATSTG& AStat, uint32_t AFlag) override;

  TStream* FSource;
  TnoxOwnership FOwnership;
  std::string FFileName;
  bool FUseFileTimes = false;
  uint32_t FMode;
};

// IStream over a named file it opens and owns.
class TnoxFileStreamAdapter : public TnoxStreamAdapter, public IFileHandle {
public:
  TnoxFileStreamAdapter(const std::string& AFileName, uint32_t AMode);
  HRESULT QueryInterface(const TGUID* iid, void** obj) override { return TnoxShellStream::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TnoxShellStream::AddRef(); }
  int32_t Release() override { return TnoxShellStream::Release(); }
  HRESULT GetHandle(int* handle) override;

protected:
  bool GetInterface(const TGUID& iid, void** obj) override;
};

// FILETIME of a time_t and nanoseconds.
uint64_t UnixToFileTime(int64_t ASeconds, int64_t ANanoseconds);
