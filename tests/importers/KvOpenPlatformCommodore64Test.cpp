#include <gtest/gtest.h>

#include <stdexcept>

#include "importers/KvOpenPlatformCommodore64.h"
#include "platforms/KvPlatformCommodore64.h"
#include "KvTestHarness.h"
#include "importers/ImporterTestFiles.h"

namespace {

// The candidates of this unit, with their flags.
std::vector<std::pair<std::string, int>> C64Candidates(const TKvProbe& p) {
  std::vector<std::pair<std::string, int>> r;
  for (int i = 0; i < p.List->GetCount(); ++i) {
    const std::string n = p.List->GetEngine(i)->ClassType().GetClassName();
    if (n.rfind("TKvCommodore64", 0) == 0) r.emplace_back(n, p.List->GetEngine(i)->MatchFlags);
  }
  return r;
}

TEST(KvPlatformCommodore64, PalettesOfBothKinds) {
  TKvPalette256 p;
  BuildC64Palette(p, ptCommandore64Dark);
  ASSERT_EQ(p.GetCount(), 16);
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(104, 55, 43));
  EXPECT_EQ(p.GetStdRGB(15), StdRGBColor(149, 149, 149));
  BuildC64Palette(p, ptCommandore64Light);
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(136, 0, 0));
  EXPECT_EQ(p.GetStdRGB(14), StdRGBColor(0, 136, 255));
  EXPECT_EQ(std::string(PaletteTypeNames[ptCommandore64Dark]), "Dark");
  EXPECT_EQ(std::string(PaletteTypeNames[ptCommandore64Light]), "Light");
  EXPECT_ANY_THROW(BuildC64Palette(p, ptRGB888));
  EXPECT_EQ(p.GetCount(), 0);
}

TEST(KvOpenPlatformCommodore64, MatchBySizeLoadAddressAndExtension) {
  using C = std::vector<std::pair<std::string, int>>;
  struct Case {
    const char* Name;
    size_t Size;
    uint16_t Load;
    C Expected;
    const char* Description;
  } cases[] = {
      // A plain file without escape bytes also unpacks to exactly the
      // packed formats' length at their load addresses.
      {"a.kla", 10003, 0x6000, {{"TKvCommodore64LoResEngine", 11}, {"TKvCommodore64LoResGgEngine", 9}},
       "Commodore 64 160x200x4 Koala Painter image"},
      {"a.gig", 10003, 0x6000, {{"TKvCommodore64LoResEngine", 11}, {"TKvCommodore64LoResGgEngine", 9}},
       "Commodore 64 160x200x4 Gigapaint image"},
      {"a.bin", 10003, 0x6000, {{"TKvCommodore64LoResEngine", 9}, {"TKvCommodore64LoResGgEngine", 9}},
       "Commodore 64 160x200x4 Koala Painter image"},
      {"a.kla", 10003, 0x5000, {}, nullptr},
      {"a.ipt", 10003, 0x4000, {{"TKvCommodore64LoResEngine", 11}, {"TKvCommodore64LoResAmiEngine", 9}},
       "Commodore 64 160x200x4 Interpaint image"},
      {"a.hbm", 8002, 0x2000, {{"TKvCommodore64HiResBWEngine", 11}}, "Commodore 64 320x200x1 image"},
      {"a.hpi", 8002, 0x2000, {{"TKvCommodore64HiResBWEngine", 11}}, "Commodore 64 320x200x1 Art Studio image"},
      {"a.fgs", 8002, 0x2000, {{"TKvCommodore64HiResBWEngine", 11}},
       "Commodore 64 320x200x1 Fun Graphics Machine image"},
      {"a.dat", 8002, 0x6000, {{"TKvCommodore64HiResBWEngine", 9}}, "Commodore 64 320x200x1 Gigapaint image"},
      {"a.gcd", 8194, 0x2000, {{"TKvCommodore64HiResBWEngine", 11}}, "Commodore 64 320x200x1 Gigacad image"},
      {"a.pmg", 9332, 0x3F8E, {{"TKvCommodore64LoResPmgEngine", 11}}, "Commodore 64 160x200x4 Paint Magic image"},
      {"a.pic", 9009, 0x2000, {{"TKvCommodore64HiResEngine", 11}}, "Commodore 64 320x200x4 Art Studio image"},
      {"a.hpc", 9003, 0x6000, {{"TKvCommodore64HiResEngine", 11}}, "Commodore 64 320x200x4 image"},
      {"a.ddl", 9218, 0x1C00, {{"TKvCommodore64HiResEngine", 11}}, "Commodore 64 320x200x4 Doodle image"},
      {"a.hed", 9218, 0x2000, {{"TKvCommodore64HiResEngine", 11}}, "Commodore 64 320x200x4 Hi-Eddi image"},
      {"a.hlf", 24578, 0x2000, {{"TKvCommodore64HiResGigascreenEngine", 11}},
       "Commodore 64 320x200x8 Hires interlace image"},
      {"a.hlf", 24579, 0x2000, {}, nullptr},
      {"a.kla", 2, 0x6000, {}, nullptr},
      {"a.kla", 1, 0x6000, {}, nullptr},
  };
  for (const Case& c : cases) {
    TKvProbe p(c.Name, C64File(c.Size, c.Load));
    const auto got = C64Candidates(p);
    EXPECT_EQ(got, c.Expected) << c.Name << " " << c.Size;
    if (c.Description && !got.empty()) {
      const TKvSourceEngine* e = p.Find(got[0].first);
      EXPECT_EQ(e->Description, c.Description) << c.Name;
      EXPECT_EQ(e->PixelAspect, e->Width == 160 ? 17 : 10) << c.Name;
    }
  }
}

