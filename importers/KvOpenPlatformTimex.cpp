#include "importers/KvOpenPlatformTimex.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

constexpr int kHiColorSize = 12288;
constexpr int kHiResSize = 12289;

// The paper and the ink of a hi-res mode byte: colour 7 - a and colour a of
// the ZX order (bit 0 blue, bit 1 red, bit 2 green), a in bits 3-5, at full
// intensity.
TKvLinRGBColor HiResColor(int AColor) {
  return LinRGBColor((AColor >> 1) & 1, (AColor >> 2) & 1, AColor & 1);
}
TKvLinRGBColor HiResPaper(uint8_t AMode) { return HiResColor(7 - ((AMode >> 3) & 7)); }
TKvLinRGBColor HiResInk(uint8_t AMode) { return HiResColor((AMode >> 3) & 7); }

}  // namespace

TKvTimexEngine::TKvTimexEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetUp(256, 192, 4, kAspect1To1, "", "Timex");
}

TKvMatchFlags TKvTimexEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, kHiColorSize, ".scr"); }

// A bitmap over the 16 ZX colours of the chosen model.
static std::unique_ptr<TKvBitmap> ZxColorBitmap(TKvSourceEngine& AEngine) {
  BuildZxSpectrumPalette(*AEngine.Palette, AEngine.PaletteType);
  return std::make_unique<TKvBitmap4>(AEngine.Width, AEngine.Height, AEngine.Palette.get());
}

std::unique_ptr<TKvBitmap> TKvTimexEngine::Decode() {
  auto LBitmap = ZxColorBitmap(*this);
  DrawHiColorScreen(*LBitmap, FData);
  return LBitmap;
}

TKvTimexInterlacedEngine::TKvTimexInterlacedEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetZxPaletteTypes();
  PaletteType = ptColoredLinear;
  SetUp(256, 384, 4, kAspect2To1, " interlaced", "Timex");
}

TKvMatchFlags TKvTimexInterlacedEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * kHiColorSize, ".lce");
}

std::unique_ptr<TKvBitmap> TKvTimexInterlacedEngine::Decode() {
  auto LBitmap = ZxColorBitmap(*this);
  for (int k = 0; k < 2; ++k) DrawHiColorScreen(*LBitmap, FData.Sub(k * kHiColorSize, kHiColorSize), k, 2);
  return LBitmap;
}

TKvTimexBWEngine::TKvTimexBWEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(512, 192, 1, 1, " B/W", "Timex");  // "1:2"
}

TKvMatchFlags TKvTimexBWEngine::Match(TKvLoadSource& ASource) { return MatchSizeExt(ASource, kHiResSize, ".scr"); }

std::unique_ptr<TKvBitmap> TKvTimexBWEngine::Decode() {
  const uint8_t mode = FData.U8(kHiColorSize);
  Palette->Clear();
  Palette->AddLinRGB(HiResPaper(mode));
  Palette->AddLinRGB(HiResInk(mode));
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y) {
    const int o = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      PutPlanes2x1(LBitmap.get(), nullptr, nullptr, 0, FData.U8(o + c), 2 * c, y, 8);
      PutPlanes2x1(LBitmap.get(), nullptr, nullptr, 0, FData.U8(ZxBitmapSize + o + c), 2 * c + 1, y, 8);
    }
  }
  return LBitmap;
}

TKvTimexBWGigaEngine::TKvTimexBWGigaEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(512, 192, 2, 1, " gigascreen", "Timex");  // "1:2"
}

TKvMatchFlags TKvTimexBWGigaEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * kHiResSize, ".hgr");
}

std::unique_ptr<TKvBitmap> TKvTimexBWGigaEngine::Decode() {
  const TKvBytes f1 = FData.Sub(0, kHiResSize);
  const TKvBytes f2 = FData.Sub(kHiResSize, kHiResSize);
  const uint8_t m1 = f1.U8(kHiColorSize), m2 = f2.U8(kHiColorSize);
  const TKvLinRGBColor paper1 = HiResPaper(m1), ink1 = HiResInk(m1), paper2 = HiResPaper(m2), ink2 = HiResInk(m2);
  Palette->Clear();
  Palette->AddLinRGB(MiddleLinRGB(paper1, paper2));
  Palette->AddLinRGB(MiddleLinRGB(paper1, ink2));
  Palette->AddLinRGB(MiddleLinRGB(ink1, paper2));
  Palette->AddLinRGB(MiddleLinRGB(ink1, ink2));
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvPalette256 pair1, pair2;
  pair1.AddLinRGB(paper1);
  pair1.AddLinRGB(ink1);
  pair2.AddLinRGB(paper2);
  pair2.AddLinRGB(ink2);
  TKvBitmap* frame1 = LBitmap->AddFrame(&pair1);
  TKvBitmap* frame2 = LBitmap->AddFrame(&pair2);
  for (int y = 0; y < 192; ++y) {
    const int o = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      PutPlanes2x1(LBitmap.get(), frame1, frame2, f1.U8(o + c), f2.U8(o + c), 2 * c, y, 8);
      PutPlanes2x1(LBitmap.get(), frame1, frame2, f1.U8(ZxBitmapSize + o + c), f2.U8(ZxBitmapSize + o + c), 2 * c + 1,
                   y, 8);
    }
  }
  return LBitmap;
}

const std::vector<const TKvSourceEngineClass*>& TimexSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvTimexEngine>(),
      &SourceEngineClass<TKvTimexInterlacedEngine>(),
      &SourceEngineClass<TKvTimexBWEngine>(),
      &SourceEngineClass<TKvTimexBWGigaEngine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformTimex() {
  for (const TKvSourceEngineClass* c : TimexSourceEngineClasses()) RegisterSourceEngine(*c);
}
