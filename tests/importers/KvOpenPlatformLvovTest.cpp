#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "platforms/KvSavePlatformLvov.h"

namespace {

const char* const kLvov = "KvOpenPlatformLvov::TKvLvovEngine";
const char* const kOkean = "TKvOkean240SourceEngine";
const char* const kBK = "TKvBK0010BKSSourceEngine";

std::vector<uint8_t> Bytes(size_t ASize, uint8_t AFill = 0) { return std::vector<uint8_t>(ASize, AFill); }

TEST(KvOpenPlatformLvov, MatchDescriptionsAndRanking) {
  struct {
    const char* Name;
    size_t Size;
    uint8_t Last;
    int Flags;
    const char* Description;
  } cases[] = {
      {"a.lvs", 16385, 3, 10, "Lvov 256x256x2 palette 3 image"},
      {"a.dat", 11251, 77, 8, "Lvov 200x225x2 palette 77 image"},
      {"a.lvs", 16384, 99, 10, "Lvov 256x256x2 palette 15 image"},
  };
  for (auto& c : cases) {
    auto d = Bytes(c.Size);
    d.back() = c.Last;
    TKvProbe probe(c.Name, d);
    ASSERT_NE(probe.Find(kLvov), nullptr) << c.Size;
    EXPECT_EQ(probe.Flags(kLvov), c.Flags);
    EXPECT_EQ(probe.Find(kLvov)->Description, c.Description);
    EXPECT_EQ(probe.Find(kLvov)->PixelAspect, 14);
  }
  // 16,385 bytes ending in 3: the own extension first, then BK, then the other.
  auto d = Bytes(16385);
  d.back() = 3;
  TKvProbe lvs("a.lvs", d);
  EXPECT_LT(lvs.Position(kLvov), lvs.Position(kBK));
  EXPECT_LT(lvs.Position(kBK), lvs.Position(kOkean));
  EXPECT_EQ(lvs.Flags(kBK), 8);
  EXPECT_EQ(lvs.Flags(kOkean), 8);
  TKvProbe oks("a.oks", d);
  EXPECT_EQ(oks.Flags(kOkean), 10);
  EXPECT_LT(oks.Position(kOkean), oks.Position(kBK));
  EXPECT_LT(oks.Position(kBK), oks.Position(kLvov));
  // Ending in 7: no Okean reading, BK and Lvov still offer it.
  d.back() = 7;
  TKvProbe seven("a.oks", d);
  EXPECT_EQ(seven.Find(kOkean), nullptr);
  EXPECT_EQ(seven.Flags(kBK), 8);
  EXPECT_EQ(seven.Flags(kLvov), 8);
  for (size_t n : {0u, 11250u, 16386u}) {
    TKvProbe probe("a.lvs", Bytes(n));
    EXPECT_EQ(probe.Find(kLvov), nullptr) << n;
  }
  // A bare screen decodes with port byte 15: black, blue, green, red.
  auto bare = Bytes(16384);
  bare[0] = 0x80 | 0x01;  // pixel 0 colour 2, pixel 3 colour 1
  TKvProbe probe("a.lvs", bare);
  auto b = probe.Find(kLvov)->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 2);
  EXPECT_EQ(b->GetPixel(3, 0), 1);
  EXPECT_EQ(b->Palette->GetStdRGB(3), StdRGBColor(255, 0, 0));
}

TEST(KvOpenPlatformLvov, RoundTrips) {
  TKvProcessorCountOverride one(1);
  struct {
    const TKvDestEngineClass* Class;
    int W, H;
    int Palette;
  } cases[] = {{&DestEngineClass<TKvLvovEngine>(), 256, 256, 7}, {&DestEngineClass<TKvLvov2Engine>(), 200, 225, 30}};
  for (auto& c : cases) {
    auto pic = GradientPicture(c.W, c.H, 17);
    const int k = c.Palette;
    auto r = ConvertPicture(*c.Class, *pic, [k](TKvDestEngineOptions& o) { o.SetPaletteIndex(k); });
    std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
    TKvProbe probe("picture.lvs", bytes);
    ASSERT_EQ(probe.Position(kLvov), 0);
    auto b = probe.Find(kLvov)->Decode();
    ASSERT_EQ(b->Width, c.W);
    ASSERT_EQ(b->Height, c.H);
    EXPECT_TRUE(b->Palette->SameColors(r.Preview->Palette.get()));
    EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0) << c.W;
  }
}

}  // namespace
