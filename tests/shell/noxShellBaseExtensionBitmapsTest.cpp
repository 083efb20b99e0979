#include "shell/noxShellBaseExtensionBitmaps.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(DIBGeometry, RowSizesColourCountsAndMasks) {
  const struct { int64_t w; int bits; int64_t bytes; } rows[] = {
      {1, 1, 4}, {33, 1, 8}, {3, 24, 12}, {10, 15, 20}, {10, 16, 20}, {5, 4, 4}, {9, 8, 12}, {7, 32, 28}, {0, 8, 0}};
  for (const auto& r : rows) EXPECT_EQ(DIBRowBytes(r.w, r.bits), r.bytes) << r.w << "x" << r.bits;
  EXPECT_EQ(DIBColorCount(1), 2);
  EXPECT_EQ(DIBColorCount(4), 16);
  EXPECT_EQ(DIBColorCount(8), 256);
  EXPECT_EQ(DIBColorCount(16), 0);
  EXPECT_EQ(LowBitMask(4), 15u);
  EXPECT_EQ(LowBitMask(0), 0u);
  EXPECT_EQ(LowBitMask(24), 0u);
}

TEST(ReadDIBPixel, ReadsEveryDepth) {
  uint32_t table[256] = {};
  table[1] = 0x112233;
  table[5] = 0x445566;
  table[0xA] = 0x778899;
  {
    const uint8_t row[] = {0x40};  // bits 0 1 0 0 ...
    const uint8_t* c = row;
    int off = 0;
    EXPECT_EQ(ReadDIBPixel(c, off, 1, table), 0xFF000000u);
    EXPECT_EQ(ReadDIBPixel(c, off, 1, table), 0xFF112233u);
    EXPECT_EQ(off, 2);
  }
  {
    const uint8_t row[] = {0x5A, 0x01};
    const uint8_t* c = row;
    int off = 0;
    EXPECT_EQ(ReadDIBPixel(c, off, 4, table), 0xFF445566u);
    EXPECT_EQ(ReadDIBPixel(c, off, 4, table), 0xFF778899u);
    EXPECT_EQ(c, row + 1);
    EXPECT_EQ(ReadDIBPixel(c, off, 8, table), 0xFF112233u);
  }
  {
    const uint8_t row[] = {0x1F, 0x80 | 0x7C, 0x10, 0x20, 0x30, 0x10, 0x20, 0x30, 0x40};
    const uint8_t* c = row;
    int off = 0;
    // 0xFC1F: red 31, green 0, blue 31; the top bit is ignored.
    EXPECT_EQ(ReadDIBPixel(c, off, 16, table), 0xFFF800F8u);
    EXPECT_EQ(ReadDIBPixel(c, off, 24, table), 0xFF302010u);
    EXPECT_EQ(ReadDIBPixel(c, off, 32, table), 0x40302010u);
    EXPECT_EQ(c, row + 9);
    EXPECT_THROW(ReadDIBPixel(c, off, 2, table), Exception);
  }
}

TEST(DIBs, MonochromeResizeAndAlpha) {
  auto dib = CreateDIB(3, 2, 24);
  EXPECT_EQ(dib->ColorTable[1], 0xFFFFFFu);
  EXPECT_EQ(GetBitmapDataSize(*dib), 24);
  // Row 0: white, mid grey (128 -> above 127), dark grey; row 1: pure green (0.7152*255 = 182), red, blue.
  const uint8_t px[2][3][3] = {{{255, 255, 255}, {128, 128, 128}, {127, 127, 127}}, {{0, 255, 0}, {0, 0, 255}, {255, 0, 0}}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) std::memcpy(dib->Row(y) + x * 3, px[y][x], 3);
  auto mono = ConvertToMonochrome(*dib);
  EXPECT_EQ(GetBitmapBitsPerPixel(*mono), 1);
  EXPECT_EQ(mono->Row(0)[0], 0xC0);
  EXPECT_EQ(mono->Row(1)[0], 0x80);
  auto big = ResizeBitmap(*mono, 6, 4);
  EXPECT_EQ(big->Row(0)[0], 0xF0);
  EXPECT_EQ(big->Row(3)[0], 0xC0);
  auto same = ResizeBitmap(*dib, 3, 2);
  EXPECT_EQ(same->Bits, dib->Bits);
  EXPECT_FALSE(BitmapHasAlpha(*dib));
  auto argb = CreateDIB(2, 1, 32);
  EXPECT_FALSE(BitmapHasAlpha(*argb));
  argb->Row(0)[7] = 1;
  EXPECT_TRUE(BitmapHasAlpha(*argb));
  EXPECT_THROW(CreateDIB(1, 1, 7), EOutOfResources);
}

