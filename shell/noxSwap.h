// Byte order of 16-bit words stored big-endian in native files.
#pragma once

#include <cstdint>

// Exchanges the two bytes of a 16-bit word. Applying it twice gives the value
// back, so one routine serves both reading and writing.
constexpr uint16_t Swap16(uint16_t value) {
  return static_cast<uint16_t>((value >> 8) | (value << 8));
}
