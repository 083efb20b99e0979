#include "platforms/KvSavePlatformPP01.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

void TKvPP01Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const int64_t offset = static_cast<int64_t>(Y) * 32 + X / 8;
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  auto put = [&](int APlane, int ABit) {
    uint8_t& b = Data[APlane * PP01PlaneSize + offset];
    b = static_cast<uint8_t>((AValue >> ABit) & 1 ? (b | m) : (b & ~m));
  };
  put(0, 1);
  put(1, 2);
  put(2, 0);
}

TKvPP01EngineOptions::TKvPP01EngineOptions() {
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

TKvPP01EngineUI::TKvPP01EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmColor));
  AddGrayPaletteCheckBox();
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvPP01Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TBitmap32& bitmap = AArgs.Bitmap;
  // The planes hold 256 x 256 pixels.
  if (bitmap.GetWidth() > 256 || bitmap.GetHeight() > 256) RaiseOSError(87);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = streams->NewStream("01s", PP01FileSize)->GetMemory();
  TKvPalette256& palette = *options.GetPalette();
  FillPP01Colors(palette);
  TKvImage image(bitmap);
  TKvPP01Screen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite:
      result = image.ConvertBW(AArgs.Abort, options, &screen, &palette, 0, 7);
      break;
    case pmColor:
      if (options.UseAsGrayPalette) palette.MakeGray();
      result = image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
      break;
    default:
      RaiseOSError(87);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformPP01() { RegisterDestEngines<TKvPP01Engine>(); }
