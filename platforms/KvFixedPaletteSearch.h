// "Auto" for platforms that show a picture with one of a few fixed palettes:
// every candidate palette is tried on the picture, scored by the error that
// dithering to it leaves, and the candidate of least error wins (the lowest
// number on ties). The platforms differ only in the candidates, so one
// search serves them all through a description of their candidates.
#pragma once

#include <functional>
#include <string>

#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"

class TKvDestEngineUIEx;

struct TKvFixedPaletteCandidates {
  // Candidates are numbered 1..Count.
  int Count = 0;
  // The answer when no candidate was tried.
  int NoneValue = -1;
  // Builds candidate k into APalette (overwriting it). Called from several
  // threads at once, each with its own palette: it must only read shared
  // state.
  std::function<void(int AIndex, TKvPalette256& APalette)> Build;
  // When given, advanced by one after every trial.
  TKvDestProgress* Progress = nullptr;
};

// Tries candidates AFirst..ALast in order on copies of AImage, building each
// into APalette; returns the winner and its score in AError, or the none
// value with AError 0 when ALast < AFirst. AImage and AOptions are only read.
int TryFixedPalettes(bool* AAbort, TKvImage& AImage, int AFirst, int ALast,
                     const TKvFixedPaletteCandidates& ACandidates,
                     TKvDestEngineOptions& AOptions, TKvPalette256& APalette, double& AError);
// The sequential search over all candidates, with the options' result
// palette as the scratch palette (it holds the last candidate afterwards).
int FindFixedPalette(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                     TKvDestEngineOptions& AOptions);
// The same search in consecutive chunks on the job runner; the same answer
// as the sequential one. A failed trial is raised again, never taken as a
// winner.
int FindFixedPaletteByJobs(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                           TKvDestEngineOptions& AOptions);
// FindFixedPalette with one processor, FindFixedPaletteByJobs otherwise. The
// caller has applied the options' fixes to AImage, set them to 0 in
// AOptions and cached AImage's colours (TKvImage::CacheColors).
int SearchFixedPalette(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                       TKvDestEngineOptions& AOptions);

// Platforms whose colour modes show one of a few fixed four-colour palettes,
// and in two-frame modes their mixtures: palette k (1..Count) is stored and
// shown as the number k - 1, and PaletteIndex 0 is "Auto".
struct TKvFourColorPalettes {
  int Count = 0;
  const TKvStdRGBColor (*Colors)[4] = nullptr;
  void (*Build)(int AIndex, TKvPalette256& APalette) = nullptr;
  void (*BuildMix)(int AIndex, int AMaxFlickering, TKvPalette256& APalette) = nullptr;
};

// Palette k's colour names joined by "/", then its stored number in
// parentheses.
std::string FourColorPaletteCaption(const TKvFourColorPalettes& AFamily, int AIndex);
// The options' result palette for their PaletteIndex: empty for "Auto", the
// four colours, or the mixtures with the options' MaxFlickering.
void ShowFourColorPalette(const TKvFourColorPalettes& AFamily, bool AGigascreen, TKvDestEngineOptions& AOptions);
// The palette section of the colour modes: "Auto" and every palette with its
// glyph, the palette modes, the result palette and the index label.
void AddFourColorPaletteSection(TKvDestEngineUIEx& AUI, const TKvFourColorPalettes& AFamily, bool AGigascreen);
// The "Auto" candidates: every palette, as four colours or as mixtures.
TKvFixedPaletteCandidates FourColorPaletteCandidates(const TKvFourColorPalettes& AFamily, bool AGigascreen,
                                                     const TKvDestEngineOptions& AOptions,
                                                     TKvDestProgress* AProgress);
