// The converter's hooks, own controls and related controls on real widgets,
// and the panel's fixed palette order.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvControls.h"
#include "app/qt/KvEngineUI.h"
#include "shell/noxShellBaseExtension.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

class PanelHooksTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FParent = std::make_unique<QWidget>();
  }
  void TearDown() override { FParent.reset(); }
  std::unique_ptr<QWidget> FParent;
};

class THookedUI : public TKvDestEngineUIEx {
public:
  explicit THookedUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
    AddPositionSection();
    AddPaletteSeparator();
    AddGrayPaletteCheckBox();  // the palette block puts it below the grid
    AddDestPalette(16, 1, true);
    AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
    Extra = AddOwnCheckBox("E&xtra care", false);
    Ink = AddOwnColorBox("Ink:", 0x102030);
    AddDitheringSection(true);
    AddFixedPaletteSectionEx("TKvNoFixedPaletteComboBox", 16, 1);
    AddRelated(pcModeCombo, 2, OwnControl(Ink), false);
    AddRelated(pcModeCombo, 2, OwnControl(Ink, opCaption), false);
  }
  void StoreOptions(IKvPanelControls& C) override {
    TKvDestEngineUIEx::StoreOptions(C);
    GetOptions()->SetExtraFlag(C.GetChecked(OwnControl(Extra)));
    const uint32_t L = C.GetColor(OwnControl(Ink));
    GetOptions()->SetCustomColor1({uint8_t(L >> 16), uint8_t(L >> 8), uint8_t(L)});
    ++Stores;
  }
  void CheckOptions(IKvPanelControls& C) override {
    TKvDestEngineUIEx::CheckOptions(C);
    C.SetEnabled(pcSerpentineCheckBox, !GetOptions()->ExtraFlag);
  }
  bool AcceptFixedPalette(const TKvPalette256&) override { return false; }
  int Extra = -1, Ink = -1, Stores = 0;
};

}  // namespace

TEST_F(PanelHooksTest, HooksAndRelatedControlsWorkOnTheWidgets) {
  auto LOptions = TKvDestEngineOptions::Create();
  LOptions->PaletteMode = 1;
  auto LOwned = std::make_unique<THookedUI>(LOptions.get());
  THookedUI* LUI = LOwned.get();
  TKvDestEngineUIPanel LPanel(FParent.get(), std::move(LOwned));
  auto* LExtra = dynamic_cast<TKvCheckBox*>(LPanel.ControlOf(OwnControl(LUI->Extra)));
  auto* LInk = dynamic_cast<TKvColorBox*>(LPanel.ControlOf(OwnControl(LUI->Ink)));
  ASSERT_TRUE(LExtra && LInk);
  EXPECT_EQ(LExtra->text().toStdString(), "E&xtra care");
  EXPECT_NE(LPanel.ControlOf(OwnControl(LUI->Ink, opButton)), nullptr);
  EXPECT_EQ(LPanel.GetColor(OwnControl(LUI->Ink)), 0x102030u);

  // Related: the ink row is enabled only for the third mode ("Сolor").
  EXPECT_FALSE(LInk->isEnabledTo(&LPanel));
  LPanel.ModeCombo->setCurrentIndex(2);
  EXPECT_TRUE(LInk->isEnabledTo(&LPanel));
  EXPECT_TRUE(LPanel.ControlOf(OwnControl(LUI->Ink, opCaption))->isEnabledTo(&LPanel));
  EXPECT_EQ(LOptions->PaletteMode, 11);

  // A click stores the shared controls and then the converter's own, and
  // the converter's check runs after.
  const int LStores = LUI->Stores;
  LExtra->click();
  EXPECT_EQ(LUI->Stores, LStores + 1);
  EXPECT_TRUE(LOptions->ExtraFlag);
  EXPECT_FALSE(LPanel.SerpentineCheckBox->isEnabledTo(&LPanel));
  LPanel.SetColor(OwnControl(LUI->Ink), 0xA0B0C0);
  LPanel.ControlChanged(nullptr);
  EXPECT_EQ(LOptions->CustomColor1.R, 0xA0);
  EXPECT_EQ(LOptions->CustomColor1.B, 0xC0);

  // The converter's own fixed-palette class takes its palettes from the description.
  ASSERT_NE(LPanel.FixedPaletteCombo, nullptr);
  TKvPalette256 LSome;
  LSome.AddStdRGB({1, 2, 3});
  EXPECT_FALSE(LPanel.FixedPaletteCombo->AcceptPalette(&LSome));

  // A section added to the panel outside its description goes last.
  LPanel.AddStyleSection();
  // The palette block keeps its fixed order: mode, grid, then the gray box.
  TnoxShellUI LShellUI(FParent.get(), 96, 96);
  LPanel.resize(500, 1200);
  LPanel.ResizeControls(LShellUI);
  int LTop = 0;
  LPanel.ArrangeControls(LShellUI, LTop);
  EXPECT_LT(LPanel.PaletteSeparator->y(), LPanel.ModeCombo->y());
  EXPECT_LT(LPanel.ModeCombo->y(), LPanel.DestPalette->y());
  EXPECT_LT(LPanel.DestPalette->y(), LPanel.GrayPaletteCheckBox->y());
  EXPECT_LT(LPanel.GrayPaletteCheckBox->y(), LPanel.FixedPaletteCombo->y());
  EXPECT_LT(LPanel.FixedPaletteCombo->y(), LExtra->y());
  EXPECT_LT(LExtra->y(), LInk->y());
  EXPECT_LT(LInk->y(), LPanel.DitheringSeparator->y());
  EXPECT_GT(LPanel.StyleCombo->y(), LPanel.SaturationBar->y());
  // The two block limits sit one related spacing apart.
  EXPECT_EQ(LPanel.LimitBoundaryCheckBox->y(),
            LPanel.LimitInsideCheckBox->y() + LPanel.LimitInsideCheckBox->height() + LShellUI.RelatedSpacingY);
  // The ink's select button follows its box at the related spacing.
  QWidget* LSelect = LPanel.ControlOf(OwnControl(LUI->Ink, opButton));
  EXPECT_EQ(LSelect->x(), LInk->x() + LInk->width() + LShellUI.RelatedSpacingX);
  EXPECT_EQ(LInk->x(), LPanel.GetControlLeft());
}

