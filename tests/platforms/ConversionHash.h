// A hash of everything a conversion hands back (the preview, its frames and
// every native file with its extension), and the fixed pictures the pin tests
// convert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"

// FNV-1a, 64 bits.
struct THash {
  uint64_t V = 1469598103934665603ull;
  void Add(const void* AData, size_t ASize) {
    const auto* p = static_cast<const uint8_t*>(AData);
    for (size_t i = 0; i < ASize; ++i) {
      V ^= p[i];
      V *= 1099511628211ull;
    }
  }
  void Add32(uint32_t AValue) { Add(&AValue, sizeof AValue); }
};

inline void HashPicture(THash& AHash, TKvBitmap& ABitmap) {
  auto b = ABitmap.ToBitmap32(1, 1);
  AHash.Add32(static_cast<uint32_t>(b->GetWidth()));
  AHash.Add32(static_cast<uint32_t>(b->GetHeight()));
  for (int y = 0; y < b->GetHeight(); ++y)
    for (int x = 0; x < b->GetWidth(); ++x) AHash.Add32(b->GetPixel(x, y) & 0xFFFFFFu);
}

// Picture 0: a gradient with noise; picture 1: hard-edged blocks and stripes
// of saturated colours over a dark ramp.
inline std::unique_ptr<TBitmap32> PinPicture(int AKind, int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 77u + static_cast<uint32_t>(AKind);
  auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      uint32_t r, g, bl;
      if (AKind == 0) {
        const int n = static_cast<int>((s >> 24) % 45) - 22;
        r = clamp(x * 255 / (AWidth - 1) + n);
        g = clamp(y * 255 / (AHeight - 1) - n);
        bl = clamp(255 - (x + y) * 255 / (AWidth + AHeight - 2) + n);
      } else {
        const int block = ((x / 13) * 7 + (y / 11) * 3) % 9;
        const bool stripe = ((x + 2 * y) / 5) % 4 == 0;
        r = block & 1 ? 230 : 20 + y % 40;
        g = block & 2 ? 200 : 10 + x % 50;
        bl = block & 4 ? 240 : 30;
        if (stripe) r = g = bl = (s >> 24) & 1 ? 255 : 0;
      }
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

// Converts APicture with AOptions through the class descriptor and hashes the
// preview, its frames and the streams.
inline uint64_t HashConversion(const TKvDestEngineClass& AClass, TKvDestEngineOptions& AOptions,
                               TBitmap32& APicture) {
  TKvDestProgress progress;
  bool abort = false;
  std::unique_ptr<TKvStreamList> streams;
  auto preview = AClass.Convert(&abort, APicture, nullptr, nullptr, AOptions, progress, streams);
  THash h;
  if (preview) {
    HashPicture(h, *preview);
    if (TKvBitmapList* frames = preview->GetFrames())
      for (int i = 0; i < frames->GetCount(); ++i) HashPicture(h, *frames->GetBitmap(i));
  }
  for (int i = 0; streams && i < streams->GetCount(); ++i) {
    h.Add(streams->GetExtension(i).data(), streams->GetExtension(i).size());
    h.Add(streams->GetStream(i)->GetMemory(), static_cast<size_t>(streams->GetStream(i)->GetSize()));
  }
  return h.V;
}
