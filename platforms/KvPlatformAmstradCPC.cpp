#include "platforms/KvPlatformAmstradCPC.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "core/KvErrors.h"

namespace {

struct TCPCColor {
  uint8_t Hardware;
  double GateArray[3];
  double ASIC[3];
};

// Percentages of full intensity, in firmware order.
const TCPCColor CPCColors[CPCColorCount] = {
    {0x54, {0.0, 0.9615, 0.4808}, {0.823, 2.8807, 0.823}},
    {0x44, {0.0, 0.9615, 41.8269}, {2.0576, 2.4691, 38.6831}},
    {0x55, {4.8077, 0.9615, 95.6731}, {2.0576, 2.8807, 94.6502}},
    {0x5C, {42.3077, 0.9615, 0.4808}, {40.3292, 2.4691, 0.0}},
    {0x58, {41.3462, 0.9615, 40.8654}, {40.7407, 2.8807, 39.0947}},
    {0x5D, {42.3077, 0.9615, 94.7115}, {40.7407, 2.8807, 94.6502}},
    {0x4C, {95.1923, 1.9231, 2.4038}, {99.177, 2.8807, 1.6461}},
    {0x45, {94.2308, 0.9615, 40.8654}, {100.0, 2.8807, 39.0947}},
    {0x4D, {95.1923, 0.9615, 95.6731}, {99.177, 2.8807, 95.0617}},
    {0x56, {0.9615, 47.1154, 0.4808}, {1.6461, 40.3292, 1.2346}},
    {0x46, {0.0, 47.1154, 40.8654}, {1.6461, 40.3292, 39.0947}},
    {0x57, {4.8077, 48.0769, 95.6731}, {2.0576, 40.3292, 94.6502}},
    {0x5E, {43.2692, 48.0769, 0.4808}, {40.7407, 40.3292, 1.6461}},
    {0x40, {43.2692, 49.0385, 41.8269}, {40.7407, 40.3292, 39.0947}},
    {0x5F, {43.2692, 48.0769, 96.6346}, {40.7407, 40.3292, 94.6502}},
    {0x4E, {95.1923, 49.0385, 5.2885}, {99.177, 40.3292, 1.6461}},
    {0x47, {95.1923, 49.0385, 41.8269}, {99.177, 40.3292, 38.6831}},
    {0x4F, {98.0769, 50.0, 97.5962}, {99.177, 40.3292, 94.6502}},
    {0x52, {0.9615, 94.2308, 0.4808}, {1.6461, 95.8848, 0.823}},
    {0x42, {0.0, 95.1923, 41.8269}, {1.6461, 95.8848, 38.2716}},
    {0x53, {5.7692, 95.1923, 94.7115}, {1.6461, 95.8848, 94.6502}},
    {0x5A, {44.2308, 96.1538, 1.4423}, {40.7407, 95.8848, 0.0}},
    {0x59, {44.2308, 95.1923, 41.8269}, {40.7407, 95.8848, 39.0947}},
    {0x5B, {44.2308, 95.1923, 95.6731}, {40.7407, 95.8848, 94.6502}},
    {0x4A, {95.1923, 95.1923, 5.2885}, {99.5885, 95.8848, 1.6461}},
    {0x43, {95.1923, 95.1923, 42.7885}, {99.177, 95.8848, 38.6831}},
    {0x4B, {100.0, 95.1923, 97.5962}, {99.177, 95.8848, 94.2387}},
};

uint8_t PercentByte(double p) {
  const double v = std::nearbyint(p * 255 / 100);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The gate array's or the ASIC's levels of the colour, as linear light or,
// for the "RGB" kinds, as sRGB bytes.
void AddCPCColor(TKvPalette256& APalette, TKvPaletteType APaletteType, int AFirmware) {
  const TCPCColor& c = CPCColors[AFirmware];
  if (APaletteType < ptCPCGateArray || APaletteType > ptCPCASICRGB) RaiseUnsupportedOption();
  const bool asic = APaletteType == ptCPCASIC || APaletteType == ptCPCASICRGB;
  const double (&v)[3] = asic ? c.ASIC : c.GateArray;
  if (APaletteType == ptCPCGateArrayRGB || APaletteType == ptCPCASICRGB)
    APalette.AddStdRGB({PercentByte(v[0]), PercentByte(v[1]), PercentByte(v[2])});
  else
    APalette.AddLinRGB({v[0] / 100, v[1] / 100, v[2] / 100});
}

void BuildCPCColors(TKvPalette256& APalette, TKvPaletteType APaletteType, std::initializer_list<int> AFirmware) {
  APalette.Clear();
  for (int k : AFirmware) AddCPCColor(APalette, APaletteType, k);
}

bool IsAmsdosNameChar(uint8_t c) {
  return (c >= 0x21 && c <= 0x24) || c == 0x26 || c == 0x27 || c == 0x2B || c == 0x2D || (c >= 0x30 && c <= 0x39) ||
         (c >= 0x40 && c <= 0x5A) || c == 0x5E || (c >= 0x61 && c <= 0x7B) || c == 0x7D;
}

std::string TrimBlanks(const std::string& AText) {
  size_t a = 0, b = AText.size();
  while (a < b && static_cast<uint8_t>(AText[a]) <= ' ') ++a;
  while (b > a && static_cast<uint8_t>(AText[b - 1]) <= ' ') --b;
  return AText.substr(a, b - a);
}

}  // namespace

const uint8_t CPCFirmwareToHardware[CPCColorCount] = {
    0x54, 0x44, 0x55, 0x5C, 0x58, 0x5D, 0x4C, 0x45, 0x4D, 0x56, 0x46, 0x57, 0x5E, 0x40,
    0x5F, 0x4E, 0x47, 0x4F, 0x52, 0x42, 0x53, 0x5A, 0x59, 0x5B, 0x4A, 0x43, 0x4B};

const uint8_t CPCHardwareToFirmware[32] = {13, 13, 19, 25, 1,  7,  10, 16, 7, 25, 24, 26, 6,  8,  15, 17,
                                           1,  19, 18, 20, 0,  2,  9,  11, 4, 22, 21, 23, 3,  5,  12, 14};

int CPCFirmwareOfHardware(uint8_t AByte) {
  return AByte >= 0x40 && AByte <= 0x5F ? CPCHardwareToFirmware[AByte - 0x40] : 0;
}

void BuildCPCPalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  APalette.Clear();
  for (int k = 0; k < CPCColorCount; ++k) AddCPCColor(APalette, APaletteType, k);
}

void BuildCPCBrightPalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  TKvPalette256 LAll;
  BuildCPCPalette(LAll, APaletteType);
  APalette.Clear();
  APalette.FillNearestGBR16(&LAll);
}

void BuildCPCGrayPalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  BuildCPCColors(APalette, APaletteType, {0, 13, 26});
}

void BuildCPCBlackWhitePalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  BuildCPCColors(APalette, APaletteType, {0, 26});
}

// ---------------------------------------------------------------------------
// AMSDOS header

namespace {
void PutWord(uint8_t* p, uint16_t w) {
  p[0] = static_cast<uint8_t>(w);
  p[1] = static_cast<uint8_t>(w >> 8);
}
}  // namespace

void InitAmsdosHeader(uint8_t* AHeader, uint8_t AFileType, uint16_t ALoadAddress, uint16_t ALength,
                      uint16_t AExecAddress) {
  std::memset(AHeader, 0, AmsdosHeaderSize);
  AHeader[18] = AFileType;
  PutWord(AHeader + 19, ALength);
  PutWord(AHeader + 24, ALength);
  PutWord(AHeader + 21, ALoadAddress);
  PutWord(AHeader + 26, AExecAddress);
  PutWord(AHeader + 64, ALength);
}

void PadAmsdosName(std::string& AName, int ALength) {
  if (static_cast<int>(AName.size()) > ALength) AName.resize(static_cast<size_t>(ALength));
  for (char& c : AName)
    if (!IsAmsdosNameChar(static_cast<uint8_t>(c))) c = '-';
  AName.resize(static_cast<size_t>(ALength), ' ');
}

