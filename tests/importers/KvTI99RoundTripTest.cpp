// TI-99/4A files written by every mode open again through the importer
// probe, as the best candidate, with the preview's colours.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "importers/KvOpenPlatformTI99.h"
#include "importers/TI99TestFiles.h"
#include "platforms/KvSavePlatformTI99.h"
#include "platforms/TI99TestClock.h"
#include "platforms/ZxTestPictures.h"

namespace {

const std::string kBitmap = "KvOpenPlatformTI99::TKvTi9918AEngine";
const std::string kMulticolor = "KvOpenPlatformTI99::TKvTi9918A6448Engine";

// Every pixel of APreview matches the decoded pixels it covers (AScaleX
// across).
int CountDiffs(TKvBitmap& APreview, TKvBitmap& ADecoded, int AScaleX = 1) {
  int diffs = 0;
  for (int y = 0; y < APreview.Height; ++y)
    for (int x = 0; x < APreview.Width; ++x)
      for (int k = 0; k < AScaleX; ++k) diffs += !(MSXColorAt(ADecoded, x * AScaleX + k, y) == MSXColorAt(APreview, x, y));
  return diffs;
}

struct TOpened {
  std::string Class;
  int Flags = 0;
  std::unique_ptr<TMSXTestFiles> Files;
  std::unique_ptr<TKvSourceEngineList> List;
  std::unique_ptr<TKvBitmap> Decoded;
};

// The converted set saved as "x" and opened at AMain: the best candidate,
// decoded.
TOpened OpenConverted(TZxConversion& AConversion, const std::string& AMain) {
  TOpened r;
  InitializeImporters();
  r.Files = TiOpenSet(TiSavedFiles(*AConversion.Streams, "x"), AMain);
  r.List = r.Files->FindEngines();
  if (r.List->GetCount() == 0) return r;
  TKvSourceEngine* e = r.List->GetEngine(0);
  r.Class = e->ClassType().GetClassName();
  r.Flags = e->MatchFlags;
  r.Decoded = e->Decode();
  return r;
}

template <class TSetup>
TZxConversion Convert(const TKvDestEngineClass& AClass, TBitmap32& APicture, TSetup ASetup) {
  return ZxConvert(AClass, APicture, [&](TKvDestEngineOptions& o) {
    ASetup(o);
    o.UpdatePalette();
  });
}

TEST(KvTI99RoundTrip, Bitmap9918A) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto pic = ZxTestPicture(256, 192, 41);
  for (uint8_t mode : {0, 1, 11}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto r = Convert(DestEngineClass<TKvTi9918AEngine>(), *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    auto o = OpenConverted(r, "x.tiap");
    ASSERT_EQ(o.Class, kBitmap);
    EXPECT_EQ(o.Flags, mfHeader | mfExtension | mfSize);
    EXPECT_EQ(o.List->GetEngine(0)->Description,
              mode == 0 ? "TI-99/4A 256x192x4 9918A bitmap B/W image" : "TI-99/4A 256x192x4 9918A bitmap image");
    EXPECT_EQ(CountDiffs(*r.Preview, *o.Decoded), 0);
  }
}

TEST(KvTI99RoundTrip, HalfCharacterAndMulticolor) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto tall = ZxTestPicture(64, 192, 42);
  auto small = ZxTestPicture(64, 48, 43);
  for (uint8_t type : {ptTI99MSX, ptTI99Convert9918})
    for (uint8_t mode : {0, 1, 11}) {
      SCOPED_TRACE(::testing::Message() << int(type) << "/" << int(mode));
      auto setup = [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      };
      auto r64 = Convert(DestEngineClass<TKvTi9918A64Engine>(), *tall, setup);
      auto o64 = OpenConverted(r64, "x.tiap");
      ASSERT_EQ(o64.Class, kBitmap);
      o64.List->GetEngine(0)->PaletteType = static_cast<TKvPaletteType>(type);
      o64.Decoded = o64.List->GetEngine(0)->Decode();
      EXPECT_EQ(CountDiffs(*r64.Preview, *o64.Decoded, 4), 0);

      auto r48 = Convert(DestEngineClass<TKvTi9918A6448Engine>(), *small, setup);
      auto o48 = OpenConverted(r48, "x.tiap");
      ASSERT_EQ(o48.Class, kMulticolor);
      EXPECT_EQ(o48.Flags, mfHeader | mfExtension | mfSize);
      EXPECT_EQ(o48.List->GetEngine(0)->Description, "TI-99/4A 64x48x4 9918A multicolor image");
      o48.List->GetEngine(0)->PaletteType = static_cast<TKvPaletteType>(type);
      o48.Decoded = o48.List->GetEngine(0)->Decode();
      EXPECT_EQ(CountDiffs(*r48.Preview, *o48.Decoded), 0);
    }
}

