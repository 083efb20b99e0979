#include "platforms/KvSavePlatformCorvette.h"

#include <array>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformCorvette.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

TKvCorvetteScreen::TKvCorvetteScreen(int AWidth, int AHeight, bool AMapped, int AValue0, int AValue1)
    : TKvScreen4(AWidth, AHeight, nullptr),
      Mapped(AMapped),
      Value0(AValue0),
      Value1(AValue1),
      FPlanes(static_cast<size_t>(CorvettePlanesSize(AWidth, AHeight)), 0),
      FRowSize(CorvettePlaneRowSize(AWidth)) {
  Data = FPlanes.data();
}

void TKvCorvetteScreen::SetPixel(int X, int Y, int AValue) {
  const int v = Mapped ? (AValue != 0 ? Value1 : Value0) : AValue;
  X = MX(X);
  const int64_t plane = FRowSize * Height;
  const int64_t o = static_cast<int64_t>(Y) * FRowSize + X / 8;
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  // Planes 0, 1, 2 hold the value's bits 0, 2, 1.
  const int bits[3] = {v & 1, v & 4, v & 2};
  for (int p = 0; p < 3; ++p) {
    uint8_t& b = FPlanes[static_cast<size_t>(p * plane + o)];
    b = static_cast<uint8_t>(bits[p] ? (b | m) : (b & ~m));
  }
}

void TKvCorvetteScreen::WriteGrf(TStream& AStream) const {
  uint8_t header[CorvetteHeaderSize];
  InitCorvetteGrfHeader(header);
  AStream.WriteBuffer(header, CorvetteHeaderSize);
  WriteCorvetteGrfData(FPlanes.data(), AStream);
}

void TKvCorvetteScreen::WritePic(TStream& AStream) const {
  AStream.WriteBuffer(FPlanes.data(), static_cast<int64_t>(FPlanes.size()));
}

void TKvCorvetteScreen::WriteWin(TStream& AStream) const {
  uint8_t header[CorvetteWinHeaderSize];
  InitCorvetteWinHeader(header, Width, Height);
  AStream.WriteBuffer(header, CorvetteWinHeaderSize);
  const int64_t plane = FRowSize * Height;
  for (int p : {0, 2, 1}) AStream.WriteBuffer(FPlanes.data() + p * plane, plane);
}

// ---------------------------------------------------------------------------
// ".grf" coding

namespace {

struct TKvCorvetteBitWriter {
  TStream& Stream;
  uint8_t Mask = 128;
  uint8_t Acc = 0;

  void WriteBit(bool ABit) {
    if (ABit) Acc = static_cast<uint8_t>(Acc | Mask);
    Mask = static_cast<uint8_t>(Mask >> 1);
    if (Mask == 0) {
      Stream.WriteBuffer(&Acc, 1);
      Mask = 128;
      Acc = 0;
    }
  }
  void WriteBits(unsigned AValue, int ACount) {
    for (int i = ACount - 1; i >= 0; --i) WriteBit((AValue >> i) & 1);
  }
  void Flush() {
    if (Mask != 128) Stream.WriteBuffer(&Acc, 1);
  }
};

void EncodeCorvetteGrfBlock(TKvCorvetteBitWriter& W, const uint8_t* ABlock) {
  std::array<int, 256> counts{};
  for (int i = 0; i < CorvetteGrfBlockSize; ++i) ++counts[ABlock[i]];
  int M = 0;
  for (int v = 1; v < 256; ++v)
    if (counts[static_cast<size_t>(v)] > counts[static_cast<size_t>(M)]) M = v;
  const int C = counts[static_cast<size_t>(M)];
  if (C == CorvetteGrfBlockSize) {
    if (M == 0 || M == 255) {
      W.WriteBits(1, 3);
      W.WriteBit(M == 255);
    } else {
      W.WriteBits(2, 3);
      W.WriteBits(static_cast<unsigned>(M), 8);
    }
  } else if (C <= 9) {
    W.WriteBits(0, 3);
    for (int i = 0; i < CorvetteGrfBlockSize; ++i) W.WriteBits(ABlock[i], 8);
  } else {
    W.WriteBits(3, 3);
    W.WriteBits(static_cast<unsigned>(M), 8);
    for (int i = 0; i < CorvetteGrfBlockSize; ++i) {
      const bool other = ABlock[i] != M;
      W.WriteBit(other);
      if (other) W.WriteBits(ABlock[i], 8);
    }
  }
}

}  // namespace

void WriteCorvetteGrfData(const uint8_t* AData, TStream& AStream) {
  TKvCorvetteBitWriter W{AStream};
  for (int k = 0; k < CorvetteGrfBlockCount; ++k) EncodeCorvetteGrfBlock(W, AData + k * CorvetteGrfBlockSize);
  W.Flush();
}

