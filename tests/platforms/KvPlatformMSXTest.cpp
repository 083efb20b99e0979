#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformMSX.h"

namespace {

TKvStdRGBColor Rgb(uint8_t r, uint8_t g, uint8_t b) { return StdRGBColor(r, g, b); }
uint32_t Quad5(int r, int g, int b) {
  return (uint32_t(Std5ToByte[r]) << 16) | (uint32_t(Std5ToByte[g]) << 8) | Std5ToByte[b];
}

std::vector<uint8_t> Header(uint8_t type, int start, int end, int exec) {
  return {type,
          static_cast<uint8_t>(start),
          static_cast<uint8_t>(start >> 8),
          static_cast<uint8_t>(end),
          static_cast<uint8_t>(end >> 8),
          static_cast<uint8_t>(exec),
          static_cast<uint8_t>(exec >> 8)};
}

TEST(KvPlatformMSX, BsaveHeaderBytes) {
  struct Case {
    int Length, Start;
    std::vector<uint8_t> Bytes;
  } cases[] = {
      {14336, 0, {0xFE, 0x00, 0x00, 0xFF, 0x37, 0x00, 0x00}},
      {64160, 0, {0xFE, 0x00, 0x00, 0x9F, 0xFA, 0x00, 0x00}},
      {16, 0xFFF8, {0xFE, 0xF8, 0xFF, 0x07, 0x00, 0x00, 0x00}},  // the end word wraps to 16 bits
  };
  for (const Case& c : cases) {
    uint8_t h[7];
    std::memset(h, 0xAA, sizeof h);
    InitBsaveHeader(h, c.Length, c.Start);
    EXPECT_EQ(std::vector<uint8_t>(h, h + 7), c.Bytes) << c.Length;
  }
}

TEST(KvPlatformMSX, HeaderChecks) {
  const auto h = Header(0xFE, 0, 0x37FF, 0);
  EXPECT_TRUE(CheckBsaveHeader(TKvBytes(h), 14343, 0, 0));  // D + 8
  EXPECT_TRUE(CheckBsaveHeader(TKvBytes(h), 14342, 0, 0));  // D + 7
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(h), 14344, 0, 0));
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(h), 14341, 0, 0));
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(Header(0xFE, 0, 0x37FF, 1)), 14343, 0, 0));
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(Header(0xFE, 1, 0x37FF, 0)), 14343, 0, 0));
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(Header(0xFD, 0, 0x37FF, 0)), 14343, 0, 0));
  EXPECT_TRUE(CheckSrHeader(TKvBytes(Header(0xFD, 0, 0x37FF, 0)), 14343, 0, 0));
  // An end below the start gives a negative length that no size matches.
  EXPECT_FALSE(CheckBsaveHeader(TKvBytes(Header(0xFE, 0xC000, 0x0010, 0xC000)), 7, 0xC000, 0xC000));
  EXPECT_TRUE(CheckBsaveHeader(TKvBytes(Header(0xFE, 0xC000, 0xC051, 0xC000)), 89, 0xC000, 0xC000));
  EXPECT_TRUE(IsBsaveFile(TKvBytes(h)));

  auto gl = [](int w, int hgt) {
    return std::vector<uint8_t>{static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(hgt),
                                static_cast<uint8_t>(hgt >> 8)};
  };
  EXPECT_FALSE(CheckGlHeader(TKvBytes(gl(0, 10))));
  EXPECT_FALSE(CheckGlHeader(TKvBytes(gl(8001, 10))));
  EXPECT_FALSE(CheckGlHeader(TKvBytes(gl(10, 0))));
  EXPECT_TRUE(CheckGlHeader(TKvBytes(gl(8000, 1))));
  for (int size = 5; size <= 13; ++size)
    EXPECT_EQ(CheckStpHeader(TKvBytes(gl(3, 3)), size), size >= 7 && size <= 11) << size;
  // 8000 x 8000 does not overflow the 32-bit count.
  EXPECT_TRUE(CheckStpHeader(TKvBytes(gl(8000, 8000)), 16000004));

  const uint8_t cmp[][3] = {{1, 1, 1}, {128, 212, 212}, {0, 1, 1}, {129, 1, 1}, {1, 213, 1}, {1, 5, 6}, {1, 5, 0}};
  const bool cmpOk[] = {true, true, false, false, false, false, false};
  for (size_t i = 0; i < std::size(cmp); ++i) EXPECT_EQ(CheckCmpHeader(TKvBytes(cmp[i], 3)), cmpOk[i]) << i;

  EXPECT_TRUE(IsPublisherScreen(TKvBytes(reinterpret_cast<const uint8_t*>("DYNAMIC PUBLISHER SCREEN"), 24)));
  EXPECT_TRUE(IsPublisherScreen(TKvBytes(reinterpret_cast<const uint8_t*>("E U R O PUBLISHER SCREEN"), 24)));
  EXPECT_FALSE(IsPublisherScreen(TKvBytes(reinterpret_cast<const uint8_t*>("Dynamic Publisher Screen"), 24)));
}

