// The progress of a running conversion: the one object the converting
// threads share with the user interface, which polls it.
#pragma once

#include <cstdint>
#include <mutex>

#include "rtl/KvSysUtils.h"

class TKvDestProgress : public TObject {
public:
  TKvDestProgress() = default;
  TKvDestProgress(const TKvDestProgress&) = delete;
  TKvDestProgress& operator=(const TKvDestProgress&) = delete;

  void SetProgress(int32_t ATotal, int32_t ADone);
  // Done + 1; nothing clamps Done to Total.
  void IncProgress();
  // Both values read together, so the pair is consistent.
  void GetProgress(int32_t& ATotal, int32_t& ADone) const;

  // For the long routines a converter calls (the scans of the working
  // image) that take no progress object: they report into the conversion's
  // progress only while no converter step of its own has, so a converter's
  // own count is never overwritten. True when the routine may report; it
  // then starts at ATotal steps, none done.
  bool ClaimForRoutine(int32_t ATotal);
  void SetRoutineProgress(int32_t ADone);

private:
  mutable std::mutex Lock;
  int32_t Total = 0;
  int32_t Done = 0;
  bool RoutineOwned = false;
};

// The progress of the conversion running on this thread while a scope is
// open (whoever runs a conversion opens one), for the routines above.
class TKvDestProgressScope {
public:
  explicit TKvDestProgressScope(TKvDestProgress* AProgress);
  ~TKvDestProgressScope();
  TKvDestProgressScope(const TKvDestProgressScope&) = delete;
  TKvDestProgressScope& operator=(const TKvDestProgressScope&) = delete;
  static TKvDestProgress* Current();

private:
  TKvDestProgress* FPrevious;
};

// One long routine's steps, reported into the current conversion's progress
// when it is free (see ClaimForRoutine); a no-op otherwise.
class TKvRoutineProgress {
public:
  explicit TKvRoutineProgress(int32_t ATotal);
  // ADone steps of the total are done; any thread may call it.
  void Step(int32_t ADone) {
    if (FProgress) FProgress->SetRoutineProgress(ADone);
  }

private:
  TKvDestProgress* FProgress = nullptr;
};
