// The import dialog over an importer of the test's own: the engine label,
// pixel size from the pixel aspect, disabled lists, palettes added once, and
// opening such a file from the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>

#include "app/KvSource.h"
#include "app/KvTestServices.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/LoadScrFormUnit.h"
#include "app/qt/MainFormUnit.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

// Files ending in ".tst": an 8 x 8 4-bit picture with two palette variants,
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
  static TKvMatchFlags Match(TKvLoadSource& ASource) {
    return ASource.GetExtension() == ".tst" ? mfExtension : TKvMatchFlags(0);
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

TEST_F(ImportDialogTest, TheWindowKeepsShowingThePictureWhileTheDialogIsOpen) {
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  auto LForm = noxCreateForm<TMainForm>(&LTimers, &LWorkers);
  const auto LPicture = MakeTempFolder("import_keep") / "photo.png";
  MakeTestImage(40, 30).save(QString::fromStdString(LPicture.string()));
  for (const std::string& LFile : {LPicture.string(), File}) {
    FileDialogs().OpenFile = [LFile](QWidget*, const std::string&, const std::string&) { return LFile; };
    LForm->UpdateActions();
    Presenter.OnShow = [&](TnoxShellBaseUIForm&) {
      QApplication::processEvents();
      for (int i = 0; i < 20; ++i) LTimers.Tick();
      EXPECT_EQ(LForm->Source()->GetFileName(), "photo.png");
      EXPECT_NE(LForm->SourceView->GetPicture(), nullptr);
      return 2;
    };
    LForm->OpenAction->Execute();
    for (int i = 0; i < 20; ++i) LTimers.Tick();
  }
  EXPECT_EQ(Presenter.Count, 1);
  EXPECT_NE(LForm->SourceView->GetPicture(), nullptr);
}

}  // namespace
