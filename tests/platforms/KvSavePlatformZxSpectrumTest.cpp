#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "app/KvAppUnits.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformTimex.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Standard() { return DestEngineClass<TKvZxSpectrumEngine>(); }

TEST(KvSavePlatformZxSpectrum, ColorScreenLayoutAndMirror) {
  std::vector<uint8_t> d(6912, 0);
  TKvZxSpectrumColorScreen s(d.data());
  s.SetPixel(0, 8, 1);
  s.SetPixel(0, 1, 1);
  s.SetPixel(0, 64, 7);
  EXPECT_EQ(d[32], 0x80);
  EXPECT_EQ(d[256], 0x80);
  EXPECT_EQ(d[2048], 0x80);
  EXPECT_EQ(s.GetPixel(0, 64), 1);
  s.SetPixel(0, 64, 0);
  EXPECT_EQ(d[2048], 0);
  s.SetAttr(3, 2, 0x47);
  EXPECT_EQ(d[6144 + 2 * 32 + 3], 0x47);
  s.MirrorX = true;
  s.SetPixel(0, 0, 1);
  s.SetAttr(0, 23, 0x12);
  EXPECT_EQ(d[31], 0x01);
  EXPECT_EQ(d[6911], 0x12);
  EXPECT_EQ(s.GetAttr(0, 23), 0x12);
}

TEST(KvSavePlatformZxSpectrum, CandidateLists) {
  TKvPalette256 p;
  BuildZxSpectrumPalette(p, ptColoredLinear);
  struct {
    uint8_t Usage;
    int Count, FirstPaper, LastInk;
  } cases[] = {{0, 72, 0, 15}, {1, 36, 0, 7}, {2, 36, 0, 7}, {3, 36, 8, 15}};
  for (auto& c : cases) {
    TKvZxSpectrumColorPaletteList l(c.Usage, p);
    ASSERT_EQ(l.GetCount(), c.Count) << int(c.Usage);
    EXPECT_EQ(l.GetPalette(0)->IndexA, c.FirstPaper);
    EXPECT_EQ(l.GetPalette(c.Count - 1)->IndexB, c.LastInk);
    for (int i = 0; i < l.GetCount(); ++i) {
      const int a = l.GetPalette(i)->IndexA, b = l.GetPalette(i)->IndexB;
      EXPECT_EQ(a > 7, b > 7);  // never a normal colour with a bright one
      EXPECT_LE(a, b);
    }
  }
  TKvZxSpectrumColorPaletteList all(0, p);
  EXPECT_EQ(all.GetPalette(8)->IndexA, 0);  // (0, 1) after the singles
  EXPECT_EQ(all.GetPalette(8)->IndexB, 1);
  EXPECT_EQ(all.GetPalette(35)->IndexA, 6);
  EXPECT_EQ(all.GetPalette(35)->IndexB, 7);
  for (uint8_t u : {0, 1, 3}) {
    TKvZxSpectrumGrayPaletteList g(u, p);
    ASSERT_EQ(g.GetCount(), 5);
    EXPECT_EQ(g.GetPalette(3)->IndexA, 8);
    EXPECT_EQ(g.GetPalette(3)->IndexB, 15);
  }
  TKvZxSpectrumColorNoFlashPaletteList nf(p);
  EXPECT_EQ(nf.GetCount(), 136);
  EXPECT_EQ(nf.GetPalette(16)->IndexB, 1);
  EXPECT_EQ(nf.GetPalette(16 + 7)->IndexB, 8);  // a normal with a bright colour
  TKvZxSpectrumGrayNoFlashPaletteList gnf(p);
  ASSERT_EQ(gnf.GetCount(), 6);
  EXPECT_EQ(gnf.GetPalette(2)->IndexB, 15);
}

