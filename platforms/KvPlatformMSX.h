// MSX tables and formats shared by the converters and the importers: the
// 7-byte BSAVE header and the checks of the related picture headers, the MSX
// palettes (the 16 default colours, their grays, the 256 fixed colours of
// SCREEN 8 and of the V9990 8-bit mode), and the YJK, YJK+YAE and YUV colour
// formulas with the decoders of one 4-pixel group of such screens.
//
// Every routine is a plain function of its arguments.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvColor.h"
#include "core/KvPalette.h"

class TKvBitmap24;

// The 5-bit values of the eight 3-bit levels.
extern const uint8_t Level3To5[8];
// The 3-bit levels of the four 2-bit blue levels of SCREEN 8.
extern const uint8_t Level2To3[4];
// The 5-bit values of the four 2-bit blue levels of the V9990 8-bit mode.
extern const uint8_t V9990BlueLevels[4];
// The 16 default colours by colour code. Code 1 is (1, 1, 1), so that the
// transparent code 0 and black stay two distinct colours in every palette.
extern const TKvStdRGBColor MSXColors[16];

// ---------------------------------------------------------------------------
// BSAVE and related headers. All words are 16-bit little-endian.

constexpr int BsaveHeaderSize = 7;

// 0xFE, start word AStart, end word AStart + ALength - 1 (16 bits), execution
// word 0.
void InitBsaveHeader(uint8_t* AHeader, int ALength, int AStart);
// A whole 7-byte header: byte 0 is 0xFE, the start word is AStart, the
// execution word is AExec and, with D = end - AStart, the file's size
// AFileSize is D + 8 or D + 7.
bool CheckBsaveHeader(const TKvBytes& AHeader, int64_t AFileSize, int AStart, int AExec);
// The same with the type byte 0xFD.
bool CheckSrHeader(const TKvBytes& AHeader, int64_t AFileSize, int AStart, int AExec);
bool IsBsaveFile(const TKvBytes& AFile);

// Width and height words both 1..8000 (4 bytes).
bool CheckGlHeader(const TKvBytes& AHeader);
// As CheckGlHeader, and C + 4 <= AFileSize <= C + 8 with C = (W * H + 3) div 4.
bool CheckStpHeader(const TKvBytes& AHeader, int64_t AFileSize);
// Byte 0 in 1..128, byte 1 in 1..212, byte 2 in 1..byte 1 (3 bytes).
bool CheckCmpHeader(const TKvBytes& AHeader);
// The first 24 bytes name one of the two publisher screen kinds.
bool IsPublisherScreen(const TKvBytes& AFile);

// ---------------------------------------------------------------------------
// Palettes. Each builder clears APalette first.

void BuildMSXPalette(TKvPalette256& APalette);
// Codes 1, 14 and 15: palette index 0 is code 1, 1 is code 14, 2 is code 15.
void BuildMSXGrayPalette(TKvPalette256& APalette);
// Index g * 32 + r * 4 + b (bits GGGRRRBB).
void BuildMSXScreen8Palette(TKvPalette256& APalette, bool AV9958Levels);
TKvStdRGBColor MSXScreen8Color(bool AV9958Levels, int AR, int AG, int AB3);
// The V9990 8-bit direct colours, same index layout.
void BuildV9990Palette(TKvPalette256& APalette);

// ---------------------------------------------------------------------------
// YJK formulas. Y is 0..31, J and K are -32..31; results are $00RRGGBB with
// the 5-bit channels through Std5ToByte.

int ClampLevel5(int AValue);
// The 5-bit channels of the formulas, for callers that work on the 15-bit grid.
void YJKToLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB);
void YUVToLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB);
uint32_t YJKToRGB(int AY, int AK, int AJ);
uint32_t YUVToRGB(int AY, int AK, int AJ);
// Bit 0 of AYA set: palette entry (AYA shr 1) and 15; else YJKToRGB(AYA, ...).
uint32_t YAEToRGB(const TKvPalette& APalette, int AYA, int AK, int AJ);

// The low 3 bits of the four bytes of a group: K bits 0-2, K bits 3-5,
// J bits 0-2, J bits 3-5, six-bit two's complement.
uint8_t YJKGroupByte(int AY, int AIndex, int AK, int AJ);

// Group decoders: min(4, ACount) bytes from AData (advanced; missing bytes
// count as 0) become the pixels 4 * AGroupX + i of row ARow (0 = top); ACount
// is lowered by that number. Nothing happens when ACount <= 0. The caller
// keeps the columns inside the bitmap.
void DecodeYJKYAEGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount,
                       const TKvPalette& APalette);
void DecodeYJKGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount);
void DecodeYUVGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount);

// ---------------------------------------------------------------------------
// G9B files of the V9990 modes: "G9B", header size 11 (counted from offset
// 5), bit depth, colour type, palette entries, width, height, compression
// and a 24-bit data size; then 3 bytes (5-bit R, G, B) per palette entry and
// the data, raw or in LZ77 blocks of 16000 raw bytes each.

constexpr int G9bHeaderSize = 16;
constexpr int G9bBlockSize = 16000;

// Zeroes G9bHeaderSize bytes and writes the header of a picture; returns the
// raw data size. "Internal error" for a depth and colour type the format
// does not have, a width the depth cannot pack (a multiple of 4 for 2 bits,
// even for 4 bits) and a data size above 0xFFFFFF.
int InitG9bHeader(uint8_t* AHeader, uint8_t ABitDepth, uint8_t AColorType, int AWidth, int AHeight);
// Header size + 5.
int G9bPaletteOffset(const TKvBytes& AHeader);
// Header size + 3 * palette entries + 5.
int G9bDataOffset(const TKvBytes& AHeader);
int GetG9bDataSize(const TKvBytes& AHeader);
// The same over a whole header in memory that the program wrote.
inline int G9bPaletteOffset(const uint8_t* AHeader) { return G9bPaletteOffset(TKvBytes(AHeader, G9bHeaderSize)); }
inline int G9bDataOffset(const uint8_t* AHeader) { return G9bDataOffset(TKvBytes(AHeader, G9bHeaderSize)); }
inline int GetG9bDataSize(const uint8_t* AHeader) { return GetG9bDataSize(TKvBytes(AHeader, G9bHeaderSize)); }
// "Internal error" above 0xFFFFFF.
void SetG9bDataSize(uint8_t* AHeader, int ASize);
// The magic, a header size of 11 or more within the file, width and height
// 1..8000, a depth and colour type of the format with no more palette
// entries than it has, a data offset inside the file and palette bytes
// below 32.
bool CheckG9bHeader(const TKvBytes& AFile);
// ALength raw bytes as a block count and that many blocks, each a 16-bit
// size and one LZ77 block; returns the bytes written. "Internal error" for
// 256 blocks or more, or when the output would pass ARoom bytes.
int CompressG9bData(const uint8_t* ASource, int ALength, uint8_t* ADest, int ARoom);
// One block (greedy longest matches over a 2048-byte window, the smaller
// offset on ties); returns the bytes written.
int CompressG9bBlock(const uint8_t* ASource, int ALength, uint8_t* ADest, int ARoom);
