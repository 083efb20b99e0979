#include "shell/qt/noxShellForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyle>
#include <algorithm>

#include "shell/qt/noxShellFormUtils.h"

// ---- text measuring ----

TnoxSize TnoxTextMeasurer::TextExtent(const QFont& AFont, const QString& AText) {
  const QFontMetrics fm(AFont);
  return {fm.horizontalAdvance(AText), fm.height()};
}

TnoxRect TnoxTextMeasurer::TextRect(const QFont& AFont, const TnoxRect& ARect, const QString& AText, bool AWordWrap) {
  const QFontMetrics fm(AFont);
  const int width = AWordWrap ? std::max(1, ARect.Width()) : 1 << 20;
  const QRect r = fm.boundingRect(QRect(ARect.Left, ARect.Top, width, 1 << 20),
                                  Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs | (AWordWrap ? Qt::TextWordWrap : 0),
                                  AText);
  return noxBounds(ARect.Left, ARect.Top, r.width(), AText.isEmpty() ? 0 : r.height());
}

namespace {
TnoxTextMeasurer GDefaultMeasurer;
TnoxTextMeasurer* GMeasurer = nullptr;
TnoxShellModalPresenter GDefaultPresenter;
TnoxShellModalPresenter* GPresenter = nullptr;
}  // namespace

TnoxTextMeasurer* GetTextMeasurer() { return GMeasurer ? GMeasurer : &GDefaultMeasurer; }
void SetTextMeasurer(TnoxTextMeasurer* AMeasurer) { GMeasurer = AMeasurer; }

// ---- modal showing ----

int32_t TnoxShellModalPresenter::ShowModal(TnoxShellBaseUIForm& AForm) { return AForm.RunModalLoop(); }
void TnoxShellModalPresenter::MessageBeep(uint32_t) { QApplication::beep(); }

TnoxShellModalPresenter* GetModalPresenter() { return GPresenter ? GPresenter : &GDefaultPresenter; }

TnoxShellModalPresenter* SetModalPresenter(TnoxShellModalPresenter* APresenter) {
  TnoxShellModalPresenter* old = GPresenter;
  GPresenter = APresenter;
  return old;
}

// ---- UI metrics ----

void MeasureFontCharSize(const QFont& AFont, TnoxSize& ASize, double& AAverageWidth, double& AAverageHeight) {
  const TnoxSize e = GetTextMeasurer()->TextExtent(AFont, QString::fromLatin1(noxAverageCharText));
  ASize = {e.Width / 52, e.Height};
  AAverageWidth = e.Width / 52.0;
  AAverageHeight = e.Height;
}

TnoxShellUI::TnoxShellUI(const QWidget* AWnd, int32_t ADpiX, int32_t ADpiY) {
  if (ADpiX == 0 || ADpiY == 0) {
    ADpiX = ADpiY = AWnd ? GetDpiForWindowOrDefault(AWnd) : GetDpiForSystemOrDefault();
  }
  DpiX = ADpiX;
  DpiY = ADpiY;
  UpdateFont();
}

QFont TnoxShellUI::CreateMessageFont() {
  // The system message font, expressed in pixels at the system DPI and rescaled
  // when the metrics are for another DPI.
  QFont f = QApplication::font();
  const int32_t system = GetDpiForSystemOrDefault();
  int32_t px = f.pixelSize();
  if (px <= 0) px = static_cast<int32_t>(Round(f.pointSizeF() * system / 72.0));
  if (DpiY != system) px = MulDiv(px, DpiY, system);
  f.setPixelSize(std::max(1, px));
  return f;
}

void TnoxShellUI::UpdateFont() { SetFont(CreateMessageFont()); }

void TnoxShellUI::SetFont(const QFont& AFont) {
  Font = AFont;
  FontChanged();
}

void TnoxShellUI::FontChanged() {
  const TnoxSize e = GetTextMeasurer()->TextExtent(Font, QString::fromLatin1(noxAverageCharText));
  SetMeasuredExtent(e.Width, e.Height);
}

int32_t TnoxShellUI::GetFontHeightValue() const { return -Font.pixelSize(); }

void TnoxShellUI::SetFontHeightValue(int32_t AValue) {
  QFont f = Font;
  f.setPixelSize(std::max(1, -AValue));
  SetFont(f);
}

