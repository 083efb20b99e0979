#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/KvCellImage.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvPlatformZxSpectrumSpectra.h"
#include "platforms/KvSavePlatformZxSpectrumSpectra.h"
#include "KvTestHarness.h"
#include "rtl/KvSysUtils.h"

namespace {

template <class T>
const TKvDestEngineClass& Engine() {
  return DestEngineClass<T>();
}

// The eight modes in list order with their cells.
struct TSpectraMode {
  const TKvDestEngineClass* Class;
  int Width, Height;
};
std::vector<TSpectraMode> Modes() {
  const auto& c = ZxSpectrumSpectraDestEngineClasses();
  return {{c[0], 8, 1}, {c[1], 8, 2}, {c[2], 8, 4}, {c[3], 8, 8},
          {c[4], 4, 1}, {c[5], 4, 2}, {c[6], 4, 4}, {c[7], 4, 8}};
}

TEST(KvPlatformZxSpectrumSpectra, TrailerCheck) {
  struct {
    const char* Bytes;
    int64_t Size;
    bool Ok;
  } cases[] = {
      {"PS\x84", 6915, true},  {"PS\x00", 6915, true},  {"PS\x04", 6915, true},  {"PS\x80", 6915, true},
      {"PS\x08", 6915, false}, {"SP\x00", 6915, false}, {"PS\x00", 6912, false}, {"PS\x10", 6915, false},
      {"PS\x8C", 7939, true},  {"PS\x0D", 11779, true}, {"PS\x85", 9731, true},  {"PS\x86", 11267, true},
      {"PS\x0E", 15363, true}, {"PS\x87", 14339, true}, {"PS\x8F", 16387, true}, {"PS\x0F", 14339, false},
      {"PS\x03", 16387, false}, {"PS\x00", 6916, false}, {"PS\x40", 6915, false},
  };
  for (auto& c : cases) {
    const uint8_t* t = reinterpret_cast<const uint8_t*>(c.Bytes);
    EXPECT_EQ(CheckSpectraTrailer(TKvBytes(t, 3), c.Size), c.Ok) << std::hex << int(t[2]) << std::dec << " " << c.Size;
  }
  uint8_t t[3];
  InitSpectraTrailer(t, 0x8B);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(t), 3), "PS\x8B");
}

TEST(KvPlatformZxSpectrumSpectra, WriteTrailer) {
  struct {
    int Size;
    uint8_t Type;
    int Height;
    bool Half;
    uint8_t Mode;
  } cases[] = {{7939, ptColored64x2, 8, false, 0x0C}, {14339, ptColored15x1, 1, true, 0x83},
               {9731, ptColored64x1, 4, false, 0x05}, {15363, ptColored15x2, 2, true, 0x8A}};
  for (auto& c : cases) {
    TKvStreamList l;
    TKvStream* s = l.NewStreamFilled("bin", c.Size, 255);
    WriteSpectraTrailer(*s, c.Type, c.Height, c.Half);
    const uint8_t* d = s->GetMemory();
    EXPECT_EQ(d[c.Size - 3], 0x50);
    EXPECT_EQ(d[c.Size - 2], 0x53);
    EXPECT_EQ(d[c.Size - 1], c.Mode);
    EXPECT_EQ(d[c.Size - 4], 255);
  }
  TKvStreamList l;
  EXPECT_THROW(WriteSpectraTrailer(*l.NewStream("bin", 6915), ptColored15x1, 3, false), Exception);
}

