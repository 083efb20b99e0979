#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformPMD85.h"
#include "platforms/KvSavePlatformPMD85.h"

namespace {

std::string Class(char ALetter) { return std::string("KvOpenPlatformPMD85::TKvPMD85") + ALetter + "Engine"; }

TEST(KvOpenPlatformPMD85, MatchRanking) {
  TKvProbe probe("a.85d", std::vector<uint8_t>(16384, 0));
  EXPECT_EQ(probe.Position(Class('D')), 0);
  EXPECT_EQ(probe.Flags(Class('D')), 10);
  int last = 0;
  for (char c : std::string("ABCEFH")) {
    EXPECT_EQ(probe.Flags(Class(c)), 8) << c;
    EXPECT_GT(probe.Position(Class(c)), last) << c;
    last = probe.Position(Class(c));
  }
  EXPECT_EQ(probe.Find(Class('A'))->Description, "PMD 85 288x256x2 Standard image");
  EXPECT_EQ(probe.Find(Class('H'))->Description, "PMD 85 288x256x3 ColorAce image");
  for (size_t n : {16383u, 16385u, 0u}) {
    TKvProbe bad("a.85a", std::vector<uint8_t>(n, 0));
    for (char c : std::string("ABCDEFH")) EXPECT_EQ(bad.Flags(Class(c)), 0) << n << c;
  }
}

TEST(KvOpenPlatformPMD85, DecodesAttributes) {
  TKvProbe full("a.85a", std::vector<uint8_t>(16384, 0xFF));
  auto a = full.Find(Class('A'))->Decode();
  EXPECT_EQ(a->GetPixelStdRGB(5, 5), StdRGBColor(191, 191, 191));
  auto b = full.Find(Class('B'))->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(5, 5), StdRGBColor(160, 160, 160));
  std::vector<uint8_t> f(16384, 0);
  f[0] = 0x01;         // green cell: attributes (0, 0)
  f[1] = 0x01;         // white: (0, 3)
  f[64 + 1] = 0xC0;
  f[2] = 0x41;         // magenta: (1, 2)
  f[64 + 2] = 0x80;
  TKvProbe ca("a.85h", f);
  auto h = ca.Find(Class('H'))->Decode();
  EXPECT_EQ(h->GetPixelStdRGB(0, 0), StdRGBColor(80, 255, 80));
  EXPECT_EQ(h->GetPixel(1, 0), 0);
  EXPECT_EQ(h->GetPixelStdRGB(6, 0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(h->GetPixelStdRGB(12, 0), StdRGBColor(255, 80, 255));
}

TEST(KvOpenPlatformPMD85, RoundTrips) {
  auto pic = GradientPicture(288, 256, 61);
  struct {
    TKvPaletteType Type;
    char Letter;
  } cases[] = {{ptPMD85A, 'A'}, {ptPMD85B, 'B'}, {ptPMD85C, 'C'}, {ptPMD85D, 'D'}, {ptPMD85E, 'E'}, {ptPMD85F, 'F'}};
  auto check = [&](const TKvConversion& r, char ALetter) {
    const std::string name = std::string("p.85") + static_cast<char>(ALetter - 'A' + 'a');
    TKvProbe probe(name, std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Position(Class(ALetter)), 0) << ALetter;
    auto b = probe.Find(Class(ALetter))->Decode();
    EXPECT_TRUE(b->Palette->SameColors(r.Preview->Palette.get())) << ALetter;
    EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0) << ALetter;
  };
  for (auto& c : cases) {
    auto r = ConvertPicture(DestEngineClass<TKvPMD85Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(c.Type);
      o.UpdatePalette();
    });
    check(r, c.Letter);
  }
  check(ConvertPicture(DestEngineClass<TKvPMD85CAEngine>(), *pic), 'H');
}

}  // namespace
