#include "platforms/KvSavePlatformOkean240.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformOkean240.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screens

namespace {
inline void PutBit(uint8_t& AByte, int ABit, int AValue) {
  const int m = 1 << ABit;
  AByte = static_cast<uint8_t>(AValue ? (AByte | m) : (AByte & ~m));
}

inline void PutColor(uint8_t* AData, int X, int Y, int AValue) {
  const int o = OkeanColorOffset(X, Y);
  PutBit(AData[o], X & 7, AValue & 1);
  PutBit(AData[o + 256], X & 7, AValue & 2);
}

inline void PutMono(uint8_t* AData, int X, int Y, int AValue) { PutBit(AData[OkeanMonoOffset(X, Y)], X & 7, AValue); }
}  // namespace

TKvOkean1Screen::TKvOkean1Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber)
    : TKvScreen2(AWidth, AHeight, AData) {
  Data[GetDataSize(AWidth, AHeight) - 1] = APaletteNumber;
}

void TKvOkean1Screen::SetPixel(int X, int Y, int AValue) { PutColor(Data, MX(X), Y, AValue); }

TKvOkean2Screen::TKvOkean2Screen(int AWidth, int AHeight, void* AData, uint8_t APaletteNumber)
    : TKvScreen2(AWidth, AHeight, AData) {
  Data[GetDataSize(AWidth, AHeight) - 1] = APaletteNumber;
}

void TKvOkean2Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  PutColor(Data, X, Y, (AValue >> 2) & 3);
  PutColor(Data + OkeanScreenSize, X, Y, AValue & 3);
}

void TKvOkeanMonoScreen::SetPixel(int X, int Y, int AValue) { PutMono(Data, MX(X), Y, AValue); }

void TKvOkeanMono2Screen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  PutMono(Data, X, Y, AValue & 1);
  PutMono(Data + OkeanScreenSize, X, Y, AValue & 2);
}

const TKvFourColorPalettes OkeanFourColorPalettes{OkeanPaletteCount, OkeanPalettes, BuildOkeanPalette,
                                                   BuildOkeanMixPalette};


// ---------------------------------------------------------------------------
// Conversions

namespace {

// The colour screens of one frame or of two. The picture is adjusted once,
// then converted unchanged: the two-level modes take the chosen palette or
// palette 4 (black, red, magenta, white), "Сolor" the chosen one or the
// "Auto" search's winner.
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertOkeanColor(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  CheckFourColorSize(AArgs.Bitmap, 256);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  image.CacheColors();
  int k = 0;
  if (options.PaletteMode == (Gigascreen ? pmGray : pmBlackWhite)) {
    k = FourColorLevelsPalette(OkeanFourColorPalettes, options, 4);
  } else if (options.PaletteMode == pmColor) {
    k = options.PaletteIndex;
    if (k == 0) k = SearchFourColorPalette(AArgs, image, OkeanFourColorPalettes, Gigascreen);
    if (k < 1 || k > OkeanPaletteCount) RaiseOSError(87);
  } else {
    RaiseOSError(87);
  }
  auto streams = std::make_unique<TKvStreamList>();
  auto result = ConvertFourColorScreen<TScreen, Gigascreen>(AArgs, image, OkeanFourColorPalettes, k, *streams, "oks");
  AArgs.Streams = std::move(streams);
  return result;
}

// The black-and-white screens of one frame or of two.
template <class TScreen, bool Gigascreen>
std::unique_ptr<TKvBitmap> ConvertOkeanMono(TKvConvertArgs& AArgs) {
  auto streams = std::make_unique<TKvStreamList>();
  auto result = ConvertFourColorMono<TScreen, Gigascreen>(AArgs, *streams, "oks");
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvOkean1Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertOkeanColor<TKvOkean1Screen, false>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvOkean2Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertOkeanColor<TKvOkean2Screen, true>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvOkeanMonoEngine::Convert(TKvConvertArgs& AArgs) {
  return ConvertOkeanMono<TKvOkeanMonoScreen, false>(AArgs);
}

std::unique_ptr<TKvBitmap> TKvOkeanMono2Engine::Convert(TKvConvertArgs& AArgs) {
  return ConvertOkeanMono<TKvOkeanMono2Screen, true>(AArgs);
}

void InitKvSavePlatformOkean240() {
  RegisterDestEngines<TKvOkean1Engine, TKvOkean2Engine, TKvOkeanMonoEngine, TKvOkeanMono2Engine>();
}