TEST(KvOpenPlatformCommodore64, EveryLayoutDecodesInsideItsFile) {
  // Each row's size and load address, filled with 0xFF: under the sanitizers
  // any offset past the end shows.
  const std::pair<size_t, uint16_t> rows[] = {
      {8002, 0x2000},  {8002, 0x6000},  {8194, 0x2000},  {10003, 0x4000}, {10003, 0x6000}, {10004, 0x4000},
      {10006, 0x6000}, {10007, 0x8000}, {10018, 0x2000}, {10022, 0x18DC}, {10050, 0x1800}, {10050, 0x5800},
      {10051, 0x5800}, {10218, 0x3C00}, {10219, 0x7800}, {10242, 0x4000}, {10242, 0x5800}, {10242, 0x5C00},
      {10242, 0xA000}, {10277, 0x7EEF}, {20482, 0x8000}, {9332, 0x3F8E},  {9002, 0x4000},  {9003, 0x2000},
      {9009, 0x2000},  {9003, 0x6000},  {9009, 0x6000},  {9194, 0x4000},  {9217, 0x5C00},  {9218, 0x2000},
      {9218, 0x1C00},  {9218, 0x5C00},  {24578, 0x2000}};
  for (const auto& [size, load] : rows) {
    // An exactly sized heap block, so a stray read is caught.
    TKvProbe p("a.bin", C64File(size, load, 0xFF));
    const auto got = C64Candidates(p);
    ASSERT_FALSE(got.empty()) << size << " " << load;
    auto b = p.Find(got[0].first)->Decode();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Width, p.Find(got[0].first)->Width);
    EXPECT_EQ(b->GetPixel(0, 0), b->BitCount == 1 ? 1 : b->BitCount == 8 ? 0xFF : 15) << size;
  }
}

TEST(KvOpenPlatformCommodore64, HiResMonoWhiteOnBlackOrBlackOnWhite) {
  auto d = C64File(8002, 0x2000);
  d[2 + 320 + 8 + 1] = 0x81;  // cell (1, 1), line 1
  TKvProbe p("a.hbm", d);
  TKvSourceEngine* e = p.Find("TKvCommodore64HiResBWEngine");
  EXPECT_EQ(e->PaletteTypes, (std::vector<TKvPaletteType>{ptBW, ptWB}));
  EXPECT_EQ(e->PaletteType, ptBW);
  auto b = e->Decode();
  ASSERT_EQ(b->BitCount, 1);
  EXPECT_EQ(b->GetPixel(8, 9), 1);
  EXPECT_EQ(b->GetPixel(15, 9), 1);
  EXPECT_EQ(b->GetPixel(9, 9), 0);
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(255, 255, 255));
  e->PaletteType = ptWB;
  b = e->Decode();
  EXPECT_EQ(b->GetPixel(8, 9), 1);
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(0, 0, 0));
  EXPECT_EQ(std::string(PaletteTypeNames[ptWB]), "White/black");
}

