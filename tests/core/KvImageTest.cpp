#include "core/KvImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

namespace {

// An image whose pixels all hold the linear colour C.
std::unique_ptr<TKvImage> FlatImage(int W, int H, TKvLinRGBColor C) {
  auto img = std::make_unique<TKvImage>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img->GetPixels(x, y)->InitLinRGB(C);
  return img;
}

}  // namespace

TEST(KvImage, AdjustLightnessOnLinearLight) {
  const struct {
    double fix;
    double in, out;
  } cases[] = {
      {50, 0.0, 0.5},
      {50, 1.0, 1.0},
      {50, 0.2, 0.6},
      {-50, 0.8, 0.4},
      {-50, 0.0, 0.0},
      {-66, 0.6, 0.6 * 0.33333333333333326},
      {-67, 0.6, 0.6 * 0.33333333333333326},
      {90, 0.0, 0.9},
  };
  for (const auto& c : cases) {
    auto img = FlatImage(1, 1, {c.in, c.in, c.in});
    img->Adjust(c.fix, 0);
    const TKvLinRGBColor v = img->GetPixels(0, 0)->GetLinRGB();
    EXPECT_DOUBLE_EQ(v.R, c.out) << c.fix << " on " << c.in;
    EXPECT_EQ(v.R, v.G);
    EXPECT_EQ(v.R, v.B);
  }
  // -66 and -67 share one exact factor, just under a third.
  auto a = FlatImage(1, 1, {1, 1, 1});
  auto b = FlatImage(1, 1, {1, 1, 1});
  a->Adjust(-66, 0);
  b->Adjust(-67, 0);
  EXPECT_EQ(a->GetPixels(0, 0)->GetLinRGB().R, 0.33333333333333326);
  EXPECT_EQ(b->GetPixels(0, 0)->GetLinRGB().R, 0.33333333333333326);
}

TEST(KvImage, AdjustZeroTouchesNothing) {
  TKvImage img(2, 1);
  img.GetPixels(0, 0)->InitRGB(10, 200, 30);
  img.GetPixels(1, 0)->InitRGB(0, 0, 0);
  img.GetPixels(1, 0)->InitLinRGB({0.3, 0.2, 0.1});
  TKvImage before(img);
  img.Adjust(0, 0);
  // Not even a cached form changes.
  EXPECT_EQ(std::memcmp(img.GetData(), before.GetData(), 2 * sizeof(TKvPixel)), 0);
  EXPECT_FALSE(img.GetPixels(1, 0)->GetStdValid());
}

TEST(KvImage, AdjustSaturation) {
  // A gray pixel (S 0, H 0) gains half saturation with hue 0: reddish.
  auto gray = FlatImage(1, 1, {0.4, 0.4, 0.4});
  gray->Adjust(0, 50);
  const TKvLinRGBColor hsl = gray->GetPixels(0, 0)->GetHSL();
  EXPECT_DOUBLE_EQ(hsl.R, 0);
  EXPECT_DOUBLE_EQ(hsl.G, 0.5);
  EXPECT_DOUBLE_EQ(hsl.B, 0.4);
  const TKvLinRGBColor lin = gray->GetPixels(0, 0)->GetLinRGB();
  EXPECT_GT(lin.R, lin.G);
  EXPECT_DOUBLE_EQ(lin.G, lin.B);

  // -90 keeps a tenth of every saturation.
  TKvImage img(1, 1);
  img.GetPixels(0, 0)->InitLinRGB({0.6, 0.2, 0.2});
  const double s0 = img.GetPixels(0, 0)->GetHSL().G;
  img.Adjust(0, -90);
  EXPECT_NEAR(img.GetPixels(0, 0)->GetHSL().G, s0 * 0.1, 1e-12);
}

TEST(KvImage, BitmapRoundTripIgnoresAlpha) {
  TBitmap32 bmp(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) bmp.GetScanLine(y)[x] = 0x00102030u + x * 0x10000u + y * 0x100u;
  bmp.GetScanLine(0)[0] = 0x80FF0000u;
  TKvImage img(bmp);
  EXPECT_EQ(img.GetWidth(), 3);
  EXPECT_EQ(img.GetHeight(), 2);
  EXPECT_EQ(img.GetPixels(0, 0)->GetStdRGB(), StdRGBColor(255, 0, 0));
  EXPECT_EQ(img.GetPixels(2, 1)->GetStdRGB(), StdRGBColor(0x12, 0x21, 0x30));
  img.SetMirror(true);  // ToBitmap32 reads in array order
  std::unique_ptr<TBitmap32> back = img.ToBitmap32();
  EXPECT_EQ(back->GetScanLine(0)[0], 0xFFFF0000u);
  EXPECT_EQ(back->GetScanLine(1)[2], 0xFF122130u);
}

