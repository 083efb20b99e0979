// What the Corvette converter and importers share: the 16-colour palette
// and the headers of the ".grf" and ".win" files.
//
// The screen has three bit planes of B = (W + 7) / 8 bytes per row; plane p
// row y starts at p * B * H + y * B and pixel x is bit 7 - x % 8 of byte
// x / 8. In memory (and in ".grf" and ".pic") plane 0 holds bit 0 of the
// pixel value, plane 1 bit 2 and plane 2 bit 1; ".win" stores the planes in
// the order bit 0, bit 1, bit 2.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

constexpr int CorvetteWidth = 512;
constexpr int CorvetteHeight = 256;
constexpr int CorvetteHeaderSize = 6;      // "GRF1.0" or "WIN1.0"
constexpr int CorvetteWinHeaderSize = 9;   // magic, W - 1 (word), H - 1 (byte)
constexpr int CorvetteGrfBlockSize = 64;
constexpr int CorvetteGrfBlockCount = 768;  // 49,152 bytes of planes

// Bytes per plane row, and all three planes of a W x H picture.
constexpr int64_t CorvettePlaneRowSize(int64_t AWidth) { return (AWidth + 7) / 8; }
constexpr int64_t CorvettePlanesSize(int64_t AWidth, int64_t AHeight) {
  return 3 * CorvettePlaneRowSize(AWidth) * AHeight;
}
constexpr int64_t CorvettePicSize = CorvettePlanesSize(CorvetteWidth, CorvetteHeight);  // 49,152

// Clears APalette and fills the 16 colours (index bits 1 blue, 2 red,
// 4 green, 8 bright): "Linear" levels 00/BC and 00/FF for ptColoredLinear,
// 00/B4 and 4B/FF for ptColoredEMU. Any other kind raises the OS error 86.
void BuildCorvettePalette(TKvPalette256& APalette, TKvPaletteType AType);

void InitCorvetteGrfHeader(uint8_t* AHeader);
// At least 6 bytes starting "GRF1.0".
bool CheckCorvetteGrfHeader(const TKvBytes& AFile);
// "WIN1.0", AWidth - 1 as a little-endian word, AHeight - 1 as a byte.
void InitCorvetteWinHeader(uint8_t* AHeader, int AWidth, int AHeight);
// At least 9 bytes starting "WIN1.0" with a width word below 512.
bool CheckCorvetteWinHeader(const TKvBytes& AFile);
