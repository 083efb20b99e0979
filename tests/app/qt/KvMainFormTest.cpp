// The main window driven end to end: open, convert with every converter of
// the common platform, save pictures and native files, paste, batch.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/KvControls.h"
#include "app/KvTestServices.h"
#include "app/qt/BatchConvertFormUnit.h"
#include "app/qt/KvEngineUI.h"
#include "app/qt/MainFormUnit.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "core/KvPictureDecoder.h"
#include "platforms/KvPlatformUnits.h"
#include "shell/qt/noxShellDataOffer.h"
#include "shell/qt/noxShellDialogs.h"

namespace fs = std::filesystem;

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

struct TDecoded {
  int Width = 0, Height = 0, Colors = 0;
};

TDecoded Decode(const fs::path& AFile) {
  std::ifstream LStream(AFile, std::ios::binary);
  std::unique_ptr<TBitmap32> LBitmap;
  std::unique_ptr<TKvPalette256> LPalette, LUsed;
  DecodePicture(LStream, LBitmap, LPalette, LUsed, 7);
  return TDecoded{LBitmap->GetWidth(), LBitmap->GetHeight(), LPalette ? LPalette->GetCount() : 0};
}

class MainFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOldPresenter = SetModalPresenter(&Presenter);
    Folder = MakeTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Form = noxCreateForm<TMainForm>(&Timers, &Workers);
    FileDialogs().OpenFile = [this](QWidget*, const std::string&, const std::string&) { return NextFile; };
    FileDialogs().SaveFile = [this](QWidget*, const std::string&, const std::string&, const std::string& AName,
                                    const std::string&) {
      OfferedNames.push_back(AName);
      return NextFile;
    };
  }
  void TearDown() override {
    Form.reset();
    SetModalPresenter(FOldPresenter);
  }

  // Runs the stages until the result is there.
  void WaitForResult() {
    for (int i = 0; i < 20 && (Form->Dest()->IsFitting() || Form->Dest()->IsConverting()); ++i) Timers.Tick();
    Form->UpdateActions();
  }

  void SelectMode(const std::string& APlatform, const std::string& AMode) {
    const int p = Form->PlatformCombo->findText(QString::fromStdString(APlatform));
    ASSERT_GE(p, 0) << APlatform;
    Form->PlatformCombo->setCurrentIndex(p);
    const int m = Form->ScreenCombo->findText(QString::fromStdString(AMode));
    ASSERT_GE(m, 0) << AMode;
    Form->ScreenCombo->setCurrentIndex(m);
    WaitForResult();
  }

  void Open(const fs::path& AFile) {
    NextFile = AFile.string();
    Form->UpdateActions();
    Form->OpenAction->Execute();
    WaitForResult();
  }

  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOldPresenter = nullptr;
  TManualTimerFactory Timers;
  TManualLauncher Workers;
  std::unique_ptr<TMainForm> Form;
  fs::path Folder;
  std::string NextFile;
  std::vector<std::string> OfferedNames;
};

