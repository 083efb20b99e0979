// Whole conversions of a 1024x768 picture at the size the option panel gives
// it (the picture's own size wherever the mode's size can change, the fixed
// size elsewhere), fitted as the program fits it, for the modes whose live
// preview used to lag: the big cell searches, the YJK group searches (also on
// black text on white, their hardest case) and small conversions that spread
// their stages over the processors. Each on 1, 2 and 4 processors.
//
// Run pinned to four cores, the repetitions interleaved, for example:
//   taskset -c 4-7 build/bench/bench_preview --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// (one command line).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "ZxBenchConversion.h"
#include "core/KvBitmap.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"

namespace {

// Black letters on white: lines of pseudo-glyphs (5x7 dot patterns drawn
// with 2-pixel strokes) between wide margins, so that most groups and cells
// are flat and the rest have hard edges.
std::unique_ptr<TBitmap32> TextPicture(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFFFFFFFFu;
  uint32_t s = 4242;
  constexpr int kScale = 2, kAdvance = 7 * kScale, kLine = 12 * kScale;
  for (int top = 40; top + 7 * kScale < AHeight - 40; top += kLine)
    for (int left = 48; left + 5 * kScale < AWidth - 48; left += kAdvance) {
      s = s * 1664525u + 1013904223u;
      // Words of 2 to 8 letters with a space after each.
      if ((s >> 28) < 2) continue;
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx) {
          s = s * 1664525u + 1013904223u;
          if ((s >> 29) < 4) continue;
          for (int dy = 0; dy < kScale; ++dy)
            for (int dx = 0; dx < kScale; ++dx)
              *b->GetPixelPtr(left + gx * kScale + dx, top + gy * kScale + dy) = 0xFF000000u;
        }
    }
  return b;
}

struct TMode {
  const char* Platform;
  const char* Mode;
  std::function<void(TKvDestEngineOptions&)> Setup;
  bool Text;  // on the text picture instead of the photo-like one
};

void ColorMode(TKvDestEngineOptions& AOptions) { AOptions.SetPaletteMode(pmColor); }

const std::vector<TMode>& Modes() {
  static const std::vector<TMode> LModes = {
      {"ZX Spectrum Spectra", "256x192 (8x1)", [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored64x2); }, false},
      {"ZX Spectrum Spectra", "256x192 (8x8)", nullptr, false},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x1)", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); },
       false},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); },
       false},
      {"MSX", "10 256x212x12", [](TKvDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); }, false},
      {"MSX", "12 256x212x15", nullptr, false},
      {"MSX", "12 256x212x15", nullptr, true},
      {"MSX", "12 256x424x15 Interlaced", nullptr, false},
      {"MSX", "12 256x424x15 Interlaced", nullptr, true},
      {"MSX V9990 VDP", "BYJK 256x212x8", nullptr, false},
      {"MSX V9990 VDP", "BYJK 256x212x8", nullptr, true},
      {"MSX V9990 VDP", "BYUV 256x212x8", nullptr, false},
      {"MSX V9990 VDP", "BYUV 256x212x8", nullptr, true},
      {"Profi", "512x240x4", nullptr, false},
      {"Profi", "512x240x4", nullptr, true},
      {"SAM Coupé", "4 256x192x4 HAM1/127", nullptr, false},
      {"Agat", "128x128x4 HAM", nullptr, false},
      {"Agat", "128x128x8 Gigascreen",
       [](TKvDestEngineOptions& o) {
         o.SetPaletteType(ptColored4096);
         ColorMode(o);
       },
       false},
      {"Amstrad CPC", "0 160x200x4", nullptr, false},
      {"Elektronika KR-04", "240x224x4 EGA Gigascreen", ColorMode, false},
      {"TI-99/4A", "F18A 256x192x4 Scanline", nullptr, false},
  };
  return LModes;
}

const TKvDestEngineClass& EngineClass(const TMode& AMode) {
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf(AMode.Platform);
  if (p < 0) throw std::runtime_error(std::string("no platform ") + AMode.Platform);
  const int m = list.GetSubTypes(p).IndexOf(AMode.Mode);
  if (m < 0) throw std::runtime_error(std::string("no mode ") + AMode.Mode);
  return *list.GetSubTypes(p).GetObject(m);
}

