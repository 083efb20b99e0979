// Palette glyphs of the image combo boxes: the glyph drawn pixel by pixel
// (frame, cell lines, filled and crossed cells, the transparent columns),
// and the glyphs the option panel gives the entries of its three image
// combo boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>

#include "app/KvPanelSections.h"
#include "app/qt/CustomFormUnit.h"
#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvEngineUI.h"
#include "core/KvPaletteRGB.h"
#include "shell/qt/noxShellForm.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

constexpr QRgb Window = 0xFF010203u;
constexpr QRgb GrayText = 0xFF646566u;
constexpr QRgb White = 0xFFFFFFFFu;
constexpr QRgb ColorA = 0xFFC00000u;
constexpr QRgb ColorB = 0xFF00A040u;

class PaletteGlyphTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!QApplication::instance()) new QApplication(argc_, argv_);
    EnsureAppStarted();
    FOld = SetModalPresenter(&Presenter);
    FParent = std::make_unique<QWidget>();
    // Colours unlike white, so the background and the frame show apart.
    FOldPalette = QGuiApplication::palette();
    QPalette LPalette = FOldPalette;
    LPalette.setColor(QPalette::Active, QPalette::Base, QColor::fromRgb(Window));
    LPalette.setColor(QPalette::Disabled, QPalette::Text, QColor::fromRgb(GrayText));
    QGuiApplication::setPalette(LPalette);
  }
  void TearDown() override {
    QGuiApplication::setPalette(FOldPalette);
    FParent.reset();
    SetModalPresenter(FOld);
  }
  // '.' window, 'w' white, 'g' gray text, 'A' and 'B' the palette colours.
  static void ExpectPixels(const QImage& AImage, const std::vector<std::string>& ARows) {
    ASSERT_EQ(AImage.height(), static_cast<int>(ARows.size()));
    for (int y = 0; y < AImage.height(); ++y) {
      ASSERT_EQ(AImage.width(), static_cast<int>(ARows[y].size()));
      std::string LRow;
      for (int x = 0; x < AImage.width(); ++x) {
        const QRgb p = AImage.pixel(x, y);
        LRow += p == Window ? '.' : p == White ? 'w' : p == GrayText ? 'g' : p == ColorA ? 'A' : p == ColorB ? 'B' : '?';
      }
      EXPECT_EQ(LRow, ARows[y]) << "row " << y;
    }
  }
  static void Draw(const TKvPalette* APalette, int AWidth, int AHeight, QImage& AImage, QImage& AMask) {
    AImage = QImage(AWidth, AHeight, QImage::Format_RGB32);
    AMask = QImage(AWidth, AHeight, QImage::Format_RGB32);
    AImage.fill(Qt::magenta);
    AMask.fill(Qt::magenta);
    TKvDestEngineUIPanel::DrawPaletteGlyph(APalette, AImage, AMask);
  }
  TTestPresenter Presenter;
  TnoxShellModalPresenter* FOld = nullptr;
  std::unique_ptr<QWidget> FParent;
  QPalette FOldPalette;
};

TEST_F(PaletteGlyphTest, GlyphPixelsFrameCellsFillsAndCrosses) {
  TKvPalette256 LTwo;
  LTwo.AddRGB(0xC0, 0, 0);
  LTwo.AddRGB(0, 0xA0, 0x40);
  QImage LImage, LMask;
  // 14 x 5: step 4, cells at x = 3, 7, 11; the third has no colour and is
  // crossed, the rest of its cross lying outside.
  Draw(&LTwo, 14, 5, LImage, LMask);
  ExpectPixels(LImage, {"...ggggggggggg",
                        "...gAAAgBBBggg",
                        "...gAAAgBBBgwg",
                        "...gAAAgBBBggg",
                        "...ggggggggggg"});
  // Mask: the first 3 columns transparent (white), the glyph opaque.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 14; ++x) EXPECT_EQ(LMask.pixel(x, y), x < 3 ? White : 0xFF000000u) << x << "," << y;
  const QImage LMasked = TKvDestEngineUIPanel::MaskedGlyph(LImage, LMask);
  EXPECT_EQ(qAlpha(LMasked.pixel(2, 2)), 0);
  EXPECT_EQ(LMasked.pixel(4, 2), ColorA);

  // No palette and an empty one: every cell crossed.
  TKvPalette256 LEmpty;
  for (const TKvPalette* P : {static_cast<const TKvPalette*>(nullptr), static_cast<const TKvPalette*>(&LEmpty)}) {
    Draw(P, 12, 5, LImage, LMask);
    ExpectPixels(LImage, {"...ggggggggg",
                          "...ggwgggwgg",
                          "...gwgwgwgwg",
                          "...ggwgggwgg",
                          "...ggggggggg"});
  }
}

