#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "importers/ImporterRegistration.h"
#include "KvTestHarness.h"
#include "importers/KvOpenPlatformSAMCoupe.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvSavePlatformSAMCoupe.h"

namespace {

const std::string NS = "KvOpenPlatformSAMCoupe::";

// The unit's importers in their registration order.
std::vector<const TKvSourceEngineClass*> SAMClasses() {
  using namespace KvOpenPlatformSAMCoupe;
  return {&SourceEngineClass<TKvSAMCoupeMode1SS1Engine>(),    &SourceEngineClass<TKvSAMCoupeMode1SSXEngine>(),
          &SourceEngineClass<TKvSAMCoupeMode1SS1HamEngine>(), &SourceEngineClass<TKvSAMCoupeMode2SS2Engine>(),
          &SourceEngineClass<TKvSAMCoupeMode2SSXEngine>(),    &SourceEngineClass<TKvSAMCoupeMode2SS2HamEngine>(),
          &SourceEngineClass<TKvSAMCoupeMode3SS3Engine>(),    &SourceEngineClass<TKvSAMCoupeMode3SSXEngine>(),
          &SourceEngineClass<TKvSAMCoupeMode3SS3HamEngine>(), &SourceEngineClass<TKvSAMCoupeMode4SS4Engine>(),
          &SourceEngineClass<TKvSAMCoupeMode4SSXEngine>(),    &SourceEngineClass<TKvSAMCoupeModeSS4HamEngine>(),
          &SourceEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), &SourceEngineClass<TKvSAMCoupeModeRAWEngine>()};
}

// The unit registers between the Profi and Scorpion GMX units, its 14
// classes one after another in the order above: ties between equal ranks
// follow it.
TEST(KvOpenPlatformSAMCoupe, RegistrationOrder) {
  ExpectUnitRegisteredInOrder("KvOpenPlatformSAMCoupe", "KvOpenPlatformProfi", "KvOpenPlatformScorpionGMX",
                              SAMClasses());
}

std::vector<uint8_t> BlockFile(bool AMode4, size_t AExtra = 0) {
  std::vector<uint8_t> f(24617, 0);
  TKvPalette256 p;
  for (int n : {0, 127, 1, 8}) p.AddStdRGB(SAMCoupeColor(n));
  if (AMode4)
    WriteSAMCoupeMode4PaletteBlock(p, f.data() + 24576);
  else
    WriteSAMCoupeMode3PaletteBlock(p, f.data() + 24576);
  if (AExtra) {
    f.pop_back();
    f.resize(24616 + AExtra, 0);
    f.back() = 255;
  }
  return f;
}

// The position of each named class in the candidate list, in that order.
void ExpectOrder(const TKvProbe& AProbe, const std::vector<std::pair<std::string, int>>& AWant) {
  int last = -1;
  for (auto& [name, flags] : AWant) {
    EXPECT_EQ(AProbe.Flags(NS + name), flags) << name;
    const int pos = AProbe.Position(NS + name);
    EXPECT_GT(pos, last) << name;
    last = pos;
  }
}

TEST(KvOpenPlatformSAMCoupe, ProbeRanking) {
  ExpectOrder(TKvProbe("a.ss4", BlockFile(true)),
              {{"TKvSAMCoupeMode4SS4Engine", 11}, {"TKvSAMCoupeMode3SS3Engine", 9}});
  ExpectOrder(TKvProbe("a.ss3", BlockFile(false)),
              {{"TKvSAMCoupeMode3SS3Engine", 10}, {"TKvSAMCoupeMode4SS4Engine", 8}});
  auto ham = BlockFile(true, 4 * 3 + 1);
  for (int r = 0; r < 3; ++r) {
    ham[24616 + 4 * r] = static_cast<uint8_t>(10 * r);
    ham[24616 + 4 * r + 1] = 1;
    ham[24616 + 4 * r + 2] = ham[24616 + 4 * r + 3] = static_cast<uint8_t>(20 + r);
  }
  TKvProbe hp("a.ss4", ham);
  ExpectOrder(hp, {{"TKvSAMCoupeModeSS4HamEngine", 11}, {"TKvSAMCoupeMode3SS3HamEngine", 9}});
  EXPECT_EQ(hp.Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 0);
  EXPECT_EQ(TKvProbe("a.ss4", BlockFile(true)).Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 0);
  TKvProbe sp("a.ssx", std::vector<uint8_t>(24592, 0));
  EXPECT_EQ(sp.Flags(NS + "TKvSAMCoupeMode4SSXEngine"), 10);
  EXPECT_EQ(TKvProbe("a.ssx", std::vector<uint8_t>(98304, 0)).Flags(NS + "TKvSAMCoupeModeRAWEngine"), 10);
  EXPECT_EQ(TKvProbe("a.bin", std::vector<uint8_t>(98304, 0)).Flags(NS + "TKvSAMCoupeModeRAWEngine"), 8);
  EXPECT_EQ(TKvProbe("a.scs4", BlockFile(true)).Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 11);
}

