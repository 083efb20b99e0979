// The main window: the three documents, the file list, the two views scrolled
// together, the Parameters panel with the platform and screen lists and the
// chosen converter's option panel, the actions and menus, and dropping of
// pictures, file lists and folders.
#pragma once

#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/KvDest.h"
#include "app/KvSource.h"
#include "app/qt/KvActions.h"
#include "app/qt/KvControls.h"
#include "app/qt/KvEngineUI.h"
#include "app/qt/KvViews.h"
#include "app/qt/LoadScrFormUnit.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellFormEx.h"

// The program's version, compiled into the program; empty when unknown.
std::string GetProductVersion();
void SetProductVersion(const std::string& AVersion);

// The About box: the program's name and version.
class TAboutForm : public TnoxShellCustomDialogForm {
public:
  explicit TAboutForm(QWidget* AOwner);
  QIcon GetDialogIcon(int32_t AWidth, int32_t AHeight) override;
};

// Qt timers of the GUI thread for the documents.
class TKvQtTimerFactory : public TKvTimerFactory {
public:
  std::unique_ptr<TKvTimer> CreateTimer() override;
};

// The list of the opened folder's pictures; choosing one loads it.
class TKvSourceFileList : public QListWidget, public TObject, public IKvSourceFilesClient {
public:
  explicit TKvSourceFileList(QWidget* AParent);
  ~TKvSourceFileList() override;
  void SetSourceFiles(TKvSourceFiles* AFiles);
  void SetSource(TKvSource* ASource) { FSource = ASource; }
  void SourceFilesChanged() override;
  // Loads the file of row ARow (nothing for a row out of range).
  void LoadRow(int ARow);

protected:
  void mousePressEvent(QMouseEvent* AEvent) override;

private:
  TKvSourceFiles* FFiles = nullptr;
  TKvSource* FSource = nullptr;
  bool FFilling = false;
  int FRowBeforePress = -1;
};

class TMainForm : public TnoxShellUIForm, public TObject, public IKvSourceFilesClient, public IKvSourceClient {
public:
  // ATimers and AWorkers default to Qt timers and threads.
  TMainForm(TKvTimerFactory* ATimers = nullptr, TKvWorkerLauncher* AWorkers = nullptr);
  ~TMainForm() override;

  void AfterConstruction() override;
  TnoxSize GetMinSize() override;
  TnoxSize GetInitialClientSize() override;
  void ResizeControls() override;
  void ArrangeControls() override;

  void PlatformChange();
  void ScreenChange();
  void ViewHideSourceMenuItemClick();
  void UpdateActions();
  void UpdateCaption();
  void AboutMenuItemClick();

  // IKvSourceFilesClient / IKvSourceClient
  void SourceFilesChanged() override;
  void PictureChanged(TBitmap32*) override {}
  void SourceChanged(TBitmap32*, TKvPalette256*, TKvPalette256*) override { UpdateCaption(); }

  // Hands a dropped offer to the documents as a drop does.
  void DropOffer(const TnoxShellDataOffer& AOffer);

  TKvSourceFiles* SourceFiles() const { return FSourceFiles.get(); }
  TKvSource* Source() const { return FSource.get(); }
  TKvDest* Dest() const { return FDest.get(); }
  TnoxShellComboBox* PlatformCombo = nullptr;
  TnoxShellComboBox* ScreenCombo = nullptr;
  TKvDestEngineUIPanel* EnginePanel = nullptr;
  TKvDestOriginalImage* SourceView = nullptr;
  TKvDestImage* ResultView = nullptr;
  TLabel* SourceLabel = nullptr;
  TLabel* ResultLabel = nullptr;
  TLabel* FilesLabel = nullptr;
  TKvSourceFileList* FileList = nullptr;
  QWidget* ParametersPanel = nullptr;
  QMenuBar* MainMenu = nullptr;
  bool HideSource = false;

  // The actions, by what they do.
  TKvOpenAction* OpenAction = nullptr;
  TKvOpenFolderAction* OpenFolderAction = nullptr;
  TKvPasteAction* PasteAction = nullptr;
  TKvRegionAction* RegionAction = nullptr;
  TKvCloseAction* CloseAction = nullptr;
  TKvBatchConvertAction* BatchAction = nullptr;
  TKvOpenPaletteAction* OpenPaletteAction = nullptr;
  TKvSavePaletteAction* SavePaletteAction = nullptr;
  TKvDestCopyAction* CopyAction = nullptr;
  TKvDestPasteAction* PasteResultAction = nullptr;
  TKvDestSaveAsBmpAction* SaveBmpAction = nullptr;
  TKvDestSaveAsPngAction* SavePngAction = nullptr;
  TKvDestSaveAsGifAction* SaveGifAction = nullptr;
  TKvDestSaveAsScrAction* SaveScrActions[5] = {};
  TKvDestViewZoomAction* ZoomActions[5] = {};
  TKvDestViewNativePARAction* NativePARAction = nullptr;
  TKvDestViewNativeImageAction* FlickerAction = nullptr;
  QAction* HideSourceMenuItem = nullptr;
  std::vector<TnoxShellAction*> Actions;

protected:
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;

private:
  void ArrangeViews();
  void LayoutParameters();
  // The Parameters panel's width: the widest of every registered converter's
  // panel and of the lists' row with the longest platform and mode names, so
  // that the views never move when the mode changes. Measured once per font.
  int ParametersWidth(TnoxShellUI& UI);
  void BuildMenus();
  template <class T>
  T* AddAction(T* AAction, TKvSourceFiles* AFiles, TKvSource* ASource, TKvDest* ADest);
  bool CanAcceptDrop(const QMimeData* AData, Qt::DropActions AActions) const;

  std::unique_ptr<TKvTimerFactory> FOwnTimers;
  std::unique_ptr<TKvWorkerLauncher> FOwnWorkers;
  TKvImportDialogChooser FImportChooser;
  std::unique_ptr<TKvSourceFiles> FSourceFiles;
  std::unique_ptr<TKvSource> FSource;
  std::unique_ptr<TKvDest> FDest;
  std::unique_ptr<TKvBaseDestImageScroll> FViewScroll;
  TLabel* FParametersLabel = nullptr;
  TKvSeparator* FCommonSeparator = nullptr;
  TLabel* FPlatformLabel = nullptr;
  TLabel* FScreenLabel = nullptr;
  QMenu* FPalettePopup1 = nullptr;
  QMenu* FPalettePopup2 = nullptr;
  // The idle update of the actions, on a timer of the injected factory.
  std::unique_ptr<TKvActionUpdater> FIdleUpdate;
  bool FInScreenChange = false;
  int FParametersWidth = 0;
  QString FParametersWidthFont;
};