bool TnoxShellUI::SetDpi(const QWidget* AWnd, int32_t ADpiX, int32_t ADpiY) {
  if (ADpiX == 0 || ADpiY == 0) ADpiX = ADpiY = AWnd ? GetDpiForWindowOrDefault(AWnd) : GetDpiForSystemOrDefault();
  if (ADpiX == DpiX && ADpiY == DpiY) return false;
  DpiX = ADpiX;
  DpiY = ADpiY;
  SetFont(CreateMessageFont());
  return true;
}

void TnoxShellUI::AutoSizeButton(QAbstractButton* AButton) {
  if (!AButton) return;
  // No visual-style fonts: the button's own font measures both.
  TnoxSize avg;
  double aw, ah;
  MeasureFontCharSize(AButton->font(), avg, aw, ah);
  const TnoxSize caption = GetTextMeasurer()->TextExtent(AButton->font(), AButton->text());
  TnoxSize s = noxButtonSize(avg.Width, avg.Height, caption);
  if (!AButton->icon().isNull()) s.Width += AButton->iconSize().width();
  AButton->resize(s.Width, s.Height);
}

int32_t TnoxShellUI::AutoSizeButtons(const std::vector<QAbstractButton*>& AButtons) {
  int32_t w = 0;
  for (auto* b : AButtons) {
    AutoSizeButton(b);
    w = std::max(w, b->width());
  }
  for (auto* b : AButtons) b->resize(w, b->height());
  return w;
}

int32_t TnoxShellUI::AutoSizeButtonList(const QList<QAbstractButton*>& AList) {
  return AutoSizeButtons(std::vector<QAbstractButton*>(AList.begin(), AList.end()));
}

void TnoxShellUI::AutoSizeTwoButtons(QAbstractButton* A, QAbstractButton* B) { AutoSizeButtons({A, B}); }

void TnoxShellUI::AutoSizeThreeButtons(QAbstractButton* A, QAbstractButton* B, QAbstractButton* C) {
  AutoSizeButtons({A, B, C});
}

void TnoxShellUI::AutoSizeCheckBox(QAbstractButton* ACheckBox) { AutoSizeGlyphButton(ACheckBox, 3, 5); }

void TnoxShellUI::AutoSizeGlyphButton(QAbstractButton* AControl, int32_t, int32_t) {
  if (!AControl) return;
  const QString text = QLatin1Char(' ') + AControl->text();
  // The glyph is what the style draws before the caption: its indicator and
  // the gap to the text (the classic 13 x 13 box is smaller than most).
  QStyleOptionButton opt;
  opt.initFrom(AControl);
  const QStyle* st = AControl->style();
  const bool radio = qobject_cast<QRadioButton*>(AControl) != nullptr;
  const TnoxSize classic = GetCheckBoxGlyphSize();
  const TnoxSize glyph{
      std::max(classic.Width,
               st->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, &opt, AControl) +
                   st->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing, &opt,
                                   AControl)),
      std::max(classic.Height, st->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight,
                                               &opt, AControl))};
  const TnoxSize t = GetTextMeasurer()->TextExtent(AControl->font(), text);
  const TnoxSize s = noxGlyphButtonSize(glyph, t, text.size() > 1);
  // Never smaller than the control asks for itself (the style's focus frame
  // and margins around glyph and caption).
  const QSize hint = AControl->sizeHint();
  AControl->resize(std::max(s.Width, hint.width()), std::max(s.Height, hint.height()));
}

namespace {
// The border between a control's outer edge and its text area.
int32_t ClientInset(const QWidget* AControl) {
  if (qobject_cast<const QLineEdit*>(AControl))
    return AControl->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, AControl);
  if (auto* f = qobject_cast<const QFrame*>(AControl)) return f->frameWidth();
  return 0;
}
}  // namespace

void TnoxShellUI::AutoSizeEditHeight(QWidget* AControl) {
  if (!AControl) return;
  const TnoxSize e = GetTextMeasurer()->TextExtent(AControl->font(), QStringLiteral("qW"));
  AControl->resize(AControl->width(), e.Height + 2 * ClientInset(AControl));
}

