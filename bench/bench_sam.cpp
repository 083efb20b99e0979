// The SAM Coupé "4 256x192x4 HAM1/127" mode on the 1024x768 photo-like
// picture fitted to 256x192: the whole road (fit, dithering to the 128
// colours, per-line plan of 16 colours with one entry change between rows,
// drawing, ".ss4" file), and its three stages alone: the dithering, the plan
// and the row-by-row drawing with the change list.
#include <benchmark/benchmark.h>

#include <memory>

#include "ZxBenchConversion.h"
#include "core/KvHAMImage.h"
#include "core/KvImage.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvSavePlatformSAMCoupe.h"

namespace {

using namespace KvSavePlatformSAMCoupe;

// The fitted picture and the mode's default options.
struct TFitted {
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TBitmap32> Picture;
  TKvPalette256 Allowed;

  TFitted() {
    InitializeAppCore();
    auto picture = PhotoLikePicture(1024, 768);
    Options = DestEngineClass<TKvSAMCoupeMode4HAMEngine>().Create()->CreateOptions();
    Options->UpdatePalette();
    TKvDestResizeJob fit(*picture, Options->GetWidth(), Options->GetHeight(), Options->GetPixelAspectRatio(),
                         Options->Position, false);
    fit.Run();
    Picture = std::move(fit.Fitted);
    BuildSAMCoupePalette(Allowed);
  }

  // The picture dithered to the 128 colours, as the plan receives it.
  std::unique_ptr<TKvImage> Dithered() {
    auto image = std::make_unique<TKvImage>(*Picture);
    image->DitherToPalette(nullptr, *Options, Allowed, false);
    return image;
  }
};

void BM_SAMHamConversion(benchmark::State& AState) {
  RunZxBenchConversion(AState, DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), "kovrel_bench_sam.ss4",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_SAMHamConversion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SAMHamDithering(benchmark::State& AState) {
  TFitted fitted;
  for (auto _ : AState) benchmark::DoNotOptimize(fitted.Dithered().get());
}
BENCHMARK(BM_SAMHamDithering)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SAMHamPlan(benchmark::State& AState) {
  TFitted fitted;
  auto image = fitted.Dithered();
  for (auto _ : AState) {
    AState.PauseTiming();
    image = fitted.Dithered();
    AState.ResumeTiming();
    TKvHAMPalette plan(nullptr, *image, &fitted.Allowed, 16, 1, SAMMaxLineChanges, 2);
    AState.counters["passes"] = plan.GetPassCount();
  }
}
BENCHMARK(BM_SAMHamPlan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SAMHamDrawing(benchmark::State& AState) {
  TFitted fitted;
  auto image = fitted.Dithered();
  TKvHAMPalette plan(nullptr, *image, &fitted.Allowed, 16, 1, SAMMaxLineChanges, 2);
  fitted.Options->SetDitherMethod(0);
  std::vector<uint8_t> file(SAMScreenFileSize, 0);
  for (auto _ : AState) {
    TKvScreen4 screen(256, 192, file.data());
    TKvSAMCoupeHAMImage ham(*image, file.data() + SAMScreenSize);
    auto preview = ham.Convert(nullptr, *fitted.Options, &screen, plan, &fitted.Allowed);
    benchmark::DoNotOptimize(preview.get());
  }
}
BENCHMARK(BM_SAMHamDrawing)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
