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

std::string WithDelimiter(const std::string& A) { return (!A.empty() && A.back() == '/') ? A : A + "/"; }

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

// ---- thread ----

TKvBatchThread::TKvBatchThread(const std::vector<std::string>& AFiles, const std::string& ASourceFolder,
                               const std::string& ADestFolder, TKvDest& ADest, int AFormat)
    : FSourceFolder(WithDelimiter(ASourceFolder)), FFiles(AFiles), FDestFolder(WithDelimiter(ADestFolder)),
      FFormat(AFormat) {
  if (!ADest.GetEngine() || !ADest.GetOptions()) throw Exception("Internal error");
  FEngineClass = &ADest.GetEngine()->ClassType();
  FEngine = FEngineClass->Create();
  FOptions = FEngine->CreateOptions();
  FOptions->Assign(ADest.GetOptions());
  FThread = std::thread([this] { Execute(); });
}

TKvBatchThread::~TKvBatchThread() {
  Cancel();
  WaitFor();
}

void TKvBatchThread::Cancel() {
  FTerminated = true;
  RequestAbort(&FAbort);
}

void TKvBatchThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TKvBatchThread::GetCounters(int& ADone, int& ATotal, int& APosition, int& AMax) {
  std::lock_guard<std::mutex> LGuard(FLock);
  ADone = FDone;
  ATotal = FTotal;
  int t = 0, d = 0;
  FProgress.GetProgress(t, d);
  // A converter that reports no total counts as no progress within the file.
  APosition = FDone * 100 + (t > 0 ? static_cast<int>(Round(d * 100.0 / t)) : 0);
  AMax = FTotal * 100;
}

void TKvBatchThread::AddLog(const std::string& ALine) {
  if (ALine.empty()) return;
  std::lock_guard<std::mutex> LGuard(FLock);
  FLog.push_back(ALine);
}

std::string TKvBatchThread::TakeLogLine() {
  std::lock_guard<std::mutex> LGuard(FLock);
  if (FLog.empty()) return std::string();
  std::string LLine = FLog.front();
  FLog.erase(FLog.begin());
  return LLine;
}

void TKvBatchThread::Execute() {
  try {
    if (FFiles.empty()) ScanFolder(FSourceFolder, FFiles, false);
    {
      std::lock_guard<std::mutex> LGuard(FLock);
      FDone = 0;
      FTotal = static_cast<int>(FFiles.size());
    }
    for (const std::string& LFile : FFiles) {
      ConvertFile(LFile);
      {
        std::lock_guard<std::mutex> LGuard(FLock);
        FProgress.SetProgress(1, 0);
        ++FDone;
      }
      if (FTerminated) break;
    }
  } catch (const std::exception& E) {
    AddLog(E.what());
  } catch (...) {
  }
  FFinished = true;
}

void TKvBatchThread::ConvertFile(const std::string& F) {
  std::string LLogName = F;
  try {
    {
      std::lock_guard<std::mutex> LGuard(FLock);
      FProgress.SetProgress(1, 0);
    }
    std::unique_ptr<TBitmap32> LPicture;
    std::unique_ptr<TKvPalette256> LPalette, LUsedColors;
    {
      std::ifstream LStream(F, std::ios::binary);
      if (!LStream) throw EOSError(2, "Cannot open file \"" + F + "\". No such file or directory");
      // The picture's own palettes go to every converter, as they do in the
      // interactive conversion (the source document decodes all three).
      DecodePicture(LStream, LPicture, LPalette, LUsedColors, 7);
    }
    if (!LPicture) throw Exception("Unknown image type");
    if (!FOptions->LockDimension) {
      const TKvSize LAspect = FOptions->GetPixelAspectRatio();
      const double mx = std::max(LAspect.Width, LAspect.Height);
      int w = static_cast<int>(Round(LPicture->GetWidth() * LAspect.Width / mx));
      int h = static_cast<int>(Round(LPicture->GetHeight() * LAspect.Height / mx));
      const TKvSize LMax = FOptions->GetMaxSize();
      if (w > LMax.Width || h > LMax.Height) {
        const TKvSize LFit = FitSourceInResult(w, h, LMax.Width, LMax.Height);
        w = LFit.Width;
        h = LFit.Height;
      }
      const TKvSize LMin = FOptions->GetMinSize();
      FOptions->SetWidth(std::max(w, LMin.Width));
      FOptions->SetHeight(std::max(h, LMin.Height));
    }
    TKvDestResizeJob LResize(*LPicture, FOptions->GetWidth(), FOptions->GetHeight(), FOptions->GetPixelAspectRatio(),
                             FOptions->Position, false);
    LResize.Run();
    if (FTerminated) return;
    if (!LResize.Fitted) throw Exception("Internal error");
    FillOutsideRect(*LResize.Fitted, LResize.FittedRect, FOptions->BorderColor);
    std::unique_ptr<TKvDestEngineOptions> LOptions = FEngine->CreateOptions();
    LOptions->Assign(FOptions.get());
    TKvDestWorkJob LWork(*LResize.Fitted, LPalette.get(), LUsedColors.get(), *FEngineClass, *LOptions, FProgress,
                         &FAbort);
    LWork.Run();
    if (FTerminated) return;
    if (!LWork.Result) throw Exception("Internal error");
    std::error_code LError;
    std::filesystem::create_directories(FDestFolder, LError);
    const std::string N = ExtractFileName(F);
    LLogName = N;
    SaveResult(*LWork.Result, LWork.Frames.get(), LWork.Streams.get(), N);
    AddLog(N + ": OK");
  } catch (const EAbort&) {
    if (!FTerminated) AddLog(LLogName + ": " + "Operation aborted");
  } catch (const std::exception& E) {
    AddLog(LLogName + ": " + E.what());
  }
}

void TKvBatchThread::SaveResult(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams,
                                const std::string& N) {
  const std::string B = FDestFolder + ChangeFileExt(N, "");
  auto LFrames = [&](auto ASave) {
    for (int i = 0; AFrames && i < AFrames->GetCount(); ++i) ASave(*AFrames->GetBitmap(i), B + "." + std::to_string(i));
  };
  auto LBmp = [](TKvBitmap& b, const std::string& base) { SaveKvBitmapBMP(b, base + ".bmp"); };
  auto LPng = [](TKvBitmap& b, const std::string& base) { SaveKvBitmapPNG(b, base + ".png"); };
  auto LGif = [](TKvBitmap& b, const std::string& base) {
    if (b.BitCount > 8)
      SaveKvBitmapBMP(b, base + ".bmp");
    else
      SaveKvBitmapGIF(b, base + ".gif");
  };
  switch (FFormat) {
    case 0: LBmp(AResult, B); LFrames(LBmp); break;
    case 1: LPng(AResult, B); LFrames(LPng); break;
    case 2: LGif(AResult, B); LFrames(LGif); break;
    default:
      if (AStreams && AStreams->GetCount() > 0) {
        for (int k = 0; k < AStreams->GetCount(); ++k) {
          TKvStream* S = AStreams->GetStream(k);
          SaveKvStream(*S, FDestFolder + ChangeFileExt(N, "." + S->GetExtension()));
        }
      } else {
        LBmp(AResult, B);
      }
      break;
  }
}

// ---- window ----

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
