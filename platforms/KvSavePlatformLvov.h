// The converter of the "Lvov" platform: the four-colour screen, whole
// (256x256) or as a 200x225 picture, with the colours of one of 42 palette-
// port bytes ("Auto" tries them all).
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvFixedPaletteSearch.h"

constexpr int LvovPortByteCount = 42;
// The port bytes offered, candidate k = 1..42 at entry k - 1.
extern const uint8_t LvovPortBytes[LvovPortByteCount];

// Rows of (W + 3) / 4 bytes; pixel x is in bits s and s + 4 of byte x / 4,
// s = 3 - x mod 4 (bit 0 of the colour in bit s); then the port byte.
class TKvLvovScreen : public TKvScreen2 {
public:
  TKvLvovScreen(int AWidth, int AHeight, void* AData, uint8_t APortByte);
  static int GetDataSize(int AWidth, int AHeight) { return AHeight * ((AWidth + 3) / 4) + 1; }
  void SetPixel(int X, int Y, int AValue) override;
};

class TKvLvovEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvLvovEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 256}; }
  // "Auto" (PaletteIndex 0) shows no colours; candidate k its sorted colours.
  void UpdatePalette() override;
};

class TKvLvov2EngineOptions : public TKvLvovEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {200, 225}; }
};

struct TKvLvovEngineUI : TKvDestEngineUIEx { explicit TKvLvovEngineUI(TKvDestEngineOptions* AOptions); };

// The caption of candidate 1..42: the sorted colour names joined by "/",
// then the port byte in parentheses.
std::string LvovPaletteCaption(int AIndex);

// The "Auto" candidates: the 42 port bytes' colours, unsorted.
TKvFixedPaletteCandidates LvovPaletteCandidates();

// A mode AMode of the "Lvov" platform with options TOptions and panel TUI;
// TBase is the mode it extends.
template <class T, class TOptions, class TUI, TKvText AMode, class TBase = TKvDestEngine>
using TKvLvovEngineOf = TKvDestMode<T, TOptions, TUI, "Lvov", AMode, TBase>;

struct TKvLvovEngine : TKvLvovEngineOf<TKvLvovEngine, TKvLvovEngineOptions, TKvLvovEngineUI, "256x256x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// The same screen as a smaller picture.
struct TKvLvov2Engine : TKvLvovEngineOf<TKvLvov2Engine, TKvLvov2EngineOptions, TKvLvovEngineUI, "200x225x2", TKvLvovEngine> {};

void InitKvSavePlatformLvov();
