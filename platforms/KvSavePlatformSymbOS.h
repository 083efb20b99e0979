// The converter of the "SymbOS" platform: a picture of any size written as an
// ".sgx" graphic of 4-colour (black and white, gray) or 16-colour tiles.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformSymbOS.h"

// A 2-bit picture buffer of its own; with TwoColor every lit pixel is stored
// as colour 3.
class TKvSymbOSScreen2 : public TKvScreen2 {
public:
  TKvSymbOSScreen2(int AWidth, int AHeight, bool ATwoColor);
  void SetPixel(int X, int Y, int AValue) override;
  // Appends the 4-colour tiles (at most 252 x 255), separators and terminator.
  void WriteTiles(TKvStream& AStream);

  bool TwoColor;

private:
  std::vector<uint8_t> FBuffer;
};

// A 4-bit picture buffer of its own.
class TKvSymbOSScreen4 : public TKvScreen4 {
public:
  TKvSymbOSScreen4(int AWidth, int AHeight);
  // Appends the 16-colour tiles (at most 508 x 100), separators and terminator.
  void WriteTiles(TKvStream& AStream);

private:
  std::vector<uint8_t> FBuffer;
};

class TKvSymbOSEngineOptions : public TKvDestEngineOptions {
public:
  TKvSymbOSEngineOptions();
  TKvSize GetDefaultSize() const override { return {0, 0}; }
  // Colour pictures have an even width.
  void SetWidth(int32_t AValue) override;
  void SetPaletteType(uint8_t AValue) override;
  void SetPaletteMode(TKvPaletteMode AValue) override;
  void UpdatePalette() override;
};

struct TKvSymbOSEngineUI : TKvDestEngineUIEx { explicit TKvSymbOSEngineUI(TKvDestEngineOptions* AOptions); };

// The platform's one mode has no name of its own.
struct TKvSymbOSEngine : TKvDestMode<TKvSymbOSEngine, TKvSymbOSEngineOptions, TKvSymbOSEngineUI, "SymbOS", ""> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformSymbOS();
