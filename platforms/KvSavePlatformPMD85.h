// The converters of the "PMD 85" platform: 288 x 256 in cells of 6 x 1 whose
// set pixels take one of the palette kind's colours (clear pixels are black),
// and the ColorAce variant with 8 colours in cells of 6 x 2. Each writes the
// 16 KB screen memory.
#pragma once

#include <memory>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPairCellImage.h"
#include "platforms/KvPlatformPMD85.h"

// 256 rows of 64 bytes; bytes 0 to 47 hold 6 pixels each (bit 0 leftmost) and
// the attribute in bits 6-7; bytes 48 to 63 are never written. Write-only.
class TKvPMD85Screen : public TKvCellScreen {
public:
  using TKvCellScreen::TKvCellScreen;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
  int GetAttr(int, int) override { return 0; }
  void SetAttr(int CellX, int CellY, int AAttr) override;
  void FillAttributes(uint8_t AAttr);
};

// The same layout with one ColorAce code per 6 x 2 cell: bits 0-1 in the byte
// of the even row, bits 2-3 in the byte below.
class TKvPMD85CAScreen : public TKvPMD85Screen {
public:
  using TKvPMD85Screen::TKvPMD85Screen;
  void SetAttr(int CellX, int CellY, int ACode) override;
};

// Every single colour, then black with every other colour.
class TKvPMD85PaletteList : public TKvCellPaletteList {
public:
  explicit TKvPMD85PaletteList(TKvPalette256& APalette);
};

class TKvPMD85Image : public TKvPairCellImage {
public:
  using TKvPairCellImage::TKvPairCellImage;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;

protected:
  // The attribute written for a cell whose set pixels show entry B.
  virtual int CellAttr(int AEntryB) const { return AEntryB - 1; }
};

class TKvPMD85CAImage : public TKvPMD85Image {
public:
  using TKvPMD85Image::TKvPMD85Image;

protected:
  int CellAttr(int AEntryB) const override { return ColorAceCode(AEntryB); }
};

// The screen's size and cells, dithered cell by cell without limits on the
// error: what both modes share.
class TKvPMD85ScreenOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvPMD85ScreenOptions();
  TKvSize GetDefaultSize() const override { return {288, 256}; }
  int32_t GetCellWidth() const override { return 6; }
};

class TKvPMD85EngineOptions : public TKvPMD85ScreenOptions {
public:
  TKvPMD85EngineOptions();
  void UpdatePalette() override;
};

struct TKvPMD85CAEngineOptions : TKvPMD85ScreenOptions { TKvPMD85CAEngineOptions(); };

class TKvPMD85EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvPMD85EngineUI(TKvDestEngineOptions* AOptions);
  void StoreOptions(IKvPanelControls& AControls) override;

private:
  int FColorRows[4] = {-1, -1, -1, -1};
};

struct TKvPMD85CAEngineUI : TKvDestEngineUIEx { explicit TKvPMD85CAEngineUI(TKvDestEngineOptions* AOptions); };

// A mode AMode of the "PMD 85" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvPMD85EngineOf = TKvDestMode<T, TOptions, TUI, "PMD 85", AMode>;

struct TKvPMD85Engine : TKvPMD85EngineOf<TKvPMD85Engine, TKvPMD85EngineOptions, TKvPMD85EngineUI, "288x256x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvPMD85CAEngine : TKvPMD85EngineOf<TKvPMD85CAEngine, TKvPMD85CAEngineOptions, TKvPMD85CAEngineUI, "288x256x2 ColorAce"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformPMD85();
