#include "shell/qt/noxShellFormEx.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include "shell/qt/noxShellFormUtils.h"

// ---- TnoxShellUIForm ----

TnoxShellUIForm::TnoxShellUIForm() : TnoxShellUIForm(nullptr, nullptr) {}

TnoxShellUIForm::TnoxShellUIForm(QWidget* AOwnerWnd, QWidget* AParentWnd) {
  if (!AOwnerWnd) AOwnerWnd = AParentWnd;
  if (!AParentWnd) AParentWnd = AOwnerWnd;
  FOwnerWnd = AOwnerWnd;
  FParentWnd = AParentWnd;
  auto displayChanged = [this]() {
    if (IsInitialized()) DisplayChanged();
  };
  connect(qApp, &QGuiApplication::screenAdded, this, displayChanged);
  connect(qApp, &QGuiApplication::screenRemoved, this, displayChanged);
  connect(qApp, &QGuiApplication::primaryScreenChanged, this, displayChanged);
}

int32_t TnoxShellUIForm::FrameWidth() const {
  const QMargins m = GetFrameMargins(this);
  return m.left() + m.right();
}
int32_t TnoxShellUIForm::FrameHeight() const {
  const QMargins m = GetFrameMargins(this);
  return m.top() + m.bottom();
}

bool TnoxShellUIForm::event(QEvent* AEvent) {
  const bool result = TnoxShellBaseUIForm::event(AEvent);
  const QEvent::Type t = AEvent->type();
  // The window manager frames a shown window without telling it; the events
  // that follow (activation, the pointer entering) find the frame in place.
  if (!FFrameChecked && FFormInitialized && t != QEvent::Paint && t != QEvent::UpdateRequest && HasKnownFrame(this)) {
    FFrameChecked = true;
    if (GetFrameMargins(this) != FPlacedFrame) {
      // The minimum is a window size: the client's share shrinks by the frame.
      const TnoxSize m = GetMinSize();
      setMinimumSize(std::max(0, m.Width - FrameWidth()), std::max(0, m.Height - FrameHeight()));
      KeepWindowOnItsMonitor(this);
    }
  }
  return result;
}

void TnoxShellUIForm::AfterConstruction() {
  // Every such window starts as large as the work area of its monitor.
  TnoxMonitorInfo info;
  TnoxRect r = GetMonitorInfo(MonitorFromWindow(FParentWnd), info) ? info.Work : noxRect(0, 0, 640, 480);
  const TnoxRect given = r;
  AdjustInitialBounds(r);
  FInitialBoundsAdjusted = !(r == given);
  SetWindowPos(this, r.Left, r.Top, r.Width(), r.Height(), true);

  TnoxShellBaseUIForm::AfterConstruction();
  if (!FInitialBoundsAdjusted) {
    const TnoxSize s = GetInitialClientSize();
    if (s.Width > 0) SetLayoutClientWidth(s.Width);
    if (s.Height > 0) SetLayoutClientHeight(s.Height);
  }
  FFormInitialized = true;
  FitToMonitor();
  if (!FInitialBoundsAdjusted) CenterInitially();
  FPlacedFrame = GetFrameMargins(this);
}

void TnoxShellUIForm::CenterInitially() {
  if (FParentWnd)
    CenterWindowOnWindow(this, FParentWnd);
  else if (FOwnerWnd)
    CenterWindowOnWindow(this, FOwnerWnd);
  else
    CenterWindowOnAppMonitor(this);
}

TnoxSize TnoxShellUIForm::GetInitialClientSize() {
  if (FSizeable) return {GetLayoutClientWidth(), GetLayoutClientHeight()};
  return {0, 0};
}

void TnoxShellUIForm::BeginBoundsUpdate() {
  if (++FBoundsUpdateLevel == 1) {
    FPendingLeft = FPendingTop = FPendingWidth = FPendingHeight = 0;
    FFrameDeltaWidth = FFrameDeltaHeight = 0;
    setMinimumSize(0, 0);
  }
}

