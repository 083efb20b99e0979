#include "app/qt/MainFormUnit.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <filesystem>

#include "app/KvControls.h"
#include "app/KvDestEngines.h"
#include "app/qt/BatchConvertFormUnit.h"
#include "app/qt/RegionFormUnit.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/qt/noxShellDataOffer.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellForm.h"
#include "shell/qt/noxShellFormUtils.h"

namespace {

QString Q(const std::string& A) { return QString::fromStdString(A); }

class TKvQtTimer : public TKvTimer {
public:
  TKvQtTimer() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      try {
        Fire();
      } catch (...) {
        // The documents report their own failures; a tick never throws out.
      }
    });
  }
  void SetInterval(int AMilliseconds) override { FTimer.setInterval(AMilliseconds); }
  void SetEnabled(bool AEnabled) override {
    if (AEnabled)
      FTimer.start();
    else
      FTimer.stop();
  }
  bool GetEnabled() const override { return FTimer.isActive(); }

private:
  QTimer FTimer;
};

void ShowError(QWidget* AOwner, const std::exception& E) {
  ShowExceptionBox(AOwner, E, QString(), QString(), QString(), 0, dynamic_cast<const EWarning*>(&E) ? 3 : 1);
}

}  // namespace

std::string& ProductVersionValue() {
  static std::string LVersion;
  return LVersion;
}
std::string GetProductVersion() { return ProductVersionValue(); }
void SetProductVersion(const std::string& AVersion) { ProductVersionValue() = AVersion; }

std::unique_ptr<TKvTimer> TKvQtTimerFactory::CreateTimer() { return std::make_unique<TKvQtTimer>(); }

// ---- file list ----

TKvSourceFileList::TKvSourceFileList(QWidget* AParent) : QListWidget(AParent) {
  connect(this, &QListWidget::currentRowChanged, this, [this](int ARow) {
    if (!FFilling) LoadRow(ARow);
  });
  // Clicking the entry that is already selected loads it again.
  connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* AItem) {
    const int LRow = row(AItem);
    if (LRow == FRowBeforePress) LoadRow(LRow);
  });
}

void TKvSourceFileList::mousePressEvent(QMouseEvent* AEvent) {
  FRowBeforePress = currentRow();
  QListWidget::mousePressEvent(AEvent);
}

void TKvSourceFileList::LoadRow(int ARow) {
  if (!FFiles || !FSource || ARow < 0 || ARow >= static_cast<int>(FFiles->GetFiles().size())) return;
  try {
    FSource->LoadFromFile(FFiles->GetFiles()[static_cast<size_t>(ARow)]);
  } catch (const std::exception& E) {
    ShowError(window(), E);
  }
}

TKvSourceFileList::~TKvSourceFileList() { SetSourceFiles(nullptr); }

void TKvSourceFileList::SetSourceFiles(TKvSourceFiles* AFiles) {
  if (AFiles == FFiles) return;
  if (FFiles) FFiles->RemoveClient(this);
  FFiles = AFiles;
  if (FFiles) FFiles->AddClient(this);
  SourceFilesChanged();
}

void TKvSourceFileList::SourceFilesChanged() {
  FFilling = true;
  clear();
  if (FFiles)
    for (const std::string& LFile : FFiles->GetFiles())
      addItem(QString::fromStdString(std::filesystem::path(LFile).filename().string()));
  // The first file is selected and loaded at once.
  if (count() > 0) setCurrentRow(0);
  FFilling = false;
  if (count() > 0) LoadRow(0);
}

// ---- main window ----

template <class T>
T* TMainForm::AddAction(T* AAction, TKvSourceFiles* AFiles, TKvSource* ASource, TKvDest* ADest) {
  if constexpr (std::is_base_of_v<TKvSourceDestAction, T>) {
    AAction->SetSourceFiles(AFiles);
    AAction->SetSource(ASource);
    AAction->SetDest(ADest);
  } else {
    (void)AFiles, (void)ASource, (void)ADest;
  }
  AAction->AfterConstruction();
  AAction->setShortcutContext(Qt::WindowShortcut);
  addAction(AAction);
  Actions.push_back(AAction);
  return AAction;
}

