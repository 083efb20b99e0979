// The converters of the "ZX Spectrum Spectra" platform: attribute cells of 8
// or 4 pixels across and 8, 4, 2 or 1 lines high, 15 or 64 colours, one or two
// attribute bytes per cell, written as one ".bin" file with a "PS" trailer.
//
// Palette types: 33 "15 colors (single byte)", 34 "15 colors (double byte)",
// 35 "64 colors (single byte)" (8-pixel cells only), 36 "64 colors (double
// byte)". Candidates are (paper, ink): paper shows on clear pixel bits, ink
// on set bits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/KvDoubleCellImage.h"
#include "platforms/KvPlatformZxSpectrumSpectra.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

class TKvStream;

// Writes "P", "S" and the mode byte of APaletteType, ACellHeight (8, 4, 2, 1)
// and AHalfWidth into the last three bytes of AStream (which it does not
// grow). Any other cell height raises "Internal error".
void WriteSpectraTrailer(TKvStream& AStream, uint8_t APaletteType, int ACellHeight, bool AHalfWidth);

// ---------------------------------------------------------------------------
// Screens: views over the file's memory, 256x192.

// The bitmap of the black-and-white conversion, as the Spectrum's: stored
// inverted, 0 sets the bit, any other value clears it.
using TKvZxSpectrumSpectraBWScreen = TKvZxSpectrumBWScreen;

// The colour screens: pixels in the Spectrum bitmap, attributes at the places
// of the cell height and byte count. With the mirror flag, cell column c is
// taken as the last column - c.
class TKvZxSpectrumSpectraColorScreen : public TKvZxSpectrumColorScreen {
public:
  TKvZxSpectrumSpectraColorScreen(void* AData, int ACellHeight, bool ADoubleByte, bool AHalfWidth);
  int GetAttr(int, int) override { return 0; }

protected:
  // The first attribute byte of cell column ACellX (mirrored, and halved for
  // half-width cells) of cell row ACellY; AColumn gets the unhalved column.
  uint8_t* FirstByte(int ACellX, int ACellY, int& AColumn);
  uint8_t* SecondByte(uint8_t* AFirst, int ACellY) { return AFirst + SpectraSecondByteOffset(FCellHeight, ACellY); }

  int FCellHeight;
  bool FDoubleByte;
  bool FHalfWidth;
};

// 15 colours, one byte: the ZX attribute (ink, paper, bright of both).
class TKvSpectraColor15x1Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraColor15x1Screen(void* AData, int ACellHeight);
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// 15 colours, two bytes; AAttr = paper shl 4 or ink: the ink byte, then the
// paper byte, each colour in bits 0-2 with its bright in bit 6.
class TKvSpectraColor15x2Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraColor15x2Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// 64 colours, one byte; AAttr = paper shl 8 or ink: the ink in bits 0-5, bit
// 6 for a paper other than black (the gray 42).
class TKvSpectraColor64x1Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraColor64x1Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// 64 colours, two bytes; AAttr = paper shl 8 or ink: the ink byte, then the
// paper byte.
class TKvSpectraColor64x2Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraColor64x2Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// Half-width cells, 15 colours, one byte; AAttr = colour plus 0x40 for
// bright. An even cell column puts its colour in bits 3-5, an odd one in bits
// 0-2; bit 6 takes the bright, bit 7 is kept.
class TKvSpectraHalfColor15x1Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraHalfColor15x1Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// Half-width cells, 15 colours, two bytes; AAttr = ink shl 8 or paper: the
// ink into the first byte and the paper into the second, each as above.
class TKvSpectraHalfColor15x2Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraHalfColor15x2Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};
// Half-width cells, 64 colours, two bytes: the colour of an even cell column
// goes to the second byte, of an odd one to the first.
class TKvSpectraHalfColor64x2Screen : public TKvZxSpectrumSpectraColorScreen {
public:
  TKvSpectraHalfColor64x2Screen(void* AData, int ACellHeight);
  void SetAttr(int CellX, int CellY, int AAttr) override;
};

