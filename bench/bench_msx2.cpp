// The MSX2+ YJK screens on the 1024x768 photo-like picture fitted to
// 256x212, on one processor and on all: SCREEN 12 (the J/K group search over
// every group) and SCREEN 10 "YJK+YAE" (up to 16 palette passes of the group
// search with the error histogram), the whole road including the files.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformMSX.h"

namespace {

// Argument 0: processors, 0 standing for every one the process may run on.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_MSXScreen12(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvMSXScr12Engine>(), "kv_bench_msx.scc",
                       [](TKvDestEngineOptions&) {});
}

void BM_MSXScreen10YJKYAE(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvMSXScr10Engine>(), "kv_bench_msx.sca",
                       [](TKvDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); });
}

}  // namespace

BENCHMARK(BM_MSXScreen12)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MSXScreen10YJKYAE)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
