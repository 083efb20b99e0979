#include "shell/qt/noxShellDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyle>
#include <algorithm>
#include <map>

#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellLang.h"
#include "shell/noxShellStrings.h"
#include "shell/qt/noxShellFormUtils.h"
#include "shell/qt/noxShellLabel.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
QRect ToQRect(const TnoxRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
}  // namespace

// ---- buttons ----

TnoxShellDialogButton::TnoxShellDialogButton(QWidget* AParent) : QPushButton(AParent) { setAutoDefault(false); }

// ---- dialog form ----

QColor TnoxShellCustomDialogForm::ContentColor() { return QApplication::palette().color(QPalette::Base); }
QColor TnoxShellCustomDialogForm::FooterLineColor() {
  return QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
}
QColor TnoxShellCustomDialogForm::FooterColor() { return QApplication::palette().color(QPalette::Button); }

TnoxShellCustomDialogForm::TnoxShellCustomDialogForm(QWidget* AOwnerWnd, QWidget* AParentWnd)
    : TnoxShellUIForm(AOwnerWnd, AParentWnd) {
  // The dialog border: fixed size, no maximize box.
  SetSizeable(false);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  QPalette p = palette();
  p.setColor(QPalette::Window, ContentColor());
  setPalette(p);
  FVerificationCheckBox = new QCheckBox(this);
  QPalette cp = FVerificationCheckBox->palette();
  cp.setColor(QPalette::Window, FooterColor());
  FVerificationCheckBox->setPalette(cp);
  FVerificationCheckBox->setVisible(false);
}

TnoxShellCustomDialogForm::~TnoxShellCustomDialogForm() { FreeThemeHandle(); }

void TnoxShellCustomDialogForm::AfterConstruction() { TnoxShellUIForm::AfterConstruction(); }

int32_t TnoxShellCustomDialogForm::ShowDialog(bool* AChecked) {
  if (AChecked) FVerificationCheckBox->setChecked(*AChecked);
  const int32_t result = ShowModal();
  if (AChecked) *AChecked = FVerificationCheckBox->isChecked();
  return result;
}

TnoxShellDialogButton* TnoxShellCustomDialogForm::NewButton() {
  auto* b = new TnoxShellDialogButton(this);
  QObject::connect(b, &QPushButton::clicked, this, [this, b]() {
    if (b->ModalResult != 0) SetModalResult(b->ModalResult);
  });
  b->show();
  FButtons.push_back(b);
  RefreshUI();
  return b;
}

TnoxShellDialogButton* TnoxShellCustomDialogForm::AddButton(const QString& ACaption, int32_t AModalResult,
                                                            bool ADefault, bool ACancel) {
  TnoxShellDialogButton* b = NewButton();
  b->setText(ACaption);
  b->ModalResult = AModalResult;
  b->setDefault(ADefault);
  b->Cancel = ACancel;
  if (ADefault) b->setFocus();
  return b;
}

TnoxShellDialogButton* TnoxShellCustomDialogForm::AddOKButton(const QString& ACaption, bool ADefault, bool ACancel) {
  return AddButton(ACaption.isEmpty() ? Q(LoadUser32String(800)) : ACaption, IDOK, ADefault, ACancel);
}

TnoxShellDialogButton* TnoxShellCustomDialogForm::AddCancelButton(const QString& ACaption, bool ADefault,
                                                                  bool ACancel) {
  return AddButton(ACaption.isEmpty() ? Q(LoadUser32String(801)) : ACaption, IDCANCEL, ADefault, ACancel);
}

void TnoxShellCustomDialogForm::SetContentText(const QString& AText) {
  std::vector<std::string> paragraphs;
  for (const QString& p : FParagraphs) paragraphs.push_back(S(p));
  noxSplitContentText(S(AText), paragraphs);
  FParagraphs.clear();
  for (const auto& p : paragraphs) FParagraphs.push_back(Q(p));
  FParagraphRects.resize(FParagraphs.size());
}

