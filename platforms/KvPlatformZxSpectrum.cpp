#include "platforms/KvPlatformZxSpectrum.h"

#include <algorithm>
#include <cstring>

#include "core/KvErrors.h"
#include "rtl/KvSysUtils.h"

namespace {

uint8_t MatrixChannel(const TKvZxColorModel& m, int ARow, int AR, int AG, int AB) {
  const double v = (static_cast<double>(AR) * m.Matrix[ARow][0] + static_cast<double>(AG) * m.Matrix[ARow][1] +
                    static_cast<double>(AB) * m.Matrix[ARow][2]) /
                   255.0;
  return static_cast<uint8_t>(std::clamp<int64_t>(Round(v), 0, 255));
}

TKvStdRGBColor ApplyMatrix(const TKvZxColorModel& m, int AR, int AG, int AB) {
  return StdRGBColor(MatrixChannel(m, 0, AR, AG, AB), MatrixChannel(m, 1, AR, AG, AB),
                     MatrixChannel(m, 2, AR, AG, AB));
}

int BlueRow(TKvPaletteType APaletteType) { return (APaletteType == ptV11 || APaletteType == ptV11Gray) ? 1 : 0; }

}  // namespace

const uint8_t UlaPlusBlueLevels[2][4] = {{0, 3, 4, 7}, {0, 3, 5, 7}};

const uint8_t HlrViewerSignature[84] = {
    0x76, 0xaf, 0xd3, 0xfe, 0x21, 0x00, 0x58, 0x11, 0x01, 0x58, 0x01, 0xff, 0x02, 0x75, 0xed, 0xb0, 0x21,
    0x00, 0x40, 0xcd, 0x43, 0x80, 0x21, 0x00, 0x48, 0xcd, 0x43, 0x80, 0x21, 0x00, 0x50, 0xcd, 0x43, 0x80,
    0x76, 0x21, 0x5c, 0x80, 0x11, 0x00, 0x58, 0x01, 0x00, 0x03, 0xed, 0xb0, 0x76, 0x21, 0x5c, 0x83, 0x11,
    0x00, 0x58, 0x01, 0x00, 0x03, 0xed, 0xb0, 0xaf, 0xdb, 0xfe, 0xf6, 0xe0, 0x3c, 0x28, 0xe0, 0xc9, 0x11,
    0x54, 0x80, 0x06, 0x08, 0x4c, 0x1a, 0x77, 0x13, 0x24, 0x10, 0xfa, 0x61, 0x2c, 0x20, 0xf0, 0xc9};

void BuildZxSpectrumPalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  const TKvZxColorModel& m = ZxColorModel(APaletteType);
  APalette.Clear();
  for (int i = 0; i < 16; ++i) {
    const int on = i < 8 ? m.Levels[2] : m.Levels[4];
    const int r = (i & 2) ? on : m.Levels[0];
    const int g = (i & 4) ? on : m.Levels[0];
    const int b = (i & 1) ? on : m.Levels[0];
    APalette.AddStdRGB(ApplyMatrix(m, r, g, b));
  }
}

int GetZxMixLevel(int AModel, int ABitA, int ABitB, bool ABrightA, bool ABrightB) {
  const TKvZxColorModel& m = ZxColorModel(static_cast<TKvPaletteType>(AModel));
  if (ABitA == 0 && ABitB == 0) return m.Levels[0];
  if (ABitA == 1 && ABitB == 0) return ABrightA ? m.Levels[5] : m.Levels[1];
  if (ABitA == 0 && ABitB == 1) return ABrightB ? m.Levels[5] : m.Levels[1];
  if (ABitA == 1 && ABitB == 1) {
    if (ABrightA && ABrightB) return m.Levels[4];
    if (!ABrightA && !ABrightB) return m.Levels[2];
    return m.Levels[3];
  }
  RaiseUnsupportedOption();
}

TKvStdRGBColor MixZxColorsStandard(int AModel, int AColorA, int AColorB) {
  const bool ba = AColorA > 7, bb = AColorB > 7;
  const int r = GetZxMixLevel(AModel, (AColorA >> 1) & 1, (AColorB >> 1) & 1, ba, bb);
  const int g = GetZxMixLevel(AModel, (AColorA >> 2) & 1, (AColorB >> 2) & 1, ba, bb);
  const int b = GetZxMixLevel(AModel, AColorA & 1, AColorB & 1, ba, bb);
  return ApplyMatrix(ZxColorModel(static_cast<TKvPaletteType>(AModel)), r, g, b);
}

void BuildZxGigascreenPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, uint8_t AMixMode,
                              bool AFlagBrightMix) {
  TKvPalette256 LBase;
  BuildZxSpectrumPalette(LBase, APaletteType);
  APalette.Clear();
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) {
      const int k = AMixMode == 0 ? APalette.AddStdRGB(MixZxColorsStandard(APaletteType, j, i))
                                  : APalette.AddLinRGB(MiddleLinRGB(LBase.GetLinRGB(j), LBase.GetLinRGB(i)));
      bool LSkip = j < i;
      if (AFlagBrightMix && i < 8 && j > 7) LSkip = true;
      APalette.Colors[k].Skip = LSkip;
    }
}

void BuildZxFlashPalette(TKvPalette256& APalette, TKvPaletteType APaletteType, uint8_t /*AMixMode*/) {
  TKvPalette256 LBase;
  BuildZxSpectrumPalette(LBase, APaletteType);
  APalette.Clear();
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) {
      const TKvLinRGBColor& a = LBase.GetLinRGB(j);
      const TKvLinRGBColor& b = LBase.GetLinRGB(i);
      const TKvLinRGBColor c = LinRGBColor((a.R + a.R + b.R + b.R) / 4, (a.G + a.G + b.G + b.G) / 4,
                                           (a.B + a.B + b.B + b.B) / 4);
      const int k = APalette.AddLinRGB(c);
      APalette.Colors[k].Skip = j < i;
    }
}

uint8_t Expand3To8(int AValue) {
  const int v = AValue & 7;
  return static_cast<uint8_t>((v << 5) | (v << 2) | (v >> 1));
}

void DecodeUlaPlusColor(TKvStdRGBColor& AColor, uint8_t AValue, TKvPaletteType APaletteType) {
  AColor = StdRGBColor(Expand3To8((AValue >> 2) & 7), Expand3To8((AValue >> 5) & 7),
                       Expand3To8(UlaPlusBlueLevels[BlueRow(APaletteType)][AValue & 3]));
  if (APaletteType == ptV11Gray) {
    TKvColor c;
    c.InitStdRGB(AColor);
    c.MakeGray();
    AColor = c.GetStdRGB();
  }
}

void BuildUlaPlusPalette(TKvPalette256& APalette, TKvPaletteType APaletteType) {
  const int row = BlueRow(APaletteType);
  APalette.Clear();
  for (int g = 0; g < 8; ++g)
    for (int r = 0; r < 8; ++r)
      for (int b = 0; b < 4; ++b)
        APalette.AddRGB(Expand3To8(r), Expand3To8(g), Expand3To8(UlaPlusBlueLevels[row][b]));
  if (APaletteType == ptV11Gray) APalette.MakeGray();
}

void InitMghHeader(uint8_t (&AHeader)[MghHeaderSize], uint8_t ACellHeight, uint8_t ABorder) {
  std::memset(AHeader, 0, sizeof(AHeader));
  AHeader[0] = 'M';
  AHeader[1] = 'G';
  AHeader[2] = 'H';
  AHeader[3] = 1;
  AHeader[4] = ACellHeight;
  AHeader[5] = ABorder;
  AHeader[6] = ABorder;
  AHeader[255] = 255;
}

bool CheckMghHeader(const TKvBytes& AHeader, uint8_t ACellHeight) {
  return AHeader.Same(0, "MGH\x01", 4) && AHeader.U8(4) == ACellHeight;
}

bool IsHlrFile(const TKvBytes& AFile) { return AFile.Same(0, HlrViewerSignature, sizeof(HlrViewerSignature)); }

bool CheckChrHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  if (!AHeader.Has(0, 7) || !AHeader.Same(0, "chr$", 4)) return false;
  const int w = AHeader.U8(4), h = AHeader.U8(5), n = AHeader.U8(6);
  if (w == 0 || h == 0 || (n != 8 && n != 9 && n != 18)) return false;
  return static_cast<int64_t>(w) * h * n + 7 <= AFileSize;
}

bool CheckBspHeader(const TKvBytes& AHeader, int64_t AFileSize) {
  return AHeader.Same(0, "bsp\xC0\x00", 5) && AFileSize >= 13896;
}