// A screen encoding fixed to one cell height.
template <class TEncoding, int ACellHeight>
class TKvSpectraScreenOf : public TEncoding {
public:
  explicit TKvSpectraScreenOf(void* AData) : TEncoding(AData, ACellHeight) {}
};

using TKvZxSpectrumSpectraColor8x8x15x1Screen = TKvSpectraScreenOf<TKvSpectraColor15x1Screen, 8>;
using TKvZxSpectrumSpectraColor8x4x15x1Screen = TKvSpectraScreenOf<TKvSpectraColor15x1Screen, 4>;
using TKvZxSpectrumSpectraColor8x2x15x1Screen = TKvSpectraScreenOf<TKvSpectraColor15x1Screen, 2>;
using TKvZxSpectrumSpectraColor8x1x15x1Screen = TKvSpectraScreenOf<TKvSpectraColor15x1Screen, 1>;
using TKvZxSpectrumSpectraColor8x8x15x2Screen = TKvSpectraScreenOf<TKvSpectraColor15x2Screen, 8>;
using TKvZxSpectrumSpectraColor8x4x15x2Screen = TKvSpectraScreenOf<TKvSpectraColor15x2Screen, 4>;
using TKvZxSpectrumSpectraColor8x2x15x2Screen = TKvSpectraScreenOf<TKvSpectraColor15x2Screen, 2>;
using TKvZxSpectrumSpectraColor8x1x15x2Screen = TKvSpectraScreenOf<TKvSpectraColor15x2Screen, 1>;
using TKvZxSpectrumSpectraColor8x8x64x1Screen = TKvSpectraScreenOf<TKvSpectraColor64x1Screen, 8>;
using TKvZxSpectrumSpectraColor8x4x64x1Screen = TKvSpectraScreenOf<TKvSpectraColor64x1Screen, 4>;
using TKvZxSpectrumSpectraColor8x2x64x1Screen = TKvSpectraScreenOf<TKvSpectraColor64x1Screen, 2>;
using TKvZxSpectrumSpectraColor8x1x64x1Screen = TKvSpectraScreenOf<TKvSpectraColor64x1Screen, 1>;
using TKvZxSpectrumSpectraColor8x8x64x2Screen = TKvSpectraScreenOf<TKvSpectraColor64x2Screen, 8>;
using TKvZxSpectrumSpectraColor8x4x64x2Screen = TKvSpectraScreenOf<TKvSpectraColor64x2Screen, 4>;
using TKvZxSpectrumSpectraColor8x2x64x2Screen = TKvSpectraScreenOf<TKvSpectraColor64x2Screen, 2>;
using TKvZxSpectrumSpectraColor8x1x64x2Screen = TKvSpectraScreenOf<TKvSpectraColor64x2Screen, 1>;
using TKvZxSpectrumSpectraColor4x8x15x1Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x1Screen, 8>;
using TKvZxSpectrumSpectraColor4x4x15x1Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x1Screen, 4>;
using TKvZxSpectrumSpectraColor4x2x15x1Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x1Screen, 2>;
using TKvZxSpectrumSpectraColor4x1x15x1Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x1Screen, 1>;
using TKvZxSpectrumSpectraColor4x8x15x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x2Screen, 8>;
using TKvZxSpectrumSpectraColor4x4x15x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x2Screen, 4>;
using TKvZxSpectrumSpectraColor4x2x15x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x2Screen, 2>;
using TKvZxSpectrumSpectraColor4x1x15x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor15x2Screen, 1>;
using TKvZxSpectrumSpectraColor4x8x64x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor64x2Screen, 8>;
using TKvZxSpectrumSpectraColor4x4x64x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor64x2Screen, 4>;
using TKvZxSpectrumSpectraColor4x2x64x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor64x2Screen, 2>;
using TKvZxSpectrumSpectraColor4x1x64x2Screen = TKvSpectraScreenOf<TKvSpectraHalfColor64x2Screen, 1>;

// ---------------------------------------------------------------------------
// Candidate lists over the working palette (15 or 64 colours).