// Where cell rows keep their first and second attribute bytes (column 0).
TEST(KvPlatformZxSpectrumSpectra, AttributeAddresses) {
  struct {
    int Height;
    bool Double;
    int Row;
    int First, Second;
  } cases[] = {
      {8, true, 23, 6880, 7904},    {4, true, 1, 8448, 10496},   {4, false, 2, 8224, -1},
      {4, false, 16, 8704, -1},     {4, true, 47, 9696, 11744},  {2, false, 1, 8448, -1},
      {2, false, 4, 8224, -1},      {2, false, 32, 9216, -1},    {2, true, 95, 11232, 15328},
      {1, false, 191, 8192 + ZxRowOffset(191), -1},               {1, true, 64, 10240, 14336},
      {1, true, 128, 6144, 7168},   {1, true, 159, 7136, 8160},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Height << " " << c.Double << " " << c.Row);
    const int first = SpectraAttrOffset(c.Height, c.Double, c.Row, 0);
    EXPECT_EQ(first, c.First);
    if (c.Second >= 0) {
      EXPECT_EQ(first + SpectraSecondByteOffset(c.Height, c.Row), c.Second);
    }
  }
  // Pixel rows 128 and 129 share a double-byte height-1 cell row, as do 190
  // and 191.
  EXPECT_EQ(SpectraCellRowOf(129, 1, true), 128);
  EXPECT_EQ(SpectraCellRowOf(191, 1, true), 159);
  EXPECT_EQ(SpectraCellRowOf(191, 1, false), 191);
  EXPECT_EQ(SpectraCellRows(1, true), 160);
}

TEST(KvSavePlatformZxSpectrumSpectra, ScreenEncodings) {
  std::vector<uint8_t> d(16387, 255);
  {
    TKvZxSpectrumSpectraColor8x8x64x1Screen s(d.data());
    s.SetAttr(0, 0, (42 << 8) | 5);
    s.SetAttr(1, 0, 63);
    EXPECT_EQ(d[6144], 0x45);
    EXPECT_EQ(d[6145], 0x3F);
  }
  {
    TKvZxSpectrumSpectraColor8x8x15x2Screen s(d.data());
    s.SetAttr(2, 0, (15 << 4) | 1);  // paper bright white, ink blue
    EXPECT_EQ(d[6146], 0x01);
    EXPECT_EQ(d[6146 + 1024], 0x47);
  }
  {
    std::fill(d.begin(), d.end(), 255);
    TKvZxSpectrumSpectraColor4x8x15x1Screen s(d.data());
    s.SetAttr(2, 0, 5 | 0x40);
    s.SetAttr(3, 0, 3 | 0x40);
    EXPECT_EQ(d[6145], 0xEB);
  }
  {
    TKvZxSpectrumSpectraColor4x8x15x2Screen s(d.data());
    s.SetAttr(6, 0, (2 << 8) | 9);  // ink 2, paper bright blue
    s.SetAttr(7, 0, (12 << 8) | 9);
    EXPECT_EQ(d[6147], 0x80 | 0x40 | (2 << 3) | 4);
    EXPECT_EQ(d[6147 + 1024], 0x80 | 0x40 | (1 << 3) | 1);
  }
  {
    TKvZxSpectrumSpectraColor4x8x64x2Screen s(d.data());
    s.SetAttr(0, 0, 0x25);
    s.SetAttr(1, 0, 0x7F);
    EXPECT_EQ(d[7168], 0x25);
    EXPECT_EQ(d[6144], 0x3F);
    s.MirrorX = true;
    s.SetAttr(0, 1, 7);  // the rightmost half cell: column 63, odd
    EXPECT_EQ(d[6144 + 32 + 31], 7);
  }
  {
    TKvZxSpectrumSpectraColor8x1x64x2Screen s(d.data());
    s.SetAttr(0, 129, (21 << 8) | 42);
    EXPECT_EQ(d[6144 + 256], 42);
    EXPECT_EQ(d[7168 + 256], 21);
    s.MirrorX = true;
    s.SetAttr(0, 64, 0x101);
    EXPECT_EQ(d[10240 + 31], 1);
    EXPECT_EQ(d[14336 + 31], 1);
    s.SetPixel(0, 8, 1);
    EXPECT_EQ(d[32 + 31] & 1, 1);
    EXPECT_EQ(s.GetPixel(0, 8), 1);
  }
  {
    std::vector<uint8_t> b(6915, 0);
    TKvZxSpectrumSpectraBWScreen s(b.data());
    s.SetPixel(0, 1, 0);
    EXPECT_EQ(b[256], 0x80);
    EXPECT_EQ(s.GetPixel(0, 1), 0);
    EXPECT_EQ(s.GetPixel(1, 1), 1);
  }
}

