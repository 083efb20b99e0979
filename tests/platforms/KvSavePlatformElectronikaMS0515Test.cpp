#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformElectronikaMS0515.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Colour() { return DestEngineClass<TKvMS0515Engine>(); }

// The attribute bytes of the first ARows rows of a colour file.
std::vector<uint8_t> Attributes(const TKvConversion& r, int ARows = 200) {
  std::vector<uint8_t> a;
  for (int i = 1; i < ARows * 80; i += 2) a.push_back(r.Bytes(0)[i]);
  return a;
}

TEST(KvSavePlatformElectronikaMS0515, RegisteredModesAndPairs) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Elektronika MC 0515");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "320x200x4");
  EXPECT_EQ(list.GetSubTypes(p).GetString(1), "640x200x1");
  EXPECT_LT(list.IndexOf("DVK KCGD"), p);
  struct {
    int Entry, A, B;
  } cases[] = {{0, 0, 0}, {7, 7, 7}, {8, 0, 1}, {14, 0, 7}, {35, 6, 7}, {36, 8, 8}, {44, 8, 9}, {71, 14, 15}};
  for (auto& c : cases) {
    EXPECT_EQ(MS0515CellPairs[c.Entry].A, c.A) << c.Entry;
    EXPECT_EQ(MS0515CellPairs[c.Entry].B, c.B) << c.Entry;
  }
  auto o = Colour().Create()->CreateOptions();
  EXPECT_EQ(o->GetWidth(), 320);
  EXPECT_EQ(o->GetCellWidth(), 8);
  EXPECT_EQ(o->GetCellHeight(), 1);
  EXPECT_EQ(o->DitherMethod, 2);
  EXPECT_FALSE(o->LimitErrorInsideBlock);
  auto h = DestEngineClass<TKvMS0515HiResolutionEngine>().Create()->CreateOptions();
  EXPECT_EQ(h->GetWidth(), 640);
  EXPECT_EQ(h->PixelAspect, 1);
}

TEST(KvSavePlatformElectronikaMS0515, ScreenLayout) {
  std::vector<uint8_t> d(16000, 0);
  TKvMS0515Screen s(d.data());
  EXPECT_EQ(std::count(d.begin(), d.end(), 0x47), 16000);
  s.SetPixel(9, 1, 1);
  EXPECT_EQ(d[80 + 2], 0x47 | 0x40);
  s.SetPixel(15, 1, 0);
  EXPECT_EQ(d[80 + 2], 0x46);
  s.SetAttr(39, 199, 0x12);
  EXPECT_EQ(d[15999], 0x12);
  s.MirrorX = true;
  s.SetAttr(0, 0, 0x09);
  EXPECT_EQ(d[79], 0x09);
  s.SetPixel(0, 0, 0);
  EXPECT_EQ(d[78], 0x46);
}

TEST(KvSavePlatformElectronikaMS0515, FlatDarkRedCells) {
  // A picture of fewer rows fills the top of the screen; the rest keeps 0x47.
  auto pic = SolidPicture(320, 16, 0xBC0000);
  auto r = ConvertPicture(Colour(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "scr");
  ASSERT_EQ(r.Size(0), 16000);
  auto a = Attributes(r);
  EXPECT_EQ(std::count(a.begin(), a.end(), 0x12), 640);  // paper 2, ink 2, not bright
  EXPECT_EQ(std::count(a.begin(), a.end(), 0x47), 8000 - 640);
  auto forced = ConvertPicture(Colour(), *pic, [](TKvDestEngineOptions& o) { o.SetColorUsage(cuDarkOnlyForceBright); });
  a = Attributes(forced, 16);
  EXPECT_EQ(std::count_if(a.begin(), a.end(), [](uint8_t v) { return (v & 0x40) != 0; }), 640);
  EXPECT_EQ(forced.Preview->GetPixel(5, 5), 10);
  auto gradient = GradientPicture(320, 24, 5);
  auto bright = ConvertPicture(Colour(), *gradient, [](TKvDestEngineOptions& o) { o.SetColorUsage(cuBrightOnly); });
  a = Attributes(bright, 24);
  EXPECT_EQ(std::count_if(a.begin(), a.end(), [](uint8_t v) { return (v & 0x40) != 0; }), 960);
}

TEST(KvSavePlatformElectronikaMS0515, BlackWhiteGrayAndHiRes) {
  auto full = GradientPicture(320, 200, 6);
  auto bw = ConvertPicture(Colour(), *full, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  auto a = Attributes(bw);
  EXPECT_EQ(std::count(a.begin(), a.end(), 0x47), 8000);
  auto pic = GradientPicture(320, 30, 6);
  auto gray = ConvertPicture(Colour(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  a = Attributes(gray, 30);
  for (uint8_t v : a) {
    const int paper = (v >> 3) & 7, ink = v & 7;
    ASSERT_TRUE((paper == 0 || paper == 7) && (ink == 0 || ink == 7)) << int(v);
  }
  EXPECT_THROW(ConvertPicture(Colour(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGRB); }), EOSError);
  auto wide = GradientPicture(640, 200, 7);
  auto h = ConvertPicture(DestEngineClass<TKvMS0515HiResolutionEngine>(), *wide);
  ASSERT_EQ(h.Streams->GetCount(), 1);
  EXPECT_EQ(h.Size(0), 16000);
  for (int x : {0, 7, 8, 639})
    EXPECT_EQ((h.Bytes(0)[199 * 80 + x / 8] >> (7 - x % 8)) & 1, h.Preview->GetPixel(x, 199)) << x;
}

TEST(KvSavePlatformElectronikaMS0515, Panels) {
  auto engine = Colour().Create();
  auto o = engine->CreateOptions();
  auto ui = engine->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  using K = TKvPanelSectionKind;
  std::vector<K> kinds;
  for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Position, K::PaletteSeparator, K::PaletteMode, K::ColorUsage, K::Dithering}));
  TKvPanelControlState c(panel);
  c.SetItemIndex(pcModeCombo, 0);
  EXPECT_FALSE(c.GetEnabled(pcColorUsageCombo));
  EXPECT_FALSE(c.GetEnabled(pcLimitInsideCheckBox));
  c.SetItemIndex(pcModeCombo, 2);
  EXPECT_TRUE(c.GetEnabled(pcColorUsageCombo));
  EXPECT_TRUE(c.GetEnabled(pcLimitBoundaryCheckBox));
}

}  // namespace
