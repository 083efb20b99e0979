#include "importers/KvOpenPlatformZxSpectrum.h"

#include <string>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformZxEvolution.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

constexpr TKvMatchFlags kSizeAndExt = mfSize | mfExtension;

// The 3-bit level table of the Next's 9-bit colours.
constexpr uint8_t kNextLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

// One 256x192 colour screen: bitmap rows from ARowOf(y), attributes from
// AAttrOf(y, c), drawn into ABitmap at (AX, AY).
template <class TRowOf, class TAttrOf>
void DrawColorScreen(TKvBitmap& ABitmap, const TKvBytes& AData, TRowOf ARowOf, TAttrOf AAttrOf, int AX, int AY,
                     int AYStep = 1) {
  for (int y = 0; y < 192; ++y) {
    const int row = ARowOf(y);
    for (int c = 0; c < 32; ++c) {
      int paper, ink;
      TKvSourceEngine::DecodeZxAttribute(AAttrOf(y, c), paper, ink);
      const uint8_t b = AData.U8(row + c);
      for (int i = 0; i < 8; ++i)
        ABitmap.SetPixel(AX + c * 8 + i, AY + y * AYStep, (b & (0x80 >> i)) ? ink : paper);
    }
  }
}

// The usual layout at (AX, AY): bitmap rows in screen order (ALinearRows:
// top to bottom), then one attribute row for every 1 << AAttrShift lines.
void DrawZxScreen(TKvBitmap& ABitmap, const TKvBytes& AData, int AAttrShift, bool ALinearRows = false, int AX = 0,
                  int AY = 0, int AYStep = 1) {
  DrawColorScreen(
      ABitmap, AData, [ALinearRows](int y) { return ALinearRows ? y * 32 : ZxRowOffset(y); },
      [&AData, AAttrShift](int y, int c) { return AData.U8(ZxBitmapSize + (y >> AAttrShift) * 32 + c); }, AX, AY,
      AYStep);
}

// The border description of ".bsc" and ".bmc4": 64 top lines of 24 bytes,
// 192 middle lines of 8 bytes and 48 bottom lines of 24 bytes; each byte
// gives two 8-pixel spans (bits 0-2 left, bits 3-5 right).
void DrawBorder(TKvBitmap& ABitmap, const TKvBytes& ABorder) {
  auto span = [&](int x, int y, uint8_t b) {
    for (int i = 0; i < 8; ++i) ABitmap.SetPixel(x + i, y, b & 7);
    for (int i = 0; i < 8; ++i) ABitmap.SetPixel(x + 8 + i, y, (b >> 3) & 7);
  };
  int64_t p = 0;
  for (int y = 0; y < 64; ++y)
    for (int b = 0; b < 24; ++b) span(16 * b, y, ABorder.U8(p++));
  for (int y = 64; y < 256; ++y) {
    for (int b = 0; b < 4; ++b) span(16 * b, y, ABorder.U8(p++));
    for (int b = 0; b < 4; ++b) span(320 + 16 * b, y, ABorder.U8(p++));
  }
  for (int y = 256; y < 304; ++y)
    for (int b = 0; b < 24; ++b) span(16 * b, y, ABorder.U8(p++));
}

// A 256x192 picture of one byte per pixel, rows stored top to bottom.
std::unique_ptr<TKvBitmap> CopyNextPicture(TKvPalette256& APalette, const TKvBytes& APixels) {
  auto LBitmap = std::make_unique<TKvBitmap8>(256, 192, &APalette);
  for (int y = 0; y < 192; ++y) APixels.Read(y * 256, LBitmap->GetScanline(y), 256);
  return LBitmap;
}

}  // namespace

// ---------------------------------------------------------------------------

TKvZxSpectrumSourceEngine::TKvZxSpectrumSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngine(ASource), FData(ASource.GetBytes()) {}

TKvMatchFlags TKvZxSpectrumSourceEngine::MatchSizeExt(const TKvLoadSource& ASource, int32_t ASize, const char* AExt) {
  if (ASource.GetBytes().Size() != ASize) return 0;
  return ASource.GetExtension() == AExt ? kSizeAndExt : mfSize;
}

