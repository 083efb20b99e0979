// Probing a file image built in memory against every registered importer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"

struct TKvImporterProbe {
  std::vector<uint8_t> Bytes;
  std::unique_ptr<TKvMemoryLoadSource> Source;
  std::unique_ptr<TKvSourceEngineList> List;

  TKvImporterProbe(const std::string& AName, std::vector<uint8_t> ABytes) : Bytes(std::move(ABytes)) {
    InitializeImporters();
    Source = std::make_unique<TKvMemoryLoadSource>(AName, Bytes.data(), static_cast<int32_t>(Bytes.size()), false);
    List = Source->FindEngines();
  }
  // Class names of the candidates, best first.
  std::vector<std::string> Classes() const {
    std::vector<std::string> r;
    for (int i = 0; i < List->GetCount(); ++i) r.push_back(List->GetEngine(i)->ClassType().GetClassName());
    return r;
  }
  // The first candidate of class AClass, or nullptr.
  TKvSourceEngine* Find(const std::string& AClass) const {
    for (int i = 0; i < List->GetCount(); ++i)
      if (List->GetEngine(i)->ClassType().GetClassName() == AClass) return List->GetEngine(i);
    return nullptr;
  }
  // Its match flags; 0 when it is no candidate.
  TKvMatchFlags Flags(const std::string& AClass) const {
    const TKvSourceEngine* e = Find(AClass);
    return e ? e->MatchFlags : 0;
  }
  // Its position among the candidates; -1 when absent.
  int Position(const std::string& AClass) const {
    for (int i = 0; i < List->GetCount(); ++i)
      if (List->GetEngine(i)->ClassType().GetClassName() == AClass) return i;
    return -1;
  }
};
