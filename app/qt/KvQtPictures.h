// Pictures between the bitmap library, the native result bitmaps and Qt, and
// the picture files the program writes: BMP in the result's own depth, PNG
// with the program's "Software" text at compression 9, GIF with the result's
// palette. Every writer builds the whole file in memory first, so a file is
// written whole or not at all.
#pragma once

#include <QImage>
#include <string>
#include <vector>

class TBitmap32;
class TKvBitmap;

// The bitmap's own pixel memory seen as a QImage (no copy; valid while the
// bitmap keeps its size). Alpha is ignored: the pictures are opaque.
QImage Bitmap32View(const TBitmap32& ABitmap);
// A copy of a QImage as an opaque TBitmap32.
void QImageToBitmap32(const QImage& AImage, TBitmap32& ABitmap);
// The native result as a QImage of its depth: indexed with its colour table up
// to 8 bits, RGB32 for true colour.
QImage KvBitmapToQImage(TKvBitmap& ABitmap);

// File contents.
std::vector<uint8_t> EncodeKvBitmapBMP(TKvBitmap& ABitmap);
std::vector<uint8_t> EncodeKvBitmapPNG(TKvBitmap& ABitmap, bool ACompressionLevel9 = true);
// Results deeper than 8 bits have no GIF form: "Too many colors".
std::vector<uint8_t> EncodeKvBitmapGIF(TKvBitmap& ABitmap);

// Writes the bytes to AFileName, replacing it; a failed write leaves no file.
void WriteWholeFile(const std::string& AFileName, const std::vector<uint8_t>& AData);
void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName);

// The file-name helpers of saving: ChangeFileExt, ExtractFileName,
// ExtractFilePath (with its trailing delimiter).
std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt);
std::string ExtractFileName(const std::string& AFileName);
std::string ExtractFilePath(const std::string& AFileName);
std::string ExtractFileExt(const std::string& AFileName);
