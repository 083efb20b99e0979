#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "platforms/KvPlatformOkean240.h"
#include "platforms/KvSavePlatformOkean240.h"

namespace {

std::vector<uint8_t> Bytes(size_t ASize, uint8_t AFill = 0) { return std::vector<uint8_t>(ASize, AFill); }

TEST(KvOpenPlatformOkean240, MatchDescriptionsAndBadInput) {
  struct {
    const char* Name;
    size_t Size;
    uint8_t Last;
    const char* Class;
    int Flags;
    const char* Description;
  } cases[] = {
      {"a.oks", 16385, 3, "TKvOkean240SourceEngine", 10, "Okean-240 256x256x2 palette 3 image"},
      {"a.dat", 16385, 6, "TKvOkean240SourceEngine", 8, "Okean-240 256x256x2 palette 6 image"},
      {"a.oks", 32769, 3, "TKvOkean240ExSourceEngine", 10, "Okean-240 256x256x4 palette 3 gigascreen image"},
      {"a.oks", 16384, 0, "TKvOkean240BWSourceEngine", 10, "Okean-240 512x256x1 B/W image"},
      {"a.oks", 32768, 0, "TKvOkean240BWExSourceEngine", 10, "Okean-240 512x256x2 B/W gigascreen image"},
  };
  for (auto& c : cases) {
    auto d = Bytes(c.Size);
    d.back() = c.Last;
    TKvProbe probe(c.Name, d);
    ASSERT_NE(probe.Find(c.Class), nullptr) << c.Class;
    EXPECT_EQ(probe.Flags(c.Class), c.Flags);
    EXPECT_EQ(probe.Find(c.Class)->Description, c.Description);
  }
  // A palette byte of 7 is no Okean-240 colour file; other sizes are none.
  for (auto [size, last] : {std::pair<size_t, uint8_t>{16385, 7}, {32769, 7}, {0, 0}, {16386, 0}, {32767, 0}}) {
    TKvProbe probe("a.oks", Bytes(size, last));
    for (const std::string& cls : probe.Classes()) EXPECT_EQ(cls.find("TKvOkean240"), std::string::npos) << size;
  }
  // Palette 7 (stored 6): green, white, yellow, blue; pixel (8, 0) from bytes 512 and 768.
  auto d = Bytes(16385);
  d[16384] = 6;
  d[512] = 1;
  d[768] = 1;
  TKvProbe probe("a.oks", d);
  auto b = probe.Find("TKvOkean240SourceEngine")->Decode();
  EXPECT_EQ(b->GetPixel(8, 0), 3);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(0, 255, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(3), StdRGBColor(0, 0, 255));
}

void ExpectRoundTrip(const TKvConversion& r, const std::string& AClass, bool AIndexes) {
  SCOPED_TRACE(AClass);
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("picture.oks", bytes);
  ASSERT_EQ(probe.Position(AClass), 0);
  auto b = probe.Find(AClass)->Decode();
  TKvBitmap& pv = *r.Preview;
  ASSERT_EQ(b->Width, pv.Width);
  ASSERT_EQ(b->Height, pv.Height);
  if (AIndexes) {
    EXPECT_TRUE(b->Palette->SameColors(pv.Palette.get()));
  }
  EXPECT_EQ(AIndexes ? CountIndexDiffs(*b, pv) : CountColorDiffs(*b, pv), 0);
}

TEST(KvOpenPlatformOkean240, RoundTrips) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 256, 31);
  for (int k : {0, 3, 7}) {
    auto c = ConvertPicture(DestEngineClass<TKvOkean1Engine>(), *pic,
                            [k](TKvDestEngineOptions& o) { o.SetPaletteIndex(k); });
    ExpectRoundTrip(c, "TKvOkean240SourceEngine", true);
  }
  auto g =
      ConvertPicture(DestEngineClass<TKvOkean2Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(5); });
  ExpectRoundTrip(g, "TKvOkean240ExSourceEngine", false);
  auto wide = GradientPicture(512, 256, 32);
  ExpectRoundTrip(ConvertPicture(DestEngineClass<TKvOkeanMonoEngine>(), *wide), "TKvOkean240BWSourceEngine", false);
  // The two-frame black-and-white file comes back in the opposite frame
  // phase: the same mixtures, so the same colours.
  ExpectRoundTrip(ConvertPicture(DestEngineClass<TKvOkeanMono2Engine>(), *wide), "TKvOkean240BWExSourceEngine", false);
}

}  // namespace
