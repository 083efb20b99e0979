// The converters of the "MSX" platform, and what the MSX2 bitmap and YJK
// converters build on: screen buffers that own their memory, and the working
// images that turn a picture into YJK-type groups.
//
// SCREEN 2 and 4 are 256x192 pictures in 8x1 cells of two colours, SCREEN 3
// is 64x48 blocks of one colour each; all three are saved as BSAVE files
// holding the VRAM image.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"

class TKvDestProgress;
class TKvStreamList;

// ---------------------------------------------------------------------------
// Screen buffers that own their zero-filled memory. With APadBits (the bits
// per pixel) the rows are padded to 4 bytes; with 0 they keep the stride of
// TScreen.

template <class TScreen, int APadBits = 0>
class TKvOwnedScreenOf : public TScreen {
public:
  TKvOwnedScreenOf(int AWidth, int AHeight) : TScreen(AWidth, AHeight, nullptr) {
    if (APadBits > 0) this->Stride = ((AWidth * APadBits + 31) & ~31) / 8;
    if (this->Stride > 0 && AHeight > 0) FMemory.assign(static_cast<size_t>(this->Stride) * AHeight, 0);
    this->Data = FMemory.data();
  }

private:
  std::vector<uint8_t> FMemory;
};

// The bitmap screens pad their rows, so that the padding of rows narrower
// than the stride never carries stray memory into the files that copy whole
// strides.
using TKvMSXScreen2 = TKvOwnedScreenOf<TKvScreen2, 2>;
using TKvMSXScreen4 = TKvOwnedScreenOf<TKvScreen4, 4>;
using TKvMSXScreen8 = TKvOwnedScreenOf<TKvScreen8, 8>;

// ---------------------------------------------------------------------------
// YJK working images. Four neighbouring pixels share one J and one K; each
// picture is first dithered to 15-bit colour, then every group is solved for
// the pair of least error, the group rows in parallel jobs.

// The J and K bounds over all (Y, J, K) that reproduce one 15-bit colour
// exactly (K: the value of group bytes 0 and 1, J: of bytes 2 and 3). A
// colour that nothing reproduces has the window of a reproducible colour at
// the least squared distance of the 5-bit components.
struct TKvYJKWindow {
  int8_t JMin, JMax, KMin, KMax;
};
// 32768 entries each, indexed R * 1024 + G * 32 + B (5-bit components).
const TKvYJKWindow* YJKWindows();      // YJK, Y 0..31
const TKvYJKWindow* YJKEvenWindows();  // YJK, even Y only
const TKvYJKWindow* YUVWindows();      // YUV, Y 0..31

// What the three images share: the 15-bit dither, the group search and the
// row jobs. The formula is the subclass's.
class TKvYJKBaseImage : public TKvImage {
public:
  using TKvImage::TKvImage;

  TKvColor EdgeColor{};  // group pixels beyond the right edge
  bool* Abort = nullptr;
  TKvDestProgress* Progress = nullptr;
  std::unique_ptr<TKvBitmap24> Result;
  TKvBitmapData* Target = nullptr;       // not owned
  std::unique_ptr<TKvPaletteRGB> Levels;  // ptRGB555, during a conversion

  // Row routine of the current pass, for rows AFirst..ALast.
  virtual void ConvertRows(int AFirst, int ALast) = 0;

protected:
  // The 15-bit colour of every Y under one (K, J), Y ascending: the same for
  // the four pixels of a group.
  struct TCandidates {
    int Count;
    int Index[32];
  };
  void FillCandidates(int AK, int AJ, TCandidates& ACandidates) const;
  // The best Y (the smallest on ties) of a pixel of 15-bit colour AIndex
  // among the candidates, and its squared linear distance.
  struct TBestY {
    int Y;
    double Err;
  };
  // What the group searches read, made once per conversion: per (K, J) the
  // levels of the colours its Y values give, and per channel the squared
  // linear distances of two levels.
  struct TGroupTables;
  std::shared_ptr<const TGroupTables> FGroupTables;
  // The best Y of 15-bit colour AIndex among the candidates of (AK, AJ).
  TBestY GroupBestY(int AIndex, int AK, int AJ) const;
  // GroupBestY without the row routine's cache.
  TBestY SearchBestY(int AIndex, int AK, int AJ) const;
  // Calls ATry(K, J) for every pair of AIndexes' window, the likeliest
  // winners first: APrevious (the last group's pair) and (0, 0), which
  // shows black, white and the grays of flat areas exactly. The searches
  // keep the least (error, tie-break) whatever the order.
  template <class TTry>
  static void ForEachPair(int AKMin, int AKMax, int AJMin, int AJMax, int APreviousK, int APreviousJ, TTry&& ATry);
  // The row routine of the formulas without palette pixels.
  void ConvertPlainRows(int AFirst, int ALast, const TKvYJKWindow* ATable, uint32_t (*APreview)(int, int, int));
  virtual void FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const = 0;
  // Y runs over 0..31 in steps of YStep.
  int YStep = 1;

