// Device-independent bitmaps (rows aligned to 32 bits, top-down), reading
// their pixels in any common bit depth, nearest-neighbour resizing, and
// loading the best-fitting image of an icon file for a size and depth.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/KvClasses.h"

// Row size in bytes of a DIB: ((width * bits + 31) and not 31) div 8; 15 bits count as 16.
int64_t DIBRowBytes(int64_t AWidth, int ABitCount);
// 2^bits for 1 to 8 bits, else 0.
int DIBColorCount(int ABitCount);
// 2^bits - 1 for 1 to 8 bits, else 0.
uint32_t LowBitMask(int ABitCount);

// A DIB section: top-down rows of DIBRowBytes each, with a 256-entry colour
// table (0x00RRGGBB) for depths up to 8 bits.
struct TnoxDIB {
  int32_t Width = 0;
  int32_t Height = 0;
  int BitCount = 0;
  std::vector<uint8_t> Bits;
  std::array<uint32_t, 256> ColorTable{};
  uint8_t* Row(int32_t AY) { return Bits.data() + static_cast<size_t>(AY) * static_cast<size_t>(DIBRowBytes(Width, BitCount)); }
  const uint8_t* Row(int32_t AY) const {
    return Bits.data() + static_cast<size_t>(AY) * static_cast<size_t>(DIBRowBytes(Width, BitCount));
  }
};

// A cleared DIB; without a colour table entry 0 is black and entry 1 white.
// Sizes above 32768 pixels or bit counts other than 1, 4, 8, 15, 16, 24, 32
// raise EOutOfResources.
std::unique_ptr<TnoxDIB> CreateDIB(int32_t AWidth, int32_t AHeight, int ABitCount,
                                   const std::array<uint32_t, 256>* AColorTable = nullptr);
int GetBitmapBitsPerPixel(const TnoxDIB& ABitmap);
int64_t GetBitmapDataSize(const TnoxDIB& ABitmap);

// Reads one pixel at the cursor and advances it: 1/4/8 bits through the colour
// table (alpha 0xFF), 16 bits as 5-5-5, 24 as BGR (alpha 0xFF), 32 as BGRA.
// Other depths raise "Not supported yet". The caller keeps the cursor in bounds.
uint32_t ReadDIBPixel(const uint8_t*& ACursor, int& ABitOffset, int ABitCount, const uint32_t* AColorTable);

// 32 or more bits and some pixel with a non-zero alpha byte.
bool BitmapHasAlpha(const TnoxDIB& ABitmap);
// A 1-bit DIB: white where the luminance 0.2126 R + 0.7152 G + 0.0722 B is above 127.
std::unique_ptr<TnoxDIB> ConvertToMonochrome(const TnoxDIB& ABitmap);
// Nearest neighbour: target (x, y) takes source (trunc(x * sw / w), trunc(y * sh / h)).
std::unique_ptr<TnoxDIB> ResizeBitmap(const TnoxDIB& ABitmap, int32_t AWidth, int32_t AHeight);

// An icon as the windows show it: ARGB pixels (alpha in the top byte), top-down.
struct TnoxIcon {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};

struct TIconSize {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;
};
using TIconSizes = std::vector<TIconSize>;

// The image to load for a request: the depth nearest to ABitCount (the
// deepest not deeper, else the shallowest or deepest there is), then the
// smallest image at least AWidth by AHeight, else the largest.
int SelectIconImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const TIconSizes& ASizes);

struct TnoxPngDim {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t ColorBits = 0;
  int32_t AlphaBits = 0;
};
// Reads a PNG's header chunk from the stream position (at the signature).
// A PNG without IHDR before IEND leaves the record cleared; a stream that
// ends first raises EReadError.
void ReadPngDimensions(TStream& AStream, TnoxPngDim& ADims);

// A copy at AWidth by AHeight (the same pixels when the size is equal).
TnoxIcon ResizeIcon(const TnoxIcon& AIcon, int32_t AWidth, int32_t AHeight);

// Icons from an icon file (.ico/.cur). A width or height of 0 keeps the
// chosen image's own size. Return null for a directory that is not an icon
// or has no images. PNG images inside need an imaging component this system
// lacks: they count as 0 x 0 x 0 and loading one raises E_NOTIMPL. Damaged
// data raises EReadError or "Invalid icon image".
std::unique_ptr<TnoxIcon> LoadIconFromIcoStream(TStream& AStream, int32_t AWidth, int32_t AHeight, int32_t ABitCount);
std::unique_ptr<TnoxIcon> LoadIconFromFile(const std::string& APath, int32_t AResourceID, int32_t AWidth,
                                           int32_t AHeight, int32_t ABitCount);
// "path" or "path,number" (environment variables expanded). Executable
// modules hold no icons here, so only icon files load. Never raises: any
// failure gives null and the caller uses the toolkit's own icons.
std::unique_ptr<TnoxIcon> LoadIconFromLocation(const std::string& ALocation, int32_t AWidth, int32_t AHeight,
                                               int32_t ABitCount);
