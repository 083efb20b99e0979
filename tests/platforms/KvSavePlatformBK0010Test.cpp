#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvFixedPaletteSearch.h"
#include "platforms/KvPlatformBK0010.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformBK0010.h"
#include "KvTestHarness.h"

namespace {

// Left half black, right half white, one pixel wide stripes of both.
std::unique_ptr<TBitmap32> BlackWhitePicture(int W, int H) {
  auto b = std::make_unique<TBitmap32>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) *b->GetPixelPtr(x, y) = ((x + y / 3) % 3 == 0) ? 0xFFFFFFFFu : 0xFF000000u;
  return b;
}

// Black, blue, green and red bands: palette 1 fits exactly.
std::unique_ptr<TBitmap32> Palette1Picture(int W, int H) {
  static const uint32_t colours[4] = {0xFF000000u, 0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
  auto b = std::make_unique<TBitmap32>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) *b->GetPixelPtr(x, y) = colours[(x / 5 + y / 7) % 4];
  return b;
}

TEST(KvSavePlatformBK0010, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("BK-0011");
  ASSERT_GE(p, 0);
  const std::vector<std::string> modes = {"256x256x2", "256x256x4 Gigascreen", "512x256x1", "512x256x2 Gigascreen"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), modes[i]);
  EXPECT_LT(p, list.IndexOf("DVK KCGD"));
}

TEST(KvSavePlatformBK0010, PalettesAndBinHeader) {
  TKvPalette256 p;
  BuildBKPalette(0, p);
  EXPECT_EQ(p.Count, 0);
  BuildBKPalette(6, p);
  ASSERT_EQ(p.Count, 4);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(p.GetStdRGB(i), StdRGBColor(255, 255, 255));
  BuildBKPalette(10, p);
  EXPECT_EQ(p.GetStdRGB(3), StdRGBColor(0x90, 0, 0));
  BuildBKMixPalette(5, 100, p);
  ASSERT_EQ(p.Count, 16);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(p.Colors[i * 4 + j].Skip, j < i);
  BuildBKMixPalette(5, 10, p);
  EXPECT_TRUE(p.Colors[3].Skip);  // black with white flickers too much
  EXPECT_FALSE(p.Colors[0].Skip);
  EXPECT_EQ(FourColorPaletteCaption(BKFourColorPalettes, 1), "Black/Blue/Green/Red (0)");
  EXPECT_EQ(FourColorPaletteCaption(BKFourColorPalettes, 11), "Black/Green/Magenta/Red (10)");

  std::vector<uint8_t> screen(BKScreenSize), bin(BKBinSize);
  for (size_t i = 0; i < screen.size(); ++i) screen[i] = static_cast<uint8_t>(i * 7);
  WriteBKBin(bin.data(), 0x4000, 0x1234, screen.data());
  EXPECT_EQ(std::vector<uint8_t>(bin.begin(), bin.begin() + 4), (std::vector<uint8_t>{0x40, 0x00, 0x12, 0x34}));
  EXPECT_EQ(0, std::memcmp(bin.data() + 4, screen.data(), BKScreenSize));
}

TEST(KvSavePlatformBK0010, ScreenLayouts) {
  std::vector<uint8_t> d(32770, 0);
  TKvBK1Screen s1(256, 256, d.data(), 7);
  EXPECT_EQ(d[16384], 7);
  s1.SetPixel(1, 2, 3);
  s1.SetPixel(2, 2, 2);
  s1.SetPixel(1, 2, 1);  // only the last value stays, the neighbour is kept
  EXPECT_EQ(d[2 * 64], 0x24);
  s1.MirrorX = true;
  s1.SetPixel(0, 0, 3);
  EXPECT_EQ(d[63], 0xC0);

  std::fill(d.begin(), d.end(), 0);
  TKvBK2Screen s2(256, 256, d.data(), 9);
  EXPECT_EQ(d[32768], 9);
  EXPECT_EQ(d[32769], 9);
  s2.SetPixel(5, 1, 2 * 4 + 3);
  EXPECT_EQ(d[64 + 1], 2 << 2);
  EXPECT_EQ(d[16384 + 64 + 1], 3 << 2);

  std::fill(d.begin(), d.end(), 0);
  TKvBKMonoScreen m(512, 256, d.data());
  m.SetPixel(9, 3, 1);
  EXPECT_EQ(d[3 * 64 + 1], 2);
  TKvBKMono2Screen m2(512, 256, d.data());
  m2.SetPixel(511, 255, 2);
  EXPECT_EQ(d[255 * 64 + 63], 0x80);
  EXPECT_EQ(d[16384 + 255 * 64 + 63], 0);
}

