// Converted pictures saved as native files open again through the importer
// probe, as the best candidate, with the preview's pixels and palette.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

// Opens stream AIndex of AConversion as a file named AName; expects
// AImporter first and the preview's picture.
void ExpectRoundTrip(const TKvConversion& AConversion, int AIndex, const std::string& AName,
                     const std::string& AImporter, bool ASameIndexes) {
  SCOPED_TRACE(AName);
  std::vector<uint8_t> bytes(AConversion.Bytes(AIndex), AConversion.Bytes(AIndex) + AConversion.Size(AIndex));
  TKvMemoryLoadSource src(AName, bytes.data(), static_cast<int32_t>(bytes.size()), false);
  auto list = src.MatchEngines(ZxSpectrumSourceEngineClasses());
  ASSERT_GT(list->GetCount(), 0);
  TKvSourceEngine* e = list->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
  EXPECT_EQ(e->MatchFlags, mfSize | mfExtension);
  auto decoded = e->Decode();
  TKvBitmap& preview = *AConversion.Preview;
  ASSERT_EQ(decoded->Width, preview.Width);
  ASSERT_EQ(decoded->Height, preview.Height);
  if (ASameIndexes) {
    EXPECT_TRUE(decoded->Palette->SameColors(preview.Palette.get()));
  }
  EXPECT_EQ(ASameIndexes ? CountIndexDiffs(*decoded, preview) : CountColorDiffs(*decoded, preview), 0);
}

TEST(KvZxRoundTrip, StandardScreen) {
  auto pic = GradientPicture(256, 192, 21);
  for (TKvColorUsage usage : {cuDarkAndBright, cuDarkOnlyForceBright}) {
    auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumEngine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetColorUsage(usage); });
    ExpectRoundTrip(r, 0, "picture.scr", "TKvZxSpectrumColorEngine", true);
  }
  auto g = ConvertPicture(DestEngineClass<TKvZxSpectrumEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  ExpectRoundTrip(g, 0, "gray.scr", "TKvZxSpectrumColorEngine", true);
}

TEST(KvZxRoundTrip, BlackAndWhiteScreen) {
  auto pic = GradientPicture(256, 192, 22);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ExpectRoundTrip(r, 0, "bw.scr", "TKvZxSpectrumBWEngine", false);
}

TEST(KvZxRoundTrip, MulticolourFiles) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 192, 23);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiColor1Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetColorUsage(cuDarkOnly); });
  ExpectRoundTrip(r, 0, "picture.mlt", "TKvZxSpectrumMulticolorMLTEngine", true);
  ExpectRoundTrip(r, 1, "picture.mc", "TKvZxSpectrumMulticolorMCEngine", true);
  auto r2 = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiColor2Engine>(), *pic,
                           [](TKvDestEngineOptions& o) { o.SetColorUsage(cuBrightOnly); });
  ExpectRoundTrip(r2, 0, "picture.ifl", "TKvZxSpectrumMulticolor2Engine", true);
}

TEST(KvZxRoundTrip, Tricolour) {
  auto pic = GradientPicture(256, 192, 24);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumTricolorEngine>(), *pic);
  ExpectRoundTrip(r, 0, "picture.rgb", "TKvZxSpectrumTricolorSourceEngine", true);
}

}  // namespace
