#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformCorvette.h"
#include "platforms/KvPlatformCorvette.h"
#include "platforms/KvSavePlatformCorvette.h"

namespace {

std::vector<uint8_t> WinFile(int W, int H, size_t ASize) {
  std::vector<uint8_t> f(ASize, 0);
  InitCorvetteWinHeader(f.data(), W, H);
  return f;
}

TEST(KvOpenPlatformCorvette, MatchFlagsAndBadInput) {
  std::vector<uint8_t> grf(400, 0);
  InitCorvetteGrfHeader(grf.data());
  auto win = WinFile(512, 256, 49161);
  struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Class;
    int Flags;
  } cases[] = {
      {"a.grf", grf, "TKvCorvetteGrfEngine", 3},
      {"a.bin", grf, "TKvCorvetteGrfEngine", 1},
      {"a.pic", std::vector<uint8_t>(49152, 0), "TKvCorvettePicEngine", 10},
      {"a.bin", std::vector<uint8_t>(49152, 0), "TKvCorvettePicEngine", 8},
      {"a.win", win, "TKvCorvetteWinEngine", 3},
      {"a.bin", win, "TKvCorvetteWinEngine", 1},
  };
  for (auto& c : cases) {
    TKvProbe probe(c.Name, c.Bytes);
    EXPECT_EQ(probe.Flags(c.Class), c.Flags) << c.Name << " " << c.Class;
    ASSERT_NE(probe.Find(c.Class), nullptr);
    EXPECT_EQ(probe.Find(c.Class)->Description, "Corvette 512x256x3 image");
    EXPECT_EQ(probe.Find(c.Class)->PixelAspect, 7);
    EXPECT_EQ(probe.Find(c.Class)->GetPaletteTypeCount(), 2);
  }
  // A width word of 512, a header alone, other sizes, an empty file: none.
  auto wide = WinFile(513, 1, 200);
  auto winHeaderOnly = WinFile(8, 1, 9);
  std::vector<uint8_t> grfHeaderOnly(grf.begin(), grf.begin() + 6);
  for (auto* bad : {&wide, &winHeaderOnly, &grfHeaderOnly}) {
    for (const char* name : {"a.win", "a.grf"}) {
      TKvProbe probe(name, *bad);
      for (const std::string& cls : probe.Classes()) EXPECT_EQ(cls.find("Corvette"), std::string::npos) << cls;
    }
  }
  for (size_t n : {0u, 49151u, 49153u}) {
    TKvProbe probe("a.pic", std::vector<uint8_t>(n, 0));
    for (const std::string& cls : probe.Classes()) EXPECT_EQ(cls.find("Corvette"), std::string::npos) << n;
  }
}

TEST(KvOpenPlatformCorvette, PicRanksBeforeTheOther48KReadings) {
  TKvProbe probe("x.pic", std::vector<uint8_t>(49152, 0));
  const int corvette = probe.Position("TKvCorvettePicEngine");
  ASSERT_GE(corvette, 0);
  EXPECT_EQ(probe.Flags("TKvCorvettePicEngine"), 10);
  EXPECT_EQ(probe.Flags("TKvZxSpectrumNextSl2Engine"), 8);
  EXPECT_LT(corvette, probe.Position("TKvZxSpectrumNextSl2Engine"));
}

