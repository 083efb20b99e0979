// The picture readers: what each file kind yields as pixel format and colour
// table, and how damaged files fail.
#include "core/KvPictureDecoder.h"

#include "KvPictureFixtures.h"
#include "rtl/KvClasses.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>

using namespace fixtures;

namespace {

std::istringstream In(const std::string& s) { return std::istringstream(s, std::ios::binary); }

TKvSourceImage Read(TKvSourceImage (*AReader)(std::istream&), const std::string& AData) {
  auto s = In(AData);
  return AReader(s);
}

// Value of pixel (X, Y) as DecodeBitmap reads it.
uint32_t Px(const TKvSourceImage& I, int X, int Y) {
  const uint8_t* r = I.Pixels.data() + static_cast<size_t>(I.Stride) * Y;
  switch (I.BitCount) {
    case 1: return (r[X >> 3] >> (7 - (X & 7))) & 1;
    case 4: return (X & 1) ? (r[X >> 1] & 15) : (r[X >> 1] >> 4);
    case 8: return r[X];
    case 24: return (uint32_t(r[3 * X + 2]) << 16) | (uint32_t(r[3 * X + 1]) << 8) | r[3 * X];
    default: return (uint32_t(r[4 * X + 2]) << 16) | (uint32_t(r[4 * X + 1]) << 8) | r[4 * X];
  }
}

// A refused size names the declared size and both limits.
std::string TooLargeText(int64_t AWidth, int64_t AHeight) {
  return "Image is too large: " + std::to_string(AWidth) + " x " + std::to_string(AHeight) + " pixels; at most " +
         std::to_string(KvMaxPicturePixels) + " pixels and 65535 on a side can be opened";
}

std::string Bytes(std::initializer_list<int> AList) {
  std::string s;
  for (int b : AList) s += static_cast<char>(b);
  return s;
}

// A PNG chunk with its CRC.
std::string Chunk(const std::string& AType, const std::string& AData) {
  std::string s;
  const uint32_t n = static_cast<uint32_t>(AData.size());
  s += Bytes({int(n >> 24), int((n >> 16) & 255), int((n >> 8) & 255), int(n & 255)});
  const std::string body = AType + AData;
  s += body;
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
  s += Bytes({int(crc >> 24), int((crc >> 16) & 255), int((crc >> 8) & 255), int(crc & 255)});
  return s;
}

}  // namespace

TEST(DetectFileType, SniffsByContentAndKeepsThePosition) {
  const struct {
    std::string head;
    uint8_t type;
  } cases[] = {
      {"BMxxxxxx", kvftBMP},          {Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0}), kvftJPEG},
      {"\x89PNG\r\n\x1a\n", kvftPNG}, {"GIF87a..", kvftGIF},
      {"GIF89a..", kvftGIF},          {"JASC-PAL\r\n", kvftJASC},
      {"RIFF....PAL ", kvftRIFF},     {"GIMP Palette\n", kvftGIMP},
      {"GIMP Pal", kvftUnknown},      {"GIF88a..", kvftUnknown},
  };
  for (const auto& c : cases) {
    auto s = In("xx" + c.head);
    s.seekg(2);
    EXPECT_EQ(DetectFileType(s), c.type) << c.head;
    EXPECT_EQ(s.tellg(), 2);
  }
  auto shortStream = In("xxBM12345");
  shortStream.seekg(2);
  EXPECT_THROW(DetectFileType(shortStream), EReadError);
  EXPECT_EQ(shortStream.tellg(), 2);
}

