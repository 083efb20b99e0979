#include <gtest/gtest.h>

#include "importers/KvOpenPlatformAppleII.h"
#include "importers/KvOpenPlatformOric.h"
#include "KvTestHarness.h"

namespace {

TEST(KvOpenPlatformAppleII, MatchesBySizeAndExtension) {
  struct Case {
    const char* Name;
    size_t Size;
    TKvMatchFlags Flags;
  } cases[] = {{"a.hgr", 8192, mfSize | mfExtension}, {"a.HGR", 8192, mfSize | mfExtension},
               {"a.bin", 8192, mfSize},
               {"a.hgr", 8191, 0},
               {"a.hgr", 8193, 0},
               {"a.hgr", 0, 0}};
  for (const Case& c : cases) {
    TKvProbe p(c.Name, std::vector<uint8_t>(c.Size, 0xFF));
    EXPECT_EQ(p.Flags("TKvAppleIIEngine"), c.Flags) << c.Name << " " << c.Size;
  }
  TKvProbe p("a.hgr", std::vector<uint8_t>(8192));
  EXPECT_EQ(p.Find("TKvAppleIIEngine")->Description, "Apple II 280x192x1 B/W image");
}

TEST(KvOpenPlatformAppleII, InterleavedLinesSevenPixelsPerByteBit7Ignored) {
  std::vector<uint8_t> d(8192, 0);
  d[0] = 0x81;          // line 0: pixel 0 only
  d[1024 + 1] = 0x40;   // line 1, byte 1, bit 6: pixel 13
  d[128 + 39] = 0x7F;   // line 8, last byte: pixels 273..279
  d[40] = 0x02;         // line 64: pixel 1
  d[120] = 0xFF;        // outside every line span: not read
  TKvProbe p("a.hgr", d);
  auto b = p.Find("TKvAppleIIEngine")->Decode();
  ASSERT_EQ(b->BitCount, 1);
  ASSERT_EQ(b->Width, 280);
  ASSERT_EQ(b->Height, 192);
  EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(255, 255, 255));
  int set = 0;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 280; ++x) set += b->GetPixel(x, y);
  EXPECT_EQ(set, 1 + 1 + 7 + 1);
  EXPECT_EQ(b->GetPixel(0, 0), 1);
  EXPECT_EQ(b->GetPixel(13, 1), 1);
  EXPECT_EQ(b->GetPixel(273, 8), 1);
  EXPECT_EQ(b->GetPixel(279, 8), 1);
  EXPECT_EQ(b->GetPixel(1, 64), 1);
  EXPECT_EQ(AppleIILineOffset(191), 7 * 1024 + 7 * 128 + 2 * 40);
}

TEST(KvOpenPlatformOric, MatchesBySizeAndExtension) {
  struct Case {
    const char* Name;
    size_t Size;
    TKvMatchFlags Flags;
  } cases[] = {{"a.hir", 8000, mfSize | mfExtension}, {"a.hrs", 8000, mfSize | mfExtension},
               {"a.pic", 8000, mfSize},
               {"a.hir", 7999, 0},
               {"a.hir", 8001, 0}};
  for (const Case& c : cases) {
    TKvProbe p(c.Name, std::vector<uint8_t>(c.Size, 0x40));
    EXPECT_EQ(p.Flags("TKvOricEngine"), c.Flags) << c.Name << " " << c.Size;
  }
  TKvProbe p("a.hir", std::vector<uint8_t>(8000, 0x40));
  EXPECT_EQ(p.Find("TKvOricEngine")->Description, "Oric 240x200x3 image");
}

TEST(KvOpenPlatformOric, SerialAttributesPerLine) {
  std::vector<uint8_t> d(8000, 0x40);  // blank bitmap bytes: paper
  // Line 0: ink red, six set bits, inverted empty bitmap byte, "no change"
  // attribute, paper blue, six set bits, inverted paper attribute.
  const uint8_t line0[] = {0x01, 0x7F, 0xC0, 0x08, 0x14, 0x55, 0x94};
  std::copy(std::begin(line0), std::end(line0), d.begin());
  d[40] = 0x7F;  // line 1: ink back to white
  TKvProbe p("a.hir", d);
  auto b = p.Find("TKvOricEngine")->Decode();
  ASSERT_EQ(b->BitCount, 4);
  ASSERT_EQ(b->Palette->GetCount(), 8);
  const TKvStdRGBColor expectedColours[8] = {{0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                             {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b->Palette->GetStdRGB(i), expectedColours[i]) << i;
  auto row = [&](int y, int from) {
    std::vector<int> r;
    for (int i = 0; i < 6; ++i) r.push_back(b->GetPixel(from + i, y));
    return r;
  };
  using V = std::vector<int>;
  EXPECT_EQ(row(0, 0), V(6, 0));               // attribute: paper
  EXPECT_EQ(row(0, 6), V(6, 1));               // red ink
  EXPECT_EQ(row(0, 12), V(6, 7));              // inverted paper 0: white
  EXPECT_EQ(row(0, 18), V(6, 0));              // 0x08 changes nothing
  EXPECT_EQ(row(0, 24), V(6, 4));              // paper blue shown at once
  EXPECT_EQ(row(0, 30), (V{4, 1, 4, 1, 4, 1}));  // 010101
  EXPECT_EQ(row(0, 36), V(6, 3));              // inverted paper 4
  EXPECT_EQ(row(0, 42), V(6, 4));              // paper stays for the line
  EXPECT_EQ(row(1, 0), V(6, 7));               // next line: ink 7 again
  EXPECT_EQ(row(1, 6), V(6, 0));               // and paper 0
}

}  // namespace
