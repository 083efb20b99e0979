// ZX Spectrum tables and formats shared by the converters and the importers:
// the colour models and the 16-colour palette, the mixture palettes of
// two-frame (gigascreen) and flash pictures, the ULAplus palette, the MGH
// header of two-frame files, the screen memory layout and the recognisers of
// three formats that are only ever read.
//
// ZX colour indexes are 0..15: bit 0 blue, bit 1 red, bit 2 green, bit 3
// bright. Every routine is a plain function of its arguments.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// The colour models (TKvZxColorModel, ZxColorModel) are the colour core's:
// the converters' palette builders and these routines share one table.

// Blue levels (3-bit) of the 2-bit ULAplus blue field: row 1 for ptV11 and
// ptV11Gray, row 0 otherwise.
extern const uint8_t UlaPlusBlueLevels[2][4];

// The 84-byte display routine every .hlr file begins with.
extern const uint8_t HlrViewerSignature[84];

// The 16 ZX colours of the model of APaletteType.
void BuildZxSpectrumPalette(TKvPalette256& APalette, TKvPaletteType APaletteType);
// The level of one channel of two alternating colours (model index as
// TKvPaletteType); raises the OS error 87 for channel bits outside 0/1.
int GetZxMixLevel(int AModel, int ABitA, int ABitB, bool ABrightA, bool ABrightB);
// The "Standard" mixture of two ZX colours under the model's mixing levels.
TKvStdRGBColor MixZxColorsStandard(int AModel, int AColorA, int AColorB);
// 256 entries: entry i*16 + j is colour j of one frame shown with colour i of
// the other. AMixMode 0 "Standard" (model levels), otherwise "Linear"
// (linear-RGB mean). Entries with j < i carry the skip flag, and with
// AFlagBrightMix also those mixing a normal i with a bright j.
void BuildZxGigascreenPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, uint8_t AMixMode,
                              bool AFlagBrightMix);
// 256 entries: entry i*16 + j is the linear-RGB mean of colours i and j;
// j < i flagged. AMixMode does not change the result.
void BuildZxFlashPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, uint8_t AMixMode);

// A 3-bit level widened to 8 bits.
uint8_t Expand3To8(int AValue);
// One ULAplus palette byte (GRB332).
void DecodeUlaPlusColor(TKvStdRGBColor& AColor, uint8_t AValue, TKvPaletteType APaletteType);
// The 256 ULAplus colours in GRB332 index order.
void BuildUlaPlusPalette(TKvPalette256& APalette, TKvPaletteType APaletteType);

// The 256-byte header of MGH files.
constexpr int MghHeaderSize = 256;
void InitMghHeader(uint8_t (&AHeader)[MghHeaderSize], uint8_t ACellHeight, uint8_t ABorder);
bool CheckMghHeader(const TKvBytes& AHeader, uint8_t ACellHeight);

// Recognisers: the display routine at the start of a ".hlr" file; the
// header of a ".ch$" or ".bsp" file of AFileSize bytes.
bool IsHlrFile(const TKvBytes& AFile);
bool CheckChrHeader(const TKvBytes& AHeader, int64_t AFileSize);
bool CheckBspHeader(const TKvBytes& AHeader, int64_t AFileSize);

// The screen memory layout: 6144 bitmap bytes of 192 rows of 32 bytes, rows
// interleaved by thirds, then 768 attribute bytes of 24 rows of 32 cells.
constexpr int ZxBitmapSize = 6144;
constexpr int ZxAttrSize = 768;
constexpr int ZxScreenSize = 6912;
// The offset of pixel row y (0..191) in the bitmap.
constexpr int ZxRowOffset(int y) { return ((y & 7) << 8) | ((y & 0x38) << 2) | ((y & 0xC0) << 5); }
// The bit of pixel column X in its bitmap byte (the leftmost pixel is bit 7),
// and setting or clearing it.
constexpr int ZxPixelBit(uint8_t AByte, int X) { return (AByte >> (7 - (X & 7))) & 1; }
inline void PutZxPixelBit(uint8_t& AByte, int X, bool ASet) {
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  AByte = ASet ? static_cast<uint8_t>(AByte | mask) : static_cast<uint8_t>(AByte & ~mask);
}
// The bit of pixel (X, Y) of a bitmap laid out as the screen's, and setting
// or clearing it.
inline int ZxBitmapPixel(const uint8_t* ABitmap, int X, int Y) {
  return ZxPixelBit(ABitmap[ZxRowOffset(Y) + (X >> 3)], X);
}
inline void PutZxBitmapPixel(uint8_t* ABitmap, int X, int Y, bool ASet) {
  PutZxPixelBit(ABitmap[ZxRowOffset(Y) + (X >> 3)], X, ASet);
}
// An attribute byte: ink and paper 0..15 (bright when either is above 7).
constexpr uint8_t ZxAttribute(int APaper, int AInk) {
  return static_cast<uint8_t>(((APaper << 3) & 0x38) | (AInk & 7) | ((APaper > 7 || AInk > 7) ? 0x40 : 0));
}
