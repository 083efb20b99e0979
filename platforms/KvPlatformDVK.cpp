#include "platforms/KvPlatformDVK.h"

bool CheckDvkPicHeader(const uint8_t* AHeader, int64_t ASize) {
  const int w = AHeader[0] | (AHeader[1] << 8);
  const int h = AHeader[2] | (AHeader[3] << 8);
  if (w < 1 || w > DvkMaxWidth || h < 1 || h > DvkMaxHeight) return false;
  return ASize == DvkPicSize(w, h);
}

bool CheckDvkPaletteBytes(const uint8_t* APalette) {
  for (int i = 0; i < DvkPaletteBlockSize; ++i)
    if (APalette[i] > 63) return false;
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
