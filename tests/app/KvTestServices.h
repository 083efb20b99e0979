// Timers fired by hand and workers the test runs itself, so document tests
// neither sleep nor race.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "app/KvAppServices.h"

class TManualTimer : public TKvTimer {
public:
  void SetInterval(int AMilliseconds) override { Interval = AMilliseconds; }
  void SetEnabled(bool AEnabled) override { Enabled = AEnabled; }
  bool GetEnabled() const override { return Enabled; }
  int Interval = 0;
  bool Enabled = false;
};

class TManualTimerFactory : public TKvTimerFactory {
public:
  std::unique_ptr<TKvTimer> CreateTimer() override {
    auto LTimer = std::make_unique<TManualTimer>();
    Timers.push_back(LTimer.get());
    return LTimer;
  }
  // One tick of every enabled timer, in creation order.
  void Tick() {
    for (TManualTimer* LTimer : std::vector<TManualTimer*>(Timers))
      if (LTimer->Enabled) LTimer->Fire();
  }
  int EnabledCount() const {
    int LCount = 0;
    for (TManualTimer* LTimer : Timers) LCount += LTimer->Enabled ? 1 : 0;
    return LCount;
  }
  std::vector<TManualTimer*> Timers;
};

// A worker that runs its job when the test says so, and counts as finished
// only when the test says so.
class TManualWorker : public TKvWorker {
public:
  explicit TManualWorker(std::function<void()> AJob) : Job(std::move(AJob)) {}
  bool Finished() const override { return Done; }
  // A worker the test finished without running stays unrun.
  void WaitFor() override {
    if (!Done) Run();
    Done = true;
  }
  void Run() {
    if (!Ran) {
      Ran = true;
      Job();
    }
  }
  std::function<void()> Job;
  bool Ran = false;
  bool Done = false;
};

class TManualLauncher : public TKvWorkerLauncher {
public:
  // Run at once and finish at once unless Hold is set.
  bool Hold = false;

  std::unique_ptr<TKvWorker> Launch(std::function<void()> AJob) override {
    auto LWorker = std::make_unique<TManualWorker>(std::move(AJob));
    ++LaunchCount;
    if (!Hold) {
      LWorker->Run();
      LWorker->Done = true;
    } else {
      Pending.push_back(LWorker.get());
    }
    return LWorker;
  }
  // Runs and finishes the oldest held worker.
  void FinishNext(bool ARun = true) {
    if (Pending.empty()) return;
    TManualWorker* LWorker = Pending.front();
    Pending.pop_front();
    if (ARun) LWorker->Run();
    LWorker->Done = true;
  }
  TManualWorker* Last() const { return Pending.empty() ? nullptr : Pending.back(); }
  std::deque<TManualWorker*> Pending;
  int LaunchCount = 0;
};

// Writes an 8-bit palette PNG of AWidth x AHeight.
inline void WriteIndexedPng(const std::string& AFileName, int AWidth, int AHeight,
                            const std::vector<uint32_t>& APalette, const std::vector<uint8_t>& AIndexes) {
  FILE* LFile = std::fopen(AFileName.c_str(), "wb");
  png_structp LPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop LInfo = png_create_info_struct(LPng);
  png_init_io(LPng, LFile);
  png_set_IHDR(LPng, LInfo, AWidth, AHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> LColors;
  for (uint32_t LColor : APalette)
    LColors.push_back(png_color{static_cast<png_byte>(LColor >> 16), static_cast<png_byte>(LColor >> 8),
                                static_cast<png_byte>(LColor)});
  png_set_PLTE(LPng, LInfo, LColors.data(), static_cast<int>(LColors.size()));
  png_write_info(LPng, LInfo);
  for (int y = 0; y < AHeight; ++y)
    png_write_row(LPng, const_cast<png_bytep>(AIndexes.data() + static_cast<size_t>(y) * AWidth));
  png_write_end(LPng, nullptr);
  png_destroy_write_struct(&LPng, &LInfo);
  std::fclose(LFile);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& AFileName) {
  std::ifstream LStream(AFileName, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(LStream), std::istreambuf_iterator<char>());
}
