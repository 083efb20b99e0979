#include "core/KvPaletteRGB.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "KvTestHarness.h"

namespace {

std::vector<int> Bytes(const TKvChannelLevels& ch) {
  return std::vector<int>(ch.LevelBytes, ch.LevelBytes + ch.LevelCount);
}

TKvColor ColorOf(uint8_t r, uint8_t g, uint8_t b) {
  TKvColor c;
  c.Clear();
  c.InitRGB(r, g, b);
  return c;
}

}  // namespace

TEST(KvPaletteRGB, LevelCountsOfEveryBuiltKind) {
  struct Case { TKvPaletteType type; int r, g, b; };
  const Case cases[] = {
      {ptRGB888, 256, 256, 256}, {ptRGB777, 128, 128, 128}, {ptRGB666, 64, 64, 64},
      {ptRGB565, 32, 64, 32},    {ptRGB555, 32, 32, 32},    {ptRGB444, 16, 16, 16},
      {ptRGB333, 8, 8, 8},       {ptMSX9938, 8, 8, 8},      {ptRGB332, 8, 8, 4},
      {ptRGB222, 4, 4, 4},       {ptRGB111, 2, 2, 2},       {ptMSX9958, 8, 8, 8},
      {ptEvoEGA, 4, 4, 4},       {ptEvoEGAPWM1, 7, 7, 7},   {ptEvoEGAPWM2, 13, 13, 13},
      {ptEvoEGAPWM3, 25, 25, 25}, {ptPentevo, 4, 4, 4},     {ptPentevoPWM1, 7, 7, 7},
      {ptPentevoPWM2, 13, 13, 13}, {ptPentEvoPWM3, 25, 25, 25}};
  for (const auto& c : cases) {
    auto p = TKvPaletteRGB::CreateType(c.type, false);
    EXPECT_EQ(p->Red.LevelCount, c.r) << PaletteTypeNames[c.type];
    EXPECT_EQ(p->Green.LevelCount, c.g) << PaletteTypeNames[c.type];
    EXPECT_EQ(p->Blue.LevelCount, c.b) << PaletteTypeNames[c.type];
    EXPECT_EQ(p->GetCount(), c.r * c.g * c.b);
    EXPECT_EQ(p->GetRGBQuad(0), 0u);
    EXPECT_EQ(p->GetRGBQuad(p->GetCount() - 1), 0xFFFFFFu);
    for (int i = 1; i < p->Red.LevelCount; ++i) ASSERT_LT(p->Red.Levels[i - 1], p->Red.Levels[i]);
  }
  for (TKvPaletteType t : {ptBW, ptFixed, ptOptimized, ptPulsar, ptVideoDAC, ptCommandore64Light})
    EXPECT_EQ(MessageOf([t] { TKvPaletteRGB::CreateType(t, false); }), "Internal error")
        << PaletteTypeNames[t];
  EXPECT_EQ(TKvPaletteRGB::CreatePWM(ptVideoDAC, false)->GetCount(), 32768);
}

