// Decoding pictures into a TBitmap32, the colour table and the used colours.
#include "core/KvPictureDecoder.h"

#include "KvPictureFixtures.h"
#include "bitmap/B32.h"
#include "core/KvPalette.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace fixtures;

namespace {

struct TDecoded {
  std::unique_ptr<TBitmap32> Bitmap;
  std::unique_ptr<TKvPalette256> Palette, Used;
};

TDecoded Decode(const std::string& AFile, uint8_t AOptions = 7) {
  std::istringstream s(AFile, std::ios::binary);
  TDecoded d;
  DecodePicture(s, d.Bitmap, d.Palette, d.Used, AOptions);
  return d;
}

std::vector<uint32_t> Quads(const TKvPalette256& P) {
  std::vector<uint32_t> v;
  for (int i = 0; i < P.Count; ++i) v.push_back(P.GetRGBQuad(i));
  return v;
}

std::string Bytes(std::initializer_list<int> AList) {
  std::string s;
  for (int b : AList) s += static_cast<char>(b);
  return s;
}

// A 24-bit BMP of AWidth x 1 whose pixel i has the colour AColor(i).
template <typename F>
std::string Row24(int AWidth, F AColor) {
  std::string rows;
  for (int i = 0; i < AWidth; ++i) {
    const uint32_t c = AColor(i);
    rows += Bytes({int(c & 255), int((c >> 8) & 255), int(c >> 16)});
  }
  while (rows.size() % 4) rows += '\0';
  return MakeBMP(AWidth, 1, 24, {}, rows);
}

}  // namespace

TEST(DecodeBitmap, OneBitUsesCheckedTableEntries) {
  // Table (white, black), only set bits: they decode to black, and the used
  // colours are the whole table.
  const TDecoded d = Decode(MakeBMP(2, 1, 1, {0xFFFFFF, 0x000000}, Bytes({0xC0, 0, 0, 0})));
  ASSERT_TRUE(d.Bitmap);
  EXPECT_EQ(d.Bitmap->GetScanLine(0)[0], 0xFF000000u);
  EXPECT_EQ(d.Bitmap->GetScanLine(0)[1], 0xFF000000u);
  EXPECT_EQ(Quads(*d.Used), (std::vector<uint32_t>{0xFFFFFF, 0}));
  EXPECT_EQ(Quads(*d.Palette), (std::vector<uint32_t>{0xFFFFFF, 0}));
  EXPECT_EQ(d.Used->Colors[0].UseCount, 0);
  // A one-entry table: a set bit names a missing entry and becomes black.
  const TDecoded one = Decode(MakeBMP(2, 1, 1, {0x123456}, Bytes({0x40, 0, 0, 0}), 0, 1));
  EXPECT_EQ(one.Bitmap->GetScanLine(0)[0], 0xFF123456u);
  EXPECT_EQ(one.Bitmap->GetScanLine(0)[1], 0xFF000000u);
  EXPECT_EQ(one.Used->Count, 1);
}

TEST(DecodeBitmap, IndexedPalettesAndUsedColours) {
  // 8 bits, 256 entries, pixels use 3 of them; rows bottom-up in the file.
  std::vector<uint32_t> table(256);
  for (uint32_t i = 0; i < 256; ++i) table[i] = i * 0x010101;
  const TDecoded d8 = Decode(MakeBMP(3, 2, 8, table, Bytes({7, 7, 9, 0, 5, 7, 5, 0})));
  EXPECT_EQ(d8.Palette->Count, 256);
  EXPECT_EQ(Quads(*d8.Used), (std::vector<uint32_t>{0x050505, 0x070707, 0x090909}));
  EXPECT_EQ(d8.Used->Colors[0].UseCount, 1);
  EXPECT_EQ(d8.Used->Colors[1].UseCount, 2);
  EXPECT_EQ(d8.Bitmap->GetScanLine(1)[2], 0xFF090909u);

  // 4 bits with a 10-entry table and a pixel of index 12.
  std::vector<uint32_t> t10(10, 0x00FF00);
  const TDecoded d4 = Decode(MakeBMP(2, 1, 4, t10, Bytes({0x1C, 0, 0, 0}), 0, 10));
  EXPECT_EQ(d4.Bitmap->GetScanLine(0)[0], 0xFF00FF00u);
  EXPECT_EQ(d4.Bitmap->GetScanLine(0)[1], 0xFF000000u);
  EXPECT_EQ(d4.Used->Count, 1);
  EXPECT_EQ(d4.Used->Colors[0].UseCount, 0);

  // Only the palette asked for.
  const TDecoded p = Decode(MakeBMP(3, 2, 8, table, Bytes({7, 7, 9, 0, 5, 7, 5, 0})), kvdoPalette);
  EXPECT_FALSE(p.Bitmap);
  EXPECT_FALSE(p.Used);
  EXPECT_EQ(p.Palette->Count, 256);
  const TDecoded none = Decode(MakeBMP(3, 2, 8, table, Bytes({7, 7, 9, 0, 5, 7, 5, 0})), 0);
  EXPECT_FALSE(none.Bitmap || none.Palette || none.Used);
}