void TKvZxSpectrumSourceEngine::DrawHiColorScreen(TKvBitmap& ABitmap, const TKvBytes& AData, int AY, int AYStep) {
  DrawColorScreen(
      ABitmap, AData, [](int y) { return ZxRowOffset(y); },
      [&AData](int y, int c) { return AData.U8(ZxBitmapSize + ZxRowOffset(y) + c); }, 0, AY, AYStep);
}

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
      DecodeZxAttribute(FData.U8(r * 32 + c), paper, ink);
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
  for (int y = 0; y < 192; ++y) FData.Read(ZxRowOffset(y), LBitmap->GetScanline(y), 32);
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
  if (ASource.GetBytes().Size() != ZxScreenSize) return 0;
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
    const int row = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      const uint8_t a = FData.U8(ZxBitmapSize + (y >> 3) * 32 + c);
      const uint8_t b = FData.U8(row + c);
      int paper, ink;
      DecodeZxAttribute(a, paper, ink);
      const bool flash = (a & 0x80) != 0;
      const int set = flash ? paper * 16 + ink : ink * 17;
      const int clear = flash ? 0 : paper * 17;
      for (int i = 0; i < 8; ++i) LBitmap->SetPixel(c * 8 + i, y, (b & (0x80 >> i)) ? set : clear);
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
  for (int k = 0; k < 2; ++k) DrawZxScreen(*LBitmap, FData.Sub(k * ZxScreenSize, ZxScreenSize), 3, false, 0, k, 2);
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
      DecodeZxAttribute(FData.U8((y >> 3) * 32 + c), paper, ink);
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
  if (ASource.GetBytes().Size() != 3 * ZxBitmapSize) return 0;
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
      const uint8_t b1 = FData.U8(o + c), b2 = FData.U8(ZxBitmapSize + o + c), b3 = FData.U8(2 * ZxBitmapSize + o + c);
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
  DrawBorder(*LBitmap, FData.Sub(ZxScreenSize));
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
  const TKvBytes& d = FData;
  // Pixel lines 0-3 of a cell take the first attribute area, 4-7 the second.
  DrawColorScreen(
      *LBitmap, d, [](int y) { return ZxRowOffset(y); },
      [&d](int y, int c) { return d.U8(((y & 4) ? ZxScreenSize : ZxBitmapSize) + (y >> 3) * 32 + c); }, 64, 64);
  DrawBorder(*LBitmap, FData.Sub(ZxScreenSize + ZxAttrSize));
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
    const int w = FData.Le16(2 * i);
    Palette->AddRGB(kNextLevels[(w >> 5) & 7], kNextLevels[(w >> 2) & 7],
                    kNextLevels[((w << 1) & 6) | ((w >> 8) & 1)]);
  }
  return CopyNextPicture(*Palette, FData.Sub(512));
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
// Two-frame pictures.

