// Ordered start-up of the application frame's units. The order is visible
// behaviour: the converter registry exists before any converter registers,
// and the platform-neutral converters register first of all, so "Common"
// heads the platform list. The converter and importer libraries start this
// list before their own.
#pragma once

#include "rtl/KvUnitInit.h"

void InitializeAppCore();
void FinalizeAppCore();

TKvUnitInitList& AppCoreUnits();
