// A file in memory with companion files beside it, for the MSX importer
// tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"

inline std::vector<uint8_t> MSXBytes(const uint8_t* AData, int64_t ASize) {
  return std::vector<uint8_t>(AData, AData + ASize);
}

// Companions are found without regard to case.
class TMSXTestFiles : public TKvMemoryLoadSource {
public:
  using Bytes = std::vector<uint8_t>;
  TMSXTestFiles(const std::string& AName, Bytes AData)
      : TKvMemoryLoadSource(AName, nullptr, 0, false), FMain(std::move(AData)) {
    FData = FMain.data();
    FSize = static_cast<int32_t>(FMain.size());
  }
  void Add(const std::string& AName, Bytes AData) { FCompanions[Lower(AName)] = std::move(AData); }
  const TKvLoadSourceRec* GetFile(const std::string& AName) override {
    auto it = FCompanions.find(Lower(AName));
    if (it == FCompanions.end()) return nullptr;
    TKvLoadSourceRec& r = FRecords.emplace_back();
    r.Name = AName;
    r.Ext = LowerFileExt(AName);
    r.Data = it->second.data();
    r.Size = static_cast<int32_t>(it->second.size());
    return &r;
  }
  // The engine of AClass built as the probe does, or nullptr when it does
  // not match.
  std::unique_ptr<TKvSourceEngine> Open(const TKvSourceEngineClass& AClass) {
    if (AClass.Match(*this) == 0) return nullptr;
    return AClass.Create(*this);
  }

private:
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  Bytes FMain;
  std::map<std::string, Bytes> FCompanions;
  std::deque<TKvLoadSourceRec> FRecords;
};