  // Steps before the passes: edge colour, fixes, levels, result.
  void BeginConversion(bool* AAbort, TKvDestProgress* AProgress, TKvDestEngineOptions& AOptions,
                       TKvBitmapData* ATarget);
  // Pass 1: every pixel to its nearest 15-bit colour, the error diffused.
  void DitherTo15Bit(TKvDestEngineOptions& AOptions);
  // Pass 2: the current row routine over all rows; on several processors
  // jobs take the rows a few at a time.
  void RunRows();
  void EndConversion();
  // The conversions of one group pass: both passes and the result.
  std::unique_ptr<TKvBitmap24> ConvertOnePass(bool* AAbort, TKvDestProgress* AProgress,
                                              TKvDestEngineOptions& AOptions, TKvBitmapData* ATarget);
  // The 15-bit colours of group AGroup of row ARow (EdgeColor beyond the width)
  // and the union of their windows.
  void LoadGroup(int AGroup, int ARow, const TKvYJKWindow* ATable, int (&AIndexes)[4], int& AKMin, int& AKMax,
                 int& AJMin, int& AJMax) const;
  // The group's four bytes and preview colours written for the pixels
  // inside the picture.
  void StoreGroup(int AGroup, int ARow, const int (&AValues)[4], int AK, int AJ, const uint32_t (&AColors)[4]);

  std::vector<uint16_t> FIndexes;       // the 15-bit colour of every pixel after pass 1
  std::vector<TKvLinRGBColor> FLevelColors;  // Levels' linear colours by 15-bit index
  int FEdgeIndex = 0;
};

// Y 0..31 with the YJK formula.
class TKvYJKImage : public TKvYJKBaseImage {
public:
  using TKvYJKBaseImage::TKvYJKBaseImage;
  // ATarget: an 8-bit buffer of the image's size. Returns the preview.
  std::unique_ptr<TKvBitmap24> Convert(bool* AAbort, TKvDestProgress* AProgress, TKvDestEngineOptions& AOptions,
                                       TKvBitmapData* ATarget);
  void ConvertRows(int AFirst, int ALast) override;

protected:
  void FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const override;
  const TKvYJKWindow* FWindows = nullptr;
  uint32_t (*FPreview)(int, int, int) = nullptr;
};

// The YUV formula: K goes to blue, J to red.
class TKvYUVImage : public TKvYJKImage {
public:
  using TKvYJKImage::TKvYJKImage;
  std::unique_ptr<TKvBitmap24> Convert(bool* AAbort, TKvDestProgress* AProgress, TKvDestEngineOptions& AOptions,
                                       TKvBitmapData* ATarget);

protected:
  void FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const override;
};

// The most memory, in bytes, that the palette passes of ConvertYJKYAE keep
// for the pairs each group may choose; rows beyond it search every pair of
// their groups in every pass. The results do not depend on it; tests lower
// it.
extern int64_t KvYAEFrontBudget;

// Even Y only; with ConvertYJKYAE a pixel may instead show one of 16
// palette colours (odd stored values).
class TKvYJKYAEImage : public TKvYJKBaseImage {
public:
  TKvYJKYAEImage(TBitmap32& ABitmap);
  std::unique_ptr<TKvBitmap24> ConvertYJK(bool* AAbort, TKvDestProgress* AProgress, TKvDestEngineOptions& AOptions,
                                          TKvBitmapData* ATarget);
  // Leaves the chosen palette colours (at most 16) in the options' result
  // palette.
  std::unique_ptr<TKvBitmap24> ConvertYJKYAE(bool* AAbort, TKvDestProgress* AProgress,
                                             TKvDestEngineOptions& AOptions, TKvBitmapData* ATarget);
  void ConvertRows(int AFirst, int ALast) override;
  void ConvertYJKRows(int AFirst, int ALast);
  void ConvertYJKYAERows(int AFirst, int ALast);

  std::unique_ptr<TKvPaletteRGB> V9958;
  TKvPalette256 YAEPalette;
  std::vector<double> Histogram;  // 32 x 32 x 32 weights, R * 1024 + G * 32 + B

protected:
  void FormulaLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) const override;