TEST(KvSavePlatformZxSpectrumSpectra, CandidateLists) {
  TKvPalette256 p15, p64;
  {
    auto o = TKvDestEngineOptions::Create();
    o->BuildSpectra15Palette();
    p15.Assign(o->GetPalette());
    o->BuildSpectra64Palette();
    p64.Assign(o->GetPalette());
  }
  auto pairs = [](const TKvCellPaletteList& l) {
    std::vector<std::pair<int, int>> r;
    for (int i = 0; i < l.GetCount(); ++i) r.emplace_back(l.GetPalette(i)->IndexA, l.GetPalette(i)->IndexB);
    return r;
  };
  using P = std::vector<std::pair<int, int>>;
  auto s1 = pairs(TKvZxSpectrumSpectra64ColorS1PaletteList(p64));
  ASSERT_EQ(s1.size(), 127u);
  EXPECT_EQ(s1[1], std::make_pair(42, 42));
  EXPECT_EQ(s1[2], std::make_pair(0, 1));
  EXPECT_EQ(s1.back(), std::make_pair(42, 63));
  EXPECT_EQ(std::count(s1.begin(), s1.end(), std::make_pair(42, 42)), 1);
  auto s2 = pairs(TKvZxSpectrumSpectra64ColorS2PaletteList(p64));
  ASSERT_EQ(s2.size(), 2080u);
  EXPECT_EQ(s2[63], std::make_pair(63, 63));
  EXPECT_EQ(s2[64], std::make_pair(0, 1));
  EXPECT_EQ(s2.back(), std::make_pair(62, 63));
  EXPECT_EQ(pairs(TKvZxSpectrumSpectra64GrayS1PaletteList(p64)),
            (P{{0, 0}, {42, 42}, {0, 21}, {0, 42}, {0, 63}, {42, 0}, {42, 21}, {42, 63}}));
  EXPECT_EQ(pairs(TKvZxSpectrumSpectra64GrayS2PaletteList(p64)).size(), 10u);
  EXPECT_EQ(pairs(TKvZxSpectrumSpectraHalf64ColorS2PaletteList(p64)).size(), 64u);
  EXPECT_EQ(pairs(TKvZxSpectrumSpectraHalf64GrayS2PaletteList(p64)), (P{{0, 0}, {0, 21}, {0, 42}, {0, 63}}));
  EXPECT_EQ(pairs(TKvSpectrumSpectraColor4xNx15x1PaletteList(p15, false, false)).back(), std::make_pair(8, 15));
  EXPECT_EQ(pairs(TKvSpectrumSpectraColor4xNx15x1PaletteList(p15, true, true)), (P{{0, 0}, {0, 7}}));
  struct {
    bool PaperBright, InkBright, Gray;
    size_t Count;
    std::pair<int, int> First, Last;
  } half[] = {
      {false, false, false, 36, {0, 0}, {6, 7}},  {false, true, false, 64, {0, 8}, {7, 15}},
      {true, false, false, 64, {8, 0}, {15, 7}},  {true, true, false, 36, {8, 8}, {14, 15}},
      {false, false, true, 3, {0, 0}, {0, 7}},    {false, true, true, 4, {0, 8}, {7, 15}},
      {true, false, true, 4, {8, 0}, {15, 7}},    {true, true, true, 3, {8, 8}, {8, 15}},
  };
  for (auto& c : half) {
    auto l = pairs(TKvSpectrumSpectraColor4xNx15x2PaletteList(p15, c.PaperBright, c.InkBright, c.Gray));
    ASSERT_EQ(l.size(), c.Count);
    EXPECT_EQ(l.front(), c.First);
    EXPECT_EQ(l.back(), c.Last);
  }
  auto bmp = SolidPicture(8, 8, 0);
  TKvSpectrumSpectraColor4xNx15x2Image img(4, 8, *bmp);
  EXPECT_EQ(img.CreatePaletteList(4), nullptr);
}

