// The window makes a converter panel's widgets from the same control list
// as the in-memory panel: for every registered mode the hooks meet the same
// controls either way.
#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "app/qt/KvAppQtTestSupport.h"
#include "app/qt/KvControls.h"
#include "app/qt/KvEngineUI.h"
#include "platforms/KvPlatformUnits.h"

namespace {

int argc_ = 1;
char arg0_[] = "kv_app_qt_tests";
char* argv_[] = {arg0_, nullptr};

using CK = TKvPanelControlKind;

template <class T>
bool Is(QWidget* AWidget) {
  return dynamic_cast<T*>(AWidget) != nullptr;
}

// The widget class each kind of control is made as.
bool MadeAs(CK AKind, QWidget* W) {
  switch (AKind) {
    case CK::Caption:
    case CK::Label: return Is<TKvLabel>(W);
    case CK::PaletteIndexLabel: return Is<TKvPaletteIndexLabel>(W);
    case CK::Separator: return Is<TKvSeparator>(W);
    case CK::CheckBox: return Is<TKvCheckBox>(W);
    case CK::Button: return Is<TKvButton>(W);
    case CK::IntEdit: return Is<TKvIntEdit>(W);
    case CK::Edit: return Is<TKvEdit>(W);
    case CK::TrackBar: return Is<TKvTrackBar>(W);
    case CK::ColorBox: return Is<TKvColorBox>(W);
    case CK::List: return Is<TKvComboBox>(W);
    case CK::PixelAspectList: return Is<TKvPixelAspectRatioComboBox>(W);
    case CK::PaletteUsageList: return Is<TKvPaletteUgaseComboBox>(W);
    case CK::PaletteModeList: return Is<TKvPaletteModeComboBox>(W);
    case CK::PaletteKindList: return Is<TKvCustomPaletteComboBox>(W);
    case CK::PaletteKindImageList: return Is<TKvCustomPaletteComboBoxEx>(W);
    case CK::PaletteIndexImageList: return Is<TKvPaletteIndexComboBoxEx>(W);
    case CK::ColorImageList: return Is<TKvComboBoxEx>(W);
    case CK::PaletteFileList: return Is<TKvPaletteComboBox>(W);
    case CK::FixedPaletteList: return Is<TKvFixedPaletteComboBox>(W);
    case CK::PaletteGrid:
    case CK::FixedPaletteGrid: return Is<TKvDestPalette>(W);
  }
  return false;
}

std::vector<std::string> Entries(QWidget* AWidget) {
  std::vector<std::string> entries;
  if (auto* list = qobject_cast<QComboBox*>(AWidget))
    for (int i = 0; i < list->count(); ++i) entries.push_back(list->itemText(i).toStdString());
  return entries;
}

std::vector<int> Values(QWidget* AWidget) {
  std::vector<int> values;
  if (auto* list = dynamic_cast<TKvComboBox*>(AWidget))
    for (int i = 0; i < list->count(); ++i) values.push_back(static_cast<int>(list->GetItemObject(i)));
  if (auto* list = dynamic_cast<TKvComboBoxEx*>(AWidget))
    for (int i = 0; i < list->count(); ++i) values.push_back(static_cast<int>(list->GetItemObject(i)));
  return values;
}

TEST(PanelFromDescriptionTest, WindowMakesTheControlsOfTheInMemoryPanelForEveryMode) {
  if (!QApplication::instance()) new QApplication(argc_, argv_);
  EnsureAppStarted();
  InitializePlatforms();
  QWidget parent;
  TKvDestEngineList& platforms = DestEngineList();
  for (int p = 0; p < platforms.GetCount(); ++p)
    for (int m = 0; m < platforms.GetSubTypes(p).GetCount(); ++m) {
      SCOPED_TRACE(platforms.GetString(p) + " / " + platforms.GetSubTypes(p).GetString(m));
      auto engine = platforms.GetSubTypes(p).GetObject(m)->Create();
      auto options = engine->CreateOptions();
      TKvDestEngineUIPanel panel(&parent, engine->CreateUI(options.get()));
      ASSERT_NE(panel.GetDescription(), nullptr);
      TKvPanelControlState state(*panel.GetDescription());
      const TKvControlId end = OwnControl(static_cast<int>(panel.GetDescription()->GetSections().size()));
      for (TKvControlId id = 0; id < end; ++id) {
        const TKvPanelControlState::TControl* control = state.Find(id);
        QWidget* widget = panel.ControlOf(id);
        ASSERT_EQ(widget != nullptr, control != nullptr) << "control " << id;
        if (!control) continue;
        EXPECT_TRUE(MadeAs(control->Kind, widget)) << "control " << id;
        EXPECT_EQ(panel.GetEnabled(id), state.GetEnabled(id)) << "control " << id;
        EXPECT_EQ(panel.GetVisible(id), state.GetVisible(id)) << "control " << id;
        EXPECT_EQ(panel.GetChecked(id), state.GetChecked(id)) << "control " << id;
        if (auto* edit = dynamic_cast<TKvIntEdit*>(widget)) {
          // An edit shows the value, or no text up to its threshold (and then reads its default).
          const int value = state.GetValue(id);
          EXPECT_EQ(edit->text().toStdString(), value > edit->EmptyThreshold ? std::to_string(value) : "")
              << "control " << id;
        } else {
          EXPECT_EQ(panel.GetValue(id), state.GetValue(id)) << "control " << id;
        }
        EXPECT_EQ(panel.GetColor(id), state.GetColor(id)) << "control " << id;
        // A number edit's text is its value.
        if (control->Kind != CK::IntEdit) {
          EXPECT_EQ(panel.GetText(id), state.GetText(id)) << "control " << id;
        }
        // The lists of palette files are filled on screen only.
        if (control->Kind == CK::PaletteFileList || control->Kind == CK::FixedPaletteList) continue;
        EXPECT_EQ(Entries(widget), control->Items) << "control " << id;
        EXPECT_EQ(Values(widget), control->ItemValues) << "control " << id;
        EXPECT_EQ(panel.GetItemIndex(id), state.GetItemIndex(id)) << "control " << id;
      }
    }
}

}  // namespace
