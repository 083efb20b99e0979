#include "platforms/KvSavePlatformTimex.h"

#include <cmath>

#include "core/KvFlicker.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"

// ---------------------------------------------------------------------------
// Screens

namespace {
// The byte of pixel (X, Y) of a 512x192 image.
inline uint8_t& TimexMonoByte(uint8_t* AData, int X, int Y) {
  return AData[((X >> 3) & 1) * ZxBitmapSize + ZxRowOffset(Y) + (X >> 4)];
}
}  // namespace

TKvTimexMonoScreen::TKvTimexMonoScreen(void* AData) : TKvScreen1(512, 192, AData) {}

int TKvTimexMonoScreen::GetPixel(int X, int Y) {
  X = MX(X);
  return ZxPixelBit(TimexMonoByte(Data, X, Y), X) ^ 1;
}

void TKvTimexMonoScreen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  PutZxPixelBit(TimexMonoByte(Data, X, Y), X, AColor == 0);
}

TKvTimexMono2Screen::TKvTimexMono2Screen(void* AData) : TKvScreen2(512, 192, AData) {}

void TKvTimexMono2Screen::SetPixel(int X, int Y, int AColor) {
  X = MX(X);
  PutZxPixelBit(TimexMonoByte(Data, X, Y), X, AColor / 2 == 0);
  PutZxPixelBit(TimexMonoByte(Data + 12289, X, Y), X, AColor % 2 != 1);
}

// ---------------------------------------------------------------------------
// Options and palettes

TKvTimexMonoEngineOptions::TKvTimexMonoEngineOptions() { SetPixelAspect(pa1_2); }

const TKvStdRGBColor TimexColorPairs[4][2] = {
    {{0, 0, 0}, {255, 255, 255}},
    {{0, 0, 255}, {255, 255, 0}},
    {{255, 0, 0}, {0, 255, 255}},
    {{0, 255, 0}, {255, 0, 255}},
};

void BuildTimexFlickerPalette(int APair1, int APair2, int AMaxFlicker, TKvPalette256& APalette, bool AUnique) {
  APalette.Clear();
  if (APair1 == 0 || APair2 == 0) return;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      TKvColor a, b;
      a.InitStdRGB(TimexColorPairs[APair1 - 1][i]);
      b.InitStdRGB(TimexColorPairs[APair2 - 1][j]);
      const TKvLinRGBColor m = MiddleLinRGB(a.GetLinRGB(), b.GetLinRGB());
      const bool flicker = std::fabs(a.GetLinGray() - b.GetLinGray()) > AMaxFlicker / 100.0;
      if (AUnique) {
        if (flicker) continue;
        const int k = APalette.AddUniqueLinRGB(m);
        APalette.Colors[k].Skip = flicker;
      } else {
        const int k = APalette.AddLinRGB(m);
        APalette.Colors[k].Skip = flicker;
      }
    }
  if (AUnique) APalette.SortByGray(0);
}

void TKvTimexMono2EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildTimexFlickerPalette(PaletteIndex, ExtraFlag ? SecondPaletteIndex : PaletteIndex, MaxFlickering,
                           *GetPalette(), true);
}

// ---------------------------------------------------------------------------
// Engines

TKvTimexMonoEngineUI::TKvTimexMonoEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvTimexExtendedEngine::Convert(TKvConvertArgs& AArgs) {
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTimexExtendedScreen screen(AArgs.Streams->NewStream("scr", 12288)->GetMemory());
  return ConvertZxColorCells(AArgs, screen);
}

std::unique_ptr<TKvBitmap> TKvTimexMonoEngine::Convert(TKvConvertArgs& AArgs) {
  TKvImage image(AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTimexMonoScreen screen(AArgs.Streams->NewStream("scr", 12289)->GetMemory());
  return image.ConvertBW(AArgs.Abort, AArgs.Options, &screen, nullptr, 0, 1);
}

std::unique_ptr<TKvBitmap> TKvTimexMono2Engine::Convert(TKvConvertArgs& AArgs) {
  TKvImage image(AArgs.Bitmap);
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvTimexMono2Screen screen(AArgs.Streams->NewStream("hgr", 24578)->GetMemory());
  return ConvertBWFlicker(image, AArgs.Abort, AArgs.Options, &screen);
}

const std::vector<const TKvDestEngineClass*>& TimexDestEngineClasses() {
  return DestEngineClasses<TKvTimexExtendedEngine, TKvTimexExtendedInterlacedEngine, TKvTimexMonoEngine,
                           TKvTimexMono2Engine>();
}

void InitKvSavePlatformTimex() { RegisterDestEngines(TimexDestEngineClasses()); }
