// Importers of MSX screen files: what they share (the V9938 palette entry
// and its colours, palette side files with their variants, the companion
// files of VRAM dumps, the acceptance rule of dumps behind a BSAVE header and
// the sprite overlay), and the VRAM dump importers of SCREEN 2 to 8.
//
// An importer keeps pointers into the load source's data and into the
// companion files it fetched; the load source outlives it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

// Base of the MSX screen importers.
class TKvBaseMSXEngine : public TKvSourceEngine {
public:
  explicit TKvBaseMSXEngine(TKvLoadSource& ASource);

  // Palette entries of the mode: 16 (4 in SCREEN 6).
  virtual int GetPaletteColorCount() const { return 16; }
  // The palette of the side file whose number variant AIndex names.
  void GetVariantPalette(int AIndex, TKvPalette256& APalette) override;

  // ACount two-byte entries (byte 0: 0RRR0BBB, byte 1: 00000GGG) that are
  // well formed and not all black.
  static bool IsValidMSXPalette(const TKvBytes& AEntries, int ACount);
  // The sRGB byte of a 3-bit level under the palette type: the V9958 scale
  // for ptMSX9958, the 8-level table otherwise.
  static uint8_t LevelToByte(int ALevel, TKvPaletteType AType);
  // APalette := ACount entries decoded under AType.
  static void FillMSXPalette(TKvPalette256& APalette, const TKvBytes& AEntries, int ACount, TKvPaletteType AType);

  // The palette side file AExt of the picture, with its variants when it
  // holds eight palettes.
  void LoadSidePalette(const std::string& AExt, int ACount);
  // The side palette chosen by VariantName, else the default MSX2 (or
  // SCREEN 6) palette.
  void SetupSidePalette(int ACount);
  void ApplyMSXPalette(const TKvBytes& AEntries, int ACount);
  // PaletteType := ptMSX9938, offering the V9938 and V9958 levels.
  void SetMSXPaletteTypes();

  // Default palettes as palette entries.
  static const uint8_t MSX2DefaultPalette[32];
  static const uint8_t Screen6DefaultPalette[8];

protected:
  // The companion with the picture's name and another extension.
  const TKvLoadSourceRec* GetCompanion(const std::string& AExt);
  // The side palette block VariantName selects; "Internal error" for a name
  // that is not in the list.
  TKvBytes SelectedSidePalette() const;

  TKvBytes SidePalette;             // the palette side file, or nothing
  std::vector<int> VariantNumbers;  // side-file palette number of each variant
};

// A VRAM dump behind a 7-byte BSAVE header.
class TKvSCEngine : public TKvBaseMSXEngine {
public:
  explicit TKvSCEngine(TKvLoadSource& ASource);

  // The acceptance rule: an own extension needs AMinSize bytes and 0xFE
  // first; any other name needs one of the exact sizes and a BSAVE header
  // of load and start address 0.
  static TKvMatchFlags MatchDump(TKvLoadSource& ASource, std::initializer_list<const char*> AExts,
                                 std::initializer_list<int32_t> ASizes, int32_t AMinSize);

  // First source that applies: side palette, RGB palette file, the dump's
  // own palette at AOffset, the MSX2 default (AMSX2), the MSX1 colours.
  void SetupScreenPalette(int AOffset, bool AMSX2, int ACount);
  void FindSecondPageByExt(const std::string& AExt, int32_t AMinSize);
  // PIC0.EXT pairs with PIC1.EXT of exactly ASize bytes.
  void FindSecondPageByName(int32_t ASize);
  void FindRgbPaletteFile();
  // Overlays the sprites; AAttrTable and APatternTable are offsets into Data.
  void DrawSprites(TKvBitmap& ABitmap, int AMode, int AAttrTable, int APatternTable);

  // The fixed SCREEN 8 sprite colours as (R, G, B) levels.
  static const uint8_t Screen8SpriteLevels[16][3];

  TKvBytes Data;  // the dump after its header
  int32_t DataSize = 0;
  TKvBytes SecondPage;  // the second page's dump, or nothing
  TKvBytes RgbPalette;  // the levels of an RGB palette file, or nothing
  bool HasSprites = false;

protected:
  // Data and DataSize; ANeeded: the bytes the decoder reads (the constructor
  // refuses a shorter file).
  void SetUpDump(int32_t ANeeded);
  // Width, Height (doubled with a second page), Bits, PixelAspect and
  // "<MSX|MSX2> WxHxB screen N[ interlaced] image".
  void Describe(bool AMSX2, int AWidth, int AHeight, int ABits, const char* AMode, uint8_t AAspect,
                uint8_t AInterlacedAspect);
  // The dump row (or second-page row) shown as picture row ARow.
  std::span<const uint8_t> PictureRow(int ARow, int ARowBytes) const;
};

