#include "rtl/KvClasses.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

std::string OSErrorText(int AErr) { return std::strerror(AErr); }

}  // namespace

int64_t TStream::GetSize() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

int64_t TStream::Remaining() {
  const int64_t rest = GetSize() - GetPosition();
  return rest > 0 ? rest : 0;
}

void TStream::ReadBuffer(void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return;
  if (Read(ABuffer, ACount) != ACount) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return;
  if (Write(ABuffer, ACount) != ACount) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& ASource, int64_t ACount) {
  if (ACount == 0) {
    ASource.SetPosition(0);
    ACount = ASource.GetSize();
  }
  const int64_t total = ACount;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(ACount, 1 << 16)));
  while (ACount > 0) {
    const int64_t n = std::min<int64_t>(ACount, static_cast<int64_t>(buf.size()));
    ASource.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    ACount -= n;
  }
  return total;
}

// ---------------------------------------------------------------------------

int64_t TMemoryStream::Read(void* ABuffer, int64_t ACount) {
  const int64_t size = GetSize();
  if (ACount <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(ACount, size - FPosition);
  std::memcpy(ABuffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  const int64_t end = FPosition + ACount;
  if (end > GetSize()) SetSize(end);
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition = end;
  return ACount;
}

int64_t TMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t base = 0;
  if (AOrigin == soCurrent) base = FPosition;
  else if (AOrigin == soEnd) base = GetSize();
  const int64_t pos = base + AOffset;
  if (pos < 0) throw EStreamError("Invalid stream position");
  FPosition = pos;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t ANewSize) {
  if (ANewSize < 0) ANewSize = 0;
  try {
    FData.resize(static_cast<size_t>(ANewSize), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  } catch (const std::length_error&) {
    throw EOutOfMemory("Out of memory");
  }
  if (FPosition > ANewSize) FPosition = ANewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& AStream) {
  AStream.SetPosition(0);
  const int64_t size = AStream.GetSize();
  SetSize(size);
  if (size > 0) AStream.ReadBuffer(FData.data(), size);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& AFileName) {
  TFileStream f(AFileName, fmOpenRead | fmShareDenyNone);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& AStream) {
  if (!FData.empty()) AStream.WriteBuffer(FData.data(), GetSize());
}

void TMemoryStream::SaveToFile(const std::string& AFileName) {
  SaveBytesToFile(AFileName, GetMemory(), GetSize());
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& AFileName, uint32_t AMode) : FFileName(AFileName) {
  if (AMode == fmCreate || (AMode & 0xFF00) == fmCreate) {
    FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + AFileName + "\". " + OSErrorText(errno));
    return;
  }
  int flags = O_RDONLY;
  if ((AMode & 3) == fmOpenWrite) flags = O_WRONLY;
  else if ((AMode & 3) == fmOpenReadWrite) flags = O_RDWR;
  FHandle = ::open(AFileName.c_str(), flags | O_CLOEXEC);
  if (FHandle < 0)
    throw EFOpenError("Cannot open file \"" + AFileName + "\". " + OSErrorText(errno));
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError("Cannot open file \"" + AFileName + "\". " + OSErrorText(EISDIR));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(ABuffer);
  while (done < ACount) {
    const ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(std::min<int64_t>(ACount - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  const auto* p = static_cast<const uint8_t*>(ABuffer);
  while (done < ACount) {
    const ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(std::min<int64_t>(ACount - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const int whence = AOrigin == soBeginning ? SEEK_SET : AOrigin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(FHandle, static_cast<off_t>(AOffset), whence);
  if (r < 0) throw EStreamError("Invalid stream position");
  return static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t ANewSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(ANewSize)) != 0)
    throw EWriteError("Stream write error");
  if (GetPosition() > ANewSize) Seek(ANewSize, soBeginning);
}

// ---------------------------------------------------------------------------

namespace {

[[noreturn]] void RaiseCreateError(const std::string& AFileName, int AErr) {
  throw EFCreateError("Cannot create file \"" + AFileName + "\". " + OSErrorText(AErr));
}

// Creates a new empty file with a name of its own beside AFileName and returns
// its descriptor (-1 with errno set when it cannot). The file is created with
// the usual permissions (0666 less the umask) by open itself: changing the
// process-wide umask to read it would race with files other threads create
// meanwhile.
int CreateUniqueFile(const std::string& AFileName, const char* AKind, std::string& AName) {
  static std::atomic<uint32_t> counter{0};
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    AName = AFileName + AKind + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
    fd = ::open(AName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

}  // namespace

TFileSetWriter::~TFileSetWriter() { Rollback(); }

void TFileSetWriter::Add(const std::string& AFileName, const void* AData, int64_t ACount) {
  std::string temp;
  const int fd = CreateUniqueFile(AFileName, ".tmp", temp);
  if (fd < 0) RaiseCreateError(AFileName, errno);
  int err = 0;
  const auto* p = static_cast<const uint8_t*>(AData);
  int64_t done = 0;
  while (err == 0 && done < ACount) {
    const ssize_t n = ::write(fd, p + done, static_cast<size_t>(std::min<int64_t>(ACount - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    else if (n == 0) err = EIO;
    else done += n;
  }
  // A full disk may show only when the data is flushed at close.
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0) {
    try {
      FItems.push_back(TItem{AFileName, temp, {}});
      return;
    } catch (const std::bad_alloc&) {
      err = ENOMEM;
    }
  }
  ::unlink(temp.c_str());
  throw EWriteError("Cannot write file \"" + AFileName + "\". " + OSErrorText(err));
}

void TFileSetWriter::Commit() {
  for (size_t i = 0; i < FItems.size(); ++i) {
    TItem& item = FItems[i];
    // A file that is there already is moved aside first, so it can be put
    // back when a later file fails. The last file needs no backup: once it is
    // in place nothing can fail any more, and a failed rename leaves the old
    // file untouched. A directory in the way is left for the rename to refuse.
    struct stat st {};
    if (i + 1 < FItems.size() && ::lstat(item.Target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      std::string backup;
      const int fd = CreateUniqueFile(item.Target, ".bak", backup);
      int err = fd < 0 ? errno : 0;
      if (fd >= 0) {
        ::close(fd);
        if (::rename(item.Target.c_str(), backup.c_str()) == 0) {
          item.Backup = backup;
        } else {
          err = errno;
          ::unlink(backup.c_str());
        }
      }
      if (err != 0) Fail(item.Target, err);
    }
    if (::rename(item.Temp.c_str(), item.Target.c_str()) != 0) Fail(item.Target, errno);
    item.Temp.clear();
  }
  for (const TItem& item : FItems)
    if (!item.Backup.empty()) ::unlink(item.Backup.c_str());
  FItems.clear();
}

void TFileSetWriter::Fail(std::string AFileName, int AErr) {
  Rollback();
  RaiseCreateError(AFileName, AErr);
}

// Undoes everything in reverse order, so that a target named twice gets its
// first content back last.
void TFileSetWriter::Rollback() {
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
    if (!it->Temp.empty()) ::unlink(it->Temp.c_str());
    else if (it->Backup.empty()) ::unlink(it->Target.c_str());
    // A backup that cannot be put back stays under its own name: the old
    // content is never deleted by a failed save.
    if (!it->Backup.empty()) ::rename(it->Backup.c_str(), it->Target.c_str());
  }
  FItems.clear();
}

std::vector<std::string> TFileSetWriter::GetFileNames() const {
  std::vector<std::string> names;
  for (const TItem& item : FItems) names.push_back(item.Target);
  return names;
}

void SaveBytesToFile(const std::string& AFileName, const void* AData, int64_t ACount) {
  TFileSetWriter files;
  files.Add(AFileName, AData, ACount);
  files.Commit();
}
