// Importers of TI-99/4A pictures (TMS9918A and F18A bitmap sets, multicolour
// screens) and of Geneve 9640 run-length pictures (G6, G7 and FRACTALS!).
// Every file is a TI disk file behind a 128-byte TIFILES header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

// The data length a TIFILES header gives: whole sectors, the last one cut to
// its end-of-file offset. AData holds at least 16 bytes.
int64_t TiFilesDataLength(const uint8_t* AData);
// The data length when AData (ASize bytes) starts with the TIFILES magic,
// counts at least one sector and holds the whole data; 0 otherwise.
int64_t CheckTiFiles(const uint8_t* AData, int64_t ASize);
bool IsTiFilesOfLength(const uint8_t* AData, int64_t ASize, int64_t ALength);

// The Geneve picture kinds.
enum TKvGeneveKind { gkNone = 0, gkG6 = 6, gkG7 = 7 };
// Finds the kind and height of the runs of ALength bytes at AData: every
// height (424, 384, 212, 192) of G6, then of G7, strictly (no byte left
// over), then leniently (at most 253 left over).
TKvGeneveKind DetectGeneveFormat(const uint8_t* AData, int64_t ALength, int& AHeight);
// The joined FRACTALS! records: the mark, then 212 whole rows of 512 pixels
// with at most 254 bytes left over.
bool CheckFractalData(const uint8_t* AData, int64_t ASize);

// The importers' own classes, scoped by their unit.
namespace KvOpenPlatformTI99 {

class TKvTIEngine : public TKvSourceEngine {
public:
  using TKvSourceEngine::TKvSourceEngine;
  // "MSX", "Coleco ADAM" and "Convert9918", the last one chosen.
  void SetTI99PaletteTypes();

  const uint8_t* Data = nullptr;
  const uint8_t* Colors = nullptr;
};

// A bitmap ".tiap" with its ".tiac" colours and ".tiam" palette.
class TKvTi9918AEngine : public TKvSourceEngineOf<TKvTi9918AEngine, TKvTIEngine> {
public:
  explicit TKvTi9918AEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

  const uint8_t* PaletteData = nullptr;
  int32_t PaletteSize = 0;
};

// A multicolour ".tiap", with a second screen ".tiac" for a dual picture.
class TKvTi9918A6448Engine : public TKvSourceEngineOf<TKvTi9918A6448Engine, TKvTIEngine> {
public:
  explicit TKvTi9918A6448Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// G6 and G7 run pictures of the Geneve.
class TKvTiG67Engine : public TKvSourceEngineOf<TKvTiG67Engine> {
public:
  explicit TKvTiG67Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvGeneveKind FKind = gkNone;
  const uint8_t* FData = nullptr;
  int64_t FLength = 0;
};

// FRACTALS! pictures: 255-byte records, one per sector.
class TKvTiG6FractalEngine : public TKvSourceEngineOf<TKvTiG6FractalEngine> {
public:
  explicit TKvTiG6FractalEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  std::vector<uint8_t> FJoined;
};

}  // namespace KvOpenPlatformTI99

void InitKvOpenPlatformTI99();
