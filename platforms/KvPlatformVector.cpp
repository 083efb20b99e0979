#include "platforms/KvPlatformVector.h"

#include <cstring>

#include "shell/noxShellBaseExtension.h"

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

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

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
      RaiseOSError(87);
  }
}

bool CheckVectorScrHeader(const uint8_t* AData, int64_t ASize) {
  if (!AData || ASize < 64) return false;
  if (Word(AData) >= 32768) return false;
  if (static_cast<int64_t>(Word(AData + 2)) + 64 >= ASize) return false;
  if (std::memcmp(AData + 5, "T.288-31-25", 11) != 0) return false;
  for (int LList = 16; LList <= 48; LList += 16) {
    const int LCount = AData[LList + 1];
    if (LCount > 7) return false;
    for (int i = 0; i < LCount; ++i)
      if (Word(AData + LList + 2 + 2 * i) >= 32768) return false;
  }
  return true;
}

bool CheckVectorRmbHeader(const uint8_t* AData, int64_t ASize) {
  if (!AData || ASize < VectorRmbHeaderSize) return false;
  const int64_t w = AData[16];
  const int64_t h = AData[17] ? AData[17] : 256;
  if (w < 1 || w > 32 || AData[18] != 15) return false;
  return (w * h * 4 + VectorRmbHeaderSize + 255) / 256 == (ASize + 255) / 256;
}