TEST(BMPReader, IndexedBitmapsKeepTheirTablesAndRows) {
  // 1 bit, 10 x 2, bottom-up: the file's first row is the bottom one.
  const std::string rows1 = Bytes({0x80, 0x40, 0, 0, 0xFF, 0xC0, 0, 0});
  TKvSourceImage i1 = Read(ReadBMPImage, MakeBMP(10, 2, 1, {0xFFFFFF, 0x000000}, rows1));
  EXPECT_EQ(i1.BitCount, 1);
  EXPECT_EQ(i1.ColorTable, (std::vector<uint32_t>{0xFFFFFF, 0}));
  EXPECT_EQ(Px(i1, 0, 0), 1u);
  EXPECT_EQ(Px(i1, 9, 0), 1u);
  EXPECT_EQ(Px(i1, 1, 0), 1u);
  EXPECT_EQ(Px(i1, 0, 1), 1u);
  EXPECT_EQ(Px(i1, 1, 1), 0u);
  EXPECT_EQ(Px(i1, 9, 1), 1u);

  // 4 bits with 10 used colours, one pixel of index 12.
  std::vector<uint32_t> t10;
  for (uint32_t i = 0; i < 10; ++i) t10.push_back(i * 0x111111);
  TKvSourceImage i4 = Read(ReadBMPImage, MakeBMP(3, 1, 4, t10, Bytes({0x12, 0xC0, 0, 0}), 0, 10));
  EXPECT_EQ(i4.BitCount, 4);
  EXPECT_EQ(i4.ColorTable.size(), 10u);
  EXPECT_EQ(Px(i4, 0, 0), 1u);
  EXPECT_EQ(Px(i4, 1, 0), 2u);
  EXPECT_EQ(Px(i4, 2, 0), 12u);

  // 8 bits top-down (negative height), 3 wide so rows are padded to 4.
  TKvSourceImage i8 =
      Read(ReadBMPImage, MakeBMP(3, -2, 8, {1, 2, 3, 4, 5, 6}, Bytes({0, 1, 2, 0, 3, 4, 5, 0}), 0, 6));
  EXPECT_EQ(i8.BitCount, 8);
  EXPECT_EQ(Px(i8, 0, 0), 0u);
  EXPECT_EQ(Px(i8, 2, 1), 5u);

  // A table that claims more entries than lie before the pixels keeps what is there.
  std::string clipped = MakeBMP(1, 1, 8, {0x112233, 0x445566}, Bytes({1, 0, 0, 0}), 0, 0);
  TKvSourceImage ic = Read(ReadBMPImage, clipped);
  EXPECT_EQ(ic.ColorTable, (std::vector<uint32_t>{0x112233, 0x445566}));
}

TEST(BMPReader, DirectColourAndBitFields) {
  // 24 bits: B, G, R.
  TKvSourceImage i24 = Read(ReadBMPImage, MakeBMP(1, 1, 24, {}, Bytes({0x30, 0x20, 0x10, 0})));
  EXPECT_EQ(i24.BitCount, 24);
  EXPECT_EQ(Px(i24, 0, 0), 0x102030u);
  // 32 bits plain.
  TKvSourceImage i32 = Read(ReadBMPImage, MakeBMP(1, 1, 32, {}, Bytes({0x30, 0x20, 0x10, 0x00})));
  EXPECT_EQ(i32.BitCount, 32);
  EXPECT_EQ(Px(i32, 0, 0), 0x102030u);
  // 32 bits with swapped masks: converted to the plain layout.
  TKvSourceImage if32 = Read(ReadBMPImage, MakeBMP(1, 1, 32, {}, Bytes({0x10, 0x20, 0x30, 0x00}), 3, 0,
                                                  {0x0000FF, 0x00FF00, 0xFF0000}));
  EXPECT_EQ(if32.BitCount, 32);
  EXPECT_EQ(Px(if32, 0, 0), 0x102030u);
  // 16 bits: 5-5-5 by default, 5-6-5 by bit fields; the format counts as "other".
  TKvSourceImage i555 = Read(ReadBMPImage, MakeBMP(2, 1, 16, {}, Bytes({0x1F, 0x7C, 0x00, 0x00})));
  EXPECT_EQ(i555.BitCount, 0);
  EXPECT_EQ(Px(i555, 0, 0), 0xFF00FFu);
  EXPECT_EQ(Px(i555, 1, 0), 0u);
  TKvSourceImage i565 =
      Read(ReadBMPImage, MakeBMP(1, 1, 16, {}, Bytes({0xE0, 0x07, 0, 0}), 3, 0, {0xF800, 0x07E0, 0x001F}));
  EXPECT_EQ(Px(i565, 0, 0), 0x00FF00u);
}

