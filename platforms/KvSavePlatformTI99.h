// The converters of the "TI-99/4A" platform: the TMS9918A bitmap and
// multicolour modes, the F18A modes with their 12-bit palettes, and the
// V9938 Graphics 6 and 7 modes of the Geneve. Every file is a TI disk file:
// a 128-byte TIFILES header, then the data padded to whole 256-byte sectors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvKMeans.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "platforms/KvSavePlatformMSX.h"

// ---------------------------------------------------------------------------
// Creation stamps. The clock is the local time; tests put a fixed one in.

struct TKvTiDateTime {
  int Year, Month, Day, Hour, Minute, Second;
};
using TKvTiClock = TKvTiDateTime (*)();
// Replaces the clock (nullptr: the local time again); returns the previous one.
TKvTiClock SetTiFilesClock(TKvTiClock AClock);
TKvTiDateTime TiFilesNow();

// ---------------------------------------------------------------------------
// TIFILES header

constexpr int TiFilesHeaderSize = 128;
constexpr int TiSectorSize = 256;

struct TKvTiFilesHeader {
  uint8_t MagicLength;
  char Magic[7];
  uint8_t SectorCount[2];  // big-endian
  uint8_t Flags;
  uint8_t RecordsPerSector;
  uint8_t EofOffset;
  uint8_t RecordLength;
  uint8_t RecordCount[2];  // little-endian
  char FileName[10];
  uint8_t Reserved1[2];
  uint8_t ExtendedFlags[2];
  uint8_t CreationTime[2];  // big-endian
  uint8_t CreationDate[2];  // big-endian
  uint8_t Reserved2[94];
};
static_assert(sizeof(TKvTiFilesHeader) == TiFilesHeaderSize);

// Zeroes the header, writes the magic, the extended-header flags FF FF and
// the creation time and date of the clock.
void InitTiFilesHeader(TKvTiFilesHeader& AHeader);
// Flags 1, no records.
void InitTiFilesProgramHeader(TKvTiFilesHeader& AHeader, uint32_t ADataSize);
// Flags 0, 2 records of 128 bytes per sector.
void InitTiFilesDataHeader(TKvTiFilesHeader& AHeader, uint32_t ADataSize);
// Sector count, end-of-file offset and, with records, the record count.
void SetTiFilesDataSize(TKvTiFilesHeader& AHeader, uint32_t ADataSize);
// Every byte below 32, from 128 up, or "." becomes "_".
std::string MakeTiFileName(const std::string& AName);
// The first 10 bytes of MakeTiFileName(AName), space-padded.
void SetTiFilesName(TKvTiFilesHeader& AHeader, const std::string& AName);
// A UTF-8 name as single bytes: each character beyond ASCII becomes one "_".
std::string TiAnsiName(const std::string& AName);

// ---------------------------------------------------------------------------
// Streams

// A TIFILES file: the header, then the data from byte 128.
class TKvTiStream : public TKvStream {
public:
  // A data file of ASize bytes of AFill (0: the header alone), positioned
  // at 128.
  TKvTiStream(const std::string& AExtension, int ASize, uint8_t AFill) : TKvTiStream(AExtension, ASize, AFill, false) {}
  static std::unique_ptr<TKvTiStream> CreateProgram(const std::string& AExtension, int ASize, uint8_t AFill) {
    return std::unique_ptr<TKvTiStream>(new TKvTiStream(AExtension, ASize, AFill, true));
  }

  TKvTiFilesHeader* GetHeader() { return reinterpret_cast<TKvTiFilesHeader*>(GetMemory()); }
  uint8_t* GetData() { return GetMemory() + TiFilesHeaderSize; }
  int64_t GetDataSize() { return GetSize() - TiFilesHeaderSize; }
  // Zero bytes appended until the data fills whole sectors; the header
  // stays as it is.
  void PadToSector();
  void StoreFileName(const std::string& AFileName) override;

protected:
  TKvTiStream(const std::string& AExtension, int ASize, uint8_t AFill, bool AProgram);
};

// The letters of the pattern, colour and palette tables.
extern const char TiPCMLetters[3];

// A pattern (0), colour (1) or palette (2) table as a program image
// ".TIAP", ".TIAC" or ".TIAM".
class TKvTiPCMStream : public TKvTiStream {
public:
  TKvTiPCMStream(uint8_t AIndex, int ASize, uint8_t AFill);
  // The base name with "_" and the table's letter, or a base already ending
  // in "_P" with its letter replaced.
  void StoreFileName(const std::string& AFileName) override;
  uint8_t Index;
};

// A V9938 picture (MyArt or YAPP) as a data file.
class TKvTiGStream : public TKvTiStream {
public:
  using TKvTiStream::TKvTiStream;
  // The name without its extension.
  void StoreFileName(const std::string& AFileName) override;
  // Data byte 1 when the data holds at least 2 bytes.
  void SetFormatByte(uint8_t AValue);
};

