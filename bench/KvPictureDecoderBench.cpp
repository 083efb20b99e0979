// Decoding source pictures: a photo (its palettes overflow early), a picture
// of a few hundred colours (every pixel is looked up), an indexed bitmap; and
// the fixed cost of one job-runner pass.
#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "core/KvThreadJob.h"
#include "tests/core/KvPictureFixtures.h"

#include <benchmark/benchmark.h>

#include <sstream>

namespace {

constexpr int W = 1024, H = 768;

std::string RGBPng(int AColours) {
  std::string rows;
  rows.reserve(static_cast<size_t>(W) * H * 3);
  uint32_t seed = 12345;
  for (int i = 0; i < W * H; ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t c = AColours > 0 ? (seed >> 8) % static_cast<uint32_t>(AColours) * 0x010203u : seed >> 8;
    rows += static_cast<char>(c >> 16);
    rows += static_cast<char>(c >> 8);
    rows += static_cast<char>(c);
  }
  return fixtures::MakePNG(W, H, PNG_COLOR_TYPE_RGB, 8, rows);
}

void Decode(benchmark::State& AState, const std::string& AFile) {
  for (auto _ : AState) {
    std::istringstream s(AFile, std::ios::binary);
    std::unique_ptr<TBitmap32> bmp;
    std::unique_ptr<TKvPalette256> pal, used;
    DecodePicture(s, bmp, pal, used, kvdoBitmap | kvdoPalette | kvdoUsedColors);
    benchmark::DoNotOptimize(bmp.get());
  }
  AState.SetItemsProcessed(AState.iterations() * W * H);
}

void BM_DecodePhotoPNG(benchmark::State& AState) {
  static const std::string file = RGBPng(0);
  Decode(AState, file);
}
BENCHMARK(BM_DecodePhotoPNG)->Unit(benchmark::kMillisecond);

void BM_DecodeFewColoursPNG(benchmark::State& AState) {
  static const std::string file = RGBPng(600);
  Decode(AState, file);
}
BENCHMARK(BM_DecodeFewColoursPNG)->Unit(benchmark::kMillisecond);

void BM_DecodeIndexedBMP(benchmark::State& AState) {
  static const std::string file = [] {
    std::vector<uint32_t> table(256);
    for (uint32_t i = 0; i < 256; ++i) table[i] = i * 0x010101u;
    std::string rows;
    for (int i = 0; i < W * H; ++i) rows += static_cast<char>((i * 7) & 255);
    return fixtures::MakeBMP(W, H, 8, table, rows);
  }();
  Decode(AState, file);
}
BENCHMARK(BM_DecodeIndexedBMP)->Unit(benchmark::kMillisecond);

struct TNopJob : TKvJob {
  using TKvJob::TKvJob;
};

void BM_JobListRoundTrip(benchmark::State& AState) {
  for (auto _ : AState) {
    TKvJobList list;
    for (int i = 0; i < ProcessorCount; ++i) new TNopJob(&list);
    list.Run(nullptr);
  }
}
BENCHMARK(BM_JobListRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
