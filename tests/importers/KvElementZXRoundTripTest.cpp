// eLeMeNt ZX: the converters' files, their round trips through the importer
// probe, the probe's ranking of the eLeMeNt readings and the layered pair.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "platforms/KvSavePlatformElementZX.h"

namespace {

const std::string kHrc = "KvOpenPlatformElementZX::TKvElementZXHRCEngine";
const std::string kHrxc = "KvOpenPlatformElementZX::TKvElementZXHRXCEngine";
const std::string kLayer = "KvOpenPlatformElementZX::TKvElementZXLayerHRXCEngine";

std::vector<uint8_t> FileOf(const TKvConversion& AConversion) {
  return std::vector<uint8_t>(AConversion.Bytes(0), AConversion.Bytes(0) + AConversion.Size(0));
}

// Pixels compared by index, or by colour.
int Differences(TKvBitmap& ADecoded, TKvBitmap& APreview, bool AColors) {
  return AColors ? CountColorDiffs(ADecoded, APreview) : CountIndexDiffs(ADecoded, APreview);
}

TKvSourceEngine* First(TKvProbe& AProbe, const std::string& AClass, TKvMatchFlags AFlags) {
  EXPECT_GT(AProbe.List->GetCount(), 0);
  if (AProbe.List->GetCount() == 0) return nullptr;
  TKvSourceEngine* e = AProbe.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AClass);
  EXPECT_EQ(e->MatchFlags, AFlags);
  return e;
}

