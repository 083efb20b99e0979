#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformBBCMicro.h"
#include "platforms/KvSavePlatformBBCMicro.h"

namespace {

const char* const kMode0 = "KvOpenPlatformBBCMicro::TKvBBCMicro0Engine";
const char* const kMode1 = "KvOpenPlatformBBCMicro::TKvBBCMicro1Engine";
const char* const kMode2 = "KvOpenPlatformBBCMicro::TKvBBCMicro2Engine";
const char* const kMode4 = "KvOpenPlatformBBCMicro::TKvBBCMicro4Engine";
const char* const kMode5 = "KvOpenPlatformBBCMicro::TKvBBCMicro5Engine";

TEST(KvOpenPlatformBBCMicro, RankingBySizeAndExtension) {
  TKvProbe bb1("a.bb1", std::vector<uint8_t>(20480, 0));
  EXPECT_EQ(bb1.Flags(kMode1), 10);
  EXPECT_EQ(bb1.Flags(kMode0), 8);
  EXPECT_EQ(bb1.Flags(kMode2), 8);
  EXPECT_EQ(bb1.Flags(kMode4), 0);
  EXPECT_LT(bb1.Position(kMode1), bb1.Position(kMode0));
  EXPECT_LT(bb1.Position(kMode0), bb1.Position(kMode2));
  TKvProbe other("a.xyz", std::vector<uint8_t>(20480, 0));
  EXPECT_LT(other.Position(kMode0), other.Position(kMode1));
  EXPECT_LT(other.Position(kMode1), other.Position(kMode2));
  EXPECT_EQ(TKvProbe("a.as0", std::vector<uint8_t>(20480, 0)).Flags(kMode0), 10);
  TKvProbe as4("a.as4", std::vector<uint8_t>(10240, 0));
  EXPECT_EQ(as4.Flags(kMode4), 10);
  EXPECT_EQ(as4.Flags(kMode5), 8);
  EXPECT_LT(as4.Position(kMode4), as4.Position(kMode5));
  for (size_t n : {0u, 10239u, 10241u, 20479u, 20481u}) {
    TKvProbe bad("a.bb0", std::vector<uint8_t>(n, 0));
    for (const char* c : {kMode0, kMode1, kMode2, kMode4, kMode5}) EXPECT_EQ(bad.Flags(c), 0) << n;
  }
}

TEST(KvOpenPlatformBBCMicro, DescriptionsAndMode2IgnoresTheFourthBit) {
  std::vector<uint8_t> f(20480, 0);
  f[0] = 0xFF;
  TKvProbe probe("a.bb2", f);
  TKvSourceEngine* e = probe.Find(kMode2);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "BBC Micro 160x256x3 Mode 2 image");
  EXPECT_EQ(e->PixelAspect, 17);
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 7);
  EXPECT_EQ(b->GetPixel(1, 0), 7);
  EXPECT_EQ(b->Palette->Count, 8);
  EXPECT_EQ(probe.Find(kMode0)->Description, "BBC Micro 640x256x1 Mode 0 image");
}

TEST(KvOpenPlatformBBCMicro, RoundTrip) {
  struct {
    const TKvDestEngineClass* Class;
    int W;
    const char* Name;
    const char* Importer;
  } cases[] = {
      {&DestEngineClass<TKvBBCMicro0Engine>(), 640, "p.bb0", kMode0},
      {&DestEngineClass<TKvBBCMicro1Engine>(), 320, "p.bb1", kMode1},
      {&DestEngineClass<TKvBBCMicro2Engine>(), 160, "p.bb2", kMode2},
      {&DestEngineClass<TKvBBCMicro4Engine>(), 320, "p.bb4", kMode4},
      {&DestEngineClass<TKvBBCMicro5Engine>(), 160, "p.bb5", kMode5},
  };
  for (auto& c : cases) {
    auto pic = GradientPicture(c.W, 256, 7);
    auto r = ConvertPicture(*c.Class, *pic);
    TKvProbe probe(c.Name, std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_GT(probe.List->GetCount(), 0);
    ASSERT_EQ(probe.Classes()[0], c.Importer);
    auto b = probe.List->GetEngine(0)->Decode();
    ASSERT_EQ(b->Width, r.Preview->Width);
    ASSERT_EQ(b->Height, r.Preview->Height);
    EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0) << c.Name;
    EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0) << c.Name;
  }
}

}  // namespace
