#include <gtest/gtest.h>

#include <vector>

#include "importers/KvImporterProbe.h"
#include "importers/KvOpenPlatformSAMCoupe.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvSavePlatformSAMCoupe.h"
#include "platforms/ZxTestPictures.h"

namespace {

const std::string NS = "KvOpenPlatformSAMCoupe::";

std::vector<uint8_t> BlockFile(bool AMode4, size_t AExtra = 0) {
  std::vector<uint8_t> f(24617, 0);
  TKvPalette256 p;
  for (int n : {0, 127, 1, 8}) p.AddStdRGB(SAMCoupeColor(n));
  if (AMode4)
    WriteSAMCoupeMode4PaletteBlock(p, f.data() + 24576);
  else
    WriteSAMCoupeMode3PaletteBlock(p, f.data() + 24576);
  if (AExtra) {
    f.pop_back();
    f.resize(24616 + AExtra, 0);
    f.back() = 255;
  }
  return f;
}

// The position of each named class in the candidate list, in that order.
void ExpectOrder(const TKvImporterProbe& AProbe, const std::vector<std::pair<std::string, int>>& AWant) {
  int last = -1;
  for (auto& [name, flags] : AWant) {
    EXPECT_EQ(AProbe.Flags(NS + name), flags) << name;
    const int pos = AProbe.Position(NS + name);
    EXPECT_GT(pos, last) << name;
    last = pos;
  }
}

TEST(KvOpenPlatformSAMCoupe, ProbeRanking) {
  ExpectOrder(TKvImporterProbe("a.ss4", BlockFile(true)),
              {{"TKvSAMCoupeMode4SS4Engine", 11}, {"TKvSAMCoupeMode3SS3Engine", 9}});
  ExpectOrder(TKvImporterProbe("a.ss3", BlockFile(false)),
              {{"TKvSAMCoupeMode3SS3Engine", 10}, {"TKvSAMCoupeMode4SS4Engine", 8}});
  auto ham = BlockFile(true, 4 * 3 + 1);
  for (int r = 0; r < 3; ++r) {
    ham[24616 + 4 * r] = static_cast<uint8_t>(10 * r);
    ham[24616 + 4 * r + 1] = 1;
    ham[24616 + 4 * r + 2] = ham[24616 + 4 * r + 3] = static_cast<uint8_t>(20 + r);
  }
  TKvImporterProbe hp("a.ss4", ham);
  ExpectOrder(hp, {{"TKvSAMCoupeModeSS4HamEngine", 11}, {"TKvSAMCoupeMode3SS3HamEngine", 9}});
  EXPECT_EQ(hp.Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 0);
  EXPECT_EQ(TKvImporterProbe("a.ss4", BlockFile(true)).Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 0);
  TKvImporterProbe sp("a.ssx", std::vector<uint8_t>(24592, 0));
  EXPECT_EQ(sp.Flags(NS + "TKvSAMCoupeMode4SSXEngine"), 10);
  EXPECT_EQ(TKvImporterProbe("a.ssx", std::vector<uint8_t>(98304, 0)).Flags(NS + "TKvSAMCoupeModeRAWEngine"), 10);
  EXPECT_EQ(TKvImporterProbe("a.bin", std::vector<uint8_t>(98304, 0)).Flags(NS + "TKvSAMCoupeModeRAWEngine"), 8);
  EXPECT_EQ(TKvImporterProbe("a.scs4", BlockFile(true)).Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 11);
}

TEST(KvOpenPlatformSAMCoupe, BadInputGivesNoCandidate) {
  const std::vector<std::string> all = {
      "TKvSAMCoupeMode3SS3Engine", "TKvSAMCoupeMode3SSXEngine",   "TKvSAMCoupeMode3SS3HamEngine",
      "TKvSAMCoupeMode4SS4Engine", "TKvSAMCoupeMode4SSXEngine",   "TKvSAMCoupeModeSS4HamEngine",
      "TKvSAMCoupeMode4InterlacedEngine", "TKvSAMCoupeModeRAWEngine"};
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n : {24579u, 24581u, 24591u, 24593u, 24616u, 49233u, 49235u, 98303u, 98305u, 0u, 3u})
    bad.push_back(std::vector<uint8_t>(n, 0));
  auto colour = BlockFile(true);
  colour[24576 + 3] = 128;
  bad.push_back(colour);
  auto colour2 = BlockFile(true);
  colour2[24596 + 15] = 200;
  bad.push_back(colour2);
  auto ssx = std::vector<uint8_t>(24592, 0);
  ssx[24591] = 128;
  bad.push_back(ssx);
  auto noEnd = BlockFile(true);
  noEnd[24616] = 7;
  bad.push_back(noEnd);
  auto lineBad = BlockFile(true, 5);
  lineBad[24616] = 191;
  bad.push_back(lineBad);
  auto entryBad = BlockFile(true, 5);
  entryBad[24617] = 16;
  bad.push_back(entryBad);
  auto colourBad = BlockFile(true, 5);
  colourBad[24619] = 128;
  bad.push_back(colourBad);
  auto tooMany = BlockFile(true, 4 * 128 + 1);
  bad.push_back(tooMany);
  auto ragged = BlockFile(true, 7);
  bad.push_back(ragged);
  for (auto& f : bad) {
    TKvImporterProbe p("a.ss4", f);
    for (auto& c : all) EXPECT_EQ(p.Flags(NS + c), 0) << c << " size " << f.size();
  }
  // 127 records are the most a list holds.
  auto most = BlockFile(true, 4 * 127 + 1);
  EXPECT_EQ(TKvImporterProbe("a.ss4", most).Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 11);
}

