#include <gtest/gtest.h>

#include "app/KvPanelSections.h"
#include "platforms/KvSavePlatformAmstradCPC.h"
#include "platforms/KvSavePlatformBK0010.h"
#include "platforms/KvSavePlatformCorvette.h"
#include "platforms/KvSavePlatformDVK.h"
#include "platforms/KvSavePlatformElektronikaKR04.h"
#include "platforms/KvSavePlatformLvov.h"
#include "platforms/KvSavePlatformOkean240.h"
#include "platforms/KvSavePlatformPC8000.h"
#include "platforms/KvSavePlatformPMD85.h"
#include "platforms/KvSavePlatformSpecialist.h"
#include "platforms/KvSavePlatformSymbOS.h"

namespace {

// The grid that shows a conversion's result palette is linked to no palette
// list, so a palette file dropped on it would go nowhere: it refuses drops.
TEST(KvResultPaletteGrid, RefusesDroppedPaletteFiles) {
  const TKvDestEngineClass* engines[] = {
      &DestEngineClass<TKvAmstradCPCMode0Engine>(),
      &DestEngineClass<TKvAmstradCPCMode1ExEngine>(),
      &DestEngineClass<TKvAmstradCPCModeB0Engine>(),
      &DestEngineClass<TKvBK1Engine>(),
      &DestEngineClass<TKvBK2Engine>(),
      &DestEngineClass<TKvCorvetteEngine>(),
      &DestEngineClass<TKvDvkEngine>(),
      &DestEngineClass<TKvElektronikaKR04EGAEngine>(),
      &DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(),
      &DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>(),
      &DestEngineClass<TKvLvovEngine>(),
      &DestEngineClass<TKvLvov2Engine>(),
      &DestEngineClass<TKvOkean1Engine>(),
      &DestEngineClass<TKvOkean2Engine>(),
      &DestEngineClass<TKvPC8000Engine>(),
      &DestEngineClass<TKvPMD85Engine>(),
      &DestEngineClass<TKvSpecialistEngine>(),
      &DestEngineClass<TKvSpecialistMXEngine>(),
      &DestEngineClass<TKvSymbOSEngine>(),
  };
  for (const TKvDestEngineClass* c : engines) {
    auto engine = c->Create();
    auto options = engine->CreateOptions();
    auto ui = engine->CreateUI(options.get());
    int grids = 0;
    for (const TKvPanelSection& s : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections())
      if (s.Kind == TKvPanelSectionKind::DestPalette) {
        ++grids;
        EXPECT_TRUE(s.Flag) << c->GetPlatformName() << " " << c->GetModeName();
      }
    EXPECT_EQ(grids, 1) << c->GetPlatformName() << " " << c->GetModeName();
  }
}

}  // namespace
