// Option controls, palette controls, the option panel's sections and store,
// the picture views and the flicker box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <fstream>

#include "app/KvTestServices.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvControls.h"
#include "app/qt/KvEngineUI.h"
#include "app/qt/KvViews.h"
#include "core/KvBitmap.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

class ControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOld = SetModalPresenter(&Presenter);
    FParent = std::make_unique<QWidget>();
  }
  void TearDown() override {
    FParent.reset();
    SetModalPresenter(FOld);
  }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  std::unique_ptr<QWidget> FParent;
};

TEST_F(ControlsTest, EditFiresOnceAfterTheDelayAndIgnoresBlanks) {
  TKvEdit LEdit(FParent.get());
  int LFired = 0;
  LEdit.OnChange = [&](QObject*) { ++LFired; };
  LEdit.setText("12");
  EXPECT_TRUE(LEdit.GetTimer()->isActive());
  EXPECT_EQ(LEdit.GetTimer()->interval(), 2000);
  LEdit.GetTimer()->stop();
  LEdit.setText("  12 ");
  EXPECT_FALSE(LEdit.GetTimer()->isActive());  // blanks restart nothing
  EXPECT_EQ(LFired, 0);
  LEdit.ApplyChange();  // the timer's tick, or leaving the edit
  EXPECT_EQ(LFired, 1);
  LEdit.ApplyChange();
  EXPECT_EQ(LFired, 1);
  EXPECT_EQ(LEdit.GetTrimmedText(), "12");
}

TEST_F(ControlsTest, IntEditClampsDefaultsAndHidesSmallValues) {
  TKvIntEdit LEdit(FParent.get(), 1, 2048);
  int LFired = 0;
  LEdit.OnChange = [&](QObject*) { ++LFired; };
  LEdit.SetValue(100);
  EXPECT_EQ(LFired, 0);
  EXPECT_FALSE(LEdit.IsChangePending());
  LEdit.setText("");  // the user clears it: the default 0 is clamped to 1
  EXPECT_EQ(LEdit.GetValue(), 1);
  LEdit.SetValue(LEdit.GetValue());
  EXPECT_EQ(LEdit.text().toStdString(), "1");
  // A change typed before a SetValue from code still fires.
  EXPECT_TRUE(LEdit.IsChangePending());
  LEdit.ApplyChange();
  EXPECT_EQ(LFired, 1);
  LEdit.setText("abc");
  EXPECT_EQ(LEdit.GetValue(), 1);
  LEdit.setText("99999");
  EXPECT_EQ(LEdit.GetValue(), 2048);

  TKvIntEdit LEmpty(FParent.get(), 0, 10);
  LEmpty.EmptyThreshold = 1;
  const std::pair<int, const char*> LCases[] = {{0, ""}, {1, ""}, {2, "2"}};
  for (auto [LValue, LText] : LCases) {
    LEmpty.SetValue(LValue);
    EXPECT_EQ(LEmpty.text().toStdString(), LText) << LValue;
  }
}

TEST_F(ControlsTest, InverseRelatedControlIsOffOnlyForItsItem) {
  TKvComboBox LCombo(FParent.get());
  LCombo.addItems({"None", "A", "B"});
  QWidget LRelated(FParent.get());
  LCombo.setCurrentIndex(0);
  LCombo.AddRelated(0, &LRelated, true);
  EXPECT_FALSE(LRelated.isEnabled());
  LCombo.setCurrentIndex(2);
  EXPECT_TRUE(LRelated.isEnabled());
  LCombo.setCurrentIndex(-1);
  EXPECT_TRUE(LRelated.isEnabled());
}

TEST_F(ControlsTest, TrackBarAndEditFollowEachOtherAndFireOnce) {
  TKvTrackBar LBar(FParent.get(), 1);
  LBar.SetRange(0, 100);
  int LFired = 0;
  LBar.OnChange = [&](QObject*) { ++LFired; };
  LBar.SetPosition(40);
  EXPECT_EQ(LFired, 1);
  EXPECT_EQ(LBar.GetEdit()->text().toStdString(), "40");
  LBar.GetEdit()->setText("30");
  EXPECT_EQ(LBar.GetPosition(), 40);  // not before the delay
  LBar.GetEdit()->ApplyChange();
  EXPECT_EQ(LBar.GetPosition(), 30);
  EXPECT_EQ(LFired, 2);
  LBar.setEnabled(false);
  EXPECT_FALSE(LBar.GetEdit()->isEnabled());
}

