// Importer of the Irisha "pic" pictures: headerless 1-bit bitmaps of
// 320 x 200 (8000 bytes) or 640 x 200 (16000 bytes).
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

namespace KvOpenPlatformIrisha {

class TKvIrishaEngine : public TKvSourceEngineOf<TKvIrishaEngine> {
public:
  explicit TKvIrishaEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

}  // namespace KvOpenPlatformIrisha

void InitKvOpenPlatformIrisha();
