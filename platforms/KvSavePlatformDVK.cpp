#include "platforms/KvSavePlatformDVK.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformDVK.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen

void TKvDvkScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const int64_t offset = 4 + static_cast<int64_t>(Height - 1 - Y) * DvkRowSize(Width) + (X / 4) * 2;
  // The leftmost pixel of a group is the top nibble of the little-endian
  // word: the high nibble of its second byte.
  uint8_t& b = Data[offset + ((X & 2) ? 0 : 1)];
  const uint8_t v = static_cast<uint8_t>(AValue & 15);
  if (X & 1)
    b = static_cast<uint8_t>((b & 0xF0) | v);
  else
    b = static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

// ---------------------------------------------------------------------------
// Options

TKvDvkEngineOptions::TKvDvkEngineOptions() {
  SetPaletteType(ptColoredEMUStudio);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
  SetMaxColorCount(15);
}

void TKvDvkEngineOptions::SetWidth(int32_t AValue) { TKvDestEngineOptions::SetWidth((AValue + 3) / 4 * 4); }

void TKvDvkEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& result = *GetPalette();
  result.Clear();
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  auto& hardware = static_cast<TKvPalette256&>(*HardwarePalette);
  BuildDvkPalette(static_cast<TKvPaletteType>(PaletteType), hardware);
  switch (PaletteMode) {
    case pmBlackWhite:
      result.AddStdRGB(hardware.GetStdRGB(0));
      result.AddStdRGB(hardware.GetStdRGB(63));
      break;
    case pmGray:
      // The four gray codes 0, 21, 42, 63, darkest first.
      for (int k = 0; k < 4; ++k) {
        TKvStdRGBColor c = hardware.GetStdRGB(k * 21);
        c.R = c.B;
        c.G = c.B;
        result.AddStdRGB(hardware.GetStdRGB(hardware.FindNearestStdRGB(c)));
      }
      break;
    case pmColor:
    case pmCustom:
      result.Assign(&hardware);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Panel

TKvDvkEngineUI::TKvDvkEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  AddSectionItem(kinds, ptColoredLinear);
  AddSectionItem(kinds, ptColoredEMUStudio);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  AddDestPalette(16, 4, true);
  AddFixedPaletteSection(16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvDvkEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  BuildDvkPalette(static_cast<TKvPaletteType>(GetOptions()->PaletteType), AScratch);
  AColumns = 0;
  return &AScratch;
}

// ---------------------------------------------------------------------------
// Engine

std::unique_ptr<TKvBitmap> TKvDvkEngine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth();
  const int height = AArgs.Bitmap.GetHeight();
  const int64_t size = DvkPicSize(width, height);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  uint8_t* data = AArgs.Streams->NewStream("pic", static_cast<int>(size))->GetMemory();

  TKvPalette256 hardware;
  BuildDvkPalette(static_cast<TKvPaletteType>(options.PaletteType), hardware);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvDvkScreen screen(width, height, data);
  TKvPalette256& resultPalette = *options.GetPalette();

  // Black/white and gray end with the fixed palette as the result palette
  // and screen indexes into it, so that the palette block written from the
  // result palette shows the colours the pixels mean.
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite:
      result = ConvertColorPair(abort, image, &screen, options.MaxColorCount, options);
      break;
    case pmGray:
      result = ConvertReducedGray(abort, image, &screen, resultPalette, options.MaxColorCount, options);
      break;
    case pmColor:
    case pmCustom:
      QuantizePalette(abort, image, hardware, options.MaxColorCount, options);
      image.FitToPaletteGray(resultPalette);
      result = image.ConvertIndexed(abort, options, &screen, resultPalette, nullptr);
      break;
    default:
      RaiseOSError(87);
  }

  data[0] = static_cast<uint8_t>(width & 0xFF);
  data[1] = static_cast<uint8_t>(width >> 8);
  data[2] = static_cast<uint8_t>(height & 0xFF);
  data[3] = static_cast<uint8_t>(height >> 8);
  // A palette block holds 16 codes; a longer result palette could not be
  // shown by the controller.
  if (resultPalette.Count > DvkPaletteBlockSize) RaiseInternalError();
  for (int i = 0; i < resultPalette.Count; ++i)
    data[size - DvkPaletteBlockSize + i] = static_cast<uint8_t>(hardware.LocateStdRGB(resultPalette.GetStdRGB(i)));
  return result;
}

void InitKvSavePlatformDVK() { RegisterDestEngines<TKvDvkEngine>(); }
