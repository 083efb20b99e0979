#include "platforms/KvPlatformMSX.h"

#include <cstring>
#include <vector>

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

bool CheckHeader(uint8_t AType, const TKvBytes& AHeader, int64_t AFileSize, int AStart, int AExec) {
  if (!AHeader.Has(0, BsaveHeaderSize)) return false;
  if (AHeader.U8(0) != AType || AHeader.Le16(1) != AStart || AHeader.Le16(5) != AExec) return false;
  const int64_t d = static_cast<int64_t>(AHeader.Le16(3)) - AStart;
  return AFileSize == d + 8 || AFileSize == d + 7;
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

bool CheckBsaveHeader(const TKvBytes& AHeader, int64_t AFileSize, int AStart, int AExec) {
  return CheckHeader(0xFE, AHeader, AFileSize, AStart, AExec);
}

bool CheckSrHeader(const TKvBytes& AHeader, int64_t AFileSize, int AStart, int AExec) {
  return CheckHeader(0xFD, AHeader, AFileSize, AStart, AExec);
}

bool IsBsaveFile(const TKvBytes& AFile) { return AFile.Has(0, 1) && AFile.U8(0) == 0xFE; }

bool CheckGlHeader(const TKvBytes& AHeader) {
  return AHeader.Has(0, 4) && InDimension(AHeader.Le16(0)) && InDimension(AHeader.Le16(2));
}

bool CheckStpHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!CheckGlHeader(AHeader)) return false;
  const uint32_t c = (static_cast<uint32_t>(AHeader.Le16(0)) * static_cast<uint32_t>(AHeader.Le16(2)) + 3) / 4;
  return AFileSize >= static_cast<int64_t>(c) + 4 && AFileSize <= static_cast<int64_t>(c) + 8;
}

bool CheckCmpHeader(const TKvBytes& AHeader) {
  if (!AHeader.Has(0, 3)) return false;
  const uint8_t w = AHeader.U8(0), h = AHeader.U8(1), plain = AHeader.U8(2);
  return w >= 1 && w <= 128 && h >= 1 && h <= 212 && plain >= 1 && plain <= h;
}

