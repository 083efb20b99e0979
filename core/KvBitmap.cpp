#include "core/KvBitmap.h"

#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

#include <cstring>
#include <new>

// ---------------------------------------------------------------------------
// Screens

TKvScreen1::TKvScreen1(int AWidth, int AHeight, void* AData) : TKvBitmapData(AWidth, AHeight, AData) {
  Stride = (AWidth + 7) / 8;
}

int TKvScreen1::GetPixel(int X, int Y) {
  X = MX(X);
  return (GetScanline(Y)[X >> 3] >> (7 - (X & 7))) & 1;
}

void TKvScreen1::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = GetScanline(Y)[X >> 3];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  if (AColor != 0) b |= mask;
  else b &= static_cast<uint8_t>(~mask);
}

TKvScreen2::TKvScreen2(int AWidth, int AHeight, void* AData) : TKvBitmapData(AWidth, AHeight, AData) {
  Stride = (AWidth + 3) / 4;
}

int TKvScreen2::GetPixel(int X, int Y) {
  X = MX(X);
  return (GetScanline(Y)[X >> 2] >> (6 - 2 * (X & 3))) & 3;
}

void TKvScreen2::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = GetScanline(Y)[X >> 2];
  const int shift = 6 - 2 * (X & 3);
  b = static_cast<uint8_t>((b & ~(3 << shift)) | ((AColor & 3) << shift));
}

TKvScreen4::TKvScreen4(int AWidth, int AHeight, void* AData) : TKvBitmapData(AWidth, AHeight, AData) {
  Stride = (AWidth + 1) / 2;
}

int TKvScreen4::GetPixel(int X, int Y) {
  X = MX(X);
  const uint8_t b = GetScanline(Y)[X >> 1];
  return (X & 1) ? (b & 0x0F) : (b >> 4);
}

void TKvScreen4::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = GetScanline(Y)[X >> 1];
  if (X & 1) b = static_cast<uint8_t>((b & 0xF0) | (AColor & 0x0F));
  else b = static_cast<uint8_t>((b & 0x0F) | ((AColor & 0x0F) << 4));
}

TKvScreen8::TKvScreen8(int AWidth, int AHeight, void* AData) : TKvBitmapData(AWidth, AHeight, AData) {
  Stride = AWidth;
}

int TKvScreen8::GetPixel(int X, int Y) { return GetScanline(Y)[MX(X)]; }

void TKvScreen8::SetPixel(int X, int Y, int AColor) { GetScanline(Y)[MX(X)] = static_cast<uint8_t>(AColor); }

TKvScreen16::TKvScreen16(int AWidth, int AHeight, void* AData) : TKvBitmapData(AWidth, AHeight, AData) {
  Stride = 2 * AWidth;
}

int TKvScreen16::GetPixel(int X, int Y) {
  const uint8_t* p = GetScanline(Y) + 2 * MX(X);
  return p[0] | (p[1] << 8);
}

void TKvScreen16::SetPixel(int X, int Y, int AColor) {
  uint8_t* p = GetScanline(Y) + 2 * MX(X);
  p[0] = static_cast<uint8_t>(AColor);
  p[1] = static_cast<uint8_t>(AColor >> 8);
}

// ---------------------------------------------------------------------------
// Bitmaps

int GetDIBStride(int AWidth, int ABitCount) {
  const int64_t b = ABitCount == 15 ? 16 : ABitCount;
  return static_cast<int>(((static_cast<int64_t>(AWidth) * b + 31) & ~int64_t(31)) / 8);
}

int GetDIBColorCount(int ABitCount) { return ABitCount >= 1 && ABitCount <= 8 ? 1 << ABitCount : 0; }

namespace {

// Largest pixel memory a bitmap may ask for; beyond it the section cannot be made.
constexpr int64_t KvMaxDIBBytes = int64_t(1) << 30;

}  // namespace

TKvBitmap::TKvBitmap(int AWidth, int AHeight)
    : TKvBitmapData(AWidth, AHeight, nullptr), Palette(std::make_unique<TKvPalette256>()) {}

TKvBitmap::~TKvBitmap() = default;

