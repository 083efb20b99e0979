#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformIrisha.h"
#include "platforms/KvSavePlatformIrisha.h"

namespace {

const char* const kIrisha = "KvOpenPlatformIrisha::TKvIrishaEngine";

TEST(KvOpenPlatformIrisha, MatchFlagsAndRanking) {
  TKvProbe narrow("a.pic", std::vector<uint8_t>(8000, 0x55));
  EXPECT_EQ(narrow.Flags(kIrisha), 10);
  TKvProbe wide("a.pic", std::vector<uint8_t>(16000, 0x55));
  EXPECT_EQ(wide.Flags(kIrisha), 10);
  EXPECT_EQ(wide.Position(kIrisha), 0);
  const int ms = wide.Position("KvOpenPlatformElectronikaMS0515::TKvMS0515Engine");
  if (ms >= 0) {
    EXPECT_LT(wide.Position(kIrisha), ms);
  }
  TKvProbe other("a.bin", std::vector<uint8_t>(16000, 0x55));
  EXPECT_EQ(other.Flags(kIrisha), 8);
  for (size_t n : {0u, 7999u, 8001u, 15999u, 16001u}) {
    TKvProbe bad("a.pic", std::vector<uint8_t>(n, 0x55));
    EXPECT_EQ(bad.Flags(kIrisha), 0) << n;
  }
}

TEST(KvOpenPlatformIrisha, RoundTripsBothSizes) {
  struct {
    const TKvDestEngineClass& Class;
    int Width;
    const char* Description;
    int Aspect;
  } cases[] = {{DestEngineClass<TKvIrisha320Engine>(), 320, "Irisha 320x200x1 B/W image", 8},
               {DestEngineClass<TKvIrisha640Engine>(), 640, "Irisha 640x200x1 B/W image", 0}};
  for (auto& c : cases) {
    auto pic = GradientPicture(c.Width, 200, 17);
    auto r = ConvertPicture(c.Class, *pic);
    TKvProbe probe("picture.pic", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Position(kIrisha), 0);
    TKvSourceEngine* e = probe.Find(kIrisha);
    EXPECT_EQ(e->Description, c.Description);
    EXPECT_EQ(e->PixelAspect, c.Aspect);
    auto b = e->Decode();
    ASSERT_EQ(b->Width, c.Width);
    EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0) << c.Width;
  }
}

}  // namespace