// ---------------------------------------------------------------------------
// TMS9918A

// A mode AMode of the "TI-99/4A" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvTiEngineOf = TKvDestMode<T, TOptions, TUI, "TI-99/4A", AMode>;

// Byte of pixel row y and byte column c of a 6144-byte table.
inline int TiTableOffset(int AColumn, int ARow) { return (ARow >> 3) * 256 + AColumn * 8 + (ARow & 7); }

// The 256x192 pattern table with dark pixels set.
class TKvTiBWScreen : public TKvScreen1 {
public:
  explicit TKvTiBWScreen(void* APattern) : TKvScreen1(256, 192, APattern) {}
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// The pattern table and the colour table of the bitmap mode: one attribute
// per 8x1 cell, the high nibble for set bits.
class TKvTiColorScreen : public TKvCellScreen {
public:
  TKvTiColorScreen(void* APattern, void* AColors) : TKvCellScreen(256, 192, APattern), Colors(static_cast<uint8_t*>(AColors)) {}
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int CellX, int CellY) override;
  void SetAttr(int CellX, int CellY, int AAttr) override;
  uint8_t* Colors;
};

// The candidates of the gray mode and of the colour mode (codes 1..15).
using TKvTiGrayPaletteList = TKvMSXScr2GrayPaletteList;
using TKvTiColorPaletteList = TKvMSXScr2ColorPaletteList;

class TKvTi9918AImage : public TKvMSXScr2ColorImage {
public:
  using TKvMSXScr2ColorImage::TKvMSXScr2ColorImage;
  TKvCellPaletteList* CreatePaletteList() override;
  bool GrayMode = false;
};

class TKvTi9918AEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTi9918AEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
  void UpdatePalette() override;
};

struct TKvTi9918AEngineUI : TKvDestEngineUIEx { explicit TKvTi9918AEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvTi9918AEngine : TKvTiEngineOf<TKvTi9918AEngine, TKvTi9918AEngineOptions, TKvTi9918AEngineUI, "9918A 256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// Half-character pixels (64x192 over a colour table) and multicolour blocks
// (64x48): a nibble per pixel, even X high; a palette index i is stored as
// colour code i + 1. Reading gives 0.
class TKvTi9918A64Screen : public TKvScreen4 {
public:
  TKvTi9918A64Screen(int AHeight, void* AData) : TKvScreen4(64, AHeight, AData) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AColor) override;
};
using TKvTi9918A6448Screen = TKvTi9918A64Screen;

// Two multicolour frames: mixture c (0..224) stores code c div 15 + 1 in
// the first and c mod 15 + 1 in the second.
class TKvTi9918A6448GigaScreen : public TKvScreen4 {
public:
  TKvTi9918A6448GigaScreen(void* AFrame1, void* AFrame2)
      : TKvScreen4(64, 48, AFrame1), Data2(static_cast<uint8_t*>(AFrame2)) {}
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AColor) override;
  uint8_t* Data2;
};

class TKvTi9918A64EngineOptions : public TKvTi9918AEngineOptions {
public:
  TKvTi9918A64EngineOptions();
  TKvSize GetDefaultSize() const override { return {64, 192}; }
  int32_t GetCellWidth() const override { return 1; }
};

class TKvTi9918A6448EngineOptions : public TKvTi9918AEngineOptions {
public:
  TKvTi9918A6448EngineOptions();
  TKvSize GetDefaultSize() const override { return {64, 48}; }
  int32_t GetCellWidth() const override { return 1; }
};

class TKvTi9918A6448GigaEngineOptions : public TKvTi9918A6448EngineOptions {
public:
  void UpdatePalette() override;
};

