#include "shell/noxShellBaseExtensionStreams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return v;
}

struct TTempFile {
  explicit TTempFile(const std::vector<uint8_t>& data) {
    Path = (fs::temp_directory_path() / ("kv_streams_" + std::to_string(::getpid()) + "_" +
                                         std::to_string(Counter++)))
               .string();
    TnoxFileStream f(Path, nfmCreate | nfmWrite);
    f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  }
  ~TTempFile() { fs::remove(Path); }
  std::string Path;
  static inline int Counter = 0;
};

// A forward-only IStream: it reads and nothing else (Seek is not implemented),
// optionally failing after some bytes.
class TForwardStream : public TnoxShellStream {
public:
  TForwardStream(std::vector<uint8_t> data, int64_t failAfter = -1) : Data(std::move(data)), FailAfter(failAfter) {}
  std::vector<uint8_t> Data;
  int64_t FailAfter;
  size_t Pos = 0;
  std::vector<uint32_t> Asks;
  using TnoxShellStream::ReadChunked;

protected:
  HRESULT DoRead(void* ABuffer, int32_t ACount, uint32_t& ARead) override {
    Asks.push_back(static_cast<uint32_t>(ACount));
    if (FailAfter >= 0 && static_cast<int64_t>(Pos) >= FailAfter) throw EOSError(5, "gone");
    ARead = static_cast<uint32_t>(std::min<size_t>(static_cast<size_t>(ACount), Data.size() - Pos));
    if (ABuffer && ARead) std::memcpy(ABuffer, Data.data() + Pos, ARead);
    Pos += ARead;
    return ARead == static_cast<uint32_t>(ACount) ? S_OK : S_FALSE;
  }
};

// Reports the counts asked for without touching memory.
class TCountingStream : public TnoxShellStream {
public:
  std::vector<int32_t> Asks;
  using TnoxShellStream::ReadChunked;

protected:
  HRESULT DoRead(void*, int32_t ACount, uint32_t& ARead) override {
    Asks.push_back(ACount);
    ARead = static_cast<uint32_t>(ACount);
    return S_OK;
  }
};

}  // namespace

TEST(TnoxFileStream, RejectsBadModeFieldsWithTheFileName) {
  const struct { uint32_t mode; const char* msg; } cases[] = {
      {3, "f.bin: Invalid access mode"}, {0x50, "f.bin: Invalid share mode"}, {0x2000, "f.bin: Invalid create mode"}};
  for (const auto& c : cases) {
    try {
      TnoxFileStream s("f.bin", c.mode);
      FAIL() << c.mode;
    } catch (const EFileStreamError& e) {
      EXPECT_EQ(e.Message(), c.msg);
    }
  }
  try {
    TnoxFileStream s("/nonexistent-dir/x.bin", nfmRead);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
  }
}

TEST(TnoxFileStream, ReadsWhileOthersReadAndWrite) {
  const auto data = Pattern(1000);
  TTempFile file(data);
  TnoxFileStream reader(file.Path, nfmRead);
  TnoxFileStream writer(file.Path, nfmReadWrite | nfmShareDenyNone);
  EXPECT_EQ(reader.GetSize(), 1000);
  std::vector<uint8_t> back(1000);
  reader.ReadBuffer(back.data(), 1000);
  EXPECT_EQ(back, data);
  EXPECT_EQ(reader.Write("x", 1), 0);  // opened for reading only
}

