#include "app/qt/KvControls.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <algorithm>

#include "app/KvSource.h"
#include "core/KvPaletteRGB.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/qt/noxShellDataOffer.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellForm.h"

namespace {

QString Q(const std::string& A) { return QString::fromStdString(A); }

std::string TrimmedStd(const QString& A) { return A.trimmed().toStdString(); }

// Shows an exception of a Qt handler in the shell message box.
void ShowError(QWidget* AOwner, const std::exception& E) {
  ShowExceptionBox(AOwner ? AOwner->window() : nullptr, E, QString(), QString(), QString(), 0,
                   dynamic_cast<const EWarning*>(&E) ? 3 : 1);
}

}  // namespace

void TKvDestLinked::SetDest(TKvDest* ADest) {
  if (ADest == FDest) return;
  if (FDest) FDest->RemoveClient(FOwner);
  FDest = ADest;
  if (FDest) FDest->AddClient(FOwner);
}

// ---- separator ----

TKvSeparator::TKvSeparator(QWidget* AParent) : TLabel(AParent), TKvDestLinked(this) {
  SetAlignment(taCenter);
}

void TKvSeparator::paintEvent(QPaintEvent* AEvent) {
  TLabel::paintEvent(AEvent);
  QPainter LPainter(this);
  LPainter.setPen(palette().color(QPalette::WindowText));
  QFontMetrics LMetrics(font());
  QString LText = GetCaption();
  LText.remove('&');
  const int LCaptionWidth = LMetrics.horizontalAdvance(LText);
  const int x1 = (width() - LCaptionWidth) / 2 - 5;
  const int y = height() / 2;
  LPainter.drawLine(-1, y, x1, y);
  LPainter.drawLine(x1 + LCaptionWidth + 10, y, width(), y);
}

// ---- edits ----

TKvEdit::TKvEdit(QWidget* AParent) : TnoxShellEdit(AParent), TKvDestLinked(this) {
  FTimer = new QTimer(this);
  FTimer->setInterval(2000);
  FTimer->setSingleShot(false);
  connect(FTimer, &QTimer::timeout, this, [this] { ApplyChange(); });
  connect(this, &QLineEdit::textChanged, this, [this] { TextEdited(); });
}

TKvEdit::~TKvEdit() {
  // A pending change is dropped without firing.
  delete FTimer;
  FTimer = nullptr;
  OnChange = nullptr;
  SetDest(nullptr);
}

std::string TKvEdit::GetTrimmedText() const { return TrimmedStd(text()); }

void TKvEdit::SetTrimmedText(const std::string& AText) { setText(Q(AText).trimmed()); }

bool TKvEdit::TextReallyChanged() {
  const std::string LText = GetTrimmedText();
  if (LText == FLastText) return false;
  FLastText = LText;
  return true;
}

void TKvEdit::TextEdited() {
  if (FSettingFromCode || !FTimer) return;
  if (!TextReallyChanged()) return;
  FChangePending = true;
  FTimer->stop();
  FTimer->start();
}

void TKvEdit::ApplyChange() {
  if (FTimer) FTimer->stop();
  if (!FChangePending) return;
  FChangePending = false;
  try {
    if (OnChange) OnChange(this);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
}

void TKvEdit::focusOutEvent(QFocusEvent* AEvent) {
  ApplyChange();
  TnoxShellEdit::focusOutEvent(AEvent);
}

TKvIntEdit::TKvIntEdit(QWidget* AParent, int AMin, int AMax) : TKvEdit(AParent), Min(AMin), Max(AMax) {}

int TKvIntEdit::ClampValue(int AValue) const {
  if (AValue < Min) return Min;
  if (AValue > Max) return Max;
  return AValue;
}

int TKvIntEdit::GetValue() const {
  bool LOk = false;
  const int LValue = text().trimmed().toInt(&LOk, 10);
  return ClampValue(LOk ? LValue : DefaultValue);
}

void TKvIntEdit::SetValue(int AValue) {
  if (FTimer) FTimer->stop();
  FSettingFromCode = true;
  try {
    setText(AValue > EmptyThreshold ? QString::number(AValue) : QString());
    FLastValue = GetValue();
  } catch (...) {
    FSettingFromCode = false;
    throw;
  }
  FSettingFromCode = false;
}

bool TKvIntEdit::TextReallyChanged() {
  const int LValue = GetValue();
  if (LValue == FLastValue) return false;
  FLastValue = LValue;
  return true;
}

void TKvIntEdit::focusOutEvent(QFocusEvent* AEvent) {
  // The shown text becomes the value it stands for.
  const bool LPending = FChangePending;
  SetValue(GetValue());
  FChangePending = LPending;
  TKvEdit::focusOutEvent(AEvent);
}

// ---- combo boxes ----

TKvComboBox::TKvComboBox(QWidget* AParent) : TnoxShellComboBox(AParent), TKvDestLinked(this) {
  connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) {
    try {
      SelectionChanged();
    } catch (const std::exception& E) {
      ShowError(this, E);
    }
  });
}

