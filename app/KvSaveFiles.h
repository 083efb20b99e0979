// The picture and native files a conversion writes. Every file is written
// whole or not at all.
#pragma once

#include <string>

class TKvBitmap;
class TKvStream;

// BMP in the result's own depth, PNG with the program's text chunk at
// compression 9, GIF with its palette as the global colour map ("Too many
// colors" above 8 bits).
void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName);
void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName);

// Writes a native output stream and its sub-streams: AFileName is adjusted
// and stored into the stream by the stream itself, the sub-streams go beside
// it under their own extensions. Returns the name written. Interactive saving
// and batch conversion both use it, so both name files alike.
std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName);
