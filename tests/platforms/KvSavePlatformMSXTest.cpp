#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/KvAppUnits.h"
#include "core/KvPaletteRGB.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformMSX.h"
#include "KvTestHarness.h"
#include "rtl/KvSysUtils.h"

namespace {

constexpr int kNames = 6151, kPalette = 7047, kColors = 8199;

TEST(KvSavePlatformMSX, ModeList) {
  InitializePlatforms();
  const int p = DestEngineList().IndexOf("MSX");
  ASSERT_GE(p, 0);
  TKvDestSubTypes& modes = DestEngineList().GetSubTypes(p);
  ASSERT_GE(modes.GetCount(), 3);
  EXPECT_EQ(modes.GetString(0), "2 256x192x4");
  EXPECT_EQ(modes.GetString(1), "3 64x48x4");
  EXPECT_EQ(modes.GetString(2), "4 256x192x4");
  FinalizePlatforms();

  auto o2 = TKvMSXScr2Engine().CreateOptions();
  EXPECT_EQ(o2->GetWidth(), 256);
  EXPECT_EQ(o2->GetHeight(), 192);
  EXPECT_EQ(o2->GetCellWidth(), 8);
  EXPECT_EQ(o2->GetCellHeight(), 1);
  EXPECT_EQ(o2->PixelAspect, pa1p138_1);
  EXPECT_EQ(o2->DitherMethod, 2);
  o2->SetWidth(100);
  EXPECT_EQ(o2->GetWidth(), 256);
  auto o3 = TKvMSXScr3Engine().CreateOptions();
  EXPECT_EQ(o3->GetWidth(), 64);
  EXPECT_EQ(o3->GetHeight(), 48);
  EXPECT_EQ(o3->DitherMethod, 0);
  auto o4 = TKvMSXScr4Engine().CreateOptions();
  EXPECT_EQ(o4->GetHardwarePalette()->GetCount(), 512);
  o4->SetPaletteType(ptMSX9958);
  o4->UpdatePalette();
  EXPECT_EQ(o4->GetHardwarePalette()->GetStdRGB(1).B, 33);
}

TEST(KvSavePlatformMSX, ScreenBuffersAreZeroFilledAndPadded) {
  struct Case {
    int Width, Bits, Stride;
  } cases[] = {{256, 2, 64}, {3, 2, 4}, {17, 2, 8}, {9, 4, 8}, {256, 4, 128}, {5, 8, 8}, {256, 8, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Width << "x" << c.Bits);
    std::unique_ptr<TKvBitmapData> s;
    if (c.Bits == 2) s = std::make_unique<TKvMSXScreen2>(c.Width, 3);
    if (c.Bits == 4) s = std::make_unique<TKvMSXScreen4>(c.Width, 3);
    if (c.Bits == 8) s = std::make_unique<TKvMSXScreen8>(c.Width, 3);
    EXPECT_EQ(s->Stride, c.Stride);
    for (int i = 0; i < 3 * c.Stride; ++i) ASSERT_EQ(s->Data[i], 0) << i;
    s->SetPixel(c.Width - 1, 2, 3);
    EXPECT_EQ(s->GetPixel(c.Width - 1, 2), 3);
    EXPECT_EQ(s->GetScanline(2), s->Data + 2 * c.Stride);
  }
}

TEST(KvSavePlatformMSX, Screen2BlackAndWhiteFile) {
  auto pic = GradientPicture(256, 192, 5);
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr2Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetStream(0)->GetExtension(), "sc2");
  ASSERT_EQ(r.Size(0), 14343);
  const uint8_t* f = r.Bytes(0);
  EXPECT_EQ(std::vector<uint8_t>(f, f + 7), (std::vector<uint8_t>{0xFE, 0, 0, 0xFF, 0x37, 0, 0}));
  for (int i = 0; i < 768; ++i) ASSERT_EQ(f[kNames + i], i % 256) << i;
  for (int i = 0; i < 32; ++i) EXPECT_EQ(f[kPalette + i], 0);
  for (int i = 0; i < 6144; ++i) ASSERT_EQ(f[kColors + i], 0xF1) << i;
  // Light pixels set pattern bits.
  int set = 0;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int bit = (f[7 + (y & 7) + (y >> 3) * 256 + (x >> 3) * 8] >> (7 - (x & 7))) & 1;
      set += bit;
      ASSERT_EQ(bit, r.Preview->GetPixel(x, y));
    }
  EXPECT_GT(set, 1000);
  EXPECT_LT(set, 256 * 192 - 1000);
}