TEST(SelectIconImage, NearestDepthThenSmallestThatFits) {
  const TIconSizes images = {{16, 16, 32}, {32, 32, 32}, {48, 48, 32}, {32, 32, 8}};
  EXPECT_EQ(SelectIconImage(24, 24, 32, images), 1);
  EXPECT_EQ(SelectIconImage(64, 64, 32, images), 2);
  EXPECT_EQ(SelectIconImage(24, 24, 4, images), 3);
  EXPECT_EQ(SelectIconImage(0, 0, 32, images), 0);
  const TIconSizes shallow = {{32, 32, 8}, {16, 16, 24}, {48, 48, 24}};
  EXPECT_EQ(SelectIconImage(20, 20, 32, shallow), 2);  // the 24-bit images remain
  const TIconSizes withPng = {{0, 0, 0}, {32, 32, 4}};
  EXPECT_EQ(SelectIconImage(256, 256, 32, withPng), 1);  // undecodable PNG drops out
  EXPECT_EQ(SelectIconImage(16, 16, 32, {}), 0);
}

namespace {

void PutBE32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string PngHeader(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, bool textFirst) {
  std::string s("\x89PNG\r\n\x1a\n", 8);
  if (textFirst) {
    PutBE32(s, 5);
    s += "tEXtabcde";
    PutBE32(s, 0);
  }
  PutBE32(s, 13);
  s += "IHDR";
  PutBE32(s, w);
  PutBE32(s, h);
  s += static_cast<char>(depth);
  s += static_cast<char>(type);
  s += std::string(3, '\0');
  PutBE32(s, 0);
  return s;
}

TMemoryStream StreamOf(const std::string& s) {
  TMemoryStream m;
  m.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
  m.SetPosition(0);
  return m;
}

}  // namespace

TEST(ReadPngDimensions, TakesSizeAndBitsFromTheHeaderChunk) {
  const struct { uint8_t depth, type; int32_t color, alpha; } cases[] = {
      {8, 0, 8, 0}, {4, 3, 4, 0}, {8, 2, 24, 0}, {8, 4, 8, 8}, {8, 6, 24, 8}, {16, 6, 48, 16}, {8, 5, 0, 0}};
  for (const auto& c : cases) {
    TMemoryStream m = StreamOf(PngHeader(48, 32, c.depth, c.type, c.type == 6));
    TnoxPngDim d;
    ReadPngDimensions(m, d);
    EXPECT_EQ(d.Width, 48);
    EXPECT_EQ(d.Height, 32);
    EXPECT_EQ(d.ColorBits, c.color) << int(c.type);
    EXPECT_EQ(d.AlphaBits, c.alpha) << int(c.type);
  }
  std::string noHeader("\x89PNG\r\n\x1a\n", 8);
  PutBE32(noHeader, 0);
  noHeader += "IEND";
  PutBE32(noHeader, 0);
  TMemoryStream m = StreamOf(noHeader);
  TnoxPngDim d;
  d.Width = 5;
  ReadPngDimensions(m, d);
  EXPECT_EQ(d.Width, 0);
  TMemoryStream cut = StreamOf(PngHeader(48, 32, 8, 2, false).substr(0, 20));
  EXPECT_THROW(ReadPngDimensions(cut, d), EReadError);
}

