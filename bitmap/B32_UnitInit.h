// Start-up of the bitmap library: its units' start-up functions, in order.
#pragma once

#include "rtl/KvUnitInit.h"

// Runs the start-up of every bitmap-library unit once (function bindings,
// tables, the default gamma); thread-safe and cheap after the first call.
// Programs and tests call it before using the library; libraries built on
// this one call it first in their own start-up.
void InitializeBitmapLibrary();
// Runs the units' shut-down, last first (frees the function registries).
void FinalizeBitmapLibrary();

// The ordered list itself. A new bitmap unit with start-up work adds its
// entry in B32_UnitInit.cpp at the place its order requires.
TKvUnitInitList& BitmapLibraryUnits();
