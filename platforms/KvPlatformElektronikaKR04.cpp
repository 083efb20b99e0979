#include "platforms/KvPlatformElektronikaKR04.h"

#include <cstring>

void InitKR04Header(uint8_t* AHeader, uint8_t AFlags, uint8_t ABorder, uint16_t AWidth, uint16_t AHeight) {
  std::memset(AHeader, 0, KR04HeaderSize);
  std::memcpy(AHeader, "KR04", 4);
  AHeader[4] = AFlags;
  SetKR04HeaderMode(AHeader, ABorder);
  AHeader[8] = static_cast<uint8_t>(AWidth & 0xFF);
  AHeader[9] = static_cast<uint8_t>(AWidth >> 8);
  AHeader[10] = static_cast<uint8_t>(AHeight & 0xFF);
  AHeader[11] = static_cast<uint8_t>(AHeight >> 8);
}

void SetKR04HeaderMode(uint8_t* AHeader, uint8_t AValue) {
  AHeader[4] = static_cast<uint8_t>((AHeader[4] & ~0x18) | ((AValue & 3) << 3));
}

bool CheckKR04Header(const TKvBytes& AFile) {
  if (!AFile.Has(0, KR04HeaderSize) || !AFile.Same(0, "KR04", 4)) return false;
  const int64_t W = AFile.Le16(8);
  const int64_t H = AFile.Le16(10);
  return W > 0 && H > 0 && AFile.Size() == KR04FileSize(AFile.U8(4), W, H);
}

void BuildKR04BRGBPalette(TKvPalette256& APalette) {
  APalette.Clear();
  APalette.AddUniqueLinRGB({0, 0, 0});
  APalette.AddUniqueLinRGB({0, 0, 1});
  APalette.AddUniqueLinRGB({0, 1, 0});
  APalette.AddUniqueLinRGB({1, 0, 0});
}
