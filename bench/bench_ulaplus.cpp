// The ULAplus "Color (64 from 256, slow)" mode on the 1024x768 photo-like
// picture fitted to 256x192, on the 8x8 and the 8x1 engine, on one processor
// and on all: the whole road (fit, 64-colour quantization, first cell pass
// over the 2080 pairs, clustering into four CLUTs, final cell pass, file),
// and the first pass and the clustering alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "ZxBenchConversion.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrumUlaPlus.h"

namespace {

// Argument 0: the engine (0 the 8x8, 1 the 8x1); argument 1: processors,
// 0 standing for every one the process may run on.
const TKvDestEngineClass& Engine(const benchmark::State& AState) {
  return AState.range(0) == 0 ? DestEngineClass<TKvULAPlusEngine>() : DestEngineClass<TKvULAPlusTimexEngine>();
}
int32_t Processors(const benchmark::State& AState) {
  const auto n = static_cast<int32_t>(AState.range(1));
  return n == 0 ? ProcessorCount : n;
}

struct TFitted {
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TBitmap32> Picture;
};

TFitted Fit(const TKvDestEngineClass& AClass) {
  InitializeAppCore();
  static auto picture = PhotoLikePicture(1024, 768);
  TFitted f;
  f.Options = AClass.Create()->CreateOptions();
  f.Options->SetPaletteMode(pmColor64Of256);
  f.Options->UpdatePalette();
  TKvDestResizeJob fit(*picture, f.Options->GetWidth(), f.Options->GetHeight(), f.Options->GetPixelAspectRatio(),
                       f.Options->Position, false);
  fit.Run();
  f.Picture = std::move(fit.Fitted);
  return f;
}

// Options ready for the first pass: the 64 colours of the picture.
std::unique_ptr<TKvDestEngineOptions> FirstPassOptions(const TKvDestEngineClass& AClass, TFitted& AFitted,
                                                       TKvImage& AImage) {
  auto options = AClass.Create()->CreateOptions();
  options->Assign(AFitted.Options.get());
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  TKvDestEngine::QuantizePalette(nullptr, AImage, full, 64, *options);
  return options;
}

void BM_UlaPlusSlow(benchmark::State& AState) {
  TKvProcessorCountOverride count(Processors(AState));
  RunZxBenchConversion(AState, Engine(AState), "kovrel_bench_ulaplus.scr",
                       [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); });
}
BENCHMARK(BM_UlaPlusSlow)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->ArgNames({"engine", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_UlaPlusFirstPass(benchmark::State& AState) {
  const TKvDestEngineClass& cls = Engine(AState);
  TFitted fitted = Fit(cls);
  const int cellHeight = fitted.Options->GetCellHeight();
  TKvULAPlusQuantizationImage probe(8, cellHeight, *fitted.Picture);
  auto options = FirstPassOptions(cls, fitted, probe);
  TKvProcessorCountOverride count(Processors(AState));
  for (auto _ : AState) {
    TKvULAPlusQuantizationImage first(8, cellHeight, *fitted.Picture);
    TKvDestProgress progress;
    first.Convert(nullptr, *options, &progress, nullptr);
    benchmark::DoNotOptimize(first.GetColors()->GetCount());
  }
}
BENCHMARK(BM_UlaPlusFirstPass)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->ArgNames({"engine", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_UlaPlusClustering(benchmark::State& AState) {
  const TKvDestEngineClass& cls = Engine(AState);
  TFitted fitted = Fit(cls);
  TKvULAPlusQuantizationImage first(8, fitted.Options->GetCellHeight(), *fitted.Picture);
  auto options = FirstPassOptions(cls, fitted, first);
  TKvDestProgress progress;
  first.Convert(nullptr, *options, &progress, nullptr);
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  AState.counters["pairs"] = first.GetColors()->GetCount();
  TKvProcessorCountOverride count(Processors(AState));
  for (auto _ : AState) {
    TKvPalette256 result;
    TKvULAPlusQuantization clusters;
    clusters.Quantize(nullptr, first.GetColors(), false, result, &full);
    benchmark::DoNotOptimize(result.Count);
  }
}
BENCHMARK(BM_UlaPlusClustering)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->ArgNames({"engine", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
