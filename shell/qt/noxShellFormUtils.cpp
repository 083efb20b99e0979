#include "shell/qt/noxShellFormUtils.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace {

TnoxMonitorSource& Source() {
  static TnoxMonitorSource s;
  return s;
}

TnoxRect ToRect(const QRect& r) { return noxBounds(r.x(), r.y(), r.width(), r.height()); }

TnoxMonitorList ScreenMonitors() {
  TnoxMonitorList list;
  const QScreen* primary = QGuiApplication::primaryScreen();
  for (const QScreen* s : QGuiApplication::screens()) {
    TnoxMonitorInfo m;
    m.Monitor = ToRect(s->geometry());
    m.Work = ToRect(s->availableGeometry());
    m.Flags = s == primary ? MONITORINFOF_PRIMARY : 0;
    list.push_back(m);
  }
  return list;
}

}  // namespace

void SetMonitorSource(TnoxMonitorSource ASource) { Source() = std::move(ASource); }

TnoxMonitorList GetMonitors() { return Source() ? Source()() : ScreenMonitors(); }

TnoxRect GetWindowRect(const QWidget* AWnd) {
  if (!AWnd) return {};
  return ToRect(AWnd->frameGeometry());
}

void SetWindowPos(QWidget* AWnd, int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, bool ASize) {
  if (!AWnd) return;
  AWnd->move(ALeft, ATop);
  if (ASize) {
    // The frame is the window manager's; the size we control is the client's.
    const QRect f = AWnd->frameGeometry(), g = AWnd->geometry();
    AWnd->resize(std::max(0, AWidth - (f.width() - g.width())), std::max(0, AHeight - (f.height() - g.height())));
  }
}

int32_t GetPrimaryMonitor() { return GetPrimaryMonitorIndex(GetMonitors()); }

int32_t MonitorFromWindow(const QWidget* AWnd) {
  const TnoxMonitorList list = GetMonitors();
  if (!AWnd) return GetPrimaryMonitorIndex(list);
  return MonitorIndexFromRect(list, GetWindowRect(AWnd));
}

bool GetMonitorInfo(int32_t AMonitor, TnoxMonitorInfo& AInfo) {
  const TnoxMonitorList list = GetMonitors();
  if (AMonitor < 0 || AMonitor >= static_cast<int32_t>(list.size())) return false;
  AInfo = list[AMonitor];
  return true;
}

QString GetWindowClassName(const QWidget* AWnd) {
  return AWnd ? QString::fromLatin1(AWnd->metaObject()->className()) : QString();
}

void CenterWindowInRect(QWidget* AWnd, const TnoxRect& ARect) {
  if (!AWnd) return;
  const TnoxRect r = CenterRectInRect(GetWindowRect(AWnd), ARect);
  SetWindowPos(AWnd, r.Left, r.Top, 0, 0, false);
}

void CenterWindowOnWindow(QWidget* AWnd, const QWidget* AOther) {
  TnoxMonitorInfo info;
  if (AOther && GetWindowClassName(AOther) == QLatin1String("Progman") &&
      GetMonitorInfo(MonitorFromWindow(AOther), info)) {
    const int32_t m = MonitorFromWindow(AOther);
    CenterWindowInRect(AWnd, info.Work);
    KeepWindowOnMonitor(AWnd, m);
    return;
  }
  if (AOther) {
    CenterWindowInRect(AWnd, GetWindowRect(AOther));
    KeepWindowOnMonitor(AWnd, MonitorFromWindow(AOther));
    return;
  }
  CenterWindowOnAppMonitor(AWnd);
}

void CenterWindowOnAppMonitor(QWidget* AWnd) {
  if (!AWnd) return;
  const TnoxRect w = GetWindowRect(AWnd);
  int32_t monitor;
  if (QWidget* active = QApplication::activeWindow(); active && active != AWnd)
    monitor = MonitorFromWindow(active);
  else
    monitor = GetPrimaryMonitor();
  TnoxMonitorInfo info;
  if (!GetMonitorInfo(monitor, info)) return;
  const TnoxRect r = CenterRectInWorkArea(w, info.Work);
  SetWindowPos(AWnd, r.Left, r.Top, 0, 0, false);
}

void KeepWindowOnMonitor(QWidget* AWnd, int32_t AMonitor) {
  TnoxMonitorInfo info;
  if (!AWnd || !GetMonitorInfo(AMonitor, info)) return;
  const bool maximizeBox = AWnd->windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
  const TnoxRect r = KeepRectInWorkArea(GetWindowRect(AWnd), info.Work, maximizeBox);
  SetWindowPos(AWnd, r.Left, r.Top, r.Width(), r.Height(), maximizeBox);
}

void KeepWindowOnItsMonitor(QWidget* AWnd) { KeepWindowOnMonitor(AWnd, MonitorFromWindow(AWnd)); }
