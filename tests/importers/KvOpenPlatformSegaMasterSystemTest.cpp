#include <gtest/gtest.h>

#include <cstring>

#include "importers/KvOpenPlatformSegaMasterSystem.h"
#include "platforms/KvPlatformSegaMasterSystem.h"
#include "KvTestHarness.h"

namespace {

// The video chip's state, written into either container.
struct TVdp {
  uint8_t Regs[16] = {0x04, 0, 0x0E, 0, 0, 0x7E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  uint8_t Cram[64] = {};
  std::vector<uint8_t> Vram = std::vector<uint8_t>(16384, 0);

  TVdp() {
    for (int i = 0; i < 32; ++i) Cram[i] = static_cast<uint8_t>(i + 0x40);  // top bits ignored
    Vram[0x3F00] = 0xD0;  // no sprites
  }
  // Name-table entry of row r, column c.
  void Name(int r, int c, uint16_t e) {
    Vram[0x3800 + r * 64 + c * 2] = e & 0xFF;
    Vram[0x3800 + r * 64 + c * 2 + 1] = e >> 8;
  }
  // Line k of tile t: every pixel colour ACol (planes from its bits).
  void SolidLine(int t, int k, int ACol, uint8_t AMask = 0xFF) {
    for (int pl = 0; pl < 4; ++pl) Vram[t * 32 + k * 4 + pl] = ((ACol >> pl) & 1) ? AMask : 0;
  }
  void Sprite(int s, uint8_t y, uint8_t x, uint8_t tile) {
    Vram[0x3F00 + s] = y;
    Vram[0x3F00 + s + 1] = 0xD0;
    Vram[0x3F80 + 2 * s] = x;
    Vram[0x3F81 + 2 * s] = tile;
  }
  std::vector<uint8_t> Msbmp(uint8_t AText = 9, uint16_t AData = 12) const {
    std::vector<uint8_t> d(AData + size_t(16 + 64 + 16384), ' ');
    std::memcpy(d.data(), "MSBMP", 5);
    d[5] = 0;
    d[6] = AText;
    d[7] = uint8_t(AData);
    d[8] = uint8_t(AData >> 8);
    std::memcpy(&d[AData], Regs, 16);
    std::memcpy(&d[AData + 16u], Cram, 64);
    std::memcpy(&d[AData + 80u], Vram.data(), 16384);
    return d;
  }
  std::vector<uint8_t> Meka(int AVersion, size_t* ARegsAt = nullptr, size_t* AVramAt = nullptr) const {
    const size_t block = AVersion >= 12 ? 11 : 7;
    const size_t vram = block + (AVersion >= 13 ? 98 : 96) + 8192;
    std::vector<uint8_t> d(vram + 16384 + 33, 0xEE);
    std::memcpy(d.data(), "MEKA\x1A", 5);
    d[5] = uint8_t(AVersion);
    d[6] = 0;
    std::memcpy(&d[block + 52], Regs, 16);
    std::memcpy(&d[vram], Vram.data(), 16384);
    std::memcpy(&d[vram + 16384], Cram, 33);
    if (ARegsAt) *ARegsAt = block + 52;
    if (AVramAt) *AVramAt = vram;
    return d;
  }
};

std::unique_ptr<TKvBitmap> Render(const TVdp& v) {
  TKvProbe p("a.sbm", v.Msbmp());
  TKvSourceEngine* e = p.Find("TKvSegaMasterSystemEngine");
  if (!e) return nullptr;
  return e->Decode();
}

TEST(KvPlatformSegaMasterSystem, PaletteAndHeader) {
  TKvPalette256 p;
  BuildSmsPalette(p);
  ASSERT_EQ(p.GetCount(), 64);
  EXPECT_EQ(p.GetStdRGB(0x03), StdRGBColor(255, 0, 0));
  EXPECT_EQ(p.GetStdRGB(0x09), StdRGBColor(85, 170, 0));
  EXPECT_EQ(p.GetStdRGB(0x30), StdRGBColor(0, 0, 255));
  EXPECT_DOUBLE_EQ(p.GetLinRGB(0x3F).G, 1.0);

  TVdp v;
  auto d = v.Msbmp();
  EXPECT_TRUE(CheckMsbmpHeader(TKvBytes(d)));
  EXPECT_FALSE(CheckMsbmpHeader(TKvBytes(d.data(), static_cast<int64_t>(d.size()) - 1)));
  for (auto [t, dd] : {std::pair<int, int>{8, 12}, {9, 9}, {12, 12}, {9, 10}}) {
    auto e = v.Msbmp(static_cast<uint8_t>(t), static_cast<uint16_t>(dd));
    EXPECT_EQ(CheckMsbmpHeader(TKvBytes(e)), t == 9 && dd == 10) << t << " " << dd;
  }
  EXPECT_FALSE(CheckMsbmpHeader(TKvBytes()));
}

TEST(KvOpenPlatformSegaMasterSystem, MatchBothContainers) {
  TVdp v;
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    TKvMatchFlags Msbmp, Meka;
  } cases[] = {
      {"a.sbm", v.Msbmp(), 11, 0},
      {"a.bin", v.Msbmp(), 9, 0},
      {"a.sbm", v.Meka(11), 0, 1},
      {"a.s00", v.Meka(5), 0, 1},
      {"a.s00", v.Meka(14), 0, 1},
      {"a.s00", v.Meka(4), 0, 0},
      {"a.s00", v.Meka(15), 0, 0},
      {"a.sbm", {}, 0, 0},
  };
  for (const Case& c : cases) {
    TKvProbe p(c.Name, c.Data);
    EXPECT_EQ(p.Flags("TKvSegaMasterSystemEngine"), c.Msbmp) << c.Name << " " << c.Data.size();
    EXPECT_EQ(p.Flags("TKvMekaSnapshotEngine"), c.Meka) << c.Name << " " << c.Data.size();
  }
  TKvProbe p("a.sbm", v.Msbmp());
  const TKvSourceEngine* e = p.Find("TKvSegaMasterSystemEngine");
  EXPECT_EQ(e->Description, "Sega Master System 256x192x5 image");
  EXPECT_EQ(e->PixelAspect, 12);