TEST_F(MainFormTest, OpensConvertsWithEveryCommonModeAndSavesPictures) {
  const fs::path LPicture = Folder / "photo.png";
  ASSERT_TRUE(MakeTestImage(40, 30).save(QString::fromStdString(LPicture.string())));
  Open(LPicture);
  ASSERT_NE(Form->Source()->GetPicture(), nullptr);
  EXPECT_EQ(Form->Source()->GetPicture()->GetWidth(), 40);
  EXPECT_EQ(Form->windowTitle().toStdString(), "photo.png - Kovrel");

  std::vector<std::string> LModes;
  const int LCommon = DestEngineList().IndexOf("Common");
  ASSERT_EQ(LCommon, 0);
  for (int i = 0; i < DestEngineList().GetSubTypes(LCommon).GetCount(); ++i)
    LModes.push_back(DestEngineList().GetSubTypes(LCommon).GetString(i));
  EXPECT_EQ(LModes.size(), 3u);
  int LIndex = 0;
  for (const std::string& LMode : LModes) {
    SCOPED_TRACE(LMode);
    SelectMode("Common", LMode);
    if (TKvPaletteComboBox* LCombo = Form->EnginePanel->PaletteCombo) {
      // The user picks a palette kind in the panel: the conversion restarts.
      LCombo->setCurrentIndex(LCombo->findText("RGB222"));
      WaitForResult();
      EXPECT_EQ(Form->Dest()->GetOptions()->PaletteType, 8);
    }
    ASSERT_NE(Form->Dest()->GetResultBitmap(), nullptr);
    EXPECT_EQ(GetLastModeSetting(), LMode);
    EXPECT_TRUE(Form->SaveBmpAction->isEnabled());
    const std::string LBase = (Folder / ("out_" + std::to_string(LIndex++))).string();
    int LSaved = 0;
    for (TKvDestSaveAsBmpAction* LAction : {static_cast<TKvDestSaveAsBmpAction*>(Form->SaveBmpAction),
                                            static_cast<TKvDestSaveAsBmpAction*>(Form->SavePngAction),
                                            static_cast<TKvDestSaveAsBmpAction*>(Form->SaveGifAction)}) {
      if (!LAction->isEnabled()) continue;
      NextFile = LBase + "." + LAction->GetExtension();
      LAction->Execute();
      const TDecoded D = Decode(NextFile);
      EXPECT_EQ(D.Width, Form->Dest()->GetResultBitmap()->Width);
      EXPECT_EQ(D.Height, Form->Dest()->GetResultBitmap()->Height);
      ++LSaved;
    }
    EXPECT_GE(LSaved, 2);
  }
  EXPECT_EQ(Presenter.Count, 0) << (Presenter.Titles.empty() ? "" : Presenter.Titles.front());
  ASSERT_FALSE(OfferedNames.empty());
  EXPECT_EQ(OfferedNames.front(), "photo.bmp");
}

TEST_F(MainFormTest, SavesFramesAndNativeFilesWithTheirSideFiles) {
  const fs::path LPicture = Folder / "pic.png";
  ASSERT_TRUE(MakeTestImage(16, 8).save(QString::fromStdString(LPicture.string())));
  Open(LPicture);
  SelectMode("Test platform", "Frames");
  ASSERT_NE(Form->Dest()->GetResultBitmap(), nullptr);
  ASSERT_NE(Form->Dest()->GetFrames(), nullptr);

  NextFile = (Folder / "x.png").string();
  Form->SavePngAction->Execute();
  for (const char* LName : {"x.png", "x.0.png", "x.1.png"}) {
    SCOPED_TRACE(LName);
    const TDecoded D = Decode(Folder / LName);
    EXPECT_EQ(D.Width, 16);
    EXPECT_EQ(D.Colors, 2);
  }
  NextFile = (Folder / "x.gif").string();
  Form->SaveGifAction->Execute();
  EXPECT_EQ(Decode(Folder / "x.1.gif").Height, 8);

  EXPECT_TRUE(Form->SaveScrActions[0]->isVisible());
  EXPECT_FALSE(Form->SaveScrActions[1]->isVisible());
  EXPECT_EQ(Form->SaveScrActions[0]->text().toStdString(), "Save as &SCR/ATT...");
  EXPECT_EQ(Form->SaveScrActions[0]->shortcut(), QKeySequence("Ctrl+S"));
  NextFile = (Folder / "pic.scr").string();
  Form->SaveScrActions[0]->Execute();
  EXPECT_EQ(ReadFileBytes((Folder / "pic.scr").string()).size(), 4u);
  EXPECT_EQ(ReadFileBytes((Folder / "pic.att").string()).size(), 2u);
  EXPECT_EQ(OfferedNames.back(), "pic.scr");
  EXPECT_EQ(Presenter.Count, 0);

  // The flicker display shows the frames over the result.
  Form->FlickerAction->Execute();
  WaitForResult();
  ASSERT_NE(Form->ResultView->GetFlickBox(), nullptr);
  EXPECT_EQ(Form->ResultView->GetFlickBox()->GetFrameCount(), 2);
  Form->FlickerAction->Execute();
  WaitForResult();
  EXPECT_EQ(Form->ResultView->GetFlickBox(), nullptr);
}

