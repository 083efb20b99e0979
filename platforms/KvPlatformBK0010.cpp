#include "platforms/KvPlatformBK0010.h"

#include <cstring>

#include "shell/noxSwap.h"

namespace {
constexpr TKvStdRGBColor C(uint32_t ARGB) {
  return TKvStdRGBColor{static_cast<uint8_t>(ARGB >> 16), static_cast<uint8_t>(ARGB >> 8),
                        static_cast<uint8_t>(ARGB)};
}
}  // namespace

const TKvStdRGBColor BKPalettes[BKPaletteCount][4] = {
    {C(0x000000), C(0x0000FF), C(0x00FF00), C(0xFF0000)},  //
    {C(0x000000), C(0xFFFF00), C(0xFF00FF), C(0xFF0000)},  //
    {C(0x000000), C(0x00FFFF), C(0x0000FF), C(0xFF00FF)},  //
    {C(0x000000), C(0x00FF00), C(0x00FFFF), C(0xFFFF00)},  //
    {C(0x000000), C(0xFF00FF), C(0x00FFFF), C(0xFFFFFF)},  //
    {C(0x000000), C(0xFFFFFF), C(0xFFFFFF), C(0xFFFFFF)},  //
    {C(0x000000), C(0xC00000), C(0x900000), C(0xFF0000)},  //
    {C(0x000000), C(0xC0FF00), C(0x90FF00), C(0xFFFF00)},  //
    {C(0x000000), C(0xC000FF), C(0x9000FF), C(0xFF00FF)},  //
    {C(0x000000), C(0x90FF00), C(0x9000FF), C(0x900000)},  //
    {C(0x000000), C(0xC0FF00), C(0xC000FF), C(0xC00000)},  //
    {C(0x000000), C(0x00FFFF), C(0xFFFF00), C(0xFF0000)},  //
    {C(0x000000), C(0xFF0000), C(0x00FF00), C(0x00FFFF)},  //
    {C(0x000000), C(0x00FFFF), C(0xFFFF00), C(0xFFFFFF)},  //
    {C(0x000000), C(0xFFFF00), C(0x00FF00), C(0xFFFFFF)},  //
    {C(0x000000), C(0x00FFFF), C(0x00FF00), C(0xFFFFFF)},  //
};

void BuildBKPalette(int AIndex, TKvPalette256& APalette) {
  APalette.Clear();
  if (AIndex < 1 || AIndex > BKPaletteCount) return;
  for (const TKvStdRGBColor& c : BKPalettes[AIndex - 1]) APalette.AddStdRGB(c);
}

void BuildBKMixPalette(int AIndex, int AMaxFlickering, TKvPalette256& APalette) {
  TKvPalette256 LBase;
  BuildBKPalette(AIndex, LBase);
  APalette.FillMixtures(&LBase, AMaxFlickering, 0);
}

void WriteBKBin(uint8_t* ADest, uint16_t AAddress, uint16_t ALength, const uint8_t* ASource) {
  const uint16_t LWords[2] = {Swap16(AAddress), Swap16(ALength)};
  // Each swapped word is stored in memory order, so the header reads high
  // byte first.
  for (int i = 0; i < 2; ++i) {
    ADest[2 * i] = static_cast<uint8_t>(LWords[i] & 0xFF);
    ADest[2 * i + 1] = static_cast<uint8_t>(LWords[i] >> 8);
  }
  std::memcpy(ADest + 4, ASource, BKScreenSize);
}
