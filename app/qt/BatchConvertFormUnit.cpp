#include "app/qt/BatchConvertFormUnit.h"

#include <QKeyEvent>
#include <QPainter>
#include <filesystem>
#include <fstream>

#include "app/KvControls.h"
#include "app/qt/KvActions.h"
#include "app/qt/KvQtPictures.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "core/KvStream.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellForm.h"
#include "shell/qt/noxShellProgressUtils.h"

namespace {

// A plain bar painted by the shell's progress drawer.
class TBatchProgressBar : public QWidget {
public:
  explicit TBatchProgressBar(QWidget* AParent) : QWidget(AParent) {}
  int Max = 100;
  int Position = 0;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    TnoxShellDrawProgressBar LDrawer;
    LDrawer.Draw(p, TnoxRect{0, 0, width(), height()}, 0, Max, Position, 0, true, false, false);
  }
};

}  // namespace

TKvBatchConvertForm::TKvBatchConvertForm(TKvSourceFiles* ASourceFiles, TKvDest& ADest)
    : TnoxShellUIForm(), FSourceFiles(ASourceFiles), FDest(ADest) {
  setWindowTitle("Batch convert");
  SetSizeable(false);
  const bool LSourceRow = !FSourceFiles || FSourceFiles->GetFiles().empty();
  if (LSourceRow) {
    FSourceLabel = new TLabel(this);
    FSourceLabel->SetCaption("&Source:");
    SourceEdit = new TKvEdit(this);
    SourceEdit->setText(QString::fromStdString(GetPathSetting()));
    FSourceLabel->SetFocusControl(SourceEdit);
    SourceButton = new TKvButton(this, "Select...");
    SourceButton->OnClick = [this](QObject*) {
      const std::string L = FileDialogs().SelectFolder(this, SourceEdit->text().toStdString(), true);
      if (!L.empty()) SourceEdit->setText(QString::fromStdString(L));
    };
  }
  FDestLabel = new TLabel(this);
  FDestLabel->SetCaption("&Dest:");
  DestEdit = new TKvEdit(this);
  std::string LDest = GetBatchPathSetting();
  if (LDest.empty()) LDest = GetPathSetting();
  DestEdit->setText(QString::fromStdString(LDest));
  FDestLabel->SetFocusControl(DestEdit);
  DestButton = new TKvButton(this, "Select...");
  DestButton->OnClick = [this](QObject*) {
    const std::string L = FileDialogs().SelectFolder(this, DestEdit->text().toStdString(), false);
    if (!L.empty()) DestEdit->setText(QString::fromStdString(L));
  };
  FFormatLabel = new TLabel(this);
  FFormatLabel->SetCaption("&Format:");
  FormatCombo = new TnoxShellComboBox(this);
  FormatCombo->addItems({"BMP", "PNG", "GIF", "Native"});
  FormatCombo->setCurrentIndex(3);
  StatusLabel = new TLabel(this);
  StatusLabel->SetAlignment(taCenter);
  StatusLabel->SetAutoSize(false);
  ProgressBar = new TBatchProgressBar(this);
  LogMemo = new QPlainTextEdit(this);
  LogMemo->setReadOnly(true);
  LogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ConvertButton = new QPushButton("&Convert", this);
  ConvertButton->setDefault(true);
  CancelButton = new QPushButton("Cancel", this);
  connect(ConvertButton, &QPushButton::clicked, this, [this] {
    try {
      StartConversion();
    } catch (const std::exception& E) {
      ShowExceptionBox(this, E, QString(), QString(), QString(), 0, 1);
    }
  });
  connect(CancelButton, &QPushButton::clicked, this, [this] { SetModalResult(2); close(); });
}

TKvBatchConvertForm::~TKvBatchConvertForm() {
  if (FThread) {
    FThread->Cancel();
    FThread->WaitFor();
    FThread.reset();
  }
}

TnoxSize TKvBatchConvertForm::GetInitialClientSize() {
  return TnoxSize{GetShellUI()->CharsToWidth(80), GetShellUI()->LinesToHeight(30)};
}

void TKvBatchConvertForm::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->key() == Qt::Key_Escape) {
    SetModalResult(2);
    close();
    return;
  }
  TnoxShellUIForm::keyPressEvent(AEvent);
}

