// The converter of the "ZX Spectrum Next" platform: the 256x192 Layer 2
// screen of one byte per pixel, saved as ".nxi" (a 512-byte palette of 9-bit
// colours, then the pixels) and, with the fixed RRRGGGBB palette, also as the
// bare ".sl2" pixel file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvDestEngineOptions.h"

// The palette fillers clear APalette and append colours of the 512-colour
// RGB333 cube.
// The 256 RRRGGGBB colours in byte order: blue's two bits take the 3-bit
// levels 0, 3, 5, 7.
void FillNextRGB332Palette(TKvPalette256& APalette);
// The four grays of the RRRGGGBB code: levels 0, 3, 5, 7.
void FillNextRGB332GrayPalette(TKvPalette256& APalette);
// The eight grays of the RGB333 cube.
void FillNextRGB333GrayPalette(TKvPalette256& APalette);

// The palette word of a colour on the RGB333 cube: the RRRGGGBB byte with
// blue's upper two bits, and blue's lowest bit in bit 8. "Internal error"
// for a colour off the cube.
uint16_t NextPaletteWord(const TKvPaletteRGB& ACube, const TKvStdRGBColor& AColor);

class TKvZxSpectrumNextEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvZxSpectrumNextEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  void UpdatePalette() override;
};

class TKvZxSpectrumNextNxiEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvZxSpectrumNextNxiEngineUI(TKvDestEngineOptions* AOptions);
  // Only the chosen colours of the 512 can be edited.
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvZxSpectrumNextNxiEngine
    : TKvDestMode<TKvZxSpectrumNextNxiEngine, TKvZxSpectrumNextEngineOptions, TKvZxSpectrumNextNxiEngineUI,
                  "ZX Spectrum Next", "256x192x8"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ZxSpectrumNextDestEngineClasses();
void InitKvSavePlatformZxSpectrumNext();
