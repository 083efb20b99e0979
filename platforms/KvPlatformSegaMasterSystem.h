// Sega Master System: the 64-colour palette and the "MSBMP" screen file, a
// dump of the video chip's state.
//
// "MSBMP" file: the five letters, one unused byte, the text offset T (byte
// 6, at least 9), the data offset D (little-endian word at 7, at least 10 and
// above T), text lines from T to D, then at D the 16 VDP registers, 64 bytes
// of colour RAM and 16384 bytes of video RAM; nothing after them.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

#include "core/KvPalette.h"

constexpr int kSmsRegisterCount = 16;
constexpr int kSmsVramSize = 16384;
// Registers, colour RAM and video RAM of an "MSBMP" file.
constexpr int kMsbmpDataSize = kSmsRegisterCount + 64 + kSmsVramSize;

// Clears APalette and adds the 64 colours: entry n has the 2-bit levels
// R = n and 3, G = (n shr 2) and 3, B = (n shr 4) and 3, as exact linear
// values of the evenly spaced sRGB levels.
void BuildSmsPalette(TKvPalette256& APalette);

// Whether AFile is a whole "MSBMP" file, its data block ending the file.
bool CheckMsbmpHeader(const TKvBytes& AFile);
