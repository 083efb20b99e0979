#include "platforms/KvPlatformAgat.h"

#include <cstring>

#include "core/KvErrors.h"

namespace {

// Codes 96..127 and 224..255.
const char32_t AgatCyrillicSmall[33] = U"юабцдефгхийклмнопярстужвьызшэщчъ";
const char32_t AgatCyrillicCapital[33] = U"ЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ";

constexpr uint8_t AgatUnderscore = 223;

}  // namespace

const TKvStdRGBColor AgatColors[16] = {
    {0x00, 0x00, 0x00}, {0xD9, 0x00, 0x00}, {0x00, 0xD9, 0x00}, {0xD9, 0xD9, 0x00},
    {0x00, 0x00, 0xD9}, {0xD9, 0x00, 0xD9}, {0x00, 0xD9, 0xD9}, {0xD9, 0xD9, 0xD9},
    {0x26, 0x26, 0x26}, {0xFF, 0x26, 0x26}, {0x26, 0xFF, 0x26}, {0xFF, 0xFF, 0x26},
    {0x26, 0x26, 0xFF}, {0xFF, 0x26, 0xFF}, {0x26, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

const uint8_t AgatGrayLevels[16] = {0x00, 0x82, 0x59, 0xDD, 0x41, 0xC2, 0x97, 0xF1,
                                    0x27, 0xB9, 0x94, 0xF4, 0x6C, 0xE5, 0xC5, 0xFF};

uint8_t EncodeAgatChar(char32_t AChar) {
  // The small letters first, so that the grave accent takes 64 (not 94).
  if (AChar == U'`') return 64;
  if (AChar >= U'a' && AChar <= U'z') return static_cast<uint8_t>(65 + (AChar - U'a'));
  if (AChar == U'{') return 91;
  if (AChar == U'|') return 92;
  if (AChar == U'}') return 93;
  for (int i = 0; i < 32; ++i)
    if (AgatCyrillicSmall[i] == AChar) return static_cast<uint8_t>(96 + i);
  if (AChar >= 32 && AChar <= 95) return static_cast<uint8_t>(160 + (AChar - 32));
  for (int i = 0; i < 32; ++i)
    if (AgatCyrillicCapital[i] == AChar) return static_cast<uint8_t>(224 + i);
  return AgatUnderscore;
}

char32_t DecodeAgatChar(uint8_t ACode) {
  if (ACode == 64 || ACode == 94) return U'`';
  if (ACode >= 65 && ACode <= 90) return U'a' + (ACode - 65);
  if (ACode == 91) return U'{';
  if (ACode == 92) return U'|';
  if (ACode == 93) return U'}';
  if (ACode >= 96 && ACode <= 127) return AgatCyrillicSmall[ACode - 96];
  if (ACode >= 160 && ACode <= 223) return static_cast<char32_t>(32 + (ACode - 160));
  if (ACode >= 224) return AgatCyrillicCapital[ACode - 224];
  return U'_';
}

std::u32string AgatUtf8ToChars(const std::string& AText) {
  std::u32string r;
  size_t i = 0;
  while (i < AText.size()) {
    const uint8_t c = static_cast<uint8_t>(AText[i]);
    int n = 0;
    char32_t v = 0;
    if (c < 0x80) {
      v = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      v = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      v = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      v = c & 0x07;
    } else {
      r += U'?';
      ++i;
      continue;
    }
    bool ok = i + static_cast<size_t>(n) < AText.size();
    for (int k = 1; ok && k <= n; ++k) {
      const uint8_t d = static_cast<uint8_t>(AText[i + static_cast<size_t>(k)]);
      if ((d & 0xC0) != 0x80)
        ok = false;
      else
        v = (v << 6) | (d & 0x3F);
    }
    if (!ok) {
      r += U'?';
      ++i;
      continue;
    }
    r += v;
    i += static_cast<size_t>(n) + 1;
  }
  return r;
}

std::string AgatCharsToUtf8(const std::u32string& AChars) {
  std::string r;
  for (char32_t c : AChars) {
    if (c < 0x80) {
      r += static_cast<char>(c);
    } else if (c < 0x800) {
      r += static_cast<char>(0xC0 | (c >> 6));
      r += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      r += static_cast<char>(0xE0 | (c >> 12));
      r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      r += static_cast<char>(0xF0 | (c >> 18));
      r += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// Palettes

bool IsAgatPaletteType(TKvPaletteType AType) {
  switch (AType) {
    case ptColored15:
    case ptColored16:
    case ptColored8:
    case ptColoredBRGB:
    case ptColoredWRGB:
    case ptGray8:
    case ptGray16:
    case ptGrayBRGB:
    case ptGrayWRGB:
      return true;
    default:
      return false;
  }
}

namespace {
void AddGray(TKvPalette256& APalette, int AIndex) {
  const uint8_t g = AgatGrayLevels[AIndex];
  APalette.AddRGB(g, g, g);
}
}  // namespace

void BuildAgatPalette(TKvPalette256& APalette, TKvPaletteType AType) {
  APalette.Clear();
  switch (AType) {
    case ptColored15:
      for (int i = 0; i < 16; ++i)
        if (i != 8) APalette.AddStdRGB(AgatColors[i]);
      break;
    case ptColored16:
      for (int i = 0; i < 16; ++i) APalette.AddStdRGB(AgatColors[i]);
      break;
    case ptColored8:
      APalette.FillBGR8();
      break;
    case ptColoredBRGB:
    case ptColoredWRGB:
      for (int i : {AType == ptColoredBRGB ? 0 : 7, 1, 2, 4}) APalette.AddStdRGB(AgatColors[i]);
      APalette.NormalizeToWhite(0, 0);
      break;
    case ptGray8:
      for (int i = 0; i < 8; ++i) AddGray(APalette, i);
      APalette.NormalizeToWhite(0, 0);
      break;
    case ptGray16:
      for (int i = 0; i < 16; ++i) AddGray(APalette, i);
      break;
    case ptGrayBRGB:
    case ptGrayWRGB:
      for (int i : {AType == ptGrayBRGB ? 0 : 7, 1, 2, 4}) AddGray(APalette, i);
      APalette.NormalizeToWhite(0, 0);
      if (AType == ptGrayWRGB) APalette.NormalizeToBlack(0, 0);
      break;
    default:
      RaiseUnsupportedOption();
  }
}

void BuildAgatGrayPalette(TKvPalette256& APalette, TKvPaletteType AType) {
  TKvPalette256 p;
  BuildAgatPalette(p, AType);
  APalette.Clear();
  for (int i = 0; i < p.Count; ++i) {
    const TKvStdRGBColor c = p.GetStdRGB(i);
    if (c.R == c.G && c.G == c.B) APalette.AddUniqueLinRGB(p.GetLinRGB(i));
  }
  if (APalette.Count < 2) {
    int LDark = 0, LBright = 0;
    double LRange = 0;
    p.GetGrayRange(LDark, LBright, LRange);
    APalette.Clear();
    APalette.AddUniqueStdRGB(p.GetStdRGB(LDark));
    APalette.AddUniqueStdRGB(p.GetStdRGB(LBright));
  }
  APalette.SortByGray(0);
}

void BuildAgatBlackWhitePalette(TKvPalette256& APalette, TKvPaletteType AType) {
  TKvPalette256 p;
  BuildAgatPalette(p, AType);
  int LDark = 0, LBright = 0;
  double LRange = 0;
  p.GetGrayRange(LDark, LBright, LRange);
  APalette.Clear();
  APalette.AddColor(p.Colors[LDark]);
  APalette.AddColor(p.Colors[LBright]);
}

// ---------------------------------------------------------------------------
// The ".fil" file

void InitAgatFilHeader(uint8_t* AHeader, uint16_t ALength) {
  std::memset(AHeader, 0, AgatFilHeaderSize);
  std::memset(AHeader, 0xA0, AgatFilNameLength);
  AHeader[39] = 4;
  AHeader[41] = 0x20;
  AHeader[42] = static_cast<uint8_t>(ALength & 0xFF);
  AHeader[43] = static_cast<uint8_t>(ALength >> 8);
}

void InitAgatFilTrailer(uint8_t* ATrailer, uint8_t AMode, uint8_t AKind, const std::string& AComment) {
  std::memset(ATrailer, 0, AgatFilTrailerSize);
  ATrailer[0] = static_cast<uint8_t>(AgatFilTrailerMark & 0xFF);
  ATrailer[1] = static_cast<uint8_t>(AgatFilTrailerMark >> 8);
  ATrailer[2] = AMode;
  ATrailer[3] = AKind;
  std::memset(ATrailer + AgatFilCommentOffset, 0xAA, AgatFilCommentLength);
  WriteAgatFilComment(ATrailer, AComment);
}

void WriteAgatFilComment(uint8_t* ATrailer, const std::string& AComment) {
  const std::u32string s = AgatUtf8ToChars(AComment);
  for (size_t i = 0; i < s.size() && i < static_cast<size_t>(AgatFilCommentLength); ++i)
    ATrailer[AgatFilCommentOffset + i] = EncodeAgatChar(s[i]);
}

namespace {
std::unique_ptr<TKvPaletteRGB> AgatFilGrid() { return TKvPaletteRGB::CreateBits(4, 4, 4, false); }
}  // namespace

void SnapToAgatFilLevels(TKvPalette256& APalette) {
  auto grid = AgatFilGrid();
  for (int i = 0; i < APalette.Count; ++i) {
    const TKvStdRGBColor c = grid->GetStdRGB(grid->FindNearest(APalette.GetLinRGB(i)));
    if (!(APalette.GetStdRGB(i) == c)) APalette.Colors[i].SetStdRGB(c);
  }
}

void WriteAgatFilPalette(uint8_t* ATrailer, const TKvPalette256& APalette) {
  auto LRGB = AgatFilGrid();
  const int n = APalette.Count < AgatFilPaletteEntries ? APalette.Count : AgatFilPaletteEntries;
  for (int i = 0; i < n; ++i) {
    const int k = LRGB->FindNearest(APalette.GetLinRGB(i));
    uint8_t r = 0, g = 0, b = 0;
    LRGB->GetLevelIndexes(LRGB->GetStdRGB(k), r, g, b);
    const uint8_t levels[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
      uint8_t& v = ATrailer[4 + 16 * c + i / 2];
      if (i % 2 == 0)
        v = static_cast<uint8_t>(levels[c] << 4);
      else
        v = static_cast<uint8_t>(v | levels[c]);
    }
  }
}

TKvStdRGBColor ReadAgatFilPaletteEntry(const TKvBytes& ATrailer, int AIndex) {
  uint8_t levels[3];
  for (int c = 0; c < 3; ++c) {
    const uint8_t v = ATrailer.U8(4 + 16 * c + AIndex / 2);
    levels[c] = static_cast<uint8_t>(AIndex % 2 == 0 ? v >> 4 : v & 15);
  }
  return {static_cast<uint8_t>(levels[0] * 17), static_cast<uint8_t>(levels[1] * 17),
          static_cast<uint8_t>(levels[2] * 17)};
}

std::string ReadAgatFilComment(const TKvBytes& ATrailer) {
  std::u32string s;
  for (uint8_t b : ATrailer.Row(AgatFilCommentOffset, AgatFilCommentLength)) s += DecodeAgatChar(b);
  while (!s.empty() && s.back() == U'*') s.pop_back();
  auto blank = [](char32_t c) { return c <= U' '; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  size_t first = 0;
  while (first < s.size() && blank(s[first])) ++first;
  return AgatCharsToUtf8(s.substr(first));
}

bool AgatFilModeAllowed(uint32_t ALength, uint8_t AMode, uint8_t AKind) {
  // The palette kinds of the 16-colour screens; the 4-colour one takes the WRGB kinds as well.
  const bool color = AKind == AgatKindColor || AKind == AgatKindGray || AKind == AgatKind4096;
  const bool agat9 = color || AKind == AgatKindWRGB || AKind == AgatKindGrayWRGB;
  auto giga = [](uint8_t AFrameMode) { return AFrameMode + AgatGigaModeOffset; };
  switch (ALength) {
    case 2048:
      return AMode == AgatMode64x64x4 && color;
    case 4096:
      return AMode == giga(AgatMode64x64x4) && color;
    case 8192:
      return AMode == AgatMode256x256x1 || (AMode == AgatMode128x128x4 && color);
    case 8960:
      return AMode == AgatMode128x128x4 && AKind == AgatKindHAM;
    case 16384:
      return AMode == giga(AgatMode256x256x1) || AMode == AgatMode512x256x1 ||
             ((AMode == giga(AgatMode128x128x4) || AMode == AgatMode128x256x4) && color) ||
             (AMode == AgatMode256x256x2 && agat9);
    case 32768:
      return (AMode == giga(AgatMode256x256x2) && agat9) || AMode == giga(AgatMode512x256x1) ||
             (AMode == giga(AgatMode128x256x4) && color);
    default:
      return false;
  }
}
