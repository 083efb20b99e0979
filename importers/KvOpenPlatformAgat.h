// Importers of the Agat ".fil" screen files: full files, whose trailer names
// the screen mode and palette kind, and short files (header and data only),
// whose mode follows from the data length alone.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"
#include "platforms/KvPlatformAgat.h"

class TKvAgatBaseSourceEngine : public TKvSourceEngine {
public:
  using TKvSourceEngine::TKvSourceEngine;
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  // The kind -1 stands for a file that does not state it.
  void Setup(int AMode, int AKind, uint8_t APixelAspect);

  TKvBytes FData;     // the screen data (file offset 44)
  TKvBytes FTrailer;  // full files only
  bool HAM = false;
  int FMode = 0;

private:
  void BuildColorPalette(int ACount);
};

class TKvAgatSourceEngine : public TKvSourceEngineOf<TKvAgatSourceEngine, TKvAgatBaseSourceEngine> {
public:
  explicit TKvAgatSourceEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// A short file of the data length LENGTH read as mode MODE.
template <class T, int LENGTH, int MODE, uint8_t ASPECT>
class TKvAgatSourceFixedEngine : public TKvSourceEngineOf<T, TKvAgatBaseSourceEngine> {
public:
  static int GetDataLength() { return LENGTH; }
  explicit TKvAgatSourceFixedEngine(TKvLoadSource& ASource) : TKvSourceEngineOf<T, TKvAgatBaseSourceEngine>(ASource) {
    if (!Match(ASource)) RaiseMismatch();
    this->FData = ASource.GetBytes().Sub(AgatFilHeaderSize, LENGTH);
    this->Setup(MODE, -1, ASPECT);
  }
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return MatchShort(ASource, LENGTH); }

private:
  static TKvMatchFlags MatchShort(TKvLoadSource& ASource, int ALength);
  [[noreturn]] static void RaiseMismatch();
};

TKvMatchFlags AgatMatchShortFile(TKvLoadSource& ASource, int ALength);
[[noreturn]] void AgatRaiseMismatch();

template <class T, int LENGTH, int MODE, uint8_t ASPECT>
TKvMatchFlags TKvAgatSourceFixedEngine<T, LENGTH, MODE, ASPECT>::MatchShort(TKvLoadSource& ASource, int ALength) {
  return AgatMatchShortFile(ASource, ALength);
}
template <class T, int LENGTH, int MODE, uint8_t ASPECT>
void TKvAgatSourceFixedEngine<T, LENGTH, MODE, ASPECT>::RaiseMismatch() {
  AgatRaiseMismatch();
}

class TKvAgatSource64x64x4Engine : public TKvAgatSourceFixedEngine<TKvAgatSource64x64x4Engine, 2048, 64, 13> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};
class TKvAgatSource128x128x4Engine : public TKvAgatSourceFixedEngine<TKvAgatSource128x128x4Engine, 8192, 80, 13> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};
class TKvAgatSource128x256x4Engine : public TKvAgatSourceFixedEngine<TKvAgatSource128x256x4Engine, 16384, 128, 19> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};
class TKvAgatSource256x256x1Engine : public TKvAgatSourceFixedEngine<TKvAgatSource256x256x1Engine, 8192, 16, 13> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};
class TKvAgatSource256x256x2Engine : public TKvAgatSourceFixedEngine<TKvAgatSource256x256x2Engine, 16384, 96, 13> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};
class TKvAgatSource512x256x1Engine : public TKvAgatSourceFixedEngine<TKvAgatSource512x256x1Engine, 16384, 112, 7> {
public:
  using TKvAgatSourceFixedEngine::TKvAgatSourceFixedEngine;
};

void InitKvOpenPlatformAgat();
