#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvBitmap.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

// The ZX Spectrum unit's importers only, in unit order.
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, TKvTestBytes ABytes)
      : TKvProbe(AName, std::move(ABytes), ZxSpectrumSourceEngineClasses()) {}
};

using Names = std::vector<std::string>;

TEST(KvOpenPlatformZxSpectrum, ProbeRanksBySizeAndExtension) {
  struct Case {
    const char* Name;
    size_t Size;
    Names Expected;
  } cases[] = {
      {"a.dat", 6144, {"TKvZxSpectrumBWEngine", "TKvZxSpectrumMulticolorMTLEngine"}},
      {"a.mtl", 6144, {"TKvZxSpectrumMulticolorMTLEngine", "TKvZxSpectrumBWEngine"}},
      {"a.scr", 6912, {"TKvZxSpectrumColorEngine", "TKvZxSpectrumFlashColorEngine"}},
      {"a.flash.scr", 6912, {"TKvZxSpectrumFlashColorEngine", "TKvZxSpectrumColorEngine"}},
      {"A.FLASH.SCR", 6912, {"TKvZxSpectrumFlashColorEngine", "TKvZxSpectrumColorEngine"}},
      {"a.dat", 6912, {"TKvZxSpectrumColorEngine", "TKvZxSpectrumFlashColorEngine"}},
      {"a.dat", 12288,
       {"TKvZxSpectrumMulticolorMLTEngine", "TKvZxSpectrumMulticolorMCEngine", "TKvZxSpectrumBWGigaEngine"}},
      {"a.mc", 12288,
       {"TKvZxSpectrumMulticolorMCEngine", "TKvZxSpectrumMulticolorMLTEngine", "TKvZxSpectrumBWGigaEngine"}},
      {"a.lcm", 12288,
       {"TKvZxSpectrumBWGigaEngine", "TKvZxSpectrumMulticolorMLTEngine", "TKvZxSpectrumMulticolorMCEngine"}},
      {"a.img", 13824, {"TKvZxSpectrumGigaEngine", "TKvZxSpectrumColorInterlacedEngine"}},
      {"a.lce", 13824, {"TKvZxSpectrumColorInterlacedEngine", "TKvZxSpectrumGigaEngine"}},
      {"a.dat", 13824, {"TKvZxSpectrumGigaEngine", "TKvZxSpectrumColorInterlacedEngine"}},
      {"a.dat", 3072, {"TKvZxSpectrumMulticolor2AFLEngine", "TKvZxSpectrumStlEngine"}},
      {"a.stl", 3072, {"TKvZxSpectrumStlEngine", "TKvZxSpectrumMulticolor2AFLEngine"}},
      {"a.3", 18432, {"TKvZxSpectrumTricolorSourceEngine"}},
      {"a.rgb", 18432, {"TKvZxSpectrumTricolorSourceEngine"}},
      {"a.scr", 6913, {}},
      {"a.scr", 6911, {}},
      {"a.scr", 0, {}},
      {"a.scr", 200000, {}},
  };
  for (const Case& c : cases) {
    TProbe p(c.Name, std::vector<uint8_t>(c.Size, 0x55));
    EXPECT_EQ(p.Classes(), c.Expected) << c.Name << " " << c.Size;
  }
  TProbe scr("a.scr", std::vector<uint8_t>(6912));
  EXPECT_EQ(scr.List->GetEngine(0)->Rank, scr.List->GetEngine(1)->Rank);
  EXPECT_EQ(scr.First()->Description, "ZX Spectrum 256x192x4 image");
  TProbe flash("x.flash.scr", std::vector<uint8_t>(6912));
  EXPECT_EQ(flash.First()->MatchFlags, mfSize | mfExtension | mfName);
  EXPECT_EQ(flash.First()->Description, "ZX Spectrum 256x192x4 FlashColor image");
}

