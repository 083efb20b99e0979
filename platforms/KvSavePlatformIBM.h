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

class TKvCGAEngineOptions : public TKvDestEngineOptions {
public:
  TKvCGAEngineOptions();
  TKvSize GetDefaultSize() const override { return {320, 200}; }
  // "Auto" leaves the result palette empty.
  void UpdatePalette() override;
};

class TKvCGAMonoEngineOptions : public TKvDestEngineOptions {
public:
  TKvCGAMonoEngineOptions();
  TKvSize GetDefaultSize() const override { return {640, 200}; }
};

// The hardware palette is the 64 EGA colours.
class TKvEGAEngineOptions : public TKvDestEngineOptions {
public:
  explicit TKvEGAEngineOptions(TKvPixelAspect APixelAspect);
  void UpdatePalette() override;
};
class TKvEGA320x200EngineOptions : public TKvEGAEngineOptions {
public:
  TKvEGA320x200EngineOptions() : TKvEGAEngineOptions(pa1_1p2) {}
  TKvSize GetDefaultSize() const override { return {320, 200}; }
};
class TKvEGA640x200EngineOptions : public TKvEGAEngineOptions {
public:
  TKvEGA640x200EngineOptions() : TKvEGAEngineOptions(pa1_2p4) {}
  TKvSize GetDefaultSize() const override { return {640, 200}; }
};
class TKvEGA640x350EngineOptions : public TKvEGAEngineOptions {
public:
  TKvEGA640x350EngineOptions() : TKvEGAEngineOptions(pa1_1p37) {}
  TKvSize GetDefaultSize() const override { return {640, 350}; }
};

// The hardware palette is the 262,144 colours of 6 bits per channel.
class TKvVGAEngineOptions : public TKvDestEngineOptions {
public:
  TKvVGAEngineOptions(TKvPixelAspect APixelAspect, int AMaxColorCount);
  void UpdatePalette() override;
};
class TKvVGA320x200EngineOptions : public TKvVGAEngineOptions {
public:
  TKvVGA320x200EngineOptions() : TKvVGAEngineOptions(pa1_1p2, 256) {}
  TKvSize GetDefaultSize() const override { return {320, 200}; }
};
class TKvVGA640x480EngineOptions : public TKvVGAEngineOptions {
public:
  TKvVGA640x480EngineOptions() : TKvVGAEngineOptions(pa1_1, 16) {}
  TKvSize GetDefaultSize() const override { return {640, 480}; }
};

class TKvCGAUI : public TKvDestEngineUIEx {
public:
  explicit TKvCGAUI(TKvDestEngineOptions* AOptions);
};

class TKvCGAMonoUI : public TKvDestEngineUIEx {
public:
  explicit TKvCGAMonoUI(TKvDestEngineOptions* AOptions);
};

// The EGA and VGA panels: AAspects for the position section, AModes the
// palette modes offered, ARows the rows of the result palette strip.
class TKvEGAUI : public TKvDestEngineUIEx {
public:
  TKvEGAUI(TKvDestEngineOptions* AOptions, TKvPixelAspectSet AAspects,
           TKvPaletteModeSet AModes = PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom), int ARows = 1);
  // "Edit..." offers the 64 EGA colours.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

class TKvEGA320x200EngineUI : public TKvEGAUI {
public:
  explicit TKvEGA320x200EngineUI(TKvDestEngineOptions* AOptions)
      : TKvEGAUI(AOptions, PixelAspects(pa1_1p2, pa1_1)) {}
};
class TKvEGA640x200UI : public TKvEGAUI {
public:
  explicit TKvEGA640x200UI(TKvDestEngineOptions* AOptions) : TKvEGAUI(AOptions, PixelAspects(pa1_2p4, pa1_1)) {}
};
class TKvEGA640x350EngineUI : public TKvEGAUI {
public:
  explicit TKvEGA640x350EngineUI(TKvDestEngineOptions* AOptions)
      : TKvEGAUI(AOptions, PixelAspects(pa1_1p37, pa1_1)) {}
};
class TKvVGA320x200EngineUI : public TKvEGAUI {
public:
  explicit TKvVGA320x200EngineUI(TKvDestEngineOptions* AOptions)
      : TKvEGAUI(AOptions, PixelAspects(pa1_1p2, pa1_1), PaletteModes(pmBlackWhite, pmGray, pmColor), 16) {}
};
class TKvVGA640x480EngineUI : public TKvEGAUI {
public:
  explicit TKvVGA640x480EngineUI(TKvDestEngineOptions* AOptions)
      : TKvEGAUI(AOptions, {}, PaletteModes(pmBlackWhite, pmGray, pmColor)) {}
};

// An engine of the "IBM" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI>
class TKvIBMEngineOf : public TKvDestEngineWith<T, TOptions, TUI> {
public:
  static std::string GetPlatformName() { return "IBM"; }
};

class TKvCGAEngine : public TKvIBMEngineOf<TKvCGAEngine, TKvCGAEngineOptions, TKvCGAUI> {
public:
  static std::string GetModeName() { return "CGA 320x200x2"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

class TKvCGAMonoEngine : public TKvIBMEngineOf<TKvCGAMonoEngine, TKvCGAMonoEngineOptions, TKvCGAMonoUI> {
public:
  static std::string GetModeName() { return "CGA 640x200x1"; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

std::unique_ptr<TKvBitmap> ConvertEGA(TKvConvertArgs& AArgs);
std::unique_ptr<TKvBitmap> ConvertVGA(TKvConvertArgs& AArgs);

// One mode of the EGA adapter, or of the VGA adapter when VGA.
template <class T, class TOptions, class TUI, bool VGA>
class TKvIBMColorEngineOf : public TKvIBMEngineOf<T, TOptions, TUI> {
public:
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    return VGA ? ConvertVGA(AArgs) : ConvertEGA(AArgs);
  }
};

class TKvEGA320x200Engine
    : public TKvIBMColorEngineOf<TKvEGA320x200Engine, TKvEGA320x200EngineOptions, TKvEGA320x200EngineUI, false> {
public:
  static std::string GetModeName() { return "EGA 320x200x4"; }
};
class TKvEGA640x200Engine
    : public TKvIBMColorEngineOf<TKvEGA640x200Engine, TKvEGA640x200EngineOptions, TKvEGA640x200UI, false> {
public:
  static std::string GetModeName() { return "EGA 640x200x4"; }
};
class TKvEGA640x350Engine
    : public TKvIBMColorEngineOf<TKvEGA640x350Engine, TKvEGA640x350EngineOptions, TKvEGA640x350EngineUI, false> {
public:
  static std::string GetModeName() { return "EGA 640x350x4"; }
};
class TKvVGA320x200Engine
    : public TKvIBMColorEngineOf<TKvVGA320x200Engine, TKvVGA320x200EngineOptions, TKvVGA320x200EngineUI, true> {
public:
  static std::string GetModeName() { return "VGA 320x200x8"; }
};
class TKvVGA640x480Engine
    : public TKvIBMColorEngineOf<TKvVGA640x480Engine, TKvVGA640x480EngineOptions, TKvVGA640x480EngineUI, true> {
public:
  static std::string GetModeName() { return "VGA 640x480x4"; }
};

void InitKvSavePlatformIBM();
