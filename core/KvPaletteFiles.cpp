#include "core/KvPaletteFiles.h"

#include "bitmap/B32.h"
#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "rtl/KvClasses.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <memory>

void RaiseInvalidPalette() { throw Exception("Invalid palette"); }

void ReadStreamExact(std::istream& AStream, void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return;
  AStream.read(static_cast<char*>(ABuffer), static_cast<std::streamsize>(ACount));
  if (AStream.gcount() != static_cast<std::streamsize>(ACount)) throw EReadError("Stream read error");
}

int64_t StreamRemaining(std::istream& AStream) {
  const std::istream::pos_type pos = AStream.tellg();
  if (pos == std::istream::pos_type(-1)) return -1;
  AStream.seekg(0, std::ios::end);
  const std::istream::pos_type end = AStream.tellg();
  AStream.seekg(pos);
  if (end == std::istream::pos_type(-1)) return -1;
  const int64_t rest = static_cast<int64_t>(end) - static_cast<int64_t>(pos);
  return rest > 0 ? rest : 0;
}

namespace {

constexpr size_t KvMaxPaletteLine = 1600;

// Text with its trailing control characters and blanks removed.
std::string TrimRight(const std::string& S) {
  size_t n = S.size();
  while (n > 0 && static_cast<unsigned char>(S[n - 1]) <= ' ') --n;
  return S.substr(0, n);
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// A decimal number 0..255 at APos; moves APos past it.
bool ParseByte(const std::string& S, size_t& APos, uint8_t& AValue) {
  if (APos >= S.size() || !IsDigit(S[APos])) return false;
  int v = 0;
  while (APos < S.size() && IsDigit(S[APos])) {
    v = v * 10 + (S[APos] - '0');
    if (v > 255) return false;
    ++APos;
  }
  AValue = static_cast<uint8_t>(v);
  return true;
}

// At least one blank; moves APos past all of them.
bool SkipBlanks(const std::string& S, size_t& APos) {
  const size_t start = APos;
  while (APos < S.size() && S[APos] == ' ') ++APos;
  return APos > start;
}

// "R G B" with blanks before, between and after, and nothing else.
bool ParseJASCColor(const std::string& S, uint8_t& R, uint8_t& G, uint8_t& B) {
  size_t p = 0;
  SkipBlanks(S, p);
  if (!ParseByte(S, p, R) || !SkipBlanks(S, p) || !ParseByte(S, p, G) || !SkipBlanks(S, p) || !ParseByte(S, p, B))
    return false;
  SkipBlanks(S, p);
  return p == S.size();
}

// "R G B", then optionally a blank or tab and a name. R and G end at a
// blank; B at a blank or a tab.
bool ParseGIMPColor(const std::string& S, uint8_t& R, uint8_t& G, uint8_t& B) {
  size_t p = 0;
  SkipBlanks(S, p);
  if (!ParseByte(S, p, R) || !SkipBlanks(S, p) || !ParseByte(S, p, G) || !SkipBlanks(S, p) || !ParseByte(S, p, B))
    return false;
  return p == S.size() || S[p] == ' ' || S[p] == '\t';
}

// Holds back change notifications while a reader fills the palette; the one
// notification comes at the end, also when the reader fails part-way.
struct TUpdateScope {
  explicit TUpdateScope(TKvPalette256& APalette) : Palette(APalette) { Palette.BeginUpdate(); }
  ~TUpdateScope() { Palette.EndUpdate(); }
  TKvPalette256& Palette;
};

std::string LowerExtension(const std::string& APath) {
  std::string ext = ExtractFileExt(APath);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// Copies the palette of a picture, decoded with only its palette asked for.
void LoadPicturePalette(TKvPalette256& ATarget, const TKvSourceImage& AImage) {
  std::unique_ptr<TBitmap32> bmp;
  std::unique_ptr<TKvPalette256> palette, used;
  DecodeBitmap(AImage, bmp, palette, used, kvdoPalette);
  if (!palette) RaiseInvalidPalette();
  if (palette->Count > 256) throw ETooManyColors();
  ATarget.AssignColors(palette.get());
}

}  // namespace

uint8_t DetectFileType(std::istream& AStream) {
  const std::istream::pos_type pos = AStream.tellg();
  uint8_t b[12] = {};
  AStream.read(reinterpret_cast<char*>(b), 12);
  const std::streamsize got = AStream.gcount();
  AStream.clear();
  AStream.seekg(pos);
  if (got < 8) throw EReadError("Stream read error");
  if (b[0] == 'B' && b[1] == 'M') return kvftBMP;
  if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return kvftJPEG;
  if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return kvftPNG;
  if (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0) return kvftGIF;
  if (std::memcmp(b, "JASC-PAL", 8) == 0) return kvftJASC;
  if (std::memcmp(b, "RIFF", 4) == 0) return kvftRIFF;
  if (got >= 12 && std::memcmp(b, "GIMP Palette", 12) == 0) return kvftGIMP;
  return kvftUnknown;
}

bool ReadPaletteLine(std::istream& AStream, std::string& ALine) {
  ALine.clear();
  std::istream::int_type c;
  // Skip the line ends before the line.
  while ((c = AStream.get()) != std::istream::traits_type::eof() && (c == 13 || c == 10)) {
  }
  if (c == std::istream::traits_type::eof()) {
    AStream.clear(AStream.rdstate() & ~std::ios::failbit);
    return false;
  }
  while (c != std::istream::traits_type::eof() && c != 13 && c != 10) {
    if (ALine.size() >= KvMaxPaletteLine) RaiseInvalidPalette();
    ALine += static_cast<char>(c);
    c = AStream.get();
  }
  if (c == std::istream::traits_type::eof()) AStream.clear(AStream.rdstate() & ~std::ios::failbit);
  return true;
}

// ---------------------------------------------------------------------------

void TKvPalette256::LoadFromFile(const std::string& AFileName) {
  FileName = AFileName;
  Name = ExtractFileName(AFileName);
  std::ifstream f(AFileName, std::ios::binary);
  if (!f) throw EFOpenError("Cannot open file \"" + AFileName + "\". " + std::strerror(errno));
  const int64_t size = StreamRemaining(f);
  if ((size == 768 || size == 772) && LowerExtension(AFileName) == ".act") LoadFromACTStream(f);
  else LoadFromStream(f);
}

void TKvPalette256::LoadFromStream(std::istream& AStream) {
  switch (DetectFileType(AStream)) {
    case kvftBMP: LoadFromBMPStream(AStream); return;
    case kvftPNG: LoadFromPNGStream(AStream); return;
    case kvftGIF: LoadFromGIFStream(AStream); return;
    case kvftJASC: LoadFromJASCStream(AStream); return;
    case kvftGIMP: LoadFromGIMPStream(AStream); return;
    case kvftRIFF: LoadFromRIFFStream(AStream); return;
    case kvftUnknown: {
      const int64_t rest = StreamRemaining(AStream);
      if (rest == 768 || rest == 772) {
        LoadFromACTStream(AStream);
        return;
      }
      break;
    }
    default: break;
  }
  throw Exception("Unknown palette type");
}

void TKvPalette256::LoadFromACTStream(std::istream& AStream) {
  TUpdateScope scope(*this);
  Count = 0;
  uint8_t rgb[768];
  ReadStreamExact(AStream, rgb, 768);
  int n = 256;
  uint8_t trailer[4];
  AStream.read(reinterpret_cast<char*>(trailer), 4);
  if (AStream.gcount() == 4) {
    const TKvBytes fields(trailer, 4);
    const int count = fields.Be16(0);
    const int transparent = fields.Be16(2);
    if (count <= 256 && transparent == 0xFFFF) n = count;
  } else {
    AStream.clear(AStream.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
  }
  for (int i = 0; i < n; ++i) AddRGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
}

void TKvPalette256::LoadFromJASCStream(std::istream& AStream) {
  std::string line;
  if (!ReadPaletteLine(AStream, line) || TrimRight(line) != "JASC-PAL") RaiseInvalidPalette();
  if (!ReadPaletteLine(AStream, line) || TrimRight(line) != "0100") RaiseInvalidPalette();
  if (!ReadPaletteLine(AStream, line)) RaiseInvalidPalette();
  line = TrimRight(line);
  size_t p = 0;
  SkipBlanks(line, p);
  int n = 0;
  if (p >= line.size()) RaiseInvalidPalette();
  for (; p < line.size(); ++p) {
    if (!IsDigit(line[p])) RaiseInvalidPalette();
    n = n * 10 + (line[p] - '0');
    if (n > 256) RaiseInvalidPalette();
  }
  if (n < 1) RaiseInvalidPalette();
  TUpdateScope scope(*this);
  Count = 0;
  for (int i = 0; i < n; ++i) {
    uint8_t r, g, b;
    if (!ReadPaletteLine(AStream, line) || !ParseJASCColor(line, r, g, b)) RaiseInvalidPalette();
    AddRGB(r, g, b);
  }
}

void TKvPalette256::LoadFromGIMPStream(std::istream& AStream) {
  std::string line;
  if (!ReadPaletteLine(AStream, line) || TrimRight(line) != "GIMP Palette") RaiseInvalidPalette();
  TUpdateScope scope(*this);
  Count = 0;
  bool colors = false;  // after the first comment line
  while (ReadPaletteLine(AStream, line)) {
    if (line[0] == '#') {
      colors = true;
      continue;
    }
    if (!colors) continue;
    uint8_t r, g, b;
    if (!ParseGIMPColor(line, r, g, b)) RaiseInvalidPalette();
    AddUniqueRGB(r, g, b);
  }
  if (Count == 0) RaiseInvalidPalette();
}

void TKvPalette256::LoadFromRIFFStream(std::istream& AStream) {
  uint8_t headBytes[12];
  ReadStreamExact(AStream, headBytes, 12);
  const TKvBytes head(headBytes, 12);
  if (!head.Same(0, "RIFF", 4) || head.Le32(4) > 2048 || !head.Same(8, "PAL ", 4)) RaiseInvalidPalette();
  TUpdateScope scope(*this);
  Count = 0;
  for (;;) {
    uint8_t chunkBytes[8];
    ReadStreamExact(AStream, chunkBytes, 8);
    const TKvBytes chunk(chunkBytes, 8);
    const uint32_t size = chunk.Le32(4);
    if (!chunk.Same(0, "data", 4)) {
      const int64_t rest = StreamRemaining(AStream);
      if (rest >= 0 && size > rest) throw EReadError("Stream read error");
      AStream.seekg(static_cast<std::streamoff>(size), std::ios::cur);
      continue;
    }
    if (size < 5) RaiseInvalidPalette();
    uint8_t lpBytes[4];
    ReadStreamExact(AStream, lpBytes, 4);
    const TKvBytes lp(lpBytes, 4);
    const int count = lp.Le16(2);
    if (lp.Le16(0) != 0x0300 || count < 1 || count > 256 || size != static_cast<uint32_t>(count) * 4 + 4)
      RaiseInvalidPalette();
    uint8_t entries[256 * 4];
    ReadStreamExact(AStream, entries, count * 4);
    for (int i = 0; i < count; ++i) AddUniqueRGB(entries[4 * i], entries[4 * i + 1], entries[4 * i + 2]);
    return;
  }
}

void TKvPalette256::LoadFromBMPStream(std::istream& AStream) { LoadPicturePalette(*this, ReadBMPImage(AStream)); }

void TKvPalette256::LoadFromPNGStream(std::istream& AStream) { LoadPicturePalette(*this, ReadPNGImage(AStream)); }

void TKvPalette256::LoadFromGIFStream(std::istream& AStream) { LoadPicturePalette(*this, ReadGIFImage(AStream)); }

void TKvPalette256::SaveToFile(const std::string& AFileName) const {
  std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(Count) + "\r\n";
  for (int i = 0; i < Count; ++i) {
    const TKvStdRGBColor c = GetStdRGB(i);
    text += std::to_string(c.R) + ' ' + std::to_string(c.G) + ' ' + std::to_string(c.B) + "\r\n";
  }
  SaveBytesToFile(AFileName, text.data(), static_cast<int64_t>(text.size()));
}
