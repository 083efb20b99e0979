#include "bitmap/B32_Backends.h"

#include <cstdlib>
#include <cstdint>

#include "bitmap/B32_LowLevel.h"

const TCustomBackendClass& TMemoryBackend::Class() {
  static const TBackendClassOf<TMemoryBackend> C("TMemoryBackend");
  return C;
}

void TMemoryBackend::InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool ClearBuffer) {
  const uint64_t Count = static_cast<uint64_t>(NewWidth) * static_cast<uint64_t>(NewHeight);
  // Pixel counts are 32-bit throughout the library.
  if (Count > 0x7FFFFFFFu) throw EOutOfMemory("Out of memory");
  // 16-byte alignment keeps the vector fills and blends on their fast path.
  void* P = std::aligned_alloc(16, static_cast<size_t>((Count * 4 + 15) & ~uint64_t{15}));
  if (!P) throw EOutOfMemory("Out of memory");
  FBits = static_cast<TColor32*>(P);
  if (ClearBuffer) FillLongword(FBits, static_cast<int32_t>(Count), 0xFF000000u);
}

void TMemoryBackend::FinalizeSurface() {
  if (FBits) {
    std::free(FBits);
    FBits = nullptr;
  }
}
