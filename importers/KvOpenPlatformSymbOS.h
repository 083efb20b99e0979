// Importer of the SymbOS ".sgx" graphics: tile rows of 4-colour or 16-colour
// tiles, validated by parsing the whole structure.
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvSourceEngines.h"

// Walks the tiles of ".sgx" data; without a bitmap it only validates and
// measures, with one it also draws.
struct TKvSgxReader {
  int Width = 0;
  int Height = 0;
  int Bits = 0;
  bool WidthKnown = false;
  int RowX = 0;
  int RowHeight = 0;
  TKvDataReader Data;
  TKvData* Bitmap = nullptr;

  bool Init(const TKvBytes& AData, TKvData* ABitmap);

private:
  bool Parse(bool AColor);
  bool ReadByte(int& AValue);
  bool ReadWord(int& AValue);
  void StartRow();
  bool CheckTile(int AWidth, int AHeight);
  bool EndRow();
  bool ReadTile(int AWidth, int AHeight, int ABytesPerLine, bool AColor);
};

class TKvSymbOS4Engine : public TKvSourceEngineOf<TKvSymbOS4Engine> {
public:
  explicit TKvSymbOS4Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

void InitKvOpenPlatformSymbOS();
