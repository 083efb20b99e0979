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
  SetPixelAspect(pa1p138_1);
  SetPaletteType(ptTI99Convert9918);
  SetPaletteMode(pmColor);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
  SetErrorDiffusion(90);
}

void TKvTi9918AEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& result = *GetPalette();
  result.Clear();
  if (PaletteMode == pmBlackWhite) {
    BuildTI99Palette(result, PaletteType, pmBlackWhite);
  } else if (UseAsGrayPalette) {
    BuildTI99Palette(result, PaletteType, pmColor);
    result.MakeGray();
    result.Delete(0);
  } else {
    BuildTI99Palette(result, PaletteType, PaletteMode);
    if (PaletteMode == pmColor) result.Delete(0);
  }
}

TKvTi9918A64EngineOptions::TKvTi9918A64EngineOptions() {
  SetPixelAspect(pa4p552_1);
  SetDitherMethod(1);
}

TKvTi9918A6448EngineOptions::TKvTi9918A6448EngineOptions() { SetDitherMethod(0); }

void TKvTi9918A6448GigaEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256 base;
  BuildTI99Palette(base, PaletteType, PaletteMode);
  if (PaletteMode == pmColor) base.Delete(0);
  GetPalette()->FillMixtures(&base, MaxFlickering, 15);
}

namespace {

// The TMS9918A palette kinds of the panels.
void AddTI99PaletteTypes(TKvDestEngineUIEx& APanel) {
  const int types = APanel.AddCustomPaletteComboBox();
  for (int t : {ptTI99MSX, ptTI99Adam, ptTI99Convert9918}) APanel.AddSectionItem(types, t);
}

// Item 0 of the mode list disables both block limits.
void AddBlockLimitRelations(TKvDestEngineUIEx& APanel) {
  APanel.AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
  APanel.AddRelated(pcModeCombo, 0, pcLimitBoundaryCheckBox, true);
}

}  // namespace

TKvTi9918AEngineUI::TKvTi9918AEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddTI99PaletteTypes(*this);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDestPalette(15, 1, true);
  AddGrayPaletteCheckBox();
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

TKvTi9918A6448GigaEngineUI::TKvTi9918A6448GigaEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddTI99PaletteTypes(*this);
  AddPaletteModeSection(PaletteModes(pmGray, pmColor));
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

// The 15 colours of codes 1..15 (index i = code i + 1) as the options'
// fixed palette.
TKvPalette256& BuildTI99FixedPalette(TKvDestEngineOptions& AOptions) {
  TKvPalette256& fixed = *AOptions.GetFixedPalette();
  BuildTI99Palette(fixed, AOptions.PaletteType, pmColor);
  fixed.Delete(0);
  return fixed;
}