namespace {

// Palette2: the 16 colours of the engine's palette type; Palette: entry
// i * 16 + j mixes frame-1 colour i with frame-2 colour j.
void BuildGigaPalettes(TKvSourceEngine& AEngine) {
  AEngine.NeedPalette2();
  BuildZxSpectrumPalette(*AEngine.Palette2, AEngine.PaletteType);
  BuildZxGigascreenPalette(*AEngine.Palette, AEngine.PaletteType, AEngine.MixMode, false);
}

std::unique_ptr<TKvBitmap> NewGigaBitmapOf(TKvSourceEngine& AEngine, TKvBitmap*& AFrame1, TKvBitmap*& AFrame2) {
  BuildGigaPalettes(AEngine);
  auto LBitmap = std::make_unique<TKvBitmap8>(AEngine.Width, AEngine.Height, AEngine.Palette.get());
  AFrame1 = LBitmap->AddFrame(AEngine.Palette2.get());
  AFrame2 = LBitmap->AddFrame(AEngine.Palette2.get());
  return LBitmap;
}

// One 8-pixel byte of each frame with the two attributes, at byte column
// ACol of line Y.
void PutGigaByte(TKvBitmap* ABitmap, TKvBitmap* AFrame1, TKvBitmap* AFrame2, uint8_t A, uint8_t B, uint8_t AAttr1,
                 uint8_t AAttr2, int ACol, int Y) {
  int p1, i1, p2, i2;
  TKvSourceEngine::DecodeZxAttribute(AAttr1, p1, i1);
  TKvSourceEngine::DecodeZxAttribute(AAttr2, p2, i2);
  TKvSourceEngine::PutInkPaperPlanes(ABitmap, AFrame1, AFrame2, A, B, p1, i1, p2, i2, ACol, Y, 8);
}

// 256x192 in two frames: AByteOf(frame, y, c) and AAttrOf(frame, y, c) give
// the bitmap byte and the attribute of byte column c of line y; drawn with
// the top-left corner at byte column ACol and line AY.
template <class TByteOf, class TAttrOf>
void DrawGigaScreen(TKvBitmap* ABitmap, TKvBitmap* AFrame1, TKvBitmap* AFrame2, TByteOf AByteOf, TAttrOf AAttrOf,
                    int ACol = 0, int AY = 0) {
  for (int y = 0; y < 192; ++y)
    for (int c = 0; c < 32; ++c)
      PutGigaByte(ABitmap, AFrame1, AFrame2, AByteOf(0, y, c), AByteOf(1, y, c), AAttrOf(0, y, c), AAttrOf(1, y, c),
                  ACol + c, AY + y);
}

// Two standard screens, frame 1 at the start of AData and frame 2 6912
// bytes on.
void DrawTwoScreens(TKvBitmap* ABitmap, TKvBitmap* AFrame1, TKvBitmap* AFrame2, const TKvBytes& AData, int ACol = 0,
                    int AY = 0) {
  DrawGigaScreen(
      ABitmap, AFrame1, AFrame2,
      [&AData](int k, int y, int c) { return AData.U8(k * ZxScreenSize + ZxRowOffset(y) + c); },
      [&AData](int k, int y, int c) { return AData.U8(k * ZxScreenSize + ZxBitmapSize + (y >> 3) * 32 + c); }, ACol,
      AY);
}

TKvMatchFlags MatchHeaderExt(const TKvLoadSource& ASource, bool AHeader, const char* AExt) {
  if (!AHeader) return 0;
  return ASource.GetExtension() == AExt ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

constexpr int kMghAttributes = MghHeaderSize + 2 * ZxBitmapSize;  // 12544

// The MGH cell height that a file of ASource's size and header has, 0 for none.
int MghCellHeight(const TKvLoadSource& ASource) {
  for (const int h : {8, 4, 2})
    if (ASource.GetBytes().Size() == 8 / h * 1536 + kMghAttributes && CheckMghHeader(ASource.GetBytes(), h)) return h;
  return 0;
}

// A text field of the system's single-byte code page (read as CP1252), up
// to its first zero byte, as UTF-8 without the blanks around it.
std::string Cp1252Field(const TKvBytes& AData, int AOffset, int ASize) {
  static const uint16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  const auto field = AData.Row(AOffset, ASize);
  int n = 0;
  while (n < static_cast<int>(field.size()) && field[n] != 0) ++n;
  int first = 0, last = n;
  while (first < last && field[first] <= ' ') ++first;
  while (last > first && field[last - 1] <= ' ') --last;
  std::string LText;
  for (int i = first; i < last; ++i) {
    const uint8_t b = field[i];
    const unsigned u = b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : b;
    if (u < 0x80) {
      LText += static_cast<char>(u);
    } else if (u < 0x800) {
      LText += static_cast<char>(0xC0 | (u >> 6));
      LText += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      LText += static_cast<char>(0xE0 | (u >> 12));
      LText += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      LText += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return LText;
}

}  // namespace

TKvBaseZxSpectrumGigaEngine::TKvBaseZxSpectrumGigaEngine(TKvLoadSource& ASource) : TKvZxSpectrumSourceEngine(ASource) {
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  MixModes = 3;  // "Standard" and "Linear"
  MixMode = 0;
}

void TKvBaseZxSpectrumGigaEngine::BuildGigascreenPalettes() { BuildGigaPalettes(*this); }

std::unique_ptr<TKvBitmap> TKvBaseZxSpectrumGigaEngine::NewGigaBitmap(TKvBitmap*& AFrame1, TKvBitmap*& AFrame2) {
  return NewGigaBitmapOf(*this, AFrame1, AFrame2);
}

TKvZxSpectrumBWGigaEngine::TKvZxSpectrumBWGigaEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  PaletteTypes.clear();
  MixModes = 0;
  SetUp(256, 192, 3, kAspect1To1, " B/W gigascreen");
}

TKvMatchFlags TKvZxSpectrumBWGigaEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * ZxBitmapSize, ".lcm");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumBWGigaEngine::Decode() {
  SetMonoPalette(true);
  MakeGigaScreenPalette();
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvBitmap* f1 = LBitmap->AddFrame(Palette2.get());
  TKvBitmap* f2 = LBitmap->AddFrame(Palette2.get());
  for (int y = 0; y < 192; ++y) {
    const int a = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c)
      PutPlanes2x1(LBitmap.get(), f1, f2, FData.U8(a + c), FData.U8(a + ZxBitmapSize + c), c, y, 8);
  }
  return LBitmap;
}

