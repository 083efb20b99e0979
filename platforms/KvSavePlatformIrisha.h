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

class TKvIrisha320Engine
    : public TKvDestEngineWith<TKvIrisha320Engine, TKvIrisha320EngineOptions, TKvIrisha320EngineUI> {
public:
  static std::string GetPlatformName() { return "Irisha"; }
  static std::string GetModeName() { return "320x200x1"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvIrisha640Engine
    : public TKvDestEngineWith<TKvIrisha640Engine, TKvIrisha640EngineOptions, TKvIrisha640EngineUI> {
public:
  static std::string GetPlatformName() { return "Irisha"; }
  static std::string GetModeName() { return "640x200x1"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformIrisha();
