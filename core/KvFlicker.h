// Flicker mixing: two frames shown alternately make each pixel appear as the
// mixture of its two colours. The conversions here dither a working image
// into such a pair of frames. The result bitmap holds mixture indexes (for
// the preview) and carries the two frame bitmaps in its frame list.
//
// Which frame shows the lighter colour of a mixed pixel is decided by
// TKvFlickMap from the pixels already placed, so that both frames stay about
// equally bright in every area; a checkerboard settles the rest.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

class TKvFlickMap : public TObject {
public:
  struct TNeighbour {
    int32_t DX, DY, D2;
  };
  static constexpr int MaxNeighbours = 41 * 20 + 20;

  TKvFlickMap(int AWidth, int AHeight);

  // The two frame values of pixel (X, Y), X in scan order; nullptr outside
  // the picture.
  double* GetState(int X, int Y);
  void SetState(int X, int Y, double AFrame0, double AFrame1);
  // True: frame 0 takes the lighter colour of the pixel's pair.
  bool Decide(int X, int Y);
  // The checkerboard: true where the true column and Y are both even or
  // both odd.
  bool DefaultPhase(int X, int Y) const;

  bool GetMirror() const { return FMirror; }
  void SetMirror(bool AValue) { FMirror = AValue; }
  int GetWidth() const { return FWidth; }
  int GetHeight() const { return FHeight; }
  int GetNeighbourCount() const { return FCount; }
  const TNeighbour& GetNeighbour(int AIndex) const { return FTable[AIndex]; }

private:
  TNeighbour FTable[MaxNeighbours];
  int32_t FCount = 0;
  int32_t FWidth;
  int32_t FHeight;
  std::vector<double> FState;  // two values per pixel
  bool FMirror = false;
};

// Black, white and the gray made of one black and one white frame. The
// target receives a * 2 + b (a, b: 1 where the frame is white).
std::unique_ptr<TKvBitmap> ConvertBWFlicker(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                            TKvData* ATarget);
// Two base colours of a mixture palette of n x n entries and their mixture:
// AColorA the darker, AColorB the lighter.
std::unique_ptr<TKvBitmap> ConvertFlicker2(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                           TKvData* ATarget, TKvPalette256& AMixPalette, int AColorA,
                                           int AColorB);
// Any palette of n base colours through its n x n mixture palette (entry
// i * n + j: frame 0 shows base i, frame 1 base j). With ADisplayPalette the
// frames and the target use its indexes.
std::unique_ptr<TKvBitmap> ConvertFlicker(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                          TKvData* ATarget, TKvPalette256& AMixPalette,
                                          TKvPalette256* ADisplayPalette);
