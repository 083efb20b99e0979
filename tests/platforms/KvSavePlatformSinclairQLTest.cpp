#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platforms/KvPlatformSinclairQL.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformSinclairQL.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformSinclairQL, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Sinclair QL");
  ASSERT_GE(p, 0);
  EXPECT_LT(list.IndexOf("Scorpion GMX"), p);
  EXPECT_LT(p, list.IndexOf("Specialist"));
  const std::vector<std::string> names = {"QL 4 512x256x2", "QL 8 256x256x3", "GD2 16 512x480x8", "GD2 32 512x480x16",
                                          "GD2 33 512x480x16"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), names[i]);
}

TEST(KvSavePlatformSinclairQL, PicHeaderAndSizes) {
  std::vector<uint8_t> h(10);
  InitQLPicHeader(h.data(), 512, 480, 16);
  EXPECT_EQ(h, (std::vector<uint8_t>{0x4A, 0xFC, 0x02, 0x00, 0x01, 0xE0, 0x02, 0x00, 0x10, 0x00}));
  EXPECT_TRUE(CheckQLPicHeader(TKvBytes(h), 512 * 480 + 10));
  EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), 512 * 480 + 11));
  EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), 512 * 480 + 9));
  h[7] = 1;  // row length unlike the width
  EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), 512 * 480 + 10));
  InitQLPicHeader(h.data(), 512, 480, 32);
  EXPECT_EQ(h[6], 0x04);
  EXPECT_EQ(h[7], 0x00);
  EXPECT_TRUE(CheckQLPicHeader(TKvBytes(h), 512 * 480 * 2 + 10));
  h[8] = 34;
  EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), 512 * 480 * 2 + 10));
  // The largest headers of each row length: their sizes pass 32 bits of
  // arithmetic, and only the exact size is accepted.
  struct {
    int W, H, Mode;
    int64_t Size;
  } large[] = {
      {0xFFFF, 0xFFFF, 16, int64_t{0xFFFF} * 0xFFFF + 10},
      {0x7FFF, 0xFFFF, 32, int64_t{0x7FFF} * 0xFFFF * 2 + 10},
      {0x7FFF, 0xFFFF, 33, int64_t{0x7FFF} * 0xFFFF * 2 + 10},
  };
  for (auto& c : large) {
    InitQLPicHeader(h.data(), c.W, c.H, c.Mode);
    EXPECT_EQ(QLPicFileSize(c.W, c.H, c.Mode), c.Size);
    EXPECT_GT(c.Size, int64_t{INT32_MAX});
    EXPECT_TRUE(CheckQLPicHeader(TKvBytes(h), c.Size)) << c.Mode;
    for (int64_t size : {c.Size - 1, c.Size + 1, int64_t{static_cast<int32_t>(c.Size)}, int64_t{100}})
      EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), size)) << c.Mode << " " << size;
  }
  // Twice 65535 does not fit the row length field.
  InitQLPicHeader(h.data(), 0xFFFF, 0xFFFF, 33);
  EXPECT_FALSE(CheckQLPicHeader(TKvBytes(h), int64_t{0xFFFF} * 0xFFFF * 2 + 10));
  EXPECT_THROW(QLPicFileSize(8, 8, 17), std::exception);
  TKvPalette256 p;
  BuildQLMode16Palette(p);
  ASSERT_EQ(p.Count, 256);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(p.GetStdRGB(255), StdRGBColor(255, 255, 255));
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(36, 0, 36));
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(0, 36, 0));
  TKvPalette256 lin;
  BuildQLGD2Palette(lin);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(lin.GetStdRGB(i), p.GetStdRGB(i)) << i;
}

// The GD2 files take the size of the fitted picture; the row length follows
// the width and the mode.
TEST(KvSavePlatformSinclairQL, PicHeadersOfConversions) {
  struct {
    const TKvDestEngineClass* Class;
    int W, H;
    std::vector<uint8_t> Header;
  } cases[] = {
      {&DestEngineClass<TKvSinclairQL16Engine>(), 512, 480, {0x4A, 0xFC, 0x02, 0x00, 0x01, 0xE0, 0x02, 0x00, 0x10, 0x00}},
      {&DestEngineClass<TKvSinclairQL32Engine>(), 512, 480, {0x4A, 0xFC, 0x02, 0x00, 0x01, 0xE0, 0x04, 0x00, 0x20, 0x00}},
      {&DestEngineClass<TKvSinclairQL33Engine>(), 512, 480, {0x4A, 0xFC, 0x02, 0x00, 0x01, 0xE0, 0x04, 0x00, 0x21, 0x00}},
      {&DestEngineClass<TKvSinclairQL16Engine>(), 640, 400, {0x4A, 0xFC, 0x02, 0x80, 0x01, 0x90, 0x02, 0x80, 0x10, 0x00}},
  };
  InitializePlatforms();  // the 5- and 6-bit level tables
  for (auto& c : cases) {
    auto pic = SolidPicture(c.W, c.H, 0x808080);
    auto r = ConvertPicture(*c.Class, *pic);
    ASSERT_EQ(r.Streams->GetCount(), 1);
    EXPECT_EQ(r.Streams->GetExtension(0), "pic");
    EXPECT_EQ(r.Size(0), QLPicFileSize(c.W, c.H, c.Header[8]));
    EXPECT_EQ(std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + 10), c.Header) << c.Class->GetModeName();
  }
}

