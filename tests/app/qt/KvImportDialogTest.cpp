// The import dialog over an importer of the test's own: the engine label,
// pixel size from the pixel aspect, disabled lists, palettes added once, and
// opening such a file from the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QUrl>
#include <cstring>
#include <fstream>

#include "app/KvSource.h"
#include "app/KvTestServices.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvQtPictures.h"
#include "app/qt/LoadScrFormUnit.h"
#include "app/qt/MainFormUnit.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

// Files ending in ".tst" (or starting with "TST!"): an 8 x 8 4-bit picture with two palette variants,
// pixels twice as high as wide.
class TTestImporter : public TKvSourceEngine {
public:
  explicit TTestImporter(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {
    Description = "Test screen";
    FileName = "test.tst";
    Width = 8;
    Height = 8;
    Bits = 4;
    PixelAspect = 1;  // "1:2"
    Palette = std::make_unique<TKvPalette256>();
    for (int i = 0; i < 4; ++i) Palette->AddRGB(static_cast<uint8_t>(i * 80), 0, 0);
    Variants = {"Dark", "Light"};
    VariantName = "Light";
  }
  const TKvSourceEngineClass& ClassType() const override { return SourceEngineClass<TTestImporter>(); }
  // Also files named like pictures whose content starts with "TST!".
  static TKvMatchFlags Match(TKvLoadSource& ASource) {
    if (ASource.GetExtension() == ".tst") return mfExtension;
    return ASource.GetSize() >= 4 && std::memcmp(ASource.GetData(), "TST!", 4) == 0 ? mfHeader : TKvMatchFlags(0);
  }
  std::unique_ptr<TKvBitmap> Decode() override {
    auto LResult = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) LResult->SetPixel(x, y, (x + y) & 3);
    return LResult;
  }
  void GetVariantPalette(int AIndex, TKvPalette256& APalette) override {
    APalette.Clear();
    for (int i = 0; i < 4; ++i) APalette.AddRGB(static_cast<uint8_t>(i * 60 + AIndex * 10), 0, 0);
  }
};

class ImportDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    static bool LRegistered = false;
    if (!LRegistered) RegisterSourceEngine(SourceEngineClass<TTestImporter>());
    LRegistered = true;
    FOld = SetModalPresenter(&Presenter);
    File = (MakeTempFolder("import") / "pic.tst").string();
    std::ofstream(File) << "0123456789";
  }
  void TearDown() override { SetModalPresenter(FOld); }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  std::string File;
};

TEST_F(ImportDialogTest, ShowsTheEngineAndStretchesItsPixels) {
  TKvFileLoadSource LSource(File);
  auto LEngines = LSource.FindEngines();
  ASSERT_EQ(LEngines->GetCount(), 1);
  auto LForm = noxCreateForm<TLoadScrForm>(LSource, *LEngines);
  ASSERT_NE(LForm->EngineLabel, nullptr);
  EXPECT_EQ(LForm->TypeCombo, nullptr);
  EXPECT_EQ(LForm->EngineLabel->GetCaption().toStdString(), "Test screen");
  EXPECT_EQ(LForm->InfoLabel->GetCaption().toStdString(), "8x16x4");
  ASSERT_NE(LForm->GetPreview(), nullptr);
  EXPECT_EQ(LForm->GetPreview()->GetHeight(), 16);
  EXPECT_FALSE(LForm->PaletteCombo->isEnabled());
  EXPECT_EQ(LForm->PaletteCombo->count(), 0);
  EXPECT_TRUE(LForm->VariantCombo->isEnabled());
  EXPECT_EQ(LForm->VariantCombo->currentText().toStdString(), "Light");
  EXPECT_FALSE(LForm->CalculationCombo->isEnabled());
  LForm->SetPixelWidth(2);
  EXPECT_EQ(LForm->InfoLabel->GetCaption().toStdString(), "16x16x4");
  EXPECT_EQ(LForm->GetScaledPicture()->Width, 16);
  EXPECT_TRUE(LForm->SaveGifItem->isEnabled());
  // "Save image" starts in the opened file's folder with its name.
  std::string LFolder, LName;
  const auto LOldSave = FileDialogs().SaveFile;
  FileDialogs().SaveFile = [&](QWidget*, const std::string&, const std::string& AFolder, const std::string& AName,
                               const std::string&) {
    LFolder = AFolder;
    LName = AName;
    return std::string();
  };
  LForm->SaveImage(".png");
  FileDialogs().SaveFile = LOldSave;
  EXPECT_EQ(std::filesystem::path(LFolder), std::filesystem::path(File).parent_path() / "");
  EXPECT_EQ(LName, "pic.png");
}