  TVdp noMode4 = v;
  noMode4.Regs[0] = 0;
  for (const auto& d : {noMode4.Msbmp(), noMode4.Meka(12)}) {
    TKvProbe q("a.sbm", d);
    EXPECT_EQ(q.Flags("TKvSegaMasterSystemEngine") | q.Flags("TKvMekaSnapshotEngine"), 0);
  }
  auto badZero = v.Meka(12);
  badZero[6] = 1;
  EXPECT_EQ(TKvProbe("a.s00", badZero).Flags("TKvMekaSnapshotEngine"), 0);
}

TEST(KvOpenPlatformSegaMasterSystem, SavestateBlocksByVersion) {
  TVdp v;
  size_t regs = 0, vram = 0, vram12 = 0;
  for (int version : {11, 12, 13}) {
    const auto d = v.Meka(version, &regs, &vram);
    TKvBytes r, vr, cr;
    ASSERT_TRUE(FindMekaBlocks(TKvBytes(d), r, vr, cr)) << version;
    EXPECT_EQ(r.Data() - d.data(), static_cast<long>(regs));
    EXPECT_EQ(vr.Data() - d.data(), static_cast<long>(vram));
    EXPECT_EQ(cr.Data() - d.data(), static_cast<long>(vram + 16384));
    if (version == 11) {
      EXPECT_EQ(regs, 59u);
    } else if (version == 12) {
      EXPECT_EQ(regs, 63u);
      vram12 = vram;
    } else {
      EXPECT_EQ(vram, vram12 + 2);
    }
    // Cut inside any block: no candidate.
    for (size_t cut : {size_t(0), size_t(6), regs + 10, regs + 40, vram - 100, vram + 100, d.size() - 1}) {
      std::vector<uint8_t> c(d.begin(), d.begin() + static_cast<long>(cut));
      EXPECT_FALSE(FindMekaBlocks(TKvBytes(c), r, vr, cr)) << version << " " << cut;
      TKvProbe p("a.s00", c);
      EXPECT_EQ(p.Flags("TKvMekaSnapshotEngine"), 0);
    }
  }
  // The state decodes like the file.
  TVdp t;
  t.SolidLine(1, 0, 5);
  t.Name(0, 0, 1);
  TKvProbe p("a.s00", t.Meka(13));
  auto b = p.Find("TKvMekaSnapshotEngine")->Decode();
  EXPECT_EQ(b->GetPixel(3, 0), 5);
}

TEST(KvOpenPlatformSegaMasterSystem, BackgroundTilesScrollAndFlip) {
  TVdp v;
  v.Cram[5] = 0x03;
  v.SolidLine(1, 0, 5, 0x80);            // tile 1, line 0: leftmost pixel colour 5
  v.Name(0, 1, 1);                        // row 0 column 1
  v.Name(1, 0, 1 | 0x200 | 0x400 | 0x800);  // flipped both ways, sprite palette
  v.Name(2, 3, 1);
  auto b = Render(v);
  ASSERT_TRUE(b);
  ASSERT_EQ(b->Width, 256);
  EXPECT_EQ(b->GetPixel(8, 0), 5);
  EXPECT_EQ(b->GetPixel(9, 0), 0);
  EXPECT_EQ(b->GetPixel(7, 15), 21);   // line 0 drawn at 7, pixel 0 at 7
  EXPECT_EQ(b->GetPixel(24, 16), 5);
  EXPECT_EQ(b->Palette->GetCount(), 32);
  EXPECT_EQ(b->Palette->GetStdRGB(5), StdRGBColor(255, 0, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(85, 0, 0));  // 0x41 and 0x3F = 1
  EXPECT_EQ(b->GetPixelStdRGB(8, 0), StdRGBColor(255, 0, 0));

  // The left column hidden: background column 8 is screen column 0.
  TVdp h = v;
  h.Regs[0] |= 0x20;
  auto c = Render(h);
  ASSERT_EQ(c->Width, 248);
  EXPECT_EQ(c->GetPixel(0, 0), 5);

  // Vertical scroll 16: row 2 at the top; rows 0 and 1 fall below line 191.
  TVdp s = v;
  s.Regs[9] = 16;
  auto d = Render(s);
  EXPECT_EQ(d->GetPixel(24, 0), 5);
  EXPECT_EQ(d->GetPixel(8, 0), 0);
  for (int y = 0; y < 192; ++y) EXPECT_EQ(d->GetPixel(8, y), 0) << y;

  // Horizontal scroll 8 moves column 1 to column 0.
  TVdp x = v;
  x.Regs[8] = 8;
  EXPECT_EQ(Render(x)->GetPixel(0, 0), 5);
}

TEST(KvOpenPlatformSegaMasterSystem, SpritesEightPerLineAndPriority) {
  TVdp v;
  v.SolidLine(2, 0, 9);  // sprite tile 2, line 0: colour 9
  v.SolidLine(2, 1, 9);
  // Eight transparent sprites (tile 0) over x 40..47, then a visible ninth.
  for (int s = 0; s < 8; ++s) v.Sprite(s, 9, 40, 0);
  v.Sprite(8, 9, 40, 2);
  v.Sprite(9, 9, 60, 2);  // the ninth on the line elsewhere shows neither
  auto b = Render(v);
  EXPECT_EQ(b->GetPixel(40, 10), 0);
  EXPECT_EQ(b->GetPixel(60, 10), 0);
  // With one transparent sprite fewer the same sprite shows.
  TVdp w = v;
  w.Sprite(7, 9, 40, 2);
  w.Sprite(8, 0xD0, 0, 0);
  auto c = Render(w);
  EXPECT_EQ(c->GetPixel(40, 10), 9 + 16);
  EXPECT_EQ(c->GetPixel(47, 11), 9 + 16);
  EXPECT_EQ(c->GetPixel(48, 10), 0);
  EXPECT_EQ(c->GetPixel(40, 12), 0);

  // A priority tile covers the sprite with its colours and lets it show
  // through its colour-0 pixels.
  TVdp p = w;
  p.SolidLine(1, 2, 3, 0xF0);  // tile 1, line 2: left half colour 3
  p.Name(1, 5, 1 | 0x1000);    // row 1 (lines 8..15), column 5 (x 40..47)
  p.Sprite(7, 9, 40, 4);       // rows 10..17
  p.SolidLine(4, 0, 9);
  p.SolidLine(4, 1, 9);
  auto d = Render(p);
  EXPECT_EQ(d->GetPixel(40, 10), 3);
  EXPECT_EQ(d->GetPixel(44, 10), 9 + 16);
  EXPECT_EQ(d->GetPixel(40, 11), 9 + 16);

  // 8x16 sprites take the tile pair; register 0 bit 3 shifts sprites left.
  TVdp t;
  t.Regs[1] = 0x02;
  t.Regs[0] |= 0x08;
  t.SolidLine(3, 0, 7);  // odd tile of the pair (2, 3): line 8 of the sprite
  t.Sprite(0, 19, 108, 2);
  auto e = Render(t);
  EXPECT_EQ(e->GetPixel(100, 28), 7 + 16);
  EXPECT_EQ(e->GetPixel(108, 28), 0);
  EXPECT_EQ(e->GetPixel(100, 20), 0);
}

}  // namespace
