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
