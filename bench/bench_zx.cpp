// A whole conversion to the standard ZX Spectrum screen: a 1024x768
// photo-like picture (gradient plus noise) fitted to 256x192 with the Lanczos
// kernel, solved in 8x8 attribute cells, and the ".scr" file written.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrum.h"

namespace {

void RunConversion(benchmark::State& AState, uint8_t APaletteMode) {
  RunZxBenchConversion(AState, DestEngineClass<TKvZxSpectrumEngine>(), "kovrel_bench_zx.scr",
                       [&](TKvDestEngineOptions& o) { o.SetPaletteMode(APaletteMode); });
}

void BM_ZxSpectrumColor(benchmark::State& AState) {
  TKvProcessorCountOverride count(static_cast<int32_t>(AState.range(0)));
  RunConversion(AState, 11);
}
BENCHMARK(BM_ZxSpectrumColor)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumGray(benchmark::State& AState) { RunConversion(AState, 1); }
BENCHMARK(BM_ZxSpectrumGray)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumBlackWhite(benchmark::State& AState) { RunConversion(AState, 0); }
BENCHMARK(BM_ZxSpectrumBlackWhite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
