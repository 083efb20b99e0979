#include "platforms/KvPlatformUKNC.h"

#include <cstring>

namespace {
void PutWord(uint8_t* AHeader, int AOffset, int AValue) {
  AHeader[AOffset] = static_cast<uint8_t>(AValue & 0xFF);
  AHeader[AOffset + 1] = static_cast<uint8_t>((AValue >> 8) & 0xFF);
}
}  // namespace

void InitUkncPcxHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  std::memset(AHeader, 0, UkncPcxHeaderSize);
  AHeader[0] = 10;  // manufacturer
  AHeader[1] = 3;   // version
  AHeader[2] = 1;   // run-length encoded
  AHeader[3] = 1;   // bits per pixel in a plane
  PutWord(AHeader, 8, AWidth - 1);
  PutWord(AHeader, 10, AHeight - 1);
  PutWord(AHeader, 12, UkncMaxWidth);
  PutWord(AHeader, 14, UkncMaxHeight);
  // Colour map entry i: the triple read as green, red, blue; bit 0 of i is
  // blue, bit 1 red, bit 2 green.
  for (int i = 0; i < 8; ++i) {
    AHeader[16 + 3 * i] = (i & 4) ? 0xFF : 0;
    AHeader[16 + 3 * i + 1] = (i & 2) ? 0xFF : 0;
    AHeader[16 + 3 * i + 2] = (i & 1) ? 0xFF : 0;
  }
  AHeader[64] = 70;
  AHeader[65] = 3;  // planes
  PutWord(AHeader, 66, (AWidth + 7) / 8);
  PutWord(AHeader, 68, 2);
  PutWord(AHeader, 70, 0x3210);
  PutWord(AHeader, 72, 0x7654);
}

bool CheckUkncPcxHeader(const TKvBytes& AHeader) {
  if (!AHeader.Has(0, UkncPcxHeaderSize)) return false;
  if (AHeader.U8(0) != 10 || AHeader.U8(1) != 3 || AHeader.U8(2) != 1 || AHeader.U8(3) != 1) return false;
  const int x0 = AHeader.Le16(4), y0 = AHeader.Le16(6);
  const int x1 = AHeader.Le16(8), y1 = AHeader.Le16(10);
  if (x0 >= UkncMaxWidth || y0 >= UkncMaxHeight) return false;
  if (x1 >= UkncMaxWidth || x1 < x0 || y1 >= UkncMaxHeight || y1 < y0) return false;
  if (AHeader.Le16(12) != UkncMaxWidth || AHeader.Le16(14) != UkncMaxHeight) return false;
  if (AHeader.U8(64) != 70 || AHeader.U8(65) != 3) return false;
  if (AHeader.Le16(66) != (x1 - x0 + 8) / 8) return false;
  return AHeader.Le16(68) == 2;
}
