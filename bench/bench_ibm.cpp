// Whole IBM conversions on the 1024x768 photo-like picture: VGA
// "320x200x8" in "Сolor" (quantization to 256 of the 262,144 colours, then
// dithering), and CGA "Auto" (three trial dithers), each on one processor and
// on all of them.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformIBM.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_VGA320x200Colour(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvVGA320x200Engine>(), "kovrel_bench_vga.bmp",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_VGA320x200Colour)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CGAAuto(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvCGAEngine>(), "kovrel_bench_cga.bmp", [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_CGAAuto)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
