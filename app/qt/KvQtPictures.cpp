#include "app/qt/KvQtPictures.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gif_lib.h>
#include <png.h>

#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

QImage Bitmap32View(const TBitmap32& ABitmap) {
  if (ABitmap.GetWidth() <= 0 || ABitmap.GetHeight() <= 0 || !ABitmap.GetBits()) return QImage();
  return QImage(reinterpret_cast<const uchar*>(ABitmap.GetBits()), ABitmap.GetWidth(), ABitmap.GetHeight(),
                ABitmap.GetWidth() * 4, QImage::Format_RGB32);
}

void QImageToBitmap32(const QImage& AImage, TBitmap32& ABitmap) {
  const QImage LImage = AImage.convertToFormat(QImage::Format_RGB32);
  ABitmap.SetSize(LImage.width(), LImage.height());
  for (int y = 0; y < LImage.height(); ++y) {
    const uint32_t* LSrc = reinterpret_cast<const uint32_t*>(LImage.constScanLine(y));
    TColor32* LDst = ABitmap.GetScanLine(y);
    for (int x = 0; x < LImage.width(); ++x) LDst[x] = LSrc[x] | 0xFF000000u;
  }
}

namespace {

TKvDIBSection& Section(TKvBitmap& ABitmap) {
  TKvDIBSection* LSection = ABitmap.GetHandle();
  if (!LSection) throw Exception("Internal error");
  return *LSection;
}

// Top-down row y of the section (its rows are bottom-up).
const uint8_t* SectionRow(const TKvDIBSection& S, int y) {
  return S.Bits.data() + static_cast<size_t>(S.Height - 1 - y) * static_cast<size_t>(S.Stride);
}

int IndexAt(const uint8_t* ARow, int x, int ABits) {
  switch (ABits) {
    case 1: return (ARow[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (ARow[x >> 1] & 0x0F) : (ARow[x >> 1] >> 4);
    default: return ARow[x];
  }
}

void Put16(std::vector<uint8_t>& A, uint16_t V) {
  A.push_back(static_cast<uint8_t>(V));
  A.push_back(static_cast<uint8_t>(V >> 8));
}
void Put32(std::vector<uint8_t>& A, uint32_t V) {
  for (int i = 0; i < 4; ++i) A.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

}  // namespace

QImage KvBitmapToQImage(TKvBitmap& ABitmap) {
  TKvDIBSection& S = Section(ABitmap);
  if (S.BitCount <= 8) {
    QImage LImage(S.Width, S.Height, QImage::Format_Indexed8);
    QList<QRgb> LTable;
    for (uint32_t c : S.ColorTable) LTable.append(0xFF000000u | c);
    if (LTable.isEmpty()) LTable.append(0xFF000000u);
    LImage.setColorTable(LTable);
    for (int y = 0; y < S.Height; ++y) {
      const uint8_t* LRow = SectionRow(S, y);
      uchar* LDst = LImage.scanLine(y);
      for (int x = 0; x < S.Width; ++x) {
        int LIndex = IndexAt(LRow, x, S.BitCount);
        LDst[x] = static_cast<uchar>(LIndex < LTable.size() ? LIndex : 0);
      }
    }
    return LImage;
  }
  QImage LImage(S.Width, S.Height, QImage::Format_RGB32);
  for (int y = 0; y < S.Height; ++y) {
    const uint8_t* LRow = SectionRow(S, y);
    uint32_t* LDst = reinterpret_cast<uint32_t*>(LImage.scanLine(y));
    for (int x = 0; x < S.Width; ++x)
      LDst[x] = 0xFF000000u | (uint32_t(LRow[3 * x + 2]) << 16) | (uint32_t(LRow[3 * x + 1]) << 8) | LRow[3 * x];
  }
  return LImage;
}

std::vector<uint8_t> EncodeKvBitmapBMP(TKvBitmap& ABitmap) {
  TKvDIBSection& S = Section(ABitmap);
  const uint32_t LColors = S.BitCount <= 8 ? static_cast<uint32_t>(S.ColorTable.size()) : 0;
  const uint32_t LOffBits = 14 + 40 + LColors * 4;
  const uint64_t LImageSize = static_cast<uint64_t>(S.Stride) * static_cast<uint64_t>(S.Height);
  std::vector<uint8_t> A;
  A.reserve(static_cast<size_t>(LOffBits + LImageSize));
  A.push_back('B');
  A.push_back('M');
  Put32(A, static_cast<uint32_t>(LOffBits + LImageSize));
  Put32(A, 0);
  Put32(A, LOffBits);
  Put32(A, 40);
  Put32(A, static_cast<uint32_t>(S.Width));
  Put32(A, static_cast<uint32_t>(S.Height));
  Put16(A, 1);
  Put16(A, static_cast<uint16_t>(S.BitCount));
  Put32(A, 0);
  Put32(A, static_cast<uint32_t>(LImageSize));
  Put32(A, 3780);
  Put32(A, 3780);
  Put32(A, LColors);
  Put32(A, 0);
  for (uint32_t i = 0; i < LColors; ++i) {
    const uint32_t c = S.ColorTable[i];
    A.push_back(static_cast<uint8_t>(c));
    A.push_back(static_cast<uint8_t>(c >> 8));
    A.push_back(static_cast<uint8_t>(c >> 16));
    A.push_back(0);
  }
  A.insert(A.end(), S.Bits.begin(), S.Bits.begin() + static_cast<ptrdiff_t>(LImageSize));
  return A;
}

namespace {

void PngWriteData(png_structp APng, png_bytep AData, size_t ALength) {
  auto* LOut = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(APng));
  LOut->insert(LOut->end(), AData, AData + ALength);
}
void PngFlushData(png_structp) {}
[[noreturn]] void PngError(png_structp, png_const_charp AMessage) { throw Exception(AMessage ? AMessage : "PNG error"); }
void PngWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<uint8_t> EncodeKvBitmapPNG(TKvBitmap& ABitmap, bool ACompressionLevel9) {
  TKvDIBSection& S = Section(ABitmap);
  std::vector<uint8_t> LOut;
  png_structp LPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!LPng) throw EOutOfMemory();
  png_infop LInfo = png_create_info_struct(LPng);
  struct TGuard {
    png_structp* P;
    png_infop* I;
    ~TGuard() { png_destroy_write_struct(P, I); }
  } LGuard{&LPng, &LInfo};
  if (!LInfo) throw EOutOfMemory();
  png_set_write_fn(LPng, &LOut, PngWriteData, PngFlushData);
  if (ACompressionLevel9) png_set_compression_level(LPng, 9);
  const bool LIndexed = S.BitCount <= 8;
  png_set_IHDR(LPng, LInfo, static_cast<png_uint_32>(S.Width), static_cast<png_uint_32>(S.Height),
               LIndexed ? S.BitCount : 8, LIndexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> LPalette;
  if (LIndexed) {
    for (uint32_t c : S.ColorTable)
      LPalette.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                                   static_cast<png_byte>(c)});
    if (LPalette.empty()) LPalette.push_back(png_color{0, 0, 0});
    png_set_PLTE(LPng, LInfo, LPalette.data(), static_cast<int>(LPalette.size()));
  }
  png_text LText{};
  char LKey[] = "Software";
  char LValue[] = "Kovrel";
  LText.compression = PNG_TEXT_COMPRESSION_NONE;
  LText.key = LKey;
  LText.text = LValue;
  png_set_text(LPng, LInfo, &LText, 1);
  png_write_info(LPng, LInfo);
  std::vector<uint8_t> LRow(static_cast<size_t>(S.Width) * 3 + 8);
  for (int y = 0; y < S.Height; ++y) {
    const uint8_t* LSrc = SectionRow(S, y);
    if (LIndexed) {
      std::memcpy(LRow.data(), LSrc, static_cast<size_t>((static_cast<int64_t>(S.Width) * S.BitCount + 7) / 8));
    } else {
      for (int x = 0; x < S.Width; ++x) {
        LRow[3 * x] = LSrc[3 * x + 2];
        LRow[3 * x + 1] = LSrc[3 * x + 1];
        LRow[3 * x + 2] = LSrc[3 * x];
      }
    }
    png_write_row(LPng, LRow.data());
  }
  png_write_end(LPng, nullptr);
  return LOut;
}

namespace {

int GifWriteData(GifFileType* AGif, const GifByteType* AData, int ALength) {
  auto* LOut = static_cast<std::vector<uint8_t>*>(AGif->UserData);
  LOut->insert(LOut->end(), AData, AData + ALength);
  return ALength;
}

}  // namespace

std::vector<uint8_t> EncodeKvBitmapGIF(TKvBitmap& ABitmap) {
  TKvDIBSection& S = Section(ABitmap);
  if (S.BitCount > 8) throw Exception("Too many colors");
  std::vector<uint8_t> LOut;
  int LColors = std::max<int>(2, static_cast<int>(S.ColorTable.size()));
  int LBits = 1;
  while ((1 << LBits) < LColors) ++LBits;
  ColorMapObject* LMap = GifMakeMapObject(1 << LBits, nullptr);
  if (!LMap) throw EOutOfMemory();
  for (int i = 0; i < (1 << LBits); ++i) {
    const uint32_t c = i < static_cast<int>(S.ColorTable.size()) ? S.ColorTable[static_cast<size_t>(i)] : 0;
    LMap->Colors[i] = GifColorType{static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                                   static_cast<GifByteType>(c)};
  }
  int LError = 0;
  GifFileType* LGif = EGifOpen(&LOut, GifWriteData, &LError);
  if (!LGif) {
    GifFreeMapObject(LMap);
    throw Exception("Cannot write the GIF picture");
  }
  bool LOk = EGifPutScreenDesc(LGif, S.Width, S.Height, LBits, 0, LMap) != GIF_ERROR &&
             EGifPutImageDesc(LGif, 0, 0, S.Width, S.Height, false, nullptr) != GIF_ERROR;
  std::vector<GifPixelType> LRow(static_cast<size_t>(S.Width));
  for (int y = 0; LOk && y < S.Height; ++y) {
    const uint8_t* LSrc = SectionRow(S, y);
    for (int x = 0; x < S.Width; ++x) LRow[static_cast<size_t>(x)] = static_cast<GifPixelType>(IndexAt(LSrc, x, S.BitCount));
    LOk = EGifPutLine(LGif, LRow.data(), S.Width) != GIF_ERROR;
  }
  if (EGifCloseFile(LGif, &LError) == GIF_ERROR) LOk = false;
  GifFreeMapObject(LMap);
  if (!LOk) throw Exception("Cannot write the GIF picture");
  return LOut;
}

void WriteWholeFile(const std::string& AFileName, const std::vector<uint8_t>& AData) {
  std::FILE* LFile = std::fopen(AFileName.c_str(), "wb");
  if (!LFile) throw EOSError(5, "Cannot create file \"" + AFileName + "\". " + std::strerror(errno));
  const bool LOk = (AData.empty() || std::fwrite(AData.data(), 1, AData.size(), LFile) == AData.size());
  const bool LClosed = std::fclose(LFile) == 0;
  if (!LOk || !LClosed) {
    std::error_code LIgnored;
    std::filesystem::remove(AFileName, LIgnored);
    throw EOSError(29, "Cannot write file \"" + AFileName + "\"");
  }
}

void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName) {
  WriteWholeFile(AFileName, EncodeKvBitmapBMP(ABitmap));
}
void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName) {
  WriteWholeFile(AFileName, EncodeKvBitmapPNG(ABitmap));
}
void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName) {
  WriteWholeFile(AFileName, EncodeKvBitmapGIF(ABitmap));
}

std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt) {
  const size_t LPos = AFileName.find_last_of("./");
  if (LPos != std::string::npos && AFileName[LPos] == '.') return AFileName.substr(0, LPos) + AExt;
  return AFileName + AExt;
}

std::string ExtractFileName(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of('/');
  return LPos == std::string::npos ? AFileName : AFileName.substr(LPos + 1);
}

std::string ExtractFilePath(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of('/');
  return LPos == std::string::npos ? std::string() : AFileName.substr(0, LPos + 1);
}

std::string ExtractFileExt(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of("./");
  if (LPos != std::string::npos && AFileName[LPos] == '.') return AFileName.substr(LPos);
  return std::string();
}