private:
  // The YAE value of a pixel under (K, J) and its error; AYJKErr: the error
  // of its best even Y.
  void BestYAE(const TBestY& AY, int ANearest, double ANearestDist, int& AValue, double& AErr,
               double& AYJKErr) const;
  bool FWithPalette = false;
  // The palette passes search only the pairs of a group that some palette
  // could make its choice: those that no pair of an earlier tie-break with
  // no greater error on every pixel outdoes (with any palette such a pair
  // has no greater error and no more palette pixels). Per row, its groups'
  // pairs with every pixel's best Y under them and its colour's levels (its
  // error is worked out again from them, the same sum as the search's), and
  // the groups (one more entry at the end, where the last group's pairs end).
  struct TFrontPair {
    int8_t K, J;
    uint8_t Levels[4][3];
    uint16_t Candidates;  // each pixel's candidate (Y / YStep, below 16) in 4 bits, pixel 0 lowest
  };
  // Per group: where its pairs start, the pair it chooses when no pixel
  // takes a palette colour, and per pixel a float at least its greatest
  // error under the pairs (a palette colour no nearer than that can never
  // be chosen, whatever the pair).
  struct TFrontGroup {
    int32_t Start;
    int32_t Plain;
    float MaxErr[4];
  };
  std::vector<std::vector<TFrontPair>> FFronts;
  std::vector<std::vector<TFrontGroup>> FFrontFirst;
  bool FBuildingFronts = false;
  std::atomic<int64_t> FFrontRoom{0};  // bytes of the budget left
  void BuildFrontRows(int AFirst, int ALast);
  // What ConvertYJKYAE frees on the way out, finished or raised.
  void EndYJKYAE();
  // Per 15-bit colour of the picture, its nearest colour of the pass's
  // palette and the squared distance to it.
  std::vector<int8_t> FNearest;
  std::vector<double> FNearestDist;
  // The weights of a pass in fixed point, added up by the row jobs.
  static constexpr double kHistogramScale = 65536.0;
  std::vector<int64_t> FHistogramSums;
};

// ---------------------------------------------------------------------------
// SCREEN 2, 3 and 4

// The palette mode of AOptions when AModes holds it; the operating-system
// error 87 otherwise.
TKvPaletteMode CheckMSXPaletteMode(const TKvDestEngineOptions& AOptions, TKvPaletteModeSet AModes);

// 256x192 in 8x1 cells, sizes fixed.
class TKvMSXScr2EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvMSXScr2EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
};

// The SCREEN 2 file inside the memory it is given (at least GetFileSize()
// bytes, zero-filled): BSAVE header, pattern table at 7, name table at 6151,
// palette at 7047 (when one is given), colour table at 8199 filled with
// AColorByte until the conversion writes it. Cells are 8x1: SetAttr's cell
// row is the pixel row; the high nibble colours set bits.
class TKvMSXScr2Screen : public TKvCellScreen {
public:
  TKvMSXScr2Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte);
  static int GetFileSize() { return 14343; }
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int, int) override { return 0; }
  void SetAttr(int CellX, int CellY, int AAttr) override;

protected:
  // For subclasses with a longer file.
  TKvMSXScr2Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte, int AFileSize);
};

// The SCREEN 4 file: SCREEN 2's layout and 2048 further zero bytes.
class TKvMSXScr4Screen : public TKvMSXScr2Screen {
public:
  TKvMSXScr4Screen(void* AData, const TKvPalette* APalette, uint8_t AColorByte);
  static int GetFileSize() { return 16391; }
};

// A palette entry as the V9938 takes it: (R shl 4) or B, then G, with the
// 3-bit levels of the colour's linear channels.
void PutMSXPaletteEntry(uint8_t* AEntry, const TKvLinRGBColor& AColor);

struct TKvMSXScr2GrayPaletteList : TKvCellPaletteList { explicit TKvMSXScr2GrayPaletteList(TKvPalette256& APalette); };

// Codes 1..15 alone, then every pair; the transparent code 0 is never used.
struct TKvMSXScr2ColorPaletteList : TKvCellPaletteList { explicit TKvMSXScr2ColorPaletteList(TKvPalette256& APalette); };

// Every entry of APalette alone, then every pair. With ADisplay, each index
// is that of the same colour in ADisplay ("Internal error" when absent) and
// the candidates are made over ADisplay.
struct TKvMSXScr4ColorPaletteList : TKvCellPaletteList {
  TKvMSXScr4ColorPaletteList(TKvPalette256& APalette, TKvPalette256* ADisplay);
};