TEST(BMPReader, RunLengthRows) {
  // RLE8, 4 x 2: bottom row "run of 3 x 7, absolute 1 pixel 9"; top row delta to x=2 then "5".
  const std::string rle = Bytes({3, 7, 0, 3, 9, 9, 9, 0, 0, 0, 0, 2, 2, 0, 1, 5, 0, 1});
  TKvSourceImage i = Read(ReadBMPImage, MakeBMP(4, 2, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, rle, 1, 10));
  EXPECT_EQ(i.BitCount, 8);
  EXPECT_EQ(Px(i, 0, 1), 7u);
  EXPECT_EQ(Px(i, 2, 1), 7u);
  EXPECT_EQ(Px(i, 3, 1), 9u);
  EXPECT_EQ(Px(i, 0, 0), 0u);
  EXPECT_EQ(Px(i, 2, 0), 5u);
  // RLE4: run of 3 alternating nibbles 1, 2.
  TKvSourceImage i4 = Read(ReadBMPImage, MakeBMP(3, 1, 4, {0, 1, 2}, Bytes({3, 0x12, 0, 1}), 2, 3));
  EXPECT_EQ(Px(i4, 0, 0), 1u);
  EXPECT_EQ(Px(i4, 1, 0), 2u);
  EXPECT_EQ(Px(i4, 2, 0), 1u);
  // Without its end marker the data must reach the last row; a file cut
  // short is an error, not a picture with rows missing.
  EXPECT_EQ(Px(Read(ReadBMPImage, MakeBMP(3, 1, 4, {0, 1, 2}, Bytes({3, 0x12, 0, 0}), 2, 3)), 1, 0), 2u);
  for (size_t cut : {size_t(2), size_t(7), size_t(12)})
    EXPECT_THROW(Read(ReadBMPImage, MakeBMP(4, 2, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, rle.substr(0, cut), 1, 10)),
                 EReadError)
        << cut;
}

TEST(BMPReader, RunsPastTheRowEndAreDropped) {
  // Without a single line end, 8.5 million runs of 255 carry the column past
  // 2^31; they must neither wrap around into the rows nor be walked pixel by
  // pixel.
  std::string rle(17000000, static_cast<char>(255));
  for (size_t k = 1; k < rle.size(); k += 2) rle[k] = 7;
  rle += Bytes({0, 3, 1, 2, 3, 0, 0, 1});  // an absolute run past the end, then the end
  TKvSourceImage i = Read(ReadBMPImage, MakeBMP(4, 1, 8, {0, 1, 2, 3, 4, 5, 6, 7}, rle, 1, 8));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(i, x, 0), 7u);
}

TEST(BMPReader, DamagedFilesFailCleanly) {
  const std::string good = MakeBMP(2, 2, 24, {}, std::string(16, '\x55'));
  EXPECT_THROW(Read(ReadBMPImage, good.substr(0, good.size() - 1)), EReadError);
  EXPECT_THROW(Read(ReadBMPImage, good.substr(0, 20)), EReadError);
  // A header that claims 100000 x 100000 pixels fails before any allocation.
  try {
    Read(ReadBMPImage, MakeBMP(100000, 100000, 24, {}, std::string(16, '\0')));
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeText(100000, 100000));
  }
  // Sizes within the limits but more pixels than the file holds.
  EXPECT_THROW(Read(ReadBMPImage, MakeBMP(8000, 8000, 24, {}, std::string(16, '\0'))), EReadError);
  const struct {
    int w, h, bits;
    uint32_t compression;
  } bad[] = {{0, 1, 24, 0}, {1, 0, 24, 0}, {1, 1, 7, 0}, {1, 1, 24, 1}, {1, -1, 8, 1}, {1, 1, 24, 4}};
  for (const auto& b : bad)
    EXPECT_THROW(Read(ReadBMPImage, MakeBMP(b.w, b.h, b.bits, {}, std::string(16, '\0'), b.compression)),
                 EInvalidGraphic)
        << b.w << "x" << b.h << " " << b.bits << " " << b.compression;
  std::string badHeader = good;
  badHeader[14] = 7;  // unknown header size
  EXPECT_THROW(Read(ReadBMPImage, badHeader), EInvalidGraphic);
}

