#include "platforms/KvSavePlatformBBCMicro.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

void BuildBbcFourColourPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (const TKvLinRGBColor& c : {TKvLinRGBColor{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}) APalette.AddUniqueLinRGB(c);
}

void BuildBbcTwoColourPalette(TKvPalette256& APalette) {
  APalette.Clear();
  for (const TKvLinRGBColor& c : {TKvLinRGBColor{0, 0, 0}, {1, 1, 1}}) APalette.AddUniqueLinRGB(c);
}

// ---------------------------------------------------------------------------
// Panel

TKvBBCMicroUI::TKvBBCMicroUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Conversion

std::unique_ptr<TKvBitmap> ConvertBbcScreen(int AMode, TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  if (!AArgs.Streams) AArgs.Streams = std::make_unique<TKvStreamList>();
  const bool large = AMode <= 2;
  const TKvSize size = options.GetDefaultSize();
  uint8_t* data =
      AArgs.Streams->NewStream("bb" + std::to_string(AMode), large ? BbcLargeScreenSize : BbcSmallScreenSize)
          ->GetMemory();
  // The screen memory has room for the mode's own picture size only.
  if (AArgs.Bitmap.GetWidth() > size.Width || AArgs.Bitmap.GetHeight() > size.Height) RaiseOSError(87);
  TKvImage image(AArgs.Bitmap);
  TKvPalette256& palette = *options.GetPalette();
  switch (AMode) {
    case 0:
    case 4: {
      TKvBBCMicro0Screen screen(size.Width, size.Height, data);
      return image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
    }
    case 1:
    case 5: {
      TKvBBCMicro1Screen screen(size.Width, size.Height, data);
      BuildBbcFourColourPalette(palette);
      return image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
    }
    default: {
      TKvBBCMicro2Screen screen(size.Width, size.Height, data);
      palette.FillBGR8();
      return image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
    }
  }
}

void InitKvSavePlatformBBCMicro() {
  RegisterDestEngines<TKvBBCMicro0Engine, TKvBBCMicro1Engine, TKvBBCMicro2Engine, TKvBBCMicro4Engine,
                      TKvBBCMicro5Engine>();
}
