// TI-99/4A file sets for the importer tests: the streams of a conversion
// saved under one name, and hand-made TIFILES files.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/KvStream.h"
#include "importers/MSXTestFiles.h"

using TTiBytes = std::vector<uint8_t>;

// The files a save writes: each stream and sub-stream under AStem with its
// own extension (lower case), its name stored into it first.
inline std::map<std::string, TTiBytes> TiSavedFiles(TKvStreamList& AStreams, const std::string& AStem) {
  std::map<std::string, TTiBytes> r;
  auto save = [&](TKvStream& s) {
    std::string ext = s.GetExtension();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string name = AStem + "." + ext;
    s.StoreFileName(name);
    r[name] = TTiBytes(s.GetMemory(), s.GetMemory() + s.GetSize());
  };
  for (int i = 0; i < AStreams.GetCount(); ++i) {
    TKvStream* s = AStreams.GetStream(i);
    save(*s);
    for (int j = 0; j < s->GetSubStreamCount(); ++j) save(*s->GetSubStream(j));
  }
  return r;
}

// AMain opened with every other file of AFiles beside it.
inline std::unique_ptr<TKvTestFiles> TiOpenSet(const std::map<std::string, TTiBytes>& AFiles,
                                               const std::string& AMain) {
  auto f = std::make_unique<TKvTestFiles>(AMain, AFiles.at(AMain));
  for (const auto& [name, bytes] : AFiles)
    if (name != AMain) f->Add(name, bytes);
  return f;
}

// A TIFILES file of ADataSize data bytes of AFill, the header's own fields
// from the arguments, padded to whole sectors unless AFileSize says otherwise.
inline TTiBytes TiFile(int ADataSize, uint8_t ARecords, uint8_t ARecordLength, uint8_t AFill = 0,
                       int64_t AFileSize = -1) {
  const int LSectors = (ADataSize + 255) / 256;
  TTiBytes d(static_cast<size_t>(AFileSize >= 0 ? AFileSize : 128 + LSectors * 256), 0);
  if (d.size() < 16) return d;
  d[0] = 7;
  std::memcpy(d.data() + 1, "TIFILES", 7);
  d[8] = static_cast<uint8_t>(LSectors >> 8);
  d[9] = static_cast<uint8_t>(LSectors);
  d[11] = ARecords;
  d[12] = static_cast<uint8_t>(ADataSize % 256);
  d[13] = ARecordLength;
  for (int i = 0; i < ADataSize && 128 + i < static_cast<int>(d.size()); ++i) d[128 + static_cast<size_t>(i)] = AFill;
  return d;
}

// The candidates of a probe of AFiles opened at AMain, best first.
inline std::vector<std::string> TiProbe(const std::map<std::string, TTiBytes>& AFiles, const std::string& AMain,
                                        std::vector<int>* AFlags = nullptr) {
  InitializeImporters();
  auto f = TiOpenSet(AFiles, AMain);
  auto list = f->FindEngines();
  std::vector<std::string> r;
  for (int i = 0; i < list->GetCount(); ++i) {
    r.push_back(list->GetEngine(i)->ClassType().GetClassName());
    if (AFlags) AFlags->push_back(list->GetEngine(i)->MatchFlags);
  }
  return r;
}