TEST(KvElementZX, ModesInOrder) {
  InitializeImporters();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("eLeMeNt ZX");
  ASSERT_GE(p, 0);
  TKvDestSubTypes& modes = list.GetSubTypes(p);
  const char* names[] = {"256x192x4",     "256x192x4 Layed",       "512x192x4 HRC",
                         "512x192x4 HRC Layer", "512x192x4 HRXC", "512x192x4 HRXC Layed"};
  ASSERT_EQ(modes.GetCount(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(modes.GetString(i), names[i]);
  for (auto [platform, mode] : {std::pair{"ATM Turbo", "320x200x4"}, {"ATM Turbo", "640x200x4"}, {"Profi", "512x240x4"}})
    EXPECT_GE(list.GetSubTypes(list.IndexOf(platform)).IndexOf(mode), 0) << mode;
  // Each platform at its unit's place.
  EXPECT_LT(list.IndexOf("ATM Turbo"), list.IndexOf("eLeMeNt ZX"));
  EXPECT_LT(list.IndexOf("eLeMeNt ZX"), list.IndexOf("MSX"));
  EXPECT_LT(list.IndexOf("MSX"), list.IndexOf("Profi"));
  EXPECT_LT(list.IndexOf("Profi"), list.IndexOf("Scorpion GMX"));
}

// The palette index of pixel (x, y) read straight from the documented
// layout of a ".scr" (Spectrum rows, 8x8 cells) or ".hrc" (plain rows of 64
// bytes, 8x4 cells) file, without the importers: the ZX colour of the ink
// or paper, or for the attribute-less black-and-white file 1 (black) for a
// set bit.
int LayoutIndex(const std::vector<uint8_t>& d, bool AHrc, int x, int y) {
  const int c = x / 8;
  const int at = AHrc ? y * 64 + c : (((y & 7) << 8) | ((y & 0x38) << 2) | ((y & 0xC0) << 5)) + c;
  const int set = (d[static_cast<size_t>(at)] >> (7 - x % 8)) & 1;
  if (d.size() == 6144 || d.size() == 12288) return set;
  const int a = d[static_cast<size_t>(AHrc ? 12288 + (y / 4) * 64 + c : 6144 + (y / 8) * 32 + c)];
  return set ? (a & 7) + 8 * ((a >> 6) & 1) : ((a >> 3) & 7) + 8 * ((a >> 6) & 1);
}

TEST(KvElementZX, AttributeFilesAndRoundTrips) {
  TKvProcessorCountOverride one(1);
  auto scr = GradientPicture(256, 192, 4);
  auto hrc = GradientPicture(512, 192, 5);
  struct {
    const TKvDestEngineClass* Class;
    TBitmap32* Picture;
    TKvPaletteMode Mode;
    int64_t Size;
    const char* Name;
    std::string Importer;
    TKvMatchFlags Flags;
    bool Colors;
  } cases[] = {
      {&DestEngineClass<TKvElementZXSCREngine>(), scr.get(), pmBlackWhite, 6144, "a.scr", "TKvZxSpectrumBWEngine",
       mfSize | mfExtension, false},
      {&DestEngineClass<TKvElementZXSCREngine>(), scr.get(), pmColor, 6912, "a.scr", "TKvZxSpectrumColorEngine",
       mfSize | mfExtension, false},
      {&DestEngineClass<TKvElementZXSCREngine>(), scr.get(), pmGray, 6912, "a.scr", "TKvZxSpectrumColorEngine",
       mfSize | mfExtension, false},
      {&DestEngineClass<TKvElementZXHRCEngine>(), hrc.get(), pmBlackWhite, 12288, "a.hrc", kHrc, mfSize | mfExtension,
       true},
      {&DestEngineClass<TKvElementZXHRCEngine>(), hrc.get(), pmColor, 15360, "a.hrc", kHrc, mfSize | mfExtension, true},
      {&DestEngineClass<TKvElementZXHRCEngine>(), hrc.get(), pmGray, 15360, "a.hrc", kHrc, mfSize | mfExtension, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " mode " + std::to_string(c.Mode));
    auto r = ConvertPicture(*c.Class, *c.Picture, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(c.Mode); });
    ASSERT_EQ(r.Size(0), c.Size);
    TKvProbe probe(c.Name, FileOf(r));
    TKvSourceEngine* e = First(probe, c.Importer, c.Flags);
    ASSERT_NE(e, nullptr);
    auto decoded = e->Decode();
    EXPECT_EQ(Differences(*decoded, *r.Preview, c.Colors), 0);
    const auto file = FileOf(r);
    int layoutDiffs = 0;
    for (int y = 0; y < r.Preview->Height; ++y)
      for (int x = 0; x < r.Preview->Width; ++x)
        layoutDiffs += LayoutIndex(file, r.Preview->Width == 512, x, y) != r.Preview->GetPixel(x, y);
    EXPECT_EQ(layoutDiffs, 0) << "read from the layout";
    if (c.Colors) {
      EXPECT_EQ(Differences(*decoded, *r.Preview, false), 0);
    }
  }
  // The HRC attribute of cell (cx, cy) lies at 12288 + cy*64 + cx: a
  // picture of one colour on the right half only.
  auto half = SolidPicture(512, 192, 0x000000);
  for (int y = 0; y < 192; ++y)
    for (int x = 256; x < 512; ++x) *half->GetPixelPtr(x, y) = 0xFF00FF00u;
  auto r = ConvertPicture(DestEngineClass<TKvElementZXHRCEngine>(), *half);
  const uint8_t* d = r.Bytes(0);
  EXPECT_EQ(d[12288 + 5 * 64 + 40] & 0x3F, d[12288 + 47 * 64 + 63] & 0x3F);
  EXPECT_NE(d[12288 + 5 * 64 + 40] & 0x3F, d[12288 + 5 * 64 + 3] & 0x3F);
}

TEST(KvElementZX, HrxFiles) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(512, 192, 7);
  for (TKvPaletteMode mode : {pmColor, pmGray}) {
    SCOPED_TRACE(mode);
    auto r = ConvertPicture(DestEngineClass<TKvElementZXHRXCEngine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ASSERT_EQ(r.Size(0), 15456);
    const uint8_t* d = r.Bytes(0);
    TKvPalette256& pal = *r.Options->GetPalette();
    ASSERT_EQ(pal.Count, 32);
    // Blue first; paper at 15360, ink at 15408.
    for (int i = 0; i < 32; ++i) {
      const uint8_t* e = d + 15360 + 3 * i;
      EXPECT_EQ(StdRGBColor(e[2], e[1], e[0]), pal.GetStdRGB(i)) << i;
    }
    for (int i = 0; i < 3072; ++i) ASSERT_GE(d[12288 + i] >> 4, d[12288 + i] & 15) << i;
    if (mode == 11) {
      // 17 colours fill both palettes; paper 15 and ink 14 are one colour.
      EXPECT_EQ(pal.GetStdRGB(15), pal.GetStdRGB(16 + 14));
    }
    for (const char* name : {"p.hrxc", "p.hrx"}) {
      TKvProbe probe(name, FileOf(r));
      TKvSourceEngine* e = probe.Find(kHrxc);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(probe.Position(kHrxc), 0);
      auto decoded = e->Decode();
      EXPECT_EQ(Differences(*decoded, *r.Preview, true), 0);
    }
  }
  // The file read straight from its layout, without the importer: a set bit
  // shows the ink palette (15408) entry of the attribute's high nibble, a
  // clear bit the paper palette (15360) entry of its low nibble. Two
  // colours side by side in every cell, so swapped roles would show.
  {
    auto two = SolidPicture(512, 192, 0xFF0000);
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 512; ++x)
        if (x % 8 >= 4) *two->GetPixelPtr(x, y) = 0xFF0000FFu;
    auto t = ConvertPicture(DestEngineClass<TKvElementZXHRXCEngine>(), *two);
    const uint8_t* f = t.Bytes(0);
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 512; ++x) {
        const uint8_t a = f[12288 + (y / 4) * 64 + x / 8];
        const bool set = (f[y * 64 + x / 8] >> (7 - x % 8)) & 1;
        const uint8_t* e = f + (set ? 15408 + 3 * (a >> 4) : 15360 + 3 * (a & 15));
        ASSERT_EQ(StdRGBColor(e[2], e[1], e[0]), StdRGBColor(x % 8 >= 4 ? 0 : 255, 0, x % 8 >= 4 ? 255 : 0))
            << x << " " << y;
      }
  }
  // One colour: no pair to search; entry 0 of both palettes, attribute 0.
  auto solid = SolidPicture(512, 192, 0x336699);
  auto r = ConvertPicture(DestEngineClass<TKvElementZXHRXCEngine>(), *solid);
  const uint8_t* d = r.Bytes(0);
  for (int i = 0; i < 15360; ++i) ASSERT_EQ(d[i], 0) << i;
  EXPECT_EQ(StdRGBColor(d[15362], d[15361], d[15360]), StdRGBColor(0x33, 0x66, 0x99));
  EXPECT_EQ(StdRGBColor(d[15410], d[15409], d[15408]), StdRGBColor(0x33, 0x66, 0x99));
  for (int y = 0; y < 192; y += 37)
    for (int x = 0; x < 512; x += 41)
      EXPECT_EQ(r.Preview->Palette->GetStdRGB(r.Preview->GetPixel(x, y)), StdRGBColor(0x33, 0x66, 0x99));
}

