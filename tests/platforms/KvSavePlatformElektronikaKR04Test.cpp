#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platforms/KvPlatformElektronikaKR04.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformElectronikaMS0515.h"
#include "platforms/KvSavePlatformElektronikaKR04.h"
#include "platforms/KvSavePlatformElementZX.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformElektronikaKR04, RegisteredWithSixModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Elektronika KR-04");
  ASSERT_GE(p, 0);
  const std::vector<std::pair<std::string, const TKvDestEngineClass*>> modes = {
      {"240x224x2 EGA", &DestEngineClass<TKvElektronikaKR04EGAEngine>()},
      {"240x224x4 EGA Gigascreen", &DestEngineClass<TKvElektronikaKR04EGAGigaEngine>()},
      {"240x224x2 BRGB", &DestEngineClass<TKvElektronikaKR04BRGBEngine>()},
      {"240x224x4 BRGB Gigascreen", &DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>()},
      {"480x224x1", &DestEngineClass<TKvElektronikaKR04BWEngine>()},
      {"480x224x2 Gigascreen", &DestEngineClass<TKvElektronikaKR04BWGigaEngine>()}};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(list.GetSubTypes(p).GetString(i), modes[size_t(i)].first);
    EXPECT_EQ(list.GetSubTypes(p).GetObject(i), modes[size_t(i)].second);
  }
  EXPECT_LT(list.IndexOf(TKvMS0515Engine::GetPlatformName()), p);
  EXPECT_LT(p, list.IndexOf(TKvElementZXSCREngine::GetPlatformName()));
}

TEST(KvSavePlatformElektronikaKR04, HeaderCheck) {
  uint8_t h[12];
  InitKR04Header(h, 0, 1, 480, 224);
  EXPECT_EQ(std::memcmp(h, "KR04", 4), 0);
  EXPECT_EQ(h[4], 0x08);
  EXPECT_EQ(h[8] | (h[9] << 8), 480);
  SetKR04HeaderMode(h, 6);
  EXPECT_EQ(h[4], 0x10);
  struct {
    uint8_t Flags;
    int W, H;
    int64_t Size;
    bool Ok;
  } cases[] = {
      {0, 480, 224, 13452, true},        {0, 480, 224, 13451, false},   {0, 480, 224, 13453, false},
      {1, 240, 224, 13452, true},        {3, 240, 224, 13452, true},    {4, 480, 224, 26892, true},
      {7, 240, 224, 26892, true},        {5, 240, 224, 26891, false},   {0, 9, 1, 14, true},
      {1, 5, 2, 16, true},               {0, 0, 224, 12, false},        {0, 480, 0, 12, false},
      {0xFA, 480, 224, 13452, true},  // palette and border bits play no part
  };
  for (auto& c : cases) {
    std::vector<uint8_t> f(static_cast<size_t>(c.Size < 12 ? 12 : c.Size), 0);
    InitKR04Header(f.data(), c.Flags, 0, static_cast<uint16_t>(c.W), static_cast<uint16_t>(c.H));
    f[4] = c.Flags;
    EXPECT_EQ(CheckKR04Header(TKvBytes(f.data(), c.Size)), c.Ok) << int(c.Flags) << " " << c.W << " " << c.Size;
  }
  std::vector<uint8_t> f(13452, 0);
  InitKR04Header(f.data(), 0, 0, 480, 224);
  f[3] = '5';
  EXPECT_FALSE(CheckKR04Header(TKvBytes(f.data(), 13452)));
  EXPECT_FALSE(CheckKR04Header(TKvBytes(f.data(), 11)));
}