// Modes 1 and 2: a screen of ink/paper bytes whose cells take their colours
// from a rule (bit 7 of some attributes set, which changes nothing), the 16
// colour numbers after it (a block when ABlock), and the entry of every
// pixel in AEntries.
std::vector<uint8_t> AttrFile(int AMode, bool ASsx, std::vector<uint8_t>& AEntries, int ARecords = 0) {
  const int screen = AMode == 1 ? 6912 : ASsx ? 12288 : 14336;
  const int attrs = AMode == 1 ? 6144 : ASsx ? 6144 : 8192;
  std::vector<uint8_t> f(static_cast<size_t>(screen), 0);
  AEntries.assign(256 * 192, 0);
  for (int y = 0; y < 192; ++y)
    for (int c = 0; c < 32; ++c) {
      const int cell = AMode == 1 ? y / 8 : y;
      const uint8_t a = static_cast<uint8_t>(((c * 7 + cell * 3) & 0x3F) | ((c & 1) << 6) | ((cell & 1) << 7));
      const uint8_t b = static_cast<uint8_t>(c * 37 + y * 11);
      const int row = AMode == 1 ? (y / 64) * 2048 + (y % 8) * 256 + ((y / 8) % 8) * 32 : y * 32;
      f[static_cast<size_t>(row + c)] = b;
      f[static_cast<size_t>(attrs + cell * 32 + c)] = a;
      const int bright = (a & 0x40) ? 8 : 0;
      for (int i = 0; i < 8; ++i)
        AEntries[static_cast<size_t>(y * 256 + c * 8 + i)] =
            static_cast<uint8_t>(((b >> (7 - i)) & 1) ? (a & 7) + bright : ((a >> 3) & 7) + bright);
    }
  TKvPalette256 p;
  for (int i = 0; i < 16; ++i) p.AddStdRGB(SAMCoupeColor(i * 8 + 3));
  if (ASsx) {
    f.resize(f.size() + 16);
    WriteSAMCoupeColorIndexes(p, f.data() + screen, 16);
    return f;
  }
  f.resize(f.size() + 41);
  WriteSAMCoupeMode4PaletteBlock(p, f.data() + screen);
  if (ARecords) {
    f.pop_back();
    for (int r = 0; r < ARecords; ++r) f.insert(f.end(), {static_cast<uint8_t>(r), 0, 127, 127});
    f.push_back(255);
  }
  return f;
}