// SCREEN 2 and 4: 256x192 patterns with a colour byte per pattern line.
class TKvBaseSC24Engine : public TKvSCEngine {
public:
  using TKvSCEngine::TKvSCEngine;
  std::unique_ptr<TKvBitmap> Decode() override;
  void DecodePatterns(TKvBitmap& ABitmap);
  bool IsScreen4 = false;
  bool IsMSX2 = false;
};

class TKvSC2Engine : public TKvSourceEngineOf<TKvSC2Engine, TKvBaseSC24Engine> {
public:
  explicit TKvSC2Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

class TKvSC3Engine : public TKvSourceEngineOf<TKvSC3Engine, TKvSCEngine> {
public:
  explicit TKvSC3Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
  bool IsMSX2 = false;
};

class TKvSC4Engine : public TKvSourceEngineOf<TKvSC4Engine, TKvBaseSC24Engine> {
public:
  explicit TKvSC4Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// The bitmap screens: 212 rows (424 with a second page).
class TKvSC5Engine : public TKvSourceEngineOf<TKvSC5Engine, TKvSCEngine> {
public:
  explicit TKvSC5Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSC6Engine : public TKvSourceEngineOf<TKvSC6Engine, TKvSCEngine> {
public:
  explicit TKvSC6Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  int GetPaletteColorCount() const override { return 4; }
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSC7Engine : public TKvSourceEngineOf<TKvSC7Engine, TKvSCEngine> {
public:
  explicit TKvSC7Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSC8Engine : public TKvSourceEngineOf<TKvSC8Engine, TKvSCEngine> {
public:
  explicit TKvSC8Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ---------------------------------------------------------------------------
// SCREEN 5 to 8 pictures with a size header, run-length and packed files,
// 1-bit pictures and publisher pages; the SCREEN 10 to 12 (YJK) pictures.

// The run-length stream of the .srN files: 00 n v gives n copies of v (n = 0:
// 256), b v with b = 01..0F gives b copies of v, any other byte is itself.
class TKvMSXRunReader {
public:
  explicit TKvMSXRunReader(const TKvBytes& AData) : FData(AData) {}
  // The next byte; false at the end of the data.
  bool NextByte(uint8_t& AByte);

private:
  TKvDataReader FData;
  int FCount = 0;
  uint8_t FValue = 0;
};

// The zero-mask packing of .cmp pictures: groups of 64 bytes, each a control
// byte telling which of 8 mask bytes follow, each mask bit a data byte or 0.
class TKvZeroMaskReader {
public:
  explicit TKvZeroMaskReader(const TKvBytes& AData) : FData(AData) {}
  // False when the data ends before the byte.
  bool NextByte(uint8_t& AByte);
  int64_t GetLeft() const { return FData.GetRemaining(); }

private:
  bool Refill();
  TKvDataReader FData;
  uint8_t FMasks[8] = {};
  int FBit = 64;  // bits of the group used; 64: the next request refills
};

// Unpacks a .cmp picture: AWidth bytes per row, AHeight rows, the first
// APlainRows as they stand and the others XOR-ed with the row above. ATarget
// (nullptr: only checks) receives AWidth * AHeight bytes. True when all were
// produced and no data byte is left over.
bool UnpackCMP(const TKvBytes& AData, int AWidth, int AHeight, int APlainRows, uint8_t* ATarget);

// A picture with a 4-byte width/height header.
class TKvGLEngine : public TKvBaseMSXEngine {
public:
  explicit TKvGLEngine(TKvLoadSource& ASource);
  // File size > 4, CheckGlHeader, and the size AFileSize(w, h) gives.
  static TKvMatchFlags MatchGl(TKvLoadSource& ASource, std::initializer_list<const char*> AExts, int ABits);
  std::unique_ptr<TKvBitmap> Decode4Bit();
  std::unique_ptr<TKvBitmap> Decode2Bit();

  TKvBytes Data;  // the pixels after the header

protected:
  // Width, Height, Bits and Data from the header; ABits decides the size the
  // file must have. ASide: the palette side file (nullptr: none).
  void SetUp(int ABits, int AShownBits, const char* AMode, uint8_t AAspect, const char* ASide, int ASideCount,
             const char* AMachine = "MSX2");
};

class TKvGL5Engine : public TKvSourceEngineOf<TKvGL5Engine, TKvGLEngine> {
public:
  explicit TKvGL5Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvGL7Engine : public TKvSourceEngineOf<TKvGL7Engine, TKvGLEngine> {
public:
  explicit TKvGL7Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvGL8Engine : public TKvSourceEngineOf<TKvGL8Engine, TKvGLEngine> {
public:
  explicit TKvGL8Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvGLAEngine : public TKvSourceEngineOf<TKvGLAEngine, TKvGLEngine> {
public:
  explicit TKvGLAEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvGLCEngine : public TKvSourceEngineOf<TKvGLCEngine, TKvGLEngine> {
public:
  explicit TKvGLCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvGL6Engine : public TKvSourceEngineOf<TKvGL6Engine, TKvGLEngine> {
public:
  explicit TKvGL6Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  int GetPaletteColorCount() const override { return 4; }
  std::unique_ptr<TKvBitmap> Decode() override;
};

// A run-length picture behind a 7-byte header beginning with 0xFD.
class TKvSREngine : public TKvBaseMSXEngine {
public:
  explicit TKvSREngine(TKvLoadSource& ASource);
  static TKvMatchFlags MatchSr(TKvLoadSource& ASource, const char* AExt);
  std::unique_ptr<TKvBitmap> DecodeRun4Bit();
  std::unique_ptr<TKvBitmap> DecodeRun8Bit();

  TKvBytes Data;  // the runs after the header

protected:
  void SetUp(int AWidth, int ABits, const char* AMode, uint8_t AAspect, const char* ASide);
};

class TKvSR5Engine : public TKvSourceEngineOf<TKvSR5Engine, TKvSREngine> {
public:
  explicit TKvSR5Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSR7Engine : public TKvSourceEngineOf<TKvSR7Engine, TKvSREngine> {
public:
  explicit TKvSR7Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSR8Engine : public TKvSourceEngineOf<TKvSR8Engine, TKvSREngine> {
public:
  explicit TKvSR8Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// A packed SCREEN 5 picture.
class TKvCMPEngine : public TKvSourceEngineOf<TKvCMPEngine, TKvBaseMSXEngine> {
public:
  explicit TKvCMPEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  // The packed data unpacks to exactly the picture's bytes.
  static bool CheckData(const TKvBytes& AFile);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// A 1-bit picture with a size header, 2 bits per pixel of which the low one
// is shown.
class TKvSTPEngine : public TKvSourceEngineOf<TKvSTPEngine, TKvBaseMSXEngine> {
public:
  explicit TKvSTPEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// A run-length 512x704 publisher page.
class TKvPCTEngine : public TKvSourceEngineOf<TKvPCTEngine, TKvBaseMSXEngine> {
public:
  explicit TKvPCTEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// The YJK VRAM dumps: SCREEN 10/11 (YJK with palette pixels) and SCREEN 12.
class TKvSCAEngine : public TKvSourceEngineOf<TKvSCAEngine, TKvSCEngine> {
public:
  explicit TKvSCAEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

class TKvSCCEngine : public TKvSourceEngineOf<TKvSCCEngine, TKvSCEngine> {
public:
  explicit TKvSCCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// ".g9b" pictures of the V9990 modes, raw or in LZ77 blocks.
class TKvG9BEngine : public TKvSourceEngineOf<TKvG9BEngine> {
public:
  explicit TKvG9BEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

  // The raw size of the picture: rows of the mode's length (YJK and YUV
  // rows hold whole groups of 4 bytes).
  int64_t UnpackedSize() const;
  // The compressed data into Unpacked (zero-filled, UnpackedSize bytes); what
  // damaged data does not reach stays 0.
  void Unpack();
  // One block from AInput (at most AInputSize bytes) into AOutput from
  // AOutPos on; AUsed: the input bytes read. False when the block fails: its
  // input or the output runs out, or a match reaches before the block.
  static bool UnpackBlock(const TKvBytes& AInput, uint8_t* AOutput, int64_t AOutputSize, int64_t& AOutPos,
                          int64_t& AUsed);
  void LoadPalette(int ACount);

  TKvBytes Header;
  TKvBytes PaletteData;
  TKvBytes Data;  // the data after the palette; the unpacked data once unpacked
  std::vector<uint8_t> Unpacked;
  bool IsUnpacked = false;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& MSXSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformMSX();
