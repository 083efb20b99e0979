// The two-frame and character-set importers: recognition, ranking, refusal
// of damaged files and decoding.
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

std::vector<uint8_t> Mgh(size_t ASize, uint8_t AHeight) {
  std::vector<uint8_t> d(ASize, 0x55);
  uint8_t h[MghHeaderSize];
  InitMghHeader(h, AHeight, 1);
  std::memcpy(d.data(), h, sizeof(h));
  return d;
}

std::vector<uint8_t> Chr(int AWidth, int AHeight, int APerChar, size_t ASize) {
  std::vector<uint8_t> d(ASize, 0);
  std::memcpy(d.data(), "chr$", 4);
  d[4] = static_cast<uint8_t>(AWidth);
  d[5] = static_cast<uint8_t>(AHeight);
  d[6] = static_cast<uint8_t>(APerChar);
  return d;
}

std::vector<uint8_t> Bsp(size_t ASize, const char* AMagic = "bsp") {
  std::vector<uint8_t> d(ASize, 0);
  std::memcpy(d.data(), AMagic, 3);
  d[3] = 0xC0;
  return d;
}

std::vector<uint8_t> Hlr() {
  std::vector<uint8_t> d(1628, 0);
  std::memcpy(d.data(), HlrViewerSignature, sizeof(HlrViewerSignature));
  return d;
}

TEST(KvZxGigaImporters, MghCellHeightFromSizeAndHeader) {
  TProbe mg4("x.mg4", Mgh(15616, 4));
  ASSERT_EQ(mg4.Classes(), std::vector<std::string>{"TKvZxSpectrumGigaMGEngine"});
  EXPECT_EQ(mg4.First()->MatchFlags, mfHeader | mfExtension | mfSize);
  EXPECT_EQ(mg4.First()->Description, "ZX Spectrum 256x192x8 gigascreen MG4 image");
  TProbe named8("x.mg8", Mgh(15616, 4));
  ASSERT_EQ(named8.Classes(), std::vector<std::string>{"TKvZxSpectrumGigaMGEngine"});
  EXPECT_EQ(named8.First()->MatchFlags, mfHeader | mfSize);
  // A height of 8 in the header needs 14080 bytes.
  EXPECT_TRUE(TProbe("x.mg4", Mgh(15616, 8)).Classes().empty());
  TProbe mg1("x.mg1", Mgh(19456, 1));
  ASSERT_EQ(mg1.Classes(), std::vector<std::string>{"TKvZxSpectrumGigaMG1Engine"});
  EXPECT_EQ(mg1.First()->Description, "ZX Spectrum 256x192x8 gigascreen MG1 image");
}

TEST(KvZxGigaImporters, DamagedFilesGiveNoCandidate) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Refused;
  } cases[] = {
      {"x.img", std::vector<uint8_t>(13823), "TKvZxSpectrumGigaEngine"},
      {"x.img", std::vector<uint8_t>(13825), "TKvZxSpectrumGigaEngine"},
      {"x.img", {}, "TKvZxSpectrumGigaEngine"},
      {"x.hlr", std::vector<uint8_t>(1628, 0x76), "TKvZxSpectrumHlrEngine"},
      {"x.hlr", [] { auto h = Hlr(); h.pop_back(); return h; }(), "TKvZxSpectrumHlrEngine"},
      {"x.ch$", Chr(32, 24, 8, 6150), "TKvZxSpectrumChrEngine"},
      {"x.ch$", Chr(32, 24, 7, 7000), "TKvZxSpectrumChrEngine"},
      {"x.ch$", Chr(0, 24, 8, 7000), "TKvZxSpectrumChrEngine"},
      {"x.ch$", Chr(2, 1, 9, 24), "TKvZxSpectrumChrEngine"},
      {"x.ch$", std::vector<uint8_t>{'c', 'h', 'r', '$', 1, 1, 8}, "TKvZxSpectrumChrEngine"},
      {"x.bsp", Bsp(20000, "BSP"), "TKvZxSpectrumBspEngine"},
      {"x.bsp", Bsp(13895), "TKvZxSpectrumBspEngine"},
      {"x.mg2", Mgh(18687, 2), "TKvZxSpectrumGigaMGEngine"},
      {"x.mg1", Mgh(19457, 1), "TKvZxSpectrumGigaMG1Engine"},
      {"x.stl", std::vector<uint8_t>(3073), "TKvZxSpectrumStlEngine"},
  };
  for (const Case& c : cases) {
    TProbe p(c.Name, c.Bytes);
    for (const std::string& n : p.Classes()) EXPECT_NE(n, c.Refused) << c.Name << " " << c.Bytes.size();
  }
  TProbe ok("x.ch$", Chr(32, 24, 8, 6151));
  ASSERT_EQ(ok.Classes(), std::vector<std::string>{"TKvZxSpectrumChrEngine"});
  EXPECT_EQ(ok.First()->MatchFlags, mfHeader | mfExtension | mfSize);
  EXPECT_TRUE(ok.First()->Decode());
}

