#include "core/KvDestProgress.h"

void TKvDestProgress::SetProgress(int32_t ATotal, int32_t ADone) {
  std::lock_guard<std::mutex> guard(Lock);
  Total = ATotal;
  Done = ADone;
}

void TKvDestProgress::IncProgress() {
  std::lock_guard<std::mutex> guard(Lock);
  ++Done;
}

void TKvDestProgress::GetProgress(int32_t& ATotal, int32_t& ADone) const {
  std::lock_guard<std::mutex> guard(Lock);
  ATotal = Total;
  ADone = Done;
}
