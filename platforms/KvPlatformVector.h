// Vector-06C colours and file checks, shared by its converters and importers.
// A Vector colour byte holds blue in bits 7-6 (0..3), green in bits 5-3 and
// red in bits 2-0 (0..7 each); it is also the index of the colour in every
// 256-colour Vector palette.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

constexpr int VectorVideoMemorySize = 32768;  // four bit planes of 8192 bytes
constexpr int VectorPlaneSize = 8192;
constexpr int VectorSprHeaderSize = 18;
constexpr int VectorRmbHeaderSize = 19;
constexpr int VectorHeaderColors = 16;

// Clears APalette and adds the 256 colours of the palette kind, in colour-byte
// order: ptColoredLinear, ptColoredEMU or ptColoredVirtualVector; any other
// kind raises the OS error 87.
void BuildVectorPalette(TKvPaletteType APaletteType, TKvPalette256& APalette);

// The header (64 bytes) of a compressed ".scr" picture of AFileSize bytes:
// the two words below their limits, the "T.288-31-25" mark and three patch
// lists of at most 7 addresses below 32768.
bool CheckVectorScrHeader(const TKvBytes& AHeader, int64_t AFileSize);
// The header (19 bytes) of an ".rmb" file of AFileSize bytes: 1..32 bytes
// per plane row, byte 18 = 15, and exactly the 256-byte blocks the header
// and planes need.
bool CheckVectorRmbHeader(const TKvBytes& AHeader, int64_t AFileSize);
// The offset of pixel (X, Y) in each plane of the video memory, and its mask.
inline int VectorVideoOffset(int X, int Y) { return (X >> 3) * 256 + 255 - Y; }
inline uint8_t VectorVideoMask(int X) { return static_cast<uint8_t>(0x80 >> (X & 7)); }
