// Importers of the Okean-240 ".oks" screen files in their four sizes.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

class TKvOkean240SourceEngine : public TKvSourceEngineOf<TKvOkean240SourceEngine> {
public:
  explicit TKvOkean240SourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
  int FPaletteNumber;
};

class TKvOkean240ExSourceEngine : public TKvSourceEngineOf<TKvOkean240ExSourceEngine> {
public:
  explicit TKvOkean240ExSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
  int FPaletteNumber;
};

class TKvOkean240BWSourceEngine : public TKvSourceEngineOf<TKvOkean240BWSourceEngine> {
public:
  explicit TKvOkean240BWSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

class TKvOkean240BWExSourceEngine : public TKvSourceEngineOf<TKvOkean240BWExSourceEngine> {
public:
  explicit TKvOkean240BWExSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

void InitKvOpenPlatformOkean240();
