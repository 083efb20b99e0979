#include "platforms/KvSavePlatformTI99.h"

#include <cstring>
#include <ctime>

#include "core/KvDestProgress.h"
#include "core/KvFlicker.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvPlatformTI99.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxSwap.h"

// ---------------------------------------------------------------------------
// Clock

namespace {

TKvTiDateTime LocalClock() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TKvTiClock GTiClock = nullptr;

void PutBE16(uint8_t* AP, uint16_t AValue) {
  AP[0] = static_cast<uint8_t>(AValue >> 8);
  AP[1] = static_cast<uint8_t>(AValue);
}

}  // namespace

TKvTiClock SetTiFilesClock(TKvTiClock AClock) {
  const TKvTiClock LPrevious = GTiClock;
  GTiClock = AClock;
  return LPrevious;
}

TKvTiDateTime TiFilesNow() { return GTiClock ? GTiClock() : LocalClock(); }

// ---------------------------------------------------------------------------
// TIFILES header

void InitTiFilesHeader(TKvTiFilesHeader& AHeader) {
  std::memset(&AHeader, 0, sizeof AHeader);
  AHeader.MagicLength = 7;
  std::memcpy(AHeader.Magic, "TIFILES", 7);
  AHeader.ExtendedFlags[0] = 0xFF;
  AHeader.ExtendedFlags[1] = 0xFF;
  const TKvTiDateTime t = TiFilesNow();
  const int LYear7 = t.Year >= 2000 ? t.Year - 2000 : t.Year - 1900;
  PutBE16(AHeader.CreationTime,
          static_cast<uint16_t>(((t.Hour & 31) << 11) | ((t.Minute & 63) << 5) | ((t.Second >> 1) & 31)));
  PutBE16(AHeader.CreationDate, static_cast<uint16_t>(((LYear7 & 127) << 9) | ((t.Month & 15) << 5) | (t.Day & 31)));
}

void InitTiFilesProgramHeader(TKvTiFilesHeader& AHeader, uint32_t ADataSize) {
  InitTiFilesHeader(AHeader);
  AHeader.Flags = 1;
  SetTiFilesDataSize(AHeader, ADataSize);
}

void InitTiFilesDataHeader(TKvTiFilesHeader& AHeader, uint32_t ADataSize) {
  InitTiFilesHeader(AHeader);
  AHeader.Flags = 0;
  AHeader.RecordsPerSector = 2;
  AHeader.RecordLength = TiSectorSize / 2;
  SetTiFilesDataSize(AHeader, ADataSize);
}

void SetTiFilesDataSize(TKvTiFilesHeader& AHeader, uint32_t ADataSize) {
  const uint16_t LSectors = static_cast<uint16_t>((ADataSize + 255) / 256);
  // The big-endian word, as the machine stores it.
  const uint16_t LStored = Swap16(LSectors);
  AHeader.SectorCount[0] = static_cast<uint8_t>(LStored);
  AHeader.SectorCount[1] = static_cast<uint8_t>(LStored >> 8);
  AHeader.EofOffset = static_cast<uint8_t>(ADataSize % 256);
  if (AHeader.RecordsPerSector > 0) {
    const uint32_t LRecords = (ADataSize + 127) / 128;
    AHeader.RecordCount[0] = static_cast<uint8_t>(LRecords);
    AHeader.RecordCount[1] = static_cast<uint8_t>(LRecords >> 8);
  }
}

std::string MakeTiFileName(const std::string& AName) {
  std::string r = AName;
  for (char& c : r) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 32 || b >= 128 || c == '.') c = '_';
  }
  return r;
}

void SetTiFilesName(TKvTiFilesHeader& AHeader, const std::string& AName) {
  std::memset(AHeader.FileName, ' ', sizeof AHeader.FileName);
  const std::string LName = MakeTiFileName(AName);
  std::memcpy(AHeader.FileName, LName.data(), LName.size() < 10 ? LName.size() : 10);
}