void TKvBatchConvertForm::StartConversion() {
  if (SourceEdit) SourceEdit->setEnabled(false), SourceButton->setEnabled(false);
  DestEdit->setEnabled(false);
  DestButton->setEnabled(false);
  FormatCombo->setEnabled(false);
  ConvertButton->setEnabled(false);
  if (SourceEdit) SetPathSetting(SourceEdit->text().trimmed().toStdString());
  SetBatchPathSetting(DestEdit->text().trimmed().toStdString());
  if (SourceEdit)
    FThread = std::make_unique<TKvBatchThread>(std::vector<std::string>(), SourceEdit->text().toStdString(),
                                               DestEdit->text().toStdString(), FDest, FormatCombo->currentIndex());
  else
    FThread = std::make_unique<TKvBatchThread>(FSourceFiles->GetFiles(), "-", DestEdit->text().toStdString(), FDest,
                                               FormatCombo->currentIndex());
  FTimer = new QTimer(this);
  FTimer->setInterval(500);
  connect(FTimer, &QTimer::timeout, this, [this] { PollThread(); });
  FTimer->start();
}

void TKvBatchConvertForm::PollThread() {
  if (!FThread) return;
  auto* LBar = static_cast<TBatchProgressBar*>(ProgressBar);
  auto LDrain = [this] {
    for (std::string L = FThread->TakeLogLine(); !L.empty(); L = FThread->TakeLogLine())
      LogMemo->appendPlainText(QString::fromStdString(L));
  };
  if (FThread->Finished()) {
    CancelButton->setText("Close");
    if (FTimer) FTimer->stop();
    StatusLabel->SetCaption(QString());
    LBar->Position = LBar->Max;
    LBar->update();
    LDrain();
  } else if (FThread->GetTotalUnlocked() > 0) {
    int LDone, LTotal, LPosition, LMax;
    FThread->GetCounters(LDone, LTotal, LPosition, LMax);
    StatusLabel->SetCaption(QString("%1 of %2").arg(LDone + 1).arg(LTotal));
    LBar->Max = LMax;
    LBar->Position = LPosition;
    LBar->update();
    LDrain();
  }
}

void TKvBatchConvertForm::ResizeControls() {
  TnoxShellUIForm::ResizeControls();
  TnoxShellUI& UI = *GetShellUI();
  if (SourceEdit) UI.AutoSizeEditHeight(SourceEdit);
  UI.AutoSizeEditHeight(DestEdit);
  if (SourceButton)
    UI.AutoSizeTwoButtons(SourceButton, DestButton);
  else
    UI.AutoSizeButton(DestButton);
  FormatCombo->resize(UI.CharsToWidth(15), FormatCombo->sizeHint().height());
  UI.SetLineHeight(ProgressBar);
  UI.SetLineHeight(StatusLabel);
  UI.AutoSizeTwoButtons(ConvertButton, CancelButton);
}

void TKvBatchConvertForm::ArrangeControls() {
  TnoxShellUIForm::ArrangeControls();
  TnoxShellUI& UI = *GetShellUI();
  const int W = GetLayoutClientWidth(), H = GetLayoutClientHeight();
  int LLabelWidth = std::max({FSourceLabel ? FSourceLabel->width() : 0, FDestLabel->width(), FFormatLabel->width()});
  const int LEditLeft = UI.MarginX + LLabelWidth + UI.LabelSpacingX;
  const int LButtonLeft = W - UI.MarginX - DestButton->width();
  int y = UI.MarginY;
  auto LRow = [&](TLabel* L, QWidget* E, QWidget* B) {
    B->move(LButtonLeft, y);
    E->setGeometry(LEditLeft, y + (B->height() - E->height()) / 2, LButtonLeft - UI.RelatedSpacingX - LEditLeft,
                   E->height());
    L->move(UI.MarginX, E->y() + (E->height() - L->height()) / 2);
    y += B->height() + UI.UnrelatedSpacingY;
  };
  if (SourceEdit) LRow(FSourceLabel, SourceEdit, SourceButton);
  LRow(FDestLabel, DestEdit, DestButton);
  FormatCombo->move(LEditLeft, y);
  FFormatLabel->move(UI.MarginX, y + (FormatCombo->height() - FFormatLabel->height()) / 2);
  y += FormatCombo->height() + 2 * UI.UnrelatedSpacingY;
  StatusLabel->setGeometry(UI.MarginX, y, W - 2 * UI.MarginX, StatusLabel->height());
  y += StatusLabel->height() + UI.LabelSpacingY;
  ProgressBar->setGeometry(UI.MarginX, y, W - 2 * UI.MarginX, ProgressBar->height());
  y += ProgressBar->height() + UI.UnrelatedSpacingY;
  CancelButton->move(W - UI.MarginX - CancelButton->width(), H - UI.MarginY - CancelButton->height());
  ConvertButton->move(CancelButton->x() - UI.ButtonSpacingX - ConvertButton->width(), CancelButton->y());
  LogMemo->setGeometry(UI.MarginX, y, W - 2 * UI.MarginX, std::max(10, CancelButton->y() - UI.UnrelatedSpacingY - y));
}
