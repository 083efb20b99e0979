#include "app/qt/CustomFormUnit.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <cmath>
#include <vector>

#include "app/KvControls.h"
#include "app/qt/KvActions.h"
#include "app/qt/KvQtPictures.h"
#include "bitmap/B32.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellBaseExtensionFilters.h"
#include "shell/qt/noxShellDataOffer.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellForm.h"

namespace {

void ShowError(QWidget* AOwner, const std::exception& E) {
  ShowExceptionBox(AOwner ? AOwner->window() : nullptr, E, QString(), QString(), QString(), 0,
                   dynamic_cast<const EWarning*>(&E) ? 3 : 1);
}

QColor StdColor(const TKvStdRGBColor& C) { return QColor(C.R, C.G, C.B); }

}  // namespace

int CustomPaletteColumns(int ACount) {
  int c = static_cast<int>(Round(std::sqrt(static_cast<double>(ACount))));
  if (c * c < ACount) ++c;
  return std::max(c, 1);
}

// ---- grid ----

TKvCustomPalette::TKvCustomPalette(QWidget* AParent) : TKvBorderControl(AParent) {
  setMouseTracking(true);
  setAcceptDrops(true);
  setFocusPolicy(Qt::StrongFocus);
  AutoSize();
}

TKvCustomPalette::~TKvCustomPalette() {
  StopPictureMask();
  // A restart still pending happens now.
  if (FRestartPending) {
    try {
      ApplySelection(true);
    } catch (...) {
    }
  }
  SetDest(nullptr);
}

void TKvCustomPalette::SetPalette(TKvPalette* APalette) {
  FPalette = APalette;
  update();
}

void TKvCustomPalette::SetCellSize(int ASize) {
  FCellSize = std::max(ASize, 3) + 10;
  AutoSize();
}

void TKvCustomPalette::SetColCount(int ACount) {
  FColCount = std::max(ACount, 1);
  AutoSize();
}

void TKvCustomPalette::SetRowCount(int ACount) {
  FRowCount = std::max(ACount, 1);
  AutoSize();
}

void TKvCustomPalette::AutoSize() {
  resize(FCellSize * FColCount - 2 + 2 * FBorder, FCellSize * FRowCount - 2 + 2 * FBorder);
  update();
}

void TKvCustomPalette::SetDest(TKvDest* ADest) {
  if (FDest) FDest->RemoveClient(this);
  StopPictureMask();
  FDest = ADest;
  ClearColorMask(FPictureMask);
  if (!FDest) return;
  FDest->AddClient(this);
  if (FDest->GetOptions()) FSelectionMask = FDest->GetOptions()->ColorMask;
  ResultPaletteChanged(FDest->GetResultPalette(), 0, 0);
  if (FDest->GetFitted()) StartPictureMask(*FDest->GetFitted());
  update();
}

void TKvCustomPalette::StartPictureMask(const TBitmap32& APicture) {
  if (!FPalette) return;
  // The thread works on copies: the picture's pixels and the palette.
  auto LPixels = std::make_shared<std::vector<uint32_t>>(
      APicture.GetBits(), APicture.GetBits() + static_cast<size_t>(APicture.GetWidth()) * APicture.GetHeight());
  std::shared_ptr<TKvPalette> LPalette(FPalette->Clone().release());
  auto LResult = std::make_shared<TKvColorMask>();
  ClearColorMask(*LResult);
  FPictureResult = LResult;
  FPictureAbort = false;
  FPictureDone = false;
  FPictureThread = std::thread([this, LPixels, LPalette, LResult] {
    const int LCount = std::min(LPalette->GetCount(), 4096);
    for (uint32_t LPixel : *LPixels) {
      if (FPictureAbort) return;
      TKvColor C;
      C.InitRGB(static_cast<uint8_t>(LPixel >> 16), static_cast<uint8_t>(LPixel >> 8), static_cast<uint8_t>(LPixel));
      const int i = LPalette->FindNearest(C.GetLinRGB());
      if (i >= 0 && i < LCount) (*LResult)[static_cast<size_t>(i)] = 1;
    }
    FPictureDone = true;
    QMetaObject::invokeMethod(
        this,
        [this, LResult] {
          if (LResult != FPictureResult) return;
          FPictureMask = *LResult;
          update();
        },
        Qt::QueuedConnection);
  });
}

void TKvCustomPalette::StopPictureMask() {
  FPictureAbort = true;
  if (FPictureThread.joinable()) FPictureThread.join();
  FPictureResult.reset();
}

void TKvCustomPalette::WaitForPictureMask() {
  if (FPictureThread.joinable()) FPictureThread.join();
  if (FPictureDone && FPictureResult) FPictureMask = *FPictureResult;
  update();
}