std::string TiAnsiName(const std::string& AName) {
  std::string r;
  bool LInSequence = false;
  for (char c : AName) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      r += c;
      LInSequence = false;
    } else if ((b & 0xC0) == 0xC0) {
      r += '_';
      LInSequence = true;
    } else if (!LInSequence) {
      // A stray continuation byte stands for a character of its own.
      r += '_';
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// Streams

const char TiPCMLetters[3] = {'P', 'C', 'M'};

TKvTiStream::TKvTiStream(const std::string& AExtension, int ASize, uint8_t AFill, bool AProgram)
    : TKvStream(AExtension) {
  const int LSize = ASize > 0 ? ASize : 0;
  SetSize(TiFilesHeaderSize + LSize);
  if (LSize > 0) std::memset(GetData(), AFill, static_cast<size_t>(LSize));
  if (AProgram)
    InitTiFilesProgramHeader(*GetHeader(), static_cast<uint32_t>(LSize));
  else
    InitTiFilesDataHeader(*GetHeader(), static_cast<uint32_t>(LSize));
  SetPosition(TiFilesHeaderSize);
}

void TKvTiStream::PadToSector() {
  const int64_t D = GetDataSize();
  const int64_t P = (D + TiSectorSize - 1) / TiSectorSize * TiSectorSize;
  if (P != D) SetSize(TiFilesHeaderSize + P);
}

void TKvTiStream::StoreFileName(const std::string& AFileName) {
  SetTiFilesName(*GetHeader(), TiAnsiName(AFileName));
}

TKvTiPCMStream::TKvTiPCMStream(uint8_t AIndex, int ASize, uint8_t AFill)
    : TKvTiStream(std::string("TIA") + TiPCMLetters[AIndex], ASize, AFill, true), Index(AIndex) {}

void TKvTiPCMStream::StoreFileName(const std::string& AFileName) {
  std::string LBase = MakeTiFileName(TiAnsiName(ChangeFileExt(AFileName, "")));
  const char L = TiPCMLetters[Index];
  if (LBase.size() >= 2 && LBase[LBase.size() - 2] == '_' && LBase.back() == 'P') {
    LBase.back() = L;
  } else {
    if (LBase.size() > 8) LBase.resize(8);
    LBase += '_';
    LBase += L;
  }
  SetTiFilesName(*GetHeader(), LBase);
}

void TKvTiGStream::StoreFileName(const std::string& AFileName) {
  SetTiFilesName(*GetHeader(), TiAnsiName(ChangeFileExt(AFileName, "")));
}

void TKvTiGStream::SetFormatByte(uint8_t AValue) {
  if (GetDataSize() > 1) GetData()[1] = AValue;
}

// ---------------------------------------------------------------------------
// Screens

int TKvTiBWScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return ((Data[TiTableOffset(X >> 3, Y)] >> (7 - (X & 7))) & 1) ^ 1;
}

void TKvTiBWScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[TiTableOffset(X >> 3, Y)];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? (b & static_cast<uint8_t>(~mask)) : (b | mask);
}

int TKvTiColorScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return (Data[TiTableOffset(X >> 3, Y)] >> (7 - (X & 7))) & 1;
}

void TKvTiColorScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  uint8_t& b = Data[TiTableOffset(X >> 3, Y)];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
  b = AColor != 0 ? (b | mask) : (b & static_cast<uint8_t>(~mask));
}

int TKvTiColorScreen::GetAttr(int CellX, int CellY) {
  return Colors[TiTableOffset(MirrorX ? 31 - CellX : CellX, CellY)];
}

void TKvTiColorScreen::SetAttr(int CellX, int CellY, int AAttr) {
  Colors[TiTableOffset(MirrorX ? 31 - CellX : CellX, CellY)] = static_cast<uint8_t>(AAttr);
}

