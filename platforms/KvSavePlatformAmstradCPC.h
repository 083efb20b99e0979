// The converters of the "Amstrad CPC" platform: the standard 16 KB screens of
// modes 0, 1 and 2, the 272-line overscan screens, the 512 x 256 mode-2
// picture and the two-frame B0 and B1 modes, all saved as AMSDOS files with
// their palette side files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformAmstradCPC.h"

class TKvImage;

// ---------------------------------------------------------------------------
// Streams: each file is a 128-byte AMSDOS header and its body; the header
// gets the file's own name and checksum when the file is saved.

class TKvAmstradCPCStream : public TKvStream {
public:
  TKvAmstradCPCStream(const std::string& AExtension, uint16_t ALoadAddress, uint16_t ALength, uint16_t AExecAddress,
                      uint8_t AFileType);
  uint8_t* Header() { return GetMemory(); }
  uint8_t* Body() { return GetMemory() + AmsdosHeaderSize; }
  // Characters outside ASCII count as one character each and become "-".
  void StoreFileName(const std::string& AFileName) override;
};

class TKvAmstradCPCPalStream : public TKvAmstradCPCStream {
public:
  TKvAmstradCPCPalStream(uint8_t AMode, const TKvPalette256& AHardwarePalette, const TKvPalette256& AColours,
                         int32_t ABorder);
};

// The body (16 Plus palette words) is left for the caller.
class TKvAmstradCPCKitStream : public TKvAmstradCPCStream {
public:
  TKvAmstradCPCKitStream();
};

// The standard ".scr" with its display block and a ".pal" sub-stream; the
// screen bytes are written afterwards.
class TKvAmstradCPCScrStream : public TKvAmstradCPCStream {
public:
  TKvAmstradCPCScrStream(uint8_t AMode, const TKvPalette256& AHardwarePalette, const TKvPalette256& AColours,
                         int32_t ABorder);
};

// The self-starting overscan ".scr": a ".pal" sub-stream and the colour bytes
// for a 27-colour hardware palette, a ".kit" sub-stream and the Plus words
// for the 4096-colour one.
class TKvAmstradCPCScrExStream : public TKvAmstradCPCStream {
public:
  TKvAmstradCPCScrExStream(uint8_t AMode, const TKvPalette& AHardwarePalette, const TKvPalette256& AColours,
                           int32_t ABorder);
};

class TKvAmstradCPCPphStream : public TKvAmstradCPCStream {
public:
  TKvAmstradCPCPphStream(uint8_t AType, uint16_t AWidth, uint16_t AHeight, const TKvPalette256& AHardwarePalette,
                         const TKvPalette256& AColours);
};

// ---------------------------------------------------------------------------
// Screens: write-only, over a stream body, the mirror flag honoured.

// Where a row of the picture lies in memory: the standard 16 KB screen, the
// overscan screen, the 512 x 256 picture, or the two frames of linear 96-byte
// rows of the two-frame modes.
enum class TKvCPCLayout { Standard, Overscan, Hgb, FramePair };

template <class TParent, int APixelsPerByte, TKvCPCLayout ALayout>
class TKvCPCScreenOf : public TParent {
public:
  TKvCPCScreenOf(int AWidth, int AHeight, void* AData) : TParent(AWidth, AHeight, AData) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override {
    X = this->MX(X);
    int64_t row;
    if constexpr (ALayout == TKvCPCLayout::Standard)
      row = CPCScrRowOffset(Y);
    else if constexpr (ALayout == TKvCPCLayout::Overscan)
      row = CPCOverscanRowOffset(Y);
    else
      row = CPCHgbRowOffset(Y);
    uint8_t& b = this->Data[row + X / APixelsPerByte];
    if constexpr (APixelsPerByte == 2)
      PutCPCMode0Pixel(b, X, AValue);
    else if constexpr (APixelsPerByte == 4)
      PutCPCMode1Pixel(b, X, AValue);
    else
      PutCPCMode2Pixel(b, X, AValue);
  }
};

