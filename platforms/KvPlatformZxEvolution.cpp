#include "platforms/KvPlatformZxEvolution.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint8_t kSxgMagic[4] = {0x7F, 0x53, 0x58, 0x47};

uint16_t Word(const uint8_t* AData, int AOffset) {
  return static_cast<uint16_t>(AData[AOffset] | (AData[AOffset + 1] << 8));
}

void PutWord(uint8_t* AData, int AOffset, int AValue) {
  AData[AOffset] = static_cast<uint8_t>(AValue);
  AData[AOffset + 1] = static_cast<uint8_t>(AValue >> 8);
}

// The bytes of the 25 levels of the two PWM families; levels 25 to 31 show
// full intensity.
constexpr uint8_t kEgaBytes[25] = {0,   28,  42,  52,  60,  67,  74,  80,  85,  101, 114, 126, 136,
                                   146, 154, 162, 170, 184, 196, 207, 218, 228, 237, 246, 255};
constexpr uint8_t kPentevoBytes[25] = {0,   31,  46,  57,  66,  74,  81,  87,  93,  105, 115, 125, 133,
                                       141, 149, 155, 162, 177, 191, 204, 215, 226, 236, 246, 255};

}  // namespace

uint32_t SxgPixelOffset(const uint8_t* AHeader) { return Word(AHeader, 14) + 16u; }

uint32_t SxgPaletteCount(const uint8_t* AHeader) {
  const uint32_t n = (static_cast<uint32_t>(Word(AHeader, 14)) - Word(AHeader, 12) + 2u) / 2u;
  return std::min<uint32_t>(n, AHeader[7] == 1 ? 16u : 256u);
}

uint32_t SxgBytesPerLine(const uint8_t* AHeader) {
  const uint32_t bits = (AHeader[7] == 1 ? 4u : 8u) * Word(AHeader, 8);
  return AHeader[4] >= 3 ? ((bits + 15u) & ~15u) / 8u : ((bits + 7u) & ~7u) / 8u;
}

bool CheckSxgHeader(const uint8_t* AHeader, int64_t ASize) {
  if (std::memcmp(AHeader, kSxgMagic, sizeof(kSxgMagic)) != 0) return false;
  if ((AHeader[4] != 2 && AHeader[4] != 3) || AHeader[6] != 0 || (AHeader[7] != 1 && AHeader[7] != 2)) return false;
  if (Word(AHeader, 8) == 0 || Word(AHeader, 10) == 0) return false;
  if (Word(AHeader, 12) < 2 || Word(AHeader, 14) < 2 || SxgPaletteCount(AHeader) == 0) return false;
  // In 64 bits: the largest rows and offset do not wrap round to a small
  // total that a tiny file would satisfy.
  const int64_t LNeeded =
      static_cast<int64_t>(SxgPixelOffset(AHeader)) + static_cast<int64_t>(SxgBytesPerLine(AHeader)) * Word(AHeader, 10);
  return ASize >= LNeeded;
}

void InitSxgHeader(uint8_t* AHeader, uint8_t AVersion, int AWidth, int AHeight, int ABits) {
  std::memset(AHeader, 0, SxgHeaderSize);
  std::memcpy(AHeader, kSxgMagic, sizeof(kSxgMagic));
  AHeader[4] = AVersion;
  AHeader[7] = ABits == 4 ? 1 : ABits == 8 ? 2 : 0;
  PutWord(AHeader, 8, AWidth);
  PutWord(AHeader, 10, AHeight);
}

int SxgFilePaletteCount(const uint8_t* AData, int64_t ASize) {
  const int64_t LStart = 14 + static_cast<int64_t>(Word(AData, 12));
  if (LStart > SxgPixelOffset(AData)) return 0;
  const int64_t LInFile = ASize > LStart ? (ASize - LStart) / 2 : 0;
  return static_cast<int>(std::min<int64_t>(SxgPaletteCount(AData), LInFile));
}

uint16_t SxgPaletteWord(const uint8_t* AData, int AIndex) { return Word(AData, 14 + Word(AData, 12) + 2 * AIndex); }

uint8_t SxgLevelByte(TKvPaletteType AType, int ALevel) {
  switch (AType) {
    case ptEvoEGA: return ALevel < 25 ? kEgaBytes[ALevel] : 255;
    case ptPentevo: return ALevel < 25 ? kPentevoBytes[ALevel] : 255;
    case ptVideoDAC: return static_cast<uint8_t>(std::nearbyint(ALevel * 255.0 / 31));
    default: return static_cast<uint8_t>(ALevel);
  }
}