namespace {

void PutNibble(uint8_t* AData, int X, int Y, int ACode) {
  uint8_t& b = AData[TiTableOffset(X >> 1, Y)];
  const auto v = static_cast<uint8_t>(ACode & 15);
  b = (X & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

}  // namespace

void TKvTi9918A64Screen::SetPixel(int X, int Y, int AColor) { PutNibble(Data, MX(X), Y, AColor + 1); }

void TKvTi9918A6448GigaScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  PutNibble(Data, X, Y, AColor / 15 + 1);
  PutNibble(Data2, X, Y, AColor % 15 + 1);
}

TKvCellPaletteList* TKvTi9918AImage::CreatePaletteList() {
  if (GrayMode) return new TKvTiGrayPaletteList(*FPalette);
  return new TKvTiColorPaletteList(*FPalette);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvTi9918AEngineOptions::TKvTi9918AEngineOptions() {
  SetPixelAspect(12);  // "1.138:1"
  SetPaletteType(ptTI99Convert9918);
  SetPaletteMode(11);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

void TKvTi9918AEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LResult = *GetPalette();
  LResult.Clear();
  if (PaletteMode == 0) {
    BuildTI99Palette(LResult, PaletteType, 0);
  } else if (UseAsGrayPalette) {
    BuildTI99Palette(LResult, PaletteType, 11);
    LResult.MakeGray();
    LResult.Delete(0);
  } else {
    BuildTI99Palette(LResult, PaletteType, PaletteMode);
    if (PaletteMode == 11) LResult.Delete(0);
  }
}

TKvTi9918A64EngineOptions::TKvTi9918A64EngineOptions() {
  SetPixelAspect(21);  // "4.552:1"
  SetDitherMethod(1);
}

TKvTi9918A6448EngineOptions::TKvTi9918A6448EngineOptions() { SetDitherMethod(0); }

void TKvTi9918A6448GigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256 LBase;
  BuildTI99Palette(LBase, PaletteType, PaletteMode);
  if (PaletteMode == 11) LBase.Delete(0);
  GetPalette()->FillMixtures(&LBase, MaxFlickering, 15);
}

namespace {

// The TMS9918A palette kinds of the panels.
void AddTI99PaletteTypes(TKvDestEngineUIEx& APanel) {
  const int LTypes = APanel.AddCustomPaletteComboBox();
  for (int t : {ptTI99MSX, ptTI99Adam, ptTI99Convert9918}) APanel.AddSectionItem(LTypes, t);
}

// Item 0 of the mode list disables both block limits.
void AddBlockLimitRelations(TKvDestEngineUIEx& APanel) {
  APanel.AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  APanel.AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

}  // namespace

TKvTi9918AEngineUI::TKvTi9918AEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddTI99PaletteTypes(*this);
  AddPaletteModeSection(2051);  // "Black/white", "Gray", "Сolor"
  AddDestPalette(15, 1, true);
  AddGrayPaletteCheckBox();
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

TKvTi9918A6448GigaEngineUI::TKvTi9918A6448GigaEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddTI99PaletteTypes(*this);
  AddPaletteModeSection(2050);  // "Gray", "Сolor"
  AddDestPalette(15, 15, true);
  AddMaxFlickeringSection();
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

// Keeps a copy of the options' result palette and puts it back when the
// conversion ends, so the panel keeps showing its own palette.
class TKvTiPaletteKeeper {
public:
  explicit TKvTiPaletteKeeper(TKvDestEngineOptions& AOptions) : FOptions(AOptions) {
    FSaved.Assign(AOptions.GetPalette());
  }
  ~TKvTiPaletteKeeper() {
    try {
      FOptions.GetPalette()->Assign(&FSaved);
    } catch (...) {
    }
  }

private:
  TKvDestEngineOptions& FOptions;
  TKvPalette256 FSaved;
};

// A new table stream of the list (AParent nil) or a sub-stream of AParent.
TKvTiPCMStream* AddTable(TKvStreamList& AList, TKvTiStream* AParent, uint8_t AIndex, int ASize, uint8_t AFill) {
  auto s = std::make_unique<TKvTiPCMStream>(AIndex, ASize, AFill);
  TKvTiPCMStream* r = s.get();
  if (AParent)
    AParent->AddSubStream(std::move(s));
  else
    AList.Add(std::move(s));
  return r;
}

// Every TI stream of the list and its sub-streams padded to whole sectors.
void PadTiStreams(TKvStreamList& AList) {
  for (int i = 0; i < AList.GetCount(); ++i) {
    TKvStream* s = AList.GetStream(i);
    if (auto* t = dynamic_cast<TKvTiStream*>(s)) t->PadToSector();
    for (int j = 0; j < s->GetSubStreamCount(); ++j)
      if (auto* t = dynamic_cast<TKvTiStream*>(s->GetSubStream(j))) t->PadToSector();
  }
}

void ApplyFixes(TKvImage& AImage, TKvDestEngineOptions& AOptions) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
}

// The 15 colours of codes 1..15 (index i = code i + 1) as the options'
// fixed palette.
TKvPalette256& BuildTI99FixedPalette(TKvDestEngineOptions& AOptions) {
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  BuildTI99Palette(LFixed, AOptions.PaletteType, 11);
  LFixed.Delete(0);
  return LFixed;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTi9918AEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                     TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                     TKvDestProgress& AProgress,
                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  const uint8_t LMode = CheckMSXPaletteMode(AOptions, 2051);
  AStreams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* P = AddTable(*AStreams, nullptr, 0, 6144, 0);
  TKvTiPCMStream* C = LMode != 0 ? AddTable(*AStreams, P, 1, 6144, 0) : nullptr;
  std::unique_ptr<TKvBitmap> LResult;
  {
    TKvTiPaletteKeeper LKeeper(AOptions);
    TKvPalette256& LPalette = *AOptions.GetPalette();
    if (LMode == 0) {
      BuildTI99Palette(LPalette, AOptions.PaletteType, 0);
      TKvTiBWScreen LScreen(P->GetData());
      TKvImage LImage(ABitmap);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &LPalette, 0, 1);
    } else {
      BuildTI99Palette(LPalette, AOptions.PaletteType, 11);
      if (AOptions.UseAsGrayPalette) LPalette.MakeGray();
      TKvTiColorScreen LScreen(P->GetData(), C->GetData());
      TKvTi9918AImage LImage(8, 1, ABitmap);
      if (LMode == 1 && !AOptions.UseAsGrayPalette) {
        AOptions.SetUseAsGrayPalette(true);
        LImage.GrayMode = true;
      }
      ApplyFixes(LImage, AOptions);
      LImage.FitToPaletteGray(LPalette);
      LResult = LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
    }
  }
  PadTiStreams(*AStreams);
  return LResult;
}

