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

// Only written: GetPixel answers 0. A set bit is white.
class TKvBBCMicro0Screen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};
using TKvBBCMicro4Screen = TKvBBCMicro0Screen;

// Colour bit 1 in bit 7 - i, bit 0 in bit 3 - i for pixel i of the byte.
class TKvBBCMicro1Screen : public TKvScreen2 {
public:
  using TKvScreen2::TKvScreen2;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};
using TKvBBCMicro5Screen = TKvBBCMicro1Screen;

// Colour bits 3, 2, 1, 0 in bits 7 - i, 5 - i, 3 - i, 1 - i.
class TKvBBCMicro2Screen : public TKvScreen4 {
public:
  using TKvScreen4::TKvScreen4;
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
};

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

class TKvBBCMicroUI : public TKvDestEngineUIEx {
public:
  explicit TKvBBCMicroUI(TKvDestEngineOptions* AOptions);
};

// Modes 0 and 4 (1 bit), 1 and 5 (2 bits), 2 (3 of 4 bits).
std::unique_ptr<TKvBitmap> ConvertBbcScreen(int AMode, TKvConvertArgs& AArgs);

template <class TSelf, int Mode, class TOptions>
class TKvBBCMicroEngineOf : public TKvDestEngineWith<TSelf, TOptions, TKvBBCMicroUI> {
public:
  static std::string GetPlatformName() { return "BBC Micro"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return ConvertBbcScreen(Mode, AArgs); }
};

class TKvBBCMicro0Engine : public TKvBBCMicroEngineOf<TKvBBCMicro0Engine, 0, TKvBBCMicro0EngineOptions> {
public:
  static std::string GetModeName() { return "0 640x256x1"; }
};
class TKvBBCMicro1Engine : public TKvBBCMicroEngineOf<TKvBBCMicro1Engine, 1, TKvBBCMicro1EngineOptions> {
public:
  static std::string GetModeName() { return "1 320x256x2"; }
};
class TKvBBCMicro2Engine : public TKvBBCMicroEngineOf<TKvBBCMicro2Engine, 2, TKvBBCMicro2EngineOptions> {
public:
  static std::string GetModeName() { return "2 160x256x4"; }
};
class TKvBBCMicro4Engine : public TKvBBCMicroEngineOf<TKvBBCMicro4Engine, 4, TKvBBCMicro4EngineOptions> {
public:
  static std::string GetModeName() { return "4 320x256x1"; }
};
class TKvBBCMicro5Engine : public TKvBBCMicroEngineOf<TKvBBCMicro5Engine, 5, TKvBBCMicro5EngineOptions> {
public:
  static std::string GetModeName() { return "5 160x256x2"; }
};

void InitKvSavePlatformBBCMicro();