// A directory in the way of a later file of the result: the box names that
// file, and no file of the result is written, frames and side files alike.
TEST_F(MainFormTest, AFailedSaveWritesNoFileOfTheResult) {
  const fs::path LPicture = Folder / "pic.png";
  ASSERT_TRUE(MakeTestImage(16, 8).save(QString::fromStdString(LPicture.string())));
  Open(LPicture);
  SelectMode("Test platform", "Frames");
  ASSERT_NE(Form->Dest()->GetFrames(), nullptr);
  const fs::path out = Folder / "out";
  const struct {
    TnoxShellAction* action;
    const char* file;
    const char* blocked;
  } cases[] = {{Form->SavePngAction, "x.png", "x.0.png"},
               {Form->SaveGifAction, "x.gif", "x.1.gif"},
               {Form->SaveScrActions[0], "x.scr", "x.att"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    fs::remove_all(out);
    fs::create_directories(out / c.blocked);
    std::string shown;
    Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
      shown = dynamic_cast<TnoxShellMessageBoxForm&>(AForm).CopyAsText().toStdString();
      return 1;
    };
    NextFile = (out / c.file).string();
    Form->UpdateActions();
    c.action->Execute();
    EXPECT_NE(shown.find("Cannot create file \"" + (out / c.blocked).string() + "\""), std::string::npos) << shown;
    std::vector<std::string> written;
    for (const auto& e : fs::directory_iterator(out)) written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{c.blocked});
  }
  Presenter.OnShow = nullptr;
}

TEST_F(MainFormTest, PastesAPictureFromTheClipboardAndCopiesTheResult) {
  QApplication::clipboard()->setImage(MakeTestImage(24, 20));
  Form->UpdateActions();
  ASSERT_TRUE(Form->PasteAction->isEnabled());
  Form->PasteAction->Execute();
  WaitForResult();
  ASSERT_NE(Form->Source()->GetPicture(), nullptr);
  EXPECT_EQ(Form->Source()->GetPicture()->GetWidth(), 24);
  EXPECT_EQ(Form->Source()->GetPicture()->GetHeight(), 20);
  SelectMode("Test platform", "Frames");
  ASSERT_TRUE(Form->CopyAction->isEnabled());
  Form->CopyAction->Execute();
  const QImage LCopied = QApplication::clipboard()->image();
  EXPECT_EQ(LCopied.width(), Form->Dest()->GetResultBitmap()->Width);
  // The copied result can be pasted back into the result.
  Form->UpdateActions();
  ASSERT_TRUE(Form->PasteResultAction->isEnabled());
  EXPECT_EQ(Form->PasteResultAction->shortcut(), QKeySequence("Ctrl+Shift+V"));
  Form->PasteResultAction->Execute();
  WaitForResult();
  EXPECT_EQ(Presenter.Count, 0);
  ASSERT_NE(Form->Dest()->GetResultBitmap(), nullptr);
  // A pasted picture is offered under the name "Unnamed".
  NextFile.clear();
  Form->SaveBmpAction->Execute();
  ASSERT_FALSE(OfferedNames.empty());
  EXPECT_EQ(OfferedNames.back(), "Unnamed.bmp");
}

namespace {

// Clipboard data that offers a picture and counts every time its picture is
// taken out.
class TCountingMimeData : public QMimeData {
public:
  QStringList formats() const override { return {"application/x-qt-image", "image/png"}; }
  bool hasFormat(const QString& AFormat) const override { return formats().contains(AFormat); }
  mutable int Taken = 0;

protected:
  QVariant retrieveData(const QString& AFormat, QMetaType AType) const override {
    ++Taken;
    return QMimeData::retrieveData(AFormat, AType);
  }
};

}  // namespace

TEST_F(MainFormTest, PasteActionsAskOnlyWhetherAPictureIsOffered) {
  ASSERT_TRUE(MakeTestImage(16, 16).save(QString::fromStdString((Folder / "p.png").string())));
  Open(Folder / "p.png");
  SelectMode("Test platform", "Frames");
  auto* LData = new TCountingMimeData;
  QApplication::clipboard()->setMimeData(LData);
  const QMimeData* LOnClipboard = QApplication::clipboard()->mimeData();
  ASSERT_EQ(LOnClipboard, LData);
  for (int i = 0; i < 3; ++i) Form->UpdateActions();
  EXPECT_TRUE(Form->PasteAction->isEnabled());
  EXPECT_TRUE(Form->PasteResultAction->isEnabled());
  EXPECT_EQ(LData->Taken, 0);
  const TnoxShellDataOffer LProbe = ProbeOfferFromMimeData(LData);
  EXPECT_TRUE(LProbe.BitmapOffered);
  EXPECT_EQ(LProbe.Bitmap, nullptr);
  EXPECT_EQ(LData->Taken, 0);
  QApplication::clipboard()->clear();
  Timers.Tick();  // the idle update runs on a timer of the injected factory
  EXPECT_FALSE(Form->PasteAction->isEnabled());
  EXPECT_TRUE(Form->CopyAction->isEnabled());
}

