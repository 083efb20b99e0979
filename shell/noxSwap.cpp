#include "shell/noxSwap.h"

static_assert(Swap16(0x4000) == 0x0040);