TEST(KvSavePlatformElektronikaKR04, ScreenLayouts) {
  EXPECT_EQ(TKvElektronikaKR04BWScreen::GetDataSize(480, 224), 13452);
  EXPECT_EQ(TKvElektronikaKR04BRGBScreen::GetDataSize(240, 224), 13452);
  EXPECT_EQ(TKvElektronikaKR04BWGigaScreen::GetDataSize(480, 224), 26892);
  EXPECT_EQ(TKvElektronikaKR04BRGBGigaScreen::GetDataSize(240, 224), 26892);

  // 2 bits: (0, 0) = 3 sets bits 0 and 4, (1, 0) = 2 bit 5 only; a width of
  // 5 leaves the bits beyond it 0; rows of 2 bytes.
  std::vector<uint8_t> f(12 + 2 * 2, 0xEE);
  TKvElektronikaKR04BRGBScreen s(5, 2, 2, f.data());
  EXPECT_EQ(f[4], 0x11);
  EXPECT_EQ(s.Stride, 2);
  std::fill(f.begin() + 12, f.end(), 0);
  s.SetPixel(0, 0, 3);
  s.SetPixel(1, 0, 2);
  s.SetPixel(4, 0, 1);
  s.SetPixel(4, 1, 3);
  s.SetPixel(4, 1, 2);  // only that pixel's bits change
  EXPECT_EQ((std::vector<uint8_t>(f.begin() + 12, f.end())), (std::vector<uint8_t>{0x31, 0x01, 0x00, 0x10}));

  // The EGA screens write their own flags.
  std::vector<uint8_t> e(TKvElektronikaKR04BRGBGigaScreen::GetDataSize(4, 1), 0);
  TKvElektronikaKR04EGAGigaScreen g(4, 1, 0, e.data());
  EXPECT_EQ(e[4], 7);
  g.SetPixel(3, 0, 2 * 4 + 1);  // frame A 2, frame B 1
  EXPECT_EQ(e[12], 0x80);
  EXPECT_EQ(e[13], 0x08);
  TKvElektronikaKR04EGAScreen ega(4, 1, 3, e.data());
  EXPECT_EQ(e[4], 3 | (3 << 3));

  // 1 bit: the leftmost pixel in bit 0; two frames of v div 2 and v mod 2.
  std::vector<uint8_t> b(TKvElektronikaKR04BWGigaScreen::GetDataSize(10, 1), 0);
  TKvElektronikaKR04BWGigaScreen bg(10, 1, 0, b.data());
  EXPECT_EQ(b[4], 4);
  bg.SetPixel(0, 0, 2);
  bg.SetPixel(9, 0, 1);
  bg.MirrorX = true;
  bg.SetPixel(0, 0, 3);  // x = 9
  EXPECT_EQ((std::vector<uint8_t>(b.begin() + 12, b.end())), (std::vector<uint8_t>{0x01, 0x02, 0x00, 0x02}));
}

TEST(KvSavePlatformElektronikaKR04, PalettesAndOptions) {
  TKvPalette256 p;
  BuildKR04BRGBMixPalette(p, 100);
  ASSERT_EQ(p.Count, 16);
  EXPECT_EQ(p.GetStdRGB(1 * 4 + 1), StdRGBColor(0, 0, 255));
  EXPECT_EQ(p.GetStdRGB(0 * 4 + 3), StdRGBColor(0xBC, 0, 0));
  // Black at half and at full intensity is one colour.
  FillKR04Bright16(p);
  EXPECT_EQ(p.Count, 15);
  for (int i = 0; i < p.Count; ++i) {
    const TKvStdRGBColor c = p.GetStdRGB(i);
    EXPECT_NO_THROW(KR04Level(c.R));
    EXPECT_NO_THROW(KR04Level(c.G));
    EXPECT_NO_THROW(KR04Level(c.B));
  }
  EXPECT_EQ(KR04Level(0xAA), 2);
  EXPECT_THROW(KR04Level(0xBC), Exception);

  auto ega = DestEngineClass<TKvElektronikaKR04EGAGigaEngine>().Create()->CreateOptions();
  EXPECT_EQ(ega->GetDefaultSize(), (TKvSize{240, 224}));
  EXPECT_EQ(ega->PixelAspect, pa1p475_1);
  EXPECT_EQ(ega->PaletteMode, pmColorBright);
  EXPECT_EQ(ega->PaletteType, ptColored);
  EXPECT_EQ(ega->ErrorDiffusion, 80);
  EXPECT_EQ(ega->GetHardwarePalette()->GetCount(), 64);
  EXPECT_EQ(ega->GetPalette()->Count, 0);
  ega->SetPaletteMode(pmGray);
  ega->UpdatePalette();
  EXPECT_EQ(ega->GetPalette()->Count, 16);
  auto bw = DestEngineClass<TKvElektronikaKR04BWGigaEngine>().Create()->CreateOptions();
  EXPECT_EQ(bw->GetDefaultSize(), (TKvSize{480, 224}));
  EXPECT_EQ(bw->PixelAspect, pa0p7375_1);
  auto brgb = DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>().Create()->CreateOptions();
  EXPECT_EQ(brgb->PaletteMode, pmColor);
  EXPECT_EQ(brgb->GetPalette()->Count, 16);
}