void SetAmsdosFileName(uint8_t* AHeader, const std::string& AFileName) {
  const size_t LSlash = AFileName.find_last_of("\\:");
  std::string LName = LSlash == std::string::npos ? AFileName : AFileName.substr(LSlash + 1);
  for (char& c : LName)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::string LExt;
  const size_t LDot = LName.rfind('.');
  if (LDot != std::string::npos) {
    LExt = LName.substr(LDot + 1);
    LName.resize(LDot);
  }
  LName = TrimBlanks(LName);
  LExt = TrimBlanks(LExt);
  PadAmsdosName(LName, 8);
  PadAmsdosName(LExt, 3);
  std::memcpy(AHeader + 1, LName.data(), 8);
  std::memcpy(AHeader + 9, LExt.data(), 3);
}

uint16_t AmsdosChecksum(const TKvBytes& AHeader) {
  uint32_t s = 0;
  for (uint8_t b : AHeader.Row(0, 67)) s += b;
  return static_cast<uint16_t>(s);
}

void UpdateAmsdosChecksum(uint8_t* AHeader) {
  PutWord(AHeader + 67, AmsdosChecksum(TKvBytes(AHeader, AmsdosHeaderSize)));
}

bool CheckAmsdosHeader(const TKvBytes& AHeader, uint8_t AFileType, uint16_t ALength) {
  return AHeader.Has(0, AmsdosHeaderSize) && AHeader.U8(18) == AFileType && AHeader.Le16(24) == ALength &&
         AHeader.Le16(64) == ALength && AHeader.U8(66) == 0 && AHeader.Le16(67) == AmsdosChecksum(AHeader);
}

// ---------------------------------------------------------------------------
// File bodies

void BuildCPCPalFile(uint8_t* ABody, uint8_t AMode, const TKvPalette256& AHardwarePalette,
                     const TKvPalette256& AColours, int32_t ABorder) {
  std::memset(ABody, 0, CPCPalBodySize);
  ABody[0] = AMode;
  for (int i = 0; i < 16; ++i) {
    const uint8_t b =
        i < AColours.Count ? CPCFirmwareToHardware[AHardwarePalette.LocateStdRGB(AColours.GetStdRGB(i))] : 0x40;
    std::memset(ABody + 3 + 12 * i, b, 12);
  }
  const TKvStdRGBColor LBorder{static_cast<uint8_t>(ABorder >> 16), static_cast<uint8_t>(ABorder >> 8),
                               static_cast<uint8_t>(ABorder)};
  std::memset(ABody + 195, CPCFirmwareToHardware[AHardwarePalette.FindNearestStdRGB(LBorder)], 12);
}

int CPCPenCount(uint8_t AType) {
  if (AType == 4) return 16;
  if (AType == 5) return 4;
  RaiseUnsupportedOption();
}

void BuildCPCPphHeader(uint8_t* ABody, uint8_t AType, uint16_t AWidth, uint16_t AHeight,
                       const TKvPalette256& AHardwarePalette, const TKvPalette256& AColours) {
  const int n = CPCPenCount(AType);
  std::memset(ABody, 0, 6);
  ABody[0] = AType;
  PutWord(ABody + 1, AWidth);
  PutWord(ABody + 3, AHeight);
  ABody[5] = 1;
  for (int i = 0; i < n; ++i)
    ABody[6 + i] =
        i < AColours.Count ? static_cast<uint8_t>(AHardwarePalette.LocateStdRGB(AColours.GetStdRGB(i))) : 0;
}

TKvStdRGBColor CPCPlusWordColor(uint16_t AWord) {
  return {static_cast<uint8_t>(17 * ((AWord >> 4) & 15)), static_cast<uint8_t>(17 * ((AWord >> 8) & 15)),
          static_cast<uint8_t>(17 * (AWord & 15))};
}

const uint8_t CPCScrDisplayRoutine[36] = {
    0x3A, 0xD0, 0xD7, 0xCD, 0x1C, 0xBD, 0x21, 0xE1, 0xD7, 0x46, 0x48, 0xCD, 0x38, 0xBC, 0xAF, 0x21, 0xD1, 0xD7,
    0x46, 0x48, 0xF5, 0xE5, 0xCD, 0x32, 0xBC, 0xE1, 0xF1, 0x23, 0x3C, 0xFE, 0x10, 0x20, 0xF1, 0xC3, 0x18, 0xBB};