TEST(KvOpenPlatformCommodore64, MulticolourCellsAndPaletteKinds) {
  auto d = C64File(10003, 0x6000);
  const int cell = 1 * 40 + 2;
  d[10002] = 0xAB;              // background 11 (high nibble ignored)
  d[8002 + cell] = 0x12;        // colours 1 and 2
  d[9002 + cell] = 0xFE;        // colour 14 (high nibble ignored)
  d[2 + 320 + 16 + 3] = 0x1B;   // 00 01 10 11
  TKvProbe p("a.koa", d);
  TKvSourceEngine* e = p.Find("TKvCommodore64LoResEngine");
  EXPECT_EQ(e->PaletteTypes, (std::vector<TKvPaletteType>{ptCommandore64Dark, ptCommandore64Light}));
  EXPECT_EQ(e->PaletteType, ptCommandore64Dark);
  auto b = e->Decode();
  ASSERT_EQ(b->BitCount, 4);
  ASSERT_EQ(b->Width, 160);
  const int expected[4] = {11, 1, 2, 14};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b->GetPixel(8 + i, 11), expected[i]) << i;
  EXPECT_EQ(b->GetPixel(8, 10), 11);
  EXPECT_EQ(b->GetPixelStdRGB(9, 11), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(10, 11), StdRGBColor(104, 55, 43));
  // Another palette kind changes the colours, never the indexes.
  e->PaletteType = ptCommandore64Light;
  auto l = e->Decode();
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(l->GetPixel(x, y), b->GetPixel(x, y));
  EXPECT_EQ(l->GetPixelStdRGB(10, 11), StdRGBColor(136, 0, 0));
}

TEST(KvOpenPlatformCommodore64, RainbowPainterHasNoBackgroundAndPaintMagicOneColourByte) {
  auto rp = C64File(10242, 0x5C00, 0x77);
  rp[1026] = 0x00;  // first line of cell 0: all pairs 00
  TKvProbe p("a.rp", rp);
  auto b = p.Find("TKvCommodore64LoResEngine")->Decode();
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b->GetPixel(x, 0), 0);
  EXPECT_EQ(b->GetPixel(4, 0), 7);  // 0x77: pairs 01 11 01 11 -> screen high nibble 7

  auto pmg = C64File(9332, 0x3F8E);
  pmg[8119] = 0x2D;  // colour 13 for pair 11 everywhere
  pmg[8116] = 0x05;  // background 5
  for (int i = 0; i < 8000; ++i) pmg[116 + i] = 0xC0;  // pair 11 then 00 00 00
  TKvProbe q("a.pmg", pmg);
  auto c = q.Find("TKvCommodore64LoResPmgEngine")->Decode();
  EXPECT_EQ(c->GetPixel(0, 0), 13);
  EXPECT_EQ(c->GetPixel(156, 199), 13);
  EXPECT_EQ(c->GetPixel(1, 0), 5);
  EXPECT_EQ(c->GetPixel(159, 199), 5);
}

TEST(KvOpenPlatformCommodore64, HiResColourIgnoresTheExtraBytesOf9009) {
  auto d = C64File(9003, 0x2000);
  for (int i = 0; i < 8000; ++i) d[2 + i] = static_cast<uint8_t>(i * 7);
  for (int i = 0; i < 1000; ++i) d[8002 + i] = static_cast<uint8_t>(i * 13);
  auto longer = d;
  longer.insert(longer.end(), 6, 0xEE);
  TKvProbe p("a.art", d), q("a.art", longer);
  auto a = p.Find("TKvCommodore64HiResEngine")->Decode();
  auto b = q.Find("TKvCommodore64HiResEngine")->Decode();
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(a->GetPixel(x, y), b->GetPixel(x, y));
  // Cell (0, 1): screen byte 13 -> ink 0, paper 13; bitmap byte 8*7=56 -> 00111000.
  EXPECT_EQ(a->GetPixel(8, 0), 13);
  EXPECT_EQ(a->GetPixel(10, 0), 0);
}

TEST(KvOpenPlatformCommodore64, InterlacedHiResHasTwoFramesOverMixtures) {
  auto d = C64File(24578, 0x2000);
  d[2] = 0x80;         // frame A, pixel 0 set
  d[10242] = 0x21;     // A: ink 2, paper 1
  d[16386] = 0x40;     // frame B, pixel 1 set
  d[9218] = 0x43;      // B: ink 4, paper 3
  TKvProbe p("a.hlf", d);
  TKvSourceEngine* e = p.Find("TKvCommodore64HiResGigascreenEngine");
  auto b = e->Decode();
  ASSERT_EQ(b->BitCount, 8);
  ASSERT_EQ(e->Palette->GetCount(), 256);
  ASSERT_TRUE(e->Palette2);
  EXPECT_EQ(e->Palette2->GetCount(), 16);
  EXPECT_EQ(e->ColorCount, 16);
  ASSERT_TRUE(b->GetFrames());
  ASSERT_EQ(b->GetFrames()->GetCount(), 2);
  TKvBitmap* fa = b->GetFrames()->GetBitmap(0);
  TKvBitmap* fb = b->GetFrames()->GetBitmap(1);
  EXPECT_EQ(fa->GetPixel(0, 0), 2);
  EXPECT_EQ(fb->GetPixel(0, 0), 3);
  EXPECT_EQ(b->GetPixel(0, 0), 2 * 16 + 3);
  EXPECT_EQ(b->GetPixel(1, 0), 1 * 16 + 4);
  EXPECT_EQ(fa->GetPixelStdRGB(1, 0), StdRGBColor(255, 255, 255));
}

