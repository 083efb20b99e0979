#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformTI99.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformTI99.h"
#include "platforms/TI99TestClock.h"
#include "KvTestHarness.h"
#include "rtl/KvSysUtils.h"

namespace {

uint32_t OSErrorOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const EOSError& e) {
    return e.ErrorCode;
  }
  return 0;
}

std::string Name10(TKvTiStream& AStream) { return std::string(AStream.GetHeader()->FileName, 10); }

TEST(KvSavePlatformTI99, ModeListFollowsSymbOSAndPrecedesTimex) {
  InitializePlatforms();
  const int p = DestEngineList().IndexOf("TI-99/4A");
  ASSERT_GE(p, 0);
  const int s = DestEngineList().IndexOf("SymbOS"), t = DestEngineList().IndexOf("Timex");
  if (s >= 0) {
    EXPECT_LT(s, p);
  }
  if (t >= 0) {
    EXPECT_GT(t, p);
  }
  TKvDestSubTypes& modes = DestEngineList().GetSubTypes(p);
  std::vector<std::string> names;
  for (int i = 0; i < modes.GetCount(); ++i) names.push_back(modes.GetString(i));
  const std::vector<std::string> want = {"9918A 256x192x4",
                                         "9918A 64x192x4",
                                         "9918A 64x48x4",
                                         "9918A 64x48x8 Dual",
                                         "F18A 256x192x4",
                                         "F18A 256x192x4 Scanline",
                                         "V9938 512x192x4 G6",
                                         "V9938 512x212x4 G6",
                                         "V9938 512x424x4 G6 Interlaced",
                                         "V9938 256x192x8 G7",
                                         "V9938 256x212x8 G7",
                                         "V9938 256x424x8 G7 Interlaced"};
  EXPECT_EQ(names, want);
  for (const TKvDestEngineClass* c : TI99DestEngineClasses()) EXPECT_EQ(c->GetPlatformName(), "TI-99/4A");
  FinalizePlatforms();
  EXPECT_EQ(DestEngineClass<TKvTi9918A6448Engine>().GetZoomFactor(), 4);
  EXPECT_EQ(DestEngineClass<TKvTi9918A6448GigaEngine>().GetZoomFactor(), 4);
  EXPECT_EQ(DestEngineClass<TKvTi9918A64Engine>().GetZoomFactor(), 1);
}

TEST(KvSavePlatformTI99, PaletteBuilder) {
  TKvPalette256 p;
  BuildTI99Palette(p, ptTI99Convert9918, 11);
  ASSERT_EQ(p.Count, 16);
  EXPECT_TRUE(p.Colors[0].Skip);
  EXPECT_EQ(p.GetStdRGB(15), StdRGBColor(0xF8, 0xF8, 0xF8));
  BuildTI99Palette(p, ptTI99MSX, 1);
  ASSERT_EQ(p.Count, 3);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(1, 1, 1));
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(0xCC, 0xCC, 0xCC));
  BuildTI99Palette(p, ptTI99Adam, 0);
  ASSERT_EQ(p.Count, 2);
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(255, 255, 255));
  BuildTI99Palette(p, ptTI99Calculated, 11);
  EXPECT_EQ(p.GetStdRGB(14), StdRGBColor(231, 231, 231));
  BuildTI99Palette(p, ptTI99Convert9918, 2);
  EXPECT_EQ(p.Count, 0);
  BuildTI99Palette(p, ptRGB888, 5);
  EXPECT_EQ(p.Count, 0);
  EXPECT_EQ(OSErrorOf([&] { BuildTI99Palette(p, ptRGB888, 11); }), 87u);
  EXPECT_EQ(p.Count, 0);
}

