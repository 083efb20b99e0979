// Two-frame and interlaced pictures saved by the converters open again
// through the importer probe as the best candidate: every pixel shows the
// preview's mixture, and both frames show the preview's frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

struct TOpened {
  std::vector<uint8_t> Bytes;
  std::unique_ptr<TKvMemoryLoadSource> Source;
  std::unique_ptr<TKvSourceEngineList> List;
  std::unique_ptr<TKvBitmap> Decoded;
};

// Opens stream AIndex as AName; expects AImporter first with AFlags, decoded
// with the calculation AMixMode.
TOpened Open(const TKvConversion& AConversion, int AIndex, const std::string& AName, const std::string& AImporter,
             TKvMatchFlags AFlags, uint8_t AMixMode = 1) {
  TOpened r;
  r.Bytes.assign(AConversion.Bytes(AIndex), AConversion.Bytes(AIndex) + AConversion.Size(AIndex));
  r.Source = std::make_unique<TKvMemoryLoadSource>(AName, r.Bytes.data(), static_cast<int32_t>(r.Bytes.size()), false);
  r.List = r.Source->MatchEngines(ZxSpectrumSourceEngineClasses());
  EXPECT_GT(r.List->GetCount(), 0);
  if (r.List->GetCount() == 0) return r;
  TKvSourceEngine* e = r.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
  EXPECT_EQ(e->MatchFlags, AFlags);
  if (e->MixModes) e->MixMode = AMixMode;
  r.Decoded = e->Decode();
  return r;
}

// Every pixel of ADecoded (and of its frames, AFrame1 and AFrame2 of the
// preview's frame list) shows the preview's colour at the mapped position.
void ExpectSameColors(TKvBitmap& ADecoded, TKvBitmap& APreview, int AFrame1, int AFrame2,
                      const std::function<int(int)>& AMapX = [](int x) { return x; }) {
  int diffs = 0, frameDiffs = 0;
  for (int y = 0; y < std::min(ADecoded.Height, APreview.Height); ++y)
    for (int x = 0; x < ADecoded.Width && AMapX(x) < APreview.Width; ++x) {
      const int px = AMapX(x);
      if (!(ShownColor(ADecoded, x, y) == ShownColor(APreview, px, y))) ++diffs;
      if (AFrame1 < 0) continue;
      TKvBitmapList* df = ADecoded.GetFrames();
      TKvBitmapList* pf = APreview.GetFrames();
      if (!(ShownColor(*df->GetBitmap(0), x, y) == ShownColor(*pf->GetBitmap(AFrame1), px, y))) ++frameDiffs;
      if (!(ShownColor(*df->GetBitmap(1), x, y) == ShownColor(*pf->GetBitmap(AFrame2), px, y))) ++frameDiffs;
    }
  EXPECT_EQ(diffs, 0);
  EXPECT_EQ(frameDiffs, 0);
}

constexpr TKvMatchFlags kSizeExt = mfSize | mfExtension;
constexpr TKvMatchFlags kHeaderExt = mfHeader | mfSize | mfExtension;

TEST(KvZxGigaRoundTrip, BlackAndWhiteFramesAreExchanged) {
  auto pic = GradientPicture(256, 192, 31);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumBWGigascreenEngine>(), *pic);
  ASSERT_EQ(r.Size(0), 12288);
  auto o = Open(r, 0, "bw.lcm", "TKvZxSpectrumBWGigaEngine", kSizeExt);
  ASSERT_TRUE(o.Decoded);
  // The file's first bitmap holds the preview's second frame.
  ExpectSameColors(*o.Decoded, *r.Preview, 1, 0);
}

struct TGigaCase {
  const char* Name;
  TKvColorUsage Usage;
  bool Safe;
  TKvPaletteMode Mode;
  uint8_t Calculation;
  const char* Multi;  // the MGH modes to convert too, by file extension
};

class KvZxGigaRoundTripCases : public ::testing::TestWithParam<TGigaCase> {};

