#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformZxSpectrumNext.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Next() { return DestEngineClass<TKvZxSpectrumNextNxiEngine>(); }

uint16_t Word(const uint8_t* AData, int AIndex) {
  return static_cast<uint16_t>(AData[2 * AIndex] | (AData[2 * AIndex + 1] << 8));
}

TEST(KvSavePlatformZxSpectrumNext, PaletteFillersAndWords) {
  TKvPalette256 p;
  FillNextRGB332Palette(p);
  ASSERT_EQ(p.Count, 256);
  const auto cube = TKvPaletteRGB::CreateBits(3, 3, 3, false);
  // Entry n is the colour of pixel byte n, so its word starts with n; blue's
  // low bit (set for the levels 3 and 5) goes to bit 8.
  struct {
    int Entry;
    uint16_t Word;
  } cases[] = {{0, 0x0000}, {1, 0x0101}, {2, 0x0102}, {3, 0x0103}, {0x1C, 0x001C}, {255, 0x01FF}};
  for (auto& c : cases) EXPECT_EQ(NextPaletteWord(*cube, p.GetStdRGB(c.Entry)), c.Word) << c.Entry;
  for (int n = 0; n < 256; ++n) ASSERT_EQ(NextPaletteWord(*cube, p.GetStdRGB(n)), n | ((n & 3) ? 0x100 : 0)) << n;
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(0, 0, 182));
  FillNextRGB332GrayPalette(p);
  ASSERT_EQ(p.Count, 4);
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(109, 109, 109));
  FillNextRGB333GrayPalette(p);
  ASSERT_EQ(p.Count, 8);
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(36, 36, 36));
  EXPECT_THROW(NextPaletteWord(*cube, StdRGBColor(1, 0, 0)), Exception);
}

TEST(KvSavePlatformZxSpectrumNext, DefaultFileHoldsTheChosenColours) {
  // A picture of fewer rows fills the top of the screen.
  auto pic = GradientPicture(256, 32, 2);
  auto r = ConvertPicture(Next(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "nxi");
  ASSERT_EQ(r.Size(0), 49664);
  const TKvPalette256& pal = *r.Options->GetPalette();
  ASSERT_GT(pal.Count, 16);
  ASSERT_LE(pal.Count, 256);
  const auto cube = TKvPaletteRGB::CreateBits(3, 3, 3, false);
  for (int i = 0; i < pal.Count; ++i) ASSERT_EQ(Word(r.Bytes(0), i), NextPaletteWord(*cube, pal.GetStdRGB(i))) << i;
  EXPECT_EQ(std::count(r.Bytes(0) + 2 * pal.Count, r.Bytes(0) + 512, 0), 512 - 2 * pal.Count);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 256; ++x) ASSERT_EQ(r.Bytes(0)[512 + y * 256 + x], r.Preview->GetPixel(x, y)) << x << " " << y;
}

TEST(KvSavePlatformZxSpectrumNext, FixedRRRGGGBBPalette) {
  auto pic = GradientPicture(256, 192, 3);
  struct {
    TKvPaletteMode Mode;
    std::set<int> Only;  // empty: any byte
  } cases[] = {{pmBlackWhite, {0, 255}}, {pmGray, {0, 109, 182, 255}}, {pmColor, {}}};
  for (auto& c : cases) {
    auto r = ConvertPicture(Next(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptRGB332);
      o.SetPaletteMode(c.Mode);
    });
    ASSERT_EQ(r.Streams->GetCount(), 2);
    EXPECT_EQ(r.Streams->GetExtension(0), "sl2");
    EXPECT_EQ(r.Streams->GetExtension(1), "nxi");
    ASSERT_EQ(r.Size(0), 49152);
    ASSERT_EQ(r.Size(1), 49664);
    EXPECT_EQ(std::memcmp(r.Bytes(0), r.Bytes(1) + 512, 49152), 0);
    // The palette block is the same in every mode.
    EXPECT_EQ(Word(r.Bytes(1), 1), 0x0101);
    EXPECT_EQ(Word(r.Bytes(1), 2), 0x0102);
    EXPECT_EQ(r.Bytes(1)[510], 0xFF);
    EXPECT_EQ(r.Bytes(1)[511], 0x01);
    std::set<int> used(r.Bytes(0), r.Bytes(0) + 49152);
    if (c.Only.empty()) {
      EXPECT_GT(used.size(), 16u);
    } else {
      EXPECT_EQ(used, c.Only) << int(c.Mode);
    }
  }
}