void TnoxShellCustomDialogForm::AddSeparator(TnoxRect& ARect) {
  const int32_t step = FLineHeight + GetShellUI()->UnrelatedSpacingY;
  if (!FSeparatorTops.empty() && FSeparatorTops.back() + step == ARect.Bottom) return;
  FSeparatorTops.push_back(ARect.Bottom);
  ARect.Bottom += step;
}

void TnoxShellCustomDialogForm::AddSeparatorAt(int32_t& ATop) {
  const int32_t gap = GetShellUI()->UnrelatedSpacingY;
  ATop += gap;
  FSeparatorTops.push_back(ATop);
  ATop += FLineHeight + gap;
}

void TnoxShellCustomDialogForm::RemoveTrailingSeparator(TnoxRect& ARect) {
  const int32_t step = FLineHeight + GetShellUI()->UnrelatedSpacingY;
  if (!FSeparatorTops.empty() && FSeparatorTops.back() + step == ARect.Bottom) {
    FSeparatorTops.pop_back();
    ARect.Bottom -= step;
  }
}

void TnoxShellCustomDialogForm::AddOperationLog(const QStringList* ALog) {
  if (!ALog || ALog->isEmpty()) return;
  FLogLabel = new TLabel(this);
  FLogLabel->SetCaption(Q(GetShellText(11)));
  FLogLabel->SetTransparent(true);
  FLogMemo = new QPlainTextEdit(this);
  FLogMemo->setReadOnly(true);
  FLogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  FLogMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FLogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FLogMemo->setPlainText(ALog->join(QLatin1Char('\n')));
}

int32_t TnoxShellCustomDialogForm::GetDefaultWidth() {
  if (GetInitialClientSize().Width == 0 || FLogMemo) return GetShellUI()->CharsToWidth(75);
  return GetLayoutClientWidth();
}

int32_t TnoxShellCustomDialogForm::GetContentWidth() {
  if (GetInitialClientSize().Width != 0) return GetLayoutClientWidth();
  return GetShellUI()->CharsToWidth(75);
}

QIcon TnoxShellCustomDialogForm::GetDialogIcon(int32_t, int32_t) { return QIcon(); }

void TnoxShellCustomDialogForm::LayoutCustomArea(TnoxRect& ARect) { ARect.Bottom = ARect.Top; }

QIcon TnoxShellCustomDialogForm::LoadStockIcon(uint8_t AKind, int32_t, int32_t) {
  QStyle::StandardPixmap sp;
  switch (AKind) {
    case 1: sp = QStyle::SP_MessageBoxCritical; break;
    case 2: sp = QStyle::SP_MessageBoxQuestion; break;
    case 3: sp = QStyle::SP_MessageBoxWarning; break;
    case 4: sp = QStyle::SP_MessageBoxInformation; break;
    default: return QIcon();
  }
  return QApplication::style()->standardIcon(sp);
}

void TnoxShellCustomDialogForm::ThemeChanged() {
  // No visual-style engine: the dialog is drawn with system colours.
  if (ThemesActive()) {
    FTaskDialogTheme = OpenThemeDataForDpi(this, "TASKDIALOG", GetDpiForWindowOrDefault(this), false);
    FTaskDialogThemeForDpi = FTaskDialogTheme != 0;
    if (!FTaskDialogTheme) FTaskDialogTheme = OpenThemeData(this, "TASKDIALOG");
  } else {
    FTaskDialogTheme = 0;
    FTaskDialogThemeForDpi = false;
  }
}

void TnoxShellCustomDialogForm::FreeThemeHandle() {
  if (FTaskDialogTheme) {
    CloseThemeData(FTaskDialogTheme);
    FTaskDialogTheme = 0;
  }
}

