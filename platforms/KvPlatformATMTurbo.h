// The ATM Turbo multicolour ".grf" picture, shared by the converter and the
// importer. A 132-byte header:
//
//   0    16 palette entries of three digits "0".."3": the green, red and
//        blue levels of the colour
//   48   "GRF"     51, 52  the border colour's palette index
//   130  bytes per pixel row B     131  pixel rows H
//
// then B x H pixel bytes column by column (the byte of 8-pixel column c and
// row y at 132 + c*H + y, bit 7 leftmost, a set bit shows the ink), then
// the B x H cell attributes in the same order as (count 1..255, value) runs.
// An attribute has the Profi's layout: ink bits 0-2, paper bits 3-5, bit 3
// of the ink in bit 6 and of the paper in bit 7.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

class TKvPalette;
class TKvPalette256;
struct TKvStdRGBColor;

constexpr int ATMGrfHeaderSize = 132;

// The largest file: header, pixels and one run per attribute.
int64_t ATMGrfFileSize(int AWidth, int AHeight);
// Zeroes the header and writes the initial digits (all "0", entry 1 "333"),
// "GRF", B and H.
void InitATMGrfHeader(uint8_t* AHeader, int AWidth, int AHeight);
// InitATMGrfHeader, then the digits of each colour of APalette, located
// exactly in the 64-colour AHardwarePalette ("Internal error" when absent),
// and the index of the entry nearest ABorderColor. More than 16 colours
// raise the OS error 13.
void WriteATMGrfPalette(uint8_t* AHeader, int AWidth, int AHeight, const TKvPalette256& AHardwarePalette,
                        const TKvPalette256& APalette, const TKvStdRGBColor& ABorderColor);
// Digits "0".."3" for the palette, 1 <= B <= 128, H > 0, and room in a
// file of AFileSize bytes for the pixels and at least one run. Reads only
// the header.
bool CheckATMGrfHeader(const TKvBytes& AHeader, int64_t AFileSize);
// Run-length encodes the S attributes held at AData + 2S into pairs written
// from AData + S on (the output never overtakes the input); answers S plus
// the bytes of the pairs.
int64_t EncodeATMGrfAttributes(uint8_t* AData, int64_t ASize);
// Whether the runs in ARuns yield ACount attributes, each run a whole pair
// of a count above 0; AExact tells whether the last run needed ends at the
// last attribute.
bool CheckATMGrfRuns(const TKvBytes& ARuns, int64_t ACount, bool& AExact);
