#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformAgat.h"
#include "platforms/KvPlatformAgat.h"
#include "platforms/KvSavePlatformAgat.h"

namespace {

const char* const Full = "TKvAgatSourceEngine";

// A full file of data length L with the mode and kind bytes, the data
// filled with AFill.
std::vector<uint8_t> FilFile(int L, uint8_t AMode, uint8_t AKind, uint8_t AFill = 0) {
  std::vector<uint8_t> d(size_t(L) + 296, AFill);
  InitAgatFilHeader(d.data(), uint16_t(L));
  InitAgatFilTrailer(d.data() + 44 + L, AMode, AKind, "");
  return d;
}

std::vector<uint8_t> ShortFile(int L, uint8_t AFill = 0) {
  std::vector<uint8_t> d(size_t(L) + 44, AFill);
  InitAgatFilHeader(d.data(), uint16_t(L));
  return d;
}

bool HasAgat(const TKvProbe& AProbe) {
  for (const std::string& c : AProbe.Classes())
    if (c.find("TKvAgat") != std::string::npos) return true;
  return false;
}

TEST(KvOpenPlatformAgat, ProbeRanking) {
  {
    TKvProbe p("picture.fil", FilFile(2048, 64, 0));
    ASSERT_EQ(p.Position(Full), 0);
    EXPECT_EQ(p.Flags(Full), 11);
    EXPECT_EQ(p.Find("TKvAgatSource64x64x4Engine"), nullptr);
    TKvProbe q("picture.dat", FilFile(2048, 64, 0));
    EXPECT_EQ(q.Flags(Full), 9);
  }
  {
    auto d = FilFile(2048, 64, 0);
    d.resize(2092);
    TKvProbe p("picture.fil", d);
    EXPECT_EQ(p.Find(Full), nullptr);
    EXPECT_EQ(p.Flags("TKvAgatSource64x64x4Engine"), 11);
  }
  {
    TKvProbe p("picture.fil", ShortFile(8192));
    const int a = p.Position("TKvAgatSource128x128x4Engine"), b = p.Position("TKvAgatSource256x256x1Engine");
    ASSERT_GE(a, 0);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(p.Flags("TKvAgatSource128x128x4Engine"), 11);
    EXPECT_EQ(p.Flags("TKvAgatSource256x256x1Engine"), 11);
  }
  // Mode 16 takes any kind.
  for (int kind : {0, 7, 224, 255}) {
    TKvProbe p("a.fil", FilFile(8192, 16, uint8_t(kind)));
    EXPECT_EQ(p.Flags(Full), 11) << kind;
  }
}

// The Agat, Corvette, Lvov and Okean-240 importers among all registered
// ones: each unit's classes in their order, the units in theirs.
TEST(KvOpenPlatformAgat, RegistrationOrderWithCorvetteLvovOkean) {
  InitializeImporters();
  std::vector<std::string> got;
  for (const TKvSourceEngineClass* c : SourceEngineClasses()) {
    const std::string n = c->GetClassName();
    for (const char* unit : {"TKvAgat", "TKvCorvette", "Lvov", "TKvOkean240"})
      if (n.find(unit) != std::string::npos) got.push_back(n);
  }
  const std::vector<std::string> expected = {
      "TKvAgatSourceEngine",          "TKvAgatSource64x64x4Engine",   "TKvAgatSource128x128x4Engine",
      "TKvAgatSource128x256x4Engine", "TKvAgatSource256x256x1Engine", "TKvAgatSource256x256x2Engine",
      "TKvAgatSource512x256x1Engine", "TKvCorvetteGrfEngine",         "TKvCorvettePicEngine",
      "TKvCorvetteWinEngine",         "KvOpenPlatformLvov::TKvLvovEngine", "TKvOkean240SourceEngine",
      "TKvOkean240ExSourceEngine",    "TKvOkean240BWSourceEngine",    "TKvOkean240BWExSourceEngine"};
  EXPECT_EQ(got, expected);
}

TEST(KvOpenPlatformAgat, BadInputGivesNoCandidate) {
  std::vector<std::vector<uint8_t>> bad = {
      {},
      std::vector<uint8_t>(43, 0),
      FilFile(2048, 77, 0),   // mode of another length
      FilFile(2048, 64, 16),  // an Agat-9 kind for Agat-7
      FilFile(8192, 80, 224), // the HAM kind needs the band palettes
      FilFile(8960, 80, 0),
      FilFile(16384, 96, 224),
      FilFile(4000, 64, 0),
  };
  auto longer = FilFile(2048, 64, 0);
  longer.push_back(0);
  bad.push_back(longer);
  auto shorter = FilFile(2048, 64, 0);
  shorter.pop_back();
  bad.push_back(shorter);
  auto nomark = FilFile(2048, 64, 0);
  nomark[44 + 2048] = 0;
  bad.push_back(nomark);
  auto s1 = ShortFile(2048);
  s1.push_back(0);
  bad.push_back(s1);
  auto s2 = ShortFile(16384);
  s2.pop_back();
  bad.push_back(s2);
  for (size_t i = 0; i < bad.size(); ++i) {
    TKvProbe p("a.fil", bad[i]);
    EXPECT_FALSE(HasAgat(p)) << i;
  }
}

TEST(KvOpenPlatformAgat, DescriptionsAndPaletteKinds) {
  struct {
    std::vector<uint8_t> Data;
    const char* Class;
    const char* Description;
    std::vector<TKvPaletteType> Types;
    uint8_t Aspect;
  } cases[] = {
      {FilFile(2048, 64, 0, 0x77), Full, "Agat 64x64x3 color image", {ptColored8, ptColored16}, 13},
      {FilFile(2048, 64, 0, 0x78), Full, "Agat 64x64x4 color image", {}, 13},
      {FilFile(2048, 64, 128, 0x11), Full, "Agat 64x64x3 gray image", {ptGray8, ptGray16}, 13},
      {FilFile(4096, 77, 240), Full, "Agat 64x64x8 palette gigascreen image", {}, 13},
      {FilFile(8960, 80, 224), Full, "Agat 128x128x4 palette HAM image", {}, 13},
      {FilFile(16384, 96, 144), Full, "Agat 256x256x2 gray image", {}, 13},
      {FilFile(32768, 109, 16), Full, "Agat 256x256x4 color gigascreen image", {}, 13},
      {FilFile(32768, 125, 9), Full, "Agat 512x256x2 B/W gigascreen image", {}, 7},
      {FilFile(32768, 141, 0, 0x80), Full, "Agat 128x256x8 color gigascreen image", {}, 19},
      {ShortFile(2048), "TKvAgatSource64x64x4Engine", "Agat 64x64x3 image",
       {ptColored8, ptColored16, ptGray8, ptGray16}, 13},
      {ShortFile(16384, 0xF0), "TKvAgatSource128x256x4Engine", "Agat 128x256x4 image", {ptColored16, ptGray16}, 19},
      {ShortFile(16384), "TKvAgatSource256x256x2Engine", "Agat 256x256x2 image",
       {ptColoredBRGB, ptColoredWRGB, ptGrayBRGB, ptGrayWRGB}, 13},
      {ShortFile(16384), "TKvAgatSource512x256x1Engine", "Agat 512x256x1 B/W image", {}, 7},
  };
  for (auto& c : cases) {
    TKvProbe p("a.fil", c.Data);
    TKvSourceEngine* e = p.Find(c.Class);
    ASSERT_NE(e, nullptr) << c.Description;
    EXPECT_EQ(e->Description, c.Description);
    EXPECT_EQ(e->PaletteTypes, c.Types) << c.Description;
    EXPECT_EQ(e->PixelAspect, c.Aspect) << c.Description;
    EXPECT_NE(e->Decode(), nullptr);
  }
  auto d = FilFile(2048, 64, 0);
  InitAgatFilTrailer(d.data() + 44 + 2048, 64, 0, "  Hello  ");
  TKvProbe p("a.fil", d);
  EXPECT_EQ(p.Find(Full)->Comment, "Hello");
}

TEST(KvOpenPlatformAgat, GigascreenPixelsAreMixtureIndexes) {
  // Frame 1 colour 3, frame 2 colour 5 at pixel (0, 0); no bright pixel,
  // so "8 colors": 64 mixtures, pixel 3 * 8 + 5.
  auto d = FilFile(4096, 77, 0);
  d[44] = 0x30;
  d[44 + 2048] = 0x50;
  TKvProbe p("a.fil", d);
  TKvSourceEngine* e = p.Find(Full);
  auto b = e->Decode();
  EXPECT_EQ(e->Palette->Count, 64);
  EXPECT_EQ(e->Palette2->Count, 8);
  EXPECT_EQ(b->GetPixel(0, 0), 29);
  EXPECT_EQ(b->GetFrames()->GetBitmap(0)->GetPixel(0, 0), 3);
  EXPECT_EQ(b->GetFrames()->GetBitmap(1)->GetPixel(0, 0), 5);
  e->PaletteType = ptColored16;
  b = e->Decode();
  EXPECT_EQ(e->Palette->Count, 256);
  EXPECT_EQ(b->GetPixel(0, 0), 0x35);
}

const TKvDestEngineClass& AgatClass(int AIndex) {
  InitializeImporters();
  TKvDestEngineList& list = DestEngineList();
  return *list.GetSubTypes(list.IndexOf("Agat")).GetObject(AIndex);
}

int ColourDiffs(TKvBitmap& A, TKvBitmap& B) {
  if (A.Width != B.Width || A.Height != B.Height) return -1;
  return CountColorDiffs(A, B);
}

// Opens a written file as the best candidate; a file whose palette kind the
// importer guessed differently is switched to the converter's kind.
std::unique_ptr<TKvBitmap> OpenBest(TKvProbe& AProbe, uint8_t APaletteType) {
  TKvSourceEngine* e = AProbe.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), Full);
  if (std::find(e->PaletteTypes.begin(), e->PaletteTypes.end(), APaletteType) != e->PaletteTypes.end())
    e->PaletteType = static_cast<TKvPaletteType>(APaletteType);
  return e->Decode();
}

