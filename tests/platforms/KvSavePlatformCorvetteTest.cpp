#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/KvStream.h"
#include "importers/KvOpenPlatformCorvette.h"
#include "platforms/KvPlatformCorvette.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformCorvette.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Corvette() { return DestEngineClass<TKvCorvetteEngine>(); }

TEST(KvSavePlatformCorvette, RegisteredBetweenBKAndDVK) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Corvette");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "512x256x3");
  EXPECT_EQ(list.GetSubTypes(p).GetObject(0), &Corvette());
  EXPECT_LT(list.IndexOf("BK-0011"), p);
  EXPECT_LT(p, list.IndexOf("DVK KCGD"));
}

TEST(KvSavePlatformCorvette, PalettesAndOptions) {
  TKvPalette256 p;
  BuildCorvettePalette(p, ptColoredLinear);
  ASSERT_EQ(p.Count, 16);
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(0, 0, 0xBC));
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(0xBC, 0, 0));
  EXPECT_EQ(p.GetStdRGB(4), StdRGBColor(0, 0xBC, 0));
  EXPECT_EQ(p.GetStdRGB(8), StdRGBColor(0, 0, 0));
  EXPECT_EQ(p.GetStdRGB(15), StdRGBColor(255, 255, 255));
  BuildCorvettePalette(p, ptColoredEMU);
  EXPECT_EQ(p.GetStdRGB(7), StdRGBColor(0xB4, 0xB4, 0xB4));
  EXPECT_EQ(p.GetStdRGB(8), StdRGBColor(0x4B, 0x4B, 0x4B));
  EXPECT_EQ(p.GetStdRGB(9), StdRGBColor(0x4B, 0x4B, 0xFF));
  EXPECT_THROW(BuildCorvettePalette(p, ptRGB888), Exception);

  auto o = Corvette().Create()->CreateOptions();
  EXPECT_EQ(o->GetMaxSize(), (TKvSize{512, 256}));
  EXPECT_EQ(o->GetDefaultSize(), (TKvSize{512, 256}));
  EXPECT_EQ(o->PixelAspect, pa2_3);
  EXPECT_EQ(o->PaletteMode, pm8Colors);
  EXPECT_EQ(o->PaletteType, ptColoredLinear);
  // Result palettes by mode, as hardware indexes.
  struct {
    TKvPaletteMode Mode;
    std::vector<int> Entries;
  } cases[] = {{pmBlackWhite, {0, 15}},
               {pmGray, {0, 7, 8, 15}},
               {pm8Colors, {0, 9, 10, 11, 12, 13, 14, 15}},
               {pm8Of15Colors, {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15}},
               {pm8Of16Colors, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}};
  BuildCorvettePalette(p, ptColoredLinear);
  for (auto& c : cases) {
    o->SetPaletteMode(c.Mode);
    o->UpdatePalette();
    const TKvPalette256& r = *o->GetPalette();
    ASSERT_EQ(r.Count, static_cast<int>(c.Entries.size())) << int(c.Mode);
    for (int i = 0; i < r.Count; ++i) EXPECT_EQ(r.GetStdRGB(i), p.GetStdRGB(c.Entries[size_t(i)])) << int(c.Mode);
  }
}

TEST(KvSavePlatformCorvette, ScreenPlanesAndHeaders) {
  // 10 x 2: B = 2 bytes per plane row, planes 4 bytes apart.
  TKvCorvetteScreen s(10, 2);
  s.SetPixel(0, 0, 1);  // bit 0: plane 0
  s.SetPixel(1, 0, 4);  // bit 2: plane 1
  s.SetPixel(2, 0, 2);  // bit 1: plane 2
  s.SetPixel(9, 1, 7);
  s.MirrorX = true;
  s.SetPixel(9, 1, 7);  // x = 0
  const std::vector<uint8_t> planes = {0x80, 0, 0x80, 0x40,   // plane 0
                                       0x40, 0, 0x80, 0x40,   // plane 1
                                       0x20, 0, 0x80, 0x40};  // plane 2
  EXPECT_EQ(s.GetPlanes(), planes);
  TKvStream win("win");
  s.WriteWin(win);
  ASSERT_EQ(win.GetSize(), 9 + 12);
  const uint8_t* w = win.GetMemory();
  EXPECT_EQ(std::memcmp(w, "WIN1.0", 6), 0);
  EXPECT_EQ(w[6], 9);
  EXPECT_EQ(w[7], 0);
  EXPECT_EQ(w[8], 1);
  // The planes of bits 0, 1, 2.
  EXPECT_EQ(std::vector<uint8_t>(w + 9, w + 21),
            (std::vector<uint8_t>{0x80, 0, 0x80, 0x40, 0x20, 0, 0x80, 0x40, 0x40, 0, 0x80, 0x40}));
  EXPECT_TRUE(CheckCorvetteWinHeader(TKvBytes(w, 9)));
  uint8_t h[9];
  InitCorvetteWinHeader(h, 513, 1);
  EXPECT_FALSE(CheckCorvetteWinHeader(TKvBytes(h, 9)));
  InitCorvetteWinHeader(h, 512, 256);
  EXPECT_TRUE(CheckCorvetteWinHeader(TKvBytes(h, 9)));
  EXPECT_FALSE(CheckCorvetteWinHeader(TKvBytes(h, 8)));
  // A mapped screen stores 0 and 7.
  TKvCorvetteScreen m(8, 1, true, 0, 7);
  m.SetPixel(0, 0, 1);
  EXPECT_EQ(m.GetPlanes(), (std::vector<uint8_t>{0x80, 0x80, 0x80}));
}

