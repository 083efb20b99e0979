#include <gtest/gtest.h>

#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "importers/KvOpenPlatformDVK.h"
#include "platforms/KvPlatformDVK.h"
#include "platforms/KvSavePlatformDVK.h"

namespace {

std::vector<uint8_t> DvkFile(int W, int H) {
  std::vector<uint8_t> f(DvkPicSize(W, H), 0);
  f[0] = static_cast<uint8_t>(W);
  f[1] = static_cast<uint8_t>(W >> 8);
  f[2] = static_cast<uint8_t>(H);
  f[3] = static_cast<uint8_t>(H >> 8);
  return f;
}

TEST(KvOpenPlatformDVK, MatchFlagsAndBadInput) {
  auto f = DvkFile(400, 240);
  f[f.size() - 1] = 63;
  ASSERT_EQ(f.size(), 48020u);
  EXPECT_EQ(TKvProbe("a.pic", f).Flags("TKvDVKEngine"), 11);
  EXPECT_EQ(TKvProbe("a.bin", f).Flags("TKvDVKEngine"), 9);
  EXPECT_EQ(TKvProbe("a.pic", f).Position("TKvDVKEngine"), 0);
  auto longer = f;
  longer.push_back(0);
  auto badPalette = f;
  badPalette[f.size() - 3] = 64;
  auto wide = DvkFile(404, 1);
  auto zero = DvkFile(0, 1);
  for (auto* bad : {&longer, &badPalette, &wide, &zero}) EXPECT_EQ(TKvProbe("a.pic", *bad).Flags("TKvDVKEngine"), 0);
  for (size_t n : {0u, 4u, 20u}) EXPECT_EQ(TKvProbe("a.pic", std::vector<uint8_t>(n, 1)).Flags("TKvDVKEngine"), 0);
}

TEST(KvOpenPlatformDVK, DecodesPaletteTypesAndOddWidths) {
  // 6 x 2: pixel values 1..6 in the top row, the bottom row stored first.
  auto f = DvkFile(6, 2);
  f[4 + 4 + 0] = 0x34;
  f[4 + 4 + 1] = 0x12;
  f[4 + 4 + 2] = 0x7F;  // beyond the width: skipped
  f[4 + 4 + 3] = 0x56;
  f[f.size() - 16 + 1] = 21;
  TKvProbe probe("a.pic", f);
  TKvSourceEngine* e = probe.Find("TKvDVKEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "DVK KCGD 6x2x4 image");
  ASSERT_EQ(e->GetPaletteTypeCount(), 2);
  auto b = e->Decode();
  ASSERT_EQ(b->Palette->Count, 16);
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(0x80, 0x80, 0x80));
  EXPECT_EQ(b->Palette->GetStdRGB(2), StdRGBColor(0, 0, 0));
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(b->GetPixel(x, 0), x + 1);
    EXPECT_EQ(b->GetPixel(x, 1), 0);
  }
  e->PaletteType = ptColoredLinear;
  b = e->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(0x55, 0x55, 0x55));
}

// The preview's colours come back from the file: in colour mode as the same
// indexes with the file's 16 entries (the preview's first).
void ExpectSameColours(TKvConversion& r) {
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("picture.pic", bytes);
  ASSERT_GT(probe.List->GetCount(), 0);
  TKvSourceEngine* e = probe.List->GetEngine(0);
  ASSERT_EQ(e->ClassType().GetClassName(), "TKvDVKEngine");
  auto b = e->Decode();
  ASSERT_EQ(b->Width, r.Preview->Width);
  ASSERT_EQ(b->Height, r.Preview->Height);
  ASSERT_EQ(b->Palette->Count, 16);
  EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0);
}

TEST(KvOpenPlatformDVK, RoundTrip) {
  auto pic = GradientPicture(64, 20, 11);
  auto r = ConvertPicture(DestEngineClass<TKvDvkEngine>(), *pic);
  const TKvPalette256& pal = *r.Options->GetPalette();
  ASSERT_EQ(pal.Count, 15);
  ExpectSameColours(r);
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("picture.pic", bytes);
  auto b = probe.List->GetEngine(0)->Decode();
  for (int i = 0; i < pal.Count; ++i) EXPECT_EQ(b->Palette->GetStdRGB(i), pal.GetStdRGB(i));
  EXPECT_EQ(b->Palette->GetStdRGB(15), StdRGBColor(0, 0, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(b->GetPixel(x, y), r.Preview->GetPixel(x, y));
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray}) {
    auto m = ConvertPicture(DestEngineClass<TKvDvkEngine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    ExpectSameColours(m);
  }
}

TEST(KvOpenPlatformDVK, GrayMergedIntoFixedPaletteKeepsIndexesOfThePaletteBlock) {
  // A fixed palette of white then black leaves no room for the four grays:
  // the two colours are merged, white first. The screen must hold the fixed
  // palette's indexes, not 0 for dark and 1 for light.
  auto pic = GradientPicture(64, 20, 12);
  auto r = ConvertPicture(DestEngineClass<TKvDvkEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.SetMaxColorCount(2);
    TKvPalette256 fixed;
    fixed.AddRGB(255, 255, 255);
    fixed.AddRGB(0, 0, 0);
    o.SetFixedPalette(&fixed);
    o.UpdatePalette();
  });
  const uint8_t* block = r.Bytes(0) + r.Size(0) - 16;
  EXPECT_EQ(block[0], 63);
  EXPECT_EQ(block[1], 0);
  ExpectSameColours(r);
}

}  // namespace
