#include "platforms/KvSavePlatformSymbOS.h"

#include <algorithm>

#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvImage.h"
#include "shell/noxShellBaseExtension.h"

namespace {

void Put3(std::vector<uint8_t>& AOut, int A, int B, int C) {
  AOut.insert(AOut.end(), {static_cast<uint8_t>(A), static_cast<uint8_t>(B), static_cast<uint8_t>(C)});
}

void Put16(std::vector<uint8_t>& AOut, int AValue) {
  AOut.push_back(static_cast<uint8_t>(AValue & 0xFF));
  AOut.push_back(static_cast<uint8_t>(AValue >> 8));
}

// Cuts AWidth x AHeight into tiles of at most ATileWidth x ATileHeight from the
// top-left corner; AWriteTile(x, y, w, h) appends one tile.
template <class TWriteTile>
void WriteTileRows(TKvStream& AStream, int AWidth, int AHeight, int ATileWidth, int ATileHeight,
                   TWriteTile AWriteTile) {
  std::vector<uint8_t> LOut;
  for (int y = 0; y < AHeight; y += ATileHeight) {
    if (y > 0) Put3(LOut, 0xFF, 0, 0);
    const int h = std::min(AHeight - y, ATileHeight);
    for (int x = 0; x < AWidth; x += ATileWidth) AWriteTile(LOut, x, y, std::min(AWidth - x, ATileWidth), h);
  }
  Put3(LOut, 0, 0, 0);
  AStream.WriteBuffer(LOut.data(), static_cast<int64_t>(LOut.size()));
}

// The converter's palettes are exact linear values of the machine's levels.
double SymbOSLevel(TKvPaletteType AType, int ALevel) {
  switch (AType) {
    case ptColoredLinear:
      return ALevel / 2.0;
    case ptColoredMSX:
      return Std3ToLin((const int[]){0, 4, 7}[ALevel]);
    case ptColoredCPC:
      return Std4ToLin((const int[]){0, 8, 15}[ALevel]);
    default:
      RaiseOSError(86);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Screens

TKvSymbOSScreen2::TKvSymbOSScreen2(int AWidth, int AHeight, bool ATwoColor)
    : TKvScreen2(AWidth, AHeight, nullptr),
      TwoColor(ATwoColor),
      FBuffer(static_cast<size_t>((AWidth + 3) / 4) * AHeight, 0) {
  Data = FBuffer.data();
}

void TKvSymbOSScreen2::SetPixel(int X, int Y, int AValue) {
  TKvScreen2::SetPixel(X, Y, TwoColor && AValue > 0 ? 3 : AValue);
}

void TKvSymbOSScreen2::WriteTiles(TKvStream& AStream) {
  const bool LMirror = MirrorX;
  MirrorX = false;
  WriteTileRows(AStream, Width, Height, 252, 255, [&](std::vector<uint8_t>& o, int x0, int y0, int w, int h) {
    Put3(o, (w + 3) / 4, w, h);
    for (int y = y0; y < y0 + h; ++y)
      for (int j = 0; j < w; j += 4) {
        uint8_t b = 0;
        for (int k = 0; k < 4 && j + k < w; ++k) {
          // Colour 0 = high bit only, 1 = both, 2 = low bit only, 3 = none.
          const int v = GetPixel(x0 + j + k, y);
          if (v < 2) b |= static_cast<uint8_t>(0x80 >> k);
          if (v == 1 || v == 2) b |= static_cast<uint8_t>(0x08 >> k);
        }
        o.push_back(b);
      }
  });
  MirrorX = LMirror;
}

TKvSymbOSScreen4::TKvSymbOSScreen4(int AWidth, int AHeight)
    : TKvScreen4(AWidth, AHeight, nullptr), FBuffer(static_cast<size_t>((AWidth + 1) / 2) * AHeight, 0) {
  Data = FBuffer.data();
}

void TKvSymbOSScreen4::WriteTiles(TKvStream& AStream) {
  const bool LMirror = MirrorX;
  MirrorX = false;
  WriteTileRows(AStream, Width, Height, 508, 100, [&](std::vector<uint8_t>& o, int x0, int y0, int w, int h) {
    const int LBytes = (w + 1) / 2;
    o.insert(o.end(), {0x40, 5});
    Put16(o, LBytes);
    Put16(o, 2 * LBytes);
    Put16(o, h);
    for (int y = y0; y < y0 + h; ++y)
      for (int j = 0; j < w; j += 2) {
        const int x = x0 + j;
        const int LRight = x + 1 < Width ? GetPixel(x + 1, y) : 0;
        o.push_back(static_cast<uint8_t>((GetPixel(x, y) << 4) | LRight));
      }
  });
  MirrorX = LMirror;
}

// ---------------------------------------------------------------------------
// Options and panel

TKvSymbOSEngineOptions::TKvSymbOSEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

void TKvSymbOSEngineOptions::SetWidth(int32_t AValue) {
  if (PaletteMode == 11 && (AValue & 1)) ++AValue;
  TKvDestEngineOptions::SetWidth(AValue);
}

void TKvSymbOSEngineOptions::SetPaletteType(uint8_t AValue) {
  TKvDestEngineOptions::SetPaletteType(AValue);
  SetWidth(GetWidth());
}

void TKvSymbOSEngineOptions::SetPaletteMode(uint8_t AValue) {
  TKvDestEngineOptions::SetPaletteMode(AValue);
  SetWidth(GetWidth());
}

void TKvSymbOSEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LPalette = *GetPalette();
  LPalette.Clear();
  switch (PaletteMode) {
    case 0:
      LPalette.AddLinRGB(LinRGBColor(0, 0, 0));
      LPalette.AddLinRGB(LinRGBColor(1, 1, 1));
      break;
    case 1:
      LPalette.AddLinRGB(LinRGBColor(0, 0, 0));
      for (int i : {1, 2}) LPalette.AddLinRGB(LinRGBColor(Std2ToLin(i), Std2ToLin(i), Std2ToLin(i)));
      LPalette.AddLinRGB(LinRGBColor(1, 1, 1));
      break;
    case 11: {
      const auto LType = static_cast<TKvPaletteType>(PaletteType);
      for (const auto& l : SymbOSLevels)
        LPalette.AddLinRGB(LinRGBColor(SymbOSLevel(LType, l[0]), SymbOSLevel(LType, l[1]), SymbOSLevel(LType, l[2])));
      break;
    }
    default:
      RaiseOSError(86);
  }
}

TKvSymbOSEngineUI::TKvSymbOSEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection((1u << 1) | (1u << 10) | (1u << 17));
  AddDimensionSection(false);
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  AddSectionItem(LKinds, ptColoredLinear);
  AddSectionItem(LKinds, ptColoredMSX);
  AddSectionItem(LKinds, ptColoredCPC);
  AddPaletteModeSection(0x803);  // "Black/white", "Gray", "Сolor"
  AddDestPalette(16, 1, true);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvDestEngineUI> TKvSymbOSEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvSymbOSEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvSymbOSEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvSymbOSEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvSymbOSEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth();
  const int H = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvStream& LStream = *LStreams->NewStream("sgx", 0);
  TKvImage LImage(ABitmap);
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      TKvSymbOSScreen2 LScreen(W, H, true);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
      LScreen.WriteTiles(LStream);
      break;
    }
    case 1: {
      AOptions.SetUseAsGrayPalette(true);
      TKvSymbOSScreen2 LScreen(W, H, false);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, *AOptions.GetPalette(), nullptr);
      LScreen.WriteTiles(LStream);
      break;
    }
    default: {
      TKvSymbOSScreen4 LScreen(W, H);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, *AOptions.GetPalette(), nullptr);
      LScreen.WriteTiles(LStream);
      break;
    }
  }
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformSymbOS() { RegisterDestEngine(DestEngineClass<TKvSymbOSEngine>()); }
