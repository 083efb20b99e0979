#include "shell/qt/noxShellLabel.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeySequence>
#include <QPainter>
#include <QShortcut>
#include <QStyle>

#include "shell/qt/noxShellForm.h"

namespace {

// The text as DrawText shows it: with prefix processing a lone '&' marks the
// next character and "&&" stands for one '&'.
QString WithoutPrefixes(const QString& AText, bool AProcessPrefix) {
  if (!AProcessPrefix) return AText;
  QString s;
  for (qsizetype i = 0; i < AText.size(); ++i) {
    if (AText[i] == QLatin1Char('&')) {
      if (i + 1 < AText.size()) s += AText[++i];
      continue;
    }
    s += AText[i];
  }
  return s;
}

// The accelerator of a caption: the character after a lone '&'.
QChar Accelerator(const QString& ACaption) {
  for (qsizetype i = 0; i + 1 < ACaption.size(); ++i) {
    if (ACaption[i] != QLatin1Char('&')) continue;
    if (ACaption[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return ACaption[i + 1];
  }
  return QChar();
}

}  // namespace

TLabel::TLabel(QWidget* AParent) : QWidget(AParent) {
  resize(65, 17);
  // No visual-style engine draws text here: the label is opaque by default.
  FTransparent = false;
  FKeyboardCuesVisible = style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this) != 0;
  FConstructing = false;
}

void TLabel::SetCaption(const QString& AValue) {
  if (AValue == FCaption) return;
  FCaption = AValue;
  UpdateShortcut();
  update();
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment AValue) {
  if (AValue == FAlignment) return;
  FAlignment = AValue;
  update();
}

void TLabel::SetAutoSize(bool AValue) {
  if (AValue == FAutoSize) return;
  FAutoSize = AValue;
  FEllipsisPosition = epNone;
  AdjustBounds();
}

void TLabel::SetEllipsisPosition(TEllipsisPosition AValue) {
  if (AValue == FEllipsisPosition) return;
  FEllipsisPosition = AValue;
  FAutoSize = false;
  update();
}

void TLabel::SetFocusControl(QWidget* AValue) { FFocusControl = AValue; }

void TLabel::SetGlowSize(int32_t AValue) {
  if (AValue == FGlowSize) return;
  FGlowSize = AValue;
  update();
}

void TLabel::SetLayout(TTextLayout AValue) {
  if (AValue == FLayout) return;
  FLayout = AValue;
  update();
}

void TLabel::SetShowAccelChar(bool AValue) {
  if (AValue == FShowAccelChar) return;
  FShowAccelChar = AValue;
  UpdateShortcut();
  update();
}

void TLabel::SetTransparent(bool AValue) {
  if (AValue == FTransparent) return;
  FTransparent = AValue;
  update();
}

void TLabel::SetWordWrap(bool AValue) {
  if (AValue == FWordWrap) return;
  FWordWrap = AValue;
  AdjustBounds();
  update();
}

QColor TLabel::GetColor() const { return palette().color(QPalette::Window); }

void TLabel::SetColor(const QColor& AValue) {
  QPalette p = palette();
  p.setColor(QPalette::Window, AValue);
  setPalette(p);
  update();
}

QString TLabel::GetLabelText() const { return FCaption; }

uint32_t TLabel::AlignmentFlag() const {
  switch (FAlignment) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

uint32_t TLabel::EllipsisFlag() const {
  switch (FEllipsisPosition) {
    case epPathEllipsis: return DT_PATH_ELLIPSIS;
    case epEndEllipsis: return DT_END_ELLIPSIS;
    case epWordEllipsis: return DT_WORD_ELLIPSIS;
    default: return 0;
  }
}

int32_t TLabel::FontHeightValue() const {
  const int px = font().pixelSize() > 0 ? font().pixelSize() : QFontInfo(font()).pixelSize();
  return -px;
}

void TLabel::UpdateShortcut() {
  const QChar key = FShowAccelChar ? Accelerator(FCaption) : QChar();
  if (key.isNull()) {
    delete FShortcut;
    FShortcut = nullptr;
    return;
  }
  if (!FShortcut) {
    FShortcut = new QShortcut(this);
    FShortcut->setContext(Qt::WindowShortcut);
    QObject::connect(FShortcut, &QShortcut::activated, this, [this]() { DialogChar(Accelerator(FCaption)); });
  }
  FShortcut->setKey(QKeySequence::mnemonic(FCaption));
}

bool TLabel::DialogChar(QChar AChar) {
  if (!FFocusControl || !isEnabled() || !FShowAccelChar) return false;
  const QChar key = Accelerator(FCaption);
  if (key.isNull() || key.toUpper() != AChar.toUpper()) return false;
  QWidget* target = FFocusControl;
  if (!target->isVisible() || !target->isEnabled() || target->focusPolicy() == Qt::NoFocus) return false;
  target->setFocus(Qt::ShortcutFocusReason);
  return true;
}

void TLabel::UpdateUIState(int AAction, int AFlags) {
  if (!(AFlags & UISF_HIDEACCEL)) return;
  bool v = FKeyboardCuesVisible;
  if (AAction == UIS_SET)
    v = false;
  else if (AAction == UIS_CLEAR)
    v = true;
  if (v != FKeyboardCuesVisible) {
    FKeyboardCuesVisible = v;
    update();
  }
}

QString TLabel::ShortenedText(const TnoxRect& ARect, uint32_t AFlags) {
  QString T = GetLabelText();
  if (FEllipsisPosition == epNone || FAutoSize || T.isEmpty()) return T;
  TnoxTextMeasurer* m = GetTextMeasurer();
  const bool prefix = !(AFlags & DT_NOPREFIX);
  QString D = T;
  if (FWordWrap && (FEllipsisPosition == epEndEllipsis || FEllipsisPosition == epWordEllipsis)) {
    const int32_t dots = m->TextExtent(font(), QStringLiteral("...")).Width;
    for (;;) {
      TnoxRect N = ARect;
      N.Right -= dots;
      N = m->TextRect(font(), N, WithoutPrefixes(D, prefix), true);
      const int32_t h = N.Height();
      if (!(h > height() && h > FontHeightValue())) break;
      const qsizetype blank = std::max(T.lastIndexOf(QLatin1Char(' ')), T.lastIndexOf(QLatin1Char('\t')));
      if (blank >= 0) {
        T.truncate(blank);
      } else {
        T.chop(1);
        if (!T.isEmpty() && T.back().isHighSurrogate()) T.chop(1);
      }
      D = T + QStringLiteral("...");
      if (T.isEmpty()) break;
    }
  }
  if (!T.isEmpty()) T = D;
  return T;
}

void TLabel::DrawTextLine(const QString& AText, const TnoxRect& ARect, uint32_t AFlags, const QColor& AColor) {
  QPainter& p = *FCanvas;
  int qflags = Qt::AlignTop | Qt::TextExpandTabs;
  qflags |= (AFlags & DT_RIGHT) ? Qt::AlignRight : (AFlags & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  if (AFlags & DT_WORDBREAK) qflags |= Qt::TextWordWrap;
  if (!(AFlags & DT_NOPREFIX)) qflags |= (AFlags & DT_HIDEPREFIX) ? Qt::TextHideMnemonic : Qt::TextShowMnemonic;
  QString text = AText;
  const uint32_t ellipsis = AFlags & (DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);
  if (ellipsis && !(AFlags & DT_WORDBREAK))
    text = QFontMetrics(font()).elidedText(text, ellipsis == DT_PATH_ELLIPSIS ? Qt::ElideMiddle : Qt::ElideRight,
                                           ARect.Width(), qflags);
  p.setPen(AColor);
  p.drawText(QRect(ARect.Left, ARect.Top, ARect.Width(), ARect.Height()), qflags, text);
}

void TLabel::DoDrawText(TnoxRect& ARect, uint32_t AFlags) {
  QString T = GetLabelText();
  if (((AFlags & DT_CALCRECT) && T.isEmpty()) || (FShowAccelChar && T == QLatin1String("&"))) T += QLatin1Char(' ');
  if (T.isEmpty()) return;
  if (!FShowAccelChar)
    AFlags |= DT_NOPREFIX;
  else if (!FKeyboardCuesVisible)
    AFlags |= DT_HIDEPREFIX;
  if (layoutDirection() == Qt::RightToLeft && (AFlags & (DT_RIGHT | DT_CENTER)) != DT_CENTER)
    AFlags ^= DT_RIGHT;
  if (FEllipsisPosition != epNone && !FAutoSize) {
    AFlags &= ~DT_EXPANDTABS;
    AFlags |= EllipsisFlag();
    T = ShortenedText(ARect, AFlags);
    if (T.isEmpty()) return;
  }
  if (AFlags & DT_CALCRECT) {
    ARect = GetTextMeasurer()->TextRect(font(), ARect, WithoutPrefixes(T, !(AFlags & DT_NOPREFIX)),
                                        (AFlags & DT_WORDBREAK) != 0);
    return;
  }
  if (!FCanvas) return;
  if (isEnabled()) {
    DrawTextLine(T, ARect, AFlags, palette().color(QPalette::WindowText));
  } else {
    // Disabled without a visual style: embossed, highlight first, shadow on top.
    TnoxRect r = noxRect(ARect.Left + 1, ARect.Top + 1, ARect.Right + 1, ARect.Bottom + 1);
    DrawTextLine(T, r, AFlags, palette().color(QPalette::Light));
    DrawTextLine(T, ARect, AFlags, palette().color(QPalette::Dark));
  }
}

void TLabel::AdjustBounds() {
  if (FConstructing || !FAutoSize) return;
  TnoxRect R = noxRect(0, 0, width(), height());
  DoDrawText(R, DT_EXPANDTABS | DT_CALCRECT | (FWordWrap ? DT_WORDBREAK : 0) | DT_COMPOSITED);
  int32_t X = x();
  TAlignment a = FAlignment;
  if (layoutDirection() == Qt::RightToLeft && a != taCenter) a = a == taLeftJustify ? taRightJustify : taLeftJustify;
  if (a == taRightJustify) X += width() - R.Right;
  setGeometry(X, y(), R.Right, R.Bottom);
}

void TLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FCanvas = &painter;
  TnoxRect R = noxRect(0, 0, width(), height());
  if (!FTransparent) painter.fillRect(rect(), GetColor());
  const uint32_t F = (FWordWrap ? DT_WORDBREAK : 0) | DT_EXPANDTABS | AlignmentFlag();
  if (FLayout != tlTop) {
    TnoxRect C = R;
    DoDrawText(C, F | DT_CALCRECT);
    int32_t dy = height() - C.Bottom;
    if (FLayout == tlCenter) dy /= 2;
    R.Top += dy;
    R.Bottom += dy;
  }
  DoDrawText(R, F);
  FCanvas = nullptr;
}

void TLabel::changeEvent(QEvent* AEvent) {
  QWidget::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange) AdjustBounds();
  if (AEvent->type() == QEvent::EnabledChange) update();
}
