// The working picture of a conversion: one TKvPixel per pixel (the linear
// value and the sRGB bytes, 32 bytes), with the colour adjustments, the gray-range fitting and the scan conversions
// (error diffusion and ordered dithering) that reduce it to a palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/KvBitmap.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"

class TBitmap32;

class TKvImage {
public:
  // A picture of cleared records: no colour form is valid until the creator
  // sets every pixel.
  TKvImage(int AWidth, int AHeight);
  // One colour per bitmap pixel from its R, G and B bytes; alpha plays no part.
  explicit TKvImage(TBitmap32& ABitmap);
  // A byte-for-byte copy of the source's pixels (cached forms included); the
  // mirror flag and the error total start afresh.
  explicit TKvImage(const TKvImage& ASource);
  TKvImage& operator=(const TKvImage&) = delete;
  virtual ~TKvImage();

  // Hook run by the attribute-cell conversion after Adjust; converter images
  // override it (for example to cap the brightness with LimitGray).
  virtual void Prepare() {}

  int GetWidth() const { return FWidth; }
  int GetHeight() const { return FHeight; }
  bool GetMirror() const { return FMirror; }
  void SetMirror(bool AValue) { FMirror = AValue; }
  double GetErrorTotal() const { return FErrorTotal; }
  void SetErrorTotal(double AValue) { FErrorTotal = AValue; }

  // The pixel at column X (Width - 1 - X while the mirror flag is set) of row
  // Y. Unchecked: this sits in the innermost loops.
  PKvPixel GetPixels(int X, int Y) {
    return FPixels + (static_cast<ptrdiff_t>(Y) * FWidth + (FMirror ? FWidth - 1 - X : X));
  }
  // The pixel array in row-major order, ignoring the mirror flag.
  PKvPixel GetData() { return FPixels; }
  const TKvPixel* GetData() const { return FPixels; }

  // A different height reallocates and zeroes every pixel; the same height
  // keeps them.
  void SetHeight(int AHeight);
  // Copies Height whole rows of ASource from its row AFirstRow on.
  void CopyRows(const TKvImage& ASource, int AFirstRow);
  // A new opaque bitmap of the picture, read in array order.
  std::unique_ptr<TBitmap32> ToBitmap32();

  void MakeGray();
  // Lightness and saturation fixes in percent; 0 leaves the pixels untouched.
  void Adjust(double ALightness, double ASaturation);
  // Makes every form that jobs on several threads read (the linear value
  // and the gray) readable without writing; a pixel always holds them, so
  // this is nothing more than the promise.
  void CacheColors() {}
  double GetMaxGray();
  void LimitGray(double AMax);
  void FitToPaletteGray(TKvPalette256& APalette);
  // Adds every distinct sRGB colour of the rows to APalette (ARowCount 0: to
  // the last row).
  void CollectColors(TKvPalette256& APalette, int AFirstRow, int ARowCount);
  double AddError(const TKvLinRGBColor& A, const TKvLinRGBColor& B);

  // The indexed result of a conversion: 8 bits above 16 colours, 1 bit without
  // palette for at most 2 colours when AAllowOneBit, otherwise 4 bits.
  static std::unique_ptr<TKvBitmap> CreateIndexedBitmap(int AWidth, int AHeight, TKvPalette* APalette,
                                                        bool AAllowOneBit);

  // Scan conversions (KvDither.cpp). Each overwrites the visited pixels with
  // their chosen colours and polls *AAbort before every pixel.
  std::unique_ptr<TKvBitmap> ConvertIndexed(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                            TKvPalette& APalette, TKvPalette256* ADisplayPalette);
  std::unique_ptr<TKvBitmap> ConvertRGB(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette);
  std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette,
                                     TKvPalette256* ADisplayPalette);
  std::unique_ptr<TKvBitmap> ConvertBW(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                       TKvPalette* APalette, int ADarkIndex, int ALightIndex);
  std::unique_ptr<TKvBitmap> ConvertBWBits(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                           TKvPalette* APalette, int ADarkIndex, int ALightIndex);
  void DitherToPalette(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette& APalette, bool AMirror);
  // Dithers the top-left AWidth x AHeight block in place (0: the whole width
  // or height); APalette nil means the options' result palette.
  void DitherRegion(bool* AAbort, TKvDestEngineOptions& AOptions, TKvPalette256* APalette, int AWidth,
                    int AHeight);
  void DiffuseGrayError(int X, int Y, uint8_t AMethod, double AError);
  void DiffuseError(int X, int Y, uint8_t AMethod, const TKvLinRGBColor& AError);

protected:
  bool FMirror = false;
  double FErrorTotal = 0;
  PKvPixel FPixels = nullptr;
  int64_t FSize = 0;  // bytes of the pixel array
  int FWidth = 0;
  int FHeight = 0;

private:
  // Makes the pixel array, zeroed when AZero.
  void Allocate(bool AZero);
  std::unique_ptr<TKvBitmap> DoConvertBW(bool* AAbort, TKvDestEngineOptions& AOptions, TKvData* ATarget,
                                         TKvPalette* APalette, int ADarkIndex, int ALightIndex, bool ABits);
};
