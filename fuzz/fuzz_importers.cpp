// Every registered importer against one file image.
//
// Input: [extension index] [flags] [companion length, 16 bits LE] [bytes].
// The last "companion length" bytes (clamped) are served as every companion
// file an importer asks for; the others are the file itself. Flags bit 0
// wraps the file in a Hobeta header, bit 1 in a +3DOS header (both with
// valid sums, which a mutator would hardly find).
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "core/KvBitmap.h"
#include "fuzz_common.h"
#include "importers/KvImporterUnits.h"

namespace {

const char* const Extensions[] = {
#include "KvFuzzExtensions.inc"
    , ".bin", ""};
constexpr size_t ExtensionCount = sizeof(Extensions) / sizeof(Extensions[0]);

class TFuzzSource : public TKvMemoryLoadSource {
public:
  TFuzzSource(const std::string& AName, const std::vector<uint8_t>& AData, const std::vector<uint8_t>& ACompanion)
      : TKvMemoryLoadSource(AName, AData.data(), static_cast<int32_t>(AData.size()), false), FCompanion(ACompanion) {}
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

std::vector<uint8_t> WrapHobeta(const std::vector<uint8_t>& AData) {
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

std::vector<uint8_t> WrapPlus3Dos(const std::vector<uint8_t>& AData) {
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

void DecodeAll(TKvSourceEngine& AEngine) {
  const int types = AEngine.GetPaletteTypeCount();
  for (int t = 0; t < (types > 0 ? types : 1); ++t) {
    if (types > 0) AEngine.PaletteType = AEngine.GetPaletteType(t);
    KvFuzzGuard([&] { AEngine.Decode(); });
  }
  for (int v = 0; v < AEngine.GetPaletteVariantCount() && v < 8; ++v) {
    AEngine.VariantName = AEngine.GetPaletteVariant(v);
    TKvPalette256 palette;
    KvFuzzGuard([&] {
      AEngine.GetVariantPalette(v, palette);
      AEngine.Decode();
    });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = [] {
    InitializeImporters();
    return true;
  }();
  (void)initialized;
  if (ASize < 4 || ASize > 0x200000) return 0;
  const std::string name = std::string("picture") + Extensions[AData[0] % ExtensionCount];
  const uint8_t flags = AData[1];
  size_t companionSize = static_cast<size_t>(AData[2] | (AData[3] << 8));
  const uint8_t* p = AData + 4;
  const size_t n = ASize - 4;
  if (companionSize > n) companionSize = n;
  std::vector<uint8_t> file(p, p + (n - companionSize));
  const std::vector<uint8_t> companion(p + (n - companionSize), p + n);
  if (flags & 1) file = WrapHobeta(file);
  else if (flags & 2) file = WrapPlus3Dos(file);
  TFuzzSource source(name, file, companion);
  std::unique_ptr<TKvSourceEngineList> list;
  KvFuzzGuard([&] { list = source.FindEngines(); });
  if (!list) return 0;
  for (int i = 0; i < list->GetCount(); ++i) DecodeAll(*list->GetEngine(i));
  return 0;
}
