// Whole ZX Spectrum conversions of a 1024x768 photo-like picture (gradient
// plus noise): fitted to 256x192 with the Lanczos kernel, solved in
// attribute cells, and the first native file written. The standard screen
// in 8x8 cells; the gigascreen modes "256x192x4 Giga" and "MultiGiga 8x1"
// with every colour usage allowed, the largest candidate list.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformZxSpectrum.h"

namespace {

void RunConversion(benchmark::State& AState, TKvPaletteMode APaletteMode) {
  RunZxBenchConversion(AState, DestEngineClass<TKvZxSpectrumEngine>(), "kovrel_bench_zx.scr",
                       [&](TKvDestEngineOptions& o) { o.SetPaletteMode(APaletteMode); });
}

void BM_ZxSpectrumColor(benchmark::State& AState) {
  TKvProcessorCountOverride count(static_cast<int32_t>(AState.range(0)));
  RunConversion(AState, pmColor);
}
BENCHMARK(BM_ZxSpectrumColor)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumGray(benchmark::State& AState) { RunConversion(AState, pmGray); }
BENCHMARK(BM_ZxSpectrumGray)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumBlackWhite(benchmark::State& AState) { RunConversion(AState, pmBlackWhite); }
BENCHMARK(BM_ZxSpectrumBlackWhite)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunGigascreen(benchmark::State& AState, const TKvDestEngineClass& AClass, const char* AOut) {
  TKvProcessorCountOverride count(static_cast<int32_t>(AState.range(0)));
  RunZxBenchConversion(AState, AClass, AOut, [](TKvDestEngineOptions& o) { o.SetColorUsage(cuDarkAndBright); });
}

void BM_ZxSpectrumGiga(benchmark::State& AState) {
  RunGigascreen(AState, DestEngineClass<TKvZxSpectrumGigascreenEngine>(), "kovrel_bench_zx.img");
}
BENCHMARK(BM_ZxSpectrumGiga)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZxSpectrumMultiGiga8x1(benchmark::State& AState) {
  RunGigascreen(AState, DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(), "kovrel_bench_zx.mg1");
}
BENCHMARK(BM_ZxSpectrumMultiGiga8x1)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