namespace {

// The width a caption needs: its text with the accelerator marks taken out.
int CaptionWidth(const QWidget* AWidget, QString AText) {
  AText.replace(QRegularExpression("&(.)"), "\\1");
  return QFontMetrics(AWidget->font()).horizontalAdvance(AText);
}

// The width a list needs for its longest entry with its glyph. The text is
// measured by its drawn extent, as the list sizes itself: the advance can be
// a pixel wider (the trailing bearing of the last character).
int ListWidth(const QComboBox* ACombo) {
  const QFontMetrics LMetrics(ACombo->font());
  int LText = 0;
  bool LIcons = false;
  for (int i = 0; i < ACombo->count(); ++i) {
    LText = std::max(LText, LMetrics.boundingRect(ACombo->itemText(i)).width());
    LIcons = LIcons || !ACombo->itemIcon(i).isNull();
  }
  if (LIcons) LText += ACombo->iconSize().width() + 4;
  QStyleOptionComboBox LOption;
  LOption.initFrom(ACombo);
  return ACombo->style()
      ->sizeFromContents(QStyle::CT_ComboBox, &LOption, QSize(LText, LMetrics.height()), ACombo)
      .width();
}

// Every list, check box and caption of the widget is as wide as its text
// needs and lies inside its parent.
void ExpectWhole(QWidget* AParent, const std::string& AWhere) {
  for (QWidget* W : AParent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!W->isVisibleTo(AParent)) continue;
    const std::string LName = AWhere + " / " + W->metaObject()->className();
    if (auto* C = qobject_cast<QCheckBox*>(W)) {
      EXPECT_GE(C->width(), C->sizeHint().width()) << LName << " " << C->text().toStdString();
      EXPECT_GE(C->width(), 13 + CaptionWidth(C, C->text())) << LName << " " << C->text().toStdString();
      EXPECT_GE(C->height(), C->sizeHint().height()) << LName << " " << C->text().toStdString();
    } else if (auto* K = qobject_cast<QComboBox*>(W)) {
      EXPECT_GE(K->width(), ListWidth(K)) << LName << " " << K->currentText().toStdString();
    } else if (auto* L = dynamic_cast<TLabel*>(W)) {
      EXPECT_GE(L->width(), CaptionWidth(L, L->GetCaption())) << LName << " " << L->GetCaption().toStdString();
    } else {
      continue;
    }
    EXPECT_GE(W->x(), 0) << LName;
    EXPECT_LE(W->x() + W->width(), AParent->width()) << LName;
  }
}

}  // namespace