struct TKvTi9918A6448GigaEngineUI : TKvDestEngineUIEx { explicit TKvTi9918A6448GigaEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvTi9918A64Engine : TKvTiEngineOf<TKvTi9918A64Engine, TKvTi9918A64EngineOptions, TKvTi9918AEngineUI, "9918A 64x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvTi9918A6448Engine : TKvTiEngineOf<TKvTi9918A6448Engine, TKvTi9918A6448EngineOptions, TKvTi9918AEngineUI, "9918A 64x48x4"> {
  static int GetZoomFactor() { return 4; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

struct TKvTi9918A6448GigaEngine : TKvTiEngineOf<TKvTi9918A6448GigaEngine, TKvTi9918A6448GigaEngineOptions, TKvTi9918A6448GigaEngineUI, "9918A 64x48x8 Dual"> {
  static int GetZoomFactor() { return 4; }
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// F18A: the bitmap layout with palettes of 16 of the 4096 colours.

// Word i of AWords (16 bits big-endian, 0000RRRRGGGGBBBB) for entry i of
// APalette: its level indexes in ALevelPalette. More than 16 entries raise
// the operating-system error 87.
void WriteF18APaletteWords(uint8_t* AWords, const TKvPalette256& APalette, const TKvPaletteRGB& ALevelPalette);

// Candidate pairs over any palette, optionally located in a second one.
using TKvTiColorPaletteListEx = TKvMSXScr4ColorPaletteList;

class TKvTiF18AImage : public TKvTi9918AImage {
public:
  using TKvTi9918AImage::TKvTi9918AImage;
  TKvCellPaletteList* CreatePaletteList() override;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  // Pairs index the fixed palette.
  bool FixedPairMode = false;
  // Colour codes are indexes + 1 (code 0 is transparent).
  bool CodeOffset = false;
};

class TKvTiF18AEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTiF18AEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
  // The hardware palette: the 4096 colours.
  void UpdatePalette() override;
};

class TKvTiF18AEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvTiF18AEngineUI(TKvDestEngineOptions* AOptions);
  // With "Black + 15 colors" only palettes whose first colour is black.
  bool AcceptFixedPalette(const TKvPalette256& APalette) override;
};

struct TKvTiF18AEngine : TKvTiEngineOf<TKvTiF18AEngine, TKvTiF18AEngineOptions, TKvTiF18AEngineUI, "F18A 256x192x4"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// One palette per pixel row, quantized from the row and the row above it.
class TKvTiF18AScanlineImage : public TKvTi9918AImage {
public:
  using TKvTi9918AImage::TKvTi9918AImage;
  std::unique_ptr<TKvBitmap> CreateResult() override;
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) override;
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) override;
  // APaletteWords: 6144 bytes, 16 words per row.
  std::unique_ptr<TKvBitmap> ConvertScanline(bool* AAbort, TKvDestEngineOptions& AOptions,
                                             TKvDestProgress* AProgress, TKvTiColorScreen* AScreen,
                                             uint8_t* APaletteWords);

  uint8_t Usage = 0;
  int ColorCount = 16;

private:
  void PrepareScanlinePalette(int ARow, uint8_t* AWords);
  std::unique_ptr<TKvImage> FRowImage;
  std::unique_ptr<TKvPaletteRGB> FLevelPalette;
};

class TKvTiF18AScanlineEngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTiF18AScanlineEngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  int32_t GetCellWidth() const override { return 8; }
};

struct TKvTiF18AScanlineEngineUI : TKvDestEngineUIEx { explicit TKvTiF18AScanlineEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvTiF18AScanlineEngine : TKvTiEngineOf<TKvTiF18AScanlineEngine, TKvTiF18AScanlineEngineOptions, TKvTiF18AScanlineEngineUI, "F18A 256x192x4 Scanline"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

// ---------------------------------------------------------------------------
// V9938: Graphics 6 (512 wide, 16 of 512 colours) and Graphics 7 (256 wide,
// the 256 GGGRRRBB colours) as MyArt and YAPP pictures.

// Runs of one row at most, written as big-endian words: colour shl
// AColourShift or the length, cut to the bits below the colour (G6: colour
// shl 12 or length; G7: colour shl 8 or length, 256 written as 0).
template <int AColourShift>
struct TKvTiRunWriterOf {
  TKvStream* Stream = nullptr;
  int MaxRun = 0;
  int Count = 0;
  uint8_t Colour = 0;
  void Put(uint8_t AColour) {
    if (Count > 0 && AColour == Colour) {
      if (++Count >= MaxRun) Flush();
      return;
    }
    if (Count > 0) Flush();
    Count = 1;
    Colour = AColour;
  }
  void Flush() {
    if (Count <= 0) return;
    const int w = (Colour << AColourShift) | (Count & ((1 << AColourShift) - 1));
    const uint8_t b[2] = {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
    Stream->WriteBuffer(b, 2);
    Count = 0;
  }
};
using TKvG6RunWriter = TKvTiRunWriterOf<12>;
using TKvG7RunWriter = TKvTiRunWriterOf<8>;

class TKvTiV9938G6_512x212EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTiV9938G6_512x212EngineOptions();
  TKvSize GetDefaultSize() const override { return {512, 212}; }
  // The hardware palette: the 512 colours of the V9938.
  void UpdatePalette() override;
};

class TKvTiV9938G6_512x192EngineOptions : public TKvTiV9938G6_512x212EngineOptions {
public:
  TKvTiV9938G6_512x192EngineOptions() { SetPixelAspect(pa1p138_2); }
  TKvSize GetDefaultSize() const override { return {512, 192}; }
};

class TKvTiV9938G6_512x424EngineOptions : public TKvTiV9938G6_512x212EngineOptions {
public:
  TKvTiV9938G6_512x424EngineOptions() { SetPixelAspect(pa1p138_1); }
  TKvSize GetDefaultSize() const override { return {512, 424}; }
};

class TKvTiV9938G7_256x212EngineOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvTiV9938G7_256x212EngineOptions();
  TKvSize GetDefaultSize() const override { return {256, 212}; }
};

