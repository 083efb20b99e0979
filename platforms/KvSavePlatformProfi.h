// The converter of the "Profi" platform: a picture of any size (512x240 by
// default) as a ".grf" file, either a two-colour bitmap or 8x1 attribute
// cells of a paper and an ink out of 16 colours. The 16 colours are the ZX
// colours ("15 colors") or 16 chosen from the Profi's 256 ("16 from 256
// colors"), whose choice the file's header palette records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvCellWavefront.h"
#include "core/KvDestEngineOptions.h"

class TKvProfiEngineOptions : public TKvDestEngineOptions {
public:
  TKvProfiEngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 240}; }
};

class TKvProfiColorEngineOptions : public TKvProfiEngineOptions {
public:
  TKvProfiColorEngineOptions();
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

// A pixel byte per 8-pixel cell and row (bit 7 leftmost, a set bit is ink)
// and an attribute per cell. The Profi's colour rows over the memory after
// the header hold each cell's pixel byte, then its attribute.
class TKvProfiColorScreen : public TKvCellScreen {
public:
  TKvProfiColorScreen(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;

protected:
  // Another layout: the pixel byte of cell column c and row y at
  // c * AColumnStep + y * ARowStep, its attribute AAttrOffset after it.
  TKvProfiColorScreen(int AWidth, int AHeight, void* AData, int64_t AColumnStep, int64_t ARowStep,
                      int64_t AAttrOffset);

private:
  uint8_t* CellByte(int CellX, int Y) { return Data + CellX * FColumnStep + Y * FRowStep; }
  int FColumns;
  int64_t FColumnStep, FRowStep, FAttrOffset;
};

// Black, gray and white as singles and pairs of the ZX colours.
class TKvProfi16GrayPaletteList : public TKvCellPaletteList {
public:
  explicit TKvProfi16GrayPaletteList(TKvPalette256& APalette);
};
// Every pair of two different ZX colours.
class TKvProfi16ColorPaletteList : public TKvCellPaletteList {
public:
  TKvProfi16ColorPaletteList(uint8_t AColorUsage, TKvPalette256& APalette);
};
// Every colour of APalette alone, then every pair. With AIndexPalette the
// candidates take their colours from it, at the places where it holds
// APalette's colours.
class TKvProfi256ColorPaletteList : public TKvCellPaletteList {
public:
  TKvProfi256ColorPaletteList(TKvPalette256& APalette, TKvPalette256* AIndexPalette);
};

// 8x1 cells of a paper (A) and an ink (B) over the result palette, located
// in the fixed palette while the options' gray flag is on; the attribute
// carries bit 3 of the ink in bit 6 and of the paper in bit 7.
class TKvProfi256ColorImage : public TKvWavefrontCellImage {
public:
  using TKvWavefrontCellImage::TKvWavefrontCellImage;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
};

// The same cells over the 16 ZX colours of the result palette.
class TKvProfi16ColorImage : public TKvProfi256ColorImage {
public:
  using TKvProfi256ColorImage::TKvProfi256ColorImage;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  TKvCellPaletteList* CreatePaletteList() override;

  uint8_t ColorUsage = 0;
};

class TKvProfiColorEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvProfiColorEngineUI(TKvDestEngineOptions* AOptions);
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvProfiEngine : TKvDestMode<TKvProfiEngine, TKvProfiColorEngineOptions, TKvProfiColorEngineUI, "Profi", "512x240x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

const std::vector<const TKvDestEngineClass*>& ProfiDestEngineClasses();
void InitKvSavePlatformProfi();
