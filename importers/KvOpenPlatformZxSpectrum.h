// Importers of ZX Spectrum screen files and of the two extensions' picture
// files (ZX Spectrum Next): standard, black-and-white, flash, multicolour,
// attribute-only, interlaced, tricolour and border screens. Each class
// recognises its format by exact size and extension and decodes it into an
// indexed native bitmap with its palette.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

// Shared base of the ZX screen importers: keeps the file's bytes (owned by
// the load source, which outlives the engine).
class TKvZxSpectrumSourceEngine : public TKvSourceEngine {
public:
  explicit TKvZxSpectrumSourceEngine(TKvLoadSource& ASource);

  // Exact size first; then the own extension raises the rank.
  static TKvMatchFlags MatchSizeExt(const TKvLoadSource& ASource, int32_t ASize, const char* AExt);
  // A Timex hi-colour screen (the bitmap, then one attribute per pixel line
  // in the bitmap's row interleave, 12288 bytes) in ZX colours, its line y
  // drawn at AY + y * AYStep.
  static void DrawHiColorScreen(TKvBitmap& ABitmap, const TKvBytes& AData, int AY = 0, int AYStep = 1);

protected:
  // Pixel aspects of the wide-pixel formats.
  static constexpr uint8_t kAspect1To1 = 10;  // "1:1"
  static constexpr uint8_t kAspect2To1 = 17;  // "2:1"
  static constexpr uint8_t kAspect4To1 = 20;  // "4:1"

  // Sets the geometry and the description "<APrefix> WxHxBits<ASuffix> image".
  void SetUp(int AWidth, int AHeight, int ABits, uint8_t APixelAspect, const char* ASuffix,
             const char* APrefix = "ZX Spectrum");
  // The same for a 4-bit picture in ZX colours, offering the ZX palettes with
  // the linear one chosen.
  void SetUpZxColors(int AWidth, int AHeight, uint8_t APixelAspect, const char* ASuffix);

  // A Width x Height bitmap of type TBitmapT on the chosen ZX palette (built here).
  template <class TBitmapT>
  std::unique_ptr<TBitmapT> NewZxColorBitmap();
  // A 256x192 screen: the bitmap rows in screen order (ALinearRows: top to
  // bottom), then one attribute row for every 1 << AAttrShift pixel lines.
  std::unique_ptr<TKvBitmap> DecodeScreen(int AAttrShift, bool ALinearRows = false);
  // Attributes only, each giving two pixels (paper then ink), 32 per row.
  std::unique_ptr<TKvBitmap> DecodeAttributePicture();

  TKvBytes FData;  // the whole file, whose size Match checked
};

// ".scr" 6144
class TKvZxSpectrumBWEngine : public TKvSourceEngineOf<TKvZxSpectrumBWEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumBWEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".scr" 6912
class TKvZxSpectrumColorEngine : public TKvSourceEngineOf<TKvZxSpectrumColorEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumColorEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".mlt" 12288
class TKvZxSpectrumMulticolorMLTEngine
    : public TKvSourceEngineOf<TKvZxSpectrumMulticolorMLTEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumMulticolorMLTEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".mtl" 6144
class TKvZxSpectrumMulticolorMTLEngine
    : public TKvSourceEngineOf<TKvZxSpectrumMulticolorMTLEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumMulticolorMTLEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".mc" 12288
class TKvZxSpectrumMulticolorMCEngine
    : public TKvSourceEngineOf<TKvZxSpectrumMulticolorMCEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumMulticolorMCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".ifl" 9216
class TKvZxSpectrumMulticolor2Engine
    : public TKvSourceEngineOf<TKvZxSpectrumMulticolor2Engine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumMulticolor2Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".afl" 3072
class TKvZxSpectrumMulticolor2AFLEngine
    : public TKvSourceEngineOf<TKvZxSpectrumMulticolor2AFLEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumMulticolor2AFLEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".lce" 13824
class TKvZxSpectrumColorInterlacedEngine
    : public TKvSourceEngineOf<TKvZxSpectrumColorInterlacedEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumColorInterlacedEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".atr" 768