// AConvert() with the options' result palette kept, then the files padded.
template <class TConvert>
std::unique_ptr<TKvBitmap> ConvertTiTables(TKvConvertArgs& AArgs, TConvert AConvert) {
  std::unique_ptr<TKvBitmap> result;
  {
    TKvTiPaletteKeeper keeper(AArgs.Options);
    result = AConvert();
  }
  PadTiStreams(*AArgs.Streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTi9918AEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* patterns = AddTable(*AArgs.Streams, nullptr, 0, 6144, 0);
  TKvTiPCMStream* colors = mode != pmBlackWhite ? AddTable(*AArgs.Streams, patterns, 1, 6144, 0) : nullptr;
  return ConvertTiTables(AArgs, [&]() -> std::unique_ptr<TKvBitmap> {
    TKvPalette256& palette = *options.GetPalette();
    if (mode == pmBlackWhite) {
      BuildTI99Palette(palette, options.PaletteType, pmBlackWhite);
      TKvTiBWScreen screen(patterns->GetData());
      TKvImage image(AArgs.Bitmap);
      return image.ConvertBW(AArgs.Abort, options, &screen, &palette, 0, 1);
    }
    BuildTI99Palette(palette, options.PaletteType, pmColor);
    if (options.UseAsGrayPalette) palette.MakeGray();
    TKvTiColorScreen screen(patterns->GetData(), colors->GetData());
    TKvTi9918AImage image(8, 1, AArgs.Bitmap);
    if (mode == pmGray && !options.UseAsGrayPalette) {
      options.SetUseAsGrayPalette(true);
      image.GrayMode = true;
    }
    AdjustOnce(image, options);
    image.FitToPaletteGray(palette);
    return image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  });
}

namespace {

std::unique_ptr<TKvBitmap> ConvertHalfChar(TKvConvertArgs& AArgs, TKvData& AScreen) {
  TKvDestEngineOptions& options = AArgs.Options;
  const uint8_t mode = options.PaletteMode;
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& fixed = BuildTI99FixedPalette(options);
  if (mode != pmBlackWhite) image.FitToPaletteGray(fixed);
  if (mode == pmBlackWhite) return image.ConvertBW(AArgs.Abort, options, &AScreen, &fixed, 0, 14);
  if (mode == pmColor || (mode == pmGray && options.UseAsGrayPalette)) {
    if (options.UseAsGrayPalette) fixed.MakeGray();
    return image.ConvertIndexed(AArgs.Abort, options, &AScreen, fixed, nullptr);
  }
  if (mode == pmGray) {
    TKvPalette256& result = *options.GetPalette();
    BuildTI99Palette(result, options.PaletteType, pmGray);
    options.SetUseAsGrayPalette(true);
    return image.ConvertIndexed(AArgs.Abort, options, &AScreen, result, &fixed);
  }
  RaiseOSError(ERROR_INVALID_PARAMETER);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTi9918A64Engine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* patterns = AddTable(*AArgs.Streams, nullptr, 0, 6144, 0xF0);
  TKvTiPCMStream* colors = AddTable(*AArgs.Streams, patterns, 1, 6144, 0);
  return ConvertTiTables(AArgs, [&] {
    TKvTi9918A64Screen screen(192, colors->GetData());
    return ConvertHalfChar(AArgs, screen);
  });
}

std::unique_ptr<TKvBitmap> TKvTi9918A6448Engine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* patterns = AddTable(*AArgs.Streams, nullptr, 0, 1536, 0);
  return ConvertTiTables(AArgs, [&] {
    TKvTi9918A6448Screen screen(48, patterns->GetData());
    return ConvertHalfChar(AArgs, screen);
  });
}

std::unique_ptr<TKvBitmap> TKvTi9918A6448GigaEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* frame1 = AddTable(*AArgs.Streams, nullptr, 0, 1536, 0);
  TKvTiPCMStream* frame2 = AddTable(*AArgs.Streams, frame1, 1, 1536, 0);
  return ConvertTiTables(AArgs, [&] {
    TKvTi9918A6448GigaScreen screen(frame1->GetData(), frame2->GetData());
    TKvImage image(AArgs.Bitmap);
    AdjustOnce(image, options);
    TKvPalette256& fixed = BuildTI99FixedPalette(options);
    image.FitToPaletteGray(fixed);
    TKvPalette256& mix = *options.GetPalette();
    if (options.PaletteMode == pmGray) {
      options.SetUseAsGrayPalette(true);
      TKvPalette256 grays;
      BuildTI99Palette(grays, options.PaletteType, pmGray);
      mix.FillMixtures(&grays, options.MaxFlickering, 0);
      return ConvertFlicker(image, AArgs.Abort, options, &screen, mix, &fixed);
    }
    if (options.PaletteMode != pmColor) RaiseOSError(ERROR_INVALID_PARAMETER);
    mix.FillMixtures(&fixed, options.MaxFlickering, 0);
    return ConvertFlicker(image, AArgs.Abort, options, &screen, mix, nullptr);
  });
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
  AOptions.SetPixelAspect(pa1p138_1);
  AOptions.SetPaletteUsage(puBlackAndColors15);
  AOptions.SetPaletteMode(pmColor);
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
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteUsageSection(PaletteUsages(puColors15, puBlackAndColors15, puColors16));
  AddPaletteModeSection(PaletteModes(pmGray, pmColor));
  AddDestPalette(16, 1, true);
  AddFixedPaletteSectionEx("TKvTiEngineUIExFixedPaletteComboBox", 16, 1);
  AddDitheringSection(true);
  AddBlockLimitRelations(*this);
}