TEST(KvPaletteRGB, LevelBytes) {
  auto p = TKvPaletteRGB::CreateBits(3, 3, 2, false);
  EXPECT_EQ(p->GetCount(), 256);
  EXPECT_EQ(Bytes(p->Red), (std::vector<int>{0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF}));
  EXPECT_EQ(Bytes(p->Green), Bytes(p->Red));
  EXPECT_EQ(Bytes(p->Blue), (std::vector<int>{0x00, 0x55, 0xAA, 0xFF}));
  // Entry index b + (g + r * nG) * nB.
  EXPECT_EQ(p->GetRGBQuad(1 + (2 + 3 * 8) * 4), 0x6D4955u);

  EXPECT_EQ(Bytes(TKvPaletteRGB::CreateV9958(false)->Red),
            (std::vector<int>{0, 33, 74, 107, 148, 181, 222, 255}));
  auto msx = TKvPaletteRGB::CreateMSX332();
  EXPECT_EQ(Bytes(msx->Green), (std::vector<int>{0, 33, 74, 107, 148, 181, 222, 255}));
  EXPECT_EQ(Bytes(msx->Blue), (std::vector<int>{0, 90, 173, 255}));
  EXPECT_FALSE(msx->GrayPalette);
  EXPECT_EQ(Bytes(TKvPaletteRGB::CreateType(ptPentevo, false)->Blue),
            (std::vector<int>{0x00, 0x5D, 0xA2, 0xFF}));
  EXPECT_EQ(Bytes(TKvPaletteRGB::CreateType(ptEvoEGA, false)->Blue),
            (std::vector<int>{0x00, 0x55, 0xAA, 0xFF}));

  // PWM levels interpolate in linear light between the base levels.
  auto pwm = TKvPaletteRGB::CreatePWM(ptEvoEGAPWM1, false);
  EXPECT_EQ(pwm->GetCount(), 343);
  EXPECT_DOUBLE_EQ(pwm->Red.Levels[1], (pwm->Red.Levels[0] + pwm->Red.Levels[2]) / 2);
  auto pwm3 = TKvPaletteRGB::CreatePWM(ptPentEvoPWM3, false);
  EXPECT_DOUBLE_EQ(pwm3->Red.Levels[8], StdToLin(0x5D));
  EXPECT_DOUBLE_EQ(pwm3->Red.Levels[3], (pwm3->Red.Levels[2] + pwm3->Red.Levels[4]) / 2);
  EXPECT_DOUBLE_EQ(pwm3->Red.Levels[4], (pwm3->Red.Levels[0] + pwm3->Red.Levels[8]) / 2);
}

TEST(KvPaletteRGB, NearestAgreesWithFullSearch) {
  auto levels = TKvPaletteRGB::CreateType(ptRGB332, false);
  TKvPalette256 listed;
  listed.AssignColors(levels.get());
  ASSERT_EQ(listed.Count, 256);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-0.1, 1.1);  // also past both ends
  for (int k = 0; k < 2000; ++k) {
    const TKvLinRGBColor c{u(rng), u(rng), u(rng)};
    ASSERT_EQ(levels->FindNearest(c), listed.FindNearest(c)) << c.R << " " << c.G << " " << c.B;
  }
  EXPECT_EQ(levels->FindNearest({-5, -5, -5}), 0);
  EXPECT_EQ(levels->FindNearest({5, 5, 5}), 255);
  TKvColor c = ColorOf(0x49, 0x24, 0xAA);
  EXPECT_EQ(levels->FindNearestByMetric(0, c), 2 + (1 + 2 * 8) * 4);
  EXPECT_EQ(MessageOf([&] { levels->FindNearestByMetric(1, c); }), "Internal error");
  EXPECT_EQ(MessageOf([&] { levels->GetLinRGB(256); }), "Internal error");
  EXPECT_EQ(MessageOf([&] { levels->FindNearestByGray(c); }), "Internal error");

  int lo, hi;
  const double lv[] = {0.0, 0.5, 1.0};
  BracketLevel(0.5, 3, lv, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 1);
  BracketLevel(0.7, 3, lv, lo, hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(MessageOf([&] { BracketLevel(std::nan(""), 3, lv, lo, hi); }), "Internal error");
}

