// The ZX Evolution ".sxg" importer of the ZX screen unit: recognition by
// header, palette kinds, row strides, and damaged headers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "platforms/KvPlatformZxEvolution.h"
#include "KvTestHarness.h"

namespace {

constexpr const char* kSxg = "TKvZxSpectrumSxgEngine";

// A file with AColors palette words and zeroed pixel rows.
std::vector<uint8_t> SxgFile(uint8_t AVersion, int AWidth, int AHeight, int ABits, std::vector<uint16_t> AColors) {
  std::vector<uint8_t> d(SxgHeaderSize);
  InitSxgHeader(d.data(), AVersion, AWidth, AHeight, ABits);
  d[12] = 2;
  d[14] = static_cast<uint8_t>(2 * AColors.size());
  d[15] = static_cast<uint8_t>((2 * AColors.size()) >> 8);
  for (uint16_t w : AColors) {
    d.push_back(static_cast<uint8_t>(w));
    d.push_back(static_cast<uint8_t>(w >> 8));
  }
  d.resize(d.size() + SxgBytesPerLine(d.data()) * static_cast<size_t>(AHeight), 0);
  return d;
}

// Every registered importer asked, without the container unwrapping.
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, TKvTestBytes ABytes) : TKvProbe(AName, std::move(ABytes), Registered()) {}
  static const std::vector<const TKvSourceEngineClass*>& Registered() {
    InitializeImporters();
    return SourceEngineClasses();
  }
};

TEST(KvOpenPlatformZxEvolution, ProbeAndDescription) {
  auto f = SxgFile(3, 40, 10, 8, {0x0000, 24 << 10 | 24 << 5 | 24});
  TProbe sxg("x.sxg", f);
  TKvSourceEngine* e = sxg.Find(kSxg);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(sxg.List->GetEngine(0), e);
  EXPECT_EQ(e->MatchFlags, mfHeader | mfSize | mfExtension);
  EXPECT_EQ(e->Description, "ZX Evolution 40x10x8 image");
  EXPECT_EQ(e->PaletteTypes, (std::vector<TKvPaletteType>{ptEvoEGA, ptPentevo, ptVideoDAC}));
  EXPECT_EQ(e->PaletteType, ptEvoEGA);
  TProbe dat("x.dat", f);
  ASSERT_NE(dat.Find(kSxg), nullptr);
  EXPECT_EQ(dat.Find(kSxg)->MatchFlags, mfHeader | mfSize);
  // Bytes after the rows do not matter.
  f.resize(f.size() + 100, 0x33);
  EXPECT_NE(TProbe("x.sxg", f).Find(kSxg), nullptr);
}

// A field above 24 exists only on the Video DAC scale.
TEST(KvOpenPlatformZxEvolution, VideoDacForALevelAbove24) {
  TProbe p("x.sxg", SxgFile(3, 8, 8, 4, {0x0000, 25 << 10, 24}));
  TKvSourceEngine* e = p.Find(kSxg);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->PaletteType, ptVideoDAC);
  auto b = e->Decode();
  ASSERT_EQ(b->Palette->Count, 3);
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(206, 0, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(2), StdRGBColor(0, 0, 197));
  e->PaletteType = ptEvoEGA;
  b = e->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(255, 0, 0));
  EXPECT_EQ(b->Palette->GetStdRGB(2), StdRGBColor(0, 0, 255));
  e->PaletteType = ptPentevo;
  b = e->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(2), StdRGBColor(0, 0, 255));
  EXPECT_EQ(TProbe("x.sxg", SxgFile(3, 8, 8, 4, {24 << 5})).Find(kSxg)->PaletteType, ptEvoEGA);
}

// Five pixels of 16 colours take 20 bits: 4 bytes a row from version 3 on,
// 3 bytes before.
TEST(KvOpenPlatformZxEvolution, RowStrides) {
  for (uint8_t version : {2, 3}) {
    auto f = SxgFile(version, 5, 2, 4, std::vector<uint16_t>(16, 0));
    const size_t stride = version == 3 ? 4 : 3;
    ASSERT_EQ(f.size(), 16 + 32 + 2 * stride);
    const size_t row1 = 16 + 32 + stride;
    f[row1] = 0x12;
    f[row1 + 2] = 0xF0;
    TProbe p("x.sxg", f);
    ASSERT_NE(p.Find(kSxg), nullptr) << int(version);
    auto b = p.Find(kSxg)->Decode();
    ASSERT_EQ(b->BitCount, 4);
    EXPECT_EQ(b->GetPixel(0, 1), 1);
    EXPECT_EQ(b->GetPixel(1, 1), 2);
    EXPECT_EQ(b->GetPixel(4, 1), 15);
    EXPECT_EQ(b->GetPixel(0, 0), 0);
    // One byte short of the rows: no candidate.
    f.pop_back();
    EXPECT_EQ(TProbe("x.sxg", f).Find(kSxg), nullptr) << int(version);
  }
  auto f8 = SxgFile(3, 3, 2, 8, {0, 1, 2});
  f8[16 + 6 + 4 + 2] = 2;  // row 1 starts at a whole word: 4 bytes a row
  auto b = TProbe("x.sxg", f8).Find(kSxg)->Decode();
  EXPECT_EQ(b->BitCount, 8);
  EXPECT_EQ(b->GetPixel(2, 1), 2);
}

