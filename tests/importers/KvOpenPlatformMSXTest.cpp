#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformMSX.h"
#include "importers/MSXTestFiles.h"
#include "platforms/KvPlatformMSX.h"
#include "rtl/KvSysUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;

using TFiles = TKvTestFiles;

// A dump of ASize bytes with a BSAVE header of load and start address 0.
Bytes Dump(int ASize, uint8_t AFill = 0) {
  Bytes b(static_cast<size_t>(ASize), AFill);
  InitBsaveHeader(b.data(), ASize - 7, 0);
  return b;
}

// Palette entries: entry i has the levels ((i + s) % 8, (i / 2 + s) % 8, 7 - (i + s) % 8).
Bytes Entries(int ACount, int ASeed = 0) {
  Bytes e;
  for (int i = 0; i < ACount; ++i) {
    const int r = (i + ASeed) % 8, g = (i / 2 + ASeed) % 8, b = 7 - (i + ASeed) % 8;
    e.push_back(static_cast<uint8_t>((r << 4) | b));
    e.push_back(static_cast<uint8_t>(g));
  }
  return e;
}

void Put(Bytes& AFile, int AOffset, const Bytes& AData) { std::copy(AData.begin(), AData.end(), AFile.begin() + AOffset); }

TKvStdRGBColor Level(int r, int g, int b, bool v9958 = false) {
  auto l = [v9958](int v) { return v9958 ? Std5ToByte[Level3To5[v]] : Std3ToByte[v]; };
  return StdRGBColor(l(r), l(g), l(b));
}

const uint8_t kRoutine[34] = {0x06, 0x10, 0x16, 0x00, 0x21, 0x22, 0xC0, 0x7E, 0xCB, 0x27, 0xCB, 0x27,
                              0xCB, 0x27, 0xCB, 0x27, 0x4F, 0x23, 0x5E, 0x23, 0x7E, 0x81, 0xDD, 0x21,
                              0x4D, 0x01, 0xCD, 0x5F, 0x01, 0x14, 0x23, 0x10, 0xE6, 0xC9};

// An RGB palette file: entry i is (i % 8, 7 - i % 8, i / 2).
Bytes RgbPaletteFile() {
  Bytes f(89, 0);
  f[0] = 0xFE;
  f[1] = 0x00;
  f[2] = 0xC0;
  f[3] = 0x51;
  f[4] = 0xC0;
  f[5] = 0x00;
  f[6] = 0xC0;
  std::memcpy(f.data() + 7, kRoutine, sizeof kRoutine);
  for (int i = 0; i < 16; ++i) {
    f[41 + 3 * i] = static_cast<uint8_t>(i % 8);
    f[42 + 3 * i] = static_cast<uint8_t>(7 - i % 8);
    f[43 + 3 * i] = static_cast<uint8_t>(i / 2);
  }
  return f;
}

