// K-means quantization of a 1024 x 768 photo-like picture (a smooth
// gradient with noise, so nearly every pixel is a colour of its own).
//
// BM_KMeans/<colours>/<threads>: the quantization alone, of a working image
// made beforehand; peak_heap_MB is what the quantization itself took,
// palette_fold the palette's bytes folded into 24 bits (a faster build must
// show the same).
// BM_KMeansPath/<colours>/<threads>: the whole road as the Common "Palette"
// converter walks it with its default options (the working image made from
// the bitmap, the trial dithering to the level table, the quantization and
// the mapping of the picture to the result palette); peak_heap_MB is the
// peak of all of it, the bitmap it starts from excluded.
// BM_Common2048/<mode>: the Common "Palette" (0) and "B/W" (1) converters
// with their defaults on a 2048x2048 photo-like picture, the largest the
// settings allow; peak_heap_MB as above.
//
// Every heap block is counted, the C allocator's included, through the
// hooks below. Options of this program (before Google Benchmark's own):
//   --threads=1,4        the thread counts to run (default: 1 and all the
//                        processors this process may use)
//   --write_photo=FILE   writes the picture as a PNG file and exits (for
//                        running other quantizers on the same picture)
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "app/KvAppUnits.h"
#include "app/KvGraphics.h"
#include "app/KvSavePlatformCommon.h"
#include "bench/ZxBenchConversion.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestProgress.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvStream.h"
#include "core/KvThreadJob.h"
#include "rtl/KvLargeBlocks.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<int64_t> GHeapNow{0}, GHeapPeak{0};

void NoteBytes(int64_t n) {
  const int64_t now = GHeapNow.fetch_add(n, std::memory_order_relaxed) + n;
  int64_t peak = GHeapPeak.load(std::memory_order_relaxed);
  while (now > peak && !GHeapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void NoteAlloc(void* p) {
  if (p) NoteBytes(int64_t(malloc_usable_size(p)));
}

// The large blocks come from their own regions, not from malloc: counted as
// they are handed out and taken back.
const bool GLargeBlocksCounted = (KvObserveLargeBlocks(NoteBytes), true);

void NoteFree(void* p) {
  if (p) GHeapNow.fetch_sub(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
}

}  // namespace

// The C allocator itself, so that operator new, calloc and the libraries'
// blocks are all counted once.
extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  NoteAlloc(p);
  return p;
}
void* calloc(size_t n, size_t m) {
  void* p = __libc_calloc(n, m);
  NoteAlloc(p);
  return p;
}
void* realloc(void* p, size_t n) {
  const int64_t old = p ? int64_t(malloc_usable_size(p)) : 0;
  void* q = __libc_realloc(p, n);
  // A failed realloc keeps the old block; a realloc to 0 frees it.
  if (q || n == 0) GHeapNow.fetch_sub(old, std::memory_order_relaxed);
  NoteAlloc(q);
  return q;
}
void free(void* p) {
  NoteFree(p);
  __libc_free(p);
}
int posix_memalign(void** r, size_t a, size_t n) {
  void* p = __libc_memalign(a, n);
  if (!p) return ENOMEM;
  NoteAlloc(p);
  *r = p;
  return 0;
}
void* aligned_alloc(size_t a, size_t n) {
  void* p = __libc_memalign(a, n);
  NoteAlloc(p);
  return p;
}
void* memalign(size_t a, size_t n) {
  void* p = __libc_memalign(a, n);
  NoteAlloc(p);
  return p;
}
}

namespace {

// The picture: a gradient in R and G, a saddle in B, noise of +-10 levels.
const TBitmap32& PhotoBitmap() {
  static const std::unique_ptr<TBitmap32> bmp = [] {
    const int W = 1024, H = 768;
    auto b = std::make_unique<TBitmap32>(W, H);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> d(-10, 10);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        auto ch = [&](int v) { return uint32_t(std::clamp(v + d(rng), 0, 255)); };
        const int r = x * 255 / W;
        const int g = y * 255 / H;
        const int bl = 128 + ((x - W / 2) * (y - H / 2)) / 3000;
        const uint32_t cr = ch(r), cg = ch(g), cb = ch(bl);
        *b->GetPixelPtr(x, y) = 0xFF000000u | (cr << 16) | (cg << 8) | cb;
      }
    return b;
  }();
  return *bmp;
}

