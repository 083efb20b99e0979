#include "rtl/KvSysUtils.h"
