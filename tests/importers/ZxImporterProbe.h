// A probe of the ZX Spectrum importer unit over bytes made by a test.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "importers/KvOpenPlatformZxSpectrum.h"

struct TZxProbe {
  std::vector<uint8_t> Bytes;
  std::unique_ptr<TKvMemoryLoadSource> Source;
  std::unique_ptr<TKvSourceEngineList> List;
  TZxProbe(const std::string& AName, std::vector<uint8_t> ABytes) : Bytes(std::move(ABytes)) {
    Source = std::make_unique<TKvMemoryLoadSource>(AName, Bytes.data(), static_cast<int32_t>(Bytes.size()), false);
    List = Source->MatchEngines(ZxSpectrumSourceEngineClasses());
  }
  // The candidates' class names, best first.
  std::vector<std::string> Classes() const {
    std::vector<std::string> r;
    for (int i = 0; i < List->GetCount(); ++i) r.push_back(List->GetEngine(i)->ClassType().GetClassName());
    return r;
  }
  TKvSourceEngine* First() const { return List->GetCount() ? List->GetEngine(0) : nullptr; }
};
