#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformSAMCoupe.h"
#include "KvTestHarness.h"
#include "shell/noxShellBaseExtension.h"

using namespace KvSavePlatformSAMCoupe;

namespace {

TEST(KvSavePlatformSAMCoupe, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("SAM Coupé");
  ASSERT_GE(p, 0);
  const std::vector<std::string> names = {"3 512x192x2", "4 256x192x4", "4 256x384x4 Interlaced",
                                          "4 256x192x4 HAM1/127"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), names[i]);
}

TEST(KvPlatformSAMCoupe, ColourNumbersAndPalettes) {
  EXPECT_EQ(SAMCoupeColorIndex(StdRGBColor(255, 255, 255)), 127);
  EXPECT_EQ(SAMCoupeColorIndex(StdRGBColor(36, 36, 36)), 8);
  EXPECT_EQ(SAMCoupeColorIndex(StdRGBColor(0, 0, 73)), 1);
  EXPECT_EQ(SAMCoupeColor(25), StdRGBColor(36, 36, 255));
  TKvPalette256 all;
  BuildSAMCoupePalette(all);
  ASSERT_EQ(all.Count, 128);
  for (int n = 0; n < 128; ++n) EXPECT_EQ(SAMCoupeColorIndex(all.GetStdRGB(n)), n);
  TKvPalette256 gray;
  BuildSAMCoupeGrayPalette(gray);
  ASSERT_EQ(gray.Count, 8);
  const int levels[8] = {0, 36, 73, 109, 146, 182, 219, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(gray.GetStdRGB(i), StdRGBColor(levels[i], levels[i], levels[i]));
  TKvPalette256 bright;
  BuildSAMCoupeBrightPalette(bright);
  EXPECT_GT(bright.Count, 0);
  EXPECT_LE(bright.Count, 16);
  for (int i = 0; i < bright.Count; ++i) EXPECT_NO_THROW(SAMCoupeColorIndex(bright.GetStdRGB(i)));
}

TEST(KvPlatformSAMCoupe, PaletteBlocks) {
  TKvPalette256 p;
  p.AddRGB(0, 0, 73);
  p.AddRGB(255, 255, 255);
  uint8_t b[41];
  WriteSAMCoupeMode4PaletteBlock(p, b);
  const std::vector<uint8_t> half = {1, 127, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 17, 34, 127};
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(b[i], half[i]) << i;
    EXPECT_EQ(b[20 + i], half[i]) << i;
  }
  EXPECT_EQ(b[40], 255);
  WriteSAMCoupeMode3PaletteBlock(p, b);
  EXPECT_EQ(b[16], 1);
  EXPECT_EQ(b[17], 127);
  EXPECT_EQ(b[18], 0);
  EXPECT_EQ(b[36], 1);
  TKvPalette256 bad;
  bad.AddRGB(1, 2, 3);
  for (int form = 0; form < 3; ++form) {
    try {
      if (form == 0) WriteSAMCoupeMode3PaletteBlock(bad, b);
      if (form == 1) WriteSAMCoupeMode4PaletteBlock(bad, b);
      if (form == 2) WriteSAMCoupeColorIndexes(bad, b, 4);
      ADD_FAILURE() << "no error";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

TEST(KvSavePlatformSAMCoupe, Mode3BlackWhiteWritesSsxAndSwappedSs3) {
  auto pic = GradientPicture(512, 192, 3);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode3Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  ASSERT_EQ(r.Streams->GetCount(), 2);
  EXPECT_EQ(r.Streams->GetStream(0)->GetExtension(), "ssx");
  EXPECT_EQ(r.Streams->GetStream(1)->GetExtension(), "ss3");
  ASSERT_EQ(r.Size(0), 24580);
  ASSERT_EQ(r.Size(1), 24617);
  const uint8_t* ssx = r.Bytes(0);
  const uint8_t* ss3 = r.Bytes(1);
  EXPECT_EQ(std::vector<uint8_t>(ssx + 24576, ssx + 24580), (std::vector<uint8_t>{0, 127, 0, 0}));
  EXPECT_EQ(ss3[24576], 0);
  EXPECT_EQ(ss3[24577], 127);
  for (int i = 2; i < 16; ++i) EXPECT_EQ(ss3[24576 + i], 0);
  EXPECT_EQ(std::vector<uint8_t>(ss3 + 24592, ss3 + 24596), (std::vector<uint8_t>{0, 127, 0, 0}));
  EXPECT_EQ(ss3[24616], 255);
  // Black and white are values 0 and 1: the ".ss3" copy stores 1 as 2.
  int ones = 0;
  for (int i = 0; i < 24576; ++i) {
    for (int k = 0; k < 4; ++k) {
      const int v = (ssx[i] >> (6 - 2 * k)) & 3;
      const int w = (ss3[i] >> (6 - 2 * k)) & 3;
      ASSERT_LE(v, 1);
      ASSERT_EQ(w, v == 1 ? 2 : v);
      ones += v;
    }
  }
  EXPECT_GT(ones, 0);
}

TEST(KvSavePlatformSAMCoupe, Mode4AndInterlacedFiles) {
  auto pic = GradientPicture(256, 192, 5);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic);
  ASSERT_EQ(r.Size(0), 24592);
  ASSERT_EQ(r.Size(1), 24617);
  EXPECT_EQ(r.Streams->GetStream(1)->GetExtension(), "ss4");
  EXPECT_EQ(std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + 24592 - 16),
            std::vector<uint8_t>(r.Bytes(1), r.Bytes(1) + 24576));
  EXPECT_EQ(r.Bytes(1)[24616], 255);
  EXPECT_EQ(r.Bytes(1)[24595], 127);

  auto tall = GradientPicture(256, 384, 6);
  auto i = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), *tall);
  ASSERT_EQ(i.Streams->GetCount(), 2);
  ASSERT_EQ(i.Size(0), 49234);
  ASSERT_EQ(i.Size(1), 24617);
  TKvStream* odd = i.Streams->GetStream(1);
  EXPECT_EQ(odd->GetExtension(), "odd.ss4");
  ASSERT_EQ(odd->GetSubStreamCount(), 1);
  TKvStream* eve = odd->GetSubStream(0);
  EXPECT_EQ(eve->GetExtension(), "eve.ss4");
  ASSERT_EQ(eve->GetSize(), 24617);
  EXPECT_EQ(std::vector<uint8_t>(i.Bytes(0), i.Bytes(0) + 24617),
            std::vector<uint8_t>(odd->GetMemory(), odd->GetMemory() + 24617));
  EXPECT_EQ(std::vector<uint8_t>(i.Bytes(0) + 24617, i.Bytes(0) + 49234),
            std::vector<uint8_t>(eve->GetMemory(), eve->GetMemory() + 24617));
  // Row 0 of the picture is row 0 of the first half, row 1 row 0 of the second.
  for (int x = 0; x < 256; ++x) {
    const uint8_t a = odd->GetMemory()[x / 2], b = eve->GetMemory()[x / 2];
    EXPECT_EQ(i.Preview->GetPixel(x, 0), (x & 1) ? (a & 15) : (a >> 4));
    EXPECT_EQ(i.Preview->GetPixel(x, 1), (x & 1) ? (b & 15) : (b >> 4));
  }
}

