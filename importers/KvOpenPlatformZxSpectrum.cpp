#include "importers/KvOpenPlatformZxSpectrum.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

constexpr TKvMatchFlags kSizeAndExt = mfSize | mfExtension;

// Exact size first; then the extension raises the rank.
TKvMatchFlags MatchSizeExt(const TKvLoadSource& ASource, int32_t ASize, const char* AExt) {
  if (ASource.GetSize() != ASize) return 0;
  return ASource.GetExtension() == AExt ? kSizeAndExt : mfSize;
}

// The 3-bit level table of the Next's 9-bit colours.
constexpr uint8_t kNextLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

// One 256x192 colour screen: bitmap rows from ARowOf(y), attributes from
// AAttrOf(y, c), drawn into ABitmap at (AX, AY).
template <class TRowOf, class TAttrOf>
void DrawColorScreen(TKvBitmap& ABitmap, const uint8_t* AData, TRowOf ARowOf, TAttrOf AAttrOf, int AX, int AY,
                     int AYStep = 1) {
  for (int y = 0; y < 192; ++y) {
    const uint8_t* row = AData + ARowOf(y);
    for (int c = 0; c < 32; ++c) {
      int paper, ink;
      TKvSourceEngine::DecodeZxAttribute(AAttrOf(y, c), paper, ink);
      const uint8_t b = row[c];
      for (int i = 0; i < 8; ++i)
        ABitmap.SetPixel(AX + c * 8 + i, AY + y * AYStep, (b & (0x80 >> i)) ? ink : paper);
    }
  }
}

// The border description of ".bsc" and ".bmc4": 64 top lines of 24 bytes,
// 192 middle lines of 8 bytes and 48 bottom lines of 24 bytes; each byte
// gives two 8-pixel spans (bits 0-2 left, bits 3-5 right).
void DrawBorder(TKvBitmap& ABitmap, const uint8_t* ABorder) {
  auto span = [&](int x, int y, uint8_t b) {
    for (int i = 0; i < 8; ++i) ABitmap.SetPixel(x + i, y, b & 7);
    for (int i = 0; i < 8; ++i) ABitmap.SetPixel(x + 8 + i, y, (b >> 3) & 7);
  };
  const uint8_t* p = ABorder;
  for (int y = 0; y < 64; ++y)
    for (int b = 0; b < 24; ++b) span(16 * b, y, *p++);
  for (int y = 64; y < 256; ++y) {
    for (int b = 0; b < 4; ++b) span(16 * b, y, *p++);
    for (int b = 0; b < 4; ++b) span(320 + 16 * b, y, *p++);
  }
  for (int y = 256; y < 304; ++y)
    for (int b = 0; b < 24; ++b) span(16 * b, y, *p++);
}

}  // namespace

// ---------------------------------------------------------------------------

TKvZxSpectrumSourceEngine::TKvZxSpectrumSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngine(ASource), FData(ASource.GetData()) {}

void TKvZxSpectrumSourceEngine::SetDescription(const char* APrefix, const char* ASuffix) {
  Description = std::string(APrefix) + GetSizeText() + ASuffix + " image";
}

// ---------------------------------------------------------------------------
// Standard screens.

TKvZxSpectrumBWEngine::TKvZxSpectrumBWEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 1;
  SetDescription("ZX Spectrum", " B/W");
}

TKvMatchFlags TKvZxSpectrumBWEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 6144, ".scr"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumBWEngine::Decode() {
  SetMonoPalette(true);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) std::memcpy(LBitmap->GetScanline(y), FData + ZxRowOffset(y), 32);
  return LBitmap;
}

TKvZxSpectrumColorEngine::TKvZxSpectrumColorEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", "");
}

TKvMatchFlags TKvZxSpectrumColorEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, ZxScreenSize, ".scr");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumColorEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[ZxBitmapSize + (y >> 3) * 32 + c]; }, 0, 0);
  return LBitmap;
}

TKvZxSpectrumFlashColorEngine::TKvZxSpectrumFlashColorEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " FlashColor");
}

TKvMatchFlags TKvZxSpectrumFlashColorEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != ZxScreenSize) return 0;
  if (ASource.GetExtension() != ".scr") return mfSize;
  // The name marker: "picture.flash.scr".
  const std::string& LName = ASource.GetFileName();
  const std::string LStem = LName.substr(0, LName.size() - 4);
  if (LowerFileExt(LStem) == ".flash") return kSizeAndExt | mfName;
  return kSizeAndExt;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumFlashColorEngine::Decode() {
  BuildZxFlashPalette(*Palette, PaletteType, MixMode);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) {
    const uint8_t* row = FData + ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      const uint8_t a = FData[ZxBitmapSize + (y >> 3) * 32 + c];
      int paper, ink;
      DecodeZxAttribute(a, paper, ink);
      const bool flash = (a & 0x80) != 0;
      const int set = flash ? paper * 16 + ink : ink * 17;
      const int clear = flash ? 0 : paper * 17;
      for (int i = 0; i < 8; ++i) LBitmap->SetPixel(c * 8 + i, y, (row[c] & (0x80 >> i)) ? set : clear);
    }
  }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Multicolour screens.