TEST(KvPaletteRGB, GrayPaletteAndGraySearch) {
  auto p565 = TKvPaletteRGB::CreateType(ptRGB565, true);
  EXPECT_EQ(p565->GetCount(), 65536);
  ASSERT_TRUE(p565->GrayPalette);
  EXPECT_TRUE(p565->HasGrayPalette);
  EXPECT_EQ(p565->GrayPalette->Count, 32);

  auto p = TKvPaletteRGB::CreateType(ptRGB332, true);
  ASSERT_EQ(p->GrayPalette->Count, 4);  // 2^min(3, 3, 2)
  EXPECT_TRUE(p->ContainsColors(p->GrayPalette.get()));
  // The gray search answers an index of the whole palette whose colour is
  // the gray chosen, never the gray palette's own index.
  for (uint8_t v : {0, 40, 100, 200, 255}) {
    TKvColor c = ColorOf(v, v, v);
    const int g = p->GrayPalette->FindNearestByGray(c);
    const int i = p->FindNearestByGray(c);
    EXPECT_EQ(p->GetRGBQuad(i), p->GrayPalette->GetRGBQuad(g)) << int(v);
  }
  EXPECT_EQ(p->FindNearestByGray(ColorOf(255, 255, 255)), 255);

  auto v = TKvPaletteRGB::CreateV9958(true);
  ASSERT_EQ(v->GrayPalette->Count, 8);
  EXPECT_EQ(v->GrayPalette->GetRGBQuad(1), 0x212121u);

  auto clone = p->Clone();
  auto* rgb = dynamic_cast<TKvPaletteRGB*>(clone.get());
  ASSERT_NE(rgb, nullptr);
  ASSERT_TRUE(rgb->GrayPalette);
  EXPECT_TRUE(rgb->GrayPalette->SameColors(p->GrayPalette.get()));
  EXPECT_NE(rgb->GrayPalette.get(), p->GrayPalette.get());
  EXPECT_EQ(clone->GetCount(), 256);
}

TEST(KvPaletteRGB, LevelIndexesAndContainment) {
  auto p = TKvPaletteRGB::CreateBits(3, 3, 2, false);
  uint8_t r, g, b;
  p->GetLevelIndexes({0, 36, 255}, r, g, b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 1);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(MessageOf([&] { p->GetLevelIndexes({0, 37, 255}, r, g, b); }), "Internal error");

  TKvPalette256 q;
  EXPECT_FALSE(p->ContainsColors(&q));
  q.AddRGB(0x24, 0xDB, 0x55);
  EXPECT_TRUE(p->ContainsColors(&q));
  q.AddRGB(0x24, 0xDB, 0x56);
  EXPECT_FALSE(p->ContainsColors(&q));
}

TEST(KvPaletteFills, EntriesAndBitOrders) {
  TKvPalette256 p;
  struct Entry { int index; uint32_t rgb; };
  auto check = [&](const char* what, int count, std::initializer_list<Entry> entries) {
    EXPECT_EQ(p.Count, count) << what;
    for (const auto& e : entries) EXPECT_EQ(p.GetRGBQuad(e.index), e.rgb) << what << " " << e.index;
  };
  p.FillGRB16(0xC0);
  check("GRB16", 16, {{1, 0x0000C0}, {2, 0xC00000}, {4, 0x00C000}, {7, 0xC0C0C0}, {10, 0xFF0000}, {15, 0xFFFFFF}});
  p.FillBlackGrayWhite(0x80);
  check("BGW", 3, {{0, 0}, {1, 0x808080}, {2, 0xFFFFFF}});
  p.FillRGB64();
  check("RGB64", 64, {{16, 0x550000}, {4, 0x005500}, {1, 0x000055}, {63, 0xFFFFFF}});
  p.FillGray4();
  check("Gray4", 4, {{1, 0x555555}, {2, 0xAAAAAA}});
  p.FillBlackWhite();
  check("BW", 2, {{0, 0}, {1, 0xFFFFFF}});
  p.FillWhiteBlack();
  check("WB", 2, {{0, 0xFFFFFF}, {1, 0}});
  p.FillBGR8();
  check("BGR8", 8, {{1, 0xFF0000}, {2, 0x00FF00}, {4, 0x0000FF}});
  p.FillRGB8();
  check("RGB8", 8, {{1, 0x0000FF}, {2, 0x00FF00}, {4, 0xFF0000}});
  p.FillGRB8();
  check("GRB8", 8, {{1, 0x0000FF}, {2, 0xFF0000}, {4, 0x00FF00}});
  p.FillGRB16Levels(0x10, 0xA0, 0x20, 0xF0);
  check("GRB16Levels", 16, {{0, 0x101010}, {3, 0xA010A0}, {8, 0x202020}, {12, 0x20F020}});
  p.FillGRB16Nearest(nullptr);
  check("GRB16Nearest", 16, {{2, 0xBC0000}, {10, 0xFF0000}});
  p.FillBGR64();
  check("BGR64", 64, {{1, 0x550000}, {4, 0x005500}, {16, 0x000055}, {63, 0xFFFFFF}});
  const uint8_t lv[4] = {1, 2, 3, 4};
  p.FillBGR64Levels(lv);
  check("BGR64Levels", 64, {{0, 0x010101}, {1, 0x020101}, {4, 0x010201}, {16, 0x010102}});
  p.FillB2G3R3();
  check("B2G3R3", 256, {{1, 0x240000}, {8, 0x002400}, {64, 0x000055}, {255, 0xFFFFFF}});
  // In-place fills leave both forms cached.
  EXPECT_TRUE(p.Colors[77].StdValid && p.Colors[77].LinValid);
}

