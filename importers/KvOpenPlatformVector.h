// Importers of Vector-06C pictures: the packed ".scr" with its
// "T.288-31-25" header, the run-length coded ".spr" video memory and the
// bit-plane ".rmb"; the last two with the per-line palette changes of a
// ".pals" file beside them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

// The importers' own classes, scoped by their unit (the converter unit has a
// class of the same name).
namespace KvOpenPlatformVector {

// The colour bytes of every ".scr" picture's 16 entries.
extern const uint8_t VectorScrDefaultPalette[16];

// Unpack a whole file into the 32768-byte video memory AMemory (zero-filled
// first). Truncated or corrupt data raise the reader errors of code 87;
// ".scr" data that do not fit the memory raise the screen-mismatch error (86).
void UnpackVectorScr(const TKvBytes& AFile, uint8_t* AMemory);
void UnpackVectorSpr(const TKvBytes& AFile, uint8_t* AMemory);

class TKvVectorEngine : public TKvSourceEngine {
public:
  explicit TKvVectorEngine(TKvLoadSource& ASource);

  // The engine palette from the file's colour bytes, then the picture, with
  // the per-line changes when a ".pals" was accepted.
  std::unique_ptr<TKvBitmap> Decode() override;

  // A ".pals" of 255 rows of k (at most 16) pairs, every entry below 16.
  static bool CheckPals(const TKvBytes& APals);
  // Draws row AY; with both palettes each value becomes the index in
  // ADisplayPalette of its colour in ALinePalette.
  virtual void DecodeRow(TKvBitmap& ABitmap, int AY, const TKvPalette256* ALinePalette,
                         const TKvPalette256* ADisplayPalette);
  std::unique_ptr<TKvBitmap> DecodePlain();
  // Each colour of the engine palette (which must hold 16) and of the
  // ".pals" pairs once, sorted by gray.
  void BuildHAMDisplayPalette(const TKvPalette256& ATable, TKvPalette256& ADisplay);
  std::unique_ptr<TKvBitmap> DecodeHAM(const TKvPalette256& ATable);

  int GetHAMChangeCount() const { return FPals.Empty() ? -1 : FPals.U8(0); }

protected:
  uint8_t* NeedVideoMemory();
  // The colour byte of engine palette entry AIndex.
  virtual uint8_t GetColorByte(int AIndex) const = 0;
  // Accepts the ".pals" beside the file when it passes CheckPals.
  void FindPals();
  void Describe();

  std::vector<uint8_t> FVideoMemory;
  TKvBytes FData;
  TKvBytes FPals;  // the accepted ".pals", or nothing
};

class TKvVectorSCREngine : public TKvSourceEngineOf<TKvVectorSCREngine, TKvVectorEngine> {
public:
  explicit TKvVectorSCREngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);

protected:
  uint8_t GetColorByte(int AIndex) const override { return VectorScrDefaultPalette[AIndex]; }
};

class TKvVectorSPREngine : public TKvSourceEngineOf<TKvVectorSPREngine, TKvVectorEngine> {
public:
  explicit TKvVectorSPREngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);

protected:
  uint8_t GetColorByte(int AIndex) const override { return FData.U8(AIndex); }
};

class TKvVectorRMBEngine : public TKvSourceEngineOf<TKvVectorRMBEngine, TKvVectorEngine> {
public:
  explicit TKvVectorRMBEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  // Reads the row at 19 + AY * 4 * w, as far as the file reaches.
  void DecodeRow(TKvBitmap& ABitmap, int AY, const TKvPalette256* ALinePalette,
                 const TKvPalette256* ADisplayPalette) override;

protected:
  uint8_t GetColorByte(int AIndex) const override { return FData.U8(15 - AIndex); }
};

}  // namespace KvOpenPlatformVector

void InitKvOpenPlatformVector();