TEST(PNGReader, EachKindGivesItsPixelFormatAndTable) {
  const std::vector<uint32_t> pal3 = {0xFF0000, 0x00FF00, 0x0000FF};
  const struct {
    const char* name;
    int colorType, depth;
    std::string rows;  // 3 x 2 pixels
    std::vector<uint32_t> plte;
    bool interlace;
    int bitCount;
    size_t tableSize;
    uint32_t p00, p21, p11;  // pixel values at (0,0), (2,1), (1,1)
  } cases[] = {
      {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, Bytes({0xA0, 0x40}), {0, 0xFFFFFF}, false, 1, 2, 1, 0, 1},
      {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, Bytes({0x24, 0x90}), pal3, false, 4, 3, 0, 0, 1},
      {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, Bytes({0x01, 0x20, 0x21, 0x00}), pal3, false, 4, 3, 0, 0, 1},
      {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, Bytes({2, 1, 0, 0, 1, 2}), pal3, true, 8, 3, 2, 2, 1},
      {"gray 1", PNG_COLOR_TYPE_GRAY, 1, Bytes({0x80, 0x60}), {}, false, 1, 2, 1, 1, 1},
      {"gray 2", PNG_COLOR_TYPE_GRAY, 2, Bytes({0xE4, 0x1B}), {}, false, 4, 4, 3, 2, 1},
      {"gray 4", PNG_COLOR_TYPE_GRAY, 4, Bytes({0xF0, 0x70, 0x12, 0x30}), {}, false, 4, 16, 15, 3, 2},
      {"gray 8", PNG_COLOR_TYPE_GRAY, 8, Bytes({9, 8, 7, 6, 5, 4}), {}, false, 8, 256, 9, 4, 5},
      {"gray 16", PNG_COLOR_TYPE_GRAY, 16, Bytes({0x12, 0xFF, 0, 0, 0, 0, 0, 0, 0xAB, 0, 0x34, 1}), {}, false, 8,
       256, 0x12, 0x34, 0xAB},
      {"rgb 8", PNG_COLOR_TYPE_RGB, 8, Bytes({1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 5, 6, 7, 8, 9}), {}, true, 24,
       0, 0x010203, 0x070809, 0x040506},
      {"rgb 16",
       PNG_COLOR_TYPE_RGB,
       16,
       Bytes({1, 9, 2, 9, 3, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
              0, 0, 0, 0, 0, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0}),
       {},
       false,
       24,
       0,
       0x010203,
       0x070809,
       0x040506},
      {"gray+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, Bytes({0x40, 0, 0, 0, 0, 0, 0, 0, 0x80, 9, 0x90, 255}), {},
       false, 32, 0, 0x404040, 0x909090, 0x808080},
      {"rgba 8",
       PNG_COLOR_TYPE_RGB_ALPHA,
       8,
       Bytes({1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 5, 6, 128, 7, 8, 9, 255}),
       {},
       false,
       32,
       0,
       0x010203,
       0x070809,
       0x040506},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TKvSourceImage img =
        Read(ReadPNGImage, MakePNG(3, 2, c.colorType, c.depth, c.rows, c.plte, c.interlace));
    EXPECT_EQ(img.Width, 3);
    EXPECT_EQ(img.Height, 2);
    EXPECT_EQ(img.BitCount, c.bitCount);
    EXPECT_EQ(img.HasColorTable, c.tableSize > 0);
    EXPECT_EQ(img.ColorTable.size(), c.tableSize);
    EXPECT_EQ(Px(img, 0, 0), c.p00);
    EXPECT_EQ(Px(img, 2, 1), c.p21);
    EXPECT_EQ(Px(img, 1, 1), c.p11);
  }
  // Gray tables are evenly spaced from black to white.
  const TKvSourceImage g2 = Read(ReadPNGImage, MakePNG(3, 2, PNG_COLOR_TYPE_GRAY, 2, Bytes({0, 0})));
  EXPECT_EQ(g2.ColorTable, (std::vector<uint32_t>{0, 0x555555, 0xAAAAAA, 0xFFFFFF}));
  const TKvSourceImage g8 = Read(ReadPNGImage, MakePNG(3, 2, PNG_COLOR_TYPE_GRAY, 8, std::string(6, '\0')));
  EXPECT_EQ(g8.ColorTable[0x80], 0x808080u);
}