void TnoxShellUIForm::EndBoundsUpdate() {
  if (FBoundsUpdateLevel == 1)
    SetWindowPos(this, GetLayoutLeft(), GetLayoutTop(), GetLayoutWidth(), GetLayoutHeight(), true);
  if (--FBoundsUpdateLevel == 0) {
    const TnoxSize m = GetMinSize();
    setMinimumSize(std::max(0, m.Width - FrameWidth()), std::max(0, m.Height - FrameHeight()));
  }
}

void TnoxShellUIForm::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (FBoundsUpdateLevel > 0) {
    SetLayoutLeft(ALeft);
    SetLayoutTop(ATop);
    SetLayoutWidth(AWidth);
    SetLayoutHeight(AHeight);
  } else {
    SetWindowPos(this, ALeft, ATop, AWidth, AHeight, true);
  }
}

int32_t TnoxShellUIForm::GetLayoutLeft() const { return x() + (FBoundsUpdateLevel ? FPendingLeft : 0); }
void TnoxShellUIForm::SetLayoutLeft(int32_t v) {
  if (FBoundsUpdateLevel) FPendingLeft = v - x(); else SetWindowPos(this, v, y(), 0, 0, false);
}
int32_t TnoxShellUIForm::GetLayoutTop() const { return y() + (FBoundsUpdateLevel ? FPendingTop : 0); }
void TnoxShellUIForm::SetLayoutTop(int32_t v) {
  if (FBoundsUpdateLevel) FPendingTop = v - y(); else SetWindowPos(this, x(), v, 0, 0, false);
}
int32_t TnoxShellUIForm::GetLayoutWidth() const {
  return width() + FrameWidth() + (FBoundsUpdateLevel ? FPendingWidth : 0);
}
void TnoxShellUIForm::SetLayoutWidth(int32_t v) {
  if (FBoundsUpdateLevel) FPendingWidth = v - width() - FrameWidth(); else resize(std::max(0, v - FrameWidth()), height());
}
int32_t TnoxShellUIForm::GetLayoutHeight() const {
  return height() + FrameHeight() + (FBoundsUpdateLevel ? FPendingHeight : 0);
}
void TnoxShellUIForm::SetLayoutHeight(int32_t v) {
  if (FBoundsUpdateLevel) FPendingHeight = v - height() - FrameHeight(); else resize(width(), std::max(0, v - FrameHeight()));
}
int32_t TnoxShellUIForm::GetLayoutClientWidth() const {
  return width() + (FBoundsUpdateLevel ? FPendingWidth - FFrameDeltaWidth : 0);
}
void TnoxShellUIForm::SetLayoutClientWidth(int32_t v) {
  if (FBoundsUpdateLevel) FPendingWidth = v + FFrameDeltaWidth - width(); else resize(std::max(0, v), height());
}
int32_t TnoxShellUIForm::GetLayoutClientHeight() const {
  return height() + (FBoundsUpdateLevel ? FPendingHeight - FFrameDeltaHeight : 0);
}
void TnoxShellUIForm::SetLayoutClientHeight(int32_t v) {
  if (FBoundsUpdateLevel) FPendingHeight = v + FFrameDeltaHeight - height(); else resize(width(), std::max(0, v));
}

namespace {
struct BoundsUpdate {
  TnoxShellUIForm& f;
  explicit BoundsUpdate(TnoxShellUIForm& form) : f(form) { f.BeginBoundsUpdate(); }
  ~BoundsUpdate() { f.EndBoundsUpdate(); }
};
struct UpdatesLock {
  QWidget* w;
  bool was;
  explicit UpdatesLock(QWidget* widget) : w(widget), was(widget->updatesEnabled()) { w->setUpdatesEnabled(false); }
  ~UpdatesLock() { w->setUpdatesEnabled(was); }
};
}  // namespace

