// The importer of ATM Turbo multicolour ".grf" pictures: the header's
// palette digits and sizes, then pixels and run-length encoded attributes
// column by column.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

class TKvATMTurboMultiColorEngine : public TKvSourceEngineOf<TKvATMTurboMultiColorEngine> {
public:
  explicit TKvATMTurboMultiColorEngine(TKvLoadSource& ASource);
  // A valid header whose attribute runs cover the picture, each a whole
  // pair of a count above 0: the header flag, the extension, and the size
  // flag when the last run ends at the last attribute.
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FHeader;  // the palette digits and the size bytes
  TKvBytes FData;    // what follows the header: the pixels, then the runs
};

const std::vector<const TKvSourceEngineClass*>& ATMTurboSourceEngineClasses();
void InitKvOpenPlatformATMTurbo();