// Every 8x8 cell of a uniform picture takes one colour; the attribute bytes
// show how ink, paper and bright are packed.
TEST(KvSavePlatformZxSpectrum, AttributePackingOfUniformPictures) {
  struct {
    uint32_t Color;
    TKvColorUsage Usage;
    uint8_t Attr;
    bool BitsClear;
  } cases[] = {
      {0x000000, cuDarkAndBright, 0x00, true},
      {0xBCBCBC, cuDarkAndBright, 0x3F, false},  // normal white: (7, 7)
      {0xFFFFFF, cuDarkAndBright, 0x7F, false},  // bright white: (15, 15)
      {0xBC0000, cuDarkOnly, 0x12, false},       // red: (2, 2)
      {0xBC0000, cuDarkOnlyForceBright, 0x52, false},
      {0xFF0000, cuBrightOnly, 0x52, false},  // bright red
  };
  for (auto& c : cases) {
    auto pic = SolidPicture(256, 192, c.Color);
    auto r = ConvertPicture(Standard(), *pic, [&](TKvDestEngineOptions& o) { o.SetColorUsage(c.Usage); });
    ASSERT_EQ(r.Size(0), 6912);
    const uint8_t* d = r.Bytes(0);
    std::set<int> attrs(d + 6144, d + 6912);
    EXPECT_EQ(attrs, std::set<int>{c.Attr}) << std::hex << c.Color << " " << int(c.Usage);
    if (c.BitsClear) {
      EXPECT_EQ(std::count(d, d + 6144, 0), 6144);
    }
    // The preview shows what the machine shows.
    const int paper = (c.Attr >> 3 & 7) + (c.Attr & 0x40 ? 8 : 0), ink = (c.Attr & 7) + (c.Attr & 0x40 ? 8 : 0);
    const int v = r.Preview->GetPixel(100, 100);
    EXPECT_TRUE(v == paper || v == ink) << v;
  }
}

TEST(KvSavePlatformZxSpectrum, ColourUsageRules) {
  auto pic = GradientPicture(256, 192);
  for (TKvColorUsage u : {cuDarkOnly, cuDarkOnlyForceBright, cuBrightOnly}) {
    auto r = ConvertPicture(Standard(), *pic, [&](TKvDestEngineOptions& o) { o.SetColorUsage(u); });
    const uint8_t* d = r.Bytes(0);
    for (int i = 6144; i < 6912; ++i) {
      ASSERT_EQ((d[i] & 0x40) != 0, u != cuDarkOnly) << int(u) << " " << i;
      ASSERT_EQ(d[i] & 0x80, 0);
    }
    if (u == 2) {
      for (int y = 0; y < 192; y += 7)
        for (int x = 0; x < 256; x += 5) ASSERT_GE(r.Preview->GetPixel(x, y), 8);
    }
  }
}

