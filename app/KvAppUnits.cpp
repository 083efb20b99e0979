#include "app/KvAppUnits.h"

#include "app/KvDestEngines.h"
#include "app/KvSavePlatformCommon.h"
#include "app/KvSource.h"
#include "app/KvSourceEngines.h"
#include "bitmap/B32_UnitInit.h"
#include "core/KvBitmap.h"

TKvUnitInitList& AppCoreUnits() {
  static TKvUnitInitList LList("application frame", {
                                                        {"KvDestEngines", &InitKvDestEngines, &DoneKvDestEngines},
                                                        {"KvSavePlatformCommon", &InitKvSavePlatformCommon},
                                                        {"KvSourceEngines", &InitKvSourceEngines, &DoneKvSourceEngines},
                                                        {"KvControls", &InitKvPaletteList, &DoneKvPaletteList},
                                                    });
  return LList;
}

void InitializeAppCore() {
  InitializeBitmapLibrary();
  AppCoreUnits().Initialize();
}

void FinalizeAppCore() { AppCoreUnits().Finalize(); }
