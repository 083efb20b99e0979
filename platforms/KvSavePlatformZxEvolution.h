// The converters of the "ZX Evolution" platform: pictures of 8x8 to 512x512
// pixels in 16 colours (4 bits per pixel) or 256 colours (8 bits) chosen
// from the EGA, Pentevo or Video DAC levels, saved as ".sxg" files. Each
// mode only gives the default size.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvDestEngineOptions.h"

class TKvZxEvolution256x192EngineOptions : public TKvDestEngineOptions {
public:
  TKvZxEvolution256x192EngineOptions();
  TKvSize GetMaxSize() const override { return {512, 512}; }
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  void UpdatePalette() override;
};

class TKvZxEvolution320x200EngineOptions : public TKvZxEvolution256x192EngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {320, 200}; }
};

class TKvZxEvolution320x240EngineOptions : public TKvZxEvolution256x192EngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {320, 240}; }
};

class TKvZxEvolution360x288EngineOptions : public TKvZxEvolution256x192EngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {360, 288}; }
};

// The palette kinds offered, in list order.
extern const TKvPaletteType ZxEvolutionPaletteTypes[9];

class TKvZxEvolutionEngineUI : public TKvDestEngineUIEx {
public:
  // The result palette strip has 16 columns and GetPaletteRows rows, given
  // here because a constructor cannot ask its subclass.
  TKvZxEvolutionEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows);
  virtual int GetPaletteRows() const = 0;
  // Colours can be picked only from the four-level palettes.
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

class TKvZxEvolution4EngineUI : public TKvZxEvolutionEngineUI {
public:
  explicit TKvZxEvolution4EngineUI(TKvDestEngineOptions* AOptions) : TKvZxEvolutionEngineUI(AOptions, 4) {}
  int GetPaletteRows() const override { return 4; }
};

class TKvZxEvolution8EngineUI : public TKvZxEvolutionEngineUI {
public:
  explicit TKvZxEvolution8EngineUI(TKvDestEngineOptions* AOptions) : TKvZxEvolutionEngineUI(AOptions, 16) {}
  int GetPaletteRows() const override { return 16; }
};

// What the eight engines share: the platform and the conversion, for ABits
// (4 or 8) per pixel.
class TKvZxEvolutionEngine : public TKvDestEngine {
public:
  static std::string GetPlatformName() { return "ZX Evolution"; }

protected:
  static std::unique_ptr<TKvBitmap> ConvertBits(TKvConvertArgs& AArgs, int ABits);
};

// The mode "AWidthxAHeightxABits" (ABits 4 or 8 per pixel) with the options
// TOptions, whose default size is AWidth x AHeight.
template <class T, class TOptions, int AWidth, int AHeight, int ABits>
class TKvZxEvolutionEngineOf
    : public TKvDestEngineWith<T, TOptions,
                               std::conditional_t<ABits == 4, TKvZxEvolution4EngineUI, TKvZxEvolution8EngineUI>,
                               TKvZxEvolutionEngine> {
public:
  static std::string GetModeName() {
    return std::to_string(AWidth) + "x" + std::to_string(AHeight) + "x" + std::to_string(ABits);
  }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    return TKvZxEvolutionEngine::ConvertBits(AArgs, ABits);
  }
};

class TKvZxEvolution256x192x4Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution256x192x4Engine, TKvZxEvolution256x192EngineOptions, 256, 192, 4> {};
class TKvZxEvolution256x192x8Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution256x192x8Engine, TKvZxEvolution256x192EngineOptions, 256, 192, 8> {};
class TKvZxEvolution320x200x4Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution320x200x4Engine, TKvZxEvolution320x200EngineOptions, 320, 200, 4> {};
class TKvZxEvolution320x200x8Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution320x200x8Engine, TKvZxEvolution320x200EngineOptions, 320, 200, 8> {};
class TKvZxEvolution320x240x4Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution320x240x4Engine, TKvZxEvolution320x240EngineOptions, 320, 240, 4> {};
class TKvZxEvolution320x240x8Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution320x240x8Engine, TKvZxEvolution320x240EngineOptions, 320, 240, 8> {};
class TKvZxEvolution360x288x4Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution360x288x4Engine, TKvZxEvolution360x288EngineOptions, 360, 288, 4> {};
class TKvZxEvolution360x288x8Engine
    : public TKvZxEvolutionEngineOf<TKvZxEvolution360x288x8Engine, TKvZxEvolution360x288EngineOptions, 360, 288, 8> {};

// The modes of the "ZX Evolution" platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxEvolutionDestEngineClasses();
void InitKvSavePlatformZxEvolution();
