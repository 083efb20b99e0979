// Importer of the PC-8000 ".vm2" screens: 256 x 192 in 8 x 1 segments of two
// colours out of 16, behind a "PC8" header.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

class TKvPC8000SourceEngine : public TKvSourceEngineOf<TKvPC8000SourceEngine> {
public:
  explicit TKvPC8000SourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // past the header
};

void InitKvOpenPlatformPC8000();
