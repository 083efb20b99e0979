#include "bitmap/B32_VectorUtils.h"

#include <algorithm>
#include <cmath>

#include "bitmap/B32_Math.h"

TArrayOfFloatPoint ClosePolygon(const TArrayOfFloatPoint& Points) {
  if (Points.size() <= 1 || Points.front() == Points.back()) return Points;
  TArrayOfFloatPoint r = Points;
  r.push_back(Points.front());
  return r;
}

TArrayOfFloatPoint Circle(const TFloatPoint& Center, float Radius, int32_t Steps) {
  if (Steps <= 0) {
    const double r = std::fabs(double(Radius));
    Steps = int32_t(std::trunc(M_PI / std::acos(r / (r + 0.125))));
  }
  TArrayOfFloatPoint pts(size_t(std::max(Steps, 1)));
  float s, c;
  SinCosSingle(float(2 * M_PI / Steps), s, c);
  TFloatPoint v{Radius, 0};
  pts[0] = TFloatPoint{Center.X + v.X, Center.Y + v.Y};
  for (int32_t i = 1; i < Steps; ++i) {
    v = TFloatPoint{v.X * c - v.Y * s, v.X * s + v.Y * c};
    pts[size_t(i)] = TFloatPoint{Center.X + v.X, Center.Y + v.Y};
  }
  return pts;
}

TArrayOfFloatPoint Ellipse(const TFloatPoint& Center, const TFloatPoint& Radius, int32_t Steps) {
  if (Steps <= 0) return {};
  TArrayOfFloatPoint pts(static_cast<size_t>(Steps));
  float s, c;
  SinCosSingle(float(2 * M_PI / Steps), s, c);
  TFloatPoint v{1, 0};
  pts[0] = TFloatPoint{Center.X + Radius.X, Center.Y};
  for (int32_t i = 1; i < Steps; ++i) {
    v = TFloatPoint{v.X * c - v.Y * s, v.X * s + v.Y * c};
    pts[size_t(i)] = TFloatPoint{Center.X + Radius.X * v.X, Center.Y + Radius.Y * v.Y};
  }
  return pts;
}

TArrayOfFloatPoint BuildNormals(const TArrayOfFloatPoint& Points) {
  const size_t n = Points.size();
  TArrayOfFloatPoint normals(n);
  for (size_t j = 0; j < n; ++j) {
    const TFloatPoint& p = Points[j];
    const TFloatPoint& q = Points[(j + 1) % n];
    const float dx = q.X - p.X, dy = q.Y - p.Y;
    const float len = HypotSingle(dx, dy);
    if (len > 0.0001f)
      normals[j] = TFloatPoint{dy / len, -dx / len};
    else
      normals[j] = TFloatPoint{dy, -dx};
  }
  return normals;
}

namespace {
struct TGrowState {
  const TArrayOfFloatPoint* Src = nullptr;
  TArrayOfFloatPoint Out;
  TFloatPoint Cur;
  float Delta = 0;
  float RMin = 0;
  float MiterLimit = 4;
  float StepCos = 0, StepSin = 0, StepsPerRad = 0;

  void Add(float dx, float dy) {
    if (Out.size() == Out.capacity()) Out.reserve(Out.capacity() + 128);
    Out.push_back(TFloatPoint{Cur.X + dx, Cur.Y + dy});
  }

  void Miter(const TFloatPoint& N1, const TFloatPoint& N2) {
    const TFloatPoint R{N1.X + N2.X, N1.Y + N2.Y};
    const float m = N1.X * R.X + N1.Y * R.Y;
    if (m < RMin) {
      Add(Delta * N1.X, Delta * N1.Y);
      Add(Delta * N2.X, Delta * N2.Y);
    } else {
      const float f = Delta / m;
      Add(R.X * f, R.Y * f);
    }
  }

  void Bevel(const TFloatPoint& N1, const TFloatPoint& N2) {
    if ((N1.X * N2.Y - N2.X * N1.Y) * Delta <= 0) {
      Miter(N1, N2);
    } else {
      Add(Delta * N1.X, Delta * N1.Y);
      Add(Delta * N2.X, Delta * N2.Y);
    }
  }

  void Rotated(TFloatPoint v, int32_t Count, float Sin) {
    Add(v.X, v.Y);
    for (int32_t i = 1; i < Count; ++i) {
      v = TFloatPoint{v.X * StepCos - v.Y * Sin, v.X * Sin + v.Y * StepCos};
      Add(v.X, v.Y);
    }
  }

