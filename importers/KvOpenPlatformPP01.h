// Importer of the PP01 "01s" screens: 256 x 256 pixels in three bit planes.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// The importer's own class, scoped by its unit (the converter unit has a class
// of the same name).
namespace KvOpenPlatformPP01 {

class TKvPP01Engine : public TKvSourceEngineOf<TKvPP01Engine> {
public:
  explicit TKvPP01Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

}  // namespace KvOpenPlatformPP01

void InitKvOpenPlatformPP01();
