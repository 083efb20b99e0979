#include <gtest/gtest.h>

#include <vector>

#include "importers/KvImporterProbe.h"
#include "importers/KvOpenPlatformSpecialist.h"
#include "platforms/KvSavePlatformSpecialist.h"
#include "platforms/ZxTestPictures.h"

namespace {

const char* const kSpecialist = "KvOpenPlatformSpecialist::TKvSpecialistEngine";

TEST(KvOpenPlatformSpecialist, MatchRankingAndColumns) {
  std::vector<uint8_t> f(12288, 0);
  f[256] = 0xA5;
  TKvImporterProbe probe("a.sps", f);
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
  TKvImporterProbe odd("a.sps", std::vector<uint8_t>(12289, 0));
  EXPECT_EQ(odd.Classes(), std::vector<std::string>{"TKvTimexBWEngine"});
  EXPECT_EQ(odd.Flags("TKvTimexBWEngine"), 8);
  TKvImporterProbe other("a.bin", f);
  EXPECT_EQ(other.Flags(kSpecialist), 8);
  for (size_t n : {0u, 12287u, 12289u}) {
    TKvImporterProbe bad("a.sps", std::vector<uint8_t>(n, 0));
    EXPECT_EQ(bad.Flags(kSpecialist), 0) << n;
  }
}

TEST(KvOpenPlatformSpecialist, RoundTrip) {
  auto pic = ZxTestPicture(384, 256, 31);
  auto r = ZxConvert(DestEngineClass<TKvSpecialistEngine>(), *pic,
                     [](TKvDestEngineOptions& o) { o.SetPaletteMode(0); o.UpdatePalette(); });
  TKvImporterProbe probe("p.sps", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
  ASSERT_EQ(probe.Position(kSpecialist), 0);
  auto b = probe.Find(kSpecialist)->Decode();
  int diffs = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 384; ++x)
      if (!(b->GetPixelStdRGB(x, y) == r.Preview->GetPixelStdRGB(x, y))) ++diffs;
  EXPECT_EQ(diffs, 0);
}

}  // namespace
