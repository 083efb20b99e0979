#include "core/KvColor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

TKvColor FromRGB(uint8_t r, uint8_t g, uint8_t b) {
  TKvColor c;
  c.Clear();
  c.InitRGB(r, g, b);
  return c;
}

TKvColor FromLin(double r, double g, double b) {
  TKvColor c;
  c.Clear();
  c.InitLinRGB({r, g, b});
  return c;
}

}  // namespace

TEST(KvColorCurve, TransferCurveBranchesAndEnds) {
  // c = 0.0405 is just above the 0.04045 threshold: power branch.
  EXPECT_DOUBLE_EQ(StdToLin(10.3275), std::pow((0.0405 + 0.055) / 1.055, 2.4));
  EXPECT_DOUBLE_EQ(StdToLin(10), 10.0 / 255 / 12.92);
  EXPECT_EQ(StdToLin(0), 0.0);
  EXPECT_DOUBLE_EQ(StdToLin(255), 1.0);
  EXPECT_EQ(LinToStd(0), 0.0);
  EXPECT_NEAR(LinToStd(1), 255.0, 1e-9);
  // Out-of-range input passes through the formulas unclamped.
  EXPECT_LT(LinToStd(-0.1), 0.0);
  EXPECT_GT(LinToStd(1.2), 255.0);
  // Every byte survives the round trip.
  for (int v = 0; v < 256; ++v) ASSERT_EQ(LinToStdByte(StdToLin(v)), v) << v;
}

TEST(KvColorCurve, DacLevels) {
  struct Case { double (*fn)(double); double level, denom; };
  const Case cases[] = {{Std2ToLin, 1, 3},  {Std3ToLin, 5, 7},   {Std4ToLin, 9, 15},
                        {Std5ToLin, 13, 31}, {Std6ToLin, 40, 63}, {Std6ToLin, 63, 63}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(c.fn(c.level), StdToLin(255.0 * c.level / c.denom));
  EXPECT_EQ(LinToStd3(0.5), 5);  // 0.5 encodes to 0.7354; times 7 is 5.148
  EXPECT_EQ(LinToStd3(-1), 0);
  EXPECT_EQ(LinToStd3(2), 7);
  EXPECT_EQ(LinToStd5(1), 31);
  EXPECT_EQ(LinToStd6(StdToLin(255.0 * 40 / 63)), 40);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Std3ToByte[i], std::nearbyint(i * 255.0 / 7));
  for (int i = 0; i < 32; ++i) EXPECT_EQ(Std5ToByte[i], std::nearbyint(i * 255.0 / 31));
}

// Linear values whose encoded level is exactly halfway between two integers:
// rounding goes to the even neighbour.
TEST(KvColorCurve, HalvesRoundToEven) {
  struct Case { double x, level; int expected; };
  const Case bytes[] = {{0.00015176349177441876, 0.5, 0}, {0.00045529047532325625, 1.5, 2},
                        {0.0007588174588720937, 2.5, 2},  {0.0010623444424209313, 3.5, 4},
                        {0.0013658714259697686, 4.5, 4},  {0.0016693984095186062, 5.5, 6},
                        {0.21404114048223255, 127.5, 128}, {0.21768884898113222, 128.5, 128}};
  for (const auto& c : bytes) {
    ASSERT_EQ(LinToStd(c.x), c.level) << "fixture no longer lands on a half";
    EXPECT_EQ(LinToStdByte(c.x), c.expected) << c.level;
    TKvColor col = FromLin(c.x, c.x, c.x);
    EXPECT_EQ(col.GetStdRGB().R, c.expected);
    EXPECT_EQ(col.GetStdGray(), LinToStdByte(col.GetLinGray()));
  }
  const Case levels3[] = {{0.006146425904135614, 0.5, 0}, {0.037731672110135075, 1.5, 2},
                          {0.37088029880260304, 4.5, 4},  {0.5798962790540679, 5.5, 6}};
  for (const auto& c : levels3) EXPECT_EQ(LinToStd3(c.x), c.expected) << c.level;
  EXPECT_EQ(LinToStdByte(1.2), 255);
  EXPECT_EQ(LinToStdByte(-0.1), 0);
}

TEST(KvColorCurve, HueFunctions) {
  EXPECT_EQ(HueAngle(0, 0), 0.0);
  EXPECT_EQ(HueAngle(-1, 0), 180.0);
  EXPECT_EQ(HueAngle(0, 1), 90.0);
  EXPECT_EQ(HueAngle(0, -1), 270.0);
  EXPECT_DOUBLE_EQ(HueAngle(1, -1), 315.0);
  EXPECT_DOUBLE_EQ(HueAngle(-1, -1), 225.0);
  EXPECT_DOUBLE_EQ(HueAngle(1, 1), 45.0);
  EXPECT_DOUBLE_EQ(HueToRGB(0.2, 0.8, 0.1), 0.2 + 0.6 * 6 * 0.1);
  EXPECT_DOUBLE_EQ(HueToRGB(0.2, 0.8, 1.3), 0.8);  // wraps to 0.3
  EXPECT_DOUBLE_EQ(HueToRGB(0.2, 0.8, 0.9), 0.2);
  const TKvLinRGBColor m = MiddleLinRGB({0, 0.5, 1}, {1, 0.5, 0});
  EXPECT_EQ(m.R, 0.5);
  EXPECT_EQ(m.G, 0.5);
  EXPECT_EQ(m.B, 0.5);
}