TEST(KvOpenPlatformZxSpectrum, ColorScreenDecodesInkAndPaper) {
  std::vector<uint8_t> d(6912, 0);
  d[ZxRowOffset(9)] = 0x80;           // pixel (0, 9): cell row 1
  d[6144 + 32] = ZxAttribute(1, 6);   // paper blue, ink yellow
  d[6144 + 33] = 0x47 | 0x80;         // flash ignored: bright black paper, bright white ink
  d[ZxRowOffset(8) + 1] = 0x01;       // pixel (15, 8)
  TProbe p("a.scr", d);
  auto* e = dynamic_cast<TKvZxSpectrumColorEngine*>(p.First());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->PaletteType, ptColoredLinear);
  EXPECT_EQ(e->PaletteTypes, (std::vector<TKvPaletteType>{ptPulsar, ptColoredLinear, ptAlone}));
  auto b = e->Decode();
  ASSERT_EQ(b->BitCount, 4);
  EXPECT_EQ(b->GetPixel(0, 9), 6);
  EXPECT_EQ(b->GetPixel(1, 9), 1);
  EXPECT_EQ(b->GetPixel(15, 8), 15);
  EXPECT_EQ(b->GetPixel(14, 8), 8);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  TKvPalette256 ref;
  BuildZxSpectrumPalette(ref, ptColoredLinear);
  EXPECT_TRUE(b->Palette->SameColors(&ref));
  // A new palette kind rebuilds the palette on the next decode.
  e->PaletteType = ptAlone;
  b = e->Decode();
  BuildZxSpectrumPalette(ref, ptAlone);
  EXPECT_TRUE(b->Palette->SameColors(&ref));
}

TEST(KvOpenPlatformZxSpectrum, BlackAndWhiteScreen) {
  std::vector<uint8_t> d(6144, 0);
  d[ZxRowOffset(100) + 3] = 0x81;
  TProbe p("a.scr", d);
  ASSERT_EQ(p.Classes().at(0), "TKvZxSpectrumBWEngine");
  EXPECT_EQ(p.First()->Description, "ZX Spectrum 256x192x1 B/W image");
  auto b = p.First()->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(b->GetPixel(0, 0)), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixel(24, 100), 1);
  EXPECT_EQ(b->GetPixel(31, 100), 1);
  EXPECT_EQ(b->GetPixel(25, 100), 0);
  EXPECT_EQ(p.First()->Palette->GetStdRGB(1), StdRGBColor(0, 0, 0));
}

TEST(KvOpenPlatformZxSpectrum, FlashCells) {
  std::vector<uint8_t> d(6912, 0);
  d[0] = 0xF0;
  d[6144] = 0xC7;  // flash, bright, ink 7, paper 0
  d[6145] = 0x0E;  // paper 1, ink 6
  d[1] = 0xF0;
  TProbe p("a.flash.scr", d);
  auto b = p.First()->Decode();
  TKvPalette256 flash;
  BuildZxFlashPalette(flash, ptColoredLinear, 0);
  EXPECT_EQ(b->GetPixel(0, 0), 8 * 16 + 15);
  EXPECT_EQ(b->GetPixel(7, 0), 0);
  EXPECT_EQ(b->GetPixel(8, 0), 6 * 17);
  EXPECT_EQ(b->GetPixel(15, 0), 1 * 17);
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), flash.GetStdRGB(8 * 16 + 15));
}

TEST(KvOpenPlatformZxSpectrum, MulticolourLayouts) {
  // Row 1, byte 0 set; attribute of row 1 column 0 = paper 2, ink 5.
  std::vector<uint8_t> mlt(12288, 0), mc(12288, 0), ifl(9216, 0);
  mlt[256] = 0xFF;
  mc[32] = 0xFF;
  ifl[256] = 0xFF;
  mlt[6144 + 32] = mc[6144 + 32] = ZxAttribute(2, 5);
  ifl[6144] = ZxAttribute(2, 5);  // rows 0 and 1 share the 8x2 cell
  ifl[6144 + 9216 - 6144 - 32] = ZxAttribute(3, 4);  // cell row 95
  for (auto& [name, bytes] : std::vector<std::pair<std::string, std::vector<uint8_t>>>{
           {"a.mlt", mlt}, {"a.mc", mc}, {"a.ifl", ifl}}) {
    TProbe p(name, bytes);
    ASSERT_TRUE(p.First()) << name;
    EXPECT_EQ(p.First()->Description, "ZX Spectrum 256x192x4 multicolor image");
    auto b = p.First()->Decode();
    EXPECT_EQ(b->GetPixel(3, 1), 5) << name;
    EXPECT_EQ(b->GetPixel(9, 1), 0) << name;
    EXPECT_EQ(b->GetPixel(3, 0), name == "a.ifl" ? 2 : 0) << name;
    if (name == "a.ifl") {
      EXPECT_EQ(b->GetPixel(0, 191), 3);
    }
  }
}

