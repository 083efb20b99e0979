// The MSX2 bitmap screens (SCREEN 5 to 8) and the MSX2+ YJK screens (SCREEN
// 10 and 12): the files each conversion writes, their layout, and the
// options and panels of the modes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformMAG.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformMSX.h"
#include "KvTestHarness.h"

namespace {

// Every stream of a conversion and its sub-streams as "ext:size", in order.
std::vector<std::string> Files(const TKvConversion& r) {
  std::vector<std::string> out;
  if (!r.Streams) return out;
  for (int i = 0; i < r.Streams->GetCount(); ++i) {
    TKvStream* s = r.Streams->GetStream(i);
    out.push_back(s->GetExtension() + ":" + std::to_string(s->GetSize()));
    for (int j = 0; j < s->GetSubStreamCount(); ++j)
      out.push_back(s->GetSubStream(j)->GetExtension() + ":" + std::to_string(s->GetSubStream(j)->GetSize()));
  }
  return out;
}

TKvStream* StreamOf(const TKvConversion& r, const std::string& AExt) {
  for (int i = 0; i < r.Streams->GetCount(); ++i) {
    TKvStream* s = r.Streams->GetStream(i);
    if (s->GetExtension() == AExt) return s;
    for (int j = 0; j < s->GetSubStreamCount(); ++j)
      if (s->GetSubStream(j)->GetExtension() == AExt) return s->GetSubStream(j);
  }
  return nullptr;
}

TEST(KvMSX2Converters, ModeListFollowsScreen4) {
  InitializePlatforms();
  const int p = DestEngineList().IndexOf("MSX");
  ASSERT_GE(p, 0);
  TKvDestSubTypes& modes = DestEngineList().GetSubTypes(p);
  const std::vector<std::string> want = {"5 256x212x4",  "5 256x424x4 Interlaced",   "6 512x212x2",
                                         "6 512x424x2 Interlaced", "7 512x212x4", "7 512x424x4 Interlaced",
                                         "8 256x212x8",  "8 256x424x8 Interlaced",   "10 256x212x12",
                                         "10 256x424x12 Interlaced", "12 256x212x15", "12 256x424x15 Interlaced"};
  ASSERT_GE(modes.GetCount(), 15);
  EXPECT_EQ(modes.GetString(3 - 1), "4 256x192x4");
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(modes.GetString(static_cast<int>(i) + 3), want[i]);
  FinalizePlatforms();
}

TEST(KvMSX2Converters, OptionsOfTheModes) {
  struct Case {
    const TKvDestEngineClass* Class;
    int W, H, Aspect, Type, Mode;
  } cases[] = {
      {&DestEngineClass<TKvMSXScr5Engine>(), 256, 212, 12, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr5InterlacedEngine>(), 256, 424, 18, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr6Engine>(), 512, 212, 2, ptMSX9938, 10},
      {&DestEngineClass<TKvMSXScr6InterlacedEngine>(), 512, 424, 12, ptMSX9938, 10},
      {&DestEngineClass<TKvMSXScr7Engine>(), 512, 212, 2, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr7InterlacedEngine>(), 512, 424, 12, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr8Engine>(), 256, 212, 12, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr8InterlacedEngine>(), 256, 424, 18, ptMSX9938, 11},
      {&DestEngineClass<TKvMSXScr10Engine>(), 256, 212, 12, ptMSXYJK, -1},
      {&DestEngineClass<TKvMSXScr10InterlacedEngine>(), 256, 424, 18, ptMSXYJK, -1},
      {&DestEngineClass<TKvMSXScr12Engine>(), 256, 212, 12, ptMSXYJK, -1},
      {&DestEngineClass<TKvMSXScr12InterlacedEngine>(), 256, 424, 18, ptMSXYJK, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName());
    auto o = c.Class->Create()->CreateOptions();
    EXPECT_EQ(o->GetWidth(), c.W);
    EXPECT_EQ(o->GetHeight(), c.H);
    EXPECT_EQ(o->PixelAspect, c.Aspect);
    EXPECT_EQ(o->PaletteType, c.Type);
    if (c.Mode >= 0) {
      EXPECT_EQ(o->PaletteMode, c.Mode);
    }
    // Interlaced heights are even; the YJK widths whole groups of 4.
    o->SetHeight(423);
    EXPECT_EQ(o->GetHeight(), c.H == 424 ? 424 : 423);
    o->SetWidth(250);
    EXPECT_EQ(o->GetWidth(), c.Type == ptMSXYJK ? 252 : 250);
  }
  EXPECT_EQ(TKvMSXScr6Engine().CreateOptions()->ErrorDiffusion, 80);
  // SCREEN 5 to 7 edit the levels of their palette type; SCREEN 10 only in
  // "YJK+YAE", with the V9958 colours.
  auto o5 = TKvMSXScr5Engine().CreateOptions();
  EXPECT_EQ(o5->GetHardwarePalette()->GetCount(), 512);
  auto o10 = TKvMSXScr10Engine().CreateOptions();
  EXPECT_EQ(o10->GetHardwarePalette()->GetCount(), 0);
  o10->SetPaletteType(ptMSXYJK_YAE);
  o10->UpdatePalette();
  EXPECT_EQ(o10->GetHardwarePalette()->GetCount(), 512);
  EXPECT_EQ(o10->GetHardwarePalette()->GetStdRGB(1).B, 33);
}

TEST(KvMSX2Converters, Panels) {
  using K = TKvPanelSectionKind;
  const std::vector<K> palettePanel = {K::Dimension,     K::Position,     K::PaletteSeparator, K::CustomPaletteComboBox,
                                       K::PaletteMode,   K::DestPalette,  K::FixedPalette,     K::Dithering,
                                       K::CommentSeparator, K::CommentEdit};
  struct Case {
    const TKvDestEngineClass* Class;
    std::vector<K> Kinds;
    std::vector<int> Types;
    uint32_t Modes;
  } cases[] = {
      {&DestEngineClass<TKvMSXScr5Engine>(), palettePanel, {ptMSX9938, ptMSX9958}, 0x20803},
      {&DestEngineClass<TKvMSXScr6InterlacedEngine>(), palettePanel, {ptMSX9938, ptMSX9958}, 0x20C03},
      {&DestEngineClass<TKvMSXScr7Engine>(), palettePanel, {ptMSX9938, ptMSX9958}, 0x20803},
      {&DestEngineClass<TKvMSXScr8Engine>(),
       {K::Dimension, K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode, K::Dithering,
        K::CommentSeparator, K::CommentEdit},
       {ptMSX9938, ptMSX9958},
       0x803},
      {&DestEngineClass<TKvMSXScr10InterlacedEngine>(),
       {K::Dimension, K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::DestPalette, K::FixedPalette,
        K::Dithering, K::CommentSeparator, K::CommentEdit},
       {ptMSXYJK, ptMSXYJK_YAE},
       0},
      {&DestEngineClass<TKvMSXScr12Engine>(),
       {K::Dimension, K::Position, K::Dithering, K::CommentSeparator, K::CommentEdit},
       {},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName());
    auto e = c.Class->Create();
    auto o = e->CreateOptions();
    auto ui = e->CreateUI(o.get());
    auto* p = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
    ASSERT_NE(p, nullptr);
    std::vector<K> kinds;
    for (const TKvPanelSection& s : p->GetSections()) {
      kinds.push_back(s.Kind);
      if (s.Kind == K::CustomPaletteComboBox) {
        EXPECT_EQ(s.Items, c.Types);
      }
      if (s.Kind == K::PaletteMode) {
        EXPECT_EQ(s.Set, c.Modes);
      }
    }
    EXPECT_EQ(kinds, c.Kinds);
  }
  // SCREEN 5 to 7 edit the hardware palette in 32 columns.
  auto o6 = TKvMSXScr6Engine().CreateOptions();
  TKvMSXScr6EngineUI ui6(o6.get());
  TKvPalette256 scratch;
  int columns = 0;
  EXPECT_EQ(ui6.GetEditedPalette(scratch, columns), o6->GetHardwarePalette());
  EXPECT_EQ(columns, 32);
}

// The files of each mode at its native size and at others.
TEST(KvMSX2Converters, FilesBySize) {
  struct Case {
    const TKvDestEngineClass* Class;
    int W, H;
    std::vector<std::string> Files;  // mag with its size left out
  } cases[] = {
      {&DestEngineClass<TKvMSXScr5Engine>(), 256, 212, {"sc5:30375", "gl5:27140", "pl5:256", "mag"}},
      {&DestEngineClass<TKvMSXScr5Engine>(), 200, 100, {"gl5:10004", "pl5:256", "mag"}},
      {&DestEngineClass<TKvMSXScr5InterlacedEngine>(), 256, 424, {"sc5:30375", "s15:27143", "mag"}},
      {&DestEngineClass<TKvMSXScr5InterlacedEngine>(), 200, 100, {"mag"}},
      {&DestEngineClass<TKvMSXScr6Engine>(), 512, 212, {"sc6:30375", "gl6:27140", "pl6:256", "mag"}},
      {&DestEngineClass<TKvMSXScr6Engine>(), 511, 212, {"gl6:27087", "pl6:256"}},
      {&DestEngineClass<TKvMSXScr6InterlacedEngine>(), 512, 424, {"sc6:30375", "s16:27143", "mag"}},
      {&DestEngineClass<TKvMSXScr7Engine>(), 512, 212, {"sc7:64167", "gl7:54276", "pl7:256", "mag"}},
      {&DestEngineClass<TKvMSXScr7InterlacedEngine>(), 512, 424, {"sc7:64167", "s17:54279", "mag"}},
      {&DestEngineClass<TKvMSXScr8Engine>(), 256, 212, {"sc8:54279", "gl8:54276", "mag"}},
      {&DestEngineClass<TKvMSXScr8Engine>(), 3, 5, {"gl8:19", "mag"}},
      {&DestEngineClass<TKvMSXScr8InterlacedEngine>(), 256, 424, {"sc8:54279", "s18:54279", "mag"}},
      {&DestEngineClass<TKvMSXScr10Engine>(), 256, 212, {"sca:64167", "gla:54276", "pla:256", "mag"}},
      {&DestEngineClass<TKvMSXScr10InterlacedEngine>(), 256, 424, {"sca:64167", "s1a:54279", "mag"}},
      {&DestEngineClass<TKvMSXScr12Engine>(), 256, 212, {"scc:64167", "glc:54276", "mag"}},
      {&DestEngineClass<TKvMSXScr12Engine>(), 252, 20, {"glc:5044", "mag"}},
      {&DestEngineClass<TKvMSXScr12InterlacedEngine>(), 256, 424, {"scc:54279", "s1c:54279", "mag"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName() + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
    auto pic = SolidPicture(c.W, c.H, 0x4080C0);
    // The files do not depend on the palette mode: black and white is quick.
    auto r = ConvertPicture(*c.Class, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
    std::vector<std::string> files = Files(r);
    for (std::string& f : files)
      if (f.starts_with("mag:")) f = "mag";
    EXPECT_EQ(files, c.Files);
    ASSERT_EQ(r.Preview->Width, c.W);
    ASSERT_EQ(r.Preview->Height, c.H);
    if (TKvStream* m = StreamOf(r, "mag")) {
      EXPECT_TRUE(CheckMagFile(TKvBytes(m->GetMemory(), m->GetSize())));
    }
  }
}

TEST(KvMSX2Converters, BsaveLayout) {
  // End words by file size; rows of the interlaced files alternate.
  auto pic = GradientPicture(256, 424, 8);
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr8InterlacedEngine>(), *pic);
  const uint8_t* even = StreamOf(r, "sc8")->GetMemory();
  const uint8_t* odd = StreamOf(r, "s18")->GetMemory();
  EXPECT_EQ(std::vector<uint8_t>(even, even + 7), (std::vector<uint8_t>{0xFE, 0, 0, 0xFF, 0xD3, 0, 0}));
  EXPECT_EQ(odd[3] | odd[4] << 8, 0xD3FF);
  // The preview shows the stored codes through the SCREEN 8 palette.
  TKvPalette256 p8;
  BuildMSXScreen8Palette(p8, false);
  int diffs = 0;
  for (int y = 0; y < 424; ++y) {
    const uint8_t* row = (y % 2 == 0 ? even : odd) + 7 + 256 * (y / 2);
    for (int x = 0; x < 256; ++x)
      diffs += !(p8.GetStdRGB(row[x]) == r.Preview->Palette->GetStdRGB(r.Preview->GetPixel(x, y)));
  }
  EXPECT_EQ(diffs, 0);

  auto pic5 = GradientPicture(256, 212, 9);
  auto r5 = ConvertPicture(DestEngineClass<TKvMSXScr5Engine>(), *pic5);
  const uint8_t* f = StreamOf(r5, "sc5")->GetMemory();
  EXPECT_EQ(f[3] | f[4] << 8, 0x769F);
  const uint8_t* s15 = nullptr;
  auto r5i = ConvertPicture(DestEngineClass<TKvMSXScr5InterlacedEngine>(), *pic);
  s15 = StreamOf(r5i, "s15")->GetMemory();
  EXPECT_EQ(s15[3] | s15[4] << 8, 0x69FF);
  // Palette entries at 30343: the levels of the result palette.
  const TKvPalette256& res = *r5.Options->GetPalette();
  ASSERT_GT(res.Count, 0);
  auto levels = TKvPaletteRGB::CreateType(ptMSX9938, false);
  for (int i = 0; i < res.Count; ++i) {
    uint8_t lr, lg, lb;
    levels->GetLevelIndexes(res.GetStdRGB(i), lr, lg, lb);
    EXPECT_EQ(f[30343 + 2 * i], lr << 4 | lb);
    EXPECT_EQ(f[30344 + 2 * i], lg);
  }
  // Pixel (x, y) is the nibble of byte 7 + 128 y + x / 2, even x high.
  diffs = 0;
  for (int y = 0; y < 212; ++y)
    for (int x = 0; x < 256; ++x) {
      const uint8_t b = f[7 + 128 * y + x / 2];
      if ((x & 1 ? b & 15 : b >> 4) != r5.Preview->GetPixel(x, y)) ++diffs;
    }
  EXPECT_EQ(diffs, 0);
}

TEST(KvMSX2Converters, ExamplesOfTheFormats) {
  // A 3x1 SCREEN 5 picture: 03 00 01 00, pixels 0 and 1, pixel 2 high.
  auto tiny = std::make_unique<TBitmap32>(3, 1);
  *tiny->GetPixelPtr(0, 0) = 0xFFFFFFFFu;
  *tiny->GetPixelPtr(1, 0) = 0xFF0000FFu;
  *tiny->GetPixelPtr(2, 0) = 0xFFFF8000u;
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr5Engine>(), *tiny);
  TKvStream* gl = StreamOf(r, "gl5");
  ASSERT_EQ(gl->GetSize(), 6);
  const uint8_t* g = gl->GetMemory();
  EXPECT_EQ(std::vector<uint8_t>(g, g + 4), (std::vector<uint8_t>{3, 0, 1, 0}));
  EXPECT_EQ(g[4], r.Preview->GetPixel(0, 0) << 4 | r.Preview->GetPixel(1, 0));
  EXPECT_EQ(g[5], r.Preview->GetPixel(2, 0) << 4);

  // SCREEN 6 packs four pixels a byte across the row ends.
  auto pic6 = GradientPicture(5, 3, 6);
  auto r6 = ConvertPicture(DestEngineClass<TKvMSXScr6Engine>(), *pic6);
  const uint8_t* g6 = StreamOf(r6, "gl6")->GetMemory();
  ASSERT_EQ(StreamOf(r6, "gl6")->GetSize(), 8);
  for (int n = 0; n < 15; ++n)
    EXPECT_EQ((g6[4 + n / 4] >> (6 - 2 * (n % 4))) & 3, r6.Preview->GetPixel(n % 5, n / 5)) << n;
  EXPECT_EQ(g6[7] & 3, 0);

  // SCREEN 8 in "Black/white" stores black and white only.
  auto pic8 = GradientPicture(256, 212, 7);
  auto r8 = ConvertPicture(DestEngineClass<TKvMSXScr8Engine>(), *pic8,
                           [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  const uint8_t* s8 = StreamOf(r8, "sc8")->GetMemory();
  int other = 0, white = 0;
  for (int i = 7; i < 54279; ++i) {
    other += s8[i] != 0 && s8[i] != 0xFF;
    white += s8[i] == 0xFF;
  }
  EXPECT_EQ(other, 0);
  EXPECT_GT(white, 0);

  // SCREEN 8 grays: the codes of the four gray levels.
  auto r8g = ConvertPicture(DestEngineClass<TKvMSXScr8Engine>(), *pic8,
                            [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  const uint8_t* s8g = StreamOf(r8g, "sc8")->GetMemory();
  for (int i = 7; i < 7 + 212 * 256; ++i)
    ASSERT_TRUE(s8g[i] == 0 || s8g[i] == 73 || s8g[i] == 146 || s8g[i] == 255) << i << " " << int(s8g[i]);

  // Three colours fill 6 palette bytes; the other 26 stay 0, in the file and
  // in each of the eight palette blocks.
  auto three = std::make_unique<TBitmap32>(256, 212);
  for (int y = 0; y < 212; ++y)
    for (int x = 0; x < 256; ++x)
      *three->GetPixelPtr(x, y) = x < 80 ? 0xFF000000u : x < 160 ? 0xFFFF0000u : 0xFFFFFFFFu;
  auto r3 = ConvertPicture(DestEngineClass<TKvMSXScr5Engine>(), *three);
  ASSERT_EQ(r3.Options->GetPalette()->Count, 3);
  const uint8_t* s5 = StreamOf(r3, "sc5")->GetMemory();
  const uint8_t* pl = StreamOf(r3, "pl5")->GetMemory();
  for (int i = 6; i < 32; ++i) EXPECT_EQ(s5[30343 + i], 0) << i;
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(std::vector<uint8_t>(pl + 32 * k, pl + 32 * k + 6), std::vector<uint8_t>(s5 + 30343, s5 + 30349));
    for (int i = 6; i < 32; ++i) EXPECT_EQ(pl[32 * k + i], 0);
  }
  // The red is (7, 0, 0) on the levels: 70 00.
  bool red = false;
  for (int i = 0; i < 3; ++i) red |= s5[30343 + 2 * i] == 0x70 && s5[30344 + 2 * i] == 0;
  EXPECT_TRUE(red);
}

TEST(KvMSX2Converters, Screen10Palettes) {
  auto pic = GradientPicture(256, 212, 12);
  // "YJK": even values only, no palette.
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr10Engine>(), *pic);
  const uint8_t* sca = StreamOf(r, "sca")->GetMemory();
  for (int i = 7; i < 7 + 212 * 256; ++i) ASSERT_EQ((sca[i] >> 3) & 1, 0) << i;
  for (int i = 64135; i < 64167; ++i) EXPECT_EQ(sca[i], 0);
  const uint8_t* pla = StreamOf(r, "pla")->GetMemory();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(pla[i], 0);

  // "YJK+YAE" with 16 fixed colours: one pass, the fixed palette written.
  auto v9958 = TKvPaletteRGB::CreateType(ptMSX9958, false);
  TKvPalette256 fixed;
  for (int i = 0; i < 16; ++i) fixed.AddStdRGB(v9958->GetStdRGB(i * 31 + 7));
  auto ry = ConvertPicture(DestEngineClass<TKvMSXScr10Engine>(), *pic, [&](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptMSXYJK_YAE);
    o.SetFixedPalette(&fixed);
  });
  ASSERT_EQ(ry.Options->GetPalette()->Count, 16);
  EXPECT_TRUE(ry.Options->GetPalette()->SameColors(&fixed));
  const uint8_t* scy = StreamOf(ry, "sca")->GetMemory();
  uint8_t want[32];
  PutMSXLevelPalette(want, fixed, *v9958);
  EXPECT_EQ(std::vector<uint8_t>(scy + 64135, scy + 64167), std::vector<uint8_t>(want, want + 32));
}

// A picture that YJK shows exactly needs no palette pixel in "YJK+YAE".
TEST(KvMSX2Converters, Screen10ExactYJKPicture) {
  auto pic = SolidPicture(64, 8, YJKToRGB(16, 0, 0));
  auto r = ConvertPicture(DestEngineClass<TKvMSXScr10Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); });
  const uint8_t* gla = StreamOf(r, "gla")->GetMemory() + 4;
  for (int i = 0; i < 64 * 8; ++i) ASSERT_EQ(gla[i] >> 3, 16) << i;
  EXPECT_EQ(r.Preview->GetPixelStdRGB(5, 5), StdRGBColor(132, 132, 165));
}

// The "YJK+YAE" passes give the same files on one processor and several.
TEST(KvMSX2Converters, YJKYAEFilesIndependentOfProcessors) {
  auto pic = GradientPicture(120, 90, 21);
  std::vector<std::vector<uint8_t>> files;
  for (int n : {1, 3, 8}) {
    TKvProcessorCountOverride count(n);
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr10Engine>(), *pic,
                            [](TKvDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); });
    std::vector<uint8_t> all;
    for (const char* ext : {"gla", "pla", "mag"}) {
      TKvStream* s = StreamOf(r, ext);
      all.insert(all.end(), s->GetMemory(), s->GetMemory() + s->GetSize());
    }
    files.push_back(all);
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(files[0], files[2]);
}

}  // namespace