int RunSearch(TKvImage& AImage, TKvDestEngineOptions& AOptions, bool AJobs, TKvDestProgress* AProgress,
              bool AGigascreen = false) {
  bool abort = false;
  auto c = FourColorPaletteCandidates(BKFourColorPalettes, AGigascreen, AOptions, AProgress);
  return AJobs ? FindFixedPaletteByJobs(&abort, AImage, c, AOptions) : FindFixedPalette(&abort, AImage, c, AOptions);
}

TEST(KvSavePlatformBK0010, AutoPicksTheFirstOfEqualScores) {
  auto pic = BlackWhitePicture(32, 24);
  for (int n : {1, 2, 3, 16}) {
    TKvProcessorCountOverride count(n);
    const TKvDestEngineClass& cls = DestEngineClass<TKvBK1Engine>();
    auto options = cls.Create()->CreateOptions();
    TKvDestProgress engineProgress;
    bool stop = false;
    std::unique_ptr<TKvStreamList> streams;
    cls.Convert(&stop, *pic, nullptr, nullptr, *options, engineProgress, streams);
    EXPECT_EQ(options->PaletteIndex, 4) << n;
    EXPECT_EQ(options->SecondPaletteIndex, -1);
    ASSERT_EQ(streams->GetCount(), 1);
    EXPECT_EQ(streams->GetStream(0)->GetMemory()[16384], 4);
    int32_t steps = 0, stepsDone = 0;
    engineProgress.GetProgress(steps, stepsDone);
    EXPECT_EQ(steps, 16);
    EXPECT_EQ(stepsDone, 16);
    TKvImage image(*pic);
    image.CacheColors();
    auto o = DestEngineClass<TKvBK1Engine>().Create()->CreateOptions();
    TKvDestProgress progress;
    progress.SetProgress(16, 0);
    EXPECT_EQ(RunSearch(image, *o, n > 1, &progress), 5);
    int32_t total = 0, done = 0;
    progress.GetProgress(total, done);
    EXPECT_EQ(done, 16);
  }
}

TEST(KvSavePlatformBK0010, ParallelSearchGivesTheSequentialAnswer) {
  auto pic = GradientPicture(40, 30, 3);
  for (bool giga : {false, true}) {
    TKvImage image(*pic);
    image.CacheColors();
    auto o = DestEngineClass<TKvBK1Engine>().Create()->CreateOptions();
    const int expect = RunSearch(image, *o, false, nullptr, giga);
    ASSERT_GE(expect, 1);
    for (int n : {2, 3, 16, 20}) {
      TKvProcessorCountOverride count(n);
      EXPECT_EQ(RunSearch(image, *o, true, nullptr, giga), expect) << n;
    }
  }
}

// The score of candidate k the plain way: a copy of the picture fitted to its
// gray range and dithered to it.
double ReferenceScore(TKvImage& AImage, TKvDestEngineOptions& AOptions, TKvPalette256& APalette) {
  TKvImage copy(AImage);
  copy.FitToPaletteGray(APalette);
  bool abort = false;
  copy.DitherToPalette(&abort, AOptions, APalette, false);
  return copy.GetErrorTotal();
}

TEST(KvSavePlatformBK0010, TrialScoresAreThoseOfTheDither) {
  auto pic = GradientPicture(37, 23, 13);
  TKvImage image(*pic);
  image.CacheColors();
  struct {
    uint8_t Method;
    bool Serpentine;
    int Diffusion;
    uint8_t Metric;
  } cases[] = {{1, true, 90, 0}, {2, false, 100, 0}, {8, true, 37, 0}, {9, true, 90, 0}, {0, false, 90, 0},
               {1, true, 90, 1}};
  for (auto& c : cases)
    for (bool giga : {false, true}) {
      auto o = DestEngineClass<TKvBK1Engine>().Create()->CreateOptions();
      o->SetDitherMethod(c.Method);
      o->SetSerpentine(c.Serpentine);
      o->SetErrorDiffusion(c.Diffusion);
      o->SetColorDiffMethod(c.Metric);
      auto cand = FourColorPaletteCandidates(BKFourColorPalettes, giga, *o, nullptr);
      for (int k : {1, 5, 6, 10, 16}) {
        TKvPalette256 scratch, reference;
        double score = -1;
        bool abort = false;
        ASSERT_EQ(TryFixedPalettes(&abort, image, k, k, cand, *o, scratch, score), k);
        cand.Build(k, reference);
        EXPECT_EQ(score, ReferenceScore(image, *o, reference)) << int(c.Method) << " " << giga << " " << k;
      }
    }
}

