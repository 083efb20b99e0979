// Importers of the Scorpion GMX ".c" screen files: the 640x200 screen with
// one attribute per 8x1 cell (recognised by its size) and the 160x200
// picture of two pixels per attribute byte (recognised by its header).
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

class TKvScorpiorGMX640Engine : public TKvSourceEngineOf<TKvScorpiorGMX640Engine> {
public:
  explicit TKvScorpiorGMX640Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the pixel bytes, then their attributes
};

class TKvScorpiorGMX160Engine : public TKvSourceEngineOf<TKvScorpiorGMX160Engine> {
public:
  explicit TKvScorpiorGMX160Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the rows after the header
};

const std::vector<const TKvSourceEngineClass*>& ScorpionGMXSourceEngineClasses();
void InitKvOpenPlatformScorpionGMX();
