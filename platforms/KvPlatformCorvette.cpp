#include "platforms/KvPlatformCorvette.h"

#include <cstring>

#include "core/KvErrors.h"

void BuildCorvettePalette(TKvPalette256& APalette, TKvPaletteType AType) {
  APalette.Clear();
  switch (AType) {
    case ptColoredLinear:
      APalette.FillGRB16Nearest(nullptr);
      break;
    case ptColoredEMU:
      APalette.FillGRB16Levels(0, 180, 75, 255);
      break;
    default:
      RaiseUnsupportedPalette();
  }
}

void InitCorvetteGrfHeader(uint8_t* AHeader) { std::memcpy(AHeader, "GRF1.0", CorvetteHeaderSize); }

bool CheckCorvetteGrfHeader(const TKvBytes& AFile) { return AFile.Same(0, "GRF1.0", CorvetteHeaderSize); }

void InitCorvetteWinHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  std::memcpy(AHeader, "WIN1.0", CorvetteHeaderSize);
  AHeader[6] = static_cast<uint8_t>((AWidth - 1) & 0xFF);
  AHeader[7] = static_cast<uint8_t>(((AWidth - 1) >> 8) & 0xFF);
  AHeader[8] = static_cast<uint8_t>((AHeight - 1) & 0xFF);
}

bool CheckCorvetteWinHeader(const TKvBytes& AFile) {
  if (!AFile.Has(0, CorvetteWinHeaderSize)) return false;
  if (!AFile.Same(0, "WIN1.0", CorvetteHeaderSize)) return false;
  return AFile.Le16(6) < CorvetteWidth;
}