TEST(KvSavePlatformTI99, TiFilesHeaderSizes) {
  TKvTiTestClock clock({2023, 3, 19, 13, 45, 31});
  struct Case {
    bool Program;
    int Size;
    uint8_t Sectors, Eof, Records, RecordLength, Count0, Count1;
    int FileSize;
  } cases[] = {
      {true, 6144, 0x18, 0, 0, 0, 0, 0, 6272},
      {true, 32, 0x01, 32, 0, 0, 0, 0, 384},
      {false, 300, 0x02, 44, 2, 128, 3, 0, 640},
      {false, 0, 0, 0, 2, 128, 0, 0, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Size);
    auto s = c.Program ? TKvTiStream::CreateProgram("x", c.Size, 0xAA)
                       : std::make_unique<TKvTiStream>("x", c.Size, 0xAA);
    EXPECT_EQ(s->GetPosition(), 128);
    s->PadToSector();
    EXPECT_EQ(s->GetSize(), c.FileSize);
    const uint8_t* h = s->GetMemory();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h), 8), std::string("\x07TIFILES"));
    EXPECT_EQ(h[8], 0);
    EXPECT_EQ(h[9], c.Sectors);
    EXPECT_EQ(h[10], c.Program ? 1 : 0);
    EXPECT_EQ(h[11], c.Records);
    EXPECT_EQ(h[12], c.Eof);
    EXPECT_EQ(h[13], c.RecordLength);
    EXPECT_EQ(h[14], c.Count0);
    EXPECT_EQ(h[15], c.Count1);
    EXPECT_EQ(h[28], 0xFF);
    EXPECT_EQ(h[29], 0xFF);
    // 13:45:31 and 2023-03-19.
    EXPECT_EQ((h[30] << 8) | h[31], (13 << 11) | (45 << 5) | 15);
    EXPECT_EQ((h[32] << 8) | h[33], (23 << 9) | (3 << 5) | 19);
    for (int i = 34; i < 128; ++i) ASSERT_EQ(h[i], 0) << i;
    for (int i = 0; i < c.Size; ++i) ASSERT_EQ(h[128 + i], 0xAA);
    for (int64_t i = 128 + c.Size; i < s->GetSize(); ++i) ASSERT_EQ(h[i], 0);
  }
}

TEST(KvSavePlatformTI99, CreationYears) {
  struct Case {
    TKvTiDateTime Time;
    int Year7;
  } cases[] = {{{1999, 12, 31, 23, 59, 59}, 99}, {{2023, 3, 19, 0, 0, 0}, 23}, {{2000, 1, 1, 0, 0, 0}, 0}};
  for (const Case& c : cases) {
    TKvTiTestClock clock(c.Time);
    TKvTiFilesHeader h;
    InitTiFilesHeader(h);
    EXPECT_EQ(h.CreationDate[0] >> 1, c.Year7);
    EXPECT_EQ(((h.CreationDate[0] << 8 | h.CreationDate[1]) >> 5) & 15, c.Time.Month);
    EXPECT_EQ(h.CreationDate[1] & 31, c.Time.Day);
    EXPECT_EQ(h.CreationTime[0] >> 3, c.Time.Hour);
    EXPECT_EQ(h.CreationTime[1] & 31, c.Time.Second / 2);
  }
}

TEST(KvSavePlatformTI99, FileNames) {
  TKvTiTestClock clock({2023, 3, 19, 0, 0, 0});
  TKvTiStream d("x", 10, 0);
  d.StoreFileName("my.pic");
  EXPECT_EQ(Name10(d), "my_pic    ");
  d.StoreFileName("\xC3\xA9t\xC3\xA9.x\x01y");  // two accented letters, a control byte
  EXPECT_EQ(Name10(d), "_t__x_y   ");
  d.StoreFileName("averyverylongname");
  EXPECT_EQ(Name10(d), "averyveryl");

  TKvTiGStream g("yapp", 10, 0);
  g.StoreFileName("my.pic.yapp");
  EXPECT_EQ(Name10(g), "my_pic    ");

  struct Case {
    const char* File;
    const char* Names[3];
  } cases[] = {
      {"picture.tiap", {"picture_P ", "picture_C ", "picture_M "}},
      {".tiap", {"_P        ", "_C        ", "_M        "}},
      {"P.tiap", {"P_P       ", "P_C       ", "P_M       "}},
      {"mylongname.tiap", {"mylongna_P", "mylongna_C", "mylongna_M"}},
      {"PIC_P.tiac", {"PIC_P     ", "PIC_C     ", "PIC_M     "}},
      {"PIC_C.tiap", {"PIC_C_P   ", "PIC_C_C   ", "PIC_C_M   "}},
      {"a.b.tiap", {"a_b_P     ", "a_b_C     ", "a_b_M     "}},
  };
  for (const Case& c : cases)
    for (uint8_t i = 0; i < 3; ++i) {
      TKvTiPCMStream s(i, 32, 0);
      EXPECT_EQ(s.GetExtension(), std::string("TIA") + TiPCMLetters[i]);
      s.StoreFileName(c.File);
      EXPECT_EQ(Name10(s), c.Names[i]) << c.File;
    }
}