void TnoxShellCustomDialogForm::ResizeControls() {
  TnoxShellUI* ui = GetShellUI();
  FIcon = QIcon();
  const int32_t w = GetSystemMetricsForDpiOrDefault(SM_CXICON, ui->DpiX, true);
  const int32_t h = GetSystemMetricsForDpiOrDefault(SM_CYICON, ui->DpiY, true);
  try {
    FIcon = GetDialogIcon(w, h);
  } catch (...) {
    FIcon = QIcon();  // a dialog whose icon cannot be had shows none
  }
  FIconLeft = ui->MarginX;
  FIconTop = ui->MarginY;
  FIconWidth = FIcon.isNull() ? 0 : w;
  FIconHeight = FIcon.isNull() ? 0 : h;
  if (!MainInstruction.isEmpty()) {
    FInstructionFont = font();
    FInstructionFont.setBold(true);
  }
  FContentFont = font();
  if (FLogMemo) {
    const int32_t frame = FLogMemo->height() - FLogMemo->viewport()->height();
    FLogMemo->resize(FLogMemo->width(), ui->LinesToHeight(6) + std::max(0, frame));
  }
  FLineHeight = 1;
  // One common width per tag group.
  std::vector<bool> grouped(FButtons.size(), false);
  for (size_t i = 0; i < FButtons.size(); ++i) {
    if (grouped[i]) continue;
    QList<QAbstractButton*> group;
    for (size_t j = i; j < FButtons.size(); ++j)
      if (!grouped[j] && FButtons[j]->Tag == FButtons[i]->Tag) {
        grouped[j] = true;
        group.push_back(FButtons[j]);
      }
    ui->AutoSizeButtonList(group);
  }
  if (!FVerificationCheckBox->text().isEmpty()) ui->AutoSizeCheckBox(FVerificationCheckBox);
}

namespace {
TnoxRect Measure(const QFont& AFont, int32_t ALeft, int32_t ATop, int32_t ARight, const QString& AText, bool AWrap) {
  return GetTextMeasurer()->TextRect(AFont, noxRect(ALeft, ATop, ARight, ATop), AText, AWrap);
}
}  // namespace

void TnoxShellCustomDialogForm::AutoWidth(int32_t& W, int32_t ATextLeft, int32_t AY) {
  TnoxShellUI* ui = GetShellUI();
  const int32_t MX = ui->MarginX;
  TnoxMonitorInfo info;
  const int32_t workWidth = GetMonitorInfo(MonitorFromWindow(this), info) ? info.Work.Width() : 1024;
  const int32_t minWidth = GetDefaultWidth();
  const int32_t maxWidth = MulDiv(workWidth, 1, 2);
  auto clamp = [&](int32_t v) { return std::min(std::max(v, minWidth), maxWidth); };
  int32_t NW = W;
  if (!MainInstruction.isEmpty()) {
    FInstructionRect = Measure(FInstructionFont, ATextLeft, AY, NW - MX, MainInstruction, false);
    NW = std::max(NW, clamp(FInstructionRect.Right + MX));
  }
  for (size_t i = 0; i < FParagraphs.size(); ++i) {
    if (FParagraphs[i].isEmpty()) continue;
    FContentFont = font();
    FParagraphRects[i] = Measure(FContentFont, ATextLeft, FInstructionRect.Bottom, NW - MX, FParagraphs[i], false);
    NW = std::max(NW, clamp(FParagraphRects[i].Right + MX));
  }
  if (!MainInstruction.isEmpty()) {
    FInstructionRect = Measure(FInstructionFont, ATextLeft, AY, NW - MX, MainInstruction, true);
    W = std::min(std::max(W, FInstructionRect.Right + MX), workWidth);
  }
  for (size_t i = 0; i < FParagraphs.size(); ++i) {
    if (FParagraphs[i].isEmpty()) continue;
    FParagraphRects[i] = Measure(FContentFont, ATextLeft, FInstructionRect.Bottom, NW - MX, FParagraphs[i], true);
    W = std::min(std::max(W, FParagraphRects[i].Right + MX), workWidth);
  }
}