TMainForm::TMainForm(TKvTimerFactory* ATimers, TKvWorkerLauncher* AWorkers) : TnoxShellUIForm() {
  setAutoFillBackground(true);
  QPalette LPalette = palette();
  LPalette.setColor(QPalette::Window, LPalette.color(QPalette::Base));
  setPalette(LPalette);
  setWindowTitle("Kovrel");
  SetSizeable(true);
  if (!ATimers) {
    FOwnTimers = std::make_unique<TKvQtTimerFactory>();
    ATimers = FOwnTimers.get();
  }
  if (!AWorkers) {
    FOwnWorkers = std::make_unique<TKvThreadWorkerLauncher>();
    AWorkers = FOwnWorkers.get();
  }
  FSourceFiles = std::make_unique<TKvSourceFiles>();
  FSource = std::make_unique<TKvSource>();
  FSource->SetImportChooser(&FImportChooser);
  FSourceFiles->SetSource(FSource.get());
  FDest = std::make_unique<TKvDest>(*ATimers, *AWorkers);
  FDest->SetSource(FSource.get());
  FDest->SetOnError([this](std::exception_ptr AError) {
    try {
      std::rethrow_exception(AError);
    } catch (const std::exception& E) {
      ShowError(this, E);
    } catch (...) {
    }
  });

  MainMenu = new QMenuBar(this);

  FilesLabel = new TLabel(this);
  FilesLabel->SetCaption("Files");
  FileList = new TKvSourceFileList(this);
  FilesLabel->SetFocusControl(FileList);
  FilesLabel->hide();
  FileList->hide();
  FileList->SetSource(FSource.get());

  FViewScroll = std::make_unique<TKvBaseDestImageScroll>();
  SourceLabel = new TLabel(this);
  SourceLabel->SetCaption("Source");
  SourceView = new TKvDestOriginalImage(this);
  SourceView->SetDest(FDest.get());
  SourceView->SetScrollLink(FViewScroll.get());
  SourceView->setContextMenuPolicy(Qt::ActionsContextMenu);
  ResultLabel = new TLabel(this);
  ResultLabel->SetCaption("Result");
  ResultView = new TKvDestImage(this);
  ResultView->SetDest(FDest.get());
  ResultView->SetScrollLink(FViewScroll.get());
  ResultView->setContextMenuPolicy(Qt::ActionsContextMenu);
  ResultView->OnDblClick = [this] { ViewHideSourceMenuItemClick(); };

  ParametersPanel = new QWidget(this);
  FParametersLabel = new TLabel(ParametersPanel);
  FParametersLabel->SetCaption("Parameters");
  FCommonSeparator = new TKvSeparator(ParametersPanel);
  FCommonSeparator->SetCaption("Common");
  FPlatformLabel = new TLabel(ParametersPanel);
  FPlatformLabel->SetCaption("&Platform:");
  PlatformCombo = new TnoxShellComboBox(ParametersPanel);
  FPlatformLabel->SetFocusControl(PlatformCombo);
  TKvDestEngineList& LEngines = DestEngineList();
  for (int i = 0; i < LEngines.GetCount(); ++i) PlatformCombo->addItem(Q(LEngines.GetString(i)));
  {
    const int LIndex = LEngines.IndexOf(GetLastPlatformSetting());
    PlatformCombo->setCurrentIndex(LIndex >= 0 ? LIndex : (PlatformCombo->count() > 0 ? 0 : -1));
  }
  PlatformCombo->setMaxVisibleItems(std::max(1, PlatformCombo->count()));
  FScreenLabel = new TLabel(ParametersPanel);
  FScreenLabel->SetCaption("&Screen:");
  ScreenCombo = new TnoxShellComboBox(ParametersPanel);
  FScreenLabel->SetFocusControl(ScreenCombo);
  if (PlatformCombo->currentIndex() >= 0) {
    TKvDestSubTypes& LModes = LEngines.GetSubTypes(PlatformCombo->currentIndex());
    for (int i = 0; i < LModes.GetCount(); ++i) ScreenCombo->addItem(Q(LModes.GetString(i)));
    const int LIndex = LModes.IndexOf(GetLastModeSetting());
    ScreenCombo->setCurrentIndex(LIndex >= 0 ? LIndex : (ScreenCombo->count() > 0 ? 0 : -1));
  }
  ScreenCombo->setMaxVisibleItems(std::max(1, ScreenCombo->count()));

  OpenAction = AddAction(new TKvOpenAction(this), FSourceFiles.get(), FSource.get(), nullptr);
  OpenFolderAction = AddAction(new TKvOpenFolderAction(this), FSourceFiles.get(), nullptr, nullptr);
  PasteAction = AddAction(new TKvPasteAction(this), nullptr, FSource.get(), nullptr);
  RegionAction = AddAction(new TKvRegionAction(this), nullptr, FSource.get(), FDest.get());
  CloseAction = AddAction(new TKvCloseAction(this), FSourceFiles.get(), FSource.get(), nullptr);
  BatchAction = AddAction(new TKvBatchConvertAction(this), FSourceFiles.get(), FSource.get(), FDest.get());
  OpenPaletteAction = AddAction(new TKvOpenPaletteAction(this), nullptr, nullptr, nullptr);
  SavePaletteAction = AddAction(new TKvSavePaletteAction(this), nullptr, nullptr, nullptr);
  CopyAction = AddAction(new TKvDestCopyAction(this), nullptr, nullptr, FDest.get());
  PasteResultAction = AddAction(new TKvDestPasteAction(this), nullptr, nullptr, FDest.get());
  SaveBmpAction = AddAction(new TKvDestSaveAsBmpAction(this), nullptr, FSource.get(), FDest.get());
  SavePngAction = AddAction(new TKvDestSaveAsPngAction(this), nullptr, FSource.get(), FDest.get());
  SaveGifAction = AddAction(new TKvDestSaveAsGifAction(this), nullptr, FSource.get(), FDest.get());
  for (int i = 0; i < 5; ++i)
    SaveScrActions[i] = AddAction(new TKvDestSaveAsScrAction(this, i), nullptr, FSource.get(), FDest.get());
  for (int i = 0; i < 5; ++i)
    ZoomActions[i] = AddAction(new TKvDestViewZoomAction(this, i + 1), nullptr, nullptr, FDest.get());
  NativePARAction = AddAction(new TKvDestViewNativePARAction(this), nullptr, nullptr, FDest.get());
  FlickerAction = AddAction(new TKvDestViewNativeImageAction(this), nullptr, nullptr, FDest.get());

  if (!RunRegionDialog) RunRegionDialog = ShowRegionDialog;
  if (!RunBatchDialog)
    RunBatchDialog = [](QWidget*, TKvSourceFiles* AFiles, TKvDest& ADest) {
      auto LForm = noxCreateForm<TKvBatchConvertForm>(AFiles, ADest);
      LForm->ShowModal();
    };

  // The window shows the list before the list loads its first file, so an
  // import dialog for that file opens over the window as it will stay.
  FSourceFiles->AddClient(this);
  FileList->SetSourceFiles(FSourceFiles.get());
  FSource->AddClient(this);
  BuildMenus();

  connect(PlatformCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) {
    try {
      PlatformChange();
    } catch (const std::exception& E) {
      ShowError(this, E);
    }
  });
  connect(ScreenCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) {
    try {
      ScreenChange();
    } catch (const std::exception& E) {
      ShowError(this, E);
    }
  });
  ScreenChange();

  setAcceptDrops(true);
  FIdleUpdate = std::make_unique<TKvActionUpdater>(*ATimers, [this] { UpdateActions(); });
  UpdateActions();
}

