#include "app/KvDestEngines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/KvPanelSections.h"
#include "bitmap/B32.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvStream.h"
#include "rtl/KvSysUtils.h"

TEST(KvDestEngines, ColorNameNamesOnlyTheListedColours) {
  struct Case { uint8_t R, G, B; const char* Name; };
  const Case LCases[] = {{0x90, 0, 0, "Red"}, {0xC0, 0, 0xFF, "Magenta"}, {0x90, 0xFF, 0, "Green"},
                         {0, 0x90, 0, "009000"}, {0x12, 0xAB, 0xEF, "12ABEF"}, {0x90, 0xFF, 0xFF, "90FFFF"},
                         {0xFF, 0xFF, 0xFF, "White"}, {0, 0, 0, "Black"}};
  for (const Case& LCase : LCases) EXPECT_EQ(ColorName(StdRGBColor(LCase.R, LCase.G, LCase.B)), LCase.Name);
}

namespace {

template <int N>
class TNamedEngine : public TKvDestEngineOf<TNamedEngine<N>> {
public:
  static inline const char* Platform = "";
  static inline const char* Mode = "";
  static std::string GetPlatformName() { return Platform; }
  static std::string GetModeName() { return Mode; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions*) override { return nullptr; }
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override { return nullptr; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs&) { return nullptr; }
};

class TDeclaredOptions : public TKvDestEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {24, 16}; }
};

class TDeclaredUI : public TKvDestEngineUIEx {
public:
  explicit TDeclaredUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) { AddPositionSection(); }
};

class TDeclaredEngine : public TKvDestEngineWith<TDeclaredEngine, TDeclaredOptions, TDeclaredUI> {
public:
  static std::string GetPlatformName() { return "Declared"; }
  static std::string GetModeName() { return "24x16"; }
  static inline TKvConvertArgs* Seen = nullptr;
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) {
    Seen = &AArgs;
    AArgs.Streams = std::make_unique<TKvStreamList>();
    AArgs.Streams->NewStream("bin", 3);
    return TKvBitmap24::CreateFromBitmap32(AArgs.Bitmap);
  }
};

// A second mode of the family: its own name, the first one's options, panel
// and conversion.
class TDeclaredWideEngine : public TKvDestEngineOf<TDeclaredWideEngine, TDeclaredEngine> {
public:
  static std::string GetModeName() { return "48x16"; }
  static int GetZoomFactor() { return 2; }
};

}  // namespace

TEST(KvDestEngines, DeclaredEngineMakesItsOptionsAndPanelAndGetsEveryArgument) {
  const TKvDestEngineClass& cls = DestEngineClass<TDeclaredEngine>();
  auto engine = cls.Create();
  EXPECT_EQ(&engine->ClassType(), &cls);
  auto options = engine->CreateOptions();
  ASSERT_NE(dynamic_cast<TDeclaredOptions*>(options.get()), nullptr);
  EXPECT_EQ(options->GetWidth(), 24);  // the creation hook ran
  auto panel = engine->CreateUI(options.get());
  auto* sections = dynamic_cast<TDeclaredUI*>(panel.get());
  ASSERT_NE(sections, nullptr);
  EXPECT_EQ(sections->GetOptions(), options.get());

  TBitmap32 picture(24, 16);
  TKvPalette256 palette, palette2;
  TKvDestProgress progress;
  std::unique_ptr<TKvStreamList> streams;
  bool abort = false;
  TDeclaredEngine::Seen = nullptr;
  auto result = cls.Convert(&abort, picture, &palette, &palette2, *options, progress, streams);
  ASSERT_NE(TDeclaredEngine::Seen, nullptr);
  const TKvConvertArgs& seen = *TDeclaredEngine::Seen;
  EXPECT_EQ(seen.Abort, &abort);
  EXPECT_EQ(&seen.Bitmap, &picture);
  EXPECT_EQ(seen.Palette, &palette);
  EXPECT_EQ(seen.Palette2, &palette2);
  EXPECT_EQ(&seen.Options, options.get());
  EXPECT_EQ(&seen.Progress, &progress);
  ASSERT_TRUE(streams);  // written through to the caller's list
  EXPECT_EQ(streams->GetExtension(0), "bin");
  EXPECT_EQ(result->Width, 24);

  const TKvDestEngineClass& wide = DestEngineClass<TDeclaredWideEngine>();
  EXPECT_EQ(wide.GetPlatformName(), "Declared");
  EXPECT_EQ(wide.GetModeName(), "48x16");
  EXPECT_EQ(wide.GetZoomFactor(), 2);
  EXPECT_EQ(cls.GetZoomFactor(), 1);
  auto wideEngine = wide.Create();
  EXPECT_EQ(&wideEngine->ClassType(), &wide);
  EXPECT_NE(dynamic_cast<TDeclaredOptions*>(wideEngine->CreateOptions().get()), nullptr);

  const auto& classes = DestEngineClasses<TDeclaredWideEngine, TDeclaredEngine>();
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_EQ(classes[0], &wide);
  EXPECT_EQ(classes[1], &cls);
}

