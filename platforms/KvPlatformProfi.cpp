#include "platforms/KvPlatformProfi.h"

#include <cstring>

#include "core/KvPalette.h"
#include "shell/noxShellBaseExtension.h"

namespace {

void PutWord(uint8_t* p, int AValue) {
  p[0] = static_cast<uint8_t>(AValue);
  p[1] = static_cast<uint8_t>(AValue >> 8);
}

int64_t RowBytes(int AWidth) { return (static_cast<int64_t>(AWidth) + 7) / 8; }

void InitHeader(uint8_t* AHeader, int AWidth, int AHeight, uint8_t AKind, int64_t ARowLength) {
  std::memset(AHeader, 0, ProfiHeaderBlockSize);
  PutWord(AHeader, AWidth);
  PutWord(AHeader + 2, AHeight);
  AHeader[4] = AKind;
  PutWord(AHeader + 6, static_cast<int>(ARowLength));
  AHeader[8] = 1;
}

}  // namespace

int64_t ProfiMonoGrfFileSize(int AWidth, int AHeight) { return AHeight * RowBytes(AWidth) + ProfiHeaderBlockSize; }

int64_t ProfiColorGrfFileSize(int AWidth, int AHeight) {
  return RowBytes(AWidth) * 2 * AHeight + ProfiHeaderBlockSize;
}

void InitProfiGrfHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  InitHeader(AHeader, AWidth, AHeight, ProfiKindMono, RowBytes(AWidth));
}

void InitProfiColorGrfHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  InitHeader(AHeader, AWidth, AHeight, ProfiKindColor, 2 * RowBytes(AWidth));
}

void InitProfiColorPaletteGrfHeader(uint8_t* AHeader, int AWidth, int AHeight, const TKvPalette256& AHardwarePalette,
                                    const TKvPalette256& APalette) {
  InitProfiColorGrfHeader(AHeader, AWidth, AHeight);
  AHeader[9] = ProfiPaletteTypeOwn;
  if (APalette.Count > 16) RaiseOSError(13);
  for (int i = 0; i < APalette.Count; ++i)
    AHeader[10 + i] = ProfiPaletteByte(AHardwarePalette.LocateStdRGB(APalette.Colors[i].GetStdRGB()));
}

int ProfiGrfHeaderSize(const TKvBytes& AHeader) {
  const uint8_t blocks = AHeader.U8(8);
  return blocks == 0 ? ProfiHeaderBlockSize : blocks * ProfiHeaderBlockSize;
}

bool CheckProfiGrfHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, 10)) return false;
  const int64_t width = AHeader.Le16(0), height = AHeader.Le16(2), row = AHeader.Le16(6);
  if (width == 0 || height == 0 || AHeader.U8(5) != 0) return false;
  const uint8_t kind = AHeader.U8(4);
  if (kind != ProfiKindMono && kind != ProfiKindColor) return false;
  if (row < (kind == ProfiKindColor ? 2 : 1) * RowBytes(static_cast<int>(width))) return false;
  if (AHeader.U8(9) != 0 && AHeader.U8(9) != ProfiPaletteTypeOwn) return false;
  // The 16-bit fields multiply past 32 bits: the sum is taken in 64.
  return AFileSize >= ProfiGrfHeaderSize(AHeader) + height * row;
}

uint8_t ProfiPaletteByte(int AIndex) {
  return static_cast<uint8_t>((((AIndex >> 2) & 7) << 5) | (((AIndex >> 5) & 7) << 2) | (AIndex & 3));
}

uint8_t ProfiAttribute(int APaper, int AInk) {
  return static_cast<uint8_t>((AInk & 7) | ((APaper & 7) << 3) | ((AInk & 8) << 3) | ((APaper & 8) << 4));
}

void FillProfi256Palette(TKvPalette256& APalette) {
  static const uint8_t kLevels8[8] = {0, 36, 73, 109, 146, 182, 219, 255};
  static const uint8_t kLevels4[4] = {0, 85, 170, 255};
  APalette.Clear();
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) APalette.AddRGB(kLevels8[r], kLevels8[g], kLevels4[b]);
}

void DecodeProfiAttribute(uint8_t AAttr, int& APaper, int& AInk) {
  AInk = (AAttr & 7) | ((AAttr >> 3) & 8);
  APaper = ((AAttr >> 3) & 7) | ((AAttr >> 4) & 8);
}
