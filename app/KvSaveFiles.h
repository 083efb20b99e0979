// The picture and native files a conversion writes. A result made of several
// files goes into one TFileSetWriter, so it is written whole or not at all.
#pragma once

#include <string>

class TFileSetWriter;
class TKvBitmap;
class TKvStream;

// BMP in the result's own depth, PNG with the program's text chunk at
// compression 9, GIF with its palette as the global colour map ("Too many
// colors" above 8 bits): each adds its file to AFiles.
void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles);
void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles);
void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles);
// A BMP file on its own.
void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName);

// Adds a native output stream and its sub-streams to AFiles: AFileName is
// adjusted and stored into the stream by the stream itself, the sub-streams
// go beside it under their own extensions. Returns the name of the stream's
// file. Interactive saving and batch conversion both use it, so both name
// files alike.
std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName, TFileSetWriter& AFiles);
// The same, written at once as a set of its own.
std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName);