// Argument 0: the mode's place in Modes(); argument 1: processors.
void BM_Preview(benchmark::State& AState) {
  InitializePlatforms();
  const TMode& mode = Modes()[static_cast<size_t>(AState.range(0))];
  static const auto photo = PhotoLikePicture(1024, 768);
  static const auto text = TextPicture(1024, 768);
  TBitmap32& picture = mode.Text ? *text : *photo;
  const TKvDestEngineClass& cls = EngineClass(mode);
  auto engine = cls.Create();
  const std::string out = (std::filesystem::temp_directory_path() / "kovrel_bench_preview.bin").string();
  TKvProcessorCountOverride count(static_cast<int32_t>(AState.range(1)));
  for (auto _ : AState) {
    // As the window does: the engine's options take the picture's size and
    // the document's position and border, then the panel's choices.
    auto options = engine->CreateOptions();
    options->BeginUpdate();
    options->SetPosition(1);
    options->SetBorderColor(0);
    options->SetWidth(picture.GetWidth());
    options->SetHeight(picture.GetHeight());
    options->EndUpdate();
    if (mode.Setup) mode.Setup(*options);
    options->UpdatePalette();
    TKvDestResizeJob fit(picture, options->GetWidth(), options->GetHeight(), options->GetPixelAspectRatio(),
                         options->Position, false);
    fit.Run();
    AState.SetLabel(std::string(mode.Platform) + " / " + mode.Mode + (mode.Text ? " / text" : "") + " at " +
                    std::to_string(fit.Fitted->GetWidth()) + "x" + std::to_string(fit.Fitted->GetHeight()));
    TKvDestProgress progress;
    bool abort = false;
    std::unique_ptr<TKvStreamList> streams;
    auto preview = cls.Convert(&abort, *fit.Fitted, nullptr, nullptr, *options, progress, streams);
    if (streams && streams->GetCount() > 0) WriteBenchFile(out, *streams->GetStream(0));
    benchmark::DoNotOptimize(preview.get());
  }
  std::remove(out.c_str());
}

void PreviewArgs(benchmark::internal::Benchmark* ABench) {
  for (int m = 0; m < static_cast<int>(Modes().size()); ++m)
    for (int cpus : {1, 2, 4}) ABench->Args({m, cpus});
}
BENCHMARK(BM_Preview)->Apply(PreviewArgs)->ArgNames({"mode", "cpus"})->Unit(benchmark::kMillisecond)->UseRealTime();

// The job runner's hand-over: a loop of range(0) microseconds of work (on
// one processor) run as one share on the calling thread (cpus 1) or cut
// into one share per processor. Where the shared loop stops being slower
// than the single one, a share carries the hand-over's worth.
struct THandOverLoop {};

void Spin(int64_t ATimes) {
  volatile uint64_t sink = 0;
  for (int64_t i = 0; i < ATimes; ++i) sink = sink + 1;
}

// Spin loop turns per microsecond on this machine, measured once.
double SpinsPerMicrosecond() {
  static const double rate = [] {
    // The fastest of a few tries: the others were held back.
    constexpr int64_t times = 2000000;
    double best = 0;
    for (int t = 0; t < 20; ++t) {
      const auto start = std::chrono::steady_clock::now();
      Spin(times);
      const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      best = std::max(best, times / us);
    }
    return best;
  }();
  return rate;
}

void BM_HandOver(benchmark::State& AState) {
  const int64_t spins = static_cast<int64_t>(SpinsPerMicrosecond() * static_cast<double>(AState.range(0)));
  const auto cpus = static_cast<int32_t>(AState.range(1));
  TKvProcessorCountOverride count(cpus);
  for (auto _ : AState)
    KvRunShares(cpus, 1, typeid(THandOverLoop), nullptr, [spins](int32_t, int32_t AShares) { Spin(spins / AShares); });
}
BENCHMARK(BM_HandOver)
    ->ArgsProduct({{10, 30, 100, 300, 1000, 3000}, {1, 2, 4}})
    ->ArgNames({"work_us", "cpus"})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