void TnoxShellCustomDialogForm::ArrangeControls() {
  TnoxShellUI* ui = GetShellUI();
  const int32_t MX = ui->MarginX, MY = ui->MarginY, UX = ui->UnrelatedSpacingX, UY = ui->UnrelatedSpacingY;
  const int32_t BX = ui->ButtonSpacingX, BY = ui->ButtonSpacingY;
  QCheckBox* cb = FVerificationCheckBox;
  const bool cbVisible = !cb->text().isEmpty();
  cb->setVisible(cbVisible);
  int32_t buttonsWidth = 0;
  bool anyLeft = false;
  if (!FButtons.empty()) {
    buttonsWidth = (ButtonCount() - 1) * BX + 2 * MX;
    for (auto* b : FButtons) {
      buttonsWidth += b->width();
      anyLeft |= b->LeftAligned;
    }
  }
  const int32_t textLeft = FIconWidth > 0 ? FIconLeft + FIconWidth + UX : MX;
  int32_t Y = MY;
  int32_t W = buttonsWidth;
  if (cbVisible) W = std::max(buttonsWidth, cb->width() + 2 * MX);
  const int32_t CW = GetContentWidth();
  W = std::max(W, CW);
  W = std::max(W, GetDefaultWidth());
  if (CW == 0) AutoWidth(W, textLeft, Y);

  const bool cbOwnRow = cbVisible && (anyLeft || 2 * MX + cb->width() + UX + buttonsWidth > W);
  int32_t F = 0;
  if (cbVisible || !FButtons.empty()) {
    F = FLineHeight + MY;
    if (cbOwnRow) F += cb->height() + BY;
    if (!FButtons.empty()) F += FButtons.front()->height() + BY;
    F -= BY;
    F += MY;
  }
  ClearSeparators();
  if (!MainInstruction.isEmpty()) {
    FInstructionRect = Measure(FInstructionFont, textLeft, Y, W - MX, MainInstruction, true);
    Y = FInstructionRect.Bottom;
  }
  bool placed = false;
  for (size_t i = 0; i < FParagraphs.size(); ++i) {
    if (FParagraphs[i].isEmpty()) continue;
    if (placed) AddSeparatorAt(Y);
    FContentFont = font();
    FParagraphRects[i] = Measure(FContentFont, textLeft, Y, W - MX, FParagraphs[i], true);
    Y = FParagraphRects[i].Bottom;
    placed = true;
  }
  TnoxRect R;
  R.Left = textLeft;
  R.Top = Y == MY ? Y : Y + UY;
  R.Right = W - MX;
  R.Bottom = GetLayoutClientHeight() - F;
  FSeparatorLeft = R.Left;
  FSeparatorWidth = R.Width();
  SetLayoutClientWidth(W);
  LayoutCustomArea(R);
  SetLayoutClientWidth(W);
  if (FLogMemo) {
    FLogLabel->move(R.Left, R.Bottom);
    R.Bottom += FLogLabel->height() + ui->RelatedSpacingY;
    FLogMemo->setGeometry(R.Left, R.Bottom, R.Width(), FLogMemo->height());
    R.Bottom += FLogMemo->height() + UY;
  }
  RemoveTrailingSeparator(R);
  Y = std::max(R.Bottom - UY, FIconTop + FIconHeight);
  FContentBottom = Y + MY;

  Y = FContentBottom + FLineHeight + MY;
  if (cbVisible) {
    cb->move(MX, Y);
    if (cbOwnRow) Y += cb->height() + BY;
  }
  int32_t X = MX;
  if (anyLeft)
    for (auto* b : FButtons)
      if (b->LeftAligned) {
        b->move(X, Y);
        X += b->width() + BX;
      }
  X = W - MX;
  for (auto it = FButtons.rbegin(); it != FButtons.rend(); ++it) {
    if ((*it)->LeftAligned) continue;
    (*it)->move(X - (*it)->width(), Y);
    X -= (*it)->width() + BX;
  }
  SetLayoutClientHeight(FContentBottom + F);
}

void TnoxShellCustomDialogForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int32_t w = width(), h = height();
  p.fillRect(QRect(0, 0, w, FContentBottom), ContentColor());
  p.fillRect(QRect(0, FContentBottom, w, FLineHeight), FooterLineColor());
  p.fillRect(QRect(0, FContentBottom + FLineHeight, w, h - FContentBottom - FLineHeight), FooterColor());
  if (!FIcon.isNull()) FIcon.paint(&p, QRect(FIconLeft, FIconTop, FIconWidth, FIconHeight));
  p.setPen(palette().color(QPalette::WindowText));
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  if (!MainInstruction.isEmpty()) {
    p.setFont(FInstructionFont);
    p.drawText(ToQRect(FInstructionRect), flags, MainInstruction);
  }
  p.setFont(FContentFont);
  for (size_t i = 0; i < FParagraphs.size(); ++i)
    if (!FParagraphs[i].isEmpty()) p.drawText(ToQRect(FParagraphRects[i]), flags, FParagraphs[i]);
  for (int32_t y : FSeparatorTops) p.fillRect(QRect(FSeparatorLeft, y, FSeparatorWidth, FLineHeight), FooterLineColor());
}

void TnoxShellCustomDialogForm::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->modifiers() == Qt::NoModifier || AEvent->modifiers() == Qt::KeypadModifier) {
    if (AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter) {
      for (auto* b : FButtons)
        if (b->isDefault() && b->isEnabled()) {
          b->click();
          return;
        }
    } else if (AEvent->key() == Qt::Key_Escape) {
      for (auto* b : FButtons)
        if (b->Cancel && b->isEnabled()) {
          b->click();
          return;
        }
    }
  }
  TnoxShellUIForm::keyPressEvent(AEvent);
}

void TnoxShellCustomDialogForm::changeEvent(QEvent* AEvent) {
  TnoxShellUIForm::changeEvent(AEvent);
  if (AEvent->type() == QEvent::ApplicationFontChange && IsInitialized()) {
    // The base form has measured the new font and laid the dialog out again.
    KeepWindowOnItsMonitor(this);
    update();
  }
  if (AEvent->type() == QEvent::PaletteChange && IsInitialized()) {
    FreeThemeHandle();
    ThemeChanged();
    RefreshUI();
    KeepWindowOnItsMonitor(this);
    update();
  }
}

void TnoxShellCustomDialogForm::showEvent(QShowEvent* AEvent) {
  TnoxShellUIForm::showEvent(AEvent);
  // A dialog comes to the front when it appears.
  raise();
  activateWindow();
}

// ---- message box ----

TnoxShellMessageBoxForm::TnoxShellMessageBoxForm(QWidget* AOwnerWnd, const QString& ACaption,
                                                 const QString& AInstruction, const QString& AContent,
                                                 const QString& AVerificationText, uint8_t AIconKind,
                                                 const TnoxShellButtonList& AButtons, const QStringList* ALog)
    : TnoxShellCustomDialogForm(AOwnerWnd, AOwnerWnd) {
  setWindowTitle(ACaption);
  MainInstruction = AInstruction;
  SetContentText(AContent);
  FVerificationCheckBox->setText(AVerificationText);
  IconKind = AIconKind;
  std::vector<int32_t> results;
  for (int32_t i = 0; i < AButtons.Count(); ++i) {
    const TnoxShellButton* d = AButtons.GetItem(i);
    TnoxShellDialogButton* b = NewButton();
    b->setText(Q(d->Caption));
    b->ModalResult = d->ModalResult;
    b->setDefault(d->Default);
    b->Cancel = d->Cancel;
    b->Tag = d->Tag;
    if (d->Default) b->setFocus();
    if (d->ModalResult == IDHELP) {
      b->ModalResult = 0;  // help does not close the dialog
      QObject::connect(b, &QPushButton::clicked, this, [this]() { HelpButtonClick(); });
    }
    results.push_back(b->ModalResult);
  }
  SetCloseCommandEnabled(noxKeepCloseCommand(results));
  AddOperationLog(ALog);
}

