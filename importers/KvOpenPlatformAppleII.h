// Importer of Apple II high-resolution screen dumps, read as black and white.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// An 8192-byte dump of the hi-res page: 280x192, seven pixels per byte with
// bit 0 leftmost, lines interleaved in thirds and eighths.
class TKvAppleIIEngine : public TKvSourceEngineOf<TKvAppleIIEngine> {
public:
  explicit TKvAppleIIEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

// The byte offset of screen line AY in the dump.
int AppleIILineOffset(int AY);

// Unit start-up: registers the importer.
void InitKvOpenPlatformAppleII();
