// Pictures made for the ZX converter tests.
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"

// A smooth colour gradient with a little deterministic noise.
inline std::unique_ptr<TBitmap32> ZxTestPicture(int AWidth, int AHeight, uint32_t ASeed = 1) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = ASeed;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>((s >> 24) % 41) - 20;
      auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      const uint32_t r = clamp(x * 255 / (AWidth - 1) + n);
      const uint32_t g = clamp(y * 255 / (AHeight - 1) + n);
      const uint32_t bl = clamp(255 - (x + y) * 255 / (AWidth + AHeight - 2) + n);
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

inline std::unique_ptr<TBitmap32> ZxSolidPicture(int AWidth, int AHeight, uint32_t AColor) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFF000000u | AColor;
  return b;
}

struct TZxConversion {
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TKvBitmap> Preview;
  std::unique_ptr<TKvStreamList> Streams;
  const uint8_t* Bytes(int i) const { return Streams->GetStream(i)->GetMemory(); }
  int64_t Size(int i) const { return Streams->GetStream(i)->GetSize(); }
};

// Runs engine class AClass on APicture with its default options, changed by
// ASetup first.
template <class TSetup>
TZxConversion ZxConvert(const TKvDestEngineClass& AClass, TBitmap32& APicture, TSetup ASetup) {
  TZxConversion r;
  auto engine = AClass.Create();
  r.Options = engine->CreateOptions();
  ASetup(*r.Options);
  TKvDestProgress progress;
  bool abort = false;
  r.Preview = AClass.Convert(&abort, APicture, nullptr, nullptr, *r.Options, progress, r.Streams);
  return r;
}
inline TZxConversion ZxConvert(const TKvDestEngineClass& AClass, TBitmap32& APicture) {
  return ZxConvert(AClass, APicture, [](TKvDestEngineOptions&) {});
}
