#include "platforms/KvPlatformVector.h"

#include <cstring>

#include "core/KvErrors.h"

namespace {

// The channel levels of the two measured tables: red and green 0..7, blue 0..3.
struct TVectorLevels {
  uint8_t RG[8];
  uint8_t B[4];
};
constexpr TVectorLevels VectorEmuLevels = {{0, 50, 92, 127, 159, 191, 223, 255}, {0, 127, 191, 255}};
constexpr TVectorLevels VectorVirtualLevels = {{0, 38, 75, 113, 142, 180, 217, 255}, {0, 88, 167, 255}};

void FillLevels(TKvPalette256& APalette, const TVectorLevels& ALevels) {
  for (int i = 0; i < 256; ++i) APalette.AddRGB(ALevels.RG[i & 7], ALevels.RG[(i >> 3) & 7], ALevels.B[i >> 6]);
}

}  // namespace

void BuildVectorPalette(TKvPaletteType APaletteType, TKvPalette256& APalette) {
  switch (APaletteType) {
    case ptColoredLinear:
      APalette.Clear();
      APalette.FillB2G3R3();
      break;
    case ptColoredEMU:
      APalette.Clear();
      FillLevels(APalette, VectorEmuLevels);
      break;
    case ptColoredVirtualVector:
      APalette.Clear();
      FillLevels(APalette, VectorVirtualLevels);
      break;
    default:
      RaiseUnsupportedOption();
  }
}

bool CheckVectorScrHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, 64) || AFileSize < 64) return false;
  if (AHeader.Le16(0) >= 32768) return false;
  if (static_cast<int64_t>(AHeader.Le16(2)) + 64 >= AFileSize) return false;
  if (!AHeader.Same(5, "T.288-31-25", 11)) return false;
  for (int LList = 16; LList <= 48; LList += 16) {
    const int LCount = AHeader.U8(LList + 1);
    if (LCount > 7) return false;
    for (int i = 0; i < LCount; ++i)
      if (AHeader.Le16(LList + 2 + 2 * i) >= 32768) return false;
  }
  return true;
}

bool CheckVectorRmbHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, VectorRmbHeaderSize) || AFileSize < VectorRmbHeaderSize) return false;
  const int64_t w = AHeader.U8(16);
  const int64_t h = AHeader.U8(17) ? AHeader.U8(17) : 256;
  if (w < 1 || w > 32 || AHeader.U8(18) != 15) return false;
  return (w * h * 4 + VectorRmbHeaderSize + 255) / 256 == (AFileSize + 255) / 256;
}
