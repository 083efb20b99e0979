// The picture decoder as the program opens a file: BMP, PNG, GIF or JPEG,
// routed by content, with every result asked for.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  std::istringstream stream(std::string(reinterpret_cast<const char*>(AData), ASize));
  std::unique_ptr<TBitmap32> bitmap;
  std::unique_ptr<TKvPalette256> palette, used;
  KvFuzzGuard([&] { DecodePicture(stream, bitmap, palette, used, kvdoBitmap | kvdoPalette | kvdoUsedColors); });
  return 0;
}
