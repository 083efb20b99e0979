// The importers of platforms without a converter (Commodore 64, PlayStation,
// Sega Master System, Apple II, Oric) together: their places in the probe's
// ranking, and untrusted input.
#include <gtest/gtest.h>

#include <random>

#include "importers/KvOpenPlatformAppleII.h"
#include "importers/KvOpenPlatformCommodore64.h"
#include "importers/KvOpenPlatformOric.h"
#include "importers/KvOpenPlatformPlayStation.h"
#include "importers/KvOpenPlatformSegaMasterSystem.h"
#include "KvTestHarness.h"
#include "importers/ImporterTestFiles.h"

namespace {

// A 4-bit TIM with two 16-colour tables and a 4 x 3 image block.
std::vector<uint8_t> SmallTim() {
  std::vector<uint8_t> d;
  Put32(d, 0x10);
  Put32(d, 8);
  Put32(d, 2 * 32 + 12);
  Put32(d, 0);
  Put16(d, 16);
  Put16(d, 2);
  for (int i = 0; i < 32; ++i) Put16(d, i * 1000);
  Put32(d, 4 * 3 * 2 + 12);
  Put32(d, 0);
  Put16(d, 4);
  Put16(d, 3);
  for (int i = 0; i < 24; ++i) d.push_back(uint8_t(i * 37));
  return d;
}

std::vector<uint8_t> Meka(int AVersion) {
  const size_t block = AVersion >= 12 ? 11 : 7;
  const size_t vram = block + (AVersion >= 13 ? 98 : 96) + 8192;
  std::vector<uint8_t> d(vram + 16384 + 33, 0x5A);
  const uint8_t head[7] = {'M', 'E', 'K', 'A', 0x1A, uint8_t(AVersion), 0};
  std::copy(head, head + 7, d.begin());
  d[block + 52] = 0x04;  // Mode 4
  d[block + 52 + 2] = 0xFF;
  return d;
}

std::vector<uint8_t> Msbmp() {
  std::vector<uint8_t> d(12 + 16464, 0x33);
  const uint8_t head[9] = {'M', 'S', 'B', 'M', 'P', 0, 9, 12, 0};
  std::copy(head, head + 9, d.begin());
  d[12] = 0x24;  // Mode 4, left column hidden
  return d;
}

TEST(KvImportOnlyPlatforms, ProbeRanking) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Class;
    TKvMatchFlags Flags;
  } cases[] = {
      {"a.hgr", std::vector<uint8_t>(8192, 0x2A), "TKvAppleIIEngine", 10},
      {"a.hir", std::vector<uint8_t>(8000, 0x40), "TKvOricEngine", 10},
      {"a.pic", std::vector<uint8_t>(8000, 0x40), "TKvOricEngine", 8},
      {"a.gg", C64PackedFile(0x6000, 10500, 0x11, false), "TKvCommodore64LoResGgEngine", 3},
      {"a.tim", SmallTim(), "TKvPlayStationSourceEngine", 11},
      {"a.tim", Meka(12), "TKvMekaSnapshotEngine", 1},
      {"a.sbm", Meka(13), "TKvMekaSnapshotEngine", 1},
      {"a.s00", Meka(5), "TKvMekaSnapshotEngine", 1},
  };
  for (const Case& c : cases) {
    TKvProbe p(c.Name, c.Data);
    EXPECT_EQ(p.Flags(c.Class), c.Flags) << c.Name << " " << c.Class;
    // Importers of other platforms that read the same size join by their
    // rank; Irisha pictures rank below Oric dumps as ".hir", above as ".pic".
    const int LOric = p.Position("TKvOricEngine");
    for (int i = 0; i < p.List->GetCount(); ++i)
      if (p.List->GetEngine(i)->ClassType().GetClassName().find("Irisha") != std::string::npos) {
        EXPECT_EQ(i > LOric, std::string(c.Name) == "a.hir") << c.Name;
      }
  }
}