void TKvBitmap::AllocateDIB(int ABitCount, TKvPalette* APalette) {
  if (Width <= 0 || Height <= 0) throw EOutOfResources();
  const int64_t stride = (static_cast<int64_t>(Width) * (ABitCount == 15 ? 16 : ABitCount) + 31) / 32 * 4;
  const int64_t bytes = stride * Height;
  if (bytes > KvMaxDIBBytes) throw EOutOfResources();
  auto dib = std::make_unique<TKvDIBSection>();
  try {
    int n = GetDIBColorCount(ABitCount);
    if (APalette != nullptr) {
      if (APalette->GetCount() < n) n = APalette->GetCount();
      dib->ColorTable.resize(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) dib->ColorTable[static_cast<size_t>(i)] = APalette->GetRGBQuad(i);
    } else if (ABitCount == 1) {
      dib->ColorTable = {0x000000, 0xFFFFFF};
    }
    dib->Bits.assign(static_cast<size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources();
  }
  dib->Width = Width;
  dib->Height = Height;
  dib->BitCount = ABitCount;
  dib->Stride = static_cast<int>(stride);
  Stride = dib->Stride;
  Data = dib->Bits.data();
  BitCount = ABitCount;
  Handle = std::move(dib);
}

std::unique_ptr<TBitmap32> TKvBitmap::ToBitmap32(int AScaleX, int AScaleY) {
  std::vector<uint32_t> colors(static_cast<size_t>(Palette->GetCount()));
  for (size_t i = 0; i < colors.size(); ++i) colors[i] = Palette->GetRGBQuad(static_cast<int>(i));
  return RenderBitmap32(colors, AScaleX, AScaleY);
}

std::unique_ptr<TBitmap32> TKvBitmap::RenderBitmap32(const std::vector<uint32_t>& AColors, int AScaleX,
                                                     int AScaleY) {
  if (AScaleX < 1 || AScaleY < 1) RaiseInternalError();
  auto result = std::make_unique<TBitmap32>();
  result->SetSize(Width * AScaleX, Height * AScaleY);
  const int count = static_cast<int>(AColors.size());
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int index = GetPixel(x, y);
      const TColor32 c = index >= 0 && index < count ? AColors[static_cast<size_t>(index)] : 0;
      for (int sy = 0; sy < AScaleY; ++sy) {
        TColor32* row = result->GetScanLine(y * AScaleY + sy) + x * AScaleX;
        for (int sx = 0; sx < AScaleX; ++sx) row[sx] = c;
      }
    }
  result->ResetAlpha();
  return result;
}

std::unique_ptr<TKvBitmap> TKvBitmap::CreateScaled(int AScaleX, int AScaleY) {
  if (AScaleX < 1 || AScaleY < 1) RaiseInternalError();
  std::unique_ptr<TKvBitmap> result = CreateSimilar(Width * AScaleX, Height * AScaleY);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int v = GetPixel(x, y);
      for (int sy = 0; sy < AScaleY; ++sy)
        for (int sx = 0; sx < AScaleX; ++sx) result->SetPixel(x * AScaleX + sx, y * AScaleY + sy, v);
    }
  return result;
}

TKvBitmap* TKvBitmap::AddFrame(TKvPalette* APalette) {
  std::unique_ptr<TKvBitmap> frame;
  const int n = APalette != nullptr ? APalette->GetCount() : 0;
  if (APalette == nullptr || n >= 257) frame = std::make_unique<TKvBitmap24>(Width, Height);
  else if (n < 3) frame = std::make_unique<TKvBitmap1>(Width, Height, APalette);
  else if (n < 17) frame = std::make_unique<TKvBitmap4>(Width, Height, APalette);
  else frame = std::make_unique<TKvBitmap8>(Width, Height, APalette);
  if (!Frames) Frames = std::make_unique<TKvBitmapList>();
  TKvBitmap* result = frame.get();
  Frames->Add(frame);
  return result;
}

std::unique_ptr<TKvBitmapList> TKvBitmap::ReleaseFrames() { return std::move(Frames); }

std::unique_ptr<TKvDIBSection> TKvBitmap::ReleaseHandle() { return std::move(Handle); }

// 1 bit ---------------------------------------------------------------------

TKvBitmap1::TKvBitmap1(int AWidth, int AHeight, TKvPalette* APalette) : TKvBitmap(AWidth, AHeight) {
  Palette->AssignColors(APalette);
  AllocateDIB(1, APalette);
}

int TKvBitmap1::GetPixel(int X, int Y) {
  X = MX(X);
  return (GetScanline(Y)[X >> 3] >> (7 - (X & 7))) & 1;
}

void TKvBitmap1::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = GetScanline(Y)[X >> 3];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  if (AColor != 0) b |= mask;
  else b &= static_cast<uint8_t>(~mask);
}

std::unique_ptr<TKvBitmap> TKvBitmap1::CreateSimilar(int AWidth, int AHeight) {
  return std::make_unique<TKvBitmap1>(AWidth, AHeight, nullptr);
}

TKvStdRGBColor TKvBitmap1::GetPixelStdRGB(int X, int Y) {
  return GetPixel(X, Y) != 0 ? StdRGBColor(255, 255, 255) : StdRGBColor(0, 0, 0);
}

std::unique_ptr<TBitmap32> TKvBitmap1::ToBitmap32(int AScaleX, int AScaleY) {
  if (Palette->GetCount() > 0) return TKvBitmap::ToBitmap32(AScaleX, AScaleY);
  return RenderBitmap32({0x000000, 0xFFFFFF}, AScaleX, AScaleY);
}

// 4 bits --------------------------------------------------------------------

TKvBitmap4::TKvBitmap4(int AWidth, int AHeight, TKvPalette* APalette) : TKvBitmap(AWidth, AHeight) {
  Palette->AssignColors(APalette);
  AllocateDIB(4, Palette.get());
}

int TKvBitmap4::GetPixel(int X, int Y) {
  X = MX(X);
  const uint8_t b = GetScanline(Y)[X >> 1];
  return (X & 1) ? (b & 0x0F) : (b >> 4);
}

