// The settings of one conversion.
//
// Every converter subclasses TKvDestEngineOptions and overrides the size,
// cell size and palette-building hooks. The option panel writes settings
// through the setters between BeginUpdate and EndUpdate and then reads
// Modified; each conversion works on a copy made with Assign.
//
// Construction: create options objects with TKvDestEngineOptions::Create<T>()
// (or call AfterConstruction() yourself right after the constructor). The
// hook needs the finished object because it calls the virtual
// GetDefaultSize and UpdatePalette of the subclass.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

// A width and height pair (or a pixel aspect, width share first).
struct TKvSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TKvSize&) const = default;
};

constexpr int PixelAspectCount = 22;
constexpr int PaletteModeCount = 18;
constexpr int PaletteUsageCount = 3;
constexpr int DitherMethodCount = 10;

// The stored values of the byte options, each the index of its display name.

// PaletteMode: PaletteModeNames[m].
enum TKvPaletteMode : uint8_t {
  pmBlackWhite,
  pmGray,
  pmGrayGreen,
  pmGrayRed,
  pm5Colors,
  pm8Colors,
  pm8Of15Colors,
  pm8Of16Colors,
  pmColor17Of256,
  pmColor64Of256,
  pmColorBright,
  pmColor,
  pmColorWithoutGray,
  pm4ColorsPerImage,
  pm4ColorsPerLine,
  pmRGB,
  pmGRB,
  pmCustom
};

// PixelAspect: PixelAspectNames[a]; the name spells the ratio, "p" for the
// decimal point ("1:2.4" is pa1_2p4).
enum TKvPixelAspect : uint8_t {
  pa1_2p4,
  pa1_2,
  pa1p138_2,
  pa0p6_1,
  pa1_1p37,
  pa0p7375_1,
  pa3_4,
  pa2_3,
  pa1_1p2,
  pa0p92_1,
  pa1_1,
  pa1p25_1,
  pa1p138_1,
  pa1_0p75,
  pa7_5,
  pa1p475_1,
  pa1p5_1,
  pa2_1,
  pa2p276_1,
  pa8_3,
  pa4_1,
  pa4p552_1
};

// PaletteUsage: PaletteUsageNames[u].
enum TKvPaletteUsage : uint8_t { puColors15, puBlackAndColors15, puColors16 };

// ColorUsage: which halves of the ZX colours a cell may take.
enum TKvColorUsage : uint8_t { cuDarkAndBright, cuDarkOnly, cuDarkOnlyForceBright, cuBrightOnly };

// The per-line palette settings a HAM panel section offers.
enum TKvHamSetting : uint8_t { hsInitialLines, hsPrevLines, hsNextLines, hsMaxChangeCount };

// A set of option values (bit v for value v), as a panel offers them; built
// from names with PaletteModes(...), PixelAspects(...), PaletteUsages(...)
// or HamSettings(...).
template <class TValue>
struct TKvValueSet {
  uint32_t Bits = 0;
  constexpr bool Has(int AValue) const { return AValue >= 0 && AValue < 32 && ((Bits >> AValue) & 1u) != 0; }
  constexpr TKvValueSet operator|(TKvValueSet AOther) const { return {Bits | AOther.Bits}; }
  constexpr TKvValueSet operator-(TKvValueSet AOther) const { return {Bits & ~AOther.Bits}; }
  bool operator==(const TKvValueSet&) const = default;
};

using TKvPaletteModeSet = TKvValueSet<TKvPaletteMode>;
using TKvPixelAspectSet = TKvValueSet<TKvPixelAspect>;
using TKvPaletteUsageSet = TKvValueSet<TKvPaletteUsage>;
using TKvHamSettingSet = TKvValueSet<TKvHamSetting>;

// Builds a set of TValue from names: PaletteModes(pmGray, pmColor).
template <class TValue>
struct TKvValueSetBuilder {
  template <class... T>
  constexpr TKvValueSet<TValue> operator()(T... AValues) const {
    static_assert((std::is_same_v<TValue, T> && ...), "a set is built from names of its own kind");
    return {(0u | ... | (1u << AValues))};
  }
};
inline constexpr TKvValueSetBuilder<TKvPaletteMode> PaletteModes;
inline constexpr TKvValueSetBuilder<TKvPixelAspect> PixelAspects;
inline constexpr TKvValueSetBuilder<TKvPaletteUsage> PaletteUsages;
inline constexpr TKvValueSetBuilder<TKvHamSetting> HamSettings;

