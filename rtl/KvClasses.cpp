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

void SaveBytesToFile(const std::string& AFileName, const void* AData, int64_t ACount) {
  // The temporary file is created with the usual permissions (0666 less the
  // umask) by open itself: changing the process-wide umask to read it would
  // race with files other threads create meanwhile.
  static std::atomic<uint32_t> counter{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tmp = AFileName + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0)
    throw EFCreateError("Cannot create file \"" + AFileName + "\". " + OSErrorText(errno));
  bool ok = true;
  const auto* p = static_cast<const uint8_t*>(AData);
  int64_t done = 0;
  while (ok && done < ACount) {
    const ssize_t n = ::write(fd, p + done, static_cast<size_t>(std::min<int64_t>(ACount - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += n;
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    throw EWriteError("Stream write error");
  }
  if (::rename(tmp.c_str(), AFileName.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw EFCreateError("Cannot create file \"" + AFileName + "\". " + OSErrorText(err));
  }
}
