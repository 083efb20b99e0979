#include "bitmap/B32_VPR.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "bitmap/B32_Math.h"
#include "bitmap/B32_VectorUtils.h"

namespace {
inline int32_t FloorI(float V) { return int32_t(std::floor(V)); }

inline void AddSegment(TScanLines& Lines, int32_t MinY, int32_t Row, float X1, float Y1, float X2, float Y2) {
  TScanLine& l = Lines[size_t(Row - MinY)];
  if (l.Count >= int32_t(l.Segments.size())) l.Segments.resize(size_t(l.Count) + 1);
  l.Segments[size_t(l.Count++)] = TLineSegment{X1, Y1, X2, Y2};
}

void SplitEdge(TScanLines& Lines, int32_t MinY, const TFloatPoint& P1, const TFloatPoint& P2) {
  const int32_t r1 = FloorI(P1.Y), r2 = FloorI(P2.Y);
  if (r1 == r2) {
    const float y1 = P1.Y - float(r1), y2 = P2.Y - float(r1);
    if (y1 != 0 || y2 != 0) AddSegment(Lines, MinY, r1, P1.X, y1, P2.X, y2);
    return;
  }
  const float s = (P2.X - P1.X) / (P2.Y - P1.Y);
  if (r1 < r2) {
    float x = P1.X + (float(r1 + 1) - P1.Y) * s;
    AddSegment(Lines, MinY, r1, P1.X, P1.Y - float(r1), x, 1);
    for (int32_t r = r1 + 1; r < r2; ++r) {
      AddSegment(Lines, MinY, r, x, 0, x + s, 1);
      x += s;
    }
    const float y2 = P2.Y - float(r2);
    if (y2 != 0) AddSegment(Lines, MinY, r2, x, 0, P2.X, y2);
  } else {
    const float y1 = P1.Y - float(r1);
    float x = P1.X + (float(r1) - P1.Y) * s;
    if (y1 != 0) AddSegment(Lines, MinY, r1, P1.X, y1, x, 0);
    for (int32_t r = r1 - 1; r > r2; --r) {
      AddSegment(Lines, MinY, r, x, 1, x - s, 0);
      x -= s;
    }
    AddSegment(Lines, MinY, r2, x, 1, P2.X, P2.Y - float(r2));
  }
}

// Adds the area between each segment and the row's top to its cells; Cells
// is indexed by absolute X.
void AccumulateArea(float* Cells, const TLineSegment& S) {
  const float x1 = S.X1, y1 = S.Y1, x2 = S.X2, y2 = S.Y2;
  const int32_t i = FloorI(x1), k = FloorI(x2);
  if (i == k) {
    Cells[i] += (x2 - x1) * (y1 + y2) * 0.5f;
    return;
  }
  const float b = (y2 - y1) / (x2 - x1);
  if (i < k) {
    const float w = 1 - (x1 - float(i));
    float c = y1 + w * b;
    Cells[i] += (y1 + c) * 0.5f * w;
    for (int32_t j = i + 1; j < k; ++j) {
      Cells[j] += c + b * 0.5f;
      c += b;
    }
    Cells[k] += (c + y2) * 0.5f * (x2 - float(k));
  } else {
    const float w = x1 - float(i);
    float c = y1 - w * b;
    Cells[i] -= (y1 + c) * 0.5f * w;
    for (int32_t j = i - 1; j > k; --j) {
      Cells[j] -= c - b * 0.5f;
      c -= b;
    }
    Cells[k] -= (c + y2) * 0.5f * (1 - (x2 - float(k)));
  }
}

struct TRowRenderer {
  std::vector<float> Buffer;
  int32_t ClipX1 = 0, ClipX2 = 0;
  float* Cells = nullptr;  // Cells[x] for absolute x; ClipX1 at Buffer[1]

