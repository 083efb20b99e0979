// The converters of the "ZX Evolution" platform: pictures of 8x8 to 512x512
// pixels in 16 colours (4 bits per pixel) or 256 colours (8 bits) chosen
// from the EGA, Pentevo or Video DAC levels, saved as ".sxg" files. Each
// mode only gives the default size.
#pragma once

#include <memory>
#include <string>
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
  // The panel of the 4-bit or 8-bit modes.
  static std::unique_ptr<TKvDestEngineUI> CreatePanel(TKvDestEngineOptions* AOptions, int ABits);
  static std::unique_ptr<TKvBitmap> ConvertBits(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                                std::unique_ptr<TKvStreamList>& AStreams, int ABits);
};

#define KV_ZX_EVOLUTION_ENGINE(Name, Mode, Bits, Options)                                                      \
  class Name : public TKvDestEngineOf<Name, TKvZxEvolutionEngine> {                                             \
  public:                                                                                                       \
    static std::string GetModeName() { return Mode; }                                                          \
    static int GetBitsPerPixel() { return Bits; }                                                              \
    static int GetColorCount() { return 1 << Bits; }                                                           \
    std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override {                       \
      return CreatePanel(AOptions, Bits);                                                                      \
    }                                                                                                           \
    std::unique_ptr<TKvDestEngineOptions> CreateOptions() override {                                           \
      return TKvDestEngineOptions::Create<Options>();                                                          \
    }                                                                                                           \
    static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*, \
                                              TKvDestEngineOptions& AOptions, TKvDestProgress&,                \
                                              std::unique_ptr<TKvStreamList>& AStreams) {                      \
      return ConvertBits(AAbort, ABitmap, AOptions, AStreams, Bits);                                           \
    }                                                                                                           \
  }

KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution256x192x4Engine, "256x192x4", 4, TKvZxEvolution256x192EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution256x192x8Engine, "256x192x8", 8, TKvZxEvolution256x192EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution320x200x4Engine, "320x200x4", 4, TKvZxEvolution320x200EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution320x200x8Engine, "320x200x8", 8, TKvZxEvolution320x200EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution320x240x4Engine, "320x240x4", 4, TKvZxEvolution320x240EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution320x240x8Engine, "320x240x8", 8, TKvZxEvolution320x240EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution360x288x4Engine, "360x288x4", 4, TKvZxEvolution360x288EngineOptions);
KV_ZX_EVOLUTION_ENGINE(TKvZxEvolution360x288x8Engine, "360x288x8", 8, TKvZxEvolution360x288EngineOptions);

#undef KV_ZX_EVOLUTION_ENGINE

// The modes of the "ZX Evolution" platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxEvolutionDestEngineClasses();
void InitKvSavePlatformZxEvolution();
