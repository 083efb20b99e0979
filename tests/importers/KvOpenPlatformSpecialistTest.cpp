#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformSpecialist.h"
#include "platforms/KvSavePlatformSpecialist.h"

namespace {

const char* const kSpecialist = "KvOpenPlatformSpecialist::TKvSpecialistEngine";

TEST(KvOpenPlatformSpecialist, MatchRankingAndColumns) {
  std::vector<uint8_t> f(12288, 0);
  f[256] = 0xA5;
  TKvProbe probe("a.sps", f);
  EXPECT_EQ(probe.Flags(kSpecialist), 10);
  EXPECT_EQ(probe.Position(kSpecialist), 0);
  for (const std::string& c : probe.Classes()) {
    if (c != kSpecialist) {
      EXPECT_EQ(probe.Flags(c), 8) << c;
    }
  }
  TKvSourceEngine* e = probe.Find(kSpecialist);
  EXPECT_EQ(e->Description, "Specialist 384x256x1 B/W image");
  EXPECT_EQ(e->PixelAspect, 9);
  auto b = e->Decode();
  for (int x = 8; x < 16; ++x) EXPECT_EQ(b->GetPixel(x, 0), (0xA5 >> (15 - x)) & 1) << x;
  EXPECT_EQ(b->GetPixel(8, 1), 0);
  // The ZX multicolour reading of the same 12 KB is among the others.
  EXPECT_GT(probe.Position("TKvZxSpectrumMulticolorMLTEngine"), 0);
  // One byte more: only the Timex 512x192 reading remains.
  TKvProbe odd("a.sps", std::vector<uint8_t>(12289, 0));
  EXPECT_EQ(odd.Classes(), std::vector<std::string>{"TKvTimexBWEngine"});
  EXPECT_EQ(odd.Flags("TKvTimexBWEngine"), 8);
  TKvProbe other("a.bin", f);
  EXPECT_EQ(other.Flags(kSpecialist), 8);
  for (size_t n : {0u, 12287u, 12289u}) {
    TKvProbe bad("a.sps", std::vector<uint8_t>(n, 0));
    EXPECT_EQ(bad.Flags(kSpecialist), 0) << n;
  }
}

TEST(KvOpenPlatformSpecialist, RoundTrip) {
  auto pic = GradientPicture(384, 256, 31);
  auto r = ConvertPicture(DestEngineClass<TKvSpecialistEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  TKvProbe probe("p.sps", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
  ASSERT_EQ(probe.Position(kSpecialist), 0);
  auto b = probe.Find(kSpecialist)->Decode();
  EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0);
}

}  // namespace
