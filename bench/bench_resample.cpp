// Fitting a large picture with the Lanczos kernel (the first step of every
// conversion) and zooming a preview with the nearest resampler.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bitmap/B32.h"
#include "bitmap/B32_Resamplers.h"

namespace {

void FillPattern(TCustomBitmap32& B) {
  uint32_t S = 12345;
  TColor32* P = B.GetBits();
  for (int64_t I = 0, N = int64_t(B.GetWidth()) * B.GetHeight(); I < N; ++I) {
    S = S * 1664525u + 1013904223u;
    P[I] = 0xFF000000u | (S >> 8);
  }
}

// The application's fit: Lanczos kernel, dmBlend onto a page cleared to white.
void BM_LanczosFit(benchmark::State& State) {
  TBitmap32 Src(4000, 3000);
  FillPattern(Src);
  Src.SetResamplerClassName("TKernelResampler");
  static_cast<TKernelResampler*>(Src.GetResampler())->SetKernelClassName("TLanczosKernel");
  Src.SetDrawMode(dmBlend);
  const int32_t W = static_cast<int32_t>(State.range(0)), H = static_cast<int32_t>(State.range(1));
  TBitmap32 Dst(W, H);
  for (auto _ : State) {
    Dst.Clear(0xFFFFFFFF);
    Src.DrawToRect(&Dst, Dst.BoundsRect());
    benchmark::DoNotOptimize(Dst.GetBits());
  }
}
BENCHMARK(BM_LanczosFit)->Args({256, 192})->Args({640, 400})->Unit(benchmark::kMillisecond);

void BM_NearestZoom4(benchmark::State& State) {
  TBitmap32 Src(256, 192);
  FillPattern(Src);
  TBitmap32 Dst(1024, 768);
  for (auto _ : State) {
    Src.DrawToRect(&Dst, Dst.BoundsRect());
    benchmark::DoNotOptimize(Dst.GetBits());
  }
}
BENCHMARK(BM_NearestZoom4)->Unit(benchmark::kMicrosecond);

}  // namespace