TEST(KvImportOnlyPlatforms, RegistrationOrder) {
  const std::vector<std::string> c64 = {
      "TKvCommodore64HiResBWEngine",  "TKvCommodore64LoResEngine",   "TKvCommodore64LoResPmgEngine",
      "TKvCommodore64LoResAmiEngine", "TKvCommodore64LoResGgEngine", "TKvCommodore64HiResEngine",
      "TKvCommodore64HiResJJEngine",  "TKvCommodore64HiResGigascreenEngine", "TKvCommodore64Lp3Engine"};
  std::vector<std::string> mine;
  for (const TKvSourceEngineClass* c : Commodore64SourceEngineClasses()) mine.push_back(c->GetClassName());
  EXPECT_EQ(mine, c64);

  InitializeImporters();
  std::vector<std::string> all;
  for (const TKvSourceEngineClass* c : SourceEngineClasses()) all.push_back(c->GetClassName());
  auto first = [&all](const std::string& APart) {
    for (size_t i = 0; i < all.size(); ++i)
      if (all[i].find(APart) != std::string::npos) return static_cast<int>(i);
    return -1;
  };
  auto last = [&all](const std::string& APart) {
    for (size_t i = all.size(); i-- > 0;)
      if (all[i].find(APart) != std::string::npos) return static_cast<int>(i);
    return -1;
  };
  // Each unit's classes follow one another, in unit order; the units of
  // other platforms take their places between them once they exist.
  const char* order[] = {"AmstradCPC", "AppleII", "BK0010", "Commodore64", "Okean240", "Oric",
                         "PC8000",     "PlayStation", "ScorpiorGMX", "SegaMasterSystem", "Meka"};
  int before = -1;
  for (const char* unit : order) {
    const int f = first(unit);
    if (f < 0) continue;
    EXPECT_GT(f, before) << unit;
    before = last(unit);
  }
  EXPECT_EQ(last("Commodore64") - first("Commodore64"), 8);
  EXPECT_EQ(first("Meka"), first("SegaMasterSystem") + 1);
}

// Every importer of these platforms, in registration order.
std::vector<const TKvSourceEngineClass*> ImportOnlyClasses() {
  std::vector<const TKvSourceEngineClass*> r = Commodore64SourceEngineClasses();
  r.insert(r.end(), {&SourceEngineClass<TKvAppleIIEngine>(), &SourceEngineClass<TKvOricEngine>(),
                     &SourceEngineClass<TKvPlayStationSourceEngine>(),
                     &SourceEngineClass<TKvSegaMasterSystemEngine>(), &SourceEngineClass<TKvMekaSnapshotEngine>()});
  return r;
}

int CandidateCount(const std::string& AName, const std::vector<uint8_t>& AData) {
  TKvMemoryLoadSource src(AName, AData.data(), static_cast<int32_t>(AData.size()), false);
  return src.MatchEngines(ImportOnlyClasses())->GetCount();
}

TEST(KvImportOnlyPlatforms, BadInputGivesNoCandidate) {
  auto shortTim = SmallTim();
  shortTim.pop_back();
  auto wideClut = SmallTim();
  wideClut[8 + 8] = 0;  // CLUT width 256 for a 4-bit picture
  wideClut[8 + 9] = 1;
  auto msbmpLonger = Msbmp();
  msbmpLonger.push_back(0);
  auto msbmpShorter = Msbmp();
  msbmpShorter.pop_back();
  auto noTerminator = C64PackedFile(0x6000, 20001, 0x11, false);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  } cases[] = {
      {"a.gg", noTerminator},
      {"a.gg", C64PackedFile(0x6000, 10000, 0x11, false)},
      {"a.ami", C64PackedFile(0x4000, 20001, 0x11, false, 0xC2)},
      {"a.jj", C64PackedFile(0x5C00, 9023, 0x11, false)},
      {"a.tim", shortTim},
      {"a.tim", wideClut},
      {"a.sbm", msbmpLonger},
      {"a.sbm", msbmpShorter},
      {"a.sbm", {}},
      {"a.tim", {}},
      {"a.gg", {}},
      {"a.s00", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CandidateCount(c.Name, c.Data), 0) << c.Name << " " << c.Data.size();
  }
  // A savestate cut anywhere inside its blocks.
  const auto meka = Meka(13);
  for (size_t cut = 0; cut < meka.size(); cut += 997) {
    std::vector<uint8_t> d(meka.begin(), meka.begin() + static_cast<long>(cut));
    EXPECT_EQ(CandidateCount("a.s00", d), 0) << cut;
  }
  EXPECT_EQ(CandidateCount("a.s00", std::vector<uint8_t>(meka.begin(), meka.end() - 1)), 0);
}

