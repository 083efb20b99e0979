// Sinclair QL files shared by its converters and importers: the 32 KB
// screens of mode 4 and mode 8, and the GD2 ".pic" pictures of modes 16, 32
// and 33 with their 10-byte header (big-endian words).
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

#include "core/KvPalette.h"

constexpr int QLScreenSize = 32768;
constexpr int QLPicHeaderSize = 10;

// The byte levels of the 3-bit components of mode 16.
extern const uint8_t QLGD2LevelTable[8];

// The size of a ".pic" file; the system error 87 for a mode other than 16,
// 32 and 33. 64-bit, so that no header overflows it.
int64_t QLPicFileSize(int64_t AWidth, int64_t AHeight, int AMode);
void InitQLPicHeader(uint8_t* AHeader, int AWidth, int AHeight, int AMode);
// A whole header with the flag word, non-zero sizes, the row length the mode
// needs and exactly the file size AFileSize that the header gives.
bool CheckQLPicHeader(const TKvBytes& AHeader, int64_t AFileSize);
// The mode-16 colour of an index: green g2 g1 g0, red r2 r1 b0, blue b2 b1 b0
// from bit 7 down (bit 0 shared by red and blue), as 3-bit values.
void QLMode16Components(int AIndex, int& AR, int& AG, int& AB);
// The 256 mode-16 colours in index order.
void BuildQLMode16Palette(TKvPalette256& APalette);
