#include "platforms/KvPlatformMSX.h"

#include <cstring>

#include "core/KvBitmap.h"

const uint8_t Level3To5[8] = {0, 4, 9, 13, 18, 22, 27, 31};
const uint8_t Level2To3[4] = {0, 2, 4, 7};
const uint8_t V9990BlueLevels[4] = {0, 11, 21, 31};

const TKvStdRGBColor MSXColors[16] = {
    {0, 0, 0},       {1, 1, 1},       {62, 184, 73},   {116, 208, 125}, {89, 85, 224},  {128, 118, 241},
    {185, 94, 81},   {101, 219, 239}, {219, 101, 89},  {255, 137, 125}, {204, 195, 94}, {222, 208, 135},
    {58, 162, 65},   {183, 102, 181}, {204, 204, 204}, {255, 255, 255},
};

namespace {

inline int Word(const uint8_t* p) { return p[0] | (p[1] << 8); }

bool CheckHeader(uint8_t AType, const uint8_t* AData, int64_t ASize, int AStart, int AExec) {
  if (AData[0] != AType || Word(AData + 1) != AStart || Word(AData + 5) != AExec) return false;
  const int64_t d = static_cast<int64_t>(Word(AData + 3)) - AStart;
  return ASize == d + 8 || ASize == d + 7;
}

bool InDimension(int AValue) { return AValue >= 1 && AValue <= 8000; }

}  // namespace

void InitBsaveHeader(uint8_t* AHeader, int ALength, int AStart) {
  std::memset(AHeader, 0, BsaveHeaderSize);
  const int end = (AStart + ALength - 1) & 0xFFFF;
  AHeader[0] = 0xFE;
  AHeader[1] = static_cast<uint8_t>(AStart);
  AHeader[2] = static_cast<uint8_t>(AStart >> 8);
  AHeader[3] = static_cast<uint8_t>(end);
  AHeader[4] = static_cast<uint8_t>(end >> 8);
}

bool CheckBsaveHeader(const uint8_t* AData, int64_t ASize, int AStart, int AExec) {
  return CheckHeader(0xFE, AData, ASize, AStart, AExec);
}

bool CheckSrHeader(const uint8_t* AData, int64_t ASize, int AStart, int AExec) {
  return CheckHeader(0xFD, AData, ASize, AStart, AExec);
}

bool IsBsaveFile(const uint8_t* AData) { return AData[0] == 0xFE; }

bool CheckGlHeader(const uint8_t* AData) { return InDimension(Word(AData)) && InDimension(Word(AData + 2)); }

bool CheckStpHeader(const uint8_t* AData, int64_t ASize) {
  if (!CheckGlHeader(AData)) return false;
  const uint32_t c = (static_cast<uint32_t>(Word(AData)) * static_cast<uint32_t>(Word(AData + 2)) + 3) / 4;
  return ASize >= static_cast<int64_t>(c) + 4 && ASize <= static_cast<int64_t>(c) + 8;
}

bool CheckCmpHeader(const uint8_t* AData) {
  return AData[0] >= 1 && AData[0] <= 128 && AData[1] >= 1 && AData[1] <= 212 && AData[2] >= 1 &&
         AData[2] <= AData[1];
}

bool IsPublisherScreen(const uint8_t* AData) {
  return std::memcmp(AData, "DYNAMIC PUBLISHER SCREEN", 24) == 0 ||
         std::memcmp(AData, "E U R O PUBLISHER SCREEN", 24) == 0;
}

// ---------------------------------------------------------------------------

void BuildMSXPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (const TKvStdRGBColor& c : MSXColors) APalette.AddStdRGB(c);
}

void BuildMSXGrayPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int code : {1, 14, 15}) APalette.AddStdRGB(MSXColors[code]);
}

TKvStdRGBColor MSXScreen8Color(bool AV9958Levels, int AR, int AG, int AB3) {
  auto level = [AV9958Levels](int v) { return AV9958Levels ? Std5ToByte[Level3To5[v & 7]] : Std3ToByte[v & 7]; };
  return StdRGBColor(level(AR), level(AG), level(AB3));
}