TEST(KvSavePlatformMSX, Screen2ColourNeverUsesTransparentCode) {
  auto pic = GradientPicture(256, 192, 6);
  for (TKvPaletteMode mode : {pmGray, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr2Engine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    const uint8_t* f = r.Bytes(0);
    for (int i = 0; i < 6144; ++i) {
      ASSERT_NE(f[kColors + i] & 15, 0) << i;
      ASSERT_NE(f[kColors + i] >> 4, 0) << i;
      if (mode == pmGray) {
        for (int n : {f[kColors + i] & 15, f[kColors + i] >> 4}) ASSERT_TRUE(n == 1 || n == 14 || n == 15) << n;
      }
    }
    EXPECT_EQ(r.Preview->BitCount, 4);
    EXPECT_EQ(r.Preview->Palette->GetCount(), 16);
  }
}

TEST(KvSavePlatformMSX, Screen2MirroredColumns) {
  std::vector<uint8_t> mem(14343, 0);
  TKvMSXScr2Screen s(mem.data(), nullptr, 0);
  s.MirrorX = true;
  s.SetPixel(0, 9, 1);
  s.SetAttr(0, 9, 0x4B);
  // Column 0 lands in the bit of column 255, its colour in cell column 31.
  const int o = (9 & 7) + (9 >> 3) * 256 + 31 * 8;
  EXPECT_EQ(mem[7 + o], 0x01);
  EXPECT_EQ(mem[kColors + o], 0x4B);
  EXPECT_EQ(s.GetPixel(0, 9), 1);
  s.MirrorX = false;
  EXPECT_EQ(s.GetPixel(255, 9), 1);
  s.SetPixel(255, 9, 0);
  EXPECT_EQ(mem[7 + o], 0);
}

TEST(KvSavePlatformMSX, Screen3Codes) {
  // Black at the top half, the gradient below.
  auto pic = GradientPicture(64, 48, 7);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 64; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u;
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    SCOPED_TRACE(int(mode));
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr3Engine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ASSERT_EQ(r.Size(0), 1543);
    const uint8_t* f = r.Bytes(0);
    EXPECT_EQ(std::vector<uint8_t>(f, f + 7), (std::vector<uint8_t>{0xFE, 0, 0, 0xFF, 0x05, 0, 0}));
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint8_t b = f[7 + (y & 7) + (x >> 1) * 8 + (y >> 3) * 256];
        const int code = (x & 1) ? (b & 15) : (b >> 4);
        ASSERT_NE(code, 0);
        if (mode == pmBlackWhite) {
          ASSERT_TRUE(code == 1 || code == 15);
        }
        if (mode == pmGray) {
          ASSERT_TRUE(code == 1 || code == 14 || code == 15);
        }
        if (y == 0 && x < 8) {
          ASSERT_EQ(code, 1);
        }
        ASSERT_EQ(code, r.Preview->GetPixel(x, y));  // the preview shows the codes over the 16 colours
      }
  }
}