TEST(KvSavePlatformZxSpectrum, GrayModeUsesTheFourGrays) {
  auto pic = GradientPicture(256, 192, 7);
  auto r = ConvertPicture(Standard(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  const uint8_t* d = r.Bytes(0);
  for (int i = 6144; i < 6912; ++i) {
    const int ink = d[i] & 7, paper = (d[i] >> 3) & 7;
    ASSERT_TRUE(ink == 0 || ink == 7) << i;
    ASSERT_TRUE(paper == 0 || paper == 7) << i;
  }
  TKvPalette256* p = r.Options->GetPalette();
  ASSERT_EQ(p->GetCount(), 4);
  for (int i = 0; i < 4; ++i) {
    const TKvStdRGBColor c = p->GetStdRGB(i);
    EXPECT_TRUE(c.R == c.G && c.G == c.B);
  }
}

TEST(KvSavePlatformZxSpectrum, BlackAndWhiteMode) {
  auto white = SolidPicture(256, 192, 0xFFFFFF);
  auto black = SolidPicture(256, 192, 0x000000);
  auto rw = ConvertPicture(Standard(), *white, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  auto rb = ConvertPicture(Standard(), *black, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(rw.Streams->GetCount(), 1);
  ASSERT_EQ(rw.Size(0), 6144);
  EXPECT_EQ(std::count(rw.Bytes(0), rw.Bytes(0) + 6144, 0), 6144);
  EXPECT_EQ(std::count(rb.Bytes(0), rb.Bytes(0) + 6144, 0xFF), 6144);
}

TEST(KvSavePlatformZxSpectrum, MulticolourFiles) {
  // 8x1 cells are too small to pay for parallel candidate searches.
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 192, 3);
  // The layout does not depend on the colours: the gray mode's five
  // candidates keep the test quick.
  auto gray = [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); };
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiColor1Engine>(), *pic, gray);
  ASSERT_EQ(r.Streams->GetCount(), 2);
  EXPECT_EQ(r.Streams->GetExtension(0), "mlt");
  EXPECT_EQ(r.Streams->GetExtension(1), "mc");
  ASSERT_EQ(r.Size(0), 12288);
  ASSERT_EQ(r.Size(1), 12288);
  const uint8_t* mlt = r.Bytes(0);
  const uint8_t* mc = r.Bytes(1);
  EXPECT_EQ(std::memcmp(mlt + 6144, mc + 6144, 6144), 0);
  for (int y = 0; y < 192; ++y) ASSERT_EQ(std::memcmp(mlt + ZxRowOffset(y), mc + y * 32, 32), 0) << y;
  EXPECT_EQ(std::memcmp(mlt + 256, mc + 32, 32), 0);

  // 8x2: the attributes of cell row 95 are the last 32 bytes.
  auto pic2 = SolidPicture(256, 192, 0x0000BC);
  for (int y = 190; y < 192; ++y)
    for (int x = 0; x < 256; ++x) *pic2->GetPixelPtr(x, y) = 0xFFBCBC00u;  // yellow
  auto r2 = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiColor2Engine>(), *pic2,
                           [](TKvDestEngineOptions& o) { o.SetColorUsage(cuDarkOnly); });
  ASSERT_EQ(r2.Size(0), 9216);
  EXPECT_EQ(r2.Streams->GetExtension(0), "ifl");
  EXPECT_EQ(r2.Bytes(0)[6144 + 94 * 32], ZxAttribute(1, 1));
  for (int i = 9184; i < 9216; ++i) ASSERT_EQ(r2.Bytes(0)[i], ZxAttribute(6, 6)) << i;
}

TEST(KvSavePlatformZxSpectrum, InterlacedMulticolourScreen) {
  std::vector<uint8_t> d(24576, 0);
  TKvZxSpectrumMultiColor1InterlacedScreen s(256, 384, d.data());
  s.SetPixel(0, 1, 1);
  s.SetAttr(0, 1, 0x11);
  s.SetPixel(0, 2, 1);
  s.SetAttr(0, 2, 0x22);
  EXPECT_EQ(d[12288], 0x80);
  EXPECT_EQ(d[12288 + 6144], 0x11);
  EXPECT_EQ(d[256], 0x80);
  EXPECT_EQ(d[6144 + 256], 0x22);
}

TEST(KvSavePlatformZxSpectrum, Tricolour) {
  auto pic = SolidPicture(256, 192, 0xFFFFFF);
  *pic->GetPixelPtr(8, 0) = 0xFFFFFF00u;  // bright yellow
  *pic->GetPixelPtr(16, 0) = 0xFF000000u;
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumTricolorEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetErrorDiffusion(0); });
  ASSERT_EQ(r.Size(0), 18432);
  EXPECT_EQ(r.Streams->GetExtension(0), "rgb");
  const uint8_t* d = r.Bytes(0);
  for (int plane = 0; plane < 3; ++plane) EXPECT_EQ(d[plane * 6144], 0xFF);
  EXPECT_EQ(d[1], 0xFF);
  EXPECT_EQ(d[6144 + 1], 0xFF);
  EXPECT_EQ(d[12288 + 1], 0x7F);  // only the yellow pixel lacks blue
  for (int plane = 0; plane < 3; ++plane) EXPECT_EQ(d[plane * 6144 + 2], 0x7F);  // black pixel 16
  EXPECT_EQ(r.Preview->GetPixel(8, 0), 6);
  EXPECT_EQ(r.Options->GetPalette()->GetStdRGB(6), StdRGBColor(255, 255, 0));
  std::vector<uint8_t> buf(18432, 0);
  TKvZxSpectrumTricolorScreen s(buf.data());
  s.SetPixel(3, 5, 5);
  EXPECT_EQ(s.GetPixel(3, 5), 5);
}