TEST_F(ControlsTest, PaletteGridSizesAndCrossesMissingCells) {
  TKvDestPalette LGrid(FParent.get());
  EXPECT_EQ(LGrid.size(), QSize(81, 81));
  TKvPalette256 LPalette;
  for (int i = 0; i < 20; ++i) LPalette.AddRGB(static_cast<uint8_t>(i * 10), 0, 0);
  LGrid.SetColCount(16);
  LGrid.SetRowCount(2);
  LGrid.SetPalette(&LPalette);
  EXPECT_EQ(LGrid.CrossedCellCount(), 12);
  const QImage LImage = LGrid.RenderImage();
  EXPECT_EQ(LImage.pixel(3, 3) & 0xFFFFFF, 0u);  // colour 0 is black
  LGrid.ResultPaletteChanged(nullptr, 0, 0);
  EXPECT_EQ(LGrid.GetPalette().GetCount(), 0);

  TKvPaletteIndexLabel LLabel(FParent.get());
  LLabel.ResultPaletteChanged(nullptr, 5, -1);
  EXPECT_EQ(LLabel.GetCaption().toStdString(), "5");
  LLabel.ResultPaletteChanged(nullptr, 5, 0);
  EXPECT_EQ(LLabel.GetCaption().toStdString(), "5, 0");
}

// A panel over options of the test's own, with no sections yet.
struct TPanelFixture {
  explicit TPanelFixture(QWidget* AParent) {
    Options = TKvDestEngineOptions::Create();
    Panel = std::make_unique<TKvDestEngineUIPanel>(AParent, std::make_unique<TKvDestEngineUIEx>(Options.get()));
  }
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TKvDestEngineUIPanel> Panel;
};

TEST_F(ControlsTest, ColorUsageAndMaxChangeCountKeepTheConverterValues) {
  TPanelFixture F(FParent.get());
  F.Options->ColorUsage = 3;
  F.Options->HAMMaxChangeCount = 4;
  F.Panel->AddColorUsageSection(false);
  F.Panel->AddHamSection(true, true, true, true);
  EXPECT_EQ(F.Panel->ColorUsageCombo->currentText().toStdString(), "Bright only");
  EXPECT_EQ(F.Panel->HamBars[3]->GetPosition(), 4);
  F.Options->BeginUpdate();
  F.Panel->StoreOptions();
  F.Options->EndUpdate();
  EXPECT_FALSE(F.Options->Modified);
  EXPECT_EQ(F.Options->ColorUsage, 3);
  EXPECT_EQ(F.Options->HAMMaxChangeCount, 4);
  // The count can be raised again after lowering it.
  F.Panel->HamBars[3]->SetPosition(1);
  F.Panel->HamBars[3]->SetPosition(6);
  EXPECT_EQ(F.Panel->HamBars[3]->GetPosition(), 6);
  F.Panel->StoreOptions();
  EXPECT_EQ(F.Options->HAMMaxChangeCount, 6);
  EXPECT_EQ(F.Panel->HamLabels[1]->GetCaption().toStdString(), "Prev lines:");
}

TEST_F(ControlsTest, PositionSectionListsOnlyTheAspectsThatMatter) {
  {
    TPanelFixture F(FParent.get());
    F.Panel->AddPositionSection();
    EXPECT_EQ(F.Panel->AspectCombo, nullptr);
  }
  TPanelFixture F(FParent.get());
  F.Options->PixelAspect = 18;
  F.Options->BorderColor = 0x112233;
  F.Panel->AddPositionSection();
  ASSERT_NE(F.Panel->AspectCombo, nullptr);
  QStringList LItems;
  for (int i = 0; i < F.Panel->AspectCombo->count(); ++i) LItems << F.Panel->AspectCombo->itemText(i);
  EXPECT_EQ(LItems, QStringList({"1:1", "2:1", "2.276:1"}));
  EXPECT_EQ(F.Panel->AspectCombo->currentText().toStdString(), "2.276:1");
  EXPECT_EQ(F.Panel->BorderColorBox->GetColor(), 0x332211u);
}

