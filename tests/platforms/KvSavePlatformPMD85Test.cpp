#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformPMD85.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& PMD85() { return DestEngineClass<TKvPMD85Engine>(); }
const TKvDestEngineClass& ColorAce() { return DestEngineClass<TKvPMD85CAEngine>(); }

// Bytes 48 to 63 of every row are never written.
bool TailsClear(const uint8_t* AData) {
  for (int y = 0; y < 256; ++y)
    for (int j = 48; j < 64; ++j)
      if (AData[y * 64 + j] != 0) return false;
  return true;
}

TEST(KvSavePlatformPMD85, RegisteredAndPalettes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("PMD 85");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "288x256x2");
  EXPECT_EQ(list.GetSubTypes(p).GetString(1), "288x256x2 ColorAce");
  EXPECT_LT(list.IndexOf("Pico-8"), p);
  EXPECT_LT(p, list.IndexOf("PP01"));
  auto o = PMD85().Create()->CreateOptions();
  EXPECT_EQ(o->GetCellWidth(), 6);
  EXPECT_EQ(o->PaletteType, ptPMD85A);
  EXPECT_EQ(o->GetPalette()->Count, 3);
  EXPECT_EQ(ColorAce().Create()->CreateOptions()->ErrorDiffusion, 60);
  TKvPalette256 pal;
  BuildPMD85Palette(o.get(), pal, ptPMD85GCustom);
  ASSERT_EQ(pal.Count, 5);
  EXPECT_EQ(pal.GetStdRGB(2), StdRGBColor(0, 255, 255));
  BuildPMD85Palette(nullptr, pal, ptPMD85F);
  EXPECT_EQ(pal.GetStdRGB(4), StdRGBColor(160, 0, 0));
  EXPECT_THROW(BuildPMD85Palette(nullptr, pal, ptPMD85H), EOSError);
  // The reading rule gives back every colour the converter writes.
  for (int c = 1; c < 8; ++c) {
    const int code = ColorAceCode(c);
    EXPECT_EQ(DecodeColorAceColor(static_cast<uint8_t>(code << 6), static_cast<uint8_t>((code >> 2) << 6)), c) << c;
  }
}

TEST(KvSavePlatformPMD85, ScreenLayoutAndMirror) {
  std::vector<uint8_t> d(16384, 0);
  TKvPMD85Screen s(288, 256, d.data());
  s.SetPixel(7, 2, 1);
  EXPECT_EQ(d[2 * 64 + 1], 0x02);
  s.SetAttr(1, 2, 3);
  EXPECT_EQ(d[2 * 64 + 1], 0xC2);
  s.MirrorX = true;
  s.SetPixel(0, 3, 1);
  EXPECT_EQ(d[3 * 64 + 47], 0x20);
  s.SetAttr(0, 3, 2);
  EXPECT_EQ(d[3 * 64 + 47], 0xA0);
  std::vector<uint8_t> c(16384, 0);
  TKvPMD85CAScreen ca(288, 256, c.data());
  ca.SetAttr(3, 1, 8);  // cyan: 0 in the even row, 2 in the odd row
  EXPECT_EQ(c[2 * 64 + 3], 0x00);
  EXPECT_EQ(c[3 * 64 + 3], 0x80);
}

TEST(KvSavePlatformPMD85, StandardColourAndBlackWhite) {
  auto pic = GradientPicture(288, 64, 3);
  auto r = ConvertPicture(PMD85(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "85A");
  ASSERT_EQ(r.Size(0), 16384);
  EXPECT_TRUE(TailsClear(r.Bytes(0)));
  std::set<int> attrs;
  for (int y = 0; y < 64; ++y)
    for (int j = 0; j < 48; ++j) attrs.insert(r.Bytes(0)[y * 64 + j] >> 6);
  for (int a : attrs) EXPECT_LE(a, 1);
  auto bw = ConvertPicture(PMD85(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  for (int y = 0; y < 256; ++y)
    for (int j = 0; j < 48; ++j) ASSERT_EQ(bw.Bytes(0)[y * 64 + j] >> 6, 0);
  auto e = ConvertPicture(PMD85(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptPMD85E);
    o.UpdatePalette();
  });
  EXPECT_EQ(e.Streams->GetExtension(0), "85E");
  // No colour is near white: every attribute becomes 3.
  auto ebw = ConvertPicture(PMD85(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptPMD85E);
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  EXPECT_EQ(ebw.Bytes(0)[0] >> 6, (4 - 1) & 3);
  EXPECT_TRUE(TailsClear(ebw.Bytes(0)));
  EXPECT_THROW(ConvertPicture(PMD85(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); }), EOSError);
}

TEST(KvSavePlatformPMD85, ColorAceCyan) {
  auto pic = SolidPicture(288, 16, 0x50FFFF);
  auto r = ConvertPicture(ColorAce(), *pic);
  EXPECT_EQ(r.Streams->GetExtension(0), "85H");
  EXPECT_EQ(r.Preview->GetPixel(10, 10), 5);
  EXPECT_EQ(r.Bytes(0)[0], 0x3F);
  EXPECT_EQ(r.Bytes(0)[64], 0x80 | 0x3F);
  EXPECT_TRUE(TailsClear(r.Bytes(0)));
}

TEST(KvSavePlatformPMD85, CustomColourRows) {
  auto engine = PMD85().Create();
  auto o = engine->CreateOptions();
  auto ui = engine->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  TKvPanelControlState c(panel);
  // The four rows follow the kind list: enabled only on "Custom" (item 6).
  std::vector<TKvControlId> rows;
  for (size_t i = 0; i < panel.GetSections().size(); ++i)
    if (panel.GetSections()[i].Kind == TKvPanelSectionKind::OwnColorBox)
      for (int part : {opCaption, opControl, opButton}) rows.push_back(OwnControl(static_cast<int>(i), part));
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(c.GetColor(rows[4]), 0x00FFFFu);
  for (TKvControlId id : rows) EXPECT_FALSE(c.GetEnabled(id)) << id;
  c.SetColor(rows[1], 0x102030);
  auto store = [&]() {
    o->BeginUpdate();
    panel.StoreOptions(c);
    o->EndUpdate();
  };
  store();
  EXPECT_EQ(o->CustomColor1, StdRGBColor(255, 255, 255));
  c.SetItemIndex(pcCustomPaletteCombo, 6);
  for (TKvControlId id : rows) EXPECT_TRUE(c.GetEnabled(id)) << id;
  store();
  EXPECT_EQ(o->PaletteType, ptPMD85GCustom);
  EXPECT_EQ(o->CustomColor1, StdRGBColor(0x10, 0x20, 0x30));
  EXPECT_EQ(o->GetPalette()->GetStdRGB(1), StdRGBColor(0x10, 0x20, 0x30));
}

}  // namespace
