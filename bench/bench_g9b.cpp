// G9B compression (LZ77 over a 2048-byte window, blocks of 16000 bytes) of
// 256x212 pictures of the V9990 modes BD16 (108544 bytes) and BP4 (27136
// bytes), photo-like (the dithered photo-like picture) and flat (one colour).
// The counter "packed" is the compressed size in bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ZxBenchConversion.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvSavePlatformMSX.h"

namespace {

// The raw G9B data of a 256x212 picture. Argument 0: 0 BD16, 1 BP4;
// argument 1: 0 photo-like, 1 flat.
std::vector<uint8_t> ScreenData(int AMode, bool AFlat) {
  InitializeAppCore();
  auto picture = PhotoLikePicture(256, 212);
  if (AFlat) picture->Clear(0xFFFFFFFF);  // white is exact in both modes: no dither pattern
  auto options = DestEngineClass<TKvBD16Engine>().Create()->CreateOptions();
  if (AMode == 0) {
    TKvBP16Screen screen(256, 212);
    TKvBD16Image image(*picture);
    auto levels = TKvPaletteRGB::CreateType(ptRGB555, false);
    image.ConvertBD16(nullptr, *options, screen, *levels);
    return std::vector<uint8_t>(screen.Data, screen.Data + screen.Stride * 212);
  }
  TKvBP4Screen screen(256, 212);
  TKvImage image(*picture);
  TKvPalette256 palette;
  BuildMSXPalette(palette);
  image.ConvertIndexed(nullptr, *options, &screen, palette, nullptr);
  return std::vector<uint8_t>(screen.Data, screen.Data + screen.Stride * 212);
}

void BM_G9bCompress(benchmark::State& AState) {
  const std::vector<uint8_t> data = ScreenData(static_cast<int>(AState.range(0)), AState.range(1) != 0);
  std::vector<uint8_t> out(2 * data.size());
  int packed = 0;
  for (auto _ : AState) {
    packed = CompressG9bData(data.data(), static_cast<int>(data.size()), out.data(), static_cast<int>(out.size()));
    benchmark::DoNotOptimize(out.data());
  }
  AState.counters["packed"] = packed;
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations()) * static_cast<int64_t>(data.size()));
}

BENCHMARK(BM_G9bCompress)
    ->ArgNames({"bp4", "flat"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
