// The SAM Coupé converters: mode 3 (512 x 192, 4 of 128 colours), mode 4
// (256 x 192, 16 of 128) and mode 4 interlaced (two alternating mode-4
// screens making 384 rows).
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

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
  TKvSAMCoupeEngineUIBase(TKvDestEngineOptions* AOptions, uint32_t AModes, int AColumns);
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

class TKvSAMCoupeMode3Engine : public TKvDestEngineOf<TKvSAMCoupeMode3Engine> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "3 512x192x2"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvSAMCoupeMode4Engine : public TKvDestEngineOf<TKvSAMCoupeMode4Engine> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "4 256x192x4"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvSAMCoupeMode4InterlacedEngine : public TKvDestEngineOf<TKvSAMCoupeMode4InterlacedEngine> {
public:
  static std::string GetPlatformName() { return "SAM Coupé"; }
  static std::string GetModeName() { return "4 256x384x4 Interlaced"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

}  // namespace KvSavePlatformSAMCoupe

void InitKvSavePlatformSAMCoupe();