TEST(KvColorRecord, GetLabFillsChainOfForms) {
  TKvColor c = FromRGB(255, 0, 0);
  EXPECT_TRUE(c.StdValid);
  EXPECT_FALSE(c.LinValid || c.XYZValid || c.LabValid);
  const TKvLinRGBColor lab = c.GetLab();
  EXPECT_TRUE(c.LinValid && c.XYZValid && c.LabValid);
  EXPECT_FALSE(c.HSLValid);
  EXPECT_NEAR(lab.R, 53.24, 0.01);
  EXPECT_NEAR(lab.G, 80.09, 0.01);
  EXPECT_NEAR(lab.B, 67.20, 0.01);
}

TEST(KvColorRecord, SettersKeepOrDropCache) {
  TKvColor c = FromRGB(10, 20, 30);
  c.Skip = true;
  c.UseCount = 5;
  c.Scratch = 2.5;
  c.GetLab();
  c.GetStdGray();
  c.SetStdRGB({10, 20, 30});  // same bytes: nothing changes
  EXPECT_TRUE(c.LinValid && c.LabValid && c.StdGrayValid);
  c.SetStdRGB({10, 20, 31});
  EXPECT_TRUE(c.StdValid);
  EXPECT_FALSE(c.LinValid || c.LabValid || c.StdGrayValid || c.XYZValid || c.LinGrayValid);
  // Setters and cache clearing leave the non-colour fields alone.
  EXPECT_TRUE(c.Skip);
  EXPECT_EQ(c.UseCount, 5);
  EXPECT_EQ(c.Scratch, 2.5);
  c.SetLinRGB({0.1, 0.2, 0.3});
  c.GetStdRGB();
  c.SetLinRGB({0.1, 0.2, 0.3});
  EXPECT_TRUE(c.StdValid);
  c.SetLinRGB({0.1, 0.2, 0.30000000000000004});
  EXPECT_FALSE(c.StdValid);
  // Init resets Skip but keeps the use count.
  c.InitRGB(1, 2, 3);
  EXPECT_FALSE(c.Skip);
  EXPECT_EQ(c.UseCount, 5);
  c.SetRGBValue(0x123456);
  EXPECT_EQ(c.GetStdRGB(), StdRGBColor(0x12, 0x34, 0x56));
  EXPECT_EQ(c.GetRGBQuad(), 0x123456u);
}

TEST(KvColorRecord, DerivesLinearFromLabAndHSL) {
  TKvColor ref = FromRGB(40, 160, 220);
  TKvColor c;
  c.Clear();
  c.SetLab(ref.GetLab());
  EXPECT_TRUE(c.LabValid);
  EXPECT_FALSE(c.LinValid);
  const TKvLinRGBColor l = c.GetLinRGB();
  EXPECT_TRUE(c.XYZValid);
  EXPECT_NEAR(l.R, ref.GetLinRGB().R, 1e-6);
  EXPECT_NEAR(l.G, ref.GetLinRGB().G, 1e-6);
  EXPECT_NEAR(l.B, ref.GetLinRGB().B, 1e-6);
  EXPECT_EQ(c.GetStdRGB(), ref.GetStdRGB());

  TKvColor h;
  h.Clear();
  h.SetHSL(ref.GetHSL());
  const TKvLinRGBColor hl = h.GetLinRGB();
  EXPECT_NEAR(hl.R, ref.GetLinRGB().R, 1e-12);
  EXPECT_NEAR(hl.G, ref.GetLinRGB().G, 1e-12);
  EXPECT_NEAR(hl.B, ref.GetLinRGB().B, 1e-12);

  TKvColor g = FromLin(0.2, 0.2, 0.2);
  EXPECT_EQ(g.GetHSL().R, 0.0);
  EXPECT_EQ(g.GetHSL().G, 0.0);
  EXPECT_DOUBLE_EQ(g.GetHSL().B, 0.2);
}

