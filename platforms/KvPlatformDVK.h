// The ".pic" file of the DVK KCGD colour graphics controller: size words,
// 4-bit pixels in bottom-up rows of little-endian words and a 16-byte palette
// block of 6-bit colour codes (blue, green, red levels of 2 bits each).
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

constexpr int DvkMaxWidth = 400;
constexpr int DvkMaxHeight = 240;
constexpr int DvkPaletteBlockSize = 16;

// Bytes per pixel row of a picture AWidth pixels wide: one word per 4 pixels.
constexpr int64_t DvkRowSize(int64_t AWidth) { return (AWidth + 3) / 4 * 2; }
// The whole file: 4 header bytes, the rows and the palette block.
constexpr int64_t DvkPicSize(int64_t AWidth, int64_t AHeight) { return DvkRowSize(AWidth) * AHeight + 20; }

// The width and height words of the file's header are 1..400 and 1..240
// and the file is exactly the size they give.
bool CheckDvkPicHeader(const TKvBytes& AFile);
// The 16-byte palette block is whole and every byte of it a colour code (at
// most 63).
bool CheckDvkPaletteBytes(const TKvBytes& APalette);
// The 64 colours in colour-code order (code = B * 16 + G * 4 + R): "Linear"
// levels for ptColoredLinear, the 00, 80, C0, FF levels for anything else.
void BuildDvkPalette(TKvPaletteType APaletteType, TKvPalette256& APalette);
