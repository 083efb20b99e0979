#include "core/KvDestProgress.h"

void TKvDestProgress::SetProgress(int32_t ATotal, int32_t ADone) {
  std::lock_guard<std::mutex> guard(Lock);
  Total = ATotal;
  Done = ADone;
  RoutineOwned = false;
}

void TKvDestProgress::IncProgress() {
  std::lock_guard<std::mutex> guard(Lock);
  // The converter counts its own steps from here on.
  if (RoutineOwned) Total = Done = 0;
  RoutineOwned = false;
  ++Done;
}

void TKvDestProgress::GetProgress(int32_t& ATotal, int32_t& ADone) const {
  std::lock_guard<std::mutex> guard(Lock);
  ATotal = Total;
  ADone = Done;
}

bool TKvDestProgress::ClaimForRoutine(int32_t ATotal) {
  std::lock_guard<std::mutex> guard(Lock);
  if (!RoutineOwned && (Total != 0 || Done != 0)) return false;
  RoutineOwned = true;
  Total = ATotal;
  Done = 0;
  return true;
}

void TKvDestProgress::SetRoutineProgress(int32_t ADone) {
  std::lock_guard<std::mutex> guard(Lock);
  // Workers filling one picture together may report out of order.
  if (RoutineOwned && ADone > Done) Done = ADone;
}

namespace {
thread_local TKvDestProgress* CurrentProgress = nullptr;
}  // namespace

TKvDestProgressScope::TKvDestProgressScope(TKvDestProgress* AProgress) : FPrevious(CurrentProgress) {
  CurrentProgress = AProgress;
}

TKvDestProgressScope::~TKvDestProgressScope() { CurrentProgress = FPrevious; }

TKvDestProgress* TKvDestProgressScope::Current() { return CurrentProgress; }

TKvRoutineProgress::TKvRoutineProgress(int32_t ATotal) {
  TKvDestProgress* p = TKvDestProgressScope::Current();
  if (p && p->ClaimForRoutine(ATotal)) FProgress = p;
}
