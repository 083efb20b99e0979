// The importer of Profi ".grf" pictures, recognised by their header: a
// two-colour bitmap, or 8x1 attribute cells over the 16 ZX colours or the
// header's own 16 colours.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

// The converter's engine has the same name; this unit's classes live apart.
namespace KvOpenPlatformProfi {

class TKvProfiEngine : public TKvSourceEngineOf<TKvProfiEngine> {
public:
  explicit TKvProfiEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FHeader;  // the first header block
  TKvBytes FData;    // the rows after the header
};

}  // namespace KvOpenPlatformProfi

const std::vector<const TKvSourceEngineClass*>& ProfiSourceEngineClasses();
void InitKvOpenPlatformProfi();
