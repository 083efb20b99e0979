#include "platforms/KvSavePlatformLvov.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformLvov.h"
#include "shell/noxShellBaseExtension.h"

const uint8_t LvovPortBytes[LvovPortByteCount] = {
    15, 30,  83,  79, 19, 94,  13, 77,  14,  67, 31,  45,  44,  37,  33,  36,  12,  47,  69,  46,  35,
    3,  78,  95,  5,  76, 109, 1,  101, 108, 100, 111, 99, 110, 4,   62, 68,  51,  63,  115, 126, 127};

TKvLvovScreen::TKvLvovScreen(int AWidth, int AHeight, void* AData, uint8_t APortByte)
    : TKvScreen2(AWidth, AHeight, AData) {
  Stride = (AWidth + 3) / 4;
  Data[GetDataSize(AWidth, AHeight) - 1] = APortByte;
}

void TKvLvovScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  uint8_t& b = Data[Y * Stride + X / 4];
  const int s = 3 - (X & 3);
  const int m = (1 << s) | (0x10 << s);
  b = static_cast<uint8_t>((b & ~m) | ((AValue & 1) << s) | (((AValue >> 1) & 1) << (s + 4)));
}

// ---------------------------------------------------------------------------
// Options and panel

namespace {
void LoadLvovCandidate(int k, bool ASort, TKvPalette256& APalette) {
  TKvStdRGBColor c[4];
  DecodeLvovPortColors(c, LvovPortBytes[k - 1], ASort);
  LoadLvovPalette(c, APalette);
}
}  // namespace

TKvLvovEngineOptions::TKvLvovEngineOptions() {
  SetPixelAspect(14);  // "7:5"
  SetPaletteType(14);  // ptAuto
  SetErrorDiffusion(90);
}

void TKvLvovEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& p = *GetPalette();
  p.Clear();
  if (PaletteIndex > 0 && PaletteIndex <= LvovPortByteCount) LoadLvovCandidate(PaletteIndex, true, p);
}

std::string LvovPaletteCaption(int AIndex) {
  TKvStdRGBColor c[4];
  DecodeLvovPortColors(c, LvovPortBytes[AIndex - 1], true);
  std::string s;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) s += "/";
    s += ColorName(c[i]);
  }
  return s + " (" + std::to_string(LvovPortBytes[AIndex - 1]) + ")";
}

TKvLvovEngineUI::TKvLvovEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0x4400);  // "1:1" and "7:5"
  AddLvovPaletteSection();
  AddDitheringSection(false);
}

void TKvLvovEngineUI::AddLvovPaletteSection() {
  AddPaletteSeparator();
  const int LList = AddPaletteIndexComboBoxEx();
  AddSectionItem(LList, 0, "Auto");
  SetSectionGlyph(LList, 0, nullptr);
  TKvPalette256 LPalette;
  for (int k = 1; k <= LvovPortByteCount; ++k) {
    AddSectionItem(LList, k, LvovPaletteCaption(k));
    LoadLvovCandidate(k, true, LPalette);
    SetSectionGlyph(LList, k, &LPalette);
  }
  AddDestPalette(4, 1, true);
  AddPaletteIndexLabel();
}

// ---------------------------------------------------------------------------
// Conversion

TKvFixedPaletteCandidates LvovPaletteCandidates() {
  TKvFixedPaletteCandidates c;
  c.Count = LvovPortByteCount;
  c.NoneValue = 0;
  c.Build = [](int k, TKvPalette256& p) { LoadLvovCandidate(k, false, p); };
  return c;
}

std::unique_ptr<TKvDestEngineUI> TKvLvovEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvLvovEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvLvovEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvLvovEngineOptions>();
}

std::unique_ptr<TKvDestEngineUI> TKvLvov2Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvLvovEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvLvov2Engine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvLvov2EngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvLvovEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                  TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                  std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  if (W > 256 || H > 256) RaiseOSError(87);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  LImage.CacheColors();
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  AOptions.SetSecondPaletteIndex(-1);
  int k = AOptions.PaletteIndex;
  if (k == 0) {
    k = SearchFixedPalette(AAbort, LImage, LvovPaletteCandidates(), AOptions);
    // No candidate won: there is no table entry 0 to fall back on.
    if (k < 1) RaiseInternalError();
  }
  if (k < 1 || k > LvovPortByteCount) RaiseOSError(87);
  const uint8_t LPort = LvovPortBytes[k - 1];
  AOptions.SetPaletteIndex(LPort);
  TKvPalette256& P = *AOptions.GetPalette();
  LoadLvovCandidate(k, false, P);
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvLvovScreen LScreen(W, H, LStreams->NewStream("lvs", TKvLvovScreen::GetDataSize(W, H))->GetMemory(), LPort);
  LImage.FitToPaletteGray(P);
  auto LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, P, nullptr);
  // The panel shows the colours sorted; the preview keeps the screen's order.
  LoadLvovCandidate(k, true, P);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformLvov() {
  RegisterDestEngine(DestEngineClass<TKvLvov2Engine>());
  RegisterDestEngine(DestEngineClass<TKvLvovEngine>());
}