TEST(KvPlatformMSX, Palettes) {
  TKvPalette256 p;
  BuildMSXPalette(p);
  ASSERT_EQ(p.GetCount(), 16);
  EXPECT_EQ(p.GetStdRGB(0), Rgb(0, 0, 0));
  EXPECT_EQ(p.GetStdRGB(1), Rgb(1, 1, 1));
  EXPECT_EQ(p.GetStdRGB(9), Rgb(255, 137, 125));
  EXPECT_EQ(p.GetStdRGB(15), Rgb(255, 255, 255));
  BuildMSXGrayPalette(p);
  ASSERT_EQ(p.GetCount(), 3);
  EXPECT_EQ(p.GetStdRGB(0), Rgb(1, 1, 1));
  EXPECT_EQ(p.GetStdRGB(1), Rgb(204, 204, 204));
  EXPECT_EQ(p.GetStdRGB(2), Rgb(255, 255, 255));

  BuildMSXScreen8Palette(p, false);
  ASSERT_EQ(p.GetCount(), 256);
  EXPECT_EQ(p.GetStdRGB(255), Rgb(255, 255, 255));
  EXPECT_EQ(p.GetStdRGB(3), Rgb(0, 0, 255));
  EXPECT_EQ(p.GetStdRGB(1), Rgb(0, 0, 73));
  EXPECT_EQ(p.GetStdRGB(0x20 + 0x04), Rgb(36, 36, 0));  // g 1, r 1
  BuildMSXScreen8Palette(p, true);
  EXPECT_EQ(p.GetStdRGB(73), Rgb(74, 74, 74));  // g 2, r 2, b 1
  EXPECT_EQ(p.GetStdRGB(0xE0 | 0x1C), Rgb(255, 255, 0));

  BuildV9990Palette(p);
  ASSERT_EQ(p.GetCount(), 256);
  EXPECT_EQ(p.GetStdRGB(1), Rgb(0, 0, 90));
  EXPECT_EQ(p.GetStdRGB(2), Rgb(0, 0, 173));
  EXPECT_EQ(p.GetStdRGB(73), Rgb(74, 74, 90));
}

TEST(KvPlatformMSX, ColourFormulas) {
  struct Case {
    int Y, K, J;
    int R, G, B;  // 5-bit
  } yjk[] = {
      {16, 0, 0, 16, 16, 20}, {14, 2, 2, 16, 16, 16}, {0, -32, -32, 0, 0, 24},
      {31, 31, 31, 31, 31, 16}, {31, -32, 0, 31, 0, 31}, {2, 0, 31, 31, 2, 0},
      {1, 3, 0, 1, 4, 1},  // (5 - 3 + 2) div 4 = 1
      {0, 3, 0, 0, 3, 0},  // (0 - 3 + 2) div 4 truncates to 0
  };
  for (const Case& c : yjk) {
    SCOPED_TRACE(::testing::Message() << c.Y << " " << c.K << " " << c.J);
    EXPECT_EQ(YJKToRGB(c.Y, c.K, c.J), Quad5(c.R, c.G, c.B));
    EXPECT_EQ(YUVToRGB(c.Y, c.K, c.J), Quad5(c.R, c.B, c.G));  // green and blue exchanged
  }
  EXPECT_EQ(ClampLevel5(-1), 0);
  EXPECT_EQ(ClampLevel5(32), 31);

  TKvPalette256 p;
  BuildMSXPalette(p);
  EXPECT_EQ(YAEToRGB(p, 7, 5, -9), p.GetRGBQuad(3));
  EXPECT_EQ(YAEToRGB(p, 31, 0, 0), p.GetRGBQuad(15));
  EXPECT_EQ(YAEToRGB(p, 16, 0, 0), YJKToRGB(16, 0, 0));
}

