// Whole conversions for the PDP-11 family on the 1024x768 photo-like
// picture: BK-0011 "256x256x2" and "256x256x4 Gigascreen" with "Auto" (16
// trial dithers of the whole picture, one per fixed palette), each on one
// processor and on all of them, and Elektronika MC 0515 "320x200x4" in colour
// (72 candidate pairs for each 8x1 cell).
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformBK0010.h"
#include "platforms/KvSavePlatformElectronikaMS0515.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_BK256x256x2Auto(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvBK1Engine>(), "kovrel_bench_bk.bks", [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_BK256x256x2Auto)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BK256x256x4GigascreenAuto(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvBK2Engine>(), "kovrel_bench_bk.bks", [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_BK256x256x4GigascreenAuto)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MS0515Colour(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvMS0515Engine>(), "kovrel_bench_ms0515.scr",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_MS0515Colour)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