TEST(KvSavePlatformBK0010, FailedTrialIsPassedOn) {
  auto pic = GradientPicture(16, 16, 4);
  TKvImage image(*pic);
  image.CacheColors();
  auto o = DestEngineClass<TKvBK1Engine>().Create()->CreateOptions();
  TKvFixedPaletteCandidates c;
  c.Count = 5;
  c.Build = [](int k, TKvPalette256& p) {
    if (k == 1) throw std::runtime_error("candidate");
    BuildBKPalette(k, p);
  };
  bool abort = false;
  EXPECT_THROW(FindFixedPalette(&abort, image, c, *o), std::runtime_error);
  for (int n : {2, 5}) {
    TKvProcessorCountOverride count(n);
    EXPECT_THROW(FindFixedPaletteByJobs(&abort, image, c, *o), std::runtime_error) << n;
  }
  // Cancelled: the silent abort, with one processor and with many.
  abort = true;
  c.Build = [](int k, TKvPalette256& p) { BuildBKPalette(k, p); };
  EXPECT_THROW(FindFixedPalette(&abort, image, c, *o), EAbort);
  TKvProcessorCountOverride count(4);
  EXPECT_THROW(FindFixedPaletteByJobs(&abort, image, c, *o), EAbort);
  // No candidate: the none value.
  c.Count = 0;
  c.NoneValue = -7;
  abort = false;
  EXPECT_EQ(FindFixedPaletteByJobs(&abort, image, c, *o), -7);
}

TEST(KvSavePlatformBK0010, Palette1WritesBinAndPic) {
  auto pic = Palette1Picture(64, 64);
  auto r = ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic);
  ASSERT_EQ(r.Options->PaletteIndex, 0);
  ASSERT_EQ(r.Streams->GetCount(), 3);
  EXPECT_EQ(r.Streams->GetExtension(0), "bks");
  EXPECT_EQ(r.Streams->GetExtension(1), "bin");
  EXPECT_EQ(r.Streams->GetExtension(2), "pic");
  ASSERT_EQ(r.Size(0), 16385);
  ASSERT_EQ(r.Size(1), 16388);
  ASSERT_EQ(r.Size(2), 16384);
  EXPECT_EQ(r.Bytes(0)[16384], 0);
  EXPECT_EQ(std::vector<uint8_t>(r.Bytes(1), r.Bytes(1) + 4), (std::vector<uint8_t>{0x40, 0, 0x40, 0}));
  EXPECT_EQ(0, std::memcmp(r.Bytes(1) + 4, r.Bytes(0), 16384));
  EXPECT_EQ(0, std::memcmp(r.Bytes(2), r.Bytes(0), 16384));
  // A chosen palette other than 1 writes the ".bks" only.
  auto r3 =
      ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(3); });
  EXPECT_EQ(r3.Streams->GetCount(), 1);
  EXPECT_EQ(r3.Bytes(0)[16384], 2);
  EXPECT_EQ(r3.Options->PaletteIndex, 2);
}

TEST(KvSavePlatformBK0010, BlackWhiteUsesPalette5) {
  auto pic = GradientPicture(256, 256, 8);
  auto r = ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Size(0), 16385);
  EXPECT_EQ(r.Bytes(0)[16384], 4);
  bool seen[4] = {};
  for (int i = 0; i < 16384; ++i)
    for (int k = 0; k < 4; ++k) seen[(r.Bytes(0)[i] >> (2 * k)) & 3] = true;
  EXPECT_TRUE(seen[0] && seen[3]);
  EXPECT_FALSE(seen[1] || seen[2]);
}

