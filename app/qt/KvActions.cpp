#include "app/qt/KvActions.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <filesystem>

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "app/qt/KvQtPictures.h"
#include "core/KvBitmap.h"
#include "core/KvStream.h"
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

std::string UpperAscii(std::string A) {
  for (char& c : A) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return A;
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

std::string StreamCaptionText(TKvStream& AStream) {
  std::string T;
  std::function<void(TKvStream&)> LVisit = [&](TKvStream& S) {
    if (!T.empty()) T += "/";
    T += S.GetExtension().empty() ? std::string("RAW") : UpperAscii(S.GetExtension());
    for (int j = 0; j < S.GetSubStreamCount(); ++j) LVisit(*S.GetSubStream(j));
  };
  LVisit(AStream);
  return T;
}

// ---- source actions ----

TKvOpenAction::TKvOpenAction(QObject* AOwner) : TKvSourceAction(AOwner) {
  setText("&Open...");
  setShortcut(QKeySequence("Ctrl+O"));
}

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
  if (FSourceFiles && !FSourceFiles->GetFiles().empty()) FSourceFiles->Clear();
  FSource->LoadFromFile(LFile);
}

TKvOpenFolderAction::TKvOpenFolderAction(QObject* AOwner) : TKvSourceFilesAction(AOwner) {
  setText("Open &folder...");
}

void TKvOpenFolderAction::DoExecute() {
  const std::string LFolder = FileDialogs().SelectFolder(GetErrorOwnerWindow(), GetPathSetting(), true);
  if (LFolder.empty()) return;
  SetPathSetting(LFolder);
  FSourceFiles->OpenFolder(LFolder);
}

TKvPasteAction::TKvPasteAction(QObject* AOwner) : TKvSourceAction(AOwner) {
  setText("&Paste");
  setShortcut(QKeySequence("Ctrl+V"));
}

bool TKvPasteAction::QueryEnabled() {
  if (!TKvSourceAction::QueryEnabled()) return false;
  const QMimeData* LData = QApplication::clipboard()->mimeData();
  return LData && TKvSource::CanLoadFrom(ProbeOfferFromMimeData(LData));
}

void TKvPasteAction::DoExecute() { FSource->LoadFromDataObject(ClipboardOffer()); }

TKvRegionAction::TKvRegionAction(QObject* AOwner) : TKvSourceDestAction(AOwner) {
  setText("&Select region...");
  setShortcut(QKeySequence("Ctrl+R"));
}

bool TKvRegionAction::QueryEnabled() {
  return TKvSourceDestAction::QueryEnabled() && FSource->GetPicture() && RunRegionDialog;
}

void TKvRegionAction::DoExecute() {
  TRect LRect = FSource->GetRegion();
  RunRegionDialog(GetErrorOwnerWindow(), *FSource, LRect, FDest->GetOptions());
  FSource->SetRegion(LRect);
}

TKvCloseAction::TKvCloseAction(QObject* AOwner) : TKvSourceAction(AOwner) { setText("&Close"); }

bool TKvCloseAction::QueryEnabled() {
  return (FSourceFiles && FSource && !FSourceFiles->GetFiles().empty()) || (FSource && FSource->GetPicture());
}

void TKvCloseAction::DoExecute() {
  FSource->Close();
  if (FSourceFiles) FSourceFiles->Clear();
}

TKvBatchConvertAction::TKvBatchConvertAction(QObject* AOwner) : TKvDestAction(AOwner) {
  setText("&Batch convert...");
}

void TKvBatchConvertAction::DoExecute() {
  if (RunBatchDialog) RunBatchDialog(GetErrorOwnerWindow(), FSourceFiles, *FDest);
}

// ---- palettes ----

TKvOpenPaletteAction::TKvOpenPaletteAction(QObject* AOwner) : TnoxShellAction(AOwner) {
  setText("&Open palette...");
}

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

TKvSavePaletteAction::TKvSavePaletteAction(QObject* AOwner) : TnoxShellAction(AOwner) {
  setText("&Save palette as...");
}

bool TKvSavePaletteAction::QueryEnabled() { return FDestPalette && FDestPalette->GetPalette().GetCount() > 0; }

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

TKvDestCopyAction::TKvDestCopyAction(QObject* AOwner) : TKvDestAction(AOwner) {
  setText("&Copy");
  setShortcut(QKeySequence("Ctrl+C"));
}

void TKvDestCopyAction::DoExecute() {
  QApplication::clipboard()->clear();
  QApplication::clipboard()->setImage(KvBitmapToQImage(*FDest->GetResultBitmap()));
}

TKvDestPasteAction::TKvDestPasteAction(QObject* AOwner) : TKvDestAction(AOwner) {
  setText("&Paste");
  setShortcut(QKeySequence("Ctrl+Shift+V"));
}

bool TKvDestPasteAction::QueryEnabled() {
  if (!TKvDestAction::QueryEnabled()) return false;
  const QMimeData* LData = QApplication::clipboard()->mimeData();
  return LData && TKvDest::CanPaste(ProbeOfferFromMimeData(LData));
}

void TKvDestPasteAction::DoExecute() { FDest->PasteResult(ClipboardOffer()); }

TKvDestSaveAsBmpAction::TKvDestSaveAsBmpAction(QObject* AOwner) : TKvDestAction(AOwner) {}