TEST(KvDestEngines, AdjustOnceAdjustsEveryPictureThenClearsTheFixes) {
  TBitmap32 picture(3, 1);
  const uint32_t pixels[] = {0xFF204060, 0xFF808080, 0xFFC0A040};
  std::copy(std::begin(pixels), std::end(pixels), picture.GetBits());
  auto pixelsOf = [](TKvImage& AImage) {
    auto b = AImage.ToBitmap32();
    return std::vector<uint32_t>(b->GetBits(), b->GetBits() + 3);
  };
  auto options = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
  options->SetLightnessFix(30);
  options->SetSaturationFix(-40);
  TKvImage untouched(picture), expected(picture);
  expected.Adjust(30, -40);
  ASSERT_NE(pixelsOf(expected), pixelsOf(untouched));
  TKvImage first(picture), second(picture);
  AdjustOnce({&first, &second}, *options);
  EXPECT_EQ(options->LightnessFix, 0);
  EXPECT_EQ(options->SaturationFix, 0);
  EXPECT_EQ(pixelsOf(first), pixelsOf(expected));
  EXPECT_EQ(pixelsOf(second), pixelsOf(expected));
  // Once cleared, a second call leaves the picture as it is.
  AdjustOnce(first, *options);
  EXPECT_EQ(pixelsOf(first), pixelsOf(expected));
}

TEST(KvDestEngines, ReducePaletteKeepsTheUsedColoursWhenTheyFit) {
  TBitmap32 LPicture(4, 1);
  const uint32_t LPixels[] = {0xFFFFFFFF, 0xFF000000, 0xFFAAAAAA, 0xFF000000};
  std::copy(std::begin(LPixels), std::end(LPixels), LPicture.GetBits());
  TKvImage LImage(LPicture);
  auto LOptions = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
  LOptions->SetDitherMethod(0);
  TKvPalette256 LGrays;
  for (int LLevel : {0, 0x55, 0xAA, 0xFF}) LGrays.AddRGB(LLevel, LLevel, LLevel);
  int LDark = -7, LBright = -7;
  bool LAbort = false;
  EXPECT_TRUE(TKvDestEngine::ReducePalette(&LAbort, LImage, LGrays, 4, *LOptions, LDark, LBright));
  EXPECT_TRUE(LOptions->UseAsGrayPalette);
  const TKvPalette256& LResult = *LOptions->GetPalette();
  ASSERT_EQ(LResult.Count, 3);
  EXPECT_EQ(LResult.GetRGBQuad(0), 0x000000u);
  EXPECT_EQ(LResult.GetRGBQuad(1), 0xAAAAAAu);
  EXPECT_EQ(LResult.GetRGBQuad(2), 0xFFFFFFu);
  EXPECT_EQ(LOptions->GetFixedPalette()->Count, 3);
  EXPECT_EQ(LDark, -7);
  EXPECT_EQ(LBright, -7);

  // Too many colours: merged, with the darkest and brightest entries named.
  auto LMerged = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
  LMerged->SetDitherMethod(0);
  TKvDestEngine::ReducePalette(&LAbort, LImage, LGrays, 2, *LMerged, LDark, LBright);
  EXPECT_LE(LMerged->GetFixedPalette()->Count, 2);
  EXPECT_NE(LDark, -7);
  EXPECT_NE(LBright, -7);
}

TEST(KvDestEngines, QuantizePaletteKeepsFixedColoursFirst) {
  TBitmap32 LPicture(4, 1);
  const uint32_t LPixels[] = {0xFFFFFFFF, 0xFF0000FF, 0xFFFF0000, 0xFF0000FF};
  std::copy(std::begin(LPixels), std::end(LPixels), LPicture.GetBits());
  TKvImage LImage(LPicture);
  auto LOptions = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
  LOptions->SetDitherMethod(0);
  LOptions->GetFixedPalette()->AddRGB(0, 255, 0);
  TKvPalette256 LAllowed;
  for (uint32_t LColor : {0x000000u, 0xFFFFFFu, 0xFF0000u, 0x0000FFu, 0x00FF00u})
    LAllowed.AddRGB(LColor >> 16, (LColor >> 8) & 0xFF, LColor & 0xFF);
  bool LAbort = false;
  TKvDestEngine::QuantizePalette(&LAbort, LImage, LAllowed, 8, *LOptions);
  const TKvPalette256& LResult = *LOptions->GetPalette();
  ASSERT_EQ(LResult.Count, 4);
  EXPECT_EQ(LResult.GetRGBQuad(0), 0x00FF00u);  // the fixed colour keeps its place
  EXPECT_EQ(LResult.GetRGBQuad(1), 0x0000FFu);  // then the used colours, darkest first
  EXPECT_EQ(LResult.GetRGBQuad(2), 0xFF0000u);
  EXPECT_EQ(LResult.GetRGBQuad(3), 0xFFFFFFu);
  // The result palette itself is no valid source of colours.
  EXPECT_THROW(TKvDestEngine::QuantizePalette(&LAbort, LImage, *LOptions->GetPalette(), 8, *LOptions), Exception);
}

