#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformTimex.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "importers/KvOpenPlatformZxSpectrumUlaPlus.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

using Names = std::vector<std::string>;

constexpr TKvMatchFlags kOwn = mfSize | mfExtension;

// The class names of the Timex and ULAplus units.
bool IsTimexOrUlaPlus(const std::string& AName) {
  for (auto* list : {&TimexSourceEngineClasses(), &ZxSpectrumUlaPlusSourceEngineClasses()})
    for (const TKvSourceEngineClass* c : *list)
      if (c->GetClassName() == AName) return true;
  return false;
}

bool Registered(const std::string& AName) {
  InitializeImporters();
  for (const TKvSourceEngineClass* c : SourceEngineClasses())
    if (c->GetClassName() == AName) return true;
  return false;
}

// Candidates of a probe whose class is one of the named, in offered order.
Names Offered(const TKvProbe& AProbe, const Names& ANamed) {
  Names r;
  for (const std::string& n : AProbe.Classes())
    if (std::find(ANamed.begin(), ANamed.end(), n) != ANamed.end()) r.push_back(n);
  return r;
}

TEST(KvOpenPlatformTimexUlaPlus, ProbeRanking) {
  const std::string giga = "TKvZxSpectrumBWGigaEngine";  // ".lcm", once its unit has it
  const bool withGiga = Registered(giga);
  const std::string hi = "TKvTimexEngine", mlt = "TKvZxSpectrumMulticolorMLTEngine",
                    mc = "TKvZxSpectrumMulticolorMCEngine";
  struct Case {
    const char* Name;
    size_t Size;
    Names Expected;  // among the named classes, best first; the first carries kOwn when AOwn
    bool Own;
  } cases[] = {
      {"x.scr", 12288, {hi, mlt, mc, giga}, true},
      {"x.bin", 12288, {hi, mlt, mc, giga}, false},
      {"x.mlt", 12288, {mlt, hi, mc, giga}, true},
      {"x.lce", 24576, {"TKvTimexInterlacedEngine"}, true},
      {"x.scr", 12289, {"TKvTimexBWEngine"}, true},
      {"x.hgr", 24578, {"TKvTimexBWGigaEngine"}, true},
      {"x.scr", 6976, {"TKvZxSpectrumUlaPlusEngine"}, true},
      {"x.scr", 12352, {"TKvTimexUlaPlusEngine"}, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.Size));
    Names expected;
    for (const std::string& n : c.Expected)
      if (n != giga || withGiga) expected.push_back(n);
    TKvProbe probe(c.Name, std::vector<uint8_t>(c.Size, 0x5A));
    EXPECT_EQ(Offered(probe, expected), expected);
    ASSERT_GT(probe.List->GetCount(), 0);
    // By size alone, readings of units registered earlier come first.
    if (c.Own) {
      EXPECT_EQ(probe.Classes()[0], expected[0]);
    }
    EXPECT_EQ(probe.Flags(expected[0]), c.Own ? kOwn : mfSize);
    for (size_t i = 1; i < expected.size(); ++i) EXPECT_EQ(probe.Flags(expected[i]), mfSize) << expected[i];
    // No other Timex or ULAplus reading is offered.
    for (const std::string& n : probe.Classes())
      if (IsTimexOrUlaPlus(n)) {
        EXPECT_NE(std::find(expected.begin(), expected.end(), n), expected.end()) << n;
      }
  }
}

TEST(KvOpenPlatformTimexUlaPlus, WrongSizesGiveNoCandidate) {
  for (size_t size : {size_t(0), size_t(12287), size_t(12290), size_t(24575), size_t(24577), size_t(24579),
                      size_t(6975), size_t(6977), size_t(12351), size_t(12353)}) {
    TKvProbe probe("x.scr", std::vector<uint8_t>(size, 0));
    for (auto* list : {&TimexSourceEngineClasses(), &ZxSpectrumUlaPlusSourceEngineClasses()})
      for (const TKvSourceEngineClass* c : *list) EXPECT_EQ(probe.Position(c->GetClassName()), -1) << size;
  }
  // One byte more than hi-colour is hi-res, one less than hi-res is hi-colour.
  EXPECT_EQ(TKvProbe("x.scr", std::vector<uint8_t>(12289, 0)).Classes()[0], "TKvTimexBWEngine");
  EXPECT_EQ(TKvProbe("x.scr", std::vector<uint8_t>(12288, 0)).Classes()[0], "TKvTimexEngine");
}

