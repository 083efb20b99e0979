#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformPC8000.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& PC8000() { return DestEngineClass<TKvPC8000Engine>(); }

const uint8_t* ColourBytes(const TKvConversion& r) { return r.Bytes(0) + 4 + 6144; }

TEST(KvSavePlatformPC8000, RegisteredAndPalettes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("PC8000");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "256x192x4");
  EXPECT_LT(p, list.IndexOf("Pico-8"));
  TKvPalette256 pal;
  BuildPC8000Palette(pal, ptColoredLinear, pmColor);
  ASSERT_EQ(pal.Count, 16);
  EXPECT_EQ(pal.GetStdRGB(1), StdRGBColor(0, 0, 0));
  EXPECT_EQ(pal.GetStdRGB(3), StdRGBColor(0, 255, 0));
  EXPECT_EQ(pal.GetStdRGB(5), StdRGBColor(0, 0, 255));
  EXPECT_EQ(pal.GetStdRGB(9), StdRGBColor(255, 0, 0));
  EXPECT_EQ(pal.GetStdRGB(13), StdRGBColor(255, 0, 255));
  EXPECT_EQ(pal.GetStdRGB(15), StdRGBColor(255, 255, 255));
  EXPECT_EQ(pal.GetLinRGB(8).R, 0.5);
  EXPECT_EQ(pal.GetLinRGB(14).G, 0.5);
  BuildPC8000Palette(pal, ptColoredDDp, pmGray);
  ASSERT_EQ(pal.Count, 3);
  EXPECT_EQ(pal.GetStdRGB(0), StdRGBColor(8, 8, 8));
  EXPECT_EQ(pal.GetStdRGB(1), StdRGBColor(235, 235, 235));
  EXPECT_EQ(pal.GetStdRGB(2), StdRGBColor(246, 246, 246));
  EXPECT_THROW(BuildPC8000Palette(pal, ptColoredLinear, pm5Colors), EOSError);
  EXPECT_THROW(BuildPC8000Palette(pal, ptRGB888, pmColor), EOSError);
  EXPECT_EQ(TKvPC8000ColorPaletteList(pal).GetCount(), 120);
}

TEST(KvSavePlatformPC8000, ScreenLayoutAndMirror) {
  std::vector<uint8_t> d(12292, 0x55);
  TKvPC8000Screen s(d.data());
  EXPECT_EQ(d[0], 'P');
  EXPECT_EQ(d[2], '8');
  EXPECT_EQ(d[3], 0);
  EXPECT_EQ(std::count(d.begin() + 6148, d.end(), 0x0F), 6144);
  s.SetPixel(9, 10, 1);  // block row 1, column 1, line 2
  EXPECT_EQ(d[4 + 256 + 8 + 2], 0x40);
  s.MirrorX = true;
  s.SetPixel(0, 0, 1);
  EXPECT_EQ(d[4 + 31 * 8], 0x01);
  s.SetAttr(0, 0, 0x3C);
  EXPECT_EQ(d[6148 + 31 * 8], 0x3C);
}

TEST(KvSavePlatformPC8000, BlackWhiteAndGrayFiles) {
  auto pic = GradientPicture(256, 192, 12);
  auto bw = ConvertPicture(PC8000(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(bw.Streams->GetCount(), 1);
  EXPECT_EQ(bw.Streams->GetExtension(0), "vm2");
  ASSERT_EQ(bw.Size(0), 12292);
  EXPECT_EQ(std::count(ColourBytes(bw), ColourBytes(bw) + 6144, 0x0F), 6144);
  EXPECT_EQ(bw.Options->GetPalette()->Count, 2);
  auto flat = SolidPicture(256, 8, 0xBCBCBC);
  auto gray = ConvertPicture(PC8000(), *flat, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  EXPECT_EQ(ColourBytes(gray)[0], 0xEE);
  EXPECT_EQ(gray.Options->GetPalette()->Count, 3);
  auto mixed = ConvertPicture(PC8000(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  for (int i = 0; i < 6144; ++i) {
    const int a = ColourBytes(mixed)[i] >> 4, b = ColourBytes(mixed)[i] & 15;
    ASSERT_TRUE((a == 1 || a == 14 || a == 15) && (b == 1 || b == 14 || b == 15)) << i;
  }
}

TEST(KvSavePlatformPC8000, SameBytesOnOneAndManyProcessors) {
  auto pic = GradientPicture(256, 48, 13);
  std::vector<std::vector<uint8_t>> files;
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    auto r = ConvertPicture(PC8000(), *pic);
    files.emplace_back(r.Bytes(0), r.Bytes(0) + r.Size(0));
  }
  EXPECT_EQ(files[0], files[1]);
}

}  // namespace
