// K-means quantization of a 1024 x 768 photo-like picture (a smooth
// gradient with noise, so nearly every pixel is a colour of its own) to 16
// and to 256 colours, with all processors and with one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvThreadJob.h"

namespace {

const TKvImage& Photo() {
  static const std::unique_ptr<TKvImage> img = [] {
    const int W = 1024, H = 768;
    auto p = std::make_unique<TKvImage>(W, H);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> d(-10, 10);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        auto ch = [&](int v) { return uint8_t(std::clamp(v + d(rng), 0, 255)); };
        const int r = x * 255 / W;
        const int g = y * 255 / H;
        const int b = 128 + ((x - W / 2) * (y - H / 2)) / 3000;
        p->GetPixels(x, y)->InitRGB(ch(r), ch(g), ch(b));
      }
    return p;
  }();
  return *img;
}

void BM_KMeans(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const int procs = static_cast<int>(state.range(1));
  std::unique_ptr<TKvProcessorCountOverride> force;
  if (procs > 0) force = std::make_unique<TKvProcessorCountOverride>(procs);
  const TKvImage& src = Photo();
  int iterations = 0, colors = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TKvImage img(src);
    state.ResumeTiming();
    TKvQuantization q;
    TKvPalette256 res;
    q.Quantize(nullptr, img, count, false, 0, res, nullptr, nullptr);
    iterations = q.GetIterationCount();
    colors = q.GetColorCount();
    benchmark::DoNotOptimize(res.Count);
  }
  state.counters["kmeans_iterations"] = iterations;
  state.counters["distinct_colors"] = colors;
  state.counters["processors"] = ProcessorCount;
}
// Arguments: wanted colours, processors (0 = the machine's).
BENCHMARK(BM_KMeans)->Args({16, 0})->Args({256, 0})->Args({16, 1})->Args({256, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
