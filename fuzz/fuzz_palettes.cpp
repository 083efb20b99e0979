// The palette file readers, routed by content as the program loads them.
#include <cstdint>
#include <sstream>
#include <string>

#include "core/KvPalette.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  std::istringstream stream(std::string(reinterpret_cast<const char*>(AData), ASize));
  TKvPalette256 palette;
  KvFuzzGuard([&] { palette.LoadFromStream(stream); });
  return 0;
}
