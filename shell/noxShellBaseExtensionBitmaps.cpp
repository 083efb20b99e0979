#include "shell/noxShellBaseExtensionBitmaps.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "shell/noxShellBaseExtensionStreams.h"
#include "shell/noxShellBaseExtensionSystem.h"

int64_t DIBRowBytes(int64_t AWidth, int ABitCount) {
  const int bits = ABitCount == 15 ? 16 : ABitCount;
  return ((AWidth * bits + 31) & ~int64_t(31)) / 8;
}

int DIBColorCount(int ABitCount) { return ABitCount >= 1 && ABitCount <= 8 ? 1 << ABitCount : 0; }

uint32_t LowBitMask(int ABitCount) { return ABitCount >= 1 && ABitCount <= 8 ? (1u << ABitCount) - 1 : 0; }

namespace {

constexpr int32_t MaxDIBSide = 32768;

bool ValidBitCount(int b) { return b == 1 || b == 4 || b == 8 || b == 15 || b == 16 || b == 24 || b == 32; }

}  // namespace

std::unique_ptr<TnoxDIB> CreateDIB(int32_t AWidth, int32_t AHeight, int ABitCount,
                                   const std::array<uint32_t, 256>* AColorTable) {
  if (AWidth < 0 || AHeight < 0 || AWidth > MaxDIBSide || AHeight > MaxDIBSide || !ValidBitCount(ABitCount))
    RaiseOutOfResources();
  auto dib = std::make_unique<TnoxDIB>();
  dib->Width = AWidth;
  dib->Height = AHeight;
  dib->BitCount = ABitCount;
  dib->Bits.assign(static_cast<size_t>(DIBRowBytes(AWidth, ABitCount) * AHeight), 0);
  if (AColorTable) {
    dib->ColorTable = *AColorTable;
  } else {
    dib->ColorTable[0] = 0x000000;
    dib->ColorTable[1] = 0xFFFFFF;
  }
  return dib;
}

int GetBitmapBitsPerPixel(const TnoxDIB& ABitmap) { return ABitmap.BitCount; }

int64_t GetBitmapDataSize(const TnoxDIB& ABitmap) {
  return DIBRowBytes(ABitmap.Width, ABitmap.BitCount) * ABitmap.Height;
}

uint32_t ReadDIBPixel(const uint8_t*& ACursor, int& ABitOffset, int ABitCount, const uint32_t* AColorTable) {
  switch (ABitCount) {
    case 1:
    case 4:
    case 8: {
      const uint32_t index = (*ACursor >> (8 - ABitCount - ABitOffset)) & LowBitMask(ABitCount);
      ABitOffset += ABitCount;
      if (ABitOffset >= 8) {
        ABitOffset = 0;
        ++ACursor;
      }
      return (AColorTable[index] & 0xFFFFFF) | 0xFF000000u;
    }
    case 15:
    case 16: {
      const uint32_t w = ACursor[0] | (ACursor[1] << 8);
      ACursor += 2;
      return 0xFF000000u | (((w >> 10) & 31) << 19) | (((w >> 5) & 31) << 11) | ((w & 31) << 3);
    }
    case 24: {
      const uint32_t p = 0xFF000000u | (ACursor[2] << 16) | (ACursor[1] << 8) | ACursor[0];
      ACursor += 3;
      return p;
    }
    case 32: {
      const uint32_t p = (uint32_t(ACursor[3]) << 24) | (ACursor[2] << 16) | (ACursor[1] << 8) | ACursor[0];
      ACursor += 4;
      return p;
    }
    default:
      throw Exception("Not supported yet");
  }
}

bool BitmapHasAlpha(const TnoxDIB& ABitmap) {
  if (ABitmap.BitCount < 32) return false;
  for (int32_t y = 0; y < ABitmap.Height; ++y) {
    const uint8_t* row = ABitmap.Row(y);
    for (int32_t x = 0; x < ABitmap.Width; ++x)
      if (row[x * 4 + 3]) return true;
  }
  return false;
}

