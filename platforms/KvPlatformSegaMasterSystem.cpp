#include "platforms/KvPlatformSegaMasterSystem.h"

#include "core/KvPaletteRGB.h"

void BuildSmsPalette(TKvPalette256& APalette) {
  const auto LLevels = TKvPaletteRGB::CreateType(ptRGB222, false);
  APalette.Clear();
  for (int n = 0; n < 64; ++n)
    APalette.AddLinRGB(LinRGBColor(LLevels->Red.Levels[n & 3], LLevels->Green.Levels[(n >> 2) & 3],
                                   LLevels->Blue.Levels[(n >> 4) & 3]));
}

bool CheckMsbmpHeader(const TKvBytes& AFile) {
  if (AFile.Size() < 9 || !AFile.Same(0, "MSBMP", 5)) return false;
  const int64_t LText = AFile.U8(6);
  const int64_t LData = AFile.Le16(7);
  return LText >= 9 && LData >= 10 && LData > LText && LData + kMsbmpDataSize == AFile.Size();
}
