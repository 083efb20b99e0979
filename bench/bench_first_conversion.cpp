// The first conversion in a process against the ones after it: ZX Spectrum
// standard, Amstrad CPC mode 0 and SAM Coupé "4 256x192x4 HAM1/127", each
// the whole road of bench/ZxBenchConversion.h (the 1024x768 photo-like
// picture fitted to the mode's size, converted with the mode's defaults).
//
// Every iteration forks a fresh process (nothing converted in it yet) that
// converts once, then four times more; first_ms is the first conversion,
// repeated_ms the median of the others, ratio the first over that, and
// first_faults and repeated_faults the pages each faulted in (the fresh
// memory it touched). The counters are medians over the iterations.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "ZxBenchConversion.h"
#include "platforms/KvSavePlatformAmstradCPC.h"
#include "platforms/KvSavePlatformSAMCoupe.h"
#include "platforms/KvSavePlatformZxSpectrum.h"

namespace {

long PageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

struct TConversionCost {
  double Ms = 0;
  double Faults = 0;
};

TConversionCost ConvertOnce(const TKvDestEngineClass& AClass, TBitmap32& APicture) {
  const long faults = PageFaults();
  const auto t0 = std::chrono::steady_clock::now();
  auto engine = AClass.Create();
  auto options = engine->CreateOptions();
  options->UpdatePalette();
  TKvDestResizeJob fit(APicture, options->GetWidth(), options->GetHeight(), options->GetPixelAspectRatio(),
                       options->Position, false);
  fit.Run();
  TKvDestProgress progress;
  bool abort = false;
  std::unique_ptr<TKvStreamList> streams;
  auto preview = AClass.Convert(&abort, *fit.Fitted, nullptr, nullptr, *options, progress, streams);
  benchmark::DoNotOptimize(preview.get());
  return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count(),
          static_cast<double>(PageFaults() - faults)};
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  const size_t n = AValues.size();
  return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

// In a child process: the first conversion and the median of four more.
bool MeasureInChild(const TKvDestEngineClass& AClass, TConversionCost& AFirst, TConversionCost& ARepeated) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    InitializeAppCore();
    auto picture = PhotoLikePicture(1024, 768);
    TConversionCost costs[2];
    costs[0] = ConvertOnce(AClass, *picture);
    std::vector<double> ms, faults;
    for (int i = 0; i < 4; ++i) {
      const TConversionCost c = ConvertOnce(AClass, *picture);
      ms.push_back(c.Ms);
      faults.push_back(c.Faults);
    }
    costs[1] = {Median(ms), Median(faults)};
    const bool ok = write(fds[1], costs, sizeof(costs)) == ssize_t(sizeof(costs));
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  TConversionCost costs[2];
  const bool got = read(fds[0], costs, sizeof(costs)) == ssize_t(sizeof(costs));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  AFirst = costs[0];
  ARepeated = costs[1];
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RunFirstConversion(benchmark::State& AState, const TKvDestEngineClass& AClass) {
  std::vector<double> first, repeated, ratio, firstFaults, repeatedFaults;
  for (auto _ : AState) {
    TConversionCost f, r;
    if (!MeasureInChild(AClass, f, r)) {
      AState.SkipWithError("the child process failed");
      return;
    }
    first.push_back(f.Ms);
    repeated.push_back(r.Ms);
    ratio.push_back(f.Ms / r.Ms);
    firstFaults.push_back(f.Faults);
    repeatedFaults.push_back(r.Faults);
  }
  AState.counters["first_ms"] = Median(first);
  AState.counters["repeated_ms"] = Median(repeated);
  AState.counters["ratio"] = Median(ratio);
  AState.counters["first_faults"] = Median(firstFaults);
  AState.counters["repeated_faults"] = Median(repeatedFaults);
}

void BM_FirstConversionZxStandard(benchmark::State& AState) {
  RunFirstConversion(AState, DestEngineClass<TKvZxSpectrumEngine>());
}
void BM_FirstConversionCpcMode0(benchmark::State& AState) {
  RunFirstConversion(AState, DestEngineClass<TKvAmstradCPCMode0Engine>());
}
void BM_FirstConversionSamHam(benchmark::State& AState) {
  RunFirstConversion(AState, DestEngineClass<KvSavePlatformSAMCoupe::TKvSAMCoupeMode4HAMEngine>());
}

BENCHMARK(BM_FirstConversionZxStandard)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstConversionCpcMode0)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstConversionSamHam)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
