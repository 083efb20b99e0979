// The converters of the "IBM" platform: the graphics modes of the CGA, EGA
// and VGA adapters. They give a preview only: no mode writes a native file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

// The CGA colours, without dark gray: 15 entries.
constexpr int CGAColorCount = 15;
struct TKvCGAColor {
  const char* Name;
  uint8_t R, G, B;
};
extern const TKvCGAColor CGAColors[CGAColorCount];

// The four colours of CGA palette type AType (43..48): the border colour
// ABorderIndex first. Other types (and border indexes outside the table)
// raise the system error 86.
void BuildCGAPalette(int AType, int ABorderIndex, TKvPalette256& APalette);

// What every mode starts with: its pixel aspect and 90% error diffusion.
class TKvIBMEngineOptions : public TKvDestEngineOptions {
public:
  explicit TKvIBMEngineOptions(TKvPixelAspect APixelAspect);
};

class TKvCGAEngineOptions : public TKvIBMEngineOptions {
public:
  TKvCGAEngineOptions();
  TKvSize GetDefaultSize() const override { return {320, 200}; }
  // "Auto" leaves the result palette empty.
  void UpdatePalette() override;
};

class TKvCGAMonoEngineOptions : public TKvIBMEngineOptions {
public:
  TKvCGAMonoEngineOptions() : TKvIBMEngineOptions(pa1_2p4) {}
  TKvSize GetDefaultSize() const override { return {640, 200}; }
};

// The hardware palette is the 64 EGA colours.
class TKvEGAEngineOptions : public TKvIBMEngineOptions {
public:
  explicit TKvEGAEngineOptions(TKvPixelAspect APixelAspect);
  void UpdatePalette() override;
};

// The hardware palette is the 262,144 colours of 6 bits per channel.
class TKvVGAEngineOptions : public TKvIBMEngineOptions {
public:
  TKvVGAEngineOptions(TKvPixelAspect APixelAspect, int AMaxColorCount);
  void UpdatePalette() override;
};

// The options TBase(AArgs...) of an adapter mode of AWidth x AHeight.
template <class TBase, int AWidth, int AHeight, auto... AArgs>
class TKvIBMSizedOptionsOf : public TBase {
public:
  TKvIBMSizedOptionsOf() : TBase(AArgs...) {}
  TKvSize GetDefaultSize() const override { return {AWidth, AHeight}; }
};

using TKvEGA320x200EngineOptions = TKvIBMSizedOptionsOf<TKvEGAEngineOptions, 320, 200, pa1_1p2>;
using TKvEGA640x200EngineOptions = TKvIBMSizedOptionsOf<TKvEGAEngineOptions, 640, 200, pa1_2p4>;
using TKvEGA640x350EngineOptions = TKvIBMSizedOptionsOf<TKvEGAEngineOptions, 640, 350, pa1_1p37>;
using TKvVGA320x200EngineOptions = TKvIBMSizedOptionsOf<TKvVGAEngineOptions, 320, 200, pa1_1p2, 256>;
using TKvVGA640x480EngineOptions = TKvIBMSizedOptionsOf<TKvVGAEngineOptions, 640, 480, pa1_1, 16>;

struct TKvCGAUI : TKvDestEngineUIEx { explicit TKvCGAUI(TKvDestEngineOptions* AOptions); };
struct TKvCGAMonoUI : TKvDestEngineUIEx { explicit TKvCGAMonoUI(TKvDestEngineOptions* AOptions); };

// The EGA and VGA panels: AAspects for the position section, AModes the
// palette modes offered, ARows the rows of the result palette strip.
class TKvEGAUI : public TKvDestEngineUIEx {
public:
  TKvEGAUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects,
           TKvPaletteModeSet AModes = PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom), int ARows = 1);
  // "Edit..." offers the 64 EGA colours.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// The panel TKvEGAUI(AOptions, AArgs...) of one mode.
template <auto... AArgs>
struct TKvEGAUIOf : TKvEGAUI { explicit TKvEGAUIOf(TKvDestEngineOptions* AOptions) : TKvEGAUI(AOptions, AArgs...) {} };

using TKvEGA320x200EngineUI = TKvEGAUIOf<PixelAspects(pa1_1p2, pa1_1)>;
using TKvEGA640x200UI = TKvEGAUIOf<PixelAspects(pa1_2p4, pa1_1)>;
using TKvEGA640x350EngineUI = TKvEGAUIOf<PixelAspects(pa1_1p37, pa1_1)>;
using TKvVGA320x200EngineUI = TKvEGAUIOf<PixelAspects(pa1_1p2, pa1_1), PaletteModes(pmBlackWhite, pmGray, pmColor), 16>;
using TKvVGA640x480EngineUI = TKvEGAUIOf<TKvPixelAspectSet{}, PaletteModes(pmBlackWhite, pmGray, pmColor)>;

// A mode AMode of the "IBM" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvIBMEngineOf = TKvDestMode<T, TOptions, TUI, "IBM", AMode>;

struct TKvCGAEngine : TKvIBMEngineOf<TKvCGAEngine, TKvCGAEngineOptions, TKvCGAUI, "CGA 320x200x2"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvCGAMonoEngine : TKvIBMEngineOf<TKvCGAMonoEngine, TKvCGAMonoEngineOptions, TKvCGAMonoUI, "CGA 640x200x1"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

std::unique_ptr<TKvBitmap> ConvertEGA(TKvConvertArgs& AArgs);
std::unique_ptr<TKvBitmap> ConvertVGA(TKvConvertArgs& AArgs);

// A mode AMode of the EGA adapter, or of the VGA adapter when VGA.
template <class T, class TOptions, class TUI, bool VGA, TKvText AMode>
struct TKvIBMColorEngineOf : TKvIBMEngineOf<T, TOptions, TUI, AMode> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return VGA ? ConvertVGA(AArgs) : ConvertEGA(AArgs); }
};

struct TKvEGA320x200Engine : TKvIBMColorEngineOf<TKvEGA320x200Engine, TKvEGA320x200EngineOptions, TKvEGA320x200EngineUI, false, "EGA 320x200x4"> {};
struct TKvEGA640x200Engine : TKvIBMColorEngineOf<TKvEGA640x200Engine, TKvEGA640x200EngineOptions, TKvEGA640x200UI, false, "EGA 640x200x4"> {};
struct TKvEGA640x350Engine : TKvIBMColorEngineOf<TKvEGA640x350Engine, TKvEGA640x350EngineOptions, TKvEGA640x350EngineUI, false, "EGA 640x350x4"> {};
struct TKvVGA320x200Engine : TKvIBMColorEngineOf<TKvVGA320x200Engine, TKvVGA320x200EngineOptions, TKvVGA320x200EngineUI, true, "VGA 320x200x8"> {};
struct TKvVGA640x480Engine : TKvIBMColorEngineOf<TKvVGA640x480Engine, TKvVGA640x480EngineOptions, TKvVGA640x480EngineUI, true, "VGA 640x480x4"> {};

void InitKvSavePlatformIBM();
