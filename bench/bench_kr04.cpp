// Elektronika KR-04 "240x224x4 EGA Gigascreen" on the 1024x768 photo-like
// picture: the bounded quantization of four base colours (among the 16
// bright-mode colours by default, among all 64 EGA colours in "Сolor") and
// the two-frame dithering into their mixtures, each on one processor and on
// all of them.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformElektronikaKR04.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_KR04EGAGigascreenBright(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), "kovrel_bench_kr04.krs",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_KR04EGAGigascreenBright)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KR04EGAGigascreenColour(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), "kovrel_bench_kr04.krs",
                       [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor); });
}
BENCHMARK(BM_KR04EGAGigascreenColour)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
