// Whole Amstrad CPC conversions of the 1024x768 photo-like picture, fitted to
// the mode's size: mode 0 "0 160x200x4" (quantization to 16 of the 27
// hardware colours, then dithering) and B0 "B0 192x272x8" (dithering to the
// 27 x 27 mixtures for the pair histogram, the choice of 16 pens, then the
// two-frame dithering), each on one processor and on all of them.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformAmstradCPC.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_CPCMode0(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvAmstradCPCMode0Engine>(), "kovrel_bench_cpc.scr",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_CPCMode0)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CPCModeB0(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvAmstradCPCModeB0Engine>(), "kovrel_bench_cpc.pph",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_CPCModeB0)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
