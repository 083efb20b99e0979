#include "platforms/KvPlatformATMTurbo.h"

#include <cstring>

#include "core/KvPalette.h"
#include "shell/noxShellBaseExtension.h"

int64_t ATMGrfFileSize(int AWidth, int AHeight) {
  return static_cast<int64_t>(AHeight) * ((AWidth + 7) / 8) * 3 + ATMGrfHeaderSize;
}

void InitATMGrfHeader(uint8_t* AHeader, int AWidth, int AHeight) {
  std::memset(AHeader, 0, ATMGrfHeaderSize);
  std::memset(AHeader, '0', 48);
  std::memset(AHeader + 3, '3', 3);
  std::memcpy(AHeader + 48, "GRF", 3);
  AHeader[130] = static_cast<uint8_t>((AWidth + 7) / 8);
  AHeader[131] = static_cast<uint8_t>(AHeight);
}

void WriteATMGrfPalette(uint8_t* AHeader, int AWidth, int AHeight, const TKvPalette256& AHardwarePalette,
                        const TKvPalette256& APalette, const TKvStdRGBColor& ABorderColor) {
  InitATMGrfHeader(AHeader, AWidth, AHeight);
  if (APalette.Count > 16) RaiseOSError(13);
  for (int i = 0; i < APalette.Count; ++i) {
    const int code = AHardwarePalette.LocateStdRGB(APalette.Colors[i].GetStdRGB());
    AHeader[3 * i] = static_cast<uint8_t>('0' + ((code >> 2) & 3));
    AHeader[3 * i + 1] = static_cast<uint8_t>('0' + ((code >> 4) & 3));
    AHeader[3 * i + 2] = static_cast<uint8_t>('0' + (code & 3));
  }
  AHeader[51] = AHeader[52] = static_cast<uint8_t>(APalette.FindNearestStdRGB(ABorderColor));
}

bool CheckATMGrfHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, ATMGrfHeaderSize)) return false;
  for (uint8_t digit : AHeader.Row(0, 48))
    if (digit < '0' || digit > '3') return false;
  const int64_t b = AHeader.U8(130), h = AHeader.U8(131);
  // A uniform picture of at most 255 cells is one run: exactly W*H + 134.
  return b >= 1 && b <= 128 && h != 0 && AFileSize >= b * h + 134;
}

int64_t EncodeATMGrfAttributes(uint8_t* AData, int64_t ASize) {
  const uint8_t* in = AData + 2 * ASize;
  const uint8_t* end = in + ASize;
  uint8_t* out = AData + ASize;
  while (in < end) {
    const uint8_t v = *in;
    int n = 1;
    while (in + n < end && n < 255 && in[n] == v) ++n;
    in += n;
    *out++ = static_cast<uint8_t>(n);
    *out++ = v;
  }
  return out - AData;
}

bool CheckATMGrfRuns(const TKvBytes& ARuns, int64_t ACount, bool& AExact) {
  int64_t LDone = 0;
  for (int64_t o = 0; LDone < ACount; o += 2) {
    if (!ARuns.Has(o, 2) || ARuns.U8(o) == 0) return false;
    LDone += ARuns.U8(o);
  }
  AExact = LDone == ACount;
  return true;
}