class TKvMSXScr2ColorImage : public TKvCellImage {
public:
  using TKvCellImage::TKvCellImage;
  TKvCellPaletteList* CreatePaletteList() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
};

class TKvMSXScr4ColorImage : public TKvMSXScr2ColorImage {
public:
  using TKvMSXScr2ColorImage::TKvMSXScr2ColorImage;
  TKvCellPaletteList* CreatePaletteList() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
};

// A mode AMode of the "MSX" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvMSXEngineOf = TKvDestMode<T, TOptions, TUI, "MSX", AMode>;

struct TKvMSXScr2EngineUI : TKvDestEngineUIEx { explicit TKvMSXScr2EngineUI(TKvDestEngineOptions* AOptions); };

struct TKvMSXScr2Engine : TKvMSXEngineOf<TKvMSXScr2Engine, TKvMSXScr2EngineOptions, TKvMSXScr2EngineUI, "2 256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvMSXScr3EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvMSXScr3EngineOptions();
  TKvSize GetDefaultSize() const override { return {64, 48}; }
};

// The SCREEN 3 file: BSAVE header (end 0x05FF), then 1536 bytes of block
// colours; block (x, y) is the high nibble (even x) or the low nibble of
// the byte at 7 + (y mod 8) + (x div 2) * 8 + (y div 8) * 256.
class TKvMSXScr3Screen : public TKvScreen4 {
public:
  explicit TKvMSXScr3Screen(void* AData);
  static int GetFileSize() { return 1543; }
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AColor) override;
};

struct TKvMSXScr3EngineUI : TKvDestEngineUIEx { explicit TKvMSXScr3EngineUI(TKvDestEngineOptions* AOptions); };

struct TKvMSXScr3Engine : TKvMSXEngineOf<TKvMSXScr3Engine, TKvMSXScr3EngineOptions, TKvMSXScr3EngineUI, "3 64x48x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// SCREEN 4: a chosen palette of 16 colours of the V9938 (or V9958) levels.
class TKvMSXScr4EngineOptions : public TKvMSXScr2EngineOptions {
public:
  TKvMSXScr4EngineOptions();
  void UpdatePalette() override;
};

class TKvMSXScr4EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvMSXScr4EngineUI(TKvDestEngineOptions* AOptions);
  // The hardware palette, 32 columns.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvMSXScr4Engine : TKvMSXEngineOf<TKvMSXScr4Engine, TKvMSXScr4EngineOptions, TKvMSXScr4EngineUI, "4 256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// SCREEN 5 to 8 (MSX2 bitmap screens) and SCREEN 10 and 12 (MSX2+ YJK
// screens), each plain and interlaced. A conversion writes the BSAVE screen
// file at the native size only (an interlaced one with the odd lines as a
// sub-stream), a GL picture with its palette file at any size (plain modes
// only), and a MAG picture.

class TKvStreamList;

// What distinguishes one of these modes: its files and its MAG header.
struct TKvMSXBitmapMode {
  using TConvert = std::unique_ptr<TKvBitmap> (*)(TKvConvertArgs& AArgs, const TKvMSXBitmapMode& AMode);
  const char* Name;
  TConvert Convert;
  int Colors;               // 16, 4 (SCREEN 6) or 256 (SCREEN 8 and the YJK screens)
  int Bits;                 // bits per pixel of the buffer
  int NativeWidth;          // the native size of the plain form
  bool Interlaced = false;  // 424 rows at the native size
  const char* Ext;          // BSAVE file (the even rows when interlaced)
  int FileSize;
  int PaletteOffset = 0;         // 0: no palette in the file
  const char* OddExt = nullptr;  // the odd rows
  int OddFileSize = 0;
  const char* GlExt = nullptr;  // nullptr: no GL file
  const char* PlExt = nullptr;  // nullptr: no palette file
  int32_t MagName;
  uint8_t MagFlag;
  uint8_t MagScreenMode = 0;
  int MagWidthNum = 1, MagWidthDen = 1;  // the MAG width is W * Num / Den
};

// The rows of MSXBitmapModes, one a mode.
enum TKvMSXBitmapModeId {
  mbScreen5,
  mbScreen5Interlaced,
  mbScreen6,
  mbScreen6Interlaced,
  mbScreen7,
  mbScreen7Interlaced,
  mbScreen8,
  mbScreen8Interlaced,
  mbScreen10,
  mbScreen10Interlaced,
  mbScreen12,
  mbScreen12Interlaced,
  MSXBitmapModeCount
};
extern const TKvMSXBitmapMode MSXBitmapModes[MSXBitmapModeCount];