namespace {

struct TIcoImage {
  int32_t w, h;
  int bits;
  bool bottomUp;
  uint32_t headerSize = 40;  // larger sizes append filler after the 40 bytes
};

// An icon file whose pixel (x, y) has colour index/value (x + 2*y) and whose
// mask makes the top-left pixel transparent.
std::string MakeIco(const std::vector<TIcoImage>& images) {
  std::string dir, data;
  auto le16 = [](std::string& s, uint32_t v) { s += char(v & 0xFF); s += char((v >> 8) & 0xFF); };
  auto le32 = [&](std::string& s, uint32_t v) { le16(s, v & 0xFFFF); le16(s, v >> 16); };
  le16(dir, 0);
  le16(dir, 1);
  le16(dir, static_cast<uint32_t>(images.size()));
  const uint32_t base = 6 + 16 * static_cast<uint32_t>(images.size());
  for (const TIcoImage& im : images) {
    std::string img;
    le32(img, im.headerSize);
    le32(img, im.w);
    le32(img, static_cast<uint32_t>(im.bottomUp ? 2 * im.h : -2 * im.h));
    le16(img, 1);
    le16(img, im.bits);
    for (int i = 0; i < 6; ++i) le32(img, 0);
    if (im.headerSize > 40) img += std::string(im.headerSize - 40, '\xEE');
    for (int i = 0; i < DIBColorCount(im.bits); ++i) le32(img, 0x00010101u * i);
    const int64_t rb = DIBRowBytes(im.w, im.bits), mb = DIBRowBytes(im.w, 1);
    auto rowOf = [&](int y) {
      std::string r(static_cast<size_t>(rb), '\0');
      for (int x = 0; x < im.w; ++x) {
        const int v = x + 2 * y;
        if (im.bits == 8) r[x] = char(v);
        if (im.bits == 32) {
          r[x * 4] = char(v);
          r[x * 4 + 1] = char(v);
          r[x * 4 + 2] = char(v);
        }
      }
      return r;
    };
    auto maskOf = [&](int y) {
      std::string r(static_cast<size_t>(mb), '\0');
      if (y == 0) r[0] = char(0x80);
      return r;
    };
    for (int i = 0; i < im.h; ++i) img += rowOf(im.bottomUp ? im.h - 1 - i : i);
    for (int i = 0; i < im.h; ++i) img += maskOf(im.bottomUp ? im.h - 1 - i : i);
    std::string e;
    e += char(im.w);
    e += char(im.h);
    e += std::string(2, '\0');
    le16(e, 1);
    le16(e, im.bits);
    le32(e, static_cast<uint32_t>(img.size()));
    le32(e, base + static_cast<uint32_t>(data.size()));
    dir += e;
    data += img;
  }
  return dir + data;
}

}  // namespace

TEST(LoadIconFromIcoStream, ChoosesAndDecodesTheImageKeepingItsOrientation) {
  TMemoryStream m = StreamOf(MakeIco({{4, 4, 32, false}, {8, 8, 8, true}, {16, 16, 32, true}}));
  auto icon = LoadIconFromIcoStream(m, 0, 0, 8);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width, 8);
  EXPECT_EQ(icon->Pixels[0], 0u);  // masked
  EXPECT_EQ(icon->Pixels[1], 0xFF010101u);
  EXPECT_EQ(icon->Pixels[8 * 3 + 2], 0xFF080808u);  // row 3 stays row 3
  icon = LoadIconFromIcoStream(m, 12, 12, 32);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width, 12);  // the 16x16 image, resized
  EXPECT_EQ(icon->Height, 12);
  icon = LoadIconFromIcoStream(m, 4, 4, 32);
  EXPECT_EQ(icon->Pixels[4 * 1 + 3], 0xFF050505u);
}