TMainForm::~TMainForm() {
  FIdleUpdate.reset();
  if (FSource) FSource->RemoveClient(this);
  if (FSourceFiles) FSourceFiles->RemoveClient(this);
  // The views and the panel leave the documents before the documents go.
  delete EnginePanel;
  EnginePanel = nullptr;
  delete SourceView;
  delete ResultView;
  delete FileList;
  for (TnoxShellAction* A : Actions) delete A;
  Actions.clear();
  FViewScroll.reset();
  FDest.reset();
  FSourceFiles.reset();
  FSource.reset();
}

void TMainForm::AfterConstruction() {
  TnoxShellUIForm::AfterConstruction();
  RefreshUI();
}

void TMainForm::BuildMenus() {
  QMenu* LFile = MainMenu->addMenu("File");
  LFile->addAction(OpenAction);
  LFile->addAction(OpenFolderAction);
  LFile->addAction(PasteAction);
  LFile->addAction(CloseAction);
  LFile->addSeparator();
  LFile->addAction(BatchAction);
  QMenu* LResult = MainMenu->addMenu("Result");
  LResult->addAction(RegionAction);
  LResult->addSeparator();
  LResult->addAction(OpenPaletteAction);
  LResult->addAction(SavePaletteAction);
  LResult->addSeparator();
  LResult->addAction(CopyAction);
  LResult->addAction(PasteResultAction);
  LResult->addSeparator();
  LResult->addAction(SaveBmpAction);
  LResult->addAction(SavePngAction);
  LResult->addAction(SaveGifAction);
  for (auto* A : SaveScrActions) LResult->addAction(A);
  QMenu* LView = MainMenu->addMenu("View");
  HideSourceMenuItem = LView->addAction("&Hide source");
  HideSourceMenuItem->setShortcut(QKeySequence("Ctrl+H"));
  HideSourceMenuItem->setCheckable(true);
  connect(HideSourceMenuItem, &QAction::triggered, this, [this] { ViewHideSourceMenuItemClick(); });
  LView->addAction(NativePARAction);
  LView->addAction(FlickerAction);
  LView->addSeparator();
  for (auto* A : ZoomActions) LView->addAction(A);
  QMenu* LHelp = MainMenu->addMenu("Help");
  QAction* LAbout = LHelp->addAction("About");
  connect(LAbout, &QAction::triggered, this, [this] { AboutMenuItemClick(); });

  SourceView->addAction(OpenAction);
  SourceView->addAction(PasteAction);
  SourceView->addAction(RegionAction);
  SourceView->addAction(CloseAction);
  ResultView->addAction(CopyAction);
  ResultView->addAction(PasteResultAction);
  ResultView->addAction(SaveBmpAction);
  ResultView->addAction(SavePngAction);
  ResultView->addAction(SaveGifAction);
  for (auto* A : SaveScrActions) ResultView->addAction(A);
}

