// Importer of Oric high-resolution screen dumps with their serial colour
// attributes.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// An 8000-byte dump: 200 lines of 40 bytes, six pixels per byte. A byte with
// bit 6 set is bitmap, otherwise an attribute that sets ink or paper for the
// rest of the line; bit 7 inverts the byte's six pixels.
class TKvOricEngine : public TKvSourceEngineOf<TKvOricEngine> {
public:
  explicit TKvOricEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

// Unit start-up: registers the importer.
void InitKvOpenPlatformOric();