std::unique_ptr<TnoxDIB> ConvertToMonochrome(const TnoxDIB& ABitmap) {
  auto mono = CreateDIB(ABitmap.Width, ABitmap.Height, 1);
  for (int32_t y = 0; y < ABitmap.Height; ++y) {
    const uint8_t* src = ABitmap.Row(y);
    int offset = 0;
    uint8_t* dst = mono->Row(y);
    for (int32_t x = 0; x < ABitmap.Width; ++x) {
      const uint32_t p = ReadDIBPixel(src, offset, ABitmap.BitCount, ABitmap.ColorTable.data());
      const double lum = 0.2126 * ((p >> 16) & 0xFF) + 0.7152 * ((p >> 8) & 0xFF) + 0.0722 * (p & 0xFF);
      if (lum > 127.0) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
  return mono;
}

std::unique_ptr<TnoxDIB> ResizeBitmap(const TnoxDIB& ABitmap, int32_t AWidth, int32_t AHeight) {
  auto out = CreateDIB(AWidth, AHeight, ABitmap.BitCount, &ABitmap.ColorTable);
  const int bits = ABitmap.BitCount == 15 ? 16 : ABitmap.BitCount;
  for (int32_t y = 0; y < AHeight; ++y) {
    const auto sy = static_cast<int32_t>(std::trunc(double(y) * ABitmap.Height / AHeight));
    const uint8_t* src = ABitmap.Row(sy);
    uint8_t* dst = out->Row(y);
    for (int32_t x = 0; x < AWidth; ++x) {
      const auto sx = static_cast<int32_t>(std::trunc(double(x) * ABitmap.Width / AWidth));
      if (bits < 8) {
        const int64_t sbit = int64_t(sx) * bits, dbit = int64_t(x) * bits;
        for (int b = 0; b < bits; ++b) {
          const int64_t s = sbit + b, d = dbit + b;
          if (src[s >> 3] & (0x80 >> (s & 7))) dst[d >> 3] |= static_cast<uint8_t>(0x80 >> (d & 7));
        }
      } else {
        const int n = bits / 8;
        std::memcpy(dst + int64_t(x) * n, src + int64_t(sx) * n, n);
      }
    }
  }
  return out;
}

int SelectIconImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const TIconSizes& ASizes) {
  if (ASizes.empty()) return 0;
  std::vector<int> list(ASizes.size());
  for (size_t i = 0; i < list.size(); ++i) list[i] = static_cast<int>(i);
  auto maxBits = [&] {
    int32_t m = INT32_MIN;
    for (int i : list) m = std::max(m, ASizes[i].BitCount);
    return m;
  };
  auto minBits = [&] {
    int32_t m = INT32_MAX;
    for (int i : list) m = std::min(m, ASizes[i].BitCount);
    return m;
  };
  auto dropIf = [&](auto pred) { list.erase(std::remove_if(list.begin(), list.end(), pred), list.end()); };
  const int32_t mx = maxBits(), mn = minBits();
  if (mx < ABitCount) {
    dropIf([&](int i) { return ASizes[i].BitCount < mx; });
  } else if (ABitCount < mn) {
    dropIf([&](int i) { return ASizes[i].BitCount > mn; });
  } else {
    dropIf([&](int i) { return ASizes[i].BitCount > ABitCount; });
    const int32_t m2 = maxBits();
    dropIf([&](int i) { return ASizes[i].BitCount < m2; });
  }
  auto area = [&](int i) { return int64_t(ASizes[i].Width) * ASizes[i].Height; };
  for (size_t pass = 0; pass + 1 < list.size(); ++pass)
    for (size_t j = 0; j + 1 < list.size() - pass; ++j)
      if (area(list[j]) > area(list[j + 1])) std::swap(list[j], list[j + 1]);
  for (int i : list)
    if (ASizes[i].Width >= AWidth && ASizes[i].Height >= AHeight) return i;
  return list.back();
}

namespace {

uint32_t ReadBE32(TStream& s) {
  uint8_t b[4];
  s.ReadBuffer(b, 4);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

template <class T>
T ReadLE(TStream& s) {
  uint8_t b[sizeof(T)];
  s.ReadBuffer(b, sizeof(T));
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t(b[i]) << (8 * i);
  return static_cast<T>(v);
}

const uint8_t PngSignature[4] = {0x89, 0x50, 0x4E, 0x47};

}  // namespace

void ReadPngDimensions(TStream& AStream, TnoxPngDim& ADims) {
  ADims = TnoxPngDim();
  AStream.Seek(8, soCurrent);
  for (;;) {
    const uint32_t length = ReadBE32(AStream);
    char type[4];
    AStream.ReadBuffer(type, 4);
    if (std::memcmp(type, "IHDR", 4) != 0) {
      AStream.Seek(int64_t(length) + 4, soCurrent);
      if (std::memcmp(type, "IEND", 4) == 0) return;
      continue;
    }
    ADims.Width = static_cast<int32_t>(ReadBE32(AStream));
    ADims.Height = static_cast<int32_t>(ReadBE32(AStream));
    uint8_t depthType[2];
    AStream.ReadBuffer(depthType, 2);
    const int32_t depth = depthType[0];
    switch (depthType[1]) {
      case 0:
      case 3: ADims.ColorBits = depth; break;
      case 2: ADims.ColorBits = 3 * depth; break;
      case 4: ADims.ColorBits = depth; ADims.AlphaBits = depth; break;
      case 6: ADims.ColorBits = 3 * depth; ADims.AlphaBits = depth; break;
      default: break;
    }
    return;
  }
}

TnoxIcon ResizeIcon(const TnoxIcon& AIcon, int32_t AWidth, int32_t AHeight) {
  if (AIcon.Width == AWidth && AIcon.Height == AHeight) return AIcon;
  TnoxIcon out;
  if (AWidth <= 0 || AHeight <= 0 || AIcon.Width <= 0 || AIcon.Height <= 0) return out;
  out.Width = AWidth;
  out.Height = AHeight;
  out.Pixels.resize(static_cast<size_t>(AWidth) * AHeight);
  for (int32_t y = 0; y < AHeight; ++y) {
    const auto sy = static_cast<int32_t>(std::trunc(double(y) * AIcon.Height / AHeight));
    for (int32_t x = 0; x < AWidth; ++x) {
      const auto sx = static_cast<int32_t>(std::trunc(double(x) * AIcon.Width / AWidth));
      out.Pixels[size_t(y) * AWidth + x] = AIcon.Pixels[size_t(sy) * AIcon.Width + sx];
    }
  }
  return out;
}

namespace {

// Icon images in files are small; anything larger is damaged data.
constexpr int32_t MaxIconSide = 1024;

struct TBmpHeader {
  int32_t Width = 0, Height = 0;  // Height of the image, not of colour + mask
  bool TopDown = false;
  int BitCount = 0;
  uint32_t Compression = 0;
};

TBmpHeader ReadBmpHeader(TStream& s) {
  uint8_t h[40];
  s.ReadBuffer(h, 40);
  auto le32 = [&](int o) { return int32_t(uint32_t(h[o]) | uint32_t(h[o + 1]) << 8 | uint32_t(h[o + 2]) << 16 | uint32_t(h[o + 3]) << 24); };
  TBmpHeader r;
  r.Width = le32(4);
  const int32_t biHeight = le32(8);
  r.TopDown = biHeight < 0;
  r.Height = static_cast<int32_t>(std::llabs(int64_t(biHeight)) / 2);
  r.BitCount = h[14] | (h[15] << 8);
  if (r.BitCount == 15) r.BitCount = 16;
  r.Compression = static_cast<uint32_t>(le32(16));
  // Newer headers are longer than 40 bytes; the colour table follows the
  // whole header, wherever its declared size puts it.
  const uint32_t size = static_cast<uint32_t>(le32(0));
  if (size < 40) throw EReadError("Invalid icon image");
  if (size > 40) {
    if (s.Remaining() < int64_t(size) - 40) throw EReadError("Stream read error");
    s.Seek(int64_t(size) - 40, soCurrent);
  }
  return r;
}

[[noreturn]] void InvalidIconImage() { throw EReadError("Invalid icon image"); }

TnoxIcon LoadBmpIconFromStream(TStream& s, int32_t AWidth, int32_t AHeight) {
  const TBmpHeader hdr = ReadBmpHeader(s);
  if (hdr.Width < 1 || hdr.Height < 1 || hdr.Width > MaxIconSide || hdr.Height > MaxIconSide)
    InvalidIconImage();
  if (hdr.BitCount != 1 && hdr.BitCount != 4 && hdr.BitCount != 8 && hdr.BitCount != 16 && hdr.BitCount != 24 &&
      hdr.BitCount != 32)
    throw Exception("Not supported yet");
  if (hdr.Compression != 0) InvalidIconImage();
  std::array<uint32_t, 256> table{};
  for (int i = 0, n = DIBColorCount(hdr.BitCount); i < n; ++i) {
    uint8_t q[4];
    s.ReadBuffer(q, 4);
    table[i] = (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0];
  }
  const int64_t rowBytes = DIBRowBytes(hdr.Width, hdr.BitCount);
  const int64_t maskRow = DIBRowBytes(hdr.Width, 1);
  if (s.Remaining() < (rowBytes + maskRow) * hdr.Height) throw EReadError("Stream read error");
  std::vector<uint8_t> color(static_cast<size_t>(rowBytes * hdr.Height));
  std::vector<uint8_t> mask(static_cast<size_t>(maskRow * hdr.Height));
  // The colour rows, then the mask rows; bottom-up images store the bottom row first.
  for (int32_t r = 0; r < hdr.Height; ++r) {
    const int32_t y = hdr.TopDown ? r : hdr.Height - 1 - r;
    s.ReadBuffer(color.data() + y * rowBytes, rowBytes);
  }
  for (int32_t r = 0; r < hdr.Height; ++r) {
    const int32_t y = hdr.TopDown ? r : hdr.Height - 1 - r;
    s.ReadBuffer(mask.data() + y * maskRow, maskRow);
  }
  TnoxIcon icon;
  icon.Width = hdr.Width;
  icon.Height = hdr.Height;
  icon.Pixels.resize(static_cast<size_t>(hdr.Width) * hdr.Height);
  bool hasAlpha = false;
  if (hdr.BitCount == 32)
    for (int64_t i = 3; i < static_cast<int64_t>(color.size()) && !hasAlpha; i += 4) hasAlpha = color[i] != 0;
  for (int32_t y = 0; y < hdr.Height; ++y) {
    const uint8_t* cur = color.data() + y * rowBytes;
    int offset = 0;
    const uint8_t* m = mask.data() + y * maskRow;
    for (int32_t x = 0; x < hdr.Width; ++x) {
      uint32_t p = ReadDIBPixel(cur, offset, hdr.BitCount, table.data());
      const bool transparent = m[x >> 3] & (0x80 >> (x & 7));
      if (!hasAlpha) p = transparent ? 0 : (p | 0xFF000000u);
      icon.Pixels[size_t(y) * hdr.Width + x] = p;
    }
  }
  if (AWidth && AHeight && (AWidth != icon.Width || AHeight != icon.Height)) return ResizeIcon(icon, AWidth, AHeight);
  return icon;
}

bool StartsWithPng(const uint8_t (&b)[4]) { return std::memcmp(b, PngSignature, 4) == 0; }

}  // namespace

std::unique_ptr<TnoxIcon> LoadIconFromIcoStream(TStream& AStream, int32_t AWidth, int32_t AHeight,
                                                int32_t ABitCount) {
  AStream.SetPosition(0);
  const auto reserved = ReadLE<uint16_t>(AStream);
  const auto type = ReadLE<uint16_t>(AStream);
  const auto count = ReadLE<uint16_t>(AStream);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return nullptr;
  std::vector<uint32_t> offsets;
  for (int i = 0; i < count; ++i) {
    uint8_t e[16];
    AStream.ReadBuffer(e, 16);
    offsets.push_back(uint32_t(e[12]) | uint32_t(e[13]) << 8 | uint32_t(e[14]) << 16 | uint32_t(e[15]) << 24);
  }
  TIconSizes sizes;
  for (uint32_t off : offsets) {
    AStream.SetPosition(off);
    uint8_t sig[4];
    AStream.ReadBuffer(sig, 4);
    AStream.Seek(-4, soCurrent);
    if (StartsWithPng(sig)) {
      // No imaging component to decode it: it takes part as 0 x 0 x 0.
      sizes.push_back({0, 0, 0});
      continue;
    }
    const TBmpHeader h = ReadBmpHeader(AStream);
    sizes.push_back({h.Width, h.Height, h.BitCount});
  }
  const int chosen = SelectIconImage(AWidth, AHeight, ABitCount, sizes);
  AStream.SetPosition(offsets[chosen]);
  uint8_t sig[4];
  AStream.ReadBuffer(sig, 4);
  AStream.Seek(-4, soCurrent);
  if (StartsWithPng(sig)) CheckHResult(E_NOTIMPL);
  return std::make_unique<TnoxIcon>(LoadBmpIconFromStream(AStream, AWidth, AHeight));
}

namespace {

[[noreturn]] void LoadIconFromLibrary(const std::string& APath) {
  // Executable modules and their resources do not exist on this system.
  RaiseOSError(APath.find_first_of("\\/") == std::string::npos ? ERROR_MOD_NOT_FOUND : ERROR_NOT_SUPPORTED);
}

}  // namespace

std::unique_ptr<TnoxIcon> LoadIconFromFile(const std::string& APath, int32_t, int32_t AWidth, int32_t AHeight,
                                           int32_t ABitCount) {
  if (APath.find_first_of("\\/") == std::string::npos) LoadIconFromLibrary(APath);
  try {
    TnoxFileStream file(APath, nfmRead);
    uint8_t sig[4] = {};
    file.Read(sig, 4);
    if (sig[0] == 'M' && sig[1] == 'Z') LoadIconFromLibrary(APath);
    if (StartsWithPng(sig)) CheckHResult(E_NOTIMPL);
    return LoadIconFromIcoStream(file, AWidth, AHeight, ABitCount);
  } catch (const std::exception&) {
    LoadIconFromLibrary(APath);
  }
}

std::unique_ptr<TnoxIcon> LoadIconFromLocation(const std::string& ALocation, int32_t AWidth, int32_t AHeight,
                                               int32_t ABitCount) {
  try {
    if (ALocation.empty()) return nullptr;
    std::string path = ExpandEnvironment(ALocation);
    const size_t sep = path.find_last_of("\\/");
    const size_t dot = path.find_last_of('.');
    int32_t id = 0;
    if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) {
      const size_t comma = path.find_last_of(',');
      if (comma != std::string::npos && comma > dot) {
        std::string number = path.substr(comma + 1);
        auto trim = [](std::string& s) {
          while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
          size_t i = 0;
          while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
          s.erase(0, i);
        };
        trim(number);
        char* end = nullptr;
        const long v = std::strtol(number.c_str(), &end, 10);
        id = (!number.empty() && end && *end == '\0') ? static_cast<int32_t>(std::labs(v)) : 0;
        path.resize(comma);
        while (!path.empty() && std::isspace(static_cast<unsigned char>(path.back()))) path.pop_back();
      }
    }
    return LoadIconFromFile(path, id, AWidth, AHeight, ABitCount);
  } catch (...) {
    return nullptr;
  }
}
