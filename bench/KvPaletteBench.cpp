// Nearest-colour searches: the inner loop of every conversion.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/KvPaletteRGB.h"

namespace {

std::vector<TKvColor> Pixels(int n) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> u(0, 255);
  std::vector<TKvColor> v(n);
  for (auto& c : v) {
    c.Clear();
    c.InitRGB(u(rng), u(rng), u(rng));
    c.UpdateCache();
  }
  return v;
}

void BM_FindNearest256(benchmark::State& state) {
  TKvPalette256 p;
  p.FillB2G3R3();
  p.UpdateCache();
  const auto px = Pixels(1024);
  for (auto _ : state)
    for (const auto& c : px) benchmark::DoNotOptimize(p.FindNearestByMetric(0, c));
  state.SetItemsProcessed(state.iterations() * px.size());
}
BENCHMARK(BM_FindNearest256);

void BM_FindNearestMetric16(benchmark::State& state) {
  TKvPalette256 p;
  p.FillGRB16(0xC0);
  p.UpdateCache();
  const auto px = Pixels(1024);
  const uint8_t metric = static_cast<uint8_t>(state.range(0));
  for (auto _ : state)
    for (const auto& c : px) benchmark::DoNotOptimize(p.FindNearestByMetric(metric, c));
  state.SetItemsProcessed(state.iterations() * px.size());
}
BENCHMARK(BM_FindNearestMetric16)->DenseRange(0, 4);

void BM_LevelTableNearest(benchmark::State& state) {
  auto p = TKvPaletteRGB::CreateType(ptRGB888, false);
  const auto px = Pixels(1024);
  for (auto _ : state)
    for (const auto& c : px) benchmark::DoNotOptimize(p->FindNearest(c.GetLinRGB()));
  state.SetItemsProcessed(state.iterations() * px.size());
}
BENCHMARK(BM_LevelTableNearest);

}  // namespace
