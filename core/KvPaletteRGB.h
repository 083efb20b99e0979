// Level-table palettes and the palette kinds of the conversion settings.
//
// Many targets make colour with a DAC of a few bits per channel; their
// palette is a cube of per-channel levels with thousands to millions of
// colours. TKvPaletteRGB keeps such a palette as three level tables and
// answers entries and nearest colours arithmetically, behind the TKvPalette
// interface. The built-in fills of TKvPalette256 are defined beside it.
#pragma once

#include <cstdint>
#include <memory>

#include "core/KvPalette.h"

// The palette kinds; stored as a byte in the conversion settings.
enum TKvPaletteType : uint8_t {
  ptRGB888 = 0,
  ptRGB777,
  ptRGB666,
  ptRGB565,
  ptRGB555,
  ptRGB444,
  ptRGB333,
  ptRGB332,
  ptRGB222,
  ptRGB111,
  ptBW,
  ptWB,
  ptFixed,
  ptOptimized,
  ptAuto,
  ptColored,
  ptCPCGateArray,
  ptCPCGateArrayRGB,
  ptCPCASIC,
  ptCPCASICRGB,
  ptCPCPlus,
  ptMSX9938,
  ptMSX9958,
  ptMSXYJK,
  ptMSXYJK_YAE,
  ptMSXYUV,
  ptPulsar,
  ptColoredLinear,
  ptAlone,
  ptStdRGBMiddle,
  ptOrthodox,
  ptColored15,
  ptColored16of256,
  ptColored15x1,
  ptColored15x2,
  ptColored64x1,
  ptColored64x2,
  ptColoredMSX,
  ptColoredCPC,
  ptColoredEMU,
  ptColoredEMUStudio,
  ptColoredVirtualVector,
  ptColoredDDp,
  ptBackGreenRedYellowLow,
  ptBackGreenRedYellowHigh,
  ptBackCyanMagentaWhiteLow,
  ptBackCyanMagentaWhiteHigh,
  ptBackCyanRedWhiteLow,
  ptBackCyanRedWhiteHigh,
  ptV10,
  ptV11,
  ptV11Gray,
  ptColored5,
  ptColored8,
  ptColored16,
  ptColoredBRGB,
  ptColoredWRGB,
  ptColored4096,
  ptGray8,
  ptGray16,
  ptGrayBRGB,
  ptGrayWRGB,
  ptTI99Calculated,
  ptTI99MSX,
  ptTI99Adam,
  ptTI99Convert9918,
  ptPMD85A,
  ptPMD85B,
  ptPMD85C,
  ptPMD85D,
  ptPMD85E,
  ptPMD85F,
  ptPMD85GCustom,
  ptPMD85H,
  ptEvoEGA,
  ptEvoEGAPWM1,
  ptEvoEGAPWM2,
  ptEvoEGAPWM3,
  ptPentevo,
  ptPentevoPWM1,
  ptPentevoPWM2,
  ptPentEvoPWM3,
  ptVideoDAC,
  ptCommandore64Dark,
  ptCommandore64Light
};

constexpr int PaletteTypeCount = 85;
// Display names, indexed by TKvPaletteType.
extern const char* const PaletteTypeNames[PaletteTypeCount];

// For AValue <= ALevels[0]: (0, 0); for AValue >= ALevels[ACount - 1]:
// (ACount - 1, ACount - 1); otherwise the first i with
// ALevels[i] <= AValue <= ALevels[i + 1] gives (i, i + 1). Raises
// "Internal error" when there is no such i (a NaN value).
void BracketLevel(double AValue, int ACount, const double* ALevels, int& ALow, int& AHigh);

// The levels of one channel: linear values in ascending order and the same
// levels as sRGB bytes.
struct TKvChannelLevels {
  int32_t LevelCount = 0;
  double Levels[256] = {};
  uint8_t LevelBytes[256] = {};
};

class TKvPaletteRGB : public TKvPalette {
public:
  bool HasGrayPalette = false;
  TKvChannelLevels Red, Green, Blue;
  // The colours used when the conversion searches by gray; every one of
  // them is also a colour of this palette.
  std::unique_ptr<TKvPalette256> GrayPalette;

  // No levels, no gray palette.
  TKvPaletteRGB();
  ~TKvPaletteRGB() override;

  // 2^bits levels per channel from the fractions i / (n - 1).
  static std::unique_ptr<TKvPaletteRGB> CreateBits(int ARBits, int AGBits, int ABBits,
                                                   bool AGrayPalette);
  static std::unique_ptr<TKvPaletteRGB> CreateType(TKvPaletteType AType, bool AGrayPalette);
  static std::unique_ptr<TKvPaletteRGB> CreateV9958(bool AGrayPalette);
  static std::unique_ptr<TKvPaletteRGB> CreateMSX332();
  // The EGA and Pentevo kinds with PWM steps, and ptVideoDAC.
  static std::unique_ptr<TKvPaletteRGB> CreatePWM(TKvPaletteType AType, bool AGrayPalette);

  std::unique_ptr<TKvPalette> Clone() const override;
  bool ContainsColors(const TKvPalette256* APalette) const override;
  int FindNearest(const TKvLinRGBColor& AColor) const override;
  int GetCount() const override;
  TKvLinRGBColor GetLinRGB(int AIndex) const override;
  double GetLinGray(int AIndex) const override;
  TKvStdRGBColor GetStdRGB(int AIndex) const override;
  uint32_t GetRGBQuad(int AIndex) const override;
  // Chooses among the gray palette's colours and answers that colour's index
  // in this palette (not in the gray palette). "Internal error" without a
  // gray palette.
  int FindNearestByGray(const TKvColor& AColor) const override;
  // Only metric 0 (linear RGB); any other raises "Internal error".
  int FindNearestByMetric(uint8_t AMetric, const TKvColor& AColor) const override;
  void UpdateCache() const override;

  // The level index of each channel by exact byte match; "Internal error"
  // for a byte that is no level.
  void GetLevelIndexes(const TKvStdRGBColor& AColor, uint8_t& AR, uint8_t& AG, uint8_t& AB) const;

private:
  void Decompose(int AIndex, int& AR, int& AG, int& AB) const;
  int EntryIndex(int AR, int AG, int AB) const {
    return AB + (AG + AR * Green.LevelCount) * Blue.LevelCount;
  }
  // Appends to a new gray palette the colours whose channels share level i.
  void MakeEqualLevelGrayPalette();
};