bool TKvTiF18AEngineUI::AcceptFixedPalette(const TKvPalette256& APalette) {
  if (GetOptions()->PaletteUsage != puBlackAndColors15) return true;
  return APalette.Count > 0 && APalette.GetStdRGB(0) == StdRGBColor(0, 0, 0);
}

TKvTiF18AScanlineEngineUI::TKvTiF18AScanlineEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteUsageSection(PaletteUsages(puColors15, puBlackAndColors15, puColors16));
  AddDitheringSection(true);
}

namespace {

// The F18A table streams: the patterns, with the colours and the palettes
// (APaletteSize bytes) beside them.
struct TKvF18AStreams {
  TKvTiPCMStream* Patterns;
  TKvTiPCMStream* Colors;
  TKvTiPCMStream* Palettes;
};

TKvF18AStreams AddF18AStreams(std::unique_ptr<TKvStreamList>& AStreams, int APaletteSize) {
  AStreams = std::make_unique<TKvStreamList>();
  TKvTiPCMStream* patterns = AddTable(*AStreams, nullptr, 0, 6144, 0);
  TKvTiPCMStream* colors = AddTable(*AStreams, patterns, 1, 6144, 0);
  return {patterns, colors, AddTable(*AStreams, patterns, 2, APaletteSize, 0)};
}

std::unique_ptr<TKvBitmap> ConvertF18ACells(TKvConvertArgs& AArgs, bool AFixedPairs, TKvF18AStreams& AFiles) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvTiColorScreen screen(AFiles.Patterns->GetData(), AFiles.Colors->GetData());
  TKvTiF18AImage image(8, 1, AArgs.Bitmap);
  image.FixedPairMode = AFixedPairs;
  image.CodeOffset = options.PaletteUsage == puColors15;
  AdjustOnce(image, options);
  image.FitToPaletteGray(*options.GetPalette());
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
}

// The colours the picture uses after a dither to APalette, sorted by gray
// after the fixed ones; any failure, the abort included, leaves AResult empty.
void CollectDitheredColors(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions, TKvPalette& APalette,
                           bool AGray, TKvPalette256& AResult, TKvPalette256& AFixed) {
  AResult.Clear();
  try {
    TKvImage image(ABitmap);
    image.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    if (AGray) image.MakeGray();
    image.DitherToPalette(AAbort, AOptions, APalette, false);
    if (!AGray) AResult.AddColors(&AFixed);
    image.CollectColors(AResult, 0, 0);
    AResult.SortByGray(AFixed.Count);
  } catch (...) {
    AResult.Clear();
  }
}