TEST(KvSavePlatformZxSpectrumNext, GrayAndBlackWhiteOnTheCube) {
  auto pic = GradientPicture(256, 32, 4);
  auto g = ConvertPicture(Next(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  const TKvPalette256& pal = *g.Options->GetPalette();
  ASSERT_GE(pal.Count, 2);
  for (int i = 0; i < pal.Count; ++i) {
    const TKvStdRGBColor c = pal.GetStdRGB(i);
    EXPECT_TRUE(c.R == c.G && c.G == c.B) << i;
  }
  auto bw = ConvertPicture(Next(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  EXPECT_EQ(Word(bw.Bytes(0), 0), 0x0000);
  EXPECT_EQ(Word(bw.Bytes(0), 1), 0x01FF);
  std::set<int> used(bw.Bytes(0) + 512, bw.Bytes(0) + 49664);  // the unused part stays 0
  EXPECT_EQ(used, (std::set<int>{0, 1}));
}

// A fixed palette that leaves no room for the grays merges them to two
// colours; the file stores the indexes the preview shows.
TEST(KvSavePlatformZxSpectrumNext, MergedGraysKeepFileAndPreviewAlike) {
  auto pic = GradientPicture(256, 16, 6);
  auto r = ConvertPicture(Next(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    TKvPalette256 fixed;
    const auto cube = TKvPaletteRGB::CreateBits(3, 3, 3, false);
    for (int i = 0; fixed.Count < 255; ++i) {
      const TKvStdRGBColor c = cube->GetStdRGB(i);
      if (c.R != c.G || c.G != c.B) fixed.AddStdRGB(c);
    }
    o.SetFixedPalette(&fixed);
  });
  const TKvPalette256& pal = *r.Options->GetPalette();
  ASSERT_LE(pal.Count, 256);
  const auto cube = TKvPaletteRGB::CreateBits(3, 3, 3, false);
  std::set<int> used;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 256; ++x) {
      const int v = r.Bytes(0)[512 + y * 256 + x];
      used.insert(v);
      ASSERT_EQ(Word(r.Bytes(0), v), NextPaletteWord(*cube, r.Preview->Palette->GetStdRGB(r.Preview->GetPixel(x, y))))
          << x << " " << y;
    }
  EXPECT_EQ(used.size(), 2u);
  EXPECT_NE(used, (std::set<int>{0, 1}));
}

TEST(KvSavePlatformZxSpectrumNext, UnknownModeIsRefused) {
  auto pic = GradientPicture(16, 16, 5);
  for (uint8_t type : {ptRGB333, ptRGB332}) {
    try {
      ConvertPicture(Next(), *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(pmGrayGreen);
      });
      ADD_FAILURE() << "no error";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

TEST(KvSavePlatformZxSpectrumNext, ModeOptionsAndPanel) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int next = l.IndexOf("ZX Spectrum Next");
  ASSERT_GT(next, l.IndexOf("ZX Spectrum"));
  ASSERT_EQ(l.GetSubTypes(next).GetCount(), 1);
  EXPECT_EQ(l.GetSubTypes(next).GetString(0), "256x192x8");

  auto e = Next().Create();
  auto o = e->CreateOptions();
  EXPECT_EQ(o->PaletteType, ptRGB333);
  EXPECT_EQ(o->PaletteMode, pmColor);
  EXPECT_EQ(o->GetWidth(), 256);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 512);
  auto ui = e->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  using K = TKvPanelSectionKind;
  std::vector<K> kinds;
  for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                                   K::DestPalette, K::FixedPalette, K::Dithering}));
  EXPECT_EQ(panel.GetSections()[2].Items, (std::vector<int>{ptRGB332, ptRGB333}));
  EXPECT_EQ(panel.GetSections()[3].Set, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Bits);
  EXPECT_FALSE(panel.CanEditPalette());
  o->SetPaletteMode(pmCustom);
  EXPECT_TRUE(panel.CanEditPalette());
  TKvPalette256 scratch;
  int columns = 0;
  EXPECT_EQ(panel.GetEditedPalette(scratch, columns), o->GetHardwarePalette());
  EXPECT_EQ(columns, 32);
  // The fixed palette kind has no hardware palette to pick colours from.
  o->SetPaletteType(ptRGB332);
  o->Changed();
  EXPECT_FALSE(panel.CanEditPalette());
  EXPECT_EQ(o->GetPalette()->Count, 256);
}

}  // namespace
