// The commands of the main window's menus: open a picture or a folder, paste,
// select a region, close, batch convert, open and save palettes, copy the
// result, save it as BMP, PNG, GIF or native files, zoom, the native pixel
// aspect and the flicker display. Each is a shell action that shows the state
// its rule (app/KvControls.h) gives and runs the command; file dialogs go
// through replaceable hooks.
#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "app/KvControls.h"
#include "app/KvDest.h"
#include "app/KvSaveFiles.h"
#include "app/KvSource.h"
#include "app/qt/KvControls.h"
#include "shell/qt/noxShellActions.h"

class TFileSetWriter;
class TKvStream;
class TKvBitmap;

// The file dialogs of the actions. An empty answer means cancelled. Filters
// are the shell's "description|pattern|..." strings.
struct TKvFileDialogs {
  std::function<std::string(QWidget* AOwner, const std::string& AFilter, const std::string& AInitialDir)> OpenFile;
  std::function<std::string(QWidget* AOwner, const std::string& AFilter, const std::string& AInitialDir,
                            const std::string& AFileName, const std::string& ADefaultExt)>
      SaveFile;
  std::function<std::string(QWidget* AOwner, const std::string& AInitialDir, bool ANoNewFolder)> SelectFolder;
};
// The dialogs in use (the real ones unless a test replaced them).
TKvFileDialogs& FileDialogs();
// The real folder picker: an existing folder or the empty string.
std::string SelectFolder(QWidget* AOwner, const std::string& AInitialFolder, bool ANoNewFolder);

// The desktop the rules read: the clipboard of the application and the
// flicker pacing of the views.
const TKvActionDesktop& QtActionDesktop();

// An action whose caption, shortcut, enabled state, check mark and visibility
// come from its Qt-free rule; the Qt side shows them and runs the command.
class TKvRuleAction : public TnoxShellAction {
public:
  TKvRuleAction(QObject* AOwner, TKvActionKind AKind, int AIndex = 0);
  TKvActionRule& Rule() { return FRule; }
  QString QueryCaption() override;
  bool QueryEnabled() override { return FRule.QueryEnabled(); }
  bool QueryChecked() override { return FRule.QueryChecked(); }
  bool QueryVisible() override { return FRule.QueryVisible(); }

protected:
  TKvActionRule FRule;
};

class TKvSourceDestAction : public TKvRuleAction {
public:
  using TKvRuleAction::TKvRuleAction;
  void SetSourceFiles(TKvSourceFiles* A) { FRule.SetSourceFiles(A); }
  void SetSource(TKvSource* A) { FRule.SetSource(A); }
  void SetDest(TKvDest* A) { FRule.SetDest(A); }

protected:
  TKvSourceFiles* SourceFiles() const { return FRule.GetSourceFiles(); }
  TKvSource* Source() const { return FRule.GetSource(); }
  TKvDest* Dest() const { return FRule.GetDest(); }
};

class TKvSourceFilesAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
};

class TKvSourceAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
};

class TKvDestAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
};

class TKvOpenAction : public TKvSourceAction {
public:
  explicit TKvOpenAction(QObject* AOwner) : TKvSourceAction(AOwner, TKvActionKind::Open) {}
  void DoExecute() override;
};

class TKvOpenFolderAction : public TKvSourceFilesAction {
public:
  explicit TKvOpenFolderAction(QObject* AOwner) : TKvSourceFilesAction(AOwner, TKvActionKind::OpenFolder) {}
  void DoExecute() override;
};

class TKvPasteAction : public TKvSourceAction {
public:
  explicit TKvPasteAction(QObject* AOwner) : TKvSourceAction(AOwner, TKvActionKind::Paste) {}
  void DoExecute() override;
};

class TKvRegionAction : public TKvSourceDestAction {
public:
  explicit TKvRegionAction(QObject* AOwner) : TKvSourceDestAction(AOwner, TKvActionKind::Region) {}
  void DoExecute() override;
};

class TKvCloseAction : public TKvSourceAction {
public:
  explicit TKvCloseAction(QObject* AOwner) : TKvSourceAction(AOwner, TKvActionKind::Close) {}
  void DoExecute() override;
};

