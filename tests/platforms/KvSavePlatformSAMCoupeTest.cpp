#include <gtest/gtest.h>

#include <vector>

#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvSavePlatformSAMCoupe.h"
#include "platforms/ZxTestPictures.h"
#include "shell/noxShellBaseExtension.h"

using namespace KvSavePlatformSAMCoupe;

namespace {

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
  auto pic = ZxTestPicture(512, 192, 3);
  auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode3Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(0);
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
  auto pic = ZxTestPicture(256, 192, 5);
  auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic);
  ASSERT_EQ(r.Size(0), 24592);
  ASSERT_EQ(r.Size(1), 24617);
  EXPECT_EQ(r.Streams->GetStream(1)->GetExtension(), "ss4");
  EXPECT_EQ(std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + 24592 - 16),
            std::vector<uint8_t>(r.Bytes(1), r.Bytes(1) + 24576));
  EXPECT_EQ(r.Bytes(1)[24616], 255);
  EXPECT_EQ(r.Bytes(1)[24595], 127);

  auto tall = ZxTestPicture(256, 384, 6);
  auto i = ZxConvert(DestEngineClass<TKvSAMCoupeMode4InterlacedEngine>(), *tall);
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
  auto pic = ZxTestPicture(256, 192, 12);
  auto r = ZxConvert(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(1);
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

TEST(KvSavePlatformSAMCoupe, OtherPaletteModesRaise87) {
  auto pic = ZxTestPicture(256, 192, 2);
  try {
    ZxConvert(DestEngineClass<TKvSAMCoupeMode4Engine>(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(10); });
    ADD_FAILURE() << "no error";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 87u);
  }
}

}  // namespace
