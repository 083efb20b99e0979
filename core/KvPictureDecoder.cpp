#include "core/KvPictureDecoder.h"

#include "bitmap/B32.h"
#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "rtl/KvClasses.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <istream>
#include <limits>
#include <new>
#include <unordered_map>

// jpeglib.h needs the standard types declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace {

[[noreturn]] void RaiseReadError() { throw EReadError("Stream read error"); }

bool PictureTooLarge(int64_t AWidth, int64_t AHeight) {
  return AWidth > KvMaxPictureSide || AHeight > KvMaxPictureSide || AWidth * AHeight > KvMaxPicturePixels;
}

// Names the declared size and the limits, so the user sees why a picture
// that may well be valid is refused.
[[noreturn]] void RaiseTooLarge(int64_t AWidth, int64_t AHeight) {
  throw EInvalidGraphic("Image is too large: " + std::to_string(AWidth) + " x " + std::to_string(AHeight) +
                        " pixels; at most " + std::to_string(KvMaxPicturePixels) + " pixels and " +
                        std::to_string(KvMaxPictureSide) + " on a side can be opened");
}

// Checks a picture size before anything is allocated for it.
void CheckPictureSize(int64_t AWidth, int64_t AHeight, const char* AInvalid) {
  if (AWidth <= 0 || AHeight <= 0) throw EInvalidGraphic(AInvalid);
  if (PictureTooLarge(AWidth, AHeight)) RaiseTooLarge(AWidth, AHeight);
}

void AllocatePixels(TKvSourceImage& AImage, int ABitCount) {
  AImage.BitCount = ABitCount;
  const int bits = ABitCount == 0 ? 32 : ABitCount;
  AImage.Stride = static_cast<int>((static_cast<int64_t>(AImage.Width) * bits + 7) / 8);
  try {
    AImage.Pixels.assign(static_cast<size_t>(AImage.Stride) * static_cast<size_t>(AImage.Height), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

// ---------------------------------------------------------------------------
// BMP

const char* const SInvalidBitmap = "Bitmap image is not valid";

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(SInvalidBitmap); }

// One channel of a bit-field pixel, scaled to 8 bits: narrower fields repeat
// their bits, wider ones keep their top 8 bits.
struct TBitField {
  uint32_t Mask = 0;
  int Shift = 0;
  int Width = 0;

  explicit TBitField(uint32_t AMask) : Mask(AMask) {
    if (AMask == 0) return;
    while (((AMask >> Shift) & 1) == 0) ++Shift;
    while (Shift + Width < 32 && ((AMask >> (Shift + Width)) & 1) != 0) ++Width;
  }

  uint8_t Get(uint32_t APixel) const {
    if (Width == 0) return 0;
    uint32_t v = (APixel & Mask) >> Shift;
    if (Width >= 8) return static_cast<uint8_t>(v >> (Width - 8));
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
      out = (out << Width) | v;
      filled += Width;
    }
    return static_cast<uint8_t>(out >> (filled - 8));
  }
};

// Run-length encoded rows (8 or 4 bits) into AImage, whose rows are top-down
// while the file's are bottom-up. Pixels outside the picture are dropped
// without visiting them one by one: a file of long runs and no line ends
// would otherwise cost billions of steps and carry x past the int range.
// Data that runs out before the end marker and before the last row is a
// file that ends early.
void DecodeBMPRLE(const std::vector<uint8_t>& AData, bool AFourBits, TKvSourceImage& AImage) {
  int64_t x = 0;
  int y = 0;  // y counts rows from the bottom
  size_t i = 0;
  auto put = [&](int AValue) {
    if (x < AImage.Width && y < AImage.Height) {
      uint8_t* row = AImage.Pixels.data() + static_cast<size_t>(AImage.Height - 1 - y) * AImage.Stride;
      if (AFourBits) {
        uint8_t& b = row[x >> 1];
        if (x & 1) b = static_cast<uint8_t>((b & 0xF0) | (AValue & 0x0F));
        else b = static_cast<uint8_t>((b & 0x0F) | ((AValue & 0x0F) << 4));
      } else {
        row[x] = static_cast<uint8_t>(AValue);
      }
    }
    ++x;
  };
  for (;;) {
    if (y >= AImage.Height) return;
    if (i + 1 >= AData.size()) RaiseReadError();
    const int a = AData[i], b = AData[i + 1];
    i += 2;
    if (a > 0) {
      const int visible = static_cast<int>(std::clamp<int64_t>(AImage.Width - x, 0, a));
      for (int k = 0; k < visible; ++k) put(AFourBits ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b);
      x += a - visible;
    } else if (b == 0) {
      x = 0;
      ++y;
    } else if (b == 1) {
      return;
    } else if (b == 2) {
      if (i + 1 >= AData.size()) RaiseReadError();
      x += AData[i];
      y += AData[i + 1];
      i += 2;
    } else {
      const size_t bytes = AFourBits ? (static_cast<size_t>(b) + 1) / 2 : static_cast<size_t>(b);
      if (i + bytes > AData.size()) RaiseReadError();
      const int visible = static_cast<int>(std::clamp<int64_t>(AImage.Width - x, 0, b));
      for (int k = 0; k < visible; ++k) {
        const uint8_t v = AData[i + (AFourBits ? static_cast<size_t>(k) / 2 : static_cast<size_t>(k))];
        put(AFourBits ? ((k & 1) ? (v & 0x0F) : (v >> 4)) : v);
      }
      x += b - visible;
      i += (bytes + 1) & ~size_t(1);  // runs are padded to 16 bits
    }
  }
}

}  // namespace

