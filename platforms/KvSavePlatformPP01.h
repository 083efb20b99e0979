// The converter of the "PP01" platform: 256 x 256 pixels in 8 fixed colours,
// written as a "01s" file of three bit planes.
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformPP01.h"

// Three planes of 256 rows of 32 bytes, the leftmost pixel in bit 7: red (index
// bit 1) first, then green (bit 2), then blue (bit 0). Written only.
class TKvPP01Screen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

class TKvPP01EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvPP01EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 256}; }
};

class TKvPP01EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvPP01EngineUI(TKvDestEngineOptions* AOptions);
};

class TKvPP01Engine : public TKvDestEngineWith<TKvPP01Engine, TKvPP01EngineOptions, TKvPP01EngineUI> {
public:
  static std::string GetPlatformName() { return "PP01"; }
  static std::string GetModeName() { return "256x256x3"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformPP01();