TKvZxSpectrumMulticolorMLTEngine::TKvZxSpectrumMulticolorMLTEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMLTEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 12288, ".mlt");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMLTEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[ZxBitmapSize + y * 32 + c]; }, 0, 0);
  return LBitmap;
}

TKvZxSpectrumMulticolorMCEngine::TKvZxSpectrumMulticolorMCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMCEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 12288, ".mc");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMCEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  DrawColorScreen(
      *LBitmap, d, [](int y) { return y * 32; }, [d](int y, int c) { return d[ZxBitmapSize + y * 32 + c]; }, 0, 0);
  return LBitmap;
}

TKvZxSpectrumMulticolor2Engine::TKvZxSpectrumMulticolor2Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolor2Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 9216, ".ifl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolor2Engine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[ZxBitmapSize + (y >> 1) * 32 + c]; }, 0, 0);
  return LBitmap;
}

// Attribute pictures: every attribute byte gives two pixels, paper then ink.
namespace {
std::unique_ptr<TKvBitmap> DecodeAttributePicture(TKvPalette256& APalette, const uint8_t* AData, int ARows) {
  auto LBitmap = std::make_unique<TKvBitmap4>(64, ARows, &APalette);
  for (int r = 0; r < ARows; ++r)
    for (int c = 0; c < 32; ++c) {
      int paper, ink;
      TKvSourceEngine::DecodeZxAttribute(AData[r * 32 + c], paper, ink);
      LBitmap->SetPixel(2 * c, r, paper);
      LBitmap->SetPixel(2 * c + 1, r, ink);
    }
  return LBitmap;
}
}  // namespace

TKvZxSpectrumMulticolorMTLEngine::TKvZxSpectrumMulticolorMTLEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 64;
  Height = 192;
  Bits = 4;
  PixelAspect = 20;  // "4:1"
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMTLEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 6144, ".mtl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMTLEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  return DecodeAttributePicture(*Palette, FData, 192);
}

TKvZxSpectrumMulticolor2AFLEngine::TKvZxSpectrumMulticolor2AFLEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 64;
  Height = 96;
  Bits = 4;
  PixelAspect = 17;  // "2:1"
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolor2AFLEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 3072, ".afl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolor2AFLEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  return DecodeAttributePicture(*Palette, FData, 96);
}

// ---------------------------------------------------------------------------
// Interlaced and attribute-only screens.

TKvZxSpectrumColorInterlacedEngine::TKvZxSpectrumColorInterlacedEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 384;
  Bits = 4;
  PixelAspect = 17;  // "2:1"
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", " interlaced");
}

TKvMatchFlags TKvZxSpectrumColorInterlacedEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * ZxScreenSize, ".lce");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumColorInterlacedEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int k = 0; k < 2; ++k) {
    const uint8_t* d = FData + k * ZxScreenSize;
    DrawColorScreen(
        *LBitmap, d, [](int y) { return ZxRowOffset(y); },
        [d](int y, int c) { return d[ZxBitmapSize + (y >> 3) * 32 + c]; }, 0, k, 2);
  }
  return LBitmap;
}

TKvZxSpectrumAtrEngine::TKvZxSpectrumAtrEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", "");
}

TKvMatchFlags TKvZxSpectrumAtrEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 768, ".atr"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumAtrEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y)
    for (int c = 0; c < 32; ++c) {
      int paper, ink;
      DecodeZxAttribute(FData[(y >> 3) * 32 + c], paper, ink);
      PutInkPaperByte(LBitmap.get(), (y & 1) ? 0xAA : 0x55, paper, ink, c, y, 8);
    }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Tricolour.

TKvZxSpectrumTricolorSourceEngine::TKvZxSpectrumTricolorSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), IsDot3(ASource.GetExtension() == ".3") {
  Width = 256;
  Height = 192;
  Bits = 3;
  SetDescription("ZX Spectrum", " tricolor");
}

