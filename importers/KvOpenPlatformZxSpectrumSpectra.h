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
  TKvBytes FData;  // the memory image (and the trailer, if any)
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

// The memory image of cell width W, cell height H, C colours and B bytes;
// T is the class of that mode.
template <class T, int W, int H, int C, int B>
class TKvSpectraSourceBinEngineOf : public TKvSourceEngineOf<T, TKvSpectraSourceBinEngine> {
public:
  explicit TKvSpectraSourceBinEngineOf(TKvLoadSource& ASource)
      : TKvSourceEngineOf<T, TKvSpectraSourceBinEngine>(ASource, GetModeByte()) {}
  static constexpr uint8_t GetModeByte() { return SpectraModeByte(W, H, C, B); }
  static TKvMatchFlags Match(TKvLoadSource& ASource) {
    return TKvSpectraSourceBinEngine::MatchMode(ASource, GetModeByte());
  }
};

class TKvSpectraSource8x1x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x1x64x2Engine, 8, 1, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x1x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x1x64x1Engine, 8, 1, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x1x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x1x16x2Engine, 8, 1, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x1x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x1x16x1Engine, 8, 1, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x2x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x2x64x2Engine, 8, 2, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x2x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x2x64x1Engine, 8, 2, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x2x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x2x16x2Engine, 8, 2, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x2x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x2x16x1Engine, 8, 2, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x4x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x4x64x2Engine, 8, 4, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x4x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x4x64x1Engine, 8, 4, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x4x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x4x16x2Engine, 8, 4, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x4x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x4x16x1Engine, 8, 4, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x8x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x8x64x2Engine, 8, 8, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x8x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x8x64x1Engine, 8, 8, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x8x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x8x16x2Engine, 8, 8, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource8x8x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource8x8x16x1Engine, 8, 8, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x1x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x1x64x2Engine, 4, 1, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x1x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x1x64x1Engine, 4, 1, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x1x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x1x16x2Engine, 4, 1, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x1x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x1x16x1Engine, 4, 1, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x2x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x2x64x2Engine, 4, 2, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x2x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x2x64x1Engine, 4, 2, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x2x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x2x16x2Engine, 4, 2, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x2x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x2x16x1Engine, 4, 2, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x4x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x4x64x2Engine, 4, 4, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x4x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x4x64x1Engine, 4, 4, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x4x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x4x16x2Engine, 4, 4, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x4x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x4x16x1Engine, 4, 4, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x8x64x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x8x64x2Engine, 4, 8, 64, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x8x64x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x8x64x1Engine, 4, 8, 64, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x8x16x2Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x8x16x2Engine, 4, 8, 16, 2> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};
class TKvSpectraSource4x8x16x1Engine : public TKvSpectraSourceBinEngineOf<TKvSpectraSource4x8x16x1Engine, 4, 8, 16, 1> {
public:
  using TKvSpectraSourceBinEngineOf::TKvSpectraSourceBinEngineOf;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSpectraSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrumSpectra();