TEST(DecodeBitmap, DirectColoursAndTheLimitOf729) {
  const TDecoded ok = Decode(Row24(729, [](int i) { return uint32_t(i) * 3; }));
  ASSERT_TRUE(ok.Palette && ok.Used);
  EXPECT_EQ(ok.Palette->Count, 729);
  EXPECT_EQ(ok.Used->Count, 729);
  const TDecoded over = Decode(Row24(730, [](int i) { return uint32_t(i) * 3; }));
  EXPECT_FALSE(over.Palette);
  EXPECT_FALSE(over.Used);
  ASSERT_TRUE(over.Bitmap);
  EXPECT_EQ(over.Bitmap->GetScanLine(0)[729], 0xFF000000u | (729 * 3));
  // Repeated colours count their uses, in order of first appearance.
  const TDecoded rep = Decode(Row24(5, [](int i) { return i % 2 ? 0x0000FFu : 0xFF0000u; }));
  EXPECT_EQ(Quads(*rep.Palette), (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
  EXPECT_EQ(rep.Palette->Colors[0].UseCount, 2);
}

TEST(DecodeBitmap, OtherFormatsStillGiveUsedColours) {
  // 16-bit BMP, only the used colours asked for.
  const TDecoded d = Decode(MakeBMP(2, 1, 16, {}, Bytes({0x1F, 0x7C, 0x1F, 0x7C})), kvdoUsedColors);
  EXPECT_FALSE(d.Bitmap);
  EXPECT_FALSE(d.Palette);
  ASSERT_TRUE(d.Used);
  EXPECT_EQ(Quads(*d.Used), (std::vector<uint32_t>{0xFF00FF}));
  EXPECT_EQ(d.Used->Colors[0].UseCount, 1);
}

TEST(DecodeBitmap, EachPictureKindAsBitmapAndPalette) {
  const std::vector<uint32_t> pal3 = {0xFF0000, 0x00FF00, 0x0000FF};
  const struct {
    const char* name;
    std::string file;
    int paletteCount, usedCount;
    uint32_t pixel10;  // pixel (1, 0) of the bitmap
  } cases[] = {
      {"png palette 4", MakePNG(2, 1, PNG_COLOR_TYPE_PALETTE, 4, Bytes({0x12}), pal3), 3, 2, 0xFF0000FF},
      {"png gray 2", MakePNG(2, 1, PNG_COLOR_TYPE_GRAY, 2, Bytes({0x70})), 4, 2, 0xFFFFFFFF},
      {"png gray 16", MakePNG(2, 1, PNG_COLOR_TYPE_GRAY, 16, Bytes({0x80, 0x11, 0x80, 0x22})), 256, 1, 0xFF808080},
      {"png rgb 16", MakePNG(2, 1, PNG_COLOR_TYPE_RGB, 16, Bytes({1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0})), 2, 2,
       0xFF040506},
      // Transparent pixels keep their colour and become opaque.
      {"png rgba", MakePNG(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, Bytes({1, 2, 3, 0, 9, 8, 7, 0})), 2, 2, 0xFF090807},
      {"png gray alpha", MakePNG(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, Bytes({5, 0, 5, 255})), 1, 1, 0xFF050505},
      {"gif", MakeGIF(2, 1, 0, 0, 2, 1, {0, 0xFFFFFF, 0xFF0000, 0x00FF00}, {2, 2}), 4, 1, 0xFFFF0000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TDecoded d = Decode(c.file);
    ASSERT_TRUE(d.Bitmap && d.Palette && d.Used);
    EXPECT_EQ(d.Bitmap->GetWidth(), 2);
    EXPECT_EQ(d.Palette->Count, c.paletteCount);
    EXPECT_EQ(d.Used->Count, c.usedCount);
    EXPECT_EQ(d.Bitmap->GetScanLine(0)[1], c.pixel10);
  }
}

TEST(DecodeBitmap, JPEGGivesOnlyABitmapAndOtherDataFails) {
  std::vector<uint8_t> rgb(8 * 8 * 3, 128);
  const TDecoded j = Decode(MakeJPEG(8, 8, rgb));
  ASSERT_TRUE(j.Bitmap);
  EXPECT_EQ(j.Bitmap->GetHeight(), 8);
  EXPECT_EQ(j.Bitmap->GetScanLine(4)[4] >> 24, 0xFFu);
  EXPECT_FALSE(j.Palette || j.Used);
  try {
    Decode("not a picture at all");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unknown image type");
  }
}

TEST(DecodeBitmap, IndexedWithoutTableFailsWithNoResults) {
  TKvSourceImage img;
  img.Width = img.Height = 1;
  img.BitCount = 8;
  img.Stride = 1;
  img.Pixels = {0};
  auto bmp = std::make_unique<TBitmap32>();
  auto pal = std::make_unique<TKvPalette256>();
  std::unique_ptr<TKvPalette256> used;
  try {
    DecodeBitmap(img, bmp, pal, used, 7);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid palette");
  }
  EXPECT_FALSE(bmp || pal || used);
  // A GIF without any colour map is such a picture too.
  std::string gif = MakeGIF(2, 1, 0, 0, 2, 1, {0, 0xFFFFFF}, {0, 1});
  gif[10] = 0;  // no global map; the map's bytes now read as garbage
  EXPECT_THROW(Decode(gif), Exception);
}
