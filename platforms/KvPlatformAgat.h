// Routines of the Agat screens shared by the converters and the importers:
// the machine's character code (names and comments), its palettes, and the
// header and trailer of the ".fil" screen file.
//
// A ".fil" file is a 44-byte header (name, constants, data length), the
// screen data, and a 252-byte trailer (a marker word, the screen mode and
// palette kind bytes, a palette block of 4-bit levels and a comment).
#pragma once

#include <cstdint>
#include <string>

#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

constexpr int AgatFilHeaderSize = 44;
constexpr int AgatFilTrailerSize = 252;
constexpr int AgatFilExtraSize = AgatFilHeaderSize + AgatFilTrailerSize;  // 296
constexpr int AgatFilNameLength = 30;
constexpr int AgatFilCommentLength = 192;
constexpr int AgatFilCommentOffset = 60;
constexpr uint16_t AgatFilTrailerMark = 0xD2D6;
// The palette block has room for 32 entries; the converters write 16.
constexpr int AgatFilPaletteEntries = 16;

// Screen mode bytes of the trailer. A two-frame file's byte is its frame's
// byte plus AgatGigaModeOffset.
enum : uint8_t {
  AgatMode256x256x1 = 16,
  AgatMode64x64x4 = 64,
  AgatMode128x128x4 = 80,
  AgatMode256x256x2 = 96,
  AgatMode512x256x1 = 112,
  AgatMode128x256x4 = 128,
};
constexpr uint8_t AgatGigaModeOffset = 13;

// Palette kind bytes of the trailer.
enum : uint8_t {
  AgatKindColor = 0,
  AgatKindWRGB = 16,
  AgatKindGray = 128,
  AgatKindGrayWRGB = 144,
  AgatKindHAM = 224,
  AgatKind4096 = 240,
};

// The 16 colours of the machine (index bits 1 red, 2 green, 4 blue,
// 8 bright) and the 16 gray levels of its monochrome output.
extern const TKvStdRGBColor AgatColors[16];
extern const uint8_t AgatGrayLevels[16];

// One character in the machine's code ("_", 223, for characters it lacks)
// and back ("_" for codes without a character).
uint8_t EncodeAgatChar(char32_t AChar);
char32_t DecodeAgatChar(uint8_t ACode);
// The code points of UTF-8 text (a malformed byte counts as one "?") and
// UTF-8 of code points.
std::u32string AgatUtf8ToChars(const std::string& AText);
std::string AgatCharsToUtf8(const std::u32string& AChars);

// The palette kinds that have a table of the machine; any other kind fails
// with the OS error 87.
bool IsAgatPaletteType(TKvPaletteType AType);
void BuildAgatPalette(TKvPalette256& APalette, TKvPaletteType AType);
// The grays of that palette, darkest first (at least its darkest and its
// brightest entry).
void BuildAgatGrayPalette(TKvPalette256& APalette, TKvPaletteType AType);
// Its darkest entry, then its brightest.
void BuildAgatBlackWhitePalette(TKvPalette256& APalette, TKvPaletteType AType);

void InitAgatFilHeader(uint8_t* AHeader, uint16_t ALength);
void InitAgatFilTrailer(uint8_t* ATrailer, uint8_t AMode, uint8_t AKind, const std::string& AComment);
void WriteAgatFilComment(uint8_t* ATrailer, const std::string& AComment);
// The first 16 entries of APalette as 4-bit levels; later entries have no
// room in the block and are left out.
void WriteAgatFilPalette(uint8_t* ATrailer, const TKvPalette256& APalette);
// Every entry of APalette that lies off the 4-bit grid moved to the grid
// colour that WriteAgatFilPalette would store for it; entries on the grid
// are left as they are.
void SnapToAgatFilLevels(TKvPalette256& APalette);
// Entry AIndex (0..31) of a trailer's palette block as sRGB (level * 17).
TKvStdRGBColor ReadAgatFilPaletteEntry(const TKvBytes& ATrailer, int AIndex);
// The header's name or the trailer's comment as UTF-8 (comment: the fill
// and blanks at the end removed).
std::string ReadAgatFilComment(const TKvBytes& ATrailer);
// The same over a whole trailer in memory that the program wrote.
inline TKvStdRGBColor ReadAgatFilPaletteEntry(const uint8_t* ATrailer, int AIndex) {
  return ReadAgatFilPaletteEntry(TKvBytes(ATrailer, AgatFilTrailerSize), AIndex);
}
inline std::string ReadAgatFilComment(const uint8_t* ATrailer) {
  return ReadAgatFilComment(TKvBytes(ATrailer, AgatFilTrailerSize));
}

// Whether the trailer allows (AMode, AKind) for a data length ALength.
bool AgatFilModeAllowed(uint32_t ALength, uint8_t AMode, uint8_t AKind);