using TKvAmstradCPCMode0Screen = TKvCPCScreenOf<TKvScreen4, 2, TKvCPCLayout::Standard>;
using TKvAmstradCPCMode1Screen = TKvCPCScreenOf<TKvScreen2, 4, TKvCPCLayout::Standard>;
using TKvAmstradCPCMode2Screen = TKvCPCScreenOf<TKvScreen1, 8, TKvCPCLayout::Standard>;
using TKvAmstradCPCMode0ExScreen = TKvCPCScreenOf<TKvScreen4, 2, TKvCPCLayout::Overscan>;
using TKvAmstradCPCMode1ExScreen = TKvCPCScreenOf<TKvScreen2, 4, TKvCPCLayout::Overscan>;
using TKvAmstradCPCMode2ExScreen = TKvCPCScreenOf<TKvScreen1, 8, TKvCPCLayout::Overscan>;
using TKvAmstradCPCMode2HGBScreen = TKvCPCScreenOf<TKvScreen1, 8, TKvCPCLayout::Hgb>;

// Two frames of linear 96-byte rows; a value i * n + j puts pen i into the
// first frame and pen j into the second.
template <class TParent, int APixelsPerByte>
class TKvCPCFramePairScreen : public TParent {
public:
  TKvCPCFramePairScreen(int AWidth, int AHeight, uint8_t* AFrame1, uint8_t* AFrame2, int ACount)
      : TParent(AWidth, AHeight, AFrame1), FFrame2(AFrame2), FCount(ACount) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override {
    X = this->MX(X);
    const int64_t o = static_cast<int64_t>(Y) * 96 + X / APixelsPerByte;
    Put(this->Data[o], X, AValue / FCount);
    Put(FFrame2[o], X, AValue % FCount);
  }

private:
  static void Put(uint8_t& AByte, int X, int APen) {
    if constexpr (APixelsPerByte == 2)
      PutCPCMode0Pixel(AByte, X, APen);
    else
      PutCPCMode1Pixel(AByte, X, APen);
  }
  uint8_t* FFrame2;
  int FCount;
};
using TKvAmstradCPCModeB0Screen = TKvCPCFramePairScreen<TKvScreen4, 2>;
using TKvAmstradCPCModeB1Screen = TKvCPCFramePairScreen<TKvScreen2, 4>;

// ---------------------------------------------------------------------------
// Modes: what sets each apart, in registration order.

struct TKvCPCMode {
  const char* Name;
  int PixelFormat;  // the screen mode of its bytes: 0 (2 pixels a byte), 1 (4) or 2 (8)
  TKvCPCLayout Layout;
  int Width;
  int Height;
  // The defaults of the options.
  TKvPaletteMode PaletteMode;
  TKvPixelAspect PixelAspect;
  int ErrorDiffusion;
  bool WriteFileHeader = true;
  // The palette modes the colour panel offers and the rows of its result
  // palette; the two-pen modes have no palette choice.
  TKvPaletteModeSet PanelModes = {};
  int PaletteRows = 2;
};

extern const TKvCPCMode CPCModes[9];

// ---------------------------------------------------------------------------
// Options: every mode has a fixed size; the palettes follow the kind and the
// palette mode.

class TKvAmstradCPCEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  explicit TKvAmstradCPCEngineOptions(const TKvCPCMode& AMode);
  TKvSize GetDefaultSize() const override { return {FMode.Width, FMode.Height}; }
  TKvSize GetMaxSize() const override { return GetDefaultSize(); }
  void UpdatePalette() override;

private:
  const TKvCPCMode& FMode;
};

// The pair histogram of the two-frame modes: 27 x 27 counts, row = the
// first frame's colour.
using TKvCPCPairHistogram = std::array<uint32_t, CPCColorCount * CPCColorCount>;

// Dithers a copy of AImage to the mixtures of ABase and counts each pixel's
// pair of base colours.
void CountCPCPairs(bool* AAbort, TKvDestEngineOptions& AOptions, TKvImage& AImage, const TKvPalette256& ABase,
                   TKvCPCPairHistogram& AHist);