TEST(KvSavePlatformZxSpectrumSpectra, ModeListAndOptions) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int s = l.IndexOf("ZX Spectrum Spectra");
  ASSERT_GE(s, 0);
  // Between the Next and the ULAplus platforms.
  EXPECT_GT(s, l.IndexOf("ZX Spectrum Next"));
  EXPECT_GE(l.IndexOf("ZX Spectrum Next"), 0);
  EXPECT_LT(s, l.IndexOf("ZX Spectrum UlaPlus"));
  std::vector<std::string> modes;
  for (int i = 0; i < l.GetSubTypes(s).GetCount(); ++i) modes.push_back(l.GetSubTypes(s).GetString(i));
  EXPECT_EQ(modes, (std::vector<std::string>{"256x192 (8x1)", "256x192 (8x2)", "256x192 (8x4)", "256x192 (8x8)",
                                             "256x192 (4x1)", "256x192 (4x2)", "256x192 (4x4)", "256x192 (4x8)"}));
  struct {
    uint8_t Type, Dither;
    bool Limits;
  } defaults[] = {{36, 2, false}, {36, 2, true}, {36, 1, true}, {36, 1, true},
                  {34, 2, false}, {34, 2, true}, {34, 1, true}, {34, 1, true}};
  const auto m = Modes();
  for (size_t i = 0; i < m.size(); ++i) {
    auto o = m[i].Class->Create()->CreateOptions();
    SCOPED_TRACE(m[i].Class->GetModeName());
    EXPECT_EQ(o->PaletteType, defaults[i].Type);
    EXPECT_EQ(o->PaletteMode, 11);
    EXPECT_EQ(o->ErrorDiffusion, 90);
    EXPECT_EQ(o->DitherMethod, defaults[i].Dither);
    EXPECT_EQ(o->LimitErrorInsideBlock, defaults[i].Limits);
    EXPECT_EQ(o->LimitErrorAtBlockBoundary, defaults[i].Limits);
    EXPECT_EQ(o->GetCellWidth(), m[i].Width);
    EXPECT_EQ(o->GetCellHeight(), m[i].Height);
    EXPECT_EQ(o->GetWidth(), 256);
    EXPECT_EQ(o->GetHeight(), 192);
    EXPECT_EQ(o->GetPalette()->GetCount(), defaults[i].Type == 36 ? 64 : 16);
    o->SetPaletteMode(pmBlackWhite);
    o->UpdatePalette();
    EXPECT_EQ(o->GetPalette()->GetCount(), 2);
  }
}