void TKvBitmap4::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = GetScanline(Y)[X >> 1];
  if (X & 1) b = static_cast<uint8_t>((b & 0xF0) | (AColor & 0x0F));
  else b = static_cast<uint8_t>((b & 0x0F) | ((AColor & 0x0F) << 4));
}

std::unique_ptr<TKvBitmap> TKvBitmap4::CreateSimilar(int AWidth, int AHeight) {
  return std::make_unique<TKvBitmap4>(AWidth, AHeight, Palette.get());
}

TKvStdRGBColor TKvBitmap4::GetPixelStdRGB(int X, int Y) { return Palette->GetStdRGB(GetPixel(X, Y)); }

// 8 bits --------------------------------------------------------------------

TKvBitmap8::TKvBitmap8(int AWidth, int AHeight, TKvPalette* APalette) : TKvBitmap(AWidth, AHeight) {
  Palette->AssignColors(APalette);
  AllocateDIB(8, Palette.get());
}

int TKvBitmap8::GetPixel(int X, int Y) { return GetScanline(Y)[MX(X)]; }

void TKvBitmap8::SetPixel(int X, int Y, int AColor) { GetScanline(Y)[MX(X)] = static_cast<uint8_t>(AColor); }

std::unique_ptr<TKvBitmap> TKvBitmap8::CreateSimilar(int AWidth, int AHeight) {
  return std::make_unique<TKvBitmap8>(AWidth, AHeight, Palette.get());
}

TKvStdRGBColor TKvBitmap8::GetPixelStdRGB(int X, int Y) { return Palette->GetStdRGB(GetPixel(X, Y)); }

// 24 bits -------------------------------------------------------------------

TKvBitmap24::TKvBitmap24(int AWidth, int AHeight) : TKvBitmap(AWidth, AHeight) { AllocateDIB(24, nullptr); }

std::unique_ptr<TKvBitmap24> TKvBitmap24::CreateFromBitmap32(const TBitmap32& ABitmap) {
  auto result = std::make_unique<TKvBitmap24>(ABitmap.GetWidth(), ABitmap.GetHeight());
  for (int y = 0; y < result->Height; ++y) {
    const TColor32* src = const_cast<TBitmap32&>(ABitmap).GetScanLine(y);
    for (int x = 0; x < result->Width; ++x) result->SetPixel(x, y, static_cast<int>(src[x] & 0xFFFFFF));
  }
  return result;
}

int TKvBitmap24::GetPixel(int X, int Y) {
  const uint8_t* p = GetScanline(Y) + 3 * MX(X);
  return p[0] | (p[1] << 8) | (p[2] << 16);
}

void TKvBitmap24::SetPixel(int X, int Y, int AColor) {
  uint8_t* p = GetScanline(Y) + 3 * MX(X);
  p[0] = static_cast<uint8_t>(AColor);
  p[1] = static_cast<uint8_t>(AColor >> 8);
  p[2] = static_cast<uint8_t>(AColor >> 16);
}

std::unique_ptr<TBitmap32> TKvBitmap24::ToBitmap32(int AScaleX, int AScaleY) {
  if (AScaleX < 1 || AScaleY < 1) RaiseInternalError();
  auto result = std::make_unique<TBitmap32>();
  result->SetSize(Width * AScaleX, Height * AScaleY);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const TColor32 c = static_cast<TColor32>(GetPixel(x, y));
      for (int sy = 0; sy < AScaleY; ++sy) {
        TColor32* row = result->GetScanLine(y * AScaleY + sy) + x * AScaleX;
        for (int sx = 0; sx < AScaleX; ++sx) row[sx] = c;
      }
    }
  result->ResetAlpha();
  return result;
}

std::unique_ptr<TKvBitmap> TKvBitmap24::CreateSimilar(int AWidth, int AHeight) {
  return std::make_unique<TKvBitmap24>(AWidth, AHeight);
}

TKvStdRGBColor TKvBitmap24::GetPixelStdRGB(int X, int Y) {
  const int v = GetPixel(X, Y);
  return StdRGBColor(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
}

// ---------------------------------------------------------------------------

void InvertPixels(TKvData* AData) {
  for (int y = 0; y < AData->Height; ++y)
    for (int x = 0; x < AData->Width; ++x) AData->SetPixel(x, y, 1 - AData->GetPixel(x, y));
}

TKvBitmapList::~TKvBitmapList() {
  while (!FItems.empty()) FItems.pop_back();
}

int TKvBitmapList::Add(std::unique_ptr<TKvBitmap>& ABitmap) {
  FItems.push_back(std::move(ABitmap));
  return static_cast<int>(FItems.size()) - 1;
}

TKvBitmap32List::~TKvBitmap32List() {
  while (!FItems.empty()) FItems.pop_back();
}

int TKvBitmap32List::Add(std::unique_ptr<TBitmap32>& ABitmap) {
  FItems.push_back(std::move(ABitmap));
  return static_cast<int>(FItems.size()) - 1;
}