const uint8_t CPCOverscanLoader[CPCOverscanLoaderSize] = {
    0x0E, 0x00, 0x0A, 0x00, 0x01, 0xC0, 0x20, 0x69, 0x4D, 0x50, 0x20, 0x76,  //
    0x32, 0x00, 0x0D, 0x00, 0x14, 0x00, 0xAD, 0x20, 0x0E, 0x01, 0x83, 0x1C,  //
    0xAD, 0x01, 0x00, 0x00, 0x00, 0x01, 0x30, 0x02, 0x32, 0x06, 0x22, 0x07,  //
    0x23, 0x0C, 0x0D, 0xD0, 0x00, 0x00, 0x3F, 0x5A, 0x13, 0xC7, 0x0E, 0x9B,  //
    0x42, 0xE8, 0x71, 0x3D, 0xA6, 0x04, 0xF9, 0x28, 0x6C, 0xB5, 0x1F, 0x83,  //
    0x00, 0xF3, 0x21, 0x8D, 0x01, 0x3E, 0x06, 0x01, 0xBE, 0xBD, 0xED, 0xA3,  //
    0x41, 0xED, 0xA3, 0x3D, 0x20, 0xF8, 0x01, 0x00, 0x7F, 0x1E, 0x10, 0x0A,  //
    0xED, 0x49, 0xED, 0x79, 0x0C, 0x1D, 0x20, 0xF7, 0x3A, 0xAC, 0x01, 0xFE,  //
    0x01, 0x20, 0x22, 0x21, 0x9B, 0x01, 0x01, 0x11, 0xBC, 0x7E, 0xED, 0x79,  //
    0x2C, 0x0D, 0x20, 0xF9, 0x01, 0xB8, 0x7F, 0xED, 0x49, 0x21, 0x01, 0x08,  //
    0x11, 0x00, 0x64, 0x01, 0x20, 0x00, 0xED, 0xB0, 0x01, 0xA0, 0x7F, 0xED,  //
    0x49, 0x21, 0xF9, 0xB7, 0xCD, 0xDD, 0xBC, 0xFB, 0xC3, 0x18, 0xBB, 0x00};

// ---------------------------------------------------------------------------
// Pixel bits

namespace {
// Byte bits of pen bits 0..3 for the left pixel of a mode-0 byte; the right
// pixel's bits are one lower.
constexpr uint8_t Mode0Bits[4] = {0x80, 0x08, 0x20, 0x02};
}  // namespace

void PutCPCMode0Pixel(uint8_t& AByte, int AIndex, int APen) {
  const int s = AIndex & 1;
  for (int k = 0; k < 4; ++k) {
    const uint8_t m = static_cast<uint8_t>(Mode0Bits[k] >> s);
    AByte = static_cast<uint8_t>((APen >> k) & 1 ? AByte | m : AByte & ~m);
  }
}

int GetCPCMode0Pixel(uint8_t AByte, int AIndex) {
  const int s = AIndex & 1;
  int v = 0;
  for (int k = 0; k < 4; ++k)
    if (AByte & (Mode0Bits[k] >> s)) v |= 1 << k;
  return v;
}

void PutCPCMode1Pixel(uint8_t& AByte, int AIndex, int APen) {
  const int k = AIndex & 3;
  const uint8_t m0 = static_cast<uint8_t>(0x80 >> k), m1 = static_cast<uint8_t>(0x08 >> k);
  AByte = static_cast<uint8_t>(APen & 1 ? AByte | m0 : AByte & ~m0);
  AByte = static_cast<uint8_t>(APen & 2 ? AByte | m1 : AByte & ~m1);
}

int GetCPCMode1Pixel(uint8_t AByte, int AIndex) {
  const int k = AIndex & 3;
  return ((AByte >> (7 - k)) & 1) | (((AByte >> (3 - k)) & 1) << 1);
}

void PutCPCMode2Pixel(uint8_t& AByte, int AIndex, int APen) {
  const uint8_t m = static_cast<uint8_t>(0x80 >> (AIndex & 7));
  AByte = static_cast<uint8_t>(APen ? AByte | m : AByte & ~m);
}
