// Memory for the large working buffers of a conversion: the working picture,
// bitmaps' pixel storage, the quantization's arrays.
//
// A fresh page costs a fault the first time it is touched, and on a virtual
// machine a fault is dear (over 10 us): a first conversion in a process used
// to spend a third of its time faulting in the heap that later conversions
// reuse. Large blocks are therefore carved from regions aligned to the huge
// page size and marked for transparent huge pages, so one fault maps 2 MB.
// The marking is a hint: where the system ignores it, or lacks it, the blocks
// are ordinary memory and nothing else changes. Blocks pack from the lowest
// address up so that small ones share huge pages; a region goes back to the
// system once it is empty, except one of the standard size that is kept for
// the next conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

// Blocks at least this large come from the regions; smaller ones from the
// ordinary heap.
constexpr size_t KvLargeBlockMin = size_t{64} << 10;

// A block of ASize bytes aligned to at least 64 bytes, uninitialised; nullptr
// when memory runs out.
void* KvAllocLarge(size_t ASize);
// Frees a block of KvAllocLarge (nullptr does nothing).
void KvFreeLarge(void* P);

// Told the bytes of every block the regions hand out (positive) and take
// back (negative), for the benchmarks that count a conversion's memory;
// blocks from the ordinary heap are not reported. nullptr stops it.
using TKvLargeBlockObserver = void (*)(int64_t ADelta);
void KvObserveLargeBlocks(TKvLargeBlockObserver AObserver);

// An allocator of large blocks for the vectors that hold a picture's worth
// of data.
template <class T>
struct TKvLargeAllocator {
  static_assert(alignof(T) <= 64, "large blocks are aligned to 64 bytes");
  using value_type = T;
  TKvLargeAllocator() = default;
  template <class U>
  TKvLargeAllocator(const TKvLargeAllocator<U>&) noexcept {}
  T* allocate(size_t N) {
    if (N > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* p = KvAllocLarge(N * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* P, size_t) noexcept { KvFreeLarge(P); }
  template <class U>
  bool operator==(const TKvLargeAllocator<U>&) const noexcept {
    return true;
  }
};

// Leaves the new elements of a resized vector uninitialized (trivial types
// only): for the big arrays that several processors fill right after, so
// that each touches its own part first.
template <class T>
struct TKvUninitAllocator : TKvLargeAllocator<T> {
  TKvUninitAllocator() = default;
  template <class U>
  TKvUninitAllocator(const TKvUninitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* P) noexcept {
    ::new (static_cast<void*>(P)) U;
  }
  template <class U, class... TArgs>
  void construct(U* P, TArgs&&... AArgs) {
    ::new (static_cast<void*>(P)) U(std::forward<TArgs>(AArgs)...);
  }
};
