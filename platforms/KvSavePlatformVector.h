// The Vector-06C converters: 16 of 256 colours on up to 256 x 256 pixels,
// and the two modes that rewrite one or two palette entries from each row to
// the next. Pictures are written as ".spr" (the run-length coded video
// memory, 256 x 256 only) and ".rmb" (bit-plane rows, any width that is a
// multiple of 8); the per-line modes add the ".pals" list of changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvHAMImage.h"

class TKvStream;

namespace KvSavePlatformVector {

// The whole 32 KB video memory: four planes (values 8, 4, 2, 1), 32 byte
// columns of 256 bytes each, the bottom row first in a column.
class TKvVectorSPRScreen : public TKvScreen4 {
public:
  // Copies every pixel of the 256 x 256 ASource; header byte i is the colour
  // byte (index in ADisplayPalette) of APalette's entry i, for at most 16
  // entries.
  TKvVectorSPRScreen(TKvScreen4& ASource, const TKvPalette256& APalette, const TKvPalette256& ADisplayPalette);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AValue) override;
  // The 18 header bytes, the coded memory and the zero fill to a multiple
  // of 128 bytes.
  void WriteFile(TKvStream& AStream);

  const uint8_t* GetMemory() const { return FMemory.data(); }
  const uint8_t* GetHeader() const { return FHeader; }

private:
  std::vector<uint8_t> FMemory;
  uint8_t FHeader[18] = {};
};

// Run-length code of the video memory: literal blocks of 1..127 bytes
// followed by their count, runs of 3..127 equal bytes as the byte and
// 128 + count.
std::vector<uint8_t> EncodeVectorSpr(const uint8_t* AMemory, int ASize);

// Rows of four plane rows (values 1, 2, 4, 8) of Width / 8 bytes each.
class TKvVectorRMBScreen : public TKvScreen4 {
public:
  // ASource's width must be a multiple of 8 up to 256, its height 1..256.
  TKvVectorRMBScreen(TKvScreen4& ASource, const TKvPalette256& APalette, const TKvPalette256& ADisplayPalette);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
  // The 19 header bytes, the planes and the zero fill to a multiple of 256.
  void WriteFile(TKvStream& AStream);

  const uint8_t* GetHeader() const { return FHeader; }

private:
  std::vector<uint8_t> FPlanes;
  int FBytesPerRow;
  uint8_t FHeader[19] = {};
};

class TKvVectorEngineOptions : public TKvDestEngineOptions {
public:
  TKvVectorEngineOptions();
  TKvSize GetMaxSize() const override { return {256, 256}; }
  TKvSize GetDefaultSize() const override { return GetMaxSize(); }
  // The hardware palette is the 256 colours of the palette kind; the result
  // palette follows the palette mode.
  void UpdatePalette() override;
};

// Palettes offered with "Black + 15 colors" must start with black.
class TKvVectorEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvVectorEngineUI(TKvDestEngineOptions* AOptions);
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
  bool AcceptFixedPalette(const TKvPalette256& APalette) override;
};

// A mode AMode of the "Vector-06C" platform with options TOptions and panel
// TUI; TBase is the mode it extends.
template <class T, class TOptions, class TUI, TKvText AMode, class TBase = TKvDestEngine>
using TKvVectorEngineOf = TKvDestMode<T, TOptions, TUI, "Vector-06C", AMode, TBase>;

struct TKvVectorEngine : TKvVectorEngineOf<TKvVectorEngine, TKvVectorEngineOptions, TKvVectorEngineUI, "256x256x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// Per-line palette modes

// The visible width left when AChangeCount entries change on every row.
int VectorHAMScreenWidth(int AChangeCount);

// The size follows the number of entries changed on every row.
class TKvVectorHAMEngineOptions : public TKvVectorEngineOptions {
public:
  explicit TKvVectorHAMEngineOptions(int AChangeCount) { SetHAMMaxChangeCount(AChangeCount); }
  TKvSize GetMaxSize() const override { return {VectorHAMScreenWidth(HAMMaxChangeCount), 256}; }
  TKvSize GetDefaultSize() const override { return GetMaxSize(); }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
};

template <int AChangeCount>
class TKvVectorHAMModeOptions : public TKvVectorHAMEngineOptions {
public:
  TKvVectorHAMModeOptions() : TKvVectorHAMEngineOptions(AChangeCount) {}
};

class TKvVectorHAMEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvVectorHAMEngineUI(TKvDestEngineOptions* AOptions);
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// Collects the first row's palette and the changes of every later row as
// the ".pals" data: the change count, then (entry, colour byte) pairs.
class TKvVectorHAMImage : public TKvHAMImage {
public:
  TKvVectorHAMImage(const TKvImage& AImage, uint8_t AUsage, int AChangeCount);
  void StoreInitialPalette(TKvPalette* ADisplayPalette, TKvPalette256& ALinePalette) override;
  void StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                          int ALine) override;

  const TKvPalette256& GetFirstPalette() const { return *FFirstPalette; }
  const std::vector<uint8_t>& GetChangeData() const { return FChangeData; }

private:
  uint8_t FUsage;
  std::unique_ptr<TKvPalette256> FFirstPalette;
  std::vector<uint8_t> FChangeData;
};

// The per-line modes are named by their width and the entries they change a row.
struct TKvVectorHAM1Engine
    : TKvVectorEngineOf<TKvVectorHAM1Engine, TKvVectorHAMModeOptions<1>, TKvVectorHAMEngineUI, "256x256x4 HAM1"> {
  // Changes as many entries a row as the options' HAMMaxChangeCount.
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvVectorHAM2Engine
    : TKvVectorEngineOf<TKvVectorHAM2Engine, TKvVectorHAMModeOptions<2>, TKvVectorHAMEngineUI, "256x256x4 HAM2", TKvVectorHAM1Engine> {};

}  // namespace KvSavePlatformVector

void InitKvSavePlatformVector();
