#include "platforms/KvPlatformDVK.h"

bool CheckDvkPicHeader(const TKvBytes& AFile) {
  if (!AFile.Has(0, 4)) return false;
  const int w = AFile.Le16(0);
  const int h = AFile.Le16(2);
  if (w < 1 || w > DvkMaxWidth || h < 1 || h > DvkMaxHeight) return false;
  return AFile.Size() == DvkPicSize(w, h);
}

bool CheckDvkPaletteBytes(const TKvBytes& APalette) {
  if (APalette.Size() != DvkPaletteBlockSize) return false;
  for (uint8_t b : APalette.Row(0, DvkPaletteBlockSize))
    if (b > 63) return false;
  return true;
}

void BuildDvkPalette(TKvPaletteType APaletteType, TKvPalette256& APalette) {
  APalette.Clear();
  if (APaletteType == ptColoredLinear) {
    APalette.FillBGR64();
  } else {
    static const uint8_t kLevels[4] = {0x00, 0x80, 0xC0, 0xFF};
    APalette.FillBGR64Levels(kLevels);
  }
  APalette.Changed();
}
