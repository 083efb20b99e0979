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

enum class TKvCPCLayout { Standard, Overscan, Hgb };

template <class TParent, int APixelsPerByte>
class TKvCPCScreenOf : public TParent {
public:
  TKvCPCScreenOf(int AWidth, int AHeight, void* AData, TKvCPCLayout ALayout)
      : TParent(AWidth, AHeight, AData), FLayout(ALayout) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override {
    X = this->MX(X);
    const int64_t LRow = FLayout == TKvCPCLayout::Standard   ? CPCScrRowOffset(Y)
                         : FLayout == TKvCPCLayout::Overscan ? CPCOverscanRowOffset(Y)
                                                             : CPCHgbRowOffset(Y);
    uint8_t& b = this->Data[LRow + X / APixelsPerByte];
    if constexpr (APixelsPerByte == 2)
      PutCPCMode0Pixel(b, X, AValue);
    else if constexpr (APixelsPerByte == 4)
      PutCPCMode1Pixel(b, X, AValue);
    else
      PutCPCMode2Pixel(b, X, AValue);
  }

private:
  TKvCPCLayout FLayout;
};

#define KV_CPC_SCREEN(AName, AParent, APixels, ALayout)                          \
  class AName : public TKvCPCScreenOf<AParent, APixels> {                        \
  public:                                                                        \
    AName(int AWidth, int AHeight, void* AData)                                  \
        : TKvCPCScreenOf<AParent, APixels>(AWidth, AHeight, AData, ALayout) {}   \
  };
KV_CPC_SCREEN(TKvAmstradCPCMode0Screen, TKvScreen4, 2, TKvCPCLayout::Standard)
KV_CPC_SCREEN(TKvAmstradCPCMode1Screen, TKvScreen2, 4, TKvCPCLayout::Standard)
KV_CPC_SCREEN(TKvAmstradCPCMode2Screen, TKvScreen1, 8, TKvCPCLayout::Standard)
KV_CPC_SCREEN(TKvAmstradCPCMode0ExScreen, TKvScreen4, 2, TKvCPCLayout::Overscan)
KV_CPC_SCREEN(TKvAmstradCPCMode1ExScreen, TKvScreen2, 4, TKvCPCLayout::Overscan)
KV_CPC_SCREEN(TKvAmstradCPCMode2ExScreen, TKvScreen1, 8, TKvCPCLayout::Overscan)
KV_CPC_SCREEN(TKvAmstradCPCMode2HGBScreen, TKvScreen1, 8, TKvCPCLayout::Hgb)
#undef KV_CPC_SCREEN

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
// Options: every mode has a fixed size; the palettes follow the kind and the
// palette mode.

struct TKvCPCModeDefaults {
  int Width, Height;
  uint8_t PaletteMode, PixelAspect;
  int ErrorDiffusion;
  bool WriteFileHeader = true;
};

class TKvAmstradCPCEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  explicit TKvAmstradCPCEngineOptions(const TKvCPCModeDefaults& ADefaults);
  TKvSize GetDefaultSize() const override { return {FDefaults.Width, FDefaults.Height}; }
  TKvSize GetMaxSize() const override { return GetDefaultSize(); }
  void UpdatePalette() override;

private:
  TKvCPCModeDefaults FDefaults;
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

// Modes 0 and 1 (standard and overscan) and the two-frame modes.
class TKvAmstradCPCPaletteUI : public TKvDestEngineUIEx {
public:
  // AModeSet: the palette modes offered; APlus: the "CPC Plus" kind too;
  // AFrames: the two-frame layout (16 x ARows mixture palette, flicker limit).
  TKvAmstradCPCPaletteUI(TKvDestEngineOptions* AOptions, uint32_t AModeSet, bool APlus, int ARows, bool AFrames);
  bool CanEditPalette() override;
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// Mode 2 and the 512 x 256 picture (with its header check box).
class TKvAmstradCPCMonoUI : public TKvDestEngineUIEx {
public:
  TKvAmstradCPCMonoUI(TKvDestEngineOptions* AOptions, bool AHeaderCheckBox);
};

// ---------------------------------------------------------------------------
// Engines

#define KV_CPC_ENGINE(AName, AMode)                                                                              \
  class AName : public TKvDestEngineOf<AName> {                                                                  \
  public:                                                                                                        \
    static std::string GetPlatformName() { return "Amstrad CPC"; }                                               \
    static std::string GetModeName() { return AMode; }                                                           \
    std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;                          \
    std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;                                              \
    static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,         \
                                              TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,          \
                                              TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams); \
  };
KV_CPC_ENGINE(TKvAmstradCPCMode0Engine, "0 160x200x4")
KV_CPC_ENGINE(TKvAmstradCPCMode0ExEngine, "0 192x272x4 overscan")
KV_CPC_ENGINE(TKvAmstradCPCMode1Engine, "1 320x200x2")
KV_CPC_ENGINE(TKvAmstradCPCMode1ExEngine, "1 384x272x2 overscan")
KV_CPC_ENGINE(TKvAmstradCPCMode2Engine, "2 640x200x1")
KV_CPC_ENGINE(TKvAmstradCPCMode2ExEngine, "2 768x272x1 overscan")
KV_CPC_ENGINE(TKvAmstradCPCMode2HGBEngine, "2 512x256x1")
KV_CPC_ENGINE(TKvAmstradCPCModeB0Engine, "B0 192x272x8")
KV_CPC_ENGINE(TKvAmstradCPCModeB1Engine, "B1 384x272x4")
#undef KV_CPC_ENGINE

void InitKvSavePlatformAmstradCPC();
