// Every registered importer against one file image, in the layout that
// KvImporterFuzzInput.h describes.
#include <cstdint>
#include <memory>

#include "app/KvSourceEngines.h"
#include "core/KvBitmap.h"
#include "fuzz/KvImporterFuzzInput.h"
#include "fuzz_common.h"
#include "importers/KvImporterUnits.h"

namespace {

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
  TKvImporterFuzzInput input;
  if (!input.Parse(AData, ASize)) return 0;
  TKvImporterFuzzSource source(input);
  std::unique_ptr<TKvSourceEngineList> list;
  KvFuzzGuard([&] { list = source.FindEngines(); });
  if (!list) return 0;
  for (int i = 0; i < list->GetCount(); ++i) DecodeAll(*list->GetEngine(i));
  return 0;
}
