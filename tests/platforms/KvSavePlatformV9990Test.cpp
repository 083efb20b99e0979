#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/KvPanelSections.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformMSX.h"
#include "KvTestHarness.h"

namespace {

std::vector<uint8_t> Block(const std::vector<uint8_t>& ASource) {
  std::vector<uint8_t> out(ASource.size() * 2 + 16);
  const int n = CompressG9bBlock(ASource.data(), static_cast<int>(ASource.size()), out.data(),
                                 static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

// Deterministic noise: few repeats, so the files stay raw.
std::unique_ptr<TBitmap32> Noise(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 7;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      *b->GetPixelPtr(x, y) = 0xFF000000u | (s >> 8);
    }
  return b;
}

TEST(KvPlatformMSXG9b, Header) {
  uint8_t h[G9bHeaderSize];
  EXPECT_EQ(InitG9bHeader(h, 4, 0, 256, 212), 27136);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 3), "G9B");
  EXPECT_EQ(h[3] | h[4] << 8, 11);
  EXPECT_EQ(h[7], 16);
  EXPECT_EQ(G9bPaletteOffset(h), 16);
  EXPECT_EQ(G9bDataOffset(h), 64);
  EXPECT_EQ(GetG9bDataSize(h), 27136);
  std::vector<uint8_t> file(65, 0);
  std::memcpy(file.data(), h, G9bHeaderSize);
  EXPECT_TRUE(CheckG9bHeader(TKvBytes(file.data(), 65)));
  EXPECT_FALSE(CheckG9bHeader(TKvBytes(file.data(), 64)));  // no data byte
  struct Case {
    int Depth, Type, Width, Height, Size, Entries;
  } good[] = {{2, 0, 8, 3, 6, 4},       {4, 0, 6, 2, 6, 16},    {8, 0, 5, 2, 10, 64},  {8, 64, 5, 2, 10, 0},
              {8, 128, 4, 1, 4, 0},     {8, 192, 4, 1, 4, 0},   {16, 0, 3, 3, 18, 0}};
  for (const Case& c : good) {
    EXPECT_EQ(InitG9bHeader(h, uint8_t(c.Depth), uint8_t(c.Type), c.Width, c.Height), c.Size) << c.Depth;
    EXPECT_EQ(h[7], c.Entries);
  }
  // Width rules, unknown pairs and sizes past 24 bits.
  const Case bad[] = {{2, 0, 6, 1, 0, 0},  {4, 0, 5, 1, 0, 0},       {8, 32, 4, 1, 0, 0},
                      {3, 0, 4, 1, 0, 0},  {16, 64, 4, 1, 0, 0},     {16, 0, 4096, 2049, 0, 0}};
  for (const Case& c : bad)
    EXPECT_THROW(InitG9bHeader(h, uint8_t(c.Depth), uint8_t(c.Type), c.Width, c.Height), Exception) << c.Depth;
  EXPECT_THROW(SetG9bDataSize(h, 0x1000000), Exception);

  // The header check: palette bytes, sizes, modes.
  std::vector<uint8_t> f(16 + 12 + 4, 0);
  InitG9bHeader(f.data(), 2, 0, 4, 4);
  EXPECT_TRUE(CheckG9bHeader(TKvBytes(f)));
  auto with = [&](size_t AOffset, uint8_t AValue) {
    std::vector<uint8_t> g = f;
    g[AOffset] = AValue;
    return CheckG9bHeader(TKvBytes(g));
  };
  EXPECT_FALSE(with(16 + 5, 32));  // a palette byte of 32
  EXPECT_TRUE(with(16 + 5, 31));
  EXPECT_FALSE(with(7, 5));        // more entries than BP2 has
  EXPECT_TRUE(with(7, 2));
  EXPECT_FALSE(with(3, 10));       // header size
  std::vector<uint8_t> wide = f;
  wide[8] = 0x41;  // width 8001
  wide[9] = 0x1F;
  EXPECT_FALSE(CheckG9bHeader(TKvBytes(wide)));
  wide[8] = 0x40;
  EXPECT_TRUE(CheckG9bHeader(TKvBytes(wide)));
  EXPECT_FALSE(with(8, 0));        // width 0
  std::vector<uint8_t> d8 = f;
  d8[5] = 8;
  d8[6] = 32;
  d8[7] = 0;
  EXPECT_FALSE(CheckG9bHeader(TKvBytes(d8)));
  d8[6] = 64;
  EXPECT_TRUE(CheckG9bHeader(TKvBytes(d8)));
  EXPECT_FALSE(CheckG9bHeader(TKvBytes(f.data(), 28)));  // the data offset at the end
  EXPECT_FALSE(CheckG9bHeader(TKvBytes(f.data(), 4)));
}