TEST_F(PaletteGlyphTest, WideGlyphHasFiveCellsTheLastOutside) {
  // 64 x 16: step 15, cells at x = 3, 18, 33, 48 and 63 (the right frame).
  TKvPalette256 LPalette;
  for (int i = 0; i < 5; ++i) LPalette.AddRGB(static_cast<uint8_t>(10 + i), 20, 30);
  QImage LFive, LMask;
  Draw(&LPalette, 64, 16, LFive, LMask);
  for (int i = 0; i < 4; ++i) {
    const int x = 3 + 15 * i;
    for (int y = 0; y < 16; ++y) {
      EXPECT_EQ(LFive.pixel(x, y), GrayText) << i << "," << y;
      for (int c = x + 1; c < x + 15; ++c)
        EXPECT_EQ(LFive.pixel(c, y), y == 0 || y == 15 ? GrayText : qRgb(10 + i, 20, 30)) << c << "," << y;
    }
  }
  for (int y = 0; y < 16; ++y) EXPECT_EQ(LFive.pixel(63, y), GrayText);
  // Whether the fifth cell has a colour or is crossed shows nowhere.
  LPalette.Delete(4);
  QImage LFour;
  Draw(&LPalette, 64, 16, LFour, LMask);
  EXPECT_EQ(LFour, LFive);
  // A missing fourth colour crosses its cell corner to corner.
  LPalette.Delete(3);
  QImage LThree;
  Draw(&LPalette, 64, 16, LThree, LMask);
  for (int y = 1; y < 15; ++y)
    for (int x = 49; x < 63; ++x) {
      const bool LOnCross = x - 48 == y || 63 - x == y;
      EXPECT_EQ(LThree.pixel(x, y), LOnCross ? GrayText : White) << x << "," << y;
    }
}