namespace {

// QuantizePalette as a whole dither to the allowed colours decides it: its
// colours when they are few enough, otherwise a quantization, topped up with
// the dither's most distant colours when it comes out short.
void ReferenceQuantizePalette(TKvImage& AImage, TKvPalette256& AAllowed, int AMaxCount,
                              TKvDestEngineOptions& AOptions, TKvPalette256& AResult) {
  TKvPalette256& fixed = *AOptions.GetFixedPalette();
  TKvImage copy(AImage);
  copy.DitherToPalette(nullptr, AOptions, AAllowed, false);
  TKvPalette256 dithered;
  dithered.AddColors(&fixed);
  copy.CollectColors(dithered, 0, 0);
  AResult.Clear();
  if (dithered.Count <= AMaxCount) {
    AResult.Assign(&dithered);
  } else {
    TKvQuantization quantization;
    quantization.Quantize(nullptr, AImage, AMaxCount, false, AOptions.ColorDiffMethod, AResult, &fixed, &AAllowed);
    if (AResult.Count < AMaxCount) AResult.AddDistantColors(&dithered, AMaxCount);
  }
  AResult.SortByGray(fixed.Count);
}

}  // namespace

// Pictures tall enough that the first rows alone can show too many colours:
// the result is the one the whole dither gives, also when the quantization
// comes out short and the dither's colours fill it up.
TEST(KvDestEngines, QuantizePaletteMatchesTheWholeDither) {
  TKvPalette256 allowed;
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) allowed.AddRGB(r * 36, g * 36, b * 85);
  struct TCase {
    const char* Name;
    int MaxCount;
    std::vector<uint32_t> Colors;  // the picture's colours; none: a gradient
    bool Fixed;
  };
  const TCase cases[] = {
      {"gradient", 16, {}, false},
      {"gradient with a fixed colour", 16, {}, true},
      {"three colours between the allowed ones", 8, {0x123456, 0x9A7B21, 0xD0D0E8}, false},
      {"two allowed colours", 4, {0x000000, 0xFCFCFF}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmap32 picture(40, 500);
    for (int y = 0; y < picture.GetHeight(); ++y)
      for (int x = 0; x < picture.GetWidth(); ++x)
        *picture.GetPixelPtr(x, y) =
            0xFF000000u | (c.Colors.empty() ? static_cast<uint32_t>((x * 6) << 16 | (y / 2) << 8 | (x + y) % 256)
                                            : c.Colors[static_cast<size_t>((x / 3 + y / 7) % c.Colors.size())]);
    TKvImage image(picture);
    auto options = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
    options->SetDitherMethod(2);
    if (c.Fixed) options->GetFixedPalette()->AddRGB(0, 255, 0);
    TKvPalette256 expected;
    ReferenceQuantizePalette(image, allowed, c.MaxCount, *options, expected);
    TKvDestEngine::QuantizePalette(nullptr, image, allowed, c.MaxCount, *options);
    const TKvPalette256& result = *options->GetPalette();
    ASSERT_EQ(result.Count, expected.Count);
    for (int i = 0; i < result.Count; ++i) EXPECT_EQ(result.GetRGBQuad(i), expected.GetRGBQuad(i)) << i;
  }
}

TEST(KvPanelSections, RecordsEverySectionWithItsArguments) {
  using K = TKvPanelSectionKind;
  TKvDestEngineUIEx LPanel(nullptr);
  const int LKinds = LPanel.AddCustomPaletteComboBox();
  LPanel.AddSectionItem(LKinds, 26);
  LPanel.AddSectionItem(LKinds, 27);
  LPanel.AddPaletteModeSection(PaletteModes(pmGray, pmColor17Of256, pmCustom));
  LPanel.AddMaxColorCountSection(2, 16);
  LPanel.AddFixedPaletteSection(16, 1);
  LPanel.AddZxGigaScreenPaletteSection(true, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  LPanel.AddHamSection(HamSettings(hsInitialLines, hsNextLines));
  LPanel.AddFileFormatCheckBox("Write header");
  const auto& S = LPanel.GetSections();
  ASSERT_EQ(S.size(), 7u);
  EXPECT_EQ(S[0].Kind, K::CustomPaletteComboBox);
  EXPECT_EQ(S[0].Items, (std::vector<int>{26, 27}));
  EXPECT_EQ(S[1].Set, (1u << 1) | (1u << 8) | (1u << 17));  // bit m for mode m
  EXPECT_EQ(S[2].Min, 2);
  EXPECT_EQ(S[2].Max, 16);
  EXPECT_EQ(S[3].Caption, "TKvFixedPaletteComboBox");
  EXPECT_EQ(S[3].Columns, 16);
  EXPECT_TRUE(S[4].Flag);
  EXPECT_EQ(S[4].Set, (1u << 0) | (1u << 1) | (1u << 11) | (1u << 17));
  EXPECT_EQ(S[5].Set, (1u << 0) | (1u << 2));
  EXPECT_EQ(S[6].Caption, "Write header");
}
