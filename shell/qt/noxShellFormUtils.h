// Window placement on Qt: monitors and their work areas come from the screens
// (QScreen), windows are top-level widgets. Tests replace the monitor source.
#pragma once

#include <QMargins>
#include <QString>
#include <functional>

#include "shell/noxShellFormUtils.h"

class QWidget;

// The monitors of the desktop in enumeration order. The default source reads the
// application's screens (geometry and available geometry; the primary screen is
// flagged). Passing an empty function restores it.
using TnoxMonitorSource = std::function<TnoxMonitorList()>;
void SetMonitorSource(TnoxMonitorSource ASource);
TnoxMonitorList GetMonitors();

// The frame the window manager puts around a top-level widget. Until a window
// has been framed its frame is unknown; the frame last seen around a shown
// window stands in for it (none before any was seen).
QMargins GetFrameMargins(const QWidget* AWnd);
// Sets the frame last seen (tests start from a desktop without frames).
void SetSeenFrameMargins(const QMargins& AMargins);
// Whether the window manager has framed the window (its real frame is known).
bool HasKnownFrame(const QWidget* AWnd);
// The window rectangle of a top-level widget, frame included.
TnoxRect GetWindowRect(const QWidget* AWnd);
// Moves (and with ASize also sizes) a window; the size is the client size.
void SetWindowPos(QWidget* AWnd, int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, bool ASize);

int32_t GetPrimaryMonitor();  // index into GetMonitors(), -1 when there is none
int32_t MonitorFromWindow(const QWidget* AWnd);  // nearest monitor, -1 when there is none
bool GetMonitorInfo(int32_t AMonitor, TnoxMonitorInfo& AInfo);
QString GetWindowClassName(const QWidget* AWnd);

void CenterWindowInRect(QWidget* AWnd, const TnoxRect& ARect);
void CenterWindowOnWindow(QWidget* AWnd, const QWidget* AOther);
void CenterWindowOnAppMonitor(QWidget* AWnd);
void KeepWindowOnMonitor(QWidget* AWnd, int32_t AMonitor);
void KeepWindowOnItsMonitor(QWidget* AWnd);
