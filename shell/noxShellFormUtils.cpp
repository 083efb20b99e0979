#include "shell/noxShellFormUtils.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

int32_t MulDiv(int32_t ANumber, int32_t ANumerator, int32_t ADenominator) {
  if (ADenominator == 0) return -1;
  const int64_t p = static_cast<int64_t>(ANumber) * ANumerator;
  const int64_t d = ADenominator;
  const bool negative = (p < 0) != (d < 0);
  const int64_t ap = p < 0 ? -p : p;
  const int64_t ad = d < 0 ? -d : d;
  int64_t q = (ap + ad / 2) / ad;
  if (negative) q = -q;
  if (q > std::numeric_limits<int32_t>::max() || q < std::numeric_limits<int32_t>::min()) return -1;
  return static_cast<int32_t>(q);
}

int32_t GetDpiForWindowOrDefault(const void*) { return noxDefaultDpi; }
int32_t GetDpiForSystemOrDefault() { return noxDefaultDpi; }
bool EnableNonClientDpiScalingIfAvailable(const void*) { return false; }

int32_t GetSystemMetrics(int32_t AIndex) {
  switch (AIndex) {
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

int32_t GetSystemMetricsForDpiOrDefault(int32_t AIndex, int32_t, bool AFallback) {
  // No per-DPI metrics: the system's own value at the system DPI, when allowed.
  return AFallback ? GetSystemMetrics(AIndex) : 0;
}

int32_t GetPrimaryMonitorIndex(const TnoxMonitorList& AMonitors) {
  for (size_t i = 0; i < AMonitors.size(); ++i)
    if (AMonitors[i].Flags & MONITORINFOF_PRIMARY) return static_cast<int32_t>(i);
  return AMonitors.empty() ? -1 : 0;
}

namespace {

int64_t IntersectionArea(const TnoxRect& a, const TnoxRect& b) {
  const int64_t w = int64_t(std::min(a.Right, b.Right)) - std::max(a.Left, b.Left);
  const int64_t h = int64_t(std::min(a.Bottom, b.Bottom)) - std::max(a.Top, b.Top);
  return (w > 0 && h > 0) ? w * h : 0;
}

int64_t Gap(int32_t lo1, int32_t hi1, int32_t lo2, int32_t hi2) {
  if (hi1 <= lo2) return int64_t(lo2) - hi1;
  if (hi2 <= lo1) return int64_t(lo1) - hi2;
  return 0;
}

int Sign(int64_t v) { return (v > 0) - (v < 0); }

}  // namespace

int32_t MonitorIndexFromRect(const TnoxMonitorList& AMonitors, const TnoxRect& ARect) {
  int32_t best = -1;
  int64_t bestArea = 0;
  for (size_t i = 0; i < AMonitors.size(); ++i) {
    const int64_t a = IntersectionArea(AMonitors[i].Monitor, ARect);
    if (a > bestArea) {
      bestArea = a;
      best = static_cast<int32_t>(i);
    }
  }
  if (best >= 0) return best;
  int64_t bestDist = std::numeric_limits<int64_t>::max();
  for (size_t i = 0; i < AMonitors.size(); ++i) {
    const TnoxRect& m = AMonitors[i].Monitor;
    const int64_t dx = Gap(ARect.Left, ARect.Right, m.Left, m.Right);
    const int64_t dy = Gap(ARect.Top, ARect.Bottom, m.Top, m.Bottom);
    const int64_t d = dx * dx + dy * dy;
    if (d < bestDist) {
      bestDist = d;
      best = static_cast<int32_t>(i);
    }
  }
  return best;
}

TnoxRect CenterRectInRect(const TnoxRect& AWindow, const TnoxRect& AArea) {
  const int32_t cx = AArea.Left + AArea.Width() / 2;
  const int32_t cy = AArea.Top + AArea.Height() / 2;
  return noxBounds(cx - AWindow.Width() / 2, cy - AWindow.Height() / 2, AWindow.Width(), AWindow.Height());
}

TnoxRect CenterRectInWorkArea(const TnoxRect& AWindow, const TnoxRect& AWork) {
  return noxBounds(AWork.Left + (AWork.Width() - AWindow.Width()) / 2,
                   AWork.Top + (AWork.Height() - AWindow.Height()) / 2, AWindow.Width(), AWindow.Height());
}

TnoxRect KeepRectInWorkArea(const TnoxRect& AWindow, const TnoxRect& AWork, bool AMaximizeBox) {
  TnoxRect w = AWindow;
  auto shift = [&w](int32_t dx, int32_t dy) {
    w.Left += dx;
    w.Right += dx;
    w.Top += dy;
    w.Bottom += dy;
  };
  if (w.Right > AWork.Right) shift(AWork.Right - w.Right, 0);
  if (w.Bottom > AWork.Bottom) shift(0, AWork.Bottom - w.Bottom);
  if (w.Left < AWork.Left) shift(AWork.Left - w.Left, 0);
  if (w.Top < AWork.Top) shift(0, AWork.Top - w.Top);
  if (AMaximizeBox)
    return noxBounds(w.Left, w.Top, std::min(AWork.Width(), w.Width()), std::min(AWork.Height(), w.Height()));
  return w;
}

int32_t WalkRectToMonitor(TnoxRect& ARect, int32_t ATarget, const TnoxMonitorList& AMonitors,
                          const std::function<void(TnoxRect&)>& AStep) {
  if (ATarget < 0 || ATarget >= static_cast<int32_t>(AMonitors.size())) return 0;
  const TnoxRect& t = AMonitors[ATarget].Monitor;
  // Every step moves the rectangle one pixel closer on at least one axis, so the
  // distance between the corners bounds the walk even if sizes change on the way.
  int64_t limit = 0;
  {
    int32_t m = MonitorIndexFromRect(AMonitors, ARect);
    if (m >= 0) {
      const TnoxRect& mr = AMonitors[m].Monitor;
      limit = std::abs(int64_t(t.Left) - mr.Left) + std::abs(int64_t(t.Top) - mr.Top);
    }
  }
  int32_t steps = 0;
  for (;;) {
    const int32_t m = MonitorIndexFromRect(AMonitors, ARect);
    if (m < 0 || m == ATarget) break;
    const TnoxRect& mr = AMonitors[m].Monitor;
    const int dx = Sign(int64_t(t.Left) - mr.Left);
    const int dy = Sign(int64_t(t.Top) - mr.Top);
    // Two monitors with the same corner give no direction to walk in.
    if (dx == 0 && dy == 0) break;
    if (steps >= limit + int64_t(ARect.Width()) + ARect.Height()) break;
    ARect.Left += dx;
    ARect.Right += dx;
    ARect.Top += dy;
    ARect.Bottom += dy;
    ++steps;
    if (AStep) AStep(ARect);
  }
  return steps;
}
