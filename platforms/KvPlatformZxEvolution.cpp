#include "platforms/KvPlatformZxEvolution.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint8_t kSxgMagic[4] = {0x7F, 0x53, 0x58, 0x47};

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

uint32_t SxgPixelOffset(const TKvBytes& AHeader) { return AHeader.Le16(14) + 16u; }

uint32_t SxgPaletteCount(const TKvBytes& AHeader) {
  const uint32_t n = (static_cast<uint32_t>(AHeader.Le16(14)) - AHeader.Le16(12) + 2u) / 2u;
  return std::min<uint32_t>(n, AHeader.U8(7) == 1 ? 16u : 256u);
}

uint32_t SxgBytesPerLine(const TKvBytes& AHeader) {
  const uint32_t bits = (AHeader.U8(7) == 1 ? 4u : 8u) * AHeader.Le16(8);
  return AHeader.U8(4) >= 3 ? ((bits + 15u) & ~15u) / 8u : ((bits + 7u) & ~7u) / 8u;
}

bool CheckSxgHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, SxgHeaderSize) || !AHeader.Same(0, kSxgMagic, sizeof(kSxgMagic))) return false;
  const uint8_t version = AHeader.U8(4), format = AHeader.U8(7);
  if ((version != 2 && version != 3) || AHeader.U8(6) != 0 || (format != 1 && format != 2)) return false;
  if (AHeader.Le16(8) == 0 || AHeader.Le16(10) == 0) return false;
  if (AHeader.Le16(12) < 2 || AHeader.Le16(14) < 2 || SxgPaletteCount(AHeader) == 0) return false;
  // In 64 bits: the largest rows and offset do not wrap round to a small
  // total that a tiny file would satisfy.
  const int64_t LNeeded =
      static_cast<int64_t>(SxgPixelOffset(AHeader)) + static_cast<int64_t>(SxgBytesPerLine(AHeader)) * AHeader.Le16(10);
  return AFileSize >= LNeeded;
}

void InitSxgHeader(uint8_t* AHeader, uint8_t AVersion, int AWidth, int AHeight, int ABits) {
  std::memset(AHeader, 0, SxgHeaderSize);
  std::memcpy(AHeader, kSxgMagic, sizeof(kSxgMagic));
  AHeader[4] = AVersion;
  AHeader[7] = ABits == 4 ? 1 : ABits == 8 ? 2 : 0;
  PutWord(AHeader, 8, AWidth);
  PutWord(AHeader, 10, AHeight);
}

int SxgFilePaletteCount(const TKvBytes& AFile) {
  const int64_t LStart = 14 + static_cast<int64_t>(AFile.Le16(12));
  if (LStart > SxgPixelOffset(AFile)) return 0;
  const int64_t LInFile = AFile.Size() > LStart ? (AFile.Size() - LStart) / 2 : 0;
  return static_cast<int>(std::min<int64_t>(SxgPaletteCount(AFile), LInFile));
}

uint16_t SxgPaletteWord(const TKvBytes& AFile, int AIndex) { return AFile.Le16(14 + AFile.Le16(12) + 2 * AIndex); }

uint8_t SxgLevelByte(TKvPaletteType AType, int ALevel) {
  switch (AType) {
    case ptEvoEGA: return ALevel < 25 ? kEgaBytes[ALevel] : 255;
    case ptPentevo: return ALevel < 25 ? kPentevoBytes[ALevel] : 255;
    case ptVideoDAC: return static_cast<uint8_t>(std::nearbyint(ALevel * 255.0 / 31));
    default: return static_cast<uint8_t>(ALevel);
  }
}
