// Native pixel containers: screens over caller memory and bitmaps.
#include "core/KvBitmap.h"

#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvPalette.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<TKvPalette256> Palette(int ACount) {
  auto p = std::make_unique<TKvPalette256>();
  for (int i = 0; i < ACount; ++i) p->AddRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), 200);
  return p;
}

}  // namespace

TEST(KvScreens, PackingOfEachDepth) {
  std::vector<uint8_t> mem(64, 0);
  TKvScreen1 s1(10, 2, mem.data());
  EXPECT_EQ(s1.Stride, 2);
  s1.SetPixel(0, 0, 5);
  s1.SetPixel(9, 0, 1);
  s1.SetPixel(1, 1, 1);
  EXPECT_EQ(mem[0], 0x80);
  EXPECT_EQ(mem[1], 0x40);
  EXPECT_EQ(mem[2], 0x40);  // row 1 follows row 0 (top-down)
  EXPECT_EQ(s1.GetPixel(9, 0), 1);
  s1.SetPixel(0, 0, 0);
  EXPECT_EQ(mem[0], 0x00);

  std::fill(mem.begin(), mem.end(), 0);
  TKvScreen2 s2(5, 1, mem.data());
  EXPECT_EQ(s2.Stride, 2);
  s2.SetPixel(3, 0, 6);  // the low 2 bits: 2
  s2.SetPixel(0, 0, 3);
  EXPECT_EQ(mem[0], 0xC2);
  EXPECT_EQ(s2.GetPixel(3, 0), 2);

  std::fill(mem.begin(), mem.end(), 0);
  TKvScreen4 s4(3, 2, mem.data());
  EXPECT_EQ(s4.Stride, 2);
  s4.SetPixel(0, 1, 0x1A);
  s4.SetPixel(1, 1, 0xB);
  EXPECT_EQ(mem[2], 0xAB);
  EXPECT_EQ(s4.GetPixel(0, 1), 0xA);

  std::fill(mem.begin(), mem.end(), 0);
  TKvScreen8 s8(3, 2, mem.data());
  s8.SetPixel(2, 1, 300);
  EXPECT_EQ(mem[5], 300 & 255);

  std::fill(mem.begin(), mem.end(), 0);
  TKvScreen16 s16(3, 2, mem.data());
  EXPECT_EQ(s16.Stride, 6);
  s16.SetPixel(1, 1, 0x12345);
  EXPECT_EQ(mem[8], 0x45);
  EXPECT_EQ(mem[9], 0x23);
  EXPECT_EQ(s16.GetPixel(1, 1), 0x2345);

  // Mirrored addressing.
  std::fill(mem.begin(), mem.end(), 0);
  TKvScreen8 m(4, 1, mem.data());
  m.MirrorX = true;
  m.SetPixel(0, 0, 9);
  EXPECT_EQ(mem[3], 9);
  EXPECT_EQ(m.GetPixel(0, 0), 9);
}

