#include "platforms/KvPlatformCommodore64.h"

#include <cstdint>

namespace {

// sRGB R, G, B of colours 0..15.
constexpr uint8_t kDark[16][3] = {{0, 0, 0},       {255, 255, 255}, {104, 55, 43},   {112, 164, 178},
                                  {111, 61, 134},  {88, 141, 67},   {53, 40, 121},   {184, 199, 111},
                                  {111, 79, 37},   {67, 57, 0},     {154, 103, 89},  {68, 68, 68},
                                  {108, 108, 108}, {154, 210, 132}, {108, 94, 181},  {149, 149, 149}};
constexpr uint8_t kLight[16][3] = {{0, 0, 0},       {255, 255, 255}, {136, 0, 0},     {170, 255, 238},
                                   {204, 68, 204},  {0, 204, 85},    {0, 0, 170},     {238, 238, 119},
                                   {221, 136, 85},  {102, 68, 0},    {255, 119, 119}, {51, 51, 51},
                                   {119, 119, 119}, {170, 255, 102}, {0, 136, 255},   {187, 187, 187}};

}  // namespace

void BuildC64Palette(TKvPalette256& APalette, TKvPaletteType AType) {
  APalette.Clear();
  const uint8_t(*LTable)[3] = nullptr;
  if (AType == ptCommandore64Dark)
    LTable = kDark;
  else if (AType == ptCommandore64Light)
    LTable = kLight;
  else
    RaiseInternalError();
  for (int i = 0; i < 16; ++i) APalette.AddRGB(LTable[i][0], LTable[i][1], LTable[i][2]);
}
