// The Profi ".grf" picture, shared by the converter and the importer: a
// header of 128-byte blocks (little-endian words) followed by the rows.
//
//   0  width        2  height       4  kind: 8 = 1 bit per pixel, a set bit
//   light; 4 = (pixel byte, attribute byte) per 8-pixel cell
//   5  0            6  bytes per row L       8  header size in 128-byte blocks
//   9  palette type: 0 = the 16 ZX colours, 19 = 16 GGGRRRBB bytes at 10
//
// A cell attribute holds ink bits 0-2, paper bits 3-5, bit 3 of the ink in
// bit 6 and bit 3 of the paper in bit 7; a set pixel bit shows the ink.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

class TKvPalette256;

constexpr int ProfiHeaderBlockSize = 128;
constexpr uint8_t ProfiKindMono = 8;
constexpr uint8_t ProfiKindColor = 4;
constexpr uint8_t ProfiPaletteTypeOwn = 19;

int64_t ProfiMonoGrfFileSize(int AWidth, int AHeight);
int64_t ProfiColorGrfFileSize(int AWidth, int AHeight);
// Zeroes 128 bytes and writes the fields of a kind-8 (mono) or kind-4
// (colour) picture without palette.
void InitProfiGrfHeader(uint8_t* AHeader, int AWidth, int AHeight);
void InitProfiColorGrfHeader(uint8_t* AHeader, int AWidth, int AHeight);
// The colour header with palette type 19 and one byte per colour of
// APalette, each located exactly in the 256-colour AHardwarePalette. More
// than 16 colours raise the OS error 13, a colour not in the hardware
// palette "Internal error".
void InitProfiColorPaletteGrfHeader(uint8_t* AHeader, int AWidth, int AHeight, const TKvPalette256& AHardwarePalette,
                                    const TKvPalette256& APalette);
// The header block count times 128 (128 for a count of 0).
int ProfiGrfHeaderSize(const TKvBytes& AHeader);
// True for a header a reader can follow within a file of AFileSize bytes: a
// non-empty picture, byte 5 zero, kind 4 or 8, rows long enough for the
// kind, palette type 0 or 19, and the header and all rows inside the file.
// Reads only the first 10 bytes.
bool CheckProfiGrfHeader(const TKvBytes& AHeader, int64_t AFileSize);
// The GGGRRRBB byte of 256-colour index AIndex (red*32 + green*4 + blue).
uint8_t ProfiPaletteByte(int AIndex);
// The attribute of paper APaper and ink AInk (0..15).
uint8_t ProfiAttribute(int APaper, int AInk);
// The 256 colours red outer, green, blue inner: red and green on eight
// levels, blue on four.
void FillProfi256Palette(TKvPalette256& APalette);
// Paper and ink (0..15) of an attribute.
void DecodeProfiAttribute(uint8_t AAttr, int& APaper, int& AInk);
