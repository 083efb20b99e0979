// PlayStation TIM pictures: the structure check shared by everything that
// reads them. All values in a TIM file are little-endian.
//
// Layout: magic 0x10 (4 bytes), flags (4 bytes, low 4 bits the kind: 2 =
// 15-bit, 3 = 24-bit, 8 = 4-bit with colour tables, 9 = 8-bit with colour
// tables), then for the indexed kinds the CLUT block, then the image block.
// Each block starts with a 12-byte header: its length including the header
// (4), x and y (2 each, not used), width and height (2 each).
#pragma once

#include <cstdint>

constexpr int kTimBlockHeaderSize = 12;

// Little-endian fields.
inline uint32_t TimWord(const uint8_t* P) { return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8); }
inline uint32_t TimLongWord(const uint8_t* P) { return TimWord(P) | (TimWord(P + 2) << 16); }

// The bytes that follow the image block, or -1 when AData is no TIM file
// whose blocks all lie inside ASize bytes.
int64_t CheckTimHeader(const uint8_t* AData, int64_t ASize);