TEST_F(MainFormTest, EveryPanelShowsEveryCaptionWholeAndListsOpenFully) {
  // Every converter of the program, not only those of the tests.
  Form.reset();
  InitializePlatforms();
  Form = noxCreateForm<TMainForm>(&Timers, &Workers);
  Form->show();
  TKvDestEngineList& LEngines = DestEngineList();
  ASSERT_EQ(Form->PlatformCombo->count(), LEngines.GetCount());
  EXPECT_GT(LEngines.GetCount(), 2);
  EXPECT_EQ(Form->PlatformCombo->maxVisibleItems(), Form->PlatformCombo->count());
  // The open list shows every platform without scrolling.
  Form->PlatformCombo->showPopup();
  QApplication::processEvents();
  EXPECT_EQ(Form->PlatformCombo->view()->verticalScrollBar()->maximum(), 0);
  Form->PlatformCombo->hidePopup();
  const TnoxShellUI& UI = *Form->GetShellUI();
  // One panel width for every mode, so the views never move.
  const int LPanelWidth = Form->ParametersPanel->width();
  for (int p = 0; p < LEngines.GetCount(); ++p) {
    Form->PlatformCombo->setCurrentIndex(p);
    // What a changed list does in its own time has happened.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QApplication::processEvents();
    EXPECT_EQ(Form->ScreenCombo->x() + Form->ScreenCombo->width(), LPanelWidth - UI.MarginX) << LEngines.GetString(p);
    const int LModes = LEngines.GetSubTypes(p).GetCount();
    ASSERT_EQ(Form->ScreenCombo->count(), LModes);
    EXPECT_EQ(Form->ScreenCombo->maxVisibleItems(), LModes);
    for (int m = 0; m < LModes; ++m) {
      Form->ScreenCombo->setCurrentIndex(m);
      const std::string LWhere = LEngines.GetString(p) + " " + LEngines.GetSubTypes(p).GetString(m);
      ASSERT_NE(Form->EnginePanel, nullptr) << LWhere;
      ExpectWhole(Form->ParametersPanel, LWhere);
      ExpectWhole(Form->EnginePanel, LWhere);
      EXPECT_GE(Form->ParametersPanel->x(), 0) << LWhere;
      EXPECT_EQ(Form->ParametersPanel->width(), LPanelWidth) << LWhere;
      // "P&alette:" stands beside the palette list whenever there is one.
      const TKvLabel* LCaption = Form->EnginePanel->PaletteLabel;
      if (const QComboBox* LList = Form->EnginePanel->PaletteListControl(); LList && LCaption) {
        EXPECT_LE(std::abs(LCaption->y() + LCaption->height() / 2 - (LList->y() + LList->height() / 2)), 2) << LWhere;
      }
    }
    Form->ScreenCombo->showPopup();
    EXPECT_EQ(Form->ScreenCombo->view()->verticalScrollBar()->maximum(), 0) << LEngines.GetString(p);
    Form->ScreenCombo->hidePopup();
  }
}

TEST_F(MainFormTest, ZoomCentresNewScrollBarsAndKeepsOldOnesRelative) {
  ASSERT_TRUE(MakeTestImage(200, 160).save(QString::fromStdString((Folder / "z.png").string())));
  Form->resize(1000, 800);
  Form->show();
  Open(Folder / "z.png");
  SelectMode("Test platform", "Frames");
  const std::vector<TKvSourceDestImage*> LViews = {Form->SourceView, Form->ResultView};
  for (TKvSourceDestImage* V : LViews) ASSERT_FALSE(V->VertBarVisible());
  auto LZoom = [&](int AZoom) {
    Form->ZoomActions[AZoom - 1]->Execute();
    WaitForResult();
    QApplication::processEvents();
  };
  // Both views get their bars at once; each starts in the middle, even
  // though the views scroll together.
  LZoom(4);
  std::vector<double> LRelative;
  for (TKvSourceDestImage* V : LViews) {
    ASSERT_TRUE(V->VertBarVisible());
    QScrollBar* B = V->verticalScrollBar();
    EXPECT_EQ(B->value(), B->maximum() / 2);
    LRelative.push_back(double(B->value()) / V->ContentHeight());
  }
  // Zoomed further, each bar keeps its relative position.
  LZoom(5);
  for (size_t i = 0; i < LViews.size(); ++i)
    EXPECT_EQ(LViews[i]->verticalScrollBar()->value(),
              static_cast<int>(std::nearbyint(LViews[i]->ContentHeight() * LRelative[i])));
}

TEST_F(MainFormTest, FileMenuHoldsTheFileActionsOnly) {
  QMenu* LFile = Form->MainMenu->actions().front()->menu();
  ASSERT_NE(LFile, nullptr);
  std::vector<QAction*> LItems;
  for (QAction* A : LFile->actions())
    if (!A->isSeparator()) LItems.push_back(A);
  EXPECT_EQ(LItems, (std::vector<QAction*>{Form->OpenAction, Form->OpenFolderAction, Form->PasteAction,
                                           Form->CloseAction, Form->BatchAction}));
}