class TKvZxSpectrumAtrEngine : public TKvSourceEngineOf<TKvZxSpectrumAtrEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumAtrEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".bsc" 11136
class TKvZxSpectrumBscEngine : public TKvSourceEngineOf<TKvZxSpectrumBscEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumBscEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".bmc4" 11904
class TKvZxSpectrumBmc4Engine : public TKvSourceEngineOf<TKvZxSpectrumBmc4Engine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumBmc4Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".nxi" 49664
class TKvZxSpectrumNextNxiSourceEngine
    : public TKvSourceEngineOf<TKvZxSpectrumNextNxiSourceEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumNextNxiSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".sl2" 49152
class TKvZxSpectrumNextSl2Engine : public TKvSourceEngineOf<TKvZxSpectrumNextSl2Engine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumNextSl2Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".sxg" ZX Evolution, by header
class TKvZxSpectrumSxgEngine : public TKvSourceEngineOf<TKvZxSpectrumSxgEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumSxgEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".scr" 6912 read with flash cells as the mean of ink and paper; a name
// ending in ".flash.scr" ranks it first.
class TKvZxSpectrumFlashColorEngine
    : public TKvSourceEngineOf<TKvZxSpectrumFlashColorEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumFlashColorEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".3" or ".rgb" 18432: three bitmaps, one per primary. (The converter of
// the same format is TKvZxSpectrumTricolorEngine.)
class TKvZxSpectrumTricolorSourceEngine
    : public TKvSourceEngineOf<TKvZxSpectrumTricolorSourceEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumTricolorSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
  bool IsDot3 = false;  // ".3" orders the bitmaps blue, red, green
};

// Two-frame pictures: the palette is every mixture of a frame-1 colour i with
// a frame-2 colour j (entry i * 16 + j), the second palette the 16 colours;
// the result carries the two frame bitmaps.
class TKvBaseZxSpectrumGigaEngine : public TKvZxSpectrumSourceEngine {
public:
  explicit TKvBaseZxSpectrumGigaEngine(TKvLoadSource& ASource);
  // Second palette: the 16 colours of the palette type; palette: their
  // mixtures by the chosen calculation.
  void BuildGigascreenPalettes();

protected:
  // A Width x Height 8-bit result over the mixtures with its two frames.
  std::unique_ptr<TKvBitmap> NewGigaBitmap(TKvBitmap*& AFrame1, TKvBitmap*& AFrame2);
};

// ".lcm" 12288
class TKvZxSpectrumBWGigaEngine : public TKvSourceEngineOf<TKvZxSpectrumBWGigaEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumBWGigaEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".img" 13824
class TKvZxSpectrumGigaEngine : public TKvSourceEngineOf<TKvZxSpectrumGigaEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumGigaEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".mg1" 19456, MGH header
class TKvZxSpectrumGigaMG1Engine : public TKvSourceEngineOf<TKvZxSpectrumGigaMG1Engine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumGigaMG1Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".hlr" 1628, display routine
class TKvZxSpectrumHlrEngine : public TKvSourceEngineOf<TKvZxSpectrumHlrEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumHlrEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".stl" 3072
class TKvZxSpectrumStlEngine : public TKvSourceEngineOf<TKvZxSpectrumStlEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumStlEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".bsp", "bsp" header
class TKvZxSpectrumBspEngine : public TKvSourceEngineOf<TKvZxSpectrumBspEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumBspEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".mg8", ".mg4", ".mg2": MGH files of 8x8, 8x4 and 8x2 cells.
class TKvZxSpectrumGigaMGEngine : public TKvSourceEngineOf<TKvZxSpectrumGigaMGEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumGigaMGEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
  int CellHeight = 8;
};

// ".ch$": a character set of 8x8 cells, black and white, in colour or in
// two frames.
class TKvZxSpectrumChrEngine : public TKvSourceEngineOf<TKvZxSpectrumChrEngine, TKvZxSpectrumSourceEngine> {
public:
  explicit TKvZxSpectrumChrEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrum();
