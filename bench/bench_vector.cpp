// Vector-06C "256x256x4 HAM2" on the 1024x768 photo-like picture: the whole
// conversion (fitting, dithering to the 256 colours, the per-line plan of 16
// colours with 2 changes per row, the drawing and the files), and the three
// stages of the conversion on their own over the fitted 256x256 picture.
#include <benchmark/benchmark.h>

#include "ZxBenchConversion.h"
#include "core/KvHAMImage.h"
#include "core/KvImage.h"
#include "platforms/KvPlatformVector.h"
#include "platforms/KvSavePlatformVector.h"

namespace {

using namespace KvSavePlatformVector;

void BM_VectorHAM2(benchmark::State& AState) {
  RunZxBenchConversion(AState, DestEngineClass<TKvVectorHAM2Engine>(), "kovrel_bench_vector.spr",
                       [](TKvDestEngineOptions&) {});
}
BENCHMARK(BM_VectorHAM2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fitted picture, the mode's options and the 256 display colours.
struct TVectorStages {
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TBitmap32> Fitted;
  TKvPalette256 Display;

  TVectorStages() {
    InitializeAppCore();
    auto picture = PhotoLikePicture(1024, 768);
    Options = DestEngineClass<TKvVectorHAM2Engine>().Create()->CreateOptions();
    TKvDestResizeJob fit(*picture, Options->GetWidth(), Options->GetHeight(), Options->GetPixelAspectRatio(),
                         Options->Position, false);
    fit.Run();
    Fitted = std::move(fit.Fitted);
    BuildVectorPalette(static_cast<TKvPaletteType>(Options->PaletteType), Display);
  }
  std::unique_ptr<TKvImage> Dithered() {
    auto image = std::make_unique<TKvImage>(*Fitted);
    image->DitherToPalette(nullptr, *Options, Display, false);
    return image;
  }
};

void BM_VectorHAM2Dithering(benchmark::State& AState) {
  TVectorStages s;
  for (auto _ : AState) benchmark::DoNotOptimize(s.Dithered().get());
}
BENCHMARK(BM_VectorHAM2Dithering)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VectorHAM2Plan(benchmark::State& AState) {
  TVectorStages s;
  auto image = s.Dithered();
  for (auto _ : AState) {
    TKvHAMPalette plan(nullptr, *image, &s.Display, 16, 2, 0, s.Options->PaletteUsage);
    benchmark::DoNotOptimize(plan.GetLineCount());
  }
}
BENCHMARK(BM_VectorHAM2Plan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VectorHAM2Drawing(benchmark::State& AState) {
  TVectorStages s;
  auto image = s.Dithered();
  TKvHAMPalette plan(nullptr, *image, &s.Display, 16, 2, 0, s.Options->PaletteUsage);
  s.Options->SetDitherMethod(0);
  std::vector<uint8_t> block(128 * 256);
  for (auto _ : AState) {
    TKvVectorHAMImage ham(*image, s.Options->PaletteUsage, 2);
    TKvScreen4 screen(256, 256, block.data());
    auto preview = ham.Convert(nullptr, *s.Options, &screen, plan, &s.Display);
    benchmark::DoNotOptimize(preview.get());
  }
}
BENCHMARK(BM_VectorHAM2Drawing)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
