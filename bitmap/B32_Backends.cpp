#include "bitmap/B32_Backends.h"

#include <cstdlib>
#include <cstdint>

#include "bitmap/B32_LowLevel.h"
#include "rtl/KvLargeBlocks.h"

const TCustomBackendClass& TMemoryBackend::Class() {
  static const TBackendClassOf<TMemoryBackend> C("TMemoryBackend");
  return C;
}

void TMemoryBackend::InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool ClearBuffer) {
  const uint64_t Count = static_cast<uint64_t>(NewWidth) * static_cast<uint64_t>(NewHeight);
  // Pixel counts are 32-bit throughout the library.
  if (Count > 0x7FFFFFFFu) throw EOutOfMemory("Out of memory");
  // Aligned blocks keep the vector fills and blends on their fast path.
  void* P = KvAllocLarge(static_cast<size_t>(Count * 4));
  if (!P) throw EOutOfMemory("Out of memory");
  FBits = static_cast<TColor32*>(P);
  if (ClearBuffer) FillLongword(FBits, static_cast<int32_t>(Count), 0xFF000000u);
}

void TMemoryBackend::FinalizeSurface() {
  if (FBits) {
    KvFreeLarge(FBits);
    FBits = nullptr;
  }
}
