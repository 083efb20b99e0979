// The SAM Coupé converters: mode 3 (512 x 192, 4 of 128 colours), mode 4
// (256 x 192, 16 of 128), mode 4 interlaced (two alternating mode-4 screens
// making 384 rows) and mode 4 with one palette entry rewritten between rows.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvHAMImage.h"

namespace KvSavePlatformSAMCoupe {

// The ".lce" stream: even rows in the first 24617-byte half, odd rows in the
// second; only written.
class TKvSAMCoupeMode4InterlacedScreen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

// The size is fixed; the hardware palette is the 128 SAM colours.
class TKvSAMCoupeEngineOptionsBase : public TKvDestEngineOptions {
public:
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void UpdatePalette() override;
};

// A screen of AWidth x AHeight with the pixel aspect, palette mode and error
// diffusion the mode starts with.
template <int AWidth, int AHeight, TKvPixelAspect AAspect, TKvPaletteMode AMode, int ADiffusion>
class TKvSAMCoupeEngineOptionsOf : public TKvSAMCoupeEngineOptionsBase {
public:
  TKvSAMCoupeEngineOptionsOf() {
    SetPixelAspect(AAspect);
    SetPaletteMode(AMode);
    SetErrorDiffusion(ADiffusion);
  }
  TKvSize GetDefaultSize() const override { return {AWidth, AHeight}; }
};

struct TKvSAMCoupeMode3EngineOptions : TKvSAMCoupeEngineOptionsOf<512, 192, pa1_2, pmColorBright, 80> {};
struct TKvSAMCoupeMode4EngineOptions : TKvSAMCoupeEngineOptionsOf<256, 192, pa1_1, pmColor, 90> {};
struct TKvSAMCoupeMode4InterlacedEngineOptions : TKvSAMCoupeEngineOptionsOf<256, 384, pa2_1, pmColor, 90> {};

class TKvSAMCoupeEngineUIBase : public TKvDestEngineUIEx {
public:
  TKvSAMCoupeEngineUIBase(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int AColumns);
  // "Edit..." offers the 128 colours in rows of 16.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvSAMCoupeMode3EngineUI : TKvSAMCoupeEngineUIBase { explicit TKvSAMCoupeMode3EngineUI(TKvDestEngineOptions* AOptions); };
struct TKvSAMCoupeMode4EngineUI : TKvSAMCoupeEngineUIBase { explicit TKvSAMCoupeMode4EngineUI(TKvDestEngineOptions* AOptions); };
struct TKvSAMCoupeMode4HAMEngineUI : TKvDestEngineUIEx { explicit TKvSAMCoupeMode4HAMEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "SAM Coupé" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvSAMCoupeEngineOf = TKvDestMode<T, TOptions, TUI, "SAM Coupé", AMode>;

struct TKvSAMCoupeMode3Engine : TKvSAMCoupeEngineOf<TKvSAMCoupeMode3Engine, TKvSAMCoupeMode3EngineOptions, TKvSAMCoupeMode3EngineUI, "3 512x192x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvSAMCoupeMode4Engine : TKvSAMCoupeEngineOf<TKvSAMCoupeMode4Engine, TKvSAMCoupeMode4EngineOptions, TKvSAMCoupeMode4EngineUI, "4 256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvSAMCoupeMode4InterlacedEngine : TKvSAMCoupeEngineOf<TKvSAMCoupeMode4InterlacedEngine, TKvSAMCoupeMode4InterlacedEngineOptions, TKvSAMCoupeMode4EngineUI, "4 256x384x4 Interlaced"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvSAMCoupeMode4HAMEngine : TKvSAMCoupeEngineOf<TKvSAMCoupeMode4HAMEngine, TKvSAMCoupeMode4EngineOptions, TKvSAMCoupeMode4HAMEngineUI, "4 256x192x4 HAM1/127"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// Keeps the line palette as the machine holds it while the rows are drawn:
// the first row's palette goes into the file's palette block, every later
// entry change into a 4-byte record (line - 1, entry, colour number twice).
class TKvSAMCoupeHAMImage : public TKvHAMImage {
public:
  // ABlock: the 41 bytes after the screen of the ".ss4" stream (not owned).
  TKvSAMCoupeHAMImage(const TKvImage& AImage, uint8_t* ABlock);

  void StoreInitialPalette(TKvPalette* ADisplayPalette, TKvPalette256& ALinePalette) override;
  // "Internal error" once 127 records are stored.
  void StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                          int ALine) override;

  int GetChangeCount() const { return FCount; }
  // The records followed by 255: 4 * GetChangeCount() + 1 bytes.
  const uint8_t* GetChanges() const { return FChanges; }

private:
  uint8_t* FBlock;
  TKvPalette256 FLinePalette;
  uint8_t FChanges[512];  // up to 127 records and the closing 255
  int32_t FCount = 0;
};

}  // namespace KvSavePlatformSAMCoupe

void InitKvSavePlatformSAMCoupe();