  void Render(const TScanLine& Line, const TRenderSpanEvent& SpanProc) {
    if (Line.Count == 0) return;
    int32_t MinX = INT32_MAX, MaxX = INT32_MIN;
    auto edgePoint = [&](float X, float Y, bool Start) {
      int32_t j = FloorI(X);
      MinX = std::min(MinX, j);
      if (Y == 1) {
        const float f = X - float(j);
        if (Start) {
          Cells[j] += f - 1;
          Cells[j + 1] -= f;
        } else {
          Cells[j] -= f - 1;
          Cells[j + 1] += f;
        }
        ++j;
      }
      MaxX = std::max(MaxX, j);
    };
    for (int32_t i = 0; i < Line.Count; ++i) {
      const TLineSegment& s = Line.Segments[size_t(i)];
      edgePoint(s.X1, s.Y1, true);
      edgePoint(s.X2, s.Y2, false);
    }
    PrefixSum(Cells + MinX, MaxX - MinX + 1);
    for (int32_t i = 0; i < Line.Count; ++i) AccumulateArea(Cells, Line.Segments[size_t(i)]);
    const int32_t X1 = std::max(MinX, ClipX1), X2 = std::min(MaxX, ClipX2);
    if (X1 <= X2) SpanProc(TValueSpan{X1, X2, Cells + X1}, Line.Y);
    // Every touched cell goes back to 0, also those past the clip.
    std::fill(Cells + MinX, Cells + MaxX + 1, 0.0f);
  }
};
}  // namespace

TScanLines BuildScanLines(const TArrayOfFloatPoint& Points) {
  const size_t n = Points.size();
  if (n < 3) return {};
  float minY = Points[0].Y, maxY = Points[0].Y;
  for (const TFloatPoint& p : Points) {
    // A point that is not a finite number has no place on any row.
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return {};
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  const int32_t MinY = FloorI(minY), MaxY = FloorI(maxY);
  const int32_t rows = MaxY - MinY + 2;
  TScanLines lines(static_cast<size_t>(rows));
  std::vector<int32_t> delta(size_t(rows) + 1, 0);
  for (size_t i = 0; i + 1 < n; ++i) {
    const float ya = Points[i].Y, yb = Points[i + 1].Y;
    ++delta[size_t(FloorI(std::min(ya, yb)) - MinY)];
    --delta[size_t(FloorI(std::max(ya, yb)) + 1 - MinY)];
  }
  int32_t sum = 0;
  for (int32_t r = 0; r < rows; ++r) {
    sum += delta[size_t(r)];
    lines[size_t(r)].Y = MinY + r;
    lines[size_t(r)].Segments.resize(size_t(std::max(sum, 0)));
    lines[size_t(r)].Count = 0;
  }
  for (size_t i = 0; i + 1 < n; ++i) SplitEdge(lines, MinY, Points[i], Points[i + 1]);
  return lines;
}

TScanLines MergeScanLines(TScanLines&& A, TScanLines&& B) {
  TScanLines out;
  out.reserve(A.size() + B.size());
  size_t i = 0, j = 0;
  while (i < A.size() || j < B.size()) {
    if (j >= B.size() || (i < A.size() && A[i].Y < B[j].Y)) {
      out.push_back(std::move(A[i++]));
    } else if (i >= A.size() || B[j].Y < A[i].Y) {
      out.push_back(std::move(B[j++]));
    } else {
      TScanLine m;
      m.Y = A[i].Y;
      m.Count = A[i].Count + B[j].Count;
      m.Segments.reserve(size_t(m.Count));
      m.Segments.assign(A[i].Segments.begin(), A[i].Segments.begin() + A[i].Count);
      m.Segments.insert(m.Segments.end(), B[j].Segments.begin(), B[j].Segments.begin() + B[j].Count);
      out.push_back(std::move(m));
      ++i;
      ++j;
    }
  }
  return out;
}

void RasterizePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                          const TRenderSpanEvent& SpanProc) {
  TScanLines lines;
  for (const TArrayOfFloatPoint& poly : Points) {
    TArrayOfFloatPoint p = ClosePolygon(ClipPolygon(poly, ClipRect));
    TScanLines more = BuildScanLines(p);
    if (!more.empty()) lines = MergeScanLines(std::move(lines), std::move(more));
  }
  if (lines.empty()) return;
  TRowRenderer rr;
  rr.ClipX1 = FloorI(ClipRect.Left);
  rr.ClipX2 = int32_t(std::ceil(ClipRect.Right)) - 1;
  if (rr.ClipX2 < rr.ClipX1) return;
  rr.Buffer.assign(size_t(rr.ClipX2 - rr.ClipX1 + 4), 0.0f);
  rr.Cells = rr.Buffer.data() + 1 - rr.ClipX1;
  for (TScanLine& l : lines) {
    rr.Render(l, SpanProc);
    l.Segments = {};
  }
}

void RasterizePolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                      const TRenderSpanEvent& SpanProc) {
  RasterizePolyPolygon(TArrayOfArrayOfFloatPoint{Points}, ClipRect, SpanProc);
}