TEST(KvPlatformMSXG9b, BlockCode) {
  // Literal 41, then a match: flag 1, the length code, the offset byte, and
  // 33 one-bits closing the block (and its last bit byte).
  struct Case {
    const char* Name;
    std::vector<uint8_t> Source, Code;
  } cases[] = {
      // bits 0 | 1 0 (length 2) | 1 1 1 1 1 ...
      {"length 2", {0x41, 0x41, 0x41}, {0x5F, 0x41, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      // bits 0 | 1 1 0 0 (length 3)
      {"length 3", {0x41, 0x41, 0x41, 0x41}, {0x67, 0x41, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      // bits 0 | 1 1 0 1 0 0 (length 5: V = 4 is 1 0 1 0 0), then exactly 32 ones
      {"length 5", {0x41, 0x41, 0x41, 0x41, 0x41, 0x41}, {0x69, 0x41, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"empty", {}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) EXPECT_EQ(Block(c.Source), c.Code) << c.Name;
}

TEST(KvPlatformMSXG9b, DataBlocks) {
  // BP4 256 x 212 of one colour: blocks of 16000 and 11136 bytes, each one
  // literal and one long match.
  const std::vector<uint8_t> flat(27136, 0x77);
  std::vector<uint8_t> out(2 * flat.size());
  const int n = CompressG9bData(flat.data(), 27136, out.data(), static_cast<int>(out.size()));
  EXPECT_EQ(out[0], 2);
  const int first = out[1] | out[2] << 8;
  EXPECT_LT(first, 16);
  const int second = out[3 + first] | out[4 + first] << 8;
  EXPECT_EQ(n, 1 + 2 + first + 2 + second);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 3, out.begin() + 3 + first), Block(std::vector<uint8_t>(16000, 0x77)));
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 5 + first, out.begin() + 5 + first + second),
            Block(std::vector<uint8_t>(11136, 0x77)));
  // Too little room, and 256 blocks, raise.
  EXPECT_THROW(CompressG9bData(flat.data(), 27136, out.data(), 8), Exception);
  std::vector<uint8_t> big(256 * 16000, 0);
  EXPECT_THROW(CompressG9bData(big.data(), static_cast<int>(big.size()), out.data(), static_cast<int>(out.size())),
               Exception);
}

// ---------------------------------------------------------------------------
// Converters

const TKvDestEngineClass* ModeClass(int AIndex) { return V9990DestEngineClasses()[static_cast<size_t>(AIndex)]; }

TEST(KvSavePlatformV9990, ModeList) {
  const std::vector<std::string> names = {"BP2 256x212x2",  "BP4 256x212x4",  "BP6 256x212x6",  "BD8 256x212x8",
                                          "BYJK 256x212x8", "BYUV 256x212x8", "BD16 256x212x16"};
  ASSERT_EQ(V9990DestEngineClasses().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(V9990DestEngineClasses()[i]->GetPlatformName(), "MSX V9990 VDP");
    EXPECT_EQ(V9990DestEngineClasses()[i]->GetModeName(), names[i]);
    auto o = V9990DestEngineClasses()[i]->Create()->CreateOptions();
    EXPECT_EQ(o->GetWidth(), 256);
    EXPECT_EQ(o->GetHeight(), 212);
    EXPECT_EQ(o->PixelAspect, pa1p138_1);
  }
  // Width rules: BP2, BYJK and BYUV to multiples of 4, BP4 to even widths.
  const int rules[7][2] = {{13, 16}, {13, 14}, {13, 13}, {13, 13}, {13, 16}, {12, 12}, {13, 13}};
  for (int i = 0; i < 7; ++i) {
    auto o = ModeClass(i)->Create()->CreateOptions();
    o->SetWidth(rules[i][0]);
    EXPECT_EQ(o->GetWidth(), rules[i][1]) << i;
  }
  // The platform follows "MSX" with the seven modes in this order.
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("MSX V9990 VDP");
  ASSERT_GT(p, list.IndexOf("MSX"));
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(list.GetSubTypes(p).GetObject(i), ModeClass(i));
}

TEST(KvSavePlatformV9990, Panels) {
  using K = TKvPanelSectionKind;
  const std::vector<K> palette = {K::Dimension, K::Position, K::PaletteSeparator, K::PaletteMode,
                                  K::DestPalette, K::FixedPalette, K::Dithering};
  const std::vector<K> modes = {K::Dimension, K::Position, K::PaletteSeparator, K::PaletteMode, K::Dithering};
  const std::vector<K> none = {K::Dimension, K::Position, K::Dithering};
  const std::vector<K>* expected[7] = {&palette, &palette, &palette, &modes, &none, &none, &modes};
  const uint32_t sets[7] = {3075, 2051, 2051, 2051, 0, 0, 2050};
  for (int i = 0; i < 7; ++i) {
    auto o = ModeClass(i)->Create()->CreateOptions();
    auto ui = ModeClass(i)->Create()->CreateUI(o.get());
    auto& p = dynamic_cast<TKvBaseBPEngineUI&>(*ui);
    std::vector<K> kinds;
    for (const TKvPanelSection& s : p.GetSections()) {
      kinds.push_back(s.Kind);
      if (s.Kind == K::PaletteMode) {
        EXPECT_EQ(s.Set, sets[i]);
      }
      if (s.Kind == K::Dimension || s.Kind == K::Dithering) {
        EXPECT_EQ(s.Flag, s.Kind == K::Dimension);
      }
    }
    EXPECT_EQ(kinds, *expected[i]) << i;
    // The size check: a BD16 picture of 2048 x 2048 needs 525 blocks, BP2
    // cannot store a width of 6.
    TKvPanelControlState state(p);
    for (auto [w, h, good] : {std::tuple{256, 212, true}, std::tuple{2048, 2048, i < 2},
                                   std::tuple{6, 8, i != 0}}) {
      state.SetValue(pcWidthEdit, w);
      state.SetValue(pcHeightEdit, h);
      p.CheckOptions(state);
      EXPECT_EQ(state.Find(pcWidthEdit)->NormalBackground, good) << i << " " << w;
      EXPECT_EQ(state.Find(pcHeightEdit)->NormalBackground, good) << i << " " << w;
      if (!good) {
        EXPECT_EQ(state.Find(pcHeightEdit)->Background, 0xF7A0A5u);
      }
    }
  }
}

TEST(KvSavePlatformV9990, FlatAndNoisyFiles) {
  auto flat = SolidPicture(64, 24, 0xFFFFFF);
  auto noise = Noise(64, 32);
  for (int i = 0; i < 7; ++i) {
    auto r = ConvertPicture(*ModeClass(i), *flat);
    ASSERT_TRUE(r.Streams) << i;
    ASSERT_EQ(r.Streams->GetCount(), 1);
    EXPECT_EQ(r.Streams->GetExtension(0), "g9b");
    const uint8_t* d = r.Bytes(0);
    EXPECT_TRUE(CheckG9bHeader(TKvBytes(d, r.Size(0)))) << i;
    EXPECT_EQ(d[12], 1) << i;
    EXPECT_EQ(r.Size(0), G9bDataOffset(d) + GetG9bDataSize(d));
    EXPECT_LT(GetG9bDataSize(d), 40) << i;

    auto n = ConvertPicture(*ModeClass(i), *noise, [](TKvDestEngineOptions& o) { o.SetDitherMethod(0); });
    const uint8_t* e = n.Bytes(0);
    const int raw = InitG9bHeader(std::vector<uint8_t>(16).data(), e[5], e[6], 64, 32);
    EXPECT_EQ(e[12], 0) << i;
    EXPECT_EQ(GetG9bDataSize(e), raw) << i;
    EXPECT_EQ(n.Size(0), G9bDataOffset(e) + raw);
  }
}

TEST(KvSavePlatformV9990, DirectColours) {
  // BD16: green in bits 10-14, red in 5-9, blue in 0-4.
  auto pic = std::make_unique<TBitmap32>(8, 2);
  const uint32_t colors[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u | colors[x / 2];
  auto o = DestEngineClass<TKvBD16Engine>().Create()->CreateOptions();
  TKvBD16Image image(*pic);
  TKvBP16Screen screen(8, 2);
  auto levels = TKvPaletteRGB::CreateType(ptRGB555, false);
  auto preview = image.ConvertBD16(nullptr, *o, screen, *levels);
  static const int kWords[4] = {0x03E0, 0x7C00, 0x001F, 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(screen.Data[y * 16 + 2 * x] | screen.Data[y * 16 + 2 * x + 1] << 8, kWords[x / 2]) << x;
      EXPECT_EQ(preview->GetPixel(x, y) & 0xFFFFFF, static_cast<int>(colors[x / 2])) << x;
    }
  TKvBP16GrayScreen gray(1, 1);
  gray.SetPixel(0, 0, 5);
  EXPECT_EQ(gray.Data[0] | gray.Data[1] << 8, 5 | 5 << 5 | 5 << 10);
}

TEST(KvSavePlatformV9990, Failures) {
  auto pic = GradientPicture(16, 8);
  // A palette mode the mode does not offer.
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvBP4Engine>(), *pic,
                              [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColorBright); }),
               EOSError);
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvBD16Engine>(), *pic,
                              [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); }),
               EOSError);
  // A fixed colour off the 15-bit levels fails the conversion instead of
  // leaving an empty file behind.
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvBP4Engine>(), *pic,
                              [](TKvDestEngineOptions& o) {
                                TKvPalette256 fixed;
                                fixed.AddRGB(1, 2, 3);
                                o.SetFixedPalette(&fixed);
                                o.SetPaletteMode(pmBlackWhite);
                              }),
               Exception);
  // A width the mode cannot pack: no file.
  auto odd = GradientPicture(6, 8);
  auto r = ConvertPicture(DestEngineClass<TKvBP2Engine>(), *odd);
  EXPECT_NE(r.Preview, nullptr);
  EXPECT_TRUE(r.Streams == nullptr || r.Streams->GetCount() == 0);
}

}  // namespace