TKvZxSpectrumGigaEngine::TKvZxSpectrumGigaEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 8, kAspect1To1, " gigascreen");
}

TKvMatchFlags TKvZxSpectrumGigaEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * ZxScreenSize, ".img");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaEngine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  DrawTwoScreens(LBitmap.get(), f1, f2, FData);
  return LBitmap;
}

TKvZxSpectrumGigaMGEngine::TKvZxSpectrumGigaMGEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  CellHeight = MghCellHeight(ASource);
  if (CellHeight == 0) RaiseBadHeader();
  SetUp(256, 192, 8, kAspect1To1, (" gigascreen MG" + std::to_string(CellHeight)).c_str());
}

TKvMatchFlags TKvZxSpectrumGigaMGEngine::Match(TKvLoadSource& ASource) {
  const int h = MghCellHeight(ASource);
  return MatchHeaderExt(ASource, h != 0, (".mg" + std::to_string(h)).c_str());
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaMGEngine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  const TKvBytes& d = FData;
  const int h = CellHeight, attrs = ZxBitmapSize / h;
  DrawGigaScreen(
      LBitmap.get(), f1, f2,
      [&d](int k, int y, int c) { return d.U8(MghHeaderSize + k * ZxBitmapSize + ZxRowOffset(y) + c); },
      [&d, h, attrs](int k, int y, int c) { return d.U8(kMghAttributes + k * attrs + (y / h) * 32 + c); });
  return LBitmap;
}

TKvZxSpectrumGigaMG1Engine::TKvZxSpectrumGigaMG1Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 8, kAspect1To1, " gigascreen MG1");
}

TKvMatchFlags TKvZxSpectrumGigaMG1Engine::Match(TKvLoadSource& ASource) {
  return MatchHeaderExt(ASource, ASource.GetBytes().Size() == 19456 && CheckMghHeader(ASource.GetBytes(), 1), ".mg1");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumGigaMG1Engine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  const TKvBytes& d = FData;
  // The middle 16 columns have an attribute per line, the 8 at each side
  // one per character row.
  DrawGigaScreen(
      LBitmap.get(), f1, f2,
      [&d](int k, int y, int c) { return d.U8(MghHeaderSize + k * ZxBitmapSize + ZxRowOffset(y) + c); },
      [&d](int k, int y, int c) {
        if (c >= 8 && c < 24) return d.U8((k ? 15616 : 12544) + y * 16 + (c - 8));
        return d.U8((k ? 19072 : 18688) + (y >> 3) * 16 + (c < 8 ? c : c - 16));
      });
  return LBitmap;
}

TKvZxSpectrumHlrEngine::TKvZxSpectrumHlrEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 8, kAspect1To1, " gigascreen");
}

TKvMatchFlags TKvZxSpectrumHlrEngine::Match(TKvLoadSource& ASource) {
  return MatchHeaderExt(ASource, ASource.GetBytes().Size() == 1628 && IsHlrFile(ASource.GetBytes()), ".hlr");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumHlrEngine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  const TKvBytes& d = FData;
  // One 8-byte pattern fills every cell of both frames.
  DrawGigaScreen(
      LBitmap.get(), f1, f2, [&d](int, int y, int) { return d.U8(84 + (y & 7)); },
      [&d](int k, int y, int c) { return d.U8((k ? 860 : 92) + (y >> 3) * 32 + c); });
  return LBitmap;
}