// The written file, and for a two-frame mode each frame file, read back
// through the importer, shows the preview (and its frames) colour for
// colour.
void ExpectFilesShowPreview(const TKvConversion& r, uint8_t APaletteType) {
  TKvStream& s = *r.Streams->GetStream(0);
  TKvProbe p("picture.fil", std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + s.GetSize()));
  auto b = OpenBest(p, APaletteType);
  EXPECT_EQ(ColourDiffs(*b, *r.Preview), 0);
  if (s.GetSubStreamCount() == 0) return;
  for (int k = 0; k < 2; ++k) {
    TKvStream& f = *s.GetSubStream(k);
    TKvProbe q(k ? "picture.1.fil" : "picture.0.fil",
                       std::vector<uint8_t>(f.GetMemory(), f.GetMemory() + f.GetSize()));
    auto fb = OpenBest(q, APaletteType);
    EXPECT_EQ(ColourDiffs(*fb, *r.Preview->GetFrames()->GetBitmap(k)), 0) << "frame " << k;
  }
}

TEST(KvOpenPlatformAgat, RoundTripsOfEveryMode) {
  struct {
    int Mode;
    uint8_t Type;
    TKvPaletteMode PaletteMode;
  } cases[] = {
      {0, ptColored16, pmColor},
      {0, ptColored8, pmColor},
      {0, ptColored15, pmColor},
      {0, ptGray16, pmGray},
      {0, ptColored4096, pmColor},
      {0, ptColored4096, pmBlackWhite},
      {0, ptColored4096, pmGray},
      {1, ptColored16, pmColor},
      {1, ptColored8, pmColor},
      {1, ptColored4096, pmColor},
      {1, ptColored4096, pmGray},
      {2, ptGray8, pmColor},
      {3, ptColored16, pmColor},
      {4, 0, pmBlackWhite},
      {5, ptColored16, pmColor},
      {6, ptColored16, pmGray},
      {7, 0, pmBlackWhite},
      {8, 0, pmBlackWhite},
      {9, ptColoredBRGB, pmColorBright},
      {9, ptColoredWRGB, pmColor},
      {9, ptGrayWRGB, pmGray},
      {9, ptColored4096, pmColor},
      {10, ptColoredBRGB, pmColorBright},
      {10, ptGrayBRGB, pmColor},
      {10, ptColored4096, pmGray},
      {10, ptColoredBRGB, pmGray},
      {1, ptGray16, pmGray},
      {11, 0, pmBlackWhite},
      {12, 0, pmBlackWhite},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Mode) + " " + std::to_string(c.Type) + " " + std::to_string(int(c.PaletteMode)));
    const TKvAgatMode& m = AgatModes[c.Mode];
    auto pic = GradientPicture(m.Width, m.Height, uint32_t(40 + c.Mode));
    auto r = ConvertPicture(AgatClass(c.Mode), *pic, [&](TKvDestEngineOptions& o) {
      if (c.Type) {
        o.SetPaletteType(c.Type);
        o.SetPaletteMode(c.PaletteMode);
      }
      o.UpdatePalette();
    });
    ExpectFilesShowPreview(r, c.Type);
  }
}

