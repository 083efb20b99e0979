// Pictures between the bitmap library, the native result bitmaps and Qt, and
// the picture files the program writes.
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

// The picture files of a result: BMP in its own depth, PNG with the
// program's text chunk at compression 9, GIF with its palette as the global
// colour map ("Too many colors" above 8 bits). Written whole or not at all.
void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName);

// The file-name helpers of saving: ChangeFileExt, ExtractFileName,
// ExtractFilePath (with its trailing delimiter).
std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt);
std::string ExtractFileName(const std::string& AFileName);
std::string ExtractFilePath(const std::string& AFileName);
std::string ExtractFileExt(const std::string& AFileName);
