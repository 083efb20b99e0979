// Run-time streams: the abstract stream, a growable memory stream and a file
// stream, with the stream exceptions. Qt-free.
#pragma once

#include "rtl/KvSysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

class EStreamError : public Exception {
public:
  using Exception::Exception;
};

// A short read: fewer bytes left than a reader asked for.
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;

  // Reads or writes up to ACount bytes; returns how many were moved.
  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Write(const void* ABuffer, int64_t ACount) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;

  virtual int64_t GetSize();
  virtual void SetSize(int64_t ANewSize) = 0;
  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t APos) { Seek(APos, soBeginning); }
  // Bytes from the position to the end (0 when the position is past the end).
  int64_t Remaining();

  // Exactly ACount bytes or EReadError ("Stream read error").
  void ReadBuffer(void* ABuffer, int64_t ACount);
  // Exactly ACount bytes or EWriteError ("Stream write error").
  void WriteBuffer(const void* ABuffer, int64_t ACount);
  // Copies ACount bytes from ASource's position; ACount 0 copies the whole
  // source from its start.
  int64_t CopyFrom(TStream& ASource, int64_t ACount);
};

// Growable stream in memory. New bytes made by SetSize are zero.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t ANewSize) override;

  uint8_t* GetMemory() { return FData.empty() ? nullptr : FData.data(); }
  const uint8_t* GetMemory() const { return FData.empty() ? nullptr : FData.data(); }
  void Clear();

  void LoadFromStream(TStream& AStream);
  void LoadFromFile(const std::string& AFileName);
  void SaveToStream(TStream& AStream);
  // Writes the whole memory to a new file replacing an existing one; the
  // file is written whole or not at all.
  void SaveToFile(const std::string& AFileName);

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// Open modes of TFileStream. Sharing flags are accepted and ignored.
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class TFileStream : public TStream {
public:
  // fmCreate creates or truncates; the others open an existing file.
  TFileStream(const std::string& AFileName, uint32_t AMode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void SetSize(int64_t ANewSize) override;
  const std::string& GetFileName() const { return FFileName; }

private:
  int FHandle = -1;
  std::string FFileName;
};

// Writes files that belong together (a picture and its frames, a native file
// and its side files) whole or not at all. Add writes a file beside its
// target under a temporary name; Commit renames every one over its target in
// the order they were added. Until the set is complete each file it replaces
// is kept under a backup name, so when a rename fails the new files go and
// the old ones come back: a failed save never destroys what was there.
// A set destroyed without Commit removes its temporary files. Errors name the
// target and the system's reason: EFCreateError when a file cannot be
// created or put in place, EWriteError when its bytes cannot be written.
class TFileSetWriter {
public:
  TFileSetWriter() = default;
  ~TFileSetWriter();
  TFileSetWriter(const TFileSetWriter&) = delete;
  TFileSetWriter& operator=(const TFileSetWriter&) = delete;

  void Add(const std::string& AFileName, const void* AData, int64_t ACount);
  void Add(const std::string& AFileName, const std::string& ABytes) {
    Add(AFileName, ABytes.data(), static_cast<int64_t>(ABytes.size()));
  }
  void Commit();
  // The targets in the order they were added.
  std::vector<std::string> GetFileNames() const;

private:
  struct TItem {
    std::string Target;
    std::string Temp;    // empty once renamed over the target
    std::string Backup;  // the replaced file, until the set is complete
  };
  void Rollback();
  // Rolls back and raises the create error; AFileName is a copy, since the
  // rollback forgets the items.
  [[noreturn]] void Fail(std::string AFileName, int AErr);
  std::vector<TItem> FItems;
};

// Writes ACount bytes as the new content of AFileName: a set of one file.
void SaveBytesToFile(const std::string& AFileName, const void* AData, int64_t ACount);
