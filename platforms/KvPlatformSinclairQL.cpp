#include "platforms/KvPlatformSinclairQL.h"

#include <cstring>

#include "core/KvErrors.h"

const uint8_t QLGD2LevelTable[8] = {0, 36, 73, 109, 146, 182, 219, 255};

int64_t QLPicFileSize(int64_t AWidth, int64_t AHeight, int AMode) {
  switch (AMode) {
    case 16:
      return AWidth * AHeight + QLPicHeaderSize;
    case 32:
    case 33:
      return AWidth * AHeight * 2 + QLPicHeaderSize;
    default:
      RaiseUnsupportedOption();
  }
}

void InitQLPicHeader(uint8_t* AHeader, int AWidth, int AHeight, int AMode) {
  std::memset(AHeader, 0, QLPicHeaderSize);
  AHeader[0] = 0x4A;
  AHeader[1] = 0xFC;
  AHeader[2] = static_cast<uint8_t>(AWidth >> 8);
  AHeader[3] = static_cast<uint8_t>(AWidth);
  AHeader[4] = static_cast<uint8_t>(AHeight >> 8);
  AHeader[5] = static_cast<uint8_t>(AHeight);
  const int LRow = AMode == 16 ? AWidth : AMode == 32 || AMode == 33 ? 2 * AWidth : 0;
  AHeader[6] = static_cast<uint8_t>(LRow >> 8);
  AHeader[7] = static_cast<uint8_t>(LRow);
  AHeader[8] = static_cast<uint8_t>(AMode);
}

bool CheckQLPicHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, QLPicHeaderSize) || AFileSize < QLPicHeaderSize) return false;
  if (AHeader.Be16(0) != 0x4AFC) return false;
  const int64_t W = AHeader.Be16(2);
  const int64_t H = AHeader.Be16(4);
  const int64_t L = AHeader.Be16(6);
  const int M = AHeader.U8(8);
  if (W == 0 || H == 0) return false;
  if (M == 16) {
    if (L != W) return false;
  } else if (M == 32 || M == 33) {
    if (L != 2 * W) return false;
  } else {
    return false;
  }
  return AFileSize == QLPicFileSize(W, H, M);
}

void QLMode16Components(int AIndex, int& AR, int& AG, int& AB) {
  auto bit = [AIndex](int n) { return (AIndex >> n) & 1; };
  AG = bit(7) * 4 + bit(4) * 2 + bit(1);
  AR = bit(6) * 4 + bit(3) * 2 + bit(0);
  AB = bit(5) * 4 + bit(2) * 2 + bit(0);
}

void BuildQLMode16Palette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int i = 0; i < 256; ++i) {
    int r, g, b;
    QLMode16Components(i, r, g, b);
    APalette.AddRGB(QLGD2LevelTable[r], QLGD2LevelTable[g], QLGD2LevelTable[b]);
  }
}
