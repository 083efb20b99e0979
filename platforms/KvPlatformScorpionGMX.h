// The 128-byte header of the Scorpion GMX 160x200 picture file, which the
// converter writes and the importer recognises.
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

constexpr int GmxHeaderSize = 128;

// Zeroes AHeader's 128 bytes and writes "GMX", 0x0F and 0.
void InitGmxHeader(uint8_t* AHeader);
// "GMX", 0x0F and 0 in the first five bytes; reads nothing else.
bool CheckGmxHeader(const TKvBytes& AHeader);