namespace {

std::unique_ptr<TKvBitmap> ConvertHalfChar(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                           TKvData& AScreen) {
  const uint8_t LMode = AOptions.PaletteMode;
  TKvImage LImage(ABitmap);
  ApplyFixes(LImage, AOptions);
  TKvPalette256& LFixed = BuildTI99FixedPalette(AOptions);
  if (LMode != 0) LImage.FitToPaletteGray(LFixed);
  if (LMode == 0) return LImage.ConvertBW(AAbort, AOptions, &AScreen, &LFixed, 0, 14);
  if (LMode == 11 || (LMode == 1 && AOptions.UseAsGrayPalette)) {
    if (AOptions.UseAsGrayPalette) LFixed.MakeGray();
    return LImage.ConvertIndexed(AAbort, AOptions, &AScreen, LFixed, nullptr);
  }
  if (LMode == 1) {
    TKvPalette256& LResult = *AOptions.GetPalette();
    BuildTI99Palette(LResult, AOptions.PaletteType, 1);
    AOptions.SetUseAsGrayPalette(true);
    return LImage.ConvertIndexed(AAbort, AOptions, &AScreen, LResult, &LFixed);
  }
  RaiseOSError(ERROR_INVALID_PARAMETER);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTi9918A64Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                       TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                       TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* P = AddTable(*AStreams, nullptr, 0, 6144, 0xF0);
  TKvTiPCMStream* C = AddTable(*AStreams, P, 1, 6144, 0);
  std::unique_ptr<TKvBitmap> LResult;
  {
    TKvTiPaletteKeeper LKeeper(AOptions);
    TKvTi9918A64Screen LScreen(192, C->GetData());
    LResult = ConvertHalfChar(AAbort, ABitmap, AOptions, LScreen);
  }
  PadTiStreams(*AStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvTi9918A6448Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                         TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                         TKvDestProgress&,
                                                         std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* P = AddTable(*AStreams, nullptr, 0, 1536, 0);
  std::unique_ptr<TKvBitmap> LResult;
  {
    TKvTiPaletteKeeper LKeeper(AOptions);
    TKvTi9918A6448Screen LScreen(48, P->GetData());
    LResult = ConvertHalfChar(AAbort, ABitmap, AOptions, LScreen);
  }
  PadTiStreams(*AStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvTi9918A6448GigaEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                             TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                             TKvDestProgress&,
                                                             std::unique_ptr<TKvStreamList>& AStreams) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* P = AddTable(*AStreams, nullptr, 0, 1536, 0);
  TKvTiPCMStream* C = AddTable(*AStreams, P, 1, 1536, 0);
  std::unique_ptr<TKvBitmap> LResult;
  {
    TKvTiPaletteKeeper LKeeper(AOptions);
    TKvTi9918A6448GigaScreen LScreen(P->GetData(), C->GetData());
    TKvImage LImage(ABitmap);
    ApplyFixes(LImage, AOptions);
    TKvPalette256& LFixed = BuildTI99FixedPalette(AOptions);
    LImage.FitToPaletteGray(LFixed);
    TKvPalette256& LMix = *AOptions.GetPalette();
    if (AOptions.PaletteMode == 1) {
      AOptions.SetUseAsGrayPalette(true);
      TKvPalette256 LGrays;
      BuildTI99Palette(LGrays, AOptions.PaletteType, 1);
      LMix.FillMixtures(&LGrays, AOptions.MaxFlickering, 0);
      LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, LMix, &LFixed);
    } else if (AOptions.PaletteMode == 11) {
      LMix.FillMixtures(&LFixed, AOptions.MaxFlickering, 0);
      LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, LMix, nullptr);
    } else {
      RaiseOSError(ERROR_INVALID_PARAMETER);
    }
  }
  PadTiStreams(*AStreams);
  return LResult;
}

// ---------------------------------------------------------------------------
// F18A

void WriteF18APaletteWords(uint8_t* AWords, const TKvPalette256& APalette, const TKvPaletteRGB& ALevelPalette) {
  if (APalette.Count > 16) RaiseOSError(ERROR_INVALID_PARAMETER);
  for (int i = 0; i < APalette.Count; ++i) {
    uint8_t r, g, b;
    ALevelPalette.GetLevelIndexes(APalette.GetStdRGB(i), r, g, b);
    PutBE16(AWords + 2 * i, static_cast<uint16_t>((r << 8) | (g << 4) | b));
  }
}

TKvCellPaletteList* TKvTiF18AImage::CreatePaletteList() {
  return new TKvTiColorPaletteListEx(*FPalette, FixedPairMode ? FFixedPalette : nullptr);
}

std::unique_ptr<TKvBitmap> TKvTiF18AImage::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FixedPairMode ? FFixedPalette : FPalette);
}

void TKvTiF18AImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) {
  const int d = CodeOffset ? 1 : 0;
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ((ACellPalette->IndexB + d) << 4) | (ACellPalette->IndexA + d));
}

namespace {

void SetF18ADefaults(TKvDestEngineOptions& AOptions) {
  AOptions.SetPixelAspect(12);
  AOptions.SetPaletteUsage(1);
  AOptions.SetPaletteMode(11);
  AOptions.SetLimitErrorInsideBlock(false);
  AOptions.SetLimitErrorAtBlockBoundary(false);
  AOptions.SetDitherMethod(2);
  AOptions.SetErrorDiffusion(90);
}

}  // namespace

TKvTiF18AEngineOptions::TKvTiF18AEngineOptions() { SetF18ADefaults(*this); }

void TKvTiF18AEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(ptRGB444, false);
}

TKvTiF18AScanlineEngineOptions::TKvTiF18AScanlineEngineOptions() { SetF18ADefaults(*this); }

TKvTiF18AEngineUI::TKvTiF18AEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteUsageSection(7);
  AddPaletteModeSection(2050);  // "Gray", "Сolor"
  AddDestPalette(16, 1, true);
  AddFixedPaletteSectionEx("TKvTiEngineUIExFixedPaletteComboBox", 16, 1);
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