TEST_F(ControlsTest, ModeAndUsageSections) {
  TPanelFixture F(FParent.get());
  F.Options->PaletteMode = 1;
  F.Panel->AddPaletteModeSection(PaletteModes(pmGray, pmColor17Of256, pmColor64Of256, pmCustom));
  QStringList LItems;
  for (int i = 0; i < F.Panel->ModeCombo->count(); ++i) LItems << F.Panel->ModeCombo->itemText(i);
  EXPECT_EQ(LItems, QStringList({"Gray", "Color (17 from 256)", "Color (64 from 256, slow)", "Custom"}));
  ASSERT_NE(F.Panel->EditButton, nullptr);
  EXPECT_FALSE(F.Panel->EditButton->isEnabled());
  F.Panel->ModeCombo->SetMode(17);
  EXPECT_TRUE(F.Panel->EditButton->isEnabled());

  TPanelFixture G(FParent.get());
  G.Options->PaletteUsage = 1;
  try {
    G.Panel->AddPaletteUsageSection(PaletteUsages(puColors15, puColors16));
    FAIL() << "usage 1 is not offered";
  } catch (const EOSError& E) {
    EXPECT_EQ(E.ErrorCode, 87u);
    EXPECT_EQ(E.Message(), "System Error.  Code: 87.\nInvalid parameter.");  // the one form of OS errors
  }
}

TEST_F(ControlsTest, NoDitheringDisablesOnlyTheDiffusionControls) {
  TPanelFixture F(FParent.get());
  F.Panel->AddDitheringSection(true);
  F.Panel->DitherMethodCombo->setCurrentIndex(0);
  for (QWidget* W : {static_cast<QWidget*>(F.Panel->ErrorDiffusionBar), static_cast<QWidget*>(F.Panel->ErrorDiffusionLabel),
                     static_cast<QWidget*>(F.Panel->LimitInsideCheckBox), static_cast<QWidget*>(F.Panel->LimitBoundaryCheckBox),
                     static_cast<QWidget*>(F.Panel->SerpentineCheckBox)})
    EXPECT_FALSE(W->isEnabled());
  EXPECT_TRUE(F.Panel->LightnessBar->isEnabled());
  EXPECT_TRUE(F.Panel->SaturationBar->isEnabled());
  EXPECT_EQ(F.Panel->DitherMethodCombo->count(), 9);
}

TEST_F(ControlsTest, SizeFromSourceKeepsShapeWithinLimits) {
  TPanelFixture F(FParent.get());
  F.Panel->AddDimensionSection(false);
  const struct {
    int W, H, EW, EH;
  } LCases[] = {{4000, 3000, 2048, 1536}, {1000, 4, 1000, 8}};
  for (const auto& C : LCases) {
    F.Panel->UpdateDimensionFromSource(C.W, C.H);
    EXPECT_EQ(F.Panel->WidthEdit->GetValue(), C.EW);
    EXPECT_EQ(F.Panel->HeightEdit->GetValue(), C.EH);
    EXPECT_EQ(F.Options->GetWidth(), C.EW);
  }
  F.Panel->LockCheckBox->setChecked(true);
  F.Panel->UpdateDimensionFromSource(100, 100);
  EXPECT_EQ(F.Panel->WidthEdit->GetValue(), 1000);
}

TEST_F(ControlsTest, PanelRestartsOnlyOnARealChange) {
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  TKvDest LDest(LTimers, LWorkers);
  LDest.SetEngine(DestEngineClass<TTestFramesEngine>());
  TKvDestEngineUIPanel LPanel(FParent.get(), LDest.CreateUI());
  LPanel.SetDest(&LDest);
  EXPECT_EQ(LPanel.ErrorDiffusionBar->GetDest(), &LDest);
  // The first store may bring the options in line with the controls; a
  // second one with nothing changed restarts nothing.
  LPanel.ControlChanged(nullptr);
  LPanel.ApplyCount = 0;
  LPanel.ControlChanged(nullptr);
  EXPECT_EQ(LPanel.ApplyCount, 0);
  LPanel.DitherMethodCombo->setCurrentIndex(3);
  EXPECT_EQ(LPanel.ApplyCount, 1);
  EXPECT_EQ(LDest.GetOptions()->DitherMethod, 3);
  LPanel.SerpentineCheckBox->click();
  EXPECT_EQ(LPanel.ApplyCount, 2);
  LPanel.BeginUpdate();
  LPanel.DitherMethodCombo->setCurrentIndex(4);
  EXPECT_EQ(LPanel.ApplyCount, 2);
  LPanel.EndUpdate();
  EXPECT_EQ(LPanel.ApplyCount, 3);
  // The same border colour chosen again repaints but starts nothing.
  TKvDestEngineUIPanel::ColorChooser = [](QWidget*, uint32_t&) { return true; };
  LPanel.BorderColorButton->click();
  EXPECT_EQ(LPanel.ApplyCount, 3);
  LPanel.SetDest(nullptr);
}