TEST(PNGReader, DamagedFilesFailCleanly) {
  const std::string good = MakePNG(3, 2, PNG_COLOR_TYPE_RGB, 8, std::string(18, '\x11'));
  EXPECT_THROW(Read(ReadPNGImage, good.substr(0, good.size() - 20)), EReadError);
  EXPECT_THROW(Read(ReadPNGImage, good.substr(0, 12)), EReadError);
  std::string corrupt = good;
  corrupt[good.size() / 2] ^= 0x5A;  // breaks a CRC or the compressed data
  EXPECT_THROW(Read(ReadPNGImage, corrupt), Exception);
  EXPECT_THROW(Read(ReadPNGImage, "\x89PNG\r\n\x1a\n" + std::string(40, 'x')), Exception);
  EXPECT_THROW(Read(ReadPNGImage, "\x89PNG\r\n\x1a\n" + Chunk("IHDR", std::string(13, '\0'))), EInvalidGraphic);
  // A valid header claiming 100000 x 100000 and 60000 x 60000 pixels, with no data.
  // Within the limits, but far more pixels than the data could hold: refused
  // before the rows are allocated.
  const std::string big = Bytes({0, 0, 0x1F, 0x40, 0, 0, 0x1F, 0x40, 8, 6, 0, 0, 0});
  EXPECT_THROW(Read(ReadPNGImage, "\x89PNG\r\n\x1a\n" + Chunk("IHDR", big) + Chunk("IDAT", "xx") + Chunk("IEND", "")),
               EReadError);
  for (uint32_t side : {100000u, 60000u}) {
    const std::string ihdr = Bytes({int(side >> 24), int((side >> 16) & 255), int((side >> 8) & 255),
                                    int(side & 255), int(side >> 24), int((side >> 16) & 255),
                                    int((side >> 8) & 255), int(side & 255), 8, 2, 0, 0, 0});
    const std::string huge = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", ihdr) + Chunk("IDAT", "xx") + Chunk("IEND", "");
    try {
      Read(ReadPNGImage, huge);
      FAIL() << side;
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), TooLargeText(side, side));
    }
  }
}

TEST(GIFReader, FirstPictureOnItsScreen) {
  const std::vector<uint32_t> cols = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  std::vector<uint8_t> px(5 * 9);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i % 4);
  for (bool interlace : {false, true})
    for (bool local : {false, true}) {
      SCOPED_TRACE(std::to_string(interlace) + std::to_string(local));
      const TKvSourceImage img = Read(ReadGIFImage, MakeGIF(5, 9, 0, 0, 5, 9, cols, px, interlace, local));
      EXPECT_EQ(img.BitCount, 8);
      EXPECT_EQ(img.ColorTable, cols);
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(Px(img, x, y), px[static_cast<size_t>(y * 5 + x)]) << x << "," << y;
    }
  // A 2 x 1 picture at (1, 1) on a 4 x 3 screen with background index 2.
  const TKvSourceImage off = Read(ReadGIFImage, MakeGIF(4, 3, 1, 1, 2, 1, cols, {1, 3}, false, false, 2));
  EXPECT_EQ(off.Width, 4);
  EXPECT_EQ(off.Height, 3);
  EXPECT_EQ(Px(off, 0, 0), 2u);
  EXPECT_EQ(Px(off, 1, 1), 1u);
  EXPECT_EQ(Px(off, 2, 1), 3u);
  EXPECT_EQ(Px(off, 3, 2), 2u);
}

TEST(GIFReader, DamagedFilesFailCleanly) {
  std::vector<uint8_t> px(64 * 64, 1);
  const std::string good = MakeGIF(64, 64, 0, 0, 64, 64, {0, 0xFFFFFF}, px);
  EXPECT_THROW(Read(ReadGIFImage, good.substr(0, good.size() / 2)), EReadError);
  EXPECT_THROW(Read(ReadGIFImage, good.substr(0, 8)), Exception);
  EXPECT_THROW(Read(ReadGIFImage, "GIF89a" + std::string(30, '\xFF')), Exception);
  // A screen of 65535 x 65535 is beyond the pixel limit.
  std::string huge = good;
  huge[6] = huge[7] = huge[8] = huge[9] = '\xFF';
  try {
    Read(ReadGIFImage, huge);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeText(65535, 65535));
  }
}

