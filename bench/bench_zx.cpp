// A whole conversion to the standard ZX Spectrum screen: a 1024x768
// photo-like picture (gradient plus noise) fitted to 256x192 with the Lanczos
// kernel, solved in 8x8 attribute cells, and the ".scr" file written.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/KvAppUnits.h"
#include "app/KvDest.h"
#include "bitmap/B32.h"
#include "core/KvStream.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrum.h"

namespace {

std::unique_ptr<TBitmap32> PhotoLikePicture(int AWidth, int AHeight) {
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

void WriteFile(const std::string& AName, TKvStream& AStream) {
  std::ofstream f(AName, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(AStream.GetMemory()), static_cast<std::streamsize>(AStream.GetSize()));
}

void RunConversion(benchmark::State& AState, uint8_t APaletteMode) {
  InitializeAppCore();
  auto picture = PhotoLikePicture(1024, 768);
  const TKvDestEngineClass& cls = DestEngineClass<TKvZxSpectrumEngine>();
  auto engine = cls.Create();
  const std::string out = (std::filesystem::temp_directory_path() / "kovrel_bench_zx.scr").string();
  for (auto _ : AState) {
    auto options = engine->CreateOptions();
    options->SetPaletteMode(APaletteMode);
    options->UpdatePalette();
    TKvDestResizeJob fit(*picture, options->GetWidth(), options->GetHeight(), options->GetPixelAspectRatio(),
                         options->Position, false);
    fit.Run();
    TKvDestProgress progress;
    bool abort = false;
    std::unique_ptr<TKvStreamList> streams;
    auto preview = cls.Convert(&abort, *fit.Fitted, nullptr, nullptr, *options, progress, streams);
    WriteFile(out, *streams->GetStream(0));
    benchmark::DoNotOptimize(preview.get());
  }
  std::remove(out.c_str());
}

void BM_ZxSpectrumColor(benchmark::State& AState) {
  TKvProcessorCountOverride count(static_cast<int32_t>(AState.range(0)));
  RunConversion(AState, 11);
}
BENCHMARK(BM_ZxSpectrumColor)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumGray(benchmark::State& AState) { RunConversion(AState, 1); }
BENCHMARK(BM_ZxSpectrumGray)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumBlackWhite(benchmark::State& AState) { RunConversion(AState, 0); }
BENCHMARK(BM_ZxSpectrumBlackWhite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