// Black and white: the attribute areas are filled so that the file shows
// black and white, and the preview is dark where the file is.
TEST(KvSavePlatformZxSpectrumSpectra, BlackAndWhiteFills) {
  struct {
    uint8_t Type;
    bool Half;
    int First, Second;
    bool Inverted;  // set bits show white
  } cases[] = {
      {33, false, 0x78, -1, false}, {34, false, 0x00, 0x47, false}, {35, false, 0x3F, -1, true},
      {36, false, 0x00, 0x3F, false}, {33, true, 0x7F, -1, true},  {34, true, 0x00, 0x7F, false},
      {36, true, 0x3F, 0x3F, true},
  };
  auto pic = GradientPicture(256, 192, 8);
  for (const TSpectraMode& m : Modes()) {
    for (auto& c : cases) {
      if (c.Half != (m.Width == 4)) continue;
      SCOPED_TRACE(testing::Message() << m.Class->GetModeName() << " type " << int(c.Type));
      auto r = ConvertPicture(*m.Class, *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(c.Type);
        o.SetPaletteMode(pmBlackWhite);
      });
      const bool dbl = c.Type == 34 || c.Type == 36;
      const int size = SpectraImageSize(SpectraHeightCode(m.Height), dbl);
      ASSERT_EQ(r.Size(0), size + 3);
      const uint8_t* d = r.Bytes(0);
      EXPECT_EQ(d[size + 2], SpectraHeightCode(m.Height) | (c.Type >= 35 ? 4 : 0) | (dbl ? 8 : 0) | (c.Half ? 0x80 : 0));
      std::vector<int> expected(static_cast<size_t>(size), 255);
      for (int second : {0, 1}) {
        const int v = second ? c.Second : c.First;
        if (v < 0) continue;
        const TSpectraAreas a = SpectraAttrAreas(m.Height, dbl, second != 0);
        for (int k = 0; k < a.Count; ++k)
          for (int i = 0; i < a.Runs[k].Length; ++i) expected[static_cast<size_t>(a.Runs[k].Offset + i)] = v;
      }
      int wrong = 0;
      for (int i = 6144; i < size; ++i) wrong += d[i] != expected[static_cast<size_t>(i)];
      EXPECT_EQ(wrong, 0);
      int mismatched = 0;
      for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
          const bool set = (d[ZxRowOffset(y) + x / 8] >> (7 - x % 8)) & 1;
          const bool dark = r.Preview->GetPixel(x, y) == 0;
          mismatched += dark != (set != c.Inverted);
        }
      EXPECT_EQ(mismatched, 0);
    }
  }
  // The whole 8x8 double-byte 64-colour file.
  auto r = ConvertPicture(Engine<TKvZxSpectrumSpectra8x8Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Size(0), 7939);
  const uint8_t* d = r.Bytes(0);
  EXPECT_EQ(std::count(d + 6144, d + 6912, 0), 768);
  EXPECT_EQ(std::count(d + 6912, d + 7168, 255), 256);
  EXPECT_EQ(std::count(d + 7168, d + 7936, 0x3F), 768);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 7936), 3), "PS\x0C");
}

// Palette types a mode cannot write are refused with a message, in every
// palette mode: the half-width modes have no single-byte 64-colour form.
TEST(KvSavePlatformZxSpectrumSpectra, RefusedPaletteTypes) {
  auto pic = SolidPicture(256, 192, 0x808080);
  for (const TSpectraMode& m : Modes())
    for (uint8_t type : {0, 27, 32, 35, 37})
      for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
        if (type == 35 && m.Width == 8) continue;
        SCOPED_TRACE(testing::Message() << m.Class->GetModeName() << " " << int(type) << " " << int(mode));
        try {
          ConvertPicture(*m.Class, *pic, [&](TKvDestEngineOptions& o) {
            o.SetPaletteType(type);
            o.SetPaletteMode(mode);
          });
          ADD_FAILURE() << "converted";
        } catch (const Exception& e) {
          EXPECT_FALSE(e.Message().empty());
        }
      }
}

