#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvPlatformZxEvolution.h"
#include "platforms/KvSavePlatformZxEvolution.h"
#include "KvTestHarness.h"

namespace {

uint16_t Word(const uint8_t* AData, int AOffset) {
  return static_cast<uint16_t>(AData[AOffset] | (AData[AOffset + 1] << 8));
}

std::vector<uint8_t> Header(uint8_t AVersion, int AWidth, int AHeight, int ABits) {
  std::vector<uint8_t> h(SxgHeaderSize, 0xEE);
  InitSxgHeader(h.data(), AVersion, AWidth, AHeight, ABits);
  return h;
}

TEST(KvPlatformZxEvolution, HeaderAndRowLengths) {
  auto h = Header(3, 300, 7, 4);
  EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.begin() + 8), (std::vector<uint8_t>{0x7F, 'S', 'X', 'G', 3, 0, 0, 1}));
  EXPECT_EQ(Word(h.data(), 8), 300);
  EXPECT_EQ(Word(h.data(), 10), 7);
  EXPECT_EQ(std::count(h.begin() + 12, h.end(), 0), 4);
  EXPECT_EQ(Header(3, 1, 1, 8)[7], 2);
  EXPECT_EQ(Header(3, 1, 1, 2)[7], 0);
  struct {
    uint8_t Version;
    int Width, Bits;
    uint32_t Line;
  } cases[] = {
      {3, 5, 4, 4},     {2, 5, 4, 3},     {3, 256, 4, 128}, {3, 257, 4, 130}, {2, 257, 4, 129},
      {3, 360, 8, 360}, {3, 361, 8, 362}, {2, 361, 8, 361}, {3, 512, 8, 512}, {3, 65535, 8, 65536},
  };
  for (auto& c : cases) EXPECT_EQ(SxgBytesPerLine(Header(c.Version, c.Width, 1, c.Bits).data()), c.Line) << c.Width;
  // Offsets: the palette at 14 + P, the pixels at 16 + D, (D - P + 2) / 2
  // entries, capped by the format.
  h[12] = 2;
  h[14] = 32;
  EXPECT_EQ(SxgPixelOffset(h.data()), 48u);
  EXPECT_EQ(SxgPaletteCount(h.data()), 16u);
  h[14] = 200;
  EXPECT_EQ(SxgPaletteCount(h.data()), 16u);
  h[7] = 2;
  EXPECT_EQ(SxgPaletteCount(h.data()), 100u);
}

TEST(KvPlatformZxEvolution, ReadersLevels) {
  struct {
    TKvPaletteType Type;
    int Level;
    uint8_t Byte;
  } cases[] = {{ptEvoEGA, 0, 0},      {ptEvoEGA, 4, 60},     {ptEvoEGA, 8, 85},    {ptEvoEGA, 24, 255},
               {ptEvoEGA, 25, 255},   {ptPentevo, 8, 93},    {ptPentevo, 16, 162}, {ptPentevo, 31, 255},
               {ptVideoDAC, 25, 206}, {ptVideoDAC, 31, 255}, {ptRGB888, 13, 13}};
  for (auto& c : cases) EXPECT_EQ(SxgLevelByte(c.Type, c.Level), c.Byte) << int(c.Type) << " " << c.Level;
  // The reader's tables are the bytes of the converter's levels.
  for (TKvPaletteType t : {ptEvoEGAPWM3, ptPentEvoPWM3}) {
    auto p = TKvPaletteRGB::CreatePWM(t, false);
    ASSERT_EQ(p->Red.LevelCount, 25);
    for (int i = 0; i < 25; ++i)
      EXPECT_EQ(p->Red.LevelBytes[i], SxgLevelByte(t == ptEvoEGAPWM3 ? ptEvoEGA : ptPentevo, i)) << i;
  }
}

