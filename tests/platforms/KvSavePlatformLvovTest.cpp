#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformLvov.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformLvov.h"
#include "KvTestHarness.h"

namespace {

TKvStdRGBColor Rgb(uint32_t v) { return StdRGBColor(v >> 16, (v >> 8) & 0xFF, v & 0xFF); }

TEST(KvSavePlatformLvov, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Lvov");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "200x225x2");
  EXPECT_EQ(list.GetSubTypes(p).GetString(1), "256x256x2");
  EXPECT_LT(p, list.IndexOf("MSX"));
}

TEST(KvSavePlatformLvov, PortByteColours) {
  struct {
    uint8_t Port;
    bool Sort;
    uint32_t Colors[4];
  } cases[] = {
      {15, false, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000}},
      {15, true, {0x000000, 0x0000FF, 0xFF0000, 0x00FF00}},
      {127, false, {0xFFFFFF, 0xFFFF00, 0xFF00FF, 0x00FFFF}},
      {0, false, {0xFF00FF, 0xFF00FF, 0x00FF00, 0xFFFF00}},
  };
  for (auto& c : cases) {
    TKvStdRGBColor got[4];
    DecodeLvovPortColors(got, c.Port, c.Sort);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], Rgb(c.Colors[i])) << int(c.Port) << " " << i;
  }
  EXPECT_EQ(LvovPaletteCaption(1), "Black/Blue/Red/Green (15)");
}

TEST(KvSavePlatformLvov, ScreenLayout) {
  std::vector<uint8_t> d(TKvLvovScreen::GetDataSize(200, 225), 0);
  ASSERT_EQ(d.size(), 11251u);
  TKvLvovScreen s(200, 225, d.data(), 15);
  EXPECT_EQ(d.back(), 15);
  s.SetPixel(0, 0, 2);
  EXPECT_EQ(d[0], 0x80);
  s.SetPixel(3, 0, 1);
  EXPECT_EQ(d[0], 0x81);
  s.SetPixel(0, 1, 3);
  EXPECT_EQ(d[50], 0x88);
  s.SetPixel(0, 0, 1);  // only this pixel's two bits change
  EXPECT_EQ(d[0], 0x09);
}

TEST(KvSavePlatformLvov, AutoStoresThePortByte) {
  // Black, blue, green and red bands: port byte 15 fits exactly.
  static const uint32_t colours[4] = {0xFF000000u, 0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
  TBitmap32 pic(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) *pic.GetPixelPtr(x, y) = colours[(x / 5 + y / 7) % 4];
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    auto r = ConvertPicture(DestEngineClass<TKvLvovEngine>(), pic);
    EXPECT_EQ(r.Options->PaletteIndex, 15) << n;
    EXPECT_EQ(r.Options->SecondPaletteIndex, -1);
    ASSERT_EQ(r.Size(0), 16385);
    EXPECT_EQ(r.Streams->GetExtension(0), "lvs");
    EXPECT_EQ(r.Bytes(0)[16384], 15);
    // The panel shows the sorted colours, the preview the screen's order.
    EXPECT_EQ(r.Options->GetPalette()->GetStdRGB(2), Rgb(0xFF0000));
    EXPECT_EQ(r.Preview->Palette->GetStdRGB(2), Rgb(0x00FF00));
  }
  auto small = GradientPicture(200, 225, 5);
  auto r =
      ConvertPicture(DestEngineClass<TKvLvov2Engine>(), *small, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(42); });
  ASSERT_EQ(r.Size(0), 11251);
  EXPECT_EQ(r.Bytes(0)[11250], 127);
  EXPECT_EQ(r.Options->PaletteIndex, 127);
}

TEST(KvSavePlatformLvov, ParallelSearchGivesTheSequentialAnswer) {
  auto pic = GradientPicture(40, 30, 3);
  TKvImage image(*pic);
  image.CacheColors();
  auto o = DestEngineClass<TKvLvovEngine>().Create()->CreateOptions();
  bool abort = false;
  const int expect = FindFixedPalette(&abort, image, LvovPaletteCandidates(), *o);
  ASSERT_GE(expect, 1);
  for (int n : {2, 3, 16, 50}) {
    TKvProcessorCountOverride count(n);
    EXPECT_EQ(FindFixedPaletteByJobs(&abort, image, LvovPaletteCandidates(), *o), expect) << n;
  }
}

// A trial that fails in a later chunk, after others have scored, ends the
// search with its error: it never stands as a winner of score 0, which
// would be the table's non-existent entry 0.
TEST(KvSavePlatformLvov, FailedTrialNeverWins) {
  auto pic = GradientPicture(24, 16, 6);
  TKvImage image(*pic);
  image.CacheColors();
  auto o = DestEngineClass<TKvLvovEngine>().Create()->CreateOptions();
  TKvFixedPaletteCandidates c = LvovPaletteCandidates();
  const auto build = c.Build;
  c.Build = [build](int k, TKvPalette256& p) {
    if (k == 42) throw std::runtime_error("candidate");
    build(k, p);
  };
  bool abort = false;
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    EXPECT_THROW(SearchFixedPalette(&abort, image, c, *o), std::runtime_error) << n;
  }
}

}  // namespace
