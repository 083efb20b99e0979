// Drawing commands (move, line, cubic and quadratic curves, shapes) and the
// path that flattens them into polygons of points.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"

// What the last control point belongs to, for the smooth curve forms.
enum TControlPointOrigin : uint8_t { cpNone = 0, cpCubic = 1, cpConic = 2 };

class TCustomPath : public TThreadPersistent {
public:
  TCustomPath() = default;

  void Changed() override;
  void BeginUpdate() override { TThreadPersistent::BeginUpdate(); }
  // Closes an update; at the outermost level a change held back is reported.
  void EndUpdate() override;

  virtual void AddPoint(const TFloatPoint& /*Point*/) {}
  virtual void DoChanged() { TThreadPersistent::Changed(); }
  virtual void Clear() { FControlPointOrigin = cpNone; }
  virtual void EndPath(bool /*Close*/ = false) {}
  virtual void MoveTo(const TFloatPoint& P);
  virtual void LineTo(const TFloatPoint& P);
  virtual void CurveTo(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P);
  virtual void CurveTo(const TFloatPoint& C2, const TFloatPoint& P);
  virtual void ConicTo(const TFloatPoint& C, const TFloatPoint& P);
  virtual void ConicTo(const TFloatPoint& P);
  virtual void Polyline(const TArrayOfFloatPoint& Points);
  virtual void Rectangle(const TFloatRect& Rect);
  virtual void RoundRect(const TFloatRect& Rect, float Radius);
  virtual void Ellipse(float Rx, float Ry);
  virtual void Ellipse(float Cx, float Cy, float Rx, float Ry, int32_t Steps);
  virtual void Circle(float Cx, float Cy, float R, int32_t Steps);
  virtual void Circle(const TFloatPoint& Center, float R, int32_t Steps);
  virtual void Polygon(const TArrayOfFloatPoint& Points);

  void MoveTo(float X, float Y) { MoveTo(TFloatPoint{X, Y}); }
  void LineTo(float X, float Y) { LineTo(TFloatPoint{X, Y}); }

  const TFloatPoint& GetCurrentPoint() const { return FCurrentPoint; }
  void SetCurrentPoint(const TFloatPoint& P) { FCurrentPoint = P; }
  const TFloatPoint& GetLastControlPoint() const { return FLastControlPoint; }
  TControlPointOrigin GetControlPointOrigin() const { return FControlPointOrigin; }

protected:
  void AssignTo(TPersistent* Dest) const override;

  TFloatPoint FCurrentPoint;
  TFloatPoint FLastControlPoint;
  TControlPointOrigin FControlPointOrigin = cpNone;
  bool FChangedPending = false;

private:
  void FlattenCubic(const TFloatPoint& P1, const TFloatPoint& P2, const TFloatPoint& P3, const TFloatPoint& P4);
  void FlattenConic(const TFloatPoint& P1, const TFloatPoint& P2, const TFloatPoint& P3);
};

// Collects the commands as sub-paths of points: a sub-path begins at the first
// point after MoveTo or EndPath and is finished by EndPath or the next MoveTo.
class TFlattenedPath : public TCustomPath {
public:
  void AddPoint(const TFloatPoint& Point) override;
  void Clear() override;
  void EndPath(bool Close = false) override;
  void MoveTo(const TFloatPoint& P) override;
  void Polygon(const TArrayOfFloatPoint& Points) override;
  using TCustomPath::MoveTo;

  virtual void DoBeginPath();
  virtual void DoEndPath();

  const TArrayOfArrayOfFloatPoint& GetPath() const { return FPath; }
  TArrayOfArrayOfFloatPoint& Path() { return FPath; }
  int32_t GetPointCount() const { return FPointCount; }
  // The capacity of the current sub-path buffer.
  int32_t GetPointCapacity() const { return int32_t(FPoints.size()); }

  const TNotifyEvent& GetOnBeginPath() const { return FOnBeginPath; }
  void SetOnBeginPath(TNotifyEvent E) { FOnBeginPath = std::move(E); }
  const TNotifyEvent& GetOnEndPath() const { return FOnEndPath; }
  void SetOnEndPath(TNotifyEvent E) { FOnEndPath = std::move(E); }

protected:
  void AssignTo(TPersistent* Dest) const override;
  void ClearPoints();

  TArrayOfArrayOfFloatPoint FPath;
  TArrayOfFloatPoint FPoints;  // its size is the capacity
  int32_t FPointCount = 0;
  TNotifyEvent FOnBeginPath;
  TNotifyEvent FOnEndPath;
};
