// Where an importer unit registers: its place among the units and its classes
// one after another in its own order, which breaks ties between readings of
// equal rank.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "importers/KvImporterUnits.h"

inline void ExpectUnitRegisteredInOrder(const char* AUnit, const char* APrevious, const char* ANext,
                                        const std::vector<const TKvSourceEngineClass*>& AClasses) {
  const auto& units = ImporterUnits().Units();
  auto unit = [&](const char* AName) {
    for (size_t i = 0; i < units.size(); ++i)
      if (std::string(units[i].Name) == AName) return static_cast<int>(i);
    return -1;
  };
  ASSERT_GE(unit(AUnit), 0) << AUnit;
  EXPECT_EQ(unit(AUnit), unit(APrevious) + 1) << AUnit;
  EXPECT_EQ(unit(ANext), unit(AUnit) + 1) << AUnit;
  InitializeImporters();
  const auto& all = SourceEngineClasses();
  ASSERT_FALSE(AClasses.empty());
  const size_t first = static_cast<size_t>(std::find(all.begin(), all.end(), AClasses[0]) - all.begin());
  ASSERT_LE(first + AClasses.size(), all.size()) << AUnit;
  for (size_t i = 0; i < AClasses.size(); ++i)
    EXPECT_EQ(all[first + i], AClasses[i]) << AClasses[i]->GetClassName();
}