TEST(JPEGReader, DecodesColourAndGray) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 16 * 16; ++i) {
    rgb.push_back(200);
    rgb.push_back(40);
    rgb.push_back(90);
  }
  const TKvSourceImage img = Read(ReadJPEGImage, MakeJPEG(16, 16, rgb));
  EXPECT_EQ(img.BitCount, 24);
  EXPECT_EQ(img.Width, 16);
  const uint32_t p = Px(img, 7, 9);
  EXPECT_NEAR(int(p >> 16), 200, 3);
  EXPECT_NEAR(int((p >> 8) & 255), 40, 3);
  EXPECT_NEAR(int(p & 255), 90, 3);
  const TKvSourceImage gray = Read(ReadJPEGImage, MakeJPEG(8, 8, std::vector<uint8_t>(64, 77), true));
  EXPECT_EQ(gray.BitCount, 24);
  const uint32_t g = Px(gray, 3, 3);
  EXPECT_NEAR(int(g & 255), 77, 2);
  EXPECT_EQ(g >> 16, g & 255);
}

TEST(JPEGReader, ProgressiveScansAreBounded) {
  const std::string good = MakeJPEG(16, 16, std::vector<uint8_t>(256, 140), true, 90, true);
  EXPECT_NEAR(int(Px(Read(ReadJPEGImage, good), 5, 5) & 255), 140, 2);
  // The last scan again and again: every copy walks the whole picture, so a
  // small file could keep a large picture's decoder busy for minutes.
  const size_t last = good.rfind("\xFF\xDA");
  ASSERT_NE(last, std::string::npos);
  const std::string scan = good.substr(last, good.size() - 2 - last);
  std::string many = good.substr(0, good.size() - 2);
  for (int k = 0; k < 200; ++k) many += scan;
  many += "\xFF\xD9";
  EXPECT_THROW(Read(ReadJPEGImage, many), EInvalidGraphic);
}

TEST(JPEGReader, DamagedFilesFailCleanly) {
  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  const std::string good = MakeJPEG(64, 64, rgb);
  // A file cut anywhere, in its headers as in its picture data, ends early.
  for (size_t cut : {size_t(2), size_t(3), size_t(6), size_t(40), good.size() / 2})
    EXPECT_THROW(Read(ReadJPEGImage, good.substr(0, cut)), EReadError) << cut;
  // Headers in the wrong order: a scan before any frame.
  EXPECT_THROW(Read(ReadJPEGImage, Bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0, 0xFF, 0xD9})),
               EInvalidGraphic);
  // Damaged entropy data decodes as far as the library can repair it.
  const size_t scan = good.rfind("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  std::string damaged = good;
  for (size_t i = scan + 40; i < scan + 80; ++i) damaged[i] = static_cast<char>(0x5A ^ (i * 37 & 0x7F));
  const TKvSourceImage repaired = Read(ReadJPEGImage, damaged);
  EXPECT_EQ(repaired.Width, 64);
  EXPECT_NE(repaired.Pixels, Read(ReadJPEGImage, good).Pixels);
  // Patch the frame header to 8000 x 8000: far more than the data can hold.
  const size_t sof0 = good.find("\xFF\xC0");
  ASSERT_NE(sof0, std::string::npos);
  std::string big = good;
  big[sof0 + 5] = big[sof0 + 7] = static_cast<char>(0x1F);
  big[sof0 + 6] = big[sof0 + 8] = static_cast<char>(0x40);
  EXPECT_THROW(Read(ReadJPEGImage, big), EReadError);
  // Patch the frame header to 65000 x 65000.
  std::string huge = good;
  const size_t sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  huge[sof + 5] = huge[sof + 7] = static_cast<char>(0xFD);
  huge[sof + 6] = huge[sof + 8] = static_cast<char>(0xE8);
  try {
    Read(ReadJPEGImage, huge);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeText(65000, 65000));
  }
}
