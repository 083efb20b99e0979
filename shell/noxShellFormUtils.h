// Monitor DPI answers and the rectangle arithmetic of window placement.
// The program is not DPI-aware: every DPI query answers 96 and the system
// scales the windows. Monitors are plain descriptions so placement can be
// computed (and tested) without a window system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/noxShellThemes.h"

constexpr int32_t noxDefaultDpi = 96;
constexpr uint32_t MONITORINFOF_PRIMARY = 1;
constexpr int32_t SM_CXICON = 11;
constexpr int32_t SM_CYICON = 12;

// 64-bit product, quotient rounded half away from zero; -1 for a zero divisor.
int32_t MulDiv(int32_t ANumber, int32_t ANumerator, int32_t ADenominator);

int32_t GetDpiForWindowOrDefault(const void* AWnd);
int32_t GetDpiForSystemOrDefault();
bool EnableNonClientDpiScalingIfAvailable(const void* AWnd);
int32_t GetSystemMetrics(int32_t AIndex);
int32_t GetSystemMetricsForDpiOrDefault(int32_t AIndex, int32_t ADpi, bool AFallback);

// One monitor: its whole rectangle, its work area (without task bars) and its flags.
struct TnoxMonitorInfo {
  TnoxRect Monitor;
  TnoxRect Work;
  uint32_t Flags = 0;
};
using TnoxMonitorList = std::vector<TnoxMonitorInfo>;

// Index of the primary monitor: the first flagged one, else the first enumerated; -1 without monitors.
int32_t GetPrimaryMonitorIndex(const TnoxMonitorList& AMonitors);
// The monitor that holds most of ARect, else the nearest one; -1 without monitors.
int32_t MonitorIndexFromRect(const TnoxMonitorList& AMonitors, const TnoxRect& ARect);

// Top-left corner that centres AWindow in AArea (integer division truncates).
TnoxRect CenterRectInRect(const TnoxRect& AWindow, const TnoxRect& AArea);
// Top-left corner that centres AWindow in the work area AWork.
TnoxRect CenterRectInWorkArea(const TnoxRect& AWindow, const TnoxRect& AWork);
// Moves AWindow into AWork; a window with a maximize box is also shrunk to fit.
TnoxRect KeepRectInWorkArea(const TnoxRect& AWindow, const TnoxRect& AWork, bool AMaximizeBox);

// Walks a rectangle one pixel per step towards the top-left corner of the target
// monitor until the monitor holding most of it is the target. AMonitorOf answers the
// monitor index of a rectangle; AStep is told each new position (the caller refits
// the form there and may change its size, which it reports back through ARect).
// Ends when the target is reached, when the corners coincide (no direction left) or
// after a bounded number of steps. Returns the number of steps taken.
int32_t WalkRectToMonitor(TnoxRect& ARect, int32_t ATarget, const TnoxMonitorList& AMonitors,
                          const std::function<void(TnoxRect&)>& AStep);
