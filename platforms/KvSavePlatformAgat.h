// The converters of the "Agat" platform: the 16-colour Agat-7 screens
// (64x64, 128x128, 128x256), the 4-colour Agat-9 256x256 screen, the two
// black-and-white screens, a two-frame form of each of them, and the
// 128x128 screen whose 8-colour palette half changes every 4 lines. Every
// mode writes ".fil" files (see KvPlatformAgat.h); a two-frame mode writes
// the combined file and one file per frame beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvStream.h"

// One ".fil" file: header, screen data, trailer.
class TKvFilStream : public TKvStream {
public:
  using TKvStream::TKvStream;
  // ALength + 296 bytes: the header with ALength, zero data and the trailer
  // with the mode and kind bytes and the comment.
  void InitFile(int ALength, uint8_t AMode, uint8_t AKind, const std::string& AComment);
  uint8_t* GetHeader() { return GetMemory(); }
  uint8_t* GetData();
  uint8_t* GetTrailer();
  int GetDataLength();
  // The name without its last extension, at most 30 characters, into the
  // header in the machine's code.
  void StoreFileName(const std::string& AFileName) override;
};

// What sets a mode apart: its name and zoom, its size, the length and mode
// byte of one frame, its family and whether it shows two frames.
enum class TKvAgatFamily { Agat7, Agat9, Mono, HAM };
struct TKvAgatMode {
  const char* Name;
  int Zoom = 1;
  int Width;
  int Height;
  int FrameLength;
  uint8_t FrameMode;
  TKvAgatFamily Family;
  bool Gigascreen = false;
  bool Interlaced = false;  // even rows first, then odd rows
};

// The palette kind byte a mode writes for a palette kind.
uint8_t AgatKindByte(const TKvAgatMode& AMode, uint8_t APaletteType);

// The screens over a ".fil" file's data, ABits bits per pixel. An interlaced
// screen stores picture row y as memory row y / 2 + (y mod 2) * (H / 2). A
// two-frame screen splits a value c by the base count n = 2^ABits: c / n
// into the first frame and c mod n into the second, which follows it.
template <class TBase, int ABits>
class TKvAgatScreen : public TBase {
public:
  TKvAgatScreen(int AWidth, int AHeight, void* AData, bool AInterlaced, bool AGigascreen)
      : TBase(AWidth, AHeight, AData),
        FInterlaced(AInterlaced),
        FFrameOffset(AWidth * AHeight * ABits / 8),
        FSplit(AGigascreen ? 1 << ABits : 0) {}
  uint8_t* GetScanline(int Y) override {
    const int row = FInterlaced ? Y / 2 + (Y % 2) * (this->Height / 2) : Y;
    return this->Data + FFrame + static_cast<intptr_t>(row) * this->Stride;
  }
  int GetPixel(int X, int Y) override {
    if (FSplit == 0) return TBase::GetPixel(X, Y);
    FFrame = 0;
    const int a = TBase::GetPixel(X, Y);
    FFrame = FFrameOffset;
    const int b = TBase::GetPixel(X, Y);
    FFrame = 0;
    return a * FSplit + b;
  }
  void SetPixel(int X, int Y, int AValue) override {
    if (FSplit == 0) {
      TBase::SetPixel(X, Y, AValue);
      return;
    }
    FFrame = 0;
    TBase::SetPixel(X, Y, AValue / FSplit);
    FFrame = FFrameOffset;
    TBase::SetPixel(X, Y, AValue % FSplit);
    FFrame = 0;
  }

private:
  bool FInterlaced;
  int FFrameOffset;
  int FSplit;
  int FFrame = 0;
};

// The 128x128 screen with a palette half per 4-line band: rows 4..7 of every
// 8 use entries 8..15. The band palettes follow the pixels.
class TKvAgat7_128x128HAMScreen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  void SetPixel(int X, int Y, int AValue) override;
  // Band ABand's colours (at most 8, each a colour of ARGB) as level triples.
  void StoreBandPalette(int ABand, const TKvPaletteRGB& ARGB, const TKvPalette256& APalette);
};

class TKvAgat7_128x128HAMImage : public TKvImage {
public:
  using TKvImage::TKvImage;
  // Every band quantized to 8 of the 4096 colours on itself and the extra
  // lines around it, then dithered with them; a 24-bit preview.
  std::unique_ptr<TKvBitmap> ConvertHAM(bool* AAbort, TKvDestEngineOptions& AOptions,
                                        TKvAgat7_128x128HAMScreen* AScreen);
  // Every colour the picture got, sorted by gray; nullptr when more than a
  // palette holds.
  std::unique_ptr<TKvPalette256> UsedColors;
};

