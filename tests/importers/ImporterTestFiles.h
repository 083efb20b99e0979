// Fields and program files for file images that importer tests build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Little-endian fields appended to a file image.
inline void Put16(std::vector<uint8_t>& AData, uint32_t AValue) {
  AData.push_back(static_cast<uint8_t>(AValue));
  AData.push_back(static_cast<uint8_t>(AValue >> 8));
}
inline void Put32(std::vector<uint8_t>& AData, uint32_t AValue) {
  Put16(AData, AValue & 0xFFFF);
  Put16(AData, AValue >> 16);
}

// A C64 program file of ASize bytes loading at ALoad, the rest AFill.
inline std::vector<uint8_t> C64File(size_t ASize, uint16_t ALoad, uint8_t AFill = 0) {
  std::vector<uint8_t> d(ASize < 2 ? 2 : ASize, AFill);
  d[0] = static_cast<uint8_t>(ALoad);
  d[1] = static_cast<uint8_t>(ALoad >> 8);
  d.resize(ASize);
  return d;
}

// A packed C64 file at ALoad whose runs unpack to ALength bytes of AValue,
// ending with a terminator when ATerminate: FE value count runs, or
// AEscape count value runs for another escape byte.
inline std::vector<uint8_t> C64PackedFile(uint16_t ALoad, int ALength, uint8_t AValue = 0x11, bool ATerminate = true,
                                          uint8_t AEscape = 0xFE) {
  std::vector<uint8_t> d = C64File(2, ALoad);
  for (; ALength > 0; ALength -= 255) {
    const uint8_t n = static_cast<uint8_t>(ALength < 255 ? ALength : 255);
    if (AEscape == 0xFE)
      d.insert(d.end(), {0xFE, AValue, n});
    else
      d.insert(d.end(), {AEscape, n, AValue});
  }
  if (ATerminate) d.insert(d.end(), {AEscape, 0x00, 0x00});
  return d;
}