TEST_F(MainFormTest, BatchConvertsAFolderAndLogsEveryFile) {
  const fs::path LSource = Folder / "in", LDest = Folder / "out" / "deeper";
  fs::create_directories(LSource);
  ASSERT_TRUE(MakeTestImage(20, 10).save(QString::fromStdString((LSource / "a.png").string())));
  ASSERT_TRUE(MakeTestImage(12, 12).save(QString::fromStdString((LSource / "b.bmp").string())));
  std::ofstream(LSource / "broken.gif") << "this is no picture";
  SelectMode("Test platform", "Frames");
  SetPathSetting(LSource.string());
  SetBatchPathSetting(LDest.string());

  std::vector<std::string> LLog;
  std::string LButtonAtEnd;
  Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
    auto& F = dynamic_cast<TKvBatchConvertForm&>(AForm);
    EXPECT_NE(F.SourceEdit, nullptr);
    EXPECT_EQ(F.FormatCombo->currentText().toStdString(), "Native");
    F.FormatCombo->setCurrentIndex(1);  // PNG
    F.StartConversion();
    F.GetThread()->WaitFor();
    F.PollThread();
    const QStringList LLines = F.LogMemo->toPlainText().split('\n', Qt::SkipEmptyParts);
    for (const QString& L : LLines) LLog.push_back(L.toStdString());
    LButtonAtEnd = F.CancelButton->text().toStdString();
    return 2;
  };
  Form->UpdateActions();
  Form->BatchAction->Execute();
  std::sort(LLog.begin(), LLog.end());
  ASSERT_EQ(LLog.size(), 3u);
  EXPECT_EQ(LLog[0], (LSource / "broken.gif").string() + ": Unknown image type");
  EXPECT_EQ(LLog[1], "a.png: OK");
  EXPECT_EQ(LLog[2], "b.bmp: OK");
  EXPECT_EQ(LButtonAtEnd, "Close");
  for (const char* LName : {"a.png", "a.0.png", "a.1.png", "b.png", "b.1.png"})
    EXPECT_TRUE(fs::exists(LDest / LName)) << LName;
  EXPECT_EQ(Decode(LDest / "a.png").Width, 20);
  EXPECT_FALSE(fs::exists(LDest / "broken.png"));
}

TEST_F(MainFormTest, BatchNamesNativeFilesAsTheInteractiveSaveDoes) {
  fs::create_directories(Folder / "in");
  const fs::path LPicture = Folder / "in" / "my p.png";
  ASSERT_TRUE(MakeTestImage(8, 8).save(QString::fromStdString(LPicture.string())));
  Open(LPicture);
  SelectMode("Test platform", "Frames");
  fs::create_directories(Folder / "saved");
  NextFile = (Folder / "saved" / "my p.scr").string();
  Form->SaveScrActions[0]->Execute();
  TKvBatchThread LThread({LPicture.string()}, "-", (Folder / "out").string(), *Form->Dest(), 3);
  LThread.WaitFor();
  EXPECT_EQ(LThread.TakeLogLine(), "my p.png: OK");
  // Both adjust the name the same way, side files included.
  for (const char* LName : {"my_p.scr", "my_p.att"}) {
    EXPECT_TRUE(fs::exists(Folder / "out" / LName)) << LName;
    EXPECT_TRUE(fs::exists(Folder / "saved" / LName)) << LName;
  }
  // Native mode writes no flicker frames.
  EXPECT_FALSE(fs::exists(Folder / "out" / "my p.0.bmp"));
  EXPECT_FALSE(fs::exists(Folder / "out" / "my_p.0.bmp"));
}

