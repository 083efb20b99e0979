// TI-99/4A files written by every mode open again through the importer
// probe, as the best candidate, with the preview's colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "importers/KvOpenPlatformTI99.h"
#include "importers/TI99TestFiles.h"
#include "platforms/KvSavePlatformTI99.h"
#include "platforms/TI99TestClock.h"
#include "KvTestHarness.h"

namespace {

const std::string kBitmap = "KvOpenPlatformTI99::TKvTi9918AEngine";
const std::string kMulticolor = "KvOpenPlatformTI99::TKvTi9918A6448Engine";

// Every pixel of APreview matches the decoded pixels it covers (AScaleX
// across).
int CountDiffs(TKvBitmap& APreview, TKvBitmap& ADecoded, int AScaleX = 1) {
  int diffs = 0;
  for (int y = 0; y < APreview.Height; ++y)
    for (int x = 0; x < APreview.Width; ++x)
      for (int k = 0; k < AScaleX; ++k)
        diffs += !(ShownColor(ADecoded, x * AScaleX + k, y) == ShownColor(APreview, x, y));
  return diffs;
}

struct TOpened {
  std::string Class;
  int Flags = 0;
  std::unique_ptr<TKvTestFiles> Files;
  std::unique_ptr<TKvSourceEngineList> List;
  std::unique_ptr<TKvBitmap> Decoded;
};

// The converted set saved as "x" and opened at AMain: the best candidate,
// decoded.
TOpened OpenConverted(TKvConversion& AConversion, const std::string& AMain) {
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
TKvConversion Convert(const TKvDestEngineClass& AClass, TBitmap32& APicture, TSetup ASetup) {
  return ConvertPicture(AClass, APicture, [&](TKvDestEngineOptions& o) {
    ASetup(o);
    o.UpdatePalette();
  });
}

TEST(KvTI99RoundTrip, Bitmap9918A) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto pic = GradientPicture(256, 192, 41);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto r = Convert(DestEngineClass<TKvTi9918AEngine>(), *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    auto o = OpenConverted(r, "x.tiap");
    ASSERT_EQ(o.Class, kBitmap);
    EXPECT_EQ(o.Flags, mfHeader | mfExtension | mfSize);
    EXPECT_EQ(o.List->GetEngine(0)->Description, mode == pmBlackWhite ? "TI-99/4A 256x192x4 9918A bitmap B/W image"
                                                                      : "TI-99/4A 256x192x4 9918A bitmap image");
    EXPECT_EQ(CountDiffs(*r.Preview, *o.Decoded), 0);
  }
}

TEST(KvTI99RoundTrip, HalfCharacterAndMulticolor) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto tall = GradientPicture(64, 192, 42);
  auto small = GradientPicture(64, 48, 43);
  for (uint8_t type : {ptTI99MSX, ptTI99Convert9918})
    for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
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
  auto pic = GradientPicture(64, 48, 44);
  for (TKvPaletteMode mode : {pmGray, pmColor}) {
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
  // A mode of each kind of file set: pattern and colour tables, tables with
  // a palette, MyArt with its YAPP copy, a YAPP file alone.
  struct Case {
    const TKvDestEngineClass* Class;
    int Width, Height;
    size_t Files;
  } cases[] = {
      {&DestEngineClass<TKvTi9918A6448GigaEngine>(), 64, 48, 2},
      {&DestEngineClass<TKvTiF18AEngine>(), 64, 48, 3},
      {&DestEngineClass<TKvTiV9938G6_512x212Engine>(), 512, 212, 2},
      {&DestEngineClass<TKvTiV9938G7_256x424Engine>(), 256, 424, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName());
    auto pic = GradientPicture(c.Width, c.Height, 45);
    std::map<std::string, TTiBytes> runs[2];
    for (auto& run : runs) {
      TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
      auto r = Convert(*c.Class, *pic, [](TKvDestEngineOptions&) {});
      run = TiSavedFiles(*r.Streams, "x");
    }
    EXPECT_EQ(runs[0], runs[1]);
    ASSERT_EQ(runs[0].size(), c.Files);
    // Every header carries the clock's 07:08:09 on 2024-05-06.
    for (const auto& [name, bytes] : runs[0]) {
      EXPECT_EQ((bytes[30] << 8) | bytes[31], (7 << 11) | (8 << 5) | 4) << name;
      EXPECT_EQ((bytes[32] << 8) | bytes[33], (24 << 9) | (5 << 5) | 6) << name;
    }
  }
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
      {"colour file of 6271 bytes", {{"x.tiap", p6144}, {"x.tiac", TiFile(6144, 0, 0, 0x1F, 6271)}}, "x.tiap", ""},
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
    // A palette file without a colour file is passed over.
    TKvTestFiles f("x.tiap", p6144);
    f.Add("x.tiam", TiFile(32, 0, 0, 0x11));
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918AEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "TI-99/4A 256x192x4 9918A bitmap B/W image");
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
    TKvTestFiles f("x.tiap", p6144);
    f.Add("x.tiac", c6144);
    f.Add("x.tiam", m);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTi9918AEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "TI-99/4A 256x192x4 F18A palette bitmap image");
    auto b = e->Decode();
    EXPECT_EQ(ShownColor(*b, 0, 0), StdRGBColor(0xAA, 0xAA, 0xAA));
    EXPECT_EQ(ShownColor(*b, 4, 0), StdRGBColor(0x44, 0x44, 0x44));
  }
  {
    // One palette per row: row y's colour 10 is (y mod 16) * 0x111.
    TTiBytes m = TiFile(6144, 0, 0);
    for (int y = 0; y < 192; ++y) {
      m[128 + 32 * y + 20] = static_cast<uint8_t>(y % 16);
      m[129 + 32 * y + 20] = static_cast<uint8_t>((y % 16) * 0x11);
    }
    TKvTestFiles f("x.tiap", p6144);
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
    TKvTestFiles f("x.tiap", TiFile(1536, 0, 0, 0x33));
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
std::vector<int> AttributeNibbles(TKvConversion& AConversion) {
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
  auto pic = GradientPicture(256, 192, 46);
  auto corner = GradientPicture(64, 48, 46);
  struct Case {
    TKvPaletteMode Mode;
    TKvPaletteUsage Usage;
    int Fixed;  // colours of a fixed palette of grays
    bool Whole;
  } cases[] = {{pmColor, puBlackAndColors15, 0, true}, {pmColor, puColors15, 0, false},
               {pmColor, puColors16, 0, false},        {pmGray, puColors15, 0, false},
               {pmGray, puColors16, 0, false},         {pmGray, puBlackAndColors15, 4, false},
               {pmGray, puColors16, 16, false}};
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
    if (c.Usage == puColors15) {
      // Cells outside the corner keep the zero bytes of the file.
      EXPECT_EQ(nibbles[0], c.Whole ? 0 : 2 * 6144 - 2 * 8 * 48);
      EXPECT_EQ(m->GetMemory()[128], 0);
      EXPECT_EQ(m->GetMemory()[129], 0);
    }
    if (c.Usage == puBlackAndColors15 && c.Mode == pmColor) {
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
  auto pic = GradientPicture(256, 192, 47);
  auto corner = GradientPicture(64, 48, 47);
  for (TKvPaletteUsage usage : {puColors15, puBlackAndColors15, puColors16}) {
    SCOPED_TRACE(static_cast<int>(usage));
    auto r = Convert(DestEngineClass<TKvTiF18AScanlineEngine>(), usage == puColors15 ? *pic : *corner,
                     [&](TKvDestEngineOptions& o) {
                       o.SetPaletteUsage(usage);
                       o.SetSerpentine(usage == puColors15);
                     });
    TKvStream* m = r.Streams->GetStream(0)->GetSubStream(1);
    ASSERT_EQ(m->GetSize(), 6272);
    if (usage == puColors15) {
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

namespace {

const std::string kG67 = "KvOpenPlatformTI99::TKvTiG67Engine";
const std::string kFractal = "KvOpenPlatformTI99::TKvTiG6FractalEngine";

// Stripes of 12 colours of the V9938 levels: a G6 picture that needs no
// quantization.
std::unique_ptr<TBitmap32> LevelStripes(int AWidth, int AHeight) {
  static const uint32_t kColors[12] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x924900, 0x2449DB,
                                       0xB6B6B6, 0x6D6D6D, 0xFFDB24, 0x00B6B6, 0xDB00DB};
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFF000000u | kColors[(x / 37 + (y / 23) * 5) % 12];
  return b;
}

TEST(KvTI99RoundTrip, V9938Pictures) {
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  struct Case {
    const TKvDestEngineClass* Class;
    int Width, Height;
    TKvPaletteMode Mode;
    std::vector<const char*> Files;
    uint8_t Formats[2];
  } cases[] = {
      {&DestEngineClass<TKvTiV9938G6_512x192Engine>(), 512, 192, pmColor, {"x.myartg6fa", "x.yapp"}, {250, 250}},
      {&DestEngineClass<TKvTiV9938G6_512x212Engine>(), 512, 212, pmBlackWhite, {"x.myartg6fa", "x.yapp"}, {250, 250}},
      {&DestEngineClass<TKvTiV9938G6_512x424Engine>(), 512, 424, pmGray, {"x.yapp"}, {122}},
      {&DestEngineClass<TKvTiV9938G7_256x192Engine>(), 256, 192, pmGray, {"x.myartg700", "x.yapp"}, {0, 254}},
      {&DestEngineClass<TKvTiV9938G7_256x212Engine>(), 256, 212, pmColor, {"x.myartg700", "x.yapp"}, {0, 254}},
      {&DestEngineClass<TKvTiV9938G7_256x424Engine>(), 256, 424, pmBlackWhite, {"x.yapp"}, {126}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Class->GetModeName() << " mode " << int(c.Mode));
    // The gradient for the first G6 mode; the other G6 modes on stripes of
    // fewer colours, which are not quantized.
    const bool stripes = c.Width == 512 && c.Height != 192;
    auto pic = stripes ? LevelStripes(c.Width, c.Height) : GradientPicture(c.Width, c.Height, 48);
    auto r = Convert(*c.Class, *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(c.Mode); });
    auto files = TiSavedFiles(*r.Streams, "x");
    ASSERT_EQ(files.size(), c.Files.size());
    for (size_t i = 0; i < c.Files.size(); ++i) {
      const TTiBytes& f = files.at(c.Files[i]);
      EXPECT_EQ(f[129], c.Formats[i]);
      EXPECT_EQ(f[10], 0);
      EXPECT_EQ(f[11], 2);
      EXPECT_EQ(f[13], 128);
      EXPECT_EQ((f.size() - 128) % 256, 0u);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data()) + 16, 10), "x         ");
      std::vector<int> flags;
      auto list = TiProbe(files, c.Files[i], &flags);
      ASSERT_FALSE(list.empty());
      EXPECT_EQ(list.front(), kG67);
      EXPECT_EQ(flags.front(), mfHeader | mfSize);
      auto set = TiOpenSet(files, c.Files[i]);
      auto e = set->Open(SourceEngineClass<KvOpenPlatformTI99::TKvTiG67Engine>());
      ASSERT_TRUE(e);
      auto d = e->Decode();
      ASSERT_EQ(d->Width, c.Width);
      ASSERT_EQ(d->Height, c.Height);
      EXPECT_EQ(CountDiffs(*r.Preview, *d), 0);
      EXPECT_EQ(CountIndexDiffs(*d, *r.Preview), 0);
    }
    if (files.size() == 2) {
      // The same data; the headers differ at most in the creation stamp.
      TTiBytes a = files.at(c.Files[0]), b = files.at(c.Files[1]);
      a[129] = b[129];
      EXPECT_EQ(a, b);
    }
  }
}

// A Geneve data file of the run words AWords after AHead.
TTiBytes GeneveFile(const std::vector<uint8_t>& AHead, const std::vector<uint16_t>& AWords, int AExtra = 0) {
  std::vector<uint8_t> data = AHead;
  for (uint16_t w : AWords) {
    data.push_back(static_cast<uint8_t>(w >> 8));
    data.push_back(static_cast<uint8_t>(w));
  }
  data.resize(data.size() + static_cast<size_t>(AExtra), 0);
  TTiBytes f = TiFile(static_cast<int>(data.size()), 2, 128);
  std::copy(data.begin(), data.end(), f.begin() + 128);
  return f;
}

std::vector<uint16_t> Runs(int ACount, uint16_t AWord) { return std::vector<uint16_t>(static_cast<size_t>(ACount), AWord); }

TEST(KvTI99Probe, GenevePictures) {
  std::vector<uint8_t> g6head(34, 0), g7head(2, 0);
  g6head[1] = 250;
  g6head[2] = 0x70;  // palette entry 0: red 7, green 7
  g6head[3] = 0x07;
  // Rows of colour 1 in runs of 200, 200 and 112. Read as G7 (palette words
  // included) no prefix of the words sums to whole rows, so only G6 fits.
  std::vector<uint16_t> g6;
  for (int y = 0; y < 212; ++y) g6.insert(g6.end(), {0x10C8, 0x10C8, 0x1070});
  // The writer's single-colour G6 picture: 212 runs of 512.
  {
    auto pic = SolidPicture(512, 212, 0x00FF00);
    auto r = Convert(DestEngineClass<TKvTiV9938G6_512x212Engine>(), *pic, [](TKvDestEngineOptions&) {});
    const uint8_t* d = r.Bytes(0) + 128;
    EXPECT_EQ(r.Bytes(0)[12], (34 + 212 * 2) % 256);
    for (int i = 0; i < 212; ++i) ASSERT_EQ(((d[34 + 2 * i] & 3) << 8) | d[35 + 2 * i], 512) << i;
    auto r7 = Convert(DestEngineClass<TKvTiV9938G7_256x212Engine>(), *SolidPicture(256, 212, 0xFFFFFF),
                      [](TKvDestEngineOptions&) {});
    const uint8_t* d7 = r7.Bytes(0) + 128;
    for (int i = 0; i < 212; ++i) ASSERT_EQ(d7[3 + 2 * i], 0) << i;
  }
  struct Case {
    const char* Name;
    TTiBytes File;
    std::string Want;
    int Width, Height;
  } cases[] = {
      {"G6 212 lines", GeneveFile(g6head, g6), kG67, 512, 212},
      {"G6 runs ending 253 bytes early", GeneveFile(g6head, g6, 253), kG67, 512, 212},
      {"G6 runs ending 254 bytes early", GeneveFile(g6head, g6, 254), "", 0, 0},
      {"G6 run of count 0", GeneveFile(g6head, [&] { auto w = g6; w[5] = 0x1000; return w; }()), "", 0, 0},
      {"G7 192 lines of 0x0500", GeneveFile(g7head, Runs(192, 0x0500)), kG67, 256, 192},
      {"G7 424 lines", GeneveFile(g7head, Runs(424, 0x0300)), kG67, 256, 424},
      {"records of 256", [&] { auto f = GeneveFile(g6head, g6); f[13] = 0; return f; }(), "", 0, 0},
      {"cut short", [&] { auto f = GeneveFile(g6head, g6); f.resize(f.size() - 300); return f; }(), "", 0, 0},
      {"header only", TiFile(0, 2, 128, 0, 128), "", 0, 0},
      {"empty", {}, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<int> flags;
    auto list = TiProbe({{"any.bin", c.File}}, "any.bin", &flags);
    int ours = 0;
    for (const auto& n : list) ours += n.rfind("KvOpenPlatformTI99::", 0) == 0;
    if (c.Want.empty()) {
      EXPECT_EQ(ours, 0);
      continue;
    }
    ASSERT_EQ(ours, 1);
    EXPECT_EQ(list.front(), c.Want);
    EXPECT_EQ(flags.front(), mfHeader | mfSize);
    TKvTestFiles f("any.bin", c.File);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTiG67Engine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Width, c.Width);
    EXPECT_EQ(e->Height, c.Height);
    auto d = e->Decode();
    if (c.Width == 512) {
      EXPECT_EQ(e->Description, "Geneve 9640 512x212x4 G6 image");
      EXPECT_EQ(e->PixelAspect, 2);
      EXPECT_EQ(d->GetPixel(511, 211), 1);
      EXPECT_EQ(ShownColor(*d, 0, 0), StdRGBColor(0, 0, 0));
      EXPECT_EQ(e->Palette->GetStdRGB(0), StdRGBColor(255, 255, 0));
    } else {
      EXPECT_EQ(d->GetPixel(255, c.Height - 1), c.Height == 192 ? 5 : 3);
      EXPECT_EQ(e->PixelAspect, c.Height == 192 ? 12 : 18);
    }
  }
  // Words whose low byte is 0 are runs of 256 in G7. 16 zero palette words,
  // 392 runs of 256 and 16 of 512 in G6 make 212 G6 lines and 424 G7 lines:
  // G6 is tried first.
  std::vector<uint16_t> both(16, 0x0000);
  both.insert(both.end(), 392, 0x0100);
  both.insert(both.end(), 16, 0x0200);
  auto fboth = GeneveFile(g7head, both);
  int h = 0;
  EXPECT_EQ(DetectGeneveFormat(TKvBytes(fboth).Sub(128, TiFilesDataLength(TKvBytes(fboth))), h), gkG6);
  EXPECT_EQ(h, 212);
  // 128 G6 runs of 768 fill 192 lines with 96 bytes left over (lenient
  // only), while all 192 words are G7 runs of 256 (strict): G7 wins.
  std::vector<uint16_t> g7strict(16, 0x0000);
  g7strict.insert(g7strict.end(), 128, 0x0300);
  g7strict.insert(g7strict.end(), 48, 0x0000);
  auto f7 = GeneveFile(g7head, g7strict);
  EXPECT_EQ(DetectGeneveFormat(TKvBytes(f7).Sub(128, TiFilesDataLength(TKvBytes(f7))), h), gkG7);
  EXPECT_EQ(h, 192);
}

// A FRACTALS! file: records of 255 bytes in 256-byte sectors.
TTiBytes FractalFile(uint8_t AMark, const std::vector<uint16_t>& AWords, const std::vector<uint8_t>& ATail = {}) {
  std::vector<uint8_t> joined(255, 0);
  joined[1] = AMark;
  joined[2] = 0x07;  // palette entry 0: blue 7
  const char* text = "  A FRACTAL  ";
  std::memcpy(joined.data() + 72, text, std::strlen(text));
  for (uint16_t w : AWords) {
    joined.push_back(static_cast<uint8_t>(w >> 8));
    joined.push_back(static_cast<uint8_t>(w));
  }
  joined.insert(joined.end(), ATail.begin(), ATail.end());
  const int n = static_cast<int>((joined.size() + 254) / 255);
  joined.resize(static_cast<size_t>(n) * 255, 0);
  TTiBytes f = TiFile(n * 256, 1, 255);
  for (int i = 0; i < n; ++i)
    std::copy(joined.begin() + i * 255, joined.begin() + (i + 1) * 255, f.begin() + 128 + i * 256);
  return f;
}

TEST(KvTI99Probe, FractalPictures) {
  // Per row: a literal group of pixel 8 and three nibbles (4, 5, 6; the
  // last byte's low nibble skipped), then a run of 508 pixels of colour 2.
  std::vector<uint16_t> words;
  std::vector<uint8_t> rowTail;
  for (int y = 0; y < 212; ++y) {
    words.push_back(0x8803);
    words.push_back(0x4565);  // bytes 45 65: nibbles 4, 5, 6; 5 skipped
    words.push_back(0x21FC);
  }
  const TTiBytes good = FractalFile('C', words);
  {
    TKvTestFiles f("pic", good);
    EXPECT_EQ(SourceEngineClass<KvOpenPlatformTI99::TKvTiG6FractalEngine>().Match(f), mfHeader | mfSize);
    auto e = f.Open(SourceEngineClass<KvOpenPlatformTI99::TKvTiG6FractalEngine>());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "Geneve 9640 512x212x4  FRACTALS! image");
    EXPECT_EQ(e->Comment, "A FRACTAL");
    EXPECT_EQ(e->PixelAspect, 2);
    auto d = e->Decode();
    const int want[6] = {8, 4, 5, 6, 2, 2};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(d->GetPixel(x, 100), want[x]) << x;
    EXPECT_EQ(d->GetPixel(511, 211), 2);
    EXPECT_EQ(e->Palette->GetStdRGB(0), StdRGBColor(0, 0, 255));
  }
  std::vector<int> flags;
  auto list = TiProbe({{"pic", good}}, "pic", &flags);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front(), kFractal);
  EXPECT_EQ(flags.front(), mfHeader | mfSize);
  auto bad = [&](const TTiBytes& f) {
    TKvTestFiles s("pic", f);
    return SourceEngineClass<KvOpenPlatformTI99::TKvTiG6FractalEngine>().Match(s);
  };
  EXPECT_EQ(bad(FractalFile('X', words)), 0);
  EXPECT_EQ(bad(FractalFile('M', words)), mfHeader | mfSize);
  // 3 bytes of the last record are left over; a record more leaves 258.
  EXPECT_EQ(bad(FractalFile('M', words, std::vector<uint8_t>(255, 0))), 0);
  EXPECT_EQ(bad([&] { auto w = words; w[2] = 0x2000; return FractalFile('C', w); }()), 0);  // run of 0
  EXPECT_EQ(bad([&] { auto w = words; w.pop_back(); return FractalFile('C', w); }()), 0);  // too few
  EXPECT_EQ(bad([&] { auto f = good; f[12] = 1; return f; }()), 0);
  EXPECT_EQ(bad([&] { auto f = good; f.resize(f.size() - 1); return f; }()), 0);
  EXPECT_EQ(bad(TiFile(256, 1, 255)), 0);
}

}  // namespace
