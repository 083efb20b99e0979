// Importer of PlayStation TIM pictures: 4-bit and 8-bit indexed pictures
// with one or more colour tables (offered as palette variants), 15-bit and
// 24-bit direct colour.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

class TKvPlayStationSourceEngine : public TKvSourceEngineOf<TKvPlayStationSourceEngine> {
public:
  explicit TKvPlayStationSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
  // The colours of colour table AIndex.
  void GetVariantPalette(int AIndex, TKvPalette256& APalette) override;

private:
  TKvBytes FClut;      // the colour tables
  int FClutWidth = 0;  // entries per table
  int FClutCount = 0;  // tables
  TKvBytes FImage;     // the pixel lines
  int FLineBytes = 0;  // bytes from one line to the next
};

// Unit start-up: registers the importer.
void InitKvOpenPlatformPlayStation();