TEST(KvOpenPlatformZxSpectrum, AttributePicturesAndAtr) {
  std::vector<uint8_t> mtl(6144, 0), afl(3072, 0), atr(768, 0);
  mtl[5 * 32 + 2] = ZxAttribute(9, 12);
  afl[95 * 32 + 31] = ZxAttribute(3, 4);
  atr[32 + 1] = ZxAttribute(1, 2);
  TProbe pm("a.mtl", mtl), pa("a.afl", afl), pt("a.atr", atr);
  EXPECT_EQ(pm.First()->PixelAspect, 20);
  EXPECT_EQ(pa.First()->PixelAspect, 17);
  EXPECT_EQ(pm.First()->Description, "ZX Spectrum 64x192x4 multicolor image");
  auto bm = pm.First()->Decode();
  EXPECT_EQ(bm->Width, 64);
  EXPECT_EQ(bm->GetPixel(4, 5), 9);
  EXPECT_EQ(bm->GetPixel(5, 5), 12);
  auto ba = pa.First()->Decode();
  EXPECT_EQ(ba->Height, 96);
  EXPECT_EQ(ba->GetPixel(62, 95), 3);
  EXPECT_EQ(ba->GetPixel(63, 95), 4);
  auto bt = pt.First()->Decode();
  // Cell (1, 1): line 0 is 0x55 (ink on odd columns), line 1 is 0xAA.
  EXPECT_EQ(bt->GetPixel(8, 8), 1);
  EXPECT_EQ(bt->GetPixel(9, 8), 2);
  EXPECT_EQ(bt->GetPixel(8, 9), 2);
  EXPECT_EQ(bt->GetPixel(9, 9), 1);
}

TEST(KvOpenPlatformZxSpectrum, InterlacedFrames) {
  std::vector<uint8_t> d(13824, 0);
  d[6144] = ZxAttribute(0, 2);
  d[6912 + ZxRowOffset(0)] = 0x80;
  d[6912 + 6144] = ZxAttribute(0, 4);
  TProbe p("a.lce", d);
  auto* e = p.First();
  EXPECT_EQ(e->Description, "ZX Spectrum 256x384x4 interlaced image");
  EXPECT_EQ(e->PixelAspect, 17);
  auto b = e->Decode();
  EXPECT_EQ(b->Height, 384);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->GetPixel(0, 1), 4);
}

TEST(KvOpenPlatformZxSpectrum, TricolourExtensions) {
  std::vector<uint8_t> all(18432, 0xFF), first(18432, 0);
  std::memset(first.data(), 0xFF, 6144);
  for (const char* n : {"a.3", "a.rgb"}) {
    TProbe p(n, all);
    EXPECT_EQ(p.First()->Description, "ZX Spectrum 256x192x3 tricolor image");
    EXPECT_EQ(p.First()->Decode()->GetPixelStdRGB(10, 10), StdRGBColor(255, 255, 255)) << n;
  }
  TProbe p3("a.3", first), prgb("a.rgb", first);
  EXPECT_EQ(p3.First()->Decode()->GetPixelStdRGB(0, 0), StdRGBColor(0, 0, 255));
  EXPECT_EQ(prgb.First()->Decode()->GetPixelStdRGB(0, 0), StdRGBColor(255, 0, 0));
}