bool TKvTiF18AEngineUI::AcceptFixedPalette(const TKvPalette256& APalette) {
  if (GetOptions()->PaletteUsage != 1) return true;
  return APalette.Count > 0 && APalette.GetStdRGB(0) == StdRGBColor(0, 0, 0);
}

TKvTiF18AScanlineEngineUI::TKvTiF18AScanlineEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteUsageSection(7);
  AddDitheringSection(true);
}

namespace {

// The F18A table streams: P with C and M (APaletteSize bytes) beside it.
void AddF18AStreams(std::unique_ptr<TKvStreamList>& AStreams, int APaletteSize, TKvTiPCMStream*& P,
                    TKvTiPCMStream*& C, TKvTiPCMStream*& M) {
  AStreams = std::make_unique<TKvStreamList>();
  P = AddTable(*AStreams, nullptr, 0, 6144, 0);
  C = AddTable(*AStreams, P, 1, 6144, 0);
  M = AddTable(*AStreams, P, 2, APaletteSize, 0);
}

std::unique_ptr<TKvBitmap> ConvertF18ACells(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                            bool AFixedPairs, TKvDestProgress& AProgress, uint8_t* APattern,
                                            uint8_t* AColors) {
  TKvTiColorScreen LScreen(APattern, AColors);
  TKvTiF18AImage LImage(8, 1, ABitmap);
  LImage.FixedPairMode = AFixedPairs;
  LImage.CodeOffset = AOptions.PaletteUsage == 0;
  ApplyFixes(LImage, AOptions);
  LImage.FitToPaletteGray(*AOptions.GetPalette());
  return LImage.Convert(AAbort, AOptions, &AProgress, &LScreen);
}

// The colours the picture uses after a dither to APalette, sorted by gray
// after the fixed ones; any failure, the abort included, leaves AResult empty.
void CollectDitheredColors(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions, TKvPalette& APalette,
                           bool AGray, TKvPalette256& AResult, TKvPalette256& AFixed) {
  AResult.Clear();
  try {
    TKvImage LImage(ABitmap);
    LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    if (AGray) LImage.MakeGray();
    LImage.DitherToPalette(AAbort, AOptions, APalette, false);
    if (!AGray) AResult.AddColors(&AFixed);
    LImage.CollectColors(AResult, 0, 0);
    AResult.SortByGray(AFixed.Count);
  } catch (...) {
    AResult.Clear();
  }
}

void QuantizeF18A(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions, int ACount, bool AGray,
                  TKvPalette& AAllowed, TKvPalette256& AResult, TKvPalette256& AFixed) {
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  if (AGray) LImage.MakeGray();
  TKvQuantization LQuantization;
  LQuantization.Quantize(AAbort, LImage, ACount, AGray, AOptions.ColorDiffMethod, AResult, &AFixed, &AAllowed);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTiF18AEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                    TKvDestProgress& AProgress,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  const uint8_t LMode = CheckMSXPaletteMode(AOptions, 2050);
  const uint8_t LUsage = AOptions.PaletteUsage;
  if (LUsage > 2) RaiseOSError(ERROR_INVALID_PARAMETER);
  const int N = LUsage == 0 ? 15 : 16;
  const int LWordOffset = LUsage == 0 ? 2 : 0;
  TKvTiPCMStream *P, *C, *M;
  AddF18AStreams(AStreams, 32, P, C, M);
  auto L = TKvPaletteRGB::CreateType(ptRGB444, LMode == 1);
  TKvPalette256& LResult = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LPreview;
  if (LMode == 1) {
    AOptions.SetUseAsGrayPalette(true);
    TKvPalette256& G = *L->GrayPalette;
    G.UpdateCache();
    if (LFixed.Count == 0 && LUsage == 0) {
      CollectDitheredColors(AAbort, ABitmap, AOptions, G, true, LResult, LFixed);
      if (LResult.Count == 0 || LResult.Count > 15) QuantizeF18A(AAbort, ABitmap, AOptions, 15, true, G, LResult, LFixed);
      LPreview = ConvertF18ACells(AAbort, ABitmap, AOptions, false, AProgress, P->GetData(), C->GetData());
      WriteF18APaletteWords(M->GetData() + LWordOffset, LResult, *L);
    } else if (LFixed.Count == 0) {
      LResult.AssignColors(&G);
      LPreview = ConvertF18ACells(AAbort, ABitmap, AOptions, false, AProgress, P->GetData(), C->GetData());
      WriteF18APaletteWords(M->GetData() + LWordOffset, LResult, *L);
    } else {
      LResult.AssignColors(&G);
      int LDark = 0, LBright = 0;
      if (LFixed.MergeColors(&LResult, N, LDark, LBright)) {
        LPreview = ConvertF18ACells(AAbort, ABitmap, AOptions, true, AProgress, P->GetData(), C->GetData());
      } else {
        const int d = LUsage == 0 ? 1 : 0;
        std::memset(C->GetData(), ((LBright + d) << 4) | (LDark + d), 6144);
        TKvTiColorScreen LScreen(P->GetData(), C->GetData());
        TKvTiF18AImage LImage(8, 1, ABitmap);
        ApplyFixes(LImage, AOptions);
        LImage.MakeGray();
        LPreview = LImage.ConvertBWBits(AAbort, AOptions, &LScreen, &LFixed, LDark, LBright);
      }
      LResult.Assign(&LFixed);
      WriteF18APaletteWords(M->GetData() + LWordOffset, LResult, *L);
    }
  } else {
    if (LUsage == 1 && LFixed.Count == 0) LFixed.AddUniqueLinRGB(LinRGBColor(0, 0, 0));
    CollectDitheredColors(AAbort, ABitmap, AOptions, *L, false, LResult, LFixed);
    if (LResult.Count == 0 || LResult.Count > N) QuantizeF18A(AAbort, ABitmap, AOptions, N, false, *L, LResult, LFixed);
    LPreview = ConvertF18ACells(AAbort, ABitmap, AOptions, false, AProgress, P->GetData(), C->GetData());
    WriteF18APaletteWords(M->GetData() + LWordOffset, LResult, *L);
  }
  PadTiStreams(*AStreams);
  return LPreview;
}

std::unique_ptr<TKvBitmap> TKvTiF18AScanlineImage::CreateResult() {
  return std::make_unique<TKvBitmap24>(GetWidth(), GetHeight());
}

void TKvTiF18AScanlineImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                         TKvCellPalette* ACellPalette) {
  const int d = Usage == 0 ? 1 : 0;
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ((ACellPalette->IndexB + d) << 4) | (ACellPalette->IndexA + d));
}