// ---------------------------------------------------------------------------
// Options

class TKvAgat7Engine64x64Options : public TKvDestFixedSizeEngineOptions {
public:
  TKvAgat7Engine64x64Options();
  TKvSize GetDefaultSize() const override { return {64, 64}; }
  void UpdatePalette() override;
  bool Gigascreen = false;
  int32_t ModeColorCount = 16;  // colours of one frame
};

struct TKvAgat7Engine64x64ExOptions : TKvAgat7Engine64x64Options { TKvAgat7Engine64x64ExOptions(); };

// The options of TBase at AWidth x AHeight.
template <int AWidth, int AHeight, class TBase = TKvAgat7Engine64x64Options>
class TKvAgatOptionsOf : public TBase {
public:
  TKvSize GetDefaultSize() const override { return {AWidth, AHeight}; }
};

struct TKvAgat7Engine128x128Options : TKvAgatOptionsOf<128, 128> {};
struct TKvAgat7Engine128x128ExOptions : TKvAgatOptionsOf<128, 128, TKvAgat7Engine64x64ExOptions> {};
// The result palette is what the last conversion used.
struct TKvAgat7_128x128HAMOptions : TKvAgat7Engine128x128Options { void UpdatePalette() override {} };
struct TKvAgat7Engine128x256Options : TKvAgatOptionsOf<128, 256> { TKvAgat7Engine128x256Options(); };
struct TKvAgat7Engine128x256ExOptions : TKvAgatOptionsOf<128, 256, TKvAgat7Engine64x64ExOptions> { TKvAgat7Engine128x256ExOptions(); };
struct TKvAgat7Engine256x256Options : TKvAgatOptionsOf<256, 256> { TKvAgat7Engine256x256Options(); };
struct TKvAgat9Engine256x256Options : TKvAgatOptionsOf<256, 256> { TKvAgat9Engine256x256Options(); };
struct TKvAgat9Engine256x256ExOptions : TKvAgat9Engine256x256Options { TKvAgat9Engine256x256ExOptions(); };
struct TKvAgat9Engine512x256Options : TKvAgatOptionsOf<512, 256, TKvAgat9Engine256x256Options> { TKvAgat9Engine512x256Options(); };

// ---------------------------------------------------------------------------
// Panels

// The colour panels: position, the family's palette kinds and modes, the
// flicker limit of the two-frame modes, dithering and the comment.
class TKvAgatColorEngineUI : public TKvDestEngineUIEx {
public:
  TKvAgatColorEngineUI(TKvDestEngineOptions* AOptions, TKvAgatFamily AFamily, bool AGigascreen);
  const bool Gigascreen;
};

// The colour panel of AFamily, of one frame or of two.
template <TKvAgatFamily AFamily, bool AGigascreen>
class TKvAgatColorUIOf : public TKvAgatColorEngineUI {
public:
  explicit TKvAgatColorUIOf(TKvDestEngineOptions* AOptions) : TKvAgatColorEngineUI(AOptions, AFamily, AGigascreen) {}
};

struct TKvAgat7EngineUI : TKvAgatColorUIOf<TKvAgatFamily::Agat7, false> { using TKvAgatColorUIOf::TKvAgatColorUIOf; };
struct TKvAgat7EngineExUI : TKvAgatColorUIOf<TKvAgatFamily::Agat7, true> { using TKvAgatColorUIOf::TKvAgatColorUIOf; };
struct TKvAgat9Engine256x256UI : TKvAgatColorUIOf<TKvAgatFamily::Agat9, false> { using TKvAgatColorUIOf::TKvAgatColorUIOf; };
struct TKvAgat9Engine256x256ExUI : TKvAgatColorUIOf<TKvAgatFamily::Agat9, true> { using TKvAgatColorUIOf::TKvAgatColorUIOf; };

// The black-and-white screens: no palette choice.
struct TKvAgat7Engine256x256UI : TKvDestEngineUIEx { explicit TKvAgat7Engine256x256UI(TKvDestEngineOptions* AOptions); };
struct TKvAgat9Engine512x256UI : TKvAgat7Engine256x256UI { using TKvAgat7Engine256x256UI::TKvAgat7Engine256x256UI; };

