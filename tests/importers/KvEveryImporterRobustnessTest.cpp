// Every native file of the registry walk, damaged: cut short at several
// points, lengthened, and with header bytes turned over. Each damaged file,
// opened (a companion file: lying beside the files it belongs to), is either
// refused by every candidate (an exception) or decoded to a bitmap of the
// size the candidate declared; nothing crashes, hangs or asks for more than
// 1 GB.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "importers/KvEveryModeWalk.h"

namespace {

constexpr size_t GiB = size_t(1) << 30;

// Requests above 1 GB, counted by the allocator below.
std::atomic<int> HugeRequests{0};

}  // namespace

// A counting allocator for the plain forms: a request above 1 GB is counted
// and refused as an allocation failure, so the test reports it instead of the
// machine running out of memory. The sanitizer build keeps its own allocator
// (it replaces these forms itself), so there only the bitmaps are checked.
#if defined(__SANITIZE_ADDRESS__)
#define KV_COUNTING_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_COUNTING_ALLOCATOR 0
#endif
#endif
#ifndef KV_COUNTING_ALLOCATOR
#define KV_COUNTING_ALLOCATOR 1
#endif

#if KV_COUNTING_ALLOCATOR
// Kept out of line, so the compiler does not pair a free() it inlined with
// the new-expression of a caller.
[[gnu::noinline]] void* operator new(size_t ASize) {
  if (ASize > GiB) {
    HugeRequests.fetch_add(1);
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(ASize ? ASize : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](size_t ASize) { return operator new(ASize); }
[[gnu::noinline]] void* operator new(size_t ASize, const std::nothrow_t&) noexcept {
  try {
    return operator new(ASize);
  } catch (...) {
    return nullptr;
  }
}
[[gnu::noinline]] void* operator new[](size_t ASize, const std::nothrow_t&) noexcept { return operator new(ASize, std::nothrow); }
[[gnu::noinline]] void operator delete(void* APointer) noexcept { std::free(APointer); }
[[gnu::noinline]] void operator delete[](void* APointer) noexcept { std::free(APointer); }
[[gnu::noinline]] void operator delete(void* APointer, size_t) noexcept { std::free(APointer); }
[[gnu::noinline]] void operator delete[](void* APointer, size_t) noexcept { std::free(APointer); }
[[gnu::noinline]] void operator delete(void* APointer, const std::nothrow_t&) noexcept { std::free(APointer); }
[[gnu::noinline]] void operator delete[](void* APointer, const std::nothrow_t&) noexcept { std::free(APointer); }
#endif

namespace {

struct TKvDamage {
  std::string Name;
  TKvTestBytes Bytes;
};

// The damaged forms of AFile.
std::vector<TKvDamage> Damages(const TKvTestBytes& AFile) {
  std::vector<TKvDamage> r;
  const size_t n = AFile.size();
  auto cut = [&](const std::string& AName, size_t ASize) {
    if (ASize < n) r.push_back({AName, TKvTestBytes(AFile.begin(), AFile.begin() + static_cast<ptrdiff_t>(ASize))});
  };
  cut("empty", 0);
  cut("one byte", 1);
  cut("half", n / 2);
  if (n > 0) cut("one byte short", n - 1);
  TKvTestBytes longer = AFile;
  longer.push_back(0xFF);
  r.push_back({"one byte more", longer});
  longer.insert(longer.end(), 4095, 0xA5);
  r.push_back({"4 KB more", longer});
  // The header: each of the first 16 bytes turned over, then all of them.
  TKvTestBytes all = AFile;
  for (size_t i = 0; i < std::min<size_t>(n, 16); ++i) {
    TKvTestBytes one = AFile;
    one[i] ^= 0xFF;
    all[i] ^= 0xFF;
    r.push_back({"byte " + std::to_string(i) + " turned over", std::move(one)});
  }
  if (n > 1) r.push_back({"header turned over", std::move(all)});
  return r;
}

// Every candidate the probe offers for AFiles either raises or decodes to a
// bitmap (and frames) of the size it declared.
void ExpectRefusedOrWithinSize(TKvTestFiles& AFiles) {
  std::unique_ptr<TKvSourceEngineList> list;
  try {
    list = AFiles.FindEngines();
  } catch (const Exception&) {
    return;  // refused while the probe built a candidate
  }
  for (int i = 0; i < list->GetCount(); ++i) {
    TKvSourceEngine& e = *list->GetEngine(i);
    SCOPED_TRACE(e.ClassType().GetClassName());
    const int huge = HugeRequests.load();
    std::unique_ptr<TKvBitmap> b;
    try {
      b = e.Decode();
    } catch (const Exception&) {
      // Refused.
    }
    EXPECT_EQ(HugeRequests.load(), huge) << "asked for more than 1 GB";
    if (!b) continue;
    EXPECT_EQ(b->Width, e.Width);
    EXPECT_EQ(b->Height, e.Height);
    EXPECT_LE(static_cast<uint64_t>(b->Stride) * static_cast<uint64_t>(b->Height), GiB);
    if (TKvBitmapList* frames = b->GetFrames())
      for (int k = 0; k < frames->GetCount(); ++k) {
        EXPECT_EQ(frames->GetBitmap(k)->Width, b->Width) << "frame " << k;
        EXPECT_EQ(frames->GetBitmap(k)->Height, b->Height) << "frame " << k;
      }
  }
}

// Whether AFile of AResult is a companion file: no importer takes it as the
// file opened.
bool IsCompanion(const TKvWalkResult& AResult, size_t AFile) {
  return OpenWalkFile(AResult, AFile)->FindEngines()->GetCount() == 0;
}

// Every damaged form of every file of AResult opened; a damaged companion
// file also lies beside each other file opened, where its picture reads it.
void Check(const TKvWalkCase&, const TKvWalkResult& r) {
  for (size_t f = 0; f < r.Files.size(); ++f) {
    SCOPED_TRACE(r.Files[f].Name);
    const bool companion = IsCompanion(r, f);
    for (const TKvDamage& d : Damages(r.Files[f].Bytes)) {
      SCOPED_TRACE(d.Name);
      for (size_t main = 0; main < r.Files.size(); ++main) {
        if (main != f && !companion) continue;
        TKvTestFiles files(r.Files[main].Name, main == f ? d.Bytes : r.Files[main].Bytes);
        for (size_t k = 0; k < r.Files.size(); ++k)
          if (k != main) files.Add(r.Files[k].Name, k == f ? d.Bytes : r.Files[k].Bytes);
        ExpectRefusedOrWithinSize(files);
      }
    }
  }
}

class KvEveryImporterRobustness : public ::testing::TestWithParam<int> {};

TEST_P(KvEveryImporterRobustness, DamagedFilesAreRefusedOrDecodedWithinSize) {
  ForEveryCaseOfGroup(GetParam(), Check);
}

INSTANTIATE_TEST_SUITE_P(Modes, KvEveryImporterRobustness,
                         ::testing::Range(0, static_cast<int>(EveryModeCaseGroups().size())),
                         [](const ::testing::TestParamInfo<int>& AInfo) { return ModeTestName(AInfo.param); });

}  // namespace
