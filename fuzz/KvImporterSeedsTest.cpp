// The seeds of fuzz_importers must reach every registered importer: a class
// no seed decodes is one the fuzzer would hardly ever get into.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/KvSourceEngines.h"
#include "fuzz/KvImporterSeeds.h"
#include "importers/KvImporterUnits.h"

TEST(ImporterSeeds, EveryRegisteredImporterDecodesSomeSeed) {
  std::set<std::string> reached;
  for (const auto& seeds : {ConverterImporterSeeds(), HandMadeImporterSeeds()})
    for (const TKvImporterSeed& s : seeds)
      for (const std::string& c : ImporterClassesDecoding(s.Input)) reached.insert(c);
  std::string missing;
  for (const TKvSourceEngineClass* c : SourceEngineClasses())
    if (!reached.count(c->GetClassName())) missing.append(" ").append(c->GetClassName());
  EXPECT_EQ(missing, "") << "importers no seed reaches";
}

// A hand-made seed that no importer reads only costs fuzzing time.
TEST(ImporterSeeds, EveryHandMadeSeedDecodes) {
  for (const TKvImporterSeed& s : HandMadeImporterSeeds())
    EXPECT_FALSE(ImporterClassesDecoding(s.Input).empty()) << s.Name;
}
