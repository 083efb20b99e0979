// Importers of Spectra screens: 256x192 pictures in attribute cells 8 or 4
// pixels wide and 8, 4, 2 or 1 lines high, with 16 or 64 colours and one or
// two attribute bytes per cell. Files with the "PS" trailer name their mode
// in it; a memory image without it is offered by every mode of its size.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

// Keeps the file's bytes and the mode byte; decodes every mode.
class TKvBaseSpectraSourceEngine : public TKvSourceEngine {
public:
  TKvBaseSpectraSourceEngine(TKvLoadSource& ASource, uint8_t AMode);
  // A mode byte outside the 32 valid ones, or data shorter than the mode's
  // memory image, raises the OS error 86.
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  const uint8_t* FData;
  int64_t FSize;
  uint8_t FMode;
};

// A file ending in the trailer "P", "S", mode.
class TKvSpectraSourceEngine : public TKvSourceEngineOf<TKvSpectraSourceEngine, TKvBaseSpectraSourceEngine> {
public:
  explicit TKvSpectraSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// The memory image of one mode without trailer, recognised by its size.
class TKvSpectraSourceBinEngine : public TKvBaseSpectraSourceEngine {
public:
  using TKvBaseSpectraSourceEngine::TKvBaseSpectraSourceEngine;
  static TKvMatchFlags MatchMode(TKvLoadSource& ASource, uint8_t AMode);
};

// The mode byte of cell width W, cell height H, C colours and B bytes.
constexpr uint8_t SpectraModeByte(int W, int H, int C, int B) {
  return static_cast<uint8_t>((H == 8 ? 0 : H == 4 ? 1 : H == 2 ? 2 : 3) | (C == 64 ? 0x04 : 0) |
                              (B == 2 ? 0x08 : 0) | (W == 4 ? 0x80 : 0));
}

#define KV_SPECTRA_BIN_ENGINE(W, H, C, B)                                                          \
  class TKvSpectraSource##W##x##H##x##C##x##B##Engine                                              \
      : public TKvSourceEngineOf<TKvSpectraSource##W##x##H##x##C##x##B##Engine, TKvSpectraSourceBinEngine> { \
  public:                                                                                          \
    explicit TKvSpectraSource##W##x##H##x##C##x##B##Engine(TKvLoadSource& ASource)                 \
        : TKvSourceEngineOf(ASource, GetModeByte()) {}                                             \
    static constexpr uint8_t GetModeByte() { return SpectraModeByte(W, H, C, B); }                 \
    static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchMode(ASource, GetModeByte()); } \
  }

KV_SPECTRA_BIN_ENGINE(8, 1, 64, 2);
KV_SPECTRA_BIN_ENGINE(8, 1, 64, 1);
KV_SPECTRA_BIN_ENGINE(8, 1, 16, 2);
KV_SPECTRA_BIN_ENGINE(8, 1, 16, 1);
KV_SPECTRA_BIN_ENGINE(8, 2, 64, 2);
KV_SPECTRA_BIN_ENGINE(8, 2, 64, 1);
KV_SPECTRA_BIN_ENGINE(8, 2, 16, 2);
KV_SPECTRA_BIN_ENGINE(8, 2, 16, 1);
KV_SPECTRA_BIN_ENGINE(8, 4, 64, 2);
KV_SPECTRA_BIN_ENGINE(8, 4, 64, 1);
KV_SPECTRA_BIN_ENGINE(8, 4, 16, 2);
KV_SPECTRA_BIN_ENGINE(8, 4, 16, 1);
KV_SPECTRA_BIN_ENGINE(8, 8, 64, 2);
KV_SPECTRA_BIN_ENGINE(8, 8, 64, 1);
KV_SPECTRA_BIN_ENGINE(8, 8, 16, 2);
KV_SPECTRA_BIN_ENGINE(8, 8, 16, 1);
KV_SPECTRA_BIN_ENGINE(4, 1, 64, 2);
KV_SPECTRA_BIN_ENGINE(4, 1, 64, 1);
KV_SPECTRA_BIN_ENGINE(4, 1, 16, 2);
KV_SPECTRA_BIN_ENGINE(4, 1, 16, 1);
KV_SPECTRA_BIN_ENGINE(4, 2, 64, 2);
KV_SPECTRA_BIN_ENGINE(4, 2, 64, 1);
KV_SPECTRA_BIN_ENGINE(4, 2, 16, 2);
KV_SPECTRA_BIN_ENGINE(4, 2, 16, 1);
KV_SPECTRA_BIN_ENGINE(4, 4, 64, 2);
KV_SPECTRA_BIN_ENGINE(4, 4, 64, 1);
KV_SPECTRA_BIN_ENGINE(4, 4, 16, 2);
KV_SPECTRA_BIN_ENGINE(4, 4, 16, 1);
KV_SPECTRA_BIN_ENGINE(4, 8, 64, 2);
KV_SPECTRA_BIN_ENGINE(4, 8, 64, 1);
KV_SPECTRA_BIN_ENGINE(4, 8, 16, 2);
KV_SPECTRA_BIN_ENGINE(4, 8, 16, 1);

#undef KV_SPECTRA_BIN_ENGINE

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSpectraSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrumSpectra();