// Uniform pictures: every cell takes one colour. The engines convert the
// picture they are given, so a band of two cell rows does.
TEST(KvSavePlatformZxSpectrumSpectra, SolidCells) {
  struct {
    const TKvDestEngineClass* Class;
    uint8_t Type;
    uint32_t Color;
    int Offset;
    std::vector<int> Bytes;  // first byte, then the second
  } cases[] = {
      {&Engine<TKvZxSpectrumSpectra8x8Engine>(), 35, 0xB9B9B9, 6144, {0x6A}},  // (42, 42)
      {&Engine<TKvZxSpectrumSpectra8x8Engine>(), 35, 0x000000, 6144, {0x00}},  // (0, 0)
      {&Engine<TKvZxSpectrumSpectra8x4Engine>(), 35, 0x59B9FF, 8192, {0x27}},
      {&Engine<TKvZxSpectrumSpectra8x8Engine>(), 34, 0x0000FF, 6144, {0x41, 0x41}},
      {&Engine<TKvZxSpectrumSpectra4x8Engine>(), 33, 0xFFFF00, 6144, {0x80 | 0x40 | 0x30 | 0x06}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Class->GetModeName() << " " << int(c.Type) << " " << std::hex << c.Color);
    auto pic = SolidPicture(256, 16, c.Color);
    auto r = ConvertPicture(*c.Class, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(c.Type);
      o.SetErrorDiffusion(0);
    });
    const uint8_t* d = r.Bytes(0);
    const int second = SpectraSecondByteOffset(c.Class->Create()->CreateOptions()->GetCellHeight(), 0);
    EXPECT_EQ(d[c.Offset], c.Bytes[0]);
    if (c.Bytes.size() > 1) {
      EXPECT_EQ(d[c.Offset + second], c.Bytes[1]);
    }
  }
}

// After a colour conversion the bytes no attribute area covers keep 255.
TEST(KvSavePlatformZxSpectrumSpectra, UncoveredBytesStay255) {
  auto pic = GradientPicture(256, 192, 4);
  auto r = ConvertPicture(Engine<TKvZxSpectrumSpectra8x4Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored15x1); });
  ASSERT_EQ(r.Size(0), 9731);
  EXPECT_EQ(std::count(r.Bytes(0) + 6144, r.Bytes(0) + 8192, 255), 2048);
  EXPECT_EQ(r.Bytes(0)[9730], 0x01);
}

TEST(KvSavePlatformZxSpectrumSpectra, GrayEndsWithTheGrayPalette) {
  auto pic = GradientPicture(256, 192, 5);
  auto r = ConvertPicture(Engine<TKvZxSpectrumSpectra8x4Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptColored15x1);
    o.SetPaletteMode(pmGray);
  });
  EXPECT_EQ(r.Preview->Palette->GetCount(), 16);
  EXPECT_EQ(r.Options->GetPalette()->GetCount(), 3);
  auto r64 = ConvertPicture(Engine<TKvZxSpectrumSpectra8x8Engine>(), *pic,
                            [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  EXPECT_EQ(r64.Preview->Palette->GetCount(), 64);
  EXPECT_EQ(r64.Options->GetPalette()->GetCount(), 4);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int v = r64.Preview->GetPixel(x, y);
      ASSERT_TRUE(v == 0 || v == 21 || v == 42 || v == 63) << v;
    }
}

// A colour usage left from "15 colors (single byte)" does not limit the
// double-byte 15-colour modes: they convert as with usage 0.
TEST(KvSavePlatformZxSpectrumSpectra, DoubleByteIgnoresColourUsage) {
  TKvProcessorCountOverride one(1);
  auto band = GradientPicture(256, 16, 6);
  auto pic = GradientPicture(256, 192, 6);
  struct {
    const TKvDestEngineClass* Class;
    TBitmap32* Picture;
  } cases[] = {{&Engine<TKvZxSpectrumSpectra8x8Engine>(), band.get()},
               {&Engine<TKvZxSpectrumSpectra8x1Engine>(), pic.get()}};
  for (auto& [cls, picture] : cases) {
    auto base = ConvertPicture(*cls, *picture, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored15x2); });
    for (TKvColorUsage usage : {cuDarkOnlyForceBright}) {
      auto r = ConvertPicture(*cls, *picture, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(ptColored15x2);
        o.SetColorUsage(usage);
      });
      EXPECT_EQ(std::memcmp(r.Bytes(0), base.Bytes(0), static_cast<size_t>(r.Size(0))), 0) << int(usage);
      EXPECT_EQ(CountIndexDiffs(*r.Preview, *base.Preview), 0);
      EXPECT_EQ(r.Options->ColorUsage, cuDarkAndBright);
    }
  }
}

