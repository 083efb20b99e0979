// The converters of the "BBC Micro" platform: graphics modes 0, 1, 2, 4 and 5
// written as raw dumps of their screen memory (".bb0" .. ".bb5").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

constexpr int BbcLargeScreenSize = 20480;  // modes 0, 1, 2
constexpr int BbcSmallScreenSize = 10240;  // modes 4, 5

// Screen memory is made of character cells one byte wide and 8 rows high, the
// 8 bytes of a cell consecutive; the byte of pixel (x, y) for P pixels per byte
// and C bytes per character row.
inline int64_t BbcByteOffset(int X, int Y, int APixelsPerByte, int ARowBytes) {
  return static_cast<int64_t>(X / APixelsPerByte) * 8 + static_cast<int64_t>(Y / 8) * ARowBytes + (Y % 8);
}

// Black, red, yellow, white (modes 1 and 5), and black, white (mode 4).
void BuildBbcFourColourPalette(TKvPalette256& APalette);
void BuildBbcTwoColourPalette(TKvPalette256& APalette);

// A screen of ABits per pixel, only written: GetPixel answers 0. Pixel i of
// a byte keeps colour bit k in byte bit (k + 1) * 8 / ABits - 1 - i; the bytes
// of a character row follow from the width.
template <class TScreen, int ABits>
class TKvBBCMicroScreenOf : public TScreen {
public:
  using TScreen::TScreen;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override {
    constexpr int perByte = 8 / ABits;
    X = this->MX(X);
    uint8_t& b = this->Data[BbcByteOffset(X, Y, perByte, this->Width * ABits)];
    const int i = X % perByte;
    uint8_t m = 0, v = 0;
    for (int k = 0; k < ABits; ++k) {
      const uint8_t bit = static_cast<uint8_t>(1u << ((k + 1) * perByte - 1 - i));
      m |= bit;
      if (AValue & (1 << k)) v |= bit;
    }
    b = static_cast<uint8_t>((b & ~m) | v);
  }
};

// A set bit is white.
using TKvBBCMicro0Screen = TKvBBCMicroScreenOf<TKvScreen1, 1>;
using TKvBBCMicro4Screen = TKvBBCMicro0Screen;
// Colour bit 1 in bit 7 - i, bit 0 in bit 3 - i for pixel i of the byte.
using TKvBBCMicro1Screen = TKvBBCMicroScreenOf<TKvScreen2, 2>;
using TKvBBCMicro5Screen = TKvBBCMicro1Screen;
// Colour bits 3, 2, 1, 0 in bits 7 - i, 5 - i, 3 - i, 1 - i.
using TKvBBCMicro2Screen = TKvBBCMicroScreenOf<TKvScreen4, 4>;

// Options of one mode: the size is the mode's own.
template <int W, int H, TKvPixelAspect Aspect>
class TKvBBCMicroEngineOptionsOf : public TKvDestFixedSizeEngineOptions {
public:
  TKvBBCMicroEngineOptionsOf() {
    SetPixelAspect(Aspect);
    SetPaletteType(ptAuto);
  }
  TKvSize GetDefaultSize() const override { return {W, H}; }
};
class TKvBBCMicro0EngineOptions : public TKvBBCMicroEngineOptionsOf<640, 256, pa1_2> {};
class TKvBBCMicro1EngineOptions : public TKvBBCMicroEngineOptionsOf<320, 256, pa1_1> {};
class TKvBBCMicro2EngineOptions : public TKvBBCMicroEngineOptionsOf<160, 256, pa2_1> {};
class TKvBBCMicro4EngineOptions : public TKvBBCMicroEngineOptionsOf<320, 256, pa1_1> {};
class TKvBBCMicro5EngineOptions : public TKvBBCMicroEngineOptionsOf<160, 256, pa2_1> {};

struct TKvBBCMicroUI : TKvDestEngineUIEx { explicit TKvBBCMicroUI(TKvDestEngineOptions* AOptions); };

// Modes 0 and 4 (1 bit), 1 and 5 (2 bits), 2 (3 of 4 bits).
std::unique_ptr<TKvBitmap> ConvertBbcScreen(int AMode, TKvConvertArgs& AArgs);

// Mode AMode, listed as AName, with options TOptions.
template <class T, int AMode, class TOptions, TKvText AName>
struct TKvBBCMicroEngineOf : TKvDestMode<T, TOptions, TKvBBCMicroUI, "BBC Micro", AName> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return ConvertBbcScreen(AMode, AArgs); }
};

struct TKvBBCMicro0Engine : TKvBBCMicroEngineOf<TKvBBCMicro0Engine, 0, TKvBBCMicro0EngineOptions, "0 640x256x1"> {};
struct TKvBBCMicro1Engine : TKvBBCMicroEngineOf<TKvBBCMicro1Engine, 1, TKvBBCMicro1EngineOptions, "1 320x256x2"> {};
struct TKvBBCMicro2Engine : TKvBBCMicroEngineOf<TKvBBCMicro2Engine, 2, TKvBBCMicro2EngineOptions, "2 160x256x4"> {};
struct TKvBBCMicro4Engine : TKvBBCMicroEngineOf<TKvBBCMicro4Engine, 4, TKvBBCMicro4EngineOptions, "4 320x256x1"> {};
struct TKvBBCMicro5Engine : TKvBBCMicroEngineOf<TKvBBCMicro5Engine, 5, TKvBBCMicro5EngineOptions, "5 160x256x2"> {};

void InitKvSavePlatformBBCMicro();