void TKvTiF18AScanlineImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                            int AIndex) {
  AResult->SetPixel(X, Y, static_cast<int>(ACellPalette->Palette->GetRGBQuad(AIndex != 0 ? 1 : 0)));
}

void TKvTiF18AScanlineImage::PrepareScanlinePalette(int ARow, uint8_t* AWords) {
  const int W = GetWidth();
  const int LAbove = ARow > 0 ? ARow - 1 : ARow;
  for (int x = 0; x < W; ++x) {
    FRowImage->GetPixels(x, 0)->InitLinRGB(GetPixels(x, LAbove)->GetLinRGB());
    FRowImage->GetPixels(x, 1)->InitLinRGB(GetPixels(x, ARow)->GetLinRGB());
  }
  FRowImage->CacheColors();
  if (FFixedPalette->Count > 0) FFixedPalette->Colors[0].Skip = false;
  TKvQuantization LQuantizer;
  LQuantizer.Quantize(FAbort, *FRowImage, ColorCount, FGrayMode, FColorDiffMethod, *FPalette, FFixedPalette,
                      FLevelPalette.get());
  FPalette->UpdateCache();
  FPaletteList->Clear();
  for (int i = 0; i < FPalette->Count; ++i) FPaletteList->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, i, i));
  for (int i = 0; i < FPalette->Count; ++i)
    for (int j = i + 1; j < FPalette->Count; ++j)
      FPaletteList->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, i, j));
  TKvPalette256 LWords;
  LWords.AssignColors(FPalette);
  WriteF18APaletteWords(AWords + (Usage == 0 ? 2 : 0), LWords, *FLevelPalette);
}

std::unique_ptr<TKvBitmap> TKvTiF18AScanlineImage::ConvertScanline(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                   TKvDestProgress* AProgress,
                                                                   TKvTiColorScreen* AScreen, uint8_t* APaletteWords) {
  const int total = FCellsAcross * FCellsDown;
  if (AProgress) AProgress->SetProgress(total, 0);
  Usage = AOptions.PaletteUsage;
  AOptions.GetPalette()->Clear();
  AOptions.GetFixedPalette()->Clear();
  ColorCount = 16;
  if (Usage == 0)
    ColorCount = 15;
  else if (Usage == 1)
    AOptions.GetFixedPalette()->AddUniqueLinRGB(LinRGBColor(0, 0, 0));
  else if (Usage != 2)
    RaiseOSError(ERROR_INVALID_PARAMETER);
  struct TGuard {
    TKvTiF18AScanlineImage* Image;
    ~TGuard() {
      delete Image->FPaletteList;
      Image->FPaletteList = nullptr;
      Image->FWorkOptions.reset();
      Image->FRowImage.reset();
      Image->FLevelPalette.reset();
    }
  } guard{this};
  PrepareConversion(AAbort, AOptions, AProgress, true);
  FPaletteList = new TKvCellPaletteList();
  FRowImage = std::make_unique<TKvImage>(GetWidth(), 2);
  FLevelPalette = TKvPaletteRGB::CreateType(ptRGB444, FGrayMode);
  std::unique_ptr<TKvBitmap> result = CreateResult();
  int done = 0;
  FMirror = false;
  uint8_t* LWords = APaletteWords;
  for (int j = 0; j < FCellsDown; ++j) {
    FCellY = j;
    BeginCellRow(result.get(), AScreen);
    DropRowLookahead();
    PrepareScanlinePalette(j, LWords);
    LWords += 32;
    for (int i = 0; i < FCellsAcross; ++i) {
      if (Aborted()) Abort();
      FCellX = i;
      const TRect r = GetCellRect(i, j);
      TKvCellPalette* candidate = nullptr;
      SolveCell(i, j, r, candidate);
      RenderCell(result.get(), AScreen, i, j, r, candidate);
      ++done;
      if (FProgress) ReportProgress(FProgress, total, done);
    }
    if (FSerpentine) FMirror = !FMirror;
  }
  DropRowLookahead();
  result->MirrorX = false;
  if (AScreen) AScreen->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvTiF18AScanlineEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                            TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                            TKvDestProgress& AProgress,
                                                            std::unique_ptr<TKvStreamList>& AStreams) {
  TKvTiPCMStream *P, *C, *M;
  AddF18AStreams(AStreams, 6144, P, C, M);
  TKvTiColorScreen LScreen(P->GetData(), C->GetData());
  TKvTiF18AScanlineImage LImage(8, 1, ABitmap);
  auto LPreview = LImage.ConvertScanline(AAbort, AOptions, &AProgress, &LScreen, M->GetData());
  PadTiStreams(*AStreams);
  return LPreview;
}