TEST(KvZxGigaImporters, EqualFramesDecodeToUnmixedColours) {
  std::vector<uint8_t> d(13824);
  for (size_t i = 0; i < 6912; ++i) d[i] = d[6912 + i] = static_cast<uint8_t>(i * 37 + 11);
  TProbe p("x.img", d);
  TKvSourceEngine* e = p.First();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Description, "ZX Spectrum 256x192x8 gigascreen image");
  EXPECT_EQ(e->MixModes, 3);
  EXPECT_EQ(e->MixMode, 0);
  auto standard = e->Decode();
  std::vector<uint8_t> single(d.begin(), d.begin() + 6912);
  TProbe scr("x.scr", single);
  auto one = scr.First()->Decode();
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int v = standard->GetPixel(x, y);
      ASSERT_EQ(v / 16, v % 16);
      ASSERT_EQ(standard->GetFrames()->GetBitmap(0)->GetPixel(x, y), one->GetPixel(x, y));
      ASSERT_EQ(standard->GetFrames()->GetBitmap(1)->GetPixel(x, y), one->GetPixel(x, y));
    }
  e->MixMode = 1;
  auto linear = e->Decode();
  int paletteDiffs = 0;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) ASSERT_EQ(linear->GetPixel(x, y), standard->GetPixel(x, y));
  for (int i = 0; i < 256; ++i)
    if (!(linear->Palette->GetStdRGB(i) == standard->Palette->GetStdRGB(i))) ++paletteDiffs;
  EXPECT_GT(paletteDiffs, 0);
}

TEST(KvZxGigaImporters, CharacterSets) {
  // 2 x 1 colour characters: 16x8 pixels in 25 bytes.
  auto c = Chr(2, 1, 9, 25);
  c[7] = 0x80;                   // first character, top line: pixel (0, 0) ink
  c[7 + 8] = ZxAttribute(1, 6);  // paper blue, ink yellow
  c[16 + 8] = ZxAttribute(8, 15);
  TProbe p("x.ch$", c);
  ASSERT_TRUE(p.First());
  EXPECT_EQ(p.First()->Description, "ZX Spectrum 16x8x4 image");
  auto b = p.First()->Decode();
  ASSERT_EQ(b->Width, 16);
  EXPECT_EQ(b->GetPixel(0, 0), 6);
  EXPECT_EQ(b->GetPixel(1, 0), 1);
  EXPECT_EQ(b->GetPixel(9, 3), 8);
  // All-zero B/W characters are black.
  TProbe bw("x.ch$", Chr(1, 1, 8, 15));
  EXPECT_EQ(bw.First()->Description, "ZX Spectrum 8x8x1 B/W image");
  auto k = bw.First()->Decode();
  EXPECT_EQ(k->GetPixelStdRGB(3, 3), StdRGBColor(0, 0, 0));
  // Two-frame characters.
  auto g = Chr(1, 1, 18, 25);
  g[7] = 0xFF;                    // frame 1, top line: ink
  g[15] = ZxAttribute(0, 2);      // frame 1: ink red
  g[24] = ZxAttribute(4, 1);      // frame 2: paper green
  TProbe gp("x.ch$", g);
  EXPECT_EQ(gp.First()->Description, "ZX Spectrum 8x8x8 gigascreen image");
  auto gb = gp.First()->Decode();
  EXPECT_EQ(gb->GetPixel(0, 0), 2 * 16 + 4);
  EXPECT_EQ(gb->GetPixel(0, 1), 0 * 16 + 4);
}

