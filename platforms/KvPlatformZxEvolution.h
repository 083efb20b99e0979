// The SXG picture format of the ZX Evolution, shared by the converter and
// the importer: a 16-byte header, a palette of 15-bit colours and rows of
// 4-bit or 8-bit pixels. All values are little-endian.
//
//   0  7F "SXG"     4  version (2 or 3)   5  background index
//   6  packing (0)  7  format: 1 = 16 colours (4 bits), 2 = 256 (8 bits)
//   8  width        10 height
//   12 palette offset, counted from byte 14
//   14 pixel offset, counted from byte 16
//
// A palette word holds red in bits 14-10, green in 9-5 and blue in 4-0, each
// a level of the 25-level EGA or Pentevo scale (0..24) or of the Video DAC's
// 32 levels; the file does not say which, only a level above 24 shows it.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvPaletteRGB.h"

constexpr int SxgHeaderSize = 16;

// True for a header that a reader can follow within a file of AFileSize
// bytes: magic, version 2 or 3, no packing, format 1 or 2, a non-empty
// picture, both offset words at least 2, at least one palette entry, and
// the pixel rows inside the file. Reads only the 16 header bytes.
bool CheckSxgHeader(const TKvBytes& AHeader, int64_t AFileSize);
// The file offset of the first pixel row.
uint32_t SxgPixelOffset(const TKvBytes& AHeader);
// The palette entries the offsets leave room for, at most 16 (format 1) or
// 256; a palette offset beyond the pixel offset wraps to the cap.
uint32_t SxgPaletteCount(const TKvBytes& AHeader);
// The bytes of a file row: whole 16-bit words from version 3 on, whole
// bytes before.
uint32_t SxgBytesPerLine(const TKvBytes& AHeader);
// The same over a whole header in memory that the program wrote.
inline uint32_t SxgPixelOffset(const uint8_t* AHeader) { return SxgPixelOffset(TKvBytes(AHeader, SxgHeaderSize)); }
inline uint32_t SxgPaletteCount(const uint8_t* AHeader) { return SxgPaletteCount(TKvBytes(AHeader, SxgHeaderSize)); }
inline uint32_t SxgBytesPerLine(const uint8_t* AHeader) { return SxgBytesPerLine(TKvBytes(AHeader, SxgHeaderSize)); }
// Zeroes the header and writes the magic, the version, the format (left 0
// for bits other than 4 and 8), the width and the height.
void InitSxgHeader(uint8_t* AHeader, uint8_t AVersion, int AWidth, int AHeight, int ABits);

// The palette entries a reader may take from a file whose header passed
// CheckSxgHeader: SxgPaletteCount, cut to the entries inside the file, and
// none when the palette would start after the pixels.
int SxgFilePaletteCount(const TKvBytes& AFile);
// Palette word AIndex (its place checked by SxgFilePaletteCount).
uint16_t SxgPaletteWord(const TKvBytes& AFile, int AIndex);
// The sRGB byte a reader shows for a level (0..31) of a palette word under
// the palette kind: ptEvoEGA, ptPentevo or ptVideoDAC; any other kind shows
// the level itself.
uint8_t SxgLevelByte(TKvPaletteType AType, int ALevel);
