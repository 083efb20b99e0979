#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"
#include "importers/KvOpenPlatformScorpionGMX.h"
#include "platforms/KvPlatformScorpionGMX.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

// Every registered importer asked, without the container unwrapping.
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, TKvTestBytes ABytes) : TKvProbe(AName, std::move(ABytes), Registered()) {}
  static const std::vector<const TKvSourceEngineClass*>& Registered() {
    InitializeImporters();
    return SourceEngineClasses();
  }
};

std::vector<uint8_t> Gmx160File() {
  std::vector<uint8_t> d(16128, 0);
  InitGmxHeader(d.data());
  return d;
}

// Other platforms' readings of the same size may join the list; only the
// GMX classes' flags, and their first place with the ".c" extension, are
// checked.
TEST(KvOpenPlatformScorpionGMX, ProbeRanking) {
  const std::string k640 = "TKvScorpiorGMX640Engine", k160 = "TKvScorpiorGMX160Engine";
  struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const std::string* Class;  // nullptr: neither GMX class
    TKvMatchFlags Flags;
  } cases[] = {
      {"x.c", std::vector<uint8_t>(32768, 0x5A), &k640, mfSize | mfExtension},
      {"x.dat", std::vector<uint8_t>(32768, 0x5A), &k640, mfSize},
      {"x.c", Gmx160File(), &k160, mfHeader | mfSize | mfExtension},
      {"x.dat", Gmx160File(), &k160, mfHeader | mfSize},
      {"x.c", std::vector<uint8_t>(16128, 0), nullptr, 0},
      {"x.c", std::vector<uint8_t>(32767, 0), nullptr, 0},
      {"x.c", std::vector<uint8_t>(32769, 0), nullptr, 0},
      {"x.c", std::vector<uint8_t>(), nullptr, 0},
  };
  for (auto& c : cases) {
    TProbe p(c.Name, c.Bytes);
    SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.Bytes.size()));
    TKvSourceEngine* e640 = p.Find(k640);
    TKvSourceEngine* e160 = p.Find(k160);
    if (!c.Class) {
      EXPECT_EQ(e640, nullptr);
      EXPECT_EQ(e160, nullptr);
      continue;
    }
    TKvSourceEngine* e = *c.Class == k640 ? e640 : e160;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->MatchFlags, c.Flags);
    EXPECT_EQ(*c.Class == k640 ? e160 : e640, nullptr);
    // With its own extension it is the best candidate.
    if (c.Flags & mfExtension) {
      EXPECT_EQ(p.List->GetEngine(0), e);
    }
  }
  // A damaged header byte drops the 160 reading.
  for (int i = 0; i < 5; ++i) {
    auto d = Gmx160File();
    d[i] ^= 0x20;
    EXPECT_EQ(TProbe("x.c", d).Find(k160), nullptr) << i;
  }
}

TEST(KvOpenPlatformScorpionGMX, Decode640) {
  std::vector<uint8_t> d(32768, 0);
  d[0] = 0x80;                            // pixel (0, 0) ink
  d[16384] = ZxAttribute(1, 6);           // paper blue, ink yellow
  d[199 * 80 + 79] = 0x01;                // pixel (639, 199) ink
  d[16384 + 199 * 80 + 79] = 0x47 | 0x80; // bright white ink on bright black, flash ignored
  TProbe p("x.c", d);
  TKvSourceEngine* e = p.Find("TKvScorpiorGMX640Engine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "Scorpion GMX 640x200x4 image");
  EXPECT_EQ(e->PixelAspect, 1);
  EXPECT_EQ(e->PaletteTypes, (std::vector<TKvPaletteType>{ptPulsar, ptColoredLinear, ptAlone}));
  EXPECT_EQ(e->PaletteType, ptColoredLinear);
  auto b = e->Decode();
  ASSERT_EQ(b->BitCount, 4);
  ASSERT_EQ(b->Width, 640);
  ASSERT_EQ(b->Height, 200);
  EXPECT_EQ(b->GetPixel(0, 0), 6);
  EXPECT_EQ(b->GetPixel(1, 0), 1);
  EXPECT_EQ(b->GetPixel(8, 0), 0);
  EXPECT_EQ(b->GetPixel(639, 199), 15);
  EXPECT_EQ(b->GetPixel(638, 199), 8);
  e->PaletteType = ptAlone;
  b = e->Decode();
  TKvPalette256 ref;
  BuildZxSpectrumPalette(ref, ptAlone);
  EXPECT_TRUE(b->Palette->SameColors(&ref));
}

TEST(KvOpenPlatformScorpionGMX, Decode160) {
  auto d = Gmx160File();
  d[128] = 0x40 | (2 << 3) | 5;      // bright: left red, right cyan
  d[128 + 199 * 80 + 79] = (6 << 3) | 1;
  TProbe p("x.c", d);
  TKvSourceEngine* e = p.Find("TKvScorpiorGMX160Engine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "Scorpion GMX 160x200x4 image");
  EXPECT_EQ(e->PixelAspect, 17);
  auto b = e->Decode();
  ASSERT_EQ(b->Width, 160);
  ASSERT_EQ(b->Height, 200);
  EXPECT_EQ(b->GetPixel(0, 0), 10);
  EXPECT_EQ(b->GetPixel(1, 0), 13);
  EXPECT_EQ(b->GetPixel(2, 0), 0);
  EXPECT_EQ(b->GetPixel(158, 199), 6);
  EXPECT_EQ(b->GetPixel(159, 199), 1);
}

}  // namespace
