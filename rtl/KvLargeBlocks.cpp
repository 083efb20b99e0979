#include "rtl/KvLargeBlocks.h"

#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace {

// Under the address sanitizer every block stays an ordinary allocation, so
// that reads past a buffer's end are still caught.
constexpr bool AddressSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

constexpr size_t PlainAlignment = 64;

void* PlainAlloc(size_t ASize) {
  const size_t size = ASize == 0 ? PlainAlignment : (ASize + PlainAlignment - 1) & ~(PlainAlignment - 1);
  if (size < ASize) return nullptr;
  return std::aligned_alloc(PlainAlignment, size);
}

constexpr size_t HugePage = size_t{2} << 20;
// The usual region: room for the buffers of a preview-sized conversion.
constexpr size_t StandardRegion = size_t{32} << 20;
// Blocks are whole pages, so that a block never shares a page with another.
constexpr size_t Granule = 4096;

std::atomic<TKvLargeBlockObserver> GObserver{nullptr};

void Observe(int64_t ADelta) {
  if (const TKvLargeBlockObserver observer = GObserver.load(std::memory_order_relaxed)) observer(ADelta);
}

size_t RoundUp(size_t AValue, size_t AStep) { return (AValue + AStep - 1) / AStep * AStep; }

struct TRegion {
  char* Base = nullptr;
  size_t Size = 0;
  std::map<size_t, size_t> Free;  // offset -> length, no two adjacent
  std::map<size_t, size_t> Used;  // offset -> length

  bool Empty() const { return Used.empty(); }
};

class TLargeBlocks {
public:
  void* Alloc(size_t ASize) {
    if (ASize > SIZE_MAX - HugePage) return nullptr;
    const size_t need = RoundUp(ASize, Granule);
    std::lock_guard<std::mutex> lock(FLock);
    for (TRegion& r : FRegions)
      if (void* p = Take(r, need)) return p;
    TRegion region;
    region.Size = std::max(StandardRegion, RoundUp(need, HugePage));
    region.Base = MapRegion(region.Size);
    if (!region.Base) return nullptr;
    region.Free.emplace(0, region.Size);
    FRegions.push_back(std::move(region));
    return Take(FRegions.back(), need);
  }

  // False when P is not a block of a region.
  bool Release(void* P) {
    std::lock_guard<std::mutex> lock(FLock);
    const auto at = std::find_if(FRegions.begin(), FRegions.end(), [P](const TRegion& r) {
      return P >= static_cast<void*>(r.Base) && P < static_cast<void*>(r.Base + r.Size);
    });
    if (at == FRegions.end()) return false;
    TRegion& r = *at;
    const auto used = r.Used.find(static_cast<size_t>(static_cast<char*>(P) - r.Base));
    if (used == r.Used.end()) std::abort();  // not a block's start: the heap is corrupt
    size_t offset = used->first, length = used->second;
    r.Used.erase(used);
    Observe(-static_cast<int64_t>(length));
    auto next = r.Free.lower_bound(offset);
    if (next != r.Free.end() && next->first == offset + length) {
      length += next->second;
      next = r.Free.erase(next);
    }
    if (next != r.Free.begin() && std::prev(next)->first + std::prev(next)->second == offset)
      std::prev(next)->second += length;
    else
      r.Free.emplace_hint(next, offset, length);
    if (r.Empty() && !KeepEmpty(r)) {
      munmap(r.Base, r.Size);
      FRegions.erase(at);
    }
    return true;
  }

private:
  std::mutex FLock;
  std::vector<TRegion> FRegions;

  // The lowest free span that holds ALength bytes, or nullptr.
  static void* Take(TRegion& ARegion, size_t ALength) {
    for (auto it = ARegion.Free.begin(); it != ARegion.Free.end(); ++it) {
      if (it->second < ALength) continue;
      const size_t offset = it->first, rest = it->second - ALength;
      ARegion.Free.erase(it);
      if (rest > 0) ARegion.Free.emplace(offset + ALength, rest);
      ARegion.Used.emplace(offset, ALength);
      Observe(static_cast<int64_t>(ALength));
      return ARegion.Base + offset;
    }
    return nullptr;
  }

  // An empty region stays mapped when it has the standard size and no other
  // empty one does: the next conversion finds its pages already there.
  bool KeepEmpty(const TRegion& ARegion) const {
    if (ARegion.Size != StandardRegion) return false;
    for (const TRegion& r : FRegions)
      if (&r != &ARegion && r.Empty()) return false;
    return true;
  }

  // ASize bytes (a multiple of the huge page) starting on a huge page.
  static char* MapRegion(size_t ASize) {
    const size_t span = ASize + HugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t base = (start + HugePage - 1) & ~(uintptr_t{HugePage} - 1);
    const size_t head = base - start, tail = span - head - ASize;
    if (head > 0) munmap(raw, head);
    if (tail > 0) munmap(reinterpret_cast<char*>(base) + ASize, tail);
    // A hint only: refused, the region is ordinary memory.
    madvise(reinterpret_cast<void*>(base), ASize, MADV_HUGEPAGE);
    return reinterpret_cast<char*>(base);
  }
};

// Never destroyed: blocks may be freed by other objects' destructors at exit.
TLargeBlocks& Blocks() {
  static TLargeBlocks* blocks = new TLargeBlocks;
  return *blocks;
}

}  // namespace

void* KvAllocLarge(size_t ASize) {
  if (AddressSanitized || ASize < KvLargeBlockMin) return PlainAlloc(ASize);
  return Blocks().Alloc(ASize);
}

void KvFreeLarge(void* P) {
  if (P && (AddressSanitized || !Blocks().Release(P))) std::free(P);
}

void KvObserveLargeBlocks(TKvLargeBlockObserver AObserver) { GObserver.store(AObserver); }
