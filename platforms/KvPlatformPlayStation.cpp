#include "platforms/KvPlatformPlayStation.h"

int64_t CheckTimHeader(const TKvBytes& AFile) {
  if (AFile.Size() < 8 || AFile.Le32(0) != 0x10) return -1;
  int64_t n = AFile.Size() - 8;
  TKvBytes p = AFile.Sub(8);
  int64_t LEntrySize = 0;  // bytes of one colour table
  switch (AFile.Le32(4) & 15) {
    case 2:
    case 3:
      break;
    case 8:
      LEntrySize = 16 * 2;
      break;
    case 9:
      LEntrySize = 256 * 2;
      break;
    default:
      return -1;
  }
  if (LEntrySize > 0) {
    if (n <= kTimBlockHeaderSize) return -1;
    const int64_t LLength = p.Le32(0);
    const int64_t w = p.Le16(8), h = p.Le16(10);
    if (w * 2 != LEntrySize || h == 0 || LLength != h * LEntrySize + kTimBlockHeaderSize || n <= LLength)
      return -1;
    n -= LLength;
    p = p.Sub(LLength);
  }
  if (n <= kTimBlockHeaderSize) return -1;
  // In 64 bits: 16-bit width and height can reach past 32 bits.
  const int64_t LLength = p.Le32(0);
  const int64_t w = p.Le16(8), h = p.Le16(10);
  if (w == 0 || h == 0 || LLength != w * h * 2 + kTimBlockHeaderSize || n < LLength) return -1;
  return n - LLength;
}
