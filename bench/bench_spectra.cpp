// Whole conversions to ZX Spectrum Spectra screens on the 1024x768
// photo-like picture: "256x192 (8x1)" with "64 colors (double byte)" (2080
// candidates for each of 5120 cells, the bottom third in cells two lines
// high) and "256x192 (8x8)" with its defaults, each on one processor and on
// all of them.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrumSpectra.h"

namespace {

// 0 stands for every processor of the machine.
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(0));
  return n == 0 ? ProcessorCount : n;
}

void BM_Spectra8x1DoubleByte64(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvZxSpectrumSpectra8x1Engine>(), "kovrel_bench_spectra.bin",
                       [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored64x2); });
}
BENCHMARK(BM_Spectra8x1DoubleByte64)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Spectra8x8Defaults(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, DestEngineClass<TKvZxSpectrumSpectra8x8Engine>(), "kovrel_bench_spectra.bin",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_Spectra8x8Defaults)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
