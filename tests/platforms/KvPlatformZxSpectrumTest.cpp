#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "rtl/KvSysUtils.h"

namespace {

TKvStdRGBColor Rgb(uint8_t r, uint8_t g, uint8_t b) { return StdRGBColor(r, g, b); }

TEST(KvPlatformZxSpectrum, SpectrumPaletteModels) {
  TKvPalette256 p;
  BuildZxSpectrumPalette(p, ptColoredLinear);
  ASSERT_EQ(p.GetCount(), 16);
  EXPECT_EQ(p.GetStdRGB(1), Rgb(0, 0, 188));
  EXPECT_EQ(p.GetStdRGB(9), Rgb(0, 0, 255));
  EXPECT_EQ(p.GetStdRGB(7), Rgb(188, 188, 188));
  EXPECT_EQ(p.GetStdRGB(2), Rgb(188, 0, 0));
  EXPECT_EQ(p.GetStdRGB(4), Rgb(0, 188, 0));
  EXPECT_EQ(p.GetStdRGB(8), p.GetStdRGB(0));
  BuildZxSpectrumPalette(p, ptOrthodox);
  EXPECT_EQ(p.GetStdRGB(15), Rgb(208, 228, 255));
  EXPECT_EQ(p.GetStdRGB(2), Rgb(167, 0, 0));

  // A type without a model of its own falls back to "Linear".
  TKvPalette256 q;
  BuildZxSpectrumPalette(q, ptRGB888);
  BuildZxSpectrumPalette(p, ptColoredLinear);
  EXPECT_TRUE(p.SameColors(&q));
}

// The converters build their palettes through the settings object; both
// copies of the colour models must give the same colours.
TEST(KvPlatformZxSpectrum, ModelsMatchTheSettingsBuilders) {
  for (int t : {int(ptPulsar), int(ptColoredLinear), int(ptAlone), int(ptStdRGBMiddle), int(ptOrthodox), 0}) {
    auto o = TKvDestEngineOptions::Create();
    o->PaletteType = static_cast<uint8_t>(t);
    o->PaletteMode = 11;
    o->BuildZxPalette();
    TKvPalette256 p;
    BuildZxSpectrumPalette(p, static_cast<TKvPaletteType>(t));
    EXPECT_TRUE(p.SameColors(o->GetPalette())) << t;
  }
}

TEST(KvPlatformZxSpectrum, GigascreenStandardMixes) {
  TKvPalette256 p;
  BuildZxGigascreenPalette(p, ptPulsar, 0, false);
  ASSERT_EQ(p.GetCount(), 256);
  EXPECT_EQ(p.GetStdRGB(0 * 16 + 7), Rgb(118, 118, 118));
  EXPECT_EQ(p.GetStdRGB(7 * 16 + 7), Rgb(205, 205, 205));
  EXPECT_EQ(p.GetStdRGB(8 * 16 + 15), Rgb(159, 159, 159));
  EXPECT_EQ(p.GetStdRGB(7 * 16 + 15), Rgb(233, 233, 233));
  EXPECT_TRUE(p.Colors[1 * 16 + 0].Skip);
  EXPECT_FALSE(p.Colors[0 * 16 + 1].Skip);
  EXPECT_FALSE(p.Colors[0 * 16 + 8].Skip);
  TKvPalette256 base;
  BuildZxSpectrumPalette(base, ptPulsar);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p.GetStdRGB(i * 17), base.GetStdRGB(i)) << i;

  BuildZxGigascreenPalette(p, ptPulsar, 0, true);
  EXPECT_TRUE(p.Colors[0 * 16 + 8].Skip);
  EXPECT_FALSE(p.Colors[8 * 16 + 9].Skip);

  BuildZxGigascreenPalette(p, ptPulsar, 1, false);
  const TKvLinRGBColor m = MiddleLinRGB(base.GetLinRGB(7), base.GetLinRGB(0));
  EXPECT_DOUBLE_EQ(p.GetLinRGB(7).R, m.R);
}

TEST(KvPlatformZxSpectrum, MixLevelRulesAndBadBits) {
  EXPECT_EQ(GetZxMixLevel(ptAlone, 0, 0, true, true), 0);
  EXPECT_EQ(GetZxMixLevel(ptAlone, 0, 1, false, false), 96);
  EXPECT_EQ(GetZxMixLevel(ptAlone, 0, 1, false, true), 160);
  EXPECT_EQ(GetZxMixLevel(ptAlone, 1, 1, false, false), 160);
  EXPECT_EQ(GetZxMixLevel(ptAlone, 1, 1, true, false), 224);
  EXPECT_EQ(GetZxMixLevel(ptAlone, 1, 1, true, true), 255);
  try {
    GetZxMixLevel(ptAlone, 2, 0, false, false);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 87u);
  }
}

TEST(KvPlatformZxSpectrum, FlashPaletteIgnoresMixMode) {
  TKvPalette256 a, b, base;
  BuildZxFlashPalette(a, ptAlone, 0);
  BuildZxFlashPalette(b, ptAlone, 1);
  ASSERT_EQ(a.GetCount(), 256);
  EXPECT_TRUE(a.SameColors(&b));
  EXPECT_TRUE(a.Colors[16].Skip);
  EXPECT_FALSE(a.Colors[1].Skip);
  BuildZxSpectrumPalette(base, ptAlone);
  EXPECT_EQ(a.GetStdRGB(5 * 17), base.GetStdRGB(5));
  EXPECT_NEAR(a.GetLinRGB(0 * 16 + 15).R, base.GetLinRGB(15).R / 2, 1e-12);
}