void BuildMSXScreen8Palette(TKvPalette256& APalette, bool AV9958Levels) {
  APalette.Clear();
  for (int g = 0; g < 8; ++g)
    for (int r = 0; r < 8; ++r)
      for (int b = 0; b < 4; ++b) APalette.AddStdRGB(MSXScreen8Color(AV9958Levels, r, g, Level2To3[b]));
}

void BuildV9990Palette(TKvPalette256& APalette) {
  APalette.Clear();
  for (int g = 0; g < 8; ++g)
    for (int r = 0; r < 8; ++r)
      for (int b = 0; b < 4; ++b)
        APalette.AddRGB(Std5ToByte[Level3To5[r]], Std5ToByte[Level3To5[g]], Std5ToByte[V9990BlueLevels[b]]);
}

// ---------------------------------------------------------------------------

int ClampLevel5(int AValue) { return AValue < 0 ? 0 : AValue > 31 ? 31 : AValue; }

namespace {
// Integer division truncating toward zero, as the hardware formula has it.
inline int Div4(int v) { return v / 4; }
inline uint32_t PackLevels(int r, int g, int b) {
  return (uint32_t(Std5ToByte[r]) << 16) | (uint32_t(Std5ToByte[g]) << 8) | Std5ToByte[b];
}
}  // namespace

void YJKToLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) {
  AR = ClampLevel5(AY + AJ);
  AG = ClampLevel5(AY + AK);
  AB = ClampLevel5(Div4(5 * AY - 2 * AJ - AK + 2));
}

void YUVToLevels(int AY, int AK, int AJ, int& AR, int& AG, int& AB) {
  AR = ClampLevel5(AY + AJ);
  AG = ClampLevel5(Div4(5 * AY - 2 * AJ - AK + 2));
  AB = ClampLevel5(AY + AK);
}

uint32_t YJKToRGB(int AY, int AK, int AJ) {
  int r, g, b;
  YJKToLevels(AY, AK, AJ, r, g, b);
  return PackLevels(r, g, b);
}

uint32_t YUVToRGB(int AY, int AK, int AJ) {
  int r, g, b;
  YUVToLevels(AY, AK, AJ, r, g, b);
  return PackLevels(r, g, b);
}

uint32_t YAEToRGB(const TKvPalette& APalette, int AYA, int AK, int AJ) {
  if (AYA & 1) return APalette.GetRGBQuad((AYA >> 1) & 15);
  return YJKToRGB(AYA, AK, AJ);
}

uint8_t YJKGroupByte(int AY, int AIndex, int AK, int AJ) {
  int low = 0;
  switch (AIndex) {
    case 0: low = AK & 7; break;
    case 1: low = (AK >> 3) & 7; break;
    case 2: low = AJ & 7; break;
    default: low = (AJ >> 3) & 7; break;
  }
  return static_cast<uint8_t>(((AY & 31) << 3) | low);
}

namespace {

inline int Signed6(int v) { return v >= 32 ? v - 64 : v; }

template <class TColorOf>
void DecodeGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount,
                 TColorOf AColorOf) {
  if (ACount <= 0) return;
  const int n = ACount < 4 ? ACount : 4;
  uint8_t b[4] = {0, 0, 0, 0};
  for (int i = 0; i < n; ++i) b[i] = AData[i];
  AData += n;
  const int k = Signed6((b[0] & 7) | ((b[1] & 7) << 3));
  const int j = Signed6((b[2] & 7) | ((b[3] & 7) << 3));
  for (int i = 0; i < n; ++i) ABitmap.SetPixel(4 * AGroupX + i, ARow, static_cast<int>(AColorOf(b[i] >> 3, k, j)));
  ACount -= n;
}

}  // namespace

void DecodeYJKYAEGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount,
                       const TKvPalette& APalette) {
  DecodeGroup(ABitmap, AGroupX, ARow, AData, ACount,
              [&APalette](int y, int k, int j) { return YAEToRGB(APalette, y, k, j); });
}

void DecodeYJKGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount) {
  DecodeGroup(ABitmap, AGroupX, ARow, AData, ACount, [](int y, int k, int j) { return YJKToRGB(y, k, j); });
}

void DecodeYUVGroup(TKvBitmap24& ABitmap, int AGroupX, int ARow, const uint8_t*& AData, int& ACount) {
  DecodeGroup(ABitmap, AGroupX, ARow, AData, ACount, [](int y, int k, int j) { return YUVToRGB(y, k, j); });
}