TEST(KvOpenPlatformSAMCoupe, Mode1And2Screens) {
  struct Case {
    int mode;
    bool ssx;
    const char* name;
    size_t size;
    const char* cls;
  };
  const Case cases[] = {{1, false, "a.ss1", 6953, "TKvSAMCoupeMode1SS1Engine"},
                        {1, true, "a.ssx", 6928, "TKvSAMCoupeMode1SSXEngine"},
                        {2, false, "a.ss2", 14377, "TKvSAMCoupeMode2SS2Engine"},
                        {2, true, "a.ssx", 12304, "TKvSAMCoupeMode2SSXEngine"}};
  for (const Case& c : cases) {
    std::vector<uint8_t> entries;
    auto f = AttrFile(c.mode, c.ssx, entries);
    ASSERT_EQ(f.size(), c.size) << c.cls;
    TKvProbe p(c.name, f);
    auto* e = p.Find(NS + c.cls);
    ASSERT_NE(e, nullptr) << c.cls;
    EXPECT_EQ(e->MatchFlags, c.ssx ? 10 : 11) << c.cls;
    EXPECT_EQ(e->Description, std::string("SAM Coupé 256x192x4 mode ") + (c.mode == 1 ? "1" : "2") + " image");
    EXPECT_EQ(e->PixelAspect, pa1_1);
    auto b = e->Decode();
    ASSERT_EQ(b->Width, 256);
    ASSERT_EQ(b->Height, 192);
    ASSERT_EQ(b->Palette->Count, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(b->Palette->GetStdRGB(i), SAMCoupeColor(i * 8 + 3));
    int diffs = 0;
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x) diffs += b->GetPixel(x, y) != entries[static_cast<size_t>(y * 256 + x)];
    EXPECT_EQ(diffs, 0) << c.cls;
    // Cell 0 of row 0: attribute 0, byte 0, so paper 0; cell 1 has the
    // bright bit and ink 7 + 8 = 15 for byte 37's set bits.
    EXPECT_EQ(b->GetPixel(0, 0), 0);
    EXPECT_EQ(b->GetPixel(10, 0), 15);
    // Any other name gives the size alone, and the HAM classes stay away.
    TKvProbe other("a.bin", f);
    EXPECT_EQ(other.Flags(NS + c.cls), c.ssx ? 8 : 9) << c.cls;
    EXPECT_EQ(other.Flags(NS + "TKvSAMCoupeMode1SS1HamEngine"), 0);
    EXPECT_EQ(other.Flags(NS + "TKvSAMCoupeMode2SS2HamEngine"), 0);
  }
}

TEST(KvOpenPlatformSAMCoupe, Mode1And2HamScreens) {
  for (int mode : {1, 2}) {
    std::vector<uint8_t> entries;
    // Records for lines 0, 1, 2: entry 0 becomes white from row 1 on.
    auto f = AttrFile(mode, false, entries, 3);
    const std::string cls = mode == 1 ? "TKvSAMCoupeMode1SS1HamEngine" : "TKvSAMCoupeMode2SS2HamEngine";
    const std::string plain = mode == 1 ? "TKvSAMCoupeMode1SS1Engine" : "TKvSAMCoupeMode2SS2Engine";
    TKvProbe p(mode == 1 ? "a.ss1" : "a.ss2", f);
    EXPECT_EQ(p.Flags(NS + plain), 0);
    auto* e = p.Find(NS + cls);
    ASSERT_NE(e, nullptr) << cls;
    EXPECT_EQ(e->MatchFlags, 11);
    EXPECT_EQ(e->Description, "SAM Coupé 256x192x4 mode " + std::to_string(mode) + " HAM image");
    auto b = e->Decode();
    for (int y : {0, 1, 2, 100, 191})
      for (int x = 0; x < 256; ++x) {
        const int v = entries[static_cast<size_t>(y * 256 + x)];
        const TKvStdRGBColor want = (v == 0 && y > 0) ? StdRGBColor(255, 255, 255) : SAMCoupeColor(v * 8 + 3);
        ASSERT_EQ(b->GetPixelStdRGB(x, y), want) << mode << " " << x << "," << y;
      }
  }
}

