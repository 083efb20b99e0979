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
  const uint8_t* FPixels;   // file offset 4
  const uint8_t* FPalette;  // the last 16 bytes
};

void InitKvOpenPlatformDVK();