TEST_F(ImportDialogTest, ImportingPalettesTwiceReplacesThem) {
  const int LBefore = PaletteList().GetCount();
  for (int i = 0; i < 2; ++i) {
    TKvFileLoadSource LSource(File);
    auto LEngines = LSource.FindEngines();
    auto LForm = noxCreateForm<TLoadScrForm>(LSource, *LEngines);
    Presenter.OnShow = [](TnoxShellBaseUIForm&) { return 101; };
    EXPECT_EQ(LForm->Execute(), nullptr);
    EXPECT_EQ(PaletteList().GetCount(), LBefore + 2);
  }
}

TEST_F(ImportDialogTest, OpeningTheFileFromTheWindowImportsThePicture) {
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  auto LForm = noxCreateForm<TMainForm>(&LTimers, &LWorkers);
  Presenter.OnShow = [](TnoxShellBaseUIForm& AForm) {
    EXPECT_EQ(AForm.windowTitle().toStdString(), "Import");
    return 1;
  };
  FileDialogs().OpenFile = [this](QWidget*, const std::string&, const std::string&) { return File; };
  LForm->UpdateActions();
  LForm->OpenAction->Execute();
  ASSERT_NE(LForm->Source()->GetPicture(), nullptr);
  EXPECT_EQ(LForm->Source()->GetPicture()->GetWidth(), 8);
  EXPECT_EQ(LForm->Source()->GetPicture()->GetHeight(), 16);
  EXPECT_EQ(Presenter.Count, 1);
}

}  // namespace