void QuantizeF18A(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& AOptions, int ACount, bool AGray,
                  TKvPalette& AAllowed, TKvPalette256& AResult, TKvPalette256& AFixed) {
  TKvImage image(ABitmap);
  image.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  if (AGray) image.MakeGray();
  TKvQuantization quantization;
  quantization.Quantize(AAbort, image, ACount, AGray, AOptions.ColorDiffMethod, AResult, &AFixed, &AAllowed);
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvTiF18AEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  bool* abort = AArgs.Abort;
  TBitmap32& bitmap = AArgs.Bitmap;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmGray, pmColor));
  const uint8_t usage = options.PaletteUsage;
  if (usage > puColors16) RaiseOSError(ERROR_INVALID_PARAMETER);
  const int count = usage == puColors15 ? 15 : 16;
  const int wordOffset = usage == puColors15 ? 2 : 0;
  TKvF18AStreams files = AddF18AStreams(AArgs.Streams, 32);
  uint8_t* words = files.Palettes->GetData() + wordOffset;
  auto levels = TKvPaletteRGB::CreateType(ptRGB444, mode == pmGray);
  TKvPalette256& result = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmGray) {
    options.SetUseAsGrayPalette(true);
    TKvPalette256& grays = *levels->GrayPalette;
    grays.UpdateCache();
    if (fixed.Count == 0 && usage == puColors15) {
      CollectDitheredColors(abort, bitmap, options, grays, true, result, fixed);
      if (result.Count == 0 || result.Count > 15) QuantizeF18A(abort, bitmap, options, 15, true, grays, result, fixed);
      preview = ConvertF18ACells(AArgs, false, files);
      WriteF18APaletteWords(words, result, *levels);
    } else if (fixed.Count == 0) {
      result.AssignColors(&grays);
      preview = ConvertF18ACells(AArgs, false, files);
      WriteF18APaletteWords(words, result, *levels);
    } else {
      result.AssignColors(&grays);
      int dark = 0, bright = 0;
      if (fixed.MergeColors(&result, count, dark, bright)) {
        preview = ConvertF18ACells(AArgs, true, files);
      } else {
        const int d = usage == puColors15 ? 1 : 0;
        std::memset(files.Colors->GetData(), ((bright + d) << 4) | (dark + d), 6144);
        TKvTiColorScreen screen(files.Patterns->GetData(), files.Colors->GetData());
        TKvTiF18AImage image(8, 1, bitmap);
        AdjustOnce(image, options);
        image.MakeGray();
        preview = image.ConvertBWBits(abort, options, &screen, &fixed, dark, bright);
      }
      result.Assign(&fixed);
      WriteF18APaletteWords(words, result, *levels);
    }
  } else {
    if (usage == puBlackAndColors15 && fixed.Count == 0) fixed.AddUniqueLinRGB(LinRGBColor(0, 0, 0));
    CollectDitheredColors(abort, bitmap, options, *levels, false, result, fixed);
    if (result.Count == 0 || result.Count > count)
      QuantizeF18A(abort, bitmap, options, count, false, *levels, result, fixed);
    preview = ConvertF18ACells(AArgs, false, files);
    WriteF18APaletteWords(words, result, *levels);
  }
  PadTiStreams(*AArgs.Streams);
  return preview;
}

std::unique_ptr<TKvBitmap> TKvTiF18AScanlineImage::CreateResult() {
  return std::make_unique<TKvBitmap24>(GetWidth(), GetHeight());
}

void TKvTiF18AScanlineImage::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                         TKvCellPalette* ACellPalette) {
  const int d = Usage == puColors15 ? 1 : 0;
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ((ACellPalette->IndexB + d) << 4) | (ACellPalette->IndexA + d));
}

void TKvTiF18AScanlineImage::SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette,
                                            int AIndex) {
  AResult->SetPixel(X, Y, static_cast<int>(ACellPalette->Palette->GetRGBQuad(AIndex != 0 ? 1 : 0)));
}