TEST(KvBitmaps, LayoutIsBottomUpWithPaddedRows) {
  auto pal = Palette(4);
  TKvBitmap8 b(3, 2, pal.get());
  EXPECT_EQ(b.Stride, 4);
  EXPECT_EQ(b.BitCount, 8);
  EXPECT_EQ(b.Palette->Count, 4);
  EXPECT_NE(b.Palette.get(), pal.get());
  b.SetPixel(1, 0, 3);
  EXPECT_EQ(b.Data[4 + 1], 3);  // row 0 is the last row in memory
  EXPECT_EQ(b.GetScanline(0), b.Data + 4);
  ASSERT_NE(b.GetHandle(), nullptr);
  EXPECT_EQ(b.GetHandle()->ColorTable.size(), 4u);
  b.MirrorX = true;
  b.SetPixel(0, 1, 2);
  EXPECT_EQ(b.Data[2], 2);

  TKvBitmap1 one(10, 1, nullptr);
  EXPECT_EQ(one.Stride, 4);
  EXPECT_EQ(one.GetHandle()->ColorTable, (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
  TKvBitmap4 four(3, 1, pal.get());
  four.SetPixel(1, 0, 0x1F);
  EXPECT_EQ(four.Data[0], 0x0F);
  TKvBitmap24 rgb(2, 1);
  EXPECT_EQ(rgb.Stride, 8);
  rgb.SetPixel(1, 0, 0x7F123456);
  EXPECT_EQ(rgb.Data[3], 0x56);
  EXPECT_EQ(rgb.Data[5], 0x12);
  EXPECT_EQ(rgb.GetPixel(1, 0), 0x123456);
  EXPECT_EQ(rgb.GetPixelStdRGB(1, 0), StdRGBColor(0x12, 0x34, 0x56));

  EXPECT_EQ(GetDIBStride(3, 15), 8);
  EXPECT_EQ(GetDIBColorCount(4), 16);
  EXPECT_EQ(GetDIBColorCount(24), 0);
}

TEST(KvBitmaps, PixelColours) {
  auto pal = Palette(3);
  pal->Colors[1].SetStdRGB(StdRGBColor(255, 0, 0));
  TKvBitmap1 one(2, 1, pal.get());
  one.SetPixel(0, 0, 1);
  // A set bit is white whatever the palette holds.
  EXPECT_EQ(one.GetPixelStdRGB(0, 0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(one.GetPixelStdRGB(1, 0), StdRGBColor(0, 0, 0));
  TKvBitmap8 eight(1, 1, pal.get());
  eight.SetPixel(0, 0, 1);
  EXPECT_EQ(eight.GetPixelStdRGB(0, 0), StdRGBColor(255, 0, 0));
}

TEST(KvBitmaps, ToBitmap32AndScaledCopies) {
  auto pal = Palette(2);
  TKvBitmap8 b(4, 2, pal.get());
  b.SetPixel(0, 0, 1);
  b.SetPixel(3, 1, 7);  // beyond the palette
  std::unique_ptr<TBitmap32> big = b.ToBitmap32(2, 3);
  ASSERT_EQ(big->GetWidth(), 8);
  ASSERT_EQ(big->GetHeight(), 6);
  EXPECT_EQ(big->GetScanLine(2)[1], 0xFF0102C8u);
  EXPECT_EQ(big->GetScanLine(3)[6], 0xFF000000u);
  EXPECT_EQ(big->GetScanLine(5)[7], 0xFF000000u);
  EXPECT_EQ(big->GetScanLine(0)[2], 0xFF0000C8u);
  EXPECT_THROW(b.ToBitmap32(0, 1), Exception);

  std::unique_ptr<TKvBitmap> scaled = b.CreateScaled(3, 1);
  ASSERT_NE(dynamic_cast<TKvBitmap8*>(scaled.get()), nullptr);
  EXPECT_EQ(scaled->Width, 12);
  EXPECT_EQ(scaled->GetPixel(2, 0), 1);
  EXPECT_EQ(scaled->GetPixel(3, 0), 0);
  EXPECT_EQ(scaled->Palette->Count, 2);
  EXPECT_THROW(b.CreateScaled(1, 0), Exception);

  TBitmap32 src;
  src.SetSize(2, 1);
  src.GetScanLine(0)[0] = 0x00ABCDEF;
  src.GetScanLine(0)[1] = 0xFF000001;
  auto t = TKvBitmap24::CreateFromBitmap32(src);
  EXPECT_EQ(t->GetPixel(0, 0), 0xABCDEF);
  EXPECT_EQ(t->GetPixel(1, 0), 1);
  EXPECT_EQ(t->ToBitmap32(1, 1)->GetScanLine(0)[0], 0xFFABCDEFu);
}

TEST(KvBitmaps, FramesListsAndHandles) {
  TKvBitmap24 b(3, 2);
  const struct {
    int colors;
    int bits;
  } cases[] = {{2, 1}, {16, 4}, {17, 8}, {256, 8}, {257, 24}, {-1, 24}};
  for (const auto& c : cases) {
    auto pal = c.colors >= 0 ? Palette(c.colors) : nullptr;
    TKvBitmap* f = b.AddFrame(pal.get());
    EXPECT_EQ(f->BitCount, c.bits) << c.colors;
    EXPECT_EQ(f->Width, 3);
  }
  EXPECT_EQ(b.GetFrames()->GetCount(), 6);
  std::unique_ptr<TKvBitmapList> frames = b.ReleaseFrames();
  EXPECT_EQ(b.GetFrames(), nullptr);
  EXPECT_EQ(frames->GetCount(), 6);

  std::unique_ptr<TKvBitmap> item = std::make_unique<TKvBitmap24>(1, 1);
  EXPECT_EQ(frames->Add(item), 6);
  EXPECT_EQ(item, nullptr);
  TKvBitmap32List l32;
  EXPECT_EQ(l32.GetCount(), 0);
  auto bmp = std::make_unique<TBitmap32>();
  EXPECT_EQ(l32.Add(bmp), 0);
  EXPECT_EQ(bmp, nullptr);

  std::unique_ptr<TKvDIBSection> dib = b.ReleaseHandle();
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(b.GetHandle(), nullptr);
  EXPECT_EQ(dib->Bits.data(), b.Data);

  // Sizes no memory can hold fail cleanly.
  EXPECT_THROW(TKvBitmap24(100000, 100000), EOutOfResources);
  EXPECT_THROW(TKvBitmap8(0, 5, nullptr), EOutOfResources);
}

TEST(KvBitmaps, OneBitWithoutPaletteShowsBlackAndWhite) {
  TKvBitmap1 b(2, 1, nullptr);
  b.SetPixel(1, 0, 1);
  auto shown = b.ToBitmap32(1, 1);
  EXPECT_EQ(shown->GetScanLine(0)[0], 0xFF000000u);
  EXPECT_EQ(shown->GetScanLine(0)[1], 0xFFFFFFFFu);
  auto pal = Palette(2);
  TKvBitmap1 c(2, 1, pal.get());
  c.SetPixel(1, 0, 1);
  EXPECT_EQ(c.ToBitmap32(1, 1)->GetScanLine(0)[1], 0xFF0102C8u);
}

TEST(KvBitmaps, InvertPixels) {
  TKvBitmap1 b(9, 2, nullptr);
  b.SetPixel(8, 1, 1);
  InvertPixels(&b);
  EXPECT_EQ(b.GetPixel(8, 1), 0);
  EXPECT_EQ(b.GetPixel(0, 0), 1);
}
