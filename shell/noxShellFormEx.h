// Qt-free parts of the DPI-aware form: the DPI-change record and the growth of its queue.
#pragma once

#include <cstdint>

#include "shell/noxShellThemes.h"

struct TnoxDpiChange {
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  TnoxRect SuggestedRect;
};

// The capacity of the DPI-change queue after one growth step:
// by 4 up to 8, by 16 up to 64, then by a quarter (4, 8, 12, 28, 44, 60, 76, 95, 118, ...).
int32_t NextDpiChangeCapacity(int32_t ACapacity);