void TKvCustomPalette::ResultPaletteChanged(TKvPalette256* APalette, int, int) {
  ClearColorMask(FResultMask);
  if (FPalette && APalette)
    for (int i = 0; i < std::min(FPalette->GetCount(), 4096); ++i)
      if (APalette->IndexOfStdRGB(FPalette->GetStdRGB(i)) >= 0) FResultMask[static_cast<size_t>(i)] = 1;
  update();
}

void TKvCustomPalette::WriteMask() {
  if (FDest && FDest->GetOptions()) FDest->GetOptions()->SetColorMask(FSelectionMask);
}

void TKvCustomPalette::Select(int AIndex) {
  if (AIndex < 0 || AIndex >= 4096 || FSelectionMask[static_cast<size_t>(AIndex)]) return;
  FSelectionMask[static_cast<size_t>(AIndex)] = 1;
  update();
  WriteMask();
  if (OnChange) OnChange();
}

void TKvCustomPalette::Deselect(int AIndex) {
  if (AIndex < 0 || AIndex >= 4096 || !FSelectionMask[static_cast<size_t>(AIndex)]) return;
  FSelectionMask[static_cast<size_t>(AIndex)] = 0;
  update();
  WriteMask();
  if (OnChange) OnChange();
}

void TKvCustomPalette::Toggle(int AIndex) {
  if (AIndex < 0 || AIndex >= 4096) return;
  if (FSelectionMask[static_cast<size_t>(AIndex)])
    Deselect(AIndex);
  else
    Select(AIndex);
  ApplySelection(false);
}

void TKvCustomPalette::ClearSelection() {
  ClearColorMask(FSelectionMask);
  update();
  WriteMask();
  if (OnChange) OnChange();
}

void TKvCustomPalette::LoadSelection(const std::string& AFileName) {
  try {
    TKvPalette256 LLoaded;
    LLoaded.LoadFromFile(AFileName);
    ClearColorMask(FSelectionMask);
    if (FPalette)
      for (int i = 0; i < LLoaded.GetCount(); ++i) {
        const int n = FPalette->FindNearest(LLoaded.GetLinRGB(i));
        if (n >= 0 && n < 4096) FSelectionMask[static_cast<size_t>(n)] = 1;
      }
    update();
    WriteMask();
    ApplySelection(true);
    if (OnChange) OnChange();
  } catch (const std::exception& E) {
    update();
    if (OnChange) OnChange();
    ShowError(this, E);
  }
}

void TKvCustomPalette::ApplySelection(bool AImmediate) {
  if (!FDest) return;
  if (AImmediate) {
    if (FTimer) FTimer->stop();
    FRestartPending = false;
    FDest->Invalidate(false);
    return;
  }
  if (!FTimer) {
    FTimer = new QTimer(this);
    FTimer->setInterval(1000);
    connect(FTimer, &QTimer::timeout, this, [this] {
      try {
        ApplySelection(true);
      } catch (const std::exception& E) {
        ShowError(this, E);
      }
    });
  }
  FTimer->stop();
  FTimer->start();
  FRestartPending = true;
}

int TKvCustomPalette::CellAt(QPoint APoint) const {
  if (!FPalette) return -1;
  const int x = APoint.x() - FBorder, y = APoint.y() - FBorder;
  if (x < 0 || y < 0) return -1;
  const int cx = x / FCellSize, cy = y / FCellSize;
  if (cx >= FColCount || x % FCellSize >= FCellSize - 2 || y % FCellSize >= FCellSize - 2) return -1;
  const int i = cx + cy * FColCount;
  return i < FPalette->GetCount() ? i : -1;
}

void TKvCustomPalette::SetHotIndex(int AIndex) {
  if (AIndex == FHotIndex) return;
  FHotIndex = AIndex;
  if (OnHotColor) {
    if (AIndex >= 0 && FPalette)
      OnHotColor(true, FPalette->GetStdRGB(AIndex));
    else
      OnHotColor(false, FPalette && FPalette->GetCount() > 0 ? FPalette->GetStdRGB(0) : TKvStdRGBColor{});
  }
}

void TKvCustomPalette::mouseMoveEvent(QMouseEvent* AEvent) { SetHotIndex(CellAt(AEvent->position().toPoint())); }

