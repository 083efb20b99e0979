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

class TKvSAMCoupeMode3EngineOptions : public TKvSAMCoupeEngineOptionsBase {
public:
  TKvSAMCoupeMode3EngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 192}; }
};

class TKvSAMCoupeMode4EngineOptions : public TKvSAMCoupeEngineOptionsBase {
public:
  TKvSAMCoupeMode4EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
};

class TKvSAMCoupeMode4InterlacedEngineOptions : public TKvSAMCoupeEngineOptionsBase {
public:
  TKvSAMCoupeMode4InterlacedEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 384}; }
};

class TKvSAMCoupeEngineUIBase : public TKvDestEngineUIEx {
public:
  TKvSAMCoupeEngineUIBase(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int AColumns);
  // "Edit..." offers the 128 colours in rows of 16.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

class TKvSAMCoupeMode3EngineUI : public TKvSAMCoupeEngineUIBase {
public:
  explicit TKvSAMCoupeMode3EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvSAMCoupeMode4EngineUI : public TKvSAMCoupeEngineUIBase {
public:
  explicit TKvSAMCoupeMode4EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvSAMCoupeMode3Engine
    : public TKvDestEngineWith<TKvSAMCoupeMode3Engine, TKvSAMCoupeMode3EngineOptions, TKvSAMCoupeMode3EngineUI> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "3 512x192x2"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvSAMCoupeMode4Engine
    : public TKvDestEngineWith<TKvSAMCoupeMode4Engine, TKvSAMCoupeMode4EngineOptions, TKvSAMCoupeMode4EngineUI> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "4 256x192x4"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvSAMCoupeMode4InterlacedEngine
    : public TKvDestEngineWith<TKvSAMCoupeMode4InterlacedEngine, TKvSAMCoupeMode4InterlacedEngineOptions,
                               TKvSAMCoupeMode4EngineUI> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "4 256x384x4 Interlaced"; }
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

class TKvSAMCoupeMode4HAMEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvSAMCoupeMode4HAMEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvSAMCoupeMode4HAMEngine
    : public TKvDestEngineWith<TKvSAMCoupeMode4HAMEngine, TKvSAMCoupeMode4EngineOptions, TKvSAMCoupeMode4HAMEngineUI> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "4 256x192x4 HAM1/127"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

}  // namespace KvSavePlatformSAMCoupe

void InitKvSavePlatformSAMCoupe();
