// The Elektronika KR-04 ".krs" file: a 12-byte header, then one or two
// bit-packed frames.
//
// Header: "KR04"; a flags byte (bit 0: 2 bits per pixel, else 1; bit 1: the
// header carries a palette; bit 2: two frames; bits 3-4: the border colour
// index); three palette bytes of blue, green and red levels (entry i in bits
// 2i+1..2i, level 0..3 = 00, 55, AA, FF); the width and height words
// (little-endian). Each frame is H rows of S bytes, S = (W + 7) / 8 at
// 1 bit, (W + 3) / 4 at 2 bits, rows top-down; frame B follows frame A.
//
// Pixels: at 1 bit, pixel x is bit x % 8 of byte x / 8 (leftmost pixel in
// bit 0); at 2 bits, pixel x lies in byte x / 4, its value's bit 0 at bit
// x % 4 and its bit 1 at bit x % 4 + 4.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

#include "core/KvPalette.h"

constexpr int KR04HeaderSize = 12;
constexpr uint8_t KR04Flag2Bits = 1;
constexpr uint8_t KR04FlagPalette = 2;
constexpr uint8_t KR04FlagTwoFrames = 4;

// Bytes per frame row for the flags.
constexpr int64_t KR04RowSize(uint8_t AFlags, int64_t AWidth) {
  return (AFlags & KR04Flag2Bits) ? (AWidth + 3) / 4 : (AWidth + 7) / 8;
}
// The whole file for the flags and size.
constexpr int64_t KR04FileSize(uint8_t AFlags, int64_t AWidth, int64_t AHeight) {
  return KR04HeaderSize + KR04RowSize(AFlags, AWidth) * AHeight * ((AFlags & KR04FlagTwoFrames) ? 2 : 1);
}

// Zero-fills the 12 bytes, then the magic, the flags, the border index
// (SetKR04HeaderMode) and the size words.
void InitKR04Header(uint8_t* AHeader, uint8_t AFlags, uint8_t ABorder, uint16_t AWidth, uint16_t AHeight);
// Replaces bits 3-4 of the flags byte with the low 2 bits of AValue.
void SetKR04HeaderMode(uint8_t* AHeader, uint8_t AValue);
// The magic "KR04", a width and a height above 0, and the file exactly the
// size the flags and the size give. The palette bits play no part.
bool CheckKR04Header(const TKvBytes& AFile);

// Clears APalette, then black, blue, green and red (the colours of the
// four-colour screen without a palette).
void BuildKR04BRGBPalette(TKvPalette256& APalette);
