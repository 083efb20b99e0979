// Processor feature detection, a high-resolution timer and the tick count.
#pragma once

#include <cstdint>

// Instruction-set flags; a set stores flag n in bit n.
enum TCPUFeature : uint8_t { cfMMX = 0, cfExtMMX = 1, cfSSE = 2, cfSSE2 = 3, cf3DNow = 4, cf3DNowExt = 5 };
using TCPUFeatures = uint8_t;

constexpr TCPUFeatures CpuFeatures() { return 0; }
template <class... Rest>
constexpr TCPUFeatures CpuFeatures(TCPUFeature F, Rest... R) {
  return static_cast<TCPUFeatures>((1u << F) | CpuFeatures(R...));
}
constexpr bool InFeatureSet(TCPUFeatures Set, TCPUFeature F) { return (Set >> F) & 1u; }

// The identification registers the feature test reads.
struct TCpuIdInfo {
  bool HasCpuId = false;     // the processor answers identification requests
  uint32_t Leaf1Eax = 0;     // family in bits 8-11
  uint32_t Leaf1Edx = 0;     // standard feature bits
  uint32_t MaxExtLeaf = 0;   // highest extended leaf
  uint32_t Ext1Edx = 0;      // extended feature bits
};

// Reads the running processor; a processor without these instruction sets
// (or another architecture) gives HasCpuId = False and so an empty set.
TCpuIdInfo ReadCpuIdInfo();
// The feature test on given identification registers.
bool CpuInfoHasFeature(const TCpuIdInfo& Info, TCPUFeature Feature);

bool CpuHasFeature(TCPUFeature Feature);
// The running processor's features, computed once and cached.
TCPUFeatures CpuFeatureSet();

// Start-up of the unit: fills the cached feature set.
void B32_System_Initialize();

// Measures elapsed time in microseconds.
class TPerfTimer {
public:
  void Start();
  int64_t ReadMicroseconds();

private:
  int64_t FFrequency = 0;
  int64_t FStart = 0;
  int64_t FStop = 0;
};

// Milliseconds since an arbitrary fixed point; wraps after about 49 days.
uint32_t TickCount();
