// The F18A modes of the TI-99/4A on the 1024x768 photo-like picture fitted to
// 256x192, on one processor and on all: "F18A 256x192x4 Scanline" (a palette
// quantized for every pixel row, then the 8x1 cells of the row) and "F18A
// 256x192x4" (one palette for the picture, then the cells), the whole road
// including the files.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformTI99.h"

namespace {

// Argument 0: processors, 0 standing for every one the process may run on.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_TiF18AScanline(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvTiF18AScanlineEngine>(), "kv_bench_ti99s.tiap",
                       [](TKvDestEngineOptions&) {});
}

void BM_TiF18A(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvTiF18AEngine>(), "kv_bench_ti99.tiap",
                       [](TKvDestEngineOptions&) {});
}

}  // namespace

BENCHMARK(BM_TiF18AScanline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TiF18A)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
