// The converters of the "ATM Turbo" platform: 16 colours out of the 64 of
// the ATM palette, as a preview only ("320x200x4"), or as a multicolour
// screen of 8x1 attribute cells of two of the 16 each, written as a ".grf"
// picture with run-length encoded attributes ("640x200x4").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platforms/KvSavePlatformProfi.h"

// The options of both modes: the hardware palette is the 64 ATM colours.
class TKvATMEngineOptions : public TKvDestEngineOptions {
public:
  TKvATMEngineOptions();
  TKvSize GetDefaultSize() const override { return {320, 200}; }
  void UpdatePalette() override;
};

class TKvATMMultiColorEngineOptions : public TKvATMEngineOptions {
public:
  TKvATMMultiColorEngineOptions();
  TKvSize GetDefaultSize() const override { return {640, 200}; }
  TKvSize GetMaxSize() const override { return {1024, 255}; }
  int32_t GetCellWidth() const override { return 8; }
  // Whole byte columns only: rounded up to a multiple of 8.
  void SetWidth(int32_t AValue) override;
};

// The pixels and the not yet encoded attributes of a ".grf" picture over
// the memory after its header (3 x B x H bytes): pixels column by column,
// attributes in the same order from 2 x B x H on.
class TKvATMMultiColorScreen : public TKvProfiColorScreen {
public:
  // Every attribute starts as the one of APaper and AInk.
  TKvATMMultiColorScreen(int AWidth, int AHeight, void* AData, int APaper, int AInk);
  // Encodes the attributes as runs after the pixels; answers the bytes of
  // pixels and runs.
  int64_t EncodeAttributes();

private:
  int64_t FPixelSize;
};

// The candidates and cells are the Profi's 16-of-256 ones over the ATM's
// 64 colours.
class TKvATMMultiColorPaletteList : public TKvProfi256ColorPaletteList {
public:
  using TKvProfi256ColorPaletteList::TKvProfi256ColorPaletteList;
};
class TKvATMMultiColorImage : public TKvProfi256ColorImage {
public:
  using TKvProfi256ColorImage::TKvProfi256ColorImage;
};

// The panels of both modes: the palette section and the palette editor
// over the 64 colours; ACells: the mode has attribute cells.
class TKvATMEngineBaseUI : public TKvDestEngineUIEx {
public:
  TKvATMEngineBaseUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects, bool ACells);
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvATMEngineUI : TKvATMEngineBaseUI { explicit TKvATMEngineUI(TKvDestEngineOptions* AOptions); };
struct TKvATMMiltiColorEngineUI : TKvATMEngineBaseUI { explicit TKvATMMiltiColorEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "ATM Turbo" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvATMEngineOf = TKvDestMode<T, TOptions, TUI, "ATM Turbo", AMode>;

struct TKvATMEngine : TKvATMEngineOf<TKvATMEngine, TKvATMEngineOptions, TKvATMEngineUI, "320x200x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvATMMultiColorEngine : TKvATMEngineOf<TKvATMMultiColorEngine, TKvATMMultiColorEngineOptions, TKvATMMiltiColorEngineUI, "640x200x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ATMTurboDestEngineClasses();
void InitKvSavePlatformATMTurbo();
