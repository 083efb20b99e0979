// Importers of the Amstrad CPC pictures: the standard and overscan ".scr"
// screens with their ".pal" or ".kit" palettes, the 512 x 256 ".hgb", the
// per-line colour "Mode 5" (".cm5" with ".gfx") and the two-frame pictures
// described by a ".pph" with ".eve" and ".odd".
#pragma once

#include <memory>
#include <string>

#include "app/KvSourceEngines.h"

// What every CPC importer keeps: the picture data inside the load source.
class TKvBaseAmstradCPCSourceEngine : public TKvSourceEngine {
public:
  using TKvSourceEngine::TKvSourceEngine;

protected:
  // The four 27-colour kinds, Gate Array (sRGB) chosen.
  void SetCPCPaletteTypes();
  void SetCPCDescription(const std::string& AModeText);
  const uint8_t* FData = nullptr;
};

// The screens: a ".pal" body, or 16 CPC Plus palette words, when present.
class TKvAmstradCPCSourceEngine : public TKvBaseAmstradCPCSourceEngine {
public:
  TKvAmstradCPCSourceEngine(TKvLoadSource& ASource, int AMode, bool AOverscan);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  int FMode;
  bool FOverscan;
  const uint8_t* FPal = nullptr;
  const uint8_t* FPlus = nullptr;
};

// The probes of the standard and overscan screens of mode AMode.
TKvMatchFlags MatchCPCScreen(TKvLoadSource& ASource, int AMode);
TKvMatchFlags MatchCPCOverscan(TKvLoadSource& ASource, int AMode);
// The companion of the source with the extension AExt (".pal"), or nullptr.
const TKvLoadSourceRec* GetCPCCompanion(TKvLoadSource& ASource, const std::string& AExt);

template <class T, int AMode, bool AOverscan>
class TKvCPCScreenSourceOf : public TKvSourceEngineOf<T, TKvAmstradCPCSourceEngine> {
public:
  explicit TKvCPCScreenSourceOf(TKvLoadSource& ASource)
      : TKvSourceEngineOf<T, TKvAmstradCPCSourceEngine>(ASource, AMode, AOverscan) {}
  static TKvMatchFlags Match(TKvLoadSource& ASource) {
    return AOverscan ? MatchCPCOverscan(ASource, AMode) : MatchCPCScreen(ASource, AMode);
  }
};

#define KV_CPC_SOURCE(AName, AMode, AOverscan)                                         \
  class AName final : public TKvCPCScreenSourceOf<AName, AMode, AOverscan> {           \
  public:                                                                              \
    using TKvCPCScreenSourceOf<AName, AMode, AOverscan>::TKvCPCScreenSourceOf;         \
  };
KV_CPC_SOURCE(TKvAmstradCPCMode0SourceEngine, 0, false)
KV_CPC_SOURCE(TKvAmstradCPCMode0ExSourceEngine, 0, true)
KV_CPC_SOURCE(TKvAmstradCPCMode1SourceEngine, 1, false)
KV_CPC_SOURCE(TKvAmstradCPCMode1ExSourceEngine, 1, true)
KV_CPC_SOURCE(TKvAmstradCPCMode2SourceEngine, 2, false)
KV_CPC_SOURCE(TKvAmstradCPCMode2ExSourceEngine, 2, true)
#undef KV_CPC_SOURCE

class TKvAmstradCPCMode2HGBSourceEngine final
    : public TKvSourceEngineOf<TKvAmstradCPCMode2HGBSourceEngine, TKvBaseAmstradCPCSourceEngine> {
public:
  explicit TKvAmstradCPCMode2HGBSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvAmstradCPCMode5SourceEngine final
    : public TKvSourceEngineOf<TKvAmstradCPCMode5SourceEngine, TKvBaseAmstradCPCSourceEngine> {
public:
  explicit TKvAmstradCPCMode5SourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  const uint8_t* FGfx = nullptr;
};

// The two-frame pictures: ".pph" type 3 (Mode R), 4 (B0) or 5 (B1).
class TKvBaseAmstradCPCModeBSourceEngine : public TKvBaseAmstradCPCSourceEngine {
public:
  TKvBaseAmstradCPCModeBSourceEngine(TKvLoadSource& ASource, uint8_t AType);
  static TKvMatchFlags MatchFrames(TKvLoadSource& ASource, uint8_t AType);

protected:
  // Palette2 := the pens, Palette := their mixtures.
  void BuildCPCFramePairPalette(int ACount);
  int FStoredWidth = 0;
  const uint8_t* FEve = nullptr;
  const uint8_t* FOdd = nullptr;
};

#define KV_CPC_FRAMES_SOURCE(AName, AType)                                                          \
  class AName final : public TKvSourceEngineOf<AName, TKvBaseAmstradCPCModeBSourceEngine> {        \
  public:                                                                                           \
    explicit AName(TKvLoadSource& ASource);                                                         \
    static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchFrames(ASource, AType); }     \
    std::unique_ptr<TKvBitmap> Decode() override;                                                   \
  };
KV_CPC_FRAMES_SOURCE(TKvAmstradCPCModeRSourceEngine, 3)
KV_CPC_FRAMES_SOURCE(TKvAmstradCPCModeB0SourceEngine, 4)
KV_CPC_FRAMES_SOURCE(TKvAmstradCPCModeB1SourceEngine, 5)
#undef KV_CPC_FRAMES_SOURCE

void InitKvOpenPlatformAmstradCPC();
