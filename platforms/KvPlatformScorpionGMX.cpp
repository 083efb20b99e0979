#include "platforms/KvPlatformScorpionGMX.h"

#include <cstring>

namespace {
constexpr uint8_t kGmxMagic[5] = {0x47, 0x4D, 0x58, 0x0F, 0x00};
}

void InitGmxHeader(uint8_t* AHeader) {
  std::memset(AHeader, 0, GmxHeaderSize);
  std::memcpy(AHeader, kGmxMagic, sizeof(kGmxMagic));
}

bool CheckGmxHeader(const TKvBytes& AHeader) { return AHeader.Same(0, kGmxMagic, sizeof(kGmxMagic)); }
