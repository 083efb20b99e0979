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

namespace {
QMargins& LastSeenFrame() {
  static QMargins m;
  return m;
}
}  // namespace

void SetSeenFrameMargins(const QMargins& AMargins) { LastSeenFrame() = AMargins; }

bool HasKnownFrame(const QWidget* AWnd) {
  return AWnd && AWnd->isWindow() && AWnd->isVisible() && AWnd->frameGeometry() != AWnd->geometry();
}

QMargins GetFrameMargins(const QWidget* AWnd) {
  if (!AWnd || !AWnd->isWindow()) return {};
  if (HasKnownFrame(AWnd)) {
    const QRect f = AWnd->frameGeometry(), g = AWnd->geometry();
    const QMargins m(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    LastSeenFrame() = m;
    return m;
  }
  return LastSeenFrame();
}

TnoxRect GetWindowRect(const QWidget* AWnd) {
  if (!AWnd) return {};
  if (!AWnd->isWindow()) return ToRect(AWnd->frameGeometry());
  return ToRect(AWnd->geometry().marginsAdded(GetFrameMargins(AWnd)));
}

void SetWindowPos(QWidget* AWnd, int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, bool ASize) {
  if (!AWnd) return;
  // The frame is the window manager's; what we place and size is the client
  // area inside the frame (known, or assumed until the window is framed).
  const QMargins m = GetFrameMargins(AWnd);
  const QSize size = ASize ? QSize(std::max(0, AWidth - m.left() - m.right()), std::max(0, AHeight - m.top() - m.bottom()))
                           : AWnd->size();
  AWnd->setGeometry(QRect(QPoint(ALeft + m.left(), ATop + m.top()), size));
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
  // A plain window without hints of its own has a maximize box.
  const Qt::WindowFlags flags = AWnd->windowFlags();
  const bool maximizeBox = flags.testFlag(Qt::WindowMaximizeButtonHint) ||
                           (!flags.testFlag(Qt::CustomizeWindowHint) && (flags & Qt::WindowType_Mask) == Qt::Window);
  const TnoxRect r = KeepRectInWorkArea(GetWindowRect(AWnd), info.Work, maximizeBox);
  SetWindowPos(AWnd, r.Left, r.Top, r.Width(), r.Height(), maximizeBox);
}

void KeepWindowOnItsMonitor(QWidget* AWnd) { KeepWindowOnMonitor(AWnd, MonitorFromWindow(AWnd)); }