TEST(KvImage, StorageMirrorCopyAndHeight) {
  TKvImage img(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) img.GetPixels(x, y)->InitRGB(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0);
  img.SetMirror(true);
  EXPECT_EQ(img.GetPixels(0, 1)->GetStdRGB(), StdRGBColor(2, 1, 0));
  img.SetErrorTotal(5);

  TKvImage copy(img);
  EXPECT_FALSE(copy.GetMirror());
  EXPECT_EQ(copy.GetErrorTotal(), 0);
  EXPECT_EQ(copy.GetPixels(1, 1)->GetStdRGB(), StdRGBColor(1, 1, 0));

  TKvImage rows(3, 1);
  rows.CopyRows(img, 1);
  EXPECT_EQ(rows.GetPixels(2, 0)->GetStdRGB(), StdRGBColor(2, 1, 0));
  TKvImage narrow(2, 1);
  EXPECT_THROW(narrow.CopyRows(img, 0), Exception);

  copy.SetHeight(2);  // same height keeps the pixels
  EXPECT_TRUE(copy.GetPixels(1, 1)->GetStdValid());
  copy.SetHeight(3);  // another height zeroes all of them
  EXPECT_EQ(copy.GetHeight(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_FALSE(copy.GetPixels(x, y)->GetStdValid());
      EXPECT_EQ(copy.GetPixels(x, y)->GetLinRGB().R, 0.0);
    }
}

TEST(KvImage, GrayLimitsAndPaletteGrayRange) {
  auto img = FlatImage(3, 1, {0.0, 0.0, 0.0});
  img->GetPixels(1, 0)->InitLinRGB({0.8, 0.8, 0.8});
  img->GetPixels(2, 0)->InitLinRGB({0.1, 0.1, 0.1});
  EXPECT_DOUBLE_EQ(img->GetMaxGray(), 0.8);

  // A palette spanning black to white changes nothing.
  TKvPalette256 bw;
  bw.AddLinRGB({0, 0, 0});
  bw.AddLinRGB({1, 1, 1});
  auto same = std::make_unique<TKvImage>(*img);
  same->FitToPaletteGray(bw);
  for (int x = 0; x < 3; ++x)
    EXPECT_DOUBLE_EQ(same->GetPixels(x, 0)->GetLinRGB().R, img->GetPixels(x, 0)->GetLinRGB().R);

  // Range 0.2..0.6 (a skipped white entry does not count): 0.8 comes down to
  // 0.6, 0.1 and 0 go up towards white.
  TKvPalette256 mid;
  mid.AddLinRGB({0.2, 0.2, 0.2});
  mid.AddLinRGB({0.6, 0.6, 0.6});
  mid.AddLinRGB({1, 1, 1});
  mid.GetPColor(2)->Skip = true;
  img->FitToPaletteGray(mid);
  EXPECT_NEAR(img->GetPixels(1, 0)->GetLinRGB().R, 0.6, 1e-12);
  EXPECT_NEAR(img->GetPixels(2, 0)->GetLinRGB().R, 1 - 0.9 * (0.8 / 0.9), 1e-12);
  EXPECT_NEAR(img->GetPixels(0, 0)->GetLinRGB().R, 0.2, 1e-12);

  auto lim = FlatImage(2, 1, {0.9, 0.3, 0.9});
  lim->GetPixels(1, 0)->InitLinRGB({0.1, 0.1, 0.1});
  const double g = lim->GetPixels(0, 0)->GetLinGray();
  lim->LimitGray(0.25);
  EXPECT_NEAR(lim->GetPixels(0, 0)->GetLinRGB().G, 0.3 * 0.25 / g, 1e-12);
  EXPECT_NEAR(lim->GetPixels(0, 0)->GetLinGray(), 0.25, 1e-12);
  EXPECT_DOUBLE_EQ(lim->GetPixels(1, 0)->GetLinRGB().R, 0.1);
}

TEST(KvImage, CollectColorsCountsRepeats) {
  TKvImage img(3, 2);
  const uint8_t v[2][3] = {{1, 2, 1}, {3, 1, 2}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) img.GetPixels(x, y)->InitRGB(v[y][x], 0, 0);
  TKvPalette256 all;
  img.CollectColors(all, 0, 0);
  ASSERT_EQ(all.Count, 3);
  EXPECT_EQ(all.GetStdRGB(0).R, 1);
  EXPECT_EQ(all.GetPColor(0)->UseCount, 2);
  TKvPalette256 second;
  img.CollectColors(second, 1, 1);
  ASSERT_EQ(second.Count, 3);
  EXPECT_EQ(second.GetStdRGB(0).R, 3);

  TKvImage many(730, 1);
  for (int x = 0; x < 730; ++x) many.GetPixels(x, 0)->InitRGB(static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8), 0);
  TKvPalette256 full;
  EXPECT_THROW(many.CollectColors(full, 0, 0), ETooManyColors);
  EXPECT_EQ(full.Count, 729);
}

TEST(KvImage, IndexedBitmapDepthByPaletteSize) {
  const struct {
    int colors;
    bool oneBit;
    int bits;
  } cases[] = {{2, false, 4}, {2, true, 1}, {3, true, 4}, {16, false, 4}, {17, false, 8}, {256, true, 8}};
  for (const auto& c : cases) {
    TKvPalette256 p;
    for (int i = 0; i < c.colors; ++i) p.AddRGB(static_cast<uint8_t>(i), 0, 0);
    std::unique_ptr<TKvBitmap> b = TKvImage::CreateIndexedBitmap(4, 2, &p, c.oneBit);
    EXPECT_EQ(b->BitCount, c.bits) << c.colors;
    if (c.bits != 1) {
      EXPECT_EQ(b->Palette->Count, c.colors);
    }
  }
  TKvPalette256 big;
  for (int i = 0; i < 257; ++i) big.AddRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0);
  try {
    TKvImage::CreateIndexedBitmap(4, 2, &big, false);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Internal error");
  }
}
