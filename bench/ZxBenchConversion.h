// The whole road of a ZX-family conversion for the benchmarks: a 1024x768
// photo-like picture (gradient plus noise), fitted to the mode's size with
// the Lanczos kernel, converted by the engine with its options, and the first
// native file written (when the mode writes one).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "app/KvAppUnits.h"
#include "app/KvDest.h"
#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"

inline std::unique_ptr<TBitmap32> PhotoLikePicture(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 2024;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>((s >> 24) % 49) - 24;
      auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      const uint32_t r = clamp(x * 255 / (AWidth - 1) + n);
      const uint32_t g = clamp((x + 2 * y) * 255 / (AWidth + 2 * AHeight - 3) + n);
      const uint32_t bl = clamp(255 - y * 255 / (AHeight - 1) + n);
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

inline void WriteBenchFile(const std::string& AName, TKvStream& AStream) {
  std::ofstream f(AName, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(AStream.GetMemory()), static_cast<std::streamsize>(AStream.GetSize()));
}

// Runs the conversion of AClass once per iteration; ASetup changes the mode's
// default options first.
template <class TSetup>
void RunZxBenchConversion(benchmark::State& AState, const TKvDestEngineClass& AClass, const char* AFileName,
                          TSetup ASetup) {
  InitializeAppCore();
  auto picture = PhotoLikePicture(1024, 768);
  auto engine = AClass.Create();
  const std::string out = (std::filesystem::temp_directory_path() / AFileName).string();
  for (auto _ : AState) {
    auto options = engine->CreateOptions();
    ASetup(*options);
    options->UpdatePalette();
    TKvDestResizeJob fit(*picture, options->GetWidth(), options->GetHeight(), options->GetPixelAspectRatio(),
                         options->Position, false);
    fit.Run();
    TKvDestProgress progress;
    bool abort = false;
    std::unique_ptr<TKvStreamList> streams;
    auto preview = AClass.Convert(&abort, *fit.Fitted, nullptr, nullptr, *options, progress, streams);
    // Preview-only modes write nothing.
    if (streams && streams->GetCount() > 0) WriteBenchFile(out, *streams->GetStream(0));
    benchmark::DoNotOptimize(preview.get());
  }
  std::remove(out.c_str());
}
