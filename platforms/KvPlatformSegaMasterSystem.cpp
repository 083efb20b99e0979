#include "platforms/KvPlatformSegaMasterSystem.h"

#include <cstring>

#include "core/KvPaletteRGB.h"

void BuildSmsPalette(TKvPalette256& APalette) {
  const auto LLevels = TKvPaletteRGB::CreateType(ptRGB222, false);
  APalette.Clear();
  for (int n = 0; n < 64; ++n)
    APalette.AddLinRGB(LinRGBColor(LLevels->Red.Levels[n & 3], LLevels->Green.Levels[(n >> 2) & 3],
                                   LLevels->Blue.Levels[(n >> 4) & 3]));
}

bool CheckMsbmpHeader(const uint8_t* AData, int64_t ASize) {
  if (!AData || ASize < 9 || std::memcmp(AData, "MSBMP", 5) != 0) return false;
  const int64_t LText = AData[6];
  const int64_t LData = AData[7] | (AData[8] << 8);
  return LText >= 9 && LData >= 10 && LData > LText && LData + kMsbmpDataSize == ASize;
}
