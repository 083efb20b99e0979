#include "bitmap/B32_System.h"

#include <atomic>
#include <chrono>

#include "rtl/KvSysUtils.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

TCpuIdInfo ReadCpuIdInfo() {
  TCpuIdInfo info;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return info;
  info.HasCpuId = true;
  info.Leaf1Eax = a;
  info.Leaf1Edx = d;
  __cpuid(0x80000000u, a, b, c, d);
  info.MaxExtLeaf = a;
  if (info.MaxExtLeaf > 0x80000000u) {
    __cpuid(0x80000001u, a, b, c, d);
    info.Ext1Edx = d;
  }
#endif
  return info;
}

bool CpuInfoHasFeature(const TCpuIdInfo& Info, TCPUFeature Feature) {
  if (!Info.HasCpuId || ((Info.Leaf1Eax >> 8) & 0xF) < 5) return false;
  const bool ext = Info.MaxExtLeaf > 0x80000000u;
  switch (Feature) {
    case cfMMX: return (Info.Leaf1Edx >> 23) & 1;
    case cfSSE: return (Info.Leaf1Edx >> 25) & 1;
    case cfSSE2: return (Info.Leaf1Edx >> 26) & 1;
    case cfExtMMX:
      if ((Info.Leaf1Edx >> 25) & 1) return true;
      return ext && ((Info.Ext1Edx >> 22) & 1);
    case cf3DNow: return ext && ((Info.Ext1Edx >> 31) & 1);
    case cf3DNowExt: return ext && ((Info.Ext1Edx >> 30) & 1);
  }
  return false;
}

bool CpuHasFeature(TCPUFeature Feature) { return CpuInfoHasFeature(ReadCpuIdInfo(), Feature); }

namespace {
std::atomic<bool> gFeaturesComputed{false};
std::atomic<TCPUFeatures> gFeatures{0};
}  // namespace

TCPUFeatures CpuFeatureSet() {
  if (!gFeaturesComputed.load(std::memory_order_acquire)) {
    const TCpuIdInfo info = ReadCpuIdInfo();
    TCPUFeatures set = 0;
    for (int f = cfMMX; f <= cf3DNowExt; ++f)
      if (CpuInfoHasFeature(info, TCPUFeature(f))) set |= TCPUFeatures(1u << f);
    gFeatures.store(set, std::memory_order_relaxed);
    gFeaturesComputed.store(true, std::memory_order_release);
  }
  return gFeatures.load(std::memory_order_relaxed);
}

void B32_System_Initialize() { CpuFeatureSet(); }

namespace {
// A 10 MHz performance counter, so the 64-bit product with 1000000 in
// ReadMicroseconds stays in range for days.
constexpr int64_t kCounterFrequency = 10000000;

int64_t QueryPerformanceCounter() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return ns / 100;
}
}  // namespace

void TPerfTimer::Start() { FStart = QueryPerformanceCounter(); }

int64_t TPerfTimer::ReadMicroseconds() {
  FStop = QueryPerformanceCounter();
  FFrequency = kCounterFrequency;
  if (FFrequency <= 0) throw EAssertionFailed("Assertion failed");
  return Round(double((FStop - FStart) * 1000000) / double(FFrequency));
}

uint32_t TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<uint32_t>(ms);
}
