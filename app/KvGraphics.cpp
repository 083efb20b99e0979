#include "app/KvGraphics.h"

#include <gif_lib.h>
#include <png.h>

#include <cstdio>

#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "rtl/KvClasses.h"

namespace {

void Put16(std::string& AOut, uint32_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>((AValue >> 8) & 0xFF);
}

void Put32(std::string& AOut, uint32_t AValue) {
  Put16(AOut, AValue & 0xFFFF);
  Put16(AOut, AValue >> 16);
}

TKvDIBSection& HandleOf(TKvBitmap& ABitmap) {
  TKvDIBSection* LHandle = ABitmap.GetHandle();
  if (!LHandle) throw Exception("Internal error");
  return *LHandle;
}

}  // namespace

void WriteFileWhole(const std::string& AFileName, const std::string& ABytes) {
  SaveBytesToFile(AFileName, ABytes.data(), static_cast<int64_t>(ABytes.size()));
}

std::string EncodeBmp(TKvBitmap& ABitmap) {
  const TKvDIBSection& LDib = HandleOf(ABitmap);
  const uint32_t LTableBytes = static_cast<uint32_t>(LDib.ColorTable.size()) * 4;
  const uint32_t LOffset = 14 + 40 + LTableBytes;
  const uint32_t LImageBytes = static_cast<uint32_t>(LDib.Bits.size());
  std::string LOut;
  LOut.reserve(LOffset + LImageBytes);
  LOut += "BM";
  Put32(LOut, LOffset + LImageBytes);
  Put32(LOut, 0);
  Put32(LOut, LOffset);
  Put32(LOut, 40);
  Put32(LOut, static_cast<uint32_t>(LDib.Width));
  Put32(LOut, static_cast<uint32_t>(LDib.Height));  // rows bottom-up
  Put16(LOut, 1);
  Put16(LOut, static_cast<uint32_t>(LDib.BitCount));
  Put32(LOut, 0);  // no compression
  Put32(LOut, LImageBytes);
  Put32(LOut, 0);
  Put32(LOut, 0);
  Put32(LOut, static_cast<uint32_t>(LDib.ColorTable.size()));
  Put32(LOut, 0);
  for (uint32_t LColor : LDib.ColorTable) Put32(LOut, LColor & 0xFFFFFF);  // B, G, R, 0
  LOut.append(reinterpret_cast<const char*>(LDib.Bits.data()), LDib.Bits.size());
  return LOut;
}

// TPngImage

void TPngImage::Assign(TKvBitmap& ABitmap) {
  const TKvDIBSection& LDib = HandleOf(ABitmap);
  if (LDib.BitCount != 1 && LDib.BitCount != 4 && LDib.BitCount != 8 && LDib.BitCount != 24)
    throw Exception("Internal error");
  FWidth = LDib.Width;
  FHeight = LDib.Height;
  FBitCount = LDib.BitCount;
  FColorTable = LDib.ColorTable;
  const size_t LRowBytes = (static_cast<size_t>(FWidth) * FBitCount + 7) / 8;
  FRows.assign(static_cast<size_t>(FHeight), std::vector<uint8_t>(LRowBytes));
  for (int y = 0; y < FHeight; ++y) {
    const uint8_t* LRow = LDib.Bits.data() + static_cast<size_t>(FHeight - 1 - y) * LDib.Stride;
    std::vector<uint8_t>& LOut = FRows[static_cast<size_t>(y)];
    if (FBitCount == 24) {
      for (int x = 0; x < FWidth; ++x) {  // B, G, R in the bitmap; R, G, B in the file
        LOut[x * 3 + 0] = LRow[x * 3 + 2];
        LOut[x * 3 + 1] = LRow[x * 3 + 1];
        LOut[x * 3 + 2] = LRow[x * 3 + 0];
      }
    } else {
      std::copy_n(LRow, LRowBytes, LOut.begin());
    }
  }
}

void TPngImage::AddTextChunk(const std::string& AKeyword, const std::string& AText) {
  FTexts.emplace_back(AKeyword, AText);
}

