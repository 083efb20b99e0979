// Pictures between the bitmap library, the native result bitmaps and Qt, and
// the picture files the program writes.
#pragma once

#include <QImage>

#include "app/KvSaveFiles.h"
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
