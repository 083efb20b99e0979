// Source picture decoding: a BMP, PNG, GIF or JPEG file becomes a TBitmap32
// plus up to two palettes, the picture's own colour table and the distinct
// colours its pixels use.
//
// Reading happens in two steps. A reader turns the file into a
// TKvSourceImage in the pixel format the picture has (what a DIB made from
// it would hold), then DecodeBitmap follows that pixel format:
//
//   file kind                         BitCount  colour table
//   BMP 1 / 4 / 8 bits                1/4/8     its own table (clipped to what the file holds)
//   BMP 16 bits (5-5-5 or bit fields) other     none
//   BMP 24 bits                       24        none
//   BMP 32 bits (plain or bit fields) 32        none
//   PNG palette, depth 1              1         PLTE
//   PNG palette, depth 2 or 4         4         PLTE (depth 2 values widen to nibbles)
//   PNG palette, depth 8              8         PLTE
//   PNG gray 1                        1         black, white
//   PNG gray 2 / 4                    4         the 4 / 16 evenly spaced grays
//   PNG gray 8 or 16                  8         the 256 grays (16 bits keep the high byte)
//   PNG RGB 8 or 16                   24        none (16 bits keep the high byte)
//   PNG gray + alpha, RGB + alpha     32        none; alpha is dropped (opaque result)
//   GIF (first picture on its screen) 8         the picture's local map, else the global map
//   JPEG                              -         decoded straight to TBitmap32, no palette
//
// PNG transparency chunks are ignored: a palette PNG stays indexed. GIF
// pixels outside the first picture take the background index.
//
// Every reader checks sizes before it allocates: pictures wider or taller
// than KvMaxPictureSide or with more than KvMaxPicturePixels pixels fail with
// EInvalidGraphic. A file that ends early, wherever it is cut, raises
// EReadError; any other damage that a reader or its library refuses (bad
// headers, tables, markers or compressed data) fails with EInvalidGraphic.
// JPEG entropy data that libjpeg reports as corrupt is not refused: the
// library fills in what it cannot decode and the picture opens as picture
// viewers show it, since a photograph with a few bad bytes is still worth
// converting and the user sees it open everywhere else.
#pragma once

#include "core/KvPaletteFiles.h"
#include "rtl/KvSysUtils.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class TBitmap32;
class TKvPalette256;

// A picture file that cannot be decoded.
class EInvalidGraphic : public Exception {
public:
  using Exception::Exception;
};

constexpr int KvMaxPictureSide = 65535;
// The fuzz build lowers the pixel limit, so that a slow input found there is
// a real fault and not merely a large valid picture.
#ifdef KOVREL_FUZZ_PIXEL_LIMIT
constexpr int64_t KvMaxPicturePixels = KOVREL_FUZZ_PIXEL_LIMIT;
#else
constexpr int64_t KvMaxPicturePixels = int64_t(1) << 26;
#endif


// A picture in its own pixel format. Rows top-down, Stride bytes each:
// 1 bit (bit 7 leftmost), 4 bits (high nibble leftmost), 8 bits, 24 bits
// (B, G, R), 32 bits (B, G, R, unused). BitCount 0 marks any other format,
// held already converted to 32 bits (B, G, R, unused).
struct TKvSourceImage {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  int Stride = 0;
  bool HasColorTable = false;
  std::vector<uint32_t> ColorTable;  // $00RRGGBB
  std::vector<uint8_t> Pixels;
};

// Readers from the stream's position.
TKvSourceImage ReadBMPImage(std::istream& AStream);
TKvSourceImage ReadPNGImage(std::istream& AStream);
TKvSourceImage ReadGIFImage(std::istream& AStream);
// JPEG pictures always come out as 24 bits.
TKvSourceImage ReadJPEGImage(std::istream& AStream);

// What DecodeBitmap makes: bit 1 the bitmap, bit 2 the colour table (or, for
// direct-colour pictures, the distinct colours), bit 4 the used colours.
enum : uint8_t { kvdoBitmap = 1, kvdoPalette = 2, kvdoUsedColors = 4 };

// Decodes AImage into an opaque TBitmap32, its palette and its used colours,
// each only when asked for (the others stay nil). A palette that would need
// more than 729 colours is dropped (nil) without an error. An indexed
// picture without colour table raises "Invalid palette". On any failure all
// three results are nil.
void DecodeBitmap(const TKvSourceImage& AImage, std::unique_ptr<TBitmap32>& ABitmap32,
                  std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                  uint8_t AOptions);

// Read and decode in one step.
void DecodeBMPImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions);
void DecodePNGImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions);
void DecodeGIFImage(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                    std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                    uint8_t AOptions);
// A JPEG picture as an opaque TBitmap32; it has no palette.
std::unique_ptr<TBitmap32> DecodeJPEGImage(std::istream& AStream);

// Sniffs the kind and decodes a BMP, PNG, GIF or JPEG picture (JPEG gives
// only the bitmap). Any other content raises "Unknown image type".
void DecodePicture(std::istream& AStream, std::unique_ptr<TBitmap32>& ABitmap32,
                   std::unique_ptr<TKvPalette256>& APalette, std::unique_ptr<TKvPalette256>& AUsedColors,
                   uint8_t AOptions);
