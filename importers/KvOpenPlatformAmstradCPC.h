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
  TKvBytes FData;  // the body after the header
};

// The screens: a ".pal" body, or 16 CPC Plus palette words, when present.
class TKvAmstradCPCSourceEngine : public TKvBaseAmstradCPCSourceEngine {
public:
  TKvAmstradCPCSourceEngine(TKvLoadSource& ASource, int AMode, bool AOverscan);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  int FMode;
  bool FOverscan;
  TKvBytes FPal;   // a ".pal" body
  TKvBytes FPlus;  // 16 CPC Plus palette words
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

class TKvAmstradCPCMode0SourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode0SourceEngine, 0, false> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};
class TKvAmstradCPCMode0ExSourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode0ExSourceEngine, 0, true> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};
class TKvAmstradCPCMode1SourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode1SourceEngine, 1, false> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};
class TKvAmstradCPCMode1ExSourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode1ExSourceEngine, 1, true> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};
class TKvAmstradCPCMode2SourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode2SourceEngine, 2, false> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};
class TKvAmstradCPCMode2ExSourceEngine final : public TKvCPCScreenSourceOf<TKvAmstradCPCMode2ExSourceEngine, 2, true> {
public:
  using TKvCPCScreenSourceOf::TKvCPCScreenSourceOf;
};

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
  TKvBytes FGfx;
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
  TKvBytes FEve;
  TKvBytes FOdd;
};

class TKvAmstradCPCModeRSourceEngine final
    : public TKvSourceEngineOf<TKvAmstradCPCModeRSourceEngine, TKvBaseAmstradCPCModeBSourceEngine> {
public:
  explicit TKvAmstradCPCModeRSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchFrames(ASource, 3); }
  std::unique_ptr<TKvBitmap> Decode() override;
};
class TKvAmstradCPCModeB0SourceEngine final
    : public TKvSourceEngineOf<TKvAmstradCPCModeB0SourceEngine, TKvBaseAmstradCPCModeBSourceEngine> {
public:
  explicit TKvAmstradCPCModeB0SourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchFrames(ASource, 4); }
  std::unique_ptr<TKvBitmap> Decode() override;
};
class TKvAmstradCPCModeB1SourceEngine final
    : public TKvSourceEngineOf<TKvAmstradCPCModeB1SourceEngine, TKvBaseAmstradCPCModeBSourceEngine> {
public:
  explicit TKvAmstradCPCModeB1SourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchFrames(ASource, 5); }
  std::unique_ptr<TKvBitmap> Decode() override;
};

void InitKvOpenPlatformAmstradCPC();
