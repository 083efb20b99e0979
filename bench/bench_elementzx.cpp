// eLeMeNt ZX cell searches on the 1024x768 photo-like picture, fitted and
// converted whole: the layered standard screen (840 colour triples per 8x8
// cell), HRXC (136 pairs of 17 quantized colours per 8x4 cell, ".hrx"
// written) and layered HRXC (triples of the 17), on one core and on all.
#include <benchmark/benchmark.h>


#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformElementZX.h"

namespace {

// Argument 0: processors, 0 standing for every one the process may run on.
void Run(benchmark::State& AState, const TKvDestEngineClass& AClass, const char* AFileName) {
  const int32_t n = AState.range(0) > 0 ? static_cast<int32_t>(AState.range(0)) : ProcessorCount;
  TKvProcessorCountOverride count(n);
  RunZxBenchConversion(AState, AClass, AFileName, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor); });
}

void BM_ElementZXLayedSCR(benchmark::State& AState) {
  Run(AState, DestEngineClass<TKvElementZXLayedSCREngine>(), "kovrel_bench_elementzx.scr");
}
BENCHMARK(BM_ElementZXLayedSCR)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ElementZXHRXC(benchmark::State& AState) {
  Run(AState, DestEngineClass<TKvElementZXHRXCEngine>(), "kovrel_bench_elementzx.hrx");
}
BENCHMARK(BM_ElementZXHRXC)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ElementZXLayedHRXC(benchmark::State& AState) {
  Run(AState, DestEngineClass<TKvElementZXLayedHRXCEngine>(), "kovrel_bench_elementzx.hrx");
}
BENCHMARK(BM_ElementZXLayedHRXC)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
