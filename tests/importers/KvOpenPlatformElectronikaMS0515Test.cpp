#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformElectronikaMS0515.h"
#include "platforms/KvSavePlatformElectronikaMS0515.h"

namespace {

const char* const kColour = "KvOpenPlatformElectronikaMS0515::TKvMS0515Engine";
const char* const kBW = "KvOpenPlatformElectronikaMS0515::TKvMS0515BWEngine";

TEST(KvOpenPlatformElectronikaMS0515, MatchFlags) {
  std::vector<uint8_t> f(16000, 0x47);
  TKvProbe scr("a.scr", f);
  EXPECT_EQ(scr.Flags(kColour), 10);
  EXPECT_EQ(scr.Flags(kBW), 10);
  EXPECT_LT(scr.Position(kColour), scr.Position(kBW));
  TKvProbe other("a.img", f);
  EXPECT_EQ(other.Flags(kColour), 8);
  EXPECT_EQ(other.Flags(kBW), 8);
  for (size_t n : {0u, 15999u, 16001u}) {
    TKvProbe bad("a.scr", std::vector<uint8_t>(n, 0x47));
    EXPECT_EQ(bad.Flags(kColour), 0) << n;
    EXPECT_EQ(bad.Flags(kBW), 0) << n;
  }
}

TEST(KvOpenPlatformElectronikaMS0515, DecodesTheFillPattern) {
  std::vector<uint8_t> f(16000, 0x47);
  TKvProbe probe("a.scr", f);
  TKvSourceEngine* c = probe.Find(kColour);
  EXPECT_EQ(c->Description, "Elektronika MC 0515 320x200x4 image");
  auto b = c->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(7), StdRGBColor(0xBC, 0xBC, 0xBC));
  EXPECT_EQ(b->Palette->GetStdRGB(2), StdRGBColor(0xBC, 0, 0));
  const int expect[8] = {8, 15, 8, 8, 8, 15, 15, 15};
  for (int x = 0; x < 16; ++x) EXPECT_EQ(b->GetPixel(x, 199), expect[x % 8]) << x;
  TKvSourceEngine* m = probe.Find(kBW);
  EXPECT_EQ(m->Description, "Elektronika MC 0515 640x200x1 B/W image");
  EXPECT_EQ(m->PixelAspect, 1);
  auto w = m->Decode();
  for (int x = 0; x < 16; ++x) EXPECT_EQ(w->GetPixel(x, 3), (0x47 >> (7 - x % 8)) & 1) << x;
}

TEST(KvOpenPlatformElectronikaMS0515, RoundTrips) {
  auto pic = GradientPicture(320, 40, 51);
  auto r = ConvertPicture(DestEngineClass<TKvMS0515Engine>(), *pic);
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("picture.scr", bytes);
  ASSERT_EQ(probe.Position(kColour), 0);
  auto b = probe.Find(kColour)->Decode();
  EXPECT_TRUE(b->Palette->SameColors(r.Preview->Palette.get()));
  EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0);
  // The black-and-white file comes second, after the colour reading.
  auto wide = GradientPicture(640, 200, 52);
  auto h = ConvertPicture(DestEngineClass<TKvMS0515HiResolutionEngine>(), *wide);
  std::vector<uint8_t> hb(h.Bytes(0), h.Bytes(0) + h.Size(0));
  TKvProbe hp("picture.scr", hb);
  ASSERT_EQ(hp.Position(kBW), 1);
  auto w = hp.Find(kBW)->Decode();
  EXPECT_EQ(CountColorDiffs(*w, *h.Preview), 0);
}

}  // namespace