// 64 colours, one byte: paper black or gray 42, any ink.
struct TKvZxSpectrumSpectra64ColorS1PaletteList : TKvCellPaletteList { explicit TKvZxSpectrumSpectra64ColorS1PaletteList(TKvPalette256& APalette); };
struct TKvZxSpectrumSpectra64GrayS1PaletteList : TKvCellPaletteList { explicit TKvZxSpectrumSpectra64GrayS1PaletteList(TKvPalette256& APalette); };
// 64 colours, two bytes: every single and every pair.
struct TKvZxSpectrumSpectra64ColorS2PaletteList : TKvCellPaletteList { explicit TKvZxSpectrumSpectra64ColorS2PaletteList(TKvPalette256& APalette); };
struct TKvZxSpectrumSpectra64GrayS2PaletteList : TKvCellPaletteList { explicit TKvZxSpectrumSpectra64GrayS2PaletteList(TKvPalette256& APalette); };
// Half-width cells, 64 colours: one colour on black.
struct TKvZxSpectrumSpectraHalf64ColorS2PaletteList : TKvCellPaletteList {
  explicit TKvZxSpectrumSpectraHalf64ColorS2PaletteList(TKvPalette256& APalette);
};
struct TKvZxSpectrumSpectraHalf64GrayS2PaletteList : TKvCellPaletteList {
  explicit TKvZxSpectrumSpectraHalf64GrayS2PaletteList(TKvPalette256& APalette);
};
// Half-width cells, 15 colours, one byte: one colour on black, the normal
// colours (ADark) or the bright ones.
struct TKvSpectrumSpectraColor4xNx15x1PaletteList : TKvCellPaletteList {
  TKvSpectrumSpectraColor4xNx15x1PaletteList(TKvPalette256& APalette, bool ADark, bool AGray);
};
// Half-width cells, 15 colours, two bytes: papers normal or bright
// (APaperBright), inks likewise.
struct TKvSpectrumSpectraColor4xNx15x2PaletteList : TKvCellPaletteList {
  TKvSpectrumSpectraColor4xNx15x2PaletteList(TKvPalette256& APalette, bool APaperBright, bool AInkBright, bool AGray);
};

// ---------------------------------------------------------------------------
// Cell images.

// 15 colours, two bytes: ink and paper each with its own bright.
class TKvZxSpectrumSpectraColor15Image : public TKvSpectrumZxColorImage {
public:
  using TKvSpectrumZxColorImage::TKvSpectrumZxColorImage;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

// 64 colours, one byte.
class TKvZxSpectrumSpectraColor64x1Image : public TKvSpectrumZxColorImage {
public:
  using TKvSpectrumZxColorImage::TKvSpectrumZxColorImage;
  TKvCellPaletteList* CreatePaletteList() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

// 64 colours, two bytes.
class TKvZxSpectrumSpectraColor64x2Image : public TKvZxSpectrumSpectraColor64x1Image {
public:
  using TKvZxSpectrumSpectraColor64x1Image::TKvZxSpectrumSpectraColor64x1Image;
  TKvCellPaletteList* CreatePaletteList() override;
};

// The walk of the double-byte height-1 file: cell rows 0..127 are single
// pixel rows, rows 128..159 pairs of pixel rows (the image is made with
// cells two lines high). Cells go across as in the base conversion; the cell
// row given to the hooks is the walk's row. Progress counts 160 rows of
// cells. Pairs of cells share a list choice in a paired-cell image.
template <class TBase>
class TKvSpectraRowWalk : public TBase {
public:
  using TBase::TBase;
  static constexpr int WalkRows = 160;

protected:
  std::unique_ptr<TKvBitmap> Walk(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                  TKvCellScreen* ATarget);
};

class TKvZxSpectrumSpectraColor8x1x15x2Image : public TKvSpectraRowWalk<TKvZxSpectrumSpectraColor15Image> {
public:
  using TKvSpectraRowWalk::TKvSpectraRowWalk;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                         TKvCellScreen* ATarget) override;
};

class TKvZxSpectrumSpectraColor8x1x64x2Image : public TKvZxSpectrumSpectraColor8x1x15x2Image {
public:
  using TKvZxSpectrumSpectraColor8x1x15x2Image::TKvZxSpectrumSpectraColor8x1x15x2Image;
  TKvCellPaletteList* CreatePaletteList() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

// Half-width cells, 15 colours, one byte: the two half cells of a byte share
// the bright bit, so a pair takes the normal or the bright list as a whole.
class TKvSpectrumSpectraColor4xNx15x1Image : public TKvDoubleCellImage {
public:
  using TKvDoubleCellImage::TKvDoubleCellImage;
  using TKvDoubleCellImage::CreatePaletteList;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
  TKvCellPaletteList* CreatePaletteList(int AIndex) override;
  virtual std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress, TKvCellScreen* ATarget);
  int GetPaletteListCount() override { return ColorUsage == 0 ? 2 : 1; }
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;