TEST(KvOpenPlatformCommodore64, ConstructorRefusesFilesOutsideTheTables) {
  auto d = C64File(10003, 0x5000);
  TKvMemoryLoadSource src("a.kla", d.data(), static_cast<int32_t>(d.size()), false);
  for (const TKvSourceEngineClass* c : Commodore64SourceEngineClasses()) {
    EXPECT_EQ(c->Match(src), 0);
    // Packed classes read whatever they are given.
    const std::string n = c->GetClassName();
    if (n.find("Ami") == std::string::npos && n.find("Gg") == std::string::npos && n.find("JJ") == std::string::npos) {
      EXPECT_ANY_THROW(c->Create(src)) << n;
    }
  }
}

// ---------------------------------------------------------------------------
// Packed and character-set files.

template <class TReader>
std::vector<uint8_t> ReadAll(std::vector<uint8_t> APacked) {
  APacked.insert(APacked.begin(), {0x00, 0x60});
  TReader r;
  r.Init(TKvBytes(APacked));
  std::vector<uint8_t> out;
  uint8_t b;
  while (r.ReadByte(b) && out.size() < 1000) out.push_back(b);
  return out;
}

TEST(KvOpenPlatformCommodore64, RunReaders) {
  using V = std::vector<uint8_t>;
  const V five(5, 0xAA);
  struct Case {
    V Packed, Amica, Packed2;
  } cases[] = {
      {{0xC2, 0x05, 0xAA}, five, {0xC2, 0x05, 0xAA}},
      {{0xFE, 0xAA, 0x05}, {0xFE, 0xAA, 0x05}, five},
      {{0x11, 0xC2, 0x00, 0x22}, {0x11}, {0x11, 0xC2, 0x00, 0x22}},
      {{0x11, 0xFE, 0x22, 0x00, 0x33}, {0x11, 0xFE, 0x22, 0x00, 0x33}, {0x11}},
      {{0xC2, 0x01, 0xC2, 0x07}, {0xC2, 0x07}, {0xC2, 0x01, 0xC2, 0x07}},
      {{0xFE, 0xFE, 0x01, 0x07}, {0xFE, 0xFE, 0x01, 0x07}, {0xFE, 0x07}},
      // Cut inside a run: nothing of it is delivered.
      {{0x01, 0xC2, 0x05}, {0x01}, {0x01, 0xC2, 0x05}},
      {{0x01, 0xC2}, {0x01}, {0x01, 0xC2}},
      {{0x01, 0xFE, 0xAA}, {0x01, 0xFE, 0xAA}, {0x01}},
      {{}, {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAll<TKvAmicaRunReader>(c.Packed), c.Amica);
    EXPECT_EQ(ReadAll<TKvPackedRunReader>(c.Packed), c.Packed2);
  }
}

TEST(KvOpenPlatformCommodore64, PackedFilesAreRecognisedByTheirUnpackedLength) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Class;
    TKvMatchFlags Flags;
  } cases[] = {
      {"a.gg", C64PackedFile(0x6000, 10001), "TKvCommodore64LoResGgEngine", 11},
      {"a.koa", C64PackedFile(0x6000, 10001), "TKvCommodore64LoResGgEngine", 9},
      {"a.gg", C64PackedFile(0x6000, 10500), "TKvCommodore64LoResGgEngine", 3},
      {"a.koa", C64PackedFile(0x6000, 10500), "TKvCommodore64LoResGgEngine", 0},
      {"a.gg", C64PackedFile(0x6000, 10000), "TKvCommodore64LoResGgEngine", 0},
      {"a.gg", C64PackedFile(0x6000, 20000, 0x11, false), "TKvCommodore64LoResGgEngine", 3},
      {"a.gg", C64PackedFile(0x6000, 20001, 0x11, false), "TKvCommodore64LoResGgEngine", 0},
      {"a.gg", C64PackedFile(0x6000, 20001), "TKvCommodore64LoResGgEngine", 0},
      {"a.gg", C64PackedFile(0x4000, 10001), "TKvCommodore64LoResGgEngine", 0},
      {"a.ami", C64PackedFile(0x4000, 10001, 0x11, true, 0xC2), "TKvCommodore64LoResAmiEngine", 11},
      {"a.bin", C64PackedFile(0x4000, 10001, 0x11, true, 0xC2), "TKvCommodore64LoResAmiEngine", 9},
      {"a.ami", C64PackedFile(0x4000, 10001), "TKvCommodore64LoResAmiEngine", 0},  // FE runs unpack to 3 bytes each
      {"a.jj", C64PackedFile(0x5C00, 9216), "TKvCommodore64HiResJJEngine", 11},
      {"a.bin", C64PackedFile(0x5C00, 9216), "TKvCommodore64HiResJJEngine", 9},
      {"a.jj", C64PackedFile(0x5C00, 9100), "TKvCommodore64HiResJJEngine", 3},
      {"a.bin", C64PackedFile(0x5C00, 9100), "TKvCommodore64HiResJJEngine", 0},
      {"a.jj", C64PackedFile(0x5C00, 9023), "TKvCommodore64HiResJJEngine", 0},
      {"a.jj", C64PackedFile(0x5C00, 9024), "TKvCommodore64HiResJJEngine", 3},
      {"a.gg", C64File(2, 0x6000), "TKvCommodore64LoResGgEngine", 0},
      {"a.gg", C64File(3, 0x6000), "TKvCommodore64LoResGgEngine", 0},
  };
  for (const Case& c : cases) {
    TKvProbe p(c.Name, c.Data);
    EXPECT_EQ(p.Flags(c.Class), c.Flags) << c.Name << " " << c.Class << " " << c.Data.size();
  }
  TKvProbe gg("a.gg", C64PackedFile(0x6000, 10001));
  EXPECT_EQ(gg.Find("TKvCommodore64LoResGgEngine")->Description,
            "Commodore 64 160x200x4 Koala Painter compressed image");
  EXPECT_EQ(gg.Find("TKvCommodore64LoResGgEngine")->PixelAspect, 17);
  TKvProbe jj("a.jj", C64PackedFile(0x5C00, 9216));
  EXPECT_EQ(jj.Find("TKvCommodore64HiResJJEngine")->Description, "Commodore 64 320x200x4 Doodle compressed image");
  TKvProbe ami("a.ami", C64PackedFile(0x4000, 10001, 0x11, true, 0xC2));
  EXPECT_EQ(ami.Find("TKvCommodore64LoResAmiEngine")->Description, "Commodore 64 160x200x4 Amica Paint image");
}