TEST_F(PaletteGlyphTest, ImageComboBoxesShowTheGlyphsOfTheirEntries) {
  auto LOptions = TKvDestEngineOptions::Create();
  LOptions->PaletteType = ptRGB111;
  LOptions->PaletteIndex = 1;
  auto LDescription = std::make_unique<TKvDestEngineUIEx>(LOptions.get());
  LDescription->AddPaletteSeparator();
  TKvPalette256 LGiven;
  LGiven.AddRGB(0xC0, 0, 0);
  LGiven.AddRGB(0, 0xA0, 0x40);
  // Kinds: one the colour core builds, one it does not (no palette), one
  // whose palette the converter gives.
  const int LKinds = LDescription->AddCustomPaletteComboBoxEx();
  LDescription->AddSectionItem(LKinds, ptRGB111);
  LDescription->AddSectionItem(LKinds, ptBackGreenRedYellowLow);
  LDescription->AddSectionItem(LKinds, ptBackCyanRedWhiteHigh);
  LDescription->SetSectionGlyph(LKinds, 2, &LGiven);
  const int LIndexes = LDescription->AddPaletteIndexComboBoxEx();
  LDescription->AddSectionItem(LIndexes, 0, "Auto");
  LDescription->AddSectionItem(LIndexes, 1, "Red/Green (0)");
  LDescription->SetSectionGlyph(LIndexes, 0, nullptr);
  LDescription->SetSectionGlyph(LIndexes, 1, &LGiven);
  const int LBorders = LDescription->AddBorderColorComboBoxEx();
  TKvPalette256 LGreen;
  LGreen.AddRGB(0, 0xA0, 0x40);
  LDescription->AddSectionItem(LBorders, 0, "Green");
  LDescription->SetSectionGlyph(LBorders, 0, &LGreen);
  EXPECT_EQ(LDescription->GetSections()[LKinds].Glyphs.size(), 3u);
  EXPECT_FALSE(LDescription->GetSections()[LKinds].Glyphs[0].Given);
  EXPECT_EQ(LDescription->GetSections()[LIndexes].Glyphs[1].Colors.size(), 2u);

  TKvDestEngineUIPanel LPanel(FParent.get(), std::move(LDescription));
  ASSERT_NE(LPanel.CustomPaletteComboEx, nullptr);
  ASSERT_NE(LPanel.PaletteIndexCombo, nullptr);
  ASSERT_NE(LPanel.BorderIndexCombo, nullptr);
  TnoxShellUI LUI(FParent.get(), 96, 96);
  LPanel.resize(400, 600);
  LPanel.ResizeControls(LUI);
  const int H = LUI.LinesToHeight(1) - 2;
  ASSERT_GT(H, 4);
  EXPECT_EQ(LPanel.CustomPaletteComboEx->iconSize(), QSize(4 * H, H));
  EXPECT_EQ(LPanel.PaletteIndexCombo->iconSize(), QSize(4 * H, H));
  EXPECT_EQ(LPanel.BorderIndexCombo->iconSize(), QSize(H + 3, H));
  EXPECT_GE(LPanel.CustomPaletteComboEx->height(), H);

  // Each icon is the glyph of its entry's palette, transparent left of x = 3.
  auto LIcon = [](QComboBox* ACombo, int AItem) {
    return ACombo->itemIcon(AItem).pixmap(ACombo->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
  };
  auto LExpected = [&](const TKvPalette* APalette, QSize ASize) {
    QImage LImage(ASize, QImage::Format_RGB32), LMask(ASize, QImage::Format_RGB32);
    TKvDestEngineUIPanel::DrawPaletteGlyph(APalette, LImage, LMask);
    return TKvDestEngineUIPanel::MaskedGlyph(LImage, LMask);
  };
  const auto LRGB111 = TKvPaletteRGB::CreateType(ptRGB111, false);
  EXPECT_EQ(LIcon(LPanel.CustomPaletteComboEx, 0), LExpected(LRGB111.get(), QSize(4 * H, H)));
  EXPECT_EQ(LIcon(LPanel.CustomPaletteComboEx, 1), LExpected(nullptr, QSize(4 * H, H)));
  EXPECT_EQ(LIcon(LPanel.CustomPaletteComboEx, 2), LExpected(&LGiven, QSize(4 * H, H)));
  EXPECT_EQ(LIcon(LPanel.PaletteIndexCombo, 0), LExpected(nullptr, QSize(4 * H, H)));
  EXPECT_EQ(LIcon(LPanel.PaletteIndexCombo, 1), LExpected(&LGiven, QSize(4 * H, H)));
  const QImage LBorder = LIcon(LPanel.BorderIndexCombo, 0);
  EXPECT_EQ(LBorder, LExpected(&LGreen, QSize(H + 3, H)));
  EXPECT_EQ(qAlpha(LBorder.pixel(0, H / 2)), 0);
  EXPECT_EQ(LBorder.pixel(5, H / 2), ColorB);
  EXPECT_EQ(LPanel.PaletteIndexCombo->currentIndex(), 1);
  EXPECT_EQ(LPanel.CustomPaletteComboEx->GetPaletteType(), ptRGB111);
}

// A converter panel that edits its hardware palette in 32 columns, and only
// for one palette kind.
class TEditingUI : public TKvDestEngineUIEx {
public:
  using TKvDestEngineUIEx::TKvDestEngineUIEx;
  bool CanEditPalette() override { return GetOptions()->PaletteType == ptRGB333; }
  TKvPalette* GetEditedPalette(TKvPalette256&, int& AColumns) override {
    AColumns = 32;
    return GetOptions()->GetHardwarePalette();
  }
};

TEST_F(PaletteGlyphTest, EditButtonEditsThePaletteTheConverterNames) {
  auto LOptions = TKvDestEngineOptions::Create();
  LOptions->PaletteMode = 17;
  LOptions->PaletteType = ptRGB333;
  LOptions->HardwarePalette = TKvPaletteRGB::CreateType(ptRGB333, false);
  auto LDescription = std::make_unique<TEditingUI>(LOptions.get());
  LDescription->AddPaletteModeSection(PaletteModes(pmColor, pmCustom));
  TKvDestEngineUIPanel LPanel(FParent.get(), std::move(LDescription));
  ASSERT_NE(LPanel.EditButton, nullptr);
  LPanel.UpdateControls();
  EXPECT_TRUE(LPanel.EditButton->isEnabled());
  const TKvPalette* LShown = nullptr;
  int LColumns = -1;
  Presenter.OnShow = [&](TnoxShellBaseUIForm& AForm) {
    auto& LForm = dynamic_cast<TCustomForm&>(AForm);
    LShown = LForm.Grid->GetPalette();
    LColumns = LForm.Grid->GetColCount();
    return 2;
  };
  LPanel.EditButton->click();
  EXPECT_EQ(Presenter.Count, 1);
  EXPECT_EQ(LShown, LOptions->HardwarePalette.get());
  EXPECT_EQ(LColumns, 32);
  // Another kind: the converter allows no editing.
  LOptions->PaletteType = ptRGB444;
  LPanel.UpdateControls();
  EXPECT_FALSE(LPanel.EditButton->isEnabled());
}

}  // namespace