// The BSAVE stream(s) when AScreen has the native size; nothing otherwise.
// ALevels: the levels of the palette written into the file (nullptr: none).
void AddMSXBsaveStreams(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                        TKvBitmapData& AScreen, const TKvPaletteRGB* ALevels, const TKvMSXBitmapMode& AMode);
// The GL stream with the palette file as its sub-stream; nothing for the
// interlaced modes.
void AddMSXGlStreams(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                     TKvBitmapData& AScreen, const TKvPaletteRGB* ALevels, const TKvMSXBitmapMode& AMode);
// The MAG stream; APalette: the palette it carries (Colors entries), nullptr
// for the options' result palette. Nothing for an odd SCREEN 6 width.
void AddMSXMagStream(TKvDestEngineOptions& AOptions, std::unique_ptr<TKvStreamList>& AStreams,
                     TKvBitmapData& AScreen, const TKvPalette256* APalette, const TKvMSXBitmapMode& AMode);
// 2 bytes per colour of APalette (at most 16): (R shl 4) or B, then G, the
// exact level indexes of the colour in ALevels ("Internal error" otherwise).
void PutMSXLevelPalette(uint8_t* AEntries, const TKvPalette256& APalette, const TKvPaletteRGB& ALevels);

// Options of the plain forms. The size is free; the default is the native one.
class TKvMSXScr5EngineOptions : public TKvDestEngineOptions {
public:
  TKvMSXScr5EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 212}; }
  // The hardware palette of the palette type's levels.
  void UpdatePalette() override;
};

class TKvMSXScr6EngineOptions : public TKvMSXScr5EngineOptions {
public:
  TKvMSXScr6EngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 212}; }
};

class TKvMSXScr7EngineOptions : public TKvMSXScr5EngineOptions {
public:
  TKvMSXScr7EngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 212}; }
};

class TKvMSXScr8EngineOptions : public TKvDestEngineOptions {
public:
  TKvMSXScr8EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 212}; }
};

// The YJK screens keep whole groups of 4 pixels: a width is rounded up to a
// multiple of 4.
class TKvMSXScr12EngineOptions : public TKvDestEngineOptions {
public:
  TKvMSXScr12EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 212}; }
  void SetWidth(int32_t AValue) override;
};

// "YJK" has no hardware palette; "YJK+YAE" picks its 16 colours among the
// V9958 colours.
class TKvMSXScr10EngineOptions : public TKvMSXScr12EngineOptions {
public:
  TKvMSXScr10EngineOptions();
  void UpdatePalette() override;
};

// The interlaced form of plain options TPlain: twice the lines, an even
// height, another pixel aspect.
template <class TPlain, TKvPixelAspect AAspect>
class TKvMSXInterlacedOptionsOf : public TPlain {
public:
  TKvMSXInterlacedOptionsOf() { this->SetPixelAspect(AAspect); }
  TKvSize GetDefaultSize() const override { return {TPlain::GetDefaultSize().Width, 424}; }
  void SetHeight(int32_t AValue) override { TPlain::SetHeight(AValue + (AValue & 1)); }
};

using TKvMSXScr5InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr5EngineOptions, pa2p276_1>;
using TKvMSXScr6InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr6EngineOptions, pa1p138_1>;
using TKvMSXScr7InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr7EngineOptions, pa1p138_1>;
using TKvMSXScr8InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr8EngineOptions, pa2p276_1>;
using TKvMSXScr10InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr10EngineOptions, pa2p276_1>;
using TKvMSXScr12InterlacedEngineOptions = TKvMSXInterlacedOptionsOf<TKvMSXScr12EngineOptions, pa2p276_1>;

// SCREEN 5 and 7 (SCREEN 6 with its own mode set and 4 colours).
class TKvMSXScr5EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvMSXScr5EngineUI(TKvDestEngineOptions* AOptions)
      : TKvMSXScr5EngineUI(AOptions, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom), 16) {}
  // The hardware palette, 32 columns.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;

protected:
  TKvMSXScr5EngineUI(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int AColors);
};
using TKvMSXScr7EngineUI = TKvMSXScr5EngineUI;