std::unique_ptr<TnoxShellMessageBoxForm> TnoxShellMessageBoxForm::CreateFromFlags(
    QWidget* AOwnerWnd, const QString& ACaption, const QString& AInstruction, const QString& AContent,
    const QString& AVerificationText, uint32_t AFlags, const QStringList* ALog) {
  std::unique_ptr<TnoxShellMessageBoxForm> form;
  {
    TnoxShellButtonList buttons;
    buttons.AddFromFlags(AFlags);
    form = std::make_unique<TnoxShellMessageBoxForm>(AOwnerWnd, ACaption, AInstruction, AContent, AVerificationText,
                                                     IconKindFromFlags(AFlags), buttons, nullptr);
  }
  form->FCopyAsTextKeys = true;
  form->AddOperationLog(ALog);
  form->AfterConstruction();
  return form;
}

QIcon TnoxShellMessageBoxForm::GetDialogIcon(int32_t AWidth, int32_t AHeight) {
  return IconKind == 0 ? QIcon() : LoadStockIcon(IconKind, AWidth, AHeight);
}

int32_t TnoxShellMessageBoxForm::ShowWithSound(uint32_t AFlags, bool* AChecked) {
  const uint32_t icon = AFlags & 0xF0;
  if (icon == 0x10 || icon == 0x20 || icon == 0x30 || icon == 0x40) GetModalPresenter()->MessageBeep(icon);
  return ShowDialog(AChecked);
}

QString TnoxShellMessageBoxForm::CopyAsText() const {
  std::vector<std::string> paragraphs, captions;
  for (const QString& p : FParagraphs) paragraphs.push_back(S(p));
  for (auto* b : FButtons) captions.push_back(S(b->text()));
  return Q(noxComposeCopyText(S(windowTitle()), S(MainInstruction), paragraphs, S(FVerificationCheckBox->text()),
                              captions));
}

void TnoxShellMessageBoxForm::keyPressEvent(QKeyEvent* AEvent) {
  if (FCopyAsTextKeys && AEvent->key() == Qt::Key_C && AEvent->modifiers() == Qt::ControlModifier) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(CopyAsText());
    GetModalPresenter()->MessageBeep(0);
    return;
  }
  TnoxShellCustomDialogForm::keyPressEvent(AEvent);
}

void TnoxShellMessageBoxForm::HelpButtonClick() {
  // A help request to the window that owns the dialog; the dialog stays open.
  QWidget* owner = GetOwnerWnd();
  if (!owner) return;
  const QPoint global = QCursor::pos();
  QHelpEvent event(QEvent::WhatsThis, owner->mapFromGlobal(global), global);
  QCoreApplication::sendEvent(owner, &event);
}

int32_t ShowShellMessageBox(QWidget* AOwnerWnd, const QString& AInstruction, const QString& AContent,
                            const QString& ACaption, const QString& AVerificationText, uint32_t AFlags,
                            bool* AChecked) {
  const QString caption = ACaption.isEmpty() ? Q(GetProgramFileName()) : ACaption;
  auto form = TnoxShellMessageBoxForm::CreateFromFlags(AOwnerWnd, caption, AInstruction, AContent, AVerificationText,
                                                       AFlags, nullptr);
  return form->ShowWithSound(AFlags, AChecked);
}

int32_t ShowExceptionBox(QWidget* AOwnerWnd, const std::exception& E, const QString& APrefix,
                         const QString& ASuffix, const QString& ACaption, uint32_t AButtons, uint8_t AIconKind) {
  if (IsCancelException(E)) return IDABORT;
  const QString caption = ACaption.isEmpty() ? Q(LoadUser32String(2)) : ACaption;
  const QString text = APrefix + Q(FormatExceptionText(E)) + ASuffix;
  // A warning is a warning whoever reports it.
  if (dynamic_cast<const EWarning*>(&E)) AIconKind = 3;
  const uint32_t flags = (AButtons & 0xF0F) | IconKindToFlags(AIconKind);
  bool checked = false;
  return ShowShellMessageBox(AOwnerWnd, QString(), text, caption, QString(), flags, &checked);
}