TEST(KvOpenPlatformTimexUlaPlus, DescriptionsAndPaletteTypes) {
  struct {
    const char* Name;
    size_t Size;
    const char* Description;
    int Width, Height;
    uint8_t Aspect;
    size_t Types;
  } cases[] = {
      {"x.scr", 12288, "Timex 256x192x4 image", 256, 192, 10, 3},
      {"x.lce", 24576, "Timex 256x384x4 interlaced image", 256, 384, 17, 3},
      {"x.scr", 12289, "Timex 512x192x1 B/W image", 512, 192, 1, 0},
      {"x.hgr", 24578, "Timex 512x192x2 gigascreen image", 512, 192, 1, 0},
      {"x.scr", 6976, "ZX Spectrum 256x192x4 ULAPlus image", 256, 192, 10, 3},
      {"x.scr", 12352, "Timex 256x192x4 ULAPlus image", 256, 192, 10, 3},
  };
  for (auto& c : cases) {
    TKvProbe probe(c.Name, std::vector<uint8_t>(c.Size, 0));
    TKvSourceEngine* e = probe.List->GetEngine(0);
    EXPECT_EQ(e->Description, c.Description);
    EXPECT_EQ(e->PixelAspect, c.Aspect) << c.Description;
    EXPECT_EQ(e->PaletteTypes.size(), c.Types) << c.Description;
    auto b = e->Decode();
    EXPECT_EQ(b->Width, c.Width);
    EXPECT_EQ(b->Height, c.Height);
  }
  TKvProbe ula("x.scr", std::vector<uint8_t>(6976, 0));
  EXPECT_EQ(ula.List->GetEngine(0)->PaletteTypes, (std::vector<TKvPaletteType>{ptV10, ptV11, ptV11Gray}));
  EXPECT_EQ(ula.List->GetEngine(0)->PaletteType, ptV11);
}

// Attribute 0xC9 takes group 3: ink entry 49, paper entry 57; the gray
// version turns the colours gray and keeps the pixels.
TEST(KvOpenPlatformTimexUlaPlus, UlaPlusAttributesAndGray) {
  for (size_t size : {size_t(6976), size_t(12352)}) {
    std::vector<uint8_t> d(size, 0);
    ASSERT_EQ(d.size(), size);
    const size_t pal = size - 64;
    for (size_t i = 0; i < 64; ++i) d[pal + i] = static_cast<uint8_t>(i * 4 + 3);
    d[6144] = 0xC9;  // cell 0 of line 0 (and of the first 8 lines on the standard screen)
    d[0] = 0xF0;     // left half ink, right half paper
    TKvProbe probe("x.scr", d);
    TKvSourceEngine* e = probe.List->GetEngine(0);
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 0), 49);
    EXPECT_EQ(b->GetPixel(7, 0), 57);
    ASSERT_EQ(b->Palette->GetCount(), 64);
    TKvStdRGBColor c;
    DecodeUlaPlusColor(c, d[pal + 49], ptV11);
    EXPECT_EQ(b->Palette->GetStdRGB(49), c);
    e->PaletteType = ptV11Gray;
    auto g = e->Decode();
    for (int i = 0; i < 64; ++i) {
      const TKvStdRGBColor s = g->Palette->GetStdRGB(i);
      EXPECT_TRUE(s.R == s.G && s.G == s.B) << i;
    }
    EXPECT_EQ(g->GetPixel(0, 0), 49);
    EXPECT_EQ(g->GetPixel(7, 0), 57);
  }
}

TEST(KvOpenPlatformTimexUlaPlus, TimexScreens) {
  // Hi-colour: every pixel line has its own attribute line.
  std::vector<uint8_t> hc(12288, 0);
  hc[ZxRowOffset(1)] = 0x80;
  hc[6144 + ZxRowOffset(1)] = 0x4A;  // bright, paper 1, ink 2
  TKvProbe p1("x.scr", hc);
  auto b1 = p1.List->GetEngine(0)->Decode();
  EXPECT_EQ(b1->GetPixel(0, 1), 10);
  EXPECT_EQ(b1->GetPixel(1, 1), 9);
  EXPECT_EQ(b1->GetPixel(0, 0), 0);
  // Interlaced: line y of the second screen is picture line 2y + 1.
  std::vector<uint8_t> li(24576, 0);
  li[12288 + 6144 + ZxRowOffset(2)] = 0x38;  // paper 7
  TKvProbe p2("x.lce", li);
  auto b2 = p2.List->GetEngine(0)->Decode();
  EXPECT_EQ(b2->GetPixel(0, 5), 7);
  EXPECT_EQ(b2->GetPixel(0, 4), 0);
  // Hi-res: bits 3-5 of the mode byte give the ink, their complement the paper.
  for (uint8_t mode : {uint8_t(0x3E), uint8_t(0x06)}) {
    std::vector<uint8_t> hr(12289, 0);
    hr[12288] = mode;
    hr[6144] = 0x80;  // first pixel of the second 8-pixel column
    TKvProbe p3("x.scr", hr);
    auto b3 = p3.List->GetEngine(0)->Decode();
    const uint32_t paper = mode == 0x3E ? 0x000000u : 0xFFFFFFu, ink = paper ^ 0xFFFFFFu;
    EXPECT_EQ(b3->Palette->GetRGBQuad(b3->GetPixel(0, 0)), paper);
    EXPECT_EQ(b3->Palette->GetRGBQuad(b3->GetPixel(8, 0)), ink);
  }
}

}  // namespace