bool IsPublisherScreen(const TKvBytes& AFile) {
  return AFile.Same(0, "DYNAMIC PUBLISHER SCREEN", 24) || AFile.Same(0, "E U R O PUBLISHER SCREEN", 24);
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

// ---------------------------------------------------------------------------
// G9B

namespace {

constexpr int kG9bWindow = 2048;

// The most palette entries of a depth and colour type; -1 for a pair the
// format does not have.
int G9bMaxEntries(int ADepth, int AType) {
  switch (ADepth) {
    case 2: return AType == 0 ? 4 : -1;
    case 4: return AType == 0 ? 16 : -1;
    case 8: return AType == 0 ? 64 : (AType == 64 || AType == 128 || AType == 192) ? 0 : -1;
    case 16: return AType == 0 ? 0 : -1;
    default: return -1;
  }
}

// The output of one compressed block: bytes and the bits of the bit bytes
// reserved among them.
class TG9bWriter {
public:
  TG9bWriter(uint8_t* ADest, int ARoom) : FDest(ADest), FRoom(ARoom) {}
  void Byte(uint8_t AValue) { FDest[Reserve()] = AValue; }
  void Bit(bool ABit) {
    if (FBitByte < 0) {
      FBitByte = Reserve();
      FDest[FBitByte] = 0;
      FMask = 0x80;
    }
    if (ABit) FDest[FBitByte] |= FMask;
    FMask >>= 1;
    if (FMask == 0) FBitByte = -1;
  }
  bool BitByteOpen() const { return FBitByte >= 0; }
  int Size() const { return FPos; }

private:
  int Reserve() {
    if (FPos >= FRoom) RaiseInternalError();
    return FPos++;
  }
  uint8_t* FDest;
  int FRoom;
  int FPos = 0;
  int FBitByte = -1;
  uint8_t FMask = 0;
};

}  // namespace

int InitG9bHeader(uint8_t* AHeader, uint8_t ABitDepth, uint8_t AColorType, int AWidth, int AHeight) {
  const int LEntries = G9bMaxEntries(ABitDepth, AColorType);
  if (LEntries < 0 || AWidth < 0 || AHeight < 0 || AWidth > 0xFFFF || AHeight > 0xFFFF) RaiseInternalError();
  int64_t LRow = AWidth;
  if (ABitDepth == 2) {
    if (AWidth % 4 != 0) RaiseInternalError();
    LRow = (AWidth + 3) / 4;
  } else if (ABitDepth == 4) {
    if (AWidth % 2 != 0) RaiseInternalError();
    LRow = (AWidth + 1) / 2;
  } else if (ABitDepth == 16) {
    LRow = 2 * static_cast<int64_t>(AWidth);
  }
  const int64_t LSize = LRow * AHeight;
  if (LSize > 0xFFFFFF) RaiseInternalError();
  std::memset(AHeader, 0, G9bHeaderSize);
  std::memcpy(AHeader, "G9B", 3);
  AHeader[3] = 11;
  AHeader[5] = ABitDepth;
  AHeader[6] = AColorType;
  AHeader[7] = static_cast<uint8_t>(LEntries);
  AHeader[8] = static_cast<uint8_t>(AWidth);
  AHeader[9] = static_cast<uint8_t>(AWidth >> 8);
  AHeader[10] = static_cast<uint8_t>(AHeight);
  AHeader[11] = static_cast<uint8_t>(AHeight >> 8);
  SetG9bDataSize(AHeader, static_cast<int>(LSize));
  return static_cast<int>(LSize);
}

int G9bPaletteOffset(const TKvBytes& AHeader) { return AHeader.Le16(3) + 5; }

int G9bDataOffset(const TKvBytes& AHeader) { return AHeader.Le16(3) + 3 * AHeader.U8(7) + 5; }

int GetG9bDataSize(const TKvBytes& AHeader) { return static_cast<int>(AHeader.Le24(13)); }

void SetG9bDataSize(uint8_t* AHeader, int ASize) {
  if (ASize < 0 || ASize > 0xFFFFFF) RaiseInternalError();
  AHeader[13] = static_cast<uint8_t>(ASize);
  AHeader[14] = static_cast<uint8_t>(ASize >> 8);
  AHeader[15] = static_cast<uint8_t>(ASize >> 16);
}

bool CheckG9bHeader(const TKvBytes& AFile) {
  const int64_t LSize = AFile.Size();
  if (LSize < 5 || !AFile.Same(0, "G9B", 3)) return false;
  const int LHeaderSize = AFile.Le16(3);
  if (LHeaderSize < 11 || LHeaderSize + 5 > LSize) return false;
  const int w = AFile.Le16(8), h = AFile.Le16(10);
  if (w < 1 || w > 8000 || h < 1 || h > 8000) return false;
  const int LMax = G9bMaxEntries(AFile.U8(5), AFile.U8(6));
  const int LEntries = AFile.U8(7);
  if (LMax < 0 || LEntries > LMax) return false;
  if (G9bDataOffset(AFile) >= LSize) return false;
  for (uint8_t b : AFile.Row(G9bPaletteOffset(AFile), 3 * LEntries))
    if (b >= 32) return false;
  return true;
}

int CompressG9bBlock(const uint8_t* ASource, int ALength, uint8_t* ADest, int ARoom) {
  TG9bWriter w(ADest, ARoom);
  // Earlier positions by their first two bytes, the latest first: walking a
  // chain meets the offsets in ascending order, so the first longest match
  // has the smallest offset.
  std::vector<int> LHead(65536, -1), LPrev(static_cast<size_t>(ALength > 0 ? ALength : 0), -1);
  auto Insert = [&](int p) {
    if (p + 1 >= ALength) return;
    const int h = ASource[p] << 8 | ASource[p + 1];
    LPrev[static_cast<size_t>(p)] = LHead[static_cast<size_t>(h)];
    LHead[static_cast<size_t>(h)] = p;
  };
  int i = 0;
  while (i < ALength) {
    int LBest = 0, LOffset = 0;
    if (i + 1 < ALength) {
      const int LMax = ALength - i;
      for (int c = LHead[static_cast<size_t>(ASource[i] << 8 | ASource[i + 1])]; c >= 0 && i - c <= kG9bWindow;
           c = LPrev[static_cast<size_t>(c)]) {
        int l = 2;
        while (l < LMax && ASource[c + l] == ASource[i + l]) ++l;
        if (l > LBest) {
          LBest = l;
          LOffset = i - c;
          if (l == LMax) break;
        }
      }
    }
    if (LBest >= 2) {
      w.Bit(true);
      const int v = LBest - 1;
      int h = 31;
      while (!((v >> h) & 1)) --h;
      for (int c = h - 1; c >= 0; --c) {
        w.Bit(true);
        w.Bit((v >> c) & 1);
      }
      w.Bit(false);
      const int o = LOffset - 1;
      if (LOffset <= 128) {
        w.Byte(static_cast<uint8_t>(o));
      } else {
        w.Byte(static_cast<uint8_t>((o & 127) | 128));
        for (int b = 10; b >= 7; --b) w.Bit((o >> b) & 1);
      }
      for (int k = 0; k < LBest; ++k) Insert(i + k);
      i += LBest;
    } else {
      w.Bit(false);
      w.Byte(ASource[i]);
      Insert(i);
      ++i;
    }
  }
  for (int k = 0; k < 33; ++k) w.Bit(true);
  while (w.BitByteOpen()) w.Bit(true);
  return w.Size();
}

int CompressG9bData(const uint8_t* ASource, int ALength, uint8_t* ADest, int ARoom) {
  const int LBlocks = (ALength + G9bBlockSize - 1) / G9bBlockSize;
  if (LBlocks >= 256 || ARoom < 1) RaiseInternalError();
  ADest[0] = static_cast<uint8_t>(LBlocks);
  int LPos = 1;
  for (int b = 0; b < LBlocks; ++b) {
    const int LOffset = b * G9bBlockSize;
    const int LLength = ALength - LOffset < G9bBlockSize ? ALength - LOffset : G9bBlockSize;
    if (LPos + 2 > ARoom) RaiseInternalError();
    const int n = CompressG9bBlock(ASource + LOffset, LLength, ADest + LPos + 2, ARoom - LPos - 2);
    if (n > 0xFFFF) RaiseInternalError();
    ADest[LPos] = static_cast<uint8_t>(n);
    ADest[LPos + 1] = static_cast<uint8_t>(n >> 8);
    LPos += 2 + n;
  }
  return LPos;
}
