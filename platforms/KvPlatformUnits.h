// Ordered start-up of the converter units. Registration order is visible:
// it is the order of the "Platform" list and of each platform's modes, so
// the units are listed once, here, in their fixed order.
#pragma once

#include "rtl/KvUnitInit.h"

// Starts the application frame (whose platform-neutral converters head the
// list), then every converter unit, once.
void InitializePlatforms();
// Shuts the converter units down, then the application frame.
void FinalizePlatforms();

TKvUnitInitList& PlatformUnits();