// Display names indexed by the stored byte.
extern const char* const PixelAspectNames[PixelAspectCount];
// (AX, AY) per pixel aspect: the width share first.
extern const TKvSize PixelAspectRatios[PixelAspectCount];
extern const char* const PaletteModeNames[PaletteModeCount];
extern const char* const PaletteUsageNames[PaletteUsageCount];
// Named after the error-diffusion kernel each value selects.
extern const char* const DitherMethodNames[DitherMethodCount];

void ClearColorMask(TKvColorMask& AMask);
int CountColorMask(const TKvColorMask& AMask);
bool SameColorMask(const TKvColorMask& A, const TKvColorMask& B);

class TKvDestEngineOptions : public TObject {
public:
  int32_t UpdateCount = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool LockDimension = false;  // written directly by the option panel
  uint8_t Position = 0;
  uint8_t NativePixelAspect = pa1_1;
  uint8_t PixelAspect = pa1_1;
  int32_t BorderColor = 0;   // $00RRGGBB
  std::unique_ptr<TKvPalette256> Palette;
  uint8_t PaletteType = 0;  // a TKvPaletteType
  uint8_t PaletteUsage = 0;
  std::unique_ptr<TKvPalette> HardwarePalette;
  std::unique_ptr<TKvPalette256> FixedPalette;
  int32_t BorderIndex = 0;
  int32_t PaletteIndex = 0;
  bool ExtraFlag = false;
  int32_t SecondPaletteIndex = 0;
  int32_t MaxFlickering = 100;
  uint8_t ColorUsage = 0;
  uint8_t GigaCalculation = 0;
  bool ExcludeGrayMixes = false;
  int32_t MaxColorCount = 256;
  bool KeepWholePalette = false;
  bool UseAsGrayPalette = false;
  int32_t GrayPaletteParam = 0;
  bool UseSourcePalette = false;
  bool UseOnlyOriginalColors = false;
  uint8_t PaletteMode = 0;
  TKvColorMask ColorMask{};
  TKvColorMask ColorMask2{};
  uint8_t GigaStyle = 0;
  bool SafeMode = false;
  TKvStdRGBColor CustomColor1, CustomColor2, CustomColor3, CustomColor4;
  int32_t HAMInitialLines = 16;
  int32_t HAMPrevLines = 4;
  int32_t HAMNextLines = 4;
  int32_t HAMMaxChangeCount = 1;
  uint8_t DitherMethod = 1;
  int32_t ErrorDiffusion = 90;
  bool LimitErrorInsideBlock = true;
  bool LimitErrorAtBlockBoundary = true;
  bool Serpentine = true;
  int32_t LightnessFix = 0;
  int32_t SaturationFix = 0;
  uint8_t ColorDiffMethod = 0;
  bool WriteFileHeader = true;
  std::string Comment;
  bool Modified = false;

  TKvDestEngineOptions();
  ~TKvDestEngineOptions() override;
  TKvDestEngineOptions(const TKvDestEngineOptions&) = delete;
  TKvDestEngineOptions& operator=(const TKvDestEngineOptions&) = delete;

  // Constructs a T and runs the creation hook.
  template <class T = TKvDestEngineOptions, class... Args>
  static std::unique_ptr<T> Create(Args&&... args) {
    auto p = std::make_unique<T>(std::forward<Args>(args)...);
    p->AfterConstruction();
    return p;
  }
  // The creation hook: the default size when the constructor set none,
  // NativePixelAspect := PixelAspect, then UpdatePalette.
  virtual void AfterConstruction();

  virtual void Changed();
  // Replaces AColor ($RRGGBB) by the nearest colour of APalette (linear
  // RGB) and answers that entry's index.
  virtual int MapColor(int32_t& AColor, TKvPalette256* APalette);
  virtual TKvSize GetMinSize() const;
  virtual TKvSize GetMaxSize() const;
  virtual TKvSize GetDefaultSize() const;
  virtual int32_t GetWidth() const;
  virtual void SetWidth(int32_t AValue);
  virtual int32_t GetHeight() const;
  virtual void SetHeight(int32_t AValue);
  virtual int32_t GetCellWidth() const;
  virtual int32_t GetCellHeight() const;
  virtual void SetPaletteType(uint8_t AValue);
  virtual void SetPaletteMode(TKvPaletteMode AValue);
  // Rebuilds the hardware and result palettes of a converter; an override
  // does nothing while UpdateCount > 0.
  virtual void UpdatePalette();

  void BeginUpdate();
  void EndUpdate();
  void Assign(const TKvDestEngineOptions* AOptions);

