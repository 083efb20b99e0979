#include "platforms/KvSavePlatformScorpionGMX.h"

#include <cstring>
#include <type_traits>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformScorpionGMX.h"
#include "rtl/KvSysUtils.h"

// ---------------------------------------------------------------------------
// Options

void SetGmxColorDefaults(TKvDestEngineOptions& AOptions, uint8_t ADitherMethod) {
  AOptions.SetPaletteMode(pmColor);
  AOptions.SetLimitErrorInsideBlock(false);
  AOptions.SetLimitErrorAtBlockBoundary(false);
  AOptions.SetErrorDiffusion(90);
  AOptions.SetDitherMethod(ADitherMethod);
}

void UpdateGmxPalette(TKvDestEngineOptions& AOptions) {
  if (AOptions.PaletteMode == pmGray)
    AOptions.BuildZxPaletteSubset();
  else
    AOptions.BuildZxPalette();
}

// ---------------------------------------------------------------------------
// Screens

namespace {
constexpr int kGmxRowBytes = 80;
constexpr int kGmx640AttrOffset = 16384;
constexpr uint8_t kGmxBlankAttr = 71;
}  // namespace

TKvScorpionGMX640Screen::TKvScorpionGMX640Screen(void* AData) : TKvCellScreen(640, 200, AData) {
  std::memset(Data, 0, kGmx640AttrOffset);
  std::memset(Data + kGmx640AttrOffset, kGmxBlankAttr, GetDataSize() - kGmx640AttrOffset);
}

int TKvScorpionGMX640Screen::GetAttr(int CellX, int CellY) {
  return Data[kGmx640AttrOffset + CellY * kGmxRowBytes + (MirrorX ? 79 - CellX : CellX)];
}

void TKvScorpionGMX640Screen::SetAttr(int CellX, int CellY, int AAttr) {
  Data[kGmx640AttrOffset + CellY * kGmxRowBytes + (MirrorX ? 79 - CellX : CellX)] = static_cast<uint8_t>(AAttr);
}

TKvScorpionGMX160Screen::TKvScorpionGMX160Screen(void* AData, bool ADirect)
    : TKvCellScreen(160, 200, AData), FDirect(ADirect) {
  std::memset(Data, 0, GetDataSize());
  InitGmxHeader(Data);
}

int TKvScorpionGMX160Screen::GetPixel(int, int) { throw Exception(""); }

void TKvScorpionGMX160Screen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  const int v = AColor != 0 ? 1 : 0;
  if (FDirect) {
    uint8_t& b = Data[GmxHeaderSize + Y * kGmxRowBytes + X / 2];
    const int shift = (X & 1) ? 0 : 3;
    b = static_cast<uint8_t>((b & ~(7 << shift)) | (v * 7 << shift) | 0x40);
    return;
  }
  const int shift = (X & 1) ? 4 : 0;
  FPattern = static_cast<uint8_t>((FPattern & ~(0x0F << shift)) | (v << shift));
}

int TKvScorpionGMX160Screen::GetAttr(int, int) { throw Exception(""); }

void TKvScorpionGMX160Screen::SetAttr(int CellX, int CellY, int AAttr) {
  const int paper = (AAttr >> 3) & 7, ink = AAttr & 7;
  int left, right;
  switch (FPattern) {
    case 0x00: left = paper, right = paper; break;
    case 0x01: left = ink, right = paper; break;
    case 0x10: left = paper, right = ink; break;
    case 0x11: left = ink, right = ink; break;
    default: throw Exception("");
  }
  Data[GmxHeaderSize + CellY * kGmxRowBytes + (MirrorX ? 79 - CellX : CellX)] =
      static_cast<uint8_t>((left << 3) | right | (AAttr & 0x40));
}

// ---------------------------------------------------------------------------
// Cell image

std::unique_ptr<TKvBitmap> TKvScorpionGMX640ColorImage::ConvertGray(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                    TKvDestProgress* AProgress,
                                                                    TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  return Convert(AAbort, AOptions, AProgress, ATarget);
}

void TKvScorpionGMX640ColorImage::RenderCell(TKvBitmap* AResult, TKvCellScreen* ATarget, int ACellX, int ACellY,
                                             const TRect& ARect, TKvCellPalette* ACellPalette) {
  TKvSpectrumZxColorImage::RenderCell(AResult, ATarget, ACellX, ACellY, ARect, ACellPalette);
  SetCellAttr(ATarget, ACellX, ACellY, ACellPalette);
}

// ---------------------------------------------------------------------------
// Engines

namespace {

template <class TScreen>
std::unique_ptr<TKvBitmap> ConvertGmx(TKvConvertArgs& AArgs, int ACellWidth) {
  TKvDestEngineOptions& options = AArgs.Options;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* data = AArgs.Streams->NewStream("c", TScreen::GetDataSize())->GetMemory();
  const bool blackWhite = options.PaletteMode == pmBlackWhite;
  std::unique_ptr<TScreen> screen;
  if constexpr (std::is_same_v<TScreen, TKvScorpionGMX160Screen>)
    screen = std::make_unique<TScreen>(data, blackWhite);
  else
    screen = std::make_unique<TScreen>(data);
  if (blackWhite) {
    // A light pixel is bright white ink (640) or colour 7 under the bright
    // bit (160).
    TKvImage image(AArgs.Bitmap);
    return image.ConvertBW(AArgs.Abort, options, screen.get(), nullptr, 0, 1);
  }
  TKvScorpionGMX640ColorImage image(ACellWidth, 1, AArgs.Bitmap);
  options.BuildZxPalette();
  if (options.PaletteMode == pmGray) {
    auto preview = image.ConvertGray(AArgs.Abort, options, &AArgs.Progress, screen.get());
    options.BuildZxPaletteSubset();
    return preview;
  }
  return image.Convert(AArgs.Abort, options, &AArgs.Progress, screen.get());
}

}  // namespace

TKvScorpionGMXEngineUI::TKvScorpionGMXEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddZxPaletteSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddZxColorUsageAndDithering(*this);
}

std::unique_ptr<TKvBitmap> TKvScorpionGMX640Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertGmx<TKvScorpionGMX640Screen>(AArgs, 8);
}

std::unique_ptr<TKvBitmap> TKvScorpionGMX160Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertGmx<TKvScorpionGMX160Screen>(AArgs, 2);
}

const std::vector<const TKvDestEngineClass*>& ScorpionGMXDestEngineClasses() {
  return DestEngineClasses<TKvScorpionGMX640Engine, TKvScorpionGMX160Engine>();
}

void InitKvSavePlatformScorpionGMX() { RegisterDestEngines(ScorpionGMXDestEngineClasses()); }
