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
  const int64_t LPlane = FRowSize * Height;
  const int64_t o = static_cast<int64_t>(Y) * FRowSize + X / 8;
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  // Planes 0, 1, 2 hold the value's bits 0, 2, 1.
  const int LBits[3] = {v & 1, v & 4, v & 2};
  for (int p = 0; p < 3; ++p) {
    uint8_t& b = FPlanes[static_cast<size_t>(p * LPlane + o)];
    b = static_cast<uint8_t>(LBits[p] ? (b | m) : (b & ~m));
  }
}

void TKvCorvetteScreen::WriteGrf(TStream& AStream) const {
  uint8_t LHeader[CorvetteHeaderSize];
  InitCorvetteGrfHeader(LHeader);
  AStream.WriteBuffer(LHeader, CorvetteHeaderSize);
  WriteCorvetteGrfData(FPlanes.data(), AStream);
}

void TKvCorvetteScreen::WritePic(TStream& AStream) const {
  AStream.WriteBuffer(FPlanes.data(), static_cast<int64_t>(FPlanes.size()));
}

void TKvCorvetteScreen::WriteWin(TStream& AStream) const {
  uint8_t LHeader[CorvetteWinHeaderSize];
  InitCorvetteWinHeader(LHeader, Width, Height);
  AStream.WriteBuffer(LHeader, CorvetteWinHeaderSize);
  const int64_t LPlane = FRowSize * Height;
  for (int p : {0, 2, 1}) AStream.WriteBuffer(FPlanes.data() + p * LPlane, LPlane);
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
  std::array<int, 256> LCounts{};
  for (int i = 0; i < CorvetteGrfBlockSize; ++i) ++LCounts[ABlock[i]];
  int M = 0;
  for (int v = 1; v < 256; ++v)
    if (LCounts[static_cast<size_t>(v)] > LCounts[static_cast<size_t>(M)]) M = v;
  const int C = LCounts[static_cast<size_t>(M)];
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
      const bool LOther = ABlock[i] != M;
      W.WriteBit(LOther);
      if (LOther) W.WriteBits(ABlock[i], 8);
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
  SetPixelAspect(7);  // "2:3"
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(5);  // "8 colors"
  SetErrorDiffusion(90);
}

void TKvCorvetteEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  auto& LHardware = static_cast<TKvPalette256&>(*HardwarePalette);
  BuildCorvettePalette(LHardware, static_cast<TKvPaletteType>(PaletteType));
  TKvPalette256& P = *GetPalette();
  P.Clear();
  auto add = [&](int i) { P.AddStdRGB(LHardware.GetStdRGB(i)); };
  switch (PaletteMode) {
    case 0:
      add(0);
      add(15);
      break;
    case 1:
      for (int i : {0, 7, 8, 15}) add(i);
      break;
    case 5:
      // Black and the seven bright colours: entry k shows screen value k.
      add(0);
      for (int i = 9; i <= 15; ++i) add(i);
      break;
    case 6:
      for (int i = 0; i < 16; ++i)
        if (i != 8) add(i);
      break;
    case 7:
    case 17:
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
  AddPositionSection(0);
  AddPaletteSection();
  AddDitheringSection(false);
}

void TKvCorvetteEngineUI::AddPaletteSection() {
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptColoredLinear);
  AddSectionItem(LKinds, ptColoredEMU);
  // 0 "Black/white", 1 "Gray", 5 "8 colors", 6 "8 from 15 colors",
  // 7 "8 from 16 colors", 17 "Custom".
  AddPaletteModeSection(131299);
  AddGrayPaletteCheckBox();
  AddDestPalette(16, 1, true);
  AddFixedPaletteSection(16, 1);
}

TKvPalette* TKvCorvetteEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  BuildCorvettePalette(AScratch, static_cast<TKvPaletteType>(GetOptions()->PaletteType));
  AColumns = 8;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvDestEngineUI> TKvCorvetteEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvCorvetteEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvCorvetteEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvCorvetteEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvCorvetteEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                      TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                      TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth();
  const int H = ABitmap.GetHeight();
  // The ".win" header holds W - 1 in a word below 512 and H - 1 in a byte.
  if (W < 1 || H < 1 || W > CorvetteWidth || H > CorvetteHeight) RaiseOSError(87);

  auto LHardware = std::make_unique<TKvPalette256>();
  BuildCorvettePalette(*LHardware, static_cast<TKvPaletteType>(AOptions.PaletteType));
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  // The conversion routines below adjust again: leave the pixels as they are.
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  TKvPalette256& LResultPalette = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();

  std::unique_ptr<TKvCorvetteScreen> LScreen;
  std::unique_ptr<TKvBitmap> LResult;
  auto quantized = [&]() {
    QuantizePalette(AAbort, LImage, *LHardware, 8, AOptions);
    LImage.FitToPaletteGray(LResultPalette);
    LResult = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, nullptr);
  };
  switch (AOptions.PaletteMode) {
    case 0:
      if (LFixed.Count == 0) {
        // Light pixels set all three planes: white, value 7.
        LScreen = std::make_unique<TKvCorvetteScreen>(W, H, true, 0, 7);
        LResult = LImage.ConvertBW(AAbort, AOptions, LScreen.get(), nullptr, 0, 1);
      } else {
        int A = 0, B = 0;
        LFixed.AddColorPair(&LResultPalette, 8, A, B);
        LResult = LImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, A, B);
        LResultPalette.Assign(&LFixed);
      }
      break;
    case 1: {
      int LDark = 0, LBright = 0;
      if (ReducePalette(AAbort, LImage, LResultPalette, 8, AOptions, LDark, LBright))
        LResult = LImage.ConvertIndexed(AAbort, AOptions, nullptr, LResultPalette, &LFixed);
      else
        LResult = LImage.ConvertBW(AAbort, AOptions, nullptr, &LFixed, LDark, LBright);
      LResultPalette.Assign(&LFixed);
      break;
    }
    case 5:
      if (LFixed.Count == 0) {
        // Entry k of the result palette (black and the bright colours) is
        // screen value k.
        LScreen = std::make_unique<TKvCorvetteScreen>(W, H);
        LResult = LImage.ConvertIndexed(AAbort, AOptions, LScreen.get(), LResultPalette, nullptr);
      } else {
        quantized();
      }
      break;
    case 6: {
      auto LOwn = std::make_unique<TKvPalette256>();
      LOwn->Assign(&LResultPalette);
      LHardware = std::move(LOwn);
      quantized();
      break;
    }
    case 7:
    case 17:
      quantized();
      break;
    default:
      RaiseOSError(87);
  }

  if (LScreen) {
    auto LStreams = std::make_unique<TKvStreamList>();
    if (W == CorvetteWidth && H == CorvetteHeight) {
      LScreen->WriteGrf(*LStreams->NewStream("grf", 0));
      LScreen->WritePic(*LStreams->NewStream("pic", 0));
    }
    LScreen->WriteWin(*LStreams->NewStream("win", 0));
    AStreams = std::move(LStreams);
  }
  return LResult;
}

void InitKvSavePlatformCorvette() { RegisterDestEngine(DestEngineClass<TKvCorvetteEngine>()); }
