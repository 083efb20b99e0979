// The converter contract: one engine class per screen mode of a target
// platform, the registry that groups those classes by platform and mode, the
// Qt-free base of their option panels, and the routines every converter
// shares.
//
// Engine classes are described by one static descriptor each
// (TKvDestEngineClass): its virtual methods are the class functions and the
// virtual constructor. The registry and the result document hold descriptor
// pointers; only the result document makes an engine instance.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/KvAppServices.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"

class TBitmap32;
class TKvBitmap;
class TKvData;
class TKvDestProgress;
class TKvImage;
class TKvPalette;
class TKvPalette256;
class TKvStreamList;

class TKvDestEngine;

// The option panel of an engine. It is a description of the panel (its
// sections in order, with their arguments), built without any widget toolkit;
// the windowed layer turns it into controls.
class TKvDestEngineUI {
public:
  virtual ~TKvDestEngineUI() = default;
};

// What one conversion reads and writes: the arguments of
// TKvDestEngineClass::Convert, handed to an engine's Convert in one piece.
struct TKvConvertArgs {
  bool* Abort;
  TBitmap32& Bitmap;  // the fitted picture, the options' size
  // The source picture's own palette and second palette, or nullptr.
  TKvPalette256* Palette;
  TKvPalette256* Palette2;
  TKvDestEngineOptions& Options;  // the worker's private copy
  TKvDestProgress& Progress;
  std::unique_ptr<TKvStreamList>& Streams;  // empty on entry; the native files
};

// The class of a converter engine: its class functions and its virtual
// constructor.
class TKvDestEngineClass {
public:
  virtual ~TKvDestEngineClass() = default;

  // The name of the C++ class, for messages and tests.
  virtual std::string GetClassName() const = 0;
  virtual std::string GetPlatformName() const = 0;
  virtual std::string GetModeName() const = 0;
  // The display scale of the mode's results (at least 1).
  virtual int GetZoomFactor() const { return 1; }
  // The virtual constructor.
  virtual std::unique_ptr<TKvDestEngine> Create() const = 0;
  // Converts the fitted picture. Called on a worker thread. AStreams is empty
  // on entry; a converter that writes native files puts its stream list there.
  virtual std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                             TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                             TKvDestProgress& AProgress,
                                             std::unique_ptr<TKvStreamList>& AStreams) const = 0;
};

// An engine instance: the result document owns one of the chosen class.
class TKvDestEngine {
public:
  virtual ~TKvDestEngine() = default;
  virtual const TKvDestEngineClass& ClassType() const = 0;
  // A new panel description bound to AOptions; the panel does not own them.
  virtual std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) = 0;
  // A new options object of the engine's own class with the mode's defaults.
  virtual std::unique_ptr<TKvDestEngineOptions> CreateOptions() = 0;

  // Chooses at most AMaxCount colours of APalette for the picture: the
  // options' result palette gets the chosen colours, the fixed palette the
  // colours the later stages may use. False when the colours had to be merged;
  // ADark and ABright are then the entries nearest black and white.
  static bool ReducePalette(bool* AAbort, TKvImage& AImage, TKvPalette256& APalette, int AMaxCount,
                            TKvDestEngineOptions& AOptions, int& ADark, int& ABright);
  // ReducePalette, then the nearest colour of AExtraPalette to the border
  // colour joins the fixed palette while there is room.
  // Fills the options' result palette with at most AMaxCount colours: the
  // fixed colours first, then the colours the dithered picture uses, or a
  // quantized choice of APalette's colours when they do not fit; sorted by
  // gray after the fixed ones.
  static void QuantizePalette(bool* AAbort, TKvImage& AImage, TKvPalette& APalette, int AMaxCount,
                              TKvDestEngineOptions& AOptions);
  static bool ReducePaletteEx(bool* AAbort, TKvImage& AImage, TKvPalette& AExtraPalette, TKvPalette256& APalette,
                              int AMaxCount, TKvDestEngineOptions& AOptions, int& ADark, int& ABright);
  // "Black/white" within the fixed colours: the fixed palette takes the pair
  // of colours in the result palette (at most AMaxCount colours in all), the
  // picture converts to that pair, and the result palette becomes the fixed
  // palette.
  static std::unique_ptr<TKvBitmap> ConvertColorPair(bool* AAbort, TKvImage& AImage, TKvData* AScreen, int AMaxCount,
                                                     TKvDestEngineOptions& AOptions);
  // "Gray": ReducePalette over AGrays, then the picture converts to the
  // result palette, or to the dark and bright entries of the fixed palette
  // when the grays had to be merged; the result palette becomes the fixed
  // palette.
  static std::unique_ptr<TKvBitmap> ConvertReducedGray(bool* AAbort, TKvImage& AImage, TKvData* AScreen,
                                                       TKvPalette256& AGrays, int AMaxCount,
                                                       TKvDestEngineOptions& AOptions);
  // A screen of at most AMaxCount freely chosen colours, by the options'
  // palette mode: "Black/white" ConvertColorPair over black and white,
  // "Gray" ConvertReducedGray over AGrays (read in that mode only), any other
  // the colours QuantizePalette picks from AColors. The result palette ends
  // up with the colours the screen's indexes refer to.
  static std::unique_ptr<TKvBitmap> ConvertChosenColors(bool* AAbort, TKvImage& AImage, TKvData* AScreen,
                                                        TKvPalette256* AGrays, TKvPalette& AColors, int AMaxCount,
                                                        TKvDestEngineOptions& AOptions);
};