TKvSourceImage ReadBMPImage(std::istream& AStream) {
  const std::istream::pos_type base = AStream.tellg();
  uint8_t fileHeader[14];
  ReadStreamExact(AStream, fileHeader, 14);
  const TKvBytes fh(fileHeader, 14);
  if (!fh.Same(0, "BM", 2)) InvalidBitmap();
  const uint32_t offBits = fh.Le32(10);
  uint8_t infoHeader[124] = {};
  ReadStreamExact(AStream, infoHeader, 4);
  const TKvBytes ih(infoHeader, sizeof(infoHeader));
  const uint32_t hsize = ih.Le32(0);
  if (hsize != 12 && (hsize < 40 || hsize > 124)) InvalidBitmap();
  ReadStreamExact(AStream, infoHeader + 4, hsize - 4);

  int64_t w, h;
  int planes, bits;
  uint32_t compression = 0, clrUsed = 0;
  if (hsize == 12) {
    w = ih.Le16(4);
    h = ih.Le16(6);
    planes = ih.Le16(8);
    bits = ih.Le16(10);
  } else {
    w = static_cast<int32_t>(ih.Le32(4));
    h = static_cast<int32_t>(ih.Le32(8));
    planes = ih.Le16(12);
    bits = ih.Le16(14);
    compression = ih.Le32(16);
    clrUsed = ih.Le32(32);
  }
  const bool topDown = h < 0;
  if (topDown) h = -h;
  if (planes != 1) InvalidBitmap();
  bool ok;
  switch (compression) {
    case 0: ok = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; break;
    case 1: ok = bits == 8 && !topDown; break;
    case 2: ok = bits == 4 && !topDown; break;
    case 3:
    case 6: ok = bits == 16 || bits == 32; break;
    default: ok = false;
  }
  if (!ok) InvalidBitmap();
  CheckPictureSize(w, h, SInvalidBitmap);

  int64_t headerEnd = 14 + static_cast<int64_t>(hsize);
  uint32_t masks[3] = {0, 0, 0};
  if (compression == 3 || compression == 6) {
    if (hsize >= 52) {
      for (int k = 0; k < 3; ++k) masks[k] = ih.Le32(40 + 4 * k);
    } else {
      uint8_t m[16];
      const int n = compression == 6 ? 16 : 12;
      ReadStreamExact(AStream, m, n);
      for (int k = 0; k < 3; ++k) masks[k] = TKvBytes(m, n).Le32(4 * k);
      headerEnd += n;
    }
  } else if (bits == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bits == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }

  TKvSourceImage img;
  img.Width = static_cast<int>(w);
  img.Height = static_cast<int>(h);

  if (bits <= 8) {
    const int entry = hsize == 12 ? 3 : 4;
    int64_t n = int64_t(1) << bits;
    if (clrUsed != 0 && clrUsed < n) n = clrUsed;
    // Only the entries that lie before the pixels belong to the table.
    if (offBits > headerEnd) n = std::min<int64_t>(n, (offBits - headerEnd) / entry);
    std::vector<uint8_t> table(static_cast<size_t>(n * entry));
    ReadStreamExact(AStream, table.data(), static_cast<int64_t>(table.size()));
    headerEnd += n * entry;
    img.HasColorTable = n > 0;
    img.ColorTable.resize(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) {
      const uint8_t* e = table.data() + k * entry;
      img.ColorTable[static_cast<size_t>(k)] = (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
    }
  }

  // The pixels start at the offset the file header gives, when it is sane.
  if (offBits >= headerEnd && base != std::istream::pos_type(-1)) {
    AStream.seekg(base + static_cast<std::streamoff>(offBits));
    if (!AStream) RaiseReadError();
  }
  const int64_t remaining = StreamRemaining(AStream);

  if (compression == 1 || compression == 2) {
    if (remaining < 0) InvalidBitmap();
    std::vector<uint8_t> data(static_cast<size_t>(remaining));
    ReadStreamExact(AStream, data.data(), remaining);
    AllocatePixels(img, bits);
    DecodeBMPRLE(data, compression == 2, img);
    return img;
  }

  const int64_t fileStride = (w * bits + 31) / 32 * 4;
  if (remaining >= 0 && fileStride * h > remaining) RaiseReadError();
  const bool direct32 = bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF;
  AllocatePixels(img, bits == 16 ? 0 : bits);
  std::vector<uint8_t> row(static_cast<size_t>(fileStride));
  const TKvBytes pixels(row);
  const TBitField fr(masks[0]), fg(masks[1]), fb(masks[2]);
  for (int64_t r = 0; r < h; ++r) {
    ReadStreamExact(AStream, row.data(), fileStride);
    const int64_t y = topDown ? r : h - 1 - r;
    uint8_t* dst = img.Pixels.data() + y * img.Stride;
    if (bits <= 8 || bits == 24 || direct32) {
      std::memcpy(dst, row.data(), static_cast<size_t>(img.Stride));
    } else {
      for (int64_t x = 0; x < w; ++x) {
        const uint32_t px = bits == 16 ? pixels.Le16(2 * x) : pixels.Le32(4 * x);
        dst[4 * x] = fb.Get(px);
        dst[4 * x + 1] = fg.Get(px);
        dst[4 * x + 2] = fr.Get(px);
      }
    }
  }
  return img;
}

// ---------------------------------------------------------------------------
// PNG

namespace {

struct TPngContext {
  std::istream* Stream = nullptr;
  bool Truncated = false;
  bool TooLarge = false;
  int64_t Width = 0;
  int64_t Height = 0;
  char Message[256] = {};
};

void PngReadData(png_structp APng, png_bytep AData, size_t ALength) {
  auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(APng));
  ctx->Stream->read(reinterpret_cast<char*>(AData), static_cast<std::streamsize>(ALength));
  if (ctx->Stream->gcount() != static_cast<std::streamsize>(ALength)) {
    ctx->Truncated = true;
    png_error(APng, "file ends early");
  }
}

void PngError(png_structp APng, png_const_charp AMessage) {
  auto* ctx = static_cast<TPngContext*>(png_get_error_ptr(APng));
  std::snprintf(ctx->Message, sizeof ctx->Message, "%s", AMessage ? AMessage : "");
  png_longjmp(APng, 1);
}

// Warnings (stray chunks, odd gamma) do not stop the picture; they are not
// printed either.
void PngWarning(png_structp, png_const_charp) {}

// Frees the read structures however the reader leaves.
struct TPngGuard {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngGuard() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

void SetGrayTable(TKvSourceImage& AImage, int ACount) {
  AImage.HasColorTable = true;
  AImage.ColorTable.resize(static_cast<size_t>(ACount));
  for (int i = 0; i < ACount; ++i) {
    const uint32_t v = static_cast<uint32_t>(i * 255 / (ACount - 1));
    AImage.ColorTable[static_cast<size_t>(i)] = (v << 16) | (v << 8) | v;
  }
}

// Sizes the buffers after the header was read. A C++ exception from here
// leaves through our own frames only.
void PreparePng(TKvSourceImage& AImage, std::vector<uint8_t>& ARaw, std::vector<png_bytep>& ARows, int ABitCount,
                size_t ARowBytes) {
  AllocatePixels(AImage, ABitCount);
  try {
    ARaw.assign(ARowBytes * static_cast<size_t>(AImage.Height), 0);
    ARows.resize(static_cast<size_t>(AImage.Height));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
  for (int y = 0; y < AImage.Height; ++y) ARows[static_cast<size_t>(y)] = ARaw.data() + ARowBytes * y;
}

// Returns 0, or 1 when libpng raised an error (message in the context).
int ReadPngInto(TPngContext& ACtx, TKvSourceImage& AImage, std::vector<uint8_t>& ARaw,
                std::vector<png_bytep>& ARows, int& ADepth) {
  TPngGuard g;
  g.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ACtx, PngError, PngWarning);
  if (!g.Png) throw EOutOfMemory("Out of memory");
  g.Info = png_create_info_struct(g.Png);
  if (!g.Info) throw EOutOfMemory("Out of memory");
  if (setjmp(png_jmpbuf(g.Png))) return 1;
  png_set_read_fn(g.Png, &ACtx, PngReadData);
  // The size limits are ours, checked right after the header, so that the
  // refusal can name the declared size.
  png_set_user_limits(g.Png, 0x7fffffff, 0x7fffffff);
  png_read_info(g.Png, g.Info);
  const png_uint_32 w = png_get_image_width(g.Png, g.Info);
  const png_uint_32 h = png_get_image_height(g.Png, g.Info);
  if (PictureTooLarge(w, h)) {
    ACtx.TooLarge = true;
    ACtx.Width = w;
    ACtx.Height = h;
    png_error(g.Png, "too large");
  }
  const int colorType = png_get_color_type(g.Png, g.Info);
  const int depth = png_get_bit_depth(g.Png, g.Info);
  ADepth = depth;
  AImage.Width = static_cast<int>(w);
  AImage.Height = static_cast<int>(h);
  int bitCount;
  switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
      bitCount = depth == 1 ? 1 : depth == 8 ? 8 : 4;
      png_colorp plte = nullptr;
      int n = 0;
      if (png_get_PLTE(g.Png, g.Info, &plte, &n) && n > 0) {
        AImage.HasColorTable = true;
        AImage.ColorTable.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
          AImage.ColorTable[static_cast<size_t>(i)] =
              (uint32_t(plte[i].red) << 16) | (uint32_t(plte[i].green) << 8) | plte[i].blue;
      }
      break;
    }
    case PNG_COLOR_TYPE_GRAY:
      bitCount = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
      SetGrayTable(AImage, depth == 1 ? 2 : depth == 2 ? 4 : depth == 4 ? 16 : 256);
      if (depth == 16) png_set_strip_16(g.Png);
      break;
    case PNG_COLOR_TYPE_RGB:
      bitCount = 24;
      png_set_strip_16(g.Png);
      png_set_bgr(g.Png);
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      bitCount = 32;
      png_set_strip_16(g.Png);
      png_set_gray_to_rgb(g.Png);
      png_set_bgr(g.Png);
      break;
    default:  // RGB + alpha
      bitCount = 32;
      png_set_strip_16(g.Png);
      png_set_bgr(g.Png);
      break;
  }
  png_set_interlace_handling(g.Png);
  png_read_update_info(g.Png, g.Info);
  const size_t rowBytes = png_get_rowbytes(g.Png, g.Info);
  // Deflate packs at most about 1032 bytes into one, so a file too short for
  // its picture is refused before the rows are allocated.
  const int64_t remaining = StreamRemaining(*ACtx.Stream);
  if (remaining >= 0 && (static_cast<int64_t>(rowBytes) + 1) * h > (remaining + 1024) * 1100) {
    ACtx.Truncated = true;
    png_error(g.Png, "file ends early");
  }
  PreparePng(AImage, ARaw, ARows, bitCount, rowBytes);
  png_read_image(g.Png, ARows.data());
  png_read_end(g.Png, nullptr);
  return 0;
}

}  // namespace