TEST(KvTI99RoundTrip, DualFrames) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto pic = ZxTestPicture(64, 48, 44);
  for (uint8_t mode : {1, 11}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto r = Convert(DestEngineClass<TKvTi9918A6448GigaEngine>(), *pic,
                     [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    auto o = OpenConverted(r, "x.tiap");
    ASSERT_EQ(o.Class, kMulticolor);
    EXPECT_EQ(o.Flags, mfHeader | mfExtension | mfSize);
    EXPECT_EQ(o.List->GetEngine(0)->Description, "TI-99/4A 64x48x4 9918A multicolor dual image");
    ASSERT_TRUE(r.Preview->GetFrames());
    ASSERT_TRUE(o.Decoded->GetFrames());
    ASSERT_EQ(o.Decoded->GetFrames()->GetCount(), 2);
    for (int f = 0; f < 2; ++f)
      EXPECT_EQ(CountDiffs(*r.Preview->GetFrames()->GetBitmap(f), *o.Decoded->GetFrames()->GetBitmap(f)), 0) << f;
    EXPECT_EQ(CountDiffs(*r.Preview, *o.Decoded), 0);
  }
}

TEST(KvTI99RoundTrip, FixedClockGivesTheSameBytes) {
  auto pic = ZxTestPicture(64, 48, 45);
  std::map<std::string, TTiBytes> runs[2];
  for (auto& run : runs) {
    TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
    auto r = Convert(DestEngineClass<TKvTi9918A6448GigaEngine>(), *pic, [](TKvDestEngineOptions&) {});
    run = TiSavedFiles(*r.Streams, "x");
  }
  EXPECT_EQ(runs[0], runs[1]);
  EXPECT_EQ(runs[0].size(), 2u);
}

TEST(KvTI99Probe, BitmapAndMulticolorSets) {
  const TTiBytes p6144 = TiFile(6144, 0, 0, 0x0F), c6144 = TiFile(6144, 0, 0, 0x1F);
  const TTiBytes m1536 = TiFile(1536, 0, 0, 0x23);
  struct Case {
    const char* Name;
    std::map<std::string, TTiBytes> Files;
    const char* Main;
    std::string Want;  // empty: none of this unit
  } cases[] = {
      {"pattern and colours", {{"x.tiap", p6144}, {"x.tiac", c6144}}, "x.tiap", kBitmap},
      {"pattern alone", {{"x.tiap", p6144}}, "x.tiap", kBitmap},
      {"same bytes, other name", {{"x.dat", p6144}, {"x.tiac", c6144}}, "x.dat", ""},
      {"short colour file", {{"x.tiap", p6144}, {"x.tiac", TiFile(6143, 0, 0)}}, "x.tiap", ""},
      {"palette of length 256",
       {{"x.tiap", p6144}, {"x.tiac", c6144}, {"x.tiam", TiFile(256, 0, 0)}},
       "x.tiap",
       ""},
      {"palette of 32 bytes", {{"x.tiap", p6144}, {"x.tiac", c6144}, {"x.tiam", TiFile(32, 0, 0)}}, "x.tiap", kBitmap},
      {"palette without colours", {{"x.tiap", p6144}, {"x.tiam", TiFile(256, 0, 0)}}, "x.tiap", kBitmap},
      {"multicolour", {{"x.tiap", m1536}}, "x.tiap", kMulticolor},
      {"dual", {{"x.tiap", m1536}, {"x.tiac", m1536}}, "x.tiap", kMulticolor},
      {"dual with a short frame", {{"x.tiap", m1536}, {"x.tiac", TiFile(1535, 0, 0)}}, "x.tiap", ""},
      {"no sectors", {{"x.tiap", [] { auto d = TiFile(6144, 0, 0); d[9] = 0; return d; }()}}, "x.tiap", ""},
      {"cut short", {{"x.tiap", TiFile(6144, 0, 0, 0, 6271)}}, "x.tiap", ""},
      {"one byte more", {{"x.tiap", TiFile(6144, 0, 0, 0, 6273)}}, "x.tiap", ""},
      {"empty", {{"x.tiap", {}}}, "x.tiap", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<int> flags;
    auto list = TiProbe(c.Files, c.Main, &flags);
    std::vector<std::string> ours;
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].rfind("KvOpenPlatformTI99::", 0) == 0) ours.push_back(list[i]);
    if (c.Want.empty()) {
      EXPECT_TRUE(ours.empty()) << ours.front();
    } else {
      ASSERT_EQ(ours.size(), 1u);
      EXPECT_EQ(list.front(), c.Want);
      EXPECT_EQ(flags.front(), mfHeader | mfExtension | mfSize);
    }
  }
}

