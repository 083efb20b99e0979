// The converters of the "Irisha" platform: black and white screens of 320 x 200
// and 640 x 200, each written as a plain 1-bit "pic" bitmap.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

// Rows top-down, the leftmost pixel in bit 7, a set bit white.
class TKvIrishaScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
};

class TKvIrisha320EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvIrisha320EngineOptions();
  TKvSize GetDefaultSize() const override { return {320, 200}; }
};

class TKvIrisha640EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvIrisha640EngineOptions();
  TKvSize GetDefaultSize() const override { return {640, 200}; }
};

class TKvIrisha320EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvIrisha320EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvIrisha640EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvIrisha640EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvIrisha320Engine : public TKvDestEngineOf<TKvIrisha320Engine> {
public:
  static std::string GetPlatformName() { return "Irisha"; }
  static std::string GetModeName() { return "320x200x1"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvIrisha640Engine : public TKvDestEngineOf<TKvIrisha640Engine> {
public:
  static std::string GetPlatformName() { return "Irisha"; }
  static std::string GetModeName() { return "640x200x1"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

void InitKvSavePlatformIrisha();
