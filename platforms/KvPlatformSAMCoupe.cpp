#include "platforms/KvPlatformSAMCoupe.h"

#include "core/KvErrors.h"

namespace {

uint8_t SAMLevel(int ANumber, int AHighBit, int ALowBit) {
  const int h = (ANumber >> AHighBit) & 1;
  const int l = (ANumber >> ALowBit) & 1;
  return static_cast<uint8_t>(73 * (2 * h + l) + 36 * ((ANumber >> 3) & 1));
}

const uint8_t SAMMode4Marker[4] = {0, 17, 34, 127};

void WriteBlock(const TKvPalette256& APalette, uint8_t* ADest, bool AMode4) {
  uint8_t LBlock[20];
  WriteSAMCoupeColorIndexes(APalette, LBlock, 16);
  if (AMode4)
    for (int i = 0; i < 4; ++i) LBlock[16 + i] = SAMMode4Marker[i];
  else
    WriteSAMCoupeColorIndexes(APalette, LBlock + 16, 4);
  for (int i = 0; i < 20; ++i) {
    ADest[i] = LBlock[i];
    ADest[20 + i] = LBlock[i];
  }
  ADest[40] = 255;
}

}  // namespace

TKvStdRGBColor SAMCoupeColor(int ANumber) {
  return StdRGBColor(SAMLevel(ANumber, 5, 1), SAMLevel(ANumber, 6, 2), SAMLevel(ANumber, 4, 0));
}

void BuildSAMCoupePalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int n = 0; n < 128; ++n) APalette.AddStdRGB(SAMCoupeColor(n));
}

int SAMCoupeColorIndex(const TKvStdRGBColor& AColor) {
  for (int n = 0; n < 128; ++n)
    if (SAMCoupeColor(n) == AColor) return n;
  RaiseUnsupportedOption();
}

void WriteSAMCoupeColorIndexes(const TKvPalette256& APalette, uint8_t* ADest, int ACount) {
  for (int i = 0; i < ACount; ++i)
    ADest[i] = i < APalette.Count ? static_cast<uint8_t>(SAMCoupeColorIndex(APalette.GetStdRGB(i))) : 0;
}

void WriteSAMCoupeMode3PaletteBlock(const TKvPalette256& APalette, uint8_t* ADest) {
  WriteBlock(APalette, ADest, false);
}

void WriteSAMCoupeMode4PaletteBlock(const TKvPalette256& APalette, uint8_t* ADest) { WriteBlock(APalette, ADest, true); }

void BuildSAMCoupeGrayPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int n = 0; n < 128; ++n) {
    const TKvStdRGBColor c = SAMCoupeColor(n);
    if (c.R == c.G && c.G == c.B) APalette.AddStdRGB(c);
  }
  APalette.SortByGray(0);
}

void BuildSAMCoupeBrightPalette(TKvPalette256& APalette) {
  TKvPalette256 LAll;
  BuildSAMCoupePalette(LAll);
  APalette.FillNearestGBR16(&LAll);
}

bool IsSAMMode4Marker(const TKvBytes& AData) { return AData.Same(0, SAMMode4Marker, 4); }