TEST(KvSavePlatformZxSpectrum, SameBytesOnOneAndManyProcessors) {
  auto pic = GradientPicture(256, 192, 11);
  std::vector<uint8_t> one, many;
  {
    TKvProcessorCountOverride o(1);
    auto r = ConvertPicture(Standard(), *pic);
    one.assign(r.Bytes(0), r.Bytes(0) + 6912);
  }
  {
    TKvProcessorCountOverride o(4);
    auto r = ConvertPicture(Standard(), *pic);
    many.assign(r.Bytes(0), r.Bytes(0) + 6912);
  }
  EXPECT_EQ(one, many);
}

TEST(KvSavePlatformZxSpectrum, ModeListsInOrder) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int zx = l.IndexOf("ZX Spectrum");
  const int tx = l.IndexOf("Timex");
  // The Timex unit starts before the ZX Spectrum unit, after "Common".
  EXPECT_EQ(l.IndexOf("Common"), 0);
  ASSERT_GE(tx, 1);
  ASSERT_GT(zx, tx);
  std::vector<std::string> modes;
  for (int i = 0; i < l.GetSubTypes(zx).GetCount(); ++i) modes.push_back(l.GetSubTypes(zx).GetString(i));
  EXPECT_EQ(modes, (std::vector<std::string>{"256x192x4", "256x384x4 Interlaced v1", "256x384x4 Interlaced v2",
                                             "256x192x4 Multicolor 8x1", "256x192x4 Multicolor 8x2",
                                             "256x192x4 B/W Giga", "256x192x4 Giga", "256x192x4 MultiGiga 8x4",
                                             "256x192x4 MultiGiga 8x2", "256x192x4 MultiGiga 8x1",
                                             "256x192x3 Tricolor"}));
  modes.clear();
  for (int i = 0; i < l.GetSubTypes(tx).GetCount(); ++i) modes.push_back(l.GetSubTypes(tx).GetString(i));
  EXPECT_EQ(modes, (std::vector<std::string>{"256x192x4", "256x384x4 Interlaced", "512x192x1", "512x192x2"}));
}

TEST(KvSavePlatformTimex, Files) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 192, 5);
  auto gray = [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); };
  auto r = ConvertPicture(DestEngineClass<TKvTimexExtendedEngine>(), *pic, gray);
  auto m = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiColor1Engine>(), *pic, gray);
  ASSERT_EQ(r.Size(0), 12288);
  // Same bitmap as ".mlt"; the attribute rows follow the bitmap's interleave.
  EXPECT_EQ(std::memcmp(r.Bytes(0), m.Bytes(0), 6144), 0);
  for (int y = 0; y < 192; ++y)
    ASSERT_EQ(std::memcmp(r.Bytes(0) + 6144 + ZxRowOffset(y), m.Bytes(0) + 6144 + y * 32, 32), 0) << y;

  auto pic384 = GradientPicture(256, 384, 5);
  auto li = ConvertPicture(DestEngineClass<TKvTimexExtendedInterlacedEngine>(), *pic384, gray);
  EXPECT_EQ(li.Options->GetHeight(), 384);
  EXPECT_EQ(li.Options->PixelAspect, 17);
  ASSERT_EQ(li.Size(0), 24576);
  EXPECT_EQ(li.Streams->GetExtension(0), "lce");

  auto white = SolidPicture(512, 192, 0xFFFFFF);
  auto mono = ConvertPicture(DestEngineClass<TKvTimexMonoEngine>(), *white);
  EXPECT_EQ(mono.Options->PixelAspect, 1);
  ASSERT_EQ(mono.Size(0), 12289);
  EXPECT_EQ(std::count(mono.Bytes(0), mono.Bytes(0) + 12289, 0), 12289);
  auto black = SolidPicture(512, 192, 0);
  auto mb = ConvertPicture(DestEngineClass<TKvTimexMonoEngine>(), *black);
  EXPECT_EQ(std::count(mb.Bytes(0), mb.Bytes(0) + 12288, 0xFF), 12288);
  EXPECT_EQ(mb.Bytes(0)[12288], 0);

  // Two frames: white stays light in both, so both images are clear.
  auto m2 = ConvertPicture(DestEngineClass<TKvTimexMono2Engine>(), *white);
  ASSERT_EQ(m2.Size(0), 24578);
  EXPECT_EQ(m2.Streams->GetExtension(0), "hgr");
  EXPECT_EQ(std::count(m2.Bytes(0), m2.Bytes(0) + 24578, 0), 24578);
  auto b2 = ConvertPicture(DestEngineClass<TKvTimexMono2Engine>(), *black);
  EXPECT_EQ(std::count(b2.Bytes(0), b2.Bytes(0) + 12288, 0xFF), 12288);
  EXPECT_EQ(std::count(b2.Bytes(0) + 12289, b2.Bytes(0) + 24577, 0xFF), 12288);
  EXPECT_EQ(b2.Bytes(0)[12288], 0);
  EXPECT_EQ(b2.Bytes(0)[24577], 0);
}