TEST(KvSavePlatformTI99, BitmapBlackAndWhiteWritesThePatternsOnly) {
  TKvTiTestClock clock({2023, 3, 19, 0, 0, 0});
  auto pic = GradientPicture(256, 192, 5);
  auto r = ConvertPicture(DestEngineClass<TKvTi9918AEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetStream(0)->GetSubStreamCount(), 0);
  EXPECT_EQ(r.Size(0), 6272);
  EXPECT_EQ(r.Streams->GetExtension(0), "TIAP");
  // Dark preview pixels are the set bits.
  for (int y = 0; y < 192; y += 7)
    for (int x = 0; x < 256; x += 5) {
      const bool set = (r.Bytes(0)[128 + TiTableOffset(x / 8, y)] >> (7 - x % 8)) & 1;
      ASSERT_EQ(set, r.Preview->GetPixel(x, y) == 0) << x << "," << y;
    }
  // The panel's palette is put back as it was.
  EXPECT_EQ(r.Options->GetPalette()->Count, 15);
}

TEST(KvSavePlatformTI99, HalfCharacterModeOfOneColour) {
  // Code 5 of the default "Convert9918" table.
  auto pic = SolidPicture(64, 192, 0x7870F8);
  auto r = ConvertPicture(DestEngineClass<TKvTi9918A64Engine>(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  TKvStream* c = r.Streams->GetStream(0)->GetSubStream(0);
  EXPECT_EQ(c->GetExtension(), "TIAC");
  ASSERT_EQ(r.Size(0), 6272);
  ASSERT_EQ(c->GetSize(), 6272);
  for (int i = 128; i < 6272; ++i) {
    ASSERT_EQ(r.Bytes(0)[i], 0xF0) << i;
    ASSERT_EQ(c->GetMemory()[i], 0x55) << i;
  }
  // The panel keeps its 15 colours.
  EXPECT_EQ(r.Options->GetPalette()->Count, 15);
}

TEST(KvSavePlatformTI99, DualFramesSplitTheMixtureIndex) {
  std::vector<uint8_t> a(1536), b(1536);
  TKvTi9918A6448GigaScreen s(a.data(), b.data());
  struct Case {
    int X, Y, Index, First, Second;
  } cases[] = {{0, 0, 0, 1, 1}, {1, 0, 224, 15, 15}, {2, 9, 16, 2, 2}, {63, 47, 15, 2, 1}};
  for (const Case& c : cases) {
    s.SetPixel(c.X, c.Y, c.Index);
    const int o = TiTableOffset(c.X / 2, c.Y), sh = (c.X & 1) ? 0 : 4;
    EXPECT_EQ((a[o] >> sh) & 15, c.First) << c.Index;
    EXPECT_EQ((b[o] >> sh) & 15, c.Second) << c.Index;
  }
}

TEST(KvSavePlatformTI99, ModesOutsideTheListsRaise87) {
  auto pic = GradientPicture(64, 48, 3);
  EXPECT_EQ(OSErrorOf([&] {
              ConvertPicture(DestEngineClass<TKvTi9918A6448GigaEngine>(), *pic,
                             [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
            }),
            87u);
  EXPECT_EQ(OSErrorOf([&] {
              ConvertPicture(DestEngineClass<TKvTi9918A6448Engine>(), *pic,
                             [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGrayGreen); });
            }),
            87u);
  auto big = GradientPicture(256, 192, 3);
  EXPECT_EQ(OSErrorOf([&] {
              ConvertPicture(DestEngineClass<TKvTi9918AEngine>(), *big,
                             [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmCustom); });
            }),
            87u);
}

TEST(KvSavePlatformTI99, OptionsAndPanels) {
  auto o = TKvTi9918AEngine().CreateOptions();
  EXPECT_EQ(o->GetWidth(), 256);
  EXPECT_EQ(o->GetCellWidth(), 8);
  EXPECT_EQ(o->PixelAspect, pa1p138_1);
  EXPECT_EQ(o->PaletteType, ptTI99Convert9918);
  EXPECT_EQ(o->GetPalette()->Count, 15);
  o->SetPaletteMode(pmGray);
  o->UpdatePalette();
  EXPECT_EQ(o->GetPalette()->Count, 3);
  o->SetUseAsGrayPalette(true);
  o->UpdatePalette();
  EXPECT_EQ(o->GetPalette()->Count, 15);
  auto o64 = TKvTi9918A64Engine().CreateOptions();
  EXPECT_EQ(o64->PixelAspect, pa4p552_1);
  EXPECT_EQ(o64->GetHeight(), 192);
  EXPECT_EQ(o64->DitherMethod, 1);
  auto og = TKvTi9918A6448GigaEngine().CreateOptions();
  EXPECT_EQ(og->GetPalette()->Count, 225);
  EXPECT_EQ(og->DitherMethod, 0);

  auto ui = TKvTi9918AEngine().CreateUI(o.get());
  auto* panel = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
  ASSERT_TRUE(panel);
  const auto& sec = panel->GetSections();
  ASSERT_GE(sec.size(), 7u);
  EXPECT_EQ(sec[2].Kind, TKvPanelSectionKind::CustomPaletteComboBox);
  EXPECT_EQ(sec[2].Items, (std::vector<int>{ptTI99MSX, ptTI99Adam, ptTI99Convert9918}));
  EXPECT_EQ(sec[3].Set, PaletteModes(pmBlackWhite, pmGray, pmColor).Bits);
  EXPECT_EQ(sec[4].Columns, 15);
  EXPECT_EQ(sec[5].Kind, TKvPanelSectionKind::GrayPaletteCheckBox);
  auto gui = TKvTi9918A6448GigaEngine().CreateUI(og.get());
  const auto& gsec = dynamic_cast<TKvDestEngineUIEx*>(gui.get())->GetSections();
  EXPECT_EQ(gsec[3].Set, PaletteModes(pmGray, pmColor).Bits);
  EXPECT_EQ(gsec[4].Rows, 15);
  EXPECT_EQ(gsec[5].Kind, TKvPanelSectionKind::MaxFlickering);

  // Both block limits follow the first item of the mode list: "Black/white"
  // in the bitmap panel, "Gray" in the Dual and F18A panels.
  auto fo = TKvTiF18AEngine().CreateOptions();
  auto fui = TKvTiF18AEngine().CreateUI(fo.get());
  for (TKvDestEngineUI* p : {ui.get(), gui.get(), fui.get()}) {
    std::vector<TKvControlId> controls;
    for (const TKvPanelRelated& r : dynamic_cast<TKvDestEngineUIEx*>(p)->GetRelated())
      if (r.Master == pcModeCombo && r.ItemIndex == 0 && r.Inverse) controls.push_back(r.Control);
    EXPECT_EQ(controls, (std::vector<TKvControlId>{pcLimitInsideCheckBox, pcLimitBoundaryCheckBox}));
  }
}

TEST(KvSavePlatformTI99, SameBytesOnOneAndManyProcessors) {
  TKvTiTestClock clock({2023, 3, 19, 0, 0, 0});
  auto pic = GradientPicture(256, 192, 11);
  std::vector<uint8_t> runs[2];
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    auto r = ConvertPicture(DestEngineClass<TKvTi9918AEngine>(), *pic);
    TKvStream* c = r.Streams->GetStream(0)->GetSubStream(0);
    auto& v = runs[n == 1 ? 0 : 1];
    v.assign(r.Bytes(0), r.Bytes(0) + r.Size(0));
    v.insert(v.end(), c->GetMemory(), c->GetMemory() + c->GetSize());
  }
  EXPECT_EQ(runs[0], runs[1]);
}

}  // namespace

