#include "app/qt/KvActions.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <filesystem>

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "app/qt/KvQtPictures.h"
#include "app/qt/KvViews.h"
#include "core/KvBitmap.h"
#include "core/KvStream.h"
#include "rtl/KvClasses.h"
#include "shell/noxShellBaseExtensionFilters.h"
#include "shell/qt/noxShellDataOffer.h"
#include "shell/qt/noxShellFilters.h"

std::function<void(QWidget*, TKvSource&, TRect&, TKvDestEngineOptions*)> RunRegionDialog;
std::function<void(QWidget*, TKvSourceFiles*, TKvDest&)> RunBatchDialog;

namespace {

QString Q(const std::string& A) { return QString::fromStdString(A); }

std::string RealOpenFile(QWidget* AOwner, const std::string& AFilter, const std::string& AInitialDir) {
  return QFileDialog::getOpenFileName(AOwner, QString(), Q(AInitialDir), FilterToQtFilterString(AFilter))
      .toStdString();
}

std::string RealSaveFile(QWidget* AOwner, const std::string& AFilter, const std::string& AInitialDir,
                         const std::string& AFileName, const std::string& ADefaultExt) {
  QFileDialog LDialog(AOwner, QString(), Q(AInitialDir), FilterToQtFilterString(AFilter));
  LDialog.setAcceptMode(QFileDialog::AcceptSave);
  LDialog.setDefaultSuffix(Q(ADefaultExt));
  if (!AFileName.empty()) LDialog.selectFile(Q(AFileName));
  if (LDialog.exec() != QDialog::Accepted || LDialog.selectedFiles().isEmpty()) return std::string();
  return LDialog.selectedFiles().first().toStdString();
}

// The folder of a chosen file, with its trailing delimiter.
std::string FolderOf(const std::string& AFileName) { return ExtractFilePath(AFileName); }

std::string SourceBaseName(TKvSource* ASource) {
  std::string LName = ASource ? ExtractFileName(ASource->GetFileName()) : std::string();
  if (LName.empty()) LName = "Unnamed";
  return ChangeFileExt(LName, "");
}

TnoxShellDataOffer ClipboardOffer() {
  const QMimeData* LData = QApplication::clipboard()->mimeData();
  if (!LData) throw EOleSysError("The clipboard cannot be read", static_cast<HRESULT>(0x800401D3u));
  return OfferFromMimeData(LData);
}

}  // namespace

std::string SelectFolder(QWidget* AOwner, const std::string& AInitialFolder, bool ANoNewFolder) {
  QFileDialog::Options LOptions = QFileDialog::ShowDirsOnly;
  (void)ANoNewFolder;
  return QFileDialog::getExistingDirectory(AOwner, QString(), Q(FindExistingFolder(AInitialFolder)), LOptions)
      .toStdString();
}

TKvFileDialogs& FileDialogs() {
  static TKvFileDialogs LDialogs{RealOpenFile, RealSaveFile, SelectFolder};
  return LDialogs;
}

const TKvActionDesktop& QtActionDesktop() {
  static const TKvActionDesktop LDesktop{[](TnoxShellDataOffer& AOffer) {
                                           const QMimeData* LData = QApplication::clipboard()->mimeData();
                                           if (!LData) return false;
                                           AOffer = ProbeOfferFromMimeData(LData);
                                           return true;
                                         },
                                         IsDwmFlushAvailable()};
  return LDesktop;
}

TKvRuleAction::TKvRuleAction(QObject* AOwner, TKvActionKind AKind, int AIndex)
    : TnoxShellAction(AOwner), FRule(AKind, AIndex) {
  FRule.SetDesktop(&QtActionDesktop());
  setText(Q(FRule.GetDefaultCaption()));
  if (!FRule.GetShortCut().empty()) setShortcut(QKeySequence(Q(FRule.GetShortCut())));
  setCheckable(FRule.IsCheckable());
}

QString TKvRuleAction::QueryCaption() { return Q(FRule.QueryCaption()); }

// ---- source actions ----

void TKvOpenAction::DoExecute() {
  TnoxShellFilterArray LFilter;
  LFilter.AddWithDescription("*.bmp;*.png;*.jpg;*.gif", "Images");
  LFilter.Add("*.bmp");
  LFilter.Add("*.png");
  LFilter.Add("*.jpg");
  LFilter.Add("*.gif");
  LFilter.AddWithDescription("*.*", "Any file");
  const std::string LFile = FileDialogs().OpenFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPathSetting());
  if (LFile.empty()) return;
  SetPathSetting(FolderOf(LFile));
  if (SourceFiles() && !SourceFiles()->GetFiles().empty()) SourceFiles()->Clear();
  Source()->LoadFromFile(LFile);
}

void TKvOpenFolderAction::DoExecute() {
  const std::string LFolder = FileDialogs().SelectFolder(GetErrorOwnerWindow(), GetPathSetting(), true);
  if (LFolder.empty()) return;
  SetPathSetting(LFolder);
  SourceFiles()->OpenFolder(LFolder);
}

