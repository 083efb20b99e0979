#include <gtest/gtest.h>

#include "core/KvColor.h"
#include "importers/KvOpenPlatformPlayStation.h"
#include "platforms/KvPlatformPlayStation.h"
#include "KvTestHarness.h"
#include "importers/ImporterTestFiles.h"

namespace {

// A TIM of kind AKind; indexed kinds get AClutCount tables of AClutWidth
// entries, entry j of table t being the word t * AClutWidth + j. Pixel
// bytes count up from 0.
std::vector<uint8_t> Tim(int AKind, int AClutWidth, int AClutCount, int W, int H, int ATrailing = 0) {
  std::vector<uint8_t> d;
  Put32(d, 0x10);
  Put32(d, AKind);
  if (AKind >= 8) {
    Put32(d, AClutWidth * AClutCount * 2 + 12);
    Put32(d, 0);
    Put16(d, AClutWidth);
    Put16(d, AClutCount);
    for (int i = 0; i < AClutWidth * AClutCount; ++i) Put16(d, i);
  }
  Put32(d, W * H * 2 + 12);
  Put32(d, 0);
  Put16(d, W);
  Put16(d, H);
  for (int i = 0; i < W * H * 2; ++i) d.push_back(uint8_t(i));
  d.resize(d.size() + ATrailing);
  return d;
}

int64_t Check(const std::vector<uint8_t>& d) { return CheckTimHeader(TKvBytes(d)); }

TEST(KvPlatformPlayStation, CheckTimHeader) {
  EXPECT_EQ(Check(Tim(8, 16, 3, 4, 2)), 0);
  EXPECT_EQ(Check(Tim(9, 256, 1, 4, 2, 5)), 5);
  EXPECT_EQ(Check(Tim(2, 0, 0, 4, 2)), 0);
  EXPECT_EQ(Check(Tim(3, 0, 0, 3, 2, 1)), 1);
  EXPECT_EQ(Check(Tim(0x18, 16, 1, 4, 2)), 0);  // only the low 4 bits are the kind

  auto shortImage = Tim(8, 16, 1, 4, 2);
  shortImage.pop_back();
  EXPECT_EQ(Check(shortImage), -1);
  EXPECT_EQ(Check(Tim(8, 256, 1, 4, 2)), -1);  // CLUT width of the other kind
  EXPECT_EQ(Check(Tim(9, 16, 1, 4, 2)), -1);
  EXPECT_EQ(Check(Tim(8, 16, 0, 4, 2)), -1);   // no table
  EXPECT_EQ(Check(Tim(2, 0, 0, 0, 2)), -1);    // no width
  EXPECT_EQ(Check(Tim(2, 0, 0, 4, 0)), -1);    // no height
  EXPECT_EQ(Check(Tim(4, 0, 0, 4, 2)), -1);    // unknown kind
  auto magic = Tim(2, 0, 0, 4, 2);
  magic[0] = 0x11;
  EXPECT_EQ(Check(magic), -1);
  auto clutLength = Tim(8, 16, 1, 4, 2);
  clutLength[8] += 2;
  EXPECT_EQ(Check(clutLength), -1);
  auto imageLength = Tim(2, 0, 0, 4, 2);
  imageLength[8] += 2;
  EXPECT_EQ(Check(imageLength), -1);
  // Cut at each point of the headers.
  const auto whole = Tim(8, 16, 1, 4, 2);
  for (size_t n = 0; n < 8 + 12 + 32 + 12 + 1; ++n) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
    EXPECT_EQ(CheckTimHeader(TKvBytes(cut)), -1) << n;
  }
  EXPECT_EQ(CheckTimHeader(TKvBytes()), -1);
}

TEST(KvPlatformPlayStation, ImageLengthDoesNotWrapAt32Bits) {
  // 65535 x 32769 x 2 + 12 = 2^32 + 65546: a 32-bit product would match a
  // block length of 65546.
  std::vector<uint8_t> d;
  Put32(d, 0x10);
  Put32(d, 2);
  Put32(d, 65546);
  Put32(d, 0);
  Put16(d, 65535);
  Put16(d, 32769);
  d.resize(8 + 65546 + 100);
  EXPECT_EQ(Check(d), -1);
  TKvProbe p("a.tim", d);
  EXPECT_EQ(p.Flags("TKvPlayStationSourceEngine"), 0);
}