TEST(KvOpenPlatformMSX, ProbeRanking) {
  struct Row {
    std::string Name;
    Bytes File;
    std::vector<std::pair<std::string, TKvMatchFlags>> Offered;  // best first
    std::vector<std::string> Absent;
  };
  auto sc5 = Dump(30375);
  Put(sc5, 7 + 0x7680, Entries(16));
  const Row rows[] = {
      {"x.sc2", Dump(14343), {{"TKvSC2Engine", 11}, {"TKvSC4Engine", 9}}, {"TKvSC3Engine"}},
      {"x.dat", Dump(14343), {{"TKvSC2Engine", 9}, {"TKvSC4Engine", 9}}, {"TKvSC3Engine"}},
      {"x.sc4", Dump(16391), {{"TKvSC4Engine", 11}, {"TKvSC2Engine", 9}, {"TKvSC3Engine", 9}}, {}},
      {"x.sc3", Dump(1543), {{"TKvSC3Engine", 11}}, {"TKvSC2Engine"}},
      {"x.dat", Dump(1543), {{"TKvSC3Engine", 9}}, {}},
      {"x.sc5", sc5, {{"TKvSC5Engine", 11}, {"TKvSC6Engine", 9}}, {"TKvSC7Engine"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name + " " + std::to_string(r.File.size()));
    TKvProbe probe(r.Name, r.File);
    int last = -1;
    for (const auto& [cls, flags] : r.Offered) {
      EXPECT_EQ(probe.Flags(cls), flags) << cls;
      const int pos = probe.Position(cls);
      EXPECT_GT(pos, last) << cls;
      last = pos;
    }
    EXPECT_EQ(probe.Position(r.Offered.front().first), 0);
    for (const std::string& cls : r.Absent) EXPECT_EQ(probe.Position(cls), -1) << cls;
  }
}

TEST(KvOpenPlatformMSX, BadInputsGiveNoCandidate) {
  auto execWord = Dump(14343);
  execWord[5] = 1;
  auto startWord = Dump(14343);
  startWord[1] = 0x10;
  auto noMarker = Dump(14343);
  noMarker[0] = 0;
  const struct {
    std::string Name;
    Bytes File;
  } cases[] = {
      {"x.dat", Dump(14342)},  {"x.dat", Dump(14344)},  {"x.dat", Dump(16390)}, {"x.dat", Dump(1542)},
      {"x.dat", Dump(1544)},   {"x.dat", Dump(30374)},  {"x.dat", execWord},    {"x.dat", startWord},
      {"x.sc2", Dump(14342)},  {"x.sc3", Dump(1542)},   {"x.sc5", Dump(27142)}, {"x.sc7", Dump(54278)},
      {"x.sc8", Dump(54278)},  {"x.sc2", noMarker},     {"x.sc2", Bytes{}},     {"x.sc5", Bytes{0xFE}},
      {"x.sc2", Bytes(6, 0xFE)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name + " " + std::to_string(c.File.size()));
    TFiles f(c.Name, c.File);
    for (const TKvSourceEngineClass* cls : MSXSourceEngineClasses()) EXPECT_EQ(cls->Match(f), 0) << cls->GetClassName();
  }
}

TEST(KvOpenPlatformMSX, GarbageDumpsDecodeWithinBounds) {
  // Files of every accepted size, full of noise, under every own extension.
  uint32_t s = 7;
  for (const char* ext : {".sc2", ".sc3", ".sc4", ".sc5", ".sc6", ".sc7", ".sc8", ".s05", ".sr5", ".grp", ".pic"})
    for (int size : {1543, 14343, 16391, 20000, 27143, 30375, 32775, 54279, 64135, 64167, 70000}) {
      Bytes b(static_cast<size_t>(size));
      for (uint8_t& v : b) v = static_cast<uint8_t>((s = s * 1103515245u + 12345u) >> 24);
      b[0] = 0xFE;
      TFiles f(std::string("g") + ext, b);
      for (const TKvSourceEngineClass* cls : MSXSourceEngineClasses()) {
        if (cls->Match(f) == 0) continue;
        auto e = cls->Create(f);
        auto bitmap = e->Decode();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Width, e->Width);
        EXPECT_EQ(bitmap->Height, e->Height);
      }
    }
}

TEST(KvOpenPlatformMSX, DescriptionsAndPaletteDefaults) {
  // A 1543-byte SCREEN 3 dump has no palette: MSX1 colours.
  TFiles sc3("a.sc3", Dump(1543));
  auto e3 = sc3.Open(SourceEngineClass<TKvSC3Engine>());
  EXPECT_EQ(e3->Description, "MSX 64x48x4 screen 3 image");
  EXPECT_EQ(e3->PixelAspect, 12);
  EXPECT_EQ(e3->GetPaletteTypeCount(), 0);
  e3->Decode();
  EXPECT_EQ(e3->Palette->GetStdRGB(1), StdRGBColor(1, 1, 1));
  EXPECT_EQ(e3->Palette->GetStdRGB(9), StdRGBColor(255, 137, 125));

  // SCREEN 2 of 0x4000 data bytes with an all-zero palette block: MSX2 with
  // the MSX2 default palette.
  TFiles sc2("a.sc2", Dump(16391));
  auto e2 = sc2.Open(SourceEngineClass<TKvSC2Engine>());
  EXPECT_EQ(e2->Description, "MSX2 256x192x4 screen 2 image");
  ASSERT_EQ(e2->GetPaletteTypeCount(), 2);
  e2->Decode();
  EXPECT_EQ(e2->Palette->GetStdRGB(2), Level(1, 6, 1));
  EXPECT_EQ(e2->Palette->GetStdRGB(13), Level(6, 2, 5));
  TFiles sc2s("a.sc2", Dump(14343));
  auto e2s = sc2s.Open(SourceEngineClass<TKvSC2Engine>());
  EXPECT_EQ(e2s->Description, "MSX 256x192x4 screen 2 image");

  // A palette inside the dump, under both level scales.
  auto file = Dump(30375);
  Put(file, 7 + 0x7680, Entries(16, 3));
  TFiles sc5("a.sc5", file);
  auto e5 = sc5.Open(SourceEngineClass<TKvSC5Engine>());
  EXPECT_EQ(e5->Description, "MSX2 256x212x4 screen 5 image");
  e5->Decode();
  EXPECT_EQ(e5->Palette->GetStdRGB(0), Level(3, 3, 4));
  e5->PaletteType = ptMSX9958;
  e5->Decode();
  EXPECT_EQ(e5->Palette->GetStdRGB(0), Level(3, 3, 4, true));

  TFiles sc6("a.sc6", Dump(27143));
  auto e6 = sc6.Open(SourceEngineClass<TKvSC6Engine>());
  EXPECT_EQ(e6->Description, "MSX2 512x212x2 screen 6 image");
  EXPECT_EQ(e6->PixelAspect, 2);
  e6->Decode();
  ASSERT_EQ(e6->Palette->GetCount(), 4);
  EXPECT_EQ(e6->Palette->GetStdRGB(3), Level(3, 7, 3));
}