TAboutForm::TAboutForm(QWidget* AOwner) : TnoxShellCustomDialogForm(AOwner, nullptr) {
  setWindowTitle("About");
  MainInstruction = QString("Kovrel ") + Q(GetProductVersion());
  AddOKButton(QString(), true, true)->setFocus();
}

QIcon TAboutForm::GetDialogIcon(int32_t AWidth, int32_t AHeight) { return LoadStockIcon(4, AWidth, AHeight); }

void TMainForm::AboutMenuItemClick() {
  try {
    auto LForm = noxCreateForm<TAboutForm>(this);
    LForm->ShowDialog(nullptr);
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
}

void TMainForm::UpdateActions() {
  for (TnoxShellAction* A : Actions) {
    try {
      A->Update();
    } catch (...) {
    }
  }
}

void TMainForm::UpdateCaption() {
  const std::string LName = FSource ? FSource->GetFileName() : std::string();
  setWindowTitle(LName.empty() ? QString("Kovrel") : Q(LName) + " - Kovrel");
}

void TMainForm::SourceFilesChanged() {
  const bool LVisible = FSourceFiles && !FSourceFiles->GetFiles().empty();
  FilesLabel->setVisible(LVisible);
  FileList->setVisible(LVisible);
  if (CanArrange()) ArrangeViews();
}

void TMainForm::ViewHideSourceMenuItemClick() {
  HideSource = !HideSource;
  SourceLabel->setVisible(!HideSource);
  SourceView->setVisible(!HideSource);
  if (HideSourceMenuItem) HideSourceMenuItem->setChecked(HideSource);
  if (CanArrange()) ArrangeViews();
}

void TMainForm::PlatformChange() {
  const int LPlatform = PlatformCombo->currentIndex();
  if (LPlatform < 0) return;
  TKvDestSubTypes& LModes = DestEngineList().GetSubTypes(LPlatform);
  {
    const QSignalBlocker LBlocker(ScreenCombo);
    ScreenCombo->clear();
    for (int i = 0; i < LModes.GetCount(); ++i) ScreenCombo->addItem(Q(LModes.GetString(i)));
    ScreenCombo->setCurrentIndex(ScreenCombo->count() > 0 ? 0 : -1);
  }
  ScreenCombo->setMaxVisibleItems(std::max(1, ScreenCombo->count()));
  ScreenCombo->setEnabled(LModes.GetCount() > 1);
  SetLastPlatformSetting(PlatformCombo->currentText().toStdString());
  ScreenChange();
}

void TMainForm::ScreenChange() {
  if (FInScreenChange) return;
  const int LPlatform = PlatformCombo->currentIndex(), LMode = ScreenCombo->currentIndex();
  if (LPlatform < 0 || LMode < 0) return;
  FInScreenChange = true;
  setUpdatesEnabled(false);
  FDest->BeginUpdate();
  try {
    delete EnginePanel;
    EnginePanel = nullptr;
    SavePaletteAction->SetDestPalette(nullptr);
    const TKvDestEngineClass* LClass = DestEngineList().GetSubTypes(LPlatform).GetObject(LMode);
    FDest->SetEngine(*LClass);
    EnginePanel = new TKvDestEngineUIPanel(ParametersPanel, FDest->CreateUI());
    EnginePanel->SetSource(FSource.get());
    EnginePanel->SetDest(FDest.get());
    EnginePanel->UpdateControls();
    EnginePanel->CheckOptions();
    if (TKvDestPalette* LStrip = EnginePanel->GetResultPaletteStrip()) {
      SavePaletteAction->SetDestPalette(LStrip);
      LStrip->setContextMenuPolicy(Qt::ActionsContextMenu);
      if (!EnginePanel->IsResultStripReadOnly()) LStrip->addAction(OpenPaletteAction);
      LStrip->addAction(SavePaletteAction);
    }
    EnginePanel->OnArrangeRequest = [this] {
      if (CanArrange()) ArrangeControls();
    };
    EnginePanel->show();
  } catch (...) {
    FDest->EndUpdate();
    setUpdatesEnabled(true);
    FInScreenChange = false;
    throw;
  }
  FDest->EndUpdate();
  if (IsInitialized()) RefreshUI();
  setUpdatesEnabled(true);
  FInScreenChange = false;
  SetLastModeSetting(ScreenCombo->currentText().toStdString());
}

namespace {

// The character counts of the window's sizes suit narrow fonts; with a wider
// one they would exceed a small screen, and a window must fit the screen it
// opens on.
TnoxSize CapToWorkArea(const QWidget* AForm, TnoxSize ASize, bool AClient) {
  TnoxMonitorInfo LInfo;
  if (!GetMonitorInfo(MonitorFromWindow(AForm), LInfo)) return ASize;
  const QMargins LFrame = AClient ? GetFrameMargins(AForm) : QMargins();
  ASize.Width = std::min(ASize.Width, LInfo.Work.Width() - LFrame.left() - LFrame.right());
  ASize.Height = std::min(ASize.Height, LInfo.Work.Height() - LFrame.top() - LFrame.bottom());
  return ASize;
}

}  // namespace

TnoxSize TMainForm::GetMinSize() {
  TnoxShellUI* UI = GetShellUI();
  // The height is measured in the width unit too.
  return CapToWorkArea(this, TnoxSize{UI->CharsToWidth(122), UI->CharsToWidth(129)}, false);
}

TnoxSize TMainForm::GetInitialClientSize() {
  TnoxShellUI* UI = GetShellUI();
  return CapToWorkArea(this, TnoxSize{UI->CharsToWidth(160), UI->CharsToWidth(129)}, true);
}

int TMainForm::ParametersWidth(TnoxShellUI& UI) {
  const QString LFont = UI.Font.key() + QString(" %1 %2").arg(UI.DpiX).arg(UI.MarginX);
  if (FParametersWidth > 0 && LFont == FParametersWidthFont) return FParametersWidth;
  int LWidth = std::max(UI.CharsToWidth(63), 2 * UI.MarginX + 360);
  TKvDestEngineList& LEngines = DestEngineList();
  // The lists' row with the longest mode name of any platform.
  TnoxShellComboBox LModes(ParametersPanel);
  LModes.hide();
  LModes.setFont(ScreenCombo->font());
  for (int p = 0; p < LEngines.GetCount(); ++p)
    for (int m = 0; m < LEngines.GetSubTypes(p).GetCount(); ++m) LModes.addItem(Q(LEngines.GetSubTypes(p).GetString(m)));
  const int LListsRow = UI.MarginX + FPlatformLabel->width() + UI.LabelSpacingX + PlatformCombo->width() +
                        UI.UnrelatedSpacingX + FScreenLabel->width() + UI.LabelSpacingX +
                        LModes.sizeHint().width() + UI.MarginX;
  LWidth = std::max(LWidth, LListsRow);
  // Every converter's panel as it starts.
  for (int p = 0; p < LEngines.GetCount(); ++p)
    for (int m = 0; m < LEngines.GetSubTypes(p).GetCount(); ++m) {
      const TKvDestEngineClass* LClass = LEngines.GetSubTypes(p).GetObject(m);
      if (!LClass) continue;
      try {
        std::unique_ptr<TKvDestEngine> LEngine = LClass->Create();
        std::unique_ptr<TKvDestEngineOptions> LOptions = LEngine->CreateOptions();
        TKvDestEngineUIPanel LPanel(ParametersPanel, LEngine->CreateUI(LOptions.get()));
        LPanel.hide();
        LPanel.ResizeControls(UI);
        LWidth = std::max(LWidth, LPanel.GetRequiredWidth());
      } catch (...) {
        // A panel that cannot be built here fails again, with its message,
        // when the user picks its mode.
      }
    }
  FParametersWidth = LWidth;
  FParametersWidthFont = LFont;
  return LWidth;
}

void TMainForm::ResizeControls() {
  TnoxShellUIForm::ResizeControls();
  TnoxShellUI& UI = *GetShellUI();
  FileList->resize(UI.CharsToWidth(20), FileList->height());
  for (TLabel* L : {FilesLabel, SourceLabel, ResultLabel, FParametersLabel, FPlatformLabel, FScreenLabel})
    L->AdjustBounds();
  FCommonSeparator->AdjustBounds();
  // The lists are never narrower than their longest entry.
  PlatformCombo->resize(std::max(UI.CharsToWidth(20), PlatformCombo->sizeHint().width()),
                        PlatformCombo->sizeHint().height());
  ScreenCombo->resize(ScreenCombo->width(), ScreenCombo->sizeHint().height());
  if (EnginePanel) EnginePanel->ResizeControls(UI);
  // Wide enough for whatever the lists and any converter's controls need.
  ParametersPanel->resize(ParametersWidth(UI), ParametersPanel->height());
}

void TMainForm::ArrangeControls() {
  TnoxShellUIForm::ArrangeControls();
  const int LMenuHeight = MainMenu->sizeHint().height();
  MainMenu->setGeometry(0, 0, width(), LMenuHeight);
  ParametersPanel->setGeometry(width() - ParametersPanel->width(), LMenuHeight, ParametersPanel->width(),
                               height() - LMenuHeight);
  ArrangeViews();
  LayoutParameters();
}

void TMainForm::ArrangeViews() {
  TnoxShellUI& UI = *GetShellUI();
  const int LTop = MainMenu->sizeHint().height();
  const int CW = width() - ParametersPanel->width(), CH = height() - LTop;
  int LLeft = UI.MarginX, LWidth = CW - UI.MarginX;
  if (FileList->isVisibleTo(this)) {
    FilesLabel->move(0, LTop + UI.MarginY);
    FileList->setGeometry(UI.MarginX, FilesLabel->y() + FilesLabel->height() + UI.LabelSpacingY, FileList->width(),
                          LTop + CH - UI.MarginY - (FilesLabel->y() + FilesLabel->height() + UI.LabelSpacingY));
    FilesLabel->move(UI.MarginX + (FileList->width() - FilesLabel->width()) / 2, FilesLabel->y());
    LLeft = 2 * UI.MarginX + FileList->width();
    LWidth = CW - LLeft - UI.MarginX;
  }
  LWidth = std::max(LWidth, 10);
  if (HideSource) {
    const int H = CH - 2 * UI.MarginY - UI.LabelSpacingY - ResultLabel->height();
    ResultView->setGeometry(LLeft, LTop + CH - UI.MarginY - H, LWidth, std::max(H, 10));
  } else {
    const int H = std::max(10, (CH - 2 * UI.MarginY - UI.UnrelatedSpacingY - 2 * UI.LabelSpacingY -
                                SourceLabel->height() - ResultLabel->height()) /
                                   2);
    SourceLabel->move(LLeft + (LWidth - SourceLabel->width()) / 2, LTop + UI.MarginY);
    SourceView->setGeometry(LLeft, SourceLabel->y() + SourceLabel->height() + UI.LabelSpacingY, LWidth, H);
    ResultView->setGeometry(LLeft, LTop + CH - UI.MarginY - H, LWidth, H);
  }
  ResultLabel->move(LLeft + (LWidth - ResultLabel->width()) / 2,
                    ResultView->y() - UI.LabelSpacingY - ResultLabel->height());
}

void TMainForm::LayoutParameters() {
  TnoxShellUI& UI = *GetShellUI();
  const int W = ParametersPanel->width(), H = ParametersPanel->height();
  FParametersLabel->move((W - FParametersLabel->width()) / 2, UI.MarginY);
  const int LSepTop = FParametersLabel->y() + FParametersLabel->height() + UI.UnrelatedSpacingY;
  FCommonSeparator->setGeometry(UI.MarginX, LSepTop, W - 2 * UI.MarginX, FCommonSeparator->height());
  const int LComboTop = LSepTop + FCommonSeparator->height() + UI.UnrelatedSpacingY;
  FPlatformLabel->move(UI.MarginX, LComboTop);
  PlatformCombo->move(UI.MarginX + FPlatformLabel->width() + UI.LabelSpacingX, LComboTop);
  UI.CenterOnComboBox(FPlatformLabel, PlatformCombo);
  FScreenLabel->move(PlatformCombo->x() + PlatformCombo->width() + UI.UnrelatedSpacingX, LComboTop);
  const int LScreenLeft = FScreenLabel->x() + FScreenLabel->width() + UI.LabelSpacingX;
  ScreenCombo->setGeometry(LScreenLeft, LComboTop, std::max(20, W - UI.MarginX - LScreenLeft), ScreenCombo->height());
  UI.CenterOnComboBox(FScreenLabel, ScreenCombo);
  if (EnginePanel) {
    const int LTop = ScreenCombo->y() + ScreenCombo->height() + UI.UnrelatedSpacingY;
    EnginePanel->setGeometry(0, LTop, W, std::max(10, H - UI.MarginX - LTop));
    int LPanelTop = 0;
    EnginePanel->ArrangeControls(UI, LPanelTop);
  }
}

// ---- drag and drop ----

bool TMainForm::CanAcceptDrop(const QMimeData* AData, Qt::DropActions AActions) const {
  if (!AData || !(AActions & Qt::CopyAction)) return false;
  try {
    return TKvSource::CanLoadFrom(ProbeOfferFromMimeData(AData));
  } catch (...) {
    return false;
  }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* AEvent) {
  if (CanAcceptDrop(AEvent->mimeData(), AEvent->possibleActions())) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TMainForm::dragMoveEvent(QDragMoveEvent* AEvent) {
  if (CanAcceptDrop(AEvent->mimeData(), AEvent->possibleActions())) {
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
  } else {
    AEvent->ignore();
  }
}

void TMainForm::dropEvent(QDropEvent* AEvent) {
  if (!CanAcceptDrop(AEvent->mimeData(), AEvent->possibleActions())) {
    AEvent->ignore();
    return;
  }
  AEvent->setDropAction(Qt::CopyAction);
  AEvent->accept();
  try {
    DropOffer(OfferFromMimeData(AEvent->mimeData()));
  } catch (const std::exception& E) {
    ShowError(this, E);
  }
}

void TMainForm::DropOffer(const TnoxShellDataOffer& AOffer) {
  if (!TKvSource::CanLoadFrom(AOffer)) return;
  std::error_code LError;
  if (!AOffer.Bitmap && AOffer.Files.size() == 1 && std::filesystem::is_directory(AOffer.Files[0], LError)) {
    FSourceFiles->OpenFolder(AOffer.Files[0]);
    return;
  }
  if (!FSourceFiles->GetFiles().empty()) FSourceFiles->Clear();
  FSource->LoadFromDataObject(AOffer);
}
