#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformPP01.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& PP01() { return DestEngineClass<TKvPP01Engine>(); }

TEST(KvSavePlatformPP01, RegisteredAndPalette) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("PP01");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "256x256x3");
  EXPECT_LT(list.IndexOf("Pico-8"), p);
  TKvPalette256 pal;
  FillPP01Colors(pal);
  ASSERT_EQ(pal.Count, 8);
  EXPECT_EQ(pal.GetStdRGB(1), StdRGBColor(0, 0, 255));
  EXPECT_EQ(pal.GetStdRGB(2), StdRGBColor(255, 0, 0));
  EXPECT_EQ(pal.GetStdRGB(6), StdRGBColor(255, 255, 0));
}

TEST(KvSavePlatformPP01, YellowPixelPlanes) {
  auto pic = SolidPicture(256, 8, 0xFFFF00);
  auto r = ConvertPicture(PP01(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "01s");
  ASSERT_EQ(r.Size(0), 24576);
  EXPECT_EQ(r.Preview->GetPixel(0, 0), 6);
  EXPECT_EQ(r.Bytes(0)[0] & 0x80, 0x80);
  EXPECT_EQ(r.Bytes(0)[8192] & 0x80, 0x80);
  EXPECT_EQ(r.Bytes(0)[16384], 0);
  // Rows below the picture stay clear.
  EXPECT_EQ(r.Bytes(0)[8 * 32], 0);
}

TEST(KvSavePlatformPP01, BlackWhitePlanesEqualAndGrayKeepsIndexes) {
  auto pic = GradientPicture(256, 32, 4);
  auto bw = ConvertPicture(PP01(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  const uint8_t* d = bw.Bytes(0);
  EXPECT_TRUE(std::equal(d, d + 8192, d + 8192));
  EXPECT_TRUE(std::equal(d, d + 8192, d + 16384));
  EXPECT_GT(std::count(d, d + 8192, 0), 0);
  auto gray = ConvertPicture(PP01(), *pic, [](TKvDestEngineOptions& o) { o.SetUseAsGrayPalette(true); });
  const TKvPalette* gp = gray.Preview->Palette.get();
  for (int i = 0; i < 8; ++i) {
    const TKvStdRGBColor c = gp->GetStdRGB(i);
    EXPECT_TRUE(c.R == c.G && c.G == c.B) << i;
  }
  // The file carries the colour index of each preview pixel.
  for (int x : {0, 100, 255}) {
    const int v = gray.Preview->GetPixel(x, 20);
    const int off = 20 * 32 + x / 8, s = 7 - x % 8;
    const uint8_t* g = gray.Bytes(0);
    EXPECT_EQ(((g[off] >> s) & 1) * 2 + ((g[8192 + off] >> s) & 1) * 4 + ((g[16384 + off] >> s) & 1), v) << x;
  }
  EXPECT_THROW(ConvertPicture(PP01(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); }), EOSError);
}

}  // namespace
