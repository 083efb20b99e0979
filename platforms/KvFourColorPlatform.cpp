#include "platforms/KvFourColorPlatform.h"

#include "shell/noxShellBaseExtension.h"

std::string FourColorPaletteCaption(const TKvFourColorPalettes& AFamily, int AIndex) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) s += "/";
    s += ColorName(AFamily.Colors[AIndex - 1][i]);
  }
  return s + " (" + std::to_string(AIndex - 1) + ")";
}

void ShowFourColorPalette(const TKvFourColorPalettes& AFamily, bool AGigascreen, TKvDestEngineOptions& AOptions) {
  TKvPalette256& p = *AOptions.GetPalette();
  if (AOptions.PaletteIndex == 0)
    p.Clear();
  else if (AGigascreen)
    AFamily.BuildMix(AOptions.PaletteIndex, AOptions.MaxFlickering, p);
  else
    AFamily.Build(AOptions.PaletteIndex, p);
}

void AddFourColorPaletteSection(TKvDestEngineUIEx& AUI, const TKvFourColorPalettes& AFamily, bool AGigascreen) {
  AUI.AddPaletteSeparator();
  const int list = AUI.AddPaletteIndexComboBoxEx();
  AUI.AddSectionItem(list, 0, "Auto");
  AUI.SetSectionGlyph(list, 0, nullptr);
  TKvPalette256 palette;
  for (int k = 1; k <= AFamily.Count; ++k) {
    AUI.AddSectionItem(list, k, FourColorPaletteCaption(AFamily, k));
    AFamily.Build(k, palette);
    AUI.SetSectionGlyph(list, k, &palette);
  }
  AUI.AddPaletteModeSection(PaletteModes(AGigascreen ? pmGray : pmBlackWhite, pmColor));
  AUI.AddDestPalette(4, AGigascreen ? 4 : 1, true);
  AUI.AddPaletteIndexLabel();
}

TKvFixedPaletteCandidates FourColorPaletteCandidates(const TKvFourColorPalettes& AFamily, bool AGigascreen,
                                                     const TKvDestEngineOptions& AOptions, TKvDestProgress* AProgress) {
  TKvFixedPaletteCandidates c;
  c.Count = AFamily.Count;
  c.NoneValue = -1;
  c.Progress = AProgress;
  if (AGigascreen) {
    const int maxFlickering = AOptions.MaxFlickering;
    const auto buildMix = AFamily.BuildMix;
    c.Build = [maxFlickering, buildMix](int k, TKvPalette256& p) { buildMix(k, maxFlickering, p); };
  } else {
    c.Build = AFamily.Build;
  }
  return c;
}

// ---------------------------------------------------------------------------
// Options and panels

TKvFourColorEngineOptions::TKvFourColorEngineOptions(const TKvFourColorPalettes& AFamily, bool AGigascreen)
    : Family(AFamily), Gigascreen(AGigascreen) {
  SetPixelAspect(pa1_0p75);
  SetPaletteIndex(0);  // "Auto"
  SetSecondPaletteIndex(-1);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

void TKvFourColorEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  ShowFourColorPalette(Family, Gigascreen, *this);
}

TKvFourColorMonoEngineOptions::TKvFourColorMonoEngineOptions() {
  SetPixelAspect(pa2_3);
  SetErrorDiffusion(100);
}

TKvFourColorEngineUI::TKvFourColorEngineUI(TKvDestEngineOptions* AOptions, const TKvFourColorPalettes& AFamily,
                                           bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  AddPositionSection();
  AddFourColorPaletteSection(*this, AFamily, Gigascreen);
  if (Gigascreen) AddMaxFlickeringSection();
  AddDitheringSection(false);
}

TKvFourColorMonoEngineUI::TKvFourColorMonoEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
}

// ---------------------------------------------------------------------------
// Conversions

void CheckFourColorSize(const TBitmap32& ABitmap, int AMaxWidth) {
  if (ABitmap.GetWidth() > AMaxWidth || ABitmap.GetHeight() > 256) RaiseOSError(87);
}

int FourColorLevelsPalette(const TKvFourColorPalettes& AFamily, const TKvDestEngineOptions& AOptions, int ADefault) {
  const int k = AOptions.PaletteIndex == 0 ? ADefault : AOptions.PaletteIndex;
  if (k < 1 || k > AFamily.Count) RaiseOSError(87);
  return k;
}

int SearchFourColorPalette(TKvConvertArgs& AArgs, TKvImage& AImage, const TKvFourColorPalettes& AFamily,
                           bool AGigascreen) {
  AArgs.Progress.SetProgress(AFamily.Count, 0);
  const int k = SearchFixedPalette(AArgs.Abort, AImage,
                                   FourColorPaletteCandidates(AFamily, AGigascreen, AArgs.Options, &AArgs.Progress),
                                   AArgs.Options);
  if (k < 1) RaiseInternalError();
  return k;
}