TEST_F(MainFormTest, DroppingOneFolderOpensItAsTheFileList) {
  ASSERT_TRUE(MakeTestImage(8, 8).save(QString::fromStdString((Folder / "one.png").string())));
  ASSERT_TRUE(MakeTestImage(12, 6).save(QString::fromStdString((Folder / " 0first.png").string())));
  TnoxShellDataOffer LOffer;
  LOffer.HasFiles = true;
  LOffer.Files = {Folder.string()};
  Form->DropOffer(LOffer);
  EXPECT_EQ(Form->SourceFiles()->GetFiles().size(), 2u);
  EXPECT_TRUE(Form->FileList->isVisibleTo(Form.get()));
  // The first file of the folder is selected and loaded at once.
  WaitForResult();
  EXPECT_EQ(Form->FileList->currentRow(), 0);
  ASSERT_NE(Form->Source()->GetPicture(), nullptr);
  EXPECT_EQ(Form->Source()->GetPicture()->GetWidth(), 12);
  // Clicking the selected entry loads it again.
  Form->Source()->Close();
  ASSERT_EQ(Form->Source()->GetPicture(), nullptr);
  Form->show();
  Form->FileList->show();
  const QPoint LAt = Form->FileList->visualItemRect(Form->FileList->item(0)).center();
  QMouseEvent LPress(QEvent::MouseButtonPress, LAt, Form->FileList->viewport()->mapToGlobal(LAt), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
  QMouseEvent LRelease(QEvent::MouseButtonRelease, LAt, Form->FileList->viewport()->mapToGlobal(LAt),
                       Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Form->FileList->viewport(), &LPress);
  QApplication::sendEvent(Form->FileList->viewport(), &LRelease);
  WaitForResult();
  ASSERT_NE(Form->Source()->GetPicture(), nullptr);
  EXPECT_EQ(Form->Source()->GetPicture()->GetWidth(), 12);
  LOffer.Files = {(Folder / "one.png").string()};
  Form->DropOffer(LOffer);
  WaitForResult();
  EXPECT_TRUE(Form->SourceFiles()->GetFiles().empty());
  ASSERT_NE(Form->Source()->GetPicture(), nullptr);
}

TEST_F(MainFormTest, UnknownLastPlatformFallsBackToTheFirst) {
  SetLastPlatformSetting("No such platform");
  SetLastModeSetting("Frames");
  auto LForm = noxCreateForm<TMainForm>(&Timers, &Workers);
  EXPECT_EQ(LForm->PlatformCombo->currentIndex(), 0);
  LForm.reset();
  SetLastPlatformSetting("Test platform");
  auto LForm2 = noxCreateForm<TMainForm>(&Timers, &Workers);
  EXPECT_EQ(LForm2->PlatformCombo->currentText().toStdString(), "Test platform");
  EXPECT_EQ(LForm2->ScreenCombo->currentText().toStdString(), "Frames");
}

}  // namespace

namespace {

// The program's own timers and threads: the result arrives while the event
// loop runs.
TEST(MainFormThreads, ConvertsWithQtTimersAndWorkerThreads) {
  if (!QApplication::instance()) new QApplication(argc_, argv_);
  EnsureAppStarted();
  TTestPresenter LPresenter;
  TnoxShellModalPresenter* LOld = SetModalPresenter(&LPresenter);
  const fs::path LFile = MakeTempFolder("threads") / "t.png";
  ASSERT_TRUE(MakeTestImage(64, 48).save(QString::fromStdString(LFile.string())));
  {
    auto LForm = noxCreateForm<TMainForm>();
    LForm->Source()->LoadFromFile(LFile.string());
    for (int i = 0; i < 500 && !LForm->Dest()->GetResultBitmap(); ++i) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(LForm->Dest()->GetResultBitmap(), nullptr);
    EXPECT_NE(LForm->ResultView->GetPicture(), nullptr);
    EXPECT_NE(LForm->SourceView->GetPicture(), nullptr);
    // A new picture while converting: the old work is dropped safely.
    LForm->Source()->LoadFromFile(LFile.string());
  }
  EXPECT_EQ(LPresenter.Count, 0);
  SetModalPresenter(LOld);
}

}  // namespace

namespace {

TEST_F(MainFormTest, BatchGivesOriginalPaletteThePicturesOwnPalette) {
  const fs::path LSource = Folder / "in", LDest = Folder / "out";
  fs::create_directories(LSource);
  QImage LIndexed(16, 16, QImage::Format_Indexed8);
  LIndexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) LIndexed.setPixel(x, y, static_cast<uint>((x / 4 + y / 4) & 3));
  ASSERT_TRUE(LIndexed.save(QString::fromStdString((LSource / "indexed.png").string())));
  // More colours than a palette holds: no palette of its own.
  ASSERT_TRUE(MakeTestImage(64, 64).save(QString::fromStdString((LSource / "rgb.png").string())));
  SelectMode("Common", "Original palette");
  TKvBatchThread LThread({}, LSource.string(), LDest.string(), *Form->Dest(), 2);
  LThread.WaitFor();
  std::vector<std::string> LLog;
  for (std::string L = LThread.TakeLogLine(); !L.empty(); L = LThread.TakeLogLine()) LLog.push_back(L);
  std::sort(LLog.begin(), LLog.end());
  EXPECT_EQ(LLog, (std::vector<std::string>{"indexed.png: OK", "rgb.png: OK"}));
  // The picture with a palette converts to it and so has a GIF form; the
  // one without converts to true colour, which GIF mode writes as BMP.
  ASSERT_TRUE(fs::exists(LDest / "indexed.gif"));
  EXPECT_EQ(Decode(LDest / "indexed.gif").Colors, 4);
  EXPECT_TRUE(fs::exists(LDest / "rgb.bmp"));
}

