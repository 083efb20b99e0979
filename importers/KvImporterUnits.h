// Ordered start-up of the importer units. Importers of equal rank are offered
// in registration order, so this order breaks ties in the probe.
#pragma once

#include "rtl/KvUnitInit.h"

// Starts the converters (and through them the application frame), then every
// importer unit, once.
void InitializeImporters();
// Shuts everything down in reverse order.
void FinalizeImporters();

TKvUnitInitList& ImporterUnits();
