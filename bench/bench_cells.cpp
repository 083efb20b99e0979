// Attribute-cell conversion of a fitted 256 x 192 photo-like picture (a
// smooth gradient with noise) under 8 x 8 cells with Floyd-Steinberg, with
// the candidates of a 16-colour ink/paper machine, on one core and on all.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvThreadJob.h"

namespace {

std::unique_ptr<TBitmap32> PhotoLike(int W, int H) {
  auto b = std::make_unique<TBitmap32>(W, H);
  uint32_t seed = 2024;
  auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = static_cast<int>((seed >> 24) % 41) - 20;
      const int r = x * 255 / W + n;
      const int g = (x + y) * 255 / (W + H) - n / 2;
      const int bl = 255 - y * 255 / H + n;
      b->GetScanLine(y)[x] = 0xFF000000u | (clamp(r) << 16) | (clamp(g) << 8) | clamp(bl);
    }
  return b;
}

// Ink and paper from one brightness half of a 16-colour palette.
class TBenchCellImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  std::unique_ptr<TKvBitmap> CreateResult() override {
    return std::make_unique<TKvBitmap4>(FWidth, FHeight, FPalette);
  }
  TKvCellPaletteList* CreatePaletteList() override {
    auto* list = new TKvCellPaletteList;
    for (int bright = 0; bright < 16; bright += 8)
      for (int a = 0; a < 8; ++a)
        for (int b = a; b < 8; ++b) list->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, bright + a, bright + b));
    return list;
  }
  void SetCellAttr(TKvCellScreen*, int, int, TKvCellPalette*) override {}
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACell, int AIndex) override {
    AResult->SetPixel(X, Y, AIndex ? ACell->IndexB : ACell->IndexA);
  }
  void SetTargetPixel(TKvCellScreen*, int, int, TKvCellPalette*, int) override {}
};

void BM_CellConversion(benchmark::State& state) {
  const int procs = static_cast<int>(state.range(0));
  const int32_t machine = ProcessorCount;
  TKvProcessorCountOverride force(procs == 0 ? machine : procs);
  auto bmp = PhotoLike(256, 192);
  auto options = TKvDestEngineOptions::Create();
  TKvPalette256& pal = *options->GetPalette();
  for (int i = 0; i < 16; ++i) {
    const uint8_t on = i < 8 ? 0xD7 : 0xFF;
    pal.AddRGB(i & 2 ? on : 0, i & 4 ? on : 0, i & 1 ? on : 0);
  }
  options->SetDitherMethod(1);
  for (auto _ : state) {
    TBenchCellImage img(8, 8, *bmp);
    TKvDestProgress progress;
    std::unique_ptr<TKvBitmap> result = img.Convert(nullptr, *options, &progress, nullptr);
    benchmark::DoNotOptimize(result.get());
  }
  state.counters["processors"] = ProcessorCount;
}

}  // namespace

// 0 stands for every processor of the machine.
BENCHMARK(BM_CellConversion)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

namespace {

// The working image of a picture: one colour record per pixel from the
// bitmap's bytes (the first step of every conversion).
void BM_WorkingImage(benchmark::State& state) {
  const int procs = static_cast<int>(state.range(0));
  TKvProcessorCountOverride force(procs == 0 ? ProcessorCount : procs);
  auto bmp = PhotoLike(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
  for (auto _ : state) {
    TKvImage img(*bmp);
    benchmark::DoNotOptimize(img.GetData());
  }
  state.counters["processors"] = ProcessorCount;
}

}  // namespace

BENCHMARK(BM_WorkingImage)
    ->Args({1, 256, 192})
    ->Args({0, 256, 192})
    ->Args({1, 1024, 768})
    ->Args({0, 1024, 768})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
