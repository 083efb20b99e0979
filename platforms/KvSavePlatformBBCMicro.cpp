#include "platforms/KvSavePlatformBBCMicro.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

void BuildBbcFourColourPalette(TKvPalette256& APalette) {
  APalette.Clear();
  APalette.AddUniqueLinRGB({0, 0, 0});
  APalette.AddUniqueLinRGB({1, 0, 0});
  APalette.AddUniqueLinRGB({1, 1, 0});
  APalette.AddUniqueLinRGB({1, 1, 1});
}

void BuildBbcTwoColourPalette(TKvPalette256& APalette) {
  APalette.Clear();
  APalette.AddUniqueLinRGB({0, 0, 0});
  APalette.AddUniqueLinRGB({1, 1, 1});
}

// ---------------------------------------------------------------------------
// Screens; the bytes of a character row follow from the width.

void TKvBBCMicro0Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[BbcByteOffset(X, Y, 8, Width)];
  const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
  b = static_cast<uint8_t>(AValue ? (b | m) : (b & ~m));
}

void TKvBBCMicro1Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[BbcByteOffset(X, Y, 4, Width * 2)];
  const int i = X & 3;
  const uint8_t m = static_cast<uint8_t>((0x80 >> i) | (0x08 >> i));
  uint8_t v = 0;
  if (AValue & 2) v |= static_cast<uint8_t>(0x80 >> i);
  if (AValue & 1) v |= static_cast<uint8_t>(0x08 >> i);
  b = static_cast<uint8_t>((b & ~m) | v);
}

void TKvBBCMicro2Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[BbcByteOffset(X, Y, 2, Width * 4)];
  const int i = X & 1;
  uint8_t m = 0, v = 0;
  // Colour bit k (3..0) goes to byte bit 2k + 1 - i.
  for (int k = 0; k < 4; ++k) {
    const uint8_t bit = static_cast<uint8_t>(1u << (2 * k + 1 - i));
    m |= bit;
    if (AValue & (1 << k)) v |= bit;
  }
  b = static_cast<uint8_t>((b & ~m) | v);
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