std::vector<uint8_t> GrfOf(const std::vector<uint8_t>& APlanes) {
  TKvStream s("grf");
  WriteCorvetteGrfData(APlanes.data(), s);
  return std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + s.GetSize());
}

TEST(KvSavePlatformCorvette, GrfBlockCodes) {
  std::vector<uint8_t> planes(49152, 0);
  // Every block 001 0: 768 * 4 bits.
  auto g = GrfOf(planes);
  EXPECT_EQ(g.size(), 384u);
  EXPECT_EQ(g[0], 0x22);
  // Ten bytes of 0x55 and 54 others: 011, 0x55, 64 flags and 54 bytes; the
  // 767 black blocks follow with 4 bits each.
  for (int i = 0; i < 64; ++i) planes[size_t(i)] = static_cast<uint8_t>(i < 10 ? 0x55 : 100 + i);
  g = GrfOf(planes);
  EXPECT_EQ(g.size(), static_cast<size_t>((3 + 8 + 64 + 54 * 8 + 767 * 4 + 7) / 8));
  EXPECT_EQ(g[0], 0x6A);  // 011 01010...
  // Nine equal bytes are not worth it: 000 and 64 literal bytes.
  planes[9] = 99;
  g = GrfOf(planes);
  EXPECT_EQ(g.size(), static_cast<size_t>((3 + 64 * 8 + 767 * 4 + 7) / 8));
  EXPECT_EQ(g[0], 0x0A);  // 000 01010...
  // 64 copies of one byte, and 0xFF blocks; the smallest value wins a tie.
  for (int i = 0; i < 64; ++i) {
    planes[size_t(i)] = 0x33;
    planes[size_t(64 + i)] = 0xFF;
    planes[size_t(128 + i)] = static_cast<uint8_t>(i < 32 ? 7 : 5);
  }
  g = GrfOf(planes);
  EXPECT_EQ(g[0], 0x46);  // 010 00110 011 ...
  EXPECT_EQ(g[1], 0x66);  // ...011 | 0011 (001 1) | 0...
  EXPECT_EQ(g[2], 0xC1);  // ...11 | M = 5, the smaller of two values of 32
  // Every coding comes back through the decoder.
  std::vector<uint8_t> back(49152, 0);
  EXPECT_TRUE(DecodeCorvetteGrfData(TKvBytes(g), back.data()));
  EXPECT_EQ(back, planes);
}

TEST(KvSavePlatformCorvette, FilesBySizeAndMode) {
  auto pic = GradientPicture(512, 256, 3);
  auto r = ConvertPicture(Corvette(), *pic);
  ASSERT_TRUE(r.Streams);
  ASSERT_EQ(r.Streams->GetCount(), 3);
  EXPECT_EQ(r.Streams->GetExtension(0), "grf");
  EXPECT_EQ(std::memcmp(r.Bytes(0), "GRF1.0", 6), 0);
  EXPECT_EQ(r.Streams->GetExtension(1), "pic");
  EXPECT_EQ(r.Size(1), 49152);
  EXPECT_EQ(r.Streams->GetExtension(2), "win");
  EXPECT_EQ(r.Size(2), 49161);

  auto small = GradientPicture(320, 200, 4);
  auto s = ConvertPicture(Corvette(), *small);
  ASSERT_TRUE(s.Streams);
  ASSERT_EQ(s.Streams->GetCount(), 1);
  EXPECT_EQ(s.Streams->GetExtension(0), "win");
  ASSERT_EQ(s.Size(0), 9 + 3 * 40 * 200);
  EXPECT_EQ(s.Bytes(0)[6], 0x3F);
  EXPECT_EQ(s.Bytes(0)[7], 0x01);
  EXPECT_EQ(s.Bytes(0)[8], 199);

  // An all-black picture: "GRF1.0" and 384 bytes.
  auto black = SolidPicture(512, 256, 0);
  auto b = ConvertPicture(Corvette(), *black);
  EXPECT_EQ(b.Size(0), 6 + 384);

  // The other palette modes, and "8 colors" with fixed colours, give a
  // preview only.
  auto tiny = GradientPicture(64, 32, 5);
  for (TKvPaletteMode mode : {pmGray, pm8Colors, pm8Of15Colors, pm8Of16Colors, pmCustom}) {
    auto c = ConvertPicture(Corvette(), *tiny, [mode](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      if (mode == pm8Colors) {
        TKvPalette256 f;
        f.AddRGB(0, 0, 0xFF);
        o.SetFixedPalette(&f);
      }
      if (mode == pmCustom) o.ColorMask[3] = 1;
      o.UpdatePalette();
    });
    ASSERT_TRUE(c.Preview) << int(mode);
    EXPECT_FALSE(c.Streams) << int(mode);
    EXPECT_LE(c.Options->GetPalette()->Count, 8) << int(mode);
  }
}

TEST(KvSavePlatformCorvette, BlackWhiteSetsAllPlanes) {
  auto white = SolidPicture(16, 8, 0xFFFFFF);
  auto r = ConvertPicture(Corvette(), *white, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  ASSERT_TRUE(r.Streams);
  ASSERT_EQ(r.Size(0), 9 + 3 * 2 * 8);
  for (int i = 9; i < r.Size(0); ++i) ASSERT_EQ(r.Bytes(0)[i], 0xFF) << i;
  EXPECT_EQ(r.Preview->GetPixelStdRGB(3, 3), StdRGBColor(255, 255, 255));
}

}  // namespace