  void Round(size_t I, const TFloatPoint& N1, const TFloatPoint& N2) {
    const float cross = N1.X * N2.Y - N2.X * N1.Y;
    const float dot = N1.X * N2.X + N1.Y * N2.Y;
    const double angle = std::atan2(double(cross), double(dot));
    const int32_t count = int32_t(::Round(std::fabs(angle) * StepsPerRad));
    const float sin = cross < 0 ? -StepSin : StepSin;
    if (cross * Delta >= 0) {
      Rotated(TFloatPoint{Delta * N1.X, Delta * N1.Y}, count, sin);
      return;
    }
    const TArrayOfFloatPoint& s = *Src;
    const size_t n = s.size();
    const TFloatPoint P = s[I];
    const float f = Delta / (dot + 1);
    const float mx = (N1.X + N2.X) * f, my = (N1.Y + N2.Y) * f;
    const float dist2 = mx * mx + my * my;
    const TFloatPoint& prev = s[(I + n - 1) % n];
    const TFloatPoint& next = s[(I + 1) % n];
    auto sq = [](float x, float y) { return x * x + y * y; };
    const float minLen2 = std::min(sq(P.X - prev.X, P.Y - prev.Y), sq(next.X - P.X, next.Y - P.Y));
    if (dist2 > minLen2) {
      Add(Delta * N1.X, Delta * N1.Y);
      Add(Delta * N2.X, Delta * N2.Y);
      return;
    }
    const float K = std::sqrt(minLen2);
    const float ax = P.X - N2.X * K + N1.X * Delta, ay = P.Y - N2.Y * K + N1.Y * Delta;
    const float bx = P.X + N1.X * K + N2.X * Delta, by = P.Y + N1.Y * K + N2.Y * Delta;
    const float ab2 = sq(ax - bx, ay - by);
    const float lim = 2 * Delta / MiterLimit;
    const float O = ab2 < lim * lim ? std::sqrt(ab2) * 0.5f : Delta / MiterLimit;
    const float g = (O + Delta) / (dot + 1);
    Cur.X += (N1.X + N2.X) * g;
    Cur.Y += (N1.Y + N2.Y) * g;
    Rotated(TFloatPoint{-N1.X * O, -N1.Y * O}, count, sin);
  }

  void Join(TJoinStyle Style, size_t I, const TFloatPoint& N1, const TFloatPoint& N2) {
    Cur = (*Src)[I];
    switch (Style) {
      case jsMiter: Miter(N1, N2); break;
      case jsBevel: Bevel(N1, N2); break;
      case jsRoundEx:
        if ((N1.X * N2.Y - N2.X * N1.Y) * Delta < 0)
          Miter(N1, N2);
        else
          Round(I, N1, N2);
        break;
      case jsRound: Round(I, N1, N2); break;
    }
  }
};

bool IsZero(const TFloatPoint& N) { return N.X == 0 && N.Y == 0; }
}  // namespace

TArrayOfFloatPoint Grow(const TArrayOfFloatPoint& Points, const TArrayOfFloatPoint& Normals, float Delta,
                        TJoinStyle JoinStyle, bool Closed, float MiterLimit) {
  if (Points.size() <= 1 || Normals.size() < Points.size()) return {};
  const int32_t high = int32_t(Points.size()) - 1;
  int32_t H = Closed ? high : high - 1;
  while (H >= 0 && IsZero(Normals[size_t(H)])) --H;
  if (H < 0) return {};
  int32_t F = 0;
  while (F < H && IsZero(Normals[size_t(F)])) ++F;

  TGrowState g;
  g.Src = &Points;
  g.Delta = Delta;
  g.MiterLimit = MiterLimit;
  g.RMin = 2 / (MiterLimit * MiterLimit);
  g.Out.reserve(128);
  if (JoinStyle == jsRoundEx || JoinStyle == jsRound) {
    const float d = 1.414f / std::fabs(Delta);
    g.StepCos = 1 - std::min(d * d, 3.0f) * 0.5f;
    g.StepSin = std::sqrt(1 - g.StepCos * g.StepCos);
    g.StepsPerRad = float(1 / std::acos(double(g.StepCos)));
  }
  TFloatPoint N1 = Closed ? Normals[size_t(H)] : Normals[size_t(F)];
  for (int32_t I = F; I <= H; ++I) {
    const TFloatPoint& N2 = Normals[size_t(I)];
    if (IsZero(N2)) continue;
    g.Join(JoinStyle, size_t(I), N1, N2);
    N1 = N2;
  }
  if (!Closed) g.Join(JoinStyle, size_t(high), N1, N1);
  g.Out.shrink_to_fit();
  return g.Out;
}

TArrayOfFloatPoint BuildPolyline(const TArrayOfFloatPoint& Points, float Delta, TJoinStyle JoinStyle, bool Closed,
                                 float MiterLimit) {
  return Grow(Points, BuildNormals(Points), Delta, JoinStyle, Closed, MiterLimit);
}

