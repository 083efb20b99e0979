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
  std::vector<uint8_t> out;
  for (int y = 0; y < AHeight; y += ATileHeight) {
    if (y > 0) Put3(out, 0xFF, 0, 0);
    const int h = std::min(AHeight - y, ATileHeight);
    for (int x = 0; x < AWidth; x += ATileWidth) AWriteTile(out, x, y, std::min(AWidth - x, ATileWidth), h);
  }
  Put3(out, 0, 0, 0);
  AStream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
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
  const bool mirror = MirrorX;
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
  MirrorX = mirror;
}

TKvSymbOSScreen4::TKvSymbOSScreen4(int AWidth, int AHeight)
    : TKvScreen4(AWidth, AHeight, nullptr), FBuffer(static_cast<size_t>((AWidth + 1) / 2) * AHeight, 0) {
  Data = FBuffer.data();
}

void TKvSymbOSScreen4::WriteTiles(TKvStream& AStream) {
  const bool mirror = MirrorX;
  MirrorX = false;
  WriteTileRows(AStream, Width, Height, 508, 100, [&](std::vector<uint8_t>& o, int x0, int y0, int w, int h) {
    const int bytes = (w + 1) / 2;
    o.insert(o.end(), {0x40, 5});
    Put16(o, bytes);
    Put16(o, 2 * bytes);
    Put16(o, h);
    for (int y = y0; y < y0 + h; ++y)
      for (int j = 0; j < w; j += 2) {
        const int x = x0 + j;
        const int right = x + 1 < Width ? GetPixel(x + 1, y) : 0;
        o.push_back(static_cast<uint8_t>((GetPixel(x, y) << 4) | right));
      }
  });
  MirrorX = mirror;
}

// ---------------------------------------------------------------------------
// Options and panel

TKvSymbOSEngineOptions::TKvSymbOSEngineOptions() {
  SetPaletteType(ptColoredLinear);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

void TKvSymbOSEngineOptions::SetWidth(int32_t AValue) {
  if (PaletteMode == pmColor && (AValue & 1)) ++AValue;
  TKvDestEngineOptions::SetWidth(AValue);
}

void TKvSymbOSEngineOptions::SetPaletteType(uint8_t AValue) {
  TKvDestEngineOptions::SetPaletteType(AValue);
  SetWidth(GetWidth());
}

void TKvSymbOSEngineOptions::SetPaletteMode(TKvPaletteMode AValue) {
  TKvDestEngineOptions::SetPaletteMode(AValue);
  SetWidth(GetWidth());
}

void TKvSymbOSEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& palette = *GetPalette();
  palette.Clear();
  switch (PaletteMode) {
    case pmBlackWhite:
      palette.AddLinRGB(LinRGBColor(0, 0, 0));
      palette.AddLinRGB(LinRGBColor(1, 1, 1));
      break;
    case pmGray:
      palette.AddLinRGB(LinRGBColor(0, 0, 0));
      for (int i : {1, 2}) palette.AddLinRGB(LinRGBColor(Std2ToLin(i), Std2ToLin(i), Std2ToLin(i)));
      palette.AddLinRGB(LinRGBColor(1, 1, 1));
      break;
    case pmColor: {
      const auto type = static_cast<TKvPaletteType>(PaletteType);
      for (const auto& l : SymbOSLevels)
        palette.AddLinRGB(LinRGBColor(SymbOSLevel(type, l[0]), SymbOSLevel(type, l[1]), SymbOSLevel(type, l[2])));
      break;
    }
    default:
      RaiseOSError(86);
  }
}

TKvSymbOSEngineUI::TKvSymbOSEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(PixelAspects(pa1_2, pa1_1, pa2_1));
  AddDimensionSection(false);
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  AddSectionItem(kinds, ptColoredLinear);
  AddSectionItem(kinds, ptColoredMSX);
  AddSectionItem(kinds, ptColoredCPC);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddDestPalette(16, 1, true);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvBitmap> TKvSymbOSEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int w = AArgs.Bitmap.GetWidth();
  const int h = AArgs.Bitmap.GetHeight();
  auto streams = std::make_unique<TKvStreamList>();
  TKvStream& stream = *streams->NewStream("sgx", 0);
  TKvImage image(AArgs.Bitmap);
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      TKvSymbOSScreen2 screen(w, h, true);
      result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
      screen.WriteTiles(stream);
      break;
    }
    case pmGray: {
      options.SetUseAsGrayPalette(true);
      TKvSymbOSScreen2 screen(w, h, false);
      result = image.ConvertIndexed(AArgs.Abort, options, &screen, *options.GetPalette(), nullptr);
      screen.WriteTiles(stream);
      break;
    }
    default: {
      TKvSymbOSScreen4 screen(w, h);
      result = image.ConvertIndexed(AArgs.Abort, options, &screen, *options.GetPalette(), nullptr);
      screen.WriteTiles(stream);
      break;
    }
  }
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformSymbOS() { RegisterDestEngines<TKvSymbOSEngine>(); }
