// The picture files a result is saved as: BMP in the result's own depth,
// PNG (with text chunks and a compression level) and GIF (with the result's
// palette). Files are built in memory and written whole or not at all.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

class TKvBitmap;

// Writes ABytes to AFileName through a temporary file beside it, so a failed
// write leaves no half-written file behind.
void WriteFileWhole(const std::string& AFileName, const std::string& ABytes);

// A BMP file of the bitmap's own depth (1, 4, 8 or 24 bits) with its colour table.
std::string EncodeBmp(TKvBitmap& ABitmap);

class TPngImage {
public:
  // Takes the pixels and colour table of a native bitmap.
  void Assign(TKvBitmap& ABitmap);
  void AddTextChunk(const std::string& AKeyword, const std::string& AText);
  void SetCompressionLevel(int ALevel) { FCompressionLevel = ALevel; }
  std::string Encode() const;
  void SaveToFile(const std::string& AFileName) const { WriteFileWhole(AFileName, Encode()); }

private:
  int FWidth = 0;
  int FHeight = 0;
  int FBitCount = 0;
  std::vector<uint32_t> FColorTable;   // $00RRGGBB
  std::vector<std::vector<uint8_t>> FRows;  // top-down, packed as in the bitmap
  std::vector<std::pair<std::string, std::string>> FTexts;
  int FCompressionLevel = -1;  // the library's default
};

class TGIFImage {
public:
  // Takes an indexed bitmap; its palette becomes the first image's local
  // colour map. More than 8 bits per pixel raise "Too many colors".
  void Assign(TKvBitmap& ABitmap);
  // Moves the bitmap's palette into the global colour map and clears the
  // first image's local map.
  void UseGlobalColorMap();
  std::string Encode() const;
  void SaveToFile(const std::string& AFileName) const { WriteFileWhole(AFileName, Encode()); }

private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<uint32_t> FColorMap;  // $00RRGGBB
  bool FGlobal = false;
  std::vector<uint8_t> FIndexes;    // one byte a pixel, top-down
};
