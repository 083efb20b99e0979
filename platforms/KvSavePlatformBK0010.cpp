#include "platforms/KvSavePlatformBK0010.h"

#include <cmath>
#include <cstring>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformBK0010.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screens

namespace {
constexpr int kRowBytes = 64;

inline void Put2(uint8_t* AData, int X, int Y, int AValue) {
  uint8_t& b = AData[Y * kRowBytes + X / 4];
  const int s = 2 * (X & 3);
  b = static_cast<uint8_t>((b & ~(3 << s)) | ((AValue & 3) << s));
}

inline void Put1(uint8_t* AData, int X, int Y, int AValue) {
  uint8_t& b = AData[Y * kRowBytes + X / 8];
  const int m = 1 << (X & 7);
  b = static_cast<uint8_t>((AValue & 1) ? (b | m) : (b & ~m));
}
}  // namespace

TKvBK1Screen::TKvBK1Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber)
    : TKvScreen2(AWidth, AHeight, AData) {
  Data[BKScreenSize] = APaletteNumber;
}

void TKvBK1Screen::SetPixel(int X, int Y, int AValue) { Put2(Data, MX(X), Y, AValue); }

TKvBK2Screen::TKvBK2Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber)
    : TKvScreen2(AWidth, AHeight, AData) {
  Data[2 * BKScreenSize] = APaletteNumber;
  Data[2 * BKScreenSize + 1] = APaletteNumber;
}

void TKvBK2Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  Put2(Data, X, Y, (AValue >> 2) & 3);
  Put2(Data + BKScreenSize, X, Y, AValue & 3);
}

void TKvBKMonoScreen::SetPixel(int X, int Y, int AValue) { Put1(Data, MX(X), Y, AValue); }

TKvBKMono2Screen::TKvBKMono2Screen(int AWidth, int AHeight, void* AData) : TKvScreen2(AWidth, AHeight, AData) {
  Stride = kRowBytes;
}

void TKvBKMono2Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  Put1(Data, X, Y, (AValue >> 1) & 1);
  Put1(Data + BKScreenSize, X, Y, AValue & 1);
}

const TKvFourColorPalettes BKFourColorPalettes{BKPaletteCount, BKPalettes, BuildBKPalette, BuildBKMixPalette};


// ---------------------------------------------------------------------------
// Conversions

namespace {

// The palette number of a conversion, with the picture adjusted for it. The
// two-level modes take the chosen palette or palette 5 and leave the picture
// to the dithering. "Сolor" takes the "Auto" search's winner, or the chosen
// palette, darkened for the palettes matched by gray when the picture is
// brighter than their brightest colour.
int ChooseBKPalette(TKvConvertArgs& AArgs, TKvImage& AImage, bool AGigascreen) {
  TKvDestEngineOptions& options = AArgs.Options;
  if (options.PaletteMode == (AGigascreen ? pmGray : pmBlackWhite))
    return FourColorLevelsPalette(BKFourColorPalettes, options, 5);
  if (options.PaletteMode != pmColor) RaiseOSError(87);
  const int k = options.PaletteIndex;
  if (k == 0) {
    AdjustOnce(AImage, options);
    AImage.CacheColors();
    return SearchFourColorPalette(AArgs, AImage, BKFourColorPalettes, AGigascreen);
  }
  if (k < 1 || k > BKPaletteCount) RaiseOSError(87);
  if ((0x03C0 >> k) & 1) {
    options.SetUseAsGrayPalette(true);
    const double maxGray = AImage.GetMaxGray();
    options.SetPaletteIndex(k - 1);
    TKvPalette256& p = *options.GetPalette();
    BuildBKPalette(k, p);
    int dark = 0, bright = 0;
    double range = 0;
    p.GetGrayRange(dark, bright, range);
    const double brightGray = p.GetLinGray(bright);
    if (maxGray > brightGray && maxGray != 0) {
      const int darken = static_cast<int>(std::nearbyint((maxGray - brightGray) / maxGray * 100));
      options.SetLightnessFix(options.LightnessFix - darken);
    }
  }
  AdjustOnce(AImage, options);
  return k;
}

// The colour screens of one frame or of two.
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertBKColor(TKvConvertArgs& AArgs) {
  CheckFourColorSize(AArgs.Bitmap, 256);
  auto streams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmap> result;
  {
    TKvImage image(AArgs.Bitmap);
    const int k = ChooseBKPalette(AArgs, image, Gigascreen);
    result = ConvertFourColorScreen<TScreen, Gigascreen>(AArgs, image, BKFourColorPalettes, k, *streams, "bks");
  }
  // The ".bin" and ".pic" files hold no palette number: they are written for
  // palette 1 (stored as 0) only.
  if (!Gigascreen && AArgs.Options.PaletteIndex == 0) {
    const uint8_t* screenData = streams->GetStream(0)->GetMemory();
    WriteBKBin(streams->NewStream("bin", BKBinSize)->GetMemory(), 0x4000, 0x4000, screenData);
    std::memcpy(streams->NewStream("pic", BKScreenSize)->GetMemory(), screenData, BKScreenSize);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvBK1Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertBKColor<TKvBK1Screen, false>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvBK2Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertBKColor<TKvBK2Screen, true>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvBKMonoEngine::Convert(TKvConvertArgs& AArgs) {
  auto streams = std::make_unique<TKvStreamList>();
  auto result = ConvertFourColorMono<TKvBKMonoScreen, false>(AArgs, *streams, "bks");
  WriteBKBin(streams->NewStream("bin", BKBinSize)->GetMemory(), 0x4000, 0x4000, streams->GetStream(0)->GetMemory());
  AArgs.Streams = std::move(streams);
  return result;
}

std::unique_ptr<TKvBitmap> TKvBKMono2Engine::Convert(TKvConvertArgs& AArgs) {
  auto streams = std::make_unique<TKvStreamList>();
  auto result = ConvertFourColorMono<TKvBKMono2Screen, true>(AArgs, *streams, "bks");
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformBK0010() {
  RegisterDestEngines<TKvBK1Engine, TKvBK2Engine, TKvBKMonoEngine, TKvBKMono2Engine>();
}
