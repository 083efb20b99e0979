// The bitmap library's own BMP reader.
#include <cstdint>

#include "bitmap/B32.h"
#include "fuzz_common.h"
#include "rtl/KvClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  TMemoryStream stream;
  stream.Write(AData, static_cast<int64_t>(ASize));
  stream.Seek(0, TSeekOrigin::soBeginning);
  TBitmap32 bitmap;
  KvFuzzGuard([&] { bitmap.LoadFromStream(stream); });
  return 0;
}