void TKvPasteAction::DoExecute() { Source()->LoadFromDataObject(ClipboardOffer()); }

void TKvRegionAction::DoExecute() {
  if (!RunRegionDialog) return;
  TRect LRect = Source()->GetRegion();
  RunRegionDialog(GetErrorOwnerWindow(), *Source(), LRect, Dest()->GetOptions());
  Source()->SetRegion(LRect);
}

void TKvCloseAction::DoExecute() {
  Source()->Close();
  if (SourceFiles()) SourceFiles()->Clear();
}

void TKvBatchConvertAction::DoExecute() {
  if (RunBatchDialog) RunBatchDialog(GetErrorOwnerWindow(), SourceFiles(), *Dest());
}

// ---- palettes ----

void TKvOpenPaletteAction::DoExecute() {
  TnoxShellFilterArray LFilter;
  LFilter.AddWithDescription("*.pal;*.act;*.gpl;*.png;*.bmp;*.gif", "Palettes");
  for (const char* p : {"*.pal", "*.act", "*.gpl", "*.png", "*.bmp", "*.gif"}) LFilter.Add(p);
  const std::string LFile =
      FileDialogs().OpenFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPalettePathSetting());
  if (LFile.empty()) return;
  SetPalettePathSetting(FolderOf(LFile));
  PaletteList().LoadPalette(LFile);
}

bool TKvSavePaletteAction::QueryEnabled() {
  FRule.SetPalette(FDestPalette ? &FDestPalette->GetPalette() : nullptr);
  return FRule.QueryEnabled();
}

void TKvSavePaletteAction::DoExecute() {
  TnoxShellFilterArray LFilter;
  LFilter.Add("*.pal");
  const std::string LFile =
      FileDialogs().SaveFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPalettePathSetting(), "", "pal");
  if (LFile.empty()) return;
  SetPalettePathSetting(FolderOf(LFile));
  FDestPalette->GetPalette().SaveToFile(LFile);
}

// ---- result actions ----

void TKvDestCopyAction::DoExecute() {
  QApplication::clipboard()->clear();
  QApplication::clipboard()->setImage(KvBitmapToQImage(*Dest()->GetResultBitmap()));
}

void TKvDestPasteAction::DoExecute() { Dest()->PasteResult(ClipboardOffer()); }

void TKvDestSaveAsBmpAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  SaveKvBitmapBMP(ABitmap, AFileName, AFiles);
}

void TKvDestSaveAsPngAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  SaveKvBitmapPNG(ABitmap, AFileName, AFiles);
}

void TKvDestSaveAsGifAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  SaveKvBitmapGIF(ABitmap, AFileName, AFiles);
}

void TKvDestSaveAsBmpAction::SaveResult(const std::string& AFileName) {
  TFileSetWriter files;
  SavePicture(*Dest()->GetResultBitmap(), AFileName, files);
  if (TKvBitmapList* frames = Dest()->GetFrames())
    for (int i = 0; i < frames->GetCount(); ++i) {
      std::string ext = ".";
      ext += std::to_string(i);
      ext += ExtractFileExt(AFileName);
      SavePicture(*frames->GetBitmap(i), ChangeFileExt(AFileName, ext), files);
    }
  files.Commit();
}

void TKvDestSaveAsBmpAction::DoExecute() {
  const std::string e = GetExtension();
  TnoxShellFilterArray LFilter;
  LFilter.Add("*." + e);
  const std::string LFile = FileDialogs().SaveFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPathSetting(),
                                                   SourceBaseName(Source()) + "." + e, e);
  if (LFile.empty()) return;
  SetPathSetting(FolderOf(LFile));
  SaveResult(LFile);
}

void TKvDestSaveAsScrAction::DoExecute() {
  TKvStream* S = Dest()->GetStreams()->GetStream(StreamIndex);
  const std::string e = S->GetExtension();
  TnoxShellFilterArray LFilter;
  const std::string LPlatform =
      Dest()->GetEngine() ? Dest()->GetEngine()->ClassType().GetPlatformName() : std::string();
  LFilter.AddWithDescription("*." + e, LPlatform + " image");
  const std::string LFile = FileDialogs().SaveFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPathSetting(),
                                                   SourceBaseName(Source()) + "." + e, e);
  if (LFile.empty()) return;
  SetPathSetting(FolderOf(LFile));
  SaveKvStream(*S, LFile);
}

void TKvDestViewZoomAction::DoExecute() { Dest()->SetUserZoom(Zoom); }

void TKvDestViewNativePARAction::DoExecute() { Dest()->SetSquarePixels(!Dest()->GetSquarePixels()); }

void TKvDestViewNativeImageAction::DoExecute() { Dest()->SetShowFlicker(!Dest()->GetShowFlicker()); }