TKvSourceImage ReadPNGImage(std::istream& AStream) {
  TKvSourceImage img;
  std::vector<uint8_t> raw;
  std::vector<png_bytep> rows;
  TPngContext ctx;
  ctx.Stream = &AStream;
  int depth = 0;
  if (ReadPngInto(ctx, img, raw, rows, depth) != 0) {
    if (ctx.Truncated) RaiseReadError();
    if (ctx.TooLarge) RaiseTooLarge(ctx.Width, ctx.Height);
    throw EInvalidGraphic(std::string("PNG image is not valid: ") + ctx.Message);
  }
  const size_t rowBytes = img.Height > 0 ? raw.size() / static_cast<size_t>(img.Height) : 0;
  for (int y = 0; y < img.Height; ++y) {
    const uint8_t* src = raw.data() + rowBytes * y;
    uint8_t* dst = img.Pixels.data() + static_cast<size_t>(img.Stride) * y;
    if (depth == 2 && img.BitCount == 4) {
      // Four 2-bit values per byte become two bytes of nibbles.
      for (int x = 0; x < img.Width; ++x) {
        const int v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        if (x & 1) dst[x >> 1] |= static_cast<uint8_t>(v);
        else dst[x >> 1] = static_cast<uint8_t>(v << 4);
      }
    } else {
      std::memcpy(dst, src, std::min(rowBytes, static_cast<size_t>(img.Stride)));
    }
  }
  return img;
}