TEST(TnoxStreamAdapter, ReadsWritesAndRefusesByAccessMode) {
  TMemoryStream mem;
  const auto data = Pattern(100);
  mem.WriteBuffer(data.data(), 100);
  mem.SetPosition(0);
  TnoxComPtr<TnoxStreamAdapter> writeOnly(new TnoxStreamAdapter(&mem, nfmWrite, TnoxOwnership::Reference));
  uint8_t buf[200];
  uint32_t n = 99;
  EXPECT_EQ(writeOnly->Read(buf, 10, &n), E_ACCESSDENIED);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(writeOnly->Write(buf, 0, &n), S_OK);
  TnoxComPtr<TnoxStreamAdapter> reader(new TnoxStreamAdapter(&mem, nfmRead, TnoxOwnership::Reference));
  EXPECT_EQ(reader->Read(buf, 60, &n), S_OK);
  EXPECT_EQ(n, 60u);
  EXPECT_EQ(reader->Read(buf, 60, &n), S_FALSE);  // short at the end
  EXPECT_EQ(n, 40u);
  EXPECT_EQ(reader->Read(nullptr, 1, &n), E_POINTER);
  EXPECT_EQ(reader->Write(buf, 1, &n), E_ACCESSDENIED);
  EXPECT_EQ(reader->SetSize(5), E_ACCESSDENIED);
  uint64_t pos = 77;
  EXPECT_EQ(reader->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(pos, 77u);
  EXPECT_EQ(mem.GetPosition(), 100);  // untouched
  EXPECT_EQ(reader->Seek(-10, STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos, 90u);
  STATSTG st;
  EXPECT_EQ(reader->Stat(&st, 2), STG_E_INVALIDFLAG);
  EXPECT_EQ(reader->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.type, STGTY_STREAM);
  EXPECT_EQ(st.cbSize, 100u);
  EXPECT_EQ(st.pwcsName, "");
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(reader->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  EXPECT_EQ(reader->Revert(), STG_E_REVERTED);
  void* async = nullptr;
  EXPECT_EQ(reader->QueryInterface(&IID_IStreamAsync, &async), E_NOINTERFACE);
}

TEST(TnoxStreamAdapter, SetSizeKeepsThePositionWithinTheNewSize) {
  auto* mem = new TMemoryStream;
  mem->SetSize(50);
  mem->SetPosition(40);
  TnoxComPtr<TnoxStreamAdapter> rw(new TnoxStreamAdapter(mem, nfmReadWrite, TnoxOwnership::Owned));
  EXPECT_EQ(rw->SetSize(30), S_OK);
  EXPECT_EQ(mem->GetSize(), 30);
  EXPECT_EQ(mem->GetPosition(), 30);
}

TEST(TnoxStreamAdapter, CopyToCopiesWhatThereIs) {
  TMemoryStream src, dst;
  const auto data = Pattern(3000);
  src.WriteBuffer(data.data(), 3000);
  src.SetPosition(0);
  TnoxComPtr<TnoxStreamAdapter> from(new TnoxStreamAdapter(&src, nfmRead, TnoxOwnership::Reference));
  TnoxComPtr<TnoxStreamAdapter> to(new TnoxStreamAdapter(&dst, nfmWrite, TnoxOwnership::Reference));
  uint64_t r = 0, w = 0;
  EXPECT_EQ(from->CopyTo(to.Get(), 1u << 30, &r, &w), S_OK);
  EXPECT_EQ(r, 3000u);
  EXPECT_EQ(w, 3000u);
  ASSERT_EQ(dst.GetSize(), 3000);
  EXPECT_EQ(std::memcmp(dst.GetMemory(), data.data(), 3000), 0);
  EXPECT_EQ(from->CopyTo(nullptr, 1, &r, &w), E_POINTER);
  // A target that refuses: its error comes back.
  src.SetPosition(0);
  TnoxComPtr<TnoxStreamAdapter> refusing(new TnoxStreamAdapter(&dst, nfmRead, TnoxOwnership::Reference));
  EXPECT_EQ(from->CopyTo(refusing.Get(), 100, &r, &w), E_ACCESSDENIED);
  EXPECT_EQ(r, 100u);
  EXPECT_EQ(w, 0u);
}

TEST(TnoxShellStream, ReadChunkedSplitsCountsAbove2GiB) {
  TnoxComPtr<TCountingStream> s(new TCountingStream);
  uint8_t dummy = 0;
  uint32_t n = 0;
  EXPECT_EQ(s->ReadChunked(&dummy, 0x80000005u, n), S_OK);
  ASSERT_EQ(s->Asks.size(), 2u);
  EXPECT_EQ(s->Asks[0], 0x7FFFFFFF);
  EXPECT_EQ(s->Asks[1], 6);
  EXPECT_EQ(n, 0x80000005u);
}

TEST(TnoxFileStreamAdapter, StatGivesTheNameOnlyWhenAskedAndTheFileTimes) {
  TTempFile file(Pattern(10));
  TnoxComPtr<TnoxFileStreamAdapter> a(new TnoxFileStreamAdapter(file.Path, nfmRead));
  STATSTG st;
  EXPECT_EQ(a->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.pwcsName, "");
  EXPECT_GT(st.mtime, 0u);
  EXPECT_EQ(st.cbSize, 10u);
  EXPECT_EQ(a->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.pwcsName, fs::path(file.Path).filename().string());
  void* fh = nullptr;
  ASSERT_EQ(a->QueryInterface(&IID_IFileHandle, &fh), S_OK);
  int handle = -1;
  EXPECT_EQ(static_cast<IFileHandle*>(fh)->GetHandle(&handle), S_OK);
  EXPECT_GE(handle, 0);
  static_cast<IFileHandle*>(fh)->Release();
}

TEST(TnoxOleStream, CachesAForwardOnlyStreamInBlocks) {
  const auto data = Pattern(150000);
  TnoxComPtr<TForwardStream> src(new TForwardStream(data));
  TnoxOleStream s(src.Get(), true, -1);
  ASSERT_TRUE(s.IsCached());
  ASSERT_GE(src->Asks.size(), 3u);
  EXPECT_EQ(src->Asks[0], 61440u);
  EXPECT_EQ(s.GetSize(), 150000);
  const size_t asks = src->Asks.size();
  std::vector<uint8_t> back(150000);
  s.ReadBuffer(back.data(), 150000);
  EXPECT_EQ(back, data);
  EXPECT_EQ(src->Asks.size(), asks);  // reads never touch the IStream again
}

TEST(TnoxOleStream, KnownSizeIsReadWholeAndSeekableStreamsAreUsedDirectly) {
  const auto data = Pattern(1000);
  TnoxComPtr<TForwardStream> src(new TForwardStream(data));
  TnoxOleStream cached(src.Get(), true, 1000);
  EXPECT_EQ(cached.GetSize(), 1000);
  TMemoryStream mem;
  mem.WriteBuffer(data.data(), 1000);
  TnoxComPtr<TnoxStreamAdapter> seekable(new TnoxStreamAdapter(&mem, nfmRead, TnoxOwnership::Reference));
  TnoxOleStream direct(seekable.Get(), true, 0);
  EXPECT_FALSE(direct.IsCached());
  EXPECT_EQ(direct.GetSize(), 0);  // the known size is trusted
  EXPECT_EQ(direct.GetPosition(), 0);
  uint8_t b[4];
  EXPECT_EQ(direct.Read(b, 4), 4);
  EXPECT_EQ(b[1], data[1]);
  TnoxOleStream unknown(seekable.Get(), false, -1);
  EXPECT_EQ(unknown.GetSize(), 1000);
}

TEST(TnoxOleStream, ACopyErrorIsRaisedNotSwallowed) {
  TnoxComPtr<TForwardStream> src(new TForwardStream(Pattern(200000), 61440));
  try {
    TnoxOleStream s(src.Get(), true, -1);
    FAIL() << "the failed copy was swallowed";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, E_ACCESSDENIED);
  }
  EXPECT_EQ(src->GetRefCount(), 1);  // the failed stream let go of its reference
}

TEST(TMyMemoryStream, ReadsCallerMemoryAndWritesNothing) {
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  TMyMemoryStream s(data, 5);
  uint8_t b[8] = {};
  EXPECT_EQ(s.Write(b, 3), 0);
  s.Seek(3, soBeginning);
  EXPECT_EQ(s.Read(b, 8), 2);
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(s.Read(b, 8), 0);
}
