#include "platforms/KvPlatformLvov.h"

#include <utility>

namespace {
enum : int { kR = 1, kG = 2, kB = 4 };

TKvStdRGBColor Invert(TKvStdRGBColor AColor, int AChannels) {
  if (AChannels & kR) AColor.R = static_cast<uint8_t>(AColor.R ^ 0xFF);
  if (AChannels & kG) AColor.G = static_cast<uint8_t>(AColor.G ^ 0xFF);
  if (AChannels & kB) AColor.B = static_cast<uint8_t>(AColor.B ^ 0xFF);
  return AColor;
}

uint32_t SortKey(const TKvStdRGBColor& c) { return (uint32_t(c.G) << 16) | (uint32_t(c.R) << 8) | c.B; }
}  // namespace

void DecodeLvovPortColors(TKvStdRGBColor (&AColors)[4], uint8_t APortByte, bool ASort) {
  const TKvStdRGBColor LBase{static_cast<uint8_t>((APortByte & 0x10) ? 0xFF : 0),
                             static_cast<uint8_t>((APortByte & 0x20) ? 0 : 0xFF),
                             static_cast<uint8_t>((APortByte & 0x40) ? 0xFF : 0)};
  static const int kColor0[4] = {kR | kG | kB, kR | kG, kG | kB, kG};
  AColors[0] = Invert(LBase, kColor0[(APortByte >> 2) & 3]);
  AColors[1] = Invert(LBase, (APortByte & 1) ? kG | kB : kR | kG | kB);
  AColors[2] = LBase;
  AColors[3] = Invert(LBase, (APortByte & 2) ? kR | kG : kR);
  if (!ASort) return;
  for (int n = 3; n > 0; --n) {
    bool LSwapped = false;
    for (int i = 0; i < n; ++i)
      if (SortKey(AColors[i]) > SortKey(AColors[i + 1])) {
        std::swap(AColors[i], AColors[i + 1]);
        LSwapped = true;
      }
    if (!LSwapped) break;
  }
}

void LoadLvovPalette(const TKvStdRGBColor (&AColors)[4], TKvPalette256& APalette) {
  APalette.Clear();
  for (const TKvStdRGBColor& c : AColors) APalette.AddStdRGB(c);
}
