// The converters of the "Elektronika KR-04" platform: a 480 x 224 black and
// white screen and two 240 x 224 four-colour screens (the fixed BRGB colours,
// or four of 64 EGA colours named in the file header), each also as a
// two-frame Gigascreen mode. Every mode writes one ".krs" file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformElektronikaKR04.h"

// The six screens over a whole ".krs" file (Data = file offset 0); each
// constructor writes the header with the layout's flags. They are only
// written.
template <class TParent, uint8_t AFlags>
class TKvElektronikaKR04ScreenOf : public TParent {
public:
  TKvElektronikaKR04ScreenOf(int AWidth, int AHeight, uint8_t ABorder, void* AData)
      : TParent(AWidth, AHeight, AData) {
    WriteHeader(AFlags, ABorder);
  }
  static int64_t GetDataSize(int AWidth, int AHeight) { return KR04FileSize(AFlags, AWidth, AHeight); }
  int GetPixel(int, int) override { return 0; }

protected:
  // Sets the stride of the flags and writes the header.
  void WriteHeader(uint8_t AHeaderFlags, uint8_t ABorder) {
    this->Stride = static_cast<int>(KR04RowSize(AHeaderFlags, this->Width));
    InitKR04Header(this->Data, AHeaderFlags, ABorder, static_cast<uint16_t>(this->Width),
                   static_cast<uint16_t>(this->Height));
  }
  // The start of row Y of frame AFrame (0: A, 1: B).
  uint8_t* FrameRow(int AFrame, int Y) {
    return this->Data + KR04HeaderSize + (static_cast<int64_t>(AFrame) * this->Height + Y) * this->Stride;
  }
};

// Bit 0 of the value.
class TKvElektronikaKR04BWScreen : public TKvElektronikaKR04ScreenOf<TKvScreen1, 0> {
public:
  using TKvElektronikaKR04ScreenOf::TKvElektronikaKR04ScreenOf;
  void SetPixel(int X, int Y, int AValue) override;
};

// Value v: v div 2 in frame A, v mod 2 in frame B.
class TKvElektronikaKR04BWGigaScreen : public TKvElektronikaKR04ScreenOf<TKvScreen2, KR04FlagTwoFrames> {
public:
  using TKvElektronikaKR04ScreenOf::TKvElektronikaKR04ScreenOf;
  void SetPixel(int X, int Y, int AValue) override;
};

// The low 2 bits of the value.
class TKvElektronikaKR04BRGBScreen : public TKvElektronikaKR04ScreenOf<TKvScreen2, KR04Flag2Bits> {
public:
  using TKvElektronikaKR04ScreenOf::TKvElektronikaKR04ScreenOf;
  void SetPixel(int X, int Y, int AValue) override;
};

// Value v: v div 4 in frame A, v mod 4 in frame B.
class TKvElektronikaKR04BRGBGigaScreen
    : public TKvElektronikaKR04ScreenOf<TKvScreen4, KR04Flag2Bits | KR04FlagTwoFrames> {
public:
  using TKvElektronikaKR04ScreenOf::TKvElektronikaKR04ScreenOf;
  void SetPixel(int X, int Y, int AValue) override;
};

// The BRGB layouts with the palette flag.
class TKvElektronikaKR04EGAScreen : public TKvElektronikaKR04BRGBScreen {
public:
  TKvElektronikaKR04EGAScreen(int AWidth, int AHeight, uint8_t ABorder, void* AData);
};

class TKvElektronikaKR04EGAGigaScreen : public TKvElektronikaKR04BRGBGigaScreen {
public:
  TKvElektronikaKR04EGAGigaScreen(int AWidth, int AHeight, uint8_t ABorder, void* AData);
};

// Palettes of the converters.
// The 16 mixtures of the BRGB colours, pairs further apart in gray than
// AMaxFlickering percent flagged.
void BuildKR04BRGBMixPalette(TKvPalette256& APalette, int AMaxFlickering);
// 00, 55, AA and FF grays.
void FillKR04Grays(TKvPalette256& APalette);
// The 16 colours of "Сolor (bright)": the EGA colours nearest the 16 GBR
// colours of half and full intensity.
void FillKR04Bright16(TKvPalette256& APalette);
// The 2-bit level of a colour byte 00, 55, AA or FF; any other byte raises
// the OS error 87.
uint8_t KR04Level(uint8_t AByte);

