#include "app/KvDestEngines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/KvPanelSections.h"
#include "bitmap/B32.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
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
  static std::unique_ptr<TKvBitmap> Convert(bool*, TBitmap32&, TKvPalette256*, TKvPalette256*, TKvDestEngineOptions&,
                                            TKvDestProgress&, std::unique_ptr<TKvStreamList>&) {
    return nullptr;
  }
};

}  // namespace

TEST(KvDestEngines, RegistryGroupsByExactPlatformNameInOrder) {
  TNamedEngine<1>::Platform = "Zed";
  TNamedEngine<1>::Mode = "A";
  TNamedEngine<2>::Platform = "zed";
  TNamedEngine<2>::Mode = "B";
  TNamedEngine<3>::Platform = "Zed";
  TNamedEngine<3>::Mode = "A";
  TKvDestEngineList LList;
  LList.Add(DestEngineClass<TNamedEngine<1>>());
  LList.Add(DestEngineClass<TNamedEngine<2>>());
  LList.Add(DestEngineClass<TNamedEngine<3>>());
  ASSERT_EQ(LList.GetCount(), 2);  // a name differing only in case is a platform of its own
  EXPECT_EQ(LList.GetString(1), "zed");
  const TKvDestSubTypes& LModes = LList.GetSubTypes(0);
  ASSERT_EQ(LModes.GetCount(), 2);  // the same mode name twice is kept twice
  EXPECT_EQ(LModes.GetObject(0), &DestEngineClass<TNamedEngine<1>>());
  EXPECT_EQ(LModes.GetObject(1), &DestEngineClass<TNamedEngine<3>>());
  // A bad index is the list's index error.
  EXPECT_THROW(LList.GetSubTypes(2), EListError);
  EXPECT_THROW(LList.GetSubTypes(-1), EListError);
  EXPECT_THROW(LModes.GetString(2), EListError);
}

TEST(KvDestEngines, LevelBoundsBracketTheValue) {
  InitLevelTables();
  double LLow = -1, LHigh = -1;
  FindLevel5Bounds(0.0, LLow, LHigh);
  EXPECT_EQ(LLow, 0.0);
  EXPECT_EQ(LHigh, 0.0);
  FindLevel5Bounds(1.0, LLow, LHigh);
  EXPECT_EQ(LLow, 1.0);
  EXPECT_EQ(LHigh, 1.0);
  FindLevel5Bounds(Level5Table[5], LLow, LHigh);
  EXPECT_EQ(LLow, Level5Table[4]);
  EXPECT_EQ(LHigh, Level5Table[5]);
  FindLevel6Bounds((Level6Table[40] + Level6Table[41]) / 2, LLow, LHigh);
  EXPECT_EQ(LLow, Level6Table[40]);
  EXPECT_EQ(LHigh, Level6Table[41]);
  EXPECT_EQ(Level6Table[63], 1.0);
  EXPECT_THROW(FindLevel5Bounds(std::nan(""), LLow, LHigh), EOSError);
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

TEST(KvPanelSections, RecordsEverySectionWithItsArguments) {
  using K = TKvPanelSectionKind;
  TKvDestEngineUIEx LPanel(nullptr);
  const int LKinds = LPanel.AddCustomPaletteComboBox();
  LPanel.AddSectionItem(LKinds, 26);
  LPanel.AddSectionItem(LKinds, 27);
  LPanel.AddPaletteModeSection(131842);
  LPanel.AddMaxColorCountSection(2, 16);
  LPanel.AddFixedPaletteSection(16, 1);
  LPanel.AddZxGigaScreenPaletteSection(true, 133123);
  LPanel.AddHamSection(true, false, true, false);
  LPanel.AddFileFormatCheckBox("Write header");
  const auto& S = LPanel.GetSections();
  ASSERT_EQ(S.size(), 7u);
  EXPECT_EQ(S[0].Kind, K::CustomPaletteComboBox);
  EXPECT_EQ(S[0].Items, (std::vector<int>{26, 27}));
  EXPECT_EQ(S[1].Set, 131842u);
  EXPECT_EQ(S[2].Min, 2);
  EXPECT_EQ(S[2].Max, 16);
  EXPECT_EQ(S[3].Caption, "TKvFixedPaletteComboBox");
  EXPECT_EQ(S[3].Columns, 16);
  EXPECT_TRUE(S[4].Flag);
  EXPECT_EQ(S[4].Set, 133123u);
  EXPECT_EQ(S[5].Set, 5u);
  EXPECT_EQ(S[6].Caption, "Write header");
}