// ---------------------------------------------------------------------------
// GIF

namespace {

struct TGifReader {
  std::istream* Stream;
  bool Truncated = false;
};

int GifReadData(GifFileType* AGif, GifByteType* ABuffer, int ALength) {
  auto* r = static_cast<TGifReader*>(AGif->UserData);
  r->Stream->read(reinterpret_cast<char*>(ABuffer), ALength);
  const int got = static_cast<int>(r->Stream->gcount());
  if (got < ALength) r->Truncated = true;
  return got;
}

struct TGifGuard {
  GifFileType* Gif = nullptr;
  ~TGifGuard() {
    if (Gif) {
      int err = 0;
      DGifCloseFile(Gif, &err);
    }
  }
};

[[noreturn]] void GifFailed(const TGifReader& AReader) {
  if (AReader.Truncated) RaiseReadError();
  throw EInvalidGraphic("GIF image is not valid");
}

}  // namespace

TKvSourceImage ReadGIFImage(std::istream& AStream) {
  TGifReader reader{&AStream};
  TGifGuard g;
  int err = 0;
  g.Gif = DGifOpen(&reader, GifReadData, &err);
  if (!g.Gif) GifFailed(reader);
  GifFileType* gif = g.Gif;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) GifFailed(reader);
    if (type == TERMINATE_RECORD_TYPE) throw EInvalidGraphic("GIF image is not valid");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) GifFailed(reader);
      while (ext != nullptr)
        if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) GifFailed(reader);
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) GifFailed(reader);
    break;
  }
  const GifImageDesc& d = gif->Image;
  const int64_t fw = d.Width, fh = d.Height;
  CheckPictureSize(fw, fh, "GIF image is not valid");
  const int64_t cw = gif->SWidth > 0 ? gif->SWidth : d.Left + fw;
  const int64_t ch = gif->SHeight > 0 ? gif->SHeight : d.Top + fh;
  CheckPictureSize(cw, ch, "GIF image is not valid");

  TKvSourceImage img;
  img.Width = static_cast<int>(cw);
  img.Height = static_cast<int>(ch);
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  if (map != nullptr && map->ColorCount > 0) {
    img.HasColorTable = true;
    img.ColorTable.resize(static_cast<size_t>(map->ColorCount));
    for (int i = 0; i < map->ColorCount; ++i)
      img.ColorTable[static_cast<size_t>(i)] = (uint32_t(map->Colors[i].Red) << 16) |
                                               (uint32_t(map->Colors[i].Green) << 8) | map->Colors[i].Blue;
  }
  AllocatePixels(img, 8);
  const int bg = map != nullptr && gif->SBackGroundColor < map->ColorCount ? gif->SBackGroundColor : 0;
  std::memset(img.Pixels.data(), bg, img.Pixels.size());

  std::vector<GifPixelType> line(static_cast<size_t>(fw));
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = d.Interlace ? 4 : 1;
  for (int p = 0; p < passes; ++p) {
    const int start = d.Interlace ? kStart[p] : 0, step = d.Interlace ? kStep[p] : 1;
    for (int64_t r = start; r < fh; r += step) {
      if (DGifGetLine(gif, line.data(), static_cast<int>(fw)) == GIF_ERROR) GifFailed(reader);
      const int64_t y = d.Top + r;
      if (y >= ch) continue;
      uint8_t* dst = img.Pixels.data() + y * img.Stride;
      for (int64_t x = 0; x < fw; ++x)
        if (d.Left + x < cw) dst[d.Left + x] = line[static_cast<size_t>(x)];
    }
  }
  return img;
}

