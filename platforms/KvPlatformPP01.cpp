#include "platforms/KvPlatformPP01.h"

void FillPP01Colors(TKvPalette256& APalette) {
  APalette.Clear();
  for (int i = 0; i < 8; ++i) APalette.AddUniqueLinRGB(LinRGBColor((i >> 1) & 1, (i >> 2) & 1, i & 1));
}