TEST(KvSavePlatformMSX, Screen4BlackAndWhite) {
  auto pic = GradientPicture(256, 192, 8);
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr4Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Size(0), 16391);
  const uint8_t* f = r.Bytes(0);
  EXPECT_EQ(std::vector<uint8_t>(f, f + 7), (std::vector<uint8_t>{0xFE, 0, 0, 0xFF, 0x3F, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(f + kPalette, f + kPalette + 6), (std::vector<uint8_t>{0, 0, 0x77, 7, 0, 0}));
  for (int i = 0; i < 6144; ++i) ASSERT_EQ(f[kColors + i], 0x10);
  for (int i = 14343; i < 16391; ++i) ASSERT_EQ(f[i], 0);
  for (int y = 0; y < 192; y += 7)
    for (int x = 0; x < 256; ++x) {
      const int bit = (f[7 + (y & 7) + (y >> 3) * 256 + (x >> 3) * 8] >> (7 - (x & 7))) & 1;
      ASSERT_EQ(bit, r.Preview->GetPixel(x, y));
    }
  EXPECT_EQ(r.Options->GetPalette()->GetCount(), 2);

  // A full fixed palette: the entries nearest black and white.
  TKvPalette256 fixed;
  BuildMSXPalette(fixed);
  auto q = ConvertPicture(DestEngineClass<TKvMSXScr4Engine>(), *pic, [&](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.SetFixedPalette(&fixed);
  });
  const uint8_t* g = q.Bytes(0);
  for (int i = 0; i < 6144; ++i) ASSERT_EQ(g[kColors + i], 0xF0);  // light 15, dark 0
  EXPECT_EQ(g[kPalette + 30], 0x77);
  EXPECT_EQ(q.Preview->Palette->GetCount(), 16);
}

TEST(KvSavePlatformMSX, Screen4ColourWritesItsPalette) {
  auto pic = GradientPicture(256, 192, 9);
  for (uint8_t type : {ptMSX9938, ptMSX9958}) {
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr4Engine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteType(type); });
    const uint8_t* f = r.Bytes(0);
    TKvPalette256& pal = *r.Options->GetPalette();
    ASSERT_GT(pal.GetCount(), 2);
    ASSERT_LE(pal.GetCount(), 16);
    for (int i = 0; i < pal.GetCount(); ++i) {
      const TKvLinRGBColor c = pal.GetLinRGB(i);
      EXPECT_EQ(f[kPalette + 2 * i], (LinToStd3(c.R) << 4) | LinToStd3(c.B));
      EXPECT_EQ(f[kPalette + 2 * i + 1], LinToStd3(c.G));
    }
    for (int i = 0; i < 6144; ++i) {
      ASSERT_LT(f[kColors + i] & 15, pal.GetCount());
      ASSERT_LT(f[kColors + i] >> 4, pal.GetCount());
    }
  }
}

TEST(KvSavePlatformMSX, UnhandledPaletteModes) {
  auto pic = GradientPicture(256, 192, 1);
  for (const TKvDestEngineClass* c : MSXDestEngineClasses()) {
    // The YJK screens have no palette modes: their palette type chooses.
    if (c->GetModeName().starts_with("10 ") || c->GetModeName().starts_with("12 ")) continue;
    try {
      ConvertPicture(*c, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGrayGreen); });
      ADD_FAILURE() << c->GetModeName();
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

TEST(KvSavePlatformMSX, Panels) {
  auto o = TKvMSXScr4Engine().CreateOptions();
  auto ui = TKvMSXScr4Engine().CreateUI(o.get());
  auto* p = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
  ASSERT_NE(p, nullptr);
  using K = TKvPanelSectionKind;
  std::vector<K> kinds;
  for (const TKvPanelSection& s : p->GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                                   K::DestPalette, K::FixedPalette, K::Dithering}));
  EXPECT_EQ(p->GetSections()[2].Items, (std::vector<int>{ptMSX9938, ptMSX9958}));
  EXPECT_EQ(p->GetSections()[3].Set, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Bits);
  // The block limits follow the mode list: off for "Black/white" only.
  for (const TKvDestEngineClass* c : {&DestEngineClass<TKvMSXScr2Engine>(), &DestEngineClass<TKvMSXScr4Engine>()}) {
    auto options = c->Create()->CreateOptions();
    auto panel = c->Create()->CreateUI(options.get());
    auto& ex = dynamic_cast<TKvDestEngineUIEx&>(*panel);
    TKvPanelControlState state(ex);
    for (int item : {0, 1, 2}) {
      state.SetItemIndex(pcModeCombo, item);
      EXPECT_EQ(state.GetEnabled(pcLimitInsideCheckBox), item != 0) << item;
      EXPECT_EQ(state.GetEnabled(pcLimitBoundaryCheckBox), item != 0) << item;
    }
  }
  TKvPalette256 scratch;
  int columns = 0;
  EXPECT_EQ(p->GetEditedPalette(scratch, columns), o->GetHardwarePalette());
  EXPECT_EQ(columns, 32);
}

}  // namespace
