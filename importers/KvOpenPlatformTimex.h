// Importers of the Timex screen files: the 8x1 hi-colour screen, its
// interlaced form, the 512-pixel-wide screen in one colour pair and its
// two-frame form. Each class recognises its file by exact size and
// extension.
#pragma once

#include <memory>
#include <vector>

#include "importers/KvOpenPlatformZxSpectrum.h"

#define KV_TIMEX_IMPORTER(Name)                                               \
  class Name : public TKvSourceEngineOf<Name, TKvZxSpectrumSourceEngine> {    \
  public:                                                                     \
    explicit Name(TKvLoadSource& ASource);                                    \
    static TKvMatchFlags Match(TKvLoadSource& ASource);                       \
    std::unique_ptr<TKvBitmap> Decode() override;                             \
  }

KV_TIMEX_IMPORTER(TKvTimexEngine);            // ".scr" 12288, hi-colour
KV_TIMEX_IMPORTER(TKvTimexInterlacedEngine);  // ".lce" 24576, two hi-colour screens
KV_TIMEX_IMPORTER(TKvTimexBWEngine);          // ".scr" 12289, 512x192 hi-res
KV_TIMEX_IMPORTER(TKvTimexBWGigaEngine);      // ".hgr" 24578, two hi-res frames

#undef KV_TIMEX_IMPORTER

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& TimexSourceEngineClasses();
void InitKvOpenPlatformTimex();