  uint8_t ColorUsage = 0;
};

// Half-width cells, 15 colours, two bytes: list = paper bright * 2 + ink
// bright, so both bytes' shared bright bits agree.
class TKvSpectrumSpectraColor4xNx15x2Image : public TKvDoubleCellImage {
public:
  using TKvDoubleCellImage::TKvDoubleCellImage;
  using TKvDoubleCellImage::CreatePaletteList;
  TKvCellPaletteList* CreatePaletteList(int AIndex) override;
  virtual std::unique_ptr<TKvBitmap> ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress, TKvCellScreen* ATarget);
  int GetPaletteListCount() override { return 4; }
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
};

// Half-width cells, 64 colours: one colour on black per half cell.
class TKvZxSpectrumSpectraColor4xNx64x2Image : public TKvZxSpectrumSpectraColor64x2Image {
public:
  using TKvZxSpectrumSpectraColor64x2Image::TKvZxSpectrumSpectraColor64x2Image;
  TKvCellPaletteList* CreatePaletteList() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

class TKvZxSpectrumSpectraColor4x1x15x2Image : public TKvSpectraRowWalk<TKvSpectrumSpectraColor4xNx15x2Image> {
public:
  using TKvSpectraRowWalk::TKvSpectraRowWalk;
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress,
                                     TKvCellScreen* ATarget) override;
};

class TKvZxSpectrumSpectraColor4x1x64x2Image : public TKvZxSpectrumSpectraColor4x1x15x2Image {
public:
  using TKvZxSpectrumSpectraColor4x1x15x2Image::TKvZxSpectrumSpectraColor4x1x15x2Image;
  using TKvZxSpectrumSpectraColor4x1x15x2Image::CreatePaletteList;
  int GetPaletteListCount() override { return 1; }
  TKvCellPaletteList* CreatePaletteList(int AIndex) override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
};

// ---------------------------------------------------------------------------
// Options, panels and engines.

// 8x8 cells, "64 colors (double byte)", colour mode.
class TKvZxSpectrumSpectra8x8EngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumSpectra8x8EngineOptions();
  void UpdatePalette() override;
};
// 4x8 cells, "15 colors (double byte)".
class TKvZxSpectrumSpectra4x8EngineOptions : public TKvZxSpectrumSpectra8x8EngineOptions {
public:
  TKvZxSpectrumSpectra4x8EngineOptions();
  int32_t GetCellWidth() const override { return 4; }
};

// The options TBase with cells ACellHeight lines high: cells of two lines or
// one dither with method 2, and cells of one line spread their error freely.
template <class TBase, int ACellHeight>
class TKvZxSpectrumSpectraHeightOptions : public TBase {
public:
  TKvZxSpectrumSpectraHeightOptions() {
    if (ACellHeight == 1) {
      this->SetLimitErrorInsideBlock(false);
      this->SetLimitErrorAtBlockBoundary(false);
    }
    if (ACellHeight <= 2) this->SetDitherMethod(2);
  }
  int32_t GetCellHeight() const override { return ACellHeight; }
};