namespace {

TEST(KvSavePlatformTI99, RunWriters) {
  TKvStream s("x");
  TKvG6RunWriter g6;
  g6.Stream = &s;
  g6.MaxRun = 512;
  for (int i = 0; i < 513; ++i) g6.Put(3);
  g6.Put(4);
  g6.Flush();
  TKvG7RunWriter g7;
  g7.Stream = &s;
  g7.MaxRun = 256;
  for (int i = 0; i < 256; ++i) g7.Put(0xE5);
  g7.Put(1);
  g7.Flush();
  g7.Flush();
  const std::vector<uint8_t> want = {0x32, 0x00, 0x30, 0x01, 0x40, 0x01, 0xE5, 0x00, 0x01, 0x01};
  EXPECT_EQ(std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + s.GetSize()), want);
}

TEST(KvSavePlatformTI99, V9938Files) {
  TKvTiTestClock clock({2023, 3, 19, 0, 0, 0});
  // Three colours of the V9938 levels, in three bands.
  auto pic = std::make_unique<TBitmap32>(512, 212);
  for (int y = 0; y < 212; ++y)
    for (int x = 0; x < 512; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u | (x < 100 ? 0xFF0000 : x < 300 ? 0x00FF00 : 0x0000FF);
  auto r = ConvertPicture(DestEngineClass<TKvTiV9938G6_512x212Engine>(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 2);
  EXPECT_EQ(r.Streams->GetExtension(0), "MyArtG6FA");
  EXPECT_EQ(r.Streams->GetExtension(1), "yapp");
  const uint8_t* d = r.Bytes(0) + 128;
  EXPECT_EQ(d[1], 250);
  int words = 0;
  for (int i = 0; i < 16; ++i) words += (d[2 + 2 * i] | d[3 + 2 * i]) != 0;
  EXPECT_EQ(words, 3);
  for (int i = 3; i < 16; ++i) EXPECT_EQ(d[2 + 2 * i] | d[3 + 2 * i], 0);
  // Three runs a row: 100, 200 and 212 pixels.
  const int length = 34 + 212 * 3 * 2;
  EXPECT_EQ(r.Bytes(0)[8] * 256 + r.Bytes(0)[9], (length + 255) / 256);
  EXPECT_EQ(r.Bytes(0)[12], length % 256);
  EXPECT_EQ(r.Bytes(0)[14] | r.Bytes(0)[15] << 8, (length + 127) / 128);
  EXPECT_EQ(((d[34] & 3) << 8 | d[35]) + ((d[36] & 3) << 8 | d[37]) + ((d[38] & 3) << 8 | d[39]), 512);

  auto g7 = GradientPicture(256, 212, 3);
  EXPECT_EQ(OSErrorOf([&] {
              ConvertPicture(DestEngineClass<TKvTiV9938G7_256x212Engine>(), *g7,
                             [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmCustom); });
            }),
            87u);
  auto o6 = TKvTiV9938G6_512x424Engine().CreateOptions();
  EXPECT_EQ(o6->PixelAspect, pa1p138_1);
  EXPECT_EQ(o6->GetHeight(), 424);
  EXPECT_EQ(o6->GetHardwarePalette()->GetCount(), 512);
  auto o7 = TKvTiV9938G7_256x424Engine().CreateOptions();
  EXPECT_EQ(o7->PixelAspect, pa2p276_1);
  EXPECT_EQ(o7->DitherMethod, 1);
  auto ui = TKvTiV9938G6_512x212Engine().CreateUI(o6.get());
  auto* panel = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->GetSections()[2].Set, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Bits);
  TKvPalette256 scratch;
  int columns = 0;
  EXPECT_EQ(panel->GetEditedPalette(scratch, columns)->GetCount(), 512);
  EXPECT_EQ(columns, 32);
}

