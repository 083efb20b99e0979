// The input layout of fuzz_importers, shared by the target, the seed maker
// and the seed test so that a seed means the same file to all three:
//
//   [extension index] [flags] [companion length, 16 bits LE] [bytes]
//
// The file is named "picture" plus the indexed extension. The last
// "companion length" bytes (clamped) are served as every companion file an
// importer asks for; the others are the file itself. Flags bit 0 wraps the
// file in a Hobeta header, bit 1 in a +3DOS header (both with valid sums,
// which a mutator would hardly find).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"

// Every extension the importers claim (read from their sources at configure
// time), then ".bin" and none.
inline constexpr const char* ImporterFuzzExtensions[] = {
#include "KvFuzzExtensions.inc"
    , ".bin", ""};
inline constexpr size_t ImporterFuzzExtensionCount = sizeof(ImporterFuzzExtensions) / sizeof(ImporterFuzzExtensions[0]);

constexpr uint8_t ImporterFuzzHobeta = 1;
constexpr uint8_t ImporterFuzzPlus3Dos = 2;
// Larger inputs are skipped: they would only slow fuzzing down.
constexpr size_t ImporterFuzzMaxInput = 0x200000;

// The index of AExt (with or without its dot, any case); ".bin" for one no
// importer names.
inline uint8_t ImporterFuzzExtensionIndex(std::string AExt) {
  std::transform(AExt.begin(), AExt.end(), AExt.begin(), [](unsigned char c) { return std::tolower(c); });
  if (!AExt.empty() && AExt[0] != '.') AExt = "." + AExt;
  for (size_t i = 0; i < ImporterFuzzExtensionCount; ++i)
    if (AExt == ImporterFuzzExtensions[i]) return static_cast<uint8_t>(i);
  return static_cast<uint8_t>(ImporterFuzzExtensionCount - 2);
}

// One input in the layout; a companion longer than 0xFFFF bytes is dropped.
inline std::vector<uint8_t> MakeImporterFuzzInput(const std::string& AExt, uint8_t AFlags,
                                                  const std::vector<uint8_t>& AFile,
                                                  const std::vector<uint8_t>& ACompanion = {}) {
  const size_t companion = ACompanion.size() > 0xFFFF ? 0 : ACompanion.size();
  std::vector<uint8_t> r = {ImporterFuzzExtensionIndex(AExt), AFlags, static_cast<uint8_t>(companion),
                            static_cast<uint8_t>(companion >> 8)};
  r.insert(r.end(), AFile.begin(), AFile.end());
  r.insert(r.end(), ACompanion.begin(), ACompanion.begin() + static_cast<std::ptrdiff_t>(companion));
  return r;
}

inline std::vector<uint8_t> WrapHobeta(const std::vector<uint8_t>& AData) {
  const size_t n = AData.size() > 0xFF00 ? 0xFF00 : AData.size();
  const size_t sectors = (n + 255) / 256;
  std::vector<uint8_t> r(17 + sectors * 256, 0);
  std::memcpy(r.data(), "picture C", 9);
  r[11] = static_cast<uint8_t>(n);
  r[12] = static_cast<uint8_t>(n >> 8);
  r[13] = 0;
  r[14] = static_cast<uint8_t>(sectors);
  unsigned sum = 0;
  for (unsigned i = 0; i <= 14; ++i) sum += r[i] * 257u + i;
  r[15] = static_cast<uint8_t>(sum);
  r[16] = static_cast<uint8_t>(sum >> 8);
  if (n > 0) std::memcpy(r.data() + 17, AData.data(), n);
  return r;
}

inline std::vector<uint8_t> WrapPlus3Dos(const std::vector<uint8_t>& AData) {
  std::vector<uint8_t> r(128, 0);
  std::memcpy(r.data(), "PLUS3DOS\x1A\x01\x00", 11);
  r.insert(r.end(), AData.begin(), AData.end());
  const uint32_t total = static_cast<uint32_t>(r.size());
  for (int i = 0; i < 4; ++i) r[11 + i] = static_cast<uint8_t>(total >> (8 * i));
  r[15] = 3;
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += r[i];
  r[127] = static_cast<uint8_t>(sum);
  return r;
}

// An input taken apart: the file's name, its bytes (wrapped as the flags
// say) and the companion's bytes.
struct TKvImporterFuzzInput {
  std::string Name;
  std::vector<uint8_t> File;
  std::vector<uint8_t> Companion;

  // False for an input too short or too long to be tried.
  bool Parse(const uint8_t* AData, size_t ASize) {
    if (ASize < 4 || ASize > ImporterFuzzMaxInput) return false;
    Name = std::string("picture") + ImporterFuzzExtensions[AData[0] % ImporterFuzzExtensionCount];
    const uint8_t flags = AData[1];
    size_t companion = static_cast<size_t>(AData[2] | (AData[3] << 8));
    const uint8_t* p = AData + 4;
    const size_t n = ASize - 4;
    if (companion > n) companion = n;
    File.assign(p, p + (n - companion));
    Companion.assign(p + (n - companion), p + n);
    if (flags & ImporterFuzzHobeta) File = WrapHobeta(File);
    else if (flags & ImporterFuzzPlus3Dos) File = WrapPlus3Dos(File);
    return true;
  }
};

// The file of an input, with its companion served under any name asked for.
// The input must outlive the source.
class TKvImporterFuzzSource : public TKvMemoryLoadSource {
public:
  explicit TKvImporterFuzzSource(const TKvImporterFuzzInput& AInput)
      : TKvMemoryLoadSource(AInput.Name, AInput.File.data(), static_cast<int32_t>(AInput.File.size()), false),
        FCompanion(AInput.Companion) {}

  const TKvLoadSourceRec* GetFile(const std::string& AName) override {
    if (AName.empty() || AName.size() > 255) return nullptr;
    TKvLoadSourceRec& r = FRecs.emplace_back();
    r.Name = AName;
    r.Ext = LowerFileExt(AName);
    r.Bytes = FCompanion;
    r.Data = r.Bytes.data();
    r.Size = static_cast<int32_t>(r.Bytes.size());
    return &r;
  }

private:
  const std::vector<uint8_t>& FCompanion;
  std::deque<TKvLoadSourceRec> FRecs;
};
