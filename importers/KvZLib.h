// One-shot inflate of a zlib stream into a buffer of known size.
#pragma once

#include <cstddef>

// Inflates the zlib stream (header and checksum, 32 KB window) of ASourceSize
// bytes at ASource into the ADestSize bytes at ADest in one call. True
// exactly when the destination was filled; a stream longer than that stops
// there and still counts as success. Damaged or short streams give false,
// never an exception; the inflate state is always released.
bool InflateBuffer(const void* ASource, void* ADest, size_t ASourceSize, size_t ADestSize);