TEST(KvSavePlatformTI99, F18AOptionsAndFixedPaletteFilter) {
  auto o = TKvTiF18AEngine().CreateOptions();
  EXPECT_EQ(o->PaletteUsage, puBlackAndColors15);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 4096);
  auto ui = TKvTiF18AEngine().CreateUI(o.get());
  auto* panel = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
  ASSERT_TRUE(panel);
  TKvPalette256 black, red;
  black.AddRGB(0, 0, 0);
  black.AddRGB(255, 255, 255);
  red.AddRGB(255, 0, 0);
  red.AddRGB(0, 0, 0);
  EXPECT_TRUE(panel->AcceptFixedPalette(black));
  EXPECT_FALSE(panel->AcceptFixedPalette(red));
  o->SetPaletteUsage(puColors16);
  EXPECT_TRUE(panel->AcceptFixedPalette(red));
  auto pic = GradientPicture(256, 192, 4);
  EXPECT_EQ(OSErrorOf([&] {
              ConvertPicture(DestEngineClass<TKvTiF18AScanlineEngine>(), *pic,
                             [](TKvDestEngineOptions& opt) { opt.PaletteUsage = 3; });
            }),
            87u);
  TKvPalette256 many;
  for (int i = 0; i < 17; ++i) many.AddRGB(uint8_t((i % 16) * 17), 0, 0);
  uint8_t words[40];
  auto levels = TKvPaletteRGB::CreateType(ptRGB444, false);
  EXPECT_EQ(OSErrorOf([&] { WriteF18APaletteWords(words, many, *levels); }), 87u);
  many.Count = 2;
  WriteF18APaletteWords(words, many, *levels);
  EXPECT_EQ(words[2], 0x01);
  EXPECT_EQ(words[3], 0x00);
}

}  // namespace

