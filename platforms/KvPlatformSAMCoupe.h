// SAM Coupé colours and screen files, shared by its converters and importers.
// A colour number (0..127) holds per channel a high and a low bit and one
// bright bit for all three: bit 6 high green, 5 high red, 4 high blue,
// 3 bright, 2 low green, 1 low red, 0 low blue; a channel's byte is
// 73 * (2 * high + low) + 36 * bright.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"
#include "core/KvPalette.h"

constexpr int SAMScreenSize = 24576;        // mode 3 and mode 4 screens
constexpr int SAMBlockSize = 41;            // the palette block after a screen
constexpr int SAMScreenFileSize = 24617;    // ".ss3", ".ss4", half of ".lce"
constexpr int SAMMode3SsxSize = 24580;
constexpr int SAMMode4SsxSize = 24592;
constexpr int SAMInterlacedSize = 49234;
constexpr int SAMMaxLineChanges = 127;

// The table colour of colour number ANumber (0..127).
TKvStdRGBColor SAMCoupeColor(int ANumber);
// Clears APalette and adds the 128 colours, entry n = colour number n.
void BuildSAMCoupePalette(TKvPalette256& APalette);
// The first colour number with AColor's bytes; raises error 87 when none.
int SAMCoupeColorIndex(const TKvStdRGBColor& AColor);
// ACount colour numbers of APalette's entries, 0 beyond its count.
void WriteSAMCoupeColorIndexes(const TKvPalette256& APalette, uint8_t* ADest, int ACount);
// The 41-byte blocks: 16 numbers, 4 bytes, the same 20 again, 255. The mode-3
// form repeats entries 0..3 in the 4 bytes; the mode-4 form has 0, 17, 34, 127.
void WriteSAMCoupeMode3PaletteBlock(const TKvPalette256& APalette, uint8_t* ADest);
void WriteSAMCoupeMode4PaletteBlock(const TKvPalette256& APalette, uint8_t* ADest);
// The 8 grays of the table, darkest first.
void BuildSAMCoupeGrayPalette(TKvPalette256& APalette);
// The table colours nearest the 16 basic colours, duplicates merged.
void BuildSAMCoupeBrightPalette(TKvPalette256& APalette);
// True when the mode-4 marker 0, 17, 34, 127 stands at the start of AData.
bool IsSAMMode4Marker(const TKvBytes& AData);
