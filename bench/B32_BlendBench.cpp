// Throughput of the bound span blends and fills over one 1024-pixel row.
#include <benchmark/benchmark.h>

#include <vector>

#include "bitmap/B32_Blend.h"
#include "bitmap/B32_LowLevel.h"
#include "bitmap/B32_UnitInit.h"

namespace {

std::vector<TColor32> Row(uint32_t seed) {
  std::vector<TColor32> v(1024);
  for (auto& c : v) {
    seed = seed * 1664525u + 1013904223u;
    c = seed;
  }
  return v;
}

void BM_BlendSpan(benchmark::State& state) {
  InitializeBitmapLibrary();
  const auto src = Row(1);
  auto dst = Row(2);
  for (auto _ : state) {
    BlendSpan(src.data(), dst.data(), int32_t(dst.size()));
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(dst.size()));
}
BENCHMARK(BM_BlendSpan);

void BM_BlendSpanMaster(benchmark::State& state) {
  InitializeBitmapLibrary();
  const auto src = Row(1);
  auto dst = Row(2);
  for (auto _ : state) {
    BlendSpanMaster(src.data(), dst.data(), int32_t(dst.size()), 200);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(dst.size()));
}
BENCHMARK(BM_BlendSpanMaster);

void BM_MergeSpan(benchmark::State& state) {
  InitializeBitmapLibrary();
  const auto src = Row(1);
  auto dst = Row(2);
  for (auto _ : state) {
    MergeSpan(src.data(), dst.data(), int32_t(dst.size()));
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(dst.size()));
}
BENCHMARK(BM_MergeSpan);

void BM_BlendPixelIntoMaster(benchmark::State& state) {
  InitializeBitmapLibrary();
  const auto src = Row(1);
  auto dst = Row(2);
  for (auto _ : state) {
    for (size_t i = 0; i < dst.size(); ++i) BlendPixelIntoMaster(src[i], dst[i], 255);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(dst.size()));
}
BENCHMARK(BM_BlendPixelIntoMaster);

void BM_FillLongword(benchmark::State& state) {
  InitializeBitmapLibrary();
  std::vector<TColor32> dst(1024);
  for (auto _ : state) {
    FillLongword(dst.data() + 1, int32_t(dst.size()) - 1, 0xFF000000);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(dst.size()));
}
BENCHMARK(BM_FillLongword);

}  // namespace
