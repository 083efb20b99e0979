#include "bitmap/B32_Paths.h"

#include <cmath>

#include "bitmap/B32_VectorUtils.h"

namespace {
constexpr float FlattenTolerance = 0.25f;

TFloatPoint Mid(const TFloatPoint& A, const TFloatPoint& B) { return TFloatPoint{(A.X + B.X) * 0.5f, (A.Y + B.Y) * 0.5f}; }
}  // namespace

void TCustomPath::Changed() {
  if (FUpdateCount > 0)
    FChangedPending = true;
  else
    DoChanged();
}

void TCustomPath::EndUpdate() {
  TThreadPersistent::EndUpdate();
  if (FUpdateCount == 0 && FChangedPending) {
    FChangedPending = false;
    DoChanged();
  }
}

void TCustomPath::AssignTo(TPersistent* Dest) const {
  if (auto* d = dynamic_cast<TCustomPath*>(Dest)) {
    d->Clear();
    d->FCurrentPoint = FCurrentPoint;
    d->FLastControlPoint = FLastControlPoint;
    d->FControlPointOrigin = FControlPointOrigin;
    return;
  }
  TThreadPersistent::AssignTo(Dest);
}

void TCustomPath::FlattenCubic(const TFloatPoint& P1, const TFloatPoint& P2, const TFloatPoint& P3,
                               const TFloatPoint& P4) {
  const float d = std::fabs(P1.X + P3.X - 2 * P2.X) + std::fabs(P1.Y + P3.Y - 2 * P2.Y) +
                  std::fabs(P2.X + P4.X - 2 * P3.X) + std::fabs(P2.Y + P4.Y - 2 * P3.Y);
  if (FlattenTolerance > d) {
    AddPoint(P1);
    return;
  }
  const TFloatPoint p12 = Mid(P1, P2), p23 = Mid(P2, P3), p34 = Mid(P3, P4);
  const TFloatPoint p123 = Mid(p12, p23), p234 = Mid(p23, p34);
  const TFloatPoint m = Mid(p123, p234);
  FlattenCubic(P1, p12, p123, m);
  FlattenCubic(m, p234, p34, P4);
}

void TCustomPath::FlattenConic(const TFloatPoint& P1, const TFloatPoint& P2, const TFloatPoint& P3) {
  const float d = std::fabs(P1.X + P3.X - 2 * P2.X) + std::fabs(P1.Y + P3.Y - 2 * P2.Y);
  if (FlattenTolerance > d) {
    AddPoint(P1);
    return;
  }
  const TFloatPoint p12 = Mid(P1, P2), p23 = Mid(P2, P3);
  const TFloatPoint m = Mid(p12, p23);
  FlattenConic(P1, p12, m);
  FlattenConic(m, p23, P3);
}

void TCustomPath::MoveTo(const TFloatPoint& P) {
  FCurrentPoint = P;
  FControlPointOrigin = cpNone;
}

void TCustomPath::LineTo(const TFloatPoint& P) {
  AddPoint(P);
  FCurrentPoint = P;
  FControlPointOrigin = cpNone;
}

void TCustomPath::CurveTo(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P) {
  FlattenCubic(FCurrentPoint, C1, C2, P);
  AddPoint(P);
  FCurrentPoint = P;
  FLastControlPoint = C2;
  FControlPointOrigin = cpCubic;
}

void TCustomPath::CurveTo(const TFloatPoint& C2, const TFloatPoint& P) {
  TFloatPoint C1 = FCurrentPoint;
  if (FControlPointOrigin == cpCubic)
    C1 = TFloatPoint{FCurrentPoint.X - (FLastControlPoint.X - FCurrentPoint.X),
                     FCurrentPoint.Y - (FLastControlPoint.Y - FCurrentPoint.Y)};
  CurveTo(C1, C2, P);
}

void TCustomPath::ConicTo(const TFloatPoint& C, const TFloatPoint& P) {
  FlattenConic(FCurrentPoint, C, P);
  AddPoint(P);
  FCurrentPoint = P;
  FLastControlPoint = C;
  FControlPointOrigin = cpConic;
}