TEST(KvOpenPlatformPlayStation, MatchAndWidthsByKind) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    TKvMatchFlags Flags;
    int Width, Bits;
  } cases[] = {
      {"a.tim", Tim(8, 16, 1, 12, 2), 11, 48, 4},    {"a.bin", Tim(9, 256, 1, 12, 2), 9, 24, 8},
      {"a.TIM", Tim(2, 0, 0, 12, 2, 3), 11, 12, 15}, {"a.tim", Tim(3, 0, 0, 12, 2), 11, 8, 24},
      {"a.tim", Tim(3, 0, 0, 4, 2), 11, 2, 24},      {"a.tim", Tim(8, 256, 1, 12, 2), 0, 0, 0},
      {"a.tim", Tim(9, 16, 1, 12, 2), 0, 0, 0},
  };
  for (const Case& c : cases) {
    TKvProbe p(c.Name, c.Data);
    EXPECT_EQ(p.Flags("TKvPlayStationSourceEngine"), c.Flags) << c.Name << " " << c.Width;
    if (!c.Flags) continue;
    const TKvSourceEngine* e = p.Find("TKvPlayStationSourceEngine");
    EXPECT_EQ(e->Width, c.Width);
    EXPECT_EQ(e->Bits, c.Bits);
    EXPECT_EQ(e->Height, 2);
    EXPECT_EQ(e->Description, "PlayStation " + std::to_string(c.Width) + "x2x" + std::to_string(c.Bits) + " image");
    EXPECT_TRUE(e->PaletteTypes.empty());
  }
}

TEST(KvOpenPlatformPlayStation, ColourTablesAreVariants) {
  TKvProbe p("a.tim", Tim(8, 16, 3, 2, 1));
  TKvSourceEngine* e = p.Find("TKvPlayStationSourceEngine");
  ASSERT_TRUE(e);
  ASSERT_EQ(e->GetPaletteVariantCount(), 3);
  EXPECT_EQ(e->GetPaletteVariant(0), "Clut 1");
  EXPECT_EQ(e->GetPaletteVariant(2), "Clut 3");
  for (int t = 0; t < 3; ++t) {
    TKvPalette256 pal;
    e->GetVariantPalette(t, pal);
    ASSERT_EQ(pal.GetCount(), 16);
    // Entry j of table t is the word 16 t + j.
    const int w = 16 * t + 5;
    EXPECT_EQ(pal.GetStdRGB(5), StdRGBColor(Std5ToByte[w & 31], Std5ToByte[w >> 5], 0)) << t;
  }
  auto b = e->Decode();  // no variant chosen: the first table
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(Std5ToByte[1], 0, 0));
  // Pixel bytes 00 01 02 03: low nibble first.
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->GetPixel(2, 0), 1);
  EXPECT_EQ(b->GetPixel(3, 0), 0);
  e->VariantName = "Clut 2";
  b = e->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(Std5ToByte[16], 0, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(15), StdRGBColor(Std5ToByte[31], 0, 0));
  e->VariantName = "Clut 4";
  EXPECT_ANY_THROW(e->Decode());
  TKvPalette256 pal;
  EXPECT_ANY_THROW(e->GetVariantPalette(3, pal));

  TKvProbe one("a.tim", Tim(9, 256, 1, 2, 1));
  EXPECT_EQ(one.Find("TKvPlayStationSourceEngine")->GetPaletteVariantCount(), 0);
  auto b8 = one.Find("TKvPlayStationSourceEngine")->Decode();
  ASSERT_EQ(b8->BitCount, 8);
  EXPECT_EQ(b8->Palette->GetCount(), 256);
  EXPECT_EQ(b8->GetPixel(3, 0), 3);
}

TEST(KvOpenPlatformPlayStation, DirectColourPixels) {
  auto d = Tim(2, 0, 0, 2, 1);
  const size_t px = d.size() - 4;
  d[px] = 0xFF;
  d[px + 1] = 0x7F;  // 0x7FFF: white
  d[px + 2] = 0x1F;
  d[px + 3] = 0x80;  // 0x801F: red, bit 15 ignored
  TKvProbe p("a.tim", d);
  auto b = p.Find("TKvPlayStationSourceEngine")->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 0), StdRGBColor(255, 0, 0));

  // 24 bits with W = 4: two pixels a line, but lines 8 bytes apart.
  auto t = Tim(3, 0, 0, 4, 2);
  const size_t img = t.size() - 16;
  const uint8_t line1[3] = {10, 20, 30};
  std::copy(line1, line1 + 3, t.begin() + static_cast<long>(img + 8));
  TKvProbe q("a.tim", t);
  auto c = q.Find("TKvPlayStationSourceEngine")->Decode();
  ASSERT_EQ(c->Width, 2);
  EXPECT_EQ(c->GetPixelStdRGB(0, 0), StdRGBColor(0, 1, 2));
  EXPECT_EQ(c->GetPixelStdRGB(1, 0), StdRGBColor(3, 4, 5));
  EXPECT_EQ(c->GetPixelStdRGB(0, 1), StdRGBColor(10, 20, 30));
}

}  // namespace