void TKvComboBox::SelectionChanged() {
  if (UpdateCount == 0 && OnChange) OnChange(this);
  for (const TKvComboBoxRelatedInfo& LInfo : FRelated) ApplyRelated(LInfo);
}

void TKvComboBox::ApplyRelated(const TKvComboBoxRelatedInfo& AInfo) {
  if (!AInfo.Control) return;
  const bool LSame = currentIndex() == AInfo.ItemIndex;
  AInfo.Control->setEnabled(AInfo.Inverse ? !LSame : LSame);
}

void TKvComboBox::AddRelated(int AItemIndex, QWidget* AControl, bool AInverse) {
  FRelated.push_back(TKvComboBoxRelatedInfo{AItemIndex, AControl, AInverse});
  ApplyRelated(FRelated.back());
}

void TKvComboBox::AddItemObject(const QString& AText, intptr_t AObject) {
  addItem(AText, QVariant::fromValue<qlonglong>(static_cast<qlonglong>(AObject)));
}

intptr_t TKvComboBox::GetItemObject(int AIndex) const {
  if (AIndex < 0 || AIndex >= count()) return 0;
  return static_cast<intptr_t>(itemData(AIndex).toLongLong());
}

int TKvComboBox::IndexOfObject(intptr_t AObject) const {
  for (int i = 0; i < count(); ++i)
    if (GetItemObject(i) == AObject) return i;
  return -1;
}

// ---- image combo box ----

namespace {
constexpr int ImageIndexRole = Qt::UserRole + 1;
}

TKvComboBoxEx::TKvComboBoxEx(QWidget* AParent) : TnoxShellComboBoxEx(AParent), TKvDestLinked(this) {
  connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) {
    try {
      SelectionChanged();
    } catch (const std::exception& E) {
      ShowError(this, E);
    }
  });
}

void TKvComboBoxEx::SelectionChanged() {
  if (UpdateCount == 0 && OnChange) OnChange(this);
  for (const TKvComboBoxExRelatedInfo& LInfo : FRelated)
    if (LInfo.Control) LInfo.Control->setEnabled((currentIndex() == LInfo.ItemIndex) != LInfo.Inverse);
}

void TKvComboBoxEx::AddRelated(int AItemIndex, QWidget* AControl, bool AInverse) {
  FRelated.push_back(TKvComboBoxExRelatedInfo{AItemIndex, AControl, AInverse});
  if (AControl) AControl->setEnabled((currentIndex() == AItemIndex) != AInverse);
}

void TKvComboBoxEx::AddItemObject(const QString& AText, intptr_t AObject, int AImageIndex) {
  addItem(AText, QVariant::fromValue<qlonglong>(static_cast<qlonglong>(AObject)));
  SetItemImageIndex(count() - 1, AImageIndex);
}

intptr_t TKvComboBoxEx::GetItemObject(int AIndex) const {
  if (AIndex < 0 || AIndex >= count()) return 0;
  return static_cast<intptr_t>(itemData(AIndex).toLongLong());
}

int TKvComboBoxEx::IndexOfObject(intptr_t AObject) const {
  for (int i = 0; i < count(); ++i)
    if (GetItemObject(i) == AObject) return i;
  return -1;
}

int TKvComboBoxEx::GetItemImageIndex(int AIndex) const {
  if (AIndex < 0 || AIndex >= count()) return -1;
  const QVariant V = itemData(AIndex, ImageIndexRole);
  return V.isValid() ? V.toInt() : -1;
}