// The descriptor of engine class T, built from T's static members:
//   static std::string GetPlatformName();
//   static std::string GetModeName();
//   static int GetZoomFactor();                                (optional, default 1)
//   static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
// and a default constructor.
template <class T>
class TKvDestEngineClassOf final : public TKvDestEngineClass {
public:
  std::string GetClassName() const override { return KvDemangledName(typeid(T)); }
  std::string GetPlatformName() const override { return T::GetPlatformName(); }
  std::string GetModeName() const override { return T::GetModeName(); }
  int GetZoomFactor() const override {
    if constexpr (requires { T::GetZoomFactor(); })
      return T::GetZoomFactor();
    else
      return 1;
  }
  std::unique_ptr<TKvDestEngine> Create() const override { return std::make_unique<T>(); }
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                     TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                     TKvDestProgress& AProgress,
                                     std::unique_ptr<TKvStreamList>& AStreams) const override {
    if constexpr (requires(TKvConvertArgs& AArgs) { T::Convert(AArgs); }) {
      TKvConvertArgs args{AAbort, ABitmap, APalette, APalette2, AOptions, AProgress, AStreams};
      return T::Convert(args);
    } else {
      return T::Convert(AAbort, ABitmap, APalette, APalette2, AOptions, AProgress, AStreams);
    }
  }
};

// The one descriptor object of engine class T.
template <class T>
const TKvDestEngineClass& DestEngineClass() {
  static const TKvDestEngineClassOf<T> LClass;
  return LClass;
}

// Base of an engine that takes its options and panel from TBase, another
// engine of the same family: answers ClassType() with T's descriptor.
template <class T, class TBase = TKvDestEngine>
class TKvDestEngineOf : public TBase {
public:
  const TKvDestEngineClass& ClassType() const override { return DestEngineClass<T>(); }
};

// Base of an engine with options of class TOptions and the panel TUI (made
// from the options alone). TBase is another engine of the family when the
// mode extends one. Modes are declared through TKvDestMode below; this base
// serves families that compute their names.
template <class T, class TOptions, class TUI, class TBase = TKvDestEngine>
class TKvDestEngineWith : public TKvDestEngineOf<T, TBase> {
public:
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override {
    return std::make_unique<TUI>(AOptions);
  }
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override { return TKvDestEngineOptions::Create<TOptions>(); }
};

// A text as a template argument, so that a mode's platform and name are part
// of the one line that declares it.
template <std::size_t N>
struct TKvText {
  char Value[N];
  constexpr TKvText(const char (&AText)[N]) { std::copy_n(AText, N, Value); }
};