TEST(KvPlatformZxSpectrum, UlaPlusColours) {
  EXPECT_EQ(Expand3To8(0), 0);
  EXPECT_EQ(Expand3To8(3), 109);
  EXPECT_EQ(Expand3To8(4), 146);
  EXPECT_EQ(Expand3To8(5), 182);
  EXPECT_EQ(Expand3To8(7), 255);
  TKvStdRGBColor c;
  DecodeUlaPlusColor(c, 0xFF, ptV10);
  EXPECT_EQ(c, Rgb(255, 255, 255));
  DecodeUlaPlusColor(c, 0xFF, ptV11);
  EXPECT_EQ(c, Rgb(255, 255, 255));
  DecodeUlaPlusColor(c, 0x02, ptV10);
  EXPECT_EQ(c, Rgb(0, 0, 146));
  DecodeUlaPlusColor(c, 0x02, ptV11);
  EXPECT_EQ(c, Rgb(0, 0, 182));
  DecodeUlaPlusColor(c, 0x1C, ptV11Gray);  // pure red made gray
  EXPECT_EQ(c.R, c.G);
  EXPECT_EQ(c.G, c.B);
  EXPECT_GT(c.R, 0);

  TKvPalette256 p;
  BuildUlaPlusPalette(p, ptV10);
  ASSERT_EQ(p.GetCount(), 256);
  for (int v : {0x00, 0x02, 0x1C, 0xE0, 0x6B, 0xFF}) {
    DecodeUlaPlusColor(c, static_cast<uint8_t>(v), ptV10);
    EXPECT_EQ(p.GetStdRGB(v), c) << v;
  }
}

TEST(KvPlatformZxSpectrum, MghHeader) {
  uint8_t h[MghHeaderSize];
  std::memset(h, 0xAA, sizeof(h));
  InitMghHeader(h, 4, 3);
  EXPECT_EQ(std::memcmp(h, "MGH\x01\x04\x03\x03", 7), 0);
  for (int i = 7; i < 255; ++i) ASSERT_EQ(h[i], 0) << i;
  EXPECT_EQ(h[255], 255);
  EXPECT_TRUE(CheckMghHeader(TKvBytes(h, MghHeaderSize), 4));
  EXPECT_FALSE(CheckMghHeader(TKvBytes(h, MghHeaderSize), 8));
  h[3] = 2;
  EXPECT_FALSE(CheckMghHeader(TKvBytes(h, MghHeaderSize), 4));
}

TEST(KvPlatformZxSpectrum, Recognisers) {
  std::vector<uint8_t> hlr(HlrViewerSignature, HlrViewerSignature + 84);
  EXPECT_TRUE(IsHlrFile(TKvBytes(hlr)));
  hlr[83] ^= 1;
  EXPECT_FALSE(IsHlrFile(TKvBytes(hlr)));

  uint8_t chr[7] = {'c', 'h', 'r', '$', 32, 24, 8};
  EXPECT_TRUE(CheckChrHeader(TKvBytes(chr, sizeof(chr)), 6151));
  EXPECT_FALSE(CheckChrHeader(TKvBytes(chr, sizeof(chr)), 6150));
  chr[6] = 7;
  EXPECT_FALSE(CheckChrHeader(TKvBytes(chr, sizeof(chr)), 100000));
  chr[6] = 18;
  chr[4] = 0;
  EXPECT_FALSE(CheckChrHeader(TKvBytes(chr, sizeof(chr)), 100000));

  uint8_t bsp[5] = {'b', 's', 'p', 0xC0, 0};
  EXPECT_TRUE(CheckBspHeader(TKvBytes(bsp, sizeof(bsp)), 13896));
  EXPECT_FALSE(CheckBspHeader(TKvBytes(bsp, sizeof(bsp)), 13895));
  uint8_t bspUp[5] = {'B', 'S', 'P', 0xC0, 0};
  EXPECT_FALSE(CheckBspHeader(TKvBytes(bspUp, sizeof(bspUp)), 20000));
}

TEST(KvPlatformZxSpectrum, ScreenLayoutAndAttributes) {
  EXPECT_EQ(ZxRowOffset(0), 0);
  EXPECT_EQ(ZxRowOffset(1), 256);
  EXPECT_EQ(ZxRowOffset(8), 32);
  EXPECT_EQ(ZxRowOffset(64), 2048);
  EXPECT_EQ(ZxRowOffset(191), 6144 - 32);
  std::vector<bool> seen(192, false);
  for (int y = 0; y < 192; ++y) {
    const int o = ZxRowOffset(y);
    ASSERT_EQ(o % 32, 0);
    ASSERT_FALSE(seen[o / 32]);
    seen[o / 32] = true;
  }
  EXPECT_EQ(ZxAttribute(0, 0), 0x00);
  EXPECT_EQ(ZxAttribute(7, 7), 0x3F);
  EXPECT_EQ(ZxAttribute(8, 8), 0x40);
  EXPECT_EQ(ZxAttribute(8, 15), 0x47);
  EXPECT_EQ(ZxAttribute(1, 6), 0x0E);
}

}  // namespace
