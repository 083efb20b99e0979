#include "platforms/KvPlatformOkean240.h"

namespace {
constexpr TKvStdRGBColor C(uint32_t ARGB) {
  return TKvStdRGBColor{static_cast<uint8_t>(ARGB >> 16), static_cast<uint8_t>(ARGB >> 8),
                        static_cast<uint8_t>(ARGB)};
}
}  // namespace

const TKvStdRGBColor OkeanPalettes[OkeanPaletteCount][4] = {
    {C(0x000000), C(0xFF0000), C(0x00FF00), C(0x0000FF)},  //
    {C(0xFFFFFF), C(0xFF0000), C(0x00FF00), C(0x0000FF)},  //
    {C(0xFF0000), C(0x00FF00), C(0x00FFFF), C(0xFFFF00)},  //
    {C(0x000000), C(0xFF0000), C(0xFF00FF), C(0xFFFFFF)},  //
    {C(0x000000), C(0xFF0000), C(0xFFFF00), C(0x0000FF)},  //
    {C(0x000000), C(0x0000FF), C(0x00FF00), C(0xFFFF00)},  //
    {C(0x00FF00), C(0xFFFFFF), C(0xFFFF00), C(0x0000FF)},  //
};

void BuildOkeanPalette(int AIndex, TKvPalette256& APalette) {
  APalette.Clear();
  if (AIndex < 1 || AIndex > OkeanPaletteCount) return;
  for (const TKvStdRGBColor& c : OkeanPalettes[AIndex - 1]) APalette.AddStdRGB(c);
}

void BuildOkeanMixPalette(int AIndex, int AMaxFlickering, TKvPalette256& APalette) {
  TKvPalette256 LBase;
  BuildOkeanPalette(AIndex, LBase);
  APalette.FillMixtures(&LBase, AMaxFlickering, 0);
}
