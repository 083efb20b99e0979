// The commands of the main window's menus: open a picture or a folder, paste,
// select a region, close, batch convert, open and save palettes, copy the
// result, save it as BMP, PNG, GIF or native files, zoom, the native pixel
// aspect and the flicker display. Each is a shell action linked to the
// documents it works on; file dialogs go through replaceable hooks.
#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "app/KvDest.h"
#include "app/KvSaveFiles.h"
#include "app/KvSource.h"
#include "app/qt/KvControls.h"
#include "shell/qt/noxShellActions.h"

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

// The menu text of a stream: its extensions, depth first, "RAW" for none.
std::string StreamCaptionText(TKvStream& AStream);

class TKvSourceDestAction : public TnoxShellAction {
public:
  explicit TKvSourceDestAction(QObject* AOwner) : TnoxShellAction(AOwner) {}
  void SetSourceFiles(TKvSourceFiles* A) { FSourceFiles = A; }
  void SetSource(TKvSource* A) { FSource = A; }
  void SetDest(TKvDest* A) { FDest = A; }
  bool QueryEnabled() override { return FSource && FDest; }

protected:
  TKvSourceFiles* FSourceFiles = nullptr;
  TKvSource* FSource = nullptr;
  TKvDest* FDest = nullptr;
};

class TKvSourceFilesAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
  bool QueryEnabled() override { return FSourceFiles != nullptr; }
};

class TKvSourceAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
  bool QueryEnabled() override { return FSource != nullptr; }
};

class TKvDestAction : public TKvSourceDestAction {
public:
  using TKvSourceDestAction::TKvSourceDestAction;
  bool QueryEnabled() override { return FDest && FDest->GetResultBitmap(); }
};

class TKvOpenAction : public TKvSourceAction {
public:
  explicit TKvOpenAction(QObject* AOwner);
  void DoExecute() override;
};

class TKvOpenFolderAction : public TKvSourceFilesAction {
public:
  explicit TKvOpenFolderAction(QObject* AOwner);
  void DoExecute() override;
};

class TKvPasteAction : public TKvSourceAction {
public:
  explicit TKvPasteAction(QObject* AOwner);
  bool QueryEnabled() override;
  void DoExecute() override;
};

class TKvRegionAction : public TKvSourceDestAction {
public:
  explicit TKvRegionAction(QObject* AOwner);
  bool QueryEnabled() override;
  void DoExecute() override;
};

class TKvCloseAction : public TKvSourceAction {
public:
  explicit TKvCloseAction(QObject* AOwner);
  bool QueryEnabled() override;
  void DoExecute() override;
};

class TKvBatchConvertAction : public TKvDestAction {
public:
  explicit TKvBatchConvertAction(QObject* AOwner);
  bool QueryEnabled() override { return FDest != nullptr; }
  void DoExecute() override;
};

class TKvOpenPaletteAction : public TnoxShellAction {
public:
  explicit TKvOpenPaletteAction(QObject* AOwner);
  bool QueryEnabled() override { return true; }
  void DoExecute() override;
};

class TKvSavePaletteAction : public TnoxShellAction {
public:
  explicit TKvSavePaletteAction(QObject* AOwner);
  void SetDestPalette(TKvDestPalette* A) { FDestPalette = A; }
  TKvDestPalette* GetDestPalette() const { return FDestPalette; }
  bool QueryEnabled() override;
  void DoExecute() override;

private:
  QPointer<TKvDestPalette> FDestPalette;
};

class TKvDestCopyAction : public TKvDestAction {
public:
  explicit TKvDestCopyAction(QObject* AOwner);
  void DoExecute() override;
};

class TKvDestPasteAction : public TKvDestAction {
public:
  explicit TKvDestPasteAction(QObject* AOwner);
  bool QueryEnabled() override;
  void DoExecute() override;
};

class TKvDestSaveAsBmpAction : public TKvDestAction {
public:
  explicit TKvDestSaveAsBmpAction(QObject* AOwner);
  virtual std::string GetExtension() const { return "bmp"; }
  // Writes the result (AIndex 0) or flicker frame AIndex - 1.
  virtual void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName);
  void DoExecute() override;
  void AfterConstruction() override;
  // Saves the result and its frames under AFileName (what DoExecute does after the dialog).
  void SaveResult(const std::string& AFileName);
};

class TKvDestSaveAsPngAction : public TKvDestSaveAsBmpAction {
public:
  using TKvDestSaveAsBmpAction::TKvDestSaveAsBmpAction;
  std::string GetExtension() const override { return "png"; }
  void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName) override;
};

class TKvDestSaveAsGifAction : public TKvDestSaveAsBmpAction {
public:
  using TKvDestSaveAsBmpAction::TKvDestSaveAsBmpAction;
  std::string GetExtension() const override { return "gif"; }
  bool QueryEnabled() override;
  void SavePicture(TKvBitmap& ABitmap, const std::string& AFileName) override;
};

class TKvDestSaveAsScrAction : public TKvDestAction {
public:
  TKvDestSaveAsScrAction(QObject* AOwner, int AStreamIndex);
  bool QueryEnabled() override;
  bool QueryVisible() override { return QueryEnabled(); }
  QString QueryCaption() override;
  void DoExecute() override;
  int StreamIndex;
};

class TKvDestViewZoomAction : public TKvDestAction {
public:
  TKvDestViewZoomAction(QObject* AOwner, int AZoom);
  bool QueryChecked() override;
  void DoExecute() override;
  int Zoom;
};

class TKvDestViewNativePARAction : public TKvDestAction {
public:
  explicit TKvDestViewNativePARAction(QObject* AOwner);
  bool QueryChecked() override;
  void DoExecute() override;
};

class TKvDestViewNativeImageAction : public TKvDestAction {
public:
  explicit TKvDestViewNativeImageAction(QObject* AOwner);
  bool QueryEnabled() override;
  bool QueryChecked() override;
  void DoExecute() override;
};

// Runs the region dialog over the source picture; set by the main window.
extern std::function<void(QWidget* AOwner, TKvSource& ASource, TRect& ARect, TKvDestEngineOptions* AOptions)>
    RunRegionDialog;
// Runs the batch window; set by the main window.
extern std::function<void(QWidget* AOwner, TKvSourceFiles* AFiles, TKvDest& ADest)> RunBatchDialog;