TEST(KvSavePlatformZxSpectrum, OptionPanels) {
  auto kinds = [](const TKvDestEngineClass& c) {
    auto e = c.Create();
    auto o = e->CreateOptions();
    auto ui = e->CreateUI(o.get());
    std::vector<std::pair<TKvPanelSectionKind, uint32_t>> r;
    for (auto& s : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections()) r.push_back({s.Kind, s.Set});
    return r;
  };
  using K = TKvPanelSectionKind;
  auto std = kinds(Standard());
  ASSERT_EQ(std.size(), 4u);
  EXPECT_EQ(std[0].first, K::Position);
  EXPECT_EQ(std[1], std::make_pair(K::ZxPalette, 2051u));
  EXPECT_EQ(std[2].first, K::ColorUsage);
  EXPECT_EQ(std[3].first, K::Dithering);
  auto mc = kinds(DestEngineClass<TKvZxSpectrumMultiColor2Engine>());
  ASSERT_EQ(mc.size(), 4u);
  EXPECT_EQ(mc[1], std::make_pair(K::ZxPalette, 2050u));
  auto tri = kinds(DestEngineClass<TKvZxSpectrumTricolorEngine>());
  ASSERT_EQ(tri.size(), 2u);
  EXPECT_EQ(tri[1].first, K::Dithering);
}

TEST(KvSavePlatformTimex, ScreensAndFlickerPalette) {
  std::vector<uint8_t> d(12289, 0);
  TKvTimexMonoScreen s(d.data());
  s.SetPixel(8, 0, 0);
  s.SetPixel(16, 0, 0);
  EXPECT_EQ(d[6144], 0x80);
  EXPECT_EQ(d[1], 0x80);
  EXPECT_EQ(s.GetPixel(8, 0), 0);
  EXPECT_EQ(s.GetPixel(9, 0), 1);

  std::vector<uint8_t> d2(24578, 0);
  TKvTimexMono2Screen s2(d2.data());
  s2.SetPixel(0, 0, 1);  // dark in frame 1, light in frame 2
  EXPECT_EQ(d2[0], 0x80);
  EXPECT_EQ(d2[12289], 0x00);
  s2.SetPixel(0, 0, 2);
  EXPECT_EQ(d2[0], 0x00);
  EXPECT_EQ(d2[12289], 0x80);

  TKvPalette256 p;
  BuildTimexFlickerPalette(1, 1, 100, p, true);
  ASSERT_EQ(p.GetCount(), 3);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(255, 255, 255));
  BuildTimexFlickerPalette(1, 1, 40, p, true);
  EXPECT_EQ(p.GetCount(), 2);
  BuildTimexFlickerPalette(1, 1, 40, p, false);
  ASSERT_EQ(p.GetCount(), 4);
  EXPECT_TRUE(p.Colors[1].Skip);
  EXPECT_FALSE(p.Colors[0].Skip);
  BuildTimexFlickerPalette(0, 1, 100, p, true);
  EXPECT_EQ(p.GetCount(), 0);
}

}  // namespace