TEST(KvPaletteFills, NearestFillsAndMixtures) {
  TKvPalette256 eight;
  eight.FillRGB8();
  TKvPalette256 p;
  p.FillNearestGBR16(&eight);
  EXPECT_LE(p.Count, 8);
  EXPECT_TRUE(eight.ContainsColors(&p));
  auto levels = TKvPaletteRGB::CreateType(ptRGB222, false);
  p.FillGRB16Nearest(levels.get());
  EXPECT_EQ(p.GetRGBQuad(2), 0xAA0000u);  // BC rounds to the level AA

  TKvPalette256 three;
  three.AddRGB(0, 0, 0);
  three.AddRGB(255, 255, 255);
  three.AddRGB(255, 0, 0);
  TKvPalette256 mix;
  mix.FillMixtures(&three, 100, 0);
  ASSERT_EQ(mix.Count, 9);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(mix.Colors[k].Skip, k == 3 || k == 6 || k == 7) << k;
  EXPECT_DOUBLE_EQ(mix.GetLinRGB(1).G, 0.5);
  // A gray limit keeps only the close pairs; extra slots are skipped.
  mix.FillMixtures(&three, 30, 4);
  ASSERT_EQ(mix.Count, 16);
  EXPECT_TRUE(mix.Colors[1].Skip);    // black with white: too far apart
  EXPECT_FALSE(mix.Colors[2].Skip);   // black with red: gray 0.21
  EXPECT_TRUE(mix.Colors[3].Skip);    // past the palette
  EXPECT_EQ(mix.GetRGBQuad(3), 0u);
  TKvPalette256 many;
  for (int i = 0; i < 28; ++i) many.AddRGB(i, i, i);
  EXPECT_THROW(mix.FillMixtures(&many, 100, 0), ETooManyColors);
}

TEST(KvPaletteTypeNames, Table) {
  EXPECT_STREQ(PaletteTypeNames[ptRGB888], "RGB888");
  EXPECT_STREQ(PaletteTypeNames[ptColored], "\xD0\xA1olor");  // Cyrillic Es
  EXPECT_STREQ(PaletteTypeNames[ptColoredMSX], "MSX");
  EXPECT_STREQ(PaletteTypeNames[ptTI99MSX], "MSX");
  EXPECT_STREQ(PaletteTypeNames[ptColoredLinear], "Linear");
  EXPECT_STREQ(PaletteTypeNames[ptBackGreenRedYellowLow], "B/Green/Red/Brown (low intensity)");
  EXPECT_STREQ(PaletteTypeNames[ptEvoEGA], "EGA (00, 55, AA, FF)");
  EXPECT_STREQ(PaletteTypeNames[ptVideoDAC], "Video DAC");
  EXPECT_EQ(int(ptCommandore64Light), 84);
  EXPECT_STREQ(PaletteTypeNames[ptCommandore64Light], "Light");
}
