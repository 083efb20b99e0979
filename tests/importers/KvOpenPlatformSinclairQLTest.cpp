#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformSinclairQL.h"
#include "platforms/KvPlatformSinclairQL.h"
#include "platforms/KvSavePlatformSinclairQL.h"

namespace {

const char* const kQL4 = "KvOpenPlatformSinclairQL::TKvSinclairQL4Engine";
const char* const kQL8 = "KvOpenPlatformSinclairQL::TKvSinclairQL8Engine";
const char* const kPic = "KvOpenPlatformSinclairQL::TKvSinclairQLPICEngine";

std::vector<uint8_t> PicFile(int W, int H, int AMode) {
  std::vector<uint8_t> f(static_cast<size_t>(QLPicFileSize(W, H, AMode)), 0);
  InitQLPicHeader(f.data(), W, H, AMode);
  return f;
}

TEST(KvOpenPlatformSinclairQL, MatchAndBadInput) {
  // Mode 4 first; the other 32 KB readings by size follow (in unit order),
  // mode 8 after them.
  TKvProbe scr4("a.scr4", std::vector<uint8_t>(32768, 0));
  EXPECT_EQ(scr4.Flags(kQL4), 10);
  EXPECT_EQ(scr4.Flags(kQL8), 8);
  EXPECT_EQ(scr4.Position(kQL4), 0);
  EXPECT_GT(scr4.Position(kQL8), 1);
  for (int i = 1; i < scr4.Position(kQL8); ++i) EXPECT_EQ(scr4.List->GetEngine(i)->MatchFlags, 8) << i;
  EXPECT_EQ(TKvProbe("a.qs8", std::vector<uint8_t>(32768, 0)).Flags(kQL8), 10);
  auto pic = PicFile(8, 4, 16);
  TKvProbe good("a.pic", pic);
  EXPECT_EQ(good.Flags(kPic), 11);
  EXPECT_EQ(good.Position(kPic), 0);
  EXPECT_EQ(TKvProbe("a.bin", pic).Flags(kPic), 9);
  auto longer = pic;
  longer.push_back(0);
  auto shorter = pic;
  shorter.pop_back();
  auto mode34 = PicFile(8, 4, 32);
  mode34[8] = 34;
  auto row = pic;
  row[7] = 9;
  auto huge = pic;  // 65535 x 65535 in a file of 42 bytes
  for (int i = 2; i < 8; ++i) huge[i] = 0xFF;
  for (auto* bad : {&longer, &shorter, &mode34, &row, &huge}) EXPECT_EQ(TKvProbe("a.pic", *bad).Flags(kPic), 0);
  for (size_t n : {0u, 10u, 32767u}) {
    TKvProbe p("a.scr4", std::vector<uint8_t>(n, 0));
    EXPECT_EQ(p.Flags(kQL4) + p.Flags(kQL8) + p.Flags(kPic), 0);
  }
}

TEST(KvOpenPlatformSinclairQL, SixteenBitPixels) {
  auto f = PicFile(2, 1, 32);
  f[10] = 0x1F;
  f[11] = 0x00;
  f[12] = 0x00;
  f[13] = 0xF8;
  TKvProbe p32("a.pic", f);
  ASSERT_NE(p32.Find(kPic), nullptr);
  EXPECT_EQ(p32.Find(kPic)->Description, "Sinclair QL 2x1x16 mode 32 image");
  auto b = p32.Find(kPic)->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(0, 0, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 0), StdRGBColor(255, 0, 0));
  auto g = PicFile(1, 1, 33);
  g[11] = 0x01;
  TKvProbe p33("a.pic", g);
  EXPECT_EQ(p33.Find(kPic)->Decode()->GetPixelStdRGB(0, 0), StdRGBColor(4, 4, 4));
}

int Differences(TKvBitmap& A, TKvBitmap& B, bool AIndexes) {
  return CountColorDiffs(A, B) + (AIndexes ? CountIndexDiffs(A, B) : 0);
}

TEST(KvOpenPlatformSinclairQL, RoundTrip) {
  struct {
    const TKvDestEngineClass* Class;
    int W, H;
    TKvPaletteMode Mode;
    const char* Name;
    const char* Importer;
    bool Indexes;
  } cases[] = {
      {&DestEngineClass<TKvSinclairQL4Engine>(), 512, 256, pmBlackWhite, "p.scr4", kQL4, false},
      {&DestEngineClass<TKvSinclairQL4Engine>(), 512, 256, pmGrayGreen, "p.scr4", kQL4, false},
      {&DestEngineClass<TKvSinclairQL4Engine>(), 512, 256, pmGrayRed, "p.scr4", kQL4, false},
      {&DestEngineClass<TKvSinclairQL4Engine>(), 512, 256, pmColor, "p.scr4", kQL4, false},
      {&DestEngineClass<TKvSinclairQL8Engine>(), 256, 256, pmColor, "p.scr8", kQL8, false},
      {&DestEngineClass<TKvSinclairQL16Engine>(), 40, 24, pmColor, "p.pic", kPic, true},
      {&DestEngineClass<TKvSinclairQL32Engine>(), 40, 24, pmColor, "p.pic", kPic, false},
      {&DestEngineClass<TKvSinclairQL33Engine>(), 40, 24, pmColor, "p.pic", kPic, false},
  };
  for (auto& c : cases) {
    auto pic = GradientPicture(c.W, c.H, 6);
    auto r = ConvertPicture(*c.Class, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(c.Mode);
      o.UpdatePalette();
    });
    TKvProbe probe(c.Name, std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_GT(probe.List->GetCount(), 0);
    ASSERT_EQ(probe.Classes()[0], c.Importer) << c.Name << " " << c.Mode;
    auto b = probe.List->GetEngine(0)->Decode();
    ASSERT_EQ(b->Width, r.Preview->Width);
    ASSERT_EQ(b->Height, r.Preview->Height);
    EXPECT_EQ(Differences(*b, *r.Preview, c.Indexes), 0) << c.Name << " " << c.Mode;
  }
}

}  // namespace
