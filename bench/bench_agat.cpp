// Palette searches of the Agat and Lvov converters on the 1024x768
// photo-like picture: Lvov "256x256x2" with "Auto" (42 palette-port trials)
// on one processor and on all of them, Agat "128x128x4 HAM" (32 band
// quantizations) and Agat "128x128x8 Gigascreen" in "4096 colors" (bounded
// quantization to 16 base colours, then the two-frame dithering), each also
// on one processor and on all.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformAgat.h"
#include "platforms/KvSavePlatformLvov.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_LvovAuto(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvLvovEngine>(), "kovrel_bench_lvov.lvs",
                       [](TKvDestEngineOptions& o) { o.SetPaletteIndex(0); });
}
BENCHMARK(BM_LvovAuto)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AgatHAM(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvAgat7Engine128x128HAM>(), "kovrel_bench_agat_ham.fil",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_AgatHAM)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AgatGigascreen4096(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvAgat7Engine128x128Ex>(), "kovrel_bench_agat_giga.fil",
                       [](TKvDestEngineOptions& o) {
                         o.SetPaletteType(ptColored4096);
                         o.SetPaletteMode(pmColor);
                       });
}
BENCHMARK(BM_AgatGigascreen4096)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