void TnoxShellUIForm::FitToMonitor() {
  BoundsUpdate update(*this);
  TnoxSize minSize = GetMinSize();
  if (minSize.Width > 0 && GetLayoutWidth() < minSize.Width) SetLayoutWidth(minSize.Width);
  if (minSize.Height > 0 && GetLayoutHeight() < minSize.Height) SetLayoutHeight(minSize.Height);
  UpdatesLock lock(this);
  TnoxShellUI* ui = GetShellUI();
  RescaleUI(ui->DpiX, ui->DpiY);
  TnoxMonitorInfo info;
  if (!GetMonitorInfo(MonitorFromWindow(this), info)) return;
  const int32_t W = info.Work.Width(), H = info.Work.Height();
  auto cut = [&]() {
    bool fits = true;
    if (GetLayoutWidth() > W) {
      SetLayoutWidth(minSize.Width == 0 ? W : minSize.Width);
      fits = false;
    }
    if (GetLayoutHeight() > H) {
      SetLayoutHeight(minSize.Height == 0 ? H : minSize.Height);
      fits = false;
    }
    return fits;
  };
  if (cut()) return;
  RescaleUI(ui->DpiX, ui->DpiY);
  bool fits = GetLayoutWidth() <= W && GetLayoutHeight() <= H;
  while (!fits) {
    if (!ui->Compact()) break;
    minSize = GetMinSize();
    cut();
    RescaleUI(ui->DpiX, ui->DpiY);
    fits = GetLayoutWidth() <= W && GetLayoutHeight() <= H;
  }
}

void TnoxShellUIForm::DpiChanged(int32_t ADpiX, int32_t ADpiY, const TnoxRect* ASuggestedRect) {
  FDpiChangedDuringMove = true;
  if (!IsInitialized()) return;
  if ((ADpiX != 0 || ADpiY != 0) && ASuggestedRect) {
    if (FDpiChangeCount == static_cast<int32_t>(FDpiChanges.size()))
      FDpiChanges.resize(NextDpiChangeCapacity(static_cast<int32_t>(FDpiChanges.size())));
    FDpiChanges[FDpiChangeCount++] = {ADpiX, ADpiY, *ASuggestedRect};
  }
  if (FDrainingDpiChanges) return;  // the running drain takes the new record
  struct Drain {
    bool& flag;
    explicit Drain(bool& f) : flag(f) { flag = true; }
    ~Drain() { flag = false; }
  } drain(FDrainingDpiChanges);
  while (FDpiChangeCount > 0) {
    const TnoxDpiChange d = FDpiChanges[0];
    --FDpiChangeCount;
    for (int32_t i = 0; i < FDpiChangeCount; ++i) FDpiChanges[i] = FDpiChanges[i + 1];
    ApplyDpiChange(d);
  }
}

void TnoxShellUIForm::BroadcastDpiMessage(bool) {
  // Child controls here follow their parent's font and need no notice of their own.
}

void TnoxShellUIForm::ApplyDpiChange(const TnoxDpiChange& D) {
  FreeThemeHandle();
  ThemeChanged();
  BroadcastDpiMessage(false);
  {
    BoundsUpdate update(*this);
    // The window manager draws the frame; its size does not follow the DPI here.
    FFrameDeltaWidth = 0;
    FFrameDeltaHeight = 0;
    const TnoxRect& s = D.SuggestedRect;
    SetBounds(s.Left, s.Top, s.Width(), s.Height());
    GetShellUI()->SetDpi(this, D.DpiX, D.DpiY);
    FitToMonitor();
    SetLayoutLeft(s.Left + s.Width() / 2 - GetLayoutWidth() / 2);
    try {
      const TnoxMonitorList monitors = GetMonitors();
      const int32_t target = MonitorIndexFromRect(monitors, s);
      if (target >= 0) {
        TnoxRect r = noxBounds(GetLayoutLeft(), GetLayoutTop(), GetLayoutWidth(), GetLayoutHeight());
        WalkRectToMonitor(r, target, monitors, [this](TnoxRect& ARect) {
          SetLayoutLeft(ARect.Left);
          SetLayoutTop(ARect.Top);
          FitToMonitor();
          ARect = noxBounds(GetLayoutLeft(), GetLayoutTop(), GetLayoutWidth(), GetLayoutHeight());
        });
      }
    } catch (...) {
      // A failure while walking to the target monitor keeps the bounds found so far.
    }
  }
  BroadcastDpiMessage(true);
}

void TnoxShellUIForm::DisplayChanged() {
  {
    BoundsUpdate update(*this);
    GetShellUI()->UpdateFont();
    FitToMonitor();
  }
  KeepWindowOnItsMonitor(this);
}