class TKvMSXScr6EngineUI : public TKvMSXScr5EngineUI {
public:
  explicit TKvMSXScr6EngineUI(TKvDestEngineOptions* AOptions)
      : TKvMSXScr5EngineUI(AOptions, PaletteModes(pmBlackWhite, pmGray, pmColorBright, pmColor, pmCustom), 4) {}
};

struct TKvMSXScr8EngineUI : TKvDestEngineUIEx { explicit TKvMSXScr8EngineUI(TKvDestEngineOptions* AOptions); };
struct TKvMSXScr10EngineUI : TKvDestEngineUIEx { explicit TKvMSXScr10EngineUI(TKvDestEngineOptions* AOptions); };
struct TKvMSXScr12EngineUI : TKvDestEngineUIEx { explicit TKvMSXScr12EngineUI(TKvDestEngineOptions* AOptions); };

// An engine of these modes: row AMode of MSXBitmapModes describes it.
template <class T, class TOptions, class TUI, TKvMSXBitmapModeId AMode>
struct TKvMSXBitmapEngineOf : TKvDestEngineWith<T, TOptions, TUI> {
  static std::string GetPlatformName() { return "MSX"; }
  static std::string GetModeName() { return Mode().Name; }
  static const TKvMSXBitmapMode& Mode() { return MSXBitmapModes[AMode]; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return Mode().Convert(AArgs, Mode()); }
};

struct TKvMSXScr5Engine : TKvMSXBitmapEngineOf<TKvMSXScr5Engine, TKvMSXScr5EngineOptions, TKvMSXScr5EngineUI, mbScreen5> {};
struct TKvMSXScr5InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr5InterlacedEngine, TKvMSXScr5InterlacedEngineOptions, TKvMSXScr5EngineUI, mbScreen5Interlaced> {};
struct TKvMSXScr6Engine : TKvMSXBitmapEngineOf<TKvMSXScr6Engine, TKvMSXScr6EngineOptions, TKvMSXScr6EngineUI, mbScreen6> {};
struct TKvMSXScr6InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr6InterlacedEngine, TKvMSXScr6InterlacedEngineOptions, TKvMSXScr6EngineUI, mbScreen6Interlaced> {};
struct TKvMSXScr7Engine : TKvMSXBitmapEngineOf<TKvMSXScr7Engine, TKvMSXScr7EngineOptions, TKvMSXScr7EngineUI, mbScreen7> {};
struct TKvMSXScr7InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr7InterlacedEngine, TKvMSXScr7InterlacedEngineOptions, TKvMSXScr7EngineUI, mbScreen7Interlaced> {};
struct TKvMSXScr8Engine : TKvMSXBitmapEngineOf<TKvMSXScr8Engine, TKvMSXScr8EngineOptions, TKvMSXScr8EngineUI, mbScreen8> {};
struct TKvMSXScr8InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr8InterlacedEngine, TKvMSXScr8InterlacedEngineOptions, TKvMSXScr8EngineUI, mbScreen8Interlaced> {};
struct TKvMSXScr10Engine : TKvMSXBitmapEngineOf<TKvMSXScr10Engine, TKvMSXScr10EngineOptions, TKvMSXScr10EngineUI, mbScreen10> {};
struct TKvMSXScr10InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr10InterlacedEngine, TKvMSXScr10InterlacedEngineOptions, TKvMSXScr10EngineUI, mbScreen10Interlaced> {};
struct TKvMSXScr12Engine : TKvMSXBitmapEngineOf<TKvMSXScr12Engine, TKvMSXScr12EngineOptions, TKvMSXScr12EngineUI, mbScreen12> {};
struct TKvMSXScr12InterlacedEngine : TKvMSXBitmapEngineOf<TKvMSXScr12InterlacedEngine, TKvMSXScr12InterlacedEngineOptions, TKvMSXScr12EngineUI, mbScreen12Interlaced> {};

// The modes of the "MSX" platform in list order.
const std::vector<const TKvDestEngineClass*>& MSXDestEngineClasses();
// Unit start-up: registers them in that order.
void InitKvSavePlatformMSX();

// ---------------------------------------------------------------------------
// "MSX V9990 VDP": seven bitmap modes of any size, saved as ".g9b" files.

// Screens that own their memory: rows of (W + 3) div 4, (W + 1) div 2, W
// and 2 * W bytes without padding, as the G9B data lays them out.
using TKvBP2Screen = TKvOwnedScreenOf<TKvScreen2>;
using TKvBP4Screen = TKvOwnedScreenOf<TKvScreen4>;
using TKvBP8Screen = TKvOwnedScreenOf<TKvScreen8>;
// Words with green in bits 10-14, red in 5-9 and blue in 0-4.
using TKvBP16Screen = TKvOwnedScreenOf<TKvScreen16>;

