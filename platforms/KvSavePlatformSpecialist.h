// The converters of the "Specialist" platform: 384 x 256 in cells of 8 x 1.
// Only the black and white conversion writes a file ("sps", column by column);
// the colour conversions give a preview only.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"

constexpr int SpecialistFileSize = 12288;

// 48 columns of 256 bytes: byte c * 256 + y holds pixels 8c..8c+7 of row y,
// the leftmost in bit 7, a set bit white.
class TKvSpecialistBWScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AValue) override;
};

// Fills APalette with the colours of a palette mode: 0 "Black/white", 1
// "Gray", 4 "5 colors", 5 "8 colors", 11 "Сolor"; any other raises.
void BuildSpecialistPalette(TKvPalette256& APalette, int APaletteMode);

// The (A on clear bits, B on set bits) candidates of a palette mode.
class TKvSpecialistColorPaletteList : public TKvCellPaletteList {
public:
  TKvSpecialistColorPaletteList(TKvPalette256& APalette, int APaletteMode);
};

class TKvSpecialistColorImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen*, int, int, TKvCellPalette*) override {}
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen*, int, int, TKvCellPalette*, int) override {}

  uint8_t PaletteMode = 0;
};

class TKvSpecialistEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSpecialistEngineOptions();
  TKvSize GetDefaultSize() const override { return {384, 256}; }
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

class TKvSpecialistMXEngineOptions : public TKvSpecialistEngineOptions {
public:
  TKvSpecialistMXEngineOptions();
};

class TKvSpecialistEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvSpecialistEngineUI(TKvDestEngineOptions* AOptions) : TKvSpecialistEngineUI(AOptions, 49) {}
  // The palette modes the panel offers.
  virtual uint32_t GetPaletteModeSet() const { return 49; }  // "Black/white", "5 colors", "8 colors"

protected:
  TKvSpecialistEngineUI(TKvDestEngineOptions* AOptions, uint32_t AModeSet);
};

class TKvSpecialistMXEngineUI : public TKvSpecialistEngineUI {
public:
  explicit TKvSpecialistMXEngineUI(TKvDestEngineOptions* AOptions) : TKvSpecialistEngineUI(AOptions, 2050) {}
  uint32_t GetPaletteModeSet() const override { return 2050; }  // "Gray", "Сolor"
};

class TKvSpecialistEngine : public TKvDestEngineOf<TKvSpecialistEngine> {
public:
  static std::string GetPlatformName() { return "Specialist"; }
  static std::string GetModeName() { return "384x256"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvSpecialistMXEngine : public TKvDestEngineOf<TKvSpecialistMXEngine, TKvSpecialistEngine> {
public:
  static std::string GetModeName() { return "384x256 MX"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
};

void InitKvSavePlatformSpecialist();
