#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "importers/KvOpenPlatformBK0010.h"
#include "platforms/KvPlatformBK0010.h"
#include "platforms/KvSavePlatformBK0010.h"

namespace {

std::vector<uint8_t> Bytes(size_t ASize, uint8_t AFill = 0) { return std::vector<uint8_t>(ASize, AFill); }

TEST(KvOpenPlatformBK0010, MatchFlagsAndRanking) {
  struct {
    const char* Name;
    std::vector<uint8_t> Data;
    std::vector<std::pair<std::string, int>> Expect;  // best first
  } cases[] = {
      {"a.bks", Bytes(16385, 3), {{"TKvBK0010BKSSourceEngine", 10}}},
      {"a.dat", Bytes(16385, 15), {{"TKvBK0010BKSSourceEngine", 8}}},
      {"a.bks", Bytes(32770, 15), {{"TKvBK0010BKSExSourceEngine", 10}}},
      {"a.bks", Bytes(32768), {{"TKvBK0010BKSBWExSourceEngine", 10}}},
      {"a.pic", Bytes(16384), {{"TKvBK0010PICSourceEngine", 10}, {"TKvBK0010BKSBWSourceEngine", 8}}},
      {"a.bks", Bytes(16384), {{"TKvBK0010BKSBWSourceEngine", 10}, {"TKvBK0010PICSourceEngine", 8}}},
      {"a.dat", Bytes(16384), {{"TKvBK0010BKSBWSourceEngine", 8}, {"TKvBK0010PICSourceEngine", 8}}},
  };
  for (auto& c : cases) {
    TKvProbe probe(c.Name, c.Data);
    int last = -1;
    for (auto& [cls, flags] : c.Expect) {
      EXPECT_EQ(probe.Flags(cls), flags) << c.Name << " " << c.Data.size() << " " << cls;
      const int pos = probe.Position(cls);
      EXPECT_GT(pos, last) << cls;
      last = pos;
    }
  }
  auto bin = Bytes(16388);
  bin[0] = 0x40;
  bin[2] = 0x40;
  for (const char* name : {"a.bin", "a.dat"}) {
    TKvProbe probe(name, bin);
    const int f = std::string(name) == "a.bin" ? 11 : 9;
    EXPECT_EQ(probe.Flags("TKvBK0010BINSourceEngine"), f);
    EXPECT_EQ(probe.Flags("TKvBK0010BINBWSourceEngine"), f);
    EXPECT_EQ(probe.Position("TKvBK0010BINSourceEngine"), 0);
    EXPECT_EQ(probe.Position("TKvBK0010BINBWSourceEngine"), 1);
  }
}

TEST(KvOpenPlatformBK0010, BadInputHasNoCandidate) {
  auto swapped = Bytes(16388);
  swapped[1] = 0x40;
  swapped[3] = 0x40;
  auto bigNumber = Bytes(16385);
  bigNumber[16384] = 16;
  auto gigaBad = Bytes(32770);
  gigaBad[32769] = 16;
  for (auto* d : {&swapped, &bigNumber, &gigaBad}) {
    TKvProbe probe("a.bks", *d);
    for (const std::string& cls : probe.Classes()) EXPECT_EQ(cls.find("TKvBK0010"), std::string::npos) << cls;
  }
  for (size_t n : {0u, 16383u, 16386u, 16387u, 32769u}) {
    TKvProbe probe("a.bks", Bytes(n));
    for (const std::string& cls : probe.Classes()) EXPECT_EQ(cls.find("TKvBK0010"), std::string::npos) << n;
  }
}

TEST(KvOpenPlatformBK0010, DescriptionsAndGigascreenPalettes) {
  auto giga = Bytes(32770);
  giga[32768] = 3;
  giga[32769] = 5;
  giga[0] = 0x02;          // pixel 0 of frame A: colour 2
  giga[16384] = 0x0C;      // pixel 1 of frame B: colour 3
  TKvProbe probe("a.bks", giga);
  TKvSourceEngine* e = probe.Find("TKvBK0010BKSExSourceEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "BK-0011 256x256x2 palette 3/5 gigascreen image");
  EXPECT_EQ(e->PixelAspect, 13);
  auto b = e->Decode();
  ASSERT_EQ(b->Palette->Count, 16);
  ASSERT_NE(b->GetFrames(), nullptr);
  ASSERT_EQ(b->GetFrames()->GetCount(), 2);
  TKvBitmap* fa = b->GetFrames()->GetBitmap(0);
  TKvBitmap* fb = b->GetFrames()->GetBitmap(1);
  EXPECT_EQ(b->GetPixel(0, 0), 2 * 4 + 0);
  EXPECT_EQ(b->GetPixel(1, 0), 0 * 4 + 3);
  // Frame A uses palette 4 (stored 3), frame B palette 6 (stored 5).
  EXPECT_EQ(fa->GetPixelStdRGB(0, 0), BKPalettes[3][2]);
  EXPECT_EQ(fb->GetPixelStdRGB(1, 0), BKPalettes[5][3]);
  EXPECT_TRUE(b->Palette->Colors[1 * 4 + 0].Skip);
  EXPECT_FALSE(b->Palette->Colors[0 * 4 + 1].Skip);
  giga[32769] = 3;
  TKvProbe same("a.bks", giga);
  EXPECT_EQ(same.Find("TKvBK0010BKSExSourceEngine")->Description, "BK-0011 256x256x2 palette 3 gigascreen image");

  struct {
    size_t Size;
    const char* Name;
    const char* Class;
    const char* Description;
  } cases[] = {
      {16385, "a.bks", "TKvBK0010BKSSourceEngine", "BK-0011 256x256x2 palette 0 image"},
      {16384, "a.bks", "TKvBK0010BKSBWSourceEngine", "BK-0011 512x256x1 B/W image"},
      {32768, "a.bks", "TKvBK0010BKSBWExSourceEngine", "BK-0011 512x256x2 B/W gigascreen image"},
      {16384, "a.pic", "TKvBK0010PICSourceEngine", "BK-0010 256x256x2 palette 0 image"},
  };
  for (auto& c : cases) {
    TKvProbe p(c.Name, Bytes(c.Size));
    ASSERT_NE(p.Find(c.Class), nullptr) << c.Class;
    EXPECT_EQ(p.Find(c.Class)->Description, c.Description);
  }
  auto bin = Bytes(16388);
  bin[0] = 0x40;
  bin[2] = 0x40;
  TKvProbe p("a.bin", bin);
  EXPECT_EQ(p.Find("TKvBK0010BINSourceEngine")->Description, "BK-0010 256x256x2 palette 0 image");
  EXPECT_EQ(p.Find("TKvBK0010BINBWSourceEngine")->Description, "BK-0010 512x256x1 B/W image");
}

// Opens stream AIndex of AConversion as AName: AClass comes at APosition and
// decodes to the preview's indexes (or colours) and palette.
void ExpectRoundTrip(const TKvConversion& r, int AIndex, const std::string& AName, const std::string& AClass,
                     int APosition, bool AIndexes) {
  SCOPED_TRACE(AName + " " + AClass);
  std::vector<uint8_t> bytes(r.Bytes(AIndex), r.Bytes(AIndex) + r.Size(AIndex));
  TKvProbe probe(AName, bytes);
  ASSERT_EQ(probe.Position(AClass), APosition);
  TKvSourceEngine* e = probe.Find(AClass);
  auto b = e->Decode();
  TKvBitmap& pv = *r.Preview;
  ASSERT_EQ(b->Width, pv.Width);
  ASSERT_EQ(b->Height, pv.Height);
  if (AIndexes) {
    EXPECT_TRUE(b->Palette->SameColors(pv.Palette.get()));
  }
  EXPECT_EQ(AIndexes ? CountIndexDiffs(*b, pv) : CountColorDiffs(*b, pv), 0);
  // Two-frame files give back both frames.
  if (pv.GetFrames()) {
    ASSERT_NE(b->GetFrames(), nullptr);
    for (int f = 0; f < 2; ++f) {
      EXPECT_EQ(CountColorDiffs(*pv.GetFrames()->GetBitmap(f), *b->GetFrames()->GetBitmap(f)), 0) << f;
    }
  }
}

TEST(KvOpenPlatformBK0010, RoundTrips) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 256, 31);
  auto c = ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(4); });
  ExpectRoundTrip(c, 0, "picture.bks", "TKvBK0010BKSSourceEngine", 0, true);
  auto p1 =
      ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(1); });
  ASSERT_EQ(p1.Streams->GetCount(), 3);
  ExpectRoundTrip(p1, 0, "picture.bks", "TKvBK0010BKSSourceEngine", 0, true);
  ExpectRoundTrip(p1, 1, "picture.bin", "TKvBK0010BINSourceEngine", 0, true);
  ExpectRoundTrip(p1, 2, "picture.pic", "TKvBK0010PICSourceEngine", 0, true);
  auto g =
      ConvertPicture(DestEngineClass<TKvBK2Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(12); });
  // The preview shows each mixture once, whichever frame holds which colour.
  ExpectRoundTrip(g, 0, "picture.bks", "TKvBK0010BKSExSourceEngine", 0, false);
  EXPECT_TRUE(g.Preview->Palette->SameColors(g.Options->GetPalette()));
  auto wide = GradientPicture(512, 256, 32);
  auto m = ConvertPicture(DestEngineClass<TKvBKMonoEngine>(), *wide);
  ExpectRoundTrip(m, 0, "picture.bks", "TKvBK0010BKSBWSourceEngine", 0, false);
  // The colour reading of equal rank comes first.
  ExpectRoundTrip(m, 1, "picture.bin", "TKvBK0010BINBWSourceEngine", 1, false);
  auto m2 = ConvertPicture(DestEngineClass<TKvBKMono2Engine>(), *wide);
  ExpectRoundTrip(m2, 0, "picture.bks", "TKvBK0010BKSBWExSourceEngine", 0, false);
}

}  // namespace