TEST(KvOpenPlatformSAMCoupe, BadInputGivesNoCandidate) {
  const std::vector<std::string> all = {
      "TKvSAMCoupeMode1SS1Engine", "TKvSAMCoupeMode1SSXEngine",   "TKvSAMCoupeMode1SS1HamEngine",
      "TKvSAMCoupeMode2SS2Engine", "TKvSAMCoupeMode2SSXEngine",   "TKvSAMCoupeMode2SS2HamEngine",
      "TKvSAMCoupeMode3SS3Engine", "TKvSAMCoupeMode3SSXEngine",   "TKvSAMCoupeMode3SS3HamEngine",
      "TKvSAMCoupeMode4SS4Engine", "TKvSAMCoupeMode4SSXEngine",   "TKvSAMCoupeModeSS4HamEngine",
      "TKvSAMCoupeMode4InterlacedEngine", "TKvSAMCoupeModeRAWEngine"};
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n : {6927u, 6929u, 6952u, 6954u, 12303u, 12305u, 14376u, 14378u, 24579u, 24581u, 24591u, 24593u,
                   24616u, 24618u, 49233u, 49235u, 98303u, 98305u, 0u, 3u})
    bad.push_back(std::vector<uint8_t>(n, 0));
  auto colour = BlockFile(true);
  colour[24576 + 3] = 128;
  bad.push_back(colour);
  auto colour2 = BlockFile(true);
  colour2[24596 + 15] = 200;
  bad.push_back(colour2);
  auto ssx = std::vector<uint8_t>(24592, 0);
  ssx[24591] = 128;
  bad.push_back(ssx);
  auto noEnd = BlockFile(true);
  noEnd[24616] = 7;
  bad.push_back(noEnd);
  auto lineBad = BlockFile(true, 5);
  lineBad[24616] = 191;
  bad.push_back(lineBad);
  auto entryBad = BlockFile(true, 5);
  entryBad[24617] = 16;
  bad.push_back(entryBad);
  auto colourBad = BlockFile(true, 5);
  colourBad[24619] = 128;
  bad.push_back(colourBad);
  auto tooMany = BlockFile(true, 4 * 128 + 1);
  bad.push_back(tooMany);
  // A list that does not end on a whole record and its 255.
  for (size_t extra : {2u, 4u, 7u}) bad.push_back(BlockFile(true, extra));
  for (auto& f : bad) {
    TKvProbe p("a.ss4", f);
    for (auto& c : all) EXPECT_EQ(p.Flags(NS + c), 0) << c << " size " << f.size();
  }
  // The same faults in mode 1 and mode 2 files.
  for (int mode : {1, 2}) {
    std::vector<uint8_t> entries;
    const int block = mode == 1 ? 6912 : 14336;
    for (int fault = 0; fault < 5; ++fault) {
      auto f = AttrFile(mode, false, entries, fault == 4 ? 128 : 1);
      if (fault == 0) f[static_cast<size_t>(block + 20)] = 128;
      if (fault == 1) f[static_cast<size_t>(block + 40)] = 191;
      if (fault == 2) f[static_cast<size_t>(block + 41)] = 16;
      if (fault == 3) f[static_cast<size_t>(block + 43)] = 130;
      TKvProbe p(mode == 1 ? "a.ss1" : "a.ss2", f);
      for (auto& c : all) EXPECT_EQ(p.Flags(NS + c), 0) << c << " mode " << mode << " fault " << fault;
    }
    auto ssx = AttrFile(mode, true, entries);
    ssx.back() = 128;
    TKvProbe p("a.ssx", ssx);
    for (auto& c : all) EXPECT_EQ(p.Flags(NS + c), 0) << c << " mode " << mode << " ssx";
  }
  // 127 records are the most a list holds.
  auto most = BlockFile(true, 4 * 127 + 1);
  EXPECT_EQ(TKvProbe("a.ss4", most).Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 11);
}