TEST(KvSavePlatformElektronikaKR04, EGAHeaderPaletteAndBorders) {
  // A fixed palette of dark blue, black, white and gray is the result
  // palette in this order: blue levels 1, 0, 3, 2 give 0xB1, green and red
  // 0, 0, 3, 2 give 0xB0; the black border is entry 1.
  TKvPalette256 fixed;
  fixed.AddRGB(0, 0, 0x55);
  fixed.AddRGB(0, 0, 0);
  fixed.AddRGB(255, 255, 255);
  fixed.AddRGB(0xAA, 0xAA, 0xAA);
  auto pic = GradientPicture(32, 16, 7);
  auto r = ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAEngine>(), *pic, [&](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmColor);
    o.SetFixedPalette(&fixed);
    o.UpdatePalette();
  });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "krs");
  EXPECT_EQ(r.Size(0), 12 + 8 * 16);
  EXPECT_EQ(r.Bytes(0)[4], 0x03 | (1 << 3));
  EXPECT_EQ(r.Bytes(0)[5], 0xB1);
  EXPECT_EQ(r.Bytes(0)[6], 0xB0);
  EXPECT_EQ(r.Bytes(0)[7], 0xB0);

  // A light border marks the B/W header with index 1; a blue one takes
  // BRGB entry 1.
  auto bw = ConvertPicture(DestEngineClass<TKvElektronikaKR04BWEngine>(), *pic,
                           [](TKvDestEngineOptions& o) { o.SetBorderColor(0xC0C0C0); });
  EXPECT_EQ(bw.Bytes(0)[4], 1 << 3);
  auto blue = ConvertPicture(DestEngineClass<TKvElektronikaKR04BRGBEngine>(), *pic,
                             [](TKvDestEngineOptions& o) { o.SetBorderColor(0x0000FF); });
  EXPECT_EQ(blue.Bytes(0)[4], 1 | (1 << 3));
}

TEST(KvSavePlatformElektronikaKR04, BRGBBlackWhiteDrawsBlackAndGreen) {
  auto pic = GradientPicture(16, 8, 9);
  auto r = ConvertPicture(DestEngineClass<TKvElektronikaKR04BRGBEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  int seen[4] = {0, 0, 0, 0};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ++seen[r.Preview->GetPixel(x, y) & 3];
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[2], 0);
  EXPECT_EQ(seen[1] + seen[3], 0);
}

TEST(KvSavePlatformElektronikaKR04, BrightModeUsesTheSixteenColours) {
  auto pic = GradientPicture(40, 20, 10);
  TKvPalette256 bright;
  FillKR04Bright16(bright);
  for (const TKvDestEngineClass* c :
       {&DestEngineClass<TKvElektronikaKR04EGAEngine>(), &DestEngineClass<TKvElektronikaKR04EGAGigaEngine>()}) {
    auto r = ConvertPicture(*c, *pic);
    const uint8_t* h = r.Bytes(0);
    for (int i = 0; i < 4; ++i) {
      static const uint8_t L[4] = {0, 0x55, 0xAA, 0xFF};
      const TKvStdRGBColor col{L[(h[7] >> (2 * i)) & 3], L[(h[6] >> (2 * i)) & 3], L[(h[5] >> (2 * i)) & 3]};
      EXPECT_GE(bright.IndexOfStdRGB(col), 0) << c->GetModeName() << " " << i;
    }
  }
}

}  // namespace