void TKvTiF18AScanlineImage::PrepareScanlinePalette(int ARow, uint8_t* AWords) {
  const int W = GetWidth();
  const int above = ARow > 0 ? ARow - 1 : ARow;
  for (int x = 0; x < W; ++x) {
    FRowImage->GetPixels(x, 0)->InitLinRGB(GetPixels(x, above)->GetLinRGB());
    FRowImage->GetPixels(x, 1)->InitLinRGB(GetPixels(x, ARow)->GetLinRGB());
  }
  FRowImage->CacheColors();
  if (FFixedPalette->Count > 0) FFixedPalette->Colors[0].Skip = false;
  TKvQuantization quantizer;
  quantizer.Quantize(FAbort, *FRowImage, ColorCount, FGrayMode, FColorDiffMethod, *FPalette, FFixedPalette,
                     FLevelPalette.get());
  FPalette->UpdateCache();
  FPaletteList->Clear();
  for (int i = 0; i < FPalette->Count; ++i) FPaletteList->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, i, i));
  for (int i = 0; i < FPalette->Count; ++i)
    for (int j = i + 1; j < FPalette->Count; ++j)
      FPaletteList->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, i, j));
  TKvPalette256 words;
  words.AssignColors(FPalette);
  WriteF18APaletteWords(AWords + (Usage == puColors15 ? 2 : 0), words, *FLevelPalette);
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
  if (Usage == puColors15)
    ColorCount = 15;
  else if (Usage == puBlackAndColors15)
    AOptions.GetFixedPalette()->AddUniqueLinRGB(LinRGBColor(0, 0, 0));
  else if (Usage != puColors16)
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
  uint8_t* words = APaletteWords;
  for (int j = 0; j < FCellsDown; ++j) {
    FCellY = j;
    BeginCellRow(result.get(), AScreen);
    DropRowLookahead();
    PrepareScanlinePalette(j, words);
    words += 32;
    SolveCellRow(result.get(), AScreen, j, total, done);
    if (FSerpentine) FMirror = !FMirror;
  }
  DropRowLookahead();
  result->MirrorX = false;
  if (AScreen) AScreen->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvTiF18AScanlineEngine::Convert(TKvConvertArgs& AArgs) {
  TKvF18AStreams files = AddF18AStreams(AArgs.Streams, 6144);
  TKvTiColorScreen screen(files.Patterns->GetData(), files.Colors->GetData());
  TKvTiF18AScanlineImage image(8, 1, AArgs.Bitmap);
  auto preview = image.ConvertScanline(AArgs.Abort, AArgs.Options, &AArgs.Progress, &screen, files.Palettes->GetData());
  PadTiStreams(*AArgs.Streams);
  return preview;
}

// ---------------------------------------------------------------------------
// V9938

TKvTiV9938G6_512x212EngineOptions::TKvTiV9938G6_512x212EngineOptions() {
  SetPixelAspect(pa1p138_2);
  SetErrorDiffusion(90);
  SetPaletteMode(pmColor);
}

void TKvTiV9938G6_512x212EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  HardwarePalette = TKvPaletteRGB::CreateType(ptRGB333, false);
}

TKvTiV9938G7_256x212EngineOptions::TKvTiV9938G7_256x212EngineOptions() {
  SetPixelAspect(pa1p138_1);
  SetDitherMethod(1);
  SetErrorDiffusion(90);
  SetPaletteMode(pmColor);
}

TKvTiV9938G6_512x212EngineUI::TKvTiV9938G6_512x212EngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
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
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
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
  const int64_t size = AFile.GetDataSize();
  auto y = std::make_unique<TKvTiGStream>("yapp", static_cast<int>(size), 0);
  if (size > 0) std::memcpy(y->GetData(), AFile.GetData(), static_cast<size_t>(size));
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
  auto list = std::make_unique<TKvStreamList>();
  TKvTiGStream* file = AddPictureFile(*list, AInterlaced ? "yapp" : "MyArtG6FA");
  TKvPalette256& result = *AOptions.GetPalette();
  uint8_t head[34] = {};
  head[0] = static_cast<uint8_t>(result.FindNearestStdRGB(AOptions.GetBorderStdRGB()));
  head[1] = AInterlaced ? 122 : 250;
  if (result.Count > 16) RaiseOSError(ERROR_INVALID_PARAMETER);
  for (int i = 0; i < result.Count; ++i) {
    uint8_t r, g, b;
    APalette.GetLevelIndexes(result.GetStdRGB(i), r, g, b);
    PutBE16(head + 2 + 2 * i, static_cast<uint16_t>((r << 12) | (b << 8) | g));
  }
  file->WriteBuffer(head, sizeof head);
  WriteRuns<TKvG6RunWriter>(*file, AResult);
  SetTiFilesDataSize(*file->GetHeader(), static_cast<uint32_t>(file->GetDataSize()));
  if (!AInterlaced) AddYappCopy(*list, *file, 250);
  file->PadToSector();
  AStreams = std::move(list);
}

