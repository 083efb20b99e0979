// Cell searches of two 8x1-cell colour modes on the 1024x768 photo-like
// picture, each on one processor and on all of them: PC8000 "256x192x4" in
// "Сolor" (120 candidate pairs per cell) and Specialist "384x256 MX" in
// "Сolor" (136 candidate pairs per cell, preview only).
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformPC8000.h"
#include "platforms/KvSavePlatformSpecialist.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_PC8000Colour(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvPC8000Engine>(), "kovrel_bench_pc8000.vm2",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_PC8000Colour)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpecialistMXColour(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvSpecialistMXEngine>(), "kovrel_bench_specialist.sps",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_SpecialistMXColour)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
