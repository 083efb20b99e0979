#include "bitmap/B32_OrdinalMaps.h"

#include <cstdlib>
#include <cstring>

TIntegerMap::~TIntegerMap() { std::free(FBits); }

void TIntegerMap::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
  const uint64_t bytes = uint64_t(NewWidth) * uint64_t(NewHeight) * 4;
  if (bytes == 0) {
    std::free(FBits);
    FBits = nullptr;
  } else {
    if (bytes > SIZE_MAX) throw EOutOfMemory("Out of memory");
    void* p = std::realloc(FBits, size_t(bytes));
    if (!p) throw EOutOfMemory("Out of memory");
    FBits = static_cast<int32_t*>(p);
  }
  TCustomMap::ChangeSize(Width, Height, NewWidth, NewHeight);
}

void TIntegerMap::Assign(const TPersistent* Source) {
  BeginUpdate();
  try {
    if (const auto* src = dynamic_cast<const TIntegerMap*>(Source)) {
      SetSize(src->GetWidth(), src->GetHeight());
      if (FBits && src->FBits) std::memcpy(FBits, src->FBits, size_t(FWidth) * size_t(FHeight) * 4);
    } else {
      TCustomMap::Assign(Source);
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}