TEST(KvSavePlatformZxEvolution, SixteenColourFile) {
  auto pic = GradientPicture(256, 192, 12);
  auto r = ConvertPicture(DestEngineClass<TKvZxEvolution256x192x4Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetBorderColor(0xFFFFFF); });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "sxg");
  const uint8_t* d = r.Bytes(0);
  EXPECT_EQ(std::vector<uint8_t>(d, d + 8), (std::vector<uint8_t>{0x7F, 'S', 'X', 'G', 3, d[5], 0, 1}));
  EXPECT_EQ(Word(d, 8), 256);
  EXPECT_EQ(Word(d, 10), 192);
  EXPECT_EQ(Word(d, 12), 2);
  const TKvPalette256& pal = *r.Options->GetPalette();
  ASSERT_EQ(pal.Count, 16);
  EXPECT_EQ(Word(d, 14), 32);
  ASSERT_EQ(r.Size(0), 24624);
  // The background is the colour nearest the border, the lightest here.
  EXPECT_EQ(d[5], pal.FindNearest(LinRGBWhite));
  EXPECT_GT(d[5], 0);
  // Every channel of an EGA colour is a base level of the 25.
  for (int i = 0; i < 16; ++i) {
    const uint16_t w = Word(d, 16 + 2 * i);
    for (int c : {w >> 10, (w >> 5) & 31, w & 31}) EXPECT_TRUE(c == 0 || c == 8 || c == 16 || c == 24) << i;
    EXPECT_EQ(w & 0x8000, 0);
  }
  for (int y = 0; y < 192; y += 5)
    for (int x = 0; x < 256; ++x) {
      const uint8_t b = d[48 + y * 128 + x / 2];
      ASSERT_EQ((x & 1) ? (b & 15) : (b >> 4), r.Preview->GetPixel(x, y)) << x << " " << y;
    }
}

TEST(KvSavePlatformZxEvolution, OddWidthRowsEndOnAWord) {
  auto pic = GradientPicture(257, 24, 13);
  auto r = ConvertPicture(DestEngineClass<TKvZxEvolution256x192x4Engine>(), *pic);
  const uint8_t* d = r.Bytes(0);
  const int n = Word(d, 14) / 2;
  ASSERT_LE(n, 16);
  ASSERT_EQ(r.Size(0), 16 + 2 * n + 130 * 24);
  for (int y = 0; y < 24; ++y) {
    const uint8_t* row = d + 16 + 2 * n + 130 * y;
    EXPECT_EQ(row[129], 0) << y;
    EXPECT_EQ(row[128] & 15, 0) << y;
    EXPECT_EQ(row[128] >> 4, r.Preview->GetPixel(256, y)) << y;
  }
}

TEST(KvSavePlatformZxEvolution, PaletteKindsAndLevels) {
  auto pic = GradientPicture(64, 48, 14);
  struct {
    TKvPaletteType Type;
    TKvPaletteMode Mode;
    int MaxLevel;  // the highest level the file may hold
    bool Gray;
  } cases[] = {{ptEvoEGA, pmColor, 24, false},         {ptEvoEGAPWM2, pmCustom, 24, false},
               {ptPentevoPWM1, pmColor, 24, false},    {ptVideoDAC, pmColor, 31, false},
               {ptEvoEGA, pmGray, 24, true},           {ptVideoDAC, pmGray, 31, true},
               {ptPentEvoPWM3, pmBlackWhite, 24, true}};
  for (const TKvDestEngineClass* c : ZxEvolutionDestEngineClasses()) {
    for (auto& k : cases) {
      auto r = ConvertPicture(*c, *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(k.Type);
        o.SetPaletteMode(k.Mode);
      });
      SCOPED_TRACE(c->GetModeName() + " " + std::to_string(k.Type) + " " + std::to_string(k.Mode));
      const uint8_t* d = r.Bytes(0);
      const int n = Word(d, 14) / 2;
      const int bits = c->GetModeName().back() == '4' ? 4 : 8;
      EXPECT_EQ(d[7], bits == 4 ? 1 : 2);
      ASSERT_GE(n, 2);
      ASSERT_LE(n, 1 << bits);
      EXPECT_EQ(n, r.Options->GetPalette()->Count);
      int top = 0;
      for (int i = 0; i < n; ++i) {
        const uint16_t w = Word(d, 16 + 2 * i);
        const int rr = w >> 10, gg = (w >> 5) & 31, bb = w & 31;
        top = std::max({top, rr, gg, bb});
        EXPECT_TRUE(!k.Gray || (rr == gg && gg == bb)) << i;
        // Fewer PWM bits leave out every other (or every third) level.
        const int step = k.Type == ptEvoEGAPWM2 ? 2 : k.Type == ptPentevoPWM1 ? 4 : 1;
        EXPECT_EQ(rr % step + gg % step + bb % step, 0) << i;
      }
      EXPECT_LE(top, k.MaxLevel);
      EXPECT_TRUE(k.Type != ptVideoDAC || k.Gray || top > 24) << top;
      // "Custom" is offered only for the four-level kinds: the conversion's
      // copy of the options turns it into "Сolor".
      EXPECT_EQ(r.Options->PaletteMode, k.Mode == pmCustom ? pmColor : k.Mode);
    }
  }
}