// A palette with no colour on the 4-bit grid the file stores.
void FillOffGridPalette(TKvPalette256& p) {
  for (auto c : {StdRGBColor(0x08, 0x10, 0x18), StdRGBColor(0xF7, 0xEE, 0xE0), StdRGBColor(0x9A, 0x3B, 0x2C),
                 StdRGBColor(0x2A, 0x6F, 0xB5)})
    p.AddStdRGB(c);
}

// Every palette kind and mode the two-frame panels offer, at no, some and
// any flicker, and "4096 colors" with fixed colours off the file's grid in
// every mode that takes them: the files read back show the preview.
TEST(KvOpenPlatformAgat, WrittenFilesShowThePreviewWithFlickerLimitsAndFixedColours) {
  const std::vector<uint8_t> agat7 = {ptGray8, ptGray16, ptColored8, ptColored16, ptColored4096};
  const std::vector<uint8_t> agat9 = {ptGrayBRGB, ptGrayWRGB, ptColoredBRGB, ptColoredWRGB, ptColored4096};
  struct {
    int Mode;
    std::vector<uint8_t> Types;
    std::vector<TKvPaletteMode> PaletteModes;
  } modes[] = {
      {1, agat7, {pmGray, pmColor}}, {3, agat7, {pmGray, pmColor}},
      {6, agat7, {pmGray, pmColor}}, {10, agat9, {pmGray, pmColorBright, pmColor}},
      {8, {0}, {pmBlackWhite}},      {12, {0}, {pmBlackWhite}},
  };
  TKvPalette256 offGrid;
  FillOffGridPalette(offGrid);
  auto check = [](int AMode, uint8_t AType, TKvPaletteMode APaletteMode, int ALimit, const TKvPalette256* AFixed) {
    SCOPED_TRACE(std::to_string(AMode) + " " + std::to_string(AType) + " " + std::to_string(int(APaletteMode)) + " " +
                 std::to_string(ALimit) + (AFixed ? " fixed" : ""));
    const TKvAgatMode& m = AgatModes[AMode];
    auto pic = GradientPicture(m.Width, m.Height, uint32_t(60 + AMode));
    auto r = ConvertPicture(AgatClass(AMode), *pic, [&](TKvDestEngineOptions& o) {
      if (AType) {
        o.SetPaletteType(AType);
        o.SetPaletteMode(APaletteMode);
      }
      o.SetMaxFlickering(ALimit);
      if (AFixed) o.SetFixedPalette(AFixed);
      o.UpdatePalette();
    });
    ExpectFilesShowPreview(r, AType);
  };
  for (auto& m : modes)
    for (uint8_t t : m.Types)
      for (TKvPaletteMode pm : m.PaletteModes)
        for (int limit : {0, 50, 100}) check(m.Mode, t, pm, limit, nullptr);
  struct {
    int Mode;
    std::vector<TKvPaletteMode> PaletteModes;
  } fixed[] = {{0, {pmBlackWhite, pmGray, pmColor}},
               {9, {pmBlackWhite, pmGray, pmColorBright, pmColor}},
               {1, {pmGray, pmColor}},
               {10, {pmGray, pmColorBright, pmColor}}};
  for (auto& f : fixed)
    for (TKvPaletteMode pm : f.PaletteModes)
      for (int limit : {0, 50, 100}) check(f.Mode, ptColored4096, pm, limit, &offGrid);
}