// Files whose palette blocks and change lists have bytes changed at random
// are refused or decode, within their bytes.
TEST(KvOpenPlatformSAMCoupe, MutatedBlocksAndLists) {
  const std::vector<const TKvSourceEngineClass*> classes = SAMClasses();
  std::vector<uint8_t> entries;
  std::vector<uint8_t> lce(49234, 0x5A);
  std::copy_n(BlockFile(true).begin() + 24576, 41, lce.begin() + 24576);
  std::copy_n(BlockFile(true).begin() + 24576, 41, lce.begin() + 49193);
  const std::vector<std::tuple<std::string, std::vector<uint8_t>, size_t>> files = {
      {"a.ss1", AttrFile(1, false, entries, 6), 6912}, {"a.ssx", AttrFile(1, true, entries), 6912},
      {"a.ss2", AttrFile(2, false, entries, 6), 14336}, {"a.ssx", AttrFile(2, true, entries), 12288},
      {"a.ss3", BlockFile(false, 4 * 6 + 1), 24576},    {"a.ss4", BlockFile(true, 4 * 6 + 1), 24576},
      {"a.ss4", BlockFile(true), 24576},                {"a.lce", lce, 24576}};
  uint32_t s = 7;
  for (const auto& [name, file, from] : files)
    for (int n = 0; n < 150; ++n) {
      std::vector<uint8_t> f = file;
      for (int k = 0; k < 2; ++k) {
        s = s * 1664525u + 1013904223u;
        const size_t at = from + (s >> 8) % (f.size() - from);
        f[at] = (s >> 7) & 1 ? static_cast<uint8_t>(s >> 24) : static_cast<uint8_t>(f[at] ^ 0x80);
      }
      TKvMemoryLoadSource source(name, f.data(), static_cast<int32_t>(f.size()), false);
      auto list = source.MatchEngines(classes);
      for (int i = 0; i < list->GetCount(); ++i) {
        auto b = list->GetEngine(i)->Decode();
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->Width, list->GetEngine(i)->Width);
        EXPECT_EQ(b->Height, list->GetEngine(i)->Height);
      }
    }
}

TEST(KvOpenPlatformSAMCoupe, HamRecordsTakeEffectOnTheNextRow) {
  auto f = BlockFile(true, 4 * 2 + 1);
  // Entry 0 is black (0); line byte 0 makes it white from row 1; entry 5
  // (0) changes to number 1 from row 3.
  const uint8_t recs[8] = {0, 0, 127, 127, 2, 5, 1, 1};
  for (int i = 0; i < 8; ++i) f[24616 + i] = recs[i];
  f[0] = 0x05;  // pixels 0 and 1 of row 0: entries 0 and 5
  f[128] = 0x05;
  f[3 * 128] = 0x05;
  TKvProbe p("a.ss4", f);
  auto* e = p.Find(NS + "TKvSAMCoupeModeSS4HamEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "SAM Coupé 256x192x4 mode 4 HAM image");
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->GetPixelStdRGB(0, 1), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 1), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->GetPixelStdRGB(1, 3), StdRGBColor(0, 0, 73));
  EXPECT_EQ(b->GetPixelStdRGB(0, 3), StdRGBColor(255, 255, 255));
}

// The HAM readings decode to 8-bit bitmaps but show the mode's own depth.
TEST(KvOpenPlatformSAMCoupe, HamSizeTextsShowTheModeDepth) {
  const struct {
    bool mode4;
    const char* name;
    const char* cls;
    const char* text;
  } cases[] = {
      {true, "a.ss4", "TKvSAMCoupeModeSS4HamEngine", "SAM Coupé 256x192x4 mode 4 HAM image"},
      {false, "a.ss3", "TKvSAMCoupeMode3SS3HamEngine", "SAM Coupé 512x192x2 mode 3 HAM image"},
  };
  for (const auto& c : cases) {
    auto f = BlockFile(c.mode4, 4 + 1);
    const uint8_t rec[4] = {0, 1, 127, 127};
    std::copy(rec, rec + 4, f.begin() + 24616);
    TKvProbe p(c.name, f);
    auto* e = p.Find(NS + c.cls);
    ASSERT_NE(e, nullptr) << c.cls;
    EXPECT_EQ(e->Description, c.text);
  }
}

TEST(KvOpenPlatformSAMCoupe, InterlacedBlocksThatDifferGive32Colours) {
  std::vector<uint8_t> f(49234, 0);
  TKvPalette256 p;
  p.AddStdRGB(SAMCoupeColor(1));
  WriteSAMCoupeMode4PaletteBlock(p, f.data() + 24576);
  WriteSAMCoupeMode4PaletteBlock(p, f.data() + 49193);
  TKvProbe same("a.lce", f);
  auto* e = same.Find(NS + "TKvSAMCoupeMode4InterlacedEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, 11);
  EXPECT_EQ(e->Decode()->Palette->Count, 16);
  f[49193 + 15] = 2;
  TKvProbe differ("a.lce", f);
  auto* d = differ.Find(NS + "TKvSAMCoupeMode4InterlacedEngine");
  // The size text keeps the mode's 4 bits although the bitmap holds 32 colours.
  EXPECT_EQ(d->Description, "SAM Coupé 256x384x4 mode 4 interlaced image");
  auto b = d->Decode();
  EXPECT_EQ(b->Palette->Count, 32);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->GetPixel(0, 1), 16);
}

