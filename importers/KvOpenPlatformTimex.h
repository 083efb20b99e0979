// Importers of the Timex screen files: the 8x1 hi-colour screen, its
// interlaced form, the 512-pixel-wide screen in one colour pair and its
// two-frame form. Each class recognises its file by exact size and
// extension.
#pragma once

#include <memory>
#include <vector>

#include "importers/KvOpenPlatformZxSpectrum.h"

// ".scr" 12288, hi-colour
class TKvTimexEngine : public TKvSourceEngineOf<TKvTimexEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvTimexEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".lce" 24576, two hi-colour screens
class TKvTimexInterlacedEngine : public TKvSourceEngineOf<TKvTimexInterlacedEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvTimexInterlacedEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".scr" 12289, 512x192 hi-res
class TKvTimexBWEngine : public TKvSourceEngineOf<TKvTimexBWEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvTimexBWEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".hgr" 24578, two hi-res frames
class TKvTimexBWGigaEngine : public TKvSourceEngineOf<TKvTimexBWGigaEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvTimexBWGigaEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& TimexSourceEngineClasses();
void InitKvOpenPlatformTimex();