void TKvComboBoxEx::SetItemImageIndex(int AIndex, int AImageIndex) {
  if (AIndex < 0 || AIndex >= count()) return;
  setItemData(AIndex, AImageIndex, ImageIndexRole);
  UpdateItemIcon(AIndex);
}

void TKvComboBoxEx::SetImages(const std::vector<QPixmap>& AImages, const QSize& ASize) {
  FImages = AImages;
  setIconSize(ASize);
  for (int i = 0; i < count(); ++i) UpdateItemIcon(i);
}

void TKvComboBoxEx::UpdateItemIcon(int AIndex) {
  const int LImage = GetItemImageIndex(AIndex);
  setItemIcon(AIndex, LImage >= 0 && static_cast<size_t>(LImage) < FImages.size()
                          ? QIcon(FImages[static_cast<size_t>(LImage)])
                          : QIcon());
}

void TKvCustomPaletteComboBoxEx::AddPaletteType(TKvPaletteType AType, int AImageIndex, const QString& ACaption) {
  if (AType >= PaletteTypeCount) return;
  AddItemObject(ACaption.isEmpty() ? QString::fromUtf8(PaletteTypeNames[AType]) : ACaption, AType, AImageIndex);
}

TKvPaletteType TKvCustomPaletteComboBoxEx::GetPaletteType() const {
  return static_cast<TKvPaletteType>(GetItemObject(currentIndex()));
}

