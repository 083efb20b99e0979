// The Spectra ".bin" screen file, shared by its converters and importers: the
// 6144-byte Spectrum bitmap, one or two attribute areas whose size and place
// depend on the attribute cell height, and a 3-byte trailer "P", "S", mode.
//
// Mode byte: bits 0-1 the cell height code (8 -> 0, 4 -> 1, 2 -> 2, 1 -> 3),
// 0x04 64 colours, 0x08 two attribute bytes per cell, 0x80 cells 4 pixels
// wide; bits 4-6 are 0. Every routine is a plain function of its arguments.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

constexpr int SpectraTrailerSize = 3;
constexpr uint8_t SpectraMode64Colors = 0x04;
constexpr uint8_t SpectraModeDoubleByte = 0x08;
constexpr uint8_t SpectraModeHalfWidth = 0x80;

// Writes "P", "S" and AMode.
void InitSpectraTrailer(uint8_t (&ATrailer)[SpectraTrailerSize], uint8_t AMode);
// True exactly when the three bytes of ATrailer are "P", "S" and a mode byte
// that a file of AFileSize bytes (trailer included) can carry: the size fixes
// the cell height and the byte count, colours and cell width are free.
bool CheckSpectraTrailer(const TKvBytes& ATrailer, int64_t AFileSize);

// The cell height code of a height of 8, 4, 2 or 1 lines; -1 for any other.
int SpectraHeightCode(int ACellHeight);
// The lines of a height code (0..3).
constexpr int SpectraCellHeight(int AHeightCode) { return 8 >> AHeightCode; }
// The size of the memory image (bitmap and attributes, no trailer) of a
// height code (0..3) with one or two attribute bytes per cell.
int SpectraImageSize(int AHeightCode, bool ADoubleByte);

// The cell rows of a screen: 192 / height, except for the double-byte
// height-1 screen, whose bottom third has cells of two lines (rows 128..159).
int SpectraCellRows(int ACellHeight, bool ADoubleByte);
// The cell row that holds pixel row Y.
int SpectraCellRowOf(int Y, int ACellHeight, bool ADoubleByte);
// The file offset of the first attribute byte of cell row ARow and attribute
// column AColumn (0..31; a half-width pair shares one column). Unchecked.
int SpectraAttrOffset(int ACellHeight, bool ADoubleByte, int ARow, int AColumn);
// How far the second byte of a double-byte cell lies after its first.
int SpectraSecondByteOffset(int ACellHeight, int ARow);

// The attribute areas of a file: up to two runs (offset, length) for the
// first bytes (ASecond false) or the second bytes of the cells.
struct TSpectraArea {
  int Offset;
  int Length;
};
struct TSpectraAreas {
  int Count;
  TSpectraArea Runs[2];
};
TSpectraAreas SpectraAttrAreas(int ACellHeight, bool ADoubleByte, bool ASecond);
