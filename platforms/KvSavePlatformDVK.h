// The converter of the "DVK KCGD" platform: one mode, "400x240x4", 16 colours
// chosen from 64, written as a ".pic" file that carries its size and palette.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

// The ".pic" layout over the whole file (Data = offset 0): rows bottom-up
// after the 4 header bytes, one little-endian word per 4 pixels with the
// leftmost pixel in the top nibble. The screen is only written.
class TKvDvkScreen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

class TKvDvkEngineOptions : public TKvDestEngineOptions {
public:
  TKvDvkEngineOptions();
  TKvSize GetMaxSize() const override { return {400, 240}; }
  TKvSize GetDefaultSize() const override { return {400, 240}; }
  // Rounds up to a multiple of 4 pixels.
  void SetWidth(int32_t AValue) override;
  void UpdatePalette() override;
};

class TKvDvkEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvDvkEngineUI(TKvDestEngineOptions* AOptions);
  // "Edit..." offers the 64 colours of the chosen palette kind.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// A mode AMode of the "DVK KCGD" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvDvkEngineOf = TKvDestMode<T, TOptions, TUI, "DVK KCGD", AMode>;

struct TKvDvkEngine : TKvDvkEngineOf<TKvDvkEngine, TKvDvkEngineOptions, TKvDvkEngineUI, "400x240x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformDVK();