TEST(KvSavePlatformBK0010, GrayMatchedPalettes) {
  // Palette 6 (black and three whites) turns gray matching on.
  auto pic = GradientPicture(64, 64, 9);
  auto r6 =
      ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(6); });
  EXPECT_TRUE(r6.Options->UseAsGrayPalette);
  EXPECT_EQ(r6.Options->PaletteIndex, 5);
  EXPECT_EQ(r6.Options->LightnessFix, 0);
  // Palette 7 (reds) on a white picture: the picture is darkened to the
  // brightest red before matching, so no pixel stays black.
  auto white = SolidPicture(32, 32, 0xFFFFFF);
  auto r7 =
      ConvertPicture(DestEngineClass<TKvBK1Engine>(), *white, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(7); });
  EXPECT_EQ(r7.Options->PaletteIndex, 6);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_NE(r7.Preview->GetPixel(x, y), 0);
}

TEST(KvSavePlatformBK0010, OtherModesFiles) {
  auto pic = GradientPicture(256, 256, 10);
  auto g = ConvertPicture(DestEngineClass<TKvBK2Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteIndex(3); });
  ASSERT_EQ(g.Streams->GetCount(), 1);
  ASSERT_EQ(g.Size(0), 32770);
  EXPECT_EQ(g.Bytes(0)[32768], 2);
  EXPECT_EQ(g.Bytes(0)[32769], 2);
  EXPECT_EQ(g.Options->GetPalette()->Count, 16);
  auto gray =
      ConvertPicture(DestEngineClass<TKvBK2Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  EXPECT_EQ(gray.Bytes(0)[32768], 4);
  auto wide = GradientPicture(512, 256, 11);
  auto m = ConvertPicture(DestEngineClass<TKvBKMonoEngine>(), *wide);
  ASSERT_EQ(m.Streams->GetCount(), 2);
  ASSERT_EQ(m.Size(0), 16384);
  ASSERT_EQ(m.Size(1), 16388);
  EXPECT_EQ(0, std::memcmp(m.Bytes(1) + 4, m.Bytes(0), 16384));
  auto m2 = ConvertPicture(DestEngineClass<TKvBKMono2Engine>(), *wide);
  ASSERT_EQ(m2.Streams->GetCount(), 1);
  EXPECT_EQ(m2.Size(0), 32768);
  // Modes outside the engine's own fail.
  EXPECT_THROW(
      ConvertPicture(DestEngineClass<TKvBK1Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); }),
      EOSError);
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvBK2Engine>(), *pic,
                              [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); }),
               EOSError);
}

TEST(KvSavePlatformBK0010, OptionsAndPanels) {
  auto o2 = DestEngineClass<TKvBK2Engine>().Create()->CreateOptions();
  EXPECT_EQ(o2->GetWidth(), 256);
  o2->SetWidth(100);
  EXPECT_EQ(o2->GetWidth(), 256);
  EXPECT_EQ(o2->PixelAspect, pa1_0p75);
  EXPECT_EQ(o2->GetPalette()->Count, 0);
  o2->BeginUpdate();
  o2->SetPaletteIndex(2);
  o2->EndUpdate();
  EXPECT_EQ(o2->GetPalette()->Count, 16);
  auto om = DestEngineClass<TKvBKMonoEngine>().Create()->CreateOptions();
  EXPECT_EQ(om->GetWidth(), 512);
  EXPECT_EQ(om->PixelAspect, pa2_3);
  EXPECT_EQ(om->ErrorDiffusion, 100);

  using K = TKvPanelSectionKind;
  for (bool giga : {false, true}) {
    const TKvDestEngineClass& cls = giga ? DestEngineClass<TKvBK2Engine>() : DestEngineClass<TKvBK1Engine>();
    auto engine = cls.Create();
    auto o = engine->CreateOptions();
    auto ui = engine->CreateUI(o.get());
    auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
    std::vector<K> kinds;
    for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
    std::vector<K> expect = {K::Position, K::PaletteSeparator, K::PaletteIndexComboBoxEx, K::PaletteMode,
                             K::DestPalette, K::PaletteIndexLabel};
    if (giga) expect.push_back(K::MaxFlickering);
    expect.push_back(K::Dithering);
    EXPECT_EQ(kinds, expect);
    const TKvPanelSection& list = panel.GetSections()[2];
    ASSERT_EQ(list.Captions.size(), 17u);
    EXPECT_EQ(list.Captions[0], "Auto");
    EXPECT_EQ(list.Captions[1], "Black/Blue/Green/Red (0)");
    EXPECT_EQ(panel.GetSections()[3].Set, giga ? 2050u : 2049u);
  }
}

}  // namespace
