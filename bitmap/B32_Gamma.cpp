#include "bitmap/B32_Gamma.h"

#include <cmath>

#include "rtl/KvSysUtils.h"

uint8_t GammaEncodeTable[256];

void SetGamma(double AGamma) {
  constexpr double kOneOver255 = 0.00392156862745098;
  const double e = 1.0 / AGamma;
  for (int i = 0; i < 256; ++i)
    GammaEncodeTable[i] = static_cast<uint8_t>(Round(255.0 * std::pow(i * kOneOver255, e)));
}
