#include <gtest/gtest.h>

#include <set>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformPico8.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Pico8() { return DestEngineClass<TKvPico8Engine>(); }

TKvConversion Pico8Convert(TKvPaletteMode AMode, TBitmap32& APicture) {
  return ConvertPicture(Pico8(), APicture, [AMode](TKvDestEngineOptions& o) { o.SetPaletteMode(AMode); });
}

TEST(KvSavePlatformPico8, RegisteredPreviewOnly) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Pico-8");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "128x128x4");
  auto o = Pico8().Create()->CreateOptions();
  o->SetWidth(200);
  EXPECT_EQ(o->GetWidth(), 128);
  EXPECT_EQ(o->GetHeight(), 128);
  EXPECT_EQ(o->PaletteMode, pmColor);
}

TEST(KvSavePlatformPico8, WhiteGivesIndex7) {
  auto pic = SolidPicture(16, 8, 0xFFFFFF);
  for (TKvPaletteMode mode : {pmBlackWhite, pmColor}) {
    auto r = Pico8Convert(mode, *pic);
    EXPECT_EQ(r.Streams, nullptr);
    EXPECT_EQ(r.Preview->GetPixel(3, 3), 7) << int(mode);
    EXPECT_EQ(r.Preview->Palette->GetStdRGB(7), StdRGBColor(0xFF, 0xF1, 0xE8)) << int(mode);
  }
}

TEST(KvSavePlatformPico8, GrayUsesTheFourGrays) {
  auto pic = GradientPicture(64, 32, 3);
  auto r = ConvertPicture(Pico8(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  std::set<int> used;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) used.insert(r.Preview->GetPixel(x, y));
  for (int i : used) EXPECT_TRUE(i == 0 || i == 5 || i == 6 || i == 7) << i;
  EXPECT_GE(used.size(), 3u);
  EXPECT_THROW(ConvertPicture(Pico8(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pm5Colors); }), EOSError);
}

}  // namespace
