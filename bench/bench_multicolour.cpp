// Attribute-cell conversion of a 256 x 192 photo-like picture (a gradient
// with noise) to ZX Spectrum screens, on one processor, four and all of them:
// the multicolour engine (8 x 1 cells, no error limit at cell boundaries, so
// every cell is searched on its own; then with the limit), the same settings
// over 8 x 2 and 8 x 8 cells, and the standard engine (8 x 8 cells, error
// limited at the boundaries, so cell rows are searched ahead in batches).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvAppUnits.h"
#include "app/KvDest.h"
#include "bitmap/B32.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

namespace {

std::unique_ptr<TBitmap32> PhotoLikePicture(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 1987;
  auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>((s >> 24) % 49) - 24;
      const uint32_t r = clamp(x * 255 / (AWidth - 1) + n);
      const uint32_t g = clamp((2 * x + y) * 255 / (2 * AWidth + AHeight - 3) - n / 2);
      const uint32_t bl = clamp(255 - y * 255 / (AHeight - 1) + n);
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

// A whole engine conversion, files included; ALimit sets "Limit error at
// block boundary" (the multicolour engine's default is off).
template <class TEngine>
void RunEngine(benchmark::State& AState, int ALimit = -1) {
  InitializeAppCore();
  TKvProcessorCountOverride count(Processors(AState));
  auto picture = PhotoLikePicture(256, 192);
  const TKvDestEngineClass& cls = DestEngineClass<TEngine>();
  auto engine = cls.Create();
  auto options = engine->CreateOptions();
  if (ALimit >= 0) options->SetLimitErrorAtBlockBoundary(ALimit != 0);
  options->UpdatePalette();
  for (auto _ : AState) {
    TKvDestProgress progress;
    bool abort = false;
    std::unique_ptr<TKvStreamList> streams;
    auto preview = cls.Convert(&abort, *picture, nullptr, nullptr, *options, progress, streams);
    benchmark::DoNotOptimize(preview.get());
  }
  AState.counters["processors"] = ProcessorCount;
}

void BM_Multicolour8x1(benchmark::State& AState) { RunEngine<TKvZxSpectrumMultiColor1Engine>(AState); }
BENCHMARK(BM_Multicolour8x1)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the error limited at cell boundaries: the cells' searches no
// longer wait for their neighbours and are made ahead in batches.
void BM_Multicolour8x1Limited(benchmark::State& AState) { RunEngine<TKvZxSpectrumMultiColor1Engine>(AState, 1); }
BENCHMARK(BM_Multicolour8x1Limited)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Standard8x8(benchmark::State& AState) { RunEngine<TKvZxSpectrumEngine>(AState); }
BENCHMARK(BM_Standard8x8)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The multicolour settings (cells searched one by one) over taller cells.
void BM_MulticolourCells(benchmark::State& AState) {
  InitializeAppCore();
  TKvProcessorCountOverride count(Processors(AState));
  const int cellHeight = static_cast<int>(AState.range(1));
  auto picture = PhotoLikePicture(256, 192);
  auto options = DestEngineClass<TKvZxSpectrumMultiColor1Engine>().Create()->CreateOptions();
  options->UpdatePalette();
  std::vector<uint8_t> screen(12288);
  for (auto _ : AState) {
    TKvDestProgress progress;
    bool abort = false;
    TKvZxSpectrumColorScreen target(screen.data());
    auto preview = ConvertZxColorCells(&abort, *picture, cellHeight, *options, progress, target);
    benchmark::DoNotOptimize(preview.get());
  }
  AState.counters["processors"] = ProcessorCount;
}
BENCHMARK(BM_MulticolourCells)
    ->Args({1, 2})
    ->Args({0, 2})
    ->Args({1, 8})
    ->Args({0, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
