#include "platforms/KvSavePlatformTI99.h"

#include <cstring>
#include <ctime>

#include "app/KvSaveFiles.h"
#include "core/KvDestProgress.h"
#include "core/KvFlicker.h"
#include "platforms/KvPlatformTI99.h"
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
// Registration

const std::vector<const TKvDestEngineClass*>& TI99DestEngineClasses() {
  static const std::vector<const TKvDestEngineClass*> LClasses = {
      &DestEngineClass<TKvTi9918AEngine>(),
      &DestEngineClass<TKvTi9918A64Engine>(),
      &DestEngineClass<TKvTi9918A6448Engine>(),
      &DestEngineClass<TKvTi9918A6448GigaEngine>(),
  };
  return LClasses;
}

void InitKvSavePlatformTI99() {
  for (const TKvDestEngineClass* c : TI99DestEngineClasses()) RegisterDestEngine(*c);
}