TKvZxSpectrumStlEngine::TKvZxSpectrumStlEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(64, 48, 8, kAspect1To1, " gigascreen");
}

TKvMatchFlags TKvZxSpectrumStlEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, 3072, ".stl"); }

std::unique_ptr<TKvBitmap> TKvZxSpectrumStlEngine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  auto put = [&](int x, int y, int a, int b) {
    LBitmap->SetPixel(x, y, a * 16 + b);
    f1->SetPixel(x, y, a);
    f2->SetPixel(x, y, b);
  };
  // Groups of four bytes: two frame-1 attributes, then two frame-2 ones;
  // each pair of attributes gives a pixel of papers and a pixel of inks.
  for (int y = 0; y < 48; ++y)
    for (int g = 0; g < 16; ++g) {
      const int b = y * 64 + g * 4;
      for (int half = 0; half < 2; ++half) {
        int p1, i1, p2, i2;
        DecodeZxAttribute(FData.U8(b + half), p1, i1);
        DecodeZxAttribute(FData.U8(b + 2 + half), p2, i2);
        put(4 * g + 2 * half, y, p1, p2);
        put(4 * g + 2 * half + 1, y, i1, i2);
      }
    }
  return LBitmap;
}

TKvZxSpectrumBspEngine::TKvZxSpectrumBspEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(384, 304, 8, kAspect1To1, " gigascreen");
  const std::string LTitle = Cp1252Field(FData, 6, 32), LAuthor = Cp1252Field(FData, 38, 32);
  if (!LTitle.empty() && !LAuthor.empty())
    Comment = LTitle + " / " + LAuthor;
  else
    Comment = LTitle.empty() ? LAuthor : LTitle;
}

TKvMatchFlags TKvZxSpectrumBspEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  return MatchHeaderExt(ASource, file.Size() >= 73 && CheckBspHeader(file, file.Size()), ".bsp");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumBspEngine::Decode() {
  TKvBitmap *f1, *f2;
  auto LBitmap = NewGigaBitmap(f1, f2);
  // The screen area only, inside the border, which keeps index 0.
  DrawTwoScreens(LBitmap.get(), f1, f2, FData.Sub(72), 8, 64);
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Character sets.

TKvZxSpectrumChrEngine::TKvZxSpectrumChrEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const int w = FData.U8(4), h = FData.U8(5);
  switch (FData.U8(6)) {
    case 8: SetUp(8 * w, 8 * h, 1, kAspect1To1, " B/W"); break;
    case 9: SetUpZxColors(8 * w, 8 * h, kAspect1To1, ""); break;
    case 18:
      SetZxPaletteTypes();
      PaletteType = ptColoredLinear;
      MixModes = 3;
      MixMode = 0;
      SetUp(8 * w, 8 * h, 8, kAspect1To1, " gigascreen");
      break;
    default:
      RaiseBadHeader();
  }
}