class TKvTiV9938G7_256x192EngineOptions : public TKvTiV9938G6_512x212EngineOptions {
public:
  TKvTiV9938G7_256x192EngineOptions() { SetPixelAspect(pa1p138_1); }
  TKvSize GetDefaultSize() const override { return {256, 192}; }
};

class TKvTiV9938G7_256x424EngineOptions : public TKvTiV9938G7_256x212EngineOptions {
public:
  TKvTiV9938G7_256x424EngineOptions() { SetPixelAspect(pa2p276_1); }
  TKvSize GetDefaultSize() const override { return {256, 424}; }
};

class TKvTiV9938G6_512x212EngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvTiV9938G6_512x212EngineUI(TKvDestEngineOptions* AOptions);
  // The hardware palette, 32 columns.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

struct TKvTiV9938G7_256x212EngineUI : TKvDestEngineUIEx { explicit TKvTiV9938G7_256x212EngineUI(TKvDestEngineOptions* AOptions); };

// The Graphics 6 and 7 conversions of all six modes; AInterlaced: the 424-line
// modes, which write their "yapp" file only.
std::unique_ptr<TKvBitmap> ConvertV9938G6(TKvConvertArgs& AArgs, bool AInterlaced);
std::unique_ptr<TKvBitmap> ConvertV9938G7(TKvConvertArgs& AArgs, bool AInterlaced);
// The picture files of AResult: "MyArtG6FA" (or "MyArtG700") and its "yapp"
// copy, or the interlaced "yapp" alone. G6: APalette is the level palette of
// the options' result palette; G7: the 256 colours.
void WriteV9938G6Files(TKvDestEngineOptions& AOptions, const TKvPaletteRGB& APalette,
                       std::unique_ptr<TKvStreamList>& AStreams, TKvBitmap& AResult, bool AInterlaced);
void WriteV9938G7Files(TKvDestEngineOptions& AOptions, const TKvPalette256& APalette,
                       std::unique_ptr<TKvStreamList>& AStreams, TKvBitmap& AResult, bool AInterlaced);

// A V9938 mode converted by AConvert; AInterlaced: a 424-line mode.
template <class T, class TOptions, class TUI, std::unique_ptr<TKvBitmap> (*AConvert)(TKvConvertArgs&, bool),
          bool AInterlaced, TKvText AMode>
class TKvTiV9938EngineOf : public TKvTiEngineOf<T, TOptions, TUI, AMode> {
public:
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs) { return AConvert(AArgs, AInterlaced); }
};

struct TKvTiV9938G6_512x192Engine : TKvTiV9938EngineOf<TKvTiV9938G6_512x192Engine, TKvTiV9938G6_512x192EngineOptions, TKvTiV9938G6_512x212EngineUI, ConvertV9938G6, false, "V9938 512x192x4 G6"> {};
struct TKvTiV9938G6_512x212Engine : TKvTiV9938EngineOf<TKvTiV9938G6_512x212Engine, TKvTiV9938G6_512x212EngineOptions, TKvTiV9938G6_512x212EngineUI, ConvertV9938G6, false, "V9938 512x212x4 G6"> {};
struct TKvTiV9938G6_512x424Engine : TKvTiV9938EngineOf<TKvTiV9938G6_512x424Engine, TKvTiV9938G6_512x424EngineOptions, TKvTiV9938G6_512x212EngineUI, ConvertV9938G6, true, "V9938 512x424x4 G6 Interlaced"> {};
struct TKvTiV9938G7_256x192Engine : TKvTiV9938EngineOf<TKvTiV9938G7_256x192Engine, TKvTiV9938G7_256x192EngineOptions, TKvTiV9938G7_256x212EngineUI, ConvertV9938G7, false, "V9938 256x192x8 G7"> {};
struct TKvTiV9938G7_256x212Engine : TKvTiV9938EngineOf<TKvTiV9938G7_256x212Engine, TKvTiV9938G7_256x212EngineOptions, TKvTiV9938G7_256x212EngineUI, ConvertV9938G7, false, "V9938 256x212x8 G7"> {};
struct TKvTiV9938G7_256x424Engine : TKvTiV9938EngineOf<TKvTiV9938G7_256x424Engine, TKvTiV9938G7_256x424EngineOptions, TKvTiV9938G7_256x212EngineUI, ConvertV9938G7, true, "V9938 256x424x8 G7 Interlaced"> {};

// The modes of the "TI-99/4A" platform in list order.
const std::vector<const TKvDestEngineClass*>& TI99DestEngineClasses();
// Unit start-up: registers them in that order.
void InitKvSavePlatformTI99();