// ---------------------------------------------------------------------------
// V9938

TKvTiV9938G6_512x212EngineOptions::TKvTiV9938G6_512x212EngineOptions() {
  SetPixelAspect(2);  // "1.138:2"
  SetErrorDiffusion(90);
  SetPaletteMode(11);
}

void TKvTiV9938G6_512x212EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(ptRGB333, false);
}

TKvTiV9938G7_256x212EngineOptions::TKvTiV9938G7_256x212EngineOptions() {
  SetPixelAspect(12);
  SetDitherMethod(1);
  SetErrorDiffusion(90);
  SetPaletteMode(11);
}

TKvTiV9938G6_512x212EngineUI::TKvTiV9938G6_512x212EngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvTiV9938G6_512x212EngineUI::GetEditedPalette(TKvPalette256&, int& AColumns) {
  AColumns = 32;
  return GetOptions()->GetHardwarePalette();
}

TKvTiV9938G7_256x212EngineUI::TKvTiV9938G7_256x212EngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddPaletteModeSection(2051);  // "Black/white", "Gray", "Сolor"
  AddDitheringSection(false);
}

namespace {

// A picture file of the list: the data written from byte 128.
TKvTiGStream* AddPictureFile(TKvStreamList& AList, const char* AExtension) {
  auto s = std::make_unique<TKvTiGStream>(AExtension, 0, 0);
  TKvTiGStream* r = s.get();
  AList.Add(std::move(s));
  return r;
}

// The "yapp" copy of AFile's data with another format byte.
void AddYappCopy(TKvStreamList& AList, TKvTiGStream& AFile, uint8_t AFormat) {
  const int64_t LSize = AFile.GetDataSize();
  auto y = std::make_unique<TKvTiGStream>("yapp", static_cast<int>(LSize), 0);
  if (LSize > 0) std::memcpy(y->GetData(), AFile.GetData(), static_cast<size_t>(LSize));
  y->SetFormatByte(AFormat);
  y->PadToSector();
  AList.Add(std::move(y));
}

template <class TWriter>
void WriteRuns(TKvStream& AStream, TKvBitmap& AResult) {
  TWriter w;
  w.Stream = &AStream;
  w.MaxRun = AResult.Width;
  for (int y = 0; y < AResult.Height; ++y) {
    for (int x = 0; x < AResult.Width; ++x) w.Put(static_cast<uint8_t>(AResult.GetPixel(x, y)));
    w.Flush();
  }
}

}  // namespace

void WriteV9938G6Files(TKvDestEngineOptions& AOptions, const TKvPaletteRGB& APalette,
                       std::unique_ptr<TKvStreamList>& AStreams, TKvBitmap& AResult, bool AInterlaced) {
  auto LList = std::make_unique<TKvStreamList>();
  TKvTiGStream* M = AddPictureFile(*LList, AInterlaced ? "yapp" : "MyArtG6FA");
  TKvPalette256& LResult = *AOptions.GetPalette();
  uint8_t LHead[34] = {};
  LHead[0] = static_cast<uint8_t>(LResult.FindNearestStdRGB(AOptions.GetBorderStdRGB()));
  LHead[1] = AInterlaced ? 122 : 250;
  if (LResult.Count > 16) RaiseOSError(ERROR_INVALID_PARAMETER);
  for (int i = 0; i < LResult.Count; ++i) {
    uint8_t r, g, b;
    APalette.GetLevelIndexes(LResult.GetStdRGB(i), r, g, b);
    PutBE16(LHead + 2 + 2 * i, static_cast<uint16_t>((r << 12) | (b << 8) | g));
  }
  M->WriteBuffer(LHead, sizeof LHead);
  WriteRuns<TKvG6RunWriter>(*M, AResult);
  SetTiFilesDataSize(*M->GetHeader(), static_cast<uint32_t>(M->GetDataSize()));
  if (!AInterlaced) AddYappCopy(*LList, *M, 250);
  M->PadToSector();
  AStreams = std::move(LList);
}

