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

private:
  mutable std::mutex Lock;
  int32_t Total = 0;
  int32_t Done = 0;
};
