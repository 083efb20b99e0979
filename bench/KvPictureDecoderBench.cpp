// Decoding source pictures: a photo (its palettes overflow early), a picture
// of a few hundred colours (every pixel is looked up), an indexed bitmap; and
// the fixed cost of one job-runner pass; and the time and peak memory of
// opening an 8000 x 8000 run-length BMP as the program does.
#include "app/KvAppUnits.h"
#include "app/KvSource.h"
#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "core/KvThreadJob.h"
#include "tests/core/KvPictureFixtures.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

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

namespace {

// An 8000 x 8000 run-length BMP of a few dozen bytes: one run, then the end.
std::string HugeRle8Bmp() {
  std::string f(54 + 8, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
  };
  f += std::string{10, 1, 0, 0, 0, 1};
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 62);
  put32(14, 40);
  put32(18, 8000);
  put32(22, 8000);
  f[26] = 1;
  f[28] = 8;
  put32(30, 1);
  put32(34, 6);
  put32(46, 2);
  put32(58, 0xFFFFFF);
  return f;
}

// The process's peak resident size in MB (VmHWM), and its reset.
double PeakMB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_OpenHugeRle8Bmp(benchmark::State& AState) {
  InitializeAppCore();
  const std::string file = HugeRle8Bmp();
  double peak = 0;
  for (auto _ : AState) {
    ResetPeak();
    {
      TKvSource source;
      std::istringstream s(file, std::ios::binary);
      source.LoadFromStream("huge.bmp", s);
      benchmark::DoNotOptimize(source.GetRegionPicture());
      peak = std::max(peak, PeakMB());
    }
  }
  AState.counters["peak_MB"] = peak;
}
BENCHMARK(BM_OpenHugeRle8Bmp)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
