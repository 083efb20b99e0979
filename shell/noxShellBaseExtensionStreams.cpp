#include "shell/noxShellBaseExtensionStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

// ---- file stream ----

uint32_t ErrnoToOSError(int AErrno) {
  switch (AErrno) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_INVALID_DATA;
  }
}

TnoxFileStream::TnoxFileStream(const std::string& AFileName, uint32_t AMode) : FFileName(AFileName) {
  int flags = 0;
  switch (AMode & nfmAccessMask) {
    case nfmRead: flags = O_RDONLY; break;
    case nfmWrite: flags = O_WRONLY; break;
    case nfmReadWrite: flags = O_RDWR; break;
    default: throw EFileStreamError(AFileName + ": Invalid access mode");
  }
  if ((AMode & nfmShareMask) > nfmShareDenyNone) throw EFileStreamError(AFileName + ": Invalid share mode");
  switch (AMode & nfmCreateMask) {
    case nfmOpenExisting: break;
    case nfmCreate: flags |= O_CREAT | O_TRUNC; break;
    default: throw EFileStreamError(AFileName + ": Invalid create mode");
  }
  FHandle = ::open(AFileName.c_str(), flags | O_CLOEXEC, 0666);
  if (FHandle < 0) RaiseOSError(ErrnoToOSError(errno));
  struct stat st;
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    RaiseOSError(ERROR_ACCESS_DENIED);
  }
}