namespace {
constexpr uint8_t ocLeft = 1, ocRight = 2, ocTop = 4, ocBottom = 8;

uint8_t OutCode(const TFloatPoint& P, const TFloatRect& R) {
  uint8_t c = 0;
  if (P.X >= R.Left) c |= ocLeft;
  if (P.X <= R.Right) c |= ocRight;
  if (P.Y >= R.Top) c |= ocTop;
  if (P.Y <= R.Bottom) c |= ocBottom;
  return c;
}

// One pass of the ring against the edge whose inside bit is Bit.
TArrayOfFloatPoint ClipEdge(const TArrayOfFloatPoint& Ring, uint8_t Bit, const TFloatRect& R) {
  TArrayOfFloatPoint out;
  out.reserve(Ring.size() + 4);
  const bool vertical = Bit == ocLeft || Bit == ocRight;
  const float edge = Bit == ocLeft ? R.Left : Bit == ocRight ? R.Right : Bit == ocTop ? R.Top : R.Bottom;
  auto cross = [&](const TFloatPoint& a, const TFloatPoint& b) {
    if (vertical) return TFloatPoint{edge, a.Y + (b.Y - a.Y) * (edge - a.X) / (b.X - a.X)};
    return TFloatPoint{a.X + (b.X - a.X) * (edge - a.Y) / (b.Y - a.Y), edge};
  };
  const size_t n = Ring.size();
  for (size_t i = 0; i < n; ++i) {
    const TFloatPoint& prev = Ring[(i + n - 1) % n];
    const TFloatPoint& cur = Ring[i];
    const bool prevIn = OutCode(prev, R) & Bit, curIn = OutCode(cur, R) & Bit;
    if (curIn) {
      if (!prevIn) out.push_back(cross(prev, cur));
      out.push_back(cur);
    } else if (prevIn) {
      out.push_back(cross(prev, cur));
    }
  }
  return out;
}
}  // namespace

TArrayOfFloatPoint ClipPolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  uint8_t all = 15, any = 0;
  for (const TFloatPoint& p : Points) {
    const uint8_t c = OutCode(p, ClipRect);
    all &= c;
    any |= c;
  }
  if (all == 15) return Points;
  if (any != 15) return {};
  TArrayOfFloatPoint ring = Points;
  for (uint8_t bit : {ocLeft, ocRight, ocTop, ocBottom}) {
    bool inside = true;
    for (const TFloatPoint& p : ring)
      if (!(OutCode(p, ClipRect) & bit)) {
        inside = false;
        break;
      }
    if (inside) continue;
    ring = ClipEdge(ring, bit, ClipRect);
    if (ring.empty()) return {};
  }
  return ring;
}

TFloatRect PolygonBounds(const TArrayOfFloatPoint& Points) {
  if (Points.empty()) throw EAssertionFailed("Assertion failed (B32_VectorUtils, line 2500)");
  TFloatRect r{Points[0].X, Points[0].Y, Points[0].X, Points[0].Y};
  for (const TFloatPoint& p : Points) {
    r.Left = std::min(r.Left, p.X);
    r.Right = std::max(r.Right, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  return r;
}

TArrayOfFloatPoint ScalePolygon(const TArrayOfFloatPoint& Points, float Sx, float Sy) {
  TArrayOfFloatPoint r(Points.size());
  for (size_t i = 0; i < Points.size(); ++i) r[i] = TFloatPoint{Points[i].X * Sx, Points[i].Y * Sy};
  return r;
}

TArrayOfArrayOfFloatPoint ScalePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, float Sx, float Sy) {
  TArrayOfArrayOfFloatPoint r;
  r.reserve(Points.size());
  for (const auto& p : Points) r.push_back(ScalePolygon(p, Sx, Sy));
  return r;
}

TArrayOfFloatPoint TransformPolygon(const TArrayOfFloatPoint& Points, TFloatTransformation& Transformation) {
  Transformation.PrepareTransform();
  TArrayOfFloatPoint r(Points.size());
  for (size_t i = 0; i < Points.size(); ++i) r[i] = Transformation.Transform(Points[i]);
  return r;
}

TArrayOfArrayOfFloatPoint TransformPolyPolygon(const TArrayOfArrayOfFloatPoint& Points,
                                               TFloatTransformation& Transformation) {
  Transformation.PrepareTransform();
  TArrayOfArrayOfFloatPoint r;
  r.reserve(Points.size());
  for (const auto& poly : Points) {
    TArrayOfFloatPoint q(poly.size());
    for (size_t i = 0; i < poly.size(); ++i) q[i] = Transformation.Transform(poly[i]);
    r.push_back(std::move(q));
  }
  return r;
}