// ---------------------------------------------------------------------------
// JPEG

namespace {

struct TJpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  bool Truncated = false;
  char Message[JMSG_LENGTH_MAX] = {};
};

// Real encoders write a few dozen scans at most. Each scan walks every block
// of the picture again, so a small file of thousands of nearly empty scans
// over a large picture would keep the decoder busy for minutes.
constexpr int KvMaxJpegScans = 100;

struct TJpegProgress {
  jpeg_progress_mgr Mgr;
  TJpegError* Error;
};

void JpegProgress(j_common_ptr AInfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(AInfo);
  if (d->input_scan_number <= KvMaxJpegScans) return;
  auto* e = reinterpret_cast<TJpegProgress*>(AInfo->progress)->Error;
  std::snprintf(e->Message, sizeof e->Message, "more than %d scans", KvMaxJpegScans);
  std::longjmp(e->Jump, 1);
}

void JpegErrorExit(j_common_ptr AInfo) {
  auto* e = reinterpret_cast<TJpegError*>(AInfo->err);
  (*AInfo->err->format_message)(AInfo, e->Message);
  std::longjmp(e->Jump, 1);
}

void JpegMessage(j_common_ptr AInfo, int ALevel) {
  auto* e = reinterpret_cast<TJpegError*>(AInfo->err);
  // The data ran out before the picture was complete.
  if (ALevel < 0 && AInfo->err->msg_code == JWRN_JPEG_EOF) e->Truncated = true;
}

