// The converter of the "Pico-8" platform: a 128 x 128 picture in the 16 fixed
// colours of the fantasy console. It gives a preview only.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

extern const uint8_t Pico8Colors[16][3];
// The gray subset: colour numbers, darkest first.
extern const uint8_t Pico8Grays[4];

class TKvPico8EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvPico8EngineOptions();
  TKvSize GetDefaultSize() const override { return {128, 128}; }
};

class TKvPico8EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvPico8EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvPico8Engine : public TKvDestEngineOf<TKvPico8Engine> {
public:
  static std::string GetPlatformName() { return "Pico-8"; }
  static std::string GetModeName() { return "128x128x4"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

void InitKvSavePlatformPico8();