TEST(KvOpenPlatformMSX, SidePaletteVariants) {
  const Bytes a = Entries(16, 1), b = Entries(16, 2), c = Entries(16, 4), d = Entries(16, 5);
  Bytes bad = Entries(16, 6);
  bad[3] = 8;
  const Bytes black(32, 0);
  Bytes side;
  for (const Bytes* p : std::initializer_list<const Bytes*>{&a, &b, &a, &bad, &c, &black, &b, &d}) side.insert(side.end(), p->begin(), p->end());
  TFiles f("pic.sr5", Dump(27143));
  f.Add("pic.pl5", side);
  auto e = f.Open(SourceEngineClass<TKvSC5Engine>());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Variants, (std::vector<std::string>{"Variant 1", "Variant 2", "Variant 5", "Variant 8"}));
  e->Decode();
  EXPECT_EQ(e->Palette->GetStdRGB(0), Level(1, 1, 6));
  e->VariantName = "Variant 5";
  e->Decode();
  EXPECT_EQ(e->Palette->GetStdRGB(0), Level(4, 4, 3));
  TKvPalette256 v;
  e->GetVariantPalette(3, v);
  ASSERT_EQ(v.GetCount(), 16);
  EXPECT_EQ(v.GetStdRGB(0), Level(5, 5, 2));
  e->VariantName = "Variant 3";
  EXPECT_THROW(e->Decode(), Exception);

  // Eight equal palettes give one variant; a black first palette none at all.
  Bytes same;
  for (int k = 0; k < 8; ++k) same.insert(same.end(), a.begin(), a.end());
  TFiles g("pic.sr5", Dump(27143));
  g.Add("PIC.PL5", same);
  EXPECT_EQ(g.Open(SourceEngineClass<TKvSC5Engine>())->Variants, std::vector<std::string>{"Variant 1"});
  Bytes blackFirst = same;
  std::fill(blackFirst.begin(), blackFirst.begin() + 32, 0);
  TFiles h("pic.sr5", Dump(27143));
  h.Add("pic.pl5", blackFirst);
  auto eh = h.Open(SourceEngineClass<TKvSC5Engine>());
  EXPECT_TRUE(eh->Variants.empty());
  eh->Decode();
  EXPECT_EQ(eh->Palette->GetStdRGB(4), Level(1, 1, 7));  // the MSX2 default
  // A 32-byte side file: one palette, no variant list.
  TFiles k("pic.sr6", Dump(27143));
  k.Add("pic.pl6", Bytes(a.begin(), a.end()));
  auto ek = k.Open(SourceEngineClass<TKvSC6Engine>());
  EXPECT_TRUE(ek->Variants.empty());
  ek->Decode();
  ASSERT_EQ(ek->Palette->GetCount(), 4);
  EXPECT_EQ(ek->Palette->GetStdRGB(0), Level(1, 1, 6));
}

