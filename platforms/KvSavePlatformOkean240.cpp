#include "platforms/KvSavePlatformOkean240.h"

#include "bitmap/B32.h"
#include "core/KvFlicker.h"
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
// Options

TKvOkeanEngineOptions::TKvOkeanEngineOptions(bool AGigascreen) : Gigascreen(AGigascreen) {
  SetPixelAspect(13);  // "1:0.75"
  SetPaletteIndex(0);  // "Auto"
  SetSecondPaletteIndex(-1);
  SetPaletteMode(11);
  SetErrorDiffusion(90);
}

void TKvOkeanEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  ShowFourColorPalette(OkeanFourColorPalettes, Gigascreen, *this);
}

TKvOkeanMonoEngineOptions::TKvOkeanMonoEngineOptions() {
  SetPixelAspect(7);  // "2:3"
  SetErrorDiffusion(100);
}

// ---------------------------------------------------------------------------
// Panels

std::string OkeanPaletteCaption(int AIndex) { return FourColorPaletteCaption(OkeanFourColorPalettes, AIndex); }

TKvOkeanEngineUI::TKvOkeanEngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  AddPositionSection(0);
  AddOkeanPaletteSection();
  if (Gigascreen) AddMaxFlickeringSection();
  AddDitheringSection(false);
}

void TKvOkeanEngineUI::AddOkeanPaletteSection() {
  AddFourColorPaletteSection(*this, OkeanFourColorPalettes, Gigascreen);
}

TKvOkeanMonoUI::TKvOkeanMonoUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Conversions

TKvFixedPaletteCandidates OkeanPaletteCandidates(bool AGigascreen, const TKvDestEngineOptions& AOptions,
                                                 TKvDestProgress* AProgress) {
  return FourColorPaletteCandidates(OkeanFourColorPalettes, AGigascreen, AOptions, AProgress);
}

namespace {

// The screens hold 256 rows of 256 (or 512) pixels: a larger picture cannot
// be stored.
void CheckOkeanSize(const TBitmap32& ABitmap, int AMaxWidth) {
  if (ABitmap.GetWidth() > AMaxWidth || ABitmap.GetHeight() > 256) RaiseOSError(87);
}

// The colour modes adjust the picture once, then work on it unchanged.
void AdjustOkeanImage(TKvImage& AImage, TKvDestEngineOptions& AOptions) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AImage.CacheColors();
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
}

// The palette of "Black/white" and "Gray": the chosen one, else palette 4
// (black, red, magenta, white).
int OkeanGrayPalette(const TKvDestEngineOptions& AOptions) {
  const int k = AOptions.PaletteIndex == 0 ? 4 : AOptions.PaletteIndex;
  if (k < 1 || k > OkeanPaletteCount) RaiseOSError(87);
  return k;
}

// The palette of "Сolor": the chosen one, or the "Auto" search's winner.
int OkeanColorPalette(bool* AAbort, TKvImage& AImage, bool AGigascreen, TKvDestEngineOptions& AOptions,
                      TKvDestProgress& AProgress) {
  int k = AOptions.PaletteIndex;
  if (k == 0) {
    AProgress.SetProgress(OkeanPaletteCount, 0);
    k = SearchFixedPalette(AAbort, AImage, OkeanPaletteCandidates(AGigascreen, AOptions, &AProgress), AOptions);
    if (k < 1) RaiseInternalError();
  }
  if (k < 1 || k > OkeanPaletteCount) RaiseOSError(87);
  return k;
}

}  // namespace

