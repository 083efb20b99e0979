// Importer of the Specialist "sps" screens: 384 x 256 black and white, stored
// column by column.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// The importer's own class, scoped by its unit (the converter unit has a class
// of the same name).
namespace KvOpenPlatformSpecialist {

class TKvSpecialistEngine : public TKvSourceEngineOf<TKvSpecialistEngine> {
public:
  explicit TKvSpecialistEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

}  // namespace KvOpenPlatformSpecialist

void InitKvOpenPlatformSpecialist();