TKvMatchFlags TKvZxSpectrumTricolorSourceEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != 3 * ZxBitmapSize) return 0;
  const std::string& e = ASource.GetExtension();
  return (e == ".3" || e == ".rgb") ? kSizeAndExt : mfSize;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumTricolorSourceEngine::Decode() {
  // Index bit 0, 1, 2 = third, first, second bitmap.
  static const int kDot3[8][3] = {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1},
                                  {1, 0, 0}, {1, 1, 0}, {1, 0, 1}, {1, 1, 1}};
  static const int kRgb[8][3] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {1, 0, 1},
                                 {0, 1, 0}, {0, 1, 1}, {1, 1, 0}, {1, 1, 1}};
  Palette->Clear();
  for (const auto& c : IsDot3 ? kDot3 : kRgb) Palette->AddLinRGB(LinRGBColor(c[0], c[1], c[2]));
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) {
    const int o = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      const uint8_t b1 = FData[o + c], b2 = FData[ZxBitmapSize + o + c], b3 = FData[2 * ZxBitmapSize + o + c];
      for (int i = 0; i < 8; ++i) {
        const int s = 7 - i;
        LBitmap->SetPixel(c * 8 + i, y, (((b1 >> s) & 1) << 1) | (((b2 >> s) & 1) << 2) | ((b3 >> s) & 1));
      }
    }
  }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Border screens.

TKvZxSpectrumBscEngine::TKvZxSpectrumBscEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 384;
  Height = 304;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", "");
}

TKvMatchFlags TKvZxSpectrumBscEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 11136, ".bsc"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumBscEngine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[ZxBitmapSize + (y >> 3) * 32 + c]; }, 64, 64);
  DrawBorder(*LBitmap, FData + ZxScreenSize);
  return LBitmap;
}

TKvZxSpectrumBmc4Engine::TKvZxSpectrumBmc4Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 384;
  Height = 304;
  Bits = 4;
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetDescription("ZX Spectrum", "");
}

TKvMatchFlags TKvZxSpectrumBmc4Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 11904, ".bmc4");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumBmc4Engine::Decode() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  const uint8_t* d = FData;
  // Pixel lines 0-3 of a cell take the first attribute area, 4-7 the second.
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[((y & 4) ? ZxScreenSize : ZxBitmapSize) + (y >> 3) * 32 + c]; }, 64, 64);
  DrawBorder(*LBitmap, FData + ZxScreenSize + ZxAttrSize);
  return LBitmap;
}

// ---------------------------------------------------------------------------
// ZX Spectrum Next.

TKvZxSpectrumNextNxiEngine::TKvZxSpectrumNextNxiEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 8;
  SetDescription("ZX Spectrum Next", "");
}

TKvMatchFlags TKvZxSpectrumNextNxiEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 49664, ".nxi");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextNxiEngine::Decode() {
  Palette->Clear();
  for (int i = 0; i < 256; ++i) {
    const int w = FData[2 * i] | (FData[2 * i + 1] << 8);
    Palette->AddRGB(kNextLevels[(w >> 5) & 7], kNextLevels[(w >> 2) & 7],
                    kNextLevels[((w << 1) & 6) | ((w >> 8) & 1)]);
  }
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) std::memcpy(LBitmap->GetScanline(y), FData + 512 + y * 256, 256);
  return LBitmap;
}

TKvZxSpectrumNextSl2Engine::TKvZxSpectrumNextSl2Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Width = 256;
  Height = 192;
  Bits = 8;
  SetDescription("ZX Spectrum Next", "");
}

TKvMatchFlags TKvZxSpectrumNextSl2Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 49152, ".sl2");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextSl2Engine::Decode() {
  static const int kBlue[4] = {0, 3, 5, 7};
  Palette->Clear();
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) Palette->AddRGB(kNextLevels[r], kNextLevels[g], kNextLevels[kBlue[b]]);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) std::memcpy(LBitmap->GetScanline(y), FData + y * 256, 256);
  return LBitmap;
}

// ---------------------------------------------------------------------------

// The two-frame, character-set and ZX Evolution importers take their places
// in this list between the classes below (after ".afl", after ".lce", after
// ".atr", after the tricolour and after ".bmc4").
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvZxSpectrumBWEngine>(),
      &SourceEngineClass<TKvZxSpectrumColorEngine>(),
      &SourceEngineClass<TKvZxSpectrumFlashColorEngine>(),
      &SourceEngineClass<TKvZxSpectrumMulticolorMLTEngine>(),
      &SourceEngineClass<TKvZxSpectrumMulticolorMTLEngine>(),
      &SourceEngineClass<TKvZxSpectrumMulticolorMCEngine>(),
      &SourceEngineClass<TKvZxSpectrumMulticolor2Engine>(),
      &SourceEngineClass<TKvZxSpectrumMulticolor2AFLEngine>(),
      &SourceEngineClass<TKvZxSpectrumColorInterlacedEngine>(),
      &SourceEngineClass<TKvZxSpectrumAtrEngine>(),
      &SourceEngineClass<TKvZxSpectrumTricolorSourceEngine>(),
      &SourceEngineClass<TKvZxSpectrumBscEngine>(),
      &SourceEngineClass<TKvZxSpectrumBmc4Engine>(),
      &SourceEngineClass<TKvZxSpectrumNextNxiEngine>(),
      &SourceEngineClass<TKvZxSpectrumNextSl2Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrum() {
  for (const TKvSourceEngineClass* c : ZxSpectrumSourceEngineClasses()) RegisterSourceEngine(*c);
}