TEST(KvOpenPlatformMSX, RgbPaletteFiles) {
  auto mutate = [](int AIndex, uint8_t AValue) {
    Bytes f = RgbPaletteFile();
    f[static_cast<size_t>(AIndex)] = AValue;
    return f;
  };
  Bytes longer = RgbPaletteFile();
  longer.push_back(0);
  Bytes shorter = RgbPaletteFile();
  shorter.pop_back();
  const struct {
    Bytes Pal;
    bool Used;
  } cases[] = {{RgbPaletteFile(), true}, {shorter, false}, {longer, false}, {mutate(20, 0x00), false},
               {mutate(88, 8), false},   {mutate(6, 0), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Pal.size());
    TFiles f("pic.s02", Dump(14343));
    f.Add("pic.pal", c.Pal);
    auto e = f.Open(SourceEngineClass<TKvSC2Engine>());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Description.rfind("MSX2", 0) == 0, c.Used);
    e->Decode();
    EXPECT_EQ(e->Palette->GetStdRGB(9), c.Used ? Level(1, 6, 4) : StdRGBColor(255, 137, 125));
  }
  // ".s04" is not SCREEN 4's own extension, yet its RGB palette file is used.
  TFiles s4("pic.s04", Dump(14343));
  s4.Add("pic.pal", RgbPaletteFile());
  auto e4 = s4.Open(SourceEngineClass<TKvSC4Engine>());
  EXPECT_EQ(e4->MatchFlags, 0);  // set by the probe, not by Open
  EXPECT_EQ(SourceEngineClass<TKvSC4Engine>().Match(s4), mfHeader | mfSize);
  e4->Decode();
  EXPECT_EQ(e4->Palette->GetStdRGB(9), Level(1, 6, 4));
}

TEST(KvOpenPlatformMSX, SecondPages) {
  Bytes main = Dump(30375, 0x11), page = Dump(27143, 0x22);
  {
    TFiles f("pic.sc5", main);
    f.Add("pic.s15", page);
    auto e = f.Open(SourceEngineClass<TKvSC5Engine>());
    EXPECT_EQ(e->Height, 424);
    EXPECT_EQ(e->PixelAspect, 18);
    EXPECT_EQ(e->Description, "MSX2 256x424x4 screen 5 interlaced image");
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 0), 1);
    EXPECT_EQ(b->GetPixel(0, 1), 2);
    EXPECT_EQ(b->GetPixel(0, 423), 2);
    TFiles g("pic.sc5", main);
    g.Add("pic.s15", Dump(27142, 0x22));
    EXPECT_EQ(g.Open(SourceEngineClass<TKvSC5Engine>())->Height, 212);
  }
  {
    // By name: PIC0.S05 pairs with PIC1.S05 and then finds PIC.pal.
    TFiles f("PIC0.S05", Dump(27143, 0x11));
    f.Add("PIC1.S05", page);
    f.Add("PIC.pal", RgbPaletteFile());
    auto e = f.Open(SourceEngineClass<TKvSC5Engine>());
    EXPECT_EQ(e->Height, 424);
    e->Decode();
    EXPECT_EQ(e->Palette->GetStdRGB(9), Level(1, 6, 4));
    // A second page of the wrong size: 212 lines, and only PIC0.pal is asked for.
    TFiles g("PIC0.S05", Dump(27143, 0x11));
    g.Add("PIC1.S05", Dump(27144, 0x22));
    g.Add("PIC.pal", RgbPaletteFile());
    auto eg = g.Open(SourceEngineClass<TKvSC5Engine>());
    EXPECT_EQ(eg->Height, 212);
    eg->Decode();
    EXPECT_EQ(eg->Palette->GetStdRGB(4), Level(1, 1, 7));
  }
  {
    // SCREEN 8 with a second page: rows of the two pages alternate.
    TFiles f("pic.sc8", Dump(54279, 0x33));
    f.Add("pic.s18", Dump(54279, 0x44));
    auto e = f.Open(SourceEngineClass<TKvSC8Engine>());
    auto b = e->Decode();
    EXPECT_EQ(b->BitCount, 8);
    EXPECT_EQ(b->Height, 424);
    EXPECT_EQ(b->GetPixel(5, 2), 0x33);
    EXPECT_EQ(b->GetPixel(5, 3), 0x44);
  }
}

// A SCREEN 2 or 4 dump of 16391 bytes: white-on-black patterns cleared, one
// solid sprite pattern (number 0) and the given sprite records.
Bytes SpriteDump(bool AScreen4, const std::vector<std::array<uint8_t, 4>>& ASprites,
                 const std::vector<uint8_t>& ALineColors = {}) {
  Bytes f = Dump(16391);
  for (int i = 0; i < 768; ++i) f[7 + 0x1800 + i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 6144; ++i) f[7 + 0x2000 + i] = 0xF1;
  for (int i = 0; i < 32; ++i) f[7 + 0x3800 + i] = 0xFF;  // pattern 0: all set
  const int attr = AScreen4 ? 0x1E00 : 0x1B00;
  for (size_t s = 0; s < ASprites.size(); ++s)
    for (int k = 0; k < 4; ++k) f[7 + attr + 4 * s + k] = ASprites[s][static_cast<size_t>(k)];
  f[7 + attr + 4 * ASprites.size()] = 216;
  if (AScreen4)
    for (size_t s = 0; s < ALineColors.size(); ++s)
      for (int l = 0; l < 16; ++l) f[7 + attr - 512 + 16 * s + l] = ALineColors[s];
  return f;
}

