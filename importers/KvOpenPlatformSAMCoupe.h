// Importers of the SAM Coupé screen files of all four modes: ".ss1" to
// ".ss4" with the 41-byte palette block, the compact ".ssx", the same
// followed by per-line palette changes, the interlaced ".lce" and the raw
// 512 x 192 colour-number picture.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

namespace KvOpenPlatformSAMCoupe {

// Shared checks and palette routines of every SAM class.
class TKvSAMCoupeEngine {
public:
  // ACount colour numbers are there and none has bit 7 set.
  static bool CheckColorNumbers(const TKvBytes& AData, int ACount);
  // Checks a block's colour numbers; AStandard tells both marker copies are
  // 0, 17, 34, 127.
  static bool CheckPaletteBlock(const TKvBytes& AData, bool& AStandard);
  // ACount (< 128) change records with line <= 190, entry <= 15 and colours
  // < 128, followed by 255.
  static bool CheckLineChanges(const TKvBytes& AData, int ACount);
  // The number of change records in a file with the list at AOffset, or 0
  // when the rest is no list.
  static int LineChangeCount(TKvLoadSource& ASource, int AOffset);
  static void SetSAMPalette(TKvPalette256& APalette, const TKvBytes& AData, int ACount, bool AAppend);
  // Flags of a file whose block stands at ABlockOffset: 8, +2 for the
  // extension, +1 for the mode-4 form; 0 when the size or the block is wrong.
  // AHam asks for a change list after the block, otherwise for the closing
  // 255 as the file's last byte.
  static TKvMatchFlags MatchBlockFile(TKvLoadSource& ASource, int ABlockOffset, bool AHam, const char* AExt1,
                                      const char* AExt2);
  // Flags of a compact file: the screen and ACount colour numbers, ASize
  // bytes in all.
  static TKvMatchFlags MatchSsxFile(TKvLoadSource& ASource, int ASize, int ACount);
};

// What every class keeps: the file's bytes, whose size Match checked, and,
// in the HAM classes, the number of change records.
template <class T>
class TKvSAMCoupeFileEngine : public TKvSourceEngineOf<T> {
public:
  explicit TKvSAMCoupeFileEngine(TKvLoadSource& ASource) : TKvSourceEngineOf<T>(ASource), FData(ASource.GetBytes()) {}

protected:
  TKvBytes FData;
  int FCount = 0;
};

// Mode 1: a ZX Spectrum screen (8 x 8 attribute cells) whose ink and paper
// pick entries of a 16-colour palette.
class TKvSAMCoupeMode1SS1Engine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode1SS1Engine> {
public:
  explicit TKvSAMCoupeMode1SS1Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode1SSXEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode1SSXEngine> {
public:
  explicit TKvSAMCoupeMode1SSXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode1SS1HamEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode1SS1HamEngine> {
public:
  explicit TKvSAMCoupeMode1SS1HamEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// Mode 2: a linear bitmap with one attribute byte per 8 x 1 cell.
class TKvSAMCoupeMode2SS2Engine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode2SS2Engine> {
public:
  explicit TKvSAMCoupeMode2SS2Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode2SSXEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode2SSXEngine> {
public:
  explicit TKvSAMCoupeMode2SSXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode2SS2HamEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode2SS2HamEngine> {
public:
  explicit TKvSAMCoupeMode2SS2HamEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode3SS3Engine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode3SS3Engine> {
public:
  explicit TKvSAMCoupeMode3SS3Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode3SSXEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode3SSXEngine> {
public:
  explicit TKvSAMCoupeMode3SSXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode3SS3HamEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode3SS3HamEngine> {
public:
  explicit TKvSAMCoupeMode3SS3HamEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode4SS4Engine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode4SS4Engine> {
public:
  explicit TKvSAMCoupeMode4SS4Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode4SSXEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode4SSXEngine> {
public:
  explicit TKvSAMCoupeMode4SSXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeModeSS4HamEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeModeSS4HamEngine> {
public:
  explicit TKvSAMCoupeModeSS4HamEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeMode4InterlacedEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeMode4InterlacedEngine> {
public:
  explicit TKvSAMCoupeMode4InterlacedEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSAMCoupeModeRAWEngine : public TKvSAMCoupeFileEngine<TKvSAMCoupeModeRAWEngine> {
public:
  explicit TKvSAMCoupeModeRAWEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

}  // namespace KvOpenPlatformSAMCoupe

void InitKvOpenPlatformSAMCoupe();