TEST(KvTI99Probe, BitmapDecoding) {
  // Pattern 0x0F, colours 0x1F: pixels 0-3 of a byte paper 15, 4-7 ink 1.
  const TTiBytes p6144 = TiFile(6144, 0, 0, 0x0F), c6144 = TiFile(6144, 0, 0, 0x4A);
  {
    TMSXTestFiles f("x.tiap", p6144);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918AEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->GetPaletteTypeCount(), 3);
    EXPECT_EQ(e->PaletteType, ptTI99Convert9918);
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 0), 15);
    EXPECT_EQ(b->GetPixel(7, 191), 1);
  }
  {
    // A palette of 16 words 0x0RGB, word i = i * 0x111.
    TTiBytes m = TiFile(32, 0, 0);
    for (int i = 0; i < 16; ++i) {
      m[128 + 2 * i] = static_cast<uint8_t>(i);
      m[129 + 2 * i] = static_cast<uint8_t>(i * 0x11);
    }
    TMSXTestFiles f("x.tiap", p6144);
    f.Add("x.tiac", c6144);
    f.Add("x.tiam", m);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918AEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "TI-99/4A 256x192x4 F18A palette bitmap image");
    auto b = e->Decode();
    EXPECT_EQ(MSXColorAt(*b, 0, 0), StdRGBColor(0xAA, 0xAA, 0xAA));
    EXPECT_EQ(MSXColorAt(*b, 4, 0), StdRGBColor(0x44, 0x44, 0x44));
  }
  {
    // One palette per row: row y's colour 10 is (y mod 16) * 0x111.
    TTiBytes m = TiFile(6144, 0, 0);
    for (int y = 0; y < 192; ++y) {
      m[128 + 32 * y + 20] = static_cast<uint8_t>(y % 16);
      m[129 + 32 * y + 20] = static_cast<uint8_t>((y % 16) * 0x11);
    }
    TMSXTestFiles f("x.tiap", p6144);
    f.Add("x.tiac", c6144);
    f.Add("x.tiam", m);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918AEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "TI-99/4A 256x192x4 F18A scanline bitmap image");
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixelStdRGB(0, 5), StdRGBColor(0x55, 0x55, 0x55));
    EXPECT_EQ(b->GetPixelStdRGB(1, 31), StdRGBColor(0xFF, 0xFF, 0xFF));
  }
  {
    // Dual multicolour: colours 3 and 12 show mixture 60.
    TMSXTestFiles f("x.tiap", TiFile(1536, 0, 0, 0x33));
    f.Add("x.tiac", TiFile(1536, 0, 0, 0xC1));
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918A6448Engine>());
    ASSERT_TRUE(e);
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 0), 60);
    EXPECT_EQ(b->GetPixel(1, 0), 0x31);
    EXPECT_TRUE(e->Palette->Colors[5].Skip);
    EXPECT_EQ(e->Palette2->Count, 16);
  }
}

}  // namespace