TEST(KvSavePlatformZxSpectrumSpectra, HalfWidthColourUsage) {
  auto pic = GradientPicture(256, 192, 9);
  for (TKvColorUsage usage : {cuDarkOnly, cuDarkOnlyForceBright, cuBrightOnly}) {
    auto r = ConvertPicture(Engine<TKvZxSpectrumSpectra4x8Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColored15x1);
      o.SetColorUsage(usage);
    });
    const uint8_t* d = r.Bytes(0);
    for (int i = 6144; i < 6912; ++i) ASSERT_EQ((d[i] & 0x40) != 0, usage != cuDarkOnly) << int(usage) << " " << i;
  }
}

// The double-byte height-1 walk: 160 rows of cells, progress counted in
// them, and the block limits (which no panel offers there) record a range for
// every walked row.
TEST(KvSavePlatformZxSpectrumSpectra, RowWalk) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 192, 10);
  struct {
    const TKvDestEngineClass* Class;
    uint8_t Type;
    int Cells;
  } cases[] = {{&Engine<TKvZxSpectrumSpectra8x1Engine>(), ptColored15x2, 5120},
               {&Engine<TKvZxSpectrumSpectra4x1Engine>(), ptColored15x2, 10240},
               {&Engine<TKvZxSpectrumSpectra4x1Engine>(), ptColored64x2, 10240},
               {&Engine<TKvZxSpectrumSpectra8x1Engine>(), ptColored64x2, 5120}};
  for (auto& c : cases)
    for (bool limits : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.Class->GetModeName() << " " << int(c.Type) << " " << limits);
      auto engine = c.Class->Create();
      auto o = engine->CreateOptions();
      o->SetPaletteType(c.Type);
      o->SetPaletteMode(pmGray);
      o->SetLimitErrorInsideBlock(limits);
      o->SetLimitErrorAtBlockBoundary(limits);
      TKvDestProgress progress;
      bool abort = false;
      std::unique_ptr<TKvStreamList> streams;
      auto preview = c.Class->Convert(&abort, *pic, nullptr, nullptr, *o, progress, streams);
      int max = 0, pos = 0;
      progress.GetProgress(max, pos);
      EXPECT_EQ(max, c.Cells);
      EXPECT_EQ(pos, c.Cells);
      ASSERT_EQ(streams->GetStream(0)->GetSize(), 16387);
      // Rows 128..159 are the bottom third's cells two lines high.
      const uint8_t* d = streams->GetStream(0)->GetMemory();
      if (c.Type == ptColored64x2) {
        EXPECT_EQ(std::count_if(d + 6144, d + 8192, [](uint8_t v) { return v > 63; }), 0);
      }
    }
}

// A set abort flag ends the cell conversions with the silent abort; the
// stream list stays with the caller.
TEST(KvSavePlatformZxSpectrumSpectra, Abort) {
  auto pic = GradientPicture(256, 192, 13);
  struct {
    const TKvDestEngineClass* Class;
    uint8_t Type;
  } cases[] = {{&Engine<TKvZxSpectrumSpectra8x1Engine>(), ptColored15x2},
               {&Engine<TKvZxSpectrumSpectra4x1Engine>(), ptColored15x2},
               {&Engine<TKvZxSpectrumSpectra4x8Engine>(), ptColored15x1},
               {&Engine<TKvZxSpectrumSpectra8x8Engine>(), ptColored15x1}};
  for (auto& c : cases) {
    auto o = c.Class->Create()->CreateOptions();
    o->SetPaletteType(c.Type);
    TKvDestProgress progress;
    bool abort = true;
    std::unique_ptr<TKvStreamList> streams;
    EXPECT_THROW(c.Class->Convert(&abort, *pic, nullptr, nullptr, *o, progress, streams), EAbort)
        << c.Class->GetModeName();
    EXPECT_NE(streams, nullptr);
  }
}

