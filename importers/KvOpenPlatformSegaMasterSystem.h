// Importers of Sega Master System screens: the Mode 4 picture rendered from
// a dump of the video chip's registers, colour RAM and video RAM, found in an
// "MSBMP" file or in an emulator savestate.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// Renders the background tiles, then the sprites, then the background tiles
// that have priority over sprites.
class TKvBaseSegaMasterSystemEngine : public TKvSourceEngine {
public:
  explicit TKvBaseSegaMasterSystemEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  // Keeps the three parts, each cut to its size, and sets the picture's
  // geometry.
  void SetUpScreen(const TKvBytes& ARegisters, const TKvBytes& AColorRam, const TKvBytes& AVideoRam);

  TKvBytes FRegisters;  // 16 VDP registers
  TKvBytes FColorRam;   // 32 entries used
  TKvBytes FVideoRam;   // 16384 bytes

private:
  void DrawBackground(TKvBitmap& ABitmap, int APriority);
  void DrawSprites(TKvBitmap& ABitmap);
};

// "MSBMP" files (".sbm").
class TKvSegaMasterSystemEngine
    : public TKvSourceEngineOf<TKvSegaMasterSystemEngine, TKvBaseSegaMasterSystemEngine> {
public:
  explicit TKvSegaMasterSystemEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// Savestates of versions 5 to 14 of one emulator, recognised by their
// structure alone.
class TKvMekaSnapshotEngine : public TKvSourceEngineOf<TKvMekaSnapshotEngine, TKvBaseSegaMasterSystemEngine> {
public:
  explicit TKvMekaSnapshotEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// The blocks of a savestate, each from its start to the end of the file:
// false when the data are none or are cut short.
bool FindMekaBlocks(const TKvBytes& AFile, TKvBytes& ARegisters, TKvBytes& AVideoRam, TKvBytes& AColorRam);

// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformSegaMasterSystem();