TKvMatchFlags TKvZxSpectrumChrEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  return MatchHeaderExt(ASource, file.Size() >= 8 && CheckChrHeader(file, file.Size()), ".ch$");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumChrEngine::Decode() {
  const int w = FData.U8(4), h = FData.U8(5), n = FData.U8(6);
  std::unique_ptr<TKvBitmap> LBitmap;
  TKvBitmap *f1 = nullptr, *f2 = nullptr;
  switch (n) {
    case 8:
      SetMonoPalette(false);
      LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
      break;
    case 9: LBitmap = NewZxColorBitmap<TKvBitmap4>(); break;
    case 18: LBitmap = NewGigaBitmapOf(*this, f1, f2); break;
    default:
      RaiseBadHeader();
  }
  // Characters row by row, each one 8x8 cell.
  int64_t p = 7;
  for (int cy = 0; cy < h; ++cy)
    for (int cx = 0; cx < w; ++cx, p += n)
      for (int j = 0; j < 8; ++j) {
        const int y = cy * 8 + j;
        const uint8_t b = FData.U8(p + j);
        if (n == 8) {
          for (int i = 0; i < 8; ++i) LBitmap->SetPixel(cx * 8 + i, y, (b >> (7 - i)) & 1);
        } else if (n == 9) {
          int paper, ink;
          DecodeZxAttribute(FData.U8(p + 8), paper, ink);
          PutInkPaperByte(LBitmap.get(), b, paper, ink, cx, y, 8);
        } else {
          PutGigaByte(LBitmap.get(), f1, f2, b, FData.U8(p + 9 + j), FData.U8(p + 8), FData.U8(p + 17), cx, y);
        }
      }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// ZX Evolution ".sxg": 16 or 256 colours of 15 bits from the file.

TKvZxSpectrumSxgEngine::TKvZxSpectrumSxgEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(FData.Le16(8), FData.Le16(10), FData.U8(7) == 1 ? 4 : 8, kAspect1To1, "", "ZX Evolution");
  PaletteTypes = {ptEvoEGA, ptPentevo, ptVideoDAC};
  PaletteType = ptEvoEGA;
  // Only the Video DAC has levels above 24.
  const int n = SxgFilePaletteCount(FData);
  for (int i = 0; i < n && PaletteType != ptVideoDAC; ++i) {
    const uint16_t w = SxgPaletteWord(FData, i);
    if (((w >> 10) & 31) > 24 || ((w >> 5) & 31) > 24 || (w & 31) > 24) PaletteType = ptVideoDAC;
  }
}

TKvMatchFlags TKvZxSpectrumSxgEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() < 17 || !CheckSxgHeader(file, file.Size())) return 0;
  return ASource.GetExtension() == ".sxg" ? kSizeAndExt | mfHeader : mfSize | mfHeader;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSxgEngine::Decode() {
  Palette->Clear();
  const int n = SxgFilePaletteCount(FData);
  for (int i = 0; i < n; ++i) {
    const uint16_t w = SxgPaletteWord(FData, i);
    Palette->AddRGB(SxgLevelByte(PaletteType, (w >> 10) & 31), SxgLevelByte(PaletteType, (w >> 5) & 31),
                    SxgLevelByte(PaletteType, w & 31));
  }
  std::unique_ptr<TKvBitmap> LBitmap;
  if (Bits == 4)
    LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  const uint32_t LStride = SxgBytesPerLine(FData);
  const int LRow = Bits == 4 ? (Width + 1) / 2 : Width;
  const TKvBytes LPixels = FData.Sub(SxgPixelOffset(FData));
  for (int y = 0; y < Height; ++y) LPixels.Read(static_cast<int64_t>(y) * LStride, LBitmap->GetScanline(y), LRow);
  return LBitmap;
}

// ---------------------------------------------------------------------------

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
      &SourceEngineClass<TKvZxSpectrumBWGigaEngine>(),
      &SourceEngineClass<TKvZxSpectrumGigaEngine>(),
      &SourceEngineClass<TKvZxSpectrumColorInterlacedEngine>(),
      &SourceEngineClass<TKvZxSpectrumGigaMGEngine>(),
      &SourceEngineClass<TKvZxSpectrumGigaMG1Engine>(),
      &SourceEngineClass<TKvZxSpectrumAtrEngine>(),
      &SourceEngineClass<TKvZxSpectrumHlrEngine>(),
      &SourceEngineClass<TKvZxSpectrumStlEngine>(),
      &SourceEngineClass<TKvZxSpectrumTricolorSourceEngine>(),
      &SourceEngineClass<TKvZxSpectrumChrEngine>(),
      &SourceEngineClass<TKvZxSpectrumSxgEngine>(),
      &SourceEngineClass<TKvZxSpectrumBscEngine>(),
      &SourceEngineClass<TKvZxSpectrumBmc4Engine>(),
      &SourceEngineClass<TKvZxSpectrumBspEngine>(),
      &SourceEngineClass<TKvZxSpectrumNextNxiSourceEngine>(),
      &SourceEngineClass<TKvZxSpectrumNextSl2Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrum() {
  for (const TKvSourceEngineClass* c : ZxSpectrumSourceEngineClasses()) RegisterSourceEngine(*c);
}
