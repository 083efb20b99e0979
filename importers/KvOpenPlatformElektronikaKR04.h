// Importer of the Elektronika KR-04 ".krs" files: black and white or four
// colours, each in one frame or two (Gigascreen).
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvSourceEngines.h"

class TKvKR04Engine : public TKvSourceEngineOf<TKvKR04Engine> {
public:
  explicit TKvKR04Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  // Palette := the n base colours: the header's, else black and white or
  // black, blue, green and red.
  void BuildBasePalette(int ACount);

  TKvBytes FHeader;  // file offset 0
  TKvBytes FPixels;  // the frames, from file offset 12
};

void InitKvOpenPlatformElektronikaKR04();
