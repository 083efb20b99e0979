// The custom palette dialog: columns, picking with a delayed restart, the
// buttons, loading a selection, and the picture's colours found off the GUI
// thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>

#include "app/KvTestServices.h"
#include "app/qt/CustomFormUnit.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvEngineUI.h"
#include "core/KvPaletteRGB.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

class CustomPaletteTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOld = SetModalPresenter(&Presenter);
    for (int i = 0; i < 16; ++i) Palette.AddRGB(static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 16), 0);
    Dest.SetEngine(DestEngineClass<TTestFramesEngine>());
  }
  void TearDown() override { SetModalPresenter(FOld); }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  TKvPalette256 Palette;
  TManualTimerFactory Timers;
  TManualLauncher Workers;
  TKvDest Dest{Timers, Workers};
};

TEST_F(CustomPaletteTest, ColumnsFollowTheColourCount) {
  const std::pair<int, int> LCases[] = {{16, 4}, {17, 5}, {12, 4}, {729, 27}, {4096, 64}};
  for (auto [LCount, LColumns] : LCases) EXPECT_EQ(CustomPaletteColumns(LCount), LColumns) << LCount;
  std::unique_ptr<TKvPaletteRGB> LBig = TKvPaletteRGB::CreateBits(4, 4, 4, false);
  auto LForm = noxCreateForm<TCustomForm>(LBig.get(), 0);
  EXPECT_EQ(LForm->Grid->GetColCount(), 64);
  EXPECT_EQ(LForm->Grid->GetRowCount(), 64);
  auto LSmall = noxCreateForm<TCustomForm>(&Palette, 0);
  EXPECT_LT(LForm->Grid->GetCellSize(), LSmall->Grid->GetCellSize());
}

TEST_F(CustomPaletteTest, TwoClicksRestoreTheSelectionAndRestartOnceLater) {
  auto LForm = noxCreateForm<TCustomForm>(&Palette, 0);
  LForm->Grid->SetDest(&Dest);
  EXPECT_FALSE(LForm->SaveButton->isEnabled());
  LForm->Grid->Toggle(3);
  EXPECT_EQ(Dest.GetOptions()->ColorMask[3], 1);
  EXPECT_TRUE(LForm->SaveButton->isEnabled());
  LForm->Grid->Toggle(3);
  EXPECT_EQ(Dest.GetOptions()->ColorMask[3], 0);
  EXPECT_FALSE(LForm->ResetButton->isEnabled());
  EXPECT_TRUE(LForm->Grid->IsRestartPending());
  EXPECT_EQ(LForm->Grid->GetRestartTimer()->interval(), 1000);
  LForm->Grid->ApplySelection(true);  // what the timer does
  EXPECT_FALSE(LForm->Grid->IsRestartPending());
  EXPECT_FALSE(LForm->Grid->GetRestartTimer()->isActive());
}

TEST_F(CustomPaletteTest, LoadingPicksTheNearestCellsAndSavingWritesThePicks) {
  const auto LFolder = MakeTempFolder("custompal");
  std::ofstream(LFolder / "same.pal") << "JASC-PAL\r\n0100\r\n3\r\n0 255 0\r\n1 254 0\r\n2 253 1\r\n";
  auto LForm = noxCreateForm<TCustomForm>(&Palette, 0);
  LForm->Grid->SetDest(&Dest);
  LForm->Grid->LoadSelection((LFolder / "same.pal").string());
  EXPECT_EQ(CountColorMask(LForm->Grid->GetSelectionMask()), 1);
  EXPECT_EQ(LForm->Grid->GetSelectionMask()[0], 1);
  EXPECT_TRUE(LForm->SaveButton->isEnabled());
  FileDialogs().SaveFile = [&](QWidget*, const std::string&, const std::string&, const std::string&,
                               const std::string&) { return (LFolder / "out.pal").string(); };
  LForm->SaveClick();
  TKvPalette256 LSaved;
  LSaved.LoadFromFile((LFolder / "out.pal").string());
  EXPECT_EQ(LSaved.GetCount(), 1);
  std::ofstream(LFolder / "bad.pal") << "nothing";
  LForm->Grid->LoadSelection((LFolder / "bad.pal").string());
  EXPECT_EQ(Presenter.Count, 1);  // the error was shown, the dialog stays
  LForm->ResetClick();
  EXPECT_EQ(CountColorMask(Dest.GetOptions()->ColorMask), 0);
}

TEST_F(CustomPaletteTest, PictureColoursAreFoundOffTheGuiThread) {
  TKvSource LSource;
  const auto LFile = MakeTempFolder("custompic") / "p.png";
  QImage LImage(8, 8, QImage::Format_RGB32);
  LImage.fill(qRgb(0, 255, 0));
  LImage.save(QString::fromStdString(LFile.string()));
  LSource.LoadFromFile(LFile.string());
  Dest.SetSource(&LSource);
  Dest.SetEngine(DestEngineClass<TTestFramesEngine>());  // sized from the picture
  for (int i = 0; i < 10 && (Dest.IsFitting() || Dest.IsConverting()); ++i) Timers.Tick();
  ASSERT_NE(Dest.GetFitted(), nullptr);
  ASSERT_EQ(Dest.GetFitted()->GetWidth(), 8);
  TKvCustomPalette LGrid(nullptr);
  LGrid.SetPalette(&Palette);
  LGrid.SetDest(&Dest);
  LGrid.WaitForPictureMask();
  EXPECT_EQ(CountColorMask(LGrid.GetPictureMask()), 1);
  EXPECT_EQ(LGrid.GetPictureMask()[0], 1);
  // Leaving the document while the lookup runs stops it.
  LGrid.SetDest(&Dest);
  LGrid.SetDest(nullptr);
  Dest.SetSource(nullptr);
}

TEST_F(CustomPaletteTest, EditButtonOpensNothingForAnEmptyPalette) {
  auto LOptions = TKvDestEngineOptions::Create();
  LOptions->PaletteMode = 17;
  TKvDestEngineUIPanel LPanel(nullptr, std::make_unique<TKvDestEngineUIEx>(LOptions.get()));
  LPanel.AddPaletteModeSection(PaletteModes(pmCustom));
  ASSERT_TRUE(LPanel.EditButton->isEnabled());
  LPanel.EditButton->click();
  EXPECT_EQ(Presenter.Count, 0);
  LPanel.EditPalette(&Palette, 0);
  EXPECT_EQ(Presenter.Count, 1);
  EXPECT_EQ(Presenter.Titles.back(), "Custom palette");
}

}  // namespace
