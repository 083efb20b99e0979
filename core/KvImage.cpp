#include "core/KvImage.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "bitmap/B32.h"
#include "core/KvDestProgress.h"
#include "core/KvThreadJob.h"
#include "rtl/KvLargeBlocks.h"
#include "rtl/KvSysUtils.h"

namespace {

// Pixels per job of the whole-picture loops.
constexpr int32_t KvImageChunkPixels = 8192;

}  // namespace

void TKvImage::Allocate(bool AZero) {
  const int64_t count = static_cast<int64_t>(FWidth > 0 ? FWidth : 0) * (FHeight > 0 ? FHeight : 0);
  FSize = count * static_cast<int64_t>(sizeof(TKvPixel));
  if (count == 0) {
    FPixels = nullptr;
    return;
  }
  // A picture filled at once is not zeroed first: its pages are touched
  // once, by the threads that fill them.
  FPixels = static_cast<PKvPixel>(KvAllocLarge(static_cast<size_t>(FSize)));
  if (!FPixels) throw EOutOfMemory("Out of memory");
  if (AZero) std::memset(static_cast<void*>(FPixels), 0, static_cast<size_t>(FSize));
}

TKvImage::TKvImage(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) { Allocate(true); }

TKvImage::TKvImage(TBitmap32& ABitmap) : FWidth(ABitmap.GetWidth()), FHeight(ABitmap.GetHeight()) {
  Allocate(false);
  // Building the working picture of a large source is the first step of a
  // conversion that takes a moment: it fills the first half of the bar (what
  // the converter does with the picture comes after).
  TKvRoutineProgress progress(2 * FHeight);
  std::atomic<int32_t> rowsDone{0};
  // Rows are independent: large pictures are filled by several threads.
  // Every field of every pixel is written, so the block need not be zeroed.
  KvRunChunkJobs(FHeight, std::max<int32_t>(1, KvImageChunkPixels / std::max(FWidth, 1)), nullptr,
                 [&](int32_t AFirst, int32_t ALast) {
                   for (int y = AFirst; y <= ALast; ++y) {
                     const TColor32* src = ABitmap.GetScanLine(y);
                     PKvPixel dst = FPixels + static_cast<ptrdiff_t>(y) * FWidth;
                     for (int x = 0; x < FWidth; ++x) {
                       const uint32_t c = src[x];
                       dst[x].InitStdRGB(StdRGBColor(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                                     static_cast<uint8_t>(c)));
                     }
                   }
                   progress.Step(rowsDone += ALast - AFirst + 1);
                 });
}

TKvImage::TKvImage(const TKvImage& ASource) : FWidth(ASource.FWidth), FHeight(ASource.FHeight) {
  Allocate(false);
  if (FSize > 0) std::memcpy(FPixels, ASource.FPixels, static_cast<size_t>(FSize));
}

TKvImage::~TKvImage() { KvFreeLarge(FPixels); }

void TKvImage::SetHeight(int AHeight) {
  if (AHeight == FHeight) return;
  KvFreeLarge(FPixels);
  FPixels = nullptr;
  FHeight = AHeight;
  Allocate(true);
}

void TKvImage::CopyRows(const TKvImage& ASource, int AFirstRow) {
  if (ASource.FWidth != FWidth) RaiseInternalError();
  if (FSize > 0)
    std::memcpy(FPixels, ASource.FPixels + static_cast<ptrdiff_t>(AFirstRow) * FWidth, static_cast<size_t>(FSize));
}

std::unique_ptr<TBitmap32> TKvImage::ToBitmap32() {
  auto result = std::make_unique<TBitmap32>();
  result->SetSize(FWidth, FHeight);
  for (int y = 0; y < FHeight; ++y) {
    TColor32* dst = result->GetScanLine(y);
    PKvPixel src = FPixels + static_cast<ptrdiff_t>(y) * FWidth;
    for (int x = 0; x < FWidth; ++x) {
      const TKvStdRGBColor c = src[x].GetStdRGB();
      dst[x] = 0xFF000000u | (static_cast<uint32_t>(c.R) << 16) | (static_cast<uint32_t>(c.G) << 8) | c.B;
    }
  }
  return result;
}

void TKvImage::MakeGray() {
  const int64_t n = static_cast<int64_t>(FWidth) * FHeight;
  for (int64_t i = 0; i < n; ++i) FPixels[i].MakeGray();
}