void TCustomPath::ConicTo(const TFloatPoint& P) {
  TFloatPoint C = FCurrentPoint;
  if (FControlPointOrigin == cpConic)
    C = TFloatPoint{FCurrentPoint.X + (FCurrentPoint.X - FLastControlPoint.X),
                    FCurrentPoint.Y + (FCurrentPoint.Y - FLastControlPoint.Y)};
  ConicTo(C, P);
}

void TCustomPath::Polyline(const TArrayOfFloatPoint& Points) {
  if (Points.empty()) return;
  BeginUpdate();
  for (const TFloatPoint& p : Points) LineTo(p);
  EndUpdate();
}

void TCustomPath::Rectangle(const TFloatRect& R) {
  Polygon({{R.Left, R.Top}, {R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}});
}

void TCustomPath::RoundRect(const TFloatRect& Rect, float Radius) {
  const TFloatRect R{Rect.Left + Radius, Rect.Top + Radius, Rect.Right - Radius, Rect.Bottom - Radius};
  const TArrayOfFloatPoint corners{{R.Left, R.Top}, {R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
  Polygon(BuildPolyline(corners, Radius, jsRoundEx, true, 4.0f));
}

void TCustomPath::Ellipse(float Rx, float Ry) { Ellipse(FCurrentPoint.X, FCurrentPoint.Y, Rx, Ry, 100); }

void TCustomPath::Ellipse(float Cx, float Cy, float Rx, float Ry, int32_t Steps) {
  Polygon(::Ellipse(TFloatPoint{Cx, Cy}, TFloatPoint{Rx, Ry}, Steps));
}

void TCustomPath::Circle(float Cx, float Cy, float R, int32_t Steps) {
  Polygon(::Circle(TFloatPoint{Cx, Cy}, R, Steps));
}

void TCustomPath::Circle(const TFloatPoint& Center, float R, int32_t Steps) { Polygon(::Circle(Center, R, Steps)); }

void TCustomPath::Polygon(const TArrayOfFloatPoint& Points) {
  if (Points.empty()) return;
  MoveTo(Points[0]);
  for (size_t i = 1; i < Points.size(); ++i) LineTo(Points[i]);
  EndPath(true);
}

// ---------------------------------------------------------------------------

void TFlattenedPath::AddPoint(const TFloatPoint& Point) {
  if (FPointCount == 0) DoBeginPath();
  if (FPointCount >= int32_t(FPoints.size())) FPoints.resize(FPoints.size() + 128);
  FPoints[size_t(FPointCount++)] = Point;
}

void TFlattenedPath::ClearPoints() {
  FPointCount = 0;
  if (FPoints.size() > 256) {
    FPoints.resize(256);
    FPoints.shrink_to_fit();
  }
}

void TFlattenedPath::Clear() {
  TCustomPath::Clear();
  FPath.clear();
  ClearPoints();
}

void TFlattenedPath::EndPath(bool Close) {
  if (FPointCount == 0) return;
  if (Close) AddPoint(FPoints[0]);
  FCurrentPoint = FPoints[0];
  FPath.emplace_back(FPoints.begin(), FPoints.begin() + FPointCount);
  ClearPoints();
  DoEndPath();
}

void TFlattenedPath::MoveTo(const TFloatPoint& P) {
  EndPath(false);
  TCustomPath::MoveTo(P);
  AddPoint(P);
}

void TFlattenedPath::Polygon(const TArrayOfFloatPoint& Points) {
  if (Points.empty()) return;
  BeginUpdate();
  Polyline(Points);
  EndPath(true);
  FCurrentPoint = Points.back();
  EndUpdate();
}

void TFlattenedPath::DoBeginPath() {
  EndPath(false);
  if (FOnBeginPath) FOnBeginPath(this);
}

void TFlattenedPath::DoEndPath() {
  if (FOnEndPath) FOnEndPath(this);
  Changed();
}

void TFlattenedPath::AssignTo(TPersistent* Dest) const {
  if (auto* d = dynamic_cast<TFlattenedPath*>(Dest)) {
    d->BeginUpdate();
    TCustomPath::AssignTo(Dest);
    d->FPath = FPath;
    d->DoEndPath();
    d->EndUpdate();
    return;
  }
  TCustomPath::AssignTo(Dest);
}
