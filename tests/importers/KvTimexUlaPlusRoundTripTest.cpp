// Timex and ULAplus pictures saved as native files open again through the
// importer probe, as the best candidate, with the preview's picture.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "KvTestHarness.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformTimex.h"
#include "platforms/KvSavePlatformZxSpectrumUlaPlus.h"
#include "platforms/UlaPlusTestPictures.h"

namespace {

uint32_t ColorAt(TKvBitmap& ABitmap, int X, int Y) {
  if (ABitmap.Palette->GetCount() >= 2) return ABitmap.Palette->GetRGBQuad(ABitmap.GetPixel(X, Y));
  const TKvStdRGBColor c = ABitmap.GetPixelStdRGB(X, Y);
  return (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
}

// Pixels of ADecoded that differ from APreview: indexes with ASameIndexes
// (and then the same palette), colours otherwise.
int Differences(TKvBitmap& ADecoded, TKvBitmap& APreview, bool ASameIndexes) {
  EXPECT_EQ(ADecoded.Width, APreview.Width);
  EXPECT_EQ(ADecoded.Height, APreview.Height);
  if (ASameIndexes) {
    EXPECT_TRUE(ADecoded.Palette->SameColors(APreview.Palette.get()));
  }
  return ASameIndexes ? CountIndexDiffs(ADecoded, APreview) : CountColorDiffs(ADecoded, APreview);
}

// Opens stream 0 of AConversion as AName through the probe; AImporter must
// be offered first, read with APaletteType when given.
std::unique_ptr<TKvBitmap> Reopen(const TKvConversion& AConversion, const std::string& AName,
                                  const std::string& AImporter, int APaletteType = -1) {
  TKvProbe probe(AName, std::vector<uint8_t>(AConversion.Bytes(0), AConversion.Bytes(0) + AConversion.Size(0)));
  if (probe.List->GetCount() == 0) {
    ADD_FAILURE() << "no candidate";
    return nullptr;
  }
  TKvSourceEngine* e = probe.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
  EXPECT_EQ(e->MatchFlags, mfSize | mfExtension);
  if (APaletteType >= 0) e->PaletteType = static_cast<TKvPaletteType>(APaletteType);
  return e->Decode();
}

// Pixels of APreview whose colour differs from the file read straight from
// its documented layout, without the importer: the Spectrum bitmap, one
// attribute per 8x8 cell (or per 8x1 cell in the bitmap's own row order)
// whose bits 6-7 pick one of four 16-byte groups of the trailing palette,
// ink m at byte m of the group and paper m at byte 8 + m.
int LayoutDifferences(const TKvConversion& AConversion, bool ATimex, TKvPaletteType AType) {
  const uint8_t* d = AConversion.Bytes(0);
  const uint8_t* pal = d + AConversion.Size(0) - 64;
  TKvBitmap& preview = *AConversion.Preview;
  int diffs = 0;
  for (int y = 0; y < preview.Height; ++y)
    for (int x = 0; x < preview.Width; ++x) {
      const int row = ((y & 7) << 8) | ((y & 0x38) << 2) | ((y & 0xC0) << 5), c = x / 8;
      const int a = d[6144 + (ATimex ? row : (y / 8) * 32) + c];
      const bool set = (d[row + c] >> (7 - x % 8)) & 1;
      TKvStdRGBColor color;
      DecodeUlaPlusColor(color, pal[(a >> 6) * 16 + (set ? a & 7 : 8 + ((a >> 3) & 7))], AType);
      diffs += ((uint32_t(color.R) << 16) | (uint32_t(color.G) << 8) | color.B) != (ColorAt(preview, x, y) & 0xFFFFFF);
    }
  return diffs;
}

struct TUlaPlusCase {
  bool Timex;  // the 8x1 engine
  TKvPaletteType Type;
};

class KvUlaPlusRoundTrip : public testing::TestWithParam<TUlaPlusCase> {};

// Every palette mode; the 8x8 engine under every palette version, the 8x1
// engine (which differs only in its screen) under v1.1 and one gray case.
TEST_P(KvUlaPlusRoundTrip, EveryPixelShowsThePreviewColour) {
  const TUlaPlusCase p = GetParam();
  const TKvDestEngineClass& cls =
      p.Timex ? DestEngineClass<TKvULAPlusTimexEngine>() : DestEngineClass<TKvULAPlusEngine>();
  const char* importer = p.Timex ? "TKvTimexUlaPlusEngine" : "TKvZxSpectrumUlaPlusEngine";
  auto pairs6 = UlaPlusPairPicture(6), pairs12 = UlaPlusPairPicture(12), flat = UlaPlusFlatPicture(5);
  auto photo = GradientPicture(256, 192, 31);
  const bool gray = p.Type == ptV11Gray;
  enum { kAll, kV11, kNotGray };
  struct Case {
    const char* What;
    TBitmap32* Picture;
    TKvPaletteMode Mode;
    int When;
  } cases[] = {{"17 colours", pairs6.get(), pmColor17Of256, kAll},
               {"custom", pairs6.get(), pmCustom, kV11},
               {"64 clustered", pairs12.get(), pmColor64Of256, kV11},
               {"64 flat", flat.get(), pmColor64Of256, kAll},
               {"gray", photo.get(), pmGray, kAll},
               {"two colours", photo.get(), pmGray, kNotGray}};
  for (const Case& c : cases) {
    if ((c.When == kV11 && p.Type != ptV11) || (c.When == kNotGray && gray)) continue;
    if (p.Timex && gray && c.Mode == pmColor64Of256) continue;
    SCOPED_TRACE(c.What);
    TKvPalette256 full;
    BuildUlaPlusPalette(full, p.Type);
    auto r = ConvertPicture(cls, *c.Picture, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(p.Type);
      o.SetPaletteMode(c.Mode);
      if (c.Mode == pmCustom) {
        // Two colours chosen with "Edit..." are kept.
        TKvColorMask mask{};
        mask[3] = mask[200] = 1;
        o.SetColorMask(mask);
      }
      if (std::string(c.What) == "two colours") {
        // Seventeen kept colours of the hardware leave no room for a ramp.
        TKvPalette256 kept;
        for (int i = 0; i < 17; ++i) kept.AddColor(full.Colors[i * 13 + 5]);
        o.SetFixedPalette(&kept);
      }
      o.UpdatePalette();
    });
    if (c.Mode == pmCustom) {
      for (int i : {3, 200}) EXPECT_GE(r.Options->GetPalette()->IndexOfStdRGB(full.GetStdRGB(i)), 0);
    }
    auto d = Reopen(r, "picture.scr", importer, p.Type);
    ASSERT_TRUE(d);
    EXPECT_EQ(Differences(*d, *r.Preview, false), 0);
    EXPECT_EQ(LayoutDifferences(r, p.Timex, p.Type), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, KvUlaPlusRoundTrip,
                         testing::Values(TUlaPlusCase{false, ptV10}, TUlaPlusCase{false, ptV11},
                                         TUlaPlusCase{false, ptV11Gray}, TUlaPlusCase{true, ptV11},
                                         TUlaPlusCase{true, ptV11Gray}));

TEST(KvTimexUlaPlusRoundTrip, TimexFiles) {
  auto pic = GradientPicture(256, 192, 32);
  // Colour, colour with the bright bit forced, gray.
  for (const auto& mu :
       {std::pair{pmColor, cuDarkAndBright}, {pmColor, cuDarkOnlyForceBright}, {pmGray, cuDarkAndBright}}) {
    auto r = ConvertPicture(DestEngineClass<TKvTimexExtendedEngine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mu.first);
      o.SetColorUsage(mu.second);
    });
    auto d = Reopen(r, "picture.scr", "TKvTimexEngine");
    ASSERT_TRUE(d);
    EXPECT_EQ(Differences(*d, *r.Preview, true), 0);
  }
  auto pic384 = GradientPicture(256, 384, 33);
  auto li = ConvertPicture(DestEngineClass<TKvTimexExtendedInterlacedEngine>(), *pic384);
  auto dl = Reopen(li, "picture.lce", "TKvTimexInterlacedEngine");
  ASSERT_TRUE(dl);
  EXPECT_EQ(Differences(*dl, *li.Preview, true), 0);

  auto wide = GradientPicture(512, 192, 34);
  auto hr = ConvertPicture(DestEngineClass<TKvTimexMonoEngine>(), *wide);
  auto dh = Reopen(hr, "picture.scr", "TKvTimexBWEngine");
  ASSERT_TRUE(dh);
  EXPECT_EQ(Differences(*dh, *hr.Preview, false), 0);

  auto hg = ConvertPicture(DestEngineClass<TKvTimexMono2Engine>(), *wide);
  auto dg = Reopen(hg, "picture.hgr", "TKvTimexBWGigaEngine");
  ASSERT_TRUE(dg);
  EXPECT_EQ(Differences(*dg, *hg.Preview, false), 0);
  ASSERT_TRUE(dg->GetFrames());
  ASSERT_TRUE(hg.Preview->GetFrames());
  ASSERT_EQ(dg->GetFrames()->GetCount(), 2);
  for (int f = 0; f < 2; ++f)
    EXPECT_EQ(Differences(*dg->GetFrames()->GetBitmap(f), *hg.Preview->GetFrames()->GetBitmap(f), false), 0) << f;
}

}  // namespace
