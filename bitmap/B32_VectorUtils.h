// Polygon helpers of the vector units: closing, bounding, scaling and
// transforming polygons, circles and ellipses, edge normals, growing a
// polyline into an outline, and clipping a polygon to a rectangle.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"

// Join styles of Grow and BuildPolyline.
enum TJoinStyle : uint8_t { jsMiter = 0, jsBevel = 1, jsRoundEx = 2, jsRound = 3 };

// A point mapping used to transform polygons; Prepare runs once before a
// batch of points.
class TFloatTransformation {
public:
  virtual ~TFloatTransformation() = default;
  virtual void PrepareTransform() {}
  virtual TFloatPoint Transform(const TFloatPoint& P) const = 0;
};

// A copy with the first point appended, unless the polygon has at most one
// point or already ends where it starts (then the input itself).
TArrayOfFloatPoint ClosePolygon(const TArrayOfFloatPoint& Points);

TArrayOfFloatPoint Circle(const TFloatPoint& Center, float Radius, int32_t Steps = 0);
TArrayOfFloatPoint Ellipse(const TFloatPoint& Center, const TFloatPoint& Radius, int32_t Steps);

// The unit normal of each edge (point j to j + 1, the last to the first).
TArrayOfFloatPoint BuildNormals(const TArrayOfFloatPoint& Points);

// The polyline offset by Delta along its normals, with joins.
TArrayOfFloatPoint Grow(const TArrayOfFloatPoint& Points, const TArrayOfFloatPoint& Normals, float Delta,
                        TJoinStyle JoinStyle = jsMiter, bool Closed = true, float MiterLimit = 4.0f);
TArrayOfFloatPoint BuildPolyline(const TArrayOfFloatPoint& Points, float Delta, TJoinStyle JoinStyle = jsMiter,
                                 bool Closed = true, float MiterLimit = 4.0f);

// The part of the polygon inside ClipRect (edges inclusive).
TArrayOfFloatPoint ClipPolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect);

// The bounding box; an empty polygon raises EAssertionFailed.
TFloatRect PolygonBounds(const TArrayOfFloatPoint& Points);

TArrayOfFloatPoint ScalePolygon(const TArrayOfFloatPoint& Points, float Sx, float Sy);
TArrayOfArrayOfFloatPoint ScalePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, float Sx, float Sy);
TArrayOfFloatPoint TransformPolygon(const TArrayOfFloatPoint& Points, TFloatTransformation& Transformation);
TArrayOfArrayOfFloatPoint TransformPolyPolygon(const TArrayOfArrayOfFloatPoint& Points,
                                               TFloatTransformation& Transformation);