TEST(KvSavePlatformZxEvolution, ModesOptionsAndPanels) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int evo = l.IndexOf("ZX Evolution");
  ASSERT_GT(evo, l.IndexOf("Timex"));
  ASSERT_LT(evo, l.IndexOf("ZX Spectrum"));
  std::vector<std::string> modes;
  for (int i = 0; i < l.GetSubTypes(evo).GetCount(); ++i) modes.push_back(l.GetSubTypes(evo).GetString(i));
  EXPECT_EQ(modes, (std::vector<std::string>{"256x192x4", "256x192x8", "320x200x4", "320x200x8", "320x240x4",
                                             "320x240x8", "360x288x4", "360x288x8"}));
  const TKvSize sizes[] = {{256, 192}, {256, 192}, {320, 200}, {320, 200},
                           {320, 240}, {320, 240}, {360, 288}, {360, 288}};
  using K = TKvPanelSectionKind;
  for (int i = 0; i < 8; ++i) {
    auto e = l.GetSubTypes(evo).GetObject(i)->Create();
    auto o = e->CreateOptions();
    EXPECT_EQ(o->GetDefaultSize(), sizes[i]) << i;
    EXPECT_EQ(o->GetWidth(), sizes[i].Width);
    EXPECT_EQ(o->GetMaxSize(), (TKvSize{512, 512}));
    EXPECT_EQ(o->GetMinSize(), (TKvSize{8, 8}));
    o->SetWidth(100);
    EXPECT_EQ(o->GetWidth(), 100);
    EXPECT_EQ(o->PaletteType, ptEvoEGA);
    EXPECT_EQ(o->PaletteMode, pmColor);
    EXPECT_EQ(o->GetPalette()->Count, 64);
    auto ui = e->CreateUI(o.get());
    auto& panel = dynamic_cast<TKvZxEvolutionEngineUI&>(*ui);
    std::vector<K> kinds;
    for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
    EXPECT_EQ(kinds, (std::vector<K>{K::Dimension, K::Position, K::PaletteSeparator, K::CustomPaletteComboBox,
                                     K::PaletteMode, K::DestPalette, K::FixedPalette, K::Dithering}));
    EXPECT_EQ(panel.GetSections()[1].Set, PixelAspects(pa1_1p2, pa1_1).Bits);
    EXPECT_EQ(panel.GetSections()[3].Items.size(), 9u);
    EXPECT_EQ(panel.GetSections()[4].Set, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Bits);
    EXPECT_EQ(panel.GetSections()[5].Rows, i % 2 ? 16 : 4);
    EXPECT_EQ(panel.GetPaletteRows(), i % 2 ? 16 : 4);
    EXPECT_TRUE(panel.CanEditPalette());
    TKvPalette256 scratch;
    int columns = 0;
    EXPECT_EQ(panel.GetEditedPalette(scratch, columns)->GetCount(), 64);
    EXPECT_EQ(columns, 8);
    o->SetPaletteType(ptVideoDAC);
    o->Changed();
    EXPECT_FALSE(panel.CanEditPalette());
    EXPECT_EQ(o->GetPalette()->Count, 0);
    EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 32768);
  }
}

}  // namespace