TEST_F(ControlsTest, ViewCentresSmallPicturesAndScrollsLargeOnesTogether) {
  TKvDestOriginalImage A(FParent.get()), B(FParent.get());
  A.resize(200, 150);
  B.resize(200, 150);
  FParent->show();
  TKvBaseDestImageScroll LLink;
  A.SetScrollLink(&LLink);
  B.SetScrollLink(&LLink);
  TBitmap32 LSmall;
  LSmall.SetSize(50, 40);
  A.SetPicture(&LSmall);
  EXPECT_FALSE(A.HorzBarVisible());
  EXPECT_FALSE(A.VertBarVisible());
  EXPECT_EQ(A.PictureOrigin(), QPoint((A.ClientWidth() - 50) / 2, (A.ClientHeight() - 40) / 2));
  TBitmap32 LLarge;
  LLarge.SetSize(1000, 800);
  LLarge.Clear(0xFF102030);
  A.SetPicture(&LLarge);
  B.SetPicture(&LLarge);
  ASSERT_TRUE(A.HorzBarVisible());
  ASSERT_TRUE(A.VertBarVisible());
  // A new bar starts in the middle.
  EXPECT_NEAR(A.GetHorzPos(), (1000 - A.ClientWidth()) / 2, 1);
  A.SetHorzPos(10);
  A.SetVertPos(20);
  EXPECT_EQ(B.GetHorzPos(), 10);
  EXPECT_EQ(B.GetVertPos(), 20);
  A.RenderBuffer();
  EXPECT_EQ(A.GetBuffer().pixel(5, 5) & 0xFFFFFF, 0x102030u);
  // One wheel notch scrolls three lines of 8 pixels.
  QWheelEvent LWheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
  QApplication::sendEvent(A.viewport(), &LWheel);
  EXPECT_EQ(A.GetVertPos(), 20 + 3 * 8);
  EXPECT_EQ(B.GetVertPos(), 20 + 3 * 8);
  A.SetScrollLink(nullptr);
}

TEST_F(ControlsTest, ResultViewShowsWaitAndStretchesToTheAspect) {
  TKvDestImage LView(FParent.get());
  LView.resize(600, 600);
  FParent->show();
  TBitmap32 LResult;
  LResult.SetSize(256, 192);
  LView.ResultChanged(TKvSize{12, 5}, 1, &LResult, nullptr, false);
  ASSERT_NE(LView.GetPicture(), nullptr);
  EXPECT_EQ(LView.GetPicture()->GetWidth(), 256);
  EXPECT_EQ(LView.GetPicture()->GetHeight(), 461);
  LView.ResultChanged(TKvSize{1, 2}, 2, &LResult, nullptr, false);
  EXPECT_EQ(LView.GetPicture()->GetWidth(), 1024);
  LView.ResultChanged(TKvSize{1, 1}, 1, nullptr, nullptr, true);
  EXPECT_TRUE(LView.IsBusy());
  LView.ProgressChanged(10, 3);
  EXPECT_EQ(LView.GetProgressMax(), 10);
  LView.RenderBuffer();
}

TEST_F(ControlsTest, FlickerBoxShowsOnlyFramesItHas) {
  TKvBitmapList LFrames;
  TKvFlickBox LEmpty(FParent.get(), 10, 10, &LFrames, 1);
  LEmpty.StartThread();
  LEmpty.ShowFrame(0);
  EXPECT_EQ(LEmpty.GetShownFrame(), -1);
  LEmpty.StopThread();

  TKvPalette256 LPalette;
  LPalette.AddRGB(0, 0, 0);
  LPalette.AddRGB(255, 255, 255);
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<TKvBitmap> LFrame = std::make_unique<TKvBitmap8>(4, 2, &LPalette);
    LFrame->SetPixel(0, 0, i);
    LFrames.Add(LFrame);
  }
  TKvFlickBox LBox(FParent.get(), 4, 2, &LFrames, 3);
  EXPECT_EQ(LBox.size(), QSize(12, 6));
  ASSERT_EQ(LBox.GetFrameCount(), 2);
  EXPECT_EQ(LBox.GetFrame(1)->GetPixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
  LBox.StartThread();
  // The pacing thread asks the GUI thread to show frames in turn.
  // A loaded machine may start the thread late: wait up to ten seconds.
  for (int i = 0; i < 2000 && LBox.GetShownFrame() < 0; ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(LBox.GetShownFrame(), 0);
  LBox.StopThread();
  EXPECT_FALSE(LBox.IsThreadRunning());
}

}  // namespace

