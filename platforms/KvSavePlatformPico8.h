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

struct TKvPico8EngineUI : TKvDestEngineUIEx { explicit TKvPico8EngineUI(TKvDestEngineOptions* AOptions); };

struct TKvPico8Engine : TKvDestMode<TKvPico8Engine, TKvPico8EngineOptions, TKvPico8EngineUI, "Pico-8", "128x128x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformPico8();
