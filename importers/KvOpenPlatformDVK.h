// Importer of the DVK KCGD ".pic" pictures.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

class TKvDVKEngine : public TKvSourceEngineOf<TKvDVKEngine> {
public:
  explicit TKvDVKEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FPixels;   // the rows, from file offset 4
  TKvBytes FPalette;  // the last 16 bytes
};

void InitKvOpenPlatformDVK();