TEST(KvOpenPlatformMSX, Sprites) {
  // A 16391-byte ".sc2" draws its sprites; the same bytes as ".s02" or ".grp" do not.
  const Bytes one = SpriteDump(false, {{9, 20, 0, 6}});
  for (const char* name : {"a.sc2", "a.s02", "a.grp"}) {
    TFiles f(name, one);
    auto b = f.Open(SourceEngineClass<TKvSC2Engine>())->Decode();
    const bool drawn = std::string(name) == "a.sc2";
    EXPECT_EQ(b->GetPixel(20, 10), drawn ? 6 : 1) << name;  // row Y + 1 is the sprite's first line
    EXPECT_EQ(b->GetPixel(20, 9), 1) << name;
    EXPECT_EQ(b->GetPixel(35, 25), drawn ? 6 : 1) << name;
    EXPECT_EQ(b->GetPixel(36, 25), 1) << name;
    EXPECT_EQ(b->GetPixel(20, 26), 1) << name;
  }
  // Y 208 ends the list in SCREEN 2 only.
  {
    TFiles f2("a.sc2", SpriteDump(false, {{208, 0, 0, 6}, {9, 20, 0, 7}}));
    EXPECT_EQ(f2.Open(SourceEngineClass<TKvSC2Engine>())->Decode()->GetPixel(20, 10), 1);
    TFiles f4("a.sc4", SpriteDump(true, {{208, 0, 0, 0}, {9, 20, 0, 0}}, {6, 7}));
    EXPECT_EQ(f4.Open(SourceEngineClass<TKvSC4Engine>())->Decode()->GetPixel(20, 10), 7);
  }
  // A fifth sprite on a line (SCREEN 2) is not drawn, even where the others
  // leave the pixel free; SCREEN 4 draws up to eight.
  {
    std::vector<std::array<uint8_t, 4>> five;
    for (int s = 0; s < 5; ++s) five.push_back({9, static_cast<uint8_t>(40 * s), 0, static_cast<uint8_t>(2 + s)});
    TFiles f2("a.sc2", SpriteDump(false, five));
    auto b2 = f2.Open(SourceEngineClass<TKvSC2Engine>())->Decode();
    EXPECT_EQ(b2->GetPixel(120, 10), 5);
    EXPECT_EQ(b2->GetPixel(160, 10), 1);
    TFiles f4("a.sc4", SpriteDump(true, five, {2, 3, 4, 5, 6}));
    EXPECT_EQ(f4.Open(SourceEngineClass<TKvSC4Engine>())->Decode()->GetPixel(160, 10), 6);
  }
  // SCREEN 4: colour 0 covers; a sprite with bit 6 ORs its colour into an
  // earlier sprite's, and draws nothing on its own.
  {
    TFiles f("a.sc4", SpriteDump(true, {{9, 100, 0, 0}, {9, 20, 0, 0}, {9, 28, 0, 0}}, {0x40 | 3, 0, 0x40 | 6}));
    auto b = f.Open(SourceEngineClass<TKvSC4Engine>())->Decode();
    EXPECT_EQ(b->GetPixel(20, 10), 0);
    EXPECT_EQ(b->GetPixel(30, 10), 6);
    EXPECT_EQ(b->GetPixel(40, 10), 6);
    EXPECT_EQ(b->GetPixel(100, 10), 1);
  }
}

// One sprite of the bitmap screens: pattern 0 solid, at Y 9 and X 20 (sprite
// lines 10..25), ALineColor on every line; the list ends after it.
void PutSolidSprite(Bytes& AFile, int AAttrTable, int APatternTable, uint8_t ALineColor) {
  for (int i = 0; i < 32; ++i) AFile[static_cast<size_t>(7 + APatternTable + i)] = 0xFF;
  const size_t a = static_cast<size_t>(7 + AAttrTable);
  AFile[a] = 9;
  AFile[a + 1] = 20;
  AFile[a + 2] = 0;
  AFile[a + 4] = 216;
  for (int l = 0; l < 16; ++l) AFile[a - 512 + static_cast<size_t>(l)] = ALineColor;
}