struct TKvAgat7_128x128HAMEngineUI : TKvDestEngineUIEx { explicit TKvAgat7_128x128HAMEngineUI(TKvDestEngineOptions* AOptions); };

// ---------------------------------------------------------------------------
// Engines

// The modes in registration order.
extern const TKvAgatMode AgatModes[13];
// The screen of a mode over its file's data: 4 bits per pixel on Agat-7, 2 on
// Agat-9, 1 in black and white.
std::unique_ptr<TKvBitmapData> MakeAgatScreen(const TKvAgatMode& AMode, uint8_t* AData);

class TKvAgatEngine : public TKvDestEngine {
public:
  static std::string GetPlatformName() { return "Agat"; }
  // The conversion of a mode: by its family, of one frame or of two.
  static std::unique_ptr<TKvBitmap> ConvertMode(const TKvAgatMode& AMode, TKvConvertArgs& AArgs);
};

// The mode of row Index of AgatModes, with options TOptions and panel TUI;
// TBase is the mode it extends.
template <class T, int Index, class TOptions, class TUI, class TBase = TKvAgatEngine>
class TKvAgatEngineOf : public TKvDestEngineWith<T, TOptions, TUI, TBase> {
public:
  static std::string GetModeName() { return AgatModes[Index].Name; }
  static int GetZoomFactor() { return AgatModes[Index].Zoom; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    return TKvAgatEngine::ConvertMode(AgatModes[Index], AArgs);
  }
};

struct TKvAgat7Engine64x64 : TKvAgatEngineOf<TKvAgat7Engine64x64, 0, TKvAgat7Engine64x64Options, TKvAgat7EngineUI> {};
struct TKvAgat7Engine64x64Ex : TKvAgatEngineOf<TKvAgat7Engine64x64Ex, 1, TKvAgat7Engine64x64ExOptions, TKvAgat7EngineExUI> {};
struct TKvAgat7Engine128x128
    : TKvAgatEngineOf<TKvAgat7Engine128x128, 2, TKvAgat7Engine128x128Options, TKvAgat7EngineUI, TKvAgat7Engine64x64> {};
struct TKvAgat7Engine128x128Ex
    : TKvAgatEngineOf<TKvAgat7Engine128x128Ex, 3, TKvAgat7Engine128x128ExOptions, TKvAgat7EngineExUI, TKvAgat7Engine64x64Ex> {};
struct TKvAgat7Engine128x128HAM
    : TKvAgatEngineOf<TKvAgat7Engine128x128HAM, 4, TKvAgat7_128x128HAMOptions, TKvAgat7_128x128HAMEngineUI, TKvAgat7Engine128x128> {};
struct TKvAgat7Engine128x256
    : TKvAgatEngineOf<TKvAgat7Engine128x256, 5, TKvAgat7Engine128x256Options, TKvAgat7EngineUI, TKvAgat7Engine64x64> {};
struct TKvAgat7Engine128x256Ex
    : TKvAgatEngineOf<TKvAgat7Engine128x256Ex, 6, TKvAgat7Engine128x256ExOptions, TKvAgat7EngineExUI, TKvAgat7Engine64x64Ex> {};
struct TKvAgat7Engine256x256 : TKvAgatEngineOf<TKvAgat7Engine256x256, 7, TKvAgat7Engine256x256Options, TKvAgat7Engine256x256UI> {};
struct TKvAgat7Engine256x256Ex : TKvAgatEngineOf<TKvAgat7Engine256x256Ex, 8, TKvAgat7Engine256x256Options, TKvAgat7Engine256x256UI> {};
struct TKvAgat9Engine256x256 : TKvAgatEngineOf<TKvAgat9Engine256x256, 9, TKvAgat9Engine256x256Options, TKvAgat9Engine256x256UI> {};
struct TKvAgat9Engine256x256Ex
    : TKvAgatEngineOf<TKvAgat9Engine256x256Ex, 10, TKvAgat9Engine256x256ExOptions, TKvAgat9Engine256x256ExUI> {};
struct TKvAgat9Engine512x256 : TKvAgatEngineOf<TKvAgat9Engine512x256, 11, TKvAgat9Engine512x256Options, TKvAgat9Engine512x256UI> {};
struct TKvAgat9Engine512x256Ex
    : TKvAgatEngineOf<TKvAgat9Engine512x256Ex, 12, TKvAgat9Engine512x256Options, TKvAgat9Engine512x256UI> {};

void InitKvSavePlatformAgat();
