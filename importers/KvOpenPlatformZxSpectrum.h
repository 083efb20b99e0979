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
  static void DrawHiColorScreen(TKvBitmap& ABitmap, const uint8_t* AData, int AY = 0, int AYStep = 1);

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

  const uint8_t* FData;
};

#define KV_ZX_IMPORTER(Name)                                                  \
  class Name : public TKvSourceEngineOf<Name, TKvZxSpectrumSourceEngine> {    \
  public:                                                                     \
    explicit Name(TKvLoadSource& ASource);                                    \
    static TKvMatchFlags Match(TKvLoadSource& ASource);                       \
    std::unique_ptr<TKvBitmap> Decode() override;                             \
  }

KV_ZX_IMPORTER(TKvZxSpectrumBWEngine);             // ".scr" 6144
KV_ZX_IMPORTER(TKvZxSpectrumColorEngine);          // ".scr" 6912
KV_ZX_IMPORTER(TKvZxSpectrumMulticolorMLTEngine);  // ".mlt" 12288
KV_ZX_IMPORTER(TKvZxSpectrumMulticolorMTLEngine);  // ".mtl" 6144
KV_ZX_IMPORTER(TKvZxSpectrumMulticolorMCEngine);   // ".mc" 12288
KV_ZX_IMPORTER(TKvZxSpectrumMulticolor2Engine);    // ".ifl" 9216
KV_ZX_IMPORTER(TKvZxSpectrumMulticolor2AFLEngine); // ".afl" 3072
KV_ZX_IMPORTER(TKvZxSpectrumColorInterlacedEngine);// ".lce" 13824
KV_ZX_IMPORTER(TKvZxSpectrumAtrEngine);            // ".atr" 768
KV_ZX_IMPORTER(TKvZxSpectrumBscEngine);            // ".bsc" 11136
KV_ZX_IMPORTER(TKvZxSpectrumBmc4Engine);           // ".bmc4" 11904
KV_ZX_IMPORTER(TKvZxSpectrumNextNxiSourceEngine);  // ".nxi" 49664
KV_ZX_IMPORTER(TKvZxSpectrumNextSl2Engine);        // ".sl2" 49152
KV_ZX_IMPORTER(TKvZxSpectrumSxgEngine);            // ".sxg" ZX Evolution, by header

// ".scr" 6912 read with flash cells as the mean of ink and paper; a name
// ending in ".flash.scr" ranks it first.
KV_ZX_IMPORTER(TKvZxSpectrumFlashColorEngine);

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

#define KV_ZX_GIGA_IMPORTER(Name)                                             \
  class Name : public TKvSourceEngineOf<Name, TKvBaseZxSpectrumGigaEngine> {  \
  public:                                                                     \
    explicit Name(TKvLoadSource& ASource);                                    \
    static TKvMatchFlags Match(TKvLoadSource& ASource);                       \
    std::unique_ptr<TKvBitmap> Decode() override;                             \
  }

KV_ZX_GIGA_IMPORTER(TKvZxSpectrumBWGigaEngine);   // ".lcm" 12288
KV_ZX_GIGA_IMPORTER(TKvZxSpectrumGigaEngine);     // ".img" 13824
KV_ZX_GIGA_IMPORTER(TKvZxSpectrumGigaMG1Engine);  // ".mg1" 19456, MGH header
KV_ZX_GIGA_IMPORTER(TKvZxSpectrumHlrEngine);      // ".hlr" 1628, display routine
KV_ZX_GIGA_IMPORTER(TKvZxSpectrumStlEngine);      // ".stl" 3072
KV_ZX_GIGA_IMPORTER(TKvZxSpectrumBspEngine);      // ".bsp", "bsp" header

// ".mg8", ".mg4", ".mg2": MGH files of 8x8, 8x4 and 8x2 cells.
class TKvZxSpectrumGigaMGEngine : public TKvSourceEngineOf<TKvZxSpectrumGigaMGEngine, TKvBaseZxSpectrumGigaEngine> {
public:
  explicit TKvZxSpectrumGigaMGEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
  int CellHeight = 8;
};

#undef KV_ZX_GIGA_IMPORTER

// ".ch$": a character set of 8x8 cells, black and white, in colour or in
// two frames.
KV_ZX_IMPORTER(TKvZxSpectrumChrEngine);

#undef KV_ZX_IMPORTER

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrum();