namespace {

TEST_F(ControlsTest, PaletteListsRefillWhenPalettesArriveAndOfferOnlyStrictSubsets) {
  const auto LFolder = MakeTempFolder("palettes");
  auto LWrite = [&](const std::string& AName, int ACount) {
    std::ofstream LFile(LFolder / AName);
    LFile << "JASC-PAL\r\n0100\r\n" << ACount << "\r\n";
    for (int i = 0; i < ACount; ++i) LFile << i * 10 << " 0 0\r\n";
  };
  LWrite("fourteen.pal", 14);
  LWrite("fifteen.pal", 15);
  TKvPaletteComboBox LCombo(FParent.get());
  LCombo.FillItems();
  LCombo.setCurrentIndex(3);
  int LFired = 0;
  LCombo.OnChange = [&](QObject*) { ++LFired; };
  const int LBefore = LCombo.count();
  TKvPalette256* L14 = PaletteList().LoadPalette((LFolder / "fourteen.pal").string());
  TKvPalette256* L15 = PaletteList().LoadPalette((LFolder / "fifteen.pal").string());
  EXPECT_EQ(LCombo.count(), LBefore + 2);
  EXPECT_EQ(LCombo.currentIndex(), 3);
  EXPECT_EQ(LFired, 0);

  TKvPalette256 LSource;
  for (int i = 0; i < 16; ++i) LSource.AddRGB(static_cast<uint8_t>(i * 10), 0, 0);
  TKvFixedPaletteComboBox LFixed(FParent.get());
  TKvDestPalette LGrid(FParent.get());
  LFixed.SetSourcePalette(&LSource);
  LFixed.SetLinkedPalette(&LGrid);
  EXPECT_GE(LFixed.IndexOfObject(reinterpret_cast<intptr_t>(L14)), 1);
  EXPECT_EQ(LFixed.IndexOfObject(reinterpret_cast<intptr_t>(L15)), -1);
  LFixed.SetPalette(L14);
  EXPECT_EQ(LGrid.GetPalette().GetCount(), 14);
  LFixed.setCurrentIndex(0);  // "None" empties the grid
  EXPECT_EQ(LGrid.GetPalette().GetCount(), 0);
}

}  // namespace

