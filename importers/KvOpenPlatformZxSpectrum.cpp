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

// The usual layout at (AX, AY): bitmap rows in screen order (ALinearRows:
// top to bottom), then one attribute row for every 1 << AAttrShift lines.
void DrawZxScreen(TKvBitmap& ABitmap, const uint8_t* AData, int AAttrShift, bool ALinearRows = false, int AX = 0,
                  int AY = 0, int AYStep = 1) {
  DrawColorScreen(
      ABitmap, AData, [ALinearRows](int y) { return ALinearRows ? y * 32 : ZxRowOffset(y); },
      [AData, AAttrShift](int y, int c) { return AData[ZxBitmapSize + (y >> AAttrShift) * 32 + c]; }, AX, AY,
      AYStep);
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

// A 256x192 picture of one byte per pixel, rows stored top to bottom.
std::unique_ptr<TKvBitmap> CopyNextPicture(TKvPalette256& APalette, const uint8_t* APixels) {
  auto LBitmap = std::make_unique<TKvBitmap8>(256, 192, &APalette);
  for (int y = 0; y < 192; ++y) std::memcpy(LBitmap->GetScanline(y), APixels + y * 256, 256);
  return LBitmap;
}

}  // namespace

// ---------------------------------------------------------------------------

TKvZxSpectrumSourceEngine::TKvZxSpectrumSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngine(ASource), FData(ASource.GetData()) {}

void TKvZxSpectrumSourceEngine::SetUp(int AWidth, int AHeight, int ABits, uint8_t APixelAspect, const char* ASuffix,
                                      const char* APrefix) {
  Width = AWidth;
  Height = AHeight;
  Bits = ABits;
  PixelAspect = APixelAspect;
  Description = std::string(APrefix) + GetSizeText() + ASuffix + " image";
}

void TKvZxSpectrumSourceEngine::SetUpZxColors(int AWidth, int AHeight, uint8_t APixelAspect, const char* ASuffix) {
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetUp(AWidth, AHeight, 4, APixelAspect, ASuffix);
}

template <class TBitmapT>
std::unique_ptr<TBitmapT> TKvZxSpectrumSourceEngine::NewZxColorBitmap() {
  BuildZxSpectrumPalette(*Palette, PaletteType);
  return std::make_unique<TBitmapT>(Width, Height, Palette.get());
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSourceEngine::DecodeScreen(int AAttrShift, bool ALinearRows) {
  auto LBitmap = NewZxColorBitmap<TKvBitmap4>();
  DrawZxScreen(*LBitmap, FData, AAttrShift, ALinearRows);
  return LBitmap;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSourceEngine::DecodeAttributePicture() {
  auto LBitmap = NewZxColorBitmap<TKvBitmap4>();
  for (int r = 0; r < Height; ++r)
    for (int c = 0; c < 32; ++c) {
      int paper, ink;
      DecodeZxAttribute(FData[r * 32 + c], paper, ink);
      LBitmap->SetPixel(2 * c, r, paper);
      LBitmap->SetPixel(2 * c + 1, r, ink);
    }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Standard screens.

TKvZxSpectrumBWEngine::TKvZxSpectrumBWEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 1, kAspect1To1, " B/W");
}

TKvMatchFlags TKvZxSpectrumBWEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 6144, ".scr"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumBWEngine::Decode() {
  SetMonoPalette(true);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) std::memcpy(LBitmap->GetScanline(y), FData + ZxRowOffset(y), 32);
  return LBitmap;
}

TKvZxSpectrumColorEngine::TKvZxSpectrumColorEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, "");
}

TKvMatchFlags TKvZxSpectrumColorEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, ZxScreenSize, ".scr");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumColorEngine::Decode() { return DecodeScreen(3); }

TKvZxSpectrumFlashColorEngine::TKvZxSpectrumFlashColorEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, " FlashColor");
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
// Multicolour screens: one attribute row per pixel line (".mlt", ".mc") or
// per two lines (".ifl"); attribute pictures of wide pixels (".mtl", ".afl").

TKvZxSpectrumMulticolorMLTEngine::TKvZxSpectrumMulticolorMLTEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMLTEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 12288, ".mlt");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMLTEngine::Decode() { return DecodeScreen(0); }

TKvZxSpectrumMulticolorMCEngine::TKvZxSpectrumMulticolorMCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMCEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 12288, ".mc");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMCEngine::Decode() { return DecodeScreen(0, true); }

TKvZxSpectrumMulticolor2Engine::TKvZxSpectrumMulticolor2Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolor2Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 9216, ".ifl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolor2Engine::Decode() { return DecodeScreen(1); }