TEST(KvZxGigaImporters, PatternsAttributesAndBorderScreens) {
  auto h = Hlr();
  h[84] = 0xF0;                 // line 0 of every cell: four ink pixels
  h[92 + 33] = ZxAttribute(1, 2);  // frame 1, cell (1, 1)
  h[860 + 33] = ZxAttribute(3, 4);
  TProbe hp("x.hlr", h);
  ASSERT_EQ(hp.First()->ClassType().GetClassName(), "TKvZxSpectrumHlrEngine");
  EXPECT_EQ(hp.First()->MatchFlags, mfHeader | mfExtension | mfSize);
  auto hb = hp.First()->Decode();
  EXPECT_EQ(hb->GetPixel(8, 8), 2 * 16 + 4);
  EXPECT_EQ(hb->GetPixel(12, 8), 1 * 16 + 3);
  EXPECT_EQ(hb->GetPixel(8, 9), 1 * 16 + 3);

  std::vector<uint8_t> s(3072, 0);
  s[64 + 4] = ZxAttribute(1, 2);  // row 1, group 1: frame-1 pair
  s[64 + 5] = ZxAttribute(3, 4);
  s[64 + 6] = ZxAttribute(5, 6);  // frame-2 pair
  s[64 + 7] = ZxAttribute(7, 0);
  TProbe sp("x.stl", s);
  ASSERT_EQ(sp.First()->ClassType().GetClassName(), "TKvZxSpectrumStlEngine");
  EXPECT_EQ(sp.First()->Description, "ZX Spectrum 64x48x8 gigascreen image");
  auto sb = sp.First()->Decode();
  EXPECT_EQ(sb->GetPixel(4, 1), 1 * 16 + 5);
  EXPECT_EQ(sb->GetPixel(5, 1), 2 * 16 + 6);
  EXPECT_EQ(sb->GetPixel(6, 1), 3 * 16 + 7);
  EXPECT_EQ(sb->GetPixel(7, 1), 4 * 16 + 0);
  EXPECT_EQ(sb->GetFrames()->GetBitmap(1)->GetPixel(6, 1), 7);

  auto b = Bsp(13896 + 10);
  std::memcpy(b.data() + 6, "Demo   ", 7);
  b[72 + 6144] = ZxAttribute(0, 5);  // frame 1, cell (0, 0)
  b[72] = 0x80;
  TProbe bp("x.bsp", b);
  ASSERT_EQ(bp.First()->ClassType().GetClassName(), "TKvZxSpectrumBspEngine");
  EXPECT_EQ(bp.First()->Comment, "Demo");
  EXPECT_EQ(bp.First()->Description, "ZX Spectrum 384x304x8 gigascreen image");
  auto bb = bp.First()->Decode();
  EXPECT_EQ(bb->GetPixel(64, 64), 5 * 16 + 0);
  EXPECT_EQ(bb->GetPixel(0, 0), 0);
  std::memcpy(b.data() + 38, "\xC9l\x8A", 3);
  TProbe both("x.bsp", b);
  EXPECT_EQ(both.First()->Comment, "Demo / \xC3\x89l\xC5\xA0");
}

}  // namespace
