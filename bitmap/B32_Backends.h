// Pixel-memory backends that live on the heap.
#pragma once

#include "bitmap/B32.h"

// Pixel memory in one heap block; fresh memory is cleared to opaque black
// when the bitmap asks for a cleared buffer.
class TMemoryBackend : public TCustomBackend {
public:
  // Frees the surface here, where it is still this class's to free.
  ~TMemoryBackend() override { Clear(); }
  static const TCustomBackendClass& Class();
  const TCustomBackendClass& ClassType() const override { return Class(); }

protected:
  void InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool ClearBuffer) override;
  void FinalizeSurface() override;
};