TEST(KvSavePlatformSinclairQL, ScreenBits) {
  std::vector<uint8_t> m(32768, 0);
  TKvSinclairQL4Screen s4(m.data(), pmBlackWhite);
  s4.SetPixel(0, 0, 1);  // white: green and red
  EXPECT_EQ(m[0], 0x80);
  EXPECT_EQ(m[1], 0x80);
  TKvSinclairQL4Screen g(m.data(), pmGrayGreen);
  g.SetPixel(9, 1, 1);  // the middle level of "Gray (green)" is green only
  EXPECT_EQ(m[128 + 2], 0x40);
  EXPECT_EQ(m[128 + 3], 0x00);
  TKvSinclairQL4Screen r(m.data(), pmGrayRed);
  r.SetPixel(9, 2, 1);
  EXPECT_EQ(m[256 + 2], 0x00);
  EXPECT_EQ(m[256 + 3], 0x40);
  r.MirrorX = true;
  r.SetPixel(0, 3, 2);
  EXPECT_EQ(m[384 + 126], 0x01);
  EXPECT_EQ(m[384 + 127], 0x01);
  TKvSinclairQL8Screen s8(m.data(), pmColor);  // zero-fills again
  s8.SetPixel(1, 0, 7);
  EXPECT_EQ(m[0], 0x20);
  EXPECT_EQ(m[1], 0x30);
  s8.MirrorX = true;
  s8.SetPixel(0, 0, 5);  // column 255: red and blue
  EXPECT_EQ(m[126], 0x00);
  EXPECT_EQ(m[127], 0x03);
  // Flash bits stay clear on a real conversion.
  auto pic = GradientPicture(256, 256, 2);
  auto c = ConvertPicture(DestEngineClass<TKvSinclairQL8Engine>(), *pic);
  int flash = 0;
  for (int i = 0; i < 32768; i += 2) flash += (c.Bytes(0)[i] & 0x55) != 0;
  EXPECT_EQ(flash, 0);
}

TEST(KvSavePlatformSinclairQL, SixteenBitWords) {
  InitializePlatforms();  // the 5- and 6-bit level tables
  struct {
    const TKvDestEngineClass* Class;
    uint32_t Color;
    uint8_t B0, B1;
  } cases[] = {
      {&DestEngineClass<TKvSinclairQL32Engine>(), 0xFFFFFF, 0xFF, 0xFF},
      {&DestEngineClass<TKvSinclairQL33Engine>(), 0xFFFFFF, 0xFF, 0xFF},
      {&DestEngineClass<TKvSinclairQL32Engine>(), 0x000000, 0x00, 0x00},
      {&DestEngineClass<TKvSinclairQL33Engine>(), 0x000000, 0x00, 0x00},
  };
  for (auto& c : cases) {
    auto pic = SolidPicture(16, 8, c.Color);
    auto r = ConvertPicture(*c.Class, *pic);
    ASSERT_EQ(r.Size(0), 16 * 8 * 2 + 10);
    for (int i = 10; i < r.Size(0); i += 2) {
      ASSERT_EQ(r.Bytes(0)[i], c.B0);
      ASSERT_EQ(r.Bytes(0)[i + 1], c.B1);
    }
  }
  // Mode 33 never shows a colour whose 6-bit levels differ in their low bit.
  auto pic = GradientPicture(64, 32, 5);
  auto r = ConvertPicture(DestEngineClass<TKvSinclairQL33Engine>(), *pic);
  auto level6 = [](uint8_t v) { return (v * 63 + 127) / 255; };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      const TKvStdRGBColor c = r.Preview->GetPixelStdRGB(x, y);
      ASSERT_EQ(level6(c.R) & 1, level6(c.G) & 1);
      ASSERT_EQ(level6(c.B) & 1, level6(c.G) & 1);
    }
}

}  // namespace
