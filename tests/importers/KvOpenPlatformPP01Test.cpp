#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformPP01.h"
#include "platforms/KvSavePlatformPP01.h"

namespace {

const char* const kPP01 = "KvOpenPlatformPP01::TKvPP01Engine";

TEST(KvOpenPlatformPP01, MatchAndDecodePlanes) {
  std::vector<uint8_t> f(24576, 0);
  f[0] = 0x80;
  f[8192] = 0x80;
  f[1] = f[8193] = f[16385] = 0xFF;
  TKvProbe probe("a.01s", f);
  EXPECT_EQ(probe.Flags(kPP01), 10);
  TKvSourceEngine* e = probe.Find(kPP01);
  EXPECT_EQ(e->Description, "PP01 256x256x3 image");
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 6);
  EXPECT_EQ(b->Palette->GetStdRGB(6), StdRGBColor(255, 255, 0));
  EXPECT_EQ(b->GetPixel(1, 0), 0);
  for (int x = 8; x < 16; ++x) EXPECT_EQ(b->GetPixel(x, 0), 7) << x;
  TKvProbe other("a.bin", f);
  EXPECT_EQ(other.Flags(kPP01), 8);
  for (size_t n : {0u, 24575u, 24577u}) {
    TKvProbe bad("a.01s", std::vector<uint8_t>(n, 0));
    EXPECT_EQ(bad.Flags(kPP01), 0) << n;
  }
}

TEST(KvOpenPlatformPP01, RoundTripKeepsIndexes) {
  auto pic = GradientPicture(256, 256, 23);
  for (bool gray : {false, true}) {
    auto r = ConvertPicture(DestEngineClass<TKvPP01Engine>(), *pic,
                            [gray](TKvDestEngineOptions& o) { o.SetUseAsGrayPalette(gray); });
    TKvProbe probe("p.01s", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Position(kPP01), 0);
    auto b = probe.Find(kPP01)->Decode();
    if (!gray) {
      EXPECT_TRUE(b->Palette->SameColors(r.Preview->Palette.get()));
    }
    EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0) << gray;
  }
}

}  // namespace
