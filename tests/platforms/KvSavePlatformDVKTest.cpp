#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platforms/KvPlatformDVK.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformDVK.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Dvk() { return DestEngineClass<TKvDvkEngine>(); }

TEST(KvSavePlatformDVK, RegisteredWithOneMode) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("DVK KCGD");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "400x240x4");
  EXPECT_EQ(list.GetSubTypes(p).GetObject(0), &Dvk());
}

TEST(KvSavePlatformDVK, OptionsSizeAndPalettes) {
  auto o = Dvk().Create()->CreateOptions();
  EXPECT_EQ(o->GetMaxSize(), (TKvSize{400, 240}));
  EXPECT_EQ(o->GetMinSize(), (TKvSize{8, 8}));
  EXPECT_EQ(o->GetWidth(), 400);
  EXPECT_EQ(o->GetHeight(), 240);
  o->SetWidth(397);
  EXPECT_EQ(o->GetWidth(), 400);
  o->SetWidth(9);
  EXPECT_EQ(o->GetWidth(), 12);
  EXPECT_EQ(o->MaxColorCount, 15);
  EXPECT_EQ(o->PaletteType, ptColoredEMUStudio);
  EXPECT_EQ(o->GetPalette()->Count, 64);
  EXPECT_EQ(o->GetPalette()->GetStdRGB(21), StdRGBColor(0x80, 0x80, 0x80));
  struct {
    uint8_t Type;
    TKvPaletteMode Mode;
    std::vector<TKvStdRGBColor> Colors;
  } cases[] = {
      {ptColoredEMUStudio, pmBlackWhite, {StdRGBColor(0, 0, 0), StdRGBColor(255, 255, 255)}},
      {ptColoredEMUStudio,
       pmGray,
       {StdRGBColor(0, 0, 0), StdRGBColor(0x80, 0x80, 0x80), StdRGBColor(0xC0, 0xC0, 0xC0),
        StdRGBColor(255, 255, 255)}},
      {ptColoredLinear,
       pmGray,
       {StdRGBColor(0, 0, 0), StdRGBColor(0x55, 0x55, 0x55), StdRGBColor(0xAA, 0xAA, 0xAA),
        StdRGBColor(255, 255, 255)}},
      {ptColoredEMUStudio, pm8Colors, {}},
  };
  for (auto& c : cases) {
    o->BeginUpdate();
    o->SetPaletteType(c.Type);
    o->SetPaletteMode(c.Mode);
    o->EndUpdate();
    o->UpdatePalette();
    const TKvPalette256& p = *o->GetPalette();
    ASSERT_EQ(p.Count, static_cast<int>(c.Colors.size())) << int(c.Mode);
    for (int i = 0; i < p.Count; ++i) EXPECT_EQ(p.GetStdRGB(i), c.Colors[i]) << int(c.Mode) << " " << i;
  }
}

TEST(KvSavePlatformDVK, ScreenLayout) {
  // 5 x 2 pixels: rows of 4 bytes, the bottom row first.
  std::vector<uint8_t> file(DvkPicSize(5, 2), 0);
  TKvDvkScreen s(5, 2, file.data());
  for (int x = 0; x < 5; ++x) s.SetPixel(x, 0, x + 1);
  s.SetPixel(0, 1, 0xF);
  const std::vector<uint8_t> expect = {0, 0, 0, 0,  // header left to the converter
                                       0, 0xF0, 0, 0, 0x34, 0x12, 0x00, 0x50};
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 12), expect);
  // Mirrored, x counts from the right.
  s.MirrorX = true;
  s.SetPixel(0, 1, 7);
  EXPECT_EQ(file[4 + 2 + 1], 0x70);
}

TEST(KvSavePlatformDVK, ColourFile) {
  auto pic = GradientPicture(400, 240, 5);
  auto r = ConvertPicture(Dvk(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "pic");
  ASSERT_EQ(r.Size(0), 48020);
  const uint8_t* d = r.Bytes(0);
  EXPECT_EQ(d[0] | (d[1] << 8), 400);
  EXPECT_EQ(d[2] | (d[3] << 8), 240);
  const TKvPalette256& pal = *r.Options->GetPalette();
  ASSERT_GT(pal.Count, 2);
  ASSERT_LE(pal.Count, 15);
  TKvPalette256 hw;
  BuildDvkPalette(ptColoredEMUStudio, hw);
  for (int i = 0; i < 16; ++i) {
    if (i < pal.Count)
      EXPECT_EQ(hw.GetStdRGB(d[48004 + i]), pal.GetStdRGB(i));
    else
      EXPECT_EQ(d[48004 + i], 0);
  }
  // The preview's indexes are the screen's values; the top row is last.
  for (int y : {0, 239})
    for (int x : {0, 1, 2, 3, 398, 399}) {
      const uint8_t* g = d + 4 + (239 - y) * 200 + (x / 4) * 2;
      const uint16_t w = static_cast<uint16_t>(g[0] | (g[1] << 8));
      EXPECT_EQ((w >> (12 - 4 * (x % 4))) & 15, r.Preview->GetPixel(x, y)) << x << " " << y;
    }
}

TEST(KvSavePlatformDVK, BlackWhiteAndGrayWithEmptyFixedPalette) {
  auto pic = GradientPicture(40, 12, 6);
  auto bw = ConvertPicture(Dvk(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  const int64_t n = bw.Size(0);
  EXPECT_EQ(bw.Bytes(0)[n - 16], 0);
  EXPECT_EQ(bw.Bytes(0)[n - 15], 63);
  auto gray = ConvertPicture(Dvk(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.UpdatePalette();
  });
  for (int i = 0; i < 16; ++i) {
    const uint8_t c = gray.Bytes(0)[n - 16 + i];
    EXPECT_TRUE(c == 0 || c == 21 || c == 42 || c == 63) << int(c);
  }
}

TEST(KvSavePlatformDVK, OtherPaletteModeFails) {
  auto pic = GradientPicture(16, 8, 7);
  EXPECT_THROW(ConvertPicture(Dvk(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmRGB); }), EOSError);
}

TEST(KvSavePlatformDVK, PanelSections) {
  auto engine = Dvk().Create();
  auto o = engine->CreateOptions();
  auto ui = engine->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  using K = TKvPanelSectionKind;
  std::vector<K> kinds;
  for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Dimension, K::Position, K::PaletteSeparator, K::CustomPaletteComboBox,
                                   K::PaletteMode, K::DestPalette, K::FixedPalette, K::Dithering}));
  TKvPalette256 scratch;
  int columns = 5;
  EXPECT_EQ(panel.GetEditedPalette(scratch, columns)->GetCount(), 64);
  EXPECT_EQ(columns, 0);
}

}  // namespace