std::unique_ptr<TKvDestEngineUI> TKvOkean1Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvOkean1EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvOkean1Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvOkean1EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvOkean1Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                    TKvDestProgress& AProgress,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  CheckOkeanSize(ABitmap, 256);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvPalette256& P = *AOptions.GetPalette();
  TKvImage LImage(ABitmap);
  AdjustOkeanImage(LImage, AOptions);
  int k = 0;
  switch (AOptions.PaletteMode) {
    case 0:
      k = OkeanGrayPalette(AOptions);
      break;
    case 11:
      k = OkeanColorPalette(AAbort, LImage, false, AOptions, AProgress);
      break;
    default:
      RaiseOSError(87);
  }
  AOptions.SetPaletteIndex(k - 1);
  BuildOkeanPalette(k, P);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData = LStreams->NewStream("oks", TKvOkean1Screen::GetDataSize(W, H))->GetMemory();
  TKvOkean1Screen LScreen(W, H, LData, static_cast<uint8_t>(k - 1));
  std::unique_ptr<TKvBitmap> LResult;
  if (AOptions.PaletteMode == 0) {
    int LDark = 0, LBright = 0;
    double LRange = 0;
    P.GetGrayRange(LDark, LBright, LRange);
    LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &P, LDark, LBright);
  } else {
    LImage.FitToPaletteGray(P);
    LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, nullptr);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvOkean2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvOkean2EngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvOkean2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvOkean2EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvOkean2Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                    TKvDestProgress& AProgress,
                                                    std::unique_ptr<TKvStreamList>& AStreams) {
  CheckOkeanSize(ABitmap, 256);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvPalette256& P = *AOptions.GetPalette();
  TKvImage LImage(ABitmap);
  AdjustOkeanImage(LImage, AOptions);
  auto LStreams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 1: {
      const int k = OkeanGrayPalette(AOptions);
      AOptions.SetPaletteIndex(k - 1);
      BuildOkeanPalette(k, P);
      int LDark = 0, LBright = 0;
      double LRange = 0;
      P.GetGrayRange(LDark, LBright, LRange);
      BuildOkeanMixPalette(k, AOptions.MaxFlickering, P);
      uint8_t* LData = LStreams->NewStream("oks", TKvOkean2Screen::GetDataSize(W, H))->GetMemory();
      TKvOkean2Screen LScreen(W, H, LData, static_cast<uint8_t>(k - 1));
      LResult = ConvertFlicker2(LImage, AAbort, AOptions, &LScreen, P, LDark, LBright);
      break;
    }
    case 11: {
      const int k = OkeanColorPalette(AAbort, LImage, true, AOptions, AProgress);
      AOptions.SetPaletteIndex(k - 1);
      BuildOkeanMixPalette(k, AOptions.MaxFlickering, P);
      uint8_t* LData = LStreams->NewStream("oks", TKvOkean2Screen::GetDataSize(W, H))->GetMemory();
      TKvOkean2Screen LScreen(W, H, LData, static_cast<uint8_t>(k - 1));
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

std::unique_ptr<TKvDestEngineUI> TKvOkeanMonoEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvOkeanMonoUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvOkeanMonoEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvOkeanMonoEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvOkeanMonoEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                       TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                       TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  CheckOkeanSize(ABitmap, 512);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvOkeanMonoScreen LScreen(W, H, LStreams->NewStream("oks", TKvOkeanMonoScreen::GetDataSize(W, H))->GetMemory());
  auto LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvDestEngineUI> TKvOkeanMono2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvOkeanMonoUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvOkeanMono2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvOkeanMonoEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvOkeanMono2Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                        TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                        TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  CheckOkeanSize(ABitmap, 512);
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvOkeanMono2Screen LScreen(W, H,
                              LStreams->NewStream("oks", TKvOkeanMono2Screen::GetDataSize(W, H))->GetMemory());
  auto LResult = ConvertBWFlicker(LImage, AAbort, AOptions, &LScreen);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformOkean240() {
  RegisterDestEngine(DestEngineClass<TKvOkean1Engine>());
  RegisterDestEngine(DestEngineClass<TKvOkean2Engine>());
  RegisterDestEngine(DestEngineClass<TKvOkeanMonoEngine>());
  RegisterDestEngine(DestEngineClass<TKvOkeanMono2Engine>());
}