// Gray level c (0..31) stored in all three fields.
class TKvBP16GrayScreen : public TKvBP16Screen {
public:
  using TKvBP16Screen::TKvBP16Screen;
  void SetPixel(int X, int Y, int AColor) override;
};

// The 15-bit direct mode: every pixel to its nearest of the 32768 levels,
// the error diffused.
class TKvBD16Image : public TKvImage {
public:
  using TKvImage::TKvImage;
  std::unique_ptr<TKvBitmap24> ConvertBD16(bool* AAbort, TKvDestEngineOptions& AOptions, TKvBP16Screen& AScreen,
                                           TKvPaletteRGB& ALevels);
};

// The G9B writer the seven engines share.
class TKvBaseBPEngine {
public:
  // Appends the stream "g9b" (created with AStreams when nil). A size the
  // mode cannot encode writes no stream; every other failure, such as a
  // palette colour off the 15-bit levels of ALevelPalette, is raised. The
  // data is compressed when that makes it smaller and fits 255 blocks.
  static void WriteG9b(std::unique_ptr<TKvStreamList>& AStreams, uint8_t ABitDepth, uint8_t AColorType,
                       TKvBitmapData& AScreen, const TKvPaletteRGB* ALevelPalette, const TKvPalette256* APalette);
};

// Dimension and position sections, the palette section of the mode (none
// when AModes is empty), dithering; the size check colours the dimension
// edits when the mode cannot store that size.
class TKvBaseBPEngineUI : public TKvDestEngineUIEx {
public:
  // ADestColumns 0: no result palette strip and no fixed palette.
  TKvBaseBPEngineUI(TKvDestEngineOptions* AOptions, TKvPaletteModeSet AModes, int ADestColumns, int ADestRows);
  virtual void GetG9bFormat(int& ABitDepth, int& AColorType) const = 0;
  void CheckOptions(IKvPanelControls& AControls) override;
};

// Options of the seven modes: 256x212 by default, the "1.138:1" aspect.
class TKvBPEngineOptions : public TKvDestEngineOptions {
public:
  TKvBPEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 212}; }
};

// Widths raised to a multiple of AStep.
template <int AStep>
class TKvBPSteppedEngineOptions : public TKvBPEngineOptions {
public:
  void SetWidth(int32_t AValue) override { TKvBPEngineOptions::SetWidth((AValue + AStep - 1) / AStep * AStep); }
};

// The palette modes' hardware palette: the 32768 colours of 15 bits.
template <class TBase>
class TKvBPPaletteEngineOptions : public TBase {
public:
  void UpdatePalette() override {
    if (this->UpdateCount > 0) return;
    this->HardwarePalette = TKvPaletteRGB::CreateType(ptRGB555, false);
  }
};

class TKvBP2EngineOptions : public TKvBPPaletteEngineOptions<TKvBPSteppedEngineOptions<4>> {
public:
  TKvBP2EngineOptions();
};
class TKvBP4EngineOptions : public TKvBPPaletteEngineOptions<TKvBPSteppedEngineOptions<2>> {
public:
  TKvBP4EngineOptions();
};
class TKvBP6EngineOptions : public TKvBPPaletteEngineOptions<TKvBPEngineOptions> {
public:
  TKvBP6EngineOptions();
};
class TKvBD8EngineOptions : public TKvBPEngineOptions {
public:
  TKvBD8EngineOptions();
};
class TKvBYKJEngineOptions : public TKvBPSteppedEngineOptions<4> {
public:
  TKvBYKJEngineOptions();
};
class TKvBYUVEngineOptions : public TKvBPSteppedEngineOptions<4> {
public:
  TKvBYUVEngineOptions();
};
class TKvBD16EngineOptions : public TKvBPEngineOptions {
public:
  TKvBD16EngineOptions();
};

// What a V9990 panel offers, and the G9B format its size check is for.
struct TKvBPPanel {
  TKvPaletteModeSet Modes;
  int DestColumns, DestRows;
  int BitDepth, ColorType;
};

template <TKvBPPanel APanel>
class TKvBPEngineUIOf : public TKvBaseBPEngineUI {
public:
  explicit TKvBPEngineUIOf(TKvDestEngineOptions* AOptions)
      : TKvBaseBPEngineUI(AOptions, APanel.Modes, APanel.DestColumns, APanel.DestRows) {}
  void GetG9bFormat(int& ABitDepth, int& AColorType) const override {
    ABitDepth = APanel.BitDepth;
    AColorType = APanel.ColorType;
  }
};