void TKvCustomPalette::mousePressEvent(QMouseEvent* AEvent) {
  if (AEvent->button() != Qt::LeftButton) return;
  const int i = CellAt(AEvent->position().toPoint());
  if (i < 0) return;
  try {
    Toggle(i);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
}

void TKvCustomPalette::leaveEvent(QEvent*) { SetHotIndex(-1); }

void TKvCustomPalette::changeEvent(QEvent* AEvent) {
  QWidget::changeEvent(AEvent);
  if (AEvent->type() == QEvent::EnabledChange) update();
}

QImage TKvCustomPalette::RenderImage() {
  QImage LImage(std::max(1, width() - 2 * FBorder), std::max(1, height() - 2 * FBorder), QImage::Format_RGB32);
  LImage.fill(palette().color(QPalette::Base));
  QPainter p(&LImage);
  const int s = FCellSize;
  const QColor LGray = palette().color(QPalette::Disabled, QPalette::WindowText);
  const QColor LText = palette().color(QPalette::WindowText);
  auto Outline = [&](int x0, int y0, int x1, int y1, const QColor& C) {
    p.setPen(C);
    p.drawLine(x0, y0, x1, y0);
    p.drawLine(x1, y0, x1, y1);
    p.drawLine(x1, y1, x0, y1);
    p.drawLine(x0, y1, x0, y0);
  };
  const int LCount = FPalette ? std::min(FPalette->GetCount(), 4096) : 0;
  for (int i = 0; i < LCount; ++i) {
    const int x = (i % FColCount) * s, y = (i / FColCount) * s;
    Outline(x + 3, y + 3, x + s - 6, y + s - 6, LGray);
    p.fillRect(QRect(QPoint(x + 5, y + 5), QPoint(x + s - 8, y + s - 8)), StdColor(FPalette->GetStdRGB(i)));
    if (FPictureMask[static_cast<size_t>(i)]) {
      Outline(x + 2, y + 2, x + s - 5, y + s - 5, LGray);
      Outline(x + 1, y + 1, x + s - 4, y + s - 4, LGray);
    }
    if (FSelectionMask[static_cast<size_t>(i)]) {
      Outline(x, y, x + s - 3, y + s - 3, LText);
      Outline(x + 1, y + 1, x + s - 4, y + s - 4, LText);
    }
    if (FResultMask[static_cast<size_t>(i)]) Outline(x + 1, y + 1, x + s - 4, y + s - 4, Qt::red);
  }
  return LImage;
}

void TKvCustomPalette::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(FBorder, FBorder, RenderImage());
  PaintBorder(p);
}

void TKvCustomPalette::dragEnterEvent(QDragEnterEvent* AEvent) {
  if ((AEvent->possibleActions() & Qt::CopyAction) && AEvent->mimeData()->hasUrls()) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TKvCustomPalette::dragMoveEvent(QDragMoveEvent* AEvent) {
  if ((AEvent->possibleActions() & Qt::CopyAction) && AEvent->mimeData()->hasUrls()) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TKvCustomPalette::dropEvent(QDropEvent* AEvent) {
  const TnoxShellDataOffer LOffer = ProbeOfferFromMimeData(AEvent->mimeData());
  AEvent->setDropAction(Qt::CopyAction);
  AEvent->accept();
  if (!LOffer.Files.empty()) LoadSelection(LOffer.Files.front());
}

// ---- dialog ----

TCustomForm::TCustomForm(TKvPalette* APalette, int AColumns) : TnoxShellUIForm() {
  setWindowTitle("Custom palette");
  SetSizeable(false);
  const int LCount = APalette ? APalette->GetCount() : 0;
  if (AColumns <= 0) AColumns = CustomPaletteColumns(LCount);
  PaletteLabel = new TLabel(this);
  PaletteLabel->SetCaption("Palette:");
  Grid = new TKvCustomPalette(this);
  Grid->SetColCount(AColumns);
  Grid->SetRowCount((AColumns + LCount - 1) / AColumns);
  Grid->SetPalette(APalette);
  Grid->OnHotColor = [this](bool AValid, const TKvStdRGBColor& C) {
    InfoLabel->SetCaption(AValid ? QString("%1, %2, %3").arg(C.R).arg(C.G).arg(C.B) : QString());
  };
  Grid->OnChange = [this] { UpdateButtons(); };
  PaletteLabel->SetFocusControl(Grid);
  InfoLabel = new TLabel(this);
  InfoLabel->SetAlignment(taCenter);
  InfoLabel->SetAutoSize(false);
  LoadButton = new QPushButton("&Load...", this);
  SaveButton = new QPushButton("&Save...", this);
  ResetButton = new QPushButton("&Reset", this);
  auto Guard = [this](void (TCustomForm::*AHandler)()) {
    return [this, AHandler] {
      try {
        (this->*AHandler)();
      } catch (const std::exception& E) {
        ShowError(this, E);
      }
    };
  };
  connect(LoadButton, &QPushButton::clicked, this, Guard(&TCustomForm::LoadClick));
  connect(SaveButton, &QPushButton::clicked, this, Guard(&TCustomForm::SaveClick));
  connect(ResetButton, &QPushButton::clicked, this, Guard(&TCustomForm::ResetClick));
  UpdateButtons();
}

TCustomForm::~TCustomForm() {
  delete Grid;
  Grid = nullptr;
}

void TCustomForm::Execute(TKvDest* ADest) {
  Grid->SetDest(ADest);
  UpdateButtons();
  ShowModal();
}

void TCustomForm::UpdateButtons() {
  if (!Grid) return;
  const bool LAny = CountColorMask(Grid->GetSelectionMask()) > 0;
  SaveButton->setEnabled(LAny);
  ResetButton->setEnabled(LAny);
}

void TCustomForm::LoadClick() {
  TnoxShellFilterArray LFilter;
  LFilter.AddWithDescription("*.pal;*.act;*.gpl;*.png;*.bmp;*.gif", "Palettes");
  for (const char* p : {"*.pal", "*.act", "*.gpl", "*.png", "*.bmp", "*.gif"}) LFilter.Add(p);
  const std::string LFile = FileDialogs().OpenFile(this, LFilter.GetFilter(), GetPalettePathSetting());
  if (LFile.empty()) return;
  SetPalettePathSetting(ExtractFilePath(LFile));
  Grid->LoadSelection(LFile);
}

void TCustomForm::SaveClick() {
  TnoxShellFilterArray LFilter;
  LFilter.Add("*.pal");
  const std::string LFile = FileDialogs().SaveFile(this, LFilter.GetFilter(), GetPalettePathSetting(), "", "pal");
  if (LFile.empty()) return;
  SetPalettePathSetting(ExtractFilePath(LFile));
  TKvPalette256 LPalette;
  TKvPalette* LSource = Grid->GetPalette();
  for (int i = 0; LSource && i < std::min(LSource->GetCount(), 4096); ++i)
    if (Grid->GetSelectionMask()[static_cast<size_t>(i)]) LPalette.AddStdRGB(LSource->GetStdRGB(i));
  LPalette.SaveToFile(LFile);
}

void TCustomForm::ResetClick() {
  Grid->ClearSelection();
  Grid->ApplySelection(true);
}

void TCustomForm::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->key() == Qt::Key_Escape) {
    SetModalResult(1);
    close();
    return;
  }
  TnoxShellUIForm::keyPressEvent(AEvent);
}

