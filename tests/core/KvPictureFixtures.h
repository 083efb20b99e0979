// Small picture files made in memory by the tests, with the same libraries
// that read them (and a BMP writer by hand).
#pragma once

#include <gif_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace fixtures {

inline void PutLE16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void PutLE32(std::string& s, uint32_t v) {
  PutLE16(s, v & 0xFFFF);
  PutLE16(s, v >> 16);
}

// A BMP with a 40-byte header. ARows are the stored rows (already padded) in
// file order; ATable entries are $00RRGGBB.
inline std::string MakeBMP(int32_t AWidth, int32_t AHeight, int ABits, const std::vector<uint32_t>& ATable,
                           const std::string& APixelData, uint32_t ACompression = 0, uint32_t AClrUsed = 0,
                           const std::vector<uint32_t>& AMasks = {}) {
  std::string s = "BM";
  const uint32_t off = 14 + 40 + static_cast<uint32_t>(AMasks.size() * 4 + ATable.size() * 4);
  PutLE32(s, off + static_cast<uint32_t>(APixelData.size()));
  PutLE32(s, 0);
  PutLE32(s, off);
  PutLE32(s, 40);
  PutLE32(s, static_cast<uint32_t>(AWidth));
  PutLE32(s, static_cast<uint32_t>(AHeight));
  PutLE16(s, 1);
  PutLE16(s, static_cast<uint32_t>(ABits));
  PutLE32(s, ACompression);
  PutLE32(s, static_cast<uint32_t>(APixelData.size()));
  PutLE32(s, 0);
  PutLE32(s, 0);
  PutLE32(s, AClrUsed);
  PutLE32(s, 0);
  for (uint32_t m : AMasks) PutLE32(s, m);
  for (uint32_t c : ATable) PutLE32(s, c);
  return s + APixelData;
}

inline void PngWrite(png_structp p, png_bytep d, size_t n) {
  static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(d), n);
}
inline void PngFlush(png_structp) {}

// A PNG of the given colour type and depth; ARows holds the packed rows as
// libpng expects them (16-bit samples big-endian).
inline std::string MakePNG(int AWidth, int AHeight, int AColorType, int ADepth, const std::string& ARows,
                           const std::vector<uint32_t>& APalette = {}, bool AInterlace = false) {
  std::string out;
  png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(p);
  if (setjmp(png_jmpbuf(p))) {
    png_destroy_write_struct(&p, &info);
    throw std::runtime_error("png write failed");
  }
  png_set_write_fn(p, &out, PngWrite, PngFlush);
  png_set_IHDR(p, info, static_cast<png_uint_32>(AWidth), static_cast<png_uint_32>(AHeight), ADepth, AColorType,
               AInterlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> plte;
  for (uint32_t c : APalette)
    plte.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
  if (!plte.empty()) png_set_PLTE(p, info, plte.data(), static_cast<int>(plte.size()));
  png_write_info(p, info);
  const size_t rowBytes = ARows.size() / static_cast<size_t>(AHeight);
  std::vector<png_bytep> rows;
  for (int y = 0; y < AHeight; ++y)
    rows.push_back(reinterpret_cast<png_bytep>(const_cast<char*>(ARows.data())) + rowBytes * y);
  png_write_image(p, rows.data());
  png_write_end(p, nullptr);
  png_destroy_write_struct(&p, &info);
  return out;
}

inline int GifWrite(GifFileType* g, const GifByteType* d, int n) {
  static_cast<std::string*>(g->UserData)->append(reinterpret_cast<const char*>(d), static_cast<size_t>(n));
  return n;
}

// A GIF89a with one picture of AWidth x AHeight at (ALeft, ATop) on a screen
// of AScreenW x AScreenH, with a global map (ALocal false) or a local one.
inline std::string MakeGIF(int AScreenW, int AScreenH, int ALeft, int ATop, int AWidth, int AHeight,
                           const std::vector<uint32_t>& AColors, const std::vector<uint8_t>& APixels,
                           bool AInterlace = false, bool ALocal = false, int ABackground = 0) {
  std::string out;
  int err = 0;
  GifFileType* g = EGifOpen(&out, GifWrite, &err);
  EGifSetGifVersion(g, true);
  std::vector<GifColorType> cols;
  for (uint32_t c : AColors)
    cols.push_back(GifColorType{static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                                static_cast<GifByteType>(c)});
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(cols.size()), cols.data());
  EGifPutScreenDesc(g, AScreenW, AScreenH, 8, ABackground, ALocal ? nullptr : map);
  const uint8_t gce[4] = {0, 0, 0, 0};
  EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce);
  EGifPutImageDesc(g, ALeft, ATop, AWidth, AHeight, AInterlace, ALocal ? map : nullptr);
  std::vector<GifPixelType> line(static_cast<size_t>(AWidth));
  std::vector<int> order;
  if (AInterlace) {
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = start[p]; y < AHeight; y += step[p]) order.push_back(y);
  } else {
    for (int y = 0; y < AHeight; ++y) order.push_back(y);
  }
  for (int y : order) {
    std::memcpy(line.data(), APixels.data() + static_cast<size_t>(y) * AWidth, static_cast<size_t>(AWidth));
    EGifPutLine(g, line.data(), AWidth);
  }
  EGifCloseFile(g, &err);
  GifFreeMapObject(map);
  return out;
}

// A baseline JPEG of RGB (3 bytes per pixel) or gray samples.
inline std::string MakeJPEG(int AWidth, int AHeight, const std::vector<uint8_t>& ASamples, bool AGray = false,
                            int AQuality = 100, bool AProgressive = false) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = static_cast<JDIMENSION>(AWidth);
  c.image_height = static_cast<JDIMENSION>(AHeight);
  c.input_components = AGray ? 1 : 3;
  c.in_color_space = AGray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, AQuality, TRUE);
  if (AProgressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  const int comps = AGray ? 1 : 3;
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(ASamples.data() + static_cast<size_t>(c.next_scanline) * AWidth * comps);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::string out(reinterpret_cast<const char*>(mem), size);
  jpeg_destroy_compress(&c);
  std::free(mem);
  return out;
}

}  // namespace fixtures
