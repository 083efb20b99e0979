// Importer of the Lvov ".lvs" screen files.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// The importer's own class of this name, scoped by its unit.
namespace KvOpenPlatformLvov {

class TKvLvovEngine : public TKvSourceEngineOf<TKvLvovEngine> {
public:
  explicit TKvLvovEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the screen (and the port byte)
  uint8_t FPortByte;
};

}  // namespace KvOpenPlatformLvov

void InitKvOpenPlatformLvov();