TEST(KvOpenPlatformZxSpectrum, BorderScreens) {
  std::vector<uint8_t> bsc(11136, 0), bmc(11904, 0);
  bsc[6912] = 0x0A;                    // top line 0: 8 px colour 2, 8 px colour 1
  bsc[6912 + 1536] = 0x03;             // middle line 64, left part
  bsc[6912 + 1536 + 4] = 0x3C;         // middle line 64, x = 320: colour 4, then 7
  bsc[6912 + 1536 + 1536 + 1151] = 0x05;  // last bottom byte: x = 368..375 colour 5
  bsc[0] = 0x80;
  bsc[6144] = ZxAttribute(0, 6);
  TProbe p("a.bsc", bsc);
  EXPECT_EQ(p.First()->Description, "ZX Spectrum 384x304x4 image");
  auto b = p.First()->Decode();
  EXPECT_EQ(b->BitCount, 8);
  EXPECT_EQ(b->GetPixel(0, 0), 2);
  EXPECT_EQ(b->GetPixel(7, 0), 2);
  EXPECT_EQ(b->GetPixel(8, 0), 1);
  EXPECT_EQ(b->GetPixel(15, 0), 1);
  EXPECT_EQ(b->GetPixel(0, 64), 3);
  EXPECT_EQ(b->GetPixel(320, 64), 4);
  EXPECT_EQ(b->GetPixel(328, 64), 7);
  EXPECT_EQ(b->GetPixel(368, 303), 5);
  EXPECT_EQ(b->GetPixel(64, 64), 6);
  EXPECT_EQ(b->GetPixel(65, 64), 0);

  bmc[0] = 0xFF;                 // line 0
  bmc[ZxRowOffset(4)] = 0xFF;    // line 4
  bmc[6144] = ZxAttribute(0, 3);
  bmc[6912] = ZxAttribute(0, 5);
  TProbe q("a.bmc4", bmc);
  auto c = q.First()->Decode();
  EXPECT_EQ(c->GetPixel(64, 64), 3);
  EXPECT_EQ(c->GetPixel(64, 68), 5);
}

TEST(KvOpenPlatformZxSpectrum, NextPictures) {
  std::vector<uint8_t> nxi(49664, 0), sl2(49152, 0);
  // Entry 1: red 7, green 0, blue 3 (low bits 01 of the first byte, bit 0 of the second).
  nxi[2] = static_cast<uint8_t>((7 << 5) | 1);
  nxi[3] = 1;
  nxi[512 + 191 * 256 + 255] = 1;
  TProbe p("a.nxi", nxi);
  EXPECT_EQ(p.First()->Description, "ZX Spectrum Next 256x192x8 image");
  auto b = p.First()->Decode();
  EXPECT_EQ(b->GetPixel(255, 191), 1);
  EXPECT_EQ(b->GetPixelStdRGB(255, 191), StdRGBColor(255, 0, 109));

  sl2[0] = 0xFF;
  sl2[1] = 2;
  TProbe q("a.sl2", sl2);
  auto c = q.First()->Decode();
  EXPECT_EQ(c->GetPixelStdRGB(0, 0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(c->GetPixelStdRGB(1, 0), StdRGBColor(0, 0, 182));
}

}  // namespace

#include "app/KvAppUnits.h"

namespace {

TEST(KvOpenPlatformZxSpectrum, UnitRegistersItsClassesInOrder) {
  InitializeAppCore();
  // The registry is shared by the whole test program: put it back as it was,
  // or later probes would see every ZX reading twice.
  const std::vector<const TKvSourceEngineClass*> saved = SourceEngineClasses();
  struct TRestore {
    const std::vector<const TKvSourceEngineClass*>& Classes;
    ~TRestore() {
      InitKvSourceEngines();
      for (const TKvSourceEngineClass* c : Classes) RegisterSourceEngine(*c);
    }
  } restore{saved};
  const size_t before = saved.size();
  InitKvOpenPlatformZxSpectrum();
  const auto& all = SourceEngineClasses();
  const auto& mine = ZxSpectrumSourceEngineClasses();
  ASSERT_EQ(all.size(), before + mine.size());
  for (size_t i = 0; i < mine.size(); ++i) EXPECT_EQ(all[before + i], mine[i]);
  // The probe over the registry finds a standard screen.
  std::vector<uint8_t> d(6912, 0);
  TKvMemoryLoadSource src("x.scr", d.data(), 6912, false);
  auto list = src.FindEngines();
  ASSERT_GT(list->GetCount(), 0);
  EXPECT_EQ(list->GetEngine(0)->ClassType().GetClassName(), "TKvZxSpectrumColorEngine");
}

}  // namespace
