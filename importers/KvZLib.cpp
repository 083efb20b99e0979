#include "importers/KvZLib.h"

#include <zlib.h>

#include <climits>

bool InflateBuffer(const void* ASource, void* ADest, size_t ASourceSize, size_t ADestSize) {
  // zlib counts in 32 bits; nothing this program reads comes near that.
  if (!ASource || !ADest || ASourceSize == 0 || ADestSize == 0 || ASourceSize > UINT_MAX || ADestSize > UINT_MAX)
    return false;
  z_stream LStream{};
  LStream.next_in = static_cast<Bytef*>(const_cast<void*>(ASource));
  LStream.avail_in = static_cast<uInt>(ASourceSize);
  LStream.next_out = static_cast<Bytef*>(ADest);
  LStream.avail_out = static_cast<uInt>(ADestSize);
  if (inflateInit2(&LStream, 15) != Z_OK) return false;
  inflate(&LStream, Z_NO_FLUSH);
  const bool LFull = LStream.avail_out == 0;
  inflateEnd(&LStream);
  return LFull;
}