TEST(KvOpenPlatformSAMCoupe, HamRecordsTakeEffectOnTheNextRow) {
  auto f = BlockFile(true, 4 * 2 + 1);
  // Entry 0 is black (0); line byte 0 makes it white from row 1; entry 5
  // (0) changes to number 1 from row 3.
  const uint8_t recs[8] = {0, 0, 127, 127, 2, 5, 1, 1};
  for (int i = 0; i < 8; ++i) f[24616 + i] = recs[i];
  f[0] = 0x05;  // pixels 0 and 1 of row 0: entries 0 and 5
  f[128] = 0x05;
  f[3 * 128] = 0x05;
  TKvImporterProbe p("a.ss4", f);
  auto* e = p.Find(NS + "TKvSAMCoupeModeSS4HamEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "SAM Coupé 256x192x8 mode 4 HAM image");
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->GetPixelStdRGB(0, 1), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 1), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->GetPixelStdRGB(1, 3), StdRGBColor(0, 0, 73));
  EXPECT_EQ(b->GetPixelStdRGB(0, 3), StdRGBColor(255, 255, 255));
}

TEST(KvOpenPlatformSAMCoupe, InterlacedBlocksThatDifferGive32Colours) {
  std::vector<uint8_t> f(49234, 0);
  TKvPalette256 p;
  p.AddStdRGB(SAMCoupeColor(1));
  WriteSAMCoupeMode4PaletteBlock(p, f.data() + 24576);
  WriteSAMCoupeMode4PaletteBlock(p, f.data() + 49193);
  TKvImporterProbe same("a.lce", f);
  auto* e = same.Find(NS + "TKvSAMCoupeMode4InterlacedEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, 11);
  EXPECT_EQ(e->Decode()->Palette->Count, 16);
  f[49193 + 15] = 2;
  TKvImporterProbe differ("a.lce", f);
  auto b = differ.Find(NS + "TKvSAMCoupeMode4InterlacedEngine")->Decode();
  EXPECT_EQ(b->Palette->Count, 32);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->GetPixel(0, 1), 16);
}

// The best candidate of AName's bytes decodes to the preview's colours.
void ExpectSamePicture(const std::string& AName, TKvStream* AStream, TKvBitmap& APreview,
                       const std::string& AClass) {
  std::vector<uint8_t> bytes(AStream->GetMemory(), AStream->GetMemory() + AStream->GetSize());
  TKvImporterProbe probe(AName, bytes);
  ASSERT_GT(probe.List->GetCount(), 0) << AName;
  TKvSourceEngine* e = probe.List->GetEngine(0);
  ASSERT_EQ(e->ClassType().GetClassName(), NS + AClass) << AName;
  auto b = e->Decode();
  ASSERT_EQ(b->Width, APreview.Width);
  ASSERT_EQ(b->Height, APreview.Height);
  int diffs = 0;
  for (int y = 0; y < b->Height; ++y)
    for (int x = 0; x < b->Width; ++x)
      if (!(b->GetPixelStdRGB(x, y) == APreview.GetPixelStdRGB(x, y))) ++diffs;
  EXPECT_EQ(diffs, 0) << AName;
}

TEST(KvOpenPlatformSAMCoupe, RoundTrips) {
  using namespace KvSavePlatformSAMCoupe;
  auto wide = ZxTestPicture(512, 192, 7);
  for (uint8_t mode : {0, 1, 10, 11}) {
    auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode3Engine>(), *wide, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    ExpectSamePicture("p.ssx", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode3SSXEngine");
    ExpectSamePicture("p.ss3", r.Streams->GetStream(1), *r.Preview, "TKvSAMCoupeMode3SS3Engine");
  }
  auto pic = ZxTestPicture(256, 192, 8);
  for (uint8_t mode : {0, 1, 11}) {
    auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    ExpectSamePicture("p.ssx", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode4SSXEngine");
    ExpectSamePicture("p.ss4", r.Streams->GetStream(1), *r.Preview, "TKvSAMCoupeMode4SS4Engine");
  }
  auto tall = ZxTestPicture(256, 384, 9);
  auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), *tall);
  ExpectSamePicture("p.lce", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode4InterlacedEngine");
  // Each half is a mode-4 screen of every other row.
  TKvBitmap4 even(256, 192, r.Preview->Palette.get()), odd(256, 192, r.Preview->Palette.get());
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      even.SetPixel(x, y, r.Preview->GetPixel(x, 2 * y));
      odd.SetPixel(x, y, r.Preview->GetPixel(x, 2 * y + 1));
    }
  ExpectSamePicture("p.odd.ss4", r.Streams->GetStream(1), even, "TKvSAMCoupeMode4SS4Engine");
  ExpectSamePicture("p.eve.ss4", r.Streams->GetStream(1)->GetSubStream(0), odd, "TKvSAMCoupeMode4SS4Engine");
}

TEST(KvOpenPlatformSAMCoupe, HamRoundTripByColour) {
  using namespace KvSavePlatformSAMCoupe;
  auto pic = ZxTestPicture(256, 192, 11);
  auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  ASSERT_GT(r.Size(0), 24617);
  ExpectSamePicture("p.ss4", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeModeSS4HamEngine");
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvImporterProbe probe("p.ss4", bytes);
  EXPECT_EQ(probe.Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 11);
  EXPECT_EQ(probe.Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 0);
}

}  // namespace