// The same bytes with one processor and with several.
TEST(KvSavePlatformZxSpectrumSpectra, SameBytesOnOneAndManyProcessors) {
  auto pic = GradientPicture(256, 192, 12);
  auto band = GradientPicture(256, 32, 12);
  const int64_t keep = KvCellMinJobWork;
  KvCellMinJobWork = 16;
  struct {
    const TKvDestEngineClass* Class;
    uint8_t Type;
    TKvPaletteMode Mode;
    TBitmap32* Picture;
  } cases[] = {{&Engine<TKvZxSpectrumSpectra8x1Engine>(), ptColored64x2, pmGray, pic.get()},
               {&Engine<TKvZxSpectrumSpectra4x1Engine>(), ptColored15x2, pmGray, pic.get()},
               {&Engine<TKvZxSpectrumSpectra4x4Engine>(), ptColored15x2, pmColor, band.get()},
               {&Engine<TKvZxSpectrumSpectra4x4Engine>(), ptColored15x1, pmColor, band.get()},
               {&Engine<TKvZxSpectrumSpectra8x4Engine>(), ptColored64x1, pmColor, band.get()}};
  for (auto& c : cases) {
    std::vector<uint8_t> bytes[2];
    for (int k = 0; k < 2; ++k) {
      TKvProcessorCountOverride count(k == 0 ? 1 : 4);
      auto r = ConvertPicture(*c.Class, *c.Picture, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(c.Type);
        o.SetPaletteMode(c.Mode);
      });
      bytes[k].assign(r.Bytes(0), r.Bytes(0) + r.Size(0));
    }
    EXPECT_EQ(bytes[0], bytes[1]) << c.Class->GetModeName();
  }
  KvCellMinJobWork = keep;
}

TEST(KvSavePlatformZxSpectrumSpectra, PanelSections) {
  for (const TSpectraMode& m : Modes()) {
    auto engine = m.Class->Create();
    auto o = engine->CreateOptions();
    auto ui = engine->CreateUI(o.get());
    auto* panel = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
    ASSERT_NE(panel, nullptr);
    const auto& s = panel->GetSections();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].Kind, TKvPanelSectionKind::Position);
    EXPECT_EQ(s[1].Kind, TKvPanelSectionKind::ZxGigaScreenPalette);
    EXPECT_EQ(s[1].Flag, m.Width == 8);
    EXPECT_EQ(s[1].Set, 0x803u);
    EXPECT_EQ(s[2].Kind, TKvPanelSectionKind::ColorUsage);
    EXPECT_TRUE(s[2].Flag);
    EXPECT_EQ(s[3].Kind, TKvPanelSectionKind::Dithering);
    EXPECT_FALSE(s[3].Flag);
  }
}

// "Color usage" is enabled only for "15 colors (single byte)" in colour mode.
TEST(KvSavePlatformZxSpectrumSpectra, ColourUsageControlFollowsTheOptions) {
  auto engine = Engine<TKvZxSpectrumSpectra8x2Engine>().Create();
  auto o = engine->CreateOptions();
  auto ui = engine->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  TKvPanelControlState state(panel);
  struct {
    uint8_t Type;
    TKvPaletteMode Mode;
    bool Enabled;
  } cases[] = {{ptColored15x1, pmColor, true},  {ptColored15x1, pmGray, false},  {ptColored15x1, pmBlackWhite, false},
               {ptColored15x2, pmColor, false}, {ptColored64x1, pmColor, false}, {ptColored64x2, pmColor, false}};
  for (auto& c : cases) {
    o->SetPaletteType(c.Type);
    o->SetPaletteMode(c.Mode);
    panel.CheckOptions(state);
    EXPECT_EQ(state.GetEnabled(pcColorUsageLabel), c.Enabled) << int(c.Type) << " " << int(c.Mode);
    EXPECT_EQ(state.GetEnabled(pcColorUsageCombo), c.Enabled) << int(c.Type) << " " << int(c.Mode);
  }
}

}  // namespace