TEST(KvSavePlatformSAMCoupe, GrayMergedKeepsPaletteIndexesInMode4) {
  // A full fixed palette of white, black and 14 colours leaves no room for
  // the grays: the screen must hold indexes of the written palette.
  auto pic = GradientPicture(256, 192, 12);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    TKvPalette256 fixed;
    fixed.AddRGB(255, 255, 255);
    fixed.AddRGB(0, 0, 0);
    for (int n : {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 16, 17}) fixed.AddStdRGB(SAMCoupeColor(n));
    o.SetFixedPalette(&fixed);
    o.UpdatePalette();
  });
  EXPECT_EQ(r.Bytes(0)[24576], 127);
  EXPECT_EQ(r.Bytes(0)[24577], 0);
  for (int y = 0; y < 192; y += 7)
    for (int x = 0; x < 256; x += 3) {
      const uint8_t b = r.Bytes(0)[y * 128 + x / 2];
      const int v = (x & 1) ? (b & 15) : (b >> 4);
      ASSERT_LE(v, 1);
      EXPECT_EQ(r.Preview->GetPixelStdRGB(x, y), v ? StdRGBColor(0, 0, 0) : StdRGBColor(255, 255, 255));
    }
}

TEST(KvSavePlatformSAMCoupe, OtherPaletteModesAndOversizedPicturesRaise87) {
  auto pic = GradientPicture(256, 192, 2);
  try {
    ConvertPicture(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic,
                   [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColorBright); });
    ADD_FAILURE() << "no error";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 87u);
  }
  // A picture taller or wider than the screen is refused before anything is
  // drawn into the file's memory.
  const std::pair<const TKvDestEngineClass*, std::pair<int, int>> cases[] = {
      {&DestEngineClass<TKvSAMCoupeMode3Engine>(), {512, 193}},
      {&DestEngineClass<TKvSAMCoupeMode4Engine>(), {257, 192}},
      {&DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), {256, 385}},
      {&DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), {256, 200}}};
  for (const auto& c : cases) {
    auto big = GradientPicture(c.second.first, c.second.second, 4);
    try {
      ConvertPicture(*c.first, *big);
      ADD_FAILURE() << "no error " << c.second.first << "x" << c.second.second;
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

// A picture of wide bands whose colours drift down the rows, so that the
// line palettes have to change.
std::unique_ptr<TBitmap32> DriftingBands(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      const uint32_t band = static_cast<uint32_t>(x / 8);
      const uint32_t r = (band * 37 + static_cast<uint32_t>(y) * 3) & 255;
      const uint32_t g = (band * 91 + static_cast<uint32_t>(y) * 5) & 255;
      const uint32_t bl = (band * 53 + static_cast<uint32_t>(y) * 7) & 255;
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

TEST(KvSavePlatformSAMCoupe, HamFileHoldsBlockAndChangeList) {
  auto pic = DriftingBands(256, 192);
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetStream(0)->GetExtension(), "ss4");
  const int64_t size = r.Size(0);
  ASSERT_GT(size, 24617);
  ASSERT_EQ((size - 24617) % 4, 0);
  // The drift asks for a change at every row boundary; the plan stops at
  // 126 changes, so that the screen shows at most 127 palettes.
  const int64_t n = (size - 24617) / 4;
  EXPECT_EQ(n, 126);
  const uint8_t* f = r.Bytes(0);
  EXPECT_TRUE(IsSAMMode4Marker(TKvBytes(f + 24592, 4)));
  EXPECT_TRUE(IsSAMMode4Marker(TKvBytes(f + 24612, 4)));
  EXPECT_EQ(std::vector<uint8_t>(f + 24576, f + 24596), std::vector<uint8_t>(f + 24596, f + 24616));
  EXPECT_EQ(f[size - 1], 255);
  // Replay the list: every pixel's entry in the row's palette is the preview's
  // colour, and the preview's pixels are colour numbers.
  uint8_t line[16];
  for (int i = 0; i < 16; ++i) line[i] = f[24576 + i];
  for (int64_t k = 1; k < n; ++k) EXPECT_LE(f[24616 + 4 * (k - 1)], f[24616 + 4 * k]);
  for (int y = 0; y < 192; ++y) {
    for (int64_t k = 0; k < n; ++k) {
      const uint8_t* rec = f + 24616 + 4 * k;
      ASSERT_LE(rec[0], 190);
      ASSERT_LE(rec[1], 15);
      ASSERT_LT(rec[2], 128);
      ASSERT_EQ(rec[2], rec[3]);
      if (rec[0] + 1 == y) line[rec[1]] = rec[2];
    }
    for (int x = 0; x < 256; ++x) {
      const uint8_t b = f[y * 128 + x / 2];
      const int v = (x & 1) ? (b & 15) : (b >> 4);
      ASSERT_EQ(r.Preview->GetPixel(x, y), line[v]) << x << "," << y;
    }
  }
  ASSERT_EQ(r.Preview->Palette->Count, 128);
  EXPECT_GT(r.Options->GetPalette()->Count, 16);

  // The same bytes on one processor and on several.
  TKvConversion one;
  {
    TKvProcessorCountOverride count(1);
    one = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  }
  TKvProcessorCountOverride count(4);
  auto four = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  ASSERT_EQ(one.Size(0), four.Size(0));
  EXPECT_EQ(std::vector<uint8_t>(one.Bytes(0), one.Bytes(0) + one.Size(0)),
            std::vector<uint8_t>(four.Bytes(0), four.Bytes(0) + four.Size(0)));
  EXPECT_EQ(std::vector<uint8_t>(one.Bytes(0), one.Bytes(0) + one.Size(0)),
            std::vector<uint8_t>(f, f + size));
}

TEST(KvSavePlatformSAMCoupe, HamPictureOfFewColoursWritesNoRecord) {
  // Four colours of the table in vertical stripes: every row's palette is
  // the same.
  auto pic = std::make_unique<TBitmap32>(256, 192);
  const int numbers[4] = {0, 127, 25, 66};
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const TKvStdRGBColor c = SAMCoupeColor(numbers[(x / 16) % 4]);
      *pic->GetPixelPtr(x, y) = 0xFF000000u | (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
    }
  auto r = ConvertPicture(DestEngineClass<TKvSAMCoupeMode4HAMEngine>(), *pic);
  ASSERT_EQ(r.Size(0), 24617);
  EXPECT_EQ(r.Bytes(0)[24616], 255);
  std::vector<uint8_t> used(r.Bytes(0) + 24576, r.Bytes(0) + 24592);
  for (int n : numbers) EXPECT_NE(std::find(used.begin(), used.end(), n), used.end()) << n;
  for (int x = 0; x < 256; x += 5) EXPECT_EQ(r.Preview->GetPixel(x, 100), numbers[(x / 16) % 4]);
}

TEST(KvSavePlatformSAMCoupe, HamImageRecordsChanges) {
  TKvImage img(4, 2);
  std::vector<uint8_t> block(41, 0);
  TKvSAMCoupeHAMImage ham(img, block.data());
  TKvPalette256 all;
  BuildSAMCoupePalette(all);
  TKvPalette256 first;
  first.AddStdRGB(SAMCoupeColor(1));
  first.AddStdRGB(SAMCoupeColor(127));
  ham.StoreInitialPalette(&all, first);
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(block[1], 127);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[40], 255);
  EXPECT_EQ(ham.GetChanges()[0], 255);
  // Unchanged colours write nothing; a change for row 1 has line byte 0.
  ham.StorePaletteChange(&all, 0, SAMCoupeColor(1), 1);
  EXPECT_EQ(ham.GetChangeCount(), 0);
  ham.StorePaletteChange(&all, 1, SAMCoupeColor(8), 1);
  ham.StorePaletteChange(&all, 1, SAMCoupeColor(8), 2);
  ham.StorePaletteChange(&all, 0, SAMCoupeColor(25), 191);
  ASSERT_EQ(ham.GetChangeCount(), 2);
  const std::vector<uint8_t> want = {0, 1, 8, 8, 190, 0, 25, 25, 255};
  EXPECT_EQ(std::vector<uint8_t>(ham.GetChanges(), ham.GetChanges() + 9), want);
  // 127 records are the most; the next call fails whatever it carries.
  for (int i = 2; i < 127; ++i) ham.StorePaletteChange(&all, i & 1, SAMCoupeColor(i % 2 ? 30 + i % 3 : 60 + i % 3), 5);
  ASSERT_EQ(ham.GetChangeCount(), 127);
  EXPECT_EQ(ham.GetChanges()[4 * 127], 255);
  try {
    ham.StorePaletteChange(&all, 0, SAMCoupeColor(0), 5);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Internal error");
  }
}

}  // namespace