TEST(LoadIconFromIcoStream, TakesTheColourTableFromAfterTheDeclaredHeader) {
  for (uint32_t size : {40u, 108u, 124u}) {
    TMemoryStream m = StreamOf(MakeIco({{8, 8, 8, true, size}}));
    auto icon = LoadIconFromIcoStream(m, 0, 0, 8);
    ASSERT_NE(icon, nullptr) << size;
    EXPECT_EQ(icon->Pixels[1], 0xFF010101u) << size;
    EXPECT_EQ(icon->Pixels[8 * 3 + 2], 0xFF080808u) << size;
  }
  // A header shorter than the fixed part, or longer than the image holds.
  for (uint32_t size : {12u, 0x7FFFFFF0u}) {
    std::string ico = MakeIco({{8, 8, 8, true}});
    ico[22] = char(size & 0xFF);
    ico[23] = char((size >> 8) & 0xFF);
    ico[24] = char((size >> 16) & 0xFF);
    ico[25] = char(size >> 24);
    TMemoryStream m = StreamOf(ico);
    EXPECT_THROW(LoadIconFromIcoStream(m, 0, 0, 8), EReadError) << size;
  }
}

TEST(LoadIconFromIcoStream, RejectsDamagedData) {
  const std::string good = MakeIco({{8, 8, 8, true}});
  TMemoryStream notIcon = StreamOf(std::string("\0\0\3\0\1\0", 6));
  EXPECT_EQ(LoadIconFromIcoStream(notIcon, 0, 0, 32), nullptr);
  TMemoryStream empty = StreamOf(std::string("\0\0\1\0\0\0", 6));
  EXPECT_EQ(LoadIconFromIcoStream(empty, 0, 0, 32), nullptr);
  for (size_t cut : {size_t(4), size_t(20), size_t(40), good.size() - 1}) {
    TMemoryStream m = StreamOf(good.substr(0, cut));
    EXPECT_THROW(LoadIconFromIcoStream(m, 0, 0, 32), EReadError) << cut;
  }
  std::string huge = good;
  huge[22 + 4 + 2] = 0x7F;  // biWidth far too large
  TMemoryStream h = StreamOf(huge);
  EXPECT_THROW(LoadIconFromIcoStream(h, 0, 0, 32), EReadError);
}

TEST(LoadIconFromLocation, LoadsIconFilesAndGivesNullForAnythingElse) {
  const fs::path dir = fs::temp_directory_path() / ("kv_icons_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "app.ico", std::ios::binary) << MakeIco({{8, 8, 8, true}});
  std::ofstream(dir / "pic.png", std::ios::binary) << PngHeader(8, 8, 8, 6, false);
  setenv("KV_TEST_ICONS", dir.c_str(), 1);
  auto icon = LoadIconFromLocation("%KV_TEST_ICONS%/app.ico", 16, 16, 32);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width, 16);
  EXPECT_NE(LoadIconFromLocation((dir / "app.ico").string() + " , -3", 0, 0, 32), nullptr);
  EXPECT_EQ(LoadIconFromLocation("", 16, 16, 32), nullptr);
  EXPECT_EQ(LoadIconFromLocation((dir / "missing.ico").string(), 16, 16, 32), nullptr);
  EXPECT_EQ(LoadIconFromLocation((dir / "pic.png").string(), 16, 16, 32), nullptr);
  EXPECT_EQ(LoadIconFromLocation("%SystemRoot%\\System32\\shell32.dll,-16802", 32, 32, 32), nullptr);
  fs::remove_all(dir);
}

TEST(ResizeIcon, CopiesAtTheSameSizeAndResizesOtherwise) {
  TnoxIcon icon;
  icon.Width = 2;
  icon.Height = 2;
  icon.Pixels = {1, 2, 3, 4};
  EXPECT_EQ(ResizeIcon(icon, 2, 2).Pixels, icon.Pixels);
  const TnoxIcon tall = ResizeIcon(icon, 2, 3);
  EXPECT_EQ(tall.Height, 3);
  EXPECT_EQ(tall.Pixels, (std::vector<uint32_t>{1, 2, 1, 2, 3, 4}));
}
