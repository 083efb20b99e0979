// Importers of the Corvette screen files: ".grf" (block-coded planes), ".pic"
// (raw planes) and ".win" (planes with their size), each decoded into a
// 4-bit picture of the normal-intensity colours 0..7 of the Corvette palette.
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvSourceEngines.h"

class TKvBaseCorvetteEngine : public TKvSourceEngine {
public:
  explicit TKvBaseCorvetteEngine(TKvLoadSource& ASource);

protected:
  // The picture of the three planes in AData; bytes the planes would need
  // beyond its end count as 0. AWinOrder: the planes hold bits 0, 1, 2
  // (else 0, 2, 1).
  std::unique_ptr<TKvBitmap> DecodePlanes(const TKvBytes& AData, bool AWinOrder);
};

class TKvCorvetteGrfEngine : public TKvSourceEngineOf<TKvCorvetteGrfEngine, TKvBaseCorvetteEngine> {
public:
  explicit TKvCorvetteGrfEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the coded data after the header
};

class TKvCorvettePicEngine : public TKvSourceEngineOf<TKvCorvettePicEngine, TKvBaseCorvetteEngine> {
public:
  explicit TKvCorvettePicEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

class TKvCorvetteWinEngine : public TKvSourceEngineOf<TKvCorvetteWinEngine, TKvBaseCorvetteEngine> {
public:
  explicit TKvCorvetteWinEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the planes after the 9-byte header
};

// Decodes the 768 coded blocks of AData into AOut (49,152 bytes, zero-filled
// by the caller). False when the data end early or hold an unknown block
// code; the blocks decoded so far stay in AOut.
bool DecodeCorvetteGrfData(const TKvBytes& AData, uint8_t* AOut);

void InitKvOpenPlatformCorvette();