TEST(KvOpenPlatformAgat, SixteenColourFileWithoutBrightPixelsOpensAsEight) {
  auto pic = SolidPicture(64, 64, 0xD90000);
  auto r = ConvertPicture(AgatClass(0), *pic, [](TKvDestEngineOptions& o) { o.UpdatePalette(); });
  TKvStream& s = *r.Streams->GetStream(0);
  TKvProbe p("picture.fil", std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + s.GetSize()));
  TKvSourceEngine* e = p.Find(Full);
  EXPECT_EQ(e->Description, "Agat 64x64x3 color image");
  auto b = e->Decode();
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(255, 0, 0));
  e->PaletteType = ptColored16;
  b = e->Decode();
  EXPECT_EQ(ColourDiffs(*b, *r.Preview), 0);
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(0xD9, 0, 0));
}

TEST(KvOpenPlatformAgat, HAMWithFewColoursDecodesIndexed) {
  auto d = FilFile(8960, 80, 224);
  for (int b = 0; b < 32; ++b) {
    uint8_t* rec = d.data() + 44 + 8192 + 24 * b;
    rec[3] = 15, rec[4] = 15, rec[5] = 15;  // colour 1 white, the rest black
  }
  d[44] = 0x10;
  d[44 + 8 * 64] = 0x99;
  TKvProbe p("a.fil", d);
  auto b = p.Find(Full)->Decode();
  EXPECT_EQ(b->BitCount, 4);
  EXPECT_EQ(p.Find(Full)->Palette->Count, 2);
  EXPECT_EQ(b->GetPixelStdRGB(0, 0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(b->GetPixelStdRGB(0, 8), StdRGBColor(255, 255, 255));
  EXPECT_EQ(b->GetPixelStdRGB(1, 8), StdRGBColor(255, 255, 255));
}

}  // namespace
