#include "platforms/KvSavePlatformBK0010.h"

#include <cmath>
#include <cstring>

#include "bitmap/B32.h"
#include "core/KvFlicker.h"
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
// Options

TKvBKEngineOptions::TKvBKEngineOptions(bool AGigascreen) : Gigascreen(AGigascreen) {
  SetPixelAspect(13);  // "1:0.75"
  SetPaletteIndex(0);  // "Auto"
  SetSecondPaletteIndex(-1);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
  SetMaxFlickering(100);
}

void TKvBKEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  ShowFourColorPalette(BKFourColorPalettes, Gigascreen, *this);
}

TKvBKMonoEngineOptions::TKvBKMonoEngineOptions() {
  SetPixelAspect(7);  // "2:3"
  SetErrorDiffusion(100);
}

// ---------------------------------------------------------------------------
// Panels

std::string BKPaletteCaption(int AIndex) { return FourColorPaletteCaption(BKFourColorPalettes, AIndex); }

TKvBKEngineUI::TKvBKEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  AddPositionSection(0);
  AddBKPaletteSection();
  if (Gigascreen) AddMaxFlickeringSection();
  AddDitheringSection(false);
}

void TKvBKEngineUI::AddBKPaletteSection() { AddFourColorPaletteSection(*this, BKFourColorPalettes, Gigascreen); }

TKvBKMonoUI::TKvBKMonoUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Conversions

TKvFixedPaletteCandidates BKPaletteCandidates(bool AGigascreen, const TKvDestEngineOptions& AOptions,
                                              TKvDestProgress* AProgress) {
  return FourColorPaletteCandidates(BKFourColorPalettes, AGigascreen, AOptions, AProgress);
}

namespace {

// The screens hold 256 rows of 64 bytes: a larger picture cannot be stored.
void CheckBKSize(const TBitmap32& ABitmap, int AMaxWidth) {
  if (ABitmap.GetWidth() > AMaxWidth || ABitmap.GetHeight() > 256) RaiseOSError(87);
}

// Palette k of the colour modes becomes the one in use: its stored number in
// PaletteIndex, its colours (or mixtures) in the result palette.
void ChooseBKPalette(int k, bool AGigascreen, TKvDestEngineOptions& AOptions) {
  AOptions.SetPaletteIndex(k - 1);
  if (AGigascreen)
    BuildBKMixPalette(k, AOptions.MaxFlickering, *AOptions.GetPalette());
  else
    BuildBKPalette(k, *AOptions.GetPalette());
}

// The palette number of a "Сolor" conversion, with the picture adjusted for
// it: the "Auto" search, or the chosen palette (darkened for the palettes
// matched by gray when the picture is brighter than their brightest colour).
int FindBKColorPalette(bool* AAbort, TKvImage& AImage, bool AGigascreen, TKvDestEngineOptions& AOptions,
                       TKvDestProgress& AProgress) {
  int k = AOptions.PaletteIndex;
  if (k == 0) {
    AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    AImage.CacheColors();
    AOptions.SetLightnessFix(0);
    AOptions.SetSaturationFix(0);
    AProgress.SetProgress(BKPaletteCount, 0);
    k = SearchFixedPalette(AAbort, AImage, BKPaletteCandidates(AGigascreen, AOptions, &AProgress), AOptions);
  } else {
    if (k < 1 || k > BKPaletteCount) RaiseOSError(87);
    if ((0x03C0 >> k) & 1) {
      AOptions.SetUseAsGrayPalette(true);
      const double M = AImage.GetMaxGray();
      AOptions.SetPaletteIndex(k - 1);
      TKvPalette256& p = *AOptions.GetPalette();
      BuildBKPalette(k, p);
      int LDark = 0, LBright = 0;
      double LRange = 0;
      p.GetGrayRange(LDark, LBright, LRange);
      const double G = p.GetLinGray(LBright);
      if (M > G && M != 0) {
        const int D = static_cast<int>(std::nearbyint((M - G) / M * 100));
        AOptions.SetLightnessFix(AOptions.LightnessFix - D);
      }
    }
    AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
    AOptions.SetLightnessFix(0);
    AOptions.SetSaturationFix(0);
  }
  if (k < 1) RaiseInternalError();
  return k;
}

}  // namespace