TEST(KvPlatformMSX, GroupDecoders) {
  // Y 14 in every byte, K = J = 2: the 5-bit gray 16.
  const uint8_t gray[4] = {0x72, 0x70, 0x72, 0x70};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(YJKGroupByte(14, i, 2, 2), gray[i]);
  EXPECT_EQ(YJKGroupByte(0, 0, -1, -32), 7);
  EXPECT_EQ(YJKGroupByte(0, 1, -1, -32), 7);
  EXPECT_EQ(YJKGroupByte(0, 2, -1, -32), 0);
  EXPECT_EQ(YJKGroupByte(0, 3, -1, -32), 4);

  TKvBitmap24 b(6, 2);
  const uint8_t* p = gray;
  int count = 4;
  DecodeYJKGroup(b, 0, 0, p, count);
  EXPECT_EQ(p, gray + 4);
  EXPECT_EQ(count, 0);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(static_cast<uint32_t>(b.GetPixel(x, 0)), Quad5(16, 16, 16));
  // The row counts from the top: memory row Height - 1 holds row 0.
  EXPECT_EQ(b.GetHandle()->Bits[static_cast<size_t>(b.Stride)], Std5ToByte[16]);

  // Two bytes left: two pixels, the missing bytes count as 0 (J = 0).
  const uint8_t tail[2] = {static_cast<uint8_t>((16 << 3) | 1), static_cast<uint8_t>(8 << 3)};
  p = tail;
  count = 2;
  DecodeYJKGroup(b, 1, 1, p, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(p, tail + 2);
  EXPECT_EQ(static_cast<uint32_t>(b.GetPixel(4, 1)), YJKToRGB(16, 1, 0));
  EXPECT_EQ(static_cast<uint32_t>(b.GetPixel(5, 1)), YJKToRGB(8, 1, 0));
  count = 0;
  DecodeYJKGroup(b, 0, 1, p, count);
  EXPECT_EQ(p, tail + 2);

  // Mirrored bitmap: column x lands at Width - 1 - x.
  TKvBitmap24 m(4, 1);
  m.MirrorX = true;
  const uint8_t four[4] = {0, 8 << 3, 16 << 3, 24 << 3};
  p = four;
  count = 4;
  DecodeYUVGroup(m, 0, 0, p, count);
  m.MirrorX = false;
  EXPECT_EQ(static_cast<uint32_t>(m.GetPixel(3, 0)), YUVToRGB(0, 0, 0));
  EXPECT_EQ(static_cast<uint32_t>(m.GetPixel(0, 0)), YUVToRGB(24, 0, 0));

  // YAE: odd values show palette entries.
  TKvPalette256 pal;
  BuildMSXPalette(pal);
  const uint8_t yae[4] = {static_cast<uint8_t>(7 << 3), static_cast<uint8_t>(16 << 3), 0, 0};
  p = yae;
  count = 4;
  TKvBitmap24 y(4, 1);
  DecodeYJKYAEGroup(y, 0, 0, p, count, pal);
  EXPECT_EQ(static_cast<uint32_t>(y.GetPixel(0, 0)), pal.GetRGBQuad(3));
  EXPECT_EQ(static_cast<uint32_t>(y.GetPixel(1, 0)), YJKToRGB(16, 0, 0));
}

}  // namespace