TEST(KvImportOnlyPlatforms, PackedDataNeverOverrunsItsBuffer) {
  // Far more data than the plain layouts hold: unpacking stops at their size.
  for (const auto& [name, data, cls] :
       {std::tuple{"a.gg", C64PackedFile(0x6000, 20000, 0x11, false), "TKvCommodore64LoResGgEngine"},
        std::tuple{"a.ami", C64PackedFile(0x4000, 20000, 0x11, false, 0xC2), "TKvCommodore64LoResAmiEngine"},
        std::tuple{"a.jj", C64PackedFile(0x5C00, 20000, 0x11, false), "TKvCommodore64HiResJJEngine"}}) {
    TKvProbe p(name, data);
    TKvSourceEngine* e = p.Find(cls);
    ASSERT_TRUE(e) << name;
    EXPECT_EQ(e->MatchFlags, 3);
    auto b = e->Decode();
    // 0x11 everywhere: colour 1 whichever bit or pair is read.
    EXPECT_EQ(b->GetPixel(0, 199), 1) << name;
  }
}

TEST(KvImportOnlyPlatforms, MutatedFilesDecodeOrAreRefused) {
  // Valid files of every format, then cut and with bytes changed: whatever
  // the probe offers must decode without reading outside the file.
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> seeds = {
      {"a.hgr", std::vector<uint8_t>(8192, 0xAA)}, {"a.hir", std::vector<uint8_t>(8000, 0x47)},
      {"a.kla", C64File(10003, 0x6000, 0x6C)},    {"a.pmg", C64File(9332, 0x3F8E, 0x6C)},
      {"a.hlf", C64File(24578, 0x2000, 0x6C)},    {"a.lp3", C64File(4174, 0x1800, 0x6C)},
      {"a.gg", C64PackedFile(0x6000, 10001, 0x11, false)},            {"a.ami", C64PackedFile(0x4000, 10001, 0x11, false, 0xC2)},
      {"a.jj", C64PackedFile(0x5C00, 9216, 0x11, false)},             {"a.tim", SmallTim()},
      {"a.sbm", Msbmp()},                         {"a.s00", Meka(12)},
  };
  std::mt19937 LRandom(33);
  int LDecoded = 0;
  for (const auto& [name, seed] : seeds)
    for (int v = 0; v < 12; ++v) {
      std::vector<uint8_t> d = seed;
      if (v % 3 == 0) d.resize(LRandom() % (d.size() + 1));
      const int flips = 1 + static_cast<int>(LRandom() % 8);
      for (int f = 0; f < flips && !d.empty(); ++f) {
        // Mostly in the headers, where sizes and offsets live.
        const size_t at = (LRandom() % 2) ? LRandom() % std::min<size_t>(d.size(), 80) : LRandom() % d.size();
        d[at] = static_cast<uint8_t>(LRandom());
      }
      TKvMemoryLoadSource src(name, d.data(), static_cast<int32_t>(d.size()), false);
      auto list = src.MatchEngines(ImportOnlyClasses());
      for (int i = 0; i < list->GetCount(); ++i) {
        TKvSourceEngine* e = list->GetEngine(i);
        auto b = e->Decode();
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->Width, e->Width) << name;
        EXPECT_EQ(b->Height, e->Height) << name;
        for (int k = 0; k < e->GetPaletteVariantCount(); ++k) {
          TKvPalette256 pal;
          e->GetVariantPalette(k, pal);
        }
        ++LDecoded;
      }
    }
  EXPECT_GT(LDecoded, 50);
}

}  // namespace