TEST_F(PanelHooksTest, ImageComboBoxesKeepTheirImagesAndRelatedControls) {
  TKvCustomPaletteComboBoxEx LKinds(FParent.get());
  LKinds.AddPaletteType(ptRGB111, 2);
  LKinds.AddPaletteType(ptRGB222, 0, "Own caption");
  EXPECT_EQ(LKinds.itemText(0).toStdString(), PaletteTypeNames[ptRGB111]);
  EXPECT_EQ(LKinds.itemText(1).toStdString(), "Own caption");
  EXPECT_THROW(LKinds.SetPaletteType(ptRGB333), EOSError);
  LKinds.SetPaletteType(ptRGB222);
  EXPECT_EQ(LKinds.GetPaletteType(), ptRGB222);
  // The entries show the images of their indexes once the list is filled.
  QPixmap LRed(8, 4), LGreen(8, 4), LBlue(8, 4);
  LRed.fill(Qt::red);
  LGreen.fill(Qt::green);
  LBlue.fill(Qt::blue);
  LKinds.SetImages({LRed, LGreen, LBlue}, QSize(8, 4));
  EXPECT_EQ(LKinds.itemIcon(0).pixmap(8, 4).toImage().pixelColor(1, 1), QColor(Qt::blue));
  EXPECT_EQ(LKinds.itemIcon(1).pixmap(8, 4).toImage().pixelColor(1, 1), QColor(Qt::red));

  TKvPaletteIndexComboBoxEx LIndexes(FParent.get());
  LIndexes.AddItem("Auto");
  LIndexes.AddItem("1");
  EXPECT_EQ(LIndexes.GetItemImageIndex(0), 0);
  EXPECT_EQ(LIndexes.GetItemImageIndex(1), 1);

  // Related controls, as in the plain list: the inverse one is on for any
  // other item, including none.
  QWidget LOnly(FParent.get()), LExcept(FParent.get());
  LIndexes.setCurrentIndex(0);
  LIndexes.AddRelated(1, &LOnly, false);
  LIndexes.AddRelated(0, &LExcept, true);
  ASSERT_EQ(LIndexes.GetRelatedCount(), 2);
  EXPECT_FALSE(LOnly.isEnabledTo(FParent.get()));
  EXPECT_FALSE(LExcept.isEnabledTo(FParent.get()));
  int LChanges = 0;
  LIndexes.OnChange = [&](QObject*) { ++LChanges; };
  LIndexes.setCurrentIndex(1);
  EXPECT_TRUE(LOnly.isEnabledTo(FParent.get()));
  EXPECT_TRUE(LExcept.isEnabledTo(FParent.get()));
  LIndexes.setCurrentIndex(-1);
  EXPECT_FALSE(LOnly.isEnabledTo(FParent.get()));
  EXPECT_TRUE(LExcept.isEnabledTo(FParent.get()));
  EXPECT_EQ(LChanges, 2);
}