TnoxSize TCustomForm::GetInitialClientSize() {
  TnoxShellUI& UI = *GetShellUI();
  ResizeControls();
  UI.AutoSizeThreeButtons(LoadButton, SaveButton, ResetButton);
  const int W = 2 * UI.MarginX + Grid->width() + UI.UnrelatedSpacingX + LoadButton->width();
  const int H1 = 2 * UI.MarginY + PaletteLabel->height() + UI.LabelSpacingY + Grid->height() + UI.LabelSpacingY +
                 InfoLabel->height();
  const int H2 = 2 * UI.MarginY + 3 * LoadButton->height() + 2 * UI.UnrelatedSpacingY;
  return TnoxSize{W, std::max(H1, H2)};
}

void TCustomForm::ResizeControls() {
  TnoxShellUIForm::ResizeControls();
  TnoxShellUI& UI = *GetShellUI();
  const int LCount = Grid->GetPalette() ? Grid->GetPalette()->GetCount() : 0;
  Grid->SetCellSize(LCount <= 512 ? UI.LinesToHeight(1) : UI.LinesToHeight(1) / 2 - 1);
  PaletteLabel->AdjustBounds();
  InfoLabel->resize(Grid->width(), UI.LinesToHeight(1));
  UI.AutoSizeThreeButtons(LoadButton, SaveButton, ResetButton);
}

void TCustomForm::ArrangeControls() {
  TnoxShellUIForm::ArrangeControls();
  TnoxShellUI& UI = *GetShellUI();
  PaletteLabel->move(UI.MarginX, UI.MarginY);
  Grid->move(UI.MarginX, PaletteLabel->y() + PaletteLabel->height() + UI.LabelSpacingY);
  InfoLabel->move(UI.MarginX, Grid->y() + Grid->height() + UI.LabelSpacingY);
  const int LButtonLeft = GetLayoutClientWidth() - UI.MarginX - LoadButton->width();
  LoadButton->move(LButtonLeft, UI.MarginY);
  SaveButton->move(LButtonLeft, LoadButton->y() + LoadButton->height() + UI.UnrelatedSpacingY);
  ResetButton->move(LButtonLeft, GetLayoutClientHeight() - UI.MarginY - ResetButton->height());
}
