#include "shell/noxShellProgressUtils.h"

#include <algorithm>

double noxProgressFraction(int32_t AMin, int32_t AMax, int32_t APosition, TnoxProgressRange* AClamped) {
  APosition = std::max(APosition, AMin);
  APosition = std::min(APosition, AMax);
  if (AMin >= AMax) AMin = AMax - 1;
  if (AClamped) *AClamped = {AMin, AMax, APosition};
  return static_cast<double>(int64_t(APosition) - AMin) / static_cast<double>(int64_t(AMax) - AMin);
}

namespace {

TnoxRect FilledPart(const TnoxRect& R, double AFraction, bool AHorizontal) {
  TnoxRect f = R;
  if (AHorizontal)
    f.Right = R.Left + static_cast<int32_t>(Trunc(R.Width() * AFraction));
  else
    f.Top = R.Bottom - static_cast<int32_t>(Trunc(R.Height() * AFraction));
  return f;
}

// Cuts a filled stretch into pieces of ALen with gaps of AGap, rounding up to
// whole pieces and cutting the last one at ALimit.
std::vector<TnoxRect> Pieces(const TnoxRect& F, const TnoxRect& ALimit, bool AHorizontal, int32_t ALen,
                             int32_t AGap) {
  std::vector<TnoxRect> out;
  const int32_t step = ALen + AGap;
  const int32_t length = AHorizontal ? F.Width() : F.Height();
  int32_t count;
  TnoxRect c = F;
  if (step == 0) {
    count = 1;
  } else {
    count = length / step + (length % step != 0 ? 1 : 0);
    if (AHorizontal)
      c.Right = F.Left + ALen;
    else
      c.Top = F.Bottom - ALen;
  }
  for (int32_t i = 0; i < count; ++i) {
    out.push_back(c);
    if (AHorizontal) {
      c.Left += step;
      c.Right = std::min(c.Left + ALen, ALimit.Right);
    } else {
      c.Bottom -= step;
      c.Top = std::max(c.Bottom - ALen, ALimit.Top);
    }
  }
  return out;
}

}  // namespace

TnoxClassicProgressGeometry noxClassicProgressGeometry(const TnoxRect& ARect, double AFraction, bool AHorizontal) {
  TnoxClassicProgressGeometry g;
  g.Inner = noxRect(ARect.Left + 1, ARect.Top + 1, ARect.Right - 1, ARect.Bottom - 1);
  if (g.Inner.IsEmpty()) return g;
  g.Track = noxRect(g.Inner.Left + 1, g.Inner.Top + 1, g.Inner.Right - 1, g.Inner.Bottom - 1);
  if (g.Track.IsEmpty()) return g;
  g.Filled = FilledPart(g.Track, AFraction, AHorizontal);
  const int32_t thickness = AHorizontal ? g.Track.Height() : g.Track.Width();
  const int32_t s = std::max<int32_t>(1, static_cast<int32_t>(Trunc(thickness / 1.5)));
  g.Segments = Pieces(g.Filled, g.Track, AHorizontal, s, 2);
  return g;
}

std::vector<TnoxRect> noxProgressChunks(const TnoxRect& AContent, double AFraction, bool AHorizontal,
                                        int32_t AChunk, int32_t ASpace) {
  if (AContent.IsEmpty()) return {};
  return Pieces(FilledPart(AContent, AFraction, AHorizontal), AContent, AHorizontal, AChunk, ASpace);
}

void noxRecolourBGR(uint8_t* APixels, int32_t ACount, uint8_t AState) {
  for (int32_t i = 0; i < ACount; ++i) {
    uint8_t* p = APixels + 3 * i;
    const int64_t g0 = Round(0.3 * p[2] + 0.59 * p[1] + 0.11 * p[0]);
    const uint8_t g = static_cast<uint8_t>(std::min<int64_t>(g0, 255));
    switch (AState) {
      case 1: p[2] = g; p[1] = 0; p[0] = 0; break;
      case 2: p[2] = g; p[1] = g; p[0] = 0; break;
      case 3: p[2] = 0; p[1] = 0; p[0] = g; break;
      default: break;
    }
  }
}