void WriteV9938G7Files(TKvDestEngineOptions& AOptions, const TKvPalette256& APalette,
                       std::unique_ptr<TKvStreamList>& AStreams, TKvBitmap& AResult, bool AInterlaced) {
  auto LList = std::make_unique<TKvStreamList>();
  TKvTiGStream* M = AddPictureFile(*LList, AInterlaced ? "yapp" : "MyArtG700");
  const uint8_t LHead[2] = {static_cast<uint8_t>(APalette.FindNearestStdRGB(AOptions.GetBorderStdRGB())),
                            static_cast<uint8_t>(AInterlaced ? 126 : 0)};
  M->WriteBuffer(LHead, 2);
  WriteRuns<TKvG7RunWriter>(*M, AResult);
  SetTiFilesDataSize(*M->GetHeader(), static_cast<uint32_t>(M->GetDataSize()));
  if (!AInterlaced) AddYappCopy(*LList, *M, 254);
  M->PadToSector();
  AStreams = std::move(LList);
}

std::unique_ptr<TKvBitmap> ConvertV9938G6(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                          std::unique_ptr<TKvStreamList>& AStreams, bool AInterlaced) {
  const uint8_t LMode = CheckMSXPaletteMode(AOptions, 133123);
  auto L = TKvPaletteRGB::CreateType(ptRGB333, LMode == 1);
  TKvImage LImage(ABitmap);
  ApplyFixes(LImage, AOptions);
  TKvPalette256& LResult = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LPreview;
  if (LMode == 0) {
    LResult.FillBlackWhite();
    int I1 = 0, I2 = 1;
    LFixed.AddColorPair(&LResult, 16, I1, I2);
    LResult.Assign(&LFixed);
    LPreview = LImage.ConvertBW(AAbort, AOptions, nullptr, &LResult, I1, I2);
  } else if (LMode == 1) {
    int LDark = 0, LBright = 0;
    if (TKvDestEngine::ReducePalette(AAbort, LImage, *L->GrayPalette, 16, AOptions, LDark, LBright))
      LPreview = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, &LFixed);
    else
      LPreview = LImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, LDark, LBright);
    LResult.Assign(&LFixed);
  } else {
    TKvDestEngine::QuantizePalette(AAbort, LImage, *L, 16, AOptions);
    LImage.FitToPaletteGray(LResult);
    LPreview = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, nullptr);
  }
  LPreview->MirrorX = false;
  WriteV9938G6Files(AOptions, *L, AStreams, *LPreview, AInterlaced);
  return LPreview;
}

std::unique_ptr<TKvBitmap> ConvertV9938G7(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions,
                                          std::unique_ptr<TKvStreamList>& AStreams, bool AInterlaced) {
  const uint8_t LMode = CheckMSXPaletteMode(AOptions, 2051);
  TKvPalette256 P256;
  BuildMSXScreen8Palette(P256, false);
  TKvImage LImage(ABitmap);
  TKvPalette256& LResult = *AOptions.GetPalette();
  std::unique_ptr<TKvBitmap> LPreview;
  if (LMode == 0) {
    LPreview = LImage.ConvertBW(AAbort, AOptions, nullptr, &P256, 0, 255);
  } else if (LMode == 1) {
    LResult.Clear();
    for (int i = 0; i < 4; ++i) {
      TKvStdRGBColor c = P256.GetStdRGB(i);
      c.R = c.G = c.B;
      LResult.AddStdRGB(P256.GetStdRGB(P256.FindNearestStdRGB(c)));
    }
    AOptions.SetUseAsGrayPalette(true);
    LPreview = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, &P256);
  } else {
    LResult.Assign(&P256);
    LPreview = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResult, nullptr);
  }
  LPreview->MirrorX = false;
  WriteV9938G7Files(AOptions, P256, AStreams, *LPreview, AInterlaced);
  return LPreview;
}

// ---------------------------------------------------------------------------
// Registration

const std::vector<const TKvDestEngineClass*>& TI99DestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {
      &DestEngineClass<TKvTi9918AEngine>(),
      &DestEngineClass<TKvTi9918A64Engine>(),
      &DestEngineClass<TKvTi9918A6448Engine>(),
      &DestEngineClass<TKvTi9918A6448GigaEngine>(),
      &DestEngineClass<TKvTiF18AEngine>(),
      &DestEngineClass<TKvTiF18AScanlineEngine>(),
      &DestEngineClass<TKvTiV9938G6_512x192Engine>(),
      &DestEngineClass<TKvTiV9938G6_512x212Engine>(),
      &DestEngineClass<TKvTiV9938G6_512x424Engine>(),
      &DestEngineClass<TKvTiV9938G7_256x192Engine>(),
      &DestEngineClass<TKvTiV9938G7_256x212Engine>(),
      &DestEngineClass<TKvTiV9938G7_256x424Engine>(),
  };
  return LClasses;
}

void InitKvSavePlatformTI99() {
  for (const TKvDestEngineClass* c : TI99DestEngineClasses()) RegisterDestEngine(*c);
}