void TnoxShellUIForm::ExitSizeMove() {
  if (FDpiChangedDuringMove) FitToMonitor();
}

// ---- edit ----

TnoxShellEdit::TnoxShellEdit(QWidget* AParent) : QLineEdit(AParent) {
  // The edit does not size itself to its font; AutoSizeEditHeight sets its height.
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

// ---- combo boxes ----

namespace {

class ComboItemDelegate : public QStyledItemDelegate {
public:
  explicit ComboItemDelegate(TnoxShellComboBox* ABox) : QStyledItemDelegate(ABox), FBox(ABox) {}
  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    FBox->DrawItem(*APainter, AIndex.row(), AOption.rect, AOption.state.testFlag(QStyle::State_Selected));
  }
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    // One text line, but never lower than the style's own rows: the open list
    // sizes itself from the style's rows and would scroll by one otherwise.
    QSize s = QStyledItemDelegate::sizeHint(AOption, AIndex);
    s.setHeight(std::max(FBox->GetItemHeight(), s.height()));
    return s;
  }

private:
  TnoxShellComboBox* FBox;
};

// The list opens below the box, as tall as its drop-down count allows, never
// as a menu laid over the box (which some styles do and which then scrolls).
void UseDropDownList(QComboBox* ABox) { ABox->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }")); }

int32_t TextLineHeight(const QFont& AFont) {
  return GetTextMeasurer()->TextExtent(AFont, QStringLiteral("qW")).Height;
}

}  // namespace

TnoxShellComboBox::TnoxShellComboBox(QWidget* AParent) : QComboBox(AParent) {
  UseDropDownList(this);
  setItemDelegate(new ComboItemDelegate(this));
  UpdateItemHeight();
}

QString TnoxShellComboBox::GetItemText(int AIndex) const { return itemText(AIndex); }

void TnoxShellComboBox::DrawItem(QPainter& APainter, int AIndex, const QRect& ARect, bool ASelected) {
  if (AIndex < 0 || AIndex >= count()) return;
  APainter.save();
  APainter.setFont(font());
  const QPalette& p = palette();
  APainter.fillRect(ARect, ASelected ? p.color(QPalette::Highlight) : p.color(QPalette::Base));
  APainter.setPen(ASelected ? p.color(QPalette::HighlightedText) : p.color(QPalette::Text));
  QRect r = ARect;
  r.setLeft(r.left() + 2);
  APainter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, GetItemText(AIndex));
  APainter.restore();
}

void TnoxShellComboBox::paintEvent(QPaintEvent* AEvent) {
  if (isEditable()) {
    QComboBox::paintEvent(AEvent);
    return;
  }
  // The closed box shows the owner-drawn text of the current item.
  QStylePainter painter(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText = currentIndex() >= 0 ? GetItemText(currentIndex()) : QString();
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

void TnoxShellComboBox::DestroyWnd() {
  if (QLineEdit* e = lineEdit()) {
    SavedSelStart = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
    SavedSelLength = static_cast<int32_t>(e->selectedText().size());
  }
}

void TnoxShellComboBox::CreateWnd() {
  QLineEdit* e = lineEdit();
  if (!e) return;
  if (SavedSelStart >= 0) e->setCursorPosition(SavedSelStart);
  if (SavedSelStart >= 0 && SavedSelLength >= 0) e->setSelection(SavedSelStart, SavedSelLength);
}

void TnoxShellComboBox::UpdateItemHeight() { FItemHeight = TextLineHeight(font()); }

void TnoxShellComboBox::changeEvent(QEvent* AEvent) {
  QComboBox::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange) UpdateItemHeight();
}

TnoxShellComboBoxEx::TnoxShellComboBoxEx(QWidget* AParent) : QComboBox(AParent) {
  UseDropDownList(this);
  UpdateItemHeight();
}

void TnoxShellComboBoxEx::UpdateItemHeight() { FItemHeight = TextLineHeight(font()); }

void TnoxShellComboBoxEx::changeEvent(QEvent* AEvent) {
  QComboBox::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange) UpdateItemHeight();
}