  TKvPalette256* GetPalette();
  TKvPalette* GetHardwarePalette();
  // The hardware palette as a 256-entry palette: a new empty one when it is
  // none or of another class.
  TKvPalette256& GetHardwarePalette256();
  TKvPalette256* GetFixedPalette();
  TKvStdRGBColor GetBorderStdRGB() const;
  TKvLinRGBColor GetBorderLinRGB() const;
  TKvSize GetPixelAspectRatio() const;

  void SetPosition(uint8_t AValue);
  void SetPixelAspect(TKvPixelAspect AValue);
  void SetBorderColor(int32_t AValue);
  void SetPalette(const TKvPalette256* APalette);
  void SetPaletteUsage(uint8_t AValue);
  void SetFixedPalette(const TKvPalette256* APalette);
  void SetBorderIndex(int32_t AValue);
  void SetPaletteIndex(int32_t AValue);
  void SetExtraFlag(bool AValue);
  void SetSecondPaletteIndex(int32_t AValue);
  void SetMaxFlickering(int32_t AValue);
  void SetColorUsage(TKvColorUsage AValue);
  void SetGigaCalculation(uint8_t AValue);
  void SetExcludeGrayMixes(bool AValue);
  void SetMaxColorCount(int32_t AValue);
  void SetKeepWholePalette(bool AValue);
  void SetUseAsGrayPalette(bool AValue);
  void SetGrayPaletteParam(int32_t AValue);
  void SetUseSourcePalette(bool AValue);
  void SetUseOnlyOriginalColors(bool AValue);
  void SetColorMask(const TKvColorMask& AValue);
  void SetColorMask2(const TKvColorMask& AValue);
  void SetGigaStyle(uint8_t AValue);
  void SetSafeMode(bool AValue);
  void SetCustomColor1(const TKvStdRGBColor& AValue);
  void SetCustomColor2(const TKvStdRGBColor& AValue);
  void SetCustomColor3(const TKvStdRGBColor& AValue);
  void SetCustomColor4(const TKvStdRGBColor& AValue);
  void SetHAMInitialLines(int32_t AValue);
  void SetHAMPrevLines(int32_t AValue);
  void SetHAMNextLines(int32_t AValue);
  void SetHAMMaxChangeCount(int32_t AValue);
  void SetDitherMethod(uint8_t AValue);
  void SetErrorDiffusion(int32_t AValue);
  void SetLimitErrorInsideBlock(bool AValue);
  void SetLimitErrorAtBlockBoundary(bool AValue);
  void SetSerpentine(bool AValue);
  void SetLightnessFix(int32_t AValue);
  void SetSaturationFix(int32_t AValue);
  void SetColorDiffMethod(uint8_t AValue);
  void SetWriteFileHeader(bool AValue);
  void SetComment(const std::string& AValue);

  // Result-palette builders of the ZX Spectrum family. The first four do
  // nothing while updating; the others do not look at UpdateCount.
  void SetBlackWhitePalette();
  void BuildZxPalette();
  void BuildZxPaletteSubset();
  void BuildZxBrightPalette();
  void BuildZxGigaPalette(bool AOrdered);
  void BuildSpectraPalette();
  void BuildSpectra15Palette();
  void BuildSpectra64Palette();
  void BuildSpectra15GrayPalette();
  void BuildSpectra64GrayPalette();

protected:
  // Stores AValue in AField and marks the options modified on a change.
  template <class T>
  void Store(T& AField, const T& AValue) {
    if (!(AField == AValue)) {
      AField = AValue;
      Modified = true;
    }
  }

private:
  // Appends the ZX colours AFirst..ALast of the current model to p.
  void AddZxColors(TKvPalette256* p, int AFirst, int ALast) const;
};

// The options of fixed-size screens: the size setters do nothing.
class TKvDestFixedSizeEngineOptions : public TKvDestEngineOptions {
public:
  void SetWidth(int32_t AValue) override;
  void SetHeight(int32_t AValue) override;
};

// A ZX colour model: the analogue levels of the video output (off, off+on,
// on, on+bright, bright, off+bright) and the 3 x 3 mixing matrix, chosen by
// the palette kinds 26 to 30; any other kind uses the kind 27 model.
struct TKvZxColorModel {
  int32_t Levels[6];
  int32_t Matrix[3][3];
};
const TKvZxColorModel& ZxColorModel(uint8_t APaletteType);
// The model colour of channel levels (0..5) r, g, b.
TKvStdRGBColor ZxModelColor(const TKvZxColorModel& AModel, int ALevelR, int ALevelG, int ALevelB);
