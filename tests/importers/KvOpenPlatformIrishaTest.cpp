#include <gtest/gtest.h>

#include <vector>

#include "importers/KvImporterProbe.h"
#include "importers/KvOpenPlatformIrisha.h"
#include "platforms/KvSavePlatformIrisha.h"
#include "platforms/ZxTestPictures.h"

namespace {

const char* const kIrisha = "KvOpenPlatformIrisha::TKvIrishaEngine";

TEST(KvOpenPlatformIrisha, MatchFlagsAndRanking) {
  TKvImporterProbe narrow("a.pic", std::vector<uint8_t>(8000, 0x55));
  EXPECT_EQ(narrow.Flags(kIrisha), 10);
  TKvImporterProbe wide("a.pic", std::vector<uint8_t>(16000, 0x55));
  EXPECT_EQ(wide.Flags(kIrisha), 10);
  EXPECT_EQ(wide.Position(kIrisha), 0);
  const int ms = wide.Position("KvOpenPlatformElectronikaMS0515::TKvMS0515Engine");
  if (ms >= 0) {
    EXPECT_LT(wide.Position(kIrisha), ms);
  }
  TKvImporterProbe other("a.bin", std::vector<uint8_t>(16000, 0x55));
  EXPECT_EQ(other.Flags(kIrisha), 8);
  for (size_t n : {0u, 7999u, 8001u, 15999u, 16001u}) {
    TKvImporterProbe bad("a.pic", std::vector<uint8_t>(n, 0x55));
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
    auto pic = ZxTestPicture(c.Width, 200, 17);
    auto r = ZxConvert(c.Class, *pic);
    TKvImporterProbe probe("picture.pic", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Position(kIrisha), 0);
    TKvSourceEngine* e = probe.Find(kIrisha);
    EXPECT_EQ(e->Description, c.Description);
    EXPECT_EQ(e->PixelAspect, c.Aspect);
    auto b = e->Decode();
    ASSERT_EQ(b->Width, c.Width);
    int diffs = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < c.Width; ++x)
        if (!(b->GetPixelStdRGB(x, y) == r.Preview->GetPixelStdRGB(x, y))) ++diffs;
    EXPECT_EQ(diffs, 0) << c.Width;
  }
}

}  // namespace