void TKvCustomPaletteComboBoxEx::SetPaletteType(TKvPaletteType AType) {
  const int i = IndexOfObject(AType);
  if (i < 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  setCurrentIndex(i);
}

void TKvPaletteIndexComboBoxEx::AddItem(const QString& AText) {
  addItem(AText);
  SetItemImageIndex(count() - 1, count() - 1);
}

void TKvPixelAspectRatioComboBox::AddAspectRatio(uint8_t ACode) {
  if (ACode < PixelAspectCount) AddItemObject(QString::fromUtf8(PixelAspectNames[ACode]), ACode);
}

uint8_t TKvPixelAspectRatioComboBox::GetAspectRatio() const {
  return static_cast<uint8_t>(GetItemObject(currentIndex()));
}

void TKvPixelAspectRatioComboBox::SetAspectRatio(uint8_t ACode) { setCurrentIndex(IndexOfObject(ACode)); }

// ---- check box, button, track bar ----

TKvCheckBox::TKvCheckBox(QWidget* AParent, const QString& ACaption)
    : QCheckBox(ACaption, AParent), TKvDestLinked(this) {
  connect(this, &QCheckBox::clicked, this, [this] { Clicked(); });
}

void TKvCheckBox::Clicked() {
  try {
    if (OnClick) OnClick(this);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
  for (auto& LClient : FEnableClients)
    if (LClient) LClient->setEnabled(isChecked());
  for (auto& LClient : FDisableClients)
    if (LClient) LClient->setEnabled(!isChecked());
}

void TKvCheckBox::AddEnableClient(QWidget* AControl) { FEnableClients.emplace_back(AControl); }
void TKvCheckBox::AddDisableClient(QWidget* AControl) { FDisableClients.emplace_back(AControl); }
int TKvCheckBox::GetEnableClientCount() const {
  return static_cast<int>(std::count_if(FEnableClients.begin(), FEnableClients.end(), [](auto& p) { return !p.isNull(); }));
}
int TKvCheckBox::GetDisableClientCount() const {
  return static_cast<int>(std::count_if(FDisableClients.begin(), FDisableClients.end(), [](auto& p) { return !p.isNull(); }));
}

TKvButton::TKvButton(QWidget* AParent, const QString& ACaption)
    : QPushButton(ACaption, AParent), TKvDestLinked(this) {
  connect(this, &QPushButton::clicked, this, [this] {
    try {
      if (OnClick) OnClick(this);
    } catch (const std::exception& E) {
      ShowError(this, E);
    }
  });
}

TKvTrackBar::TKvTrackBar(QWidget* AParent, int ADefault) : QSlider(Qt::Horizontal, AParent), TKvDestLinked(this) {
  setPageStep(1);
  setSingleStep(1);
  setTickPosition(QSlider::NoTicks);
  FEdit = new TKvIntEdit(AParent, minimum(), maximum());
  FEdit->DefaultValue = ADefault;
  FEdit->EmptyThreshold = minimum() - 1;
  FEdit->SetValue(value());
  FEdit->OnChange = [this](QObject*) { EditChanged(); };
  connect(this, &QSlider::valueChanged, this, [this](int AValue) { PositionChanged(AValue); });
}

TKvTrackBar::~TKvTrackBar() {
  SetDest(nullptr);
  delete FEdit.data();
}

void TKvTrackBar::SetRange(int AMin, int AMax) {
  setRange(AMin, AMax);
  FEdit->Min = AMin;
  FEdit->EmptyThreshold = AMin - 1;
  FEdit->Max = AMax;
  FUpdatingEdit = true;
  FEdit->SetValue(value());
  FUpdatingEdit = false;
}

void TKvTrackBar::PositionChanged(int AValue) {
  try {
    if (OnChange) OnChange(this);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
  if (FUpdatingFromEdit || !FEdit) return;
  FUpdatingEdit = true;
  FEdit->SetValue(AValue);
  FUpdatingEdit = false;
}

void TKvTrackBar::EditChanged() {
  if (FUpdatingEdit) return;
  FUpdatingFromEdit = true;
  setValue(FEdit->GetValue());
  FUpdatingFromEdit = false;
}

void TKvTrackBar::ApplyMetrics(TnoxShellUI& AShellUI) {
  const int LHeight = AShellUI.LinesToHeight(1) + 3;
  resize(width(), LHeight);
  AShellUI.AutoSizeEditHeight(FEdit);
  FEdit->resize(AShellUI.CharsToWidth(5), FEdit->height());
  FGap = AShellUI.RelatedSpacingX;
  PlaceEdit();
}

void TKvTrackBar::PlaceEdit() {
  if (!FEdit) return;
  if (FEdit->parentWidget() != parentWidget()) FEdit->setParent(parentWidget());
  FEdit->move(x() + width() + FGap, y() + height() / 2 - FEdit->height() / 2);
  FEdit->setVisible(isVisibleTo(parentWidget()));
}

void TKvTrackBar::moveEvent(QMoveEvent* AEvent) {
  QSlider::moveEvent(AEvent);
  PlaceEdit();
}

void TKvTrackBar::resizeEvent(QResizeEvent* AEvent) {
  QSlider::resizeEvent(AEvent);
  PlaceEdit();
}

void TKvTrackBar::changeEvent(QEvent* AEvent) {
  QSlider::changeEvent(AEvent);
  if (AEvent->type() == QEvent::EnabledChange && FEdit) FEdit->setEnabled(isEnabled());
  if (AEvent->type() == QEvent::ParentChange) PlaceEdit();
}

// ---- palette combo boxes ----

TKvBasePaletteComboBox::TKvBasePaletteComboBox(QWidget* AParent) : TKvComboBox(AParent) {
  setMaxVisibleItems(15);
  if (HasPaletteList()) PaletteList().AddClient(this);
}

TKvBasePaletteComboBox::~TKvBasePaletteComboBox() {
  if (HasPaletteList()) PaletteList().RemoveClient(this);
}

void TKvBasePaletteComboBox::FillItems() {
  ++UpdateCount;
  const QSignalBlocker LBlocker(this);
  try {
    TKvPalette256* LPalette = GetPalette();
    const TKvPaletteType LType = GetPaletteType();
    clear();
    for (int t = ptRGB888; t <= ptRGB111; ++t) AddItemObject(QString::fromUtf8(PaletteTypeNames[t]), t);
    if (HasPaletteList())
      for (int i = 0; i < PaletteList().GetCount(); ++i) {
        TKvPalette256* p = PaletteList().GetItem(i);
        AddItemObject(Q(p->Name), reinterpret_cast<intptr_t>(p));
      }
    SetPalette(LPalette);
    SetPaletteType(LType);
  } catch (...) {
    --UpdateCount;
    throw;
  }
  --UpdateCount;
}

TKvPaletteType TKvBasePaletteComboBox::GetPaletteType() const {
  const int i = currentIndex();
  if (i < 0) return ptColored;
  const intptr_t o = GetItemObject(i);
  return IsPaletteObject(o) ? ptColored : static_cast<TKvPaletteType>(o);
}

void TKvBasePaletteComboBox::SetPaletteType(TKvPaletteType AType) {
  if (AType == ptColored) return;
  const int i = IndexOfObject(AType);
  if (i >= 0) setCurrentIndex(i);
}

TKvPalette256* TKvBasePaletteComboBox::GetPalette() const {
  const intptr_t o = GetItemObject(currentIndex());
  return IsPaletteObject(o) ? reinterpret_cast<TKvPalette256*>(o) : nullptr;
}

void TKvBasePaletteComboBox::SetPalette(TKvPalette256* APalette) {
  const int i = APalette ? IndexOfObject(reinterpret_cast<intptr_t>(APalette)) : -1;
  if (i >= 0) {
    setCurrentIndex(i);
  } else {
    ++UpdateCount;
    setCurrentIndex(count() > 0 ? 0 : -1);
    --UpdateCount;
  }
}

void TKvBasePaletteComboBox::PaletteListChanged() { FillItems(); }

TKvFixedPaletteComboBox::TKvFixedPaletteComboBox(QWidget* AParent) : TKvBasePaletteComboBox(AParent) {}

void TKvFixedPaletteComboBox::SetSourcePalette(TKvPalette* APalette) {
  FSourcePalette = APalette;
  FillItems();
}

void TKvFixedPaletteComboBox::FillItems() {
  ++UpdateCount;
  {
    const QSignalBlocker LBlocker(this);
    TKvPalette256* LPalette = GetPalette();
    clear();
    AddItemObject("None", 0);
    if (FSourcePalette && HasPaletteList())
      for (int i = 0; i < PaletteList().GetCount(); ++i) {
        TKvPalette256* p = PaletteList().GetItem(i);
        if (p->GetCount() < FSourcePalette->GetCount() - 1 && AcceptPalette(p) && FSourcePalette->ContainsColors(p))
          AddItemObject(Q(p->Name), reinterpret_cast<intptr_t>(p));
      }
    const int i = LPalette ? IndexOfObject(reinterpret_cast<intptr_t>(LPalette)) : 0;
    setCurrentIndex(i >= 0 ? i : 0);
  }
  --UpdateCount;
  UpdateLinkedPalette();
}

TKvPalette256* TKvFixedPaletteComboBox::GetPalette() const {
  return reinterpret_cast<TKvPalette256*>(GetItemObject(currentIndex()));
}

void TKvFixedPaletteComboBox::SetPalette(TKvPalette256* APalette) {
  const int i = APalette ? IndexOfObject(reinterpret_cast<intptr_t>(APalette)) : -1;
  if (i >= 0) {
    setCurrentIndex(i);
  } else {
    ++UpdateCount;
    setCurrentIndex(count() > 0 ? 0 : -1);
    --UpdateCount;
  }
  UpdateLinkedPalette();
}

void TKvFixedPaletteComboBox::SetLinkedPalette(TKvDestPalette* ADestPalette) {
  FLinkedPalette = ADestPalette;
  UpdateLinkedPalette();
}

void TKvFixedPaletteComboBox::UpdateLinkedPalette() {
  if (FLinkedPalette) FLinkedPalette->SetPalette(GetPalette());
}

void TKvFixedPaletteComboBox::SelectionChanged() {
  TKvComboBox::SelectionChanged();
  UpdateLinkedPalette();
}

void TKvPaletteUgaseComboBox::AddUsage(uint8_t AUsage) {
  if (AUsage < PaletteUsageCount) AddItemObject(QString::fromUtf8(PaletteUsageNames[AUsage]), AUsage);
}
uint8_t TKvPaletteUgaseComboBox::GetUsage() const { return static_cast<uint8_t>(GetItemObject(currentIndex())); }
void TKvPaletteUgaseComboBox::SetUsage(uint8_t AUsage) {
  const int i = IndexOfObject(AUsage);
  if (i < 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  setCurrentIndex(i);
}

void TKvPaletteModeComboBox::AddMode(uint8_t AMode) {
  if (AMode < PaletteModeCount) AddItemObject(QString::fromUtf8(PaletteModeNames[AMode]), AMode);
}
uint8_t TKvPaletteModeComboBox::GetMode() const { return static_cast<uint8_t>(GetItemObject(currentIndex())); }
void TKvPaletteModeComboBox::SetMode(uint8_t AMode) {
  const int i = IndexOfObject(AMode);
  if (i < 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  setCurrentIndex(i);
}
void TKvPaletteModeComboBox::SetEditButton(QWidget* AButton) {
  FEditButton = AButton;
  UpdateEditButton();
}
void TKvPaletteModeComboBox::UpdateEditButton() {
  if (FEditButton)
    FEditButton->setEnabled(currentIndex() >= 0 && GetMode() == 17 && (!CanEditPalette || CanEditPalette()));
}
void TKvPaletteModeComboBox::SelectionChanged() {
  TKvComboBox::SelectionChanged();
  UpdateEditButton();
}

void TKvCustomPaletteComboBox::AddPaletteType(TKvPaletteType AType) {
  if (AType < PaletteTypeCount) AddItemObject(QString::fromUtf8(PaletteTypeNames[AType]), AType);
}
TKvPaletteType TKvCustomPaletteComboBox::GetPaletteType() const {
  return static_cast<TKvPaletteType>(GetItemObject(currentIndex()));
}
void TKvCustomPaletteComboBox::SetPaletteType(TKvPaletteType AType) {
  const int i = IndexOfObject(AType);
  if (i < 0) RaiseOSError(ERROR_INVALID_PARAMETER);
  setCurrentIndex(i);
}

// ---- framed controls ----

TKvBorderControl::TKvBorderControl(QWidget* AParent) : QWidget(AParent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect TKvBorderControl::ClientRect() const {
  return QRect(FBorder, FBorder, width() - 2 * FBorder, height() - 2 * FBorder);
}

void TKvBorderControl::PaintBorder(QPainter& APainter) {
  if (FBorder <= 0) return;
  APainter.setPen(palette().color(QPalette::Mid));
  APainter.setBrush(Qt::NoBrush);
  APainter.drawRect(0, 0, width() - 1, height() - 1);
}

TKvColorBox::TKvColorBox(QWidget* AParent) : TKvBorderControl(AParent) {}

void TKvColorBox::SetColor(uint32_t AColor) {
  FColor = AColor & 0xFFFFFF;
  update();
}

TKvStdRGBColor TKvColorBox::GetRGB() const {
  return TKvStdRGBColor{static_cast<uint8_t>(FColor & 0xFF), static_cast<uint8_t>((FColor >> 8) & 0xFF),
                        static_cast<uint8_t>((FColor >> 16) & 0xFF)};
}

void TKvColorBox::SetRGB(const TKvStdRGBColor& AColor) {
  SetColor(uint32_t(AColor.R) | (uint32_t(AColor.G) << 8) | (uint32_t(AColor.B) << 16));
}

void TKvColorBox::paintEvent(QPaintEvent*) {
  QPainter LPainter(this);
  const QColor LColor = isEnabled() ? QColor(FColor & 0xFF, (FColor >> 8) & 0xFF, (FColor >> 16) & 0xFF)
                                    : palette().color(QPalette::Disabled, QPalette::WindowText);
  LPainter.fillRect(ClientRect(), LColor);
  PaintBorder(LPainter);
}

void TKvColorBox::changeEvent(QEvent* AEvent) {
  QWidget::changeEvent(AEvent);
  if (AEvent->type() == QEvent::EnabledChange) update();
}

// ---- destination palette grid ----

TKvDestPalette::TKvDestPalette(QWidget* AParent) : TKvBorderControl(AParent), TKvDestLinked(this) {
  setAcceptDrops(true);
  AutoSize();
}

TKvDestPalette::~TKvDestPalette() {
  SetDest(nullptr);
  FPaletteCombo = nullptr;
}

void TKvDestPalette::SetPalette(const TKvPalette256* APalette) {
  FPalette.Assign(APalette);
  update();
}

void TKvDestPalette::SetCellSize(int ASize) {
  ASize = std::max(ASize, 5);
  if (ASize == FCellSize) return;
  FCellSize = ASize;
  AutoSize();
}

void TKvDestPalette::SetColCount(int ACount) {
  ACount = std::max(ACount, 1);
  if (ACount == FColCount) return;
  FColCount = ACount;
  AutoSize();
}

void TKvDestPalette::SetRowCount(int ACount) {
  ACount = std::max(ACount, 1);
  if (ACount == FRowCount) return;
  FRowCount = ACount;
  AutoSize();
}

void TKvDestPalette::AutoSize() {
  // The grid itself draws its frame, so the client area is the whole control.
  resize(FCellSize * FColCount + 1, FCellSize * FRowCount + 1);
  update();
}

int TKvDestPalette::CrossedCellCount() const {
  int LCount = 0;
  for (int i = 0; i < FRowCount * FColCount; ++i)
    if (i >= FPalette.GetCount() || FPalette.Colors[i].Skip) ++LCount;
  return LCount;
}

QImage TKvDestPalette::RenderImage() {
  const int W = width(), H = height();
  QImage LImage(std::max(W, 1), std::max(H, 1), QImage::Format_RGB32);
  LImage.fill(Qt::white);
  QPainter p(&LImage);
  p.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
  p.drawLine(0, 0, W - 1, 0);
  p.drawLine(W - 1, 0, W - 1, H - 1);
  p.drawLine(W - 1, H - 1, 0, H - 1);
  p.drawLine(0, H - 1, 0, 0);
  for (int k = 1; k <= FColCount; ++k) p.drawLine(k * FCellSize, 0, k * FCellSize, H - 1);
  for (int k = 1; k <= FRowCount; ++k) p.drawLine(0, k * FCellSize, W - 1, k * FCellSize);
  if (isEnabled()) {
    for (int i = 0; i < FRowCount * FColCount; ++i) {
      const int x = (i % FColCount) * FCellSize, y = (i / FColCount) * FCellSize;
      if (i < FPalette.GetCount() && !FPalette.Colors[i].Skip) {
        const TKvStdRGBColor c = FPalette.GetStdRGB(i);
        p.fillRect(x + 1, y + 1, FCellSize - 1, FCellSize - 1, QColor(c.R, c.G, c.B));
      } else {
        p.drawLine(x, y, x + FCellSize, y + FCellSize);
        p.drawLine(x + FCellSize, y, x, y + FCellSize);
      }
    }
  }
  return LImage;
}

void TKvDestPalette::paintEvent(QPaintEvent*) {
  QPainter LPainter(this);
  LPainter.drawImage(0, 0, RenderImage());
}

void TKvDestPalette::changeEvent(QEvent* AEvent) {
  QWidget::changeEvent(AEvent);
  if (AEvent->type() == QEvent::EnabledChange) update();
}

void TKvDestPalette::ResultChanged(const TKvSize&, int, TBitmap32*, TKvBitmapList*, bool ABusy) {
  if (ABusy && FPaletteCombo && !FPaletteCombo->GetPalette()) SetPalette(nullptr);
}

void TKvDestPalette::ResultPaletteChanged(TKvPalette256* APalette, int, int) {
  if (FollowResult) SetPalette(APalette);
}

void TKvDestPalette::DropFiles(const std::vector<std::string>& AFiles) {
  if (AFiles.empty()) return;
  try {
    TKvPalette256* LPalette = PaletteList().LoadPalette(AFiles.front());
    if (FPaletteCombo) FPaletteCombo->SetPalette(LPalette);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
}

namespace {
bool AcceptsFiles(const QMimeData* AData) { return AData && AData->hasUrls(); }
}  // namespace

void TKvDestPalette::dragEnterEvent(QDragEnterEvent* AEvent) {
  if (!DropRefused && (AEvent->possibleActions() & Qt::CopyAction) && AcceptsFiles(AEvent->mimeData())) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TKvDestPalette::dragMoveEvent(QDragMoveEvent* AEvent) {
  if (!DropRefused && (AEvent->possibleActions() & Qt::CopyAction) && AcceptsFiles(AEvent->mimeData())) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TKvDestPalette::dropEvent(QDropEvent* AEvent) {
  if (DropRefused || !(AEvent->possibleActions() & Qt::CopyAction) || !AcceptsFiles(AEvent->mimeData())) {
    AEvent->ignore();
    return;
  }
  const TnoxShellDataOffer LOffer = ProbeOfferFromMimeData(AEvent->mimeData());
  AEvent->setDropAction(Qt::CopyAction);
  AEvent->accept();
  DropFiles(LOffer.Files);
}

void TKvPaletteIndexLabel::ResultPaletteChanged(TKvPalette256*, int AValue, int ASecondValue) {
  QString LText = QString::number(AValue);
  if (ASecondValue >= 0) LText += ", " + QString::number(ASecondValue);
  SetCaption(LText);
}