TEST(KvOpenPlatformMSX, InterlacedSpritesFollowThePairsOfLines) {
  Bytes main = Dump(32775, 0x11);
  PutSolidSprite(main, 0x7600, 0x7800, 5);
  TFiles f("pic.sc5", main);
  f.Add("pic.s15", Dump(27143, 0x22));
  auto e = f.Open(SourceEngineClass<TKvSC5Engine>());
  ASSERT_EQ(e->Height, 424);
  auto b = e->Decode();
  for (int y = 0; y < 424; ++y) {
    const bool inside = y / 2 >= 10 && y / 2 <= 25;
    ASSERT_EQ(b->GetPixel(20, y), inside ? 5 : ((y & 1) ? 2 : 1)) << y;
  }
  // Without the second page the same dump shows the sprite on lines 10..25.
  TFiles g("pic.sc5", main);
  auto bg = g.Open(SourceEngineClass<TKvSC5Engine>())->Decode();
  EXPECT_EQ(bg->GetPixel(20, 10), 5);
  EXPECT_EQ(bg->GetPixel(20, 26), 1);
}

TEST(KvOpenPlatformMSX, Screen8WithSprites) {
  Bytes plain = Dump(54279, 0x49);
  TFiles f("a.sc8", plain);
  auto b = f.Open(SourceEngineClass<TKvSC8Engine>())->Decode();
  EXPECT_EQ(b->BitCount, 8);
  EXPECT_EQ(b->GetPixel(0, 0), 0x49);

  Bytes full = Dump(64135, 0x49);
  PutSolidSprite(full, 0xFA00, 0xF000, 8);
  for (const char* name : {"a.sc8", "a.s08"}) {
    TFiles g(name, full);
    auto e = g.Open(SourceEngineClass<TKvSC8Engine>());
    auto d = e->Decode();
    if (std::string(name) == "a.s08") {
      EXPECT_EQ(d->BitCount, 8);
      continue;
    }
    EXPECT_EQ(d->BitCount, 24);
    EXPECT_EQ(static_cast<uint32_t>(d->GetPixel(0, 0)), e->Palette->GetRGBQuad(0x49));
    EXPECT_EQ(d->GetPixelStdRGB(20, 10), Level(7, 4, 2));  // sprite colour 8
  }
}

TEST(KvOpenPlatformMSX, WideScreensAndTheirSprites) {
  // SCREEN 6: four pixels a byte, the top bits on the left; sprites cover
  // two pixels each, colour bits 2-3 on the left and 0-1 on the right.
  Bytes sc6 = Dump(32775);
  sc6[7] = 0x1B;  // 0, 1, 2, 3
  PutSolidSprite(sc6, 0x7600, 0x7800, 0x06);  // 01 10
  TFiles f6("a.sc6", sc6);
  auto b6 = f6.Open(SourceEngineClass<TKvSC6Engine>())->Decode();
  EXPECT_EQ(b6->Width, 512);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b6->GetPixel(x, 0), x);
  EXPECT_EQ(b6->GetPixel(40, 10), 1);
  EXPECT_EQ(b6->GetPixel(41, 10), 2);

  // SCREEN 7: two pixels a byte, the high nibble on the left; a sprite pixel
  // covers two.
  Bytes sc7 = Dump(64167);
  sc7[7] = 0x5A;
  PutSolidSprite(sc7, 0xFA00, 0xF000, 0x0C);
  Put(sc7, 7 + 0xFA80, Entries(16));
  TFiles f7("a.sc7", sc7);
  auto e7 = f7.Open(SourceEngineClass<TKvSC7Engine>());
  EXPECT_EQ(e7->Description, "MSX2 512x212x4 screen 7 image");
  auto b7 = e7->Decode();
  EXPECT_EQ(b7->GetPixel(0, 0), 5);
  EXPECT_EQ(b7->GetPixel(1, 0), 10);
  EXPECT_EQ(b7->GetPixel(40, 10), 12);
  EXPECT_EQ(b7->GetPixel(41, 10), 12);
  EXPECT_EQ(b7->GetPixel(72, 10), 0);
  EXPECT_EQ(b7->Palette->GetStdRGB(1), Level(1, 0, 6));
}

}  // namespace