// The layered modes and HRXC give the same pictures with one processor and
// several; the layered ones write no file.
TEST(KvElementZX, LayeredAndParallel) {
  auto scr = GradientPicture(256, 192, 8);
  auto hrc = GradientPicture(512, 192, 9);
  struct {
    const TKvDestEngineClass* Class;
    TBitmap32* Picture;
    TKvPaletteMode Mode;
    bool File;
  } cases[] = {{&DestEngineClass<TKvElementZXLayedSCREngine>(), scr.get(), pmColor, false},
               {&DestEngineClass<TKvElementZXLayedSCREngine>(), scr.get(), pmGray, false},
               {&DestEngineClass<TKvElementZXLayedHRCEngine>(), hrc.get(), pmColor, false},
               {&DestEngineClass<TKvElementZXLayedHRXCEngine>(), hrc.get(), pmColor, false},
               {&DestEngineClass<TKvElementZXHRXCEngine>(), hrc.get(), pmColor, true}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName() + " " + std::to_string(c.Mode));
    std::vector<int> first;
    std::vector<uint8_t> firstFile;
    for (int n : {1, 4}) {
      TKvProcessorCountOverride count(n);
      auto r = ConvertPicture(*c.Class, *c.Picture, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(c.Mode); });
      ASSERT_EQ(r.Streams != nullptr, c.File);
      std::vector<int> pixels;
      for (int y = 0; y < r.Preview->Height; ++y)
        for (int x = 0; x < r.Preview->Width; ++x) pixels.push_back(r.Preview->GetPixel(x, y));
      if (n == 1) {
        first = pixels;
        if (c.File) firstFile = FileOf(r);
      } else {
        EXPECT_EQ(pixels, first);
        if (c.File) {
          EXPECT_EQ(FileOf(r), firstFile);
        }
      }
    }
  }
  try {
    ConvertPicture(DestEngineClass<TKvElementZXLayedSCREngine>(), *scr,
                   [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
    ADD_FAILURE();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 87u);
  }
}

// A memory file with companions found by name.
class TKvPairSource : public TKvMemoryLoadSource {
public:
  TKvPairSource(const std::string& AName, const std::vector<uint8_t>& AData) :
      TKvMemoryLoadSource(AName, AData.data(), static_cast<int32_t>(AData.size()), false) {}
  const TKvLoadSourceRec* GetFile(const std::string& AName) override {
    auto it = Files.find(AName);
    return it == Files.end() ? nullptr : &it->second;
  }
  void Add(const std::string& AName, std::vector<uint8_t> AData) {
    TKvLoadSourceRec& r = Files[AName];
    r.Name = AName;
    r.Bytes = std::move(AData);
    r.Data = r.Bytes.data();
    r.Size = static_cast<int32_t>(r.Bytes.size());
  }
  std::map<std::string, TKvLoadSourceRec> Files;
};

