// Untrusted bytes (a file, a companion file, a block cut out of a container)
// are read through one bounded view, so that the bound is visible where a
// byte is read: Has() asks, U8()/Le16()/... read or raise, Row() and Sub()
// give only what lies inside. Offsets and counts are 64-bit and never wrap.
// A bad file raises one of the named reader errors of core/KvErrors.h.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "core/KvErrors.h"

// The view ------------------------------------------------------------------

class TKvBytes {
public:
  TKvBytes() = default;
  // A null pointer or a negative size gives an empty view.
  TKvBytes(const uint8_t* AData, int64_t ASize)
      : FData(AData && ASize > 0 ? AData : nullptr), FSize(FData ? ASize : 0) {}
  explicit TKvBytes(const std::vector<uint8_t>& ABytes)
      : TKvBytes(ABytes.data(), static_cast<int64_t>(ABytes.size())) {}

  int64_t Size() const { return FSize; }
  bool Empty() const { return FSize == 0; }

  // True when [AOffset, AOffset + ACount) lies inside the data.
  bool Has(int64_t AOffset, int64_t ACount) const {
    return AOffset >= 0 && ACount >= 0 && AOffset <= FSize && ACount <= FSize - AOffset;
  }

  // Checked reads: outside the data they raise the truncated-data error.
  uint8_t U8(int64_t AOffset) const { return At(AOffset, 1)[0]; }
  uint16_t Le16(int64_t AOffset) const {
    const uint8_t* p = At(AOffset, 2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  uint32_t Le24(int64_t AOffset) const {
    const uint8_t* p = At(AOffset, 3);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
  }
  uint32_t Le32(int64_t AOffset) const {
    const uint8_t* p = At(AOffset, 4);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  }
  uint16_t Be16(int64_t AOffset) const {
    const uint8_t* p = At(AOffset, 2);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
  }
  uint32_t Be32(int64_t AOffset) const {
    const uint8_t* p = At(AOffset, 4);
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
  }
  // Copies ACount bytes from AOffset, or raises the truncated-data error.
  void Read(int64_t AOffset, void* ADest, int64_t ACount) const {
    if (ACount > 0) std::memcpy(ADest, At(AOffset, ACount), static_cast<size_t>(ACount));
  }
  // True when the data hold the ACount bytes of AText at AOffset.
  bool Same(int64_t AOffset, const void* AText, int64_t ACount) const {
    return Has(AOffset, ACount) &&
           (ACount == 0 || std::memcmp(FData + AOffset, AText, static_cast<size_t>(ACount)) == 0);
  }

  // The part of [AOffset, AOffset + ACount) that lies inside the data: the
  // whole range, a shorter tail, or nothing.
  std::span<const uint8_t> Row(int64_t AOffset, int64_t ACount) const {
    const TKvBytes w = Sub(AOffset, ACount);
    return {w.FData, static_cast<size_t>(w.FSize)};
  }
  // The same as a view of its own, offsets counted from its start.
  TKvBytes Sub(int64_t AOffset, int64_t ACount) const {
    if (AOffset < 0 || AOffset >= FSize || ACount <= 0) return {};
    return TKvBytes(FData + AOffset, ACount < FSize - AOffset ? ACount : FSize - AOffset);
  }
  // Everything from AOffset on.
  TKvBytes Sub(int64_t AOffset) const { return Sub(AOffset, FSize); }

  // The first byte, for the routines that walk a range that Has() or Row()
  // has bounded; nullptr for an empty view.
  const uint8_t* Data() const { return FData; }

private:
  const uint8_t* At(int64_t AOffset, int64_t ACount) const {
    if (!Has(AOffset, ACount)) RaiseTruncatedData();
    return FData + AOffset;
  }

  const uint8_t* FData = nullptr;
  int64_t FSize = 0;
};
