// MAG version 2 pictures ("MAKI02  "): the MSX screens (machine type 3,
// SCREEN 5 to 12, interlaced or not) and the generic 8-, 16- and 256-colour
// pictures of other machines. The file is located and checked by the MAG
// platform routines; this unit reads the header, the palette and the flag
// and pixel-unit code.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvMAGv2Engine : public TKvSourceEngineOf<TKvMAGv2Engine> {
public:
  // Refuses (so the file is not offered) pictures over 8000 pixels wide or
  // tall and screen modes the format does not have.
  explicit TKvMAGv2Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

  // The palette of the file by PaletteType.
  void LoadPalette();
  // The picture's bytes: AHeight rows of ARowBytes, zero where the flags and
  // units run short.
  std::vector<uint8_t> Unpack(int64_t ARowBytes) const;

  TKvBytes FileData;
  TKvBytes Header;  // from the header to the end of the file
  int Machine = 0;
  int ScreenNumber = 0;  // MSX
  bool Interlaced = false;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& MAGSourceEngineClasses();
// Unit start-up: registers them.
void InitKvOpenPlatformMAG();