TEST_P(KvZxGigaRoundTripCases, TwoScreenAndMghFiles) {
  const TGigaCase c = GetParam();
  // Two character rows keep the test fast and still walk one row mirrored.
  auto pic = GradientPicture(256, 16, 32);
  auto setup = [&](TKvDestEngineOptions& o) {
    o.SetColorUsage(c.Usage);
    o.SetSafeMode(c.Safe);
    o.SetPaletteMode(c.Mode);
    o.SetGigaCalculation(c.Calculation);
  };
  auto g = ConvertPicture(DestEngineClass<TKvZxSpectrumGigascreenEngine>(), *pic, setup);
  ASSERT_EQ(g.Streams->GetCount(), 2);
  for (auto [i, name, importer, flags] :
       {std::tuple{0, "p.img", "TKvZxSpectrumGigaEngine", kSizeExt},
        std::tuple{1, "p.mg8", "TKvZxSpectrumGigaMGEngine", kHeaderExt}}) {
    SCOPED_TRACE(name);
    auto o = Open(g, i, name, importer, flags, c.Calculation);
    ASSERT_TRUE(o.Decoded);
    ExpectSameColors(*o.Decoded, *g.Preview, 0, 1);
  }
  for (auto [cls, name, importer, flags] :
       {std::tuple{&DestEngineClass<TKvZxSpectrumMultiGigascreen4Engine>(), "p.mg4", "TKvZxSpectrumGigaMGEngine",
                   kHeaderExt},
        std::tuple{&DestEngineClass<TKvZxSpectrumMultiGigascreen2Engine>(), "p.mg2", "TKvZxSpectrumGigaMGEngine",
                   kHeaderExt},
        std::tuple{&DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(), "p.mg1", "TKvZxSpectrumGigaMG1Engine",
                   kHeaderExt}}) {
    if (std::string(c.Multi).find(std::string(name).substr(2)) == std::string::npos) continue;
    SCOPED_TRACE(name);
    auto m = ConvertPicture(*cls, *pic, setup);
    auto o = Open(m, 0, name, importer, flags, c.Calculation);
    ASSERT_TRUE(o.Decoded);
    ExpectSameColors(*o.Decoded, *m.Preview, 0, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(, KvZxGigaRoundTripCases,
                         ::testing::Values(TGigaCase{"Usage0", cuDarkAndBright, false, pmColor, 1, ""},
                                           TGigaCase{"Usage1", cuDarkOnly, false, pmColor, 1, "mg4 mg2 mg1"},
                                           TGigaCase{"Usage3", cuBrightOnly, false, pmColor, 1, "mg1"},
                                           TGigaCase{"Safe", cuDarkAndBright, true, pmColor, 1, "mg4 mg2 mg1"},
                                           TGigaCase{"Gray", cuDarkAndBright, false, pmGray, 1, "mg4 mg2 mg1"},
                                           TGigaCase{"Standard", cuDarkOnly, false, pmColor, 0, "mg2"}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(KvZxGigaRoundTrip, InterlacedFiles) {
  auto pic = GradientPicture(256, 32, 34);
  // v1: the preview's colours, row for row.
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor})
    for (TKvColorUsage usage : {cuDarkAndBright, cuDarkOnly, cuBrightOnly}) {
      if (mode != pmColor && usage != cuDarkAndBright) continue;
      SCOPED_TRACE(testing::Message() << "v1 mode " << int(mode) << " usage " << int(usage));
      auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumInterlacedEngine>(), *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteMode(mode);
        o.SetColorUsage(usage);
      });
      ASSERT_EQ(r.Size(0), 13824);
      auto o = Open(r, 0, "v1.lce", "TKvZxSpectrumColorInterlacedEngine", kSizeExt);
      ASSERT_TRUE(o.Decoded);
      EXPECT_EQ(o.Decoded->Height, 384);
      ExpectSameColors(*o.Decoded, *r.Preview, -1, -1);
    }
  // v2: file pixel (x, y) shows preview pixel (2x, y).
  auto half = GradientPicture(256, 16, 35);
  for (uint8_t style : {0, 1, 2})
    for (TKvColorUsage usage : {cuDarkOnly, cuBrightOnly}) {
      SCOPED_TRACE(testing::Message() << "v2 style " << int(style) << " usage " << int(usage));
      auto r =
          ConvertPicture(DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), *half, [&](TKvDestEngineOptions& o) {
            o.SetGigaStyle(style);
            o.SetColorUsage(usage);
          });
      auto o = Open(r, 0, "v2.lce", "TKvZxSpectrumColorInterlacedEngine", kSizeExt);
      ASSERT_TRUE(o.Decoded);
      ExpectSameColors(*o.Decoded, *r.Preview, -1, -1, [](int x) { return 2 * x; });
    }
  auto gray = ConvertPicture(DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), *half,
                             [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  auto g = Open(gray, 0, "gray.lce", "TKvZxSpectrumColorInterlacedEngine", kSizeExt);
  ASSERT_TRUE(g.Decoded);
  ExpectSameColors(*g.Decoded, *gray.Preview, -1, -1, [](int x) { return 2 * x; });
}

}  // namespace