TEST(KvColorRecord, GrayForms) {
  TKvColor c = FromLin(0.2, 0.5, 0.9);
  EXPECT_DOUBLE_EQ(c.GetLinGray(), 0.212655 * 0.2 + 0.715158 * 0.5 + 0.072187 * 0.9);
  EXPECT_FALSE(c.IsGray());
  c.MakeGray();
  EXPECT_TRUE(c.LinGrayValid);
  EXPECT_EQ(c.GetLinRGB().R, c.GetLinRGB().B);
  EXPECT_TRUE(c.IsGray());
  // Gray is decided on the bytes: linear parts a hair apart still count.
  TKvColor near = FromLin(0.5, 0.5000001, 0.4999999);
  EXPECT_TRUE(near.IsGray());
}

TEST(KvColorRecord, ClearedRecordReadsAsBlack) {
  TKvColor c;
  c.Clear();
  EXPECT_EQ(c.GetLab().R, 0.0);
  EXPECT_EQ(c.GetLinRGB().G, 0.0);
}

TEST(KvColorRecord, UpdateCacheFillsEveryForm) {
  TKvColor c = FromRGB(200, 100, 50);
  c.UpdateCache();
  EXPECT_TRUE(c.StdValid && c.LinValid && c.StdGrayValid && c.LinGrayValid && c.HSLValid &&
              c.XYZValid && c.LabValid);
  // After the warm-up, reads leave the record byte for byte as it was.
  TKvColor before;
  std::memcpy(static_cast<void*>(&before), &c, sizeof(c));
  c.GetStdRGB();
  c.GetLinRGB();
  c.GetLinGray();
  c.GetStdGray();
  c.GetHSL();
  c.GetLab();
  EXPECT_EQ(std::memcmp(&before, &c, sizeof(c)), 0);
}

namespace {

// Every form of the pixel agrees bit for bit with the record's.
void ExpectSameForms(const TKvColor& AColor, const TKvPixel& APixel, const char* AStep) {
  auto same = [](const TKvLinRGBColor& a, const TKvLinRGBColor& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
  };
  EXPECT_EQ(AColor.GetStdRGB(), APixel.GetStdRGB()) << AStep;
  EXPECT_TRUE(same(AColor.GetLinRGB(), APixel.GetLinRGB())) << AStep;
  EXPECT_EQ(AColor.GetLinGray(), APixel.GetLinGray()) << AStep;
  EXPECT_EQ(AColor.GetStdGray(), APixel.GetStdGray()) << AStep;
  EXPECT_TRUE(same(AColor.GetHSL(), APixel.GetHSL())) << AStep;
  const TKvColor asColor = APixel;
  EXPECT_TRUE(same(AColor.GetLab(), asColor.GetLab())) << AStep;
  EXPECT_EQ(AColor.GetLinGray(), asColor.GetLinGray()) << AStep;
}

}  // namespace

TEST(KvPixel, FollowsTheColorRecordStepByStep) {
  for (int v = 0; v < 256; v += 5) {
    const uint8_t b = static_cast<uint8_t>(v);
    TKvColor c;
    c.Clear();
    TKvPixel p{};
    ExpectSameForms(c, p, "cleared");
    c.InitRGB(b, 255 - b, b / 3);
    p.InitRGB(b, 255 - b, b / 3);
    ExpectSameForms(c, p, "InitRGB");
    // The record drops its bytes and derives them again from the same linear
    // value; the pixel keeps them: both must read alike.
    TKvColor fresh = FromRGB(b, 255 - b, b / 3);
    const TKvLinRGBColor own = TKvPixel::LinOfStd({b, static_cast<uint8_t>(255 - b), static_cast<uint8_t>(b / 3)});
    fresh.SetLinRGB(own);
    p.SetLinRGB(own);
    ExpectSameForms(fresh, p, "SetLinRGB of its own value");
    c.SetLinRGB({v / 300.0, 0.25, 1 - v / 255.0});
    p.SetLinRGB({v / 300.0, 0.25, 1 - v / 255.0});
    ExpectSameForms(c, p, "SetLinRGB");
    TKvLinRGBColor hsl = c.GetHSL();
    hsl.G = hsl.G * 0.5 + 0.25;
    c.SetHSL(hsl);
    p.SetHSL(hsl);
    // A pixel keeps no HSL triple: it reads the one of its linear value.
    c.GetLinRGB();
    c.HSLValid = false;
    ExpectSameForms(c, p, "SetHSL");
    c.MakeGray();
    p.MakeGray();
    ExpectSameForms(c, p, "MakeGray");
    c.SetLinGray(c.GetLinGray() + 0.01);
    p.SetLinGray(p.GetLinGray() + 0.01);
    ExpectSameForms(c, p, "SetLinGray");
    c.SetStdRGB({b, b, b});
    p.SetStdRGB({b, b, b});
    ExpectSameForms(c, p, "SetStdRGB");
    c.SetLinGray(c.GetLinRGB().R);  // the same triple: only the gray becomes exact
    p.SetLinGray(p.GetLinRGB().R);
    ExpectSameForms(c, p, "SetLinGray of its own value");
  }
}