void TnoxShellUI::AlignToClientTop(QWidget* AControl, QWidget* AReference) {
  if (!AControl || !AReference) return;
  const QPoint screen = AReference->mapToGlobal(QPoint(0, ClientInset(AReference)));
  const QPoint local = AControl->mapFromGlobal(screen);
  AControl->move(AControl->x(), AControl->y() + local.y());
}

void TnoxShellUI::CenterOnComboBox(QWidget* ALabel, QComboBox* ACombo) {
  if (!ALabel || !ACombo) return;
  // A non-editable box is the drop-down list; an editable one the drop-down style.
  ALabel->move(ALabel->x(), noxCenterOnComboBoxTop(ACombo->y(), ACombo->height(), ALabel->height(), true));
}

void TnoxShellUI::SetLineHeight(QWidget* AControl) {
  if (AControl) AControl->resize(AControl->width(), MulDiv(8, CharHeight, 8));
}

void TnoxShellUI::CenterVertically(QWidget* AReference, QWidget* AControl) {
  if (!AReference || !AControl) return;
  AControl->move(AControl->x(), AReference->y() + AReference->height() / 2 - AControl->height() / 2);
}

bool TnoxShellUI::ApplyThemeFont(intptr_t, bool, int32_t, int32_t, int32_t, QFont&) { return false; }

// ---- base form ----

TnoxShellBaseUIForm::TnoxShellBaseUIForm(QWidget* AParent) : QWidget(AParent, Qt::Window) {}

TnoxShellBaseUIForm::~TnoxShellBaseUIForm() {
  FreeThemeHandle();
  FShellUI.reset();
}

std::unique_ptr<TnoxShellUI> TnoxShellBaseUIForm::CreateShellUI() {
  return std::make_unique<TnoxShellUI>(this, 0, 0);
}

TnoxShellUI* TnoxShellBaseUIForm::GetShellUI() {
  if (!FShellUI) FShellUI = CreateShellUI();
  return FShellUI.get();
}

void TnoxShellBaseUIForm::AfterConstruction() {
  FreeThemeHandle();
  ThemeChanged();
  GetShellUI()->SetSingleDpi(this, 0);
  setFont(GetShellUI()->Font);
  FInitialized = true;
  RefreshUI();
}

void TnoxShellBaseUIForm::RescaleUI(int32_t ADpiX, int32_t ADpiY) {
  if (!IsInitialized()) return;
  GetShellUI()->SetDpi(this, ADpiX, ADpiY);
  ApplyUI();
}

void TnoxShellBaseUIForm::ApplyUI() {
  setFont(GetShellUI()->Font);
  ResizeControls();
  ArrangeControls();
  update();
}

void TnoxShellBaseUIForm::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  if (!CanArrange()) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(FInArrange);
  ArrangeControls();
  update();
}

void TnoxShellBaseUIForm::changeEvent(QEvent* AEvent) {
  QWidget::changeEvent(AEvent);
  if ((AEvent->type() == QEvent::ThemeChange || AEvent->type() == QEvent::ApplicationFontChange) && FInitialized) {
    GetShellUI()->UpdateFont();
    FreeThemeHandle();
    ThemeChanged();
    RefreshUI();
    update();
  }
}

void TnoxShellBaseUIForm::closeEvent(QCloseEvent* AEvent) {
  if (!FCloseEnabled) {
    AEvent->ignore();
    return;
  }
  if (FModalLoop && FModalResult == 0) FModalResult = 2;
  QWidget::closeEvent(AEvent);
  if (FModalLoop) FModalLoop->quit();
}

int32_t TnoxShellBaseUIForm::ShowModal() { return GetModalPresenter()->ShowModal(*this); }

int32_t TnoxShellBaseUIForm::RunModalLoop() {
  FModalResult = 0;
  setWindowModality(Qt::ApplicationModal);
  show();
  QEventLoop loop;
  FModalLoop = &loop;
  if (FModalResult == 0) loop.exec();
  FModalLoop = nullptr;
  hide();
  return FModalResult;
}

void TnoxShellBaseUIForm::SetModalResult(int32_t AResult) {
  FModalResult = AResult;
  if (AResult != 0 && FModalLoop) FModalLoop->quit();
}