// ---------------------------------------------------------------------------
// Options

TKvCorvetteEngineOptions::TKvCorvetteEngineOptions() {
  SetPixelAspect(pa2_3);
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pm8Colors);
  SetErrorDiffusion(90);
}

void TKvCorvetteEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  auto& hardware = static_cast<TKvPalette256&>(*HardwarePalette);
  BuildCorvettePalette(hardware, static_cast<TKvPaletteType>(PaletteType));
  TKvPalette256& palette = *GetPalette();
  palette.Clear();
  auto add = [&](int i) { palette.AddStdRGB(hardware.GetStdRGB(i)); };
  switch (PaletteMode) {
    case pmBlackWhite:
      add(0);
      add(15);
      break;
    case pmGray:
      for (int i : {0, 7, 8, 15}) add(i);
      break;
    case pm8Colors:
      // Black and the seven bright colours: entry k shows screen value k.
      add(0);
      for (int i = 9; i <= 15; ++i) add(i);
      break;
    case pm8Of15Colors:
      for (int i = 0; i < 16; ++i)
        if (i != 8) add(i);
      break;
    case pm8Of16Colors:
    case pmCustom:
      for (int i = 0; i < 16; ++i) add(i);
      break;
    default:
      RaiseOSError(86);
  }
}

// ---------------------------------------------------------------------------
// Panel

TKvCorvetteEngineUI::TKvCorvetteEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  AddSectionItem(kinds, ptColoredLinear);
  AddSectionItem(kinds, ptColoredEMU);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pm8Colors, pm8Of15Colors, pm8Of16Colors, pmCustom));
  AddGrayPaletteCheckBox();
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvCorvetteEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  BuildCorvettePalette(AScratch, static_cast<TKvPaletteType>(GetOptions()->PaletteType));
  AColumns = 8;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvBitmap> TKvCorvetteEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth();
  const int h = AArgs.Bitmap.GetHeight();
  // The ".win" header holds w - 1 in a word below 512 and h - 1 in a byte.
  if (w < 1 || h < 1 || w > CorvetteWidth || h > CorvetteHeight) RaiseOSError(87);

  auto hardware = std::make_unique<TKvPalette256>();
  BuildCorvettePalette(*hardware, static_cast<TKvPaletteType>(options.PaletteType));
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& resultPalette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();

  // Only a conversion to the screen's own 8 colours has a screen to write.
  std::unique_ptr<TKvCorvetteScreen> screen;
  std::unique_ptr<TKvBitmap> result;
  auto quantized = [&]() {
    QuantizePalette(AArgs.Abort, image, *hardware, 8, options);
    image.FitToPaletteGray(resultPalette);
    result = image.ConvertIndexed(AArgs.Abort, options, nullptr, resultPalette, nullptr);
  };
  switch (options.PaletteMode) {
    case pmBlackWhite:
      if (fixed.Count == 0) {
        // Light pixels set all three planes: white, value 7.
        screen = std::make_unique<TKvCorvetteScreen>(w, h, true, 0, 7);
        result = image.ConvertBW(AArgs.Abort, options, screen.get(), nullptr, 0, 1);
      } else {
        result = ConvertColorPair(AArgs.Abort, image, nullptr, 8, options);
      }
      break;
    case pmGray:
      result = ConvertReducedGray(AArgs.Abort, image, nullptr, resultPalette, 8, options);
      break;
    case pm8Colors:
      if (fixed.Count == 0) {
        // Entry k of the result palette (black and the bright colours) is
        // screen value k.
        screen = std::make_unique<TKvCorvetteScreen>(w, h);
        result = image.ConvertIndexed(AArgs.Abort, options, screen.get(), resultPalette, nullptr);
      } else {
        quantized();
      }
      break;
    case pm8Of15Colors:
      // The 15 colours of the result palette are the ones to choose from.
      hardware = std::make_unique<TKvPalette256>();
      hardware->Assign(&resultPalette);
      quantized();
      break;
    case pm8Of16Colors:
    case pmCustom:
      quantized();
      break;
    default:
      RaiseOSError(87);
  }

  if (screen) {
    auto streams = std::make_unique<TKvStreamList>();
    if (w == CorvetteWidth && h == CorvetteHeight) {
      screen->WriteGrf(*streams->NewStream("grf", 0));
      screen->WritePic(*streams->NewStream("pic", 0));
    }
    screen->WriteWin(*streams->NewStream("win", 0));
    AArgs.Streams = std::move(streams);
  }
  return result;
}

void InitKvSavePlatformCorvette() { RegisterDestEngines<TKvCorvetteEngine>(); }
