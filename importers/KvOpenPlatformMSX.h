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
  static bool IsValidMSXPalette(const uint8_t* AEntries, int ACount);
  // The sRGB byte of a 3-bit level under the palette type: the V9958 scale
  // for ptMSX9958, the 8-level table otherwise.
  static uint8_t LevelToByte(int ALevel, TKvPaletteType AType);
  // APalette := ACount entries decoded under AType.
  static void FillMSXPalette(TKvPalette256& APalette, const uint8_t* AEntries, int ACount, TKvPaletteType AType);

  // The palette side file AExt of the picture, with its variants when it
  // holds eight palettes.
  void LoadSidePalette(const std::string& AExt, int ACount);
  // The side palette chosen by VariantName, else the default MSX2 (or
  // SCREEN 6) palette.
  void SetupSidePalette(int ACount);
  void ApplyMSXPalette(const uint8_t* AEntries, int ACount);
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
  const uint8_t* SelectedSidePalette() const;

  const uint8_t* SidePalette = nullptr;
  int32_t SidePaletteSize = 0;
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

  const uint8_t* Data = nullptr;
  int32_t DataSize = 0;
  const uint8_t* SecondPage = nullptr;
  const uint8_t* RgbPalette = nullptr;
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
  const uint8_t* PictureRow(int ARow, int ARowBytes) const;
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
#define KV_MSX_DUMP_IMPORTER(Name)                                   \
  class Name : public TKvSourceEngineOf<Name, TKvSCEngine> {         \
  public:                                                            \
    explicit Name(TKvLoadSource& ASource);                           \
    static TKvMatchFlags Match(TKvLoadSource& ASource);              \
    std::unique_ptr<TKvBitmap> Decode() override;                    \
  }

KV_MSX_DUMP_IMPORTER(TKvSC5Engine);

class TKvSC6Engine : public TKvSourceEngineOf<TKvSC6Engine, TKvSCEngine> {
public:
  explicit TKvSC6Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  int GetPaletteColorCount() const override { return 4; }
  std::unique_ptr<TKvBitmap> Decode() override;
};

KV_MSX_DUMP_IMPORTER(TKvSC7Engine);

KV_MSX_DUMP_IMPORTER(TKvSC8Engine);

#undef KV_MSX_DUMP_IMPORTER

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& MSXSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformMSX();
