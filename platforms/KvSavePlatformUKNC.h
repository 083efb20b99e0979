// The converter of the "UKNC" platform: up to 640 x 288 pixels in three bit
// planes (8 colours), written as a run-length encoded PCX file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformUKNC.h"

class TKvStream;

// The PCX header and the three planes of every row (plane p holds bit p of
// the pixel value; the leftmost pixel is bit 0 of a byte), kept in memory
// until WriteTo encodes them.
class TKvUKNCPCXScreen : public TKvScreen4 {
public:
  // AMono: every non-zero value sets all three planes.
  TKvUKNCPCXScreen(int AWidth, int AHeight, bool AMono);
  int GetPixel(int, int) override { return 0; }
  void SetPixel(int X, int Y, int AValue) override;
  // The header, then each plane line of each row run-length encoded.
  void WriteTo(TKvStream& AStream);

  uint8_t Header[128];
  std::vector<uint8_t> Planes;
  int BytesPerLine;
  bool Mono;
};

// The PCX body of plane lines of ABytesPerLine bytes: a run of 2..63 equal
// bytes as 0xC0 + n and the value, a single byte below 0xC0 as itself, one of
// 0xC0 or more as 0xC1 and the byte; runs never cross a line's end.
std::vector<uint8_t> EncodePcxLines(const uint8_t* AData, int64_t ASize, int ABytesPerLine);

class TKvUKNCEngineOptions : public TKvDestEngineOptions {
public:
  TKvUKNCEngineOptions();
  TKvSize GetMaxSize() const override { return {UkncMaxWidth, UkncMaxHeight}; }
  TKvSize GetDefaultSize() const override { return GetMaxSize(); }
};

struct TKvUKNCEngineUI : TKvDestEngineUIEx { explicit TKvUKNCEngineUI(TKvDestEngineOptions* AOptions); };

struct TKvUKNCEngine : TKvDestMode<TKvUKNCEngine, TKvUKNCEngineOptions, TKvUKNCEngineUI, "UKNC", "640x288x3"> {
  static std::unique_ptr<TKvBitmap> Convert(TKvConvertArgs& AArgs);
};

void InitKvSavePlatformUKNC();