struct TJpegGuard {
  // Set after the jump point, so it must survive a jump back.
  jpeg_decompress_struct* volatile Info = nullptr;
  ~TJpegGuard() {
    if (Info) jpeg_destroy_decompress(Info);
  }
};

void PrepareJpeg(TKvSourceImage& AImage, std::vector<uint8_t>& ARow, size_t ARowBytes) {
  AllocatePixels(AImage, 24);
  try {
    ARow.assign(ARowBytes, 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

// 0 on success, 1 on a library error, 2 when the picture is too large, 3 when
// the data is too short for it.
int ReadJpegInto(const std::vector<uint8_t>& AData, TJpegError& AErr, TKvSourceImage& AImage,
                 std::vector<uint8_t>& ARow) {
  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&AErr.Mgr);
  AErr.Mgr.error_exit = JpegErrorExit;
  AErr.Mgr.emit_message = JpegMessage;
  TJpegGuard g;
  if (setjmp(AErr.Jump)) return 1;
  jpeg_create_decompress(&info);
  g.Info = &info;
  TJpegProgress progress{};
  progress.Mgr.progress_monitor = JpegProgress;
  progress.Error = &AErr;
  info.progress = &progress.Mgr;
  jpeg_mem_src(&info, AData.data(), static_cast<unsigned long>(AData.size()));
  jpeg_read_header(&info, TRUE);
  if (info.image_width == 0 || info.image_height == 0) return 1;
  if (PictureTooLarge(info.image_width, info.image_height)) {
    AImage.Width = static_cast<int>(info.image_width);
    AImage.Height = static_cast<int>(info.image_height);
    return 2;
  }
  // Every 8 x 8 block costs at least one bit, so a file too short for its
  // picture is refused before the pixels are allocated.
  if (static_cast<int64_t>(info.image_width) * info.image_height >
      (static_cast<int64_t>(AData.size()) + 1024) * 512) {
    AErr.Truncated = true;
    return 3;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  AImage.Width = static_cast<int>(info.output_width);
  AImage.Height = static_cast<int>(info.output_height);
  const int comps = info.output_components;
  PrepareJpeg(AImage, ARow, static_cast<size_t>(AImage.Width) * comps);
  const bool inverted = info.saw_Adobe_marker;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {ARow.data()};
    const JDIMENSION y = info.output_scanline;
    if (jpeg_read_scanlines(&info, rows, 1) != 1) return 1;
    uint8_t* dst = AImage.Pixels.data() + static_cast<size_t>(AImage.Stride) * y;
    for (int x = 0; x < AImage.Width; ++x) {
      const uint8_t* s = ARow.data() + static_cast<size_t>(x) * comps;
      if (cmyk) {
        int c = s[0], m = s[1], yl = s[2], k = s[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yl = 255 - yl;
          k = 255 - k;
        }
        dst[3 * x] = static_cast<uint8_t>(yl * k / 255);
        dst[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
        dst[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
      } else {
        dst[3 * x] = s[2];
        dst[3 * x + 1] = s[1];
        dst[3 * x + 2] = s[0];
      }
    }
  }
  jpeg_finish_decompress(&info);
  return 0;
}

}  // namespace

TKvSourceImage ReadJPEGImage(std::istream& AStream) {
  // The compressed data is read whole; its size is that of the file.
  std::vector<uint8_t> data;
  const int64_t remaining = StreamRemaining(AStream);
  if (remaining >= 0) {
    data.resize(static_cast<size_t>(remaining));
    ReadStreamExact(AStream, data.data(), remaining);
  } else {
    char buf[65536];
    while (AStream.read(buf, sizeof buf) || AStream.gcount() > 0)
      data.insert(data.end(), buf, buf + AStream.gcount());
  }
  TKvSourceImage img;
  std::vector<uint8_t> row;
  TJpegError err;
  const int rc = ReadJpegInto(data, err, img, row);
  if (rc == 2) RaiseTooLarge(img.Width, img.Height);
  // Data that ran out is a file that ends early, also when the library then
  // stumbles over the end marker it puts in place of the missing bytes.
  if (err.Truncated) RaiseReadError();
  if (rc != 0) throw EInvalidGraphic(std::string("JPEG image is not valid: ") + err.Message);
  return img;
}

// ---------------------------------------------------------------------------
// Decoding into a bitmap and palettes

namespace {

// Collects distinct colours into a palette exactly as AddUniqueRGB would
// (first appearance order, UseCount of each entry = occurrences - 1), with a
// hash look-up in place of the linear scan. A palette that overflows is
// dropped.
class TDistinctColors {
public:
  explicit TDistinctColors(bool AActive) {
    if (AActive) FPalette = std::make_unique<TKvPalette256>();
  }
  bool Active() const { return FPalette != nullptr; }
  void Add(uint32_t ARGB) {
    if (!FPalette) return;
    if (FHasLast && ARGB == FLast) {
      ++FPalette->Colors[FLastIndex].UseCount;
      return;
    }
    const auto it = FIndex.find(ARGB);
    int index;
    if (it != FIndex.end()) {
      index = it->second;
      ++FPalette->Colors[index].UseCount;
    } else {
      try {
        index = FPalette->AddRGB(static_cast<uint8_t>(ARGB >> 16), static_cast<uint8_t>(ARGB >> 8),
                                 static_cast<uint8_t>(ARGB));
      } catch (const ETooManyColors&) {
        FPalette.reset();
        FIndex.clear();
        return;
      }
      FIndex.emplace(ARGB, index);
    }
    FHasLast = true;
    FLast = ARGB;
    FLastIndex = index;
  }
  std::unique_ptr<TKvPalette256> Take() { return std::move(FPalette); }

private:
  std::unique_ptr<TKvPalette256> FPalette;
  std::unordered_map<uint32_t, int> FIndex;
  bool FHasLast = false;
  uint32_t FLast = 0;
  int FLastIndex = 0;
};

std::unique_ptr<TBitmap32> NewBitmap32(int AWidth, int AHeight) {
  auto bmp = std::make_unique<TBitmap32>();
  bmp->SetSize(AWidth, AHeight);
  return bmp;
}

// The colour table as a palette: 1 to 256 entries, else "Invalid palette".
std::unique_ptr<TKvPalette256> TableToPalette(const TKvSourceImage& AImage) {
  if (!AImage.HasColorTable || AImage.ColorTable.empty() || AImage.ColorTable.size() > 256) RaiseInvalidPalette();
  auto table = std::make_unique<TKvPalette256>();
  table->BeginUpdate();
  for (uint32_t c : AImage.ColorTable)
    table->AddRGB(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c));
  table->EndUpdate();
  return table;
}

int IndexAt(const uint8_t* ARow, int ABitCount, int X) {
  switch (ABitCount) {
    case 1: return (ARow[X >> 3] >> (7 - (X & 7))) & 1;
    case 4: return (X & 1) ? (ARow[X >> 1] & 0x0F) : (ARow[X >> 1] >> 4);
    default: return ARow[X];
  }
}

}  // namespace

void DecodeBitmap(const TKvSourceImage& AImage, std::unique_ptr<TBitmap32>& ABitmap32,
                  std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                  uint8_t AOptions) {
  ABitmap32.reset();
  APalette.reset();
  AUsedColors.reset();
  if (AOptions == 0) return;
  const bool wantBitmap = (AOptions & kvdoBitmap) != 0;
  const bool wantPalette = (AOptions & kvdoPalette) != 0;
  const bool wantUsed = (AOptions & kvdoUsedColors) != 0;
  const int w = AImage.Width, h = AImage.Height;
  std::unique_ptr<TBitmap32> bmp;
  std::unique_ptr<TKvPalette256> palette, used;

  switch (AImage.BitCount) {
    case 1:
    case 4:
    case 8: {
      std::unique_ptr<TKvPalette256> table = TableToPalette(AImage);
      const int count = table->Count;
      // Every table entry in 32-bit form; indexes beyond the table are black
      // and not counted (for 1 bit too: entry 1 may be missing).
      std::vector<uint32_t> quads(256, 0);
      for (int i = 0; i < count; ++i) quads[static_cast<size_t>(i)] = table->GetRGBQuad(i);
      if (wantBitmap) bmp = NewBitmap32(w, h);
      TDistinctColors distinct(wantUsed && AImage.BitCount != 1);
      if (wantUsed && AImage.BitCount == 1) {
        used = std::make_unique<TKvPalette256>();
        used->Assign(table.get());
        used->FileName.clear();
        used->Name.clear();
      }
      if (bmp || distinct.Active())
        for (int y = 0; y < h; ++y) {
          const uint8_t* row = AImage.Pixels.data() + static_cast<size_t>(AImage.Stride) * y;
          TColor32* dst = bmp ? bmp->GetScanLine(y) : nullptr;
          for (int x = 0; x < w; ++x) {
            const int index = IndexAt(row, AImage.BitCount, x);
            if (dst) dst[x] = quads[static_cast<size_t>(index)];
            if (index < count) distinct.Add(quads[static_cast<size_t>(index)]);
          }
        }
      if (distinct.Active()) used = distinct.Take();
      if (wantPalette) palette = std::move(table);
      break;
    }
    case 24:
    case 32: {
      if (wantBitmap) bmp = NewBitmap32(w, h);
      TDistinctColors pal(wantPalette), use(wantUsed);
      const int step = AImage.BitCount / 8;
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = AImage.Pixels.data() + static_cast<size_t>(AImage.Stride) * y;
        TColor32* dst = bmp ? bmp->GetScanLine(y) : nullptr;
        if (!dst && !pal.Active() && !use.Active()) break;
        for (int x = 0; x < w; ++x) {
          const uint8_t* p = row + static_cast<size_t>(x) * step;
          const uint32_t c = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
          if (dst) dst[x] = c;
          pal.Add(c);
          use.Add(c);
        }
      }
      palette = pal.Take();
      used = use.Take();
      break;
    }
    default: {
      // Any other pixel format: the bitmap is always made, and the palettes
      // come from its pixels.
      bmp = NewBitmap32(w, h);
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = AImage.Pixels.data() + static_cast<size_t>(AImage.Stride) * y;
        TColor32* dst = bmp->GetScanLine(y);
        for (int x = 0; x < w; ++x)
          dst[x] = (uint32_t(row[4 * x + 2]) << 16) | (uint32_t(row[4 * x + 1]) << 8) | row[4 * x];
      }
      TDistinctColors pal(wantPalette), use(wantUsed);
      for (int y = 0; y < h && (pal.Active() || use.Active()); ++y) {
        const TColor32* src = bmp->GetScanLine(y);
        for (int x = 0; x < w; ++x) {
          pal.Add(src[x] & 0xFFFFFF);
          use.Add(src[x] & 0xFFFFFF);
        }
      }
      palette = pal.Take();
      used = use.Take();
      if (!wantBitmap) bmp.reset();
      break;
    }
  }
  if (bmp) bmp->ResetAlpha();
  ABitmap32 = std::move(bmp);
  APalette = std::move(palette);
  AUsedColors = std::move(used);
}