namespace {

// What the window shows of its documents.
struct TWindowState {
  std::string FileName, Title;
  TBitmap32* Picture = nullptr;
  QImage Source, Result;
  bool Busy = false;
};

TWindowState StateOf(TMainForm& AForm) {
  TWindowState L;
  L.FileName = AForm.Source()->GetFileName();
  L.Title = AForm.windowTitle().toStdString();
  L.Picture = AForm.Source()->GetPicture();
  // Copies: the views redraw into the same bitmaps.
  if (TBitmap32* P = AForm.SourceView->GetPicture()) L.Source = Bitmap32View(*P).copy();
  if (TBitmap32* P = AForm.ResultView->GetPicture()) L.Result = Bitmap32View(*P).copy();
  L.Busy = AForm.SourceView->IsBusy() || AForm.ResultView->IsBusy();
  return L;
}

void ExpectSameState(const TWindowState& A, const TWindowState& B, const std::string& AWhere) {
  EXPECT_EQ(A.FileName, B.FileName) << AWhere;
  EXPECT_EQ(A.Title, B.Title) << AWhere;
  EXPECT_EQ(A.Picture, B.Picture) << AWhere;
  EXPECT_FALSE(B.Source.isNull()) << AWhere;
  EXPECT_TRUE(A.Source == B.Source) << AWhere;
  EXPECT_TRUE(A.Result == B.Result) << AWhere;
  EXPECT_FALSE(B.Busy) << AWhere;
}

QMimeData* FileUrls(const std::vector<std::filesystem::path>& AFiles) {
  auto* LData = new QMimeData;
  QList<QUrl> LUrls;
  for (const auto& F : AFiles) LUrls << QUrl::fromLocalFile(QString::fromStdString(F.string()));
  LData->setUrls(LUrls);
  return LData;
}

// Every way a file reaches the import dialog, over a converted photo: while
// the dialog is open the window keeps the photo, its result and its title;
// Cancel leaves them so; OK shows the imported picture.
TEST_F(ImportDialogTest, EveryRoadKeepsTheShownPictureUntilTheDialogReturnsOne) {
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  auto LForm = noxCreateForm<TMainForm>(&LTimers, &LWorkers);
  const auto LFolder = MakeTempFolder("import_roads");
  const auto LPhoto = LFolder / "photo.png";
  MakeTestImage(40, 30).save(QString::fromStdString(LPhoto.string()));
  // A file list whose second entry, named like a picture, needs the dialog.
  const auto LList = LFolder / "list";
  std::filesystem::create_directories(LList);
  MakeTestImage(20, 10).save(QString::fromStdString((LList / "a.png").string()));
  std::ofstream(LList / "b.gif") << "TST!0123";
  // A folder whose first entry needs the dialog.
  const auto LScreens = LFolder / "screens";
  std::filesystem::create_directories(LScreens);
  std::ofstream(LScreens / "a.bmp") << "TST!0123";
  MakeTestImage(20, 10).save(QString::fromStdString((LScreens / "b.png").string()));
  std::string LNext;
  FileDialogs().OpenFile = [&](QWidget*, const std::string&, const std::string&) { return LNext; };
  FileDialogs().SelectFolder = [&](QWidget*, const std::string&, bool) { return LNext; };
  auto Settle = [&] {
    QApplication::processEvents();
    for (int i = 0; i < 20; ++i) LTimers.Tick();
    LForm->UpdateActions();
  };
  auto OpenFile = [&](const std::string& AFile) {
    LNext = AFile;
    LForm->UpdateActions();
    LForm->OpenAction->Execute();
  };
  struct TRoad {
    const char* Name;
    std::function<void()> Prepare;  // before the state is taken
    std::function<void()> Open;     // ends in the dialog
    const char* Imported;           // the file name an import gives
  };
  const std::vector<TRoad> LRoads = {
      {"open", nullptr, [&] { OpenFile(File); }, "pic.tst"},
      {"drop of one file", nullptr, [&] { LForm->DropOffer(TnoxShellDataOffer{true, {File}, nullptr, false}); },
       "pic.tst"},
      {"drop of several files", nullptr,
       [&] { LForm->DropOffer(TnoxShellDataOffer{true, {File, LPhoto.string()}, nullptr, false}); }, "pic.tst"},
      {"paste of a file", nullptr,
       [&] {
         QApplication::clipboard()->setMimeData(FileUrls({File}));
         LForm->UpdateActions();
         LForm->PasteAction->Execute();
       },
       "pic.tst"},
      {"entry of the file list",
       [&] {
         LNext = LList.string();
         LForm->OpenFolderAction->Execute();
         Settle();
       },
       [&] { LForm->FileList->setCurrentRow(1); }, "b.gif"},
      {"opened folder", nullptr,
       [&] {
         LNext = LScreens.string();
         LForm->UpdateActions();
         LForm->OpenFolderAction->Execute();
       },
       "a.bmp"},
      {"dropped folder", nullptr,
       [&] { LForm->DropOffer(TnoxShellDataOffer{true, {LScreens.string()}, nullptr, false}); }, "a.bmp"},
  };
  for (const TRoad& LRoad : LRoads)
    for (const int LAnswer : {2, 1}) {
      const std::string LWhere = std::string(LRoad.Name) + (LAnswer == 1 ? ", OK" : ", Cancel");
      OpenFile(LPhoto.string());
      Settle();
      ASSERT_EQ(LForm->Source()->GetFileName(), "photo.png") << LWhere;
      if (LRoad.Prepare) LRoad.Prepare();
      const TWindowState LBefore = StateOf(*LForm);
      const int LShown = Presenter.Count;
      Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
        EXPECT_EQ(AForm.windowTitle().toStdString(), "Import") << LWhere;
        Settle();
        ExpectSameState(LBefore, StateOf(*LForm), LWhere + ", while open");
        // A folder's list is on screen before its first file asks.
        EXPECT_EQ(LForm->FileList->isVisibleTo(LForm.get()), !LForm->SourceFiles()->GetFiles().empty()) << LWhere;
        return LAnswer;
      };
      LRoad.Open();
      Presenter.OnShow = nullptr;
      Settle();
      EXPECT_EQ(Presenter.Count, LShown + 1) << LWhere;
      const TWindowState LAfter = StateOf(*LForm);
      if (LAnswer == 2) {
        ExpectSameState(LBefore, LAfter, LWhere);
      } else {
        EXPECT_EQ(LAfter.FileName, LRoad.Imported) << LWhere;
        EXPECT_EQ(LAfter.Title, std::string(LRoad.Imported) + " - Kovrel") << LWhere;
        ASSERT_NE(LAfter.Picture, nullptr) << LWhere;
        EXPECT_EQ(LAfter.Picture->GetHeight(), 16) << LWhere;
        EXPECT_FALSE(LAfter.Source.isNull()) << LWhere;
        EXPECT_FALSE(LAfter.Source == LBefore.Source) << LWhere;
      }
    }
}

}  // namespace