// The modes' screens: AWidth x 224 pixels (480 in black and white, 240 in
// colour); a smaller picture is stored at its own size.
template <int AWidth>
class TKvElektronikaKR04OptionsOf : public TKvDestEngineOptions {
public:
  TKvSize GetMaxSize() const override { return {AWidth, 224}; }
  TKvSize GetDefaultSize() const override { return GetMaxSize(); }
};

struct TKvElektronikaKR04BWEngineOptions : TKvElektronikaKR04OptionsOf<480> { TKvElektronikaKR04BWEngineOptions(); };
struct TKvElektronikaKR04BRGBEngineOptions : TKvElektronikaKR04OptionsOf<240> { TKvElektronikaKR04BRGBEngineOptions(); };

class TKvElektronikaKR04BRGBGigaEngineOptions : public TKvElektronikaKR04BRGBEngineOptions {
public:
  // The 16 mixtures of the BRGB colours.
  void UpdatePalette() override;
};

class TKvElektronikaKR04EGAEngineOptions : public TKvElektronikaKR04BRGBEngineOptions {
public:
  TKvElektronikaKR04EGAEngineOptions();
  // The hardware palette: the 64 EGA colours.
  void UpdatePalette() override;
};

class TKvElektronikaKR04EGAGigaEngineOptions : public TKvElektronikaKR04EGAEngineOptions {
public:
  // The EGA update, then the result palette: the mixtures of the four grays
  // in "Gray", empty in the colour modes.
  void UpdatePalette() override;
};

struct TKvElektronikaKR04BWEngineUI : TKvDestEngineUIEx { explicit TKvElektronikaKR04BWEngineUI(TKvDestEngineOptions* AOptions); };
struct TKvElektronikaKR04BRGBEngineUI : TKvDestEngineUIEx { explicit TKvElektronikaKR04BRGBEngineUI(TKvDestEngineOptions* AOptions); };
struct TKvElektronikaKR04BRGBGigaEngineUI : TKvDestEngineUIEx { explicit TKvElektronikaKR04BRGBGigaEngineUI(TKvDestEngineOptions* AOptions); };

class TKvElektronikaKR04EGAEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvElektronikaKR04EGAEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen = false);
  // "Edit..." offers the 64 EGA colours, 8 per row.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

class TKvElektronikaKR04EGAGigaEngineUI : public TKvElektronikaKR04EGAEngineUI {
public:
  explicit TKvElektronikaKR04EGAGigaEngineUI(TKvDestEngineOptions* AOptions)
      : TKvElektronikaKR04EGAEngineUI(AOptions, true) {}
};

// A mode AMode of the platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvElektronikaKR04EngineOf = TKvDestMode<T, TOptions, TUI, "Elektronika KR-04", AMode>;

struct TKvElektronikaKR04EGAEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04EGAEngine, TKvElektronikaKR04EGAEngineOptions,
                                 TKvElektronikaKR04EGAEngineUI, "240x224x2 EGA"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElektronikaKR04EGAGigaEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04EGAGigaEngine, TKvElektronikaKR04EGAGigaEngineOptions,
                                 TKvElektronikaKR04EGAGigaEngineUI, "240x224x4 EGA Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElektronikaKR04BRGBEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04BRGBEngine, TKvElektronikaKR04BRGBEngineOptions,
                                 TKvElektronikaKR04BRGBEngineUI, "240x224x2 BRGB"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElektronikaKR04BRGBGigaEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04BRGBGigaEngine, TKvElektronikaKR04BRGBGigaEngineOptions,
                                 TKvElektronikaKR04BRGBGigaEngineUI, "240x224x4 BRGB Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElektronikaKR04BWEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04BWEngine, TKvElektronikaKR04BWEngineOptions,
                                 TKvElektronikaKR04BWEngineUI, "480x224x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvElektronikaKR04BWGigaEngine
    : TKvElektronikaKR04EngineOf<TKvElektronikaKR04BWGigaEngine, TKvElektronikaKR04BWEngineOptions,
                                 TKvElektronikaKR04BWEngineUI, "480x224x2 Gigascreen"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformElektronikaKR04();