// The best candidate of AName's bytes decodes to the preview's colours; with
// AByIndex also to its pixel values over the same palette entries (the plain
// files keep the converter's palette order, the HAM file does not).
void ExpectSamePicture(const std::string& AName, TKvStream* AStream, TKvBitmap& APreview,
                       const std::string& AClass, bool AByIndex = true) {
  std::vector<uint8_t> bytes(AStream->GetMemory(), AStream->GetMemory() + AStream->GetSize());
  TKvProbe probe(AName, bytes);
  ASSERT_GT(probe.List->GetCount(), 0) << AName;
  TKvSourceEngine* e = probe.List->GetEngine(0);
  ASSERT_EQ(e->ClassType().GetClassName(), NS + AClass) << AName;
  auto b = e->Decode();
  ASSERT_EQ(b->Width, APreview.Width);
  ASSERT_EQ(b->Height, APreview.Height);
  EXPECT_EQ(CountColorDiffs(*b, APreview), 0) << AName;
  if (AByIndex) {
    EXPECT_EQ(CountIndexDiffs(*b, APreview), 0) << AName;
  }
  if (!AByIndex) return;
  ASSERT_GE(b->Palette->Count, APreview.Palette->Count) << AName;
  for (int i = 0; i < APreview.Palette->Count; ++i)
    EXPECT_EQ(b->Palette->GetStdRGB(i), APreview.Palette->GetStdRGB(i)) << AName << " entry " << i;
}

TEST(KvOpenPlatformSAMCoupe, RoundTrips) {
  using namespace KvSavePlatformSAMCoupe;
  auto wide = GradientPicture(512, 192, 7);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColorBright, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode3Engine>(), *wide, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    ExpectSamePicture("p.ssx", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode3SSXEngine");
    ExpectSamePicture("p.ss3", r.Streams->GetStream(1), *r.Preview, "TKvSAMCoupeMode3SS3Engine");
  }
  auto pic = GradientPicture(256, 192, 8);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    ExpectSamePicture("p.ssx", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode4SSXEngine");
    ExpectSamePicture("p.ss4", r.Streams->GetStream(1), *r.Preview, "TKvSAMCoupeMode4SS4Engine");
  }
  auto tall = GradientPicture(256, 384, 9);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), *tall);
  ExpectSamePicture("p.lce", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeMode4InterlacedEngine");
  // Each half is a mode-4 screen of every other row.
  TKvBitmap4 even(256, 192, r.Preview->Palette.get()), odd(256, 192, r.Preview->Palette.get());
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      even.SetPixel(x, y, r.Preview->GetPixel(x, 2 * y));
      odd.SetPixel(x, y, r.Preview->GetPixel(x, 2 * y + 1));
    }
  ExpectSamePicture("p.odd.ss4", r.Streams->GetStream(1), even, "TKvSAMCoupeMode4SS4Engine");
  ExpectSamePicture("p.eve.ss4", r.Streams->GetStream(1)->GetSubStream(0), odd, "TKvSAMCoupeMode4SS4Engine");
}

TEST(KvOpenPlatformSAMCoupe, HamRoundTripByColour) {
  using namespace KvSavePlatformSAMCoupe;
  auto pic = GradientPicture(256, 192, 11);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  ASSERT_GT(r.Size(0), 24617);
  ExpectSamePicture("p.ss4", r.Streams->GetStream(0), *r.Preview, "TKvSAMCoupeModeSS4HamEngine", false);
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("p.ss4", bytes);
  EXPECT_EQ(probe.Flags(NS + "TKvSAMCoupeModeSS4HamEngine"), 11);
  EXPECT_EQ(probe.Flags(NS + "TKvSAMCoupeMode4SS4Engine"), 0);
}

}  // namespace
