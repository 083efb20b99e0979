// K-means quantization of a 1024 x 768 photo-like picture (a smooth
// gradient with noise, so nearly every pixel is a colour of its own) to 16
// and to 256 colours, with all processors and with one, by the present
// implementation and by the previous one (bench/KvKMeansPrevious.h).
//
// BM_KMeans reports the present one; BM_KMeansPrevious the previous one;
// BM_KMeansCompare runs both once on the same arguments and reports the
// speed-up and whether the palettes and the pass counts agree. Every run
// also reports the peak heap the quantization itself took (the picture
// excluded), counted by the allocation hooks below.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>

#include "bench/KvKMeansPrevious.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvThreadJob.h"

namespace {

std::atomic<int64_t> GHeapNow{0}, GHeapPeak{0};

void NoteAlloc(void* p) {
  if (!p) return;
  const int64_t now = GHeapNow.fetch_add(int64_t(malloc_usable_size(p))) + int64_t(malloc_usable_size(p));
  int64_t peak = GHeapPeak.load();
  while (now > peak && !GHeapPeak.compare_exchange_weak(peak, now)) {
  }
}

// Out of line, so the compiler does not pair the replaced operator new with
// free.
[[gnu::noinline]] void FreeCounted(void* p) {
  GHeapNow.fetch_sub(int64_t(malloc_usable_size(p)));
  std::free(p);
}

}  // namespace

void* operator new(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  NoteAlloc(p);
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
  if (p) FreeCounted(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

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

struct TOutcome {
  std::vector<TKvStdRGBColor> Palette;
  int Iterations = 0;
  int Colors = 0;
  double Seconds = 0;
  double PeakMB = 0;
};

// One quantization of a fresh copy of the picture.
template <class TQuantization>
TOutcome RunOnce(int ACount) {
  TKvImage img(Photo());
  TOutcome o;
  const int64_t base = GHeapNow.load();
  GHeapPeak.store(base);
  const auto t0 = std::chrono::steady_clock::now();
  {
    TQuantization q;
    TKvPalette256 res;
    q.Quantize(nullptr, img, ACount, false, 0, res, nullptr, nullptr);
    o.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    o.Iterations = q.GetIterationCount();
    o.Colors = q.GetColorCount();
    for (int i = 0; i < res.Count; ++i) o.Palette.push_back(res.GetStdRGB(i));
  }
  o.PeakMB = double(GHeapPeak.load() - base) / 1e6;
  return o;
}

std::unique_ptr<TKvProcessorCountOverride> Force(int AProcs) {
  return AProcs > 0 ? std::make_unique<TKvProcessorCountOverride>(AProcs) : nullptr;
}

template <class TQuantization>
void BM_Run(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto force = Force(static_cast<int>(state.range(1)));
  Photo();
  TOutcome o;
  for (auto _ : state) {
    o = RunOnce<TQuantization>(count);
    state.SetIterationTime(o.Seconds);
  }
  state.counters["kmeans_iterations"] = o.Iterations;
  state.counters["distinct_colors"] = o.Colors;
  state.counters["processors"] = ProcessorCount;
  state.counters["peak_heap_MB"] = o.PeakMB;
}

void BM_KMeans(benchmark::State& state) { BM_Run<TKvQuantization>(state); }
void BM_KMeansPrevious(benchmark::State& state) { BM_Run<TKvPrevQuantization>(state); }

void BM_KMeansCompare(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto force = Force(static_cast<int>(state.range(1)));
  Photo();
  TOutcome now, prev;
  for (auto _ : state) {
    now = RunOnce<TKvQuantization>(count);
    prev = RunOnce<TKvPrevQuantization>(count);
    state.SetIterationTime(now.Seconds);
  }
  state.counters["previous_s"] = prev.Seconds;
  state.counters["present_s"] = now.Seconds;
  state.counters["speedup"] = prev.Seconds / now.Seconds;
  state.counters["same_result"] = now.Palette == prev.Palette && now.Iterations == prev.Iterations;
  state.counters["previous_peak_MB"] = prev.PeakMB;
  state.counters["present_peak_MB"] = now.PeakMB;
  state.counters["processors"] = ProcessorCount;
}

// Arguments: wanted colours, processors (0 = the machine's).
BENCHMARK(BM_KMeans)->Args({16, 0})->Args({256, 0})->Args({16, 1})->Args({256, 1})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KMeansPrevious)->Args({16, 0})->Args({256, 0})->Args({16, 1})->Args({256, 1})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KMeansCompare)->Args({256, 0})->Args({256, 1})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