TEST(KvOpenPlatformCommodore64, PackedDecodeUsesThePlainLayouts) {
  // Packed Koala: literal bytes build bitmap, screen, colour and background.
  std::vector<uint8_t> unpacked(10500, 0);
  unpacked[0] = 0x1B;          // cell 0 line 0: 00 01 10 11
  unpacked[8000] = 0x34;       // screen: colours 3 and 4
  unpacked[9000] = 0x05;       // colour 5
  unpacked[10000] = 0x06;      // background 6
  unpacked[10001] = 0x0F;      // past the limit: never written
  std::vector<uint8_t> d = C64File(2, 0x6000);
  d.insert(d.end(), unpacked.begin(), unpacked.end());
  TKvProbe p("a.gg", d);
  TKvSourceEngine* e = p.Find("TKvCommodore64LoResGgEngine");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->MatchFlags, 3);
  for (int pass = 0; pass < 2; ++pass) {  // a second decode reuses the buffer
    auto b = e->Decode();
    const int expected[4] = {6, 3, 4, 5};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b->GetPixel(i, 0), expected[i]) << i;
    EXPECT_EQ(b->GetPixel(0, 1), 6);
    e->PaletteType = ptCommandore64Light;
  }

  // Amica: the buffer starts at the bitmap.
  std::vector<uint8_t> a = C64File(2, 0x4000);
  auto zeros = [&a](int n) {
    for (; n > 0; n -= 255) a.insert(a.end(), {0xC2, uint8_t(n < 255 ? n : 255), 0x00});
  };
  a.push_back(0x40);  // bitmap: pair 01 then 00s
  zeros(7999);
  a.push_back(0x90);  // screen: colours 9 and 0
  zeros(999);
  a.push_back(0x0C);  // colour 12
  zeros(999);
  a.push_back(0x03);  // background 3
  TKvProbe q("a.ami", a);
  TKvSourceEngine* ae = q.Find("TKvCommodore64LoResAmiEngine");
  ASSERT_TRUE(ae);
  EXPECT_EQ(ae->MatchFlags, 11);
  auto ab = ae->Decode();
  EXPECT_EQ(ab->GetPixel(0, 0), 9);
  EXPECT_EQ(ab->GetPixel(1, 0), 3);

  // Packed Doodle of 9100 bytes: the whole bitmap arrives; ink/paper from screen.
  std::vector<uint8_t> jj = C64File(2, 0x5C00);
  std::vector<uint8_t> body(9100, 0);
  body[0] = 0x7A;               // screen of cell 0: ink 7, paper 10
  body[1024] = 0x80;            // bitmap cell 0 line 0
  body[1024 + 7999] = 0x01;     // last bitmap byte
  jj.insert(jj.end(), body.begin(), body.end());
  TKvProbe r("a.jj", jj);
  auto jb = r.Find("TKvCommodore64HiResJJEngine")->Decode();
  EXPECT_EQ(jb->GetPixel(0, 0), 7);
  EXPECT_EQ(jb->GetPixel(1, 0), 10);
  EXPECT_EQ(jb->GetPixel(319, 199), 0);  // cell screen byte 0: ink 0
}

