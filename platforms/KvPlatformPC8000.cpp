#include "platforms/KvPlatformPC8000.h"

#include "core/KvDestEngineOptions.h"
#include "core/KvErrors.h"

namespace {

const uint8_t DDpColors[16][3] = {
    {8, 8, 8},       {8, 8, 8},     {8, 223, 7},     {7, 247, 7},     {7, 9, 220},     {6, 9, 246},
    {8, 231, 231},   {7, 245, 245}, {222, 9, 6},     {248, 9, 8},     {234, 232, 8},   {248, 246, 7},
    {232, 9, 232},   {247, 9, 245}, {235, 235, 235}, {246, 246, 246},
};

// Index 2 * (4R + 2B + G) + full: half and full intensity of each colour,
// black twice, then gray and white.
void AddLinearColors(TKvPalette256& APalette) {
  APalette.AddLinRGB(LinRGBColor(0, 0, 0));
  APalette.AddLinRGB(LinRGBColor(0, 0, 0));
  for (int r = 0; r < 2; ++r)
    for (int b = 0; b < 2; ++b)
      for (int g = 0; g < 2; ++g) {
        if (r + g + b == 0 || r + g + b == 3) continue;
        for (double v : {0.5, 1.0}) APalette.AddLinRGB(LinRGBColor(r * v, g * v, b * v));
      }
  APalette.AddLinRGB(LinRGBColor(0.5, 0.5, 0.5));
  APalette.AddLinRGB(LinRGBColor(1, 1, 1));
}

}  // namespace

void InitPC8000Header(uint8_t* AData) {
  AData[0] = 'P';
  AData[1] = 'C';
  AData[2] = '8';
  AData[3] = 0;
}

bool CheckPC8000Header(const TKvBytes& AFile) { return AFile.Same(0, "PC8", PC8000HeaderSize); }

void BuildPC8000Palette(TKvPalette256& APalette, TKvPaletteType AType, int AMode) {
  if (AType != ptColoredLinear && AType != ptColoredDDp) RaiseUnsupportedOption();
  APalette.Clear();
  TKvPalette256 all;
  if (AType == ptColoredLinear)
    AddLinearColors(all);
  else
    for (const auto& c : DDpColors) all.AddRGB(c[0], c[1], c[2]);
  auto add = [&](std::initializer_list<int> AEntries) {
    for (int i : AEntries) APalette.AddColor(all.Colors[i]);
  };
  switch (AMode) {
    case pmBlackWhite:
      add({0, 15});
      break;
    case pmGray:
      add({0, 14, 15});
      break;
    case pmColor:
      for (int i = 0; i < 16; ++i) add({i});
      break;
    default:
      RaiseUnsupportedOption();
  }
}