void WriteV9938G7Files(TKvDestEngineOptions& AOptions, const TKvPalette256& APalette,
                       std::unique_ptr<TKvStreamList>& AStreams, TKvBitmap& AResult, bool AInterlaced) {
  auto list = std::make_unique<TKvStreamList>();
  TKvTiGStream* file = AddPictureFile(*list, AInterlaced ? "yapp" : "MyArtG700");
  const uint8_t head[2] = {static_cast<uint8_t>(APalette.FindNearestStdRGB(AOptions.GetBorderStdRGB())),
                           static_cast<uint8_t>(AInterlaced ? 126 : 0)};
  file->WriteBuffer(head, 2);
  WriteRuns<TKvG7RunWriter>(*file, AResult);
  SetTiFilesDataSize(*file->GetHeader(), static_cast<uint32_t>(file->GetDataSize()));
  if (!AInterlaced) AddYappCopy(*list, *file, 254);
  file->PadToSector();
  AStreams = std::move(list);
}

std::unique_ptr<TKvBitmap> ConvertV9938G6(TKvConvertArgs& AArgs, bool AInterlaced) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  auto levels = TKvPaletteRGB::CreateType(ptRGB333, mode == pmGray);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  auto preview =
      TKvDestEngine::ConvertChosenColors(AArgs.Abort, image, nullptr, levels->GrayPalette.get(), *levels, 16, options);
  preview->MirrorX = false;
  WriteV9938G6Files(options, *levels, AArgs.Streams, *preview, AInterlaced);
  return preview;
}

std::unique_ptr<TKvBitmap> ConvertV9938G7(TKvConvertArgs& AArgs, bool AInterlaced) {
  TKvDestEngineOptions& options = AArgs.Options;
  const TKvPaletteMode mode = CheckMSXPaletteMode(options, PaletteModes(pmBlackWhite, pmGray, pmColor));
  TKvPalette256 colors;
  BuildMSXScreen8Palette(colors, false);
  TKvImage image(AArgs.Bitmap);
  TKvPalette256& result = *options.GetPalette();
  std::unique_ptr<TKvBitmap> preview;
  if (mode == pmBlackWhite) {
    preview = image.ConvertBW(AArgs.Abort, options, nullptr, &colors, 0, 255);
  } else if (mode == pmGray) {
    result.Clear();
    for (int i = 0; i < 4; ++i) {
      TKvStdRGBColor c = colors.GetStdRGB(i);
      c.R = c.G = c.B;
      result.AddStdRGB(colors.GetStdRGB(colors.FindNearestStdRGB(c)));
    }
    options.SetUseAsGrayPalette(true);
    preview = image.ConvertIndexed(AArgs.Abort, options, nullptr, result, &colors);
  } else {
    result.Assign(&colors);
    preview = image.ConvertIndexed(AArgs.Abort, options, nullptr, result, nullptr);
  }
  preview->MirrorX = false;
  WriteV9938G7Files(options, colors, AArgs.Streams, *preview, AInterlaced);
  return preview;
}

// ---------------------------------------------------------------------------
// Registration

const std::vector<const TKvDestEngineClass*>& TI99DestEngineClasses() {
  return DestEngineClasses<TKvTi9918AEngine, TKvTi9918A64Engine, TKvTi9918A6448Engine, TKvTi9918A6448GigaEngine,
                           TKvTiF18AEngine, TKvTiF18AScanlineEngine, TKvTiV9938G6_512x192Engine,
                           TKvTiV9938G6_512x212Engine, TKvTiV9938G6_512x424Engine, TKvTiV9938G7_256x192Engine,
                           TKvTiV9938G7_256x212Engine, TKvTiV9938G7_256x424Engine>();
}

void InitKvSavePlatformTI99() { RegisterDestEngines(TI99DestEngineClasses()); }
