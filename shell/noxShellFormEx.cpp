#include "shell/noxShellFormEx.h"

int32_t NextDpiChangeCapacity(int32_t ACapacity) {
  int32_t d;
  if (ACapacity <= 8)
    d = 4;
  else if (ACapacity <= 64)
    d = 16;
  else
    d = ACapacity / 4;
  return ACapacity + d;
}