struct TKvZxSpectrumSpectra8x4EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra8x8EngineOptions, 4> {};
struct TKvZxSpectrumSpectra8x2EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra8x8EngineOptions, 2> {};
struct TKvZxSpectrumSpectra8x1EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra8x8EngineOptions, 1> {};
struct TKvZxSpectrumSpectra4x4EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra4x8EngineOptions, 4> {};
struct TKvZxSpectrumSpectra4x2EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra4x8EngineOptions, 2> {};
struct TKvZxSpectrumSpectra4x1EngineOptions : TKvZxSpectrumSpectraHeightOptions<TKvZxSpectrumSpectra4x8EngineOptions, 1> {};

// Position, the Spectra palette list with "Black/white", "Gray" and "Сolor",
// colour usage and dithering.
class TKvZxSpectrumSpectra8x8EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvZxSpectrumSpectra8x8EngineUI(TKvDestEngineOptions* AOptions)
      : TKvZxSpectrumSpectra8x8EngineUI(AOptions, true) {}
  // Colour usage matters only to "15 colors (single byte)" in colour mode:
  // its caption is enabled exactly then, and the list follows the caption.
  static bool ColorUsageEnabled(const TKvDestEngineOptions& AOptions);
  void CheckOptions(IKvPanelControls& AControls) override;

protected:
  // ASingleByte64: "64 colors (single byte)" is offered, with 8-pixel cells
  // only.
  TKvZxSpectrumSpectra8x8EngineUI(TKvDestEngineOptions* AOptions, bool ASingleByte64);
};
class TKvZxSpectrumSpectra4x8EngineUI : public TKvZxSpectrumSpectra8x8EngineUI {
public:
  explicit TKvZxSpectrumSpectra4x8EngineUI(TKvDestEngineOptions* AOptions)
      : TKvZxSpectrumSpectra8x8EngineUI(AOptions, false) {}
};

// The modes share one conversion, told by their cell.
std::unique_ptr<TKvBitmap> ConvertSpectra(TKvConvertArgs& AArgs, int ACellHeight, bool AHalfWidth);

// The mode of W x H cells; the half-width cells have their own panel.
template <class T, int W, int H, class TOptions>
class TKvZxSpectrumSpectraEngineOf
    : public TKvDestEngineWith<T, TOptions,
                               std::conditional_t<W == 4, TKvZxSpectrumSpectra4x8EngineUI,
                                                  TKvZxSpectrumSpectra8x8EngineUI>> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum Spectra"; }
  static std::string GetModeName() { return "256x192 (" + std::to_string(W) + "x" + std::to_string(H) + ")"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return ConvertSpectra(AArgs, H, W == 4); }
};

struct TKvZxSpectrumSpectra8x1Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra8x1Engine, 8, 1, TKvZxSpectrumSpectra8x1EngineOptions> {};
struct TKvZxSpectrumSpectra8x2Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra8x2Engine, 8, 2, TKvZxSpectrumSpectra8x2EngineOptions> {};
struct TKvZxSpectrumSpectra8x4Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra8x4Engine, 8, 4, TKvZxSpectrumSpectra8x4EngineOptions> {};
struct TKvZxSpectrumSpectra8x8Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra8x8Engine, 8, 8, TKvZxSpectrumSpectra8x8EngineOptions> {};
struct TKvZxSpectrumSpectra4x1Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra4x1Engine, 4, 1, TKvZxSpectrumSpectra4x1EngineOptions> {};
struct TKvZxSpectrumSpectra4x2Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra4x2Engine, 4, 2, TKvZxSpectrumSpectra4x2EngineOptions> {};
struct TKvZxSpectrumSpectra4x4Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra4x4Engine, 4, 4, TKvZxSpectrumSpectra4x4EngineOptions> {};
struct TKvZxSpectrumSpectra4x8Engine : TKvZxSpectrumSpectraEngineOf<TKvZxSpectrumSpectra4x8Engine, 4, 8, TKvZxSpectrumSpectra4x8EngineOptions> {};

// The modes of the platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxSpectrumSpectraDestEngineClasses();
// Unit start-up: registers them in that order.
void InitKvSavePlatformZxSpectrumSpectra();