class TKvBatchConvertAction : public TKvDestAction {
public:
  explicit TKvBatchConvertAction(QObject* AOwner) : TKvDestAction(AOwner, TKvActionKind::BatchConvert) {}
  void DoExecute() override;
};

class TKvOpenPaletteAction : public TKvRuleAction {
public:
  explicit TKvOpenPaletteAction(QObject* AOwner) : TKvRuleAction(AOwner, TKvActionKind::OpenPalette) {}
  void DoExecute() override;
};

class TKvSavePaletteAction : public TKvRuleAction {
public:
  explicit TKvSavePaletteAction(QObject* AOwner) : TKvRuleAction(AOwner, TKvActionKind::SavePalette) {}
  void SetDestPalette(TKvDestPalette* A) { FDestPalette = A; }
  TKvDestPalette* GetDestPalette() const { return FDestPalette; }
  bool QueryEnabled() override;
  void DoExecute() override;

private:
  QPointer<TKvDestPalette> FDestPalette;
};

class TKvDestCopyAction : public TKvDestAction {
public:
  explicit TKvDestCopyAction(QObject* AOwner) : TKvDestAction(AOwner, TKvActionKind::DestCopy) {}
  void DoExecute() override;
};

class TKvDestPasteAction : public TKvDestAction {
public:
  explicit TKvDestPasteAction(QObject* AOwner) : TKvDestAction(AOwner, TKvActionKind::DestPaste) {}
  void DoExecute() override;
};

class TKvDestSaveAsBmpAction : public TKvDestAction {
public:
  explicit TKvDestSaveAsBmpAction(QObject* AOwner) : TKvDestAction(AOwner, TKvActionKind::SaveAsBmp) {}
  std::string GetExtension() const { return FRule.GetExtension(); }
  // Adds the result or one of its flicker frames, in this action's format, to AFiles.
  virtual void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles);
  void DoExecute() override;
  // Saves the result and its frames under AFileName (what DoExecute does
  // after the dialog), all of them or none.
  void SaveResult(const std::string& AFileName);

protected:
  TKvDestSaveAsBmpAction(QObject* AOwner, TKvActionKind AKind) : TKvDestAction(AOwner, AKind) {}
};

class TKvDestSaveAsPngAction : public TKvDestSaveAsBmpAction {
public:
  explicit TKvDestSaveAsPngAction(QObject* AOwner) : TKvDestSaveAsBmpAction(AOwner, TKvActionKind::SaveAsPng) {}
  void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) override;
};

class TKvDestSaveAsGifAction : public TKvDestSaveAsBmpAction {
public:
  explicit TKvDestSaveAsGifAction(QObject* AOwner) : TKvDestSaveAsBmpAction(AOwner, TKvActionKind::SaveAsGif) {}
  void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) override;
};

class TKvDestSaveAsScrAction : public TKvDestAction {
public:
  TKvDestSaveAsScrAction(QObject* AOwner, int AStreamIndex)
      : TKvDestAction(AOwner, TKvActionKind::SaveAsScr, AStreamIndex), StreamIndex(AStreamIndex) {}
  void DoExecute() override;
  const int StreamIndex;
};

class TKvDestViewZoomAction : public TKvDestAction {
public:
  TKvDestViewZoomAction(QObject* AOwner, int AZoom)
      : TKvDestAction(AOwner, TKvActionKind::ViewZoom, AZoom), Zoom(AZoom) {}
  void DoExecute() override;
  const int Zoom;
};

class TKvDestViewNativePARAction : public TKvDestAction {
public:
  explicit TKvDestViewNativePARAction(QObject* AOwner) : TKvDestAction(AOwner, TKvActionKind::ViewNativePAR) {}
  void DoExecute() override;
};

class TKvDestViewNativeImageAction : public TKvDestAction {
public:
  explicit TKvDestViewNativeImageAction(QObject* AOwner)
      : TKvDestAction(AOwner, TKvActionKind::ViewNativeImage) {}
  void DoExecute() override;
};

// Runs the region dialog over the source picture; set by the main window.
extern std::function<void(QWidget* AOwner, TKvSource& ASource, TRect& ARect, TKvDestEngineOptions* AOptions)>
    RunRegionDialog;
// Runs the batch window; set by the main window.
extern std::function<void(QWidget* AOwner, TKvSourceFiles* AFiles, TKvDest& ADest)> RunBatchDialog;
