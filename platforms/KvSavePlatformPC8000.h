// The converter of the "PC8000" platform: 256 x 192 in 8 x 1 segments of two
// colours out of 16, written as a ".vm2" file.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPairCellImage.h"
#include "platforms/KvPlatformPC8000.h"

// The ".vm2" layout over the whole file: pixel bytes in 8 x 8 blocks after
// the header, each segment's colour byte (clear pixels in the high nibble, set
// pixels in the low one) 6144 bytes further. Made over the stream's memory,
// which it clears, marks and fills with colour bytes 0x0F.
class TKvPC8000Screen : public TKvCellScreen {
public:
  explicit TKvPC8000Screen(void* AData);
  static int GetDataSize() { return PC8000FileSize; }
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AValue) override;
  int GetAttr(int, int) override { return 0; }
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// Colours 1 to 15 alone, then every pair of them; with AGray the same of
// black, gray and white (1, 14, 15).
class TKvPC8000ColorPaletteList : public TKvCellPaletteList {
public:
  explicit TKvPC8000ColorPaletteList(TKvPalette256& APalette, bool AGray = false);
};

// Segments of a clear colour (A, the colour byte's high nibble) and a set one.
class TKvPC8000ColorImage : public TKvPairCellImage {
public:
  using TKvPairCellImage::TKvPairCellImage;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

class TKvPC8000EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvPC8000EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

struct TKvPC8000EngineUI : TKvDestEngineUIEx { explicit TKvPC8000EngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "PC8000" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvPC8000EngineOf = TKvDestMode<T, TOptions, TUI, "PC8000", AMode>;

struct TKvPC8000Engine : TKvPC8000EngineOf<TKvPC8000Engine, TKvPC8000EngineOptions, TKvPC8000EngineUI, "256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformPC8000();
