#include "platforms/KvPlatformCorvette.h"

#include <cstring>

#include "shell/noxShellBaseExtension.h"

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
      RaiseOSError(86);
  }
}

void InitCorvetteGrfHeader(uint8_t* AHeader) { std::memcpy(AHeader, "GRF1.0", CorvetteHeaderSize); }

bool CheckCorvetteGrfHeader(const uint8_t* AHeader, int64_t ASize) {
  return AHeader && ASize >= CorvetteHeaderSize && std::memcmp(AHeader, "GRF1.0", CorvetteHeaderSize) == 0;
}

void InitCorvetteWinHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  std::memcpy(AHeader, "WIN1.0", CorvetteHeaderSize);
  AHeader[6] = static_cast<uint8_t>((AWidth - 1) & 0xFF);
  AHeader[7] = static_cast<uint8_t>(((AWidth - 1) >> 8) & 0xFF);
  AHeader[8] = static_cast<uint8_t>((AHeight - 1) & 0xFF);
}

bool CheckCorvetteWinHeader(const uint8_t* AHeader, int64_t ASize) {
  if (!AHeader || ASize < CorvetteWinHeaderSize) return false;
  if (std::memcmp(AHeader, "WIN1.0", CorvetteHeaderSize) != 0) return false;
  return (AHeader[6] | (AHeader[7] << 8)) < CorvetteWidth;
}