TEST_F(MainFormTest, BatchOverAnEmptyFolderEndsAtOnce) {
  fs::create_directories(Folder / "empty");
  SetPathSetting((Folder / "empty").string());
  Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
    auto& F = dynamic_cast<TKvBatchConvertForm&>(AForm);
    F.StartConversion();
    F.GetThread()->WaitFor();
    F.PollThread();
    EXPECT_EQ(F.CancelButton->text().toStdString(), "Close");
    EXPECT_TRUE(F.LogMemo->toPlainText().isEmpty());
    EXPECT_FALSE(F.ConvertButton->isEnabled());
    return 2;
  };
  Form->UpdateActions();
  Form->BatchAction->Execute();
  EXPECT_EQ(Presenter.Count, 1);
}

}  // namespace

namespace {

TEST_F(MainFormTest, ViewsFillTheLeftPartAndHidingTheSourceGivesTheResultAllOfIt) {
  Form->resize(1200, 900);
  Form->RefreshUI();
  TnoxShellUI* UI = Form->GetShellUI();
  EXPECT_FALSE(Form->FileList->isVisibleTo(Form.get()));
  EXPECT_EQ(Form->SourceView->x(), UI->MarginX);
  EXPECT_EQ(Form->SourceView->height(), Form->ResultView->height());
  EXPECT_LT(Form->SourceView->y() + Form->SourceView->height(), Form->ResultView->y());
  EXPECT_LE(Form->ResultView->x() + Form->ResultView->width(), Form->ParametersPanel->x());
  const int LHalf = Form->ResultView->height();
  Form->ViewHideSourceMenuItemClick();
  EXPECT_TRUE(Form->HideSource);
  EXPECT_FALSE(Form->SourceView->isVisibleTo(Form.get()));
  EXPECT_TRUE(Form->HideSourceMenuItem->isChecked());
  EXPECT_GT(Form->ResultView->height(), LHalf * 3 / 2);
  Form->ViewHideSourceMenuItemClick();
  EXPECT_EQ(Form->ResultView->height(), LHalf);
  // Changing the platform selects its first mode and remembers both.
  Form->PlatformCombo->setCurrentIndex(Form->PlatformCombo->findText("Test platform"));
  EXPECT_EQ(GetLastPlatformSetting(), "Test platform");
  EXPECT_EQ(GetLastModeSetting(), "Frames");
  EXPECT_FALSE(Form->ScreenCombo->isEnabled());
}

}  // namespace

namespace {

TEST_F(MainFormTest, AboutShowsTheProgramAndItsVersion) {
  SetProductVersion("1.2.3");
  std::string LInstruction;
  Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
    LInstruction = dynamic_cast<TAboutForm&>(AForm).MainInstruction.toStdString();
    return 1;
  };
  Form->AboutMenuItemClick();
  EXPECT_EQ(Presenter.Titles.back(), "About");
  EXPECT_EQ(LInstruction, "Kovrel 1.2.3");
  SetProductVersion("");
}

}  // namespace

TEST_F(MainFormTest, PlatformNeutralConversionsShowTheProgressBar) {
  const fs::path LPicture = Folder / "wide.png";
  ASSERT_TRUE(MakeTestImage(64, 48).save(QString::fromStdString(LPicture.string())));
  Open(LPicture);
  for (const std::string LMode : {"B/W", "Palette"}) {
    SCOPED_TRACE(LMode);
    SelectMode("Common", LMode);
    Workers.Hold = true;
    Form->Dest()->Invalidate(false);
    ASSERT_TRUE(Form->Dest()->IsConverting());
    // The converter runs; its thread has not yet ended when the view asks.
    Workers.Last()->Run();
    Timers.Tick();
    EXPECT_TRUE(Form->ResultView->IsBusy());
    EXPECT_GT(Form->ResultView->GetProgressPosition(), 0);
    EXPECT_GT(Form->ResultView->GetProgressMax(), 0);
    Workers.FinishNext(false);
    Workers.Hold = false;
    WaitForResult();
    EXPECT_NE(Form->Dest()->GetResultBitmap(), nullptr);
  }
}
