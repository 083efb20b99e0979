#include "app/KvDestEngines.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rtl/KvSysUtils.h"

TEST(KvDestEngines, ColorNameNamesOnlyTheListedColours) {
  struct Case { uint8_t R, G, B; const char* Name; };
  const Case LCases[] = {{0x90, 0, 0, "Red"}, {0xC0, 0, 0xFF, "Magenta"}, {0x90, 0xFF, 0, "Green"},
                         {0, 0x90, 0, "009000"}, {0x12, 0xAB, 0xEF, "12ABEF"}, {0x90, 0xFF, 0xFF, "90FFFF"},
                         {0xFF, 0xFF, 0xFF, "White"}, {0, 0, 0, "Black"}};
  for (const Case& LCase : LCases) EXPECT_EQ(ColorName(StdRGBColor(LCase.R, LCase.G, LCase.B)), LCase.Name);
}

TEST(KvDestEngines, LevelBoundsBracketTheValue) {
  InitLevelTables();
  double LLow = -1, LHigh = -1;
  FindLevel5Bounds(0.0, LLow, LHigh);
  EXPECT_EQ(LLow, 0.0);
  EXPECT_EQ(LHigh, 0.0);
  FindLevel5Bounds(1.0, LLow, LHigh);
  EXPECT_EQ(LLow, 1.0);
  EXPECT_EQ(LHigh, 1.0);
  FindLevel5Bounds(Level5Table[5], LLow, LHigh);
  EXPECT_EQ(LLow, Level5Table[4]);
  EXPECT_EQ(LHigh, Level5Table[5]);
  FindLevel6Bounds((Level6Table[40] + Level6Table[41]) / 2, LLow, LHigh);
  EXPECT_EQ(LLow, Level6Table[40]);
  EXPECT_EQ(LHigh, Level6Table[41]);
  EXPECT_EQ(Level6Table[63], 1.0);
  EXPECT_THROW(FindLevel5Bounds(std::nan(""), LLow, LHigh), EOSError);
}