std::unique_ptr<TKvDestEngineUI> TKvBK1Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvBK1EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvBK1Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvBK1EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvBK1Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                 TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                                 std::unique_ptr<TKvStreamList>& AStreams) {
  CheckBKSize(ABitmap, 256);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvPalette256& P = *AOptions.GetPalette();
  std::unique_ptr<TKvBitmap> LResult;
  std::unique_ptr<TKvStreamList> LStreams;
  {
    TKvImage LImage(ABitmap);
    int k = 0;
    switch (AOptions.PaletteMode) {
      case 0:
        k = AOptions.PaletteIndex == 0 ? 5 : AOptions.PaletteIndex;
        if (k < 1 || k > BKPaletteCount) RaiseOSError(87);
        ChooseBKPalette(k, false, AOptions);
        break;
      case 11:
        k = FindBKColorPalette(AAbort, LImage, false, AOptions, AProgress);
        ChooseBKPalette(k, false, AOptions);
        break;
      default:
        RaiseOSError(87);
    }
    LStreams = std::make_unique<TKvStreamList>();
    uint8_t* LData = LStreams->NewStream("bks", TKvBK1Screen::GetDataSize(W, H))->GetMemory();
    TKvBK1Screen LScreen(W, H, LData, static_cast<uint8_t>(AOptions.PaletteIndex));
    if (AOptions.PaletteMode == 0) {
      int LDark = 0, LBright = 0;
      double LRange = 0;
      P.GetGrayRange(LDark, LBright, LRange);
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &P, LDark, LBright);
    } else {
      LImage.FitToPaletteGray(P);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, nullptr);
    }
  }
  if (AOptions.PaletteIndex == 0) {
    const uint8_t* LScreenData = LStreams->GetStream(0)->GetMemory();
    WriteBKBin(LStreams->NewStream("bin", BKBinSize)->GetMemory(), 0x4000, 0x4000, LScreenData);
    std::memcpy(LStreams->NewStream("pic", BKScreenSize)->GetMemory(), LScreenData, BKScreenSize);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvBK2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvBK2EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvBK2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvBK2EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvBK2Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                 TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                                 std::unique_ptr<TKvStreamList>& AStreams) {
  CheckBKSize(ABitmap, 256);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvPalette256& P = *AOptions.GetPalette();
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 1: {
      const int k = AOptions.PaletteIndex == 0 ? 5 : AOptions.PaletteIndex;
      if (k < 1 || k > BKPaletteCount) RaiseOSError(87);
      AOptions.SetPaletteIndex(k - 1);
      BuildBKPalette(k, P);
      int LDark = 0, LBright = 0;
      double LRange = 0;
      P.GetGrayRange(LDark, LBright, LRange);
      BuildBKMixPalette(k, AOptions.MaxFlickering, P);
      uint8_t* LData = LStreams->NewStream("bks", TKvBK2Screen::GetDataSize(W, H))->GetMemory();
      TKvBK2Screen LScreen(W, H, LData, static_cast<uint8_t>(AOptions.PaletteIndex));
      LResult = ConvertFlicker2(LImage, AAbort, AOptions, &LScreen, P, LDark, LBright);
      break;
    }
    case 11: {
      const int k = FindBKColorPalette(AAbort, LImage, true, AOptions, AProgress);
      ChooseBKPalette(k, true, AOptions);
      uint8_t* LData = LStreams->NewStream("bks", TKvBK2Screen::GetDataSize(W, H))->GetMemory();
      TKvBK2Screen LScreen(W, H, LData, static_cast<uint8_t>(AOptions.PaletteIndex));
      LImage.FitToPaletteGray(P);
      LResult = ConvertFlicker(LImage, AAbort, AOptions, &LScreen, P, nullptr);
      break;
    }
    default:
      RaiseOSError(87);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvBKMonoEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvBKMonoUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvBKMonoEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvBKMonoEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvBKMonoEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                    TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  CheckBKSize(ABitmap, 512);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = LStreams->NewStream("bks", TKvBKMonoScreen::GetDataSize(W, H))->GetMemory();
  TKvBKMonoScreen LScreen(W, H, LData);
  auto LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  WriteBKBin(LStreams->NewStream("bin", BKBinSize)->GetMemory(), 0x4000, 0x4000, LData);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvBKMono2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvBKMonoUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvBKMono2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvBKMonoEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvBKMono2Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                     TKvPalette256*, TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  CheckBKSize(ABitmap, 512);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvBKMono2Screen LScreen(W, H, LStreams->NewStream("bks", TKvBKMono2Screen::GetDataSize(W, H))->GetMemory());
  auto LResult = ConvertBWFlicker(LImage, AAbort, AOptions, &LScreen);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformBK0010() {
  RegisterDestEngine(DestEngineClass<TKvBK1Engine>());
  RegisterDestEngine(DestEngineClass<TKvBK2Engine>());
  RegisterDestEngine(DestEngineClass<TKvBKMonoEngine>());
  RegisterDestEngine(DestEngineClass<TKvBKMono2Engine>());
}