// Adds to APalette, up to AMaxCount colours, the ABase colours of the pairs
// that cover the most pixels, then sorts the added colours by gray.
void ChooseCPCPairColors(TKvCPCPairHistogram& AHist, int AMaxCount, const TKvPalette& ABase, TKvPalette256& APalette);

// ---------------------------------------------------------------------------
// Panels

// Modes 0 and 1 (standard and overscan, the overscan ones with the "CPC Plus"
// kind too) and the two-frame modes (mixture palette, flicker limit).
class TKvAmstradCPCPaletteUI : public TKvDestEngineUIEx {
public:
  TKvAmstradCPCPaletteUI(TKvDestEngineOptions* AOptions, const TKvCPCMode& AMode);
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// Mode 2 and the 512 x 256 picture (with its header check box).
class TKvAmstradCPCMonoUI : public TKvDestEngineUIEx {
public:
  TKvAmstradCPCMonoUI(TKvDestEngineOptions* AOptions, const TKvCPCMode& AMode);
};

// ---------------------------------------------------------------------------
// Engines

// The options and the panel TUI of row Index of CPCModes.
template <int Index>
class TKvAmstradCPCModeOptions : public TKvAmstradCPCEngineOptions {
public:
  TKvAmstradCPCModeOptions() : TKvAmstradCPCEngineOptions(CPCModes[Index]) {}
};
template <class TUI, int Index>
class TKvAmstradCPCModeUI : public TUI {
public:
  explicit TKvAmstradCPCModeUI(TKvDestEngineOptions* AOptions) : TUI(AOptions, CPCModes[Index]) {}
};

// The conversion of a mode: by its layout and pixel format.
std::unique_ptr<TKvBitmap> ConvertCPCMode(const TKvCPCMode& AMode, TKvConvertArgs& AArgs);

// The mode of row Index of CPCModes with the panel TUI.
template <class T, int Index, class TUI>
class TKvCPCEngineOf : public TKvDestEngineWith<T, TKvAmstradCPCModeOptions<Index>, TKvAmstradCPCModeUI<TUI, Index>> {
public:
  static std::string GetPlatformName() { return "Amstrad CPC"; }
  static std::string GetModeName() { return CPCModes[Index].Name; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return ConvertCPCMode(CPCModes[Index], AArgs); }
};

struct TKvAmstradCPCMode0Engine : TKvCPCEngineOf<TKvAmstradCPCMode0Engine, 0, TKvAmstradCPCPaletteUI> {};
struct TKvAmstradCPCMode0ExEngine : TKvCPCEngineOf<TKvAmstradCPCMode0ExEngine, 1, TKvAmstradCPCPaletteUI> {};
struct TKvAmstradCPCMode1Engine : TKvCPCEngineOf<TKvAmstradCPCMode1Engine, 2, TKvAmstradCPCPaletteUI> {};
struct TKvAmstradCPCMode1ExEngine : TKvCPCEngineOf<TKvAmstradCPCMode1ExEngine, 3, TKvAmstradCPCPaletteUI> {};
struct TKvAmstradCPCMode2Engine : TKvCPCEngineOf<TKvAmstradCPCMode2Engine, 4, TKvAmstradCPCMonoUI> {};
struct TKvAmstradCPCMode2ExEngine : TKvCPCEngineOf<TKvAmstradCPCMode2ExEngine, 5, TKvAmstradCPCMonoUI> {};
struct TKvAmstradCPCMode2HGBEngine : TKvCPCEngineOf<TKvAmstradCPCMode2HGBEngine, 6, TKvAmstradCPCMonoUI> {};
struct TKvAmstradCPCModeB0Engine : TKvCPCEngineOf<TKvAmstradCPCModeB0Engine, 7, TKvAmstradCPCPaletteUI> {};
struct TKvAmstradCPCModeB1Engine : TKvCPCEngineOf<TKvAmstradCPCModeB1Engine, 8, TKvAmstradCPCPaletteUI> {};

void InitKvSavePlatformAmstradCPC();
