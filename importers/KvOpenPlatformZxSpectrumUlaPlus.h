// Importers of ULAplus screens: the standard and the Timex hi-colour
// attribute screens, each followed by a 64-byte palette of four colour
// lookup tables. An attribute's bits 6-7 choose the table, its ink and paper
// fields entries 0-7 and 8-15 of it.
#pragma once

#include <memory>
#include <vector>

#include "importers/KvOpenPlatformZxSpectrum.h"

// Shared base: offers the three ULAplus palette versions, v1.1 chosen.
class TKvBaseZxSpectrumUlaPlusEngine : public TKvZxSpectrumSourceEngine {
public:
  explicit TKvBaseZxSpectrumUlaPlusEngine(TKvLoadSource& ASource);

protected:
  // Palette := the 64 colours of the palette bytes at APalette.
  void BuildUlaPlusPalette(const TKvBytes& APalette);
  // A 256x192 picture over the 64 colours; AAttrOf(y, c) gives the attribute
  // of column c of pixel line y.
  template <class TAttrOf>
  std::unique_ptr<TKvBitmap> DecodeUlaPlusScreen(int APaletteOffset, TAttrOf AAttrOf);
};

class TKvZxSpectrumUlaPlusEngine : public TKvSourceEngineOf<TKvZxSpectrumUlaPlusEngine, TKvBaseZxSpectrumUlaPlusEngine> {
public:
  explicit TKvZxSpectrumUlaPlusEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);  // ".scr" 6976
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvTimexUlaPlusEngine : public TKvSourceEngineOf<TKvTimexUlaPlusEngine, TKvBaseZxSpectrumUlaPlusEngine> {
public:
  explicit TKvTimexUlaPlusEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);  // ".scr" 12352
  std::unique_ptr<TKvBitmap> Decode() override;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumUlaPlusSourceEngineClasses();
void InitKvOpenPlatformZxSpectrumUlaPlus();