namespace {

TEST_F(ControlsTest, PanelBuildsEverySectionOfItsDescription) {
  auto LOptions = TKvDestEngineOptions::Create();
  LOptions->PaletteType = 27;
  LOptions->PaletteMode = 11;
  LOptions->BorderIndex = 1;
  LOptions->Comment = "hello";
  auto LDescription = std::make_unique<TKvDestEngineUIEx>(LOptions.get());
  LDescription->AddZxPaletteSection(PaletteModes(pmBlackWhite, pmColor));
  LDescription->AddPaletteIndexLabel();
  const int LBorder = LDescription->AddBorderColorComboBoxEx();
  LDescription->AddSectionItem(LBorder, 0, "Black");
  LDescription->AddSectionItem(LBorder, 1, "Blue");
  LDescription->AddColorUsageSection(true);
  LDescription->AddMaxFlickeringSection();
  LDescription->AddStyleSection();
  LDescription->AddSafeModeCheckBox();
  LDescription->AddHamSection(true, false, false, true);
  LDescription->AddFileFormatSeparator();
  LDescription->AddFileFormatCheckBox("Write the header");
  LDescription->AddCommentSeparator();
  LDescription->AddCommentEdit();
  TKvDestEngineUIPanel LPanel(FParent.get(), std::move(LDescription));
  ASSERT_NE(LPanel.CustomPaletteCombo, nullptr);
  EXPECT_EQ(LPanel.CustomPaletteCombo->currentText().toStdString(), "Linear");
  ASSERT_NE(LPanel.ModeCombo, nullptr);
  EXPECT_EQ(LPanel.ModeCombo->count(), 2);
  ASSERT_NE(LPanel.DestPalette, nullptr);
  EXPECT_EQ(LPanel.DestPalette->GetRowCount(), 1);
  EXPECT_TRUE(LPanel.DestPalette->DropRefused);
  EXPECT_NE(LPanel.PaletteIndexLabel, nullptr);
  ASSERT_NE(LPanel.BorderIndexCombo, nullptr);
  EXPECT_EQ(LPanel.BorderIndexCombo->currentText().toStdString(), "Blue");
  EXPECT_EQ(LPanel.ColorUsageCombo->count(), 4);
  EXPECT_NE(LPanel.MaxFlickeringBar, nullptr);
  EXPECT_NE(LPanel.StyleCombo, nullptr);
  EXPECT_NE(LPanel.SafeModeCheckBox, nullptr);
  EXPECT_NE(LPanel.HamBars[0], nullptr);
  EXPECT_EQ(LPanel.HamBars[1], nullptr);
  EXPECT_NE(LPanel.HamBars[3], nullptr);
  ASSERT_NE(LPanel.FileFormatCheckBox, nullptr);
  EXPECT_EQ(LPanel.FileFormatCheckBox->text().toStdString(), "Write the header");
  ASSERT_NE(LPanel.CommentEdit, nullptr);
  EXPECT_EQ(LPanel.CommentEdit->GetTrimmedText(), "hello");
  // What the panel shows is what the options hold.
  LOptions->BeginUpdate();
  LPanel.StoreOptions();
  LOptions->EndUpdate();
  EXPECT_FALSE(LOptions->Modified);
  LPanel.StyleCombo->setCurrentIndex(2);
  EXPECT_EQ(LOptions->GigaStyle, 2);
  TnoxShellUI LUI(FParent.get(), 96, 96);
  LPanel.resize(400, 1000);
  LPanel.ResizeControls(LUI);
  int LTop = 0;
  LPanel.ArrangeControls(LUI, LTop);
  EXPECT_GT(LTop, 0);
  EXPECT_GT(LPanel.CommentEdit->y(), LPanel.CommentSeparator->y());
}

}  // namespace

namespace {

TEST_F(ControlsTest, FixedPalettesAreOfferedFromLevelTablePalettesToo) {
  const auto LFolder = MakeTempFolder("fixedrgb");
  {
    std::ofstream LFile(LFolder / "six.pal");
    LFile << "JASC-PAL\r\n0100\r\n6\r\n0 0 0\r\n255 0 0\r\n0 255 0\r\n0 0 255\r\n255 255 255\r\n255 255 0\r\n";
  }
  TKvPalette256* LSix = PaletteList().LoadPalette((LFolder / "six.pal").string());
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  TKvDest LDest(LTimers, LWorkers);
  const int LCommon = DestEngineList().IndexOf("Common");
  ASSERT_GE(LCommon, 0);
  const int LMode = DestEngineList().GetSubTypes(LCommon).IndexOf("Palette");
  ASSERT_GE(LMode, 0);
  LDest.SetEngine(*DestEngineList().GetSubTypes(LCommon).GetObject(LMode));
  TKvDestEngineUIPanel LPanel(FParent.get(), LDest.CreateUI());
  LPanel.SetDest(&LDest);
  ASSERT_NE(LPanel.PaletteCombo, nullptr);
  ASSERT_NE(LPanel.FixedPaletteCombo, nullptr);
  LPanel.PaletteCombo->setCurrentIndex(LPanel.PaletteCombo->findText("RGB111"));
  EXPECT_TRUE(LPanel.FixedPaletteCombo->isEnabled());
  const int LIndex = LPanel.FixedPaletteCombo->IndexOfObject(reinterpret_cast<intptr_t>(LSix));
  ASSERT_GE(LIndex, 1);
  LPanel.FixedPaletteCombo->setCurrentIndex(LIndex);
  EXPECT_EQ(LDest.GetOptions()->GetFixedPalette()->GetCount(), 6);
  EXPECT_EQ(LPanel.FixedPalette->GetPalette().GetCount(), 6);
  LPanel.SetDest(nullptr);
}

}  // namespace