void TKvImage::Adjust(double ALightness, double ASaturation) {
  const int64_t n = static_cast<int64_t>(FWidth) * FHeight;
  if (ALightness != 0) {
    // -66 and -67 both stand for "a third of the light": one exact factor.
    if (ALightness == -67 || ALightness == -66) ALightness = -66.66666666666667;
    const double a = ALightness / 100;
    const double c = a > 0 ? 1 - a : -1 - a;
    for (int64_t i = 0; i < n; ++i) {
      TKvLinRGBColor v = FPixels[i].GetLinRGB();
      if (c > 0) {
        v.R = 1 - (1 - v.R) * c;
        v.G = 1 - (1 - v.G) * c;
        v.B = 1 - (1 - v.B) * c;
      } else {
        v.R = v.R * -c;
        v.G = v.G * -c;
        v.B = v.B * -c;
      }
      FPixels[i].SetLinRGB(v);
    }
  }
  if (ASaturation != 0) {
    const double b = ASaturation / 100;
    const double c = b > 0 ? 1 - b : -1 - b;
    for (int64_t i = 0; i < n; ++i) {
      TKvLinRGBColor hsl = FPixels[i].GetHSL();  // H, S, L in R, G, B
      double s = c > 0 ? 1 - (1 - hsl.G) * c : hsl.G * -c;
      if (s < 0) s = 0;
      if (s > 1) s = 1;
      // An unchanged triple leaves the pixel as it was.
      if (s == hsl.G) continue;
      hsl.G = s;
      FPixels[i].SetHSL(hsl);
    }
  }
}

double TKvImage::GetMaxGray() {
  const int64_t n = static_cast<int64_t>(FWidth) * FHeight;
  double result = FPixels[0].GetLinGray();
  for (int64_t i = 1; i < n; ++i) {
    const double g = FPixels[i].GetLinGray();
    if (g > result) result = g;
  }
  return result;
}

namespace {

// Multiplies the pixel's linear R, G and B by AFactor.
void ScaleLinRGB(PKvPixel APixel, double AFactor) {
  TKvLinRGBColor v = APixel->GetLinRGB();
  v.R *= AFactor;
  v.G *= AFactor;
  v.B *= AFactor;
  APixel->SetLinRGB(v);
}

}  // namespace

void TKvImage::LimitGray(double AMax) {
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) {
      PKvPixel p = GetPixels(x, y);
      const double g = p->GetLinGray();
      if (g > AMax) ScaleLinRGB(p, AMax / g);
    }
}

void TKvImage::FitToPaletteGray(TKvPalette256& APalette) {
  double mx = 0, mn = 1;
  for (int i = 0; i < APalette.GetCount(); ++i) {
    PKvColor e = APalette.GetPColor(i);
    if (e->Skip) continue;
    const double g = e->GetLinGray();
    if (g > mx) mx = g;
    if (g < mn) mn = g;
  }
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) {
      PKvPixel p = GetPixels(x, y);
      const double g = p->GetLinGray();
      if (g > mx) {
        ScaleLinRGB(p, mx / g);
      } else if (g < mn) {
        const double d = (1 - mn) / (1 - g);
        TKvLinRGBColor v = p->GetLinRGB();
        v.R = 1 - (1 - v.R) * d;
        v.G = 1 - (1 - v.G) * d;
        v.B = 1 - (1 - v.B) * d;
        p->SetLinRGB(v);
      }
    }
}

void TKvImage::CollectColors(TKvPalette256& APalette, int AFirstRow, int ARowCount) {
  const int last = ARowCount == 0 ? FHeight : AFirstRow + ARowCount;
  for (int y = AFirstRow; y < last; ++y) {
    PKvPixel row = FPixels + static_cast<ptrdiff_t>(y) * FWidth;
    for (int x = 0; x < FWidth; ++x) APalette.AddUniqueStdRGB(row[x].GetStdRGB());
  }
}

double TKvImage::AddError(const TKvLinRGBColor& A, const TKvLinRGBColor& B) {
  const double dr = A.R - B.R, dg = A.G - B.G, db = A.B - B.B;
  FErrorTotal += dr * dr;
  FErrorTotal += dg * dg;
  FErrorTotal += db * db;
  return FErrorTotal;
}

std::unique_ptr<TKvBitmap> TKvImage::CreateIndexedBitmap(int AWidth, int AHeight, TKvPalette* APalette,
                                                         bool AAllowOneBit) {
  const int count = APalette ? APalette->GetCount() : 0;
  if (count > 256) RaiseInternalError();
  if (count > 16) return std::make_unique<TKvBitmap8>(AWidth, AHeight, APalette);
  if (AAllowOneBit && count <= 2) return std::make_unique<TKvBitmap1>(AWidth, AHeight, nullptr);
  return std::make_unique<TKvBitmap4>(AWidth, AHeight, APalette);
}
