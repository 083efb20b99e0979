// The UKNC picture file: a run-length encoded PCX of three 1-bit planes with
// the UKNC's size and colour-map conventions in its 128-byte header.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

constexpr int UkncPcxHeaderSize = 128;
constexpr int UkncMaxWidth = 640;
constexpr int UkncMaxHeight = 288;

// All 128 bytes: zeros, then the fields of a AWidth x AHeight picture.
void InitUkncPcxHeader(uint8_t* AHeader, int AWidth, int AHeight);
// A whole header of a three-plane picture of at most 640 x 288 pixels whose
// bytes per plane line match its width.
bool CheckUkncPcxHeader(const TKvBytes& AHeader);
