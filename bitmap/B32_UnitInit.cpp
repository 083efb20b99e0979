#include "bitmap/B32_UnitInit.h"

#include "bitmap/B32_Bindings.h"
#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_LowLevel.h"
#include "bitmap/B32_Math.h"
#include "bitmap/B32_MicroTiles.h"
#include "bitmap/B32_Polygons.h"
#include "bitmap/B32_Resamplers.h"
#include "bitmap/B32_System.h"

namespace {
// The bitmap unit sets the default gamma at its start-up.
void B32_Initialize() { SetGamma(2.2); }
}  // namespace

TKvUnitInitList& BitmapLibraryUnits() {
  static TKvUnitInitList list("bitmap library", {
      {"B32_System", &B32_System_Initialize},
      {"B32_Bindings", nullptr, &B32_Bindings_Finalize},
      {"B32_Math", &B32_Math_Initialize},
      {"B32_LowLevel", &B32_LowLevel_Initialize},
      {"B32_Blend", &B32_Blend_Initialize},
      {"B32", &B32_Initialize},
      {"B32_Resamplers", &B32_Resamplers_Initialize},
      {"B32_MicroTiles", &B32_MicroTiles_Initialize},
      {"B32_Polygons", &B32_Polygons_Initialize, &B32_Polygons_Finalize},
  });
  return list;
}

void InitializeBitmapLibrary() { BitmapLibraryUnits().Initialize(); }

void FinalizeBitmapLibrary() { BitmapLibraryUnits().Finalize(); }