namespace {

TEST(KvSavePlatformTI99, F18APictureOfFewLevelColoursKeepsThem) {
  // Four colours of the 4096, each channel rising from one to the next, so
  // any gray measure orders them alike; the bands are not in that order.
  auto pic = std::make_unique<TBitmap32>(64, 8);
  const uint32_t bands[4] = {0xFFEEFF, 0x221100, 0xAACC99, 0x665544};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 64; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u | bands[x / 16];
  auto r = ConvertPicture(DestEngineClass<TKvTiF18AEngine>(), *pic);  // "Black + 15 colors"
  // Not quantized: black from the fixed colours first, then the picture's
  // colours by gray.
  const TKvPalette256& p = *r.Options->GetPalette();
  ASSERT_EQ(p.Count, 5);
  const TKvStdRGBColor want[5] = {StdRGBColor(0, 0, 0), StdRGBColor(0x22, 0x11, 0x00), StdRGBColor(0x66, 0x55, 0x44),
                                  StdRGBColor(0xAA, 0xCC, 0x99), StdRGBColor(0xFF, 0xEE, 0xFF)};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.GetStdRGB(i), want[i]) << i;
  const uint8_t* m = r.Streams->GetStream(0)->GetSubStream(1)->GetMemory() + 128;
  const std::vector<uint8_t> words(m, m + 12);
  EXPECT_EQ(words, (std::vector<uint8_t>{0x00, 0x00, 0x02, 0x10, 0x06, 0x54, 0x0A, 0xC9, 0x0F, 0xEF, 0x00, 0x00}));
}

}  // namespace