const TKvImage& Photo() {
  static const std::unique_ptr<TKvImage> img =
      std::make_unique<TKvImage>(const_cast<TBitmap32&>(PhotoBitmap()));
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
  // The palette's bytes folded into 24 bits (exact in the counter's double),
  // to see at a glance that a faster build gives the same palette.
  uint32_t fold = 0;
  for (const TKvStdRGBColor& c : o.Palette)
    fold = ((fold * 31u) ^ ((uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B)) & 0xFFFFFFu;
  state.counters["palette_fold"] = fold;
  state.counters["distinct_colors"] = o.Colors;
  state.counters["processors"] = ProcessorCount;
  state.counters["peak_heap_MB"] = o.PeakMB;
}

void BM_KMeans(benchmark::State& state) { BM_Run<TKvQuantization>(state); }
// Converts ABitmap with the defaults of AEngine; the peak heap of the
// conversion in MB.
double ConvertCounted(const TKvDestEngineClass& AEngine, TBitmap32& ABitmap, int AMaxColors, int& AColors) {
  auto converter = AEngine.Create();
  auto options = converter->CreateOptions();
  if (AMaxColors > 0) options->SetMaxColorCount(AMaxColors);
  options->UpdatePalette();
  TKvDestProgress progress;
  bool abort = false;
  std::unique_ptr<TKvStreamList> streams;
  const int64_t base = GHeapNow.load();
  GHeapPeak.store(base);
  auto result = AEngine.Convert(&abort, ABitmap, nullptr, nullptr, *options, progress, streams);
  benchmark::DoNotOptimize(result.get());
  AColors = options->GetPalette()->Count;
  return double(GHeapPeak.load() - base) / 1e6;
}

void BM_KMeansPath(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto force = Force(static_cast<int>(state.range(1)));
  InitializeAppCore();
  TBitmap32& bmp = const_cast<TBitmap32&>(PhotoBitmap());
  double peak = 0;
  int colors = 0;
  for (auto _ : state) peak = ConvertCounted(DestEngineClass<TKvCustomPaletteEngine>(), bmp, count, colors);
  state.counters["peak_heap_MB"] = peak;
  state.counters["result_colors"] = colors;
  state.counters["processors"] = ProcessorCount;
}

void BM_Common2048(benchmark::State& state) {
  const auto force = Force(static_cast<int>(state.range(1)));
  InitializeAppCore();
  static const std::unique_ptr<TBitmap32> picture = PhotoLikePicture(2048, 2048);
  const TKvDestEngineClass& engine = state.range(0) == 0
                                         ? DestEngineClass<TKvCustomPaletteEngine>()
                                         : static_cast<const TKvDestEngineClass&>(DestEngineClass<TKvCustomBWEngine>());
  double peak = 0;
  int colors = 0;
  for (auto _ : state) peak = ConvertCounted(engine, *picture, 0, colors);
  state.counters["peak_heap_MB"] = peak;
  state.counters["result_colors"] = colors;
  state.counters["processors"] = ProcessorCount;
}

void WritePhoto(const std::string& AFileName) {
  auto b24 = TKvBitmap24::CreateFromBitmap32(PhotoBitmap());
  TPngImage png;
  png.Assign(*b24);
  png.SaveToFile(AFileName);
}

std::vector<int> ParseThreads(const char* AList) {
  std::vector<int> r;
  for (const char* p = AList; *p;) {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p || v < 1 || v > 1024) {
      std::fprintf(stderr, "bad --threads list: %s\n", AList);
      std::exit(2);
    }
    r.push_back(int(v));
    p = *end == ',' ? end + 1 : end;
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> threads;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], "--threads=", 10) == 0) {
      threads = ParseThreads(argv[i] + 10);
    } else if (i > 0 && std::strncmp(argv[i], "--write_photo=", 14) == 0) {
      WritePhoto(argv[i] + 14);
      return 0;
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (threads.empty()) {
    threads.push_back(1);
    if (ProcessorCount > 1) threads.push_back(ProcessorCount);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  for (const int t : threads) {
    for (const int colors : {16, 256}) {
      benchmark::RegisterBenchmark("BM_KMeans", BM_KMeans)->Args({colors, t})->UseManualTime()->Iterations(1)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("BM_KMeansPath", BM_KMeansPath)->Args({colors, t})->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
    for (const int mode : {0, 1})
      benchmark::RegisterBenchmark("BM_Common2048", BM_Common2048)->Args({mode, t})->Iterations(1)
          ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