TEST(KvOpenPlatformZxEvolution, DamagedHeadersGiveNoCandidate) {
  const auto good = SxgFile(3, 16, 4, 4, {0, 1, 2});
  struct {
    const char* What;
    int Offset;
    uint8_t Value;
  } cases[] = {{"magic", 0, 0x7E},      {"magic", 3, 'g'},      {"version 1", 4, 1},  {"version 4", 4, 4},
               {"packing", 6, 1},       {"format 0", 7, 0},     {"format 3", 7, 3},   {"width 0", 8, 0},
               {"height 0", 10, 0},     {"palette word 1", 12, 1}, {"palette word 0", 12, 0},
               {"pixel word 1", 14, 1}, {"pixel word 0", 14, 0}};
  ASSERT_NE(TProbe("x.sxg", good).Find(kSxg), nullptr);
  for (auto& c : cases) {
    auto f = good;
    f[c.Offset] = c.Value;
    if (c.Offset == 8 || c.Offset == 10) f[c.Offset + 1] = 0;
    EXPECT_EQ(TProbe("x.sxg", f).Find(kSxg), nullptr) << c.What;
  }
  for (size_t n : {size_t(0), size_t(1), size_t(16), good.size() - 1})
    EXPECT_EQ(TProbe("x.sxg", std::vector<uint8_t>(good.begin(), good.begin() + n)).Find(kSxg), nullptr) << n;
  // No palette entries: the pixels start where the palette would.
  auto empty = good;
  empty[14] = 0;
  EXPECT_EQ(TProbe("x.sxg", empty).Find(kSxg), nullptr);
}

// 65535 x 65535 at 8 bits with the largest pixel offset: the rows' sum only
// fits a 17-byte file if it wraps round in 32 bits.
TEST(KvOpenPlatformZxEvolution, HugeHeaderDoesNotWrap) {
  std::vector<uint8_t> f(17, 0);
  InitSxgHeader(f.data(), 3, 65535, 65535, 8);
  f[12] = 2;
  f[14] = 0xFF;
  f[15] = 0xFF;
  EXPECT_FALSE(CheckSxgHeader(TKvBytes(f), 17));
  EXPECT_FALSE(CheckSxgHeader(TKvBytes(f), 0xFFFFFFFFll));
  EXPECT_TRUE(CheckSxgHeader(TKvBytes(f), 65551 + 65536ll * 65535));
  EXPECT_EQ(TProbe("x.sxg", f).Find(kSxg), nullptr);
}

// A palette offset beyond the pixel offset still passes the header check;
// the picture then decodes without palette entries and reads nothing
// outside the file.
TEST(KvOpenPlatformZxEvolution, PaletteBeyondThePixels) {
  for (int paletteWord : {6, 1000, 65535}) {
    std::vector<uint8_t> f(SxgHeaderSize, 0);
    InitSxgHeader(f.data(), 3, 4, 2, 4);
    f[12] = static_cast<uint8_t>(paletteWord);
    f[13] = static_cast<uint8_t>(paletteWord >> 8);
    f[14] = 2;  // pixels at 18
    f.resize(18 + 2 * 2, 0x21);
    EXPECT_EQ(SxgFilePaletteCount(TKvBytes(f)), 0);
    TProbe p("x.sxg", f);
    TKvSourceEngine* e = p.Find(kSxg);
    ASSERT_NE(e, nullptr) << paletteWord;
    EXPECT_EQ(e->PaletteType, ptEvoEGA);
    auto b = e->Decode();
    EXPECT_EQ(b->Palette->Count, 0);
    EXPECT_EQ(b->GetPixel(0, 1), 2);
    EXPECT_EQ(b->GetPixel(3, 1), 1);
  }
  // Entries that would run past the end of the file are not read.
  std::vector<uint8_t> g(SxgHeaderSize, 0);
  InitSxgHeader(g.data(), 3, 4, 1, 4);
  g[12] = 2;
  g[14] = 8;
  g.resize(16 + 8 + 2, 0);
  EXPECT_EQ(SxgFilePaletteCount(TKvBytes(g)), 4);
  EXPECT_EQ(SxgFilePaletteCount(TKvBytes(g.data(), 19)), 1);
}

}  // namespace
