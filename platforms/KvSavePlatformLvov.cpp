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
  SetPixelAspect(pa7_5);
  SetPaletteType(ptAuto);
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
  AddPositionSection(PixelAspects(pa1_1, pa7_5));
  AddPaletteSeparator();
  const int list = AddPaletteIndexComboBoxEx();
  AddSectionItem(list, 0, "Auto");
  SetSectionGlyph(list, 0, nullptr);
  TKvPalette256 candidate;
  for (int k = 1; k <= LvovPortByteCount; ++k) {
    AddSectionItem(list, k, LvovPaletteCaption(k));
    LoadLvovCandidate(k, true, candidate);
    SetSectionGlyph(list, k, &candidate);
  }
  AddDestPalette(4, 1, true);
  AddPaletteIndexLabel();
  AddDitheringSection(false);
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

std::unique_ptr<TKvBitmap> TKvLvovEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  if (width > 256 || height > 256) RaiseOSError(87);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  image.CacheColors();
  options.SetSecondPaletteIndex(-1);
  int k = options.PaletteIndex;
  if (k == 0) {
    k = SearchFixedPalette(AArgs.Abort, image, LvovPaletteCandidates(), options);
    // No candidate won: there is no table entry 0 to fall back on.
    if (k < 1) RaiseInternalError();
  }
  if (k < 1 || k > LvovPortByteCount) RaiseOSError(87);
  const uint8_t port = LvovPortBytes[k - 1];
  options.SetPaletteIndex(port);
  TKvPalette256& palette = *options.GetPalette();
  LoadLvovCandidate(k, false, palette);
  auto streams = std::make_unique<TKvStreamList>();
  TKvLvovScreen screen(width, height,
                       streams->NewStream("lvs", TKvLvovScreen::GetDataSize(width, height))->GetMemory(), port);
  image.FitToPaletteGray(palette);
  auto result = image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
  // The panel shows the colours sorted; the preview keeps the screen's order.
  LoadLvovCandidate(k, true, palette);
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformLvov() { RegisterDestEngines<TKvLvov2Engine, TKvLvovEngine>(); }