TEST(KvOpenPlatformCommodore64, ShortPackedDataLeavesZeros) {
  // Built directly, as a probe would not offer it.
  std::vector<uint8_t> d = C64File(2, 0x6000);
  d.insert(d.end(), {0xFE, 0x55, 0x10});  // 16 bytes of 01 01 01 01
  TKvMemoryLoadSource src("a.gg", d.data(), static_cast<int32_t>(d.size()), false);
  auto e = SourceEngineClass<TKvCommodore64LoResGgEngine>().Create(src);
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 0);   // pair 01, screen byte 0: colour 0
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(b->GetPixel(x, y), 0);
}

TEST(KvOpenPlatformCommodore64, LogoPainterCharacterSetPictures) {
  auto d = C64File(4098, 0x1800);
  d[2 + 40 + 1] = 3;                   // cell row 1, column 1: character 3
  d[2050 + 3 * 8 + 2] = 0x1B;          // its line 2: 00 01 10 11
  d[2050 + 0 * 8 + 0] = 0x40;          // character 0, line 0: 01 00 00 00
  struct Case {
    const char* Name;
    size_t Size;
    uint16_t Load;
    TKvMatchFlags Flags;
  } cases[] = {{"a.lp3", 4098, 0x1800, 11}, {"a.gfx", 4174, 0x1800, 11}, {"a.prg", 4098, 0x1800, 9},
               {"a.lp3", 4098, 0x1801, 0},  {"a.lp3", 4097, 0x1800, 0},  {"a.lp3", 4175, 0x1800, 0}};
  for (const Case& c : cases) {
    auto f = C64File(c.Size, c.Load);
    TKvProbe p(c.Name, f);
    EXPECT_EQ(p.Flags("TKvCommodore64Lp3Engine"), c.Flags) << c.Name << " " << c.Size;
  }
  TKvProbe p("a.lp3", d);
  TKvSourceEngine* e = p.Find("TKvCommodore64Lp3Engine");
  EXPECT_EQ(e->Description, "Commodore 64 160x400x4 Logo-Painter image");
  EXPECT_EQ(e->PixelAspect, 17);
  auto b = e->Decode();
  ASSERT_EQ(b->Height, 400);
  const int expected[4] = {0, 10, 2, 1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b->GetPixel(4 + i, 10), expected[i]) << i;
  EXPECT_EQ(b->GetPixel(0, 0), 10);
  EXPECT_EQ(b->GetPixel(156, 392), 10);  // last cell, character 0

  // The longer file carries its own colours; the fourth takes 3 bits.
  auto l = d;
  l.resize(4174, 0xEE);
  l[2045] = 0xF4;
  l[2046] = 0xFF;
  l[2047] = 0x1C;
  l[2048] = 0x09;
  TKvProbe q("a.lp3", l);
  auto c = q.Find("TKvCommodore64Lp3Engine")->Decode();
  const int own[4] = {4, 12, 9, 7};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c->GetPixel(4 + i, 10), own[i]) << i;
}

}  // namespace