// A converter mode: T converts (its static Convert) with options TOptions and
// the panel TUI, listed as mode AMode of platform APlatform. A mode is
// declared as
//   struct TKvFooEngine : TKvDestMode<TKvFooEngine, TKvFooEngineOptions, TKvFooEngineUI, "Foo", "256x192x4"> {
//     static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
//   };
// and a platform names its modes' base once:
//   template <class T, class TOptions, class TUI, TKvText AMode>
//   using TKvFooMode = TKvDestMode<T, TOptions, TUI, "Foo", AMode>;
// A mode shown magnified adds static int GetZoomFactor().
template <class T, class TOptions, class TUI, TKvText APlatform, TKvText AMode, class TBase = TKvDestEngine>
class TKvDestMode : public TKvDestEngineWith<T, TOptions, TUI, TBase> {
public:
  static std::string GetPlatformName() { return APlatform.Value; }
  static std::string GetModeName() { return AMode.Value; }
};

// The screen modes of one platform, in registration order: (mode name, class).
class TKvDestSubTypes {
public:
  int GetCount() const { return static_cast<int>(FItems.size()); }
  // The mode name of entry AIndex; an index out of range raises EListError.
  const std::string& GetString(int AIndex) const;
  const TKvDestEngineClass* GetObject(int AIndex) const;
  // Case-insensitive exact search, -1 when absent.
  int IndexOf(const std::string& AName) const;
  void AddObject(const std::string& AName, const TKvDestEngineClass* AClass);

private:
  std::vector<std::pair<std::string, const TKvDestEngineClass*>> FItems;
};

// The platforms in registration order, each with its modes. Nothing is sorted,
// duplicates are kept, and platform names compare case-sensitively.
class TKvDestEngineList {
public:
  void Add(const TKvDestEngineClass& AClass);
  int GetCount() const { return static_cast<int>(FPlatforms.size()); }
  const std::string& GetString(int APlatformIndex) const;
  TKvDestSubTypes& GetSubTypes(int APlatformIndex) const;
  // Case-insensitive exact search of a platform name, -1 when absent.
  int IndexOf(const std::string& AName) const;

private:
  std::vector<std::pair<std::string, std::unique_ptr<TKvDestSubTypes>>> FPlatforms;
};

// The global registry; created by InitKvDestEngines.
TKvDestEngineList& DestEngineList();
void RegisterDestEngine(const TKvDestEngineClass& AClass);

// The descriptors of the engine classes T..., in that order: a unit's list
// of modes.
template <class... T>
const std::vector<const TKvDestEngineClass*>& DestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> classes{&DestEngineClass<T>()...};
  return classes;
}
// Registers the classes in order; a unit's start-up.
void RegisterDestEngines(const std::vector<const TKvDestEngineClass*>& AClasses);
template <class... T>
void RegisterDestEngines() {
  RegisterDestEngines(DestEngineClasses<T...>());
}

// Applies the options' lightness and saturation fixes to the pictures, then
// clears them in the options: the stages that follow (dithering, the palette
// searches) apply the fixes themselves and must not apply them a second time.
void AdjustOnce(std::initializer_list<TKvImage*> AImages, TKvDestEngineOptions& AOptions);
inline void AdjustOnce(TKvImage& AImage, TKvDestEngineOptions& AOptions) { AdjustOnce({&AImage}, AOptions); }

// A caption for a colour: a name for the few named ones, else six upper-case
// hexadecimal digits RRGGBB.
std::string ColorName(const TKvStdRGBColor& AColor);

// The linear-light values of the 5-bit and 6-bit levels, filled at start-up.
extern double Level5Table[32];
extern double Level6Table[64];
void InitLevelTables();
// The two neighbouring table entries that enclose AValue; a value equal to an
// inner entry takes the interval below it. NaN raises the OS error 87.
void FindLevel5Bounds(double AValue, double& ALow, double& AHigh);
void FindLevel6Bounds(double AValue, double& ALow, double& AHigh);

// Unit start-up and shut-down, called from the ordered unit list.
void InitKvDestEngines();
void DoneKvDestEngines();