namespace {

// Reads with AReader and decodes; the outputs are nil while the reader runs
// and stay nil when it fails.
void ReadAndDecode(TKvSourceImage (*AReader)(std::istream&), std::istream& AStream,
                   std::unique_ptr<TBitmap32>& ABitmap32, std::unique_ptr<TKvPalette256>& APalette,
                   std::unique_ptr<TKvPalette256>& AUsedColors, uint8_t AOptions) {
  ABitmap32.reset();
  APalette.reset();
  AUsedColors.reset();
  DecodeBitmap(AReader(AStream), ABitmap32, APalette, AUsedColors, AOptions);
}

}  // namespace

void DecodeBMPImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions) {
  ReadAndDecode(ReadBMPImage, AStream, ABitmap32, APalette, AUsedColors, AOptions);
}

void DecodePNGImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions) {
  ReadAndDecode(ReadPNGImage, AStream, ABitmap32, APalette, AUsedColors, AOptions);
}

void DecodeGIFImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions) {
  ReadAndDecode(ReadGIFImage, AStream, ABitmap32, APalette, AUsedColors, AOptions);
}

std::unique_ptr<TBitmap32> DecodeJPEGImage(std::istream& AStream) {
  const TKvSourceImage img = ReadJPEGImage(AStream);
  auto bmp = NewBitmap32(img.Width, img.Height);
  for (int y = 0; y < img.Height; ++y) {
    const uint8_t* row = img.Pixels.data() + static_cast<size_t>(img.Stride) * y;
    TColor32* dst = bmp->GetScanLine(y);
    for (int x = 0; x < img.Width; ++x)
      dst[x] = 0xFF000000u | (uint32_t(row[3 * x + 2]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x];
  }
  return bmp;
}

void DecodePicture(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                   std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                   uint8_t AOptions) {
  ABitmap32.reset();
  APalette.reset();
  AUsedColors.reset();
  switch (DetectFileType(AStream)) {
    case kvftBMP: DecodeBMPImage(AStream, ABitmap32, APalette, AUsedColors, AOptions); return;
    case kvftPNG: DecodePNGImage(AStream, ABitmap32, APalette, AUsedColors, AOptions); return;
    case kvftGIF: DecodeGIFImage(AStream, ABitmap32, APalette, AUsedColors, AOptions); return;
    case kvftJPEG:
      if (AOptions & kvdoBitmap) ABitmap32 = DecodeJPEGImage(AStream);
      return;
    default: throw Exception("Unknown image type");
  }
}
