// The converter of the "Corvette" platform: one mode, "512x256x3", three bit
// planes of 3-bit pixels. Native files (".grf", ".pic" at 512 x 256, and
// always ".win") are written when the picture converts to the screen's fixed
// 8 colours ("Black/white" and "8 colors" without fixed colours); the other
// palette modes give a preview only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"

class TStream;

// The three planes in memory order (see KvPlatformCorvette.h), in a buffer of
// the screen's own. With AMapped, a value 0 is stored as AValue0 and any other
// as AValue1. The screen is only written.
class TKvCorvetteScreen : public TKvScreen4 {
public:
  TKvCorvetteScreen(int AWidth, int AHeight, bool AMapped = false, int AValue0 = 0, int AValue1 = 0);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;

  // "GRF1.0" and the block-coded planes (512 x 256 only).
  void WriteGrf(TStream& AStream) const;
  // The planes as they are.
  void WritePic(TStream& AStream) const;
  // The 9-byte header with the size, then the planes of bits 0, 1 and 2.
  void WriteWin(TStream& AStream) const;

  const std::vector<uint8_t>& GetPlanes() const { return FPlanes; }

  const bool Mapped;
  const int Value0;
  const int Value1;

private:
  std::vector<uint8_t> FPlanes;
  int64_t FRowSize;
};

// The ".grf" coding of AData (768 blocks of 64 bytes) as a bit stream, the
// top bit of each byte first, the last byte padded with 0 bits.
void WriteCorvetteGrfData(const uint8_t* AData, TStream& AStream);

class TKvCorvetteEngineOptions : public TKvDestEngineOptions {
public:
  TKvCorvetteEngineOptions();
  TKvSize GetMaxSize() const override { return {512, 256}; }
  TKvSize GetDefaultSize() const override { return {512, 256}; }
  void UpdatePalette() override;
};

class TKvCorvetteEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvCorvetteEngineUI(TKvDestEngineOptions* AOptions);
  // "Edit..." offers the 16 colours of the chosen palette kind, 8 per row.
  TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns) override;
};

// A mode AMode of the "Corvette" platform with options TOptions and panel TUI.
template <class T, class TOptions, class TUI, TKvText AMode>
using TKvCorvetteEngineOf = TKvDestMode<T, TOptions, TUI, "Corvette", AMode>;

struct TKvCorvetteEngine : TKvCorvetteEngineOf<TKvCorvetteEngine, TKvCorvetteEngineOptions, TKvCorvetteEngineUI, "512x256x3"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformCorvette();