TKvZxSpectrumMulticolorMTLEngine::TKvZxSpectrumMulticolorMTLEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(64, 192, kAspect4To1, " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolorMTLEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 6144, ".mtl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolorMTLEngine::Decode() { return DecodeAttributePicture(); }

TKvZxSpectrumMulticolor2AFLEngine::TKvZxSpectrumMulticolor2AFLEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(64, 96, kAspect2To1, " multicolor");
}

TKvMatchFlags TKvZxSpectrumMulticolor2AFLEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 3072, ".afl");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumMulticolor2AFLEngine::Decode() { return DecodeAttributePicture(); }

// ---------------------------------------------------------------------------
// Interlaced and attribute-only screens.

TKvZxSpectrumColorInterlacedEngine::TKvZxSpectrumColorInterlacedEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 384, kAspect2To1, " interlaced");
}

TKvMatchFlags TKvZxSpectrumColorInterlacedEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * ZxScreenSize, ".lce");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumColorInterlacedEngine::Decode() {
  auto LBitmap = NewZxColorBitmap<TKvBitmap4>();
  for (int k = 0; k < 2; ++k) DrawZxScreen(*LBitmap, FData + k * ZxScreenSize, 3, false, 0, k, 2);
  return LBitmap;
}

TKvZxSpectrumAtrEngine::TKvZxSpectrumAtrEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpZxColors(256, 192, kAspect1To1, "");
}

TKvMatchFlags TKvZxSpectrumAtrEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 768, ".atr"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumAtrEngine::Decode() {
  auto LBitmap = NewZxColorBitmap<TKvBitmap4>();
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
  SetUp(256, 192, 3, kAspect1To1, " tricolor");
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
// Border screens: the 256x192 screen at (64, 64) inside the border.

TKvZxSpectrumBscEngine::TKvZxSpectrumBscEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpZxColors(384, 304, kAspect1To1, "");
}

TKvMatchFlags TKvZxSpectrumBscEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 11136, ".bsc"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumBscEngine::Decode() {
  auto LBitmap = NewZxColorBitmap<TKvBitmap8>();
  DrawZxScreen(*LBitmap, FData, 3, false, 64, 64);
  DrawBorder(*LBitmap, FData + ZxScreenSize);
  return LBitmap;
}

TKvZxSpectrumBmc4Engine::TKvZxSpectrumBmc4Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpZxColors(384, 304, kAspect1To1, "");
}

TKvMatchFlags TKvZxSpectrumBmc4Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 11904, ".bmc4");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumBmc4Engine::Decode() {
  auto LBitmap = NewZxColorBitmap<TKvBitmap8>();
  const uint8_t* d = FData;
  // Pixel lines 0-3 of a cell take the first attribute area, 4-7 the second.
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [d](int y, int c) { return d[((y & 4) ? ZxScreenSize : ZxBitmapSize) + (y >> 3) * 32 + c]; }, 64, 64);
  DrawBorder(*LBitmap, FData + ZxScreenSize + ZxAttrSize);
  return LBitmap;
}

// ---------------------------------------------------------------------------
// ZX Spectrum Next: 256x192 at one byte per pixel.

TKvZxSpectrumNextNxiSourceEngine::TKvZxSpectrumNextNxiSourceEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 8, kAspect1To1, "", "ZX Spectrum Next");
}

TKvMatchFlags TKvZxSpectrumNextNxiSourceEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 49664, ".nxi");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextNxiSourceEngine::Decode() {
  // 256 little-endian 9-bit colours, then the pixels.
  Palette->Clear();
  for (int i = 0; i < 256; ++i) {
    const int w = FData[2 * i] | (FData[2 * i + 1] << 8);
    Palette->AddRGB(kNextLevels[(w >> 5) & 7], kNextLevels[(w >> 2) & 7],
                    kNextLevels[((w << 1) & 6) | ((w >> 8) & 1)]);
  }
  return CopyNextPicture(*Palette, FData + 512);
}

TKvZxSpectrumNextSl2Engine::TKvZxSpectrumNextSl2Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 8, kAspect1To1, "", "ZX Spectrum Next");
}

TKvMatchFlags TKvZxSpectrumNextSl2Engine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 49152, ".sl2");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumNextSl2Engine::Decode() {
  // The fixed RRRGGGBB palette.
  static const int kBlue[4] = {0, 3, 5, 7};
  Palette->Clear();
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) Palette->AddRGB(kNextLevels[r], kNextLevels[g], kNextLevels[kBlue[b]]);
  return CopyNextPicture(*Palette, FData);
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
      &SourceEngineClass<TKvZxSpectrumNextNxiSourceEngine>(),
      &SourceEngineClass<TKvZxSpectrumNextSl2Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrum() {
  for (const TKvSourceEngineClass* c : ZxSpectrumSourceEngineClasses()) RegisterSourceEngine(*c);
}
