#include <gtest/gtest.h>

#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformOkean240.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformOkean240.h"
#include "KvTestHarness.h"

namespace {

std::unique_ptr<TBitmap32> BlackWhitePicture(int W, int H) {
  auto b = std::make_unique<TBitmap32>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) *b->GetPixelPtr(x, y) = ((x + y / 3) % 3 == 0) ? 0xFFFFFFFFu : 0xFF000000u;
  return b;
}

TEST(KvSavePlatformOkean240, RegisteredModesAndPalettes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Okean-240");
  ASSERT_GE(p, 0);
  const std::vector<std::string> modes = {"256x256x2", "256x256x4 Gigascreen", "512x256x1", "512x256x2 Gigascreen"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), modes[i]);
  EXPECT_LT(list.IndexOf("MSX"), p);

  TKvPalette256 pal;
  BuildOkeanPalette(0, pal);
  EXPECT_EQ(pal.Count, 0);
  BuildOkeanPalette(2, pal);
  ASSERT_EQ(pal.Count, 4);
  EXPECT_EQ(pal.GetStdRGB(0), StdRGBColor(255, 255, 255));
  BuildOkeanMixPalette(4, 100, pal);
  ASSERT_EQ(pal.Count, 16);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(pal.Colors[i * 4 + j].Skip, j < i);
  EXPECT_EQ(FourColorPaletteCaption(OkeanFourColorPalettes, 1), "Black/Red/Green/Blue (0)");
}

TEST(KvSavePlatformOkean240, ScreenLayouts) {
  std::vector<uint8_t> d(32769, 0);
  TKvOkean1Screen s1(256, 256, d.data(), 5);
  EXPECT_EQ(d[16384], 5);
  s1.SetPixel(0, 0, 3);
  EXPECT_EQ(d[0], 1);
  EXPECT_EQ(d[256], 1);
  s1.SetPixel(8, 0, 2);
  EXPECT_EQ(d[512], 0);
  EXPECT_EQ(d[768], 1);
  s1.SetPixel(0, 1, 1);
  EXPECT_EQ(d[1], 1);
  EXPECT_EQ(d[257], 0);
  s1.SetPixel(0, 0, 2);  // only this pixel's bits change
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[256], 1);
  s1.MirrorX = true;
  s1.SetPixel(0, 0, 1);
  EXPECT_EQ(d[31 * 512], 0x80);

  std::fill(d.begin(), d.end(), 0);
  TKvOkean2Screen s2(256, 256, d.data(), 6);
  EXPECT_EQ(d[32768], 6);
  s2.SetPixel(1, 2, 2 * 4 + 1);
  EXPECT_EQ(d[256 + 2], 2);
  EXPECT_EQ(d[16384 + 2], 2);
  EXPECT_EQ(d[2], 0);

  std::fill(d.begin(), d.end(), 0);
  TKvOkeanMonoScreen m(512, 256, d.data());
  m.SetPixel(511, 255, 1);
  EXPECT_EQ(d[16383], 0x80);
  TKvOkeanMono2Screen m2(512, 256, d.data());
  m2.SetPixel(9, 3, 2);
  EXPECT_EQ(d[256 + 3], 0);
  EXPECT_EQ(d[16384 + 256 + 3], 2);
}

TEST(KvSavePlatformOkean240, AutoOnBlackAndWhitePicksPalette4) {
  auto pic = BlackWhitePicture(32, 24);
  for (int n : {1, 2, 3, 16}) {
    TKvProcessorCountOverride count(n);
    const TKvDestEngineClass& cls = DestEngineClass<TKvOkean1Engine>();
    auto options = cls.Create()->CreateOptions();
    TKvDestProgress progress;
    bool stop = false;
    std::unique_ptr<TKvStreamList> streams;
    cls.Convert(&stop, *pic, nullptr, nullptr, *options, progress, streams);
    EXPECT_EQ(options->PaletteIndex, 3) << n;
    EXPECT_EQ(options->SecondPaletteIndex, -1);
    ASSERT_EQ(streams->GetCount(), 1);
    EXPECT_EQ(streams->GetExtension(0), "oks");
    ASSERT_EQ(streams->GetStream(0)->GetSize(), 16385);
    EXPECT_EQ(streams->GetStream(0)->GetMemory()[16384], 3);
    int32_t steps = 0, done = 0;
    progress.GetProgress(steps, done);
    EXPECT_EQ(steps, 7);
    EXPECT_EQ(done, 7);
  }
  // A fixed palette reports no progress.
  TKvDestProgress progress;
  auto r =
      ConvertPicture(DestEngineClass<TKvOkean1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(6); });
  EXPECT_EQ(r.Bytes(0)[16384], 5);
}

TEST(KvSavePlatformOkean240, ParallelSearchGivesTheSequentialAnswer) {
  auto pic = GradientPicture(40, 30, 3);
  for (bool giga : {false, true}) {
    TKvImage image(*pic);
    image.CacheColors();
    auto o = DestEngineClass<TKvOkean1Engine>().Create()->CreateOptions();
    bool abort = false;
    const int expect = FindFixedPalette(&abort, image, FourColorPaletteCandidates(OkeanFourColorPalettes, giga, *o, nullptr), *o);
    ASSERT_GE(expect, 1);
    for (int n : {2, 3, 16}) {
      TKvProcessorCountOverride count(n);
      EXPECT_EQ(FindFixedPaletteByJobs(&abort, image, FourColorPaletteCandidates(OkeanFourColorPalettes, giga, *o, nullptr), *o), expect) << n;
    }
  }
}

TEST(KvSavePlatformOkean240, BlackWhiteAndGrayModes) {
  auto pic = GradientPicture(256, 256, 8);
  // "Black/white" with "Auto": palette 4, colours 0 and 3 only.
  auto r = ConvertPicture(DestEngineClass<TKvOkean1Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  EXPECT_EQ(r.Bytes(0)[16384], 3);
  for (int i = 0; i < 16384; i += 512)
    for (int y = 0; y < 256; ++y) EXPECT_EQ(r.Bytes(0)[i + y], r.Bytes(0)[i + 256 + y]);
  auto g = ConvertPicture(DestEngineClass<TKvOkean2Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  ASSERT_EQ(g.Size(0), 32769);
  EXPECT_EQ(g.Bytes(0)[32768], 3);
  EXPECT_EQ(g.Options->GetPalette()->Count, 16);
  auto m = ConvertPicture(DestEngineClass<TKvOkeanMono2Engine>(), *GradientPicture(512, 256, 2));
  EXPECT_EQ(m.Size(0), 32768);
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvOkean1Engine>(), *pic,
                              [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); }),
               std::exception);
}

}  // namespace
