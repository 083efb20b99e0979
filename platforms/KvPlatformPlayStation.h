// PlayStation TIM pictures: the structure check shared by everything that
// reads them. All values in a TIM file are little-endian.
//
// Layout: magic 0x10 (4 bytes), flags (4 bytes, low 4 bits the kind: 2 =
// 15-bit, 3 = 24-bit, 8 = 4-bit with colour tables, 9 = 8-bit with colour
// tables), then for the indexed kinds the CLUT block, then the image block.
// Each block starts with a 12-byte header: its length including the header
// (4), x and y (2 each, not used), width and height (2 each).
#pragma once

#include <cstdint>

#include "core/KvBytes.h"

constexpr int kTimBlockHeaderSize = 12;

// The bytes that follow the image block, or -1 when AFile is no TIM file
// whose blocks all lie inside it.
int64_t CheckTimHeader(const TKvBytes& AFile);