namespace {

// Nibbles of the colour table of a converted bitmap set.
std::vector<int> AttributeNibbles(TZxConversion& AConversion) {
  std::vector<int> r(16, 0);
  const uint8_t* c = AConversion.Streams->GetStream(0)->GetSubStream(0)->GetMemory() + 128;
  for (int i = 0; i < 6144; ++i) {
    ++r[c[i] >> 4];
    ++r[c[i] & 15];
  }
  return r;
}

TEST(KvTI99RoundTrip, F18APalettes) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  // The default settings on a whole screen; the others on its top-left
  // corner, scanned without serpentine so the corner stays in place.
  auto pic = ZxTestPicture(256, 192, 46);
  auto corner = ZxTestPicture(64, 48, 46);
  struct Case {
    uint8_t Mode, Usage;
    int Fixed;  // colours of a fixed palette of grays
    bool Whole;
  } cases[] = {{11, 1, 0, true}, {11, 0, 0, false}, {11, 2, 0, false}, {1, 0, 0, false},
               {1, 2, 0, false}, {1, 1, 4, false}, {1, 2, 16, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.Mode) << "/" << int(c.Usage) << "/" << c.Fixed);
    auto r = Convert(DestEngineClass<TKvTiF18AEngine>(), c.Whole ? *pic : *corner, [&](TKvDestEngineOptions& o) {
      o.SetSerpentine(c.Whole);
      o.SetPaletteMode(c.Mode);
      o.SetPaletteUsage(c.Usage);
      TKvPalette256 fixed;
      for (int i = 0; i < c.Fixed; ++i) fixed.AddRGB(uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17));
      o.SetFixedPalette(&fixed);
    });
    TKvStream* m = r.Streams->GetStream(0)->GetSubStream(1);
    EXPECT_EQ(m->GetExtension(), "TIAM");
    ASSERT_EQ(m->GetSize(), 384);
    EXPECT_EQ(m->GetMemory()[12], 32);
    const auto nibbles = AttributeNibbles(r);
    if (c.Usage == 0) {
      // Cells outside the corner keep the zero bytes of the file.
      EXPECT_EQ(nibbles[0], c.Whole ? 0 : 2 * 6144 - 2 * 8 * 48);
      EXPECT_EQ(m->GetMemory()[128], 0);
      EXPECT_EQ(m->GetMemory()[129], 0);
    }
    if (c.Usage == 1 && c.Mode == 11) {
      EXPECT_GE(r.Options->GetPalette()->IndexOfStdRGB(StdRGBColor(0, 0, 0)), 0);
    }
    auto o = OpenConverted(r, "x.tiap");
    ASSERT_EQ(o.Class, kBitmap);
    EXPECT_EQ(o.Flags, mfHeader | mfExtension | mfSize);
    EXPECT_EQ(o.List->GetEngine(0)->Description, "TI-99/4A 256x192x4 F18A palette bitmap image");
    EXPECT_EQ(CountDiffs(*r.Preview, *o.Decoded), 0);
  }
}

TEST(KvTI99RoundTrip, F18AScanline) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto pic = ZxTestPicture(256, 192, 47);
  auto corner = ZxTestPicture(64, 48, 47);
  for (uint8_t usage : {0, 1}) {
    SCOPED_TRACE(static_cast<int>(usage));
    auto r = Convert(DestEngineClass<TKvTiF18AScanlineEngine>(), usage == 0 ? *pic : *corner,
                     [&](TKvDestEngineOptions& o) {
                       o.SetPaletteUsage(usage);
                       o.SetSerpentine(usage == 0);
                     });
    TKvStream* m = r.Streams->GetStream(0)->GetSubStream(1);
    ASSERT_EQ(m->GetSize(), 6272);
    if (usage == 0) {
      EXPECT_EQ(AttributeNibbles(r)[0], 0);
      for (int y = 0; y < 192; ++y) ASSERT_EQ(m->GetMemory()[128 + 32 * y] | m->GetMemory()[129 + 32 * y], 0);
    }
    auto o = OpenConverted(r, "x.tiap");
    ASSERT_EQ(o.Class, kBitmap);
    EXPECT_EQ(o.List->GetEngine(0)->Description, "TI-99/4A 256x192x4 F18A scanline bitmap image");
    EXPECT_EQ(CountDiffs(*r.Preview, *o.Decoded), 0);
  }
}

}  // namespace
