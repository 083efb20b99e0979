// Importers of TI-99/4A pictures (TMS9918A and F18A bitmap sets, multicolour
// screens) and of Geneve 9640 run-length pictures (G6, G7 and FRACTALS!).
// Every file is a TI disk file behind a 128-byte TIFILES header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

// The data length a TIFILES header gives: whole sectors, the last one cut to
// its end-of-file offset.
int64_t TiFilesDataLength(const TKvBytes& AHeader);
// The data length when AFile starts with the TIFILES magic, counts at least
// one sector and holds the whole data; 0 otherwise.
int64_t CheckTiFiles(const TKvBytes& AFile);
bool IsTiFilesOfLength(const TKvBytes& AFile, int64_t ALength);

// The Geneve picture kinds.
enum TKvGeneveKind { gkNone = 0, gkG6 = 6, gkG7 = 7 };
// Finds the kind and height of the runs in AData: every height (424, 384,
// 212, 192) of G6, then of G7, strictly (no byte left over), then leniently
// (at most 253 left over).
TKvGeneveKind DetectGeneveFormat(const TKvBytes& AData, int& AHeight);
// The joined FRACTALS! records: the mark, then 212 whole rows of 512 pixels
// with at most 254 bytes left over.
bool CheckFractalData(const TKvBytes& AData);

// The importers' own classes, scoped by their unit.
namespace KvOpenPlatformTI99 {

class TKvTIEngine : public TKvSourceEngine {
public:
  using TKvSourceEngine::TKvSourceEngine;
  // "MSX", "Coleco ADAM" and "Convert9918", the last one chosen.
  void SetTI99PaletteTypes();

  TKvBytes Data;    // the pattern data after the header
  TKvBytes Colors;  // the colour (or second) file's data, or nothing
};

// A bitmap ".tiap" with its ".tiac" colours and ".tiam" palette.
class TKvTi9918AEngine : public TKvSourceEngineOf<TKvTi9918AEngine, TKvTIEngine> {
public:
  explicit TKvTi9918AEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

  TKvBytes PaletteData;  // the palette file's data, or nothing
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
  TKvBytes FData;  // the data length the header gives, after the header
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
