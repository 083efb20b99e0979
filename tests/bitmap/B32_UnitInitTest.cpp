#include "bitmap/B32_UnitInit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/B32_Bindings.h"
#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_LowLevel.h"

namespace {
std::vector<std::string> RegistryNames() {
  std::vector<std::string> names;
  // Only the registries of these units (tests and other units add more).
  for (auto& r : Registers())
    if (r->GetName() == "B32_LowLevel bindings" || r->GetName() == "B32_Blend bindings" ||
        r->GetName() == "B32_Resamplers bindings")
      names.push_back(r->GetName());
  return names;
}
}  // namespace

TEST(B32_UnitInitTest, UnitsStartInOrderOnce) {
  std::vector<std::string> units;
  for (const TKvUnitEntry& u : BitmapLibraryUnits().Units()) units.push_back(u.Name);
  EXPECT_EQ(units, (std::vector<std::string>{"B32_System", "B32_Bindings", "B32_Math", "B32_LowLevel", "B32_Blend",
                                             "B32", "B32_Resamplers", "B32_MicroTiles", "B32_Polygons"}));
  InitializeBitmapLibrary();
  InitializeBitmapLibrary();
  EXPECT_TRUE(BitmapLibraryUnits().Initialized());
  // The resamplers and kernels register at start-up, not at their first use.
  EXPECT_EQ(RegistryNames(), (std::vector<std::string>{"B32_LowLevel bindings", "B32_Blend bindings",
                                                       "B32_Resamplers bindings"}));
  EXPECT_EQ(GammaEncodeTable[1], 21);
}

TEST(B32_UnitInitTest, FinalizeFreesRegistriesAndRestartRebinds) {
  InitializeBitmapLibrary();
  FinalizeBitmapLibrary();
  EXPECT_TRUE(Registers().empty());
  FillLongword = nullptr;
  BlendPixelInto = nullptr;
  InitializeBitmapLibrary();
  EXPECT_NE(FillLongword, nullptr);
  EXPECT_EQ(BlendPixelInto, BlendPixelInto_Lane);
  EXPECT_EQ(RegistryNames().front(), "B32_LowLevel bindings");
}