TnoxFileStream::~TnoxFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TnoxFileStream::Read(void* ABuffer, int64_t ACount) {
  int64_t total = 0;
  auto* p = static_cast<uint8_t*>(ABuffer);
  while (ACount > 0) {
    const ssize_t n = ::read(FHandle, p, static_cast<size_t>(std::min<int64_t>(ACount, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
    p += n;
    ACount -= n;
  }
  return total;
}

int64_t TnoxFileStream::Write(const void* ABuffer, int64_t ACount) {
  int64_t total = 0;
  auto* p = static_cast<const uint8_t*>(ABuffer);
  while (ACount > 0) {
    const ssize_t n = ::write(FHandle, p, static_cast<size_t>(std::min<int64_t>(ACount, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
    p += n;
    ACount -= n;
  }
  return total;
}

int64_t TnoxFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const int whence = AOrigin == soBeginning ? SEEK_SET : AOrigin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(FHandle, static_cast<off_t>(AOffset), whence);
  if (r < 0) throw EStreamError("Invalid stream position");
  return r;
}

void TnoxFileStream::SetSize(int64_t ANewSize) {
  if (ANewSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(ANewSize)) != 0)
    throw EStreamError("Stream size error");
  if (GetPosition() > ANewSize) Seek(ANewSize, soBeginning);
}

std::unique_ptr<TStream> OpenFileStream(const std::string& AFileName, uint32_t AMode, uint32_t) {
  return std::make_unique<TnoxFileStream>(AFileName, AMode);
}

// ---- memory over caller data ----

int64_t TMyMemoryStream::Read(void* ABuffer, int64_t ACount) {
  if (ACount <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(ACount, FSize - FPosition);
  std::memcpy(ABuffer, FData + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMyMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const int64_t base = AOrigin == soBeginning ? 0 : AOrigin == soCurrent ? FPosition : FSize;
  const int64_t pos = base + AOffset;
  if (pos < 0) throw EStreamError("Invalid stream position");
  FPosition = pos;
  return pos;
}

void TMyMemoryStream::SetSize(int64_t) { throw EStreamError("Cannot resize a fixed memory stream"); }

// ---- TStream over an IStream ----

namespace {

constexpr uint32_t CacheBlock = 61440;

}  // namespace

TnoxOleStream::TnoxOleStream(IStream* AStream, bool ACache, int64_t AKnownSize)
    : FStream(AStream), FKnownSize(AKnownSize) {
  RequirePointer(AStream);
  FStream->Seek(0, STREAM_SEEK_SET, nullptr);
  if (!ACache) return;
  uint64_t end = 0;
  const bool seekable = FStream->Seek(0, STREAM_SEEK_END, &end) == S_OK && end != 0 && end != UINT64_MAX;
  FStream->Seek(0, STREAM_SEEK_SET, nullptr);
  if (seekable) return;
  // A copy error passes on: reading on from wherever a failed copy stopped
  // would hand out the rest of the content as if it were the whole.
  auto cache = std::make_unique<TMemoryStream>();
  std::vector<uint8_t> block(CacheBlock);
  int64_t wanted = FKnownSize >= 1 ? FKnownSize : -1;
  for (;;) {
    uint32_t ask = CacheBlock;
    if (wanted >= 0) {
      if (wanted == 0) break;
      ask = static_cast<uint32_t>(std::min<int64_t>(wanted, CacheBlock));
    }
    uint32_t got = 0;
    const HRESULT hr = FStream->Read(block.data(), ask, &got);
    CheckHResult(hr);
    if (got > ask) CheckHResult(E_FAIL);
    if (got == 0) break;
    cache->WriteBuffer(block.data(), got);
    if (wanted > 0) wanted -= got;
  }
  cache->SetPosition(0);
  FCache = std::move(cache);
}

TnoxOleStream::~TnoxOleStream() = default;

namespace {

// Moves ACount bytes through 32-bit calls of the component stream; a call
// that moves nothing or less than asked ends the transfer, a failing one raises.
template <class TByte, class F>
int64_t TransferAll(TByte* ABuffer, int64_t ACount, F&& ACall) {
  int64_t total = 0;
  while (ACount > 0) {
    const uint32_t ask = static_cast<uint32_t>(std::min<int64_t>(ACount, 0x7FFFFFFF));
    uint32_t done = 0;
    CheckHResult(ACall(ABuffer, ask, &done));
    if (done == 0 || done > ask) break;
    total += done;
    ABuffer += done;
    ACount -= done;
    if (done < ask) break;
  }
  return total;
}

}  // namespace

int64_t TnoxOleStream::Read(void* ABuffer, int64_t ACount) {
  if (FCache) return FCache->Read(ABuffer, ACount);
  return TransferAll(static_cast<uint8_t*>(ABuffer), ACount,
                     [this](uint8_t* p, uint32_t n, uint32_t* done) { return FStream->Read(p, n, done); });
}

int64_t TnoxOleStream::Write(const void* ABuffer, int64_t ACount) {
  if (FCache) return FCache->Write(ABuffer, ACount);
  return TransferAll(static_cast<const uint8_t*>(ABuffer), ACount,
                     [this](const uint8_t* p, uint32_t n, uint32_t* done) { return FStream->Write(p, n, done); });
}

int64_t TnoxOleStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  if (FCache) return FCache->Seek(AOffset, AOrigin);
  uint64_t pos = 0;
  CheckHResult(FStream->Seek(AOffset, static_cast<uint32_t>(AOrigin), &pos));
  return static_cast<int64_t>(pos);
}

int64_t TnoxOleStream::GetSize() {
  if (FCache) return FCache->GetSize();
  if (FKnownSize >= 0) return FKnownSize;
  return TStream::GetSize();
}

void TnoxOleStream::SetSize(int64_t ANewSize) {
  if (FCache) return FCache->SetSize(ANewSize);
  CheckHResult(FStream->SetSize(static_cast<uint64_t>(ANewSize)));
}

std::unique_ptr<TStream> OpenOleStream(IStream* AStream) {
  return std::make_unique<TnoxOleStream>(AStream, true, -1);
}

// ---- TnoxShellStream ----

bool TnoxShellStream::GetInterface(const TGUID& iid, void** obj) {
  if (iid == IID_IStream || iid == IID_ISequentialStream) {
    *obj = static_cast<IStream*>(this);
    return true;
  }
  return TnoxShellInterfacedObject::GetInterface(iid, obj);
}

namespace {

// No exception leaves an IStream method: each becomes its HRESULT.
template <class F>
HRESULT Guarded(F&& AMethod) {
  try {
    return AMethod();
  } catch (...) {
    return CurrentExceptionToHResult();
  }
}

// Splits a 32-bit unsigned count into calls of at most 0x7FFFFFFF bytes,
// stopping at the first call that fails or does less than asked.
template <class TByte, class F>
HRESULT InChunks(TByte* ABuffer, uint32_t ACount, uint32_t& ADone, F&& ACall) {
  ADone = 0;
  while (ACount > 0x7FFFFFFFu) {
    uint32_t n = 0;
    const HRESULT hr = ACall(ABuffer, 0x7FFFFFFF, n);
    ADone += n;
    if (hr != S_OK || n < 0x7FFFFFFFu) return hr;
    ABuffer += 0x7FFFFFFF;
    ACount -= 0x7FFFFFFFu;
  }
  uint32_t n = 0;
  const HRESULT hr = ACall(ABuffer, static_cast<int32_t>(ACount), n);
  ADone += n;
  return hr;
}

}  // namespace

HRESULT TnoxShellStream::Read(void* pv, uint32_t cb, uint32_t* pcbRead) {
  return Guarded([&] {
    if (pcbRead) *pcbRead = 0;
    RequirePointer(pv);
    uint32_t n = 0;
    const HRESULT hr = ReadChunked(pv, cb, n);
    if (pcbRead) *pcbRead = n;
    return hr;
  });
}

HRESULT TnoxShellStream::Write(const void* pv, uint32_t cb, uint32_t* pcbWritten) {
  return Guarded([&] {
    if (pcbWritten) *pcbWritten = 0;
    RequirePointer(pv);
    uint32_t n = 0;
    const HRESULT hr = WriteChunked(pv, cb, n);
    if (pcbWritten) *pcbWritten = n;
    return hr;
  });
}

HRESULT TnoxShellStream::Seek(int64_t move, uint32_t origin, uint64_t* newPosition) {
  return Guarded([&] {
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    uint64_t pos = 0;
    const HRESULT hr = DoSeek(move, origin, pos);
    if (newPosition) *newPosition = pos;
    return hr;
  });
}

HRESULT TnoxShellStream::SetSize(uint64_t newSize) {
  return Guarded([&] { return DoSetSize(newSize); });
}

HRESULT TnoxShellStream::CopyTo(IStream* target, uint64_t cb, uint64_t* pcbRead, uint64_t* pcbWritten) {
  return Guarded([&] {
    RequirePointer(target);
    uint64_t r = 0, w = 0;
    const HRESULT hr = DoCopyTo(target, cb, r, w);
    if (pcbRead) *pcbRead = r;
    if (pcbWritten) *pcbWritten = w;
    return hr;
  });
}

HRESULT TnoxShellStream::Commit(uint32_t flags) {
  return Guarded([&] { return DoCommit(flags); });
}

HRESULT TnoxShellStream::Revert() {
  return Guarded([&] { return DoRevert(); });
}

HRESULT TnoxShellStream::LockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) {
  return Guarded([&] { return DoLockRegion(offset, cb, lockType); });
}

HRESULT TnoxShellStream::UnlockRegion(uint64_t offset, uint64_t cb, uint32_t lockType) {
  return Guarded([&] { return DoUnlockRegion(offset, cb, lockType); });
}

HRESULT TnoxShellStream::Stat(STATSTG* stat, uint32_t flag) {
  return Guarded([&] {
    RequirePointer(stat);
    *stat = STATSTG();
    if (flag != STATFLAG_DEFAULT && flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    return DoStat(*stat, flag);
  });
}

HRESULT TnoxShellStream::Clone(IStream** stream) {
  return Guarded([&] {
    RequirePointer(stream);
    *stream = nullptr;
    return DoClone(*stream);
  });
}

HRESULT TnoxShellStream::DoRead(void*, int32_t, uint32_t& ARead) {
  ARead = 0;
  return E_NOTIMPL;
}

HRESULT TnoxShellStream::ReadChunked(void* ABuffer, uint32_t ACount, uint32_t& ARead) {
  return InChunks(static_cast<uint8_t*>(ABuffer), ACount, ARead,
                  [this](uint8_t* p, int32_t n, uint32_t& done) { return DoRead(p, n, done); });
}

HRESULT TnoxShellStream::DoWrite(const void*, int32_t, uint32_t& AWritten) {
  AWritten = 0;
  return E_NOTIMPL;
}

HRESULT TnoxShellStream::WriteChunked(const void* ABuffer, uint32_t ACount, uint32_t& AWritten) {
  return InChunks(static_cast<const uint8_t*>(ABuffer), ACount, AWritten,
                  [this](const uint8_t* p, int32_t n, uint32_t& done) { return DoWrite(p, n, done); });
}

HRESULT TnoxShellStream::DoSeek(int64_t, uint32_t, uint64_t&) { return E_NOTIMPL; }
HRESULT TnoxShellStream::DoSetSize(uint64_t) { return E_NOTIMPL; }

HRESULT TnoxShellStream::DoCopyTo(IStream* ATarget, uint64_t ACount, uint64_t& ARead, uint64_t& AWritten) {
  ARead = 0;
  AWritten = 0;
  if (ACount == 0) return S_OK;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(ACount, 0x100000)));
  while (ACount > 0) {
    const auto ask = static_cast<uint32_t>(std::min<uint64_t>(ACount, buffer.size()));
    uint32_t got = 0;
    HRESULT hr = ReadChunked(buffer.data(), ask, got);
    if (hr != S_OK && hr != S_FALSE) return hr;
    if (got == 0) return S_OK;
    if (got > ask) return E_FAIL;
    ARead += got;
    ACount -= got;
    uint32_t put = 0;
    hr = ATarget->Write(buffer.data(), got, &put);
    if (hr == S_FALSE) return E_FAIL;
    if (hr != S_OK) return hr;
    AWritten += put;
    if (put < got) return E_FAIL;
  }
  return S_OK;
}

HRESULT TnoxShellStream::DoCommit(uint32_t) { return S_OK; }
HRESULT TnoxShellStream::DoRevert() { return STG_E_REVERTED; }
HRESULT TnoxShellStream::DoLockRegion(uint64_t, uint64_t, uint32_t) { return E_NOTIMPL; }
HRESULT TnoxShellStream::DoUnlockRegion(uint64_t, uint64_t, uint32_t) { return E_NOTIMPL; }
HRESULT TnoxShellStream::DoStat(STATSTG&, uint32_t) { return E_NOTIMPL; }

HRESULT TnoxShellStream::DoClone(IStream*& AStream) {
  AStream = nullptr;
  return E_NOTIMPL;
}

// ---- adapters ----

uint64_t UnixToFileTime(int64_t ASeconds, int64_t ANanoseconds) {
  return static_cast<uint64_t>((ASeconds + 11644473600LL) * 10000000LL + ANanoseconds / 100);
}

TnoxStreamAdapter::TnoxStreamAdapter(TStream* ASource, uint32_t AMode, TnoxOwnership AOwnership)
    : FSource(ASource), FOwnership(AOwnership), FMode(AMode) {}

TnoxStreamAdapter::~TnoxStreamAdapter() {
  if (FOwnership == TnoxOwnership::Owned) delete FSource;
}

HRESULT TnoxStreamAdapter::DoRead(void* ABuffer, int32_t ACount, uint32_t& ARead) {
  ARead = 0;
  const uint32_t access = FMode & nfmAccessMask;
  if (access != nfmRead && access != nfmReadWrite) throw EAccessDenied();
  ARead = static_cast<uint32_t>(FSource->Read(ABuffer, ACount));
  return ARead == static_cast<uint32_t>(ACount) ? S_OK : S_FALSE;
}

HRESULT TnoxStreamAdapter::DoWrite(const void* ABuffer, int32_t ACount, uint32_t& AWritten) {
  AWritten = 0;
  const uint32_t access = FMode & nfmAccessMask;
  if (access != nfmWrite && access != nfmReadWrite) throw EAccessDenied();
  AWritten = static_cast<uint32_t>(FSource->Write(ABuffer, ACount));
  return AWritten == static_cast<uint32_t>(ACount) ? S_OK : S_FALSE;
}

HRESULT TnoxStreamAdapter::DoSeek(int64_t AMove, uint32_t AOrigin, uint64_t& ANewPosition) {
  ANewPosition = static_cast<uint64_t>(FSource->Seek(AMove, static_cast<TSeekOrigin>(AOrigin)));
  return S_OK;
}

HRESULT TnoxStreamAdapter::DoSetSize(uint64_t ANewSize) {
  const uint32_t access = FMode & nfmAccessMask;
  if (access != nfmWrite && access != nfmReadWrite) throw EAccessDenied();
  const int64_t pos = FSource->GetPosition();
  try {
    FSource->SetSize(static_cast<int64_t>(ANewSize));
  } catch (...) {
    FSource->SetPosition(std::min<int64_t>(pos, FSource->GetSize()));
    throw;
  }
  const int64_t size = FSource->GetSize();
  FSource->SetPosition(std::min<int64_t>(pos, size));
  return static_cast<uint64_t>(size) == ANewSize ? S_OK : E_FAIL;
}

HRESULT TnoxStreamAdapter::DoStat(STATSTG& AStat, uint32_t AFlag) {
  AStat.type = STGTY_STREAM;
  AStat.cbSize = static_cast<uint64_t>(FSource->GetSize());
  AStat.grfMode = FMode & nfmAccessMask;
  AStat.grfLocksSupported = LOCK_WRITE;
  if (!FFileName.empty()) {
    if (AFlag == STATFLAG_DEFAULT) {
      const size_t slash = FFileName.find_last_of("\\/");
      AStat.pwcsName = slash == std::string::npos ? FFileName : FFileName.substr(slash + 1);
    }
    struct stat st;
    if (FUseFileTimes && ::stat(FFileName.c_str(), &st) == 0) {
      AStat.mtime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
      AStat.atime = UnixToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
      // Linux keeps no creation time in stat; the status change time stands in.
      AStat.ctime = UnixToFileTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    }
  }
  return S_OK;
}

TnoxFileStreamAdapter::TnoxFileStreamAdapter(const std::string& AFileName, uint32_t AMode)
    : TnoxStreamAdapter(new TnoxFileStream(AFileName, AMode), AMode, TnoxOwnership::Owned) {
  FFileName = AFileName;
  FUseFileTimes = true;
}

bool TnoxFileStreamAdapter::GetInterface(const TGUID& iid, void** obj) {
  if (iid == IID_IFileHandle) {
    *obj = static_cast<IFileHandle*>(this);
    return true;
  }
  return TnoxStreamAdapter::GetInterface(iid, obj);
}

HRESULT TnoxFileStreamAdapter::GetHandle(int* handle) {
  if (!handle) return E_POINTER;
  *handle = static_cast<TnoxFileStream*>(FSource)->GetHandle();
  return S_OK;
}