void TKvDestSaveAsBmpAction::AfterConstruction() {
  // The caption and shortcut depend on the extension, known once constructed.
  setText(QString("Save as &%1...").arg(Q(UpperAscii(GetExtension()))));
  if (GetExtension() == "bmp") setShortcut(QKeySequence("Ctrl+Shift+S"));
  TKvDestAction::AfterConstruction();
}

void TKvDestSaveAsBmpAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName) {
  SaveKvBitmapBMP(ABitmap, AFileName);
}

void TKvDestSaveAsPngAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName) {
  SaveKvBitmapPNG(ABitmap, AFileName);
}

bool TKvDestSaveAsGifAction::QueryEnabled() {
  return TKvDestAction::QueryEnabled() && FDest->GetResultBitmap()->BitCount <= 8;
}

void TKvDestSaveAsGifAction::SavePicture(TKvBitmap& ABitmap, const std::string& AFileName) {
  SaveKvBitmapGIF(ABitmap, AFileName);
}

void TKvDestSaveAsBmpAction::SaveResult(const std::string& AFileName) {
  SavePicture(*FDest->GetResultBitmap(), AFileName);
  if (TKvBitmapList* LFrames = FDest->GetFrames())
    for (int i = 0; i < LFrames->GetCount(); ++i) {
      std::string LExt = ".";
      LExt += std::to_string(i);
      LExt += ExtractFileExt(AFileName);
      SavePicture(*LFrames->GetBitmap(i), ChangeFileExt(AFileName, LExt));
    }
}

void TKvDestSaveAsBmpAction::DoExecute() {
  const std::string e = GetExtension();
  TnoxShellFilterArray LFilter;
  LFilter.Add("*." + e);
  const std::string LFile = FileDialogs().SaveFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPathSetting(),
                                                   SourceBaseName(FSource) + "." + e, e);
  if (LFile.empty()) return;
  SetPathSetting(FolderOf(LFile));
  SaveResult(LFile);
}

TKvDestSaveAsScrAction::TKvDestSaveAsScrAction(QObject* AOwner, int AStreamIndex)
    : TKvDestAction(AOwner), StreamIndex(AStreamIndex) {
  if (AStreamIndex == 0) setShortcut(QKeySequence("Ctrl+S"));
}

bool TKvDestSaveAsScrAction::QueryEnabled() {
  return TKvDestAction::QueryEnabled() && FDest->GetStreams() && FDest->GetStreams()->GetCount() > StreamIndex;
}

QString TKvDestSaveAsScrAction::QueryCaption() {
  if (!QueryEnabled()) return QString();
  return QString("Save as &%1...").arg(Q(StreamCaptionText(*FDest->GetStreams()->GetStream(StreamIndex))));
}

void TKvDestSaveAsScrAction::DoExecute() {
  TKvStream* S = FDest->GetStreams()->GetStream(StreamIndex);
  const std::string e = S->GetExtension();
  TnoxShellFilterArray LFilter;
  const std::string LPlatform =
      FDest->GetEngine() ? FDest->GetEngine()->ClassType().GetPlatformName() : std::string();
  LFilter.AddWithDescription("*." + e, LPlatform + " image");
  const std::string LFile = FileDialogs().SaveFile(GetErrorOwnerWindow(), LFilter.GetFilter(), GetPathSetting(),
                                                   SourceBaseName(FSource) + "." + e, e);
  if (LFile.empty()) return;
  SetPathSetting(FolderOf(LFile));
  SaveKvStream(*S, LFile);
}

TKvDestViewZoomAction::TKvDestViewZoomAction(QObject* AOwner, int AZoom) : TKvDestAction(AOwner), Zoom(AZoom) {
  setText(QString("Zoom x&%1").arg(AZoom));
  setShortcut(QKeySequence(QString("Ctrl+%1").arg(AZoom)));
  setCheckable(true);
}

bool TKvDestViewZoomAction::QueryChecked() { return FDest && FDest->GetUserZoom() == Zoom; }
void TKvDestViewZoomAction::DoExecute() { FDest->SetUserZoom(Zoom); }

TKvDestViewNativePARAction::TKvDestViewNativePARAction(QObject* AOwner) : TKvDestAction(AOwner) {
  setText("&Native pixel aspect ratio");
  setShortcut(QKeySequence("Ctrl+P"));
  setCheckable(true);
}

bool TKvDestViewNativePARAction::QueryChecked() { return FDest && !FDest->GetSquarePixels(); }
void TKvDestViewNativePARAction::DoExecute() { FDest->SetSquarePixels(!FDest->GetSquarePixels()); }

TKvDestViewNativeImageAction::TKvDestViewNativeImageAction(QObject* AOwner) : TKvDestAction(AOwner) {
  setText("&Show flickering images");
  setShortcut(QKeySequence("Ctrl+F"));
  setCheckable(true);
}

bool TKvDestViewNativeImageAction::QueryEnabled() { return FDest && FDest->HasFlickerFrames(); }
bool TKvDestViewNativeImageAction::QueryChecked() { return QueryEnabled() && FDest->GetShowFlicker(); }
void TKvDestViewNativeImageAction::DoExecute() { FDest->SetShowFlicker(!FDest->GetShowFlicker()); }
