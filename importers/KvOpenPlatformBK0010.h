// Importers of the BK-0011 screen files: ".bks" in its four sizes, and the
// palette-less ".pic" and ".bin" (read as BK-0010 pictures with palette 1).
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

class TKvBaseBK0010SourceEngine : public TKvSourceEngine {
public:
  // The AScreens screens at AOffset; 512 x 256 when AMono, else 256 x 256.
  TKvBaseBK0010SourceEngine(TKvLoadSource& ASource, int AOffset, int AScreens, bool AMono, int ABits);

protected:
  // The 256x256 colour screen with palette AStoredNumber + 1.
  std::unique_ptr<TKvBitmap> DecodeColor(int AStoredNumber);
  // The 512x256 black-and-white screen.
  std::unique_ptr<TKvBitmap> DecodeMono();

  TKvBytes FScreen;
};

class TKvBK0010BKSSourceEngine : public TKvSourceEngineOf<TKvBK0010BKSSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BKSSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  int FPaletteNumber;
};

class TKvBK0010BKSExSourceEngine
    : public TKvSourceEngineOf<TKvBK0010BKSExSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BKSExSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FScreenB;
  int FPaletteA;
  int FPaletteB;
};

class TKvBK0010BKSBWSourceEngine
    : public TKvSourceEngineOf<TKvBK0010BKSBWSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BKSBWSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvBK0010BKSBWExSourceEngine
    : public TKvSourceEngineOf<TKvBK0010BKSBWExSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BKSBWExSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvBK0010PICSourceEngine : public TKvSourceEngineOf<TKvBK0010PICSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010PICSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvBK0010BINSourceEngine : public TKvSourceEngineOf<TKvBK0010BINSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BINSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvBK0010BINBWSourceEngine
    : public TKvSourceEngineOf<TKvBK0010BINBWSourceEngine, TKvBaseBK0010SourceEngine> {
public:
  explicit TKvBK0010BINBWSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

void InitKvOpenPlatformBK0010();
