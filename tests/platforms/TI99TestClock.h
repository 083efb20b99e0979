// A fixed clock for the creation stamps of TIFILES headers while it lives.
#pragma once

#include "platforms/KvSavePlatformTI99.h"

class TKvTiTestClock {
public:
  explicit TKvTiTestClock(const TKvTiDateTime& ATime) {
    Time() = ATime;
    FPrevious = SetTiFilesClock(&Now);
  }
  ~TKvTiTestClock() { SetTiFilesClock(FPrevious); }
  TKvTiTestClock(const TKvTiTestClock&) = delete;
  TKvTiTestClock& operator=(const TKvTiTestClock&) = delete;

private:
  static TKvTiDateTime& Time() {
    static TKvTiDateTime LTime{};
    return LTime;
  }
  static TKvTiDateTime Now() { return Time(); }
  TKvTiClock FPrevious;
};