TEST(KvOpenPlatformCorvette, WinSizesAndShortFiles) {
  // 12 x 2: B = 2; pixel (0, 0) from bits 0, 1, 2 in the planes in order,
  // pixel (11, 1) from plane 0 only. The file lacks its last plane row.
  auto f = WinFile(12, 2, 9 + 3 * 2 * 2 - 2);
  f[9] = 0x80;      // plane 0 (bit 0)
  f[9 + 4] = 0x80;  // plane 1 (bit 1)
  f[9 + 3] = 0x10;  // plane 0, row 1, x = 11
  TKvProbe probe("a.win", f);
  TKvSourceEngine* e = probe.Find("TKvCorvetteWinEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "Corvette 12x2x3 image");
  auto b = e->Decode();
  ASSERT_EQ(b->Width, 12);
  ASSERT_EQ(b->Height, 2);
  EXPECT_EQ(b->GetPixel(0, 0), 3);
  EXPECT_EQ(b->GetPixel(11, 1), 1);
  EXPECT_EQ(b->GetPixel(1, 0), 0);
  // Even a file of one plane byte decodes, the rest black.
  auto one = WinFile(512, 256, 10);
  one[9] = 0xFF;
  TKvProbe p1("a.win", one);
  auto b1 = p1.Find("TKvCorvetteWinEngine")->Decode();
  EXPECT_EQ(b1->GetPixel(7, 0), 1);
  EXPECT_EQ(b1->GetPixel(8, 0), 0);
  EXPECT_EQ(b1->GetPixel(511, 255), 0);
}

TEST(KvOpenPlatformCorvette, ShortOrDamagedGrfKeepsItsBlocks) {
  // Block 0 all 0xFF (001 1), block 1 64 copies of 0x0F (010 0x0F), then
  // the data ends.
  std::vector<uint8_t> f = {'G', 'R', 'F', '1', '.', '0', 0x34, 0x1E};
  TKvProbe probe("a.grf", f);
  TKvSourceEngine* e = probe.Find("TKvCorvetteGrfEngine");
  ASSERT_NE(e, nullptr);
  auto b = e->Decode();
  // Row 0 bytes 0..63 of plane 0: 0xFF (value 1); row 1 bytes 0..63: 0x0F.
  EXPECT_EQ(b->GetPixel(0, 0), 1);
  EXPECT_EQ(b->GetPixel(511, 0), 1);
  EXPECT_EQ(b->GetPixel(0, 1), 0);
  EXPECT_EQ(b->GetPixel(4, 1), 1);
  EXPECT_EQ(b->GetPixel(0, 2), 0);
  EXPECT_EQ(b->GetPixel(511, 255), 0);
  // Code 4 and above stop the decoding in the same way.
  std::vector<uint8_t> bad = {'G', 'R', 'F', '1', '.', '0', 0x38, 0x80};
  TKvProbe p2("a.grf", bad);
  auto b2 = p2.Find("TKvCorvetteGrfEngine")->Decode();
  EXPECT_EQ(b2->GetPixel(0, 0), 1);
  EXPECT_EQ(b2->GetPixel(0, 1), 0);
}

// Each file of the conversion opens, best first, as its own reading, with
// the values the screen received in the normal-intensity colours.
void ExpectRoundTrip(const TKvConversion& r, const std::vector<int>& AExpectedValues = {}) {
  TKvPalette256 normal;
  BuildCorvettePalette(normal, ptColoredLinear);
  for (int i = 0; i < r.Streams->GetCount(); ++i) {
    const std::string ext = r.Streams->GetExtension(i);
    SCOPED_TRACE(ext);
    std::vector<uint8_t> bytes(r.Bytes(i), r.Bytes(i) + r.Size(i));
    TKvProbe probe("picture." + ext, bytes);
    ASSERT_GT(probe.List->GetCount(), 0);
    const std::string cls = probe.List->GetEngine(0)->ClassType().GetClassName();
    EXPECT_EQ(cls.find("TKvCorvette"), 0u) << cls;
    auto b = probe.List->GetEngine(0)->Decode();
    TKvBitmap& pv = *r.Preview;
    ASSERT_EQ(b->Width, pv.Width);
    ASSERT_EQ(b->Height, pv.Height);
    ASSERT_EQ(b->Palette->Count, 16);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(b->Palette->GetStdRGB(k), normal.GetStdRGB(k));
    int diffs = 0;
    for (int y = 0; y < pv.Height; ++y)
      for (int x = 0; x < pv.Width; ++x) {
        const int v = AExpectedValues.empty() ? pv.GetPixel(x, y) : AExpectedValues[size_t(pv.GetPixel(x, y))];
        if (b->GetPixel(x, y) != v) ++diffs;
      }
    EXPECT_EQ(diffs, 0);
  }
}

TEST(KvOpenPlatformCorvette, RoundTrips) {
  auto pic = GradientPicture(512, 256, 21);
  auto r = ConvertPicture(DestEngineClass<TKvCorvetteEngine>(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 3);
  ExpectRoundTrip(r);
  // "Black/white": white is value 7.
  auto bw = ConvertPicture(DestEngineClass<TKvCorvetteEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  ExpectRoundTrip(bw, {0, 7});
  // Another size: only a ".win".
  auto small = GradientPicture(100, 60, 22);
  auto s = ConvertPicture(DestEngineClass<TKvCorvetteEngine>(), *small);
  ASSERT_EQ(s.Streams->GetCount(), 1);
  ExpectRoundTrip(s);
}

}  // namespace
