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

// The options of a mode whose default size is AWidth x AHeight.
template <int AWidth, int AHeight>
class TKvZxEvolutionEngineOptionsOf : public TKvZxEvolution256x192EngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {AWidth, AHeight}; }
};

struct TKvZxEvolution320x200EngineOptions : TKvZxEvolutionEngineOptionsOf<320, 200> {};
struct TKvZxEvolution320x240EngineOptions : TKvZxEvolutionEngineOptionsOf<320, 240> {};
struct TKvZxEvolution360x288EngineOptions : TKvZxEvolutionEngineOptionsOf<360, 288> {};

// The palette kinds offered, in list order.
extern const TKvPaletteType ZxEvolutionPaletteTypes[9];

class TKvZxEvolutionEngineUI : public TKvDestEngineUIEx {
public:
  // The result palette strip has 16 columns and APaletteRows rows.
  TKvZxEvolutionEngineUI(TKvDestEngineOptions* AOptions, int APaletteRows);
  int GetPaletteRows() const { return FPaletteRows; }
  // Colours can be picked only from the four-level palettes.
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;

private:
  int FPaletteRows;
};

struct TKvZxEvolution4EngineUI : TKvZxEvolutionEngineUI {
  explicit TKvZxEvolution4EngineUI(TKvDestEngineOptions* AOptions) : TKvZxEvolutionEngineUI(AOptions, 4) {}
};

struct TKvZxEvolution8EngineUI : TKvZxEvolutionEngineUI {
  explicit TKvZxEvolution8EngineUI(TKvDestEngineOptions* AOptions) : TKvZxEvolutionEngineUI(AOptions, 16) {}
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

struct TKvZxEvolution256x192x4Engine : TKvZxEvolutionEngineOf<TKvZxEvolution256x192x4Engine, TKvZxEvolution256x192EngineOptions, 256, 192, 4> {};
struct TKvZxEvolution256x192x8Engine : TKvZxEvolutionEngineOf<TKvZxEvolution256x192x8Engine, TKvZxEvolution256x192EngineOptions, 256, 192, 8> {};
struct TKvZxEvolution320x200x4Engine : TKvZxEvolutionEngineOf<TKvZxEvolution320x200x4Engine, TKvZxEvolution320x200EngineOptions, 320, 200, 4> {};
struct TKvZxEvolution320x200x8Engine : TKvZxEvolutionEngineOf<TKvZxEvolution320x200x8Engine, TKvZxEvolution320x200EngineOptions, 320, 200, 8> {};
struct TKvZxEvolution320x240x4Engine : TKvZxEvolutionEngineOf<TKvZxEvolution320x240x4Engine, TKvZxEvolution320x240EngineOptions, 320, 240, 4> {};
struct TKvZxEvolution320x240x8Engine : TKvZxEvolutionEngineOf<TKvZxEvolution320x240x8Engine, TKvZxEvolution320x240EngineOptions, 320, 240, 8> {};
struct TKvZxEvolution360x288x4Engine : TKvZxEvolutionEngineOf<TKvZxEvolution360x288x4Engine, TKvZxEvolution360x288EngineOptions, 360, 288, 4> {};
struct TKvZxEvolution360x288x8Engine : TKvZxEvolutionEngineOf<TKvZxEvolution360x288x8Engine, TKvZxEvolution360x288EngineOptions, 360, 288, 8> {};

// The modes of the "ZX Evolution" platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxEvolutionDestEngineClasses();
void InitKvSavePlatformZxEvolution();