// The palette modes convert by their panel: DestColumns x DestRows colours,
// the panel's palette modes, BitDepth bits.
constexpr TKvBPPanel BP2Panel{
    .Modes = PaletteModes(pmBlackWhite, pmGray, pmColorBright, pmColor), .DestColumns = 4, .DestRows = 1, .BitDepth = 2, .ColorType = 0};
constexpr TKvBPPanel BP4Panel{
    .Modes = PaletteModes(pmBlackWhite, pmGray, pmColor), .DestColumns = 16, .DestRows = 1, .BitDepth = 4, .ColorType = 0};
constexpr TKvBPPanel BP6Panel{
    .Modes = PaletteModes(pmBlackWhite, pmGray, pmColor), .DestColumns = 16, .DestRows = 4, .BitDepth = 8, .ColorType = 0};
using TKvBP2EngineUI = TKvBPEngineUIOf<BP2Panel>;
using TKvBP4EngineUI = TKvBPEngineUIOf<BP4Panel>;
using TKvBP6EngineUI = TKvBPEngineUIOf<BP6Panel>;
using TKvBD8EngineUI = TKvBPEngineUIOf<TKvBPPanel{.Modes = PaletteModes(pmBlackWhite, pmGray, pmColor),
                                                  .DestColumns = 0,
                                                  .DestRows = 0,
                                                  .BitDepth = 8,
                                                  .ColorType = 64}>;
using TKvBYKJEngineUI =
    TKvBPEngineUIOf<TKvBPPanel{.Modes = {}, .DestColumns = 0, .DestRows = 0, .BitDepth = 8, .ColorType = 0}>;
using TKvBYUVEngineUI = TKvBYKJEngineUI;
using TKvBD16EngineUI = TKvBPEngineUIOf<TKvBPPanel{
    .Modes = PaletteModes(pmGray, pmColor), .DestColumns = 0, .DestRows = 0, .BitDepth = 16, .ColorType = 0}>;

// A mode AMode of the "MSX V9990 VDP" platform with options TOptions and
// panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
struct TKvBPEngineOf : TKvDestMode<T, TOptions, TUI, "MSX V9990 VDP", AMode>, TKvBaseBPEngine {};

// A palette mode: the picture in the colours, modes and depth of its panel
// APanel, in AScreen.
std::unique_ptr<TKvBitmap> ConvertBPPalette(TKvConvertArgs& AArgs, TKvBitmapData& AScreen, const TKvBPPanel& APanel);

template <class T, class TOptions, TKvBPPanel APanel, class TScreen, TKvText AMode>
struct TKvBPPaletteEngineOf : TKvBPEngineOf<T, TOptions, TKvBPEngineUIOf<APanel>, AMode> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    TScreen screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight());
    return ConvertBPPalette(AArgs, screen, APanel);
  }
};

struct TKvBP2Engine : TKvBPPaletteEngineOf<TKvBP2Engine, TKvBP2EngineOptions, BP2Panel, TKvBP2Screen, "BP2 256x212x2"> {};
struct TKvBP4Engine : TKvBPPaletteEngineOf<TKvBP4Engine, TKvBP4EngineOptions, BP4Panel, TKvBP4Screen, "BP4 256x212x4"> {};
struct TKvBP6Engine : TKvBPPaletteEngineOf<TKvBP6Engine, TKvBP6EngineOptions, BP6Panel, TKvBP8Screen, "BP6 256x212x6"> {};
struct TKvBD8Engine : TKvBPEngineOf<TKvBD8Engine, TKvBD8EngineOptions, TKvBD8EngineUI, "BD8 256x212x8"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};
struct TKvBYKJEngine : TKvBPEngineOf<TKvBYKJEngine, TKvBYKJEngineOptions, TKvBYKJEngineUI, "BYJK 256x212x8"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};
struct TKvBYUVEngine : TKvBPEngineOf<TKvBYUVEngine, TKvBYUVEngineOptions, TKvBYUVEngineUI, "BYUV 256x212x8"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};
struct TKvBD16Engine : TKvBPEngineOf<TKvBD16Engine, TKvBD16EngineOptions, TKvBD16EngineUI, "BD16 256x212x16"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// The modes of the "MSX V9990 VDP" platform in list order; the unit
// registers them after the "MSX" modes.
const std::vector<const TKvDestEngineClass*>& V9990DestEngineClasses();