namespace {

// What the PNG writer needs, as plain data: the library's error jump must
// not skip any destructor.
struct TPngWriteArgs {
  int Width, Height, BitCount, CompressionLevel;
  png_color* Palette;
  int PaletteCount;
  png_text* Texts;
  int TextCount;
  png_bytep* Rows;
  std::string* Out;
};

void AppendPngData(png_structp APng, png_bytep AData, png_size_t ALength) {
  static_cast<std::string*>(png_get_io_ptr(APng))->append(reinterpret_cast<const char*>(AData), ALength);
}

__attribute__((noinline)) bool WritePng(const TPngWriteArgs& A) {
  png_structp LPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!LPng) return false;
  png_infop LInfo = png_create_info_struct(LPng);
  if (!LInfo || setjmp(png_jmpbuf(LPng))) {
    png_destroy_write_struct(&LPng, &LInfo);
    return false;
  }
  png_set_write_fn(LPng, A.Out, &AppendPngData, nullptr);
  if (A.CompressionLevel >= 0) png_set_compression_level(LPng, A.CompressionLevel);
  if (A.BitCount <= 8) {
    png_set_IHDR(LPng, LInfo, A.Width, A.Height, A.BitCount, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(LPng, LInfo, A.Palette, A.PaletteCount);
  } else {
    png_set_IHDR(LPng, LInfo, A.Width, A.Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  }
  if (A.TextCount > 0) png_set_text(LPng, LInfo, A.Texts, A.TextCount);
  png_write_info(LPng, LInfo);
  for (int y = 0; y < A.Height; ++y) png_write_row(LPng, A.Rows[y]);
  png_write_end(LPng, nullptr);
  png_destroy_write_struct(&LPng, &LInfo);
  return true;
}

}  // namespace

std::string TPngImage::Encode() const {
  if (FWidth <= 0 || FHeight <= 0) throw Exception("Internal error");
  std::string LOut;
  std::vector<png_color> LPalette;
  for (uint32_t LColor : FColorTable)
    LPalette.push_back(png_color{static_cast<png_byte>(LColor >> 16), static_cast<png_byte>(LColor >> 8),
                                 static_cast<png_byte>(LColor)});
  if (LPalette.empty()) LPalette.push_back(png_color{0, 0, 0});
  std::vector<png_text> LTexts(FTexts.size());
  for (size_t i = 0; i < FTexts.size(); ++i) {
    LTexts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    LTexts[i].key = const_cast<char*>(FTexts[i].first.c_str());
    LTexts[i].text = const_cast<char*>(FTexts[i].second.c_str());
    LTexts[i].text_length = FTexts[i].second.size();
  }
  std::vector<png_bytep> LRows;
  for (const std::vector<uint8_t>& LRow : FRows) LRows.push_back(const_cast<png_bytep>(LRow.data()));
  const TPngWriteArgs LArgs{FWidth,         FHeight,       FBitCount,    FCompressionLevel,
                            LPalette.data(), static_cast<int>(LPalette.size()), LTexts.data(),
                            static_cast<int>(LTexts.size()), LRows.data(), &LOut};
  if (!WritePng(LArgs)) throw Exception("PNG encoding failed");
  return LOut;
}

// TGIFImage

void TGIFImage::Assign(TKvBitmap& ABitmap) {
  if (ABitmap.BitCount > 8) throw ETooManyColors();
  FWidth = ABitmap.Width;
  FHeight = ABitmap.Height;
  FColorMap = HandleOf(ABitmap).ColorTable;
  FGlobal = false;
  FIndexes.resize(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight));
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x)
      FIndexes[static_cast<size_t>(y) * FWidth + x] = static_cast<uint8_t>(ABitmap.GetPixel(x, y));
}

void TGIFImage::UseGlobalColorMap() { FGlobal = true; }

std::string TGIFImage::Encode() const {
  if (FWidth <= 0 || FHeight <= 0 || FWidth > 65535 || FHeight > 65535) throw Exception("Internal error");
  // A colour map holds a power of two entries, at least 2.
  int LBits = 1;
  while ((1 << LBits) < static_cast<int>(FColorMap.size())) ++LBits;
  std::vector<GifColorType> LColors(static_cast<size_t>(1) << LBits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < FColorMap.size(); ++i)
    LColors[i] = GifColorType{static_cast<GifByteType>(FColorMap[i] >> 16), static_cast<GifByteType>(FColorMap[i] >> 8),
                              static_cast<GifByteType>(FColorMap[i])};
  ColorMapObject* LMap = GifMakeMapObject(1 << LBits, LColors.data());
  if (!LMap) throw EOutOfMemory("Out of memory");
  std::string LOut;
  int LError = 0;
  GifFileType* LGif = EGifOpen(
      &LOut,
      [](GifFileType* AGif, const GifByteType* AData, int ALength) {
        static_cast<std::string*>(AGif->UserData)->append(reinterpret_cast<const char*>(AData), ALength);
        return ALength;
      },
      &LError);
  if (!LGif) {
    GifFreeMapObject(LMap);
    throw Exception("GIF encoding failed");
  }
  bool LOk = EGifPutScreenDesc(LGif, FWidth, FHeight, LBits, 0, FGlobal ? LMap : nullptr) == GIF_OK &&
             EGifPutImageDesc(LGif, 0, 0, FWidth, FHeight, false, FGlobal ? nullptr : LMap) == GIF_OK;
  for (int y = 0; LOk && y < FHeight; ++y)
    LOk = EGifPutLine(LGif, const_cast<GifPixelType*>(FIndexes.data() + static_cast<size_t>(y) * FWidth), FWidth) ==
          GIF_OK;
  const bool LClosed = EGifCloseFile(LGif, &LError) == GIF_OK;
  GifFreeMapObject(LMap);
  if (!LOk || !LClosed) throw Exception("GIF encoding failed");
  return LOut;
}