std::vector<uint8_t> HrxcFile(uint8_t APixel, uint8_t AAttr, uint8_t AFirstColor) {
  std::vector<uint8_t> d(15456, 0);
  std::fill(d.begin(), d.begin() + 12288, APixel);
  std::fill(d.begin() + 12288, d.begin() + 15360, AAttr);
  for (int i = 0; i < 32; ++i) d[15360 + 3 * i] = static_cast<uint8_t>(AFirstColor + i);  // blue
  return d;
}

TEST(KvElementZX, ProbeRankingAndLayers) {
  InitializeImporters();
  // The eLeMeNt readings come before the Timex and ZX ones of the same size.
  for (const char* name : {"x.hrc", "x.dat"}) {
    TKvProbe probe(name, std::vector<uint8_t>(12288, 0x3C));
    EXPECT_EQ(probe.Flags(kHrc), std::string(name) == "x.hrc" ? (mfSize | mfExtension) : mfSize);
    const int at = probe.Position(kHrc);
    ASSERT_GE(probe.Position("TKvTimexEngine"), 0);
    for (const char* other : {"TKvTimexEngine", "TKvZxSpectrumMulticolorMLTEngine", "TKvZxSpectrumMulticolorMCEngine"})
      if (probe.Position(other) >= 0) {
        EXPECT_LT(at, probe.Position(other)) << name << " " << other;
      }
  }
  for (const char* name : {"x.hrx", "x.hrxc"}) {
    TKvProbe probe(name, HrxcFile(0, 0, 0));
    EXPECT_EQ(probe.Flags(kHrxc), std::string(name) == "x.hrxc" ? (mfSize | mfExtension) : mfSize);
    EXPECT_EQ(probe.Flags(kLayer), 0);
  }
  for (const int size : {15455, 15457, 12287, 0}) {
    TKvProbe probe("x.hrxc", std::vector<uint8_t>(static_cast<size_t>(size), 1));
    EXPECT_EQ(probe.Flags(kHrxc) | probe.Flags(kHrc), 0) << size;
  }

  // Layer 1: left half of every byte set (ink high nibble 2), right half
  // clear (paper low nibble 0 -> transparent). Layer 2: all clear, paper 3.
  const auto layer1 = HrxcFile(0xF0, 0x20, 0);
  const auto layer2 = HrxcFile(0x00, 0x13, 100);
  auto probeOf = [&](bool AWithSecond, int ASecondSize) {
    auto src = std::make_unique<TKvPairSource>("pic.hrxc1", layer1);
    if (AWithSecond) {
      auto l2 = layer2;
      l2.resize(static_cast<size_t>(ASecondSize));
      src->Add("pic.hrxc2", l2);
    }
    return src;
  };
  {
    auto src = probeOf(true, 15456);
    auto list = src->FindEngines();
    ASSERT_GE(list->GetCount(), 2);
    EXPECT_EQ(list->GetEngine(0)->ClassType().GetClassName(), kLayer);
    EXPECT_EQ(list->GetEngine(0)->MatchFlags, mfSize | mfExtension);
    EXPECT_EQ(list->GetEngine(1)->ClassType().GetClassName(), kHrxc);
    EXPECT_EQ(list->GetEngine(1)->MatchFlags, mfSize);
    auto b = list->GetEngine(0)->Decode();
    ASSERT_EQ(b->Palette->Count, 64);
    EXPECT_EQ(b->GetPixel(0, 0), 16 + 2);       // set bit: layer 1's ink 2
    EXPECT_EQ(b->GetPixel(7, 191), 32 + 3);     // clear bit, paper 0: layer 2's paper 3
    EXPECT_EQ(b->Palette->GetStdRGB(35), StdRGBColor(0, 0, 103));
  }
  for (int size : {15455, 0}) {
    auto src = probeOf(size != 0, size);
    auto list = src->FindEngines();
    bool layer = false, single = false;
    for (int i = 0; i < list->GetCount(); ++i) {
      layer |= list->GetEngine(i)->ClassType().GetClassName() == kLayer;
      single |= list->GetEngine(i)->ClassType().GetClassName() == kHrxc && list->GetEngine(i)->MatchFlags == mfSize;
    }
    EXPECT_FALSE(layer) << size;
    EXPECT_TRUE(single) << size;
  }
}

}  // namespace
