// The polygon rasteriser: floating-point polygons become rows of cells that
// hold the exact signed area the polygons cover, handed row by row as spans.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "bitmap/B32.h"

// One piece of an edge inside a row: X absolute, Y relative to the row (0 at
// its top, 1 at its bottom), direction kept.
struct TLineSegment {
  float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

struct TScanLine {
  std::vector<TLineSegment> Segments;  // its size is the buffer's capacity
  int32_t Count = 0;
  int32_t Y = 0;
};
using TScanLines = std::vector<TScanLine>;

// Pixels X1..X2 (inclusive) of a row; Values[i] is the signed coverage of
// pixel X1 + i. Coverage of one polygon lies in -1..1, its sign following the
// polygon's orientation; overlapping polygons add up.
struct TValueSpan {
  int32_t X1 = 0;
  int32_t X2 = 0;
  float* Values = nullptr;
};

using TRenderSpanEvent = std::function<void(const TValueSpan& Span, int32_t DstY)>;

// The rows of one closed polygon (at least 3 points, first = last).
TScanLines BuildScanLines(const TArrayOfFloatPoint& Points);
// Merges two sets of rows in Y order; rows of equal Y hold A's segments, then B's.
TScanLines MergeScanLines(TScanLines&& A, TScanLines&& B);

// Rasterises every polygon (clipped to ClipRect, closed) and calls SpanProc
// once for each row that covers something inside the clip. Rounding inside
// the rasteriser is toward minus infinity.
void RasterizePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                          const TRenderSpanEvent& SpanProc);
void RasterizePolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                      const TRenderSpanEvent& SpanProc);
